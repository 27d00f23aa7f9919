// Textures made from image files with the loader options, surface copies and
// PNG screenshots (on the recording device: no display needed).
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/TextureFile.h"
#include "platform/gfx/Window.h"
#include "support/SaveFolderFixture.h"

using namespace plat;

namespace {

class TextureFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetGfxBackend(GfxBackend::Recorder);
        SetGfxRecorderOptions(GfxRecorderOptions{});
        window_ = Window::Create("tex", 0, 0, 64, 64, Window::Headless);
        *system_.put() = CreateGfxSystem();
        GfxPresentParams pp;
        ASSERT_EQ(system_->CreateDevice(GfxDeviceType::Hal, window_.get(), 0x44, &pp, device_.put()), GfxResult::Ok);
    }
    void TearDown() override { SetGfxBackend(GfxBackend::OpenGL); }

    static std::vector<u8> Png(u32 w, u32 h, u32 (*colour)(u32 x, u32 y), bool alpha = true) {
        std::vector<u32> px(size_t(w) * h);
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x) px[size_t(y) * w + x] = colour(x, y);
        std::vector<u8> out;
        EXPECT_TRUE(EncodePng(px.data(), w, h, alpha, &out));
        return out;
    }

    u32 Texel(GfxTexture* t, u32 x, u32 y, u32 level = 0) {
        GfxRef<GfxSurface> s;
        t->GetSurfaceLevel(level, s.put());
        GfxRect r{i32(x), i32(y), i32(x) + 1, i32(y) + 1};
        std::vector<u32> px;
        EXPECT_EQ(device_->ReadPixels(s.get(), &r, &px), GfxResult::Ok);
        return px.empty() ? 0 : px[0];
    }

    std::unique_ptr<Window> window_;
    GfxRef<GfxSystem> system_;
    GfxRef<GfxDevice> device_;
};

TEST_F(TextureFileTest, DefaultSizeRoundsUpAndUnfilteredPicturesSitTopLeft) {
    const std::vector<u8> png = Png(300, 200, [](u32, u32) { return 0xFF00FF00u; });
    TextureLoadOptions o;
    o.mipLevels = 1;
    o.filter = ImageFilterNone;
    ImageInfo info;
    GfxRef<GfxTexture> t;
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.get(), png.data(), png.size(), o, &info, t.put()),
              GfxResult::Ok);
    EXPECT_EQ(t->Width(), 512u);
    EXPECT_EQ(t->Height(), 256u);
    EXPECT_EQ(info.width, 300u);
    EXPECT_EQ(info.height, 200u);
    EXPECT_EQ(Texel(t.get(), 299, 199), 0xFF00FF00u);
    EXPECT_EQ(Texel(t.get(), 300, 0), 0x00000000u);
    EXPECT_EQ(Texel(t.get(), 0, 200), 0x00000000u);
}

TEST_F(TextureFileTest, SizeFromFileFormatChoiceAndColourKey) {
    const std::vector<u8> png = Png(3, 1, [](u32 x, u32) { return x == 1 ? 0xFFFF00FFu : 0xFF102030u; }, false);
    TextureLoadOptions o;
    o.width = o.height = kGfxFromFile;
    o.mipLevels = 1;
    GfxRef<GfxTexture> plain;
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.get(), png.data(), png.size(), o, nullptr, plain.put()),
              GfxResult::Ok);
    EXPECT_EQ(plain->Width(), 3u);
    EXPECT_EQ(plain->Format(), GfxFormat::X8R8G8B8);
    o.colorKey = 0xFFFF00FFu;
    GfxRef<GfxTexture> keyed;
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.get(), png.data(), png.size(), o, nullptr, keyed.put()),
              GfxResult::Ok);
    EXPECT_EQ(keyed->Format(), GfxFormat::A8R8G8B8);
    EXPECT_EQ(Texel(keyed.get(), 1, 0), 0x00000000u);
    EXPECT_EQ(Texel(keyed.get(), 0, 0), 0xFF102030u);
    o.format = GfxFormat::R8G8B8;
    o.colorKey = 0;
    GfxRef<GfxTexture> packed;
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.get(), png.data(), png.size(), o, nullptr, packed.put()),
              GfxResult::Ok);
    EXPECT_EQ(packed->Format(), GfxFormat::R8G8B8);
    EXPECT_EQ(Texel(packed.get(), 2, 0), 0xFF102030u);
}

TEST_F(TextureFileTest, MipLevelsAverageTheLevelAbove) {
    const std::vector<u8> png = Png(2, 2, [](u32 x, u32 y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u; });
    GfxRef<GfxTexture> t;
    ASSERT_EQ(CreateTextureFromFileInMemory(device_.get(), png.data(), png.size(), t.put()), GfxResult::Ok);
    ASSERT_EQ(t->GetLevelCount(), 2u);
    const u32 c = Texel(t.get(), 0, 0, 1);
    EXPECT_NEAR(int(c & 0xFF), 128, 1);
    EXPECT_EQ(c >> 24, 0xFFu);
}

TEST_F(TextureFileTest, ScaledLoadsBlendTheirPicture) {
    const std::vector<u8> png = Png(4, 1, [](u32 x, u32) { return x < 2 ? 0xFF000000u : 0xFFFFFFFFu; });
    TextureLoadOptions o;
    o.width = 2;
    o.height = 1;
    o.mipLevels = 1;
    GfxRef<GfxTexture> t;
    ASSERT_EQ(CreateTextureFromFileInMemoryEx(device_.get(), png.data(), png.size(), o, nullptr, t.put()),
              GfxResult::Ok);
    EXPECT_EQ(Texel(t.get(), 0, 0) & 0xFF, 0x00u);
    EXPECT_EQ(Texel(t.get(), 1, 0) & 0xFF, 0xFFu);
}

TEST_F(TextureFileTest, CubeTexturesFromCubeFilesAndFromPlainPictures) {
    const std::vector<u8> png = Png(4, 4, [](u32, u32) { return 0xFF336699u; });
    GfxRef<GfxCubeTexture> cube;
    ASSERT_EQ(CreateCubeTextureFromFileInMemory(device_.get(), png.data(), png.size(), cube.put()), GfxResult::Ok);
    EXPECT_EQ(cube->EdgeLength(), 4u);
    GfxRef<GfxSurface> face;
    ASSERT_EQ(cube->GetCubeMapSurface(GfxCubeFace::NegativeZ, 0, face.put()), GfxResult::Ok);
    std::vector<u32> px;
    device_->ReadPixels(face.get(), nullptr, &px);
    EXPECT_EQ(px[5], 0xFF336699u);
    const char junk[] = "not an image";
    GfxCubeTexture* none = reinterpret_cast<GfxCubeTexture*>(1);
    EXPECT_EQ(CreateCubeTextureFromFileInMemory(device_.get(), junk, sizeof junk, &none), GfxResult::InvalidCall);
    EXPECT_EQ(none, nullptr);
    // Pictures that are no cube map: not square, or faces too large.
    for (const auto& [w, h] : {std::pair<u32, u32>{8, 2}, {1, 2052}, {kMaxCubeEdge + 1, kMaxCubeEdge + 1}}) {
        const std::vector<u8> odd = Png(w, h, [](u32, u32) { return 0xFF000000u; });
        none = reinterpret_cast<GfxCubeTexture*>(1);
        EXPECT_EQ(CreateCubeTextureFromFileInMemory(device_.get(), odd.data(), odd.size(), &none),
                  GfxResult::InvalidCall)
            << w << "x" << h;
        EXPECT_EQ(none, nullptr);
    }
}

TEST_F(TextureFileTest, PicturesThatFailToLoadAreNamedOnStderrOncePerFile) {
    char folder[] = "/tmp/quillon-texload-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string missing = std::string(folder) + "/missing.png";
    const std::string broken = std::string(folder) + "/CubeMap.dds";
    const std::vector<u8> wide = Png(4, 1, [](u32, u32) { return 0xFF000000u; });
    ASSERT_TRUE(WriteFileAtomic(broken.c_str(), wide.data(), wide.size()));
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        GfxRef<GfxTexture> t;
        EXPECT_NE(CreateTextureFromFile(device_.get(), missing.c_str(), t.put()), GfxResult::Ok);
        GfxRef<GfxCubeTexture> c;
        EXPECT_NE(CreateCubeTextureFromFile(device_.get(), broken.c_str(), c.put()), GfxResult::Ok);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    DeleteFile(broken.c_str());
    ::rmdir(folder);
    for (const std::string& path : {missing, broken}) {
        const size_t first = said.find(path);
        EXPECT_NE(first, std::string::npos) << said;
        EXPECT_EQ(said.find(path, first + 1), std::string::npos) << said;
    }
}

// A grey PNG whose header claims w x h, with a few bytes of pixel data: a
// small file that would decode to a huge picture.
std::vector<u8> PngHeaderOnly(u32 w, u32 h) {
    std::vector<u8> f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&f](const char* type, const std::vector<u8>& body) {
        for (int s = 24; s >= 0; s -= 8) f.push_back(u8(body.size() >> s));
        const size_t at = f.size();
        f.insert(f.end(), type, type + 4);
        f.insert(f.end(), body.begin(), body.end());
        const uLong crc = crc32(0, f.data() + at, uInt(f.size() - at));
        for (int s = 24; s >= 0; s -= 8) f.push_back(u8(crc >> s));
    };
    std::vector<u8> ihdr;
    for (u32 v : {w, h})
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back(u8(v >> s));
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});  // 8-bit grey, no interlace
    chunk("IHDR", ihdr);
    std::vector<u8> raw(4096, 0), packed(compressBound(raw.size()));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, raw.data(), raw.size());
    packed.resize(packedSize);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return f;
}

TEST_F(TextureFileTest, PicturesBeyondTheBudgetAreRefusedFromTheirHeaderAndNamed) {
    ImageInfo info;
    Image img;
    std::string why;
    const std::vector<u8> largest = PngHeaderOnly(2048, 2048);
    EXPECT_TRUE(GetImageInfo(largest.data(), largest.size(), &info)) << "the largest picture a modder may use";
    const std::vector<u8> wide = PngHeaderOnly(4096, 1024);
    EXPECT_TRUE(GetImageInfo(wide.data(), wide.size(), &info));
    for (auto [w, h] : {std::pair<u32, u32>{8192, 8192}, {2049, 2048}, {4097, 16}}) {
        const std::vector<u8> huge = PngHeaderOnly(w, h);
        EXPECT_FALSE(GetImageInfo(huge.data(), huge.size(), &info, &why)) << w << "x" << h;
        EXPECT_FALSE(DecodeImage(huge.data(), huge.size(), &img, &why));
        // Refused for its size, before any pixel is decoded.
        EXPECT_NE(why.find(std::to_string(w) + "x" + std::to_string(h)), std::string::npos) << why;
        EXPECT_TRUE(img.surfaces.empty());
    }

    TempFolder temp;
    const std::string face = temp / "face.png";
    const std::vector<u8> huge = PngHeaderOnly(8192, 8192);
    ASSERT_TRUE(WriteFileAtomic(face.c_str(), huge.data(), huge.size()));
    testing::internal::CaptureStderr();
    GfxRef<GfxTexture> t;
    EXPECT_EQ(CreateTextureFromFile(device_.get(), face.c_str(), t.put()), GfxResult::InvalidCall);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(face), std::string::npos) << said;
    EXPECT_NE(said.find("8192x8192"), std::string::npos) << said;
}

TEST_F(TextureFileTest, AScreenshotThatCannotBeWrittenWholeLeavesNoFile) {
    GfxRef<GfxTexture> capture;
    device_->CreateTexture(64, 64, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, capture.put());
    GfxRef<GfxSurface> s;
    capture->GetSurfaceLevel(0, s.put());
    device_->ColorFill(s.get(), nullptr, 0xFF123456u);
    TempFolder temp;
    const std::string path = temp / "shot.png";
    {
        FileSizeLimit full(40);  // as a disk with no room left
        EXPECT_NE(SaveSurfaceToPng(device_.get(), path.c_str(), s.get(), nullptr), GfxResult::Ok);
    }
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "no cut picture, no temporary file";
    ASSERT_EQ(SaveSurfaceToPng(device_.get(), path.c_str(), s.get(), nullptr), GfxResult::Ok);
    EXPECT_TRUE(PathExists(path.c_str()));
}

TEST_F(TextureFileTest, ScreenshotCopiesASurfaceIntoACaptureTextureAndSavesIt) {
    GfxRef<GfxTexture> src, capture;
    device_->CreateTexture(4, 2, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, src.put());
    device_->CreateTexture(4, 2, 1, 0, GfxFormat::R8G8B8, GfxPool::Managed, capture.put());
    GfxRef<GfxSurface> s, d;
    src->GetSurfaceLevel(0, s.put());
    capture->GetSurfaceLevel(0, d.put());
    const GfxRect left{0, 0, 2, 2};
    device_->ColorFill(s.get(), nullptr, 0xFF0000FFu);
    device_->ColorFill(s.get(), &left, 0xFFFF8000u);
    ASSERT_EQ(LoadSurfaceFromSurface(device_.get(), d.get(), nullptr, s.get(), nullptr, ImageFilterNone),
              GfxResult::Ok);
    EXPECT_EQ(Texel(capture.get(), 1, 1), 0xFFFF8000u);
    EXPECT_EQ(Texel(capture.get(), 3, 0), 0xFF0000FFu);

    const char* path = "shot_texture_file_test.png";
    ASSERT_EQ(SaveSurfaceToPng(device_.get(), path, d.get(), nullptr), GfxResult::Ok);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    Image img;
    ASSERT_TRUE(DecodeImage(bytes.data(), bytes.size(), &img));
    EXPECT_EQ(img.width, 4u);
    EXPECT_EQ(img.info.format, GfxFormat::R8G8B8);  // no alpha in the capture
    const u8* p = img.Surface(0, 0).data();
    EXPECT_EQ(p[0], 0x00);  // blue byte of 0xFF8000
    EXPECT_EQ(p[2], 0xFF);
    DeleteFile(path);
}

TEST_F(TextureFileTest, DamagedOrMissingFilesMakeNoTexture) {
    GfxTexture* t = reinterpret_cast<GfxTexture*>(1);
    const u8 bytes[16] = {0x89, 'P', 'N', 'G'};
    EXPECT_EQ(CreateTextureFromFileInMemory(device_.get(), bytes, sizeof bytes, &t), GfxResult::InvalidCall);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(CreateTextureFromFile(device_.get(), "no/such/file.png", &t), GfxResult::InvalidCall);
    ImageInfo info;
    EXPECT_EQ(GetImageInfoFromFile("no/such/file.png", &info), GfxResult::InvalidCall);
}

}  // namespace
