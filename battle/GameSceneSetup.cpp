// The battle set-up: textures, the standard task set in its fixed order, the
// generator, the mode's stage, robots, callbacks and tasks, the views, fog,
// meshes, sounds and music.
#include <cstdio>
#include <string>

#include "platform/core/FileSystem.h"
#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PartInventory.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RoomState.h"
#include "battle/GameScene.h"
#include "battle/Hooks.h"
#include "battle/RoomMessages.h"
#include "battle/hud/HudTasks.h"
#include "battle/hud/TimeDisplay.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/ModeTasks.h"
#include "battle/tasks/RenderPasses.h"
#include "battle/tasks/SystemTasks.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/FontMeasurer.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/input/Keyboard.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"

namespace {

struct TextureEntry {
    i32 index;
    const char* file;
    plat::GfxFormat format;
    u32 colourKey;
};

constexpr plat::GfxFormat kOwn = plat::GfxFormat::Unknown;
constexpr plat::GfxFormat kX8 = plat::GfxFormat::X8R8G8B8;
constexpr plat::GfxFormat kA8 = plat::GfxFormat::A8R8G8B8;

constexpr TextureEntry kEffectTextures[] = {
    {0, "Beam.bmp", kX8, 0},          {1, "BlueBall.png", kX8, 0},       {2, "explode2.png", kOwn, 0},
    {3, "explode1.png", kOwn, 0},     {4, "Beam2.bmp", kX8, 0},          {6, "smokeline.png", kOwn, 0},
    {7, "laser2.bmp", kX8, 0},        {8, "burner.png", kX8, 0},         {9, "burner2.png", kX8, 0},
    {10, "beamHit3.png", kOwn, 0},    {11, "GSmoke.png", kOwn, 0},       {12, "sabel.png", kOwn, 0},
    {13, "sabel_line.png", kOwn, 0},  {14, "beam2.png", kX8, 0},         {15, "Beam3.bmp", kX8, 0},
    {16, "BlueRedBeam.png", kOwn, 0}, {17, "smoke.png", kOwn, 0},        {18, "smoke2.png", kOwn, 0},
    {19, "smokeline_b.png", kOwn, 0}, {20, "WindRing.png", kOwn, 0},     {21, "beam3.png", kX8, 0},
    {22, "beam3Hit.png", kX8, 0},     {23, "summon.png", kX8, 0},        {24, "BlueRedBeam2.png", kOwn, 0},
    {25, "Beam4.png", kOwn, 0},       {26, "Beam5.png", kOwn, 0},        {27, "Beam6.png", kOwn, 0},
    {28, "Beam7.png", kOwn, 0},       {29, "Beam8.png", kOwn, 0},        {30, "sabel_line2.png", kOwn, 0},
    {31, "fire.png", kOwn, 0},        {32, "light.png", kOwn, 0},        {33, "magic.png", kOwn, 0},
    {34, "beamHit2.png", kOwn, 0},    {35, "Wing.png", kOwn, 0},         {36, "Wind.png", kOwn, 0},
    {37, "Bomb.png", kOwn, 0},        {38, "m_circle4.png", kOwn, 0},    {39, "blueLight.bmp", kOwn, 0},
    {40, "hinoko.png", kOwn, 0},      {41, "fireAnime2.png", kOwn, 0},   {42, "sabel_line3.png", kOwn, 0},
};

constexpr TextureEntry kInterfaceTextures[] = {
    {1, "Lock2.png", kA8, 0xFFC800C8u},   {2, "energygauge.png", kOwn, 0},     {3, "generatorgauge.png", kOwn, 0},
    {4, "hp.png", kOwn, 0},               {6, "Lock.png", kOwn, 0},            {7, "dot.png", kX8, 0},
    {8, "Complete.png", kOwn, 0},         {9, "Failed.png", kOwn, 0},          {10, "l.png", kOwn, 0},
    {11, "allow_l.png", kOwn, 0},         {12, "allow_u.png", kOwn, 0},        {13, "allow_r.png", kOwn, 0},
    {14, "allow_d.png", kOwn, 0},         {15, "energygauge2.png", kOwn, 0},   {17, "window.png", kOwn, 0},
    {19, "RankCursor.png", kOwn, 0},      {20, "rest.png", kOwn, 0},           {21, "Ext.png", kOwn, 0},
    {22, "Ext_w.png", kOwn, 0},           {23, "Ext2.png", kOwn, 0},           {24, "lockallow.png", kOwn, 0},
    {25, "generatorgauge2.png", kOwn, 0}, {26, "pilotwindow.png", kOwn, 0},    {27, "weapongaugew.png", kOwn, 0},
    {28, "weapongauge.png", kOwn, 0},     {29, "cost_gauge.png", kOwn, 0},     {30, "cost_gauge_back.png", kOwn, 0},
};

struct SoundEntry {
    i32 slot;
    const char* file;
    i32 voices;
    bool positional;
    f32 minDistance;
    f32 maxDistance;
};

constexpr SoundEntry kBattleSounds[] = {
    {kSoundShot, "shot.wav", 20, true, 5.0f, 1000.0f},
    {kSoundFootstep, "asioto.wav", 10, true, 10.0f, 1000.0f},
    {kSoundLanding, "tyakuti.wav", 10, true, 10.0f, 1000.0f},
    {kSoundExplodeM, "explode_m.wav", 10, true, 20.0f, 1000.0f},
    {kSoundExplodeL, "explode_l.wav", 10, true, 40.0f, 2000.0f},
    {kSoundBurner, "burner_f15.wav", 10, true, 10.0f, 1000.0f},
    {kSoundShot2, "shot2.wav", 10, true, 5.0f, 1000.0f},
    {kSoundBeamHit, "BeamHit.wav", 10, true, 5.0f, 1000.0f},
    {kSoundFunnel, "Fannel.wav", 10, true, 5.0f, 1000.0f},
    {kSoundSword, "sword.wav", 10, true, 5.0f, 1000.0f},
    {kSoundSword2, "sword2.wav", 10, true, 5.0f, 1000.0f},
    {kSoundBeamHit2, "BeamHit2.wav", 10, true, 5.0f, 1000.0f},
    {kSoundGuard, "guard.wav", 10, true, 5.0f, 1000.0f},
    {kSoundBullet, "Bullet.wav", 10, true, 5.0f, 1000.0f},
    {kSoundBurst, "burst01.wav", 10, true, 15.0f, 1000.0f},
    {kSoundBulletHit, "BulletHit.wav", 10, true, 5.0f, 1000.0f},
    {kSoundBeamReflect, "BeamReflect.wav", 10, true, 15.0f, 1000.0f},
    {kSoundTransform, "Henkei.wav", 10, true, 15.0f, 1000.0f},
    {kSoundRadioOpen, "PI2.wav", 10, false, 0.0f, 0.0f},
    {kSoundRadioClose, "PI.wav", 10, false, 0.0f, 0.0f},
    {kSoundCursor, "cursor27.wav", 2, false, 0.0f, 0.0f},
};

constexpr const char* kBattleMeshFiles[] = {"item.x", "item2.x", "Missile3.x"};

std::string StartPath(const char* folder, const char* file)
{
    return std::string(GetApplication()->startupDir) + "/" + folder + "/" + file;
}

void LoadTextureTable(CFixedArray<TextureHandle>& table, const TextureEntry* entries, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const TextureEntry& e = entries[i];
        const std::string path = StartPath("Quillon", e.file);
        table[e.index].LoadScrambled(path.c_str(), plat::kGfxFromFile, plat::kGfxFromFile, 1, 0, e.format,
                                     plat::GfxPool::Managed, plat::ImageFilterNone, plat::ImageFilterNone,
                                     e.colourKey, nullptr, AssetKey);
    }
}

}  // namespace

void CGameScene::FailSetup(const char* text)
{
    // The first reason is the one the player sees.
    if (!setupFailed) std::snprintf(notice, sizeof notice, "%s", text);
    setupFailed = true;
    plat::ReportError("Quillon", text);
}

i32 CGameScene::Init()
{
    CApplication& app = *GetApplication();
    battleSettings = app.gameSettings;
    const BattleSettings& settings = battleSettings;
    RoomState& room = GetRoomState();
    ResetBattleFireStats();

    LoadTextureTable(effectTextures, kEffectTextures, std::size(kEffectTextures));
    LoadTextureTable(interfaceTextures, kInterfaceTextures, std::size(kInterfaceTextures));

    room.inBattle = 1;
    currentView = &views[0];

    CreateStandardTasks();

    // The game start cleared the repair state already, and a word that came
    // since is this battle's; without one nothing of an earlier battle stays.
    if (!room.gameStarting) ResetRepair(room, &app.players[0], app.players.GetCount());
    room.gameStarting = 0;
    Shader_ShadowMap* shadowMap = GetShaderShadowMap();
    shadowOn = (shadowMap && shadowMap->effect && shadowMap->shadowSize != 0) ? 1 : 0;

    app.chatLog.Init();
    unitList.Init();
    deleteQueue.clear();
    weaponList.Init();
    laserDrawList.Init();
    effectList.Init();
    itemList.Init();
    otherList.Init();
    killEvents.Init();

    cMTRand& random = GetBattleRandom();
    random.Init(1);
    if (settings.modeOption == 1) random.Init(BattleSeedOrClock());

    mapDetailBias = app.video.textureLevel == 0 ? -1.0f : app.video.textureLevel == 1 ? -0.5f : 0.0f;

    OnDeviceReset();
    InstallDeviceCallbacks();

    for (i32 i = 0; i < 20; ++i) {
        robotTypes[i].Reset();
        shipTypes[i].Reset();
    }
    teamsPresent.Fill(0);
    teamUnits.Fill(0);
    teamCosts.Fill(0);

    fullView.active = 1;
    fullView.viewport = {0, 0, static_cast<u32>(app.video.screenWidth), static_cast<u32>(app.video.screenHeight), 0.0f, 1.0f};
    positionalSound = 1;
    for (CRobot_Base*& r : robotTable) r = nullptr;

    settingUp = true;
    SetupMode(settings.gameMode);
    settingUp = false;
    if (setupFailed) {
        // No battle without its stage and its robots: nothing more to set up.
        frameProc = &CGameScene::Proc_SetupFailed;
        return 0;
    }
    // A repair's set holds a block for each of these robots, from now on:
    // its data may come before this battle's first frame.
    room.repairSlots = RepairSlots();

    for (i32 i = 0; i < kRobotTableSize; ++i)
        if (robotTable[i]) robotTable[i]->padNumber = static_cast<i8>(i);

    battleMap.viewRadius = app.video.farLevel;
    const f32 far = StageFarDistance();
    GetGraphicsDevice()->SetVertexFog(far * 0.3f, far, battleMap.fogColor);

    for (i32 i = 0; i < static_cast<i32>(std::size(kBattleMeshFiles)); ++i) {
        const std::string path = StartPath("X", kBattleMeshFiles[i]);
        meshes[i].LoadScrambled(path.c_str(), MeshKey, nullptr);
    }

    LoadBattleSounds();

    if (settings.gameMode != GameMode::Online) GetSoundManager().PlaySlot(kSoundMusic, 2, 1);
    // The chat line measures its caret with the second font.
    static const FontMeasurer chatMeasurer(1);
    app.lineEditor.SetMeasureDC(&chatMeasurer);
    if (settings.gameMode == GameMode::Online) SendSceneLoaded();
    return 0;
}

void CGameScene::CreateStandardTasks()
{
    CList<TCB>* list = &tasks;
    GMTCB_Proc_GameStartDisp* banner = GMTCB_Proc_GameStartDisp::Create(list, 1);
    if (banner) banner->Start();
    GMTCB_GameStart* start = GMTCB_GameStart::Create(list, 1);
    if (start) start->Setup();
    GMTCB_Camera::Create(list, 1);
    GMTCB_SystemKey::Create(list, 10);
    GMTCB_ObjectRun::Create(list, 20);
    GMTCB_HitTestRun::Create(list, 30);
    GMTCB_Listener::Create(list, 50);
    GMTCB_SetFog::Create(list, 1);
    GMTCB_BeginSHADOWState::Create(list, 1);
    GMTCB_DrawCharaShadow::Create(list, 1);
    GMTCB_DrawMapShadow::Create(list, 1);
    GMTCB_EndSHADOWState::Create(list, 1);
    GMTCB_DrawSkyDome::Create(list, 1);
    GMTCB_DrawChara::Create(list, 1);
    GMTCB_DrawMap::Create(list, 1);
    GMTCB_DrawLaserXFile::Create(list, 1);
    GMTCB_BeginHDRState::Create(list, 1);
    GMTCB_DrawCharaHDR::Create(list, 1);
    GMTCB_DrawLaserXFileHDR::Create(list, 1);
    GMTCB_EndHDRState::Create(list, 1);
    GMTCB_DrawAreaWall::Create(list, 1);
    GMTCB_DrawBeginStateBB::Create(list, 1);
    GMTCB_DrawBB::Create(list, 1);
    GMTCB_DrawLaser::Create(list, 1);
    GMTCB_DrawEndStateBB::Create(list, 1);
    GMTCB_DrawAlphaBuild::Create(list, 1);
    GMTCB_DrawHDRTex::Create(list, 1);
    GMTCB_DrawSP_Interface::Create(list, 1);
    GMTCB_DrawSP_Ladar::Create(list, 20000);
    GMTCB_DrawSP_CharaInfo::Create(list, 1);
    GMTCB_DrawSP_ChatInputStringDisp::Create(list, 100000);
    GMTCB_DrawSP_ChatLogDisp::Create(list, 100000);
}

bool CGameScene::LoadStage(const FolderList& stages, u32 index)
{
    if (index >= stages.count || index >= 50) {
        FailSetup("The battle stage does not exist.");
        battleMap.Clear();
        return false;
    }
    const std::string folder = std::string(GetApplication()->startupDir) + "/" + stages.names[index];
    const std::string path = folder + "/map.mpd";
    // The stage names its meshes and their pictures relative to its own folder:
    // enter it for this thread only while the stage loads.
    const std::string previous = plat::GetCurrentDirectory();
    const bool entered = plat::SetCurrentDirectory(folder.c_str());
    const int loaded = entered ? battleMap.LoadStageFile(path.c_str(), AssetKey) : 0;
    plat::SetCurrentDirectory(previous.c_str());
    if (!loaded) {
        // Never fight on what an earlier load left behind.
        battleMap.Clear();
        char text[256];
        std::snprintf(text, sizeof text, "The battle stage \"%s\" could not be loaded.", stages.names[index]);
        FailSetup(text);
        return false;
    }
    return true;
}

void CGameScene::SetupMode(GameMode gameMode)
{
    CApplication& app = *GetApplication();
    const BattleSettings& settings = battleSettings;
    cMTRand& random = GetBattleRandom();
    const u32 W = static_cast<u32>(app.video.screenWidth);
    const u32 H = static_cast<u32>(app.video.screenHeight);
    auto setView = [&](i32 i, u32 x, u32 y, u32 w, u32 h, u32 player) {
        views[i].active = 1;
        views[i].viewport = {x, y, w, h, 0.0f, 1.0f};
        views[i].player = player;
    };

    if (gameMode == GameMode::Hangar) return;
    if (gameMode == GameMode::Online) {
        SetupOnline();
        return;
    }
    u32 stage = settings.stage;
    if (gameMode == GameMode::LocalBattle && stage == 0xFFFFFFFFu)
        stage = app.stageFolders.count ? random.GetRand() % app.stageFolders.count : 0;
    LoadStage(app.stageFolders, stage);
    for (PilotSlot& slot : GetPilotRegistry()->slots) slot.Clear();
    random.Init(BattleSeedOrClock());

    if (gameMode == GameMode::Arcade) {
        SetupArcadeStage(this);
        const bool twoPlayers = app.players[1].slotState == 1;
        if (twoPlayers) {
            setView(0, 0, 0, W / 2, H, 0);
            setView(1, W / 2, 0, W / 2, H, 1);
            positionalSound = 0;
        } else {
            setView(0, 0, 0, W, H, 0);
        }
    } else if (gameMode == GameMode::LocalBattle) {
        SetupLocalBattle();
    } else {
        PlaceModeRobots(gameMode);
        setView(0, 0, 0, W, H, 0);
        battleTime = 0;
    }
    playerSlot = 0;
    if (app.video.stereo) frameProc = &CGameScene::Proc_Stereo;
}

void CGameScene::LoadBattleSounds()
{
    CApplication& app = *GetApplication();
    SoundManager& sound = GetSoundManager();
    sound.CreateSounds(kBattleSoundSlots);
    sound.SetVolume(0, static_cast<int>(app.volume.volumeSe));
    sound.SetVolume(1, static_cast<int>(app.volume.volumeVoice));
    sound.SetVolume(2, static_cast<int>(app.volume.volumeBgm));
    for (const SoundEntry& e : kBattleSounds) {
        const std::string path = StartPath("Sound", e.file);
        const int positional = (e.positional && positionalSound) ? 1 : 0;
        sound.LoadWaveSlot(path.c_str(), positional, e.slot, e.voices);
        if (e.positional) sound.SetSlotDistances(e.slot, e.minDistance, e.maxDistance);
    }

    // Music: the stage's own names, a random user file or the chosen one,
    // all looked up under "Sound".
    const MyBgmList& bgm = app.gameSettings.bgmList;
    std::string music;
    if (bgm.entries.empty() || bgm.selectedBgm == -1) {
        std::string names[kMapMusicNames];
        u32 count = 0;
        for (const std::string& n : battleMap.musicNames)
            if (!n.empty()) names[count++] = n;
        // The application's generator: the music choice is presentation.
        if (count) music = names[app.random.GetRand() % count];
    } else if (bgm.selectedBgm == -2) {
        music = "MyBgm/" + bgm.entries[app.random.GetRand() % bgm.entries.size()]->fileName;
    } else if (bgm.selectedBgm >= 0 && static_cast<size_t>(bgm.selectedBgm) < bgm.entries.size()) {
        music = "MyBgm/" + bgm.entries[static_cast<size_t>(bgm.selectedBgm)]->fileName;
    }
    if (!music.empty()) {
        const std::string path = StartPath("Sound", music.c_str());
        sound.LoadOggSlot(path.c_str(), 0, kSoundMusic, 0);
    }
}
