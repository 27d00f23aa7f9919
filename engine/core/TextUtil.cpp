#include "engine/core/TextUtil.h"

#include <cstring>

#include "platform/core/TextCodec.h"

namespace {

// Length of the blank at s, or 0 when s does not start with one.
size_t BlankLength(const char* s) {
    if (s[0] == ' ' || s[0] == '\t') return 1;
    if (s[0] == '\r' && s[1] == '\n') return 2;
    if (s[0] == '\xE3' && s[1] == '\x80' && s[2] == '\x80') return 3;
    return 0;
}

}  // namespace

char* TrimBlanks(char* string) {
    if (string == nullptr) return nullptr;

    size_t skip = 0;
    while (size_t n = BlankLength(string + skip)) skip += n;
    if (skip > 0) std::memmove(string, string + skip, std::strlen(string + skip) + 1);

    // Walk whole characters so a blank is never found inside another one.
    char* runStart = nullptr;
    char* p = string;
    while (*p != '\0') {
        if (size_t n = BlankLength(p)) {
            if (runStart == nullptr) runStart = p;
            p += n;
        } else {
            runStart = nullptr;
            p += plat::Utf8CharLength(p);
        }
    }
    if (runStart != nullptr) *runStart = '\0';
    return string;
}

const char* FindInvalidFileNameChar(const char* string) {
    if (string == nullptr) return nullptr;
    for (const char* p = string; *p != '\0'; p += plat::Utf8CharLength(p)) {
        if (std::strchr("/\\<>*?\"|:;", *p) != nullptr) return p;
    }
    return nullptr;
}

char* FindInvalidFileNameChar(char* string) {
    return const_cast<char*>(FindInvalidFileNameChar(static_cast<const char*>(string)));
}
