// The settings dialogs run as the game runs them, driven by scripted input
// through the event pump (in a window under the offscreen video driver, or
// hidden when there is no video at all).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/core/Application.h"
#include "app/core/Config.h"
#include "app/core/ScreenShot.h"
#include "app/core/SettingsDialog.h"
#include "engine/core/IniFile.h"
#include "engine/input/InputManager.h"
#include "platform/input/Events.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "platform/input/InputScript.h"
#include "support/FontFolder.h"

namespace {

class ScriptedDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(plat::InitEvents());
        dir = plat::GetCurrentDirectory() + "/dialog_test_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        plat::CreateDirectory(dir.c_str());
        plat::DeleteFile((dir + "/Config.ini").c_str());
        std::snprintf(app.startupDir, sizeof app.startupDir, "%s", dir.c_str());
        path = ConfigPath(app);
        app.LoadConfig();
    }
    void Script(const char* text)
    {
        std::string error;
        ASSERT_TRUE(plat::LoadInputScriptText(text, &error)) << error;
    }
    i32 Read(const char* section, const char* key) { return ReadIniInt(path.c_str(), section, key); }

    CApplication& app = *GetApplication();
    std::string dir;
    std::string path;
};

TEST_F(ScriptedDialog, PresetThenStartSavesAndStarts)
{
    Script("50 button 5\n150 button 1\n");
    InputManager input;
    input.Init(nullptr);
    EXPECT_EQ(RunSettingsDialog(app, input), 0);
    EXPECT_EQ(app.video.screenWidth, 640);
    EXPECT_EQ(app.video.screenHeight, 480);
    EXPECT_EQ(app.video.textureLevel, 3);
    EXPECT_EQ(app.video.disableShader, 1);
    EXPECT_EQ(app.video.maxFrameSkip, 7u);
    EXPECT_EQ(Read("Window", "w"), 640);
    EXPECT_EQ(Read("GameSetting", "PMQuality"), 20);
}

TEST_F(ScriptedDialog, CancelEndsTheProgramWithoutSaving)
{
    Script("50 button 4\n100 button 2\n");
    InputManager input;
    input.Init(nullptr);
    EXPECT_EQ(RunSettingsDialog(app, input), 1);
    EXPECT_FALSE(plat::PathExists(path.c_str()));
}

TEST_F(ScriptedDialog, CloseBoxSavesAndStartsLikeStart)
{
    Script("50 close\n");
    InputManager input;
    input.Init(nullptr);
    EXPECT_EQ(RunSettingsDialog(app, input), 0);
    EXPECT_EQ(app.video.screenWidth, 1024) << "no resolution was chosen";
    EXPECT_EQ(Read("Window", "h"), 768);
}

TEST_F(ScriptedDialog, KeyDialogTakesHeldKeysAndPadButtons)
{
    // Shot is chosen, X is held on the keyboard and button 3 on the pad,
    // then OK closes the key dialog and Start the settings dialog.
    // Holds last a second each so a loaded machine's slow dialog timer still
    // sees them.
    Script("50 button 7\n"
           "150 button 1008\n"
           "250 keydown X\n"
           "1250 keyup X\n"
           "1350 paddown 0 3\n"
           "2350 padup 0 3\n"
           "2500 button 1\n"
           "2700 button 1\n");
    InputManager input;
    ASSERT_EQ(input.Init(nullptr), 1);
    ASSERT_GE(input.GetPadCount(), 1);
    EXPECT_EQ(RunSettingsDialog(app, input), 0);
    EXPECT_EQ(KeyConfigDialog::assigning, 1);
    EXPECT_EQ(app.input.padKeyMap[5], 'X');
    EXPECT_EQ(Read("GameSetting", "KEY_ショット"), 'X');
    if (input.GetPadCount() == 1) {
        EXPECT_EQ(app.input.padButtonMap[0][1], 3);
        EXPECT_EQ(Read("GameSetting", "JOY_ショット"), 4);
    }
    EXPECT_EQ(Read("Window", "w"), 1024);
    KeyConfigDialog::assigning = 0;
}

TEST_F(ScriptedDialog, AFifthPadIsShownButNeverWritesPastTheFourMaps)
{
    // Five pads attached; the fifth holds button 6 down.
    Script("0 paddown 4 6\n");
    InputManager input;
    ASSERT_EQ(input.Init(nullptr), 1);
    ASSERT_GE(input.GetPadCount(), 5);
    plat::Event e;
    for (int i = 0; i < 200 && !plat::InputScriptFinished(); ++i)
        while (plat::PollEvent(e)) {
        }
    while (plat::PollEvent(e)) {
    }
    u8 before[PadCount][PadButtonCount];
    std::memcpy(before, app.input.padButtonMap, sizeof before);

    KeyConfigDialog dlg(app, path, input);
    dlg.OnInitDialog();
    const i32 fifth = input.GetPadCount() - 1;
    ASSERT_GE(fifth, 4);
    dlg.OnPlayerChanged(fifth);
    EXPECT_EQ(dlg.selectedPlayer, fifth);
    EXPECT_EQ(dlg.joyCells[0], -1) << "no map to show";
    KeyConfigDialog::assigning = 0;
    dlg.OnTimer();
    EXPECT_EQ(dlg.joyCells[0], 7) << "the pressed button is shown";
    dlg.OnCommand(key_id::Default);
    EXPECT_EQ(std::memcmp(before, app.input.padButtonMap, sizeof before), 0);
    EXPECT_EQ(app.input.padKeyMap[4], 'Z') << "Default still resets the keyboard";
    input.Release();
}

// With no installed font that has the game's characters the dialog, drawn
// with the built-in font, says so in red before the title and names the
// package to install; with the system's fonts it says nothing of the kind.
TEST_F(ScriptedDialog, WithoutAFontForTheGameTextTheDialogNamesThePackage)
{
    const std::string shots = dir + "/ScreenShot";
    // Pixels of the notice's red in the dialog's picture.
    const auto redPixels = [&](bool fontMissing) {
        std::filesystem::remove_all(shots);
        FontFolder empty;
        if (fontMissing) empty.Use();
        Script("100 key VK_SNAPSHOT\n400 button 1\n");
        InputManager input;
        input.Init(nullptr);
        EXPECT_EQ(RunSettingsDialog(app, input), 0);
        FinishScreenShots();
        if (fontMissing) empty.Leave();
        std::string png;
        plat::Image shot;
        EXPECT_TRUE(plat::ReadWholeFile((shots + "/Shot000.png").c_str(), png));
        if (!plat::DecodeImage(png.data(), png.size(), &shot)) return -1;
        int red = 0;
        for (size_t i = 0; i + 4 <= shot.surfaces[0].size(); i += 4) {
            u32 p = 0;
            std::memcpy(&p, shot.surfaces[0].data() + i, 4);
            const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            red += r > 150 && g < 90 && b < 90;
        }
        return red;
    };
    EXPECT_GT(redPixels(true), 400) << "the notice shows";
    EXPECT_EQ(redPixels(false), 0);
}

}  // namespace
