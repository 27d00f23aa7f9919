#include "platform/core/TextCodec.h"

#include <cerrno>
#include <cstring>

#include <iconv.h>

namespace plat {
namespace {

enum Codec { FromCp932, ToCp932, FromGbk, ToGbk, CodecCount };

// iconv descriptors carry state, so each thread keeps its own.
struct Converters {
    iconv_t cd[CodecCount];
    Converters() {
        cd[FromCp932] = ::iconv_open("UTF-8", "CP932");
        cd[ToCp932] = ::iconv_open("CP932", "UTF-8");
        cd[FromGbk] = ::iconv_open("UTF-8", "GBK");
        cd[ToGbk] = ::iconv_open("GBK", "UTF-8");
    }
    ~Converters() {
        for (iconv_t c : cd) {
            if (c != iconv_t(-1)) ::iconv_close(c);
        }
    }
};

iconv_t Get(Codec codec) {
    thread_local Converters converters;
    return converters.cd[codec];
}

bool Convert(Codec codec, bool inputIsUtf8, const char* in, size_t n, std::string& out) {
    out.clear();
    if (in == nullptr || n == 0) return true;
    iconv_t cd = Get(codec);
    if (cd == iconv_t(-1)) {
        out.assign(n, '?');
        return false;
    }
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    bool clean = true;
    char* src = const_cast<char*>(in);
    size_t srcLeft = n;
    char chunk[256];
    while (srcLeft > 0) {
        char* dst = chunk;
        size_t dstLeft = sizeof(chunk);
        const size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(chunk, size_t(dst - chunk));
        if (r != size_t(-1)) continue;
        if (errno == E2BIG) continue;
        // Invalid or unconvertible input: one '?' per character and go on.
        clean = false;
        out += '?';
        if (errno == EINVAL) break;  // cut off at the end
        size_t skip = 1;
        if (inputIsUtf8) {
            const size_t len = Utf8SequenceLength(u8(*src));
            if (len > 1 && len <= srcLeft) {
                size_t i = 1;
                while (i < len && IsUtf8Continuation(u8(src[i]))) ++i;
                skip = i;
            }
        }
        src += skip;
        srcLeft -= skip;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return clean;
}

}  // namespace

bool Cp932ToUtf8(const char* in, size_t n, std::string& out) { return Convert(FromCp932, false, in, n, out); }
bool Utf8ToCp932(const char* in, size_t n, std::string& out) { return Convert(ToCp932, true, in, n, out); }
bool GbkToUtf8(const char* in, size_t n, std::string& out) { return Convert(FromGbk, false, in, n, out); }
bool Utf8ToGbk(const char* in, size_t n, std::string& out) { return Convert(ToGbk, true, in, n, out); }

namespace {

// Length of the valid sequence at s within n bytes, or 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF included).
size_t ValidSequence(const u8* s, size_t n) {
    const size_t len = Utf8SequenceLength(s[0]);
    if (len == 0 || len > n) return 0;
    if (len == 1) return 1;
    for (size_t i = 1; i < len; ++i) {
        if (!IsUtf8Continuation(s[i])) return 0;
    }
    if (len == 3) {
        if (s[0] == 0xE0 && s[1] < 0xA0) return 0;
        if (s[0] == 0xED && s[1] >= 0xA0) return 0;
    } else if (len == 4) {
        if (s[0] == 0xF0 && s[1] < 0x90) return 0;
        if (s[0] == 0xF4 && s[1] >= 0x90) return 0;
    }
    return len;
}

}  // namespace

size_t Utf8CharLength(const char* s) {
    if (s == nullptr || *s == '\0') return 0;
    const u8* p = reinterpret_cast<const u8*>(s);
    // Bound the look-ahead by the terminating zero, which is never a
    // continuation byte, so the check stops there.
    size_t avail = 1;
    while (avail < 4 && p[avail] != 0) ++avail;
    const size_t len = ValidSequence(p, avail);
    return len == 0 ? 1 : len;
}

size_t Utf8TruncatedLength(const char* s, size_t maxBytes) {
    if (s == nullptr) return 0;
    size_t pos = 0;
    while (s[pos] != '\0') {
        const size_t len = Utf8CharLength(s + pos);
        if (pos + len > maxBytes) break;
        pos += len;
    }
    return pos;
}

size_t Utf8CopyTruncated(char* dst, size_t dstSize, const char* src) {
    if (dst == nullptr || dstSize == 0) return 0;
    const size_t n = src == nullptr ? 0 : Utf8TruncatedLength(src, dstSize - 1);
    if (n > 0) std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

u32 DecodeUtf8(const char* s, const char* end, size_t& length) {
    length = 0;
    if (s == nullptr || s >= end) return 0;
    const u8* p = reinterpret_cast<const u8*>(s);
    const size_t len = ValidSequence(p, size_t(end - s));
    if (len == 0) {
        length = 1;
        return 0xFFFD;
    }
    length = len;
    switch (len) {
        case 1: return p[0];
        case 2: return (u32(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
        case 3: return (u32(p[0] & 0x0F) << 12) | (u32(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        default:
            return (u32(p[0] & 0x07) << 18) | (u32(p[1] & 0x3F) << 12) | (u32(p[2] & 0x3F) << 6) |
                   (p[3] & 0x3F);
    }
}

void AppendUtf8(std::string& out, u32 cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}  // namespace plat
