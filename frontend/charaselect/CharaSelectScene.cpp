#include "frontend/charaselect/CharaSelectScene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/scene/NoticeBoard.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/TestSwitches.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SelectInterface.h"
#include "app/scene/SharedPictures.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "engine/sound/SoundManager.h"
#include "frontend/charaselect/CharaSelectTasks.h"
#include "platform/core/FileSystem.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/TextureFile.h"
#include "platform/input/InputScript.h"
#include "platform/math/Math.h"
#include "robot/RobotType.h"

namespace {

constexpr u32 kRenderTargetUsage = 1;
constexpr int kDeviceCallbackSlot = 4;

void DeviceLost(int) { CCharaSelectScene::OnDeviceLost(); }
void DeviceReset(int) { CCharaSelectScene::OnDeviceReset(); }
constexpr size_t kLineRead = 98;  // bytes one read of a text line takes at most

// One read of a text line as the file was written: at most 98 bytes, its
// line break kept, a longer line going on in the next read; a UTF-8
// character is never cut.
bool ReadLine(const std::string& text, size_t& at, char* out, size_t outSize)
{
    out[0] = '\0';
    if (at >= text.size()) return false;
    std::string line;
    while (at < text.size() && line.size() < kLineRead) {
        char c = text[at];
        if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            ++at;
            continue;
        }
        const size_t len = plat::Utf8SequenceLength(u8(c));
        if (len > 1 && line.size() + len > kLineRead) break;
        const size_t n = len == 0 ? 1 : len;
        line.append(text, at, n);
        at += n;
        if (c == '\n') break;
    }
    plat::Utf8CopyTruncated(out, outSize, line.c_str());
    return true;
}

bool LoadInterfacePicture(TextureHandle& handle, const char* file, u32 width, u32 height, u32 filter)
{
    return handle.LoadScrambled(file, width, height, 1, 0, plat::GfxFormat::Unknown, plat::GfxPool::Managed,
                                filter, filter, 0, nullptr, AssetKey) != 0;
}

const char* const kDefaultMusic = "默认BGM      ";
const char* const kRandomMusic = "随机BGM      ";

}  // namespace

void ReadCharaSelectFile(const char* path, CharaSelectEntry& entry)
{
    std::string text;
    if (!plat::ReadWholeFile(path, text)) return;
    size_t at = 0;
    ReadLine(text, at, entry.name, sizeof entry.name);
    for (auto& line : entry.weapon) ReadLine(text, at, line, sizeof line);
    char last[100];
    if (ReadLine(text, at, last, sizeof last)) {
        int i = 0;
        float f = 0.0f;
        const int got = std::sscanf(last, "%d,%f", &i, &f);
        if (got >= 1) entry.extraInt = i;
        if (got >= 2) entry.extraFloat = f;
    }
}

CCharaSelectScene::CCharaSelectScene() = default;

CCharaSelectScene::~CCharaSelectScene()
{
    tasks.DeleteAll();
    Release();
    if (SceneInstance<CCharaSelectScene>() == this) SceneInstance<CCharaSelectScene>() = nullptr;
}

bool CCharaSelectScene::EnterFolder(const char* folder)
{
    const std::string path = std::string(baseDir) + "/" + (folder ? folder : "");
    if (path.size() >= sizeof workDir) return false;
    std::memcpy(workDir, path.c_str(), path.size() + 1);
    return plat::SetCurrentDirectory(workDir);
}

void CCharaSelectScene::ReturnToBase() { plat::SetCurrentDirectory(baseDir); }

void CCharaSelectScene::LoadPreview(i32 robotType)
{
    const CApplication& app = *GetApplication();
    delete previewModel;
    previewModel = nullptr;
    if (robotType < 0 || u32(robotType) >= app.robotFolders.count) return;
    if (!EnterFolder(app.robotFolders.names[robotType])) return;
    previewModel = new RobotModelData();
    previewModel->LoadHod("robo.hod", AssetKey);
    previewModel->BuildColorSetMaterials();
    previewModel->LoadScriptSpt("Script.spt", AssetKey);
    cameraAngle = 90.0f;
    ReturnToBase();
}

void CCharaSelectScene::LoadStagePicture(i32 stage)
{
    const CApplication& app = *GetApplication();
    pictures[CharaPicturePilotHeading].Release();
    if (stage < 0 || u32(stage) >= app.stageFolders.count) return;
    if (!EnterFolder(app.stageFolders.names[stage])) return;
    LoadInterfacePicture(pictures[CharaPicturePilotHeading], "SelectImage.png", plat::kGfxDefault, plat::kGfxDefault,
                         plat::ImageFilterNone);
    ReturnToBase();
}

const CharaSelectEntry* CCharaSelectScene::SelectedEntry() const
{
    if (!robotRing || robotEntryCount <= 0) return nullptr;
    const i32 s = robotRing->target;
    return s >= 0 && s < robotEntryCount ? &robotEntries[s] : nullptr;
}

i32 CCharaSelectScene::Init()
{
    CApplication& app = *GetApplication();
    CCTCB_Proc_CharaSelStart* start = CCTCB_Proc_CharaSelStart::Create(&tasks, 1);
    if (start) start->Start();
    CCTCB_Proc_SystemKey::Create(&tasks, 10);
    robotRing = TCB_SelectInterface::Create(&tasks, 5);
    pilotRing = TCB_SelectInterface::Create(&tasks, 15);
    stageRing = TCB_SelectInterface::Create(&tasks, 15);
    bgmRing = TCB_SelectInterface::Create(&tasks, 15);
    CCTCB_Draw_Robot::Create(&tasks, 10);
    CCTCB_BeginHDRState::Create(&tasks, 10);
    CCTCB_Draw_RobotHDR::Create(&tasks, 10);
    CCTCB_EndHDRState::Create(&tasks, 10);
    CCTCB_DrawSP_All::Create(&tasks, 10);

    GetBattleRandom().Init(BattleSeedOrClock());
    state = CharaStateFadeIn;

    GraphicsDevice* gd = GetGraphicsDevice();
    gd->lostCallbacks[kDeviceCallbackSlot] = DeviceLost;
    gd->resetCallbacks[kDeviceCallbackSlot] = DeviceReset;
    // The glow effect itself is made at start-up at the back buffer's size.
    OnDeviceReset();

    std::snprintf(baseDir, sizeof baseDir, "%s", plat::GetCurrentDirectory().c_str());
    if (EnterFolder("Quillon")) {
        LoadPicture(pictures[CharaPictureDot], "dot.png", plat::GfxFormat::X8R8G8B8);
        LoadPicture(pictures[CharaPictureRobotHeading], "frameselection.png");
        LoadPicture(pictures[CharaPicturePilotHeading], "pilotselection.png");
        LoadPicture(pictures[CharaPictureStageHeading], "stageselection.png");
        LoadPicture(pictures[CharaPictureMusicHeading], "bgmselection.png");
        ReturnToBase();
    }

    // The owned robots, at most as many as the list holds.
    const PartInventory& inventory = app.partInventory;
    const i32 types = i32(app.robotFolders.count < u32(CharaSelectListSize) ? app.robotFolders.count
                                                                             : u32(CharaSelectListSize));
    i32 owned = 0;
    for (i32 i = 0; i < types; ++i)
        if (inventory.robots[i].available) ++owned;
    if (robotRing) {
        robotRing->Setup(owned, 508, 320, 240, 0, 0.0f);
        robotRing->active = 0;
        robotRing->visible = 0;
    }
    robotEntryCount = 0;
    for (i32 i = 0; i < types && robotEntryCount < owned; ++i) {
        if (!inventory.robots[i].available) continue;
        const i32 n = robotEntryCount;
        CharaSelectEntry& entry = robotEntries[n];
        entry.robotIndex = i;
        if (EnterFolder(app.robotFolders.names[i])) {
            LoadInterfacePicture(robotPictures[n], "select.png", 320, 240, plat::kGfxDefault);
            ReadCharaSelectFile("charaselect.sdt", entry);
            ReturnToBase();
        }
        if (app.video.disableShader) entry.extraInt = 0;
        if (robotRing) robotRing->pictures[n] = &robotPictures[n];
        robotEntryCount = n + 1;
    }
    if (robotRing && robotEntryCount > 0) robotRing->position = f32(robotEntryCount) - 1.0f;

    for (i32 i = 0; i < types; ++i)
        if (inventory.robots[i].available == 1) {
            LoadPreview(i);
            break;
        }

    if (plat::GfxDevice* d = gd->device) {
        d->SetRenderState(plat::GfxRenderState::FogEnable, 1);
        d->SetRenderState(plat::GfxRenderState::Lighting, 1);
        d->SetRenderState(plat::GfxRenderState::ZWriteEnable, 1);
    }

    PilotRegistry* pilots = GetPilotRegistry();
    pilots->LoadPilotHeaders();
    if (pilotRing) {
        pilotRing->Setup(pilots->count, 309, 200, 150, 0, 0.0f);
        for (i32 i = 0; i < pilots->count; ++i) pilotRing->pictures[i] = &pilots->slots[i].pictures[0];
        pilotRing->active = 0;
        pilotRing->visible = 0;
    }

    MyBgmList& music = app.gameSettings.bgmList;
    music.Scan(app.startupDir);
    music.LoadPictures(app.startupDir);
    const i32 songs = i32(music.entries.size());
    if (bgmRing) {
        bgmRing->Setup(songs + 2, 264, 320, 240, 0, 0.0f);
        for (i32 i = 0; i < songs; ++i) {
            bgmRing->pictures[i] = &music.entries[size_t(i)]->picture;
            if (!music.entries[size_t(i)]->hasPicture) bgmRing->labels[i] = music.entries[size_t(i)]->fileName;
        }
        bgmRing->labels[songs] = kDefaultMusic;
        bgmRing->labels[songs + 1] = kRandomMusic;
        bgmRing->target = songs;
        bgmRing->active = 0;
        bgmRing->visible = 0;
    }

    const i32 stages = i32(app.stageFolders.count < u32(CharaSelectListSize) ? app.stageFolders.count
                                                                              : u32(CharaSelectListSize));
    if (stageRing) {
        stageRing->Setup(stages, 608, 200, 150, 0, 0.0f);
        for (i32 i = 0; i < stages; ++i) {
            if (EnterFolder(app.stageFolders.names[i])) {
                LoadInterfacePicture(stagePictures[i], "SelectImage_s.png", plat::kGfxDefault, plat::kGfxDefault,
                                     plat::ImageFilterNone);
                ReturnToBase();
            }
            stageRing->pictures[i] = &stagePictures[i];
        }
        stageRing->active = 0;
        stageRing->visible = 0;
        stageRing->showIndex = 0;
    }

    SoundManager& sound = GetSoundManager();
    sound.CreateSounds(101);
    if (EnterFolder("Sound")) {
        sound.LoadWaveSlot("select_rot.wav", 0, CharaSoundTurn, 3);
        sound.LoadWaveSlot("title_btn_decide.wav", 0, CharaSoundDecide, 3);
        sound.LoadWaveSlot("title_btn_shift.wav", 0, CharaSoundShift, 3);
        sound.LoadOggSlot("CharaSelect.ogg", 0, CharaSoundMusic, 0);
        ReturnToBase();
    }
    sound.SetVolume(kVolumeSlotEffects, i32(app.volume.volumeSe));
    sound.SetVolume(kVolumeSlotVoices, i32(app.volume.volumeVoice));
    sound.SetVolume(kVolumeSlotMusic, i32(app.volume.volumeBgm));
    sound.PlaySlot(CharaSoundMusic, kVolumeSlotMusic, 1);
    return 0;
}

u32 CCharaSelectScene::Frame()
{
    CApplication& app = *GetApplication();
    if (app.closeRequest) {
        app.quit = 1;
        return 0;
    }
    if (!SceneDeviceReady()) return 0;
    plat::SetScriptMark("scene", "select");
    const u32 t0 = AppClockNow();
    const i32 result = FrameBody();
    if (result == kTaskSceneReplaced) return u32(-1);
    const u32 spent = AppClockNow() - t0;
    AppClockSleep(spent >= MenuFrameMs ? 0 : MenuFrameMs - spent);
    return u32(result);
}

i32 CCharaSelectScene::FrameBody()
{
    // A task's result other than keep or remove ends the frame undrawn and
    // goes to the caller (10 and 11 to the arcade screen).
    TCB* head = tasks.GetHead();
    TCB* node = head ? head->next : nullptr;
    while (node && node->priority != kListTailPriority) {
        const i32 result = node->Proc();
        if (result == kTaskRemove) {
            node = tasks.Erase(node);
            continue;
        }
        if (result != kTaskKeep) return result;
        node = node->next;
    }
    DrawFrame();
    return 0;
}

void CCharaSelectScene::DrawFrame()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* d = gd->device;
    if (!d) return;
    const CApplication& app = *GetApplication();
    if (plat::Succeeded(d->BeginScene())) {
        d->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);
        LightEffectsFromCamera(camera.world, {Vec3(0.3f, -0.7f, -0.5f), ColorF(0.9f, 0.9f, 0.9f, 1.0f),
                                              ColorF(0.2f, 0.2f, 0.2f, 1.0f), ColorF(1.0f, 1.0f, 1.0f, 1.0f)});
        DrawSceneTasks(tasks, 0.785385f, ScreenAspect(), 0.5f, 21000.0f);
        d->EndScene();
    }
    DrawNotices();
    if (d->Present() == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
    if (app.video.stereo)
        for (plat::Window* eyeWindow : {app.leftEyeWindow, app.rightEyeWindow})
            if (eyeWindow && d->Present(eyeWindow) == plat::GfxResult::DeviceLost) gd->deviceLost = 1;
    GetApplication()->frameDrawn = 1;
}

void CCharaSelectScene::Release()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (gd->lostCallbacks[kDeviceCallbackSlot] == DeviceLost) gd->lostCallbacks[kDeviceCallbackSlot] = nullptr;
    if (gd->resetCallbacks[kDeviceCallbackSlot] == DeviceReset) gd->resetCallbacks[kDeviceCallbackSlot] = nullptr;
    GetSoundManager().FreeSounds();
    for (auto& p : pictures) p.Release();
    for (auto& m : meshes) m.Release();
    for (auto& p : robotPictures) p.Release();
    for (auto& p : stagePictures) p.Release();
    delete previewModel;
    previewModel = nullptr;
    bloomTarget.Release();
    GetApplication()->gameSettings.bgmList.ReleasePictures();
}

void CCharaSelectScene::OnDeviceLost()
{
    if (CCharaSelectScene* scene = SceneInstance<CCharaSelectScene>()) scene->bloomTarget.Release();
}

void CCharaSelectScene::OnDeviceReset()
{
    CCharaSelectScene* scene = SceneInstance<CCharaSelectScene>();
    if (!scene) return;
    const CApplication& app = *GetApplication();
    if (app.video.screenWidth <= 0 || app.video.screenHeight <= 0) return;
    scene->bloomTarget.Release();
    scene->bloomTarget.CreateBlank(u32(app.video.screenWidth), u32(app.video.screenHeight), 1, kRenderTargetUsage,
                                   plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default);
}

CCharaSelectScene* GetCharaSelectScene() { return GetSceneInstance<CCharaSelectScene>(); }
BaseScene* GetCharaSelectSceneAsBase() { return GetCharaSelectScene(); }
