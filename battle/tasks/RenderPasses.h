#pragma once
// The render passes of a battle frame, created by the set-up in the order
// they draw in (equal priorities keep creation order). Passes whose drawing
// is not here yet draw nothing.
#include "battle/tasks/GMTCB.h"

class GMTCB_SetFog : public BattleTask<GMTCB_SetFog> {};
class GMTCB_BeginSHADOWState : public BattleTask<GMTCB_BeginSHADOWState> {};
class GMTCB_DrawCharaShadow : public BattleTask<GMTCB_DrawCharaShadow> {};
class GMTCB_DrawMapShadow : public BattleTask<GMTCB_DrawMapShadow> {};
class GMTCB_EndSHADOWState : public BattleTask<GMTCB_EndSHADOWState> {};

class GMTCB_DrawSkyDome : public BattleTask<GMTCB_DrawSkyDome> {
public:
    void Draw() override;
};

class GMTCB_DrawChara : public BattleTask<GMTCB_DrawChara> {};
class GMTCB_DrawMap : public BattleTask<GMTCB_DrawMap> {};
class GMTCB_DrawLaserXFile : public BattleTask<GMTCB_DrawLaserXFile> {};
class GMTCB_BeginHDRState : public BattleTask<GMTCB_BeginHDRState> {};
class GMTCB_DrawCharaHDR : public BattleTask<GMTCB_DrawCharaHDR> {};
class GMTCB_DrawLaserXFileHDR : public BattleTask<GMTCB_DrawLaserXFileHDR> {};
class GMTCB_EndHDRState : public BattleTask<GMTCB_EndHDRState> {};
class GMTCB_DrawAreaWall : public BattleTask<GMTCB_DrawAreaWall> {};

// Unlit, unfogged, no depth writes, both faces: the billboard passes between
// these two rely on it.
class GMTCB_DrawBeginStateBB : public BattleTask<GMTCB_DrawBeginStateBB> {
public:
    void Draw() override;
};

class GMTCB_DrawBB : public BattleTask<GMTCB_DrawBB> {};
class GMTCB_DrawLaser : public BattleTask<GMTCB_DrawLaser> {};

class GMTCB_DrawEndStateBB : public BattleTask<GMTCB_DrawEndStateBB> {
public:
    void Draw() override;
};

class GMTCB_DrawAlphaBuild : public BattleTask<GMTCB_DrawAlphaBuild> {};
class GMTCB_DrawHDRTex : public BattleTask<GMTCB_DrawHDRTex> {};
