#pragma once
// The local versus room: up to four people at one machine, each on a pad of
// their own, set up a battle on one screen. Each pad walks its own cursor
// over four player panels (slot, robot, pilot, team, control, ready); once
// every taken slot is ready the rules and then the stage are chosen, and
// the stage's decision starts the local battle.
#include "app/scene/BaseScene.h"
#include "engine/graphics/TextureManager.h"
#include "platform/gfx/Gfx.h"
#include "platform/core/Types.h"

class TCB_SelectInterface;

inline constexpr i32 VSRoomPictureSlots = 100;
inline constexpr i32 VSRoomStageSlots = 50;
inline constexpr i32 VSRoomRobotSlots = 100;
inline constexpr i32 VSRoomPads = 4;
// The white dot the rectangles stretch ("Quillon/dot.png").
inline constexpr i32 VSRoomPictureDot = 3;

class CVSRoomScene : public MenuScene {
public:
    CVSRoomScene() = default;
    ~CVSRoomScene() override;

    // Builds the tasks and the stage ring and loads the pictures; run once
    // by the getter after it has stored the scene.
    void Init();
    void Release();
    // All 20 participants reset, then slots 0..3 players on teams 0, 1, 0, 1
    // with the first pilot.
    static void ResetPlayers();

    // Robots and stages the room offers (folders beyond its tables are left out).
    i32 RobotCount() const;
    i32 StageCount() const;

    // Rectangles in 1024 x 768 layout units, drawn with the dot picture.
    void FillRect(f32 x, f32 y, f32 width, f32 height, u32 colour);
    void DrawFrameRect(const plat::GfxRect& rect, u32 colour);
    void DrawFrameRectAt(f32 x, f32 y, const plat::GfxRect& rect, u32 colour);

    TextureHandle pictures[VSRoomPictureSlots];
    TextureHandle stagePictures[VSRoomStageSlots];
    TCB_SelectInterface* stageRing = nullptr;
    i32 joined[VSRoomPads] = {1, 0, 0, 0};
    u8 ready[VSRoomPads] = {};
    i32 slotCursor[VSRoomPads] = {0, 1, 2, 3};
    i32 step[VSRoomPads] = {};
    // A robot's "Select.png", loaded the first time it is shown: a room of
    // many robot types never holds pictures nobody looks at.
    TextureHandle& RobotPicture(i32 robot);
    TextureHandle robotPictures[VSRoomRobotSlots];
    bool robotPictureTried[VSRoomRobotSlots] = {};
    char robotNames[VSRoomRobotSlots][100] = {};
    u32 frameCounter = 0;

protected:
    i32 FrameBody() override;
    void DrawFrame() override;
};

CVSRoomScene* GetVSRoomScene();
BaseScene* GetVSRoomSceneAsBase();

// Where the room leads; tests put their own scenes here.
struct VSRoomExits {
    SceneGetter battle = nullptr;  // the battle scene
    SceneGetter title = nullptr;   // the title scene
};
VSRoomExits& GetVSRoomExits();
