#include "app/scene/ExpGet.h"

#include <string>

#include <gtest/gtest.h>

#include "support/RecordingGraphics.h"
#include "support/TaskTestHelpers.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/Fade.h"
#include "app/player/PlayerProfile.h"
#include "engine/graphics/GraphicsDevice.h"

namespace {

u32 gNow = 0;
u32 FakeNow() { return gNow; }

class ExpGetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gNow = 100000;
        SetAppClock({FakeNow, nullptr});
        app.Profile().exp = 0;
        app.Profile().rankLevel = 0;
    }
    void TearDown() override
    {
        list.DeleteAll();
        SetAppClock({});
        app.input.keyTable[13] = 0;
        app.input.keyRepeatTimes[13] = 0;
        app.Profile().exp = 0;
        app.Profile().rankLevel = 0;
    }
    void Frame()
    {
        gNow += 16;
        RunTaskProcs(list);
    }
    void PressEnter()
    {
        app.input.keyTable[13] = 0x80;
        Frame();
        app.input.keyTable[13] = 0;
        Frame();
    }

    CApplication& app = *GetApplication();
    RecordingGraphics gfx;
    CList<TCB> list;
};

TEST_F(ExpGetTest, PromotionByThreeLevelsShowsThreeFlashedStepsEachEndedByEnter)
{
    TCB_ExpGet* notice = TCB_ExpGet::Create(&list, 50);
    notice->Start(150000, 0);
    ASSERT_EQ(app.Profile().rankLevel, 3u);
    ASSERT_NE(notice->display, nullptr);
    EXPECT_EQ(notice->display->notice, notice);
    for (i32 step = 1; step <= 3; ++step) {
        Frame();
        ASSERT_EQ(notice->stepShown, 1) << "step " << step;
        EXPECT_EQ(notice->shownLevel, step);
        EXPECT_EQ(CountOf<TCB_FadeIn>(list), 1) << "one white flash per step";
        char title[RankTitleBufferSize];
        GetRankTitle(static_cast<u32>(step), title, sizeof title);
        EXPECT_EQ(std::string(notice->message), "军现升级为[" + std::string(title) + "]            ");
        // Enter is not taken before the step has been shown 61 frames.
        app.input.keyTable[13] = 0x80;
        for (int f = 0; f < 59; ++f) Frame();
        EXPECT_EQ(notice->stepShown, 1);
        app.input.keyTable[13] = 0;
        for (int f = 0; f < 60; ++f) Frame();  // the flash is over by now
        app.input.keyTable[13] = 0x80;
        Frame();
        app.input.keyTable[13] = 0;
        EXPECT_EQ(notice->stepShown, 0) << "step " << step;
    }
    Frame();  // the levels meet
    EXPECT_EQ(notice->confirmed, 0);
    Frame();
    EXPECT_EQ(notice->confirmed, 1);
    EXPECT_NE(notice->display->rankPicture.texture, nullptr);
    notice->Finish();
    Frame();
    EXPECT_FALSE(InList(list, notice));
}

TEST_F(ExpGetTest, UnchangedLevelMakesNoDisplayAndConfirmsAtOnce)
{
    TCB_ExpGet* notice = TCB_ExpGet::Create(&list, 50);
    notice->Start(1000, 0);
    EXPECT_EQ(notice->display, nullptr);
    EXPECT_EQ(CountOf<TCB_ExpGetDraw>(list), 0);
    Frame();
    Frame();
    EXPECT_EQ(notice->confirmed, 1);
    EXPECT_TRUE(InList(list, notice));
    notice->Finish();
    Frame();
    EXPECT_FALSE(InList(list, notice));
}

TEST_F(ExpGetTest, LostBattleStepsTheRankDown)
{
    app.Profile().AddExp(190000);  // level 4
    TCB_ExpGet* notice = TCB_ExpGet::Create(&list, 50);
    notice->Start(-100000, 0);
    ASSERT_EQ(app.Profile().rankLevel, 2u);
    Frame();
    EXPECT_EQ(notice->shownLevel, 3);
    EXPECT_EQ(CountOf<TCB_FadeIn>(list), 0);
    EXPECT_EQ(std::string(notice->message).rfind("军衔降低为[", 0), 0u);
    EXPECT_EQ(std::string(notice->message).substr(std::string(notice->message).size() - 16), "]               ");
}

TEST_F(ExpGetTest, ShortBattleWaitsSixtyFramesThenForEnter)
{
    TCB_ExpGet* notice = TCB_ExpGet::Create(&list, 50);
    notice->Start(5000, 1);
    EXPECT_EQ(app.Profile().exp, 0u);
    ASSERT_NE(notice->display, nullptr);
    app.input.keyTable[13] = 0x80;
    for (int f = 0; f < 61; ++f) Frame();
    EXPECT_EQ(notice->confirmed, 0);
    app.input.keyTable[13] = 0;
    Frame();
    PressEnter();
    EXPECT_EQ(notice->confirmed, 1);
}

TEST_F(ExpGetTest, DisplayStopsDrawingOnceTheNoticeLetsGo)
{
    TCB_ExpGet* notice = TCB_ExpGet::Create(&list, 50);
    notice->Start(0, 1);
    TCB_ExpGetDraw* display = notice->display;
    ASSERT_NE(display, nullptr);
    notice->Finish();
    EXPECT_EQ(display->notice, nullptr);
    Frame();
    EXPECT_FALSE(InList(list, notice));
    EXPECT_TRUE(InList(list, display));
    GraphicsDevice* gd = GetGraphicsDevice();
    gfx.Recorder()->ClearCalls();
    gd->device->BeginScene();
    gd->sprite->Begin(plat::SpriteAlphaBlend);
    RunTaskSprites(list);
    gd->sprite->End();
    gd->device->EndScene();
    EXPECT_TRUE(SpriteQuads(gfx.Recorder()).empty());
}

}  // namespace
