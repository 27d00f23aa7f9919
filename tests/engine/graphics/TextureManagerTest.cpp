// Texture handles, their loaders and screen quads, and sharing by file name.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Image.h"

namespace {

using plat::GfxFormat;
using plat::GfxPool;

struct ScreenVertex {
    float x, y, z, rhw;
    u32 colour;
    float u, v;
};

class TextureManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetGfxBackend(plat::GfxBackend::Recorder);
        plat::SetGfxRecorderOptions({});
        window_ = plat::Window::Create("tm", 0, 0, 640, 480, plat::Window::Headless);
        ASSERT_EQ(GetGraphicsDevice()->Create(window_.get(), 640, 480, GfxFormat::X8R8G8B8, false), 1);
        rec_ = plat::AsRecorder(GetGraphicsDevice()->device);
    }
    void TearDown() override {
        GetGraphicsDevice()->Release();
        for (const char* f : files_) plat::DeleteFile(f);
        plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    }

    // Writes a w x h PNG (pixel (x, y) = colour(x, y)), scrambled with key unless key is 0.
    void WritePng(const char* path, u32 w, u32 h, u32 colour, u32 key) {
        std::vector<u32> px(size_t(w) * h, colour);
        px[0] = 0xFF010203u;
        std::vector<u8> png;
        ASSERT_TRUE(plat::EncodePng(px.data(), w, h, true, &png));
        if (key) XorWords(png.data(), u32(png.size()), key);
        ASSERT_TRUE(plat::WriteFileAtomic(path, png.data(), png.size()));
        files_.push_back(path);
    }

    std::vector<ScreenVertex> LastDrawVertices() {
        for (auto it = rec_->Calls().rbegin(); it != rec_->Calls().rend(); ++it) {
            if (it->text.rfind("DrawPrimitiveUP", 0) == 0) {
                std::vector<ScreenVertex> v(it->vertices.size() / sizeof(ScreenVertex));
                std::memcpy(v.data(), it->vertices.data(), v.size() * sizeof(ScreenVertex));
                return v;
            }
        }
        return {};
    }

    std::unique_ptr<plat::Window> window_;
    plat::GfxRecorderDevice* rec_ = nullptr;
    std::vector<const char*> files_;
};

TEST_F(TextureManagerTest, FindAddsAReferenceEachTimeAndTheLastReleaseRemoves) {
    TextureManager& tm = GetGraphicsDevice()->textureManager;
    TextureHandle* h = tm.Create("robo/a.png");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->refCount, 1u);
    EXPECT_EQ(tm.Find("robo/a.png"), h);
    EXPECT_EQ(tm.Find("robo/a.png"), h);
    EXPECT_EQ(h->refCount, 3u);
    h->Release();
    h->Release();
    EXPECT_EQ(tm.Count(), 1u);
    h->Release();  // destroys the handle
    EXPECT_EQ(tm.Count(), 0u);
    EXPECT_EQ(tm.Find("robo/a.png"), nullptr);
}

TEST_F(TextureManagerTest, CreateOfAPresentNameChangesNothing) {
    TextureManager& tm = GetGraphicsDevice()->textureManager;
    TextureHandle* h = tm.Create("x");
    EXPECT_EQ(tm.Create("x"), nullptr);
    EXPECT_EQ(h->refCount, 1u);
    EXPECT_EQ(tm.Count(), 1u);
    TextureHandle* empty = tm.Create(nullptr);
    EXPECT_EQ(tm.Find(""), empty);  // null and "" are one entry
    EXPECT_EQ(tm.Create(""), nullptr);
    empty->Release();
    empty->Release();
    h->Release();
    EXPECT_EQ(tm.Count(), 0u);
    TextureHandle stranger;
    EXPECT_EQ(tm.Remove(&stranger), 0);
}

TEST_F(TextureManagerTest, ClearDropsOneReferenceOfEveryHandle) {
    TextureManager& tm = GetGraphicsDevice()->textureManager;
    TextureHandle* once = tm.Create("once");
    TextureHandle* twice = tm.Create("twice");
    tm.Find("twice");
    tm.Clear();
    EXPECT_EQ(tm.Count(), 1u);
    EXPECT_EQ(tm.Find("twice"), twice);
    EXPECT_EQ(twice->refCount, 2u);
    (void)once;
    twice->Release();
    twice->Release();
}

TEST_F(TextureManagerTest, ManagerGoingAwayReportsEveryTextureStillHeld) {
    testing::internal::CaptureStderr();
    {
        TextureManager tm;
        tm.Create("b.png");
        tm.Create("a.png");
    }
    const std::string out = testing::internal::GetCapturedStderr();
    const size_t a = out.find("[TextureManager 未解放テクスチャ！] a.png");
    const size_t b = out.find("[TextureManager 未解放テクスチャ！] b.png");
    EXPECT_NE(a, std::string::npos) << out;
    EXPECT_NE(b, std::string::npos) << out;
    EXPECT_LT(a, b);  // in name order
}

TEST_F(TextureManagerTest, ScrambledPngLoadsUnscrambleAndKeepTheName) {
    WritePng("tm_scrambled.png", 8, 4, 0xFF00FF00u, AssetKey);
    TextureHandle h;
    ASSERT_EQ(h.LoadScrambled("tm_scrambled.png", plat::kGfxFromFile, plat::kGfxFromFile, 1, 0,
                              GfxFormat::Unknown, GfxPool::Managed, plat::ImageFilterNone, plat::ImageFilterNone, 0,
                              nullptr, AssetKey),
              1);
    ASSERT_NE(h.texture, nullptr);
    ASSERT_NE(h.surface, nullptr);
    EXPECT_EQ(h.imageInfo.width, 8u);
    EXPECT_EQ(h.imageInfo.fileFormat, plat::ImageFileFormat::Png);
    EXPECT_EQ(h.uScale, 1.0f);
    EXPECT_EQ(h.sourceRect.right, 8);
    EXPECT_EQ(h.sourceRect.bottom, 4);
    EXPECT_EQ(h.fileName, "tm_scrambled.png");
    std::vector<u32> px;
    GetGraphicsDevice()->device->ReadPixels(h.surface, nullptr, &px);
    EXPECT_EQ(px[0], 0xFF010203u);
    EXPECT_EQ(px[5], 0xFF00FF00u);

    TextureHandle d;
    ASSERT_EQ(d.LoadScrambledDefault("tm_scrambled.png", AssetKey), 1);
    EXPECT_EQ(d.imageInfo.width, 8u);  // the default size is the texture's own
    EXPECT_GT(d.texture->GetLevelCount(), 1u);

    TextureHandle wrongKey;
    EXPECT_EQ(wrongKey.LoadScrambledDefault("tm_scrambled.png", MeshKey), 0);
    EXPECT_EQ(wrongKey.texture, nullptr);

    h.Release();
    EXPECT_EQ(h.texture, nullptr);
    EXPECT_TRUE(h.fileName.empty());
}

TEST_F(TextureManagerTest, ScrambledLoadsOfShortOrMissingFilesFail) {
    const u8 three[3] = {1, 2, 3};
    ASSERT_TRUE(plat::WriteFileAtomic("tm_short.png", three, 3));
    files_.push_back("tm_short.png");
    TextureHandle h;
    EXPECT_EQ(h.LoadScrambledDefault("tm_short.png", AssetKey), 0);
    EXPECT_EQ(h.LoadScrambledDefault("tm_missing.png", AssetKey), 0);
    EXPECT_EQ(h.texture, nullptr);
}

TEST_F(TextureManagerTest, PlainLoadsReplaceWhatTheHandleHeld) {
    WritePng("tm_plain.png", 2, 2, 0xFFFFFFFFu, 0);
    TextureHandle h;
    ASSERT_EQ(h.LoadFile("tm_plain.png"), 1);
    plat::GfxTexture* first = h.texture;
    first->AddRef();
    ASSERT_EQ(h.LoadFile("tm_plain.png"), 1);
    EXPECT_EQ(first->RefCount(), 1u);  // the handle let go of the first texture
    first->Release();
}

TEST_F(TextureManagerTest, ReloadingAManagedHandleLetsGoOfItsFirstTexture) {
    WritePng("tm_managed.png", 2, 2, 0xFFFFFFFFu, 0);
    TextureHandle* h = GetGraphicsDevice()->textureManager.Create("tm_managed.png");
    ASSERT_EQ(h->LoadFile("tm_managed.png"), 1);
    plat::GfxTexture* first = h->texture;
    first->AddRef();
    ASSERT_EQ(h->LoadFile("tm_managed.png"), 1);
    EXPECT_EQ(first->RefCount(), 1u);
    EXPECT_EQ(h->refCount, 1u);  // the users' count is untouched
    first->Release();
    h->Release();
}

TEST_F(TextureManagerTest, MemoryLoadsAndEmptyHandlesDrawSafely) {
    const u32 px[4] = {0xFF112233u, 0xFF112233u, 0xFF112233u, 0xFF112233u};
    std::vector<u8> png;
    ASSERT_TRUE(plat::EncodePng(px, 2, 2, false, &png));
    TextureHandle a, b;
    ASSERT_EQ(a.LoadMemory(png.data(), u32(png.size())), 1);
    EXPECT_EQ(a.imageInfo.width, 2u);
    EXPECT_TRUE(a.fileName.empty());
    ASSERT_EQ(b.LoadMemoryEx(png.data(), u32(png.size()), 8, 8, 1, 0, GfxFormat::Unknown, GfxPool::Managed,
                             plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr),
              1);
    EXPECT_EQ(b.imageInfo.width, 2u);  // the file's picture
    EXPECT_FLOAT_EQ(b.uScale, 0.25f);
    EXPECT_EQ(b.LoadMemory(png.data(), 5), 0);
    EXPECT_EQ(b.texture, nullptr);

    TextureHandle empty;
    GetGraphicsDevice()->device->BeginScene();
    empty.DrawScreenQuadUV(0, 0, 10, 10, 5, 5, 10, 10, 1, 1, 1, 1);
    GetGraphicsDevice()->device->EndScene();
    const std::vector<ScreenVertex> v = LastDrawVertices();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[3].u, 0.0f);  // no picture: no coordinates, and no division by zero
}

TEST_F(TextureManagerTest, ScreenQuadUvShowsExactlyTheSourcePicture) {
    WritePng("tm_300.png", 300, 200, 0xFF808080u, 0);
    TextureHandle h;
    ASSERT_EQ(h.LoadFileEx("tm_300.png", plat::kGfxDefault, plat::kGfxDefault, 1, 0, GfxFormat::Unknown,
                           GfxPool::Managed, plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr),
              1);
    EXPECT_EQ(h.texture->Width(), 512u);
    EXPECT_FLOAT_EQ(h.uScale, 300.0f / 512.0f);
    GetGraphicsDevice()->device->BeginScene();
    h.DrawScreenQuadUV(10, 20, 300, 200, 0, 0, 300, 200, 0.5f, 1.2f, -0.1f, 1.0f);
    GetGraphicsDevice()->device->EndScene();
    const std::vector<ScreenVertex> v = LastDrawVertices();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_FLOAT_EQ(v[3].u, 300.0f / 512.0f);
    EXPECT_FLOAT_EQ(v[3].v, 200.0f / 256.0f);
    EXPECT_EQ(v[0].u, 0.0f);
    EXPECT_EQ(v[0].x, 10.0f);
    EXPECT_EQ(v[3].x, 310.0f);
    EXPECT_EQ(v[3].y, 220.0f);
    EXPECT_EQ(v[0].colour, 0xFF80FF00u);  // 0.5 -> 128, 1.2 -> 255, -0.1 -> 0
    EXPECT_EQ(v[0].z, 0.0f);
    EXPECT_EQ(v[0].rhw, 1.0f);
    const std::vector<std::string> tail = {"SetFVF 0x144", "SetTexture 0 " + plat::GfxRecorderDevice::NameOf(h.texture),
                                           "DrawPrimitiveUP TriangleStrip 2", "EndScene"};
    const std::vector<std::string> all = rec_->CallTexts();
    EXPECT_EQ(std::vector<std::string>(all.end() - 4, all.end()), tail);  // no render state touched
}

TEST_F(TextureManagerTest, ScreenQuadCornersInStripOrder) {
    TextureHandle h;
    ASSERT_EQ(h.CreateBlank(16, 16, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed), 1);
    GetGraphicsDevice()->device->BeginScene();
    h.DrawScreenQuad(1, 2, 3, 4, 1, 1, 1, 1);
    GetGraphicsDevice()->device->EndScene();
    const std::vector<ScreenVertex> v = LastDrawVertices();
    ASSERT_EQ(v.size(), 4u);
    const float expected[4][4] = {{1, 2, 0, 0}, {4, 2, 1, 0}, {1, 6, 0, 1}, {4, 6, 1, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].x, expected[i][0]);
        EXPECT_EQ(v[i].y, expected[i][1]);
        EXPECT_EQ(v[i].u, expected[i][2]);
        EXPECT_EQ(v[i].v, expected[i][3]);
        EXPECT_EQ(v[i].colour, 0xFFFFFFFFu);
    }
}

TEST_F(TextureManagerTest, ColourChannelsBecomeBytes) {
    EXPECT_EQ(ColourChannelByte(0.5f), 128);
    EXPECT_EQ(ColourChannelByte(1.2f), 255);
    EXPECT_EQ(ColourChannelByte(1.0f), 255);
    EXPECT_EQ(ColourChannelByte(-0.1f), 0);
    EXPECT_EQ(ColourChannelByte(0.0f), 0);
    EXPECT_EQ(ColourFromChannels(1, 0, 0, 0.5f), 0x80FF0000u);
}

TEST_F(TextureManagerTest, BlankTexturesAndRenderTargets) {
    TextureHandle rt;
    ASSERT_EQ(rt.CreateBlank(128, 64, 1, plat::GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default), 1);
    EXPECT_EQ(rt.imageInfo.width, 128u);
    EXPECT_EQ(rt.imageInfo.height, 64u);
    EXPECT_EQ(rt.uScale, 1.0f);
    EXPECT_EQ(rt.SetAsRenderTarget(), plat::GfxResult::Ok);
    plat::GfxSurface* current = nullptr;
    GetGraphicsDevice()->device->GetRenderTarget(0, &current);
    EXPECT_EQ(current, rt.surface);
    current->Release();
    GetGraphicsDevice()->device->SetRenderTarget(0, GetGraphicsDevice()->backBuffer);
    EXPECT_NE(rt.Fill(0xFFFFFFFFu), plat::GfxResult::Ok);  // render targets cannot be locked
    rt.Release();
    EXPECT_EQ(GetGraphicsDevice()->device->LiveDefaultPoolResources(), 0u);
}

// A picture bigger than its texture, or a format without 32-bit pixels, must
// not make Fill write past the texture.
TEST_F(TextureManagerTest, FillStaysInsideTheTextureInItsOwnFormat) {
    WritePng("tm_fill.png", 64, 64, 0xFF000000u, 0);
    TextureHandle small;
    ASSERT_EQ(small.LoadFileEx("tm_fill.png", 16, 16, 1, 0, GfxFormat::R8G8B8, GfxPool::Managed,
                               plat::ImageFilterPoint, plat::ImageFilterPoint, 0, nullptr),
              1);
    EXPECT_EQ(small.imageInfo.width, 64u);  // the picture as the file has it
    ASSERT_EQ(small.Fill(0xFF204060u), plat::GfxResult::Ok);
    std::vector<u32> px;
    GetGraphicsDevice()->device->ReadPixels(small.surface, nullptr, &px);
    ASSERT_EQ(px.size(), 256u);
    for (u32 p : px) EXPECT_EQ(p, 0xFF204060u);

    TextureHandle white;
    ASSERT_EQ(white.CreateBlank(1, 1, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed), 1);
    ASSERT_EQ(white.Fill(0xFFFFFFFFu), plat::GfxResult::Ok);
    GetGraphicsDevice()->device->ReadPixels(white.surface, nullptr, &px);
    EXPECT_EQ(px[0], 0xFFFFFFFFu);
    TextureHandle empty;
    EXPECT_EQ(empty.Fill(0), plat::GfxResult::Ok);  // nothing to fill
}

TEST_F(TextureManagerTest, SharedLoadingPatternLoadsOnce) {
    WritePng("tm_shared.png", 4, 4, 0xFF00FF00u, 0);
    TextureManager& tm = GetGraphicsDevice()->textureManager;
    auto load = [&]() {
        TextureHandle* h = tm.Find("tm_shared.png");
        if (h == nullptr) {
            h = tm.Create("tm_shared.png");
            h->LoadFileEx("tm_shared.png", plat::kGfxDefault, plat::kGfxDefault, plat::kGfxDefault, 0,
                          GfxFormat::Unknown, GfxPool::Managed, plat::kGfxDefault, plat::kGfxDefault, 0, nullptr);
        }
        return h;
    };
    TextureHandle* a = load();
    TextureHandle* b = load();
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->refCount, 2u);
    ASSERT_NE(a->texture, nullptr);
    a->Release();
    EXPECT_NE(b->texture, nullptr);
    b->Release();
    EXPECT_EQ(tm.Count(), 0u);
}

}  // namespace
