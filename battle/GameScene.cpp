// The battle scene's life: the getter and the process-wide skip counter.
#include "battle/GameScene.h"

namespace {

CGameScene*& SceneGlobal()
{
    static CGameScene* scene = nullptr;
    return scene;
}

}  // namespace

u32& BattleSkipCounter()
{
    static u32 counter = 0;
    return counter;
}

CGameScene* FindGameScene() { return SceneGlobal(); }

// The set-up lands with the stage and robot types; until then no battle is built.
CGameScene* GetGameScene() { return SceneGlobal(); }
