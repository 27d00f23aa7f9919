#include "app/player/RobotNameReader.h"

#include <cstring>

#include "engine/core/AssetFile.h"

namespace {

bool StartsWith(const char* at, const char* word)
{
    return std::strncmp(at, word, std::strlen(word)) == 0;
}

// Blanks, the separator ("="), then the value's token.
void ReadValue(ScriptTokenizer& t, char* out, size_t outSize)
{
    t.SkipBlanks();
    if (!t.AtEnd()) t.Advance(1);
    t.ReadToken(out, outSize);
}

}  // namespace

void RobotNameReader::Load(const char* path)
{
    if (!tokenizer.LoadFile(path, AssetKey)) return;
    for (;;) {
        const char* at = tokenizer.GetCursor();
        const char c = *at;
        if (c == '\0') break;
        if (c == '\'') {
            tokenizer.SkipLine();
            continue;
        }
        if (StartsWith(at, "NameEng")) {
            tokenizer.Advance(7);
            char dropped[ScriptTokenizer::kScratchSize];
            ReadValue(tokenizer, dropped, sizeof dropped);
            continue;
        }
        if (StartsWith(at, "Name")) {
            tokenizer.Advance(4);
            ReadValue(tokenizer, name, sizeof name);
            break;
        }
        // Blanks, ";", CR LF and anything else; a lead byte takes its partner.
        tokenizer.SkipChar();
    }
    tokenizer.FreeText();
}
