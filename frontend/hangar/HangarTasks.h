#pragma once
// The hangar's display tasks: the black fade over the 3D picture, the idle
// camera with its six shots, and the building with the robot in it.
#include "engine/core/TaskList.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class CHangarScene;

// A task of the hangar; it keeps the scene that was current when it was made.
class HGTCB : public TCB {
public:
    HGTCB();
    CHangarScene* scene;
};

// Darkens the 3D picture (not the menus): phase 0 darkens by 200 a frame to
// 25500, phase 1 clears by 100 a frame and ends the task at 0.
class HGTCB_FadeInOut : public HGTCB {
public:
    static constexpr i32 FullLevel = 25500;
    static HGTCB_FadeInOut* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    void Draw() override;

    i32 phase = 0;
    i32 level = 0;
};

// One shot of the idle camera.
struct HangarShot {
    f32 start[3];
    f32 angleDegrees;
    f32 drift[3];
    i32 length;
};
inline constexpr i32 HangarShotCount = 6;
extern const HangarShot HangarShots[HangarShotCount];

// The idle camera: six slow shots in a loop, each change hidden behind a
// fade to black.
class HGTCB_Camera : public HGTCB {
public:
    static HGTCB_Camera* Create(CList<TCB>* list, u32 priority);
    void Draw() override;
    // Starts the cycle again from shot 0 without a fade.
    void Restart();
    // The point shot `shot` looks at in its frame f.
    static Vec3 Target(i32 shot, i32 f);

    i32 shot = 0;
    i32 frameInShot = 0;
    HGTCB_FadeInOut* fade = nullptr;
};

// The display keys (F4 glow, F5 shadows), the robot's pose, and the
// building and robot with shadows, fog and glow.
class HGTCB_Normal : public HGTCB {
public:
    static HGTCB_Normal* Create(CList<TCB>* list, u32 priority);
    i32 Proc() override;
    void Draw() override;
};
