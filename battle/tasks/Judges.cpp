// The judges of every battle mode: when the battle is over, its result
// picture, the survival ranking, online experience and the way out.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PilotRegistry.h"
#include "app/player/PlayerProfile.h"
#include "app/player/RoomState.h"
#include "app/scene/Camera.h"
#include "app/scene/ExpGet.h"
#include "app/scene/Fade.h"
#include "app/scene/RankingInput.h"
#include "app/scene/RankingList.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/RoomMessages.h"
#include "battle/hud/OverlayTasks.h"
#include "battle/pause/PauseMenu.h"
#include "battle/tasks/ModeTasks.h"
#include "battle/tasks/SystemTasks.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/core/TextCodec.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/ship/Ship.h"

namespace {

constexpr i32 kTeamSlots = 10;
constexpr u32 kResultKeyMs = 10000;
constexpr u32 kRankingKeyMs = 1000;
// Online, the result table and the experience notice together wait this
// long for Enter before they go on by themselves: the room cannot start
// while a player sits on a result.
constexpr i32 kResultReturnFrames = 30 * 60;

CApplication& App() { return *GetApplication(); }

// A result picture or the table drawn in layout space at the screen scale.
Mat4 ScreenScale()
{
    const CApplication& app = App();
    Mat4 m;
    plat::MatrixScaling(&m, app.video.screenScaleX, app.video.screenScaleY, 1.0f);
    return m;
}

bool CanDrawSprites()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    return gd->sprite != nullptr && gd->device != nullptr;
}

void LoadPicture(TextureHandle& texture, const std::string& file)
{
    texture.LoadScrambled((std::string(App().startupDir) + "/" + file).c_str(), plat::kGfxFromFile, plat::kGfxFromFile,
                          1, 0, plat::GfxFormat::Unknown, plat::GfxPool::Managed, plat::ImageFilterNone,
                          plat::ImageFilterNone, 0, nullptr, AssetKey);
}

// Living teams of the first robot-table slots, as the remaining-body rules
// count them: a robot with no bodies left in one of the out states is out.
i32 CountLivingTeams(const CGameScene& scene, i32 slots, i32 teams, bool outWhenOut, i32* last)
{
    i32 count[kRobotTableSize] = {};
    for (i32 i = 0; i < slots && i < scene.robotTable.GetCount(); ++i) {
        const CRobot_Base* r = scene.robotTable[i];
        if (!r) continue;
        const bool gone = r->state == kRobotStateNone || (outWhenOut && r->state == kRobotStateOut);
        if (r->restBody == 0 && gone) continue;
        if (r->team >= 0 && r->team < teams) ++count[r->team];
    }
    i32 living = 0;
    if (last) *last = -1;
    for (i32 t = 0; t < teams; ++t)
        if (count[t] > 0) {
            ++living;
            if (last) *last = t;
        }
    return living;
}

// Teams present with cost left (the cost rules).
i32 CountCostTeams(const CGameScene& scene, i32 teams, i32* last)
{
    i32 living = 0;
    if (last) *last = -1;
    for (i32 t = 0; t < teams && t < static_cast<i32>(scene.teamsPresent.GetCount()); ++t)
        // A cost spent below zero is stored wrapped; it must still count as spent.
        if (scene.teamsPresent[t] && static_cast<i32>(scene.teamCosts[t]) > 0) {
            ++living;
            if (last) *last = t;
        }
    return living;
}

}  // namespace

// ---- shared steps --------------------------------------------------------------------

void GMTCB_JudgeBase::ShowPicture(const char* file)
{
    picture = GMTCB_DrawPS_Picture::Create(&scene->tasks, 5000);
    if (picture) picture->SetPicture(0, file);
}

void GMTCB_JudgeBase::EndBattle()
{
    // A menu still open would lie over the result and take its keys.
    ClosePauseMenus(*scene);
    scene->battleEnd = 1;
}

void GMTCB_JudgeBase::DecideOffline(bool hasWon)
{
    EndBattle();
    won = hasWon ? 1 : 0;
    ShowPicture(hasWon ? kWonPicture : kLostPicture);
    scene->paused = 1;
}

void GMTCB_JudgeBase::DecideOnline(bool hasWon)
{
    EndBattle();
    won = hasWon ? 1 : 0;
    decidedOnline = 1;
    CGameScene::LogNetResult(hasWon);
    plat::SetScriptMark("result", hasWon ? "won" : "lost");
    scene->paused = 1;
    scene->frameProc = &CGameScene::Proc_Normal;
    if (App().textInputHandler == &CGameScene::ChatHook) App().textInputHandler = nullptr;
    ShowPicture(hasWon ? kWonPicture : kLostPicture);
    table = GMTCB_DrawSP_ScoreResultDisp::Create(&scene->tasks, 10000);
    if (table) table->Fill(*scene);
}

void GMTCB_JudgeBase::FadePicture()
{
    if (picture && picture->alpha >= 0) picture->alpha = std::min(picture->alpha + 2, 255);
}

void GMTCB_JudgeBase::RemovePicture()
{
    // The picture task removes itself at its next run.
    if (picture) picture->alpha = -1;
    picture = nullptr;
}

void GMTCB_JudgeBase::StopUnits()
{
    for (BB_Base* o = scene->unitList.GetHead()->next; o && o != scene->unitList.GetTail(); o = o->next)
        if (IsUnit(o)) static_cast<CRobot_Base*>(o)->inputEnabled = 0;
}

i32 GMTCB_JudgeBase::SwitchTo(BaseScene* (*getter)())
{
    SwitchScene(App(), getter ? getter : GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

i32 GMTCB_JudgeBase::GoTitle()
{
    if (auto* go = GMTCB_GoTitle::Create(&scene->tasks, 1)) go->Start(scene);
    return kTaskRemove;
}

void GMTCB_JudgeBase::ClearEscape() { App().input.keyTable[plat::vk::Escape] = 0; }

bool GMTCB_JudgeBase::EnterHeld() { return (App().input.keyTable[plat::vk::Return] & 0x80) != 0; }

bool GMTCB_JudgeBase::EnterPressed(u32 intervalMs) const
{
    return closing || App().IsKeyRepeat(plat::vk::Return, intervalMs) != 0;
}

void GMTCB_JudgeBase::SaveResultOnClose()
{
    if (!decidedOnline || resultSaved || OwnIsSpectator()) return;
    closing = 1;
    // The interception result waits a few frames between its steps; every
    // step is bounded, so this ends without the saving too.
    for (i32 step = 0; step < 1000 && !resultSaved; ++step) {
        if (InPhase(&GMTCB_JudgeBase::Proc_Disconnected) || !phaseProc) break;
        if ((this->*phaseProc)() != kTaskKeep) break;
    }
}

void SaveResultOnClose(CGameScene& scene)
{
    if (!scene.tasks.GetHead()) return;
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        if (auto* judge = dynamic_cast<GMTCB_JudgeBase*>(t)) judge->SaveResultOnClose();
}

bool GMTCB_JudgeBase::ConnectionHolds()
{
    if (NetClientsConnected()) return true;
    StopReturnCountdown();
    SetPhase(&GMTCB_JudgeBase::Proc_Disconnected);
    ShowNotice("断开与服务器的连接...   ");
    scene->frameProc = &CGameScene::Proc_Normal;
    return false;
}

i32 GMTCB_JudgeBase::Proc_Disconnected()
{
    StopUnits();
    scene->paused = 1;
    if (!EnterHeld()) return kTaskKeep;
    return GoTitle();
}

void GMTCB_JudgeBase::ShowNotice(const char* text)
{
    if (!notice) notice = GMTCB_DrawSP_DispString2::Create(&scene->tasks, 10000);
    if (!notice) return;
    std::snprintf(notice->text, sizeof notice->text, "%s", text);
    notice->x = 0.0f;
    notice->y = 700.0f;
}

CRobot_Base* GMTCB_JudgeBase::PlayerRobot() const
{
    return scene->playerSlot < u32(scene->robotTable.GetCount()) ? scene->robotTable[scene->playerSlot] : nullptr;
}

CRobot_Base* GMTCB_JudgeBase::OwnRobot() const
{
    const u32 own = GetRoomState().ownSlot;
    return own < u32(scene->robotTable.GetCount()) ? scene->robotTable[own] : nullptr;
}

bool GMTCB_JudgeBase::OwnIsSpectator() const
{
    const CRobot_Base* own = OwnRobot();
    return !own || own->displayTeam == 100;
}

bool GMTCB_JudgeBase::BattleTooShort() const { return scene->battleTime / 60 < 120; }

void GMTCB_JudgeBase::StartExp(i32 experience, u32 mode)
{
    expGet = TCB_ExpGet::Create(&scene->tasks, 1);
    if (expGet) expGet->Start(experience, mode);
}

bool GMTCB_JudgeBase::ExpSaved()
{
    if (expGet && !expGet->confirmed) return false;
    if (expGet) expGet->Finish();
    expGet = nullptr;
    // A failed save keeps the old profile on disk; the battle must not stop
    // for a box, so the notice says it and the way to the room goes on.
    if (!App().Profile().Save()) ShowNotice("无法保存数据          ");
    resultSaved = 1;
    return true;
}

void GMTCB_JudgeBase::StartReturnCountdown()
{
    returnFramesLeft = kResultReturnFrames;
    if (!countdown) countdown = GMTCB_DrawSP_DispString2::Create(&scene->tasks, 10001);
    if (!countdown) return;
    countdown->x = 0.0f;
    countdown->y = 716.0f;
    countdown->font = 1;
    countdown->format = 1;  // centred
}

bool GMTCB_JudgeBase::ReturnCountdownOver()
{
    if (returnFramesLeft < 0) return false;
    if (returnFramesLeft > 0) --returnFramesLeft;
    if (countdown)
        std::snprintf(countdown->text, sizeof countdown->text, "%d秒后自动返回房间", (returnFramesLeft + 59) / 60);
    return returnFramesLeft == 0;
}

void GMTCB_JudgeBase::StopReturnCountdown()
{
    returnFramesLeft = -1;
    if (countdown) countdown->finished = 1;
    countdown = nullptr;
}

bool GMTCB_JudgeBase::ExpSavedOrTimeUp()
{
    // Time up: the notice ends as if Enter had stepped through it, and the
    // experience it already counted is saved the same way.
    const bool timeUp = ReturnCountdownOver();
    if ((timeUp || closing) && expGet) expGet->ConfirmAll();
    if (!ExpSaved()) return false;
    StopReturnCountdown();
    return true;
}

i32 GMTCB_JudgeBase::WaitForRoom(bool fadeFirst, bool checkConnection)
{
    if (fadeFirst && counter == 0)
        if (TCB_FadeOut* fade = TCB_FadeOut::Create(&scene->tasks, 10000)) fade->speed = 5;
    FadePicture();
    const u32 slot = scene->playerSlot;
    const bool echoed = slot < u32(App().players.GetCount()) && App().players[i32(slot)].ReturnedToRoom();
    if (echoed && (!fadeFirst || counter > 60)) return SwitchTo(GetBattleHooks().roomScene);
    if (counter > kJudgeReturnWaitFrames) {
        // The server never answered the return: the title, not a wait for ever.
        DisconnectNetClients();
        return SwitchTo(GetTitleSceneAsBase);
    }
    ++counter;
    if (checkConnection) ConnectionHolds();
    return kTaskKeep;
}

// ---- survival ------------------------------------------------------------------------

namespace {
// A scripted battle may end on its own at a given battle frame, by a hit
// worth all the HP of the one whose fall decides it.
bool TestFallNow(const CGameScene& scene)
{
    const i32 frame = GetTestSwitches().fallFrame;
    return frame >= 0 && scene.battleFrame == u32(frame);
}

// In a fleet battle that is the flagship of the chosen team (the enemy's by
// default): the battle is won or lost as after a real sinking.
void TestSink(CGameScene& scene)
{
    const i32 team = GetTestSwitches().fallTeam;
    if (!TestFallNow(scene)) return;
    CShip* flagship = team == 0 ? scene.team0Flagship : scene.team1Flagship;
    if (flagship && flagship->state == kRobotStateLive)
        flagship->TakeHit(flagship->hp, flagship->hp, 1 - flagship->team, nullptr, 0, 0);
}

// Between people, and in survival, it is the robot of the first slot, so the
// fall, the loss and the judge run as after a real kill.
void TestFall(CGameScene& scene)
{
    if (!TestFallNow(scene)) return;
    auto* robot = dynamic_cast<CRobot_Normal*>(scene.robotTable[0]);
    if (robot && robot->state == kRobotStateLive)
        robot->ApplyHitDamage(robot->hp, 1.0f, 1.0f, robot->team + 1, nullptr, CRobot_Normal::HitSource::Weapon);
}

// Online, from that frame of the current run on, every client fells the
// robots nobody plays any more: the computer's and those whose players left
// (which otherwise stay on as unpiloted targets). The players still in the
// battle are left to win without aiming.
void TestFallUnplayed(CGameScene& scene)
{
    const i32 frame = GetTestSwitches().fallFrame;
    if (frame < 0 || scene.battleFrame < u32(frame)) return;
    CApplication& app = App();
    for (i32 i = 0; i < kRobotTableSize; ++i) {
        auto* robot = dynamic_cast<CRobot_Normal*>(scene.robotTable[i]);
        if (!robot || robot->state != kRobotStateLive) continue;
        const bool left = robot->controlMode == kControlNetwork && i < app.players.GetCount() && !app.players[i].inBattle;
        if (robot->controlMode == kControlComputer || left)
            robot->ApplyHitDamage(robot->hp, 1.0f, 1.0f, robot->team + 1, nullptr, CRobot_Normal::HitSource::Weapon);
    }
}
}  // namespace

i32 GMTCB_Judge_SurvivalMode::Proc_Watch()
{
    TestFall(*scene);
    const CRobot_Base* player = PlayerRobot();
    if (!player || player->state != kRobotStateDown || player->restBody != 0) return kTaskKeep;
    EndBattle();
    StopUnits();
    scene->paused = 1;
    if (scene->battleSettings.modeOption == 1) return GoTitle();
    // The ranking screens fill the window; the kill log would lie over them.
    scene->chatLogShown = 0;
    rankingInput =
        StartRankingInput(&scene->tasks, &App().rankingTables[3], player->typeIndex, player->score, player->kills);
    SetPhase(&GMTCB_Judge_SurvivalMode::Proc_RankingInput);
    counter = 0;
    // A score that did not place has no name to type: straight to the list.
    if (!rankingInput) return ShowRankingList();
    return kTaskKeep;
}

i32 GMTCB_Judge_SurvivalMode::Proc_RankingInput()
{
    ++counter;
    if (counter <= 60 || !EnterPressed(kRankingKeyMs)) return kTaskKeep;
    return ShowRankingList();
}

i32 GMTCB_Judge_SurvivalMode::ShowRankingList()
{
    if (rankingInput) rankingInput->done = 1;
    rankingInput = nullptr;
    rankingX = 1024.0f;
    rankingList = StartRankingList(&scene->tasks, &App().rankingTables[3], rankingX, "[Survival]");
    SetPhase(&GMTCB_Judge_SurvivalMode::Proc_RankingList);
    counter = 0;
    if (!App().rankingTables[3].Save()) ShowNotice("无法保存数据          ");
    return kTaskKeep;
}

i32 GMTCB_Judge_SurvivalMode::Proc_RankingList()
{
    rankingX = std::max(rankingX - 20.0f, 0.0f);
    if (rankingList) rankingList->x = rankingX;
    if (counter > 60 && EnterPressed(kRankingKeyMs)) return GoTitle();
    ++counter;
    return kTaskKeep;
}

// ---- team battle and blitz -----------------------------------------------------------

i32 GMTCB_Judge_TeamBattleMode::Proc_Watch()
{
    if (scene->paused) return kTaskKeep;
    if (scene->battleSettings.modeOption == 1) {
        if (scene->teamUnits[0] != 0 && scene->teamUnits[1] != 0) return kTaskKeep;
        return GoTitle();
    }
    const CRobot_Base* player = scene->robotTable[0];
    if (scene->teamUnits[0] != 0 && player && player->state != kRobotStateNone) {
        if (scene->teamUnits[1] != 0) return kTaskKeep;
        DecideOffline(true);
    } else {
        DecideOffline(false);
    }
    SetPhase(&GMTCB_Judge_TeamBattleMode::Proc_Result);
    return kTaskKeep;
}

i32 GMTCB_Judge_TeamBattleMode::Proc_Result()
{
    StopUnits();
    FadePicture();
    if (EnterHeld()) return SwitchTo(GetTitleSceneAsBase);
    return kTaskKeep;
}


i32 GMTCB_Judge_BlitzTacticsMode::Proc_Watch()
{
    if (scene->paused) return kTaskKeep;
    TestSink(*scene);
    // The player's flagship first: both sinking on one frame is a loss.
    if (scene->team0Flagship && scene->team0Flagship->state == kRobotStateDown) DecideOffline(false);
    else if (scene->team1Flagship && scene->team1Flagship->state == kRobotStateDown) DecideOffline(true);
    else return kTaskKeep;
    SetPhase(&GMTCB_Judge_TeamBattleMode::Proc_Result);
    return kTaskKeep;
}

// ---- local battle --------------------------------------------------------------------


i32 GMTCB_Judge_LocalBattle_RestBody::Proc_Watch()
{
    if (scene->paused) return kTaskKeep;
    TestFall(*scene);
    const u32 rule = scene->battleSettings.localRule;
    bool over = false;
    if (rule == 0) over = CountLivingTeams(*scene, 4, 4, false, nullptr) <= 1;
    else if (rule == 1) over = CountCostTeams(*scene, kTeamSlots, nullptr) < 2;
    if (!over) return kTaskKeep;
    EndBattle();
    won = 1;
    ShowPicture(kWonPicture);
    scene->paused = 1;
    counter = 0;
    SetPhase(&GMTCB_Judge_LocalBattle_RestBody::Proc_Result);
    return kTaskKeep;
}

i32 GMTCB_Judge_LocalBattle_RestBody::Proc_Result()
{
    StopUnits();
    FadePicture();
    if (EnterHeld() || counter >= 241) return SwitchTo(GetBattleHooks().vsRoomScene);
    ++counter;
    return kTaskKeep;
}

// ---- online: team survival and team cost ---------------------------------------------

namespace {
// A scripted battle's clock may start minutes on, the same on every client;
// it is moved once, as it never falls back below the mark.
void TestClockAhead(CGameScene& scene)
{
    const u32 ahead = u32(std::max(GetTestSwitches().battleClock, 0)) * 60u;
    if (scene.battleTime < ahead) scene.battleTime += ahead;
}
}  // namespace

// The team rules after the watch: the last team standing decides, the
// picture shows until Enter or 240 frames, the table until Enter, then the
// experience, or the room for a spectator.
i32 GMTCB_JudgeBase::DecideLastTeam(i32 living, i32 last, Phase showResult)
{
    TestFallUnplayed(*scene);
    TestClockAhead(*scene);
    if (living > 1) {
        ConnectionHolds();
        return kTaskKeep;
    }
    counter = 0;
    const CRobot_Base* player = PlayerRobot();
    DecideOnline(living == 1 && player && player->displayTeam == last);
    phaseProc = showResult;
    return kTaskKeep;
}

i32 GMTCB_JudgeBase::ShowResultUntilEnter(Phase resultTable)
{
    ClearEscape();
    FadePicture();
    if (!EnterPressed(kResultKeyMs) && counter < 240) {
        ++counter;
        ConnectionHolds();
        return kTaskKeep;
    }
    phaseProc = resultTable;
    if (table) table->show = 1;
    StartReturnCountdown();
    return kTaskKeep;
}

i32 GMTCB_JudgeBase::ResultTableUntilEnter(Phase expSave, Phase returnToRoom)
{
    ClearEscape();
    if (!ReturnCountdownOver() && !EnterPressed(kResultKeyMs)) {
        ConnectionHolds();
        return kTaskKeep;
    }
    if (table) table->show = 0;
    RemovePicture();
    counter = 0;
    if (OwnIsSpectator()) {
        StopReturnCountdown();
        SendReturnToRoom();
        phaseProc = returnToRoom;
        ConnectionHolds();
        return kTaskKeep;
    }
    if (BattleTooShort()) StartExp(0, 1);
    else StartExp(BattleExperience(won ? 20000 : -10000, OwnRobot()->score), 0);
    phaseProc = expSave;
    return kTaskKeep;
}

i32 GMTCB_Judge_NetTeamSurvival::Proc_Watch()
{
    i32 last = -1;
    const i32 living = CountLivingTeams(*scene, kTeamSlots, kTeamSlots, true, &last);
    return DecideLastTeam(living, last, static_cast<Phase>(&GMTCB_Judge_NetTeamSurvival::Proc_ShowResult));
}

i32 GMTCB_Judge_NetTeamSurvival::Proc_ShowResult()
{
    return ShowResultUntilEnter(static_cast<Phase>(&GMTCB_Judge_NetTeamSurvival::Proc_ResultTable));
}

i32 GMTCB_Judge_NetTeamSurvival::Proc_ResultTable()
{
    return ResultTableUntilEnter(static_cast<Phase>(&GMTCB_Judge_NetTeamSurvival::Proc_ExpSave),
                                 static_cast<Phase>(&GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom));
}

i32 GMTCB_Judge_NetTeamSurvival::Proc_ExpSave()
{
    ClearEscape();
    if (!ExpSavedOrTimeUp()) return kTaskKeep;
    SendPlayerLevel(static_cast<u16>(GetRoomState().ownSlot), App().Profile().rankLevel);
    SendReturnToRoom();
    SetPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom);
    counter = 0;
    return kTaskKeep;
}

i32 GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom()
{
    ClearEscape();
    return WaitForRoom(true, true);
}

i32 GMTCB_Judge_NetTeamCost::Proc_Watch()
{
    i32 last = -1;
    const i32 living = CountCostTeams(*scene, kTeamSlots, &last);
    return DecideLastTeam(living, last, static_cast<Phase>(&GMTCB_Judge_NetTeamCost::Proc_ShowResult));
}

i32 GMTCB_Judge_NetTeamCost::Proc_ShowResult()
{
    return ShowResultUntilEnter(static_cast<Phase>(&GMTCB_Judge_NetTeamCost::Proc_ResultTable));
}

i32 GMTCB_Judge_NetTeamCost::Proc_ResultTable()
{
    return ResultTableUntilEnter(static_cast<Phase>(&GMTCB_Judge_NetTeamCost::Proc_ExpSave),
                                 static_cast<Phase>(&GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom));
}

i32 GMTCB_Judge_NetTeamCost::Proc_ExpSave()
{
    ClearEscape();
    if (!ExpSavedOrTimeUp()) return kTaskKeep;
    SendReturnToRoom();
    SetPhase(&GMTCB_Judge_NetTeamSurvival::Proc_ReturnToRoom);
    counter = 0;
    return kTaskKeep;
}

// ---- online: time survival -----------------------------------------------------------

i32 GMTCB_Judge_NetTimeSurvival::Proc_Watch()
{
    for (i32 t = 0; t < 20; ++t) {
        u32 sum = 0;
        if (scene->teamsPresent[t])
            for (i32 i = 0; i < 20; ++i) {
                const CRobot_Base* r = scene->robotTable[i];
                if (r && r->displayTeam == t) sum += static_cast<u32>(r->score);
            }
        scene->teamScores[t] = sum;
    }
    if (scene->battleTime != 0) {
        ConnectionHolds();
        return kTaskKeep;
    }
    i32 best = 0;
    for (i32 t = 0; t < 20; ++t)
        if (scene->teamsPresent[t]) best = std::max(best, static_cast<i32>(scene->teamScores[t]));
    const CRobot_Base* player = PlayerRobot();
    const i32 team = player ? player->displayTeam : -1;
    const bool hasWon = team >= 0 && team < 20 && static_cast<i32>(scene->teamScores[team]) == best;
    StopUnits();
    DecideOnline(hasWon);
    counter = 0;
    SetPhase(&GMTCB_Judge_NetTimeSurvival::Proc_ShowResult);
    return kTaskKeep;
}

i32 GMTCB_Judge_NetTimeSurvival::Proc_ShowResult()
{
    FadePicture();
    if (!EnterPressed(kResultKeyMs) && counter < 240) {
        ++counter;
        return kTaskKeep;
    }
    SetPhase(&GMTCB_Judge_NetTimeSurvival::Proc_ResultTable);
    if (table) table->show = 1;
    StartReturnCountdown();
    return kTaskKeep;
}

i32 GMTCB_Judge_NetTimeSurvival::Proc_ResultTable()
{
    if (!ReturnCountdownOver() && !EnterPressed(kResultKeyMs)) return kTaskKeep;
    if (table) table->show = 0;
    RemovePicture();
    counter = 0;
    if (OwnIsSpectator()) {
        StopReturnCountdown();
        SendReturnToRoom();
        SetPhase(&GMTCB_Judge_NetTimeSurvival::Proc_ReturnToRoom);
        return kTaskKeep;
    }
    StartExp(BattleExperience(won ? 20000 : -10000, OwnRobot()->score), 0);
    SetPhase(&GMTCB_Judge_NetTimeSurvival::Proc_ExpSave);
    return kTaskKeep;
}

i32 GMTCB_Judge_NetTimeSurvival::Proc_ExpSave()
{
    if (!ExpSavedOrTimeUp()) return kTaskKeep;
    SendReturnToRoom();
    SetPhase(&GMTCB_Judge_NetTimeSurvival::Proc_ReturnToRoom);
    counter = 0;
    return kTaskKeep;
}

i32 GMTCB_Judge_NetTimeSurvival::Proc_ReturnToRoom() { return WaitForRoom(false, true); }

i32 GMTCB_Proc_TimeDec::Proc()
{
    if (scene && !scene->paused && scene->battleTime > 0) --scene->battleTime;
    return kTaskKeep;
}

void GMTCB_DrawPS_AllTeamScore::DrawSP()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!scene || !CanDrawSprites() || !gd->fonts[0]) return;
    gd->sprite->SetTransform(ScreenScale());
    const CRobot_Base* player =
        scene->playerSlot < u32(scene->robotTable.GetCount()) ? scene->robotTable[scene->playerSlot] : nullptr;
    const i32 own = player ? player->displayTeam : -1;
    i32 x = 330, y = 0;
    for (i32 t = 0; t < 20; ++t) {
        if (!scene->teamsPresent[t]) continue;
        char text[64];
        std::snprintf(text, sizeof text, "Team%dスコア : %d", t, static_cast<i32>(scene->teamScores[t]));
        const plat::GfxRect shadow{x + 1, y + 4, x + 1 + 400, y + 4 + 40};
        const plat::GfxRect at{x, y + 3, x + 400, y + 3 + 40};
        GetTextureCache()->DrawTextDefault(gd->fonts[0], text, -1, &shadow, 0, 0xFF000000u);
        GetTextureCache()->DrawTextDefault(gd->fonts[0], text, -1, &at, 0, t == own ? 0xFFFFFF00u : 0xFFFFFFFFu);
        y += 12;
        if (y == 120) {
            y = 0;
            x += 230;
        }
    }
}

// ---- online: interception ------------------------------------------------------------

void GMTCB_Judge_NetGeigekisen::SpawnWave()
{
    static const f32 kPoints[4][3] = {{1500, 20, 1600}, {1500, 20, 1400}, {1600, 20, 1500}, {1400, 20, 1500}};
    cMTRand& random = GetBattleRandom();
    const i32 level = static_cast<i32>(scene->battleFrame / 3600) + 1;
    i32 size = 1;
    size += random.GetRand() % 100 == 0 ? 1 : 0;
    size += random.GetRand() % 100 == 0 ? 1 : 0;
    const u32 types = App().robotFolders.count;
    for (i32 n = 0; n < size; ++n) {
        i32 enemies = 0;
        for (BB_Base* o = scene->unitList.GetHead()->next; o && o != scene->unitList.GetTail(); o = o->next)
            if (o->GetKind() == kKindRobot && static_cast<CRobot_Base*>(o)->displayTeam == 1) ++enemies;
        if (enemies >= 10 || types == 0) return;
        const f32* p = kPoints[random.GetRand() % 400 / 100];
        if (static_cast<i32>(random.GetRand() % 10) > level) {
            const i32 type = static_cast<i32>(random.GetRand() % types);
            CRobot_Normal* r = scene->SpawnRobot(type, p[0], p[1], p[2], 0.3f, 1, kControlComputer, 0, 0.0f, nullptr);
            if (!r) continue;
            r->aiLevel = 1;
            r->inputEnabled = 1;
        } else {
            AiPilotRecord pilot{};
            GetRandomAiPilot(&pilot);
            const i32 type = static_cast<i32>(random.GetRand() % types);
            const f32 scale = static_cast<f32>(pilot.level) / 10.0f * 0.7f + 0.3f;
            CRobot_Normal* r = scene->SpawnRobot(type, p[0], p[1], p[2], scale, 1, kControlComputer, 0, 0.0f, nullptr);
            if (!r) continue;
            r->aiLevel = static_cast<i32>(pilot.level);
            plat::Utf8CopyTruncated(r->displayName, sizeof r->displayName, pilot.name);
            r->inputEnabled = 1;
        }
    }
}

i32 GMTCB_Judge_NetGeigekisen::Proc_Watch()
{
    // Once per wave frame, even while the frame count stands still.
    if (scene->battleFrame % 600 == 0 && lastWaveFrame != scene->battleFrame) {
        lastWaveFrame = scene->battleFrame;
        SpawnWave();
    }
    if (scene->teamUnits[0] > 0) {
        ConnectionHolds();
        return kTaskKeep;
    }
    DecideOnline(true);
    counter = 0;
    SetPhase(&GMTCB_Judge_NetGeigekisen::Proc_ShowResult);
    return kTaskKeep;
}

i32 GMTCB_Judge_NetGeigekisen::Proc_ShowResult()
{
    FadePicture();
    if (counter > 30 && (EnterPressed(kResultKeyMs) || counter >= 240)) {
        SetPhase(&GMTCB_Judge_NetGeigekisen::Proc_ResultTable);
        if (table) table->show = 1;
        StartReturnCountdown();
        counter = 0;
        return kTaskKeep;
    }
    ConnectionHolds();
    ++counter;
    return kTaskKeep;
}

i32 GMTCB_Judge_NetGeigekisen::Proc_ResultTable()
{
    const bool timeUp = ReturnCountdownOver();
    if (counter > 30 && (timeUp || EnterPressed(kResultKeyMs))) {
        if (table) table->show = 0;
        RemovePicture();
        counter = 0;
        if (OwnIsSpectator()) {
            StopReturnCountdown();
            SendReturnToRoom();
            SetPhase(&GMTCB_Judge_NetGeigekisen::Proc_ReturnToRoom);
            return kTaskKeep;
        }
        if (BattleTooShort()) StartExp(0, 1);
        else StartExp(BattleExperience(0, OwnRobot()->score), 0);
        SetPhase(&GMTCB_Judge_NetGeigekisen::Proc_ExpSave);
        return kTaskKeep;
    }
    ++counter;
    ConnectionHolds();
    return kTaskKeep;
}

i32 GMTCB_Judge_NetGeigekisen::Proc_ExpSave()
{
    ClearEscape();
    if (!ExpSavedOrTimeUp()) return kTaskKeep;
    SendReturnToRoom();
    SetPhase(&GMTCB_Judge_NetGeigekisen::Proc_ReturnToRoom);
    counter = 0;
    return kTaskKeep;
}

i32 GMTCB_Judge_NetGeigekisen::Proc_ReturnToRoom() { return WaitForRoom(true, false); }

// ---- the online result table ---------------------------------------------------------

GMTCB_DrawSP_ScoreResultDisp::~GMTCB_DrawSP_ScoreResultDisp()
{
    background.Release();
    for (TextureHandle& face : faces) face.Release();
}

void GMTCB_DrawSP_ScoreResultDisp::Fill(CGameScene& scene)
{
    ownSlot = scene.playerSlot;
    for (ScoreResultRow& row : rows) row = ScoreResultRow{};
    for (i32 i = 0; i < kTeamSlots && i < scene.robotTable.GetCount(); ++i) {
        const CRobot_Base* r = scene.robotTable[i];
        if (!r || r->displayTeam == 100) continue;
        ScoreResultRow& row = rows[i];
        row.valid = 1;
        row.slot = static_cast<u16>(i);
        plat::Utf8CopyTruncated(row.name, sizeof row.name, r->displayName);
        row.face = r->GetKind() == kKindRobot ? r->typeIndex : -1;
        row.kills = r->kills;
        row.score = r->score;
        row.colour = CApplication::GetColor(r->displayTeam);
    }
    // Best score first; equal scores stay in slot order, and empty rows keep
    // their places.
    ScoreResultRow sorted[kTeamSlots];
    i32 n = 0;
    for (i32 i = 0; i < kTeamSlots; ++i)
        if (rows[i].valid) sorted[n++] = rows[i];
    std::stable_sort(sorted, sorted + n,
                     [](const ScoreResultRow& a, const ScoreResultRow& b) { return a.score > b.score; });
    for (i32 i = 0, k = 0; i < kTeamSlots; ++i)
        if (rows[i].valid) rows[i] = sorted[k++];

    LoadPicture(background, "Quillon/NetResult.png");
    const FolderList& folders = App().robotFolders;
    for (i32 i = 0; i < kTeamSlots; ++i) {
        const i32 face = rows[i].face;
        if (!rows[i].valid || face < 0 || face >= 100 || static_cast<u32>(face) >= folders.count) continue;
        if (!faces[face].texture) LoadPicture(faces[face], std::string(folders.names[face]) + "/face2.png");
    }
}

void GMTCB_DrawSP_ScoreResultDisp::DrawSP()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!show || !CanDrawSprites()) return;
    const Mat4 scale = ScreenScale();
    auto at = [&](f32 x, f32 y) {
        Mat4 m = scale;
        m.m[3][0] = x * App().video.screenScaleX;
        m.m[3][1] = y * App().video.screenScaleY;
        return m;
    };
    // The background stands under the table, in the band between the last
    // row's place and the notice line, centred and shrunk (never grown) to
    // fit: laid over the rows it made their names unreadable, and no text
    // covers its middle there.
    const f32 backW = static_cast<f32>(background.sourceRect.Width());
    const f32 backH = static_cast<f32>(background.sourceRect.Height());
    if (background.texture && backW > 0.0f && backH > 0.0f) {
        constexpr f32 kBandTop = 524.0f, kBandBottom = 696.0f;
        const f32 fit = std::min({1.0f, (kBandBottom - kBandTop) / backH, 1024.0f / backW});
        Mat4 m;
        plat::MatrixScaling(&m, fit * App().video.screenScaleX, fit * App().video.screenScaleY, 1.0f);
        m.m[3][0] = (512.0f - backW * fit / 2.0f) * App().video.screenScaleX;
        m.m[3][1] = (kBandTop + (kBandBottom - kBandTop - backH * fit) / 2.0f) * App().video.screenScaleY;
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(background.texture, &background.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
    }
    plat::Font* font = gd->fonts[5];
    for (i32 i = 0; i < kTeamSlots; ++i) {
        const ScoreResultRow& row = rows[i];
        if (!row.valid) continue;
        const f32 y = static_cast<f32>(120 + 40 * i);
        TextureHandle* dot = &App().sharedTextures[0];
        if (row.slot == ownSlot && dot->texture) {
            Mat4 m;
            const f32 w = static_cast<f32>(std::max(1, dot->sourceRect.Width()));
            const f32 h = static_cast<f32>(std::max(1, dot->sourceRect.Height()));
            plat::MatrixScaling(&m, 1024.0f / w * App().video.screenScaleX, 36.0f / h * App().video.screenScaleY, 1.0f);
            m.m[3][1] = y * App().video.screenScaleY;
            gd->sprite->SetTransform(m);
            SetAddBlend();
            gd->sprite->Draw(dot->texture, &dot->sourceRect, nullptr, nullptr, 0xC8646464u);
            SetAlphaBlend();
        }
        if (row.face >= 0 && row.face < 100 && faces[row.face].texture) {
            gd->sprite->SetTransform(at(0.0f, y));
            gd->sprite->Draw(faces[row.face].texture, &faces[row.face].sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
        }
        if (!font) continue;
        char text[300];
        gd->sprite->SetTransform(scale);
        std::snprintf(text, sizeof text, "%02d:%s", row.slot, row.name);
        const plat::GfxRect name{50, static_cast<i32>(y), 500, static_cast<i32>(y) + 40};
        GetTextureCache()->DrawTextDefault(font, text, -1, &name, 0, row.colour);
        std::snprintf(text, sizeof text, "摧毁数-%d", row.kills);
        const plat::GfxRect kills{500, static_cast<i32>(y), 700, static_cast<i32>(y) + 40};
        GetTextureCache()->DrawTextDefault(font, text, -1, &kills, 0, row.colour);
        std::snprintf(text, sizeof text, "Score=%d", row.score);
        const plat::GfxRect score{700, static_cast<i32>(y), 1024, static_cast<i32>(y) + 40};
        GetTextureCache()->DrawTextDefault(font, text, -1, &score, 0, row.colour);
    }
}
