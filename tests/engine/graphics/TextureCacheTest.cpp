// The rendered-text cache on the graphics device: real pixels on the OpenGL
// backend (offscreen), placement and life of entries on the recorder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/graphics/DisplaySettings.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/gfx/GfxRecorder.h"
#include "support/OffscreenDevice.h"

using namespace plat;

namespace {

const char* const kJapanese = "ゲームは既に起動しています。";
const char* const kChinese = "按Ctrl+2创造靶机";

struct Box {
    float left, top, right, bottom;
};

class TextCacheTest : public ::testing::Test {
protected:
    void Open(GfxBackend backend) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SetGfxBackend(backend);
        window_ = Window::Create("text cache test", 0, 0, 1024, 768,
                                 backend == GfxBackend::Recorder ? Window::Headless : Window::Hidden);
        ASSERT_NE(window_, nullptr);
        gd_ = GetGraphicsDevice();
        ASSERT_EQ(gd_->Create(window_.get(), 1024, 768, GfxFormat::X8R8G8B8, false), 1);
        gd_->CreateFont(1, "黑体", 24);
        gd_->CreateFont(6, "ＭＳ　ゴシック", 12);
        gd_->CreateFont(0, "黑体", 12);
        gd_->CreateFont(2, "黑体", 48);
        ASSERT_NE(gd_->fonts[1], nullptr);
        GetDisplaySettings() = DisplaySettings{1, 1024, 768, 1.0f, 1.0f};
        ASSERT_EQ(CreateTextRenderTarget(1024, 768), 1);
        gd_->lostCallbacks[2] = TextCacheDeviceLost;
        gd_->resetCallbacks[2] = TextCacheDeviceReset;
        cache_ = GetTextureCache();
    }
    void TearDown() override {
        if (cache_) cache_->Clear();
        ReleaseTextRenderTarget();
        if (gd_) {
            gd_->lostCallbacks[2] = gd_->resetCallbacks[2] = nullptr;
            gd_->Release();
        }
        window_.reset();
    }
    void BeginFrame() {
        gd_->device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
        ASSERT_EQ(gd_->device->BeginScene(), GfxResult::Ok);
        ASSERT_EQ(gd_->sprite->Begin(SpriteAlphaBlend), GfxResult::Ok);
    }
    void EndFrame() {
        gd_->sprite->End();
        gd_->device->EndScene();
    }
    TextCacheEntry* Draw(int slot, const char* text, i32 count, GfxRect rc, u32 format, u32 colour,
                         u32 life = 60, u32 layout = 0) {
        return cache_->DrawText(gd_->fonts[slot], text, count, &rc, format, colour, life, layout, 0);
    }
    // One frame of white text laid out in 1024 x 768, shown at `scale`.
    void DrawScaledFrame(f32 scale, int slot, const char* text, GfxRect rc, u32 format) {
        BeginFrame();
        Mat4 m;
        m.m[0][0] = m.m[1][1] = scale;
        gd_->sprite->SetTransform(m);
        Draw(slot, text, -1, rc, format, 0xFFFFFFFFu);
        gd_->sprite->SetTransform(Mat4::Identity());
        EndFrame();
    }
    InkBox Ink(GfxRect r) { return FindInk(Pixels(r), r.Width(), r.left, r.top, 0xFF000000u); }
    std::vector<u32> Pixels(GfxRect r) {
        std::vector<u32> px;
        GfxRef<GfxSurface> bb;
        gd_->device->GetBackBuffer(bb.put());
        gd_->device->ReadPixels(bb.get(), &r, &px);
        return px;
    }
    // Screen boxes of the sprite quads drawn since the recording was cleared.
    std::vector<Box> Quads() {
        std::vector<Box> out;
        for (const GfxRecordedCall& c : AsRecorder(gd_->device)->Calls()) {
            if (c.text.rfind("DrawPrimitiveUP", 0) != 0) continue;
            for (size_t q = 0; q + 6 * 28 <= c.vertices.size(); q += 6 * 28) {
                float v[4][2];
                const size_t corner[4] = {0, 1, 2, 5};  // left-top, right-top, left-bottom, right-bottom
                for (int k = 0; k < 4; ++k) std::memcpy(v[k], c.vertices.data() + q + corner[k] * 28, 8);
                out.push_back(Box{v[0][0] + 0.5f, v[0][1] + 0.5f, v[3][0] + 0.5f, v[3][1] + 0.5f});
            }
        }
        return out;
    }
    i32 Width(int slot, const char* text) { return gd_->fonts[slot]->GetTextExtent(text, -1).cx; }

    std::unique_ptr<Window> window_;
    GraphicsDevice* gd_ = nullptr;
    TextureCache* cache_ = nullptr;
};

TEST_F(TextCacheTest, JapaneseAndChineseLandInTheirColourWhereTheFontWouldDrawThem) {
    Open(GfxBackend::OpenGL);
    const GfxRect chinese{100, 100, 900, 200}, japanese{0, 300, 1024, 400};
    // What the font draws straight...
    GetDisplaySettings().fastFont = 0;
    BeginFrame();
    TextCacheEntry* a = Draw(1, kChinese, -1, chinese, 0, 0xFFFFFFFFu);
    TextCacheEntry* b = Draw(1, kJapanese, -1, japanese, TextCenter | TextVCenter, 0xFFFFFFFFu, 60, 1);
    EndFrame();
    const InkBox directCn = Ink(GfxRect{0, 80, 1024, 240}), directJp = Ink(GfxRect{0, 280, 1024, 420});
    ASSERT_FALSE(directCn.Empty());
    EXPECT_EQ(cache_->EntryCount(), 0u) << "fast font off caches nothing";
    EXPECT_EQ(a, b) << "and returns one shared empty entry";
    EXPECT_EQ(a->framesLeft, 0u);

    // ...and the same through the cache, tinted.
    GetDisplaySettings().fastFont = 1;
    BeginFrame();
    Draw(1, kChinese, -1, chinese, 0, 0xFFFF0000u);
    Draw(1, kJapanese, -1, japanese, TextCenter | TextVCenter, 0xFF00FF00u);
    EndFrame();
    EXPECT_EQ(cache_->EntryCount(), 2u);
    const InkBox cn = Ink(GfxRect{0, 80, 1024, 240}), jp = Ink(GfxRect{0, 280, 1024, 420});
    for (const auto& [got, want] : {std::pair{cn, directCn}, std::pair{jp, directJp}}) {
        ASSERT_FALSE(got.Empty());
        EXPECT_NEAR(got.left, want.left, 1);
        EXPECT_NEAR(got.right, want.right, 1);
        EXPECT_NEAR(got.top, want.top, 1);
        EXPECT_NEAR(got.bottom, want.bottom, 1);
    }
    EXPECT_GE(cn.left, 100);
    EXPECT_LE(cn.right, 100 + Width(1, kChinese));
    EXPECT_NEAR(jp.left, 512 - Width(1, kJapanese) / 2, 3);
    GfxRef<GfxSurface> bb;
    gd_->device->GetBackBuffer(bb.put());
    std::vector<u32> px;
    GfxRect area{cn.left, cn.top, cn.right, cn.bottom};
    gd_->device->ReadPixels(bb.get(), &area, &px);
    int strong = 0;
    for (u32 p : px) {
        EXPECT_EQ(p & 0xFFFF, 0u) << "the Chinese line is red only";
        if (((p >> 16) & 0xFF) > 200) ++strong;
    }
    EXPECT_GT(strong, 30);
    area = GfxRect{jp.left, jp.top, jp.right, jp.bottom};
    gd_->device->ReadPixels(bb.get(), &area, &px);
    for (u32 p : px) EXPECT_EQ(p & 0xFF00FF, 0u) << "the Japanese line is green only";
}

// The game lays its screens out in 1024 x 768 and shows them scaled to the
// window. Small text shown in a smaller (or larger) window is every pixel of
// what the same face draws at the height it is seen: no row or column of its
// strokes dropped by shrinking a bigger picture of it ("Vanguard" losing the
// stem of its d, "Bob" the bar of its B), nothing cut off above or below,
// whether the rectangle is roomy or just one line high.
TEST_F(TextCacheTest, TextShownScaledIsWhatTheFaceDrawsAtTheHeightItIsSeen) {
    Open(GfxBackend::OpenGL);
    const char* const texts[] = {"Vanguard", "Ping:24", "0:[三等兵]Bob", "准备完毕", "ID:B7Q2XK", "EXP:69430"};
    const struct { int slot; const char* face; i32 height; } fonts[] = {
        {0, "黑体", 12}, {6, "ＭＳ　ゴシック", 12}, {1, "黑体", 24}};
    for (const f32 scale : {0.625f, 0.78125f, 1.25f}) {
        for (const auto& f : fonts) {
            const i32 seen = i32(std::lround(f32(f.height) * scale));
            Font* straight = nullptr;
            ASSERT_EQ(CreateFont(gd_->device, FontDesc{seen, f.face}, &straight), GfxResult::Ok);
            for (const char* text : texts) {
                for (const i32 rows : {f.height, 3 * f.height}) {
                    const std::string what = std::string(text) + " in " + f.face + " " +
                                             std::to_string(f.height) + " at " + std::to_string(scale) +
                                             (rows == f.height ? ", one line high" : "");
                    // Layout point (160, 160) lands on a whole pixel at each scale.
                    const i32 x = i32(160 * scale), y = i32(160 * scale);
                    const GfxRect area{x - 4, y - 4, x + 500, y + 3 * seen};
                    DrawScaledFrame(scale, f.slot, text, GfxRect{160, 160, 700, 160 + rows}, 0);
                    const std::vector<u32> cached = Pixels(area);
                    BeginFrame();
                    GfxRect rc{x, y, x + 1000, y + 1000};
                    straight->DrawText(gd_->sprite, text, -1, &rc, TextNoClip, 0xFFFFFFFFu);
                    EndFrame();
                    const std::vector<u32> drawn = Pixels(area);
                    ASSERT_EQ(cached.size(), drawn.size());
                    int off = 0;
                    for (size_t i = 0; i < drawn.size(); ++i)
                        off += std::abs(int(cached[i] & 0xFF) - int(drawn[i] & 0xFF)) > 24;
                    EXPECT_EQ(off, 0) << what;
                    const InkBox ink = FindInk(drawn, area.Width(), area.left, area.top, 0xFF000000u);
                    EXPECT_FALSE(ink.Empty()) << what;
                }
            }
            straight->Release();
        }
    }
}

// A line as wide as most of the layout, in the largest font, in a 640 x 480
// window (its text target that size): the whole line shows, centred, not
// the part of it that fits 640 texels at full size.
TEST_F(TextCacheTest, AWideLineShowsWholeInASmallWindow) {
    Open(GfxBackend::OpenGL);
    ReleaseTextRenderTarget();
    ASSERT_EQ(CreateTextRenderTarget(640, 480), 1);
    const char* const notice = "2分以内での戦闘は経験値取得対象外です。";
    ASSERT_GT(Width(2, notice), 640) << "the line must be wider than the window at full size";
    DrawScaledFrame(0.625f, 2, notice, GfxRect{0, 384, 1024, 768}, TextCenter);
    const InkBox ink = Ink(GfxRect{0, 200, 1024, 330});
    ASSERT_FALSE(ink.Empty());
    // The full stop's ink is in the left half of its cell.
    EXPECT_NEAR(ink.left + ink.right, 640 - 15, 10) << "centred in the window: " << ink.left << ".." << ink.right;
    EXPECT_GE(ink.right - ink.left, Width(2, notice) * 5 / 8 - 30) << "the whole line";
    EXPECT_LE(ink.right, 640);
}

TEST_F(TextCacheTest, TheSameTextInTwoColoursRendersOnceAndDrawsTwice) {
    Open(GfxBackend::OpenGL);
    BeginFrame();
    const u64 before = cache_->RenderCount();
    const GfxRect rc{0, 0, 1024, 768};
    Mat4 at;  // the sprite transform places each draw, as a drop shadow does
    at.m[3][0] = 12;
    at.m[3][1] = 12;
    gd_->sprite->SetTransform(at);
    TextCacheEntry* shadow = Draw(1, kChinese, -1, rc, 0, 0xFF0000FFu);
    at.m[3][0] = 10;
    at.m[3][1] = 400;
    gd_->sprite->SetTransform(at);
    shadow->Draw(gd_->fonts[1], kChinese, -1, &rc, 0, 0xFFFFFF00u);
    at.m[3][1] = 600;
    gd_->sprite->SetTransform(at);
    TextCacheEntry* again = Draw(1, kChinese, -1, rc, 0, 0xFFFFFFFFu);
    EndFrame();
    EXPECT_EQ(again, shadow);
    EXPECT_EQ(cache_->RenderCount() - before, 1u);
    EXPECT_EQ(cache_->EntryCount(), 1u);
    const InkBox blue = Ink(GfxRect{0, 0, 1024, 100}), yellow = Ink(GfxRect{0, 390, 1024, 440});
    ASSERT_FALSE(blue.Empty());
    ASSERT_FALSE(yellow.Empty());
    EXPECT_EQ(blue.left - yellow.left, 2);
    EXPECT_FALSE(Ink(GfxRect{0, 590, 1024, 640}).Empty());
}

TEST_F(TextCacheTest, CharacterTextLongerThanTheTargetKeepsEveryCharacter) {
    Open(GfxBackend::OpenGL);
    std::string text;
    for (int i = 0; i < 60; ++i) text += "起";  // wider than the 1024-pixel target
    const i32 cw = Width(1, "起");
    ASSERT_GE(cw * 60, 1024 + 2 * cw);
    BeginFrame();
    const GfxRect rc{0, 100, cw * 20, 768};
    TextCacheEntry* e = Draw(1, text.c_str(), -1, rc, TextWordBreak, 0xFFFFFFFFu, 0xFFFFFFFFu, 1);
    EndFrame();
    ASSERT_EQ(e->glyphs.size(), 60u);
    EXPECT_EQ(e->renderedWidth, 60 * cw);
    // Third line, last character: its cell lies far right of the target.
    const InkBox last = Ink(GfxRect{cw * 19, 148, cw * 20, 172});
    EXPECT_GT(last.count, 20);
}

TEST_F(TextCacheTest, GrowingCountRerendersOneEntryWithWholeCharacters) {
    Open(GfxBackend::Recorder);
    BeginFrame();
    TextCacheEntry* first = nullptr;
    const u64 before = cache_->RenderCount();
    for (int n = 1; n <= 4; ++n) {
        TextCacheEntry* e = Draw(6, "既に起動", n, GfxRect{0, 0, 500, 100}, 0, 0xFFFFFFFFu);
        if (first == nullptr) first = e;
        EXPECT_EQ(e, first);
        EXPECT_EQ(e->count, 3 * n) << "UTF-8 bytes of " << n << " characters";
    }
    EXPECT_EQ(cache_->EntryCount(), 1u);
    EXPECT_EQ(cache_->RenderCount() - before, 4u);
    Draw(6, "既に起動", 2, GfxRect{0, 0, 500, 100}, 0, 0xFFFFFFFFu);
    EXPECT_EQ(first->renderedWidth, Width(6, "既に"));
    EXPECT_EQ(first->renderedHeight, 12);
    Draw(6, "既に起動", 2, GfxRect{0, 0, 500, 100}, TextCenter, 0xFFFFFFFFu);
    EXPECT_EQ(cache_->EntryCount(), 2u) << "the format is part of the key";
    EndFrame();
}

TEST_F(TextCacheTest, CharacterLayoutWrapsCountsAndCutsTheLastLine) {
    Open(GfxBackend::Recorder);
    const char* text = "ゲームは既に起動";  // 8 characters of 3 bytes
    const i32 cw = Width(6, "ゲ");
    ASSERT_EQ(Width(6, text), 8 * cw);
    const GfxRect rc{100, 50, 100 + 3 * cw, 50 + 18};  // room for three, and half the second line
    auto run = [&](i32 count, GfxRect r, u32 format) {
        Draw(6, text, count, r, format, 0xFFFFFFFFu, 60, 1);  // renders when new
        gd_->sprite->Flush();
        AsRecorder(gd_->device)->ClearCalls();
        Draw(6, text, count, r, format, 0xFFFFFFFFu, 60, 1);
        gd_->sprite->Flush();
        return Quads();
    };
    BeginFrame();
    std::vector<Box> q = run(-1, rc, TextWordBreak);
    ASSERT_EQ(q.size(), 6u) << "the third line starts below the rectangle";
    EXPECT_FLOAT_EQ(q[2].left, float(100 + 2 * cw));
    EXPECT_FLOAT_EQ(q[3].left, 100.0f);
    EXPECT_FLOAT_EQ(q[3].top, 62.0f);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(q[size_t(i)].bottom - q[size_t(i)].top, 12.0f);
    for (int i = 3; i < 6; ++i) EXPECT_FLOAT_EQ(q[size_t(i)].bottom, 68.0f) << "cut at the bottom, and it stays";

    q = run(12, rc, TextWordBreak);  // four characters' bytes
    EXPECT_EQ(q.size(), 4u);
    q = run(-1, rc, TextWordBreak | TextNoClip);
    ASSERT_EQ(q.size(), 8u);
    EXPECT_FLOAT_EQ(q[7].top, 74.0f);
    EXPECT_FLOAT_EQ(q[7].bottom, 86.0f);
    q = run(3, rc, 0);
    ASSERT_EQ(q.size(), 8u) << "without word break the count is not used";
    EXPECT_FLOAT_EQ(q[7].left, float(100 + 7 * cw));
    EXPECT_EQ(cache_->EntryCount(), 1u) << "count and format are not in a character layout's key";
    EndFrame();
}

TEST_F(TextCacheTest, AgingRemovesEntriesNotDrawnForTheirLifetime) {
    Open(GfxBackend::Recorder);
    BeginFrame();
    TextCacheEntry* kept = Draw(6, "kept", -1, GfxRect{0, 0, 200, 20}, 0, 0xFFFFFFFFu, 3);
    Draw(6, "dropped", -1, GfxRect{0, 0, 200, 20}, 0, 0xFFFFFFFFu, 3);
    Draw(6, "label", -1, GfxRect{0, 0, 200, 20}, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1);
    const u32 liveWithAll = gd_->device->LiveDefaultPoolResources();
    for (int pass = 1; pass <= 3; ++pass) {
        cache_->Age();
        EXPECT_EQ(cache_->EntryCount(), pass < 3 ? 3u : 2u) << "pass " << pass;
        EXPECT_EQ(Draw(6, "kept", -1, GfxRect{0, 0, 200, 20}, 0, 0xFFFFFFFFu, 3), kept);
    }
    EXPECT_LT(gd_->device->LiveDefaultPoolResources(), liveWithAll) << "the removed entry's texture went";
    for (int pass = 0; pass < 1000; ++pass) cache_->Age();
    EXPECT_EQ(cache_->EntryCount(), 1u) << "only the label that never ages is left";
    EndFrame();
}

TEST_F(TextCacheTest, DeviceLossEmptiesEntriesWhichRenderAgainWhenNextDrawn) {
    Open(GfxBackend::Recorder);
    BeginFrame();
    Draw(1, kChinese, -1, GfxRect{0, 0, 1024, 768}, 0, 0xFFFFFFFFu);
    TextCacheEntry* label = Draw(1, kJapanese, -1, GfxRect{0, 0, 1024, 768}, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1);
    EndFrame();
    ASSERT_NE(label->glyphs[0]->texture.texture, nullptr);

    GfxRecorderDevice* rec = AsRecorder(gd_->device);
    rec->SimulateLoss();
    EXPECT_EQ(gd_->CheckDeviceLost(), 1);
    rec->AllowReset();
    // The reset succeeds only when every default-pool texture is gone.
    EXPECT_EQ(gd_->CheckDeviceLost(), 0);
    EXPECT_EQ(cache_->EntryCount(), 2u);
    EXPECT_EQ(label->font, nullptr);
    EXPECT_TRUE(label->glyphs.empty());
    ASSERT_NE(GetTextRenderTarget()->texture, nullptr) << "made again at the window size";
    EXPECT_EQ(GetTextRenderTarget()->imageInfo.width, 1024u);

    BeginFrame();
    const u64 before = cache_->RenderCount();
    EXPECT_EQ(Draw(1, kJapanese, -1, GfxRect{0, 0, 1024, 768}, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1), label);
    EndFrame();
    EXPECT_EQ(cache_->RenderCount() - before, 1u);
    EXPECT_EQ(label->glyphs.size(), 14u);
}

TEST_F(TextCacheTest, TextIsCutToTheTargetAndKeysHoldTextOfAnyLength) {
    Open(GfxBackend::Recorder);
    ReleaseTextRenderTarget();
    ASSERT_EQ(CreateTextRenderTarget(64, 32), 1);
    BeginFrame();
    TextCacheEntry* e = Draw(1, kJapanese, -1, GfxRect{0, 0, 2000, 2000}, TextWordBreak, 0xFFFFFFFFu);
    EXPECT_EQ(e->widthLimit, 64);
    EXPECT_EQ(e->heightLimit, 32);
    EXPECT_LE(e->renderedWidth, 64);
    EXPECT_LE(e->renderedHeight, 32);

    std::string longA(3000, 'a'), longB = longA;
    longA += "x";
    longB += "y";
    TextCacheEntry* a = Draw(6, longA.c_str(), -1, GfxRect{0, 0, 60, 20}, 0, 0xFFFFFFFFu);
    TextCacheEntry* b = Draw(6, longB.c_str(), -1, GfxRect{0, 0, 60, 20}, 0, 0xFFFFFFFFu);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->text, longA);
    EndFrame();
}

}  // namespace
