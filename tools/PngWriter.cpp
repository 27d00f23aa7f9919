#include "tools/PngWriter.h"

#include <algorithm>

namespace {

u32 Crc32(const u8* data, size_t n, u32 crc = 0)
{
    static u32 table[256];
    static bool ready = false;
    if (!ready) {
        for (u32 i = 0; i < 256; ++i) {
            u32 c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBE32(std::string& out, u32 v)
{
    out += char(v >> 24);
    out += char(v >> 16);
    out += char(v >> 8);
    out += char(v);
}

void Chunk(std::string& out, const char* type, const std::string& data)
{
    PutBE32(out, u32(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBE32(out, Crc32(reinterpret_cast<const u8*>(body.data()), body.size()));
}

// zlib stream of stored deflate blocks.
std::string StoredZlib(const std::string& raw)
{
    std::string out = "\x78\x01";
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        const bool last = at + n == raw.size();
        out += char(last ? 1 : 0);
        out += char(n & 0xFF);
        out += char(n >> 8);
        out += char(~n & 0xFF);
        out += char((~n >> 8) & 0xFF);
        out.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    u32 a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(out, (b << 16) | a);
    return out;
}

}  // namespace

std::string EncodePng(u32 width, u32 height, const std::vector<u8>& rgba)
{
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    PutBE32(header, width);
    PutBE32(header, height);
    header += std::string("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA, no interlace
    Chunk(png, "IHDR", header);
    std::string raw;
    raw.reserve(size_t(height) * (width * 4 + 1));
    for (u32 y = 0; y < height; ++y) {
        raw += '\0'; // no filter
        raw.append(reinterpret_cast<const char*>(rgba.data()) + size_t(y) * width * 4, size_t(width) * 4);
    }
    Chunk(png, "IDAT", StoredZlib(raw));
    Chunk(png, "IEND", "");
    return png;
}
