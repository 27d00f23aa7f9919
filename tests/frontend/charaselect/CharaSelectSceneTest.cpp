// The character selection on the recording device with the sample data:
// every mode's path through robot, pilot, stage and music with wraps and
// backs, the fades, and what each start writes into the participants; the
// user music list of a folder of its own.
#include "frontend/charaselect/CharaSelectScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/RecordingGraphics.h"
#include "support/TempFolder.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SelectInterface.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/MeshObject.h"
#include "frontend/charaselect/CharaSelectTasks.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "robot/RobotType.h"
#include "support/SceneExits.h"

namespace {

u32 gNow = 0;
u32 FakeNow() { return gNow; }

template <int Id>
using Exit = ExitScene<Id>;
BaseScene* GetBattle() { return GetBattleExit(); }
BaseScene* GetTitle() { return GetTitleExit(); }

struct Path {
    const char* name;
    GameMode mode;
    i32 playerIndex;
    // S start, C cancel, L left, R right, T ten pilots left (button 5 held).
    const char* keys;
    const char* states;  // the state after each key
    // Expected after the fade: 'B' battle, 'T' title, 'A' 10 for the arcade.
    char end;
    i32 robotEntry;  // listed robot chosen
    i32 pilot;
    i32 stage;       // -1: not written
    i32 bgm;         // selectedBgm, or 99: list emptied
    i32 entry1Robot; // 0: random, else its value
};

class CharaSelectSceneTest : public testing::Test {
protected:
    void SetUp() override
    {
        gNow = 1000000;
        SetAppClock({FakeNow, [](u32) {}});
        UseRunFolder(app);
        GetCharaSelectExits() = {GetBattle, GetTitle};
        Exit<0>::arrivals = Exit<1>::arrivals = 0;
        for (i32 i = 0; i < 4; ++i) {
            app.players[i].robot = 77;
            app.players[i].colorSet = 77;
        }
        app.gameSettings.stage = 77;
        app.gameSettings.modeOption = 1;
    }
    void TearDown() override
    {
        delete app.currentScene;
        app.currentScene = nullptr;
        for (auto& pad : app.input.padState)
            for (u32& w : pad) w = 0;
        SetAppClock({});
    }
    CCharaSelectScene* Scene() { return dynamic_cast<CCharaSelectScene*>(app.currentScene); }
    u32 Frame()
    {
        gNow += 16;
        return app.currentScene->Frame();
    }
    u32 Press(i32 pad, std::initializer_list<u32> buttons)
    {
        for (u32 b : buttons) app.input.padState[pad][b] = 1;
        const u32 result = Frame();
        for (u32 b : buttons) app.input.padState[pad][b] = 0;
        if (Scene()) Frame();  // released, so the next press acts at once
        return result;
    }

    CApplication& app = *GetApplication();
    RecordingGraphics gfx;
};

TEST_F(CharaSelectSceneTest, EveryModeWalksItsStepsAndFillsTheParticipants)
{
    // Six owned robots, three pilots, nine stages, one music file (+ default
    // and random). The music ring starts on the default entry (index 1).
    const Path paths[] = {
        {"survival, every ring wrapped backwards", GameMode::Survival, 0, "LSLSLSLS", "01122333", 'B', 5, 2, 8, 0, -1},
        {"practice, forwards, random music", GameMode::Practice, 0, "RSSRSRS", "0122333", 'B', 1, 0, 1, -2, 0},
        {"team, backs from every step", GameMode::Team, 0, "SCSRSCSCCSSSS", "1011212101233", 'B', 0, 1, 0, -1, -1},
        {"fleet, ten pilots back wrap", GameMode::Fleet, 0, "STS", "115", 'B', 0, 2, 0, 99, -1},
        {"survival left for the title", GameMode::Survival, 0, "C", "6", 'T', 0, 0, -1, -1, 77},
        {"arcade for player 2", GameMode::Arcade, 1, "RSS", "015", 'A', 1, 0, -1, 99, 77},
    };
    for (const Path& p : paths) {
        SCOPED_TRACE(p.name);
        app.gameSettings.gameMode = p.mode;
        for (RobotRecord& r : app.partInventory.robots) {
            r.chosenColour = 42;  // not a set: the first owned one is taken
            r.colourOwned[0] = 0;
            r.colourOwned[3] = 1;
        }
        app.currentScene = GetCharaSelectScene();
        CCharaSelectScene* scene = Scene();
        ASSERT_NE(scene, nullptr);
        scene->playerIndex = p.playerIndex;
        ASSERT_EQ(scene->robotEntryCount, 6);
        ASSERT_EQ(scene->pilotRing->count, 3);
        ASSERT_EQ(scene->stageRing->count, 9);
        ASSERT_EQ(scene->bgmRing->count, 3);
        EXPECT_EQ(scene->bgmRing->labels[2], "随机BGM      ");
        EXPECT_EQ(scene->bgmRing->target, 1);
        EXPECT_EQ(scene->state, CharaStateFadeIn);
        for (int i = 0; i < 42; ++i) ASSERT_EQ(Frame(), 0u);
        EXPECT_EQ(scene->state, CharaStateFadeIn);
        Frame();
        ASSERT_EQ(scene->state, CharaStateRobot) << "43 frames of fade";

        for (size_t k = 0; p.keys[k]; ++k) {
            const char key = p.keys[k];
            const u32 button = key == 'S' ? 12 : key == 'C' ? 13 : key == 'L' || key == 'T' ? 0 : 2;
            const u32 result = key == 'T' ? Press(p.playerIndex, {5, 0}) : Press(p.playerIndex, {button});
            if (p.states[k] == '.') continue;
            if (!Scene()) break;
            EXPECT_EQ(scene->state, p.states[k] - '0') << "after key " << k;
            EXPECT_NE(result, 11u);
        }
        u32 last = 0;
        for (int i = 0; i < 50 && Scene(); ++i) last = Frame();
        if (p.end == 'A') {
            ASSERT_NE(Scene(), nullptr);
            EXPECT_EQ(last, 10u) << "the arcade screen reads 10 until it drops the scene";
            delete app.currentScene;
            app.currentScene = nullptr;
        } else {
            ASSERT_EQ(Scene(), nullptr);
            EXPECT_EQ(Exit<0>::arrivals, p.end == 'B' ? 1 : 0);
            EXPECT_EQ(Exit<1>::arrivals, p.end == 'T' ? 1 : 0);
            delete app.currentScene;
            app.currentScene = nullptr;
            Exit<0>::arrivals = Exit<1>::arrivals = 0;
        }
        if (p.end == 'T') continue;
        const i32 robot = [&] {
            i32 n = -1;
            for (i32 i = 0; i < 22; ++i)
                if (app.partInventory.robots[i].available && ++n == p.robotEntry) return i;
            return -1;
        }();
        const PlayerEntry& me = app.players[p.playerIndex];
        EXPECT_EQ(me.robot, robot);
        EXPECT_EQ(me.pilot, p.pilot);
        EXPECT_EQ(me.colorSet, 3) << "the owned set";

        if (p.stage >= 0) {
            EXPECT_EQ(app.gameSettings.stage, u32(p.stage));
        }
        if (p.bgm == 99) {
            EXPECT_TRUE(app.gameSettings.bgmList.entries.empty());
        } else {
            EXPECT_EQ(app.gameSettings.bgmList.selectedBgm, p.bgm);
        }
        if (p.mode == GameMode::Arcade) {
            EXPECT_EQ(me.team, 0);
            EXPECT_EQ(me.slotState, 1);
            continue;
        }
        EXPECT_EQ(app.gameSettings.modeOption, 0u);
        if (p.entry1Robot == 0) {
            EXPECT_GE(app.players[1].robot, 0);
            EXPECT_LT(app.players[1].robot, 22);
            EXPECT_EQ(app.players[1].colorSet, 1);
        } else {
            EXPECT_EQ(app.players[1].robot, p.entry1Robot);
        }
        const bool randomPair = p.mode == GameMode::Survival || p.mode == GameMode::Team;
        for (i32 i = 2; i <= 3; ++i) {
            if (randomPair) {
                EXPECT_GE(app.players[i].robot, 0);
                EXPECT_LT(app.players[i].robot, 22);
            } else if (p.mode == GameMode::Fleet) {
                EXPECT_EQ(app.players[i].robot, -1);
            }
        }
        if (p.mode == GameMode::Survival) {
            EXPECT_EQ(app.players[2].colorSet, 1);
        }
    }
}

TEST_F(CharaSelectSceneTest, ArcadeCancelReturnsElevenAndNoRobotsStillRuns)
{
    app.gameSettings.gameMode = GameMode::Arcade;
    app.currentScene = GetCharaSelectScene();
    for (int i = 0; i < 43; ++i) Frame();
    EXPECT_EQ(Press(0, {13}), 11u) << "no fade for the arcade screen";
    delete app.currentScene;

    // Nothing owned: the rings are empty, keys move nothing, START stays.
    for (auto& r : app.partInventory.robots) r.available = 0;
    app.gameSettings.gameMode = GameMode::Survival;
    app.currentScene = GetCharaSelectScene();
    ASSERT_EQ(Scene()->robotEntryCount, 0);
    for (int i = 0; i < 43; ++i) Frame();
    for (u32 b : {0u, 2u, 12u}) Press(0, {b});
    EXPECT_EQ(Scene()->state, CharaStateRobot);
}

TEST_F(CharaSelectSceneTest, MusicListTakesFilesWithTheirPicturesOrThePlaceholder)
{
    TempFolder temp;
    const std::string dir = temp / "Sound/MyBgm";
    ASSERT_TRUE(plat::CreateDirectory((temp / "Sound").c_str()));
    ASSERT_TRUE(plat::CreateDirectory(dir.c_str()));
    ASSERT_TRUE(plat::CreateDirectory((dir + "/folder.ogg").c_str()));
    std::string png;
    ASSERT_TRUE(plat::ReadWholeFile("Sound/MyBgm/NoImage.png", png));
    for (const char* f : {"a.ogg", "b.ogg", "b.png", "NoImage.png"})
        ASSERT_TRUE(plat::WriteFileAtomic((dir + "/" + f).c_str(), png.data(), png.size()));
    const std::string longName = std::string(96, 'x') + ".ogg";  // 100 bytes
    ASSERT_TRUE(plat::WriteFileAtomic((dir + "/" + longName).c_str(), "x", 1));

    MyBgmList list;
    list.selectedBgm = 1;
    list.Scan(temp.Path().c_str());
    ASSERT_EQ(list.entries.size(), 2u) << "no folder, no name too long for its field";
    EXPECT_EQ(list.entries[0]->fileName, "a.ogg");
    EXPECT_EQ(list.entries[1]->fileName, "b.ogg");
    EXPECT_EQ(list.selectedBgm, -1);
    const std::string before = plat::GetCurrentDirectory();
    list.LoadPictures(temp.Path().c_str());
    EXPECT_EQ(plat::GetCurrentDirectory(), before);
    EXPECT_EQ(list.entries[0]->hasPicture, 0);
    EXPECT_NE(list.entries[0]->picture.texture, nullptr) << "the placeholder";
    EXPECT_EQ(list.entries[1]->hasPicture, 1);
    EXPECT_NE(list.entries[1]->picture.texture, nullptr);
    list.ReleasePictures();
    EXPECT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[1]->picture.texture, nullptr);

    list.Scan((temp / "nowhere").c_str());
    EXPECT_TRUE(list.entries.empty());
}

// Our sample art under the fixed cameras and places: every robot's
// selection model ("robo.hod") shows whole, wide or tall, between the
// heading and the ring's numbers from every side the selection's circling
// camera takes, and fills a good part of that room; its hangar model
// ("hangar.hod") stands tall enough to fill the hangar's close shots and
// short enough for its head to stay in them, whatever its battle size; its
// "Select.png" fills the ring's and the versus room's 320 x 240 places; the
// name entry's cursor, drawn on the letter it edits, leaves that letter to
// be seen.
TEST_F(CharaSelectSceneTest, SampleArtFitsTheFixedCamerasAndPlaces)
{
    app.gameSettings.gameMode = GameMode::Survival;
    app.currentScene = GetCharaSelectScene();
    const std::string base = plat::GetCurrentDirectory();
    const f32 tanHalf = std::tan(0.785385f * 0.5f);
    for (u32 i = 0; i < app.robotFolders.count; ++i) {
        const std::string folder = base + "/" + app.robotFolders.names[i];
        ASSERT_TRUE(plat::SetCurrentDirectory(folder.c_str())) << folder;
        for (const char* file : {"robo.hod", "hangar.hod"}) {
            SCOPED_TRACE(folder + "/" + file);
            RobotModelData model;
            ASSERT_EQ(model.LoadHod(file, AssetKey), 1);
            const Mat4 world;
            model.hierarchy.ApplyAnime(&world);
            // Each mesh box corner where the node puts it, and the box's top.
            std::vector<Vec3> corners;
            f32 top = 0.0f;
            for (u32 n = 0; n < model.hierarchy.nodeCount; ++n) {
                const HodNode* node = model.hierarchy.nodeTable[n];
                if (!node || !node->mesh) continue;
                const Mat4& m = node->world;
                const Vec3 lo = node->mesh->boxMin, hi = node->mesh->boxMax;
                for (int c = 0; c < 8; ++c) {
                    const f32 x = c & 1 ? hi.x : lo.x, y = c & 2 ? hi.y : lo.y, z = c & 4 ? hi.z : lo.z;
                    corners.push_back(Vec3(x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0],
                                           x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1],
                                           x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2]));
                    top = std::max(top, corners.back().y);
                }
            }
            ASSERT_FALSE(corners.empty());
            if (std::string(file) == "hangar.hod") {
                EXPECT_GT(top, 1.3f);
                EXPECT_LT(top, 1.75f);
                continue;
            }
            // The selection's own camera, every 15 degrees round.
            for (int angle = 0; angle < 360; angle += 15) {
                Scene()->cameraAngle = f32(angle) - 0.3f;
                Frame();
                const Mat4& v = Scene()->camera.view;
                f32 left = 1e9f, right = -1e9f, high = 1e9f, low = -1e9f;
                for (const Vec3& p : corners) {
                    const f32 vx = p.x * v.m[0][0] + p.y * v.m[1][0] + p.z * v.m[2][0] + v.m[3][0];
                    const f32 vy = p.x * v.m[0][1] + p.y * v.m[1][1] + p.z * v.m[2][1] + v.m[3][1];
                    const f32 vz = p.x * v.m[0][2] + p.y * v.m[1][2] + p.z * v.m[2][2] + v.m[3][2];
                    ASSERT_GT(vz, 0.5f) << angle;  // in front of the near plane
                    const f32 sx = 512.0f + 512.0f * vx / (vz * tanHalf * (4.0f / 3.0f));
                    const f32 sy = 384.0f - 384.0f * vy / (vz * tanHalf);
                    left = std::min(left, sx), right = std::max(right, sx);
                    high = std::min(high, sy), low = std::max(low, sy);
                }
                // The heading ends at 70; the ring's numbers start at 484.
                EXPECT_GT(left, 0.0f) << angle;
                EXPECT_LT(right, 1024.0f) << angle;
                EXPECT_GT(high, 70.0f) << angle;
                EXPECT_LT(low, 484.0f) << angle;
                EXPECT_GT(low - high, 200.0f) << angle;
            }
        }
    }
    ASSERT_TRUE(plat::SetCurrentDirectory(base.c_str()));

    const auto picture = [](const std::string& file, plat::Image& image) {
        std::string bytes;
        if (!plat::ReadWholeFile(file.c_str(), bytes)) return false;
        XorWords(bytes.data(), u32(bytes.size()), AssetKey);
        return plat::DecodeImage(bytes.data(), bytes.size(), &image);
    };
    for (u32 i = 0; i < app.robotFolders.count; ++i) {
        plat::Image select;
        ASSERT_TRUE(picture(std::string(app.robotFolders.names[i]) + "/Select.png", select)) << i;
        EXPECT_EQ(select.width, 320u) << app.robotFolders.names[i];
        EXPECT_EQ(select.height, 240u) << app.robotFolders.names[i];
    }
    plat::Image cursor;
    ASSERT_TRUE(picture("Quillon/RankCursor.png", cursor));
    ASSERT_EQ(cursor.width, 64u);
    const auto alpha = [&](u32 x, u32 y) { return cursor.surfaces[0][(size_t(y) * cursor.width + x) * 4 + 3]; };
    u32 clear = 0, drawn = 0;
    for (u32 y = 0; y < cursor.height; ++y)
        for (u32 x = 0; x < cursor.width; ++x) {
            const bool middle = x >= 12 && x < 52 && y >= 8 && y < 48;  // where a glyph's strokes lie
            if (middle) clear += alpha(x, y) == 0 ? 1 : 0;
            else drawn += alpha(x, y) > 128 ? 1 : 0;
        }
    EXPECT_EQ(clear, 40u * 40u) << "the letter under the cursor shows";
    EXPECT_GT(drawn, 200u) << "the cursor itself shows";
}

}  // namespace
