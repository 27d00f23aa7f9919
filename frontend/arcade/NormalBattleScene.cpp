#include "frontend/arcade/NormalBattleScene.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "app/player/SaveFolder.h"
#include "app/scene/Fade.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "battle/hud/KillMessage.h"
#include "battle/hud/OverlayTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "frontend/arcade/ArcadeJudge.h"
#include "frontend/arcade/Story.h"
#include "frontend/charaselect/CharaSelectScene.h"
#include "app/scene/RankingInput.h"
#include "platform/input/InputScript.h"
#include "app/scene/RankingList.h"
#include "platform/core/MessageBox.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 PadUp = 1, PadDown = 3, PadStart = 12, PadCancel = 13;
constexpr u32 kKeyMs = 1000;
constexpr u32 kFadePriority = 10000;
constexpr i32 kStreakLife = 180;

CApplication& App() { return *GetApplication(); }
CStoryBase* Story() { return App().currentStory; }

bool Pad(u32 button) { return App().IsPadButtonRepeat(0, button, kKeyMs) != 0; }
bool Start() { return Pad(PadStart) || App().IsKeyRepeat(plat::vk::Return, kKeyMs) != 0; }
bool EnterKey() { return App().IsKeyRepeat(plat::vk::Return, kKeyMs) != 0; }

void PlayShift() { GetSoundManager().PlaySlot(NBSoundShift, kVolumeSlotEffects, 0); }

BaseScene* BattleScene() { return GetGameScene(); }

std::string StartPath(const char* folder, const char* file)
{
    return std::string(App().startupDir) + "/" + folder + "/" + file;
}

const plat::GfxRect kScreen{0, 0, 1024, 768};

void Text(i32 font, f32 y, const char* text, u32 format, u32 colour, u32 shadow)
{
    DrawShadowText(font, 0.0f, y, text, -1, &kScreen, format, colour, 2.0f, 2.0f, shadow);
}

// An option of the Players and Difficulty screens, full or dimmed.
void Option(f32 y, const char* text, bool chosen)
{
    const u32 colour = (chosen ? 0xFFu : 50u) << 24 | 0xFF0078u;
    const u32 shadow = (chosen ? 0xFFu : 100u) << 24 | 0xBEBEBEu;
    Text(3, y, text, plat::TextCenter, colour, shadow);
}

void Picture(TextureHandle& picture, f32 x, f32 y)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!picture.texture || !gd->sprite) return;
    gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, x, y));
    gd->sprite->Draw(picture.texture, &picture.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
}

}  // namespace

// ---- the scene -----------------------------------------------------------------------

CNormalBattleScene* GetNormalBattleScene() { return GetSceneInstance<CNormalBattleScene>(); }
BaseScene* GetNormalBattleSceneAsBase() { return GetNormalBattleScene(); }

CNormalBattleScene::~CNormalBattleScene()
{
    tasks.DeleteAll();
    Release();
    if (SceneInstance<CNormalBattleScene>() == this) SceneInstance<CNormalBattleScene>() = nullptr;
}

void CNormalBattleScene::Init()
{
    CApplication& app = App();
    // The task takes its scene from the getter, which has stored this one.
    SceneInstance<CNormalBattleScene>() = this;
    NBTCB_Normal::Create(&tasks, 1);
    if (TCB_FadeIn* fade = TCB_FadeIn::Create(&tasks, kFadePriority)) fade->speed = 10;
    flag = 1;
    LoadPicture(images[NBPictureDot], (std::string(app.startupDir) + "/Quillon/dot.png").c_str(), plat::GfxFormat::X8R8G8B8);
    LoadPicture(images[NBPictureBlueBall], (std::string(app.startupDir) + "/Quillon/BlueBall2.png").c_str(),
                plat::GfxFormat::X8R8G8B8);
    LoadPicture(images[NBPictureBeam], (std::string(app.startupDir) + "/Quillon/Beam2.png").c_str(),
                plat::GfxFormat::X8R8G8B8);
    SoundManager& sound = GetSoundManager();
    sound.CreateSounds(101);
    sound.LoadWaveSlot(StartPath("Sound", "select_rot.wav").c_str(), 0, NBSoundTurn, 3);
    sound.LoadWaveSlot(StartPath("Sound", "title_btn_decide.wav").c_str(), 0, NBSoundDecide, 3);
    sound.LoadWaveSlot(StartPath("Sound", "title_btn_shift.wav").c_str(), 0, NBSoundShift, 3);
    sound.SetVolume(kVolumeSlotEffects, static_cast<int>(app.volume.volumeSe));
    sound.SetVolume(kVolumeSlotVoices, static_cast<int>(app.volume.volumeVoice));
    sound.SetVolume(kVolumeSlotMusic, static_cast<int>(app.volume.volumeBgm));
}

void CNormalBattleScene::Release()
{
    SaveInventory(false);
    GetSoundManager().FreeSounds();
}

void CNormalBattleScene::SaveInventory(bool tell)
{
    // Through the safe save: a failed write keeps the old file whole.
    saveFailed = App().partInventory.Save("vant-D") ? 0 : 1;
    // A file kept after a failed read was already explained when it was read.
    if (saveFailed && tell && !SaveFileIsKept("vant-D"))
        plat::ShowMessageBox(App().mainWindow, "部件数据无法保存，离开时将再次保存。", "", plat::MessageBoxError);
}

i32 CNormalBattleScene::FrameBody()
{
    if (MenuScene::FrameBody() == kTaskSceneReplaced) return kTaskSceneReplaced;
    ++frame;
    return 0;
}

void CNormalBattleScene::DrawFrame()
{
    static const SceneLight kLight{Vec3(0.3f, -0.7f, -0.5f), ColorF(0.7f, 0.7f, 0.7f, 1.0f),
                                   ColorF(0.1f, 0.1f, 0.1f, 1.0f), ColorF(1.0f, 1.0f, 1.0f, 1.0f)};
    DrawSceneTasksFrame(tasks, camera.world, kLight, 0.785385f, 1.3333334f, 0.1f, 10000.0f);
}

// ---- the main task -------------------------------------------------------------------

NBTCB_Normal* NBTCB_Normal::Create(CList<TCB>* list, u32 priority) { return CreateInList<NBTCB_Normal>(list, priority); }

NBTCB_Normal::NBTCB_Normal()
{
    scene = SceneInstance<CNormalBattleScene>();
    CApplication& app = App();
    CStoryBase* story = Story();
    if (story && story->stage == 0 && story->continues == 0) {
        SetPhase(&NBTCB_Normal::Phase_Players, &NBTCB_Normal::Draw_Players);
        // A new run starts without the last run's scores.
        app.players[0].arcadeScore = 0;
        app.players[1].arcadeScore = 0;
    } else {
        SetPhase(&NBTCB_Normal::Phase_Stage, &NBTCB_Normal::Draw_Stage);
    }
    if (!story) {
        SetPhase(&NBTCB_Normal::Phase_ToTitle, nullptr);
        return;
    }
    story->NextStage();
    const u32 map = app.gameSettings.stage;
    if (scene && story->stage != kStoryCleared && map < app.stageFolders.count)
        LoadPicture(scene->stagePicture,
                    (std::string(app.startupDir) + "/" + app.stageFolders.names[map] + "/SelectImage2.png").c_str());
}

NBTCB_Normal::~NBTCB_Normal()
{
    delete subScene;
    robotPicture.Release();
}

void NBTCB_Normal::FadeIn(u8 speed, bool white)
{
    TCB_FadeIn* f = TCB_FadeIn::Create(static_cast<CList<TCB>*>(owner), kFadePriority);
    if (!f) return;
    f->speed = speed;
    if (white) f->red = f->green = f->blue = 255;
}

void NBTCB_Normal::FadeOutBlack()
{
    fade = TCB_FadeOut::Create(static_cast<CList<TCB>*>(owner), kFadePriority);
    if (fade) fade->speed = 5;
}

void NBTCB_Normal::StartSelection(i32 playerIndex)
{
    subScene = GetCharaSelectScene();
    if (subScene) subScene->playerIndex = playerIndex;
}

void NBTCB_Normal::EndSelection()
{
    delete subScene;
    subScene = nullptr;
}

void NBTCB_Normal::SpawnStreak(i32 picture)
{
    if (!scene || scene->frame % 2 != 0) return;
    NBTCB_Beam* beam = NBTCB_Beam::Create(static_cast<CList<TCB>*>(owner), 1);
    if (!beam) return;
    cMTRand& random = GetBattleRandom();
    const f32 y = static_cast<f32>(random.GetRand() / 4294967296.0 * 10.0 - 5.0);
    const f32 x = static_cast<f32>(random.GetRand() / 4294967296.0 * 10.0 - 5.0);
    beam->Init(scene->images[picture].texture, x, y, 15.0f);
}

i32 NBTCB_Normal::Phase_Players()
{
    if (fading == 1) {
        if (fade && fade->alpha >= 255) {
            fade->release = 1;
            fade = nullptr;
            fading = 0;
            counter = 0;
            SetPhase(&NBTCB_Normal::Phase_Difficulty, &NBTCB_Normal::Draw_Difficulty);
            FadeIn(10);
            return kTaskSceneReplaced;
        }
        return kTaskKeep;
    }
    if (counter > 30) {
        if (Start()) {
            FadeOutBlack();
            fading = 1;
        } else if (Pad(PadCancel)) {
            SetPhase(&NBTCB_Normal::Phase_ToTitle);
            counter = 0;
            return kTaskSceneReplaced;
        } else if (Pad(PadUp)) {
            players = players <= 0 ? 1 : players - 1;
            PlayShift();
        } else if (Pad(PadDown)) {
            players = players >= 1 ? 0 : players + 1;
            PlayShift();
        }
    }
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::Phase_Difficulty()
{
    CStoryBase* story = Story();
    if (fading != 0) {
        if (!fade || fade->alpha < 255) return kTaskKeep;
        fade->release = 1;
        fade = nullptr;
        counter = 0;
        if (fading == 1) {
            fading = 0;
            // Player 2 takes part only once chosen on the next screens.
            App().players[1].slotState = 0;
            StartSelection(0);
            SetPhase(&NBTCB_Normal::Phase_Select1);
            return kTaskSceneReplaced;
        }
        fading = 0;
        SetPhase(&NBTCB_Normal::Phase_Players, &NBTCB_Normal::Draw_Players);
        FadeIn(10);
        return kTaskKeep;
    }
    if (counter > 30 && story) {
        if (Start()) {
            FadeOutBlack();
            fading = 1;
        } else if (Pad(PadCancel)) {
            FadeOutBlack();
            fading = 2;
        } else if (Pad(PadUp)) {
            story->difficulty = story->difficulty <= 0 ? 2 : story->difficulty - 1;
            PlayShift();
        } else if (Pad(PadDown)) {
            story->difficulty = story->difficulty >= 2 ? 0 : story->difficulty + 1;
            PlayShift();
        }
    }
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::RunSelection(bool second)
{
    const u32 result = subScene ? subScene->Frame() : 11u;
    // A selection that replaced the current scene has taken this one with it.
    if (result == static_cast<u32>(-1)) return kTaskSceneReplaced;
    if (result == 11) {
        EndSelection();
        SetPhase(&NBTCB_Normal::Phase_Players, &NBTCB_Normal::Draw_Players);
        fading = 0;
        counter = 100;
    } else if (result == 10) {
        EndSelection();
        if (!second && players == 1) {
            StartSelection(1);
            SetPhase(&NBTCB_Normal::Phase_Select2);
        } else {
            SetPhase(&NBTCB_Normal::Phase_Stage, &NBTCB_Normal::Draw_Stage);
            counter = 0;
            if (TCB_FadeIn* f = TCB_FadeIn::Create(static_cast<CList<TCB>*>(owner), kFadePriority)) f->speed = 5;
        }
    }
    return kTaskSceneReplaced;
}

i32 NBTCB_Normal::Phase_Select1() { return RunSelection(false); }
i32 NBTCB_Normal::Phase_Select2() { return RunSelection(true); }

i32 NBTCB_Normal::Phase_Stage()
{
    CStoryBase* story = Story();
    if (!story) return Phase_ToTitle();
    if (story->stage == kStoryCleared) {
        SetPhase(&NBTCB_Normal::Phase_Clear, &NBTCB_Normal::Draw_Clear);
        story->GiveClearReward();
        // The reward parts, the cleared stage and an unlocked robot reach
        // the disk now, not when the run is over.
        if (scene)
            scene->SaveInventory(true);
        else
            App().partInventory.Save("vant-D");
        plat::SetScriptMark("arcade", "clear");
        std::memcpy(rewardText, story->rewardText, sizeof rewardText);
        unlockedRobot = story->unlockedRobot;
        const CApplication& app = App();
        if (unlockedRobot >= 0 && static_cast<u32>(unlockedRobot) < app.robotFolders.count)
            LoadPicture(robotPicture, (std::string(app.startupDir) + "/" + app.robotFolders.names[unlockedRobot] +
                                       "/Select2.png").c_str());
        counter = 0;
        return kTaskKeep;
    }
    // Scripts wait on it: the way here may load for a while.
    if (counter == 0) plat::SetScriptMark("arcade", "stage");
    if ((counter > 30 && Start()) || counter >= 241) {
        plat::SetScriptMark("arcade", "battle");
        SetPhase(&NBTCB_Normal::Phase_ToBattle);
        FadeOutBlack();
        counter = 0;
    }
    SpawnStreak(NBPictureBlueBall);
    if (scene) scene->camera.Apply();
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::Phase_Clear()
{
    CStoryBase* story = Story();
    if (!story) return Phase_ToTitle();
    if (counter > 60 && Start()) {
        CApplication& app = App();
        i32 score = app.players[0].arcadeScore;
        if (app.players[1].slotState == 1) score += app.players[1].arcadeScore;
        rankingInput = TCB_RankingInput::Create(static_cast<CList<TCB>*>(owner), 1);
        if (rankingInput)
            rankingInput->Start(&app.rankingTables[std::clamp(story->difficulty, 0, 2)],
                                static_cast<u32>(app.players[0].robot), score, 0);
        SetPhase(&NBTCB_Normal::Phase_RankingEntry, &NBTCB_Normal::Draw_Ranking);
        counter = 0;
        return kTaskKeep;
    }
    SpawnStreak(NBPictureBeam);
    if (scene) scene->camera.Apply();
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::Phase_RankingEntry()
{
    CStoryBase* story = Story();
    if (!story) return Phase_ToTitle();
    // A score that did not place has no name to type: straight to the list.
    if ((rankingInput && !rankingInput->Placed()) || (counter > 30 && EnterKey())) {
        if (rankingInput) rankingInput->done = 1;
        rankingInput = nullptr;
        counter = 0;
        RankingTable& table = App().rankingTables[std::clamp(story->difficulty, 0, 2)];
        rankingList = TCB_RankingList::Create(static_cast<CList<TCB>*>(owner), 1);
        if (rankingList) {
            rankingList->Start(&table, 1024.0f);
            rankingList->title = ArcadeRankingTitle(story->difficulty);
        }
        SetPhase(&NBTCB_Normal::Phase_RankingList);
        table.Save();
        return kTaskKeep;
    }
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::Phase_RankingList()
{
    if (rankingList) rankingList->x = std::max(rankingList->x - 20.0f, 0.0f);
    if (counter > 30 && EnterKey()) {
        counter = 0;
        if (unlockedRobot < 0) {
            SetPhase(&NBTCB_Normal::Phase_ToTitle);
            return kTaskSceneReplaced;
        }
        SetPhase(&NBTCB_Normal::Phase_NewRobot, &NBTCB_Normal::Draw_NewRobot);
        if (rankingList) rankingList->closing = 1;
        rankingList = nullptr;
        return kTaskKeep;
    }
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::Phase_NewRobot()
{
    if (counter == 0) FadeIn(10, true);
    if (counter > 60 && Start()) {
        SetPhase(&NBTCB_Normal::Phase_ToTitle);
        counter = 0;
        return kTaskSceneReplaced;
    }
    ++counter;
    return kTaskKeep;
}

i32 NBTCB_Normal::Phase_ToTitle()
{
    if (counter == 0) FadeOutBlack();
    if (counter < 60) {
        ++counter;
        return kTaskKeep;
    }
    CApplication& app = App();
    CStoryBase* story = app.currentStory;
    app.currentStory = nullptr;
    delete story;
    SwitchScene(app, GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

i32 NBTCB_Normal::Phase_ToBattle()
{
    SpawnStreak(NBPictureBlueBall);
    if (scene) scene->camera.Apply();
    if (++counter < 61) return kTaskKeep;
    SwitchScene(App(), BattleScene);
    return kTaskSceneReplaced;
}

// ---- drawings ------------------------------------------------------------------------

void NBTCB_Normal::Draw_Players()
{
    DrawFullScreenPicture(SharedPicture::Back, 0xFFFFFFFFu);
    Option(150.0f, "1玩家", players == 0);
    Option(534.0f, "2玩家", players == 1);
}

void NBTCB_Normal::Draw_Difficulty()
{
    DrawFullScreenPicture(SharedPicture::Back, 0xFFFFFFFFu);
    const i32 d = Story() ? Story()->difficulty : 0;
    Option(150.0f, "简单", d == 0);
    Option(352.0f, "正常  ", d == 1);
    Option(534.0f, "困难", d == 2);
}

// The stage and GAME CLEAR screens lay their pictures under the light
// streaks, which would otherwise vanish behind them: the 3D pass draws the
// backdrop first, the streaks over it, and the sprite pass only the texts.
void NBTCB_Normal::Draw()
{
    const bool stage = draw == &NBTCB_Normal::Draw_Stage;
    if (!stage && draw != &NBTCB_Normal::Draw_Clear) return;
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !plat::Succeeded(gd->sprite->Begin(plat::SpriteAlphaBlend))) return;
    DrawFullScreenPicture(SharedPicture::Back, 0xFFFFFFFFu);
    if (stage && scene) Picture(scene->stagePicture, 0.0f, 0.0f);
    gd->sprite->End();
}

void NBTCB_Normal::Draw_Stage()
{
    if (const CStoryBase* story = Story())
        Text(3, 0.0f, story->title.c_str(), plat::TextCenter | plat::TextVCenter, 0xFFFFFFFFu, 0xFF000000u);
}

void NBTCB_Normal::Draw_Clear()
{
    Text(3, 0.0f, "GAME CLEAR !", plat::TextCenter | plat::TextVCenter, 0xFFFFFFFFu, 0xFF000000u);
    const plat::GfxRect reward{362, 440, 1024, 768};
    DrawShadowText(1, 0.0f, 0.0f, rewardText, -1, &reward, plat::TextLeft, 0xFFFFFFFFu, 2.0f, 2.0f, 0xFF000000u);
}

void NBTCB_Normal::Draw_Ranking() { DrawFullScreenPicture(SharedPicture::Back, 0xFFFFFFFFu); }

void NBTCB_Normal::Draw_NewRobot()
{
    Picture(robotPicture, 0.0f, 0.0f);
    Text(3, 0.0f, "获得新机体", plat::TextCenter | plat::TextVCenter, 0xFFFFFFFFu, 0xFF000000u);
}

// ---- the streaks ---------------------------------------------------------------------

NBTCB_Beam* NBTCB_Beam::Create(CList<TCB>* list, u32 priority) { return CreateInList<NBTCB_Beam>(list, priority); }

void NBTCB_Beam::Init(plat::GfxTexture* texture, f32 x, f32 y, f32 z)
{
    plat::MatrixTranslation(&world, x, y, z);
    quad.InitSize(0.05f, 2.0f, 0x00FFFFFFu);
    quad.texture = texture;
    velocity = Vec3(0.0f, 0.0f, -0.1f);
    age = 0;
}

i32 NBTCB_Beam::Proc()
{
    world.m[3][0] += velocity.x;
    world.m[3][1] += velocity.y;
    world.m[3][2] += velocity.z;
    quad.SetAlpha(static_cast<u8>(std::min(quad.Alpha() + 2, 255)));
    return ++age > kStreakLife ? kTaskRemove : kTaskKeep;
}

void NBTCB_Beam::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d) return;
    d->SetRenderState(plat::GfxRenderState::Lighting, 0);
    d->SetRenderState(plat::GfxRenderState::FogEnable, 0);
    SetAddBlend();
    const Matrix at(world);
    // The streak lies along its flight and turns about it to face the camera.
    at.SetAxisBillboardWorld(GetCurrentCamera().world, Vec3(0.0f, 0.0f, 1.0f));
    quad.Draw();
    d->SetRenderState(plat::GfxRenderState::Lighting, 1);
}
