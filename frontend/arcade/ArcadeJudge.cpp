#include "frontend/arcade/ArcadeJudge.h"

#include <algorithm>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/scene/Fade.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "battle/hud/KillMessage.h"
#include "battle/hud/OverlayTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "frontend/arcade/NormalBattleScene.h"
#include "frontend/arcade/Story.h"
#include "app/scene/RankingInput.h"
#include "app/scene/RankingList.h"
#include "platform/input/Keyboard.h"
#include "robot/Robot.h"

namespace {

constexpr u32 kKeyMs = 1000;
constexpr i32 kTeams = 10;

CApplication& App() { return *GetApplication(); }
CStoryBase* Story() { return App().currentStory; }

TCB_FadeOut* FadeOut(CList<TCB>* list)
{
    TCB_FadeOut* fade = TCB_FadeOut::Create(list, 10000);
    if (fade) fade->speed = 5;
    return fade;
}

RankingTable& ArcadeTable(const CStoryBase& story)
{
    return App().rankingTables[std::clamp(story.difficulty, 0, 2)];
}

}  // namespace

const char* ArcadeRankingTitle(i32 difficulty)
{
    if (difficulty <= 0) return "[Arcade]\n Easy";
    return difficulty == 1 ? "[Arcade]\n Normal" : "[Arcade]\n Hard";
}

bool GMTCB_Judge_NormalBattleMode::SecondSlotHeld() const { return scene->robotTable[1] != nullptr; }

void GMTCB_Judge_NormalBattleMode::CopyScores()
{
    if (const CRobot_Base* r = scene->robotTable[0]) App().players[0].arcadeScore = r->score;
    if (const CRobot_Base* r = scene->robotTable[1]) App().players[1].arcadeScore = r->score;
}

// QUILLON_TEST_DECIDE_STAGES=n lets a scripted run play a whole story in
// little time: half a second into each battle every enemy falls, through
// the same damage a shot does, except in the run's n-th battle (continues
// counted), where the player's robot falls instead, to an enemy, so the kill
// log tells of it as after a real fall. Each battle decided so is worth
// 100000 points (a fall costs none), so the score the run saves tells
// whether a continue halved it.
void GMTCB_Judge_NormalBattleMode::DecideByTestSwitch()
{
    const i32 lost = GetTestSwitches().decideStages;
    const CStoryBase* story = Story();
    auto* player = dynamic_cast<CRobot_Normal*>(PlayerRobot());
    if (lost < 0 || !story || !player || ++forcedFrames < 30) return;
    auto fell = [](CRobot_Normal* r, CRobot_Normal* by) {
        if (r->state == kRobotStateLive && r->hp > 0)
            r->ApplyHitDamage(r->hp, 1.0f, 1.0f, r->team + 1, by, CRobot_Normal::HitSource::Weapon);
    };
    if (forcedFrames == 30) player->score += 100000;
    CRobot_Normal* enemy = nullptr;
    for (BB_Base* u = scene->unitList.GetHead()->next; u && u != scene->unitList.GetTail(); u = u->next)
        if (auto* r = dynamic_cast<CRobot_Normal*>(u); r && !u->Removed && r->team != player->team) {
            if (!enemy) enemy = r;
            if (story->stage + story->continues != lost) fell(r, nullptr);
        }
    if (story->stage + story->continues == lost) {
        const i32 score = player->score;
        fell(player, enemy);
        player->score = score;
    }
}

i32 GMTCB_Judge_NormalBattleMode::Phase_Judging()
{
    const CStoryBase* story = Story();
    if (scene->battleEnd != 0 || !story) return kTaskKeep;
    DecideByTestSwitch();
    if (story->battleKind == 0) {
        // Only the local player counts: player 2's state never loses the stage.
        const CRobot_Base* player = PlayerRobot();
        if (player && player->state == kRobotStateDown && player->restBody == 0) {
            SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_Failed);
            counter = 0;
            return kTaskKeep;
        }
        for (i32 i = 0; i < kTeams; ++i) {
            const CRobot_Base* r = scene->robotTable[i];
            if (r && r->team != 0 && !(r->state == kRobotStateNone && r->restBody == 0)) return kTaskKeep;
        }
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_Cleared);
        counter = 0;
        return kTaskKeep;
    }
    if (static_cast<i32>(scene->teamCosts[0]) <= 0) {
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_Failed);
        counter = 0;
        return kTaskKeep;
    }
    i32 living = 0;
    for (i32 t = 0; t < kTeams; ++t)
        if (scene->teamsPresent[t] && static_cast<i32>(scene->teamCosts[t]) > 0) ++living;
    if (living <= 1) {
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_Cleared);
        counter = 300;  // the cost rule shows its picture on the next frame
    }
    return kTaskKeep;
}

i32 GMTCB_Judge_NormalBattleMode::Phase_Cleared()
{
    if (scene->battleEnd == 0 && counter >= 300) {
        EndBattle();
        ShowPicture(kWonPicture);
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_ClearWait);
        StopUnits();
        counter = 0;
    }
    ++counter;
    return kTaskKeep;
}

i32 GMTCB_Judge_NormalBattleMode::Phase_ClearWait()
{
    FadePicture();
    if (!EnterHeld() && counter < 240) {
        ++counter;
        return kTaskKeep;
    }
    CopyScores();
    counter = 0;
    return SwitchTo(GetNormalBattleSceneAsBase);
}

i32 GMTCB_Judge_NormalBattleMode::Phase_Failed()
{
    if (counter < 10) {
        ++counter;
        return kTaskKeep;
    }
    if (counter == 10) {
        EndBattle();
        ShowPicture(kLostPicture);
    }
    StopUnits();
    FadePicture();
    if (EnterPressed(kKeyMs)) {
        CopyScores();
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_Continue);
        continueTask = GMTCB_Normal_Continue::Create(&scene->tasks, 10000);
        counter = 0;
        if (TCB_FadeIn* fade = TCB_FadeIn::Create(&scene->tasks, 10000)) fade->speed = 10;
        return kTaskKeep;
    }
    ++counter;
    return kTaskKeep;
}

i32 GMTCB_Judge_NormalBattleMode::Phase_Continue()
{
    CStoryBase* story = Story();
    if (!continueTask || !story) return GoTitle();
    if (counter <= 60) {
        continueTask->enabled = 0;
    } else {
        continueTask->enabled = 1;
        CApplication& app = App();
        if (continueTask->result == 1) {
            continueTask->finished = 1;
            continueTask = nullptr;
            if (const CRobot_Base* r = scene->robotTable[0]) app.players[0].arcadeScore = HalveScore(r->score);
            if (const CRobot_Base* r = scene->robotTable[1]) app.players[1].arcadeScore = HalveScore(r->score);
            --story->stage;
            ++story->continues;
            // The fade to the stage screen covers everything; nothing may draw over it.
            scene->hudHideBits |= kHudUnderCover;
            FadeOut(&scene->tasks);
            SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_ToInterlude);
            counter = 0;
            return kTaskSceneReplaced;
        }
        if (continueTask->result == 2) {
            continueTask->enabled = 0;
            continueTask->finished = 1;
            continueTask = nullptr;
            i32 score = app.players[0].arcadeScore;
            if (SecondSlotHeld()) score += app.players[1].arcadeScore;
            // The ranking screens let the battle show through: it stands
            // still under them without its display or the lost picture.
            scene->paused = 1;
            scene->hudHideBits |= kHudUnderCover;
            RemovePicture();
            auto* input = TCB_RankingInput::Create(&scene->tasks, 1);
            if (input) input->Start(&ArcadeTable(*story), static_cast<u32>(app.players[0].robot), score, 0);
            rankingInput = input;
            SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_RankingEntry);
            counter = 0;
        }
    }
    ++counter;
    return kTaskKeep;
}

i32 GMTCB_Judge_NormalBattleMode::Phase_ToInterlude()
{
    ++counter;
    if (counter < 121) return kTaskKeep;
    return SwitchTo(GetNormalBattleSceneAsBase);
}

i32 GMTCB_Judge_NormalBattleMode::Phase_RankingEntry()
{
    CStoryBase* story = Story();
    if (!story) return GoTitle();
    // A score that did not place has no name to type: straight to the list.
    const auto* input = static_cast<TCB_RankingInput*>(rankingInput);
    if ((input && !input->Placed()) || (counter > 60 && EnterPressed(kKeyMs))) {
        if (rankingInput) static_cast<TCB_RankingInput*>(rankingInput)->done = 1;
        rankingInput = nullptr;
        counter = 0;
        auto* list = TCB_RankingList::Create(&scene->tasks, 1);
        if (list) {
            list->Start(&ArcadeTable(*story), 1024.0f);
            list->title = ArcadeRankingTitle(story->difficulty);
        }
        rankingList = list;
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_RankingList);
        if (!ArcadeTable(*story).Save()) ShowNotice("无法保存数据          ");
    }
    ++counter;
    return kTaskKeep;
}

i32 GMTCB_Judge_NormalBattleMode::Phase_RankingList()
{
    if (auto* list = static_cast<TCB_RankingList*>(rankingList)) list->x = std::max(list->x - 20.0f, 0.0f);
    if (counter > 60 && EnterPressed(kKeyMs)) {
        FadeOut(&scene->tasks);
        counter = 0;
        SetPhase(&GMTCB_Judge_NormalBattleMode::Phase_ToTitle);
        return kTaskKeep;
    }
    ++counter;
    return kTaskKeep;
}

i32 GMTCB_Judge_NormalBattleMode::Phase_ToTitle()
{
    ++counter;
    if (counter < 121) return kTaskKeep;
    CApplication& app = App();
    CStoryBase* story = app.currentStory;
    app.currentStory = nullptr;
    delete story;
    return SwitchTo(GetTitleSceneAsBase);
}

// ---- the continue prompt -------------------------------------------------------------

i32 GMTCB_Normal_Continue::Proc()
{
    if (!enabled) return finished;
    CApplication& app = App();
    if (app.IsKeyRepeat(plat::vk::Left, kKeyMs)) cursor = 0;
    if (app.IsKeyRepeat(plat::vk::Right, kKeyMs)) cursor = 1;
    if (app.IsKeyRepeat(plat::vk::Return, kKeyMs)) result = cursor + 1;
    return finished;
}

void GMTCB_Normal_Continue::DrawSP()
{
    CGameScene* scene = FindGameScene();
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !gd->device) return;
    if (scene && scene->currentView && scene->currentView->player != scene->playerSlot) return;
    gd->sprite->Flush();
    DrawFullScreenPicture(SharedPicture::Dot, 0xB4000000u);
    const plat::GfxRect screen{0, 0, 1024, 768};
    auto alpha = [&](i32 option) { return (option == cursor ? 0xFFu : 0x40u) << 24 | 0xFFFFFFu; };
    DrawTextAt(3, 0.0f, 260.0f, "是否继续作战?   ", -1, &screen, plat::TextCenter, 0xFFFFFFFFu);
    DrawTextAt(3, 280.0f, 460.0f, "确定", -1, &screen, plat::TextLeft, alpha(0));
    DrawTextAt(3, 603.0f, 460.0f, "退出  ", -1, &screen, plat::TextLeft, alpha(1));
}
