// The selection's fades, its state machine and the mode starters.
#include <cmath>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SelectInterface.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "engine/sound/SoundManager.h"
#include "frontend/charaselect/CharaSelectScene.h"
#include "frontend/charaselect/CharaSelectTasks.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"
#include "robot/RobotType.h"

namespace {

constexpr u32 PadLeft = 0, PadRight = 2, PadSecond = 5, PadStart = 12, PadCancel = 13;
constexpr u32 OncePerPress = 10000, Repeat = 1000, Held = 0;
constexpr i32 KeyF4 = 0x73;
constexpr u32 BlackPriority = 100000;
constexpr f32 kDegrees = 0.017453f;

CCharaSelectScene& Scene() { return *SceneInstance<CCharaSelectScene>(); }
CApplication& App() { return *GetApplication(); }

bool Pressed(i32 pad, u32 button, u32 interval)
{
    return App().IsPadButtonRepeat(u32(pad), button, interval) != 0;
}

// Moves a ring's selection by step, wrapped; an empty ring stays.
void MoveRing(TCB_SelectInterface* ring, i32 step)
{
    if (!ring || ring->count <= 0) return;
    ring->target = ((ring->target + step) % ring->count + ring->count) % ring->count;
}

void Show(TCB_SelectInterface* ring, bool on)
{
    if (!ring) return;
    ring->active = on ? 1 : 0;
    ring->visible = on ? 1 : 0;
}

void Snap(TCB_SelectInterface* ring)
{
    if (ring) ring->position = f32(ring->target);
}

void DecideSound() { GetSoundManager().PlaySlot(CharaSoundDecide, kVolumeSlotEffects, 0); }

// The colour set robot r is spawned with: its chosen set when that is one
// of the ten and owned, else its first owned set, else 0.
i32 ChosenColour(i32 r)
{
    if (r < 0 || u32(r) >= RobotRecordCount) return 0;
    const RobotRecord& record = App().partInventory.robots[r];
    if (record.chosenColour < 10 && record.colourOwned[record.chosenColour]) return i32(record.chosenColour);
    for (i32 i = 0; i < 10; ++i)
        if (record.colourOwned[i]) return i;
    return 0;
}

i32 RandomRobot()
{
    const u32 types = App().robotFolders.count;
    const u32 value = GetBattleRandom().GetRand();
    return types ? i32(value % types) : -1;
}

// The chosen robot and pilot into a participant.
void WritePlayer(PlayerEntry& entry)
{
    const CCharaSelectScene& scene = Scene();
    const CharaSelectEntry* chosen = scene.SelectedEntry();
    const i32 r = chosen ? chosen->robotIndex : -1;
    entry.robot = r;
    entry.pilot = scene.pilotRing ? scene.pilotRing->target : 0;
    entry.colorSet = ChosenColour(r);
}

void OfflineBattleSettings()
{
    GameSettings& settings = App().gameSettings;
    settings.modeOption = 0;
    settings.chat = 0;
}

i32 ToBattle()
{
    SwitchScene(App(), GetCharaSelectExits().battle);
    return kTaskSceneReplaced;
}

BaseScene* RealBattle() { return GetGameScene(); }

}  // namespace

CharaSelectExits& GetCharaSelectExits()
{
    static CharaSelectExits exits{RealBattle, GetTitleSceneAsBase};
    return exits;
}

// ---- fades -----------------------------------------------------------------

CCTCB_DrawPS_Black* CCTCB_DrawPS_Black::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_DrawPS_Black>(list, priority);
}

CCTCB_Proc_CharaSelStart* CCTCB_Proc_CharaSelStart::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_Proc_CharaSelStart>(list, priority);
}

void CCTCB_Proc_CharaSelStart::Start()
{
    counter = 255;
    fade = CCTCB_DrawPS_Black::Create(static_cast<CList<TCB>*>(owner), BlackPriority);
    if (fade) fade->level = 255;
}

i32 CCTCB_Proc_CharaSelStart::Proc()
{
    if (fade) fade->level = u32(counter) & 0xFF;
    counter -= 6;
    if (counter > 0) return kTaskKeep;
    counter = 0;
    CCharaSelectScene& scene = Scene();
    scene.state = CharaStateRobot;
    // The robot ring glides from here on: the preview reloads only once it
    // has come to rest on the highlighted robot.
    Show(scene.robotRing, true);
    if (fade) fade->level = CCTCB_DrawPS_Black::Finished;
    fade = nullptr;
    return kTaskRemove;
}

void CCTCB_Starter::StartFadeOut()
{
    counter = 0;
    fade = CCTCB_DrawPS_Black::Create(static_cast<CList<TCB>*>(owner), BlackPriority);
    if (fade) fade->level = 0;
}

i32 CCTCB_Starter::Proc()
{
    if (fade) fade->level = u32(counter) & 0xFF;
    counter += 6;
    if (counter < 256) return kTaskKeep;
    counter = 255;
    if (fade) fade->level = CCTCB_DrawPS_Black::Finished;
    fade = nullptr;
    return Launch();
}

// ---- the state machine ------------------------------------------------------

CCTCB_Proc_SystemKey* CCTCB_Proc_SystemKey::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_Proc_SystemKey>(list, priority);
}

void CCTCB_Proc_SystemKey::StartMode(CCTCB_Starter* starter, bool decideSound)
{
    if (starter) starter->StartFadeOut();
    if (decideSound) DecideSound();
}

i32 CCTCB_Proc_SystemKey::Proc()
{
    CCharaSelectScene& scene = Scene();
    CApplication& app = App();

    // The camera circles the preview once every 1,200 frames, 30 degrees above it.
    scene.cameraAngle += 0.3f;
    Mat4 t, rx, ry, m;
    plat::MatrixTranslation(&t, 0.0f, 1.0f, -2.5f);
    plat::MatrixRotationX(&rx, 30.0f * kDegrees);
    plat::MatrixRotationY(&ry, scene.cameraAngle * kDegrees);
    plat::MatrixMultiply(&m, &t, &rx);
    plat::MatrixMultiply(&scene.camera.world, &m, &ry);
    scene.camera.Apply();
    if (scene.previewModel && scene.previewModel->hierarchy.root) {
        const Mat4 identity = Mat4::Identity();
        scene.previewModel->hierarchy.baseMatrix = identity;
        scene.previewModel->hierarchy.UpdateMatricesEx(&identity);
    }

    if (app.IsKeyRepeat(KeyF4, 100000)) app.video.hdr = app.video.hdr || app.video.disableShader ? 0 : 1;

    static constexpr Step kSteps[] = {&CCTCB_Proc_SystemKey::Step_Robot, &CCTCB_Proc_SystemKey::Step_Pilot,
                                      &CCTCB_Proc_SystemKey::Step_Stage, &CCTCB_Proc_SystemKey::Step_Music};
    if (scene.state < 0 || scene.state >= i32(std::size(kSteps))) return kTaskKeep;
    return (this->*kSteps[scene.state])();
}

i32 CCTCB_Proc_SystemKey::Step_Robot()
{
    CCharaSelectScene& scene = Scene();
    const i32 pad = scene.playerIndex;
    const GameMode mode = App().gameSettings.gameMode;
    if (scene.robotEntryCount > 0 && Pressed(pad, PadStart, OncePerPress)) {
        scene.state = CharaStatePilot;
        Snap(scene.robotRing);
        Show(scene.pilotRing, true);
    }
    if (Pressed(pad, PadLeft, Repeat)) {
        MoveRing(scene.robotRing, -1);
        delete scene.previewModel;
        scene.previewModel = nullptr;
    } else if (Pressed(pad, PadRight, Repeat)) {
        MoveRing(scene.robotRing, 1);
        delete scene.previewModel;
        scene.previewModel = nullptr;
    }
    if (Pressed(pad, PadCancel, OncePerPress) || (pad != 0 && Pressed(0, PadCancel, OncePerPress))) {
        if (mode == GameMode::Arcade) return 11;
        scene.state = CharaStateLeaving;
        StartMode(CCTCB_GoTitle::Create(static_cast<CList<TCB>*>(owner), 1), false);
        return kTaskSceneReplaced;
    }
    // The preview of the highlighted robot, once the ring stands still; a
    // model that does not load is tried again next frame.
    TCB_SelectInterface* ring = scene.robotRing;
    const CharaSelectEntry* entry = scene.SelectedEntry();
    if (ring && entry && std::fabs(f32(ring->target) - ring->position) < 0.01f &&
        (!scene.previewModel || !scene.previewModel->hierarchy.root))
        scene.LoadPreview(entry->robotIndex);
    return kTaskKeep;
}

i32 CCTCB_Proc_SystemKey::Step_Pilot()
{
    CCharaSelectScene& scene = Scene();
    const i32 pad = scene.playerIndex;
    CList<TCB>* list = static_cast<CList<TCB>*>(owner);
    const i32 stride = Pressed(pad, PadSecond, Held) ? 10 : 1;
    if (Pressed(pad, PadLeft, Repeat))
        MoveRing(scene.pilotRing, -stride);
    else if (Pressed(pad, PadRight, OncePerPress))
        MoveRing(scene.pilotRing, stride);

    const PilotRegistry& pilots = *GetPilotRegistry();
    const i32 p = scene.pilotRing ? scene.pilotRing->target : -1;
    const bool named = p >= 0 && p < pilots.count && pilots.slots[p].name[0] != '\0';
    if (named && Pressed(pad, PadStart, OncePerPress)) {
        Snap(scene.pilotRing);
        Show(scene.pilotRing, false);
        switch (App().gameSettings.gameMode) {
        case GameMode::Arcade:
            StartMode(CCTCB_GoNormal::Create(list, 1), true);
            scene.state = CharaStateStarted;
            break;
        case GameMode::Survival:
        case GameMode::Practice:
        case GameMode::Team:
            scene.state = CharaStateStage;
            Show(scene.stageRing, true);
            scene.LoadStagePicture(scene.stageRing ? scene.stageRing->target : -1);
            break;
        case GameMode::Fleet:
            StartMode(CCTCB_GoBlitzTactics::Create(list, 1), true);
            scene.state = CharaStateStarted;
            break;
        default:
            break;
        }
    }
    if (scene.state == CharaStatePilot && Pressed(pad, PadCancel, OncePerPress)) {
        scene.state = CharaStateRobot;
        Snap(scene.pilotRing);
        Show(scene.pilotRing, false);
    }
    return kTaskKeep;
}

i32 CCTCB_Proc_SystemKey::Step_Stage()
{
    CCharaSelectScene& scene = Scene();
    const i32 pad = scene.playerIndex;
    if (scene.stageRing && scene.stageRing->count > 0 && Pressed(pad, PadStart, OncePerPress)) {
        App().gameSettings.stage = u32(scene.stageRing->target);
        scene.state = CharaStateMusic;
        Show(scene.stageRing, false);
        Show(scene.bgmRing, true);
        return kTaskKeep;
    }
    if (Pressed(pad, PadLeft, Repeat)) {
        MoveRing(scene.stageRing, -1);
        scene.LoadStagePicture(scene.stageRing ? scene.stageRing->target : -1);
    } else if (Pressed(pad, PadRight, Repeat)) {
        MoveRing(scene.stageRing, 1);
        scene.LoadStagePicture(scene.stageRing ? scene.stageRing->target : -1);
    } else if (Pressed(pad, PadCancel, Repeat)) {
        scene.state = CharaStatePilot;
        Show(scene.pilotRing, true);
        Show(scene.stageRing, false);
    }
    return kTaskKeep;
}

i32 CCTCB_Proc_SystemKey::Step_Music()
{
    CCharaSelectScene& scene = Scene();
    const i32 pad = scene.playerIndex;
    CList<TCB>* list = static_cast<CList<TCB>*>(owner);
    if (Pressed(pad, PadLeft, Repeat)) {
        MoveRing(scene.bgmRing, -1);
    } else if (Pressed(pad, PadRight, Repeat)) {
        MoveRing(scene.bgmRing, 1);
    } else if (Pressed(pad, PadCancel, Repeat)) {
        scene.state = CharaStateStage;
        Show(scene.stageRing, true);
        Show(scene.bgmRing, false);
    } else if (Pressed(pad, PadStart, OncePerPress)) {
        MyBgmList& music = App().gameSettings.bgmList;
        const i32 n = i32(music.entries.size());
        const i32 s = scene.bgmRing ? scene.bgmRing->target : n;
        music.selectedBgm = s == n ? -1 : s == n + 1 ? -2 : s;
        switch (App().gameSettings.gameMode) {
        case GameMode::Survival: StartMode(CCTCB_GoSurvival::Create(list, 1), true); break;
        case GameMode::Practice: StartMode(CCTCB_GoPractice::Create(list, 1), true); break;
        case GameMode::Team: StartMode(CCTCB_GoTeamBattle::Create(list, 1), true); break;
        default: break;
        }
        return kTaskRemove;
    }
    return kTaskKeep;
}

// ---- the starters -------------------------------------------------------------

CCTCB_GoTitle* CCTCB_GoTitle::Create(CList<TCB>* list, u32 priority) { return CreateInList<CCTCB_GoTitle>(list, priority); }
CCTCB_GoNormal* CCTCB_GoNormal::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_GoNormal>(list, priority);
}
CCTCB_GoBlitzTactics* CCTCB_GoBlitzTactics::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_GoBlitzTactics>(list, priority);
}
CCTCB_GoSurvival* CCTCB_GoSurvival::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_GoSurvival>(list, priority);
}
CCTCB_GoPractice* CCTCB_GoPractice::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_GoPractice>(list, priority);
}
CCTCB_GoTeamBattle* CCTCB_GoTeamBattle::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<CCTCB_GoTeamBattle>(list, priority);
}

i32 CCTCB_GoTitle::Launch()
{
    SwitchScene(App(), GetCharaSelectExits().title);
    return kTaskSceneReplaced;
}

i32 CCTCB_GoNormal::Launch()
{
    // Runs again each frame: the arcade screen reads 10 until it deletes
    // this scene.
    CApplication& app = App();
    PlayerEntry& entry = app.players[Scene().playerIndex];
    WritePlayer(entry);
    entry.team = 0;
    entry.slotState = 1;
    OfflineBattleSettings();
    app.gameSettings.bgmList.Clear();
    return 10;
}

i32 CCTCB_GoBlitzTactics::Launch()
{
    CApplication& app = App();
    WritePlayer(app.players[0]);
    for (i32 i = 1; i <= 3; ++i) app.players[i].robot = -1;
    app.gameSettings.stage = 0;
    OfflineBattleSettings();
    app.gameSettings.bgmList.Clear();
    return ToBattle();
}

i32 CCTCB_GoSurvival::Launch()
{
    CApplication& app = App();
    WritePlayer(app.players[0]);
    app.players[1].robot = -1;
    app.players[1].colorSet = 0;
    for (i32 i = 2; i <= 3; ++i) {
        app.players[i].robot = RandomRobot();
        app.players[i].colorSet = 1;
    }
    OfflineBattleSettings();
    app.gameSettings.bgmList.ReleasePictures();
    return ToBattle();
}

i32 CCTCB_GoPractice::Launch()
{
    CApplication& app = App();
    WritePlayer(app.players[0]);
    app.players[1].robot = RandomRobot();
    app.players[1].colorSet = 1;
    OfflineBattleSettings();
    app.gameSettings.bgmList.ReleasePictures();
    return ToBattle();
}

i32 CCTCB_GoTeamBattle::Launch()
{
    CApplication& app = App();
    WritePlayer(app.players[0]);
    app.players[1].robot = -1;
    for (i32 i = 2; i <= 3; ++i) app.players[i].robot = RandomRobot();
    OfflineBattleSettings();
    app.gameSettings.bgmList.ReleasePictures();
    return ToBattle();
}
