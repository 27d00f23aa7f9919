#pragma once
// The render passes of a battle frame, created by the set-up in the order
// they draw in (equal priorities keep creation order). Each pass sets back
// the render states it changes, or its end task does.
#include "battle/tasks/GMTCB.h"
#include "platform/math/MathTypes.h"

class CGameScene;
class CRobot_Base;

inline constexpr u32 kUnderwaterFogColour = 0xFF1D4E77u;

// Alpha test on or off with its reference and comparison.
void SetAlphaTestState(u32 enable, u32 reference, u32 function);
// The robot the current view watches, or null.
CRobot_Base* WatchedRobot(const CGameScene& scene);
// The fog range and colour of the view: underwater when the camera is below
// the water of the cell under the watched robot, else the stage's fog.
void BattleFog(const CGameScene& scene, const Vec3& watched, f32* start, f32* end, u32* colour);
// Linear fog from start to end in the colour for the effect wrappers (the
// device's own fog is the caller's).
void SetEffectFog(f32 start, f32 end, u32 colour);
// The bloom's last picture added over the rectangle (fog off meanwhile).
void DrawGlowResult(f32 x, f32 y, f32 width, f32 height);

#define QUILLON_DRAW_TASK(name)                 \
    class name : public BattleTask<name> {      \
    public:                                     \
        void Draw() override;                   \
    }

QUILLON_DRAW_TASK(GMTCB_SetFog);
QUILLON_DRAW_TASK(GMTCB_BeginSHADOWState);
QUILLON_DRAW_TASK(GMTCB_DrawCharaShadow);
QUILLON_DRAW_TASK(GMTCB_DrawMapShadow);
QUILLON_DRAW_TASK(GMTCB_EndSHADOWState);

class GMTCB_DrawSkyDome : public BattleTask<GMTCB_DrawSkyDome> {
public:
    void Draw() override;
};

QUILLON_DRAW_TASK(GMTCB_DrawChara);
QUILLON_DRAW_TASK(GMTCB_DrawMap);
QUILLON_DRAW_TASK(GMTCB_DrawLaserXFile);
QUILLON_DRAW_TASK(GMTCB_BeginHDRState);
QUILLON_DRAW_TASK(GMTCB_DrawCharaHDR);
QUILLON_DRAW_TASK(GMTCB_DrawLaserXFileHDR);
QUILLON_DRAW_TASK(GMTCB_EndHDRState);
QUILLON_DRAW_TASK(GMTCB_DrawAreaWall);

// Unlit, unfogged, no depth writes, both faces: the billboard passes between
// these two rely on it.
class GMTCB_DrawBeginStateBB : public BattleTask<GMTCB_DrawBeginStateBB> {
public:
    void Draw() override;
};

QUILLON_DRAW_TASK(GMTCB_DrawBB);
QUILLON_DRAW_TASK(GMTCB_DrawLaser);

class GMTCB_DrawEndStateBB : public BattleTask<GMTCB_DrawEndStateBB> {
public:
    void Draw() override;
};

QUILLON_DRAW_TASK(GMTCB_DrawAlphaBuild);
QUILLON_DRAW_TASK(GMTCB_DrawHDRTex);

#undef QUILLON_DRAW_TASK
