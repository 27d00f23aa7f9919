#include "platform/mesh/MeshHierarchy.h"

#include <cmath>
#include <cstring>
#include <new>

#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "platform/mesh/MeshBuild.h"
#include "platform/mesh/XFile.h"

namespace plat {

namespace {

// Scale, rotation and translation of a matrix key. The rotation is stored in
// the file convention (conjugate of the frame rotation).
void DecomposeKey(const Mat4& m, Vec3* scale, Quat* rotation, Vec3* translation)
{
    Vec3 rows[3];
    for (int r = 0; r < 3; ++r) rows[r] = Vec3(m.m[r][0], m.m[r][1], m.m[r][2]);
    Vec3 s(Vec3Length(&rows[0]), Vec3Length(&rows[1]), Vec3Length(&rows[2]));
    Vec3 c;
    Vec3Cross(&c, &rows[0], &rows[1]);
    if (Vec3Dot(&c, &rows[2]) < 0.0f) s.x = -s.x;  // a mirror shows as negative x scale
    Mat4 rot;
    const float sc[3] = {s.x, s.y, s.z};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) rot.m[r][k] = sc[r] != 0.0f ? m.m[r][k] / sc[r] : (r == k ? 1.0f : 0.0f);
    Quat q;
    QuaternionRotationMatrix(&q, &rot);
    *scale = s;
    *rotation = Quat(q.x, q.y, q.z, -q.w);
    *translation = Vec3(m.m[3][0], m.m[3][1], m.m[3][2]);
}

u32 CountFrames(const XFrameData& f)
{
    u32 n = 1;
    for (const XFrameData& c : f.children) n += CountFrames(c);
    return n;
}

class HierarchyBuilder {
public:
    HierarchyBuilder(u32 options, AllocateHierarchy* alloc) : options_(options), alloc_(alloc) {}

    std::string error;

    // Builds one frame with its meshes and children; null on failure (the
    // partial frame is destroyed).
    MeshFrame* BuildFrame(const XFrameData* data, const std::vector<XMeshData>* looseMeshes)
    {
        MeshFrame* frame = nullptr;
        const char* name = (data && !data->name.empty()) ? data->name.c_str() : nullptr;
        Result r = alloc_->CreateFrame(name, &frame);
        if (Failed(r) || !frame) {
            error = "the frame allocator refused frame '" + std::string(name ? name : "") + "'";
            return nullptr;
        }
        frame->TransformationMatrix = data ? data->transform : Mat4();
        const std::vector<XMeshData>& meshes = data ? data->meshes : *looseMeshes;
        MeshContainer** tail = &frame->pMeshContainer;
        for (const XMeshData& m : meshes) {
            MeshContainer* c = BuildContainer(m);
            if (!c) {
                FrameDestroy(frame, alloc_);
                return nullptr;
            }
            *tail = c;
            tail = &c->pNextMeshContainer;
        }
        if (data) {
            MeshFrame** childTail = &frame->pFrameFirstChild;
            for (const XFrameData& child : data->children) {
                MeshFrame* c = BuildFrame(&child, nullptr);
                if (!c) {
                    FrameDestroy(frame, alloc_);
                    return nullptr;
                }
                *childTail = c;
                childTail = &c->pFrameSibling;
            }
        }
        return frame;
    }

private:
    MeshContainer* BuildContainer(const XMeshData& m)
    {
        try {
            return BuildContainerOrThrow(m);
        } catch (const std::bad_alloc&) {
            error = "mesh '" + m.name + "': out of memory";
            return nullptr;
        }
    }

    MeshContainer* BuildContainerOrThrow(const XMeshData& m)
    {
        detail::BuiltMesh built;
        if (!detail::BuildMesh({{&m, Mat4()}}, options_, built, error)) {
            error = "mesh '" + m.name + "': " + error;
            return nullptr;
        }
        std::shared_ptr<SkinInfo> skin;
        if (!m.skinWeights.empty()) {
            Result r = SkinInfo::Create(built.mesh->GetNumVertices(), built.mesh->GetFVF(),
                                        static_cast<u32>(m.skinWeights.size()), &skin);
            if (Failed(r)) {
                error = "mesh '" + m.name + "': cannot create its skin";
                return nullptr;
            }
            // The file weights its own vertices; a vertex split for its
            // normals takes the weights of the vertex it came from.
            std::vector<std::vector<u32>> derived(m.positions.size());
            for (u32 v = 0; v < built.sourceVertex.size(); ++v) derived[built.sourceVertex[v]].push_back(v);
            for (u32 b = 0; b < m.skinWeights.size(); ++b) {
                const XSkinWeightsData& sw = m.skinWeights[b];
                std::vector<u32> verts;
                std::vector<f32> weights;
                for (size_t i = 0; i < sw.vertices.size(); ++i) {
                    for (u32 v : derived[sw.vertices[i]]) {
                        verts.push_back(v);
                        weights.push_back(sw.weights[i]);
                    }
                }
                skin->SetBoneName(b, sw.boneName.c_str());
                skin->SetBoneOffsetMatrix(b, &sw.offset);
                skin->SetBoneInfluence(b, verts, weights);
            }
        }
        MeshContainerData data;
        data.pMesh = built.mesh;
        MeshContainer* container = nullptr;
        const char* name = m.name.empty() ? nullptr : m.name.c_str();
        Result r = alloc_->CreateMeshContainer(name, &data, built.materials.empty() ? nullptr : built.materials.data(),
                                               nullptr, static_cast<u32>(built.materials.size()),
                                               built.adjacency.data(), skin, &container);
        if (Failed(r) || !container) {
            error = "the mesh allocator refused mesh '" + m.name + "'";
            return nullptr;
        }
        return container;
    }

    u32 options_;
    AllocateHierarchy* alloc_;
};

Result BuildController(const XFileData& file, u32 frameCount, std::shared_ptr<AnimationController>* out)
{
    out->reset();
    if (file.animationSets.empty()) return ResultOk;
    std::shared_ptr<AnimationController> c;
    Result r = AnimationController::Create(frameCount, static_cast<u32>(file.animationSets.size()), 2, 30, &c);
    if (Failed(r)) return r;
    for (const XAnimationSetData& setData : file.animationSets) {
        auto set = std::make_shared<KeyframedAnimationSet>(setData.name, static_cast<f64>(file.ticksPerSecond));
        for (const XAnimationData& a : setData.animations) {
            std::vector<KeyVector3> scale, translation;
            std::vector<KeyQuaternion> rotation;
            for (const auto& k : a.scales) scale.push_back({static_cast<f32>(k.time), k.value});
            for (const auto& k : a.translations) translation.push_back({static_cast<f32>(k.time), k.value});
            for (const auto& k : a.rotations) rotation.push_back({static_cast<f32>(k.time), k.value});
            for (const auto& k : a.matrices) {
                KeyVector3 s, t;
                KeyQuaternion q;
                s.Time = t.Time = q.Time = static_cast<f32>(k.time);
                DecomposeKey(k.value, &s.Value, &q.Value, &t.Value);
                scale.push_back(s);
                rotation.push_back(q);
                translation.push_back(t);
            }
            set->RegisterAnimationSRTKeys(a.frameName.c_str(), std::move(scale), std::move(rotation),
                                          std::move(translation));
        }
        c->RegisterAnimationSet(set);
    }
    std::shared_ptr<KeyframedAnimationSet> first;
    c->GetAnimationSet(0, &first);
    c->SetTrackAnimationSet(0, first);
    c->SetTrackEnable(0, true);
    *out = std::move(c);
    return ResultOk;
}

// Builds the frames of a parsed file into first, which holds whatever was
// built so far should memory run short on the way.
Result BuildHierarchy(const XFileData& file, u32 options, AllocateHierarchy* allocator, MeshFrame*& first,
                      MeshFrame** root, std::shared_ptr<AnimationController>* controller, std::string* error)
{
    HierarchyBuilder builder(options, allocator);
    MeshFrame** tail = &first;
    u32 frameCount = 0;
    if (!file.meshes.empty()) {
        MeshFrame* f = builder.BuildFrame(nullptr, &file.meshes);
        if (!f) {
            if (error) *error = builder.error;
            return ResultFail;
        }
        *tail = f;
        tail = &f->pFrameSibling;
        ++frameCount;
    }
    for (const XFrameData& fd : file.frames) {
        MeshFrame* f = builder.BuildFrame(&fd, nullptr);
        if (!f) {
            FrameDestroy(first, allocator);
            first = nullptr;
            if (error) *error = builder.error;
            return ResultFail;
        }
        *tail = f;
        tail = &f->pFrameSibling;
        frameCount += CountFrames(fd);
    }
    if (controller) {
        Result r = BuildController(file, frameCount, controller);
        if (Failed(r)) {
            FrameDestroy(first, allocator);
            first = nullptr;
            if (error) *error = "cannot build the animation controller";
            return r;
        }
    }
    *root = first;
    return ResultOk;
}

}  // namespace

Result LoadMeshHierarchyFromXInMemory(const void* data, size_t size, u32 options, AllocateHierarchy* allocator,
                                      MeshFrame** root, std::shared_ptr<AnimationController>* controller,
                                      std::string* error)
{
    if (!allocator || !root) return ResultInvalidCall;
    *root = nullptr;
    if (controller) controller->reset();
    std::string err;
    XFileData file;
    if (!ParseXFile(data, size, file, err)) {
        if (error) *error = err;
        return ResultFail;
    }
    if (file.frames.empty() && file.meshes.empty()) {
        if (error) *error = "the file holds no frame or mesh";
        return ResultFail;
    }
    MeshFrame* first = nullptr;
    // Memory running short on the way is a refusal like any other.
    try {
        return BuildHierarchy(file, options, allocator, first, root, controller, error);
    } catch (const std::bad_alloc&) {
        FrameDestroy(first, allocator);
        if (controller) controller->reset();
        if (error) *error = "out of memory";
        return ResultOutOfMemory;
    }
}


Result LoadMeshHierarchyFromX(const char* path, u32 options, AllocateHierarchy* allocator, MeshFrame** root,
                              std::shared_ptr<AnimationController>* controller, std::string* error)
{
    if (root) *root = nullptr;
    if (controller) controller->reset();
    std::string bytes, err;
    if (!detail::ReadFileBytes(path, bytes, err)) {
        ReportLoadFailure(path, err.c_str());
        if (error) *error = err;
        return ResultFail;
    }
    const Result r =
        LoadMeshHierarchyFromXInMemory(bytes.data(), bytes.size(), options, allocator, root, controller, &err);
    if (r != ResultOk) ReportLoadFailure(path, err.c_str());
    if (error) *error = err;
    return r;
}

Result FrameDestroy(MeshFrame* root, AllocateHierarchy* allocator)
{
    if (!allocator) return ResultInvalidCall;
    // Siblings in a loop, children by recursion (depth is bounded by the parser).
    while (root) {
        MeshFrame* next = root->pFrameSibling;
        MeshContainer* c = root->pMeshContainer;
        while (c) {
            MeshContainer* nc = c->pNextMeshContainer;
            allocator->DestroyMeshContainer(c);
            c = nc;
        }
        FrameDestroy(root->pFrameFirstChild, allocator);
        allocator->DestroyFrame(root);
        root = next;
    }
    return ResultOk;
}

MeshFrame* FrameFind(MeshFrame* root, const char* name)
{
    if (!name) return nullptr;
    for (MeshFrame* f = root; f; f = f->pFrameSibling) {
        if (f->Name && std::strcmp(f->Name, name) == 0) return f;
        if (MeshFrame* found = FrameFind(f->pFrameFirstChild, name)) return found;
    }
    return nullptr;
}

}  // namespace plat
