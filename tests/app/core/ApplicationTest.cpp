#include "app/core/Application.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "app/Hooks.h"
#include "app/player/PilotRegistry.h"
#include "app/core/SingletonLog.h"
#include "support/TempFolder.h"

TEST(Application, ConstructorLaysTheDocumentedDefaults)
{
    CApplication app;
    const u8 keys[10] = {'Z', 'X', 'C', 'V', 'S', 'A', 'D', 'F', 13, 27};
    ASSERT_EQ(app.input.keyMap.GetCount(), 10);
    EXPECT_EQ(std::memcmp(app.input.keyMap.Data(), keys, 10), 0);
    ASSERT_EQ(app.input.padKeyMap.GetCount(), 12);
    for (u32 pad = 0; pad < 4; ++pad)
        for (u32 i = 0; i < 10; ++i) EXPECT_EQ(app.input.padButtonMap[pad][i], i);

    const char* files[4] = {"score_ac_e.dat", "score_ac_n.dat", "score_ac_h.dat", "score_sv.dat"};
    for (int t = 0; t < 4; ++t) {
        EXPECT_STREQ(app.rankingTables[t].fileName, files[t]);
        EXPECT_EQ(app.rankingTables[t].entries[0].score, 30000);
        EXPECT_EQ(app.rankingTables[t].entries[9].score, 3000);
    }

    ASSERT_EQ(app.players.GetCount(), 20);
    for (const PlayerEntry& p : app.players) {
        EXPECT_EQ(p.pendingRadio, -1);
        EXPECT_EQ(p.leaveFrame, -100);
        EXPECT_EQ(p.returnMarker, -100);
    }
    EXPECT_EQ(app.gameSettings.costLimit, 700);
    EXPECT_EQ(app.gameSettings.costRate, 1.0f);
    EXPECT_EQ(app.gameSettings.bgmList.selectedBgm, -1);
    EXPECT_EQ(app.digitTransform.m[3][3], 1.0f);
    EXPECT_EQ(app.digitTransform.m[0][1], 0.0f);
    EXPECT_EQ(app.chatLog.GetCount(), 0u);
    EXPECT_EQ(app.currentScene, nullptr);
    EXPECT_GT(std::strlen(app.startupDir), 0u);
}

TEST(Application, EmptyFolderReturnsToTheStartUpDirectory)
{
    CurrentDirectoryGuard guard;
    TempFolder temp;
    ASSERT_TRUE(plat::CreateDirectory((temp / "robot").c_str()));
    CApplication app;
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", temp.Path().c_str());
    ASSERT_EQ(app.SetCurrentDirectoryTo("robot"), 1);
    EXPECT_EQ(plat::GetCurrentDirectory(), temp / "robot");
    ASSERT_TRUE(plat::SetCurrentDirectory("/"));
    ASSERT_EQ(app.SetCurrentDirectoryTo(""), 1);
    EXPECT_EQ(plat::GetCurrentDirectory(), temp.Path());
    EXPECT_EQ(app.SetCurrentDirectoryTo("missing"), 0);
    EXPECT_EQ(plat::GetCurrentDirectory(), temp.Path());
}

TEST(PlayerEntry, ResetDeletesPartsEmptiesKeysAndRestoresMarkers)
{
    PlayerEntry entry;
    entry.slotState = 2;
    entry.team = 100;
    entry.leaveFrame = 40;
    std::strcpy(entry.name, "x");
    entry.parts[3] = new CGameItem_PowerUp(0xFFFFFFFFu);
    KEYRECVLIST* first = entry.keyQueue.NewNode(1);
    first->frame = 9;
    KEYRECVLIST* second = entry.keyQueue.NewNode(1);
    second->frame = 9;
    first->applied = 1;
    EXPECT_EQ(entry.FindKeyRecord(9), second);
    EXPECT_EQ(entry.FindKeyRecord(10), nullptr);

    entry.Reset();
    EXPECT_EQ(entry.parts[3], nullptr);
    EXPECT_EQ(entry.keyQueue.GetCount(), 0u);
    EXPECT_EQ(entry.FindKeyRecord(9), nullptr);
    EXPECT_EQ(entry.slotState, 0);
    EXPECT_EQ(entry.team, 0);
    EXPECT_EQ(entry.leaveFrame, -100);
    EXPECT_STREQ(entry.name, "");
    // The list is usable again after the reset.
    EXPECT_NE(entry.keyQueue.NewNode(1), nullptr);
}

TEST(AppHooks, UnsetHooksDoNothingHarmful)
{
    AppHooks saved = GetAppHooks();
    GetAppHooks() = AppHooks{};
    EXPECT_EQ(GetNetClientPair(), nullptr);
    DeleteStory(nullptr);
    static int deleted = 0;
    GetAppHooks().deleteStory = [](CStoryBase*) { ++deleted; };
    DeleteStory(reinterpret_cast<CStoryBase*>(&deleted));
    EXPECT_EQ(deleted, 1);
    GetAppHooks() = saved;
}

namespace {
void LogDestroyed(const char* name) { std::fprintf(stderr, "[%s]", name); }
}  // namespace

TEST(ApplicationDeathTest, SingletonsAreDestroyedInReverseOrderOfCreation)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetSingletonObserver(LogDestroyed);
            GetApplication();
            GetPilotRegistry();
            std::exit(0);
        },
        testing::ExitedWithCode(0), "\\[PilotRegistry\\]\\[CApplication\\]");
}
