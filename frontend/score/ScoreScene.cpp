#include "frontend/score/ScoreScene.h"

#include <algorithm>

#include "app/core/Application.h"
#include "app/scene/Fade.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SharedPictures.h"
#include "app/scene/TitleScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "app/scene/RankingList.h"
#include "platform/input/Keyboard.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 kKeyMs = 1000;
constexpr i32 kTables = 4;

bool Key(i32 vk) { return GetApplication()->IsKeyRepeat(static_cast<u32>(vk), kKeyMs) != 0; }

}  // namespace

const char* ScoreTableTitle(i32 index)
{
    static const char* const kTitles[kTables] = {"[Arcade]\n Easy", "[Arcade]\n Normal", "[Arcade]\n Hard",
                                                 "[Survival]"};
    return kTitles[std::clamp(index, 0, kTables - 1)];
}

CScoreScene* GetScoreScene() { return GetSceneInstance<CScoreScene>(); }
BaseScene* GetScoreSceneAsBase() { return GetScoreScene(); }

CScoreScene::~CScoreScene()
{
    tasks.DeleteAll();
    if (SceneInstance<CScoreScene>() == this) SceneInstance<CScoreScene>() = nullptr;
}

void CScoreScene::Init()
{
    SceneInstance<CScoreScene>() = this;
    if (SCTCB_Normal* task = SCTCB_Normal::Create(&tasks, 1)) {
        task->tableIndex = 0;
        task->ShowTable(0);
    }
}

i32 CScoreScene::FrameBody()
{
    if (MenuScene::FrameBody() == kTaskSceneReplaced) return kTaskSceneReplaced;
    ++frame;
    return 0;
}

void CScoreScene::DrawFrame()
{
    static const SceneLight kLight{Vec3(0.3f, -0.7f, -0.5f), ColorF(0.7f, 0.7f, 0.7f, 1.0f),
                                   ColorF(0.1f, 0.1f, 0.1f, 1.0f), ColorF(1.0f, 1.0f, 1.0f, 1.0f)};
    DrawSceneTasksFrame(tasks, camera.world, kLight, 0.785398f, ScreenAspect(), 0.01f, 1000.0f);
}

SCTCB_Normal* SCTCB_Normal::Create(CList<TCB>* list, u32 priority) { return CreateInList<SCTCB_Normal>(list, priority); }

void SCTCB_Normal::ShowTable(i32 index)
{
    if (list) list->closing = 1;
    list = TCB_RankingList::Create(static_cast<CList<TCB>*>(owner), 100);
    if (!list) return;
    list->Start(&GetApplication()->rankingTables[std::clamp(index, 0, kTables - 1)], 1024.0f);
    list->title = ScoreTableTitle(index);
}

i32 SCTCB_Normal::Phase_Browse()
{
    if (list) list->x = std::max(list->x - 40.0f, 0.0f);
    if (Key(plat::vk::Escape)) {
        phase = &SCTCB_Normal::Phase_Leave;
        counter = 0;
        return kTaskKeep;
    }
    if (Key(plat::vk::Return) || Key(plat::vk::Right)) {
        tableIndex = tableIndex >= kTables - 1 ? 0 : tableIndex + 1;
        ShowTable(tableIndex);
    }
    if (Key(plat::vk::Left)) {
        tableIndex = tableIndex <= 0 ? kTables - 1 : tableIndex - 1;
        ShowTable(tableIndex);
    }
    ++counter;
    return kTaskKeep;
}

i32 SCTCB_Normal::Phase_Leave()
{
    if (counter == 0)
        if (TCB_FadeOut* fade = TCB_FadeOut::Create(static_cast<CList<TCB>*>(owner), 10000)) fade->speed = 10;
    if (counter < 61) {
        ++counter;
        return kTaskKeep;
    }
    SwitchScene(*GetApplication(), GetTitleSceneAsBase);
    return kTaskSceneReplaced;
}

void SCTCB_Normal::DrawSP()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    TextureHandle& back = GetSharedPicture(SharedPicture::Back);
    if (!gd->sprite || !back.texture) return;
    const CApplication& app = *GetApplication();
    plat::MatrixScaling(&transform, app.video.screenScaleX, app.video.screenScaleY, 1.0f);
    gd->sprite->SetTransform(transform);
    gd->sprite->Draw(back.texture, &back.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
}
