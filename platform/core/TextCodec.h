#pragma once
// Text encodings. Text is UTF-8 inside the program; Shift-JIS (code page 932)
// and GBK come only from old data files and are converted at the edge.
#include <cstddef>
#include <string>

#include "platform/core/Types.h"

namespace plat {

// Converters. Bytes that cannot be converted become '?', so the result is
// always valid text; the return value is false when that happened.
bool Cp932ToUtf8(const char* in, size_t n, std::string& out);
bool Utf8ToCp932(const char* in, size_t n, std::string& out);
bool GbkToUtf8(const char* in, size_t n, std::string& out);
bool Utf8ToGbk(const char* in, size_t n, std::string& out);

// Byte count of the UTF-8 sequence a lead byte starts: 1..4, or 0 for a
// continuation byte or a byte that never starts a sequence.
inline size_t Utf8SequenceLength(u8 lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF5) return 4;
    return 0;
}

inline bool IsUtf8Continuation(u8 byte) { return (byte & 0xC0) == 0x80; }

// Length in bytes of the character at s (stopping at the terminating zero):
// a whole valid sequence, else 1 so a walker always moves on by one byte.
// 0 at the terminating zero.
size_t Utf8CharLength(const char* s);

// The longest prefix of s (zero-terminated) of at most maxBytes bytes that
// does not end inside a character.
size_t Utf8TruncatedLength(const char* s, size_t maxBytes);

// Copies src into dst of dstSize bytes, cut so no character is split, always
// zero-terminated (when dstSize > 0). Returns the bytes copied.
size_t Utf8CopyTruncated(char* dst, size_t dstSize, const char* src);

// Decodes the character at s within [s, end): its code point, with length
// set to the bytes used (1 for an invalid byte, which decodes as U+FFFD).
u32 DecodeUtf8(const char* s, const char* end, size_t& length);

// Appends the UTF-8 form of a code point (invalid ones as U+FFFD).
void AppendUtf8(std::string& out, u32 codePoint);

}  // namespace plat
