#include "robot/RobotType.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Thread.h"
#include "script/ScriptCommand.h"

// ---------------------------------------------------------------------------
// Loading

namespace {

std::string JoinPath(const std::string& dir, const char* name)
{
    if (dir.empty()) return name;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + "/" + name;
}

bool IsAbsolute(const char* path) { return path[0] == '/' || path[0] == '\\' || (path[0] && path[1] == ':'); }

// A type whose meshes pass its budget is refused whole, naming the file.
bool MeshesRefused(const MeshBudget& budget, const std::string& folder)
{
    if (!budget.Refused()) return false;
    const std::string said = folder + ": " + budget.Why();
    ReportRobotTypeProblem(said.c_str(), "エラー");
    return true;
}

// Loads the parts of a type; false with one message when the folder is refused.
bool LoadTypeFiles(RobotModelData& data, const std::string& folder, MeshBudget& budget)
{
    char text[512];
    const std::string hit = JoinPath(folder, "hit.x");
    const std::string hitUp = JoinPath(folder, "hitUp.x");
    // Hulls without textures: nothing draws them.
    for (auto [mesh, path] : {std::pair{&data.hitMesh, &hit}, std::pair{&data.hitUpMesh, &hitUp}}) {
        if (mesh->LoadScrambledWithTextures(path->c_str(), MeshObject::NoTextures, AssetKey, nullptr, &budget)) {
            mesh->ComputeBounds();
            mesh->BuildCollisionTriangles();
        }
        if (MeshesRefused(budget, folder)) return false;
    }
    std::string why;
    // The type still loads without its settings, on the defaults; the player
    // is told, as such a robot plays nothing like its maker meant.
    if (!data.LoadScriptSpt(JoinPath(folder, "Script.spt").c_str(), AssetKey, &why)) {
        const std::string said = folder + ": Script.spt を読めません (" + why + "); 既定の設定で続けます";
        ShowScriptMessage(said.c_str(), "エラー");
    }
    if (MeshesRefused(budget, folder)) return false;
    why.clear();
    if (!data.LoadScriptAni(JoinPath(folder, "Script.ani").c_str(), &why)) {
        if (MeshesRefused(budget, folder)) return false;
        // A refused model tree says why in its own words.
        const char* model = CHierarchyObject::LastModelError();
        if (why.rfind("its model", 0) == 0 && model[0]) why += std::string(": ") + model;
        const std::string said = folder + ": Script.ani を読めません (" + why + ")";
        ReportRobotTypeProblem(said.c_str(), "エラー");
        return false;
    }
    for (const char* required : {kNodeBodyD, kNodeBody, kNodeHead, kNodeShield}) {
        if (data.hierarchy.FindNode(required) == nullptr) {
            std::snprintf(text, sizeof text, "%s: %s がありません", folder.c_str(), required);
            ReportRobotTypeProblem(text, "エラー");
            return false;
        }
    }
    if (data.BuildColorSetMaterials() != 0) return false;
    data.faceTexture.LoadScrambledDefault(JoinPath(folder, "face.png").c_str(), AssetKey);
    return true;
}

}  // namespace

int LoadRobotTypeFolder(RobotModelData& data, const char* startupDir, const char* folder,
                        plat::CriticalSection& lock, u32 pmQuality)
{
    plat::ScopedLock hold(lock);
    if (data.loaded.load(std::memory_order_acquire) == 1) return 1;
    ClearRobotTypeError();
    if (folder == nullptr || folder[0] == '\0') {
        ReportRobotTypeProblem("ロボットのフォルダがありません", "エラー");
        return 0;
    }
    const std::string path = IsAbsolute(folder) ? std::string(folder)
                                                : JoinPath(startupDir ? startupDir : "", folder);
    // Meshes named inside the model and by "LoadXFile" are relative to the
    // type's folder; the current directory is the calling thread's own.
    const std::string previous = plat::GetCurrentDirectory();
    if (!plat::SetCurrentDirectory(path.c_str())) {
        std::string text = path + ": フォルダがありません";
        ReportRobotTypeProblem(text.c_str(), "エラー");
        return 0;
    }
    data.hierarchy.CreateRoot();
    // Every mesh of the type, each file once, against one budget.
    MeshBudget budget("the robot type's meshes", kModelMaxVertices, kModelMaxFaces, kModelMaxWeights);
    data.meshBudget = &budget;
    data.loadXFileLines = 0;
    // Memory running short anywhere in the load refuses the type like any
    // other fault of its files.
    bool ok = false;
    try {
        ok = LoadTypeFiles(data, path, budget);
        if (ok && pmQuality < 100) {
            OptimiseMeshTree(data.hierarchy.root);
            SetMeshLodTree(data.hierarchy.root, static_cast<f32>(pmQuality) * 0.01f);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
        const std::string said = path + ": out of memory while loading the type";
        ReportRobotTypeProblem(said.c_str(), "エラー");
    }
    data.meshBudget = nullptr;
    plat::SetCurrentDirectory(previous.c_str());
    if (!ok) {
        // Keep nothing of a refused type: a later load starts from scratch.
        data.Release();
        data.Reset();
        return 0;
    }
    // Last of all: robots bind the type only once its meshes are final.
    data.loaded.store(1, std::memory_order_release);
    return 1;
}

i32 CGameScene::LoadRobotType(i32 type)
{
    const CApplication& app = *GetApplication();
    if (type < 0 || type >= robotTypes.GetCount() || static_cast<u32>(type) >= app.robotFolders.count ||
        static_cast<u32>(type) >= sizeof app.robotFolders.names / sizeof app.robotFolders.names[0]) {
        char text[64];
        std::snprintf(text, sizeof text, "ロボット番号が不正 (%d)", type);
        ReportRobotTypeProblem(text, "エラー");
        return 0;
    }
    char folder[sizeof app.robotFolders.names[0] + 1] = {};
    std::memcpy(folder, app.robotFolders.names[type], sizeof app.robotFolders.names[0]);
    return LoadRobotTypeFolder(robotTypes[type], app.startupDir, folder, loaderLock, app.video.robotQuality);
}
