#include "app/core/Config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/core/Application.h"
#include "app/core/SettingsDialog.h"
#include "app/player/SaveFolder.h"
#include "engine/core/IniFile.h"
#include "engine/input/InputManager.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Ini.h"
#include "platform/input/Keyboard.h"

namespace {

// Each test works in its own folder under the run folder, standing in for
// the start-up directory.
class ConfigFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = plat::GetCurrentDirectory() + "/config_test_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        plat::CreateDirectory(dir.c_str());
        plat::DeleteFile((dir + "/Config.ini").c_str());
        std::snprintf(app.startupDir, sizeof app.startupDir, "%s", dir.c_str());
        path = ConfigPath(app);
    }
    void Write(const std::string& text)
    {
        ASSERT_TRUE(plat::WriteFileAtomic(path.c_str(), text.data(), text.size()));
    }
    i32 Read(const char* section, const char* key) { return ReadIniInt(path.c_str(), section, key); }

    CApplication& app = *GetApplication();
    std::string dir;
    std::string path;
};

TEST_F(ConfigFixture, LoadConfigClampsAndDerivesValues)
{
    Write("[Window]\nFullScreen=1\nw=800\nh=600\n"
          "[D3DSetting]\nTextureLevel=9\n"
          "[GameSetting]\nFar=8\nHDR=1\nDisableShader=1\nMaxFrameSkip=4\nVolumeBGM=70\n"
          "VolumeSE=60\nVolumeVOICE=50\nShadow=3\nNoFastFont=1\n"
          "JOY_ジャンプ=3\nJOY_ショット=0\nJOY4_CANCEL=12\nKEY_左=37\nKEY_サブ３=70\n");
    const u64 parses = plat::IniParseCount();
    app.LoadConfig();
    EXPECT_LE(plat::IniParseCount() - parses, 2u) << "the file is parsed once for the settings and once for the keys";
    EXPECT_EQ(app.video.fullScreen, 1u);
    EXPECT_EQ(app.video.screenWidth, 800);
    EXPECT_EQ(app.video.screenHeight, 600);
    EXPECT_EQ(app.video.textureLevel, 7);
    EXPECT_EQ(app.video.farLevel, 5);
    EXPECT_EQ(app.video.hdr, 0u) << "shaders off turn HDR off";
    EXPECT_EQ(app.video.disableShader, 1);
    EXPECT_EQ(app.video.maxFrameSkip, 4u);
    EXPECT_EQ(app.volume.volumeBgm, 70u);
    EXPECT_EQ(app.volume.volumeSe, 60u);
    EXPECT_EQ(app.volume.volumeVoice, 50u);
    EXPECT_EQ(app.video.shadow, 3);
    EXPECT_EQ(app.video.fastFont, 0);
    EXPECT_EQ(app.input.padButtonMap[0][0], 2) << "the file counts buttons from 1";
    EXPECT_EQ(app.input.padButtonMap[0][1], 255) << "0 leaves the operation unbound";
    EXPECT_EQ(app.input.padButtonMap[1][5], 5) << "a missing key takes the button of its own number";
    EXPECT_EQ(app.input.padButtonMap[3][9], 11);
    EXPECT_EQ(app.input.padKeyMap[0], 37);
    EXPECT_EQ(app.input.padKeyMap[11], 70);
    // The key map that pad buttons press is fixed, whatever the file says.
    EXPECT_EQ(app.input.keyMap[0], 'Z');
    EXPECT_EQ(app.input.keyMap[9], 27);

    Write("[D3DSetting]\nTextureLevel=-3\n[GameSetting]\nFar=-2\nHDR=1\nNoFastFont=2\n"
          "VolumeBGM=-5\nVolumeSE=250\nMaxFrameSkip=99\nKEY_上=0\nKEY_左=9999\nKEY_右=-1\n"
          "KEY_サブ１=7\nKEY_サブ２=1\nJOY_ジャンプ=999\nJOY2_ガード=129\nJOY2_ショット=128\n");
    testing::internal::CaptureStderr();
    app.LoadConfig();
    const std::string told = testing::internal::GetCapturedStderr();
    // One line for each binding that fell back, the same whatever the value.
    for (const char* line : {"KEY_上=0 is no button or key: the default 38 is used.",
                             "KEY_左=9999 is no button or key: the default 37 is used.",
                             "KEY_右=-1 is no button or key: the default 39 is used.",
                             "KEY_サブ１=7 is no button or key: the default 65 is used.",
                             "JOY_ジャンプ=999 is no button or key: the default 1 is used.",
                             "JOY2_ガード=129 is no button or key: the default 4 is used."})
        EXPECT_NE(told.find(line), std::string::npos) << line << "\n" << told;
    EXPECT_EQ(told.find("KEY_サブ２"), std::string::npos) << "a mouse button presses as a key does";
    EXPECT_EQ(app.video.textureLevel, -1);
    EXPECT_EQ(app.video.farLevel, 1) << "vision stays in the dialog's range";
    EXPECT_EQ(app.volume.volumeBgm, 0u) << "a negative volume is silence, not the loudest";
    EXPECT_EQ(app.volume.volumeSe, 100u);
    EXPECT_EQ(app.volume.volumeVoice, 80u) << "a missing volume is the default";
    EXPECT_EQ(app.video.maxFrameSkip, 10u);
    EXPECT_EQ(app.input.padKeyMap[1], 0x26) << "a key code no key has would leave Up dead: the default";
    EXPECT_EQ(app.input.padKeyMap[9], 'A');
    EXPECT_EQ(app.input.padKeyMap[10], 1) << "a key the file names stays as written";
    EXPECT_EQ(app.input.padKeyMap[3], 0x28) << "a key the file lacks takes its default";
    EXPECT_EQ(app.input.padKeyMap[0], 0x25) << "a key no byte can hold takes its default";
    EXPECT_EQ(app.input.padKeyMap[2], 0x27);
    EXPECT_EQ(app.input.padButtonMap[0][0], 0) << "a button beyond the pad's takes its default";
    EXPECT_EQ(app.input.padButtonMap[1][3], 3);
    EXPECT_EQ(app.input.padButtonMap[1][1], 127) << "the last button is still a button";
    EXPECT_EQ(app.video.hdr, 1u);
    EXPECT_EQ(app.video.fastFont, 1);
}

TEST_F(ConfigFixture, MissingFileReadsZeroAndStartFallsBackTo1024x768)
{
    app.LoadConfig();
    EXPECT_EQ(app.video.screenWidth, 0);
    EXPECT_EQ(app.video.screenHeight, 0);
    EXPECT_EQ(app.video.fastFont, 1);
    SettingsDialog dlg(app, path);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.resolution, -1);
    dlg.OnCommand(settings_id::Start);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.GetResult(), 0);
    EXPECT_EQ(app.video.screenWidth, 1024);
    EXPECT_EQ(app.video.screenHeight, 768);
    EXPECT_EQ(Read("Window", "w"), 1024);
    EXPECT_EQ(Read("Window", "h"), 768);
    EXPECT_EQ(Read("GameSetting", "Far"), 1) << "vision 0 is written back as 1";
    EXPECT_EQ(Read("GameSetting", "NoFastFont"), 0);
}

TEST_F(ConfigFixture, StartWritesEveryValueBackAndTheyReadTheSame)
{
    Write("[Window]\nw=1366\nh=768\n[GameSetting]\nNoFastFont=1\nVolumeBGM=33\nMaxFrameSkip=-4\n");
    app.LoadConfig();
    SettingsDialog dlg(app, path);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.resolution, 9);
    EXPECT_TRUE(dlg.fontCheck);
    dlg.textureEdit = 12;
    dlg.visionEdit = 9;
    dlg.fullScreen = true;
    dlg.OnClose();
    EXPECT_EQ(app.video.textureLevel, 7);
    EXPECT_EQ(app.video.farLevel, 5);
    EXPECT_EQ(Read("Window", "FullScreen"), 1);
    EXPECT_EQ(Read("Window", "w"), 1366);
    EXPECT_EQ(Read("D3DSetting", "TextureLevel"), 7);
    EXPECT_EQ(Read("GameSetting", "VolumeBGM"), 33);
    EXPECT_EQ(Read("GameSetting", "MaxFrameSkip"), 0) << "kept in the dialog's range";
    EXPECT_EQ(Read("GameSetting", "NoFastFont"), 1) << "fast font off survives a start";
    EXPECT_EQ(Read("GameSetting", "PMQuality"), 100) << "no value of its own: robots at full quality";
    // A second start reads what the first wrote.
    app.LoadConfig();
    EXPECT_EQ(app.video.fastFont, 0);
    EXPECT_EQ(app.video.fullScreen, 1u);
}

// A save builds the whole file once and replaces it once: every line the
// game does not write stays as it was, and a game killed at any moment of a
// save leaves the old settings or the new ones, never some of each.
TEST_F(ConfigFixture, ASaveKeepsOtherLinesAndAKillLeavesTheOldFileOrTheNewOne)
{
    Write("\xEF\xBB\xBF; my notes\r\n[Window]\r\nw=640\r\nTitle = \"mine\"\r\n\r\n[Mods]\r\nsky=blue\r\n"
          "[GameSetting]\r\nDefaultIP=10.0.0.1\r\nVolumeSE = 7\r\n# tail\r\n[window]\r\nw=1\r\n");
    app.LoadConfig();
    const auto choose = [this](int n) {
        app.video.fullScreen = u32(n);
        app.video.screenWidth = 800 + n;
        app.video.screenHeight = 600 + n;
        app.video.textureLevel = n;
        app.video.farLevel = 2 + n;
        app.video.disableShader = u8(n);
        app.video.hdr = u32(1 - n);
        app.video.maxFrameSkip = u32(3 + n);
        app.video.shadow = u8(2 + n);
        app.video.robotQuality = u32(40 + n);
        app.volume.volumeBgm = u32(10 + n);
        app.volume.volumeSe = u32(20 + n);
        app.volume.volumeVoice = u32(30 + n);
        app.video.fastFont = n;
        for (auto& pad : app.input.padButtonMap)
            for (i32 op = 0; op < 10; ++op) pad[op] = u8(op + 10 * n);
        for (i32 k = 0; k < 12; ++k) app.input.padKeyMap[k] = u8('A' + k + 12 * n);
    };
    const auto readBack = [this] {
        std::string bytes;
        plat::ReadWholeFile(path.c_str(), bytes);
        return bytes;
    };
    choose(0);
    ASSERT_TRUE(SaveConfig(app, path));
    const std::string first = readBack();
    EXPECT_EQ(first.rfind("\xEF\xBB\xBF; my notes\r\n[Window]\r\nw=800\r\nTitle = \"mine\"\r\nFullScreen=0\r\nh=600\r\n"
                          "\r\n[Mods]\r\nsky=blue\r\n[GameSetting]\r\nDefaultIP=10.0.0.1\r\nVolumeSE=20\r\n# tail\r\nFar=2\r\n",
                          0),
              0u)
        << first;
    EXPECT_NE(first.find("\r\nKEY_サブ３=76\r\n[window]\r\nw=1\r\n[D3DSetting]\r\nTextureLevel=0\r\n"), std::string::npos)
        << "keys the file lacks go at the end of their section, a missing section at the end\n" << first;
    app.LoadConfig();
    EXPECT_EQ(app.video.screenWidth, 800);
    EXPECT_EQ(app.volume.volumeSe, 20u);
    EXPECT_EQ(app.input.padButtonMap[3][9], 9);
    EXPECT_EQ(app.input.padKeyMap[11], 'L');

    // From here on every save rewrites every value the game writes.
    choose(1);
    ASSERT_TRUE(SaveConfig(app, path));
    const std::string second = readBack();
    ASSERT_NE(first, second);
    std::mt19937 rng(67);
    int mixed = 0, sawFirst = 0, sawSecond = 0;
    const int kills = 30;
    for (int k = 0; k < kills; ++k) {
        // The kill comes a random while after the child has saved both
        // versions once, however late a busy machine lets it start.
        int saved[2];
        ASSERT_EQ(::pipe(saved), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            for (int n = 0;; n ^= 1) {
                choose(n);
                SaveConfig(app, path);
                if (n == 1 && saved[1] >= 0) {
                    (void)!::write(saved[1], "s", 1);
                    ::close(saved[1]);
                    saved[1] = -1;
                }
            }
        }
        ::close(saved[1]);
        char byte = 0;
        EXPECT_EQ(::read(saved[0], &byte, 1), 1);
        ::close(saved[0]);
        ::usleep(useconds_t(rng() % 30000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string left = readBack();
        sawFirst += left == first;
        sawSecond += left == second;
        mixed += left != first && left != second;
    }
    std::printf("kills that left a mixed file: %d of %d\n", mixed, kills);
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(sawFirst, 0) << "the saves went on between the kills";
    EXPECT_GT(sawSecond, 0);
    // What the kills cut short is swept at the next start.
    RemoveInterruptedWrites({dir, {"Config.ini"}});
    plat::FileFind find;
    plat::FindEntry entry;
    EXPECT_FALSE(find.First((dir + "/*.tmp-*").c_str(), entry)) << entry.name;
}

TEST_F(ConfigFixture, CancelEndsWithOneAndWritesNothing)
{
    app.LoadConfig();
    SettingsDialog dlg(app, path);
    dlg.OnInitDialog();
    dlg.OnCommand(settings_id::PresetHighest);
    dlg.OnCommand(settings_id::Cancel);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.GetResult(), 1);
    EXPECT_FALSE(plat::PathExists(path.c_str()));
    EXPECT_EQ(app.video.screenWidth, 0);
}

TEST_F(ConfigFixture, PresetsSetTheControlsAndShaderChecksClearTheLists)
{
    app.LoadConfig();
    SettingsDialog dlg(app, path);
    dlg.OnInitDialog();
    dlg.OnCommand(settings_id::PresetLowest);
    EXPECT_EQ(dlg.resolution, 2);
    EXPECT_EQ(dlg.textureEdit, 3);
    EXPECT_EQ(dlg.visionEdit, 2);
    EXPECT_TRUE(dlg.noShader);
    EXPECT_EQ(dlg.hdrList, 0);
    EXPECT_EQ(dlg.frameSkipEdit, 7);
    EXPECT_EQ(dlg.shadowList, 0);
    EXPECT_EQ(dlg.robotQuality.GetPos(), 20);
    EXPECT_EQ(dlg.robotQualityLabel, "20");

    dlg.OnCommand(settings_id::PresetHighest);
    EXPECT_EQ(dlg.resolution, 7);
    EXPECT_FALSE(dlg.noShader);
    EXPECT_EQ(dlg.hdrList, 1);
    EXPECT_EQ(dlg.shadowList, 3);
    EXPECT_EQ(dlg.visionEdit, 7);

    dlg.noShader = true; // the user ticks the box
    dlg.OnCommand(settings_id::NoShader);
    EXPECT_EQ(dlg.hdrList, 0);
    EXPECT_EQ(dlg.shadowList, 0);
    dlg.shadowList = 2;
    dlg.OnCommand(settings_id::Shadow, SelectionChanged);
    EXPECT_FALSE(dlg.noShader);

    dlg.OnCommand(settings_id::PresetMedium);
    dlg.OnClose();
    EXPECT_EQ(app.video.screenWidth, 800);
    EXPECT_EQ(app.video.farLevel, 4);
    EXPECT_EQ(app.video.hdr, 1u);
    EXPECT_EQ(app.video.shadow, 1);
    EXPECT_EQ(app.video.robotQuality, 80u);
    EXPECT_EQ(Read("GameSetting", "PMQuality"), 80);
    EXPECT_EQ(Read("GameSetting", "Shadow"), 1);
}

// The robot quality a preset chose is read at the next start, shown by the
// dialog and written again as it was, start after start. A file from before
// it was read back (which holds 0), one without it, or a value past the
// trackbar's end gives full quality.
TEST_F(ConfigFixture, RobotQualitySurvivesRestarts)
{
    Write("[GameSetting]\nPMQuality=0\n");
    app.LoadConfig();
    EXPECT_EQ(app.video.robotQuality, 100u);
    {
        SettingsDialog dlg(app, path);
        dlg.OnInitDialog();
        EXPECT_EQ(dlg.robotQuality.GetPos(), 100);
        dlg.OnCommand(settings_id::PresetLowest);
        dlg.OnClose();
    }
    EXPECT_EQ(Read("GameSetting", "PMQuality"), 20);
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE(start);
        app.video.robotQuality = 0;  // a new start
        app.LoadConfig();
        EXPECT_EQ(app.video.robotQuality, 20u);
        SettingsDialog dlg(app, path);
        dlg.OnInitDialog();
        EXPECT_EQ(dlg.robotQuality.GetPos(), 20);
        EXPECT_EQ(dlg.robotQualityLabel, "20");
        dlg.OnClose();
        EXPECT_EQ(Read("GameSetting", "PMQuality"), 20);
    }
    const struct {
        const char* line;
        u32 quality;
    } cases[] = {{"PMQuality=40\n", 40}, {"PMQuality=1\n", 1}, {"", 100}, {"PMQuality=250\n", 100},
                 {"PMQuality=-5\n", 100}, {"PMQuality=abc\n", 100}};
    for (const auto& c : cases) {
        Write(std::string("[GameSetting]\n") + c.line);
        app.LoadConfig();
        EXPECT_EQ(app.video.robotQuality, c.quality) << c.line;
    }
}

TEST_F(ConfigFixture, KeyDialogDefaultAndOkWriteBindings)
{
    app.LoadConfig();
    InputManager input; // no pads: the player list is empty
    KeyConfigDialog dlg(app, path, input);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.joyCells[0], 1) << "a first start shows the default bindings, counted from 1";
    dlg.OnCommand(key_id::Default);
    EXPECT_EQ(app.input.padKeyMap[0], 0x25);
    EXPECT_EQ(app.input.padKeyMap[4], 'Z');
    EXPECT_EQ(app.input.padButtonMap[0][0], 2);
    EXPECT_EQ(app.input.padButtonMap[0][8], 9);
    EXPECT_EQ(dlg.keyCells[0], 'Z');
    EXPECT_EQ(dlg.joyCells[0], 3) << "button index 2 is the third button";
    EXPECT_EQ(KeyCellName(dlg.keyCells[0]), "Z");
    EXPECT_EQ(KeyCellName(plat::vk::Space), "Space");
    EXPECT_EQ(KeyCellName(plat::vk::F1 + 4), "F5");
    EXPECT_EQ(KeyCellName(plat::vk::Numpad0 + 4), "Num 4");
    EXPECT_FALSE(dlg.IsEnded()) << "Default keeps the dialog open";
    dlg.OnCommand(key_id::Ok);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(Read("GameSetting", "JOY_ジャンプ"), 3);
    EXPECT_EQ(Read("GameSetting", "JOY_START"), 10);
    EXPECT_EQ(Read("GameSetting", "JOY2_ジャンプ"), 1) << "the other pads keep their defaults";
    EXPECT_EQ(Read("GameSetting", "KEY_ジャンプ"), 'Z');
    EXPECT_EQ(Read("GameSetting", "KEY_下"), 0x28);
}

TEST_F(ConfigFixture, KeyDialogOperationButtonsChooseWhatIsAssigned)
{
    app.LoadConfig();
    InputManager input;
    KeyConfigDialog dlg(app, path, input);
    dlg.OnInitDialog();
    dlg.OnCommand(key_id::Operations[7]);
    EXPECT_EQ(KeyConfigDialog::assigning, 7);
    dlg.OnCommand(1025);
    EXPECT_EQ(KeyConfigDialog::assigning, 9);
    // Kept for the next opening.
    KeyConfigDialog again(app, path, input);
    again.OnInitDialog();
    EXPECT_EQ(KeyConfigDialog::assigning, 9);
    KeyConfigDialog::assigning = 0;
}

// Only a file that is no text at all is set aside; a stray line is passed
// over, named by its number, and every other setting is kept.
TEST(ConfigText, DamagedFilesAreToldFromSettingsFiles)
{
    const struct {
        std::string bytes;
        bool damaged;
        const char* skipped;  // what LoadConfig tells, "" for nothing
    } cases[] = {
        {"", false, ""},
        {"\xEF\xBB\xBF[Window]\r\nw=800\r\n\r\n; note\r\n# note\r\n[GameSetting]\r\nKEY_左 = 37\r\nDefaultName=\r\n", false,
         ""},
        {"[Window]\nw=800\nthis line is no setting\n", false, "line 3 is neither"},
        {"[Window]\n=800\n", false, "line 2 is neither"},
        {"[]\n", false, "line 1 is neither"},
        {"a\nb\nc\n[W]\nd\ne\nf\ng=1\n", false, "lines 1, 2, 3, 5, 6 and 1 more are neither"},
        {std::string("[Window]\nw=8\0" "00\n", 15), true, ""},
        {"[Window]\nw=\xFF\xFE\nstray\n", true, ""},
        {"KEY_\x83\x57\x83\x83=1\n", true, ""}, // Shift-JIS, not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfigIsDamaged(c.bytes), c.damaged) << c.bytes;
        if (c.damaged) continue;
        const std::string told = ConfigSkippedLinesText(c.bytes);
        if (c.skipped[0]) EXPECT_EQ(told.find(c.skipped), 0u) << c.bytes << ": " << told;
        else EXPECT_EQ(told, "") << c.bytes;
    }
}

TEST_F(ConfigFixture, AStrayLineIsSkippedAndNamedAndEveryOtherSettingKept)
{
    const std::string text = "[GameSetting]\nVolumeBGM=70\nthis line is no setting\nKEY_ジャンプ=65\nJOY_ショット=4\n";
    Write(text);
    testing::internal::CaptureStderr();
    app.LoadConfig();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(app.volume.volumeBgm, 70u);
    EXPECT_EQ(app.input.padKeyMap[4], 65);
    EXPECT_EQ(app.input.padButtonMap[0][1], 3);
    EXPECT_NE(told.find("[Config.ini] line 3 is neither"), std::string::npos) << told;
    // The file stays where it is, as it was.
    std::string now;
    ASSERT_TRUE(plat::ReadWholeFile(path.c_str(), now));
    EXPECT_EQ(now, text);
}

}  // namespace
