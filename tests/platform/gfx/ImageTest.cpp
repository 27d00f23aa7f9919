// Image files: decoding the formats the game ships, and surviving damaged ones.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/gfx/Image.h"

using namespace plat;

namespace {

void Put16(std::vector<u8>& b, u32 v) {
    b.push_back(u8(v));
    b.push_back(u8(v >> 8));
}
void Put32(std::vector<u8>& b, u32 v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

u32 Px(const Image& img, u32 x, u32 y, u32 face = 0, u32 level = 0) {
    const std::vector<u8>& s = img.Surface(face, level);
    const u8* p = s.data() + (size_t(y) * img.LevelWidth(level) + x) * 4;
    return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

// A bottom-up BMP with a 40-byte header.
std::vector<u8> MakeBmp(i32 w, i32 h, u16 bpp, u32 compression, const std::vector<u8>& palette,
                        const std::vector<u8>& pixels, const std::vector<u32>& masks = {}) {
    std::vector<u8> b = {'B', 'M'};
    const u32 headerEnd = 14 + 40 + u32(masks.size()) * 4;
    const u32 offset = headerEnd + u32(palette.size());
    Put32(b, offset + u32(pixels.size()));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, u32(w));
    Put32(b, u32(h));
    Put16(b, 1);
    Put16(b, bpp);
    Put32(b, compression);
    Put32(b, u32(pixels.size()));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, u32(palette.size() / 4));
    Put32(b, 0);
    for (u32 m : masks) Put32(b, m);
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

std::vector<u8> DdsHeader(u32 w, u32 h, u32 mips, u32 pfFlags, u32 fourcc, u32 bits, u32 r, u32 g, u32 bm, u32 a,
                          u32 caps2) {
    std::vector<u8> b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1007 | (mips > 1 ? 0x20000 : 0));
    Put32(b, h);
    Put32(b, w);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, mips);
    for (int i = 0; i < 11; ++i) Put32(b, 0);
    Put32(b, 32);
    Put32(b, pfFlags);
    Put32(b, fourcc);
    Put32(b, bits);
    Put32(b, r);
    Put32(b, g);
    Put32(b, bm);
    Put32(b, a);
    Put32(b, 0x1000);
    Put32(b, caps2);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    return b;
}

std::vector<u8> SamplePng() {
    const u32 px[6] = {0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0xFFFFFFFFu, 0xFF123456u, 0x01020304u};
    std::vector<u8> png;
    EXPECT_TRUE(EncodePng(px, 3, 2, true, &png));
    return png;
}

std::vector<u8> SampleBmp() {
    // 3x2, 24 bits: rows padded to 12 bytes, bottom row first.
    std::vector<u8> px = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,        // bottom: red, green, blue
                          255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0};  // top: white, black, grey
    return MakeBmp(3, 2, 24, 0, {}, px);
}

std::vector<u8> SampleDds() {
    // 4x4 A8R8G8B8 with 3 levels.
    std::vector<u8> b = DdsHeader(4, 4, 3, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0);
    for (u32 n : {16u, 4u, 1u})
        for (u32 i = 0; i < n; ++i) Put32(b, 0x80000000u | (n << 16) | i);
    return b;
}

TEST(ImageTest, PngRoundTripKeepsPixelsAndAlpha) {
    const std::vector<u8> png = SamplePng();
    ImageInfo info;
    ASSERT_TRUE(GetImageInfo(png.data(), png.size(), &info));
    EXPECT_EQ(info.width, 3u);
    EXPECT_EQ(info.height, 2u);
    EXPECT_EQ(info.format, GfxFormat::A8R8G8B8);
    EXPECT_EQ(info.fileFormat, ImageFileFormat::Png);
    Image img;
    ASSERT_TRUE(DecodeImage(png.data(), png.size(), &img));
    EXPECT_EQ(Px(img, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Px(img, 1, 0), 0x8000FF00u);
    EXPECT_EQ(Px(img, 1, 1), 0xFF123456u);
    EXPECT_EQ(Px(img, 2, 1), 0x01020304u);

    const u32 rgb[2] = {0xFFABCDEFu, 0xFF000000u};
    std::vector<u8> opaque;
    ASSERT_TRUE(EncodePng(rgb, 2, 1, false, &opaque));
    ASSERT_TRUE(DecodeImage(opaque.data(), opaque.size(), &img));
    EXPECT_EQ(img.info.format, GfxFormat::R8G8B8);
    EXPECT_EQ(Px(img, 0, 0), 0xFFABCDEFu);
}

TEST(ImageTest, BmpDepthsAndRowOrders) {
    Image img;
    const std::vector<u8> bmp24 = SampleBmp();
    ASSERT_TRUE(DecodeImage(bmp24.data(), bmp24.size(), &img));
    EXPECT_EQ(img.info.format, GfxFormat::R8G8B8);
    EXPECT_EQ(Px(img, 0, 0), 0xFFFFFFFFu);  // the top row is stored last
    EXPECT_EQ(Px(img, 2, 0), 0xFF808080u);
    EXPECT_EQ(Px(img, 0, 1), 0xFFFF0000u);
    EXPECT_EQ(Px(img, 2, 1), 0xFF0000FFu);

    // 8-bit paletted, 2x1, top-down (negative height).
    const std::vector<u8> pal = {0, 0, 0, 0, 0x10, 0x20, 0x30, 0};
    std::vector<u8> bmp8 = MakeBmp(2, -1, 8, 0, pal, {1, 0, 0, 0});
    ASSERT_TRUE(DecodeImage(bmp8.data(), bmp8.size(), &img));
    EXPECT_EQ(Px(img, 0, 0), 0xFF302010u);
    EXPECT_EQ(Px(img, 1, 0), 0xFF000000u);

    // 1-bit: the first pixel is the high bit.
    std::vector<u8> bmp1 = MakeBmp(3, 1, 1, 0, {0, 0, 0, 0, 255, 255, 255, 0}, {0xA0, 0, 0, 0});
    ASSERT_TRUE(DecodeImage(bmp1.data(), bmp1.size(), &img));
    EXPECT_EQ(Px(img, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Px(img, 1, 0), 0xFF000000u);
    EXPECT_EQ(Px(img, 2, 0), 0xFFFFFFFFu);

    // 32-bit with channel masks including alpha.
    std::vector<u8> px;
    Put32(px, 0x11223344u);
    std::vector<u8> bmp32 =
        MakeBmp(1, 1, 32, 3, {}, px, {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u});
    // A masked header this short keeps the alpha mask only in larger headers.
    ASSERT_TRUE(DecodeImage(bmp32.data(), bmp32.size(), &img));
    EXPECT_EQ(Px(img, 0, 0) & 0xFFFFFF, 0x223344u);

    // 16-bit 5-5-5.
    std::vector<u8> p16;
    Put16(p16, 0x7C00);  // full red
    Put16(p16, 0);
    std::vector<u8> bmp16 = MakeBmp(1, 1, 16, 0, {}, p16);
    ASSERT_TRUE(DecodeImage(bmp16.data(), bmp16.size(), &img));
    EXPECT_EQ(Px(img, 0, 0), 0xFFFF0000u);
}

TEST(ImageTest, DdsLevelsFormatsAndCubeMaps) {
    Image img;
    const std::vector<u8> dds = SampleDds();
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), &img));
    EXPECT_EQ(img.levels, 3u);
    EXPECT_EQ(img.info.mipLevels, 3u);
    EXPECT_EQ(Px(img, 3, 3, 0, 0), 0x8010000Fu);
    EXPECT_EQ(Px(img, 1, 1, 0, 1), 0x80040003u);
    EXPECT_EQ(Px(img, 0, 0, 0, 2), 0x80010000u);

    // DXT1: one block, colour 0 red, colour 1 blue, indices 0,1,2,3 on the first row.
    std::vector<u8> dxt = DdsHeader(4, 4, 1, 0x4, u32('D') | (u32('X') << 8) | (u32('T') << 16) | (u32('1') << 24), 0,
                                    0, 0, 0, 0, 0);
    Put16(dxt, 0xF800);
    Put16(dxt, 0x001F);
    Put32(dxt, 0b11100100);
    ASSERT_TRUE(DecodeImage(dxt.data(), dxt.size(), &img));
    EXPECT_EQ(Px(img, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Px(img, 1, 0), 0xFF0000FFu);
    EXPECT_EQ(Px(img, 2, 0), 0xFFAA0055u);  // two thirds red, one third blue
    EXPECT_EQ(Px(img, 0, 1), 0xFFFF0000u);

    // A cube map of 2x2 faces, one level; face f filled with value f.
    std::vector<u8> cube = DdsHeader(2, 2, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0xFE00);
    for (u32 f = 0; f < 6; ++f)
        for (int i = 0; i < 4; ++i) Put32(cube, 0xFF000000u | f);
    ASSERT_TRUE(DecodeImage(cube.data(), cube.size(), &img));
    EXPECT_EQ(img.faces, 6u);
    EXPECT_EQ(img.info.resourceType, GfxResourceType::CubeTexture);
    EXPECT_EQ(Px(img, 1, 1, 5, 0), 0xFF000005u);

    // A cube map missing a face is refused.
    std::vector<u8> partial = DdsHeader(2, 2, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0x7E00);
    partial.resize(partial.size() + 6 * 16);
    EXPECT_FALSE(DecodeImage(partial.data(), partial.size(), &img));

    // Half-float stays half-float.
    std::vector<u8> half = DdsHeader(1, 1, 1, 0x4, 113, 0, 0, 0, 0, 0, 0);
    for (u16 h : {0x3C00, 0x3800, 0x0000, 0x3C00}) Put16(half, h);
    ASSERT_TRUE(DecodeImage(half.data(), half.size(), &img));
    EXPECT_EQ(img.format, GfxFormat::A16B16G16R16F);
    EXPECT_EQ(img.Surface(0, 0).size(), 8u);
}

TEST(ImageTest, TruncatedAndForeignFilesAreRefusedWithAReason) {
    Image img;
    std::string why;
    for (const std::vector<u8>& whole : {SamplePng(), SampleBmp(), SampleDds()}) {
        // A PNG cut inside its closing 12-byte end chunk still has all its pixels.
        const size_t complete = whole[1] == 'P' ? whole.size() - 12 : whole.size();
        for (size_t n = 0; n < complete; ++n) {
            EXPECT_FALSE(DecodeImage(whole.data(), n, &img, &why)) << n;
            EXPECT_FALSE(why.empty());
            EXPECT_TRUE(img.surfaces.empty());
        }
    }
    const char text[] = "GIF89a not ours";
    EXPECT_FALSE(DecodeImage(text, sizeof text, &img, &why));
    EXPECT_EQ(why, "unknown image file type");
    // A header claiming a huge picture is refused before anything is allocated.
    std::vector<u8> huge = DdsHeader(1u << 20, 1u << 20, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    EXPECT_FALSE(DecodeImage(huge.data(), huge.size(), &img, &why));
    std::vector<u8> tooManyLevels = DdsHeader(4, 4, 9, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    tooManyLevels.resize(tooManyLevels.size() + 4096);
    EXPECT_FALSE(DecodeImage(tooManyLevels.data(), tooManyLevels.size(), &img, &why));
    std::vector<u8> bmpBadOffset = SampleBmp();
    bmpBadOffset[10] = 0xFF;
    bmpBadOffset[13] = 0x7F;
    EXPECT_FALSE(DecodeImage(bmpBadOffset.data(), bmpBadOffset.size(), &img, &why));
}

// Mutated files under the address sanitizer: whatever the bytes, decoding
// either fails cleanly or yields surfaces of exactly the declared sizes.
TEST(ImageTest, FuzzedFilesNeverCrashTheDecoders) {
    std::mt19937 rng(12345);
    std::vector<std::vector<u8>> seeds = {SamplePng(), SampleBmp(), SampleDds()};
    seeds.push_back(MakeBmp(5, 3, 4, 0, std::vector<u8>(64, 7), std::vector<u8>(12, 0x35)));
    std::vector<u8> px32(16, 0x5A);
    seeds.push_back(MakeBmp(2, -2, 32, 3, {}, px32, {0xF800u, 0x07E0u, 0x001Fu, 0}));
    std::vector<u8> dxt5 = DdsHeader(8, 4, 2, 0x4, u32('D') | (u32('X') << 8) | (u32('T') << 16) | (u32('5') << 24),
                                     0, 0, 0, 0, 0, 0);
    dxt5.resize(dxt5.size() + 3 * 16, 0x6B);
    seeds.push_back(dxt5);
    std::vector<u8> cube = DdsHeader(2, 2, 2, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0xFE00);
    cube.resize(cube.size() + 6 * 5 * 4, 0x44);
    seeds.push_back(cube);
    int decoded = 0;
    for (int round = 0; round < 30000; ++round) {
        std::vector<u8> f = seeds[round % seeds.size()];
        const int edits = 1 + int(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % f.size();
            switch (rng() % 4) {
                case 0: f[at] = u8(rng()); break;
                case 1: f[at] ^= u8(1u << (rng() % 8)); break;
                case 2: f[at] = (rng() & 1) ? 0xFF : 0x00; break;
                default: f.resize(std::max<size_t>(1, at)); break;
            }
        }
        Image img;
        ImageInfo info;
        GetImageInfo(f.data(), f.size(), &info);
        if (DecodeImage(f.data(), f.size(), &img)) {
            ++decoded;
            ASSERT_EQ(img.surfaces.size(), size_t(img.levels) * img.faces);
            for (u32 face = 0; face < img.faces; ++face)
                for (u32 l = 0; l < img.levels; ++l)
                    ASSERT_EQ(img.Surface(face, l).size(),
                              size_t(img.LevelWidth(l)) * img.LevelHeight(l) * GfxFormatBytes(img.format));
        }
    }
    EXPECT_GT(decoded, 0);
}

}  // namespace
