// The title scene on the recording device with the sample data: its phases
// driven through pad 0 with a fake clock, its menu, the demonstration, and
// the hooks of the scenes that come later.
#include "app/scene/TitleScene.h"

#include <gtest/gtest.h>

#include <string>

#include "support/RecordingGraphics.h"
#include "support/TaskTestHelpers.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/Fade.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/MatrixHelpers.h"
#include "platform/gfx/Image.h"

namespace {

u32 gNow = 0;
u32 FakeNow() { return gNow; }

// A scene a menu entry leads to.
class NextScene : public MenuScene {
public:
    ~NextScene() override { SceneInstance<NextScene>() = nullptr; }
    void Init() { ++inits; }
    static int inits;
};
int NextScene::inits = 0;
BaseScene* GetNextScene() { return GetSceneInstance<NextScene>(); }

int gAfterSwitch = 0;
void AfterSwitch() { ++gAfterSwitch; }

class TitleSceneTest : public testing::Test {
protected:
    void SetUp() override
    {
        gNow = 1000000;
        SetAppClock({FakeNow, [](u32) {}});
        GetAppHooks().title = TitleHooks{};
        NextScene::inits = 0;
        gAfterSwitch = 0;
        ShowLogoOnce = 1;
        app.quit = 0;
        app.currentScene = GetTitleScene();
    }
    void TearDown() override
    {
        if (app.currentScene) delete app.currentScene;
        app.currentScene = nullptr;
        GetAppHooks().title = TitleHooks{};
        for (auto& pad : app.input.padState)
            for (u32& w : pad) w = 0;
        app.quit = 0;
        app.closeRequest = 0;
        SetAppClock({});
    }

    CTitleScene* Title() { return dynamic_cast<CTitleScene*>(app.currentScene); }
    TTTCB_Normal* Normal()
    {
        for (TCB* t = Title()->Tasks().GetHead()->next; t != Title()->Tasks().GetTail(); t = t->next)
            if (auto* n = dynamic_cast<TTTCB_Normal*>(t)) return n;
        return nullptr;
    }
    // One frame: the clock moves 16 ms; true while the title is current.
    bool Frame()
    {
        gfx.Recorder()->ClearCalls();  // the recorder keeps every star it was given
        gNow += 16;
        app.currentScene->Frame();
        return Title() != nullptr;
    }
    // Presses a pad-0 button for one frame.
    bool Press(u32 button)
    {
        app.input.padState[0][button] = 1;
        const bool stays = Frame();
        app.input.padState[0][button] = 0;
        return stays;
    }
    void Frames(int n)
    {
        for (int i = 0; i < n; ++i) ASSERT_TRUE(Frame());
    }
    // From the logo to press start without input.
    void PastTheLogo()
    {
        for (int i = 0; i < 400 && Normal()->phase == &TTTCB_Normal::Proc_Logo; ++i) ASSERT_TRUE(Frame());
        ASSERT_EQ(Normal()->phase, &TTTCB_Normal::Proc_PressStart);
    }
    void IntoTheMenu()
    {
        PastTheLogo();
        Frames(31);
        ASSERT_TRUE(Press(12));
        ASSERT_EQ(Normal()->phase, &TTTCB_Normal::Proc_Menu);
        Frames(30);
    }

    CApplication& app = *GetApplication();
    RecordingGraphics gfx;
};

TEST_F(TitleSceneTest, LogoLeavesAfter121FramesAndTheFadeWithoutInput)
{
    ASSERT_NE(Title(), nullptr);
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_Logo);
    EXPECT_NE(Title()->pictures[TitlePictureMakerLogo].texture, nullptr);
    EXPECT_NE(Title()->meshes[TitleMeshEarth].materialCount, 0u);
    int frames = 0;
    while (Normal()->phase == &TTTCB_Normal::Proc_Logo && frames < 1000) {
        ASSERT_TRUE(Frame());
        ++frames;
    }
    // 122 frames to the fade, 51 while it covers the screen, 31 held.
    EXPECT_EQ(frames, 122 + 50 + 31);
    EXPECT_EQ(CountOf<TCB_FadeOut>(Title()->Tasks()), 0);  // released as press start begins
    EXPECT_EQ(CountOf<TCB_FadeIn>(Title()->Tasks()), 1);
}

TEST_F(TitleSceneTest, StartHeldOnTheLogoCountsOncePerTenSeconds)
{
    app.input.padState[0][12] = 1;  // held from the first frame
    Frames(31);
    ASSERT_TRUE(Frame());     // counter 31: START fires
    EXPECT_NE(Normal()->fade, nullptr);
    Frames(60);
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_Logo);
    Frames(40);
    ASSERT_EQ(Normal()->phase, &TTTCB_Normal::Proc_PressStart);
    // Still held: press start needs 31 frames, then the held START only
    // fires again once ten seconds have passed since it first did.
    Frames(31);
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_PressStart);
    gNow += 10000;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_Menu);
    app.input.padState[0][12] = 0;
}

TEST_F(TitleSceneTest, LogoShowsOncePerRun)
{
    PastTheLogo();
    delete app.currentScene;
    app.currentScene = GetTitleScene();
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_PressStart);
}

TEST_F(TitleSceneTest, CursorWrapsBothWays)
{
    IntoTheMenu();
    ASSERT_TRUE(Press(1));
    EXPECT_EQ(Normal()->cursor, 8);
    gNow += 1000;
    ASSERT_TRUE(Press(3));
    EXPECT_EQ(Normal()->cursor, 0);
    gNow += 1000;
    ASSERT_TRUE(Press(1));
    gNow += 1000;
    ASSERT_TRUE(Press(3));
    gNow += 1000;
    ASSERT_TRUE(Press(3));
    EXPECT_EQ(Normal()->cursor, 1);
}

TEST_F(TitleSceneTest, EntryWithoutItsSceneStaysOnTheTitle)
{
    IntoTheMenu();
    Title()->idle = 500;
    ASSERT_TRUE(Press(12));
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_Menu);
    EXPECT_EQ(Normal()->fade, nullptr);
    EXPECT_LE(Title()->idle, 1);
}

TEST_F(TitleSceneTest, ChoiceIsReadWhenTheBlackFadeIsCompleteCountingAMoveInTheSameFrame)
{
    GetAppHooks().title.entries[5] = {GetNextScene, nullptr};
    GetAppHooks().title.entries[6] = {GetNextScene, AfterSwitch};
    IntoTheMenu();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(Press(3));
        gNow += 1000;
    }
    ASSERT_EQ(Normal()->cursor, 5);
    app.input.padState[0][12] = 1;
    app.input.padState[0][3] = 1;
    ASSERT_TRUE(Frame());  // START and a move down together
    app.input.padState[0][12] = app.input.padState[0][3] = 0;
    EXPECT_EQ(Normal()->cursor, 6);
    ASSERT_EQ(Normal()->phase, &TTTCB_Normal::Proc_MenuSelect);
    app.players[2].slotState = 1;
    int frames = 0;
    while (Frame() && frames < 100) ++frames;
    EXPECT_EQ(frames, 50);  // the fade covers the screen at its 51st pass
    EXPECT_NE(dynamic_cast<NextScene*>(app.currentScene), nullptr);
    EXPECT_EQ(NextScene::inits, 1);
    EXPECT_EQ(app.gameSettings.gameMode, GameMode::LocalBattle);
    EXPECT_EQ(gAfterSwitch, 1);
    EXPECT_EQ(app.players[2].slotState, 0);
}

TEST_F(TitleSceneTest, CancelWithStartInOneFrameLeavesNoFadeOverTheTitle)
{
    GetAppHooks().title.entries[0].scene = GetNextScene;
    IntoTheMenu();
    app.input.padState[0][12] = 1;
    app.input.padState[0][13] = 1;
    ASSERT_TRUE(Frame());
    app.input.padState[0][12] = app.input.padState[0][13] = 0;
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_PressStart);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(CountOf<TCB_FadeOut>(Title()->Tasks()), 0);
}

TEST_F(TitleSceneTest, DemonstrationStartsOnFrame3601WithoutInput)
{
    GetAppHooks().title.demoBattle = GetNextScene;
    PastTheLogo();
    Title()->idle = 0;
    int frames = 0;
    while (Frame() && frames < 5000) ++frames;
    EXPECT_EQ(frames + 1, 3601);
    ASSERT_NE(dynamic_cast<NextScene*>(app.currentScene), nullptr);
    EXPECT_EQ(app.gameSettings.gameMode, GameMode::Survival);
    EXPECT_EQ(app.gameSettings.modeOption, 1u);
    EXPECT_LT(app.gameSettings.stage, 2u);
    for (int i = 0; i < 4; ++i) EXPECT_LT(app.players[i].robot, 22);
}

TEST_F(TitleSceneTest, WithoutABattleTheDemonstrationKeepsTheTitle)
{
    PastTheLogo();
    Title()->idle = 3600;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(Title()->idle, 0);
    EXPECT_EQ(Normal()->phase, &TTTCB_Normal::Proc_PressStart);
}

TEST_F(TitleSceneTest, MenuNeverStartsTheDemonstration)
{
    GetAppHooks().title.demoBattle = GetNextScene;
    IntoTheMenu();
    Title()->idle = 5000;
    Frames(10);
    EXPECT_GT(Title()->idle, 5000);
}

TEST_F(TitleSceneTest, StarsAreFilledOnceAndDrawnFromTheirBufferEveryFrame)
{
    TTTCB_Earth* earth = nullptr;
    for (TCB* t = Title()->Tasks().GetHead()->next; t != Title()->Tasks().GetTail(); t = t->next)
        if (auto* e = dynamic_cast<TTTCB_Earth*>(t)) earth = e;
    ASSERT_NE(earth, nullptr);
    ASSERT_NE(earth->stars, nullptr);
    ASSERT_EQ(earth->starCount, TTTCB_Earth::StarCount);
    ASSERT_EQ(earth->stars->Size(), TTTCB_Earth::StarCount * sizeof(BillboardVertex));
    const auto* star = reinterpret_cast<const BillboardVertex*>(earth->stars->Data());
    for (i32 i = 0; i < TTTCB_Earth::StarCount; ++i) {
        for (f32 c : {star[i].x, star[i].y, star[i].z}) {
            ASSERT_GE(c, -10.0f);
            ASSERT_LE(c, 10.0f);
        }
        const u32 g = star[i].colour & 0xFF;
        ASSERT_GE(g, 128u);
        ASSERT_EQ(star[i].colour, 0xFF000000u | g << 16 | g << 8 | g);
    }
    // The stars never change: the device keeps the copy it was given at
    // creation, and a frame only draws it.
    const u32 filled = earth->stars->Version();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Frame());
        const std::string points = "DrawPrimitive PointList 0 " + std::to_string(TTTCB_Earth::StarCount);
        EXPECT_EQ(gfx.Recorder()->CallsStartingWith(points).size(), 1u);
        EXPECT_TRUE(gfx.Recorder()->CallsStartingWith("DrawPrimitiveUP PointList").empty());
    }
    EXPECT_EQ(earth->stars->Version(), filled);
}

TEST_F(TitleSceneTest, CancelOnTheLogoQuitsAndCloseRequestQuitsWithoutDrawing)
{
    ASSERT_TRUE(Press(13));
    EXPECT_EQ(app.quit, 1u);
    app.quit = 0;
    const u32 presents = gfx.Recorder()->PresentCount();
    app.closeRequest = 1;
    ASSERT_TRUE(Frame());
    EXPECT_EQ(app.quit, 1u);
    EXPECT_EQ(gfx.Recorder()->PresentCount(), presents);
    EXPECT_TRUE(gfx.Recorder()->CallsStartingWith("BeginScene").empty());
}

TEST(TitlePictures, LettersStayInsideTheirPictures)
{
    // Ink in an edge column means a letter runs off the picture and is cut.
    for (const char* name : {"Quillon/Logo.png", "Quillon/zel.png"}) {
        FileBuffer file;
        ASSERT_EQ(file.Load(name), 1) << name;
        file.XorWords(AssetKey);
        plat::Image image;
        ASSERT_TRUE(plat::DecodeImage(file.data, file.size, &image)) << name;
        const std::vector<u8>& px = image.surfaces[0];
        for (u32 y = 0; y < image.height; ++y)
            for (u32 x : {0u, 1u, image.width - 2, image.width - 1})
                ASSERT_EQ(px[(size_t(y) * image.width + x) * 4 + 3], 0) << name << " at " << x << "," << y;
    }
}

}  // namespace
