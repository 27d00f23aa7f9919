#include "robot/Robot.h"

// Entries 1..33 are the weapons (they spend energy), 51..62 the effects and
// part sets; every other entry keeps the empty procedure Reset gave it.
void CRobot_Normal::FillFireProcTable()
{
    fireProcs[1] = &CRobot_Normal::FireProc01Beam;
    fireProcs[2] = &CRobot_Normal::FireProc02Beam;
    fireProcs[3] = &CRobot_Normal::FireProc03Missile;
    fireProcs[4] = &CRobot_Normal::FireProc04Missile2;
    fireProcs[5] = &CRobot_Normal::FireProc05Fannel;
    fireProcs[6] = &CRobot_Normal::FireProc06Bullet;
    fireProcs[7] = &CRobot_Normal::FireProc07Grenade;
    fireProcs[8] = &CRobot_Normal::FireProc08CrasyBall;
    fireProcs[9] = &CRobot_Normal::FireProc09Canon;
    fireProcs[10] = &CRobot_Normal::FireProc10Missile3;
    fireProcs[11] = &CRobot_Normal::FireProc11Bullet;
    fireProcs[12] = &CRobot_Normal::FireProc12Beam;
    fireProcs[13] = &CRobot_Normal::FireProc13Beam2;
    fireProcs[14] = &CRobot_Normal::FireProc14ThunderBeam;
    fireProcs[15] = &CRobot_Normal::FireProc15TrapLaser;
    fireProcs[16] = &CRobot_Normal::FireProc16Bomb;
    fireProcs[17] = &CRobot_Normal::FireProc17HiLaser;
    fireProcs[18] = &CRobot_Normal::FireProc18Canon;
    fireProcs[19] = &CRobot_Normal::FireProc19Missile4;
    fireProcs[20] = &CRobot_Normal::FireProc20FireBall;
    fireProcs[21] = &CRobot_Normal::FireProc21Beam2;
    fireProcs[22] = &CRobot_Normal::FireProc22DropCrystals;
    fireProcs[23] = &CRobot_Normal::FireProc23MagicCircle;
    fireProcs[24] = &CRobot_Normal::FireProc24HiLaser2;
    fireProcs[25] = &CRobot_Normal::FireProc25HiLaser2;
    fireProcs[26] = &CRobot_Normal::FireProc26Canon2;
    fireProcs[27] = &CRobot_Normal::FireProc27Explode;
    fireProcs[28] = &CRobot_Normal::FireProc28HiLaser2;
    fireProcs[29] = &CRobot_Normal::FireProc29ShieldThrow;
    fireProcs[30] = &CRobot_Normal::FireProc30Material;
    fireProcs[31] = &CRobot_Normal::FireProc31SwordThrow;
    fireProcs[32] = &CRobot_Normal::FireProc32Sword;
    fireProcs[33] = &CRobot_Normal::FireProc33Sword2;
    fireProcs[51] = &CRobot_Normal::FireProc51SelectPartSet0;
    fireProcs[52] = &CRobot_Normal::FireProc52SelectPartSet1;
    fireProcs[53] = &CRobot_Normal::FireProc53WindLines;
    fireProcs[54] = &CRobot_Normal::FireProc54WindRing2;
    fireProcs[55] = &CRobot_Normal::FireProc55SwordBeam;
    fireProcs[56] = &CRobot_Normal::FireProc56WindRing3;
    fireProcs[57] = &CRobot_Normal::FireProc57SwordBeamAtk;
    fireProcs[58] = &CRobot_Normal::FireProc58WindBow;
    fireProcs[59] = &CRobot_Normal::FireProc59PassCrystals;
    fireProcs[60] = &CRobot_Normal::FireProc60ThunderEffect;
    fireProcs[61] = &CRobot_Normal::FireProc61ControlMaterials;
    fireProcs[62] = &CRobot_Normal::FireProc62EffectAtAttachment;
}
