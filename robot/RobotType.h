#pragma once
// What every robot (and battleship) of one type shares: the node tree with
// its meshes and animation keys, the hit meshes, the face, the per-animation
// script tables, the settings of "Script.spt", the named attachment nodes,
// ten colour sets and the computer player's settings. A type is loaded once
// per battle, maybe on a worker thread; robots only read it afterwards.
#include <atomic>
#include <string>

#include "engine/core/FixedArray.h"
#include "engine/core/ScriptTokenizer.h"
#include "engine/graphics/MeshBudget.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/TextureManager.h"
#include "engine/model/HierarchyObject.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class ScriptEntry;
class CGameScene;
namespace plat {
class CriticalSection;
}

inline constexpr i32 kRobotAnimeCount = 200;
inline constexpr i32 kRobotColorSets = 10;
inline constexpr i32 kRobotColorMaterials = 20;
inline constexpr i32 kRobotShaderParams = 10;
inline constexpr i32 kRobotSubLockDists = 20;
inline constexpr i32 kRobotBurners = 20;
inline constexpr i32 kRobotWeaponPoints = 50;
inline constexpr i32 kRobotEtcPoints = 20;
inline constexpr i32 kRobotBatteries = 20;
inline constexpr i32 kRobotAttackArms = 2;
inline constexpr i32 kRobotGunNodes = 20;
inline constexpr i32 kRobotSwordNodes = 20;
inline constexpr i32 kRobotExtraMeshes = 20;
// "LoadXFile" lines one type's scripts may hold: twice the slots, so a
// script may name a slot again, and no more.
inline constexpr u32 kRobotMaxLoadXFileLines = 40;
inline constexpr i32 kRobotAiWeapons = 5;
inline constexpr i32 kRobotNodeNameBytes = 100;
inline constexpr i32 kRobotNameBytes = 256;

// Nodes every robot binds by name; a type without them is refused.
inline constexpr const char* kNodeBodyD = "Body_d.x";
inline constexpr const char* kNodeBody = "Body.x";
inline constexpr const char* kNodeHead = "Head.x";
inline constexpr const char* kNodeShield = "Shield_point.x";

// One of a type's ten colour sets and the materials recoloured from it.
class RobotColorData {
public:
    RobotColorData();
    RobotColorData(const RobotColorData&) = delete;
    RobotColorData& operator=(const RobotColorData&) = delete;
    virtual ~RobotColorData();

    virtual void CopyFrom(const RobotColorData& other);
    void Reset();
    // Frees the recoloured materials only.
    void FreeMaterials();

    CFixedArray<u32> overrideFlags;  // per material: non-zero = recoloured
    CFixedArray<ColorF> colors;      // per material RGBA, (1, 1, 1, 1) by default
    CFixedArray<u32> materialShaderKinds;
    CFixedArray<CFixedArray<f32>> materialShaderParams;  // 20 x 10
    u8 shaderEnabled = 0;
    CFixedArray<f32> shaderParams;
    u32 materialCount = 0;
    plat::GfxMaterial* materials = nullptr;  // new[] of materialCount, null until built
};

struct RobotAiWeaponSetting {
    f32 a = 0.0f;
    f32 b = 0.0f;
    u8 kind = 0;
    u16 value = 0;
};

class RobotModelData {
public:
    RobotModelData();
    RobotModelData(const RobotModelData&) = delete;
    RobotModelData& operator=(const RobotModelData&) = delete;
    ~RobotModelData();

    void Reset();
    void Release();

    // Rebuilds every colour set's materials from the root mesh. Returns the
    // number of problems found (a root with more than 20 materials), reported
    // once, not once per set.
    i32 BuildColorSetMaterials();

    // ---- script files (bodies in script/) ----
    // "Script.spt" through the asset key: settings into the fields below. 1,
    // or 0 when the file could not be read or holds nothing (the settings
    // keep their defaults); `why` then says which.
    int LoadScriptSpt(const char* path, u32 key, std::string* why = nullptr);
    // "Script.ani", unscrambled: model, animation keys and script entries.
    // 1, or 0 for an unreadable or refused file, `why` then saying why.
    int LoadScriptAni(const char* path, std::string* why = nullptr);
    int LoadHod(const char* name, u32 key);
    void RecreateNodeMatrices();
    int ParseScriptLine(const char* text, i32 animeNo, i32 scriptIndex);

    // Script entries of an animation, null outside 0..199 or without a script.
    ScriptEntry* ScriptTable(i32 anime) const;
    // Deletes one animation's entries (and their commands).
    void FreeScriptTable(i32 anime);

    // ---- draw passes (bodies in robot/draw/) ----
    // The root mesh's materials are the robot's material list: every other
    // node is drawn subset by subset against it, so one colour set recolours
    // the whole model. Colour pass, glow (HDR) pass and shadow-map pass;
    // the shadow pass ignores the colour set.
    void DrawMesh(CHierarchyObject* model, RobotColorData* colorSet);
    void DrawMeshHDR(CHierarchyObject* model, RobotColorData* colorSet);
    void DrawRobotMeshShadow(CHierarchyObject* model, RobotColorData* colorSet);
    // Whether DrawMesh gives only fully opaque pixels; skinned parts are not
    // looked into and count as not.
    bool DrawsOpaque(CHierarchyObject* model, RobotColorData* colorSet);

    ScriptTokenizer scriptReader;
    CHierarchyObjectEx hierarchy;
    CFixedArray<Mat4> nodeMatricesA;
    CFixedArray<Mat4> nodeMatricesB;
    // The glow pass's darkened copy of a colour set's materials.
    plat::GfxMaterial hdrMaterials[kRobotColorMaterials] = {};
    MeshObject hitMesh;
    MeshObject hitUpMesh;
    TextureHandle faceTexture;
    CFixedArray<i32> scriptEntryCounts;       // 200
    CFixedArray<ScriptEntry*> scriptTables;   // 200, new[] arrays of count entries
    // One bit per kind of script run problem already reported for this
    // type, so a looping script says so once and not once a frame.
    u32 scriptOverrunsTold = 0;
    // Written last by a load; waiting threads poll it without the lock.
    std::atomic<u32> loaded{0};
    char name[kRobotNameBytes] = {};
    i32 hp = 0;
    i32 score = 0;
    i32 restBody = 0;
    i32 lockDist = 80;
    i32 subLockDist[kRobotSubLockDists] = {};
    CFixedArray<RobotColorData> colorSets;         // 10
    CFixedArray<std::string> burnerNodeNames;      // 20
    CFixedArray<f32> burnerValues;                 // 20
    CFixedArray<u8> weaponPointKinds;              // 50: 0, 1 DOWN, 2 UP
    CFixedArray<std::string> weaponPointNames;     // 50
    CFixedArray<u8> etcPointKinds;                 // 20
    CFixedArray<std::string> etcPointNames;        // 20
    u8 batteryEnabled[kRobotBatteries] = {};
    char batteryNodeNamesA[kRobotBatteries][kRobotNodeNameBytes] = {};
    char batteryNodeNamesB[kRobotBatteries][kRobotNodeNameBytes] = {};
    u8 batteryKind[kRobotBatteries] = {};
    f32 batteryValues[5][kRobotBatteries] = {};
    char attackArmNodeNames[kRobotAttackArms][kRobotNodeNameBytes] = {};
    char gunNodeNames[kRobotGunNodes][kRobotNodeNameBytes] = {};
    char swordNodeNames[kRobotSwordNodes][kRobotNodeNameBytes] = {};
    i32 generator = 1000;
    i32 energy = 1000;
    // Never null: an empty mesh until "LoadXFile" fills the slot; slots
    // naming one file share its mesh.
    CFixedArray<std::shared_ptr<MeshObject>> extraMeshes;  // 20
    CFixedArray<u8> extraMeshFlags;                        // 20
    // While the type's files load: the budget its meshes are admitted to and
    // shared through, and the "LoadXFile" lines read so far.
    MeshBudget* meshBudget = nullptr;
    u32 loadXFileLines = 0;
    u16 aiSettingKind = 0;
    f32 aiSettingRange = 40.0f;
    RobotAiWeaponSetting aiWeaponSettings[kRobotAiWeapons];
};

// Problems with a type's data: one message each, through the script message
// hook. The calling thread's last one stays readable ("" after a clean load).
void ReportRobotTypeProblem(const char* text, const char* caption);
const char* LastRobotTypeError();
void ClearRobotTypeError();

// Loads a type from its folder (a path relative to the start-up directory, or
// absolute) into `data` under `lock`. 1 when the type is loaded (at once when
// it already was), 0 when the folder is refused: missing or bad files, no
// "Body_d.x", "Body.x", "Head.x" or "Shield_point.x", a root mesh with more
// than 20 materials. A refused type stays unloaded and shows one message.
// pmQuality below 100 simplifies the meshes to that percentage.
int LoadRobotTypeFolder(RobotModelData& data, const char* startupDir, const char* folder,
                        plat::CriticalSection& lock, u32 pmQuality);

// Progressive-mesh steps over a node and its subtree.
void OptimiseMeshTree(HodNode* node);
void SetMeshLodTree(HodNode* node, f32 ratio);
