#include "app/scene/TitleScene.h"

#include <cmath>
#include <cstring>
#include <string>

#include "app/scene/NoticeBoard.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/Fade.h"
#include "app/scene/SceneDevice.h"
#include "app/Hooks.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SharedPictures.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "engine/graphics/TextureCache.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Font.h"
#include "platform/input/InputScript.h"
#include "platform/math/Math.h"

i32 ShowLogoOnce = 1;

namespace {

constexpr u32 PadStart = 12;
constexpr u32 PadCancel = 13;
constexpr u32 PadUp = 1;
constexpr u32 PadDown = 3;
constexpr u32 OncePerPress = 10000;
constexpr u32 RepeatMs = 1000;
constexpr u32 FadePriority = 10000;
constexpr u32 RobotTypeCount = 22;

const char* const kMenuLabels[TitleMenuEntries] = {
    "街机模式        ", "生存模式        ", "对战练习  ",       "小队对抗          ",
    "舰队对抗                  ", "格纳库", "单机对战          ", "联网对战            ",
    "积分排名        ",
};

bool Pressed(u32 button, u32 interval) { return GetApplication()->IsPadButtonRepeat(0, button, interval) != 0; }

CTitleScene& Scene() { return *SceneInstance<CTitleScene>(); }

// The current directory followed by a folder, for the loads in between.
class FolderScope {
public:
    explicit FolderScope(const char* folder) : saved_(plat::GetCurrentDirectory())
    {
        plat::SetCurrentDirectory((saved_ + "/" + folder).c_str());
    }
    ~FolderScope() { plat::SetCurrentDirectory(saved_.c_str()); }

private:
    std::string saved_;
};

TCB_FadeIn* WhiteFadeIn(CList<TCB>* list)
{
    TCB_FadeIn* f = TCB_FadeIn::Create(list, FadePriority);
    if (f) {
        f->speed = 5;
        f->red = f->green = f->blue = 255;
    }
    return f;
}

TCB_FadeOut* FadeOut(CList<TCB>* list, u8 level)
{
    TCB_FadeOut* f = TCB_FadeOut::Create(list, FadePriority);
    if (f) {
        f->speed = 5;
        f->red = f->green = f->blue = level;
    }
    return f;
}

void DrawPicture(TextureHandle& picture, f32 x, f32 y)
{
    if (!picture.texture) return;
    Mat4 at;
    plat::MatrixTranslation(&at, x, y, 0.0f);
    SetSpriteLayout(at);
    GetGraphicsDevice()->sprite->Draw(picture.texture, &picture.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
}

}  // namespace

// ---- the scene -------------------------------------------------------------

CTitleScene::CTitleScene()
{
    for (i32 i = 0; i < TitleMenuEntries; ++i)
        std::strncpy(menuLabels[i], kMenuLabels[i], sizeof menuLabels[i] - 1);
}

CTitleScene::~CTitleScene()
{
    SceneInstance<CTitleScene>() = nullptr;
    tasks.DeleteAll();
    Release();
}

CTitleScene* GetTitleScene() { return GetSceneInstance<CTitleScene>(); }
BaseScene* GetTitleSceneAsBase() { return GetTitleScene(); }

void CTitleScene::Init()
{
    CApplication& app = *GetApplication();
    TTTCB_Normal::Create(&tasks, 1);
    TTTCB_Earth::Create(&tasks, 2);

    for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
    for (PilotSlot& slot : GetPilotRegistry()->slots) slot.Clear();

    app.frameDrawn = 1;
    GetBattleRandom().Init(AppClockNow(), cMTRand::kDefaultSize);
    app.random.Init(AppClockNow(), cMTRand::kDefaultSize);

    {
        FolderScope quillon("Quillon");
        LoadPicture(pictures[TitlePictureLogo], "Logo.png");
        LoadPicture(pictures[TitlePictureDot], "dot.png", plat::GfxFormat::X8R8G8B8);
        LoadPicture(pictures[TitlePictureMakerLogo], "brevantholm.png");
        LoadPicture(pictures[TitlePictureEarthGlow], "earth_light.png");
        LoadPicture(pictures[TitlePictureMakerShort], "zel.png");
    }
    {
        FolderScope meshFolder("X");
        TextureManager* manager = &GetGraphicsDevice()->textureManager;
        meshes[TitleMeshEarth].LoadScrambled("earth.x", MeshKey, manager);
        meshes[TitleMeshClouds].LoadScrambled("earth_c.x", MeshKey, manager);
        meshes[TitleMeshSky].LoadScrambled("galaxy.x", MeshKey, manager);
    }
    objects[1].mesh = &meshes[TitleMeshSky];
    plat::MatrixScaling(&objects[1].world, 9000.0f, 9000.0f, 9000.0f);
    objects[0].mesh = &meshes[TitleMeshEarth];
    objects[2].mesh = &meshes[TitleMeshClouds];

    SoundManager& sound = GetSoundManager();
    sound.CreateSounds(100);
    sound.SetVolume(kVolumeSlotEffects, static_cast<int>(app.volume.volumeSe));
    sound.SetVolume(kVolumeSlotVoices, static_cast<int>(app.volume.volumeVoice));
    sound.SetVolume(kVolumeSlotMusic, static_cast<int>(app.volume.volumeBgm));
    {
        FolderScope soundFolder("Sound");
        sound.LoadWaveSlot("title_btn_decide.wav", 0, TitleSoundDecide, 3);
        sound.LoadWaveSlot("title_btn_shift.wav", 0, TitleSoundShift, 3);
        sound.LoadOggSlot("title0.ogg", 0, TitleSoundMusic, 0);
    }

    plat::MatrixIdentity(&camera.world);
    camera.Apply();

    if (plat::GfxDevice* d = GetGraphicsDevice()->device) {
        d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterPoint);
        d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterPoint);
        d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterNone);
        d->SetRenderState(plat::GfxRenderState::FogEnable, 0);
    }
    idle = 0;
    app.gameSettings.costRate = 1.0f;
}

void CTitleScene::Release()
{
    GetSoundManager().FreeSounds();
    for (TextureHandle& p : pictures) p.Release();
    for (MeshObject& m : meshes) m.Release();
}

i32 CTitleScene::Render()
{
    idle += 1;
    if (RunTaskProcs(tasks) == kTaskSceneReplaced) return kTaskSceneReplaced;

    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* d = gd->device;
    if (!d) return 0;
    const bool begun = plat::Succeeded(d->BeginScene());
    if (begun) {
        d->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);

        const Mat4& eye = camera.world;
        LightEffectsFromCamera(eye, {Vec3(eye.m[0][0], eye.m[0][1] - 0.5f, eye.m[0][2]), ColorF(1, 1, 1, 0),
                                     ColorF(0, 0, 0, 0), ColorF(1, 1, 1, 0)});

        DrawSceneTasks(tasks, 0.7853982f, 1.3333334f, 0.1f, 10000.0f);
        d->EndScene();
    }

    DrawNotices();
    const CApplication& app = *GetApplication();
    if (d->Present() == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
    if (app.video.stereo) {
        for (plat::Window* eyeWindow : {app.leftEyeWindow, app.rightEyeWindow})
            if (eyeWindow && d->Present(eyeWindow) == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
    }
    return 0;
}

// ---- input and 2D drawing -----------------------------------------------------

TTTCB_Normal::TTTCB_Normal()
{
    if (ShowLogoOnce == 1) {
        SetPhase(&TTTCB_Normal::Proc_Logo, &TTTCB_Normal::DrawSP_Logo);
        ShowLogoOnce = 0;
    } else {
        SetPhase(&TTTCB_Normal::Proc_PressStart, &TTTCB_Normal::DrawSP_PressStart);
    }
}

TTTCB_Normal* TTTCB_Normal::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TTTCB_Normal>(list, priority);
}

void TTTCB_Normal::SetPhase(Phase next, DrawProc nextDraw)
{
    phase = next;
    draw = nextDraw;
}

i32 TTTCB_Normal::Proc_Logo()
{
    if (!fade) {
        if (counter == 0) WhiteFadeIn(owner);
        if ((counter > 30 && Pressed(PadStart, OncePerPress)) || counter >= 121) {
            fade = FadeOut(owner, 255);
            counter = 0;
            return kTaskKeep;
        }
        counter += 1;
    } else if (fade->alpha == 255) {
        counter += 1;
        if (counter > 30) {
            fade->release = 1;
            SetPhase(&TTTCB_Normal::Proc_PressStart, &TTTCB_Normal::DrawSP_PressStart);
            counter = 0;
            fade = nullptr;
            WhiteFadeIn(owner);
            return kTaskKeep;
        }
    }
    if (Pressed(PadCancel, OncePerPress)) {
        GetApplication()->quit = 1;
        return kTaskSceneReplaced;
    }
    return kTaskKeep;
}

i32 TTTCB_Normal::Proc_PressStart()
{
    CTitleScene& scene = Scene();
    if (counter == 0) GetSoundManager().PlaySlot(TitleSoundMusic, kVolumeSlotMusic, 1);
    if (counter > 30) {
        plat::SetScriptMark("title", "press");
        if (Pressed(PadStart, OncePerPress)) {
            SetPhase(&TTTCB_Normal::Proc_Menu, &TTTCB_Normal::DrawSP_Menu);
            counter = 0;
            scene.idle = 0;
        }
        if (Pressed(PadCancel, RepeatMs)) {
            SetPhase(&TTTCB_Normal::Proc_Logo, &TTTCB_Normal::DrawSP_Logo);
            counter = 0;
            scene.idle = 0;
            fade = nullptr;
            if (SoundObject* music = GetSoundManager().GetSound(TitleSoundMusic)) music->Stop();
            return kTaskKeep;
        }
    }
    counter += 1;
    if (scene.idle > TitleIdleFrames) return StartDemonstration(scene);
    return kTaskKeep;
}

i32 TTTCB_Normal::StartDemonstration(CTitleScene& scene)
{
    scene.idle = 0;
    const TitleHooks& hooks = GetAppHooks().title;
    if (!hooks.demoBattle) {
        // No battle yet: the title stays.
        GetSoundManager().PlaySlot(TitleSoundDecide, kVolumeSlotEffects, 0);
        return kTaskKeep;
    }
    CApplication& app = *GetApplication();
    cMTRand& battle = GetBattleRandom();
    app.gameSettings.gameMode = GameMode::Survival;
    app.gameSettings.modeOption = 1;
    app.gameSettings.stage = battle.GetRand() % 2;
    for (i32 i = 0; i < 4; ++i) app.players[i].robot = static_cast<i32>(battle.GetRand() % RobotTypeCount);
    app.gameSettings.bgmList.entries.clear();
    SwitchScene(app, hooks.demoBattle);
    return kTaskSceneReplaced;
}

i32 TTTCB_Normal::Proc_Menu()
{
    if (counter < 30) {
        counter += 1;
        return kTaskKeep;
    }
    plat::SetScriptMark("title", "menu");
    CTitleScene& scene = Scene();
    SoundManager& sound = GetSoundManager();
    if (Pressed(PadStart, OncePerPress)) {
        sound.PlaySlot(TitleSoundDecide, kVolumeSlotEffects, 0);
        if (GetAppHooks().title.entries[cursor].scene) {
            SetPhase(&TTTCB_Normal::Proc_MenuSelect, draw);
            if (!fade) fade = FadeOut(owner, 0);
        } else {
            scene.idle = 0;  // that entry's scene is not there yet
        }
    }
    if (Pressed(PadUp, RepeatMs)) {
        cursor = cursor == 0 ? TitleMenuEntries - 1 : cursor - 1;
        sound.PlaySlot(TitleSoundShift, kVolumeSlotEffects, 0);
        scene.idle = 0;
    }
    if (Pressed(PadDown, RepeatMs)) {
        cursor = cursor == TitleMenuEntries - 1 ? 0 : cursor + 1;
        sound.PlaySlot(TitleSoundShift, kVolumeSlotEffects, 0);
        scene.idle = 0;
    }
    if (Pressed(PadCancel, RepeatMs)) {
        // A fade begun by START in this same frame must not stay over the title.
        if (fade) fade->release = 1;
        fade = nullptr;
        SetPhase(&TTTCB_Normal::Proc_PressStart, &TTTCB_Normal::DrawSP_PressStart);
        counter = 1;
        scene.idle = 0;
    }
    return kTaskKeep;
}

i32 TTTCB_Normal::Proc_MenuSelect()
{
    if (fade && fade->alpha != 255) return kTaskKeep;
    const i32 choice = cursor;
    const TitleHooks& hooks = GetAppHooks().title;
    const TitleMenuHook entry = hooks.entries[choice];
    if (!entry.scene) {
        // The cursor moved to an entry without a scene in the frame of START.
        if (fade) fade->release = 1;
        fade = nullptr;
        SetPhase(&TTTCB_Normal::Proc_Menu, &TTTCB_Normal::DrawSP_Menu);
        Scene().idle = 0;
        return kTaskKeep;
    }
    CApplication& app = *GetApplication();
    app.gameSettings.gameMode = static_cast<GameMode>(choice);
    if (app.gameSettings.gameMode == GameMode::Arcade && hooks.newStory) {
        if (app.currentStory) DeleteStory(app.currentStory);
        app.currentStory = hooks.newStory(GetBattleRandom().GetRand() % 5);
    }
    // This task goes with the title here.
    if (!SwitchScene(app, entry.scene)) return kTaskSceneReplaced;
    if (entry.afterSwitch) entry.afterSwitch();
    if (app.gameSettings.gameMode == GameMode::LocalBattle) {
        app.players[2].slotState = 0;
        app.players[3].slotState = 0;
    }
    return kTaskSceneReplaced;
}

void TTTCB_Normal::DrawSP_Logo() { DrawPicture(Scene().pictures[TitlePictureMakerLogo], 0.0f, 0.0f); }

void TTTCB_Normal::DrawSP_PressStart()
{
    CTitleScene& scene = Scene();
    DrawPicture(scene.pictures[TitlePictureLogo], 60.0f, 100.0f);
    TextureHandle& maker = scene.pictures[TitlePictureMakerShort];
    DrawPicture(maker, static_cast<f32>(512 - maker.sourceRect.Width() / 2), 350.0f);

    const f32 degrees = static_cast<f32>((counter * 4) % 360);
    const u32 a = static_cast<u32>((std::sin(degrees * kDegreesToRadians) + 1.0f) / 2.0f * 255.0f);
    static const char version[] = "Quillon 1.000                 ";
    const plat::GfxRect screen{0, 0, 1024, 768};
    DrawTextAt(2, 3.0f, 553.0f, version, -1, &screen, plat::TextCenter, a << 24 | 0xFFFFFFu);
    DrawTextAt(2, 0.0f, 550.0f, version, -1, &screen, plat::TextCenter, a << 24 | 0xFF0000u);
}

void TTTCB_Normal::DrawSP_Menu()
{
    CTitleScene& scene = Scene();
    DrawFullScreenPicture(SharedPicture::Back, 0x80FFFFFFu);
    plat::Font* font = GetGraphicsDevice()->fonts[2];
    const plat::GfxRect shadowRect{3, 3, 1027, 771}, faceRect{0, 0, 1024, 768};
    for (i32 i = 0; i < scene.menuCount; ++i) {
        f32 f = 1.0f - static_cast<f32>(counter + 3 * i) / 30.0f;
        if (f < 0.0f) f = 0.0f;
        const bool chosen = i == cursor;
        const f32 s = chosen ? 1.2f : 1.0f;
        const u32 colour = chosen ? 0xFF52B23Du : 0xFF646464u;
        Mat4 scale, place, layout;
        plat::MatrixScaling(&scale, s, s, 1.0f);
        plat::MatrixTranslation(&place, 73.0f + 30.0f * static_cast<f32>(i) + 1500.0f * f,
                                103.0f + 53.0f * static_cast<f32>(i), 0.0f);
        plat::MatrixMultiply(&layout, &scale, &place);
        SetSpriteLayout(layout);
        GetTextureCache()->DrawText(font, scene.menuLabels[i], -1, &shadowRect, 0, 0x96000000u, 60, 0, 0);
        GetTextureCache()->DrawText(font, scene.menuLabels[i], -1, &faceRect, 0, colour, 60, 0, 0);
    }
}

// ---- the earth -------------------------------------------------------------------

TTTCB_Earth::TTTCB_Earth()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d || !plat::Succeeded(d->CreateVertexBuffer(StarCount * sizeof(BillboardVertex), 0, BillboardQuad::kFvf,
                                                     plat::GfxPool::Managed, &stars))) {
        stars = nullptr;
        return;
    }
    starCount = StarCount;
    void* data = nullptr;
    if (!plat::Succeeded(stars->Lock(0, 0, &data, 0)) || !data) return;
    auto* v = static_cast<BillboardVertex*>(data);
    cMTRand& battle = GetBattleRandom();
    auto coordinate = [&battle] {
        return static_cast<f32>(static_cast<double>(battle.GetRand()) / 4294967296.0) * 20.0f - 10.0f;
    };
    for (i32 i = 0; i < StarCount; ++i) {
        v[i].x = coordinate();
        v[i].y = coordinate();
        v[i].z = coordinate();
        v[i].u = v[i].v = 0.0f;
        const u32 g = 128 + battle.GetRand() % 128;
        v[i].colour = 0xFF000000u | g << 16 | g << 8 | g;
    }
    stars->Unlock();
}

TTTCB_Earth::~TTTCB_Earth()
{
    if (stars) stars->Release();
}

TTTCB_Earth* TTTCB_Earth::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TTTCB_Earth>(list, priority);
}

i32 TTTCB_Earth::Proc()
{
    CTitleScene& scene = Scene();
    plat::MatrixIdentity(&scene.objects[0].world);
    plat::MatrixRotationY(&scene.objects[2].world, cloudAngle * kDegreesToRadians);

    const f32 tilt = std::sin(static_cast<f32>(frame) * 0.1f * kDegreesToRadians) * 20.0f;
    Mat4 back, turn, nod;
    plat::MatrixTranslation(&back, 0.0f, 0.0f, -distance);
    plat::MatrixRotationY(&turn, -yaw * kDegreesToRadians);
    plat::MatrixRotationX(&nod, tilt * kDegreesToRadians);
    plat::MatrixMultiply(&scene.camera.world, &back, &turn);
    plat::MatrixMultiply(&scene.camera.world, &scene.camera.world, &nod);
    scene.camera.Apply();

    distance -= std::sin(static_cast<f32>(frame) * 0.2f * kDegreesToRadians) * 0.004f;
    yaw += 0.04f;
    cloudAngle += 0.005f;
    frame += 1;
    return kTaskKeep;
}

void TTTCB_Earth::Draw()
{
    CTitleScene& scene = Scene();
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d) return;
    scene.objects[0].SetWorld();
    scene.objects[0].Draw();
    d->SetRenderState(plat::GfxRenderState::CullMode, plat::CullNone);
    d->SetRenderState(plat::GfxRenderState::Lighting, 0);
    scene.objects[1].SetWorld();
    scene.objects[1].Draw();
    d->SetRenderState(plat::GfxRenderState::ZEnable, 0);
    d->SetRenderState(plat::GfxRenderState::ZWriteEnable, 0);
    SetAddBlend();

    BillboardQuad glow;
    glow.InitSquare(2.8f, 0xFFFFFFFFu);
    glow.texture = scene.pictures[TitlePictureEarthGlow].texture;
    Matrix().SetBillboardWorld(GetCurrentCamera().world);
    glow.Draw();

    SetAlphaBlend();
    d->SetRenderState(plat::GfxRenderState::ZEnable, 1);
    d->SetRenderState(plat::GfxRenderState::ZWriteEnable, 1);
    d->SetTransform(plat::GfxTransform::World, Mat4::Identity());
    PointList{stars, starCount}.Draw(d, nullptr);
    d->SetRenderState(plat::GfxRenderState::Lighting, 1);
    scene.objects[2].SetWorld();
    scene.objects[2].Draw();
    d->SetRenderState(plat::GfxRenderState::CullMode, plat::CullCCW);
}
