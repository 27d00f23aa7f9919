#include "frontend/hangar/HangarScene.h"

#include <algorithm>
#include <cstring>

#include "app/player/SaveFolder.h"
#include "app/scene/NoticeBoard.h"
#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SharedPictures.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "frontend/hangar/HangarMenu.h"
#include "frontend/hangar/HangarTasks.h"
#include "platform/core/MessageBox.h"
#include "platform/math/Math.h"
#include "robot/RobotType.h"

namespace {

constexpr u32 kRenderTargetUsage = 1;
constexpr int kDeviceCallbackSlot = 4;
constexpr int kMusicSlot = 100;

void DeviceLost(int) { CHangarScene::OnDeviceLost(); }
void DeviceReset(int) { CHangarScene::OnDeviceReset(); }

CApplication& App() { return *GetApplication(); }

// Enters a robot type's folder under the start-up directory.
bool EnterRobotFolder(i32 robotType)
{
    CApplication& app = App();
    if (robotType < 0 || u32(robotType) >= app.robotFolders.count) return false;
    return app.SetCurrentDirectoryTo(app.robotFolders.names[robotType]) != 0;
}

}  // namespace

CHangarScene::CHangarScene() = default;

CHangarScene::~CHangarScene()
{
    tasks.DeleteAll();
    Release();
    if (SceneInstance<CHangarScene>() == this) SceneInstance<CHangarScene>() = nullptr;
}

i32 CHangarScene::Init()
{
    CApplication& app = App();
    initialised = true;
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->lostCallbacks[kDeviceCallbackSlot] = DeviceLost;
    gd->resetCallbacks[kDeviceCallbackSlot] = DeviceReset;

    cameraTask = HGTCB_Camera::Create(&tasks, 1);
    // Scripted visits may start the idle camera on a later shot.
    if (cameraTask)
        cameraTask->shot = std::clamp(GetTestSwitches().hangarShot, 0, HangarShotCount - 1);
    HGTCB_Normal::Create(&tasks, 1);
    HGTCB_Menu_Top::Create(&tasks, 10);
    if (HGTCB_FadeInOut* fade = HGTCB_FadeInOut::Create(&tasks, 100)) {
        fade->phase = 1;
        fade->level = HGTCB_FadeInOut::FullLevel;
    }

    if (app.SetCurrentDirectoryTo("X/hangar")) {
        meshes[HangarMeshBuilding].LoadScrambled("hangar.x", MeshKey, &gd->textureManager);
        meshes[HangarMeshShadowCaster].LoadScrambled("hangar_shadowmap.x", MeshKey, &gd->textureManager);
    }
    if (app.SetCurrentDirectoryTo("Quillon")) LoadPicture(dot, "dot.png", plat::GfxFormat::X8R8G8B8);
    app.SetCurrentDirectoryTo("");
    OnDeviceReset();

    // The robots the player owns, in type order; the lists hold at most 50.
    robotCount = 0;
    const u32 types = app.robotFolders.count < u32(HangarRobotSlots) ? app.robotFolders.count : u32(HangarRobotSlots);
    for (u32 k = 0; k < types && k < RobotRecordCount; ++k) {
        if (!app.partInventory.robots[k].available) continue;
        const i32 n = robotCount;
        robots[n] = CharaSelectEntry{};
        robots[n].robotIndex = i32(k);
        models[n] = std::make_unique<RobotModelData>();
        if (EnterRobotFolder(i32(k))) {
            ReadCharaSelectFile("charaselect.sdt", robots[n]);
            models[n]->LoadScriptSpt("Script.spt", AssetKey);
        }
        app.SetCurrentDirectoryTo("");
        robotCount = n + 1;
    }
    // With nothing owned, entry 0 (robot 0) still stands in for the display.
    if (!models[0]) models[0] = std::make_unique<RobotModelData>();
    ShowRobot(0);

    building.mesh = &meshes[HangarMeshBuilding];
    shadowCaster.mesh = &meshes[HangarMeshShadowCaster];
    shadowOn = GetShaderShadowMap()->shadowSize != 0 ? 1 : 0;

    SoundManager& sound = GetSoundManager();
    sound.CreateSounds(kMusicSlot + 1);
    if (app.SetCurrentDirectoryTo("Sound")) sound.LoadOggSlot("hangar.ogg", 0, kMusicSlot, 0);
    app.SetCurrentDirectoryTo("");
    sound.SetVolume(kVolumeSlotEffects, i32(app.volume.volumeSe));
    sound.SetVolume(kVolumeSlotVoices, i32(app.volume.volumeVoice));
    sound.SetVolume(kVolumeSlotMusic, i32(app.volume.volumeBgm));
    sound.PlaySlot(kMusicSlot, kVolumeSlotMusic, 1);
    return 0;
}

void CHangarScene::ShowRobot(i32 entry)
{
    if (entry < 0 || entry >= HangarRobotSlots) return;
    if (RobotModelData* shown = ShownModel()) shown->Release();
    selected = entry;
    current = robots[entry];
    RobotModelData* model = models[entry].get();
    if (!model) return;
    if (EnterRobotFolder(current.robotIndex)) {
        model->LoadHod("hangar.hod", AssetKey);
        model->BuildColorSetMaterials();
    }
    App().SetCurrentDirectoryTo("");
}

RobotRecord& CHangarScene::ShownRecord() const
{
    const i32 r = current.robotIndex;
    return App().partInventory.robots[r >= 0 && u32(r) < RobotRecordCount ? r : 0];
}

i32 CHangarScene::ShownColourSet() const
{
    const RobotRecord& record = ShownRecord();
    if (record.chosenColour < 10 && record.colourOwned[record.chosenColour] == 1) return i32(record.chosenColour);
    for (i32 i = 0; i < 10; ++i)
        if (record.colourOwned[i] == 1) return i;
    return 0;
}

RobotModelData* CHangarScene::ShownModel() const
{
    return selected >= 0 && selected < HangarRobotSlots ? models[selected].get() : nullptr;
}

i32 CHangarScene::FrameBody()
{
    if (RunTaskProcs(tasks) == kTaskSceneReplaced) return kTaskSceneReplaced;
    DrawFrame();
    ++frameCounter;
    return 0;
}

void CHangarScene::DrawFrame()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* d = gd->device;
    if (!d) return;
    if (plat::Succeeded(d->BeginScene())) {
        d->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);
        LightEffectsFromCamera(camera.world, {Vec3(0.3f, -0.7f, -0.5f), ColorF(0.5f, 0.5f, 0.5f, 1.0f),
                                              ColorF(0.1f, 0.1f, 0.1f, 1.0f), ColorF(1.0f, 1.0f, 1.0f, 1.0f)});
        DrawSceneTasks(tasks, 0.785385f, ScreenAspect(), 0.01f, 1000.0f);
        d->EndScene();
    }
    DrawNotices();
    if (d->Present() == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
    GetApplication()->frameDrawn = 1;
}

void CHangarScene::SaveChange()
{
    lastSaveResult = App().partInventory.Save("vant-D");
    // A file kept after a failed read was already explained when it was read.
    if (lastSaveResult == 0 && !SaveFileIsKept("vant-D"))
        plat::ShowMessageBox(App().mainWindow, "部件数据无法保存，离开机库时将再次保存。", "",
                             plat::MessageBoxError);
}

void CHangarScene::Release()
{
    // Each change was saved as it was made; this save catches one that
    // could not be, and says so rather than losing it quietly.
    if (initialised) lastSaveResult = App().partInventory.Save("vant-D");
    initialised = false;
    // A file kept after a failed read was already explained when it was read.
    if (lastSaveResult == 0 && !SaveFileIsKept("vant-D"))
        plat::ShowMessageBox(App().mainWindow, "部件数据无法保存，本次在机库中的更改没有写入。", "",
                             plat::MessageBoxError);
    GraphicsDevice* gd = GetGraphicsDevice();
    if (gd->lostCallbacks[kDeviceCallbackSlot] == DeviceLost) gd->lostCallbacks[kDeviceCallbackSlot] = nullptr;
    if (gd->resetCallbacks[kDeviceCallbackSlot] == DeviceReset) gd->resetCallbacks[kDeviceCallbackSlot] = nullptr;
    GetSoundManager().FreeSounds();
    for (MeshObject& m : meshes) m.Release();
    for (auto& model : models) {
        if (model) model->Release();
        model.reset();
    }
    dot.Release();
    glowTarget.Release();
}

void CHangarScene::OnDeviceLost()
{
    if (CHangarScene* scene = SceneInstance<CHangarScene>()) scene->glowTarget.Release();
}

void CHangarScene::OnDeviceReset()
{
    CHangarScene* scene = SceneInstance<CHangarScene>();
    if (!scene) return;
    const CApplication& app = App();
    if (app.video.screenWidth <= 0 || app.video.screenHeight <= 0) return;
    scene->glowTarget.Release();
    scene->glowTarget.CreateBlank(u32(app.video.screenWidth), u32(app.video.screenHeight), 1, kRenderTargetUsage,
                                  plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default);
}

CHangarScene* GetHangarScene() { return GetSceneInstance<CHangarScene>(); }
BaseScene* GetHangarSceneAsBase() { return GetHangarScene(); }
