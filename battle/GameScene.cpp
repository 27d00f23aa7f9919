// The battle scene's life: construction, the getter, the fixed-rate clock,
// the device callbacks of its HDR target and the release.
#include "battle/GameScene.h"

#include <vector>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "battle/BattleObject.h"
#include "battle/stage/BattleMap.h"
#include "battle/tasks/ModeTasks.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/sound/SoundManager.h"
#include "platform/core/Time.h"
#include "platform/gfx/FrameHold.h"
#include "platform/input/InputScript.h"
#include "robot/RobotType.h"

namespace {

CGameScene*& SceneGlobal()
{
    static CGameScene* scene = nullptr;
    return scene;
}

void DeviceLostCallback(int)
{
    if (CGameScene* s = FindGameScene()) s->OnDeviceLost();
}

void DeviceResetCallback(int)
{
    if (CGameScene* s = FindGameScene()) s->OnDeviceReset();
}

// A frame is due every 1000/60 ms from the clock origin.
constexpr double kFrameMs = 16.666666;

}  // namespace

RenderView::RenderView()
{
    viewport = {0, 0, 1024, 768, 0.0f, 1.0f};
    matrices.Create(20);
}

NestedArrayEntry::NestedArrayEntry()
{
    values.Create(10);
    values.Fill(0);
}

NestedArrayRecord::NestedArrayRecord()
{
    entries.Create(10);
}

u32& BattleSkipCounter()
{
    static u32 counter = 0;
    return counter;
}

// One loader thread per robot type loaded in the background; each is joined
// before the scene's parts go away.
struct CGameScene::LoaderSet {
    struct Job {
        CGameScene* scene = nullptr;
        i32 type = 0;
        std::atomic<u32> done{0};
        plat::Thread thread;
    };
    static void Run(void* arg);
    std::vector<std::unique_ptr<Job>> jobs;
};

CGameScene::CGameScene()
    : battleMapStore(std::make_unique<BattleMap>()), battleMap(*battleMapStore),
      loaders(std::make_unique<LoaderSet>())
{
    robotTypes.Create(kRobotTypeCount);
    shipTypes.Create(kShipTypeCount);
    robotTable.Create(kRobotTableSize);
    robotTable.Fill(0);
    effectTextures.Create(kBattleTextureCount);
    interfaceTextures.Create(kBattleTextureCount);
    meshes.Create(kBattleMeshCount);
    views.Create(kRenderViewCount);
    spareRecords.Create(20);
    teamsPresent.Create(kTeamArraySize);
    teamUnits.Create(kTeamArraySize);
    teamScores.Create(kTeamArraySize);
    teamCosts.Create(kTeamArraySize);
    teamsPresent.Fill(0);
    teamUnits.Fill(0);
    teamScores.Fill(0);
    teamCosts.Fill(0);
    frustum2 = ViewFrustum();
}

CGameScene::~CGameScene()
{
    Release();
    tasks.DeleteAll();
    if (SceneGlobal() == this) SceneGlobal() = nullptr;
}

CGameScene* FindGameScene() { return SceneGlobal(); }

CGameScene* GetGameScene()
{
    CGameScene*& scene = SceneGlobal();
    if (scene) return scene;
    scene = new (std::nothrow) CGameScene();
    if (!scene) return nullptr;
    scene->frameProc = &CGameScene::Proc_Normal;
    scene->Init();
    // The clock starts only now, so a long set-up never yields catch-up frames.
    scene->clockOrigin = AppClockNow();
    scene->frameCount = 0;
    scene->nextDue = 0;
    return scene;
}

u32 CGameScene::Frame()
{
    CApplication& app = *GetApplication();
    if (app.closeRequest) {
        app.quit = 1;
        const u32 rule = GetRoomState().rule;
        // Closing the window on a decided battle's result deserts nothing.
        if (battleSettings.gameMode == GameMode::Online && battleEnd != 1 &&
            (rule == 0 || rule == 1 || rule == 3 || rule == 4)) {
            app.Profile().AddExp(-10000);
            app.Profile().Save();
        }
        // ... and keeps what the result's Enter would have saved (an online
        // judge's result; the offline ones save nothing on the way out).
        if (battleEnd == 1) SaveResultOnClose(*this);
    }
    GraphicsDevice* gd = GetGraphicsDevice();
    if (gd->deviceLost) {
        if (gd->CheckDeviceLost()) return 0;
        gd->deviceLost = 0;
    }
    const u32 now = AppClockNow();
    if (now - clockOrigin < nextDue) {
        // A pass between two frames of a wait is the wait too: a script's
        // time follows the real clock through it, so a limit on the wait
        // (the input wait, the repair's) keeps its real length.
        if (paused == kPausedWaitingOnline || returnWaiting) plat::InputScriptPassWaited();
        AppClockSleep(1);
        return 0;
    }
    frameCount = frameCount == 0xFFFFFFFFu ? 0 : frameCount + 1;
    plat::SetScriptMark("scene", "battle");
    // A scripted battle plays the frames nobody looks at undrawn (the
    // battle is the same either way); the stepped clock never falls behind,
    // so the skipping below leaves this choice alone.
    if (plat::InputScriptLoaded()) app.frameDrawn = plat::BackBufferFramesHeld() ? 0 : 1;
    const i32 result = (this->*frameProc)();
    if (result == kTaskSceneReplaced) {
        // This object is gone; the next call belongs to the new scene.
        AppClockSleep(1);
        return 0;
    }
    if (result == 0) {
        lastFrameEnd = AppClockNow();
        if (static_cast<double>(frameCount) * kFrameMs <= static_cast<double>(lastFrameEnd - clockOrigin)) {
            u32& skipped = BattleSkipCounter();
            ++skipped;
            if (skipped < app.video.maxFrameSkip) {
                app.frameDrawn = 0;
            } else {
                // Re-base rather than catch up: the battle never races to
                // make up for lost time.
                clockOrigin = lastFrameEnd;
                frameCount = 0;
                skipped = 0;
                app.frameDrawn = 1;
            }
        } else {
            app.frameDrawn = 1;
        }
    } else if (result == 1) {
        clockOrigin = lastFrameEnd = AppClockNow();
        frameCount = 0;
    }
    nextDue = static_cast<u32>(static_cast<double>(frameCount) * kFrameMs);
    // Waiting on the other games or the server is no frame of a script's
    // time: it rests, and its limits keep their real length.
    if (paused == kPausedWaitingOnline || returnWaiting) plat::InputScriptPassWaited();
    AppClockSleep(1);
    return 0;
}

void CGameScene::OnDeviceLost()
{
    hdrTarget.Release();
}

i32 CGameScene::OnDeviceReset()
{
    const CApplication& app = *GetApplication();
    const u32 w = static_cast<u32>(app.video.screenWidth);
    const u32 h = static_cast<u32>(app.video.screenHeight);
    constexpr u32 kRenderTargetUsage = 1;
    if (app.video.hdr == 2) {
        const int made = hdrTarget.CreateBlank(w, h, 1, kRenderTargetUsage, plat::GfxFormat::A16B16G16R16F,
                                               plat::GfxPool::Default);
        if (made) return made;
    }
    return hdrTarget.CreateBlank(w, h, 1, kRenderTargetUsage, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default);
}

void CGameScene::InstallDeviceCallbacks()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->lostCallbacks[kBattleDeviceCallbackSlot] = DeviceLostCallback;
    gd->resetCallbacks[kBattleDeviceCallbackSlot] = DeviceResetCallback;
}

void CGameScene::Release()
{
    // The chat line goes with the battle.
    if (GetApplication()->textInputHandler == &CGameScene::ChatHook) GetApplication()->textInputHandler = nullptr;
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->lostCallbacks[kBattleDeviceCallbackSlot] = nullptr;
    gd->resetCallbacks[kBattleDeviceCallbackSlot] = nullptr;
    GetSoundManager().FreeSounds();
    // Every loader thread has ended before anything it writes into goes.
    JoinLoaders();
    battleMap.Clear();
    for (i32 i = 0; i < 20; ++i) {
        robotTypes[i].Release();
        shipTypes[i].Release();
    }
    for (MeshObject& m : meshes) m.Release();
    for (TextureHandle& t : effectTextures) t.Release();
    for (TextureHandle& t : interfaceTextures) t.Release();
    deleteQueue.clear();
    unitList.DeleteAll();
    weaponList.DeleteAll();
    laserDrawList.DeleteAll();
    effectList.DeleteAll();
    itemList.DeleteAll();
    otherList.DeleteAll();
    hdrTarget.Release();
    GetRoomState().inBattle = 0;
    GetApplication()->partInventory.Save("vant-D");
}

void CGameScene::LoaderSet::Run(void* arg)
{
    Job* job = static_cast<Job*>(arg);
    // Loads through full paths: the main thread may change folders meanwhile.
    job->scene->LoadRobotType(job->type);
    job->done.store(1, std::memory_order_release);
}

bool CGameScene::StartTypeLoader(i32 type)
{
    auto job = std::make_unique<LoaderSet::Job>();
    job->scene = this;
    job->type = type;
    LoaderSet::Job* raw = job.get();
    loaders->jobs.push_back(std::move(job));
    if (raw->thread.Start(&LoaderSet::Run, raw, plat::ThreadPriority::BelowNormal)) return true;
    raw->done.store(1, std::memory_order_release);
    return false;
}

bool CGameScene::WaitTypeLoaded(i32 type)
{
    if (type < 0 || type >= kRobotTypeCount) return false;
    // No time limit: whether a robot appears must not depend on how fast this
    // machine loads. Every loader ends, with the type loaded or refused. The
    // wait is for the type's loaders to end, not for its loaded flag: the
    // flag comes first, and a caller that then asks TypesLoading must not
    // find this type's loader still running.
    for (;;) {
        bool pending = false;
        for (const auto& job : loaders->jobs)
            if (job->type == type && !job->done.load(std::memory_order_acquire)) pending = true;
        // A loader that ended without the type loaded refused it.
        if (!pending) return robotTypes[type].loaded.load(std::memory_order_acquire) != 0;
        plat::Sleep(2);
    }
}

bool CGameScene::TypesLoading() const
{
    if (!loaders) return false;
    for (const auto& job : loaders->jobs)
        if (!job->done.load(std::memory_order_acquire)) return true;
    return false;
}

void CGameScene::JoinLoaders()
{
    if (!loaders) return;
    for (auto& job : loaders->jobs) job->thread.Join();
    loaders->jobs.clear();
}
