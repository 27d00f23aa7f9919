// The shared sprite on the OpenGL backend (offscreen) and the recorder.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Sprite.h"
#include "support/OffscreenDevice.h"

using namespace plat;

namespace {

class SpriteOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gfx_.Open(GfxBackend::OpenGL));
        ASSERT_EQ(CreateSprite(gfx_.device.get(), sprite_.put()), GfxResult::Ok);
        tex_ = MakeCheckerTexture(gfx_.device.get());
        ASSERT_EQ(gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0), GfxResult::Ok);
        ASSERT_EQ(gfx_.device->BeginScene(), GfxResult::Ok);
        ASSERT_EQ(sprite_->Begin(SpriteAlphaBlend), GfxResult::Ok);
        // What every sprite pass of the game does after Begin.
        gfx_.device->SetSamplerState(0, GfxSamplerState::MinFilter, FilterPoint);
        gfx_.device->SetSamplerState(0, GfxSamplerState::MagFilter, FilterPoint);
        gfx_.device->SetSamplerState(0, GfxSamplerState::MipFilter, FilterNone);
    }
    void Finish() {
        ASSERT_EQ(sprite_->End(), GfxResult::Ok);
        ASSERT_EQ(gfx_.device->EndScene(), GfxResult::Ok);
    }

    OffscreenDevice gfx_;
    GfxRef<Sprite> sprite_;
    GfxRef<GfxTexture> tex_;
};

TEST_F(SpriteOnScreen, TexelsLandOnPixelsAndColourTints) {
    const Vec3 pos{10, 20, 0};
    ASSERT_EQ(sprite_->Draw(tex_.get(), nullptr, nullptr, &pos, 0xFFFFFFFFu), GfxResult::Ok);
    const GfxRect white{1, 1, 2, 2};
    const Vec3 pos2{40, 40, 0};
    ASSERT_EQ(sprite_->Draw(tex_.get(), &white, nullptr, &pos2, 0xFF00FF00u), GfxResult::Ok);
    // A later quad on another texture covers an earlier one.
    GfxRef<GfxTexture> other = MakeCheckerTexture(gfx_.device.get());
    const Vec3 pos3{60, 60, 0};
    sprite_->Draw(tex_.get(), nullptr, nullptr, &pos3, 0xFFFFFFFFu);
    sprite_->Draw(other.get(), &white, nullptr, &pos3, 0xFF0000FFu);
    Finish();
    EXPECT_EQ(gfx_.Pixel(10, 20), 0xFFFF0000u);
    EXPECT_EQ(gfx_.Pixel(11, 20), 0xFF00FF00u);
    EXPECT_EQ(gfx_.Pixel(10, 21), 0xFF0000FFu);
    EXPECT_EQ(gfx_.Pixel(11, 21), 0xFFFFFFFFu);
    EXPECT_EQ(gfx_.Pixel(12, 20), 0xFF000000u);
    EXPECT_EQ(gfx_.Pixel(9, 20), 0xFF000000u);
    EXPECT_EQ(gfx_.Pixel(40, 40), 0xFF00FF00u) << "white texel tinted green";
    EXPECT_EQ(gfx_.Pixel(41, 40), 0xFF000000u);
    EXPECT_EQ(gfx_.Pixel(60, 60), 0xFF0000FFu);
}

TEST_F(SpriteOnScreen, TransformScalesAndMovesWithCentreSubtracted) {
    Mat4 m;  // scale 4, then move to (100, 50)
    m.m[0][0] = 4;
    m.m[1][1] = 4;
    m.m[3][0] = 100;
    m.m[3][1] = 50;
    ASSERT_EQ(sprite_->SetTransform(m), GfxResult::Ok);
    const Vec3 centre{1, 1, 0};
    const Vec3 pos{2, 2, 0};  // source origin at (1, 1) before scaling
    ASSERT_EQ(sprite_->Draw(tex_.get(), nullptr, &centre, &pos, 0xFFFFFFFFu), GfxResult::Ok);
    Mat4 back;
    sprite_->GetTransform(&back);
    EXPECT_EQ(back, m);
    Finish();
    EXPECT_EQ(gfx_.Pixel(104, 54), 0xFFFF0000u);
    EXPECT_EQ(gfx_.Pixel(107, 57), 0xFFFF0000u);
    EXPECT_EQ(gfx_.Pixel(108, 54), 0xFF00FF00u);
    EXPECT_EQ(gfx_.Pixel(111, 61), 0xFFFFFFFFu);
    EXPECT_EQ(gfx_.Pixel(103, 54), 0xFF000000u);
    EXPECT_EQ(gfx_.Pixel(112, 61), 0xFF000000u);
}

TEST(Sprite, BatchesOneTextureIntoOneDrawAndPutsStatesBack) {
    OffscreenDevice gfx;
    ASSERT_TRUE(gfx.Open(GfxBackend::Recorder));
    GfxDevice* dev = gfx.device.get();
    GfxRef<Sprite> sprite;
    ASSERT_EQ(CreateSprite(dev, sprite.put()), GfxResult::Ok);
    GfxRef<GfxTexture> tex = MakeCheckerTexture(dev);
    const Vec3 pos{0, 0, 0};
    EXPECT_EQ(sprite->Draw(tex.get(), nullptr, nullptr, &pos, 0xFFFFFFFFu), GfxResult::InvalidCall)
        << "drawing needs Begin";

    dev->SetRenderState(GfxRenderState::ZEnable, 1);
    dev->SetRenderState(GfxRenderState::CullMode, CullCCW);
    dev->SetSamplerState(0, GfxSamplerState::MagFilter, FilterLinear);
    ASSERT_EQ(dev->BeginScene(), GfxResult::Ok);
    ASSERT_EQ(sprite->Begin(SpriteAlphaBlend), GfxResult::Ok);
    EXPECT_EQ(sprite->Begin(SpriteAlphaBlend), GfxResult::InvalidCall);
    u32 v = 99;
    dev->GetRenderState(GfxRenderState::ZEnable, &v);
    EXPECT_EQ(v, 0u) << "sprites draw without depth";
    dev->SetSamplerState(0, GfxSamplerState::MagFilter, FilterPoint);
    AsRecorder(dev)->ClearCalls();
    for (int i = 0; i < 5; ++i) sprite->Draw(tex.get(), nullptr, nullptr, &pos, 0xFFFFFFFFu);
    EXPECT_EQ(sprite->PendingQuads(), 5u);
    ASSERT_EQ(sprite->End(), GfxResult::Ok);
    EXPECT_EQ(AsRecorder(dev)->CallsStartingWith("DrawPrimitiveUP").size(), 1u);
    EXPECT_EQ(sprite->PendingQuads(), 0u);

    dev->GetRenderState(GfxRenderState::ZEnable, &v);
    EXPECT_EQ(v, 1u);
    dev->GetRenderState(GfxRenderState::CullMode, &v);
    EXPECT_EQ(v, u32(CullCCW));
    dev->GetSamplerState(0, GfxSamplerState::MagFilter, &v);
    EXPECT_EQ(v, u32(FilterLinear)) << "a filter changed inside the pass is undone by End";
    dev->EndScene();
}

}  // namespace
