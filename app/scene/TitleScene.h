#pragma once
// The title scene: the maker's logo once per run, then the title over a
// slowly orbiting earth with a star field, the start button, and the main
// menu of nine entries. Left alone on the title for 3,600 frames it starts a
// demonstration battle. All input is pad 0: START (12), CANCEL (13), and
// up (1) / down (3) for the menu cursor.
#include "app/Hooks.h"
#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "app/scene/Object.h"
#include "engine/graphics/MeshObject.h"
#include "engine/core/TaskList.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/Types.h"

class CStoryBase;
class TCB_FadeOut;

inline constexpr i32 TitlePictureSlots = 100;
inline constexpr i32 TitleMeshSlots = 100;
// Frames without input on the title before the demonstration battle starts.
inline constexpr i32 TitleIdleFrames = 3600;

// Picture, mesh and sound slots the title uses.
enum TitleSlot : i32 {
    TitlePictureLogo = 0,         // "Logo.png"
    TitlePictureDot = 2,          // "dot.png"
    TitlePictureMakerLogo = 3,    // "brevantholm.png"
    TitlePictureEarthGlow = 4,    // "earth_light.png"
    TitlePictureMakerShort = 5,   // "zel.png"
    TitleMeshEarth = 0,           // "earth.x"
    TitleMeshClouds = 1,          // "earth_c.x"
    TitleMeshSky = 2,             // "galaxy.x"
    TitleSoundDecide = 1,
    TitleSoundShift = 2,
    TitleSoundMusic = 99,
};

class CTitleScene : public MenuScene {
public:
    CTitleScene();
    // Clears the global, deletes the tasks, then releases the resources.
    ~CTitleScene() override;

    // Loads the pictures, meshes and sounds and creates the two tasks.
    void Init();
    // The task walk and the drawing of one frame; -1 when a task replaced
    // the scene.
    i32 Render();
    // Frees the sounds, the pictures and the meshes.
    void Release();

    TextureHandle pictures[TitlePictureSlots];
    MeshObject meshes[TitleMeshSlots];
    CObject objects[3];  // 0 earth, 1 sky, 2 clouds
    i32 idle = 0;        // frames since the player last acted on the title
    CCamera camera;
    i32 menuCount = TitleMenuEntries;
    char menuLabels[TitleMenuEntries][100] = {};

protected:
    i32 FrameBody() override { return Render(); }
};

CTitleScene* GetTitleScene();
BaseScene* GetTitleSceneAsBase();

// 1 until the first title scene of the run has shown the maker's logo.
extern i32 ShowLogoOnce;

// The title's input and 2D drawing: logo, press start, menu, menu choice.
class TTTCB_Normal : public TCB {
public:
    using Phase = i32 (TTTCB_Normal::*)();
    using DrawProc = void (TTTCB_Normal::*)();

    TTTCB_Normal();
    static TTTCB_Normal* Create(CList<TCB>* list, u32 priority);

    i32 Proc() override { return (this->*phase)(); }
    void DrawSP() override { (this->*draw)(); }

    i32 Proc_Logo();
    i32 Proc_PressStart();
    i32 Proc_Menu();
    i32 Proc_MenuSelect();
    void DrawSP_Logo();
    void DrawSP_PressStart();
    void DrawSP_Menu();

    i32 counter = 0;
    Phase phase = nullptr;
    DrawProc draw = nullptr;
    TCB_FadeOut* fade = nullptr;  // pending fade
    i32 cursor = 0;               // 0..8

private:
    i32 StartDemonstration(CTitleScene& scene);
    void SetPhase(Phase next, DrawProc nextDraw);
};

// The earth, the clouds, the sky sphere, the glow and the stars, with the
// camera slowly orbiting.
class TTTCB_Earth : public TCB {
public:
    static constexpr i32 StarCount = 10000;

    TTTCB_Earth();
    ~TTTCB_Earth() override;
    static TTTCB_Earth* Create(CList<TCB>* list, u32 priority);

    i32 Proc() override;
    void Draw() override;

    f32 yaw = 45.0f;  // degrees
    f32 cloudAngle = 0.0f;
    f32 distance = 5.0f;
    u32 frame = 0;
    plat::GfxVertexBuffer* stars = nullptr;
    i32 starCount = 0;
};
