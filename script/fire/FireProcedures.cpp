// The fire procedures. Each one's shots come with its weapon; until then a
// procedure does nothing and spends nothing, like an empty entry.
#include "robot/Robot.h"

void CRobot_Normal::FireProc05Fannel(const i32*) {}
void CRobot_Normal::FireProc07Grenade(const i32*) {}
void CRobot_Normal::FireProc08CrasyBall(const i32*) {}
void CRobot_Normal::FireProc15TrapLaser(const i32*) {}
void CRobot_Normal::FireProc16Bomb(const i32*) {}
void CRobot_Normal::FireProc22DropCrystals(const i32*) {}
void CRobot_Normal::FireProc29ShieldThrow(const i32*) {}
void CRobot_Normal::FireProc31SwordThrow(const i32*) {}
void CRobot_Normal::FireProc32Sword(const i32*) {}
void CRobot_Normal::FireProc33Sword2(const i32*) {}
void CRobot_Normal::FireProc59PassCrystals(const i32*) {}
