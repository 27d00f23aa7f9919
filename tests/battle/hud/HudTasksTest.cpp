#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/KillMessage.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/hud/TimeDisplay.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"

// A kill message is opaque for 56 frames, fades four steps a frame to 3 and
// ends in frame 120; a typewriter line of ten bytes at three frames a
// character is complete after 30 frames and follows a shortened text at once.
TEST(HudTasks, KillMessageFadesAndTypewriterTypes)
{
    CList<TCB> list;
    CRobot_Normal owner;
    auto* kill = GMTCB_DrawSP_KillMessage::Create(&list, 200);
    kill->Set("[A] down [B]", "", 120, &owner);
    for (i32 frame = 1; frame <= 120; ++frame) {
        const i32 result = kill->Proc();
        const i32 alpha = frame <= 56 ? 255 : 255 - 4 * (frame - 56);
        if (frame < 120) {
            EXPECT_EQ(result, kTaskKeep) << frame;
            EXPECT_EQ(kill->alpha, alpha) << frame;
        } else {
            EXPECT_EQ(result, kTaskRemove);
        }
    }

    auto* line = GMTCB_DrawSP_DispString2::Create(&list, 100010);
    ASSERT_NE(line, nullptr);
    std::strcpy(line->text, "0123456789");
    line->mode = 1;
    line->framesPerChar = 3;
    for (i32 frame = 1; frame <= 30; ++frame) {
        line->Proc();
        EXPECT_EQ(line->shown, frame / 3) << frame;
    }
    std::strcpy(line->text, "01234");
    line->Proc();
    EXPECT_EQ(line->shown, 5);
    list.DeleteAll();
}

// The cost gauge: the back flashes faster as the team's cost runs out, the
// shown share catches up a hundredth a frame, and a room without a cost
// shows an empty gauge instead of dividing by zero.
TEST(HudTasks, TeamCostGaugeFlashesAndCatchesUp)
{
    auto flash = [](u32 speed, u32 frame) {
        return (std::sin(static_cast<f32>((frame * speed) % 360u) * 0.017453f) + 1.0f) * 0.5f;
    };
    struct Case {
        f32 shown, share;
        u32 speed;  // 0: no flash
    } cases[] = {{1.0f, 0.7f, 0}, {1.0f, 0.6f, 10}, {1.0f, 0.4f, 20}, {0.2f, 0.9f, 40}, {0.21f, 0.61f, 0}};
    for (const Case& c : cases)
        for (u32 frame : {0u, 3u, 7u, 100u})
            EXPECT_NEAR(TeamCostFlash(c.shown, c.share, frame), c.speed ? flash(c.speed, frame) : 1.0f, 1e-3f)
                << c.shown << " " << c.share << " " << frame;

    BattleRunnerOptions options;
    options.mode = GameMode::LocalBattle;
    options.localRule = 1;
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    BattleSettings& settings = scene.battleSettings;
    GMTCB_DrawSP_TeamCostDisp* gauge = nullptr;
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        if (auto* g = dynamic_cast<GMTCB_DrawSP_TeamCostDisp*>(t)) gauge = g;
    ASSERT_NE(gauge, nullptr);
    scene.teamCosts[0] = static_cast<u32>(static_cast<f32>(settings.costLimit) * settings.costRate * 0.5f);
    scene.teamCosts[1] = static_cast<u32>(-50);  // overspent: empty, not negative
    i32 frames = 0;
    while (gauge->shown[0] > 0.5f + 1e-4f && frames < 100) {
        gauge->Proc();
        ++frames;
    }
    EXPECT_EQ(frames, 50);
    EXPECT_EQ(TeamCostShare(scene, 1), 0.0f);
    const i32 limit = settings.costLimit;
    settings.costLimit = 0;
    EXPECT_EQ(TeamCostShare(scene, 0), 0.0f);
    settings.costLimit = limit;
}

// A chat line from a peer fills its whole buffer: the label shows it up to
// the last whole character.
TEST(HudTasks, ChatLabelCutsOnAWholeCharacter)
{
    char line[100];
    std::memset(line, 'a', sizeof line);
    std::memcpy(line + 98, "\xE5\x87", 2);  // a three-byte character cut short
    EXPECT_EQ(WholeCharacterBytes(line, 100), 98);
    std::memcpy(line + 97, "\xE5\x87\xBB", 3);  // one that fits exactly
    EXPECT_EQ(WholeCharacterBytes(line, 100), 100);
    EXPECT_EQ(WholeCharacterBytes("ab\0cd", 100), 2);
}

// The network detail lists robot-table entries 0..9 by team, in team order,
// leaving out spectators and robots of a team the groups do not have.
TEST(HudTasks, NetworkDetailGroupsPlayersByTeam)
{
    BattleRunnerOptions options = MakeBattleOptions(GameMode::LocalBattle, 0, {0, 1, 0, 1, 0}, {0}, false);
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    const i32 teams[] = {3, 1, static_cast<i32>(kSpectatorTeam), 1, 25};
    for (i32 i = 0; i < 5; ++i) {
        ASSERT_NE(scene.robotTable[i], nullptr) << i;
        scene.robotTable[i]->displayTeam = teams[i];
    }
    CList<TCB> list;
    auto* detail = GMTCB_DrawSP_NetDetailDisp::Create(&list, 201);
    detail->RebuildGroups(scene);
    ASSERT_EQ(detail->groups.size(), 20u);
    EXPECT_EQ(detail->groups[1], (std::vector<i32>{1, 3}));
    EXPECT_EQ(detail->groups[3], (std::vector<i32>{0}));
    size_t listed = 0;
    for (const auto& g : detail->groups) listed += g.size();
    EXPECT_EQ(listed, 3u);
    list.DeleteAll();
}

// A streak announcement says what was earned, to the robot that earned it.
TEST(HudTasks, StreakAnnouncementsSayWhatWasEarned)
{
    BattleRunner runner(BattleRunnerOptions{});
    CGameScene& scene = *runner.Scene();
    auto* robot = static_cast<CRobot_Normal*>(scene.robotTable[0]);
    auto last = [&]() {
        GMTCB_DrawSP_KillMessage* found = nullptr;
        for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
            if (auto* k = dynamic_cast<GMTCB_DrawSP_KillMessage*>(t)) found = k;
        return found;
    };
    ShowStreakMessage(robot, 3);
    GMTCB_DrawSP_KillMessage* m = last();
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->line1, "連続３撃破");
    EXPECT_STREQ(m->line2, "巡航ミサイル 準備完了\n(ガード中にサブ３で発動)");
    EXPECT_EQ(m->ownerRobot, robot);
    EXPECT_EQ(m->framesLeft, 120);
    ShowStreakMessage(robot, 10009);
    ASSERT_NE(last(), m);
    EXPECT_STREQ(last()->line1, "連続９損害");
    EXPECT_NE(std::string(last()->line2).find(" 救援準備完了\n"), std::string::npos);
    m = last();
    ShowStreakMessage(robot, 11);  // no such streak
    EXPECT_EQ(last(), m);
}
