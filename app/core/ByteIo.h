#pragma once
// Field access for the save files and part records: the byte order, and
// fixed text fields read from outside.
#include <cstring>

#include "platform/core/ByteOrder.h"
#include "platform/core/TextCodec.h"
#include "platform/core/Types.h"

// Cuts the multi-byte characters that the end of the text splits. Cutting
// one can bare another that was broken already ("\xE3\x81\xE3"), so it cuts
// until the text ends on a whole character: the result is the same however
// often it is trimmed again, and a name survives load, save, load.
inline void TrimSplitCharacter(char* s)
{
    size_t n = std::strlen(s);
    for (;;) {
        size_t i = n;
        for (int k = 0; i > 0 && k < 3 && plat::IsUtf8Continuation(u8(s[i - 1])); ++k) --i;
        if (i == 0) return;
        const size_t lead = i - 1;
        const size_t length = plat::Utf8SequenceLength(u8(s[lead]));
        if (length <= 1 || lead + length <= n) return;
        s[lead] = '\0';
        n = lead;
    }
}

// Copies a fixed text field read from outside and makes it safe: always
// terminated, never ending inside a UTF-8 character.
inline void ReadFixedText(char* field, const u8* src, size_t size)
{
    std::memcpy(field, src, size);
    field[size - 1] = '\0';
    TrimSplitCharacter(field);
}
