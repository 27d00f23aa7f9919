// Robot and ship placement and the mode rules given to robots. The robots'
// spawning and their mode callbacks are built with the robots themselves;
// until then nothing is placed and no rule is attached.
#include "battle/GameScene.h"

CRobot_Normal* CGameScene::SpawnRobot(i32, f32, f32, f32, f32, i32, u8, i32, f32, CGameItemBase* const*)
{
    return nullptr;
}

CRobot_Normal* CGameScene::SpawnRobotAtStartPoint(i32, i32, f32, i32, u8, i32, CGameItemBase* const*)
{
    return nullptr;
}

CShip* CGameScene::SpawnShip(i32, f32, f32, f32, f32, i32, u8, i32, f32)
{
    return nullptr;
}

void CGameScene::AttachModeCallbacks(CRobot_Normal*, BattleRole) {}

// The pause menus come with their own tasks; without one the battle never
// pauses, since nothing could resume it.
bool CGameScene::OpenPauseMenu() { return false; }
