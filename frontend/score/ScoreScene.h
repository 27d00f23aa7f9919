#pragma once
// The title's ranking screen: one of the four ranking tables at a time,
// turned with the arrow keys (Enter turns forward too), Escape back to the
// title.
#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class TCB_RankingList;

class CScoreScene : public MenuScene {
public:
    CScoreScene() = default;
    ~CScoreScene() override;
    void Init();

    CCamera camera;
    i32 frame = 0;

protected:
    i32 FrameBody() override;
    void DrawFrame() override;
};

CScoreScene* GetScoreScene();
BaseScene* GetScoreSceneAsBase();

class SCTCB_Normal : public TCB {
public:
    using Phase = i32 (SCTCB_Normal::*)();

    static SCTCB_Normal* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override { return (this->*phase)(); }
    void DrawSP() override;

    i32 Phase_Browse();
    i32 Phase_Leave();
    // Closes the list shown and slides table index in from the right.
    void ShowTable(i32 index);

    CScoreScene* scene = SceneInstance<CScoreScene>();
    Phase phase = &SCTCB_Normal::Phase_Browse;
    i32 counter = 0;
    i32 tableIndex = 0;
    TCB_RankingList* list = nullptr;
    Mat4 transform = Mat4::Identity();
};

// The list title of score-scene table 0..3.
const char* ScoreTableTitle(i32 index);
