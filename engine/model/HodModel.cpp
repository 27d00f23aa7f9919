// HOD and HD2 model trees, their nodes and the two animation key formats.
//
// Every record is read whole and checked before anything is stored: a node
// declaring more than ten children, an unterminated name, a tree deeper or
// bigger than the bounds, a short file, or an animation whose node count
// differs from the model's is refused, and the object keeps what it had.
#include "engine/model/HodModel.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/model/HierarchyObject.h"
#include "engine/graphics/MeshBudget.h"
#include "engine/graphics/MeshObject.h"
#include "engine/model/SkinObject.h"
#include "engine/model/SkinXMesh.h"
#include "engine/core/VectorFunctions.h"
#include "platform/math/Math.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/MessageBox.h"

namespace {

constexpr u32 kHodNodeRecordBytes = 328;
constexpr u32 kHd2NodeRecordBytes = 399;
constexpr u32 kHd2KeyRecordBytes = 179;
constexpr u32 kNoTextures = 0xFFFFFFFFu;

Vec3 GetVec3(const u8* p) { return {GetF32(p), GetF32(p + 4), GetF32(p + 8)}; }
Quat GetQuat(const u8* p) { return {GetF32(p), GetF32(p + 4), GetF32(p + 8), GetF32(p + 12)}; }

Mat4 GetMatrix(const u8* p)
{
    Mat4 m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = GetF32(p + (r * 4 + c) * 4);
    return m;
}

bool ReadExact(FileHandle* file, void* buffer, u32 n)
{
    return file->Read(buffer, n) == n;
}

// Compares a 3-byte magic as a NUL-terminated string, as the tools wrote it.
bool ReadMagic(FileHandle* file, char magic[4])
{
    std::memset(magic, 0, 4);
    return ReadExact(file, magic, 3);
}

void ShowBox(const char* text, const char* caption)
{
    plat::ShowMessageBox(nullptr, text, caption);
}

thread_local std::string t_modelError;

struct TreeReader {
    FileHandle* file;
    bool hd2;
    u32 textureLevel;
    u32 key;
    TextureManager* manager;
    u32 nodes = 0;
    std::string why;

    bool Refuse(std::string reason)
    {
        if (why.empty()) why = std::move(reason);
        return false;
    }

    // Reads the node's record and its children's; meshes come later, once
    // the whole tree is known to be one the game takes.
    bool ReadNode(HodNode* node, u32 depth)
    {
        if (depth >= kHodMaxDepth) return Refuse("it is deeper than " + std::to_string(kHodMaxDepth) + " levels");
        if (++nodes > kHodMaxNodes) return Refuse("it has more than " + std::to_string(kHodMaxNodes) + " nodes");
        u8 rec[kHd2NodeRecordBytes];
        const u32 size = hd2 ? kHd2NodeRecordBytes : kHodNodeRecordBytes;
        if (!ReadExact(file, rec, size)) return Refuse("the file ends inside node " + std::to_string(nodes));
        const u32 childCount = GetU32(rec + 4);
        if (childCount > kHodMaxChildren)
            return Refuse("node " + std::to_string(nodes) + " declares " + std::to_string(childCount) + " children");
        if (!std::memchr(rec + 8, 0, kHodNameBytes))
            return Refuse("the name of node " + std::to_string(nodes) + " has no terminator");

        node->level = GetU32(rec);
        std::memcpy(node->meshName, rec + 8, kHodNameBytes);
        if (hd2) {
            const Quat rotation = GetQuat(rec + 264);
            const Vec3 scale = GetVec3(rec + 280);
            const Vec3 translation = GetVec3(rec + 292);
            plat::MatrixScaleRotateTranslate(&node->local, &scale, &rotation, &translation);
            node->optionA = rec[304];
            node->nodeVector = GetVec3(rec + 305);
            node->optionB = rec[317];
            node->hidden = rec[318];
            node->linkMode = rec[319];
            std::memcpy(node->swingParams, rec + 320, kHodSwingParamBytes);
        } else {
            node->local = GetMatrix(rec + 264);
        }

        for (u32 i = 0; i < childCount; ++i) {
            HodNode* child = node->AddChild();
            if (!child) return Refuse("memory ran out");
            if (!ReadNode(child, depth + 1)) return false;
        }
        return true;
    }

    // Loads the meshes of a subtree in file order, each file once for the
    // stage or type (the budget keeps them) and admitted to its budget from
    // its counts first, and counts what the nodes will draw against the
    // model's own bound. A skinned node of an HD2 tree loads its skinned mesh
    // here, shared by every node that names it; the skin set-up binds it
    // later. A mesh that fails to load leaves its nodes an empty mesh: the
    // model still loads.
    MeshBudget* budget = nullptr;
    MeshCounts drawn;

    bool Draws(const char* name, u64 vertices, u64 faces)
    {
        drawn.vertices += vertices;
        drawn.faces += faces;
        if (drawn.vertices <= kHodMaxVertices && drawn.faces <= kHodMaxFaces) return true;
        const bool v = drawn.vertices > kHodMaxVertices;
        const std::string what = v ? std::to_string(drawn.vertices) + " vertices" : std::to_string(drawn.faces) + " faces";
        return Refuse("its nodes draw " + what + " by node " + std::to_string(nodes) + " ('" + name + "'), more than " +
                      std::to_string(v ? kHodMaxVertices : kHodMaxFaces));
    }

    bool LoadSkin(HodNode* node)
    {
        auto [at, fresh] = budget->skins.try_emplace(node->meshName);
        if (fresh) {
            auto skin = std::make_shared<SkinXMesh>();
            const bool loaded = key != 0 ? skin->LoadScrambled(node->meshName, key, kSkinBlended, budget) != 0
                                         : skin->LoadFromFile(node->meshName, kSkinBlended, budget);
            if (budget->Refused()) return Refuse(budget->Why());
            // A file that failed stays an empty mesh, so it is tried once.
            if (!loaded) skin->Release();
            at->second = std::move(skin);
        }
        node->HoldSkin(at->second);
        return Draws(node->meshName, at->second->fileCounts.vertices, at->second->fileCounts.faces);
    }

    bool LoadMeshes(HodNode* node)
    {
        ++nodes;
        if (hd2 && HodNameEndsWithSx(node->meshName)) {
            if (!LoadSkin(node)) return false;
        } else if (node->mesh) {
            const u32 level = node->level != 0 ? kNoTextures : textureLevel;
            // Plain and scrambled loads read textures differently.
            auto [at, fresh] = budget->meshes.try_emplace({node->meshName, (u64(key != 0) << 32) | level});
            if (fresh) {
                at->second = node->meshHold;
                MeshObject* mesh = node->mesh;
                if (key != 0)
                    mesh->LoadScrambledWithTextures(node->meshName, level, key, manager, budget);
                else
                    mesh->Load(node->meshName, level, manager, budget);
                if (budget->Refused()) return Refuse(budget->Why());
                mesh->ComputeBounds();
            } else {
                node->HoldMesh(at->second);
            }
            if (!Draws(node->meshName, node->mesh->VertexCount(), node->mesh->FaceCount())) return false;
        }
        for (HodNode* child : node->UsedChildSlots())
            if (child && !LoadMeshes(child)) return false;
        return true;
    }
};

}  // namespace

// ---- HodNode ---------------------------------------------------------------

HodNode::HodNode() : keyTables(new (std::nothrow) HodKeyTable[kHodAnimeCount]) {}

HodNode::~HodNode() = default;

f32 HodNode::SwingMaxAngle() const { return GetF32(swingParams); }
f32 HodNode::SwingFollow() const { return GetF32(swingParams + 4); }
f32 HodNode::SwingSpring() const { return GetF32(swingParams + 8); }

HodNode* HodNode::AddChild()
{
    for (u32 i = 0; i < kHodMaxChildren; ++i)
        if (!children[i]) return AddChildAt(static_cast<int>(i));
    return nullptr;
}

HodNode* HodNode::AddChildAt(int slot)
{
    if (slot < 0 || slot >= static_cast<int>(kHodMaxChildren) || children[slot]) return nullptr;
    HodNode* child = new (std::nothrow) HodNode();
    if (!child) return nullptr;
    child->HoldMesh(std::make_shared<MeshObject>());
    child->parent = this;
    child->level = level + 1;
    children[slot] = child;
    childSlots = std::max(childSlots, static_cast<u8>(slot + 1));
    return child;
}

void HodNode::FreeTree(bool freeData)
{
    for (HodNode*& child : children)
        if (child) child->FreeTree(freeData);  // unlinks itself
    if (parent) {
        for (HodNode*& slot : parent->children)
            if (slot == this) {
                slot = nullptr;
                break;
            }
    }
    delete skinObject;
    skinObject = nullptr;
    // Swing caches are never shared with copies.
    delete poseCache;
    poseCache = nullptr;
    if (freeData) FreeData();
    delete this;
}

void HodNode::FreeData()
{
    HoldMesh(nullptr);
    HoldSkin(nullptr);
    skinned = 0;
    if (keyTables) {
        for (u32 i = 0; i < kHodAnimeCount; ++i) delete[] keyTables[i].keys;
        delete[] keyTables;
        keyTables = nullptr;
    }
}

// ---- model readers -----------------------------------------------------------

int CHierarchyObject::LoadHod(const char* fileName, u32 textureLevel, u32 key, TextureManager* manager)
{
    FileHandle file;
    if (!fileName) return 0;
    if (!file.OpenRead(fileName)) {
        plat::ReportLoadFailure(fileName, "cannot be opened");
        return 0;
    }
    const int result = ReadHod(&file, textureLevel, key, manager);
    file.Close();
    if (result == 0) {
        const std::string why = std::string("is no model the game can read") + (t_modelError.empty() ? "" : ": ") +
                                t_modelError;
        plat::ReportLoadFailure(fileName, why.c_str());
    }
    return result;
}

const char* CHierarchyObject::LastModelError()
{
    return t_modelError.c_str();
}

bool CHierarchyObject::ReadModelTree(FileHandle* file, bool hd2, u32 textureLevel, u32 key,
                                     TextureManager* manager, MeshBudget* budget)
{
    HodNode* newRoot = new (std::nothrow) HodNode();
    if (!newRoot) return false;
    newRoot->HoldMesh(std::make_shared<MeshObject>());
    // A model read on its own is a robot type of its own.
    MeshBudget own("the model's meshes", kModelMaxVertices, kModelMaxFaces, kModelMaxWeights);
    TreeReader reader{file, hd2, textureLevel, key, manager, 0, {}, budget ? budget : &own, {}};
    // The whole tree is read and counted before the first mesh is loaded.
    bool ok = reader.ReadNode(newRoot, 0);
    if (ok) {
        reader.nodes = 0;
        ok = reader.LoadMeshes(newRoot);
    }
    if (!ok) {
        t_modelError = reader.why;
        newRoot->FreeTree(true);
        return false;
    }
    ReleaseTree();
    root = newRoot;
    RebuildNodeTable();
    return true;
}

int CHierarchyObject::ReadHod(FileHandle* file, u32 textureLevel, u32 key, TextureManager* manager,
                              MeshBudget* budget)
{
    t_modelError.clear();
    if (!file) return 0;
    char magic[4];
    if (!ReadMagic(file, magic) || std::strcmp(magic, "HOD") != 0) return 0;
    u8 unused[4];
    if (!ReadExact(file, unused, 4)) return 0;
    return ReadModelTree(file, false, textureLevel, key, manager, budget) ? 1 : 0;
}

int CHierarchyObject::ReadHd2(FileHandle* file, u32 textureLevel, u32 key, TextureManager* manager,
                              MeshBudget* budget)
{
    t_modelError.clear();
    if (!file) return 0;
    char magic[4];
    if (!ReadMagic(file, magic) || std::strcmp(magic, "HD2") != 0) {
        ShowBox("バージョンが違うHOD", "Ver2ではない");
        return 0;
    }
    u8 word[4];
    if (!ReadExact(file, word, 4)) return 0;
    const u32 fileType = GetU32(word);
    if (fileType == 1) {
        ShowBox("このタイプのHODは読めません", "");
        return 0;
    }
    if (!ReadExact(file, word, 4)) return 0;
    if (fileType == 0) {
        if (!ReadModelTree(file, true, textureLevel, key, manager, budget)) return 0;
    } else {
        // Neither model nor animation: the model is a bare root.
        CreateRoot();
        RebuildNodeTable();
    }
    SetUpSkinnedNodes(root, key);
    DropUnboundSkins(root);
    return 1;
}

// ---- animation keys ------------------------------------------------------------

int CHierarchyObject::AllocAnimeKeys(u32 animIndex, u32 keyCount)
{
    if (animIndex >= kHodAnimeCount || keyCount > kHodMaxKeys || !root) return 0;
    HodNode** nodes = nullptr;
    const u32 n = CollectNodes(root, &nodes);
    // Counted before anything is freed or allocated: a count no real model
    // has is refused whole instead of asking the system for gigabytes.
    if (u64(keyCount) * n * sizeof(HodKey) > kHodMaxKeyBytes) {
        delete[] nodes;
        return 0;
    }
    int result = 1;
    for (u32 i = 0; i < n; ++i) {
        HodKeyTable* table = nodes[i]->KeyTable(animIndex);
        if (!table) {
            result = 0;
            continue;
        }
        delete[] table->keys;
        table->keys = keyCount ? new (std::nothrow) HodKey[keyCount] : nullptr;
        table->count = table->keys ? keyCount : 0;
        if (keyCount && !table->keys) result = 0;
    }
    delete[] nodes;
    return result;
}

// Reads one key record per node of the model, checks them all, then stores
// them: a refused file leaves every key as it was.
template <class Decode>
int CHierarchyObject::ReadAnimeKeys(FileHandle* file, u32 animIndex, u32 keyIndex, u32 recordBytes,
                                    bool checkChildCounts, Decode decode)
{
    if (animIndex >= kHodAnimeCount || !root) return 0;
    HodNode** nodes = nullptr;
    const u32 n = CollectNodes(root, &nodes);
    std::vector<u8> records;
    bool ok = n > 0;
    for (u32 i = 0; ok && i < n; ++i) {
        const HodKeyTable* table = nodes[i]->KeyTable(animIndex);
        ok = table && table->keys && keyIndex < table->count;
    }
    if (ok) {
        records.resize(static_cast<size_t>(n) * recordBytes);
        // The records' child counts must describe a tree of exactly n nodes.
        u64 pending = 1;
        for (u32 i = 0; ok && i < n; ++i) {
            u8* rec = records.data() + static_cast<size_t>(i) * recordBytes;
            if ((checkChildCounts && pending == 0) || !ReadExact(file, rec, recordBytes)) {
                ok = false;
                break;
            }
            if (checkChildCounts) {
                --pending;
                const u32 childCount = GetU32(rec + 4);
                if (childCount > kHodMaxChildren) ok = false;
                pending += childCount;
            }
        }
        if (checkChildCounts && pending != 0) ok = false;
    }
    if (ok)
        for (u32 i = 0; i < n; ++i)
            decode(records.data() + static_cast<size_t>(i) * recordBytes,
                   nodes[i]->KeyTable(animIndex)->keys[keyIndex]);
    delete[] nodes;
    return ok ? 1 : 0;
}

u64 CHierarchyObject::KeyDataBytes(bool version2, u32 nodes)
{
    // Magic and one word (version 2: two words), then one record per node.
    return version2 ? 11 + u64(nodes) * kHd2KeyRecordBytes : 7 + u64(nodes) * kHodNodeRecordBytes;
}

int CHierarchyObject::LoadDataToTable_Ver1(FileHandle* file, u32 animIndex, u32 keyIndex)
{
    if (!file) return 0;
    char magic[4];
    if (!ReadMagic(file, magic) || std::strcmp(magic, "HOD") != 0) return 0;
    u8 unused[4];
    if (!ReadExact(file, unused, 4)) return 0;
    return ReadAnimeKeys(file, animIndex, keyIndex, kHodNodeRecordBytes, true, [](const u8* rec, HodKey& key) {
        key.matrix = GetMatrix(rec + 264);
        Mat4 axes = key.matrix;
        MatrixNormalizeAxes(&axes);
        plat::QuaternionRotationMatrix(&key.rotation, &axes);
        key.translation = {key.matrix.m[3][0], key.matrix.m[3][1], key.matrix.m[3][2]};
        for (int r = 0; r < 3; ++r) {
            const Vec3 row{key.matrix.m[r][0], key.matrix.m[r][1], key.matrix.m[r][2]};
            (&key.scale.x)[r] = plat::Vec3Length(&row);
        }
    });
}

int CHierarchyObject::LoadDataToTable_Ver2(FileHandle* file, u32 animIndex, u32 keyIndex)
{
    if (!file) return 0;
    char magic[4];
    if (!ReadMagic(file, magic)) return 0;
    if (std::strcmp(magic, "HOD") == 0) {
        ShowBox("バージョンが違う。Ver.2形式(HD2)じゃないとダメ", "Ver.1");
        return 0;
    }
    if (std::strcmp(magic, "HD2") != 0) {
        ShowBox("不明な形式", "(LoadDataToTable_Ver2)");
        return 0;
    }
    u8 word[4];
    if (!ReadExact(file, word, 4)) return 0;
    if (GetU32(word) == 0) {
        ShowBox("このType0のHD2は読めません(LoadDataToTable_Ver2)。", "type0");
        return 0;
    }
    if (!ReadExact(file, word, 4)) return 0;
    return ReadAnimeKeys(file, animIndex, keyIndex, kHd2KeyRecordBytes, false, [](const u8* rec, HodKey& key) {
        key.rotation = GetQuat(rec + 8);
        key.scale = GetVec3(rec + 24);
        key.translation = GetVec3(rec + 36);
        key.squadA = GetQuat(rec + 48);
        key.squadB = GetQuat(rec + 64);
        key.squadC = GetQuat(rec + 80);
        key.rotationMode = rec[96];
        key.scaleMode = rec[97];
        key.translationMode = rec[98];
        plat::MatrixScaleRotateTranslate(&key.matrix, &key.scale, &key.rotation, &key.translation);
    });
}
