#pragma once
// The hangar: one of the player's robots standing in a lit building, seen
// by a slow idle camera, with menus to change the robot shown, its paint
// and the equipment parts it carries. Changes go straight into the part
// inventory, which is saved as each one is made, and again when the hangar
// is left.
#include <memory>

#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/TextureManager.h"
#include "frontend/charaselect/CharaSelectScene.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class HGTCB_Camera;
class RobotModelData;
struct RobotRecord;

inline constexpr i32 HangarRobotSlots = 50;

enum HangarMeshSlot : i32 {
    HangarMeshBuilding = 0,  // "hangar.x"
    HangarMeshShadowCaster = 1,  // "hangar_shadowmap.x"
    HangarMeshCount = 2,
};

// A mesh placed in the hangar.
struct HangarObject {
    MeshObject* mesh = nullptr;
    Mat4 world = Mat4::Identity();
};

class CHangarScene : public MenuScene {
public:
    CHangarScene();
    ~CHangarScene() override;

    i32 Init();
    void Release();
    static void OnDeviceLost();
    static void OnDeviceReset();

    // Releases the shown robot's model and loads entry `entry`'s
    // "hangar.hod" in its place; that entry becomes the one shown.
    void ShowRobot(i32 entry);
    // The record of the robot shown (record 0 when nothing is listed).
    RobotRecord& ShownRecord() const;
    // The shown robot's colour set: its chosen set when that is owned,
    // else its first owned set, else 0.
    i32 ShownColourSet() const;
    RobotModelData* ShownModel() const;
    // Writes the part inventory after a menu changed it, so a crash loses
    // no more than the change under way. A save that fails keeps the old
    // file and tells the player in the notice strip; leaving tries again.
    void SaveChange();
    // 1 when the inventory was last written (a change or leaving); 0 when
    // it could not be (the player was told).
    i32 lastSaveResult = -1;
    // Only a hangar that was set up has anything to save when it goes.
    bool initialised = false;

    u32 frameCounter = 0;
    u32 shadowOn = 0;
    CCamera camera;
    TextureHandle dot;
    MeshObject meshes[HangarMeshCount];
    TextureHandle glowTarget;
    HGTCB_Camera* cameraTask = nullptr;
    i32 robotCount = 0;
    CharaSelectEntry robots[HangarRobotSlots];
    CharaSelectEntry current;
    std::unique_ptr<RobotModelData> models[HangarRobotSlots];
    i32 selected = 0;
    HangarObject building;
    HangarObject shadowCaster;

protected:
    i32 FrameBody() override;
    void DrawFrame() override;
};

CHangarScene* GetHangarScene();
BaseScene* GetHangarSceneAsBase();
