#include "app/scene/Fade.h"

#include <vector>

#include <gtest/gtest.h>

#include "support/RecordingGraphics.h"
#include "support/TaskTestHelpers.h"
#include "engine/graphics/GraphicsDevice.h"

namespace {

TEST(FadeTest, FadeInOfSpeedFiveIsGoneInItsFiftyFirstPass)
{
    CList<TCB> list;
    TCB_FadeIn* fade = TCB_FadeIn::Create(&list, 10000);
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->alpha, 255);
    fade->speed = 5;
    std::vector<i32> drawn;
    int passes = 0;
    while (InList(list, fade) && passes < 300) {
        ++passes;
        if (RunTaskProcs(list) == 0 && InList(list, fade)) drawn.push_back(fade->alpha);
    }
    EXPECT_EQ(passes, 51);
    ASSERT_EQ(drawn.size(), 50u);
    EXPECT_EQ(drawn.front(), 250);
    EXPECT_EQ(drawn.back(), 5);
}

TEST(FadeTest, FadeOutHoldsFullColourUntilReleased)
{
    CList<TCB> list;
    TCB_FadeOut* fade = TCB_FadeOut::Create(&list, 10000);
    fade->speed = 10;
    for (int i = 0; i < 26; ++i) RunTaskProcs(list);
    EXPECT_EQ(fade->alpha, 255);
    for (int i = 0; i < 500; ++i) RunTaskProcs(list);
    ASSERT_TRUE(InList(list, fade));
    EXPECT_EQ(fade->alpha, 255);
    fade->release = 1;
    RunTaskProcs(list);
    EXPECT_EQ(CountOf<TCB_FadeOut>(list), 0);
}

TEST(FadeTest, FadeOutMayRemoveItselfWhenFullOrBeReleasedHalfway)
{
    CList<TCB> list;
    TCB_FadeOut* full = TCB_FadeOut::Create(&list, 10000);
    full->speed = 5;
    full->removeWhenFull = 1;
    int passes = 0;
    while (InList(list, full) && passes < 300) {
        ++passes;
        RunTaskProcs(list);
    }
    EXPECT_EQ(passes, 51);

    TCB_FadeOut* half = TCB_FadeOut::Create(&list, 10000);
    half->speed = 5;
    RunTaskProcs(list);
    half->release = 1;
    RunTaskProcs(list);
    EXPECT_EQ(CountOf<TCB_FadeOut>(list), 0);
}

TEST(FadeTest, LayerCoversTheWholeWindowInItsColour)
{
    RecordingGraphics gfx(800, 600);
    CList<TCB> list;
    TCB_FadeIn* fade = TCB_FadeIn::Create(&list, 10000);
    ASSERT_NE(fade->dot.texture, nullptr) << "sample data Quillon/dot.png missing";
    fade->speed = 5;
    fade->red = 0x10;
    fade->green = 0x20;
    fade->blue = 0x30;
    RunTaskProcs(list);
    GraphicsDevice* gd = GetGraphicsDevice();
    gfx.Recorder()->ClearCalls();
    gd->device->BeginScene();
    gd->sprite->Begin(plat::SpriteAlphaBlend);
    RunTaskSprites(list);
    gd->sprite->End();
    gd->device->EndScene();
    const std::vector<SpriteQuad> quads = SpriteQuads(gfx.Recorder());
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_NEAR(quads[0].left, 0.0f, 1.0f);
    EXPECT_NEAR(quads[0].top, 0.0f, 1.0f);
    EXPECT_NEAR(quads[0].right, 800.0f, 1.0f);
    EXPECT_NEAR(quads[0].bottom, 600.0f, 1.0f);
    EXPECT_EQ(quads[0].colour, 0xFA102030u);
}

}  // namespace
