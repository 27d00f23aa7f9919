#include "frontend/vsroom/VSRoomScene.h"

#include <cstdio>
#include <string>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RobotNameReader.h"
#include "app/scene/Camera.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SelectInterface.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/TitleScene.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "frontend/vsroom/VSRoomTasks.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"

namespace {

BaseScene* RealBattle() { return GetGameScene(); }

// Enters "<base>/<folder>"; false (and nowhere else) when that fails.
bool EnterFolder(const std::string& base, const char* folder)
{
    return plat::SetCurrentDirectory((base + "/" + folder).c_str());
}

}  // namespace

VSRoomExits& GetVSRoomExits()
{
    static VSRoomExits exits{RealBattle, GetTitleSceneAsBase};
    return exits;
}

CVSRoomScene::~CVSRoomScene()
{
    tasks.DeleteAll();
    Release();
    if (SceneInstance<CVSRoomScene>() == this) SceneInstance<CVSRoomScene>() = nullptr;
}

i32 CVSRoomScene::RobotCount() const
{
    const u32 n = GetApplication()->robotFolders.count;
    const u32 fit = u32(sizeof GetApplication()->robotFolders.names / sizeof GetApplication()->robotFolders.names[0]);
    return i32(n < fit ? n : fit);
}

i32 CVSRoomScene::StageCount() const
{
    const u32 n = GetApplication()->stageFolders.count;
    return i32(n < u32(VSRoomStageSlots) ? n : u32(VSRoomStageSlots));
}

void CVSRoomScene::Init()
{
    CApplication& app = *GetApplication();
    VSTCB_System::Create(&tasks, 1);
    VSTCB_Normal::Create(&tasks, 1);
    stageRing = TCB_SelectInterface::Create(&tasks, 15);
    joined[0] = 1;

    const std::string base = app.startupDir;
    const i32 robots = RobotCount();
    for (i32 i = 0; i < robots; ++i) {
        RobotNameReader reader;
        const std::string path = base + "/" + app.robotFolders.names[i] + "/Script.spt";
        reader.Load(path.c_str());
        std::snprintf(robotNames[i], sizeof robotNames[i], "%s", reader.name);
    }

    if (EnterFolder(base, "Quillon")) LoadPicture(pictures[VSRoomPictureDot], "dot.png");
    plat::SetCurrentDirectory(base.c_str());
    GetPilotRegistry()->LoadPilotHeaders();

    const i32 stages = StageCount();
    if (stageRing) stageRing->Setup(stages, 309, 200, 150, 0, 0.0f);
    for (i32 i = 0; i < stages; ++i) {
        if (EnterFolder(base, app.stageFolders.names[i])) {
            LoadPicture(stagePictures[i], "SelectImage_s.png");
            plat::SetCurrentDirectory(base.c_str());
        }
        if (stageRing) stageRing->pictures[i] = &stagePictures[i];
    }
    // Hidden but still running, so its selection keeps easing.
    if (stageRing) stageRing->visible = 0;
}

TextureHandle& CVSRoomScene::RobotPicture(i32 robot)
{
    TextureHandle& picture = robotPictures[robot];
    if (!robotPictureTried[robot]) {
        robotPictureTried[robot] = true;
        const CApplication& app = *GetApplication();
        const std::string file = std::string(app.startupDir) + "/" + app.robotFolders.names[robot] + "/Select.png";
        LoadPicture(picture, file.c_str());
    }
    return picture;
}

void CVSRoomScene::Release()
{
    for (auto& p : stagePictures) p.Release();
    for (auto& p : robotPictures) p.Release();
    for (bool& tried : robotPictureTried) tried = false;
    for (auto& p : pictures) p.Release();
}

void CVSRoomScene::ResetPlayers()
{
    CApplication& app = *GetApplication();
    for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
    for (i32 i = 0; i < VSRoomPads && i < app.players.GetCount(); ++i) {
        app.players[i].slotState = 1;
        app.players[i].team = i % 2;
        app.players[i].pilot = 0;
    }
}

i32 CVSRoomScene::FrameBody()
{
    if (RunTaskProcs(tasks) == kTaskSceneReplaced) return kTaskSceneReplaced;
    DrawFrame();
    ++frameCounter;
    return 0;
}

void CVSRoomScene::DrawFrame()
{
    SceneDrawFrame(
        [](void* list) {
            GraphicsDevice* gd = GetGraphicsDevice();
            if (plat::GfxDevice* d = gd->device) {
                d->SetSamplerState(0, plat::GfxSamplerState::MinFilter, plat::FilterLinear);
                d->SetSamplerState(0, plat::GfxSamplerState::MagFilter, plat::FilterLinear);
                d->SetSamplerState(0, plat::GfxSamplerState::MipFilter, plat::FilterLinear);
                plat::MatrixPerspectiveFovLH(&gd->projection, 0.785398f, 1.3333334f, 0.1f, 10000.0f);
                d->SetTransform(plat::GfxTransform::Projection, gd->projection);
            }
            SetAlphaBlend();
            RunTaskDraws(*static_cast<CList<TCB>*>(list));
        },
        [](void* list) { RunTaskSprites(*static_cast<CList<TCB>*>(list)); }, &tasks);
}

void CVSRoomScene::FillRect(f32 x, f32 y, f32 width, f32 height, u32 colour)
{
    FillLayoutRect(pictures[VSRoomPictureDot].texture, x, y, width, height, colour);
}

void CVSRoomScene::DrawFrameRect(const plat::GfxRect& r, u32 colour)
{
    const f32 width = f32(r.right - r.left + 2);
    const f32 height = f32(r.bottom - r.top);
    FillRect(f32(r.left), f32(r.top), width, 2.0f, colour);
    FillRect(f32(r.left), f32(r.bottom - 2), width, 2.0f, colour);
    FillRect(f32(r.left), f32(r.top), 2.0f, height, colour);
    FillRect(f32(r.right), f32(r.top), 2.0f, height, colour);
}

void CVSRoomScene::DrawFrameRectAt(f32 x, f32 y, const plat::GfxRect& r, u32 colour)
{
    const plat::GfxRect moved{r.left + i32(x), r.top + i32(y), r.right + i32(x), r.bottom + i32(y)};
    DrawFrameRect(moved, colour);
}

CVSRoomScene* GetVSRoomScene() { return GetSceneInstance<CVSRoomScene>(); }
BaseScene* GetVSRoomSceneAsBase() { return GetVSRoomScene(); }
