#pragma once
// Character selection: before an offline battle the player picks a robot, a
// pilot and, in survival, practice and team battle, a stage and a piece of
// music. The title starts it for those modes; the arcade screen runs it
// nested for player 1 or 2 and reads 10 (chosen) or 11 (cancelled) from
// Frame.
#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/Types.h"

class RobotModelData;
class TCB_SelectInterface;

inline constexpr i32 CharaSelectPictureSlots = 100;
inline constexpr i32 CharaSelectListSize = 50;

// Picture and sound slots of the scene.
enum CharaSelectSlot : i32 {
    CharaPictureDot = 2,
    CharaPictureRobotHeading = 3,  // "frameselection.png"
    CharaPicturePilotHeading = 4,  // "pilotselection.png", or the highlighted stage's large picture
    CharaPictureStageHeading = 5,  // "stageselection.png"
    CharaPictureMusicHeading = 6,  // "bgmselection.png"
    CharaSoundTurn = 0,
    CharaSoundDecide = 1,
    CharaSoundShift = 2,
    CharaSoundMusic = 100,
};

// The selection step the scene is in.
enum CharaSelectState : i32 {
    CharaStateRobot = 0,
    CharaStatePilot = 1,
    CharaStateStage = 2,
    CharaStateMusic = 3,
    CharaStateFadeIn = 4,
    CharaStateStarted = 5,
    CharaStateLeaving = 6,
};

// One listed robot with the texts of its "charaselect.sdt".
struct CharaSelectEntry {
    i32 robotIndex = 0;
    char name[100] = {};
    char weapon[5][100] = {};
    i32 extraInt = 0;
    f32 extraFloat = 0.0f;
};

// Reads a "charaselect.sdt" (plain 8-bit text: the name, five weapon lines,
// then "int,float"). A missing file leaves the entry's texts empty.
void ReadCharaSelectFile(const char* path, CharaSelectEntry& entry);

class CCharaSelectScene : public MenuScene {
public:
    CCharaSelectScene();
    ~CCharaSelectScene() override;

    // Builds the tasks, lists, rings and sounds; returns 0.
    i32 Init();
    // 0, -1 when a task replaced the scene, or 10 / 11 for the arcade screen.
    u32 Frame() override;
    void Release();
    static void OnDeviceLost();
    static void OnDeviceReset();

    // Enters "<BaseDir>/<folder>"; false (and nowhere else) when it is missing.
    bool EnterFolder(const char* folder);
    void ReturnToBase();
    // Drops the preview and loads robot type `robotType`'s "robo.hod" and
    // "Script.spt" in its place.
    void LoadPreview(i32 robotType);
    // The highlighted stage's large picture into the pilot heading's slot.
    void LoadStagePicture(i32 stage);
    // The robot listed at the robot ring's selection (null when none is).
    const CharaSelectEntry* SelectedEntry() const;

    TextureHandle pictures[CharaSelectPictureSlots];
    TextureHandle robotPictures[CharaSelectListSize];
    TextureHandle stagePictures[CharaSelectListSize];
    i32 robotEntryCount = 0;
    CharaSelectEntry robotEntries[CharaSelectListSize];
    RobotModelData* previewModel = nullptr;
    TCB_SelectInterface* robotRing = nullptr;
    TCB_SelectInterface* pilotRing = nullptr;
    TCB_SelectInterface* stageRing = nullptr;
    TCB_SelectInterface* bgmRing = nullptr;
    MeshObject meshes[CharaSelectPictureSlots];
    CCamera camera;
    f32 cameraAngle = 90.0f;
    TextureHandle bloomTarget;
    i32 state = CharaStateRobot;
    i32 playerIndex = 0;
    char baseDir[256] = {};
    char workDir[256] = {};

protected:
    i32 FrameBody() override;
    void DrawFrame() override;
};

CCharaSelectScene* GetCharaSelectScene();
BaseScene* GetCharaSelectSceneAsBase();
