#pragma once
// The stage of a battle: part definitions with their draw and hit meshes, a
// grid of cells holding the placed map objects with their scripts, the start
// points, water, fog, light, sky, the area wall and the music, all read from
// the stage folder's "map.mpd".
//
// The stage file is untrusted: every count, index, length and name is
// checked before use, and a damaged file is refused whole (the map is left
// empty and lastError says why) rather than half-loaded.
#include <memory>
#include <string>
#include <vector>

#include "app/scene/Object.h"
#include "engine/core/FixedArray.h"
#include "engine/core/TaskList.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

class BattleMap;
class MapCell;
class ScriptTokenizer;

inline constexpr i32 kMapGridMax = 100;         // columns and rows at most
inline constexpr i32 kMapDrawGroups = 20;
inline constexpr i32 kMapObjVarCount = 100;
inline constexpr i32 kMapKeyedVarCount = 25;    // slots 0-24 have script keys
inline constexpr i32 kMapTeamStartLists = 10;
inline constexpr i32 kMapFreeStartList = 999;   // PopInfo index of the free list
inline constexpr i32 kMapMusicNames = 5;
inline constexpr i32 kMapPartsOld = 200;        // fixed part count of the older files
inline constexpr i32 kMapVersionOld = 10000;
inline constexpr i32 kMapVersionNew = 20000;
inline constexpr f32 kMapCellSizeOld = 30.0f;
inline constexpr f32 kMapNoWater = -10000.0f;
// The area-hit mesh is modelled around this point of the world (x and z).
inline constexpr f32 kMapAreaOrigin = 1500.0f;
inline constexpr i32 kMapNameSize = 256;
// Vertices and faces the meshes of one stage may hold together, each mesh
// file counted once however many parts name it, from the file's own counts
// before it is built: a stage asking more is refused before it fills memory.
// The sample stages load 432 vertices and 216 faces.
inline constexpr u64 kMapMaxVertices = 500000;
inline constexpr u64 kMapMaxFaces = 500000;
// A stage's meshes are drawn unskinned, yet the skin weights a file carries
// are read with it: four a vertex of the budget at most.
inline constexpr u64 kMapMaxWeights = 2000000;

// Variable slots of a map object; the names are the script keys.
enum MapObjVar : i32 {
    kMapVarHp = 0,
    kMapVarHitProc = 1,
    kMapVarFlag = 2,  // 0 intact, 1 destroyed, 2 gone
    kMapVarHitFlag = 3,
    kMapVarDestroyProc = 4,
    kMapVarDestroyParam00 = 5,  // ... DestroyParam09 = 14
    kMapVarShadowFlag = 15,
    kMapVarAlphaTestFlag = 16,
    kMapVarCullFar = 17,  // float
    kMapVarShadowDrawFlag = 18,
    kMapVarCullMode = 19,
    kMapVarCamAlpha = 20,
    kMapVarLightEnable = 21,
    kMapVarDrawMode = 22,
    kMapVarDrawGroup = 23,
    kMapVarZWriteEnable = 24,
};

// Type of a keyed slot, as LookupKey reports it.
inline constexpr i32 kMapVarTypeInt = 0;
inline constexpr i32 kMapVarTypeFloat = 1;

// One part definition: the meshes a placement draws and collides with.
class MapPartData {
public:
    MapPartData() { Reset(); }
    void Reset();
    // Runs the part script against the map; problems go to the map's
    // message collector.
    void ReadScript(BattleMap* map);

    char drawMeshName[kMapNameSize];
    char hitMeshName[kMapNameSize];
    // Parts naming one mesh file with the same load options share one mesh,
    // loaded once; nothing changes a part's mesh after the load.
    std::shared_ptr<MeshObject> drawMesh;  // null when the name is empty
    std::shared_ptr<MeshObject> hitMesh;
    i16 materialSource = -1;  // part whose materials the draw mesh wears; -1 its own
    std::string script;
    u8 reserved = 0;
};

// One placed map object. Its 100 variable slots hold integers or floats by
// slot; vars[] is the raw 32-bit image, the accessors give the typed view.
class CMapObjNode : public CListNode<CMapObjNode> {
public:
    CMapObjNode();
    ~CMapObjNode() override = default;

    // Runs the object script against its cell from the defaults. 1 when the
    // script holds a PopInfo line (the placement is a start point, not kept).
    int ReadScript(MapCell* cell);
    // Slot 0-24 of a script key (prefix compare in slot order) with its type,
    // or -1.
    static i32 LookupKey(const char* name, i32* type);
    void ResetVars();

    i32 GetInt(i32 slot) const;
    f32 GetFloat(i32 slot) const;
    void SetInt(i32 slot, i32 value);
    void SetFloat(i32 slot, f32 value);

    Mat4 matrix;     // current: drawn and hit-tested
    Mat4 placement;  // as read from the file; a map reset restores it
    u16 partIndex = 0;
    u16 column = 0;
    u16 row = 0;
    std::string script;
    i32 vars[kMapObjVarCount];
    Mat4 inverse;  // of matrix
    Vec3 hitMin, hitMax;    // world box of the part's hit mesh
    Vec3 drawMin, drawMax;  // world box of the part's draw mesh
};

// A destroyed map object the scene animates and then removes.
class MapDestroyObjNode : public CListNode<MapDestroyObjNode> {
public:
    i32 column = 0;
    i32 row = 0;
    MapCell* cell = nullptr;
    CMapObjNode* object = nullptr;
    i32 destroyProc = 0;
    i32 destroyParams[10] = {};
    Mat4 placement;       // copy of the object's matrix when it broke
    i32 dropHeight = 0;   // part height x 50
    i32 state = 0;
    i32 frame = 0;
};

// A map object that hides the watched robot, drawn half transparent later.
class MapAlphaObjNode : public CListNode<MapAlphaObjNode> {
public:
    i32 column = 0;
    i32 row = 0;
    MapCell* cell = nullptr;
    CMapObjNode* object = nullptr;
};

// One result of a map collision query.
class MapHitInfo : public CListNode<MapHitInfo> {
public:
    i32 column = 0;
    i32 row = 0;
    CMapObjNode* object = nullptr;
    Vec3 normal;  // of the hit triangle, in the object's mesh space
};

class MapCell {
public:
    void Reset(BattleMap* map);
    // A "#name = value" cell line; only WaterY is known. Another name reads
    // nothing and leaves the cursor on its value.
    void ReadCellKey(CMapObjNode* node, const char* name, ScriptTokenizer& tokenizer);

    BattleMap* owner = nullptr;
    CList<CMapObjNode> objects;
    std::vector<CMapObjNode*> drawGroups[kMapDrawGroups];
    Vec3 hitMin, hitMax;    // union of the objects' world hit boxes
    Vec3 drawMin, drawMax;  // union of their draw boxes
    f32 waterY = kMapNoWater;
};

class BattleMap {
public:
    // Messages from loading go through this; null shows one message box per
    // load. For tests and tools.
    using MessageHook = void (*)(const char* text, const char* caption);
    static void SetMessageHook(MessageHook hook);

    BattleMap();
    ~BattleMap();
    BattleMap(const BattleMap&) = delete;
    BattleMap& operator=(const BattleMap&) = delete;

    // 1 when the stage was read. 0 when the file cannot be opened (nothing
    // changes), or when it is refused (the map is left empty and lastError
    // says why).
    int LoadStageFile(const char* fileName, u32 key);
    void Clear();
    // The cell at a grid position, null outside the grid in use.
    // Inline: the hit tests look at 25 cells around every trail segment.
    MapCell* GetCell(i32 column, i32 row)
    {
        if (column < 0 || row < 0 || column >= gridWidth || row >= gridDepth) return nullptr;
        if (column >= kMapGridMax || row >= kMapGridMax) return nullptr;
        return &cells[row][column];
    }
    // The cell under a world point (truncation toward zero), null outside.
    MapCell* CellAt(f32 x, f32 z);
    // Water height under a world point; kMapNoWater outside the grid.
    f32 WaterHeightAt(f32 x, f32 z);
    void ComputeCellBounds(i32 column, i32 row);
    // Gives cellsVersion a number no map has had yet. Called wherever the
    // grid, a cell's objects or its bounds may change.
    void CellsChanged();
    // After an online resynchronisation: every object back to its defaults,
    // its script and its placement; destroyed and transparent lists emptied.
    void ResetMapObjects();
    // Start points; an empty list gives (1500, 20, 1500).
    Mat4 NextTeamStartPoint(i32 team);
    Mat4 PickRandomStartPoint();

    // Collects one loading message; all of them are shown once at the end
    // of the load.
    void AddMessage(const char* text, const char* caption);

    CFixedArray<MapPartData> parts;
    std::unique_ptr<MapCell[][kMapGridMax]> cells;  // [row][column]
    TextureManager textureManager;
    i16 gridWidth = 0;
    i16 gridDepth = 0;
    f32 cellSize = 0.0f;
    CList<MapDestroyObjNode> destroyList;
    CList<MapAlphaObjNode> alphaList;
    MeshObject* areaHitMesh = nullptr;  // not owned
    MeshObject* skyMesh = nullptr;      // not owned
    CObject sky;
    u32 fogColor = 0xFFFFFFFFu;
    u32 lightColor = 0xFFFFFFFFu;
    u32 ambientColor = 0xFF333333u;
    Vec3 lightDir{0.0f, -1.0f, 0.0f};
    i32 viewRadius = 0;
    std::vector<Mat4> teamStarts[kMapTeamStartLists];
    u32 teamCursors[kMapTeamStartLists] = {};
    std::vector<Mat4> freeStarts;
    std::string musicNames[kMapMusicNames];
    // The collision queries keep what they read of the cells from one hit
    // pass to the next while this stays the same.
    u32 cellsVersion = 0;
    // Why the last load refused the file ("" after a good load).
    std::string lastError;

    // Marks the load under way as refused; the first reason is kept.
    void Refuse(const std::string& why);
    bool IsRefused() const { return refused_; }

private:
    friend class MapStageReader;
    // Shows the collected messages in one box and forgets them.
    void FlushMessages();
    void EmptyCells();

    std::string messages_;
    std::string messageCaption_;
    u32 messageCount_ = 0;
    bool refused_ = false;
};

// Packs 0-255 channels as an opaque A8R8G8B8 colour.
u32 MapPackColor(i32 r, i32 g, i32 b);
// Packs 0..1 channels (clamped) as an opaque A8R8G8B8 colour.
u32 MapPackColorF(f32 r, f32 g, f32 b);
