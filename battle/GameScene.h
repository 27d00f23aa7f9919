#pragma once
// The battle scene: one object per battle, holding the task list that runs
// everything, the stage, the robot and ship type tables, the texture, mesh
// and view tables, every list of live battle objects, the team arrays, the
// fixed 60 frames-per-second clock and the lock robot loaders hold. Every
// battle subsystem reaches it through GetGameScene().
#include <atomic>
#include <memory>
#include <vector>

#include "app/core/GameSettings.h"
#include "app/scene/BaseScene.h"
#include "app/scene/Camera.h"
#include "battle/BattleObject.h"
#include "engine/core/FixedArray.h"
#include "engine/core/Queue.h"
#include "engine/core/TaskList.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/TextureManager.h"
#include "engine/graphics/ViewFrustum.h"
#include "platform/core/Thread.h"
#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "weapon/WeaponScene.h"

class BattleMap;      // battle/stage/BattleMap.h
class MapHitInfo;     // battle/stage/BattleMap.h
class RobotModelData; // robot/RobotType.h
class CRobot_Base;    // robot/Robot.h
class CRobot_Normal;  // robot/Robot.h
class CShip;          // robot/Robot.h
struct RobotSpawn;    // robot/Robot.h
struct RobotState;    // robot/RobotStateRecord.h
class CGameItemBase;  // app/player/GameItem.h
class PlayerEntry;    // app/player/PlayerEntry.h
struct FolderList;    // app/core/Application.h

// The mode rules a robot is given by the set-up (its callback lists).
enum class BattleRole : u32 {
    SurvivalPlayer,
    SurvivalOpponent,
    Respawn,
    PracticeOpponent,
    TeamUnitDown,
    LocalNextBody,
    LocalTeamCost,
    NetRule0,
    NetRule1,
    NetRule2,
    NetRule3,
    NetRule4,
};

inline constexpr i32 kRobotTableSize = 20;
inline constexpr i32 kTeamArraySize = 21;
inline constexpr i32 kRobotTypeCount = 50;
inline constexpr i32 kShipTypeCount = 20;
inline constexpr i32 kBattleTextureCount = 100;
inline constexpr i32 kBattleMeshCount = 100;
inline constexpr i32 kRenderViewCount = 4;
inline constexpr i32 kGlowMaterialCount = 100;
inline constexpr u32 kSpectatorTeam = 100;

// Battle mesh table entries.
inline constexpr i32 kMeshItem = 0;
inline constexpr i32 kMeshItem2 = 1;
inline constexpr i32 kMeshMissile = 2;

// Battle sound-manager slots (entry k plays only when the table holds more
// than k sounds).
enum BattleSound : i32 {
    kSoundShot = 0,
    kSoundFootstep = 1,
    kSoundLanding = 2,
    kSoundExplodeM = 3,
    kSoundExplodeL = 4,
    kSoundBurner = 5,
    kSoundShot2 = 6,
    kSoundBeamHit = 7,
    kSoundFunnel = 8,
    kSoundSword = 9,
    kSoundSword2 = 10,
    kSoundBeamHit2 = 11,
    kSoundGuard = 12,
    kSoundBullet = 13,
    kSoundBurst = 14,
    kSoundBulletHit = 15,
    kSoundBeamReflect = 16,
    kSoundTransform = 17,
    kSoundRadioOpen = 97,
    kSoundRadioClose = 98,
    kSoundCursor = 99,
    kSoundMusic = 100,
    kBattleSoundSlots = 101,
};

// One view of the back buffer (split screen).
struct RenderView {
    RenderView();
    u32 active = 0;
    plat::GfxViewport viewport;
    CFixedArray<Mat4> matrices; // 20, identity
    u32 player = 0;             // robot-table slot this view shows
};

// A finished battle object waiting out its grace frames before it is freed:
// other objects may still read its finished flag for two frames. The scene
// keeps them in one array, oldest first, walked every frame.
struct BB_DelNode {
    CList<BB_Base>* list = nullptr;
    BB_Base* object = nullptr;
    i32 countdown = 0;
};

// Element of the scene's miscellaneous object list; the weapons and effects
// that use it derive from it.
class CEtcList : public CListNode<CEtcList> {
public:
};

// Kill report read by the head-up display and the judges.
class KillEventQueueNode : public CQueueNode<KillEventQueueNode> {
public:
    u32 first = 0;
    u32 second = 0;
};

// Spare tables the scene builds for the robot and weapon code.
struct NestedArrayEntry {
    NestedArrayEntry();
    u16 value = 0;
    CFixedArray<u16> values; // 10, zero
};
struct NestedArrayRecord {
    NestedArrayRecord();
    u32 value = 0;
    CFixedArray<NestedArrayEntry> entries; // 10
};

// Late frames since the last re-base; one counter for the whole process.
u32& BattleSkipCounter();
// Device callback slot of the battle's HDR target.
inline constexpr int kBattleDeviceCallbackSlot = 3;

// The value of the scene's paused flag while an online battle only waits:
// for a late input, a peer still loading, or a repair.
inline constexpr u32 kPausedWaitingOnline = 2;

class CGameScene : public BaseScene {
public:
    using FrameProc = i32 (CGameScene::*)();

    CGameScene();
    ~CGameScene() override;

    // The fixed-rate clock: runs the frame procedure when a frame is due.
    u32 Frame() override;
    // The battle set-up; run once by GetGameScene before the clock starts.
    i32 Init();
    // The battle's clean-up; the destructor runs it first.
    void Release();
    void OnDeviceLost();
    i32 OnDeviceReset();
    // Makes OnDeviceLost and OnDeviceReset the device's callbacks for the battle.
    void InstallDeviceCallbacks();

    // Frame procedures: 0 a frame ran, -1 the scene was replaced, 1 re-base
    // the clock.
    i32 Proc_Normal();
    i32 Proc_Stereo();
    // The online lockstep procedures (waiting for every client, and the way
    // back to the room).
    i32 Proc_NetWaitStart();
    i32 Proc_NetBattle();
    i32 Proc_NetResync();
    i32 Proc_ReturnToRoom();
    // A set-up that left the battle without its stage or a robot without its
    // type: the notice shows on its own screen for a while, then the player
    // goes back to where the battle was chosen.
    i32 Proc_SetupFailed();
    void FailSetup(const char* text);
    bool setupFailed = false;
    bool settingUp = false;
    u32 setupFailedFrames = 0;
    // The received inputs of the frame input-delay frames back, when every
    // networked robot's has arrived (1), else nothing is applied (0).
    i32 ApplyNetInputs();
    // The participant's robot as a snapshot block for a repair.
    void SendRobotSnapshotOf(u32 slot, CRobot_Base* robot);
    // The battle's chat line: keys and characters while the battle runs.
    static void ChatHook(u32 message, u64 code, i64 extra);
    // Under the hash-log test switch, the online result joins the log, so
    // the games' results can be compared too.
    static void LogNetResult(bool won);
    // Own input sends left before the next key-state message.
    u32 sendCountdown = 0;
    // The network detail display shows who is being waited for.
    u8 netWaiting = 0;
    u32 lastPingReportFrame = 0xFFFFFFFFu;
    // When the battle began waiting for a late input.
    u32 inputWaitStart = 0;
    bool inputWaiting = false;
    // Repairs this battle has completed: a departure's leave frame counts in
    // the run the leaver had confirmed, which every client reads alike.
    u32 netRun = 0;
    // The participant chosen to send the repair's data, -1 before the choice.
    i32 repairHost = -1;
    // The server's words taken for the repair under way (a new one names a
    // new host), and whether this client refused the set it has.
    u32 repairWordsSeen = 0;
    bool repairSetRefused = false;
    // The frame a drift was last told after the battle's repairs ran out.
    i32 lastDriftTold = -1000;
    // Scratch for notices built from a format (sync errors, result rows).
    char noticeText[256] = {};
    // When the wait for the server's return echo began.
    u32 returnWaitStart = 0;
    bool returnWaiting = false;

    // Process pass of the task list: -1 when a task replaced the scene.
    i32 RunProcessPass();
    // Draws the whole frame once for every active view, then presents.
    void DrawViews();
    // Far distance of culling: the configured view distance times the stage's scale.
    float StageFarDistance() const;
    // Projects every unit's aim point to the screen with the current camera.
    void ProjectUnitsToScreen();

    // Set-up steps.
    void CreateStandardTasks();
    void SetupMode(GameMode gameMode);
    void PlaceModeRobots(GameMode gameMode);
    void SetupLocalBattle();
    void SetupOnline();
    // Loads a stage by its folder; a stage that does not load leaves the map
    // empty and says so (false).
    bool LoadStage(const FolderList& stages, u32 index);
    void LoadBattleSounds();
    // Picks the next random opponent's type and loads it in the background.
    void PreloadRandomType();

    // Robot and ship placement: robots and ships join the unit list.
    CRobot_Normal* SpawnRobot(i32 type, f32 x, f32 y, f32 z, f32 hpScale, i32 team, u8 controlMode, i32 colorSet,
                              f32 yawDeg, const CGameItemBase* const* parts);
    // mode 0 the team's next start point, 1 a random one.
    CRobot_Normal* SpawnRobotAtStartPoint(i32 type, i32 mode, f32 hpScale, i32 team, u8 controlMode, i32 colorSet,
                                          const CGameItemBase* const* parts);
    CRobot_Normal* SpawnRobotAtTeamStart(i32 type, f32 hpScale, i32 team, u8 controlMode, i32 colorSet,
                                         const CGameItemBase* const* parts);
    // Loads the spawn's type (on a worker thread when asked), then the robot
    // binds itself to it and goes live at the position; -1 when the type does
    // not load, else the result of the last script start.
    i32 SetupRobot(CRobot_Normal* robot, const RobotSpawn& spawn, bool worker);
    // The first robot or ship of the unit list with this object id.
    BB_Base* FindRobotById(u32 id);
    // Yaw in degrees that turns (0, 0, 1) onto a start matrix's z axis.
    static f32 StartPointYaw(const Mat4& point);
    // An online robot of the tactical rule: placed at a random point on the
    // ground, its HP scaled by its bodies.
    void SetupTacticalRobot(CRobot_Normal* robot);
    // A battleship at a position; its type loads on first use (null when it
    // does not).
    CShip* SpawnShip(i32 type, f32 x, f32 y, f32 z, f32 hpScale, i32 team, u8 controlMode, i32 colorSet,
                     f32 yawDeg);
    bool LoadShipType(i32 type);
    // The online repair: every player robot is set up again from its slot's
    // received state record, the generator restarts, weapons and effects go,
    // map objects and team arrays come back. Returns the robots whose record
    // was refused (left as they were).
    i32 RebuildRobotsAfterResync();
    // Every part of the repair host's whole set is within a battle's range.
    bool RepairSetInRange() const;
    // The online procedures' common start: frame rate, keep-alive, ping report.
    void NetPrologue(bool keepAlive);
    // Rows 0..9 whose robot a repair's data carries a block for.
    u16 RepairSlots() const;
    // Radio lines waiting for the participants' robots.
    void HandPendingRadio();
    // Participants that left or went back to the room, at their frame.
    void ApplyDepartures();
    // Whether one whose key states ended at lastFrame of the run it had
    // confirmed (exitRun) leaves the battle now.
    bool ExitDue(i32 lastFrame, u32 exitRun) const;
    // Whether a departed participant leaves the battle now.
    bool DepartureDue(const PlayerEntry& e) const;
    // Counts how long one wait has lasted; past the limit this client gives
    // the battle up for the room with a chat line and true is returned.
    bool GiveUpWaiting(bool waiting, u32 limitMs);
    void RebuildRobot(CRobot_Normal* robot, const RobotState& state, i32 syncTarget);
    // Opens the pause menu of the game mode; false when there is none.
    bool OpenPauseMenu();
    // Fills a robot's callback lists with the rules of its role (null: nothing).
    void AttachModeCallbacks(CRobot_Normal* robot, BattleRole role);
    // Loads robot type `type` from the application's robot folder table into
    // robotTypes under the loader lock (at once when it is loaded already).
    // 1 loaded, 0 refused (bad index or folder; one message).
    i32 LoadRobotType(i32 type);
    // Loads a robot type on a worker thread. false when the thread could not
    // start.
    bool StartTypeLoader(i32 type);
    // Waits (2 ms steps) until a robot type's loader has ended; true when the
    // type is loaded.
    bool WaitTypeLoaded(i32 type);
    // A loader thread is still running: an online battle holds its frames
    // until it ends, drawn as while waiting for a late input.
    bool TypesLoading() const;
    // Joins every loader thread started by this scene.
    void JoinLoaders();

    // Collision with the stage (battle/stage/MapCollision.h says how).
    i32 HitTestMapSegment(const Vec3* start, const Vec3* end, float* distance, MapHitInfo* record);
    i32 CollideSphereWithMap(float x, float y, float z, float radius, i32* count, CList<MapHitInfo>* hits,
                             Vec3* push);
    i32 HitTestQuadAgainstMesh(const Vec3 quad[4], MeshObject* mesh, const Mat4* placement, Vec3* hitPoint);

    // Members, in the order the battle's code relies on.
    CList<TCB> tasks;
    u32 clockOrigin = 0;
    u32 lastFrameEnd = 0;
    u32 frameCount = 0;
    u32 frameRate = 0;
    u32 nextDue = 0;
    FrameProc frameProc = nullptr;
    // The settings this battle started with: the room may change the
    // application's for the next battle while this one runs.
    BattleSettings battleSettings;
    CFixedArray<RobotModelData> robotTypes; // 50
    CFixedArray<RobotModelData> shipTypes;  // 20
    CFixedArray<CRobot_Base*> robotTable;   // 20, null for none
    CShip* team0Flagship = nullptr;
    CShip* team1Flagship = nullptr;
    u32 playerSlot = 0;
    // The stage; allocated once with the scene, reached as a member.
    std::unique_ptr<BattleMap> battleMapStore;
    BattleMap& battleMap;
    f32 animPhase[3] = {};
    CFixedArray<TextureHandle> effectTextures;    // 100
    CFixedArray<TextureHandle> interfaceTextures; // 100
    CFixedArray<MeshObject> meshes;               // 100
    CCamera camera;
    u32 cameraMode = 0; // 0 robot camera, 1 free camera, 2..4 demonstration cycle
    u32 freeCameraMode = 0;
    u32 pauseCamera = 0;
    u32 battleFrame = 0;
    i32 sentInputFrame = -1;
    TextureHandle hdrTarget;
    u32 keepAliveTime = 0;
    RenderView* currentView = nullptr;
    CFixedArray<RenderView> views; // 4
    RenderView fullView;
    u32 lastActiveView = 0;
    Mat4 screenMatrix;
    u32 shadowOn = 0;
    std::vector<BB_DelNode> deleteQueue;
    CList<BB_Base> unitList;
    CList<BB_Base> weaponList;
    CList<LazerXDrawNode> laserDrawList;
    CList<BB_Base> effectList;
    CList<BB_Base> itemList;
    CList<CEtcList> otherList;
    CFixedArray<NestedArrayRecord> spareRecords; // 20
    CQueue<KillEventQueueNode> killEvents;
    // Scratch materials of the glow passes, used within one draw call.
    plat::GfxMaterial glowMaterials[kGlowMaterialCount] = {};
    u32 unitCounters[2] = {};
    u32 battleTime = 0;
    u32 chatInputActive = 0;
    u32 chatLogShown = 1;
    u32 paused = 0;
    u32 displayFlags = 0;
    u32 hudHideBits = 0;  // bit 0 cockpit, radar, rest and time; bit 1 labels; bit 2 under a black cover
    u32 battleEnd = 0;    // 0 running, 1 decided by a judge, 2 waiting online
    char timeText[32] = {}; // the battle time as shown
    CFixedArray<u32> teamsPresent; // 21
    CFixedArray<u32> teamUnits;    // 21
    CFixedArray<u32> teamScores;   // 21
    CFixedArray<u32> teamCosts;    // 21
    TCB* netDetailTask = nullptr;
    ViewFrustum frustum;
    ViewFrustum frustum2;
    // What weapons reach of this scene (weapon/WeaponScene.h): filled on first
    // use, then only its camera is refreshed.
    WeaponWorld weaponWorld;
    f32 mapDetailBias = 0.0f;
    // The sky waits for the first robot or map draw that could show through
    // or leave its depth unwritten, or for the end of the map pass: it then
    // fills only what is still empty. skyStates are the device's blend,
    // depth and cull states as the sky pass found them.
    bool skyPending = false;
    u32 skyStates[7] = {};
    char notice[256] = {};
    f32 stereoAngle = 0.0f;
    f32 stereoSeparation = 0.1f;
    i32 radioVoiceWait = 0;
    // The screen corner of the next radio cut-in, 0..3.
    i32 radioCorner = 0;
    u32 robotCounter = 0;
    // Raised by hits and blasts near the camera; the robot camera counts it down.
    i32 cameraShake = 0;
    i32 cameraShakePhase = 0;
    // Where pilots' voices are heard from (distance below 40 is audible).
    f32 listenerPoint[3] = {};
    plat::CriticalSection loaderLock;
    i32 nextRandomType = 0;
    // 1 when an online room places returning robots at random start points.
    u32 startPointsRandom = 0;
    // 1 when sounds are positional (a single local player).
    u32 positionalSound = 1;

    // Eye position: the translation row of the camera's world matrix.
    Vec3 Eye() const { return {camera.world.m[3][0], camera.world.m[3][1], camera.world.m[3][2]}; }

private:
    struct LoaderSet;
    std::unique_ptr<LoaderSet> loaders;
};

// A participant's robot number as a type that exists (1000 + n is a random
// pick of type n made in the room); every client maps it alike.
i32 BoundRobotType(i32 robot);

// The battle scene, built and set up on first use.
CGameScene* GetGameScene();
// The battle scene if one exists, without building it.
CGameScene* FindGameScene();
