#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/core/MTRand.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Thread.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"
#include "script/commands/ScrCommands.h"
#include "tests/support/TempFolder.h"
#include "tests/support/VertexHeavyMesh.h"

namespace {

std::vector<std::string> g_messages;
void Capture(const char* text, const char* caption) { g_messages.push_back(std::string(caption) + "|" + text); }

std::string TypeFolder(int type)
{
    char name[32];
    std::snprintf(name, sizeof name, "robo/robo%02d", type + 1);
    return name;
}

// Copies a sample type into a scratch folder so a test may damage it.
void CopyType(int type, const std::string& to)
{
    std::filesystem::copy(std::string(QUILLON_RUN_DIR) + "/" + TypeFolder(type), to,
                          std::filesystem::copy_options::recursive);
}

// Script.ani of a type with one byte run replaced by another of equal length.
void Patch(const std::string& path, const std::string& from, const std::string& to)
{
    std::string bytes;
    ASSERT_TRUE(plat::ReadWholeFile(path.c_str(), bytes));
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    for (size_t i = bytes.find(from); i != std::string::npos; i = bytes.find(from, i + 1)) bytes.replace(i, from.size(), to);
    ASSERT_TRUE(plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size()));
}

class RobotTypeLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_messages.clear();
        SetScriptMessageHook(Capture);
    }
    void TearDown() override { SetScriptMessageHook(nullptr); }
    // Loads a damaged copy of the first sample type; what stderr says goes to err.
    int LoadDamaged(const std::string& folder, void (*damage)(const std::string&), RobotModelData& data,
                    std::string* err = nullptr)
    {
        CopyType(0, folder);
        damage(folder);
        g_messages.clear();
        testing::internal::CaptureStderr();
        const int loaded = LoadRobotTypeFolder(data, "", folder.c_str(), lock, 100);
        const std::string told = testing::internal::GetCapturedStderr();
        if (err) *err = told;
        return loaded;
    }
    plat::CriticalSection lock;
};

}  // namespace

TEST_F(RobotTypeLoad, EverySampleTypeLoadsOnceWithItsNodesScriptsAndColourSets)
{
    // The actions the robot states start, on every type.
    const int actions[] = {0,  1,  3,  5,  6,  7,  8,  9,   10,  11,  12,  13,  14,  15,  16,  17,  18, 19, 20,
                           21, 22, 24, 25, 26, 27, 100, 103, 104, 105, 106, 109, 110, 116, 130, 131, 141, 146, 151};
    std::set<i32> procs;
    std::set<std::string> names;
    for (int type = 0; type < 22; ++type) {
        SCOPED_TRACE(type);
        RobotModelData data;
        ASSERT_EQ(LoadRobotTypeFolder(data, QUILLON_RUN_DIR, TypeFolder(type).c_str(), lock, 100), 1)
            << LastRobotTypeError();
        EXPECT_EQ(data.loaded.load(), 1u);
        names.insert(data.name);
        EXPECT_GT(data.hp, 0);
        EXPECT_GT(data.generator, 0);
        for (const char* node : {kNodeBodyD, kNodeBody, kNodeHead, kNodeShield})
            EXPECT_NE(data.hierarchy.FindNode(node), nullptr) << node;
        for (int a : actions) {
            ASSERT_NE(data.ScriptTable(a), nullptr) << "action " << a;
            EXPECT_EQ(data.ScriptTable(a)[data.scriptEntryCounts[a] - 1].wait, kScriptEndMark);
            EXPECT_GT(data.hierarchy.AnimeKeyCount(static_cast<u32>(a)), 0u) << "action " << a;
        }
        EXPECT_EQ(data.colorSets[0].materialCount, 4u);
        EXPECT_NE(data.colorSets[9].materials, nullptr);
        EXPECT_FALSE(data.weaponPointNames[0].empty());
        EXPECT_GT(data.hitMesh.faceCount, 0u);
        EXPECT_GT(data.hitUpMesh.faceCount, 0u);
        EXPECT_EQ(data.nodeMatricesA.GetCount(), static_cast<i32>(data.hierarchy.nodeCount));
        for (int a = 0; a < kRobotAnimeCount; ++a) {
            const ScriptEntry* table = data.ScriptTable(a);
            for (i32 e = 0; table && e < data.scriptEntryCounts[a]; ++e)
                for (const RobotScriptBase* c : table[e].commands)
                    if (c->GetType() == kScrRunProc) procs.insert(static_cast<const Scr_RunProc*>(c)->proc.value);
        }
        // Loaded already: the folder is not even looked at again.
        EXPECT_EQ(LoadRobotTypeFolder(data, QUILLON_RUN_DIR, "robo/no-such-folder", lock, 100), 1);
    }
    EXPECT_EQ(names.size(), 22u);
    // Every weapon but 17, which the game warns is not for use.
    for (int p = 1; p <= 33; ++p) EXPECT_EQ(procs.count(p), p == 17 ? 0u : 1u) << "fire procedure " << p;
    for (int p = 51; p <= 62; ++p) EXPECT_TRUE(procs.count(p)) << "fire procedure " << p;
    EXPECT_TRUE(g_messages.empty()) << g_messages.front();
}

TEST_F(RobotTypeLoad, BadFoldersAreRefusedWithOneMessageAndLeaveTheRecordReusable)
{
    TempFolder scratch;
    struct Case {
        const char* what;
        void (*damage)(const std::string& folder);
        const char* message;
    };
    const Case cases[] = {
        {"no folder", [](const std::string& f) { std::filesystem::remove_all(f); }, "フォルダがありません"},
        {"no Script.ani", [](const std::string& f) { std::filesystem::remove(f + "/Script.ani"); }, "Script.ani"},
        {"bad magic", [](const std::string& f) { Patch(f + "/Script.ani", "ANI", "XNI"); }, "Script.ani"},
        {"cut short",
         [](const std::string& f) { std::filesystem::resize_file(f + "/Script.ani", 70000); }, "Script.ani"},
        {"no shield node", [](const std::string& f) { Patch(f + "/Script.ani", "Shield_point.x", "Shield_pXint.x"); },
         "Shield_point.x"},
        {"no head node", [](const std::string& f) { Patch(f + "/Script.ani", "Head.x", "Hexd.x"); }, "Head.x"},
    };
    RobotModelData data;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = scratch / ("t" + std::to_string(n++));
        CopyType(0, folder);
        c.damage(folder);
        g_messages.clear();
        EXPECT_EQ(LoadRobotTypeFolder(data, "", folder.c_str(), lock, 100), 0);
        EXPECT_EQ(data.loaded.load(), 0u);
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_NE(g_messages[0].find(c.message), std::string::npos) << g_messages[0];
        EXPECT_EQ(data.hierarchy.root, nullptr);
        EXPECT_EQ(data.ScriptTable(0), nullptr);
        EXPECT_EQ(data.name[0], '\0');
    }
    // The same record then takes a good type.
    EXPECT_EQ(LoadRobotTypeFolder(data, QUILLON_RUN_DIR, TypeFolder(3).c_str(), lock, 100), 1);
    EXPECT_NE(data.ScriptTable(0), nullptr);
    // A reset before the next battle drops the old scripts without losing them.
    data.Reset();
    EXPECT_EQ(data.ScriptTable(0), nullptr);
    EXPECT_EQ(data.scriptEntryCounts[0], 0);
}

namespace {

// Script.spt of a type with its settings text changed in the clear, the
// file scrambled again as the game's tools write it.
void PatchSettings(const std::string& path, const std::string& from, const std::string& to)
{
    std::string bytes;
    ASSERT_TRUE(plat::ReadWholeFile(path.c_str(), bytes));
    XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, from.size(), to);
    XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
    ASSERT_TRUE(plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size()));
}

}  // namespace

// A script file that is missing, empty, refused or holds a number that is no
// number: one message naming the file and saying why. Settings that cannot be
// read leave the type on its defaults; a refused Script.ani refuses the type.
TEST_F(RobotTypeLoad, DamagedScriptFilesAreNamedWithTheReason)
{
    TempFolder scratch;
    struct Case {
        const char* what;
        void (*damage)(const std::string& folder);
        bool loads;
        const char* message;  // what the one message says, after the folder
        const char* logged;   // what stderr says of the file, when not the message
    };
    const Case cases[] = {
        {"no Script.spt", [](const std::string& f) { std::filesystem::remove(f + "/Script.spt"); }, true,
         ": Script.spt を読めません (the file is missing); 既定の設定で続けます", nullptr},
        {"empty Script.spt", [](const std::string& f) { std::filesystem::resize_file(f + "/Script.spt", 0); }, true,
         ": Script.spt を読めません (the file is empty); 既定の設定で続けます", nullptr},
        {"HP not a number", [](const std::string& f) { PatchSettings(f + "/Script.spt", "HP=800;", "HP=abc;"); },
         true, nullptr, "/Script.spt \"abc\": 数値ではありません"},
        {"no Script.ani", [](const std::string& f) { std::filesystem::remove(f + "/Script.ani"); }, false,
         ": Script.ani を読めません (the file is missing)", nullptr},
        {"bad magic", [](const std::string& f) { Patch(f + "/Script.ani", "ANI", "XNI"); }, false,
         ": Script.ani を読めません (the file does not begin with \"ANI\" or \"AN2\")", nullptr},
        {"cut short", [](const std::string& f) { std::filesystem::resize_file(f + "/Script.ani", 70000); }, false,
         ": Script.ani を読めません (it is cut short or damaged at animation ", nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = scratch / ("d" + std::to_string(n++));
        RobotModelData data;
        std::string err;
        EXPECT_EQ(LoadDamaged(folder, c.damage, data, &err), c.loads ? 1 : 0);
        ASSERT_EQ(g_messages.size(), 1u);
        if (c.message) {
            EXPECT_EQ(g_messages[0].find("エラー|" + folder + c.message), 0u) << g_messages[0];
        } else {
            EXPECT_EQ(g_messages[0], "スクリプトエラー HP|数値ではありません");
            EXPECT_NE(err.find(folder + c.logged), std::string::npos) << err;
        }
        if (!c.loads) continue;
        // The defaults, or what "abc" reads as; the other settings are read.
        EXPECT_EQ(data.hp, 0);
        EXPECT_EQ(std::string(data.name) == "Vanguard", c.logged != nullptr);
    }
}

namespace {

void WriteScrambled(const std::string& path, std::string text)
{
    XorWords(text.data(), static_cast<u32>(text.size()), AssetKey);
    ASSERT_TRUE(plat::WriteFileAtomic(path.c_str(), text.data(), text.size()));
}

std::string LoadXFileLines(int lines, bool distinct)
{
    std::string s;
    for (int i = 0; i < lines; ++i)
        s += "LoadXFile(" + std::to_string(i % kRobotExtraMeshes) + ", " +
             (distinct ? "Heavy" + std::to_string(i) + ".x" : std::string("Heavy.x")) + ", 1);\r\n";
    return s;
}

}  // namespace

// Every mesh a type loads (hulls, model nodes, script extras) counts against
// one budget of vertices and faces, each file once and from its own counts
// before it is built; a type past it, or with thousands of "LoadXFile"
// lines, is refused with one message naming the file and the reason. Slots
// naming one file share its mesh.
TEST_F(RobotTypeLoad, HostileTypesAreRefusedFromTheirMeshCountsAndSlotsShareOneMesh)
{
    TempFolder scratch;
    struct Case {
        const char* what;
        void (*damage)(const std::string& folder);
        const char* message;  // after the folder; null: the type loads
    };
    const Case cases[] = {
        {"a hit hull of a million faces",
         [](const std::string& f) { WriteScrambled(f + "/hit.x", FaceHeavyMeshText(1000000)); },
         "/hit.x' brings the robot type's meshes to 1000000 faces, more than 250000"},
        {"model parts of 65,535 vertices each",
         [](const std::string& f) {
             for (const auto& e : std::filesystem::directory_iterator(f)) {
                 const std::string name = e.path().filename().string();
                 if (e.path().extension() == ".x" && name != "hit.x" && name != "hitUp.x")
                     WriteScrambled(e.path().string(), VertexHeavyMeshText(65535));
             }
         },
         "' brings the robot type's meshes to "},
        {"five model parts of one position split by their normals into 60,000 vertices",
         [](const std::string& f) {
             for (const char* part : {"Body.x", "Head.x", "Arm_L.x", "Arm_R.x", "Leg_L.x"})
                 WriteScrambled(f + "/" + part, SplitHeavyMeshText(20000));
         },
         "' brings the robot type's meshes to 30"},
        {"twenty extras of 65,535 vertices",
         [](const std::string& f) {
             for (int i = 0; i < 20; ++i)
                 WriteScrambled(f + "/Heavy" + std::to_string(i) + ".x", VertexHeavyMeshText(65535));
             PatchSettings(f + "/Script.spt", "LoadXFile(0, Extra0.x, 1);", LoadXFileLines(20, true));
         },
         "/Heavy3.x' brings the robot type's meshes to "},
        {"two thousand LoadXFile lines",
         [](const std::string& f) {
             WriteScrambled(f + "/Heavy.x", VertexHeavyMeshText(65535));
             PatchSettings(f + "/Script.spt", "LoadXFile(0, Extra0.x, 1);", LoadXFileLines(2000, false));
         },
         ": its scripts hold more than 40 LoadXFile lines"},
        {"twenty slots naming one mesh",
         [](const std::string& f) {
             WriteScrambled(f + "/Heavy.x", VertexHeavyMeshText(65535));
             PatchSettings(f + "/Script.spt", "LoadXFile(0, Extra0.x, 1);", LoadXFileLines(40, false));
         },
         nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = scratch / ("h" + std::to_string(n++));
        RobotModelData data;
        EXPECT_EQ(LoadDamaged(folder, c.damage, data), c.message ? 0 : 1);
        if (!c.message) {
            EXPECT_TRUE(g_messages.empty()) << g_messages.front();
            const MeshObject* shared = data.extraMeshes[0].get();
            EXPECT_EQ(shared->VertexCount(), 65535u);
            for (i32 k = 1; k < kRobotExtraMeshes; ++k) EXPECT_EQ(data.extraMeshes[k].get(), shared) << k;
            continue;
        }
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_EQ(g_messages[0].find("エラー|" + folder + ": "), 0u) << g_messages[0];
        EXPECT_NE(g_messages[0].find(c.message), std::string::npos) << g_messages[0];
        EXPECT_EQ(data.hierarchy.root, nullptr);
    }
}

TEST_F(RobotTypeLoad, TwoThreadsLoadingOneTypeReadItsFilesOnce)
{
    struct Job {
        RobotModelData* data;
        plat::CriticalSection* lock;
        int result = -1;
    };
    RobotModelData data;
    Job a{&data, &lock}, b{&data, &lock};
    auto run = [](void* arg) {
        Job* job = static_cast<Job*>(arg);
        job->result = LoadRobotTypeFolder(*job->data, QUILLON_RUN_DIR, "robo/robo02", *job->lock, 100);
    };
    plat::Thread first, second;
    ASSERT_TRUE(first.Start(run, &a, plat::ThreadPriority::BelowNormal));
    ASSERT_TRUE(second.Start(run, &b, plat::ThreadPriority::BelowNormal));
    first.Join();
    second.Join();
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(b.result, 1);
    // A second read would have shared nothing and rebuilt the tree: one tree,
    // whose node count matches one model.
    RobotModelData single;
    ASSERT_EQ(LoadRobotTypeFolder(single, QUILLON_RUN_DIR, "robo/robo02", lock, 100), 1);
    EXPECT_EQ(data.hierarchy.nodeCount, single.hierarchy.nodeCount);
    EXPECT_EQ(data.scriptEntryCounts[0], single.scriptEntryCounts[0]);
}

TEST_F(RobotTypeLoad, MeshQualityBelowAHundredSimplifiesEveryMesh)
{
    RobotModelData full, half, lowest;
    ASSERT_EQ(LoadRobotTypeFolder(full, QUILLON_RUN_DIR, "robo/robo05", lock, 100), 1);
    ASSERT_EQ(LoadRobotTypeFolder(half, QUILLON_RUN_DIR, "robo/robo05", lock, 50), 1);
    ASSERT_EQ(LoadRobotTypeFolder(lowest, QUILLON_RUN_DIR, "robo/robo05", lock, 20), 1);
    ASSERT_EQ(full.hierarchy.nodeCount, half.hierarchy.nodeCount);
    // The faces each quality draws, over the nodes' meshes.
    u64 faces[3] = {0, 0, 0};
    for (u32 i = 0; i < full.hierarchy.nodeCount; ++i) {
        const MeshObject* f = full.hierarchy.nodeTable[i]->mesh;
        const MeshObject* h = half.hierarchy.nodeTable[i]->mesh;
        const MeshObject* l = lowest.hierarchy.nodeTable[i]->mesh;
        ASSERT_TRUE(f && h && l);
        EXPECT_EQ(f->progressiveMesh, nullptr);
        EXPECT_NE(h->progressiveMesh, nullptr) << i;
        ASSERT_NE(l->progressiveMesh, nullptr) << i;
        faces[0] += f->mesh ? f->mesh->GetNumFaces() : 0;
        faces[1] += h->progressiveMesh->GetNumFaces();
        faces[2] += l->progressiveMesh->GetNumFaces();
    }
    EXPECT_LT(faces[1], faces[0]);
    EXPECT_LT(faces[2], faces[1]);

    // A mesh with room to simplify shows the truncated share of its faces.
    RobotModelData sphere;
    HodNode* root = sphere.hierarchy.CreateRoot();
    HodNode* child = root->AddChild();
    ASSERT_TRUE(child && child->mesh);
    ASSERT_EQ(child->mesh->Load(QUILLON_RUN_DIR "/Quillon/Mesh/Sphere.x", MeshObject::NoTextures, nullptr), 1);
    OptimiseMeshTree(root);
    ASSERT_NE(child->mesh->progressiveMesh, nullptr);
    const plat::PMesh& pm = *child->mesh->progressiveMesh;
    EXPECT_EQ(pm.GetNumFaces(), pm.GetMaxFaces());
    for (f32 ratio : {0.5f, 0.3f, 1.0f}) {
        SetMeshLodTree(root, ratio);
        const u32 wanted = static_cast<u32>(static_cast<f32>(pm.GetMaxFaces()) * ratio);
        EXPECT_EQ(pm.GetNumFaces(), std::max(wanted, pm.GetMinFaces())) << ratio;
    }
    EXPECT_LT(pm.GetMinFaces(), pm.GetMaxFaces() / 2);
}

TEST_F(RobotTypeLoad, MutatedTypeFilesNeverCrashTheLoader)
{
    TempFolder scratch;
    cMTRand rng;
    rng.Init(1907);
    const char* files[] = {"Script.ani", "Script.spt", "hit.x", "Body.x"};
    for (int round = 0; round < 24; ++round) {
        const std::string folder = scratch / ("m" + std::to_string(round));
        CopyType(round % 2, folder);
        const std::string path = folder + "/" + files[round % 4];
        std::string bytes;
        ASSERT_TRUE(plat::ReadWholeFile(path.c_str(), bytes));
        // Scrambled files are mutated in the clear, as a bad tool would write them.
        const bool scrambled = round % 4 != 0;
        if (scrambled) XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
        const int flips = 1 + static_cast<int>(rng.GetRand() % 16);
        for (int f = 0; f < flips && !bytes.empty(); ++f)
            bytes[rng.GetRand() % bytes.size()] = static_cast<char>(rng.GetRand());
        if (rng.GetRand() % 4 == 0) bytes.resize(rng.GetRand() % (bytes.size() + 1));
        if (scrambled) XorWords(bytes.data(), static_cast<u32>(bytes.size()), AssetKey);
        ASSERT_TRUE(plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size()));
        RobotModelData data;
        const int result = LoadRobotTypeFolder(data, "", folder.c_str(), lock, round % 3 == 0 ? 60 : 100);
        EXPECT_EQ(data.loaded.load(), result == 1 ? 1u : 0u);
    }
}

TEST_F(RobotTypeLoad, SampleScriptsRunEveryActionToItsEndWithoutProblems)
{
    // One type of each body design, HOD and HD2 models alike.
    for (int type = 0; type < 4; ++type) {
        SCOPED_TRACE(type);
        RobotModelData data;
        ASSERT_EQ(LoadRobotTypeFolder(data, QUILLON_RUN_DIR, TypeFolder(type).c_str(), lock, 100), 1);
        CRobot_Normal robot;
        robot.Reset();
        robot.modelData = &data;
        robot.scriptTables = data.scriptTables.Data();
        data.hierarchy.CopyTo(&robot.lowerModel);
        int scripted = 0;
        for (int a = 0; a < kRobotAnimeCount; ++a) {
            ScriptEntry* table = data.ScriptTable(a);
            if (!table) continue;
            ++scripted;
            robot.layerEnded[0] = robot.layerEnded[1] = 0;
            robot.SetScript(table, 0, 0);
            robot.SetScript(table, 0, 1);
            for (int frame = 0; frame < 150; ++frame) robot.StepScriptChannels();
            // Looping actions go round; the others rest at their end mark.
            if (robot.scriptContext.loop[0] == 0) {
                EXPECT_EQ(robot.layerEnded[0], 1) << "action " << a;
            }
        }
        EXPECT_GE(scripted, 45);
    }
    EXPECT_TRUE(g_messages.empty()) << g_messages.front();
}
