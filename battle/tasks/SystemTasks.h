#pragma once
// The battle's system tasks: the start sequence and banner, the function and
// radio keys, the object run with its deferred deletion, the hit tests, the
// camera, the sound listener and the fade back to the title.
#include "battle/tasks/GMTCB.h"
#include "platform/math/MathTypes.h"

class CGameScene;
class GMTCB_DrawPS_Black;
class GMTCB_DrawPS_Picture;

// The battle-start banner: fades in, holds, fades out.
class GMTCB_Proc_GameStartDisp : public BattleTask<GMTCB_Proc_GameStartDisp> {
public:
    i32 Proc() override;
    virtual void Start();

    i32 counter = 0;
    i8 phase = 0; // 0 fade in, 1 hold, 2 fade out
    GMTCB_DrawPS_Picture* banner = nullptr;
};

// Fades the battle in from black, then lets the robots act.
class GMTCB_GameStart : public BattleTask<GMTCB_GameStart> {
public:
    void Setup();
    i32 Proc() override;
    // The fade ends at once, its cover goes, and no unit is let act by it:
    // a repair decides that on every client alike.
    void Cut(CGameScene& scene);

    i32 fade = 255;
    GMTCB_DrawPS_Black* cover = nullptr;
};

// Places the camera and rebuilds the view frustum in each drawn view.
class GMTCB_Camera : public BattleTask<GMTCB_Camera> {
public:
    void Draw() override;
};

// Function keys, radio voice keys, the end of a demonstration battle and the
// practice keys.
class GMTCB_SystemKey : public BattleTask<GMTCB_SystemKey, GMTCB> {
public:
    i32 Proc() override;
};

// Runs every battle object, deletes finished ones after their grace frames,
// keeps the sky around the camera, sinks destroyed map objects and opens the
// pause menu.
class GMTCB_ObjectRun : public BattleTask<GMTCB_ObjectRun> {
public:
    i32 Proc() override;
};

// Every collision pass, after every object has moved.
class GMTCB_HitTestRun : public BattleTask<GMTCB_HitTestRun> {
public:
    i32 Proc() override;
};

// Moves the 3D sound listener with the camera of the last drawn frame.
class GMTCB_Listener : public BattleTask<GMTCB_Listener> {
public:
    i32 Proc() override;
};

// Fades to black and returns to the title.
class GMTCB_GoTitle : public BattleTask<GMTCB_GoTitle> {
public:
    void Start(CGameScene* scene);
    i32 Proc() override;

    i32 fade = 0;
    GMTCB_DrawPS_Black* overlay = nullptr;
};

// The smallest box holding a box transformed by a matrix (its 8 corners).
void TransformAabb(Vec3* outMin, Vec3* outMax, const Vec3& boxMin, const Vec3& boxMax, const Mat4& matrix);

// Runs the window procedure for every waiting window event; a quit request
// sets the quit flag for the main loop.
void ServeWindowEvents();
// How long the go-to-title task waits before the title appears, serving the
// window meanwhile (a test shortens it).
struct GoTitleWait {
    u32 ms = 1000;
};
GoTitleWait& GetGoTitleWait();
