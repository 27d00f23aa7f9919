#include "engine/graphics/MeshObject.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshBudget.h"
#include "engine/graphics/Shaders.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Effect.h"
#include "platform/math/Math.h"
#include "platform/gfx/TextureFile.h"
#include "platform/math/FourLanes.h"

namespace {

thread_local std::string t_loadError;

plat::GfxDevice* CurrentDevice()
{
    return GetGraphicsDevice()->device;
}

// Meshes draw on the graphics object's device of the moment.
const bool g_deviceSourceSet = (plat::SetMeshDeviceSource(&CurrentDevice), true);

// The name the size-levelled loaders share for materials without a usable texture.
constexpr const char* kDummyTexture = "dammy";

Vec3 Cross(const Vec3& a, const Vec3& b)
{
    Vec3 r;
    plat::Vec3Cross(&r, &a, &b);
    return r;
}

float Dot(const Vec3& a, const Vec3& b) { return plat::Vec3Dot(&a, &b); }

Vec3 Normalized(const Vec3& v)
{
    Vec3 r;
    plat::Vec3Normalize(&r, &v);
    return r;
}

// Reads a file whole and unscrambles it; empty when it cannot be read.
bool ReadScrambled(const char* name, u32 key, FileBuffer& out)
{
    if (!name || !out.Load(name)) return false;
    out.XorWords(key);
    return true;
}

// Reads a scrambled X file into a mesh; the memory image goes as soon as the
// mesh is made. Failures leave their reason in t_loadError.
bool LoadScrambledMesh(const char* fileName, u32 key, plat::LoadedMesh& loaded, MeshBudget* budget)
{
    FileBuffer file;
    if (!ReadScrambled(fileName, key, file)) {
        t_loadError = std::string("cannot read '") + (fileName ? fileName : "") + "'";
        if (fileName) plat::ReportLoadFailure(fileName, "cannot be read");
        return false;
    }
    if (budget && !budget->Admit(fileName, file.data, file.size, nullptr, &t_loadError)) {
        // The owner of a refused budget reports it in its own words.
        if (!budget->Refused()) plat::ReportLoadFailure(fileName, t_loadError.c_str());
        return false;
    }
    if (plat::LoadMeshFromXInMemory(file.data, file.size, plat::MeshManaged, loaded, &t_loadError)) return true;
    plat::ReportLoadFailure(fileName, t_loadError.c_str());
    return false;
}

// Nearest hit wins; a tie keeps the earlier one.
void KeepNearest(bool hit, float d, u32 i, int* any, float* best, u32* bestIndex)
{
    if (!hit) return;
    if (!*any || *best > d) {
        *best = d;
        *bestIndex = i;
    }
    *any = 1;
}

void Push(Vec3* centre, Vec3* pushDir, Vec3 d, float depth)
{
    d = Normalized(d) * depth;
    *pushDir += d;
    *centre += d;
}

}  // namespace

const char* MeshObject::LastLoadError()
{
    return t_loadError.c_str();
}

// ---- loading -------------------------------------------------------------------

int MeshObject::Load(const char* fileName, u32 textureLevel, TextureManager* manager, MeshBudget* budget)
{
    Release();
    t_loadError.clear();
    plat::LoadedMesh loaded;
    if (budget ? !LoadScrambledMesh(fileName, 0, loaded, budget)
               : !plat::LoadMeshFromX(fileName, plat::MeshManaged, loaded, &t_loadError))
        return 0;
    return Finish(loaded, TextureSource::File, textureLevel, 0, manager);
}

int MeshObject::LoadScrambled(const char* fileName, u32 key, TextureManager* manager, MeshBudget* budget)
{
    Release();
    t_loadError.clear();
    plat::LoadedMesh loaded;
    if (!LoadScrambledMesh(fileName, key, loaded, budget)) return 0;
    return Finish(loaded, TextureSource::Scrambled, 0, key, manager);
}

int MeshObject::LoadScrambledWithTextures(const char* fileName, u32 textureLevel, u32 key, TextureManager* manager,
                                          MeshBudget* budget)
{
    Release();
    t_loadError.clear();
    plat::LoadedMesh loaded;
    if (!LoadScrambledMesh(fileName, key, loaded, budget)) return 0;
    return Finish(loaded, TextureSource::ScrambledSized, textureLevel, key, manager);
}

int MeshObject::Finish(plat::LoadedMesh& loaded, TextureSource source, u32 textureLevel, u32 key,
                       TextureManager* manager)
{
    const u32 count = static_cast<u32>(loaded.materials.size());
    // Callers keep fixed tables of materials; a bigger mesh would run past them.
    if (count > MaxMaterials) {
        t_loadError = "mesh has " + std::to_string(count) + " materials, more than " + std::to_string(MaxMaterials);
        return 0;
    }
    if (source != TextureSource::Scrambled && textureLevel != NoTextures && textureLevel > 31) {
        t_loadError = "texture level " + std::to_string(textureLevel) + " is not supported";
        return 0;
    }
    // Every face must name a material the mesh has, or no subset would draw it.
    const u32* attr = loaded.mesh->AttributeData();
    for (u32 f = 0; f < loaded.mesh->GetNumFaces() && count > 0; ++f) {
        if (attr[f] >= count) {
            t_loadError = "face " + std::to_string(f) + " names material " + std::to_string(attr[f]) + " of " +
                          std::to_string(count);
            return 0;
        }
    }
    materials = new (std::nothrow) plat::GfxMaterial[count ? count : 1];
    textures = new (std::nothrow) TextureHandle*[count ? count : 1]();
    if (!materials || !textures) {
        delete[] materials;
        delete[] textures;
        materials = nullptr;
        textures = nullptr;
        t_loadError = "out of memory";
        return 0;
    }
    materialCount = count;
    const u32 divisor = (textureLevel == NoTextures || textureLevel > 31) ? 1u : (1u << textureLevel);
    for (u32 i = 0; i < count; ++i) {
        const plat::MeshMaterial& m = loaded.materials[i].MatD3D;
        plat::GfxMaterial& g = materials[i];
        g.diffuse = m.Diffuse;
        g.ambient = m.Diffuse;
        g.specular = m.Specular;
        g.emissive = m.Emissive;
        g.power = m.Power;
        const std::string& name = loaded.materials[i].textureFilename;
        // Shared by where the file is, not by its name: every stage has its own "sky.png".
        const std::string shareName = name.empty() ? name : plat::ResolvePath(name.c_str());

        if (source == TextureSource::Scrambled) {
            FileBuffer image;
            ReadScrambled(name.c_str(), key, image);  // unreadable: an empty image
            if (manager) {
                TextureHandle* h = manager->Find(shareName.c_str());
                if (!h) {
                    h = manager->Create(shareName.c_str());
                    if (h && image.data) h->LoadMemory(image.data, image.size);
                }
                textures[i] = h;
            } else {
                textures[i] = new TextureHandle();
                if (image.data) textures[i]->LoadMemory(image.data, image.size);
            }
            if (!textures[i]) textures[i] = new TextureHandle();  // a refused Create keeps the slot usable
            continue;
        }
        if (textureLevel == NoTextures) {
            textures[i] = new TextureHandle();
            continue;
        }
        plat::ImageInfo info;
        FileBuffer image;
        bool known = false;
        if (!name.empty()) {
            if (source == TextureSource::File) {
                known = plat::GetImageInfoFromFile(name.c_str(), &info) == plat::GfxResult::Ok;
            } else if (ReadScrambled(name.c_str(), key, image)) {
                known = plat::GetImageInfoFromFileInMemory(image.data, image.size, &info) == plat::GfxResult::Ok;
            }
        }
        if (!known) {
            if (manager) {
                TextureHandle* h = manager->Find(kDummyTexture);
                if (!h) h = manager->Create(kDummyTexture);
                textures[i] = h ? h : new TextureHandle();
            } else {
                textures[i] = new TextureHandle();
            }
            continue;
        }
        const u32 w = std::max(1u, info.width / divisor), h = std::max(1u, info.height / divisor);
        auto load = [&](TextureHandle* t) {
            if (source == TextureSource::File) {
                t->LoadFileEx(name.c_str(), w, h, plat::kGfxDefault, 0, plat::GfxFormat::Unknown,
                              plat::GfxPool::Managed, plat::kGfxDefault, plat::kGfxDefault, 0, nullptr);
            } else {
                t->LoadMemoryEx(image.data, image.size, w, h, plat::kGfxDefault, 0, plat::GfxFormat::Unknown,
                                plat::GfxPool::Managed, plat::kGfxDefault, plat::kGfxDefault, 0, nullptr);
            }
        };
        if (manager) {
            TextureHandle* t = manager->Find(shareName.c_str());
            if (!t) {
                t = manager->Create(shareName.c_str());
                if (t) load(t);
            }
            textures[i] = t ? t : new TextureHandle();
        } else {
            textures[i] = new TextureHandle();
            load(textures[i]);
        }
    }
    mesh = std::move(loaded.mesh);
    adjacency = std::move(loaded.adjacency);
    faceCount = mesh->GetNumFaces();
    return 1;
}

void MeshObject::Release()
{
    delete[] materials;
    materials = nullptr;
    if (textures) {
        for (u32 i = 0; i < materialCount; ++i) {
            TextureHandle* t = textures[i];
            if (!t) continue;
            if (t->manager) {
                t->Release();  // the manager keeps it while others hold it
            } else {
                t->Release();
                delete t;
            }
        }
        delete[] textures;
        textures = nullptr;
    }
    mesh.reset();
    progressiveMesh.reset();
    delete[] triangles;
    triangles = nullptr;
    blocks.reset();
    adjacency.reset();
    materialCount = 0;
}

// ---- bounds and triangles ---------------------------------------------------------

void MeshObject::ComputeBounds()
{
    if (!mesh) return;
    void* data = nullptr;
    if (plat::Failed(mesh->LockVertexBuffer(plat::LockReadOnly, &data))) return;
    const auto* first = static_cast<const Vec3*>(data);
    plat::ComputeBoundingBox(first, mesh->GetNumVertices(), mesh->GetNumBytesPerVertex(), &boxMin, &boxMax);
    boxSize = boxMax - boxMin;
    plat::ComputeBoundingSphere(first, mesh->GetNumVertices(), mesh->GetNumBytesPerVertex(), &sphereCentre,
                                &sphereRadius);
    mesh->UnlockVertexBuffer();
}

void MeshObject::BuildCollisionTriangles()
{
    if (!mesh) return;
    delete[] triangles;
    triangles = nullptr;
    blocks.reset();
    // The processing steps may have changed the face count since the load;
    // the triangles follow the mesh as it is now.
    faceCount = mesh->GetNumFaces();
    triangles = new (std::nothrow) CollisionTriangle[faceCount ? faceCount : 1]();
    blocks.reset(new (std::nothrow) CollisionBlock[(faceCount + 3) / 4]());
    if (!triangles || !blocks) {
        delete[] triangles;
        triangles = nullptr;
        blocks.reset();
        faceCount = 0;
        return;
    }
    void* vdata = nullptr;
    void* idata = nullptr;
    mesh->LockVertexBuffer(plat::LockReadOnly, &vdata);
    mesh->LockIndexBuffer(plat::LockReadOnly, &idata);
    const u8* vb = static_cast<const u8*>(vdata);
    const u16* ib = static_cast<const u16*>(idata);
    const u32 stride = mesh->GetNumBytesPerVertex();
    const u32 verts = mesh->GetNumVertices();
    for (u32 i = 0; i < faceCount; ++i) {
        CollisionTriangle& t = triangles[i];
        const u32 a = ib[i * 3], b = ib[i * 3 + 1], c = ib[i * 3 + 2];
        if (a >= verts || b >= verts || c >= verts) continue;  // left all zero
        std::memcpy(&t.P0, vb + static_cast<size_t>(a) * stride, 12);
        std::memcpy(&t.P1, vb + static_cast<size_t>(b) * stride, 12);
        std::memcpy(&t.P2, vb + static_cast<size_t>(c) * stride, 12);
        t.normal = Normalized(Cross(t.P1 - t.P0, t.P2 - t.P0));
        t.min = t.P0;
        t.max = t.P0;
        for (const Vec3* p : {&t.P1, &t.P2}) {
            t.min = Vec3(std::min(t.min.x, p->x), std::min(t.min.y, p->y), std::min(t.min.z, p->z));
            t.max = Vec3(std::max(t.max.x, p->x), std::max(t.max.y, p->y), std::max(t.max.z, p->z));
        }
        CollisionBlock& block = blocks[i / 4];
        const Vec3 e1 = t.P1 - t.P0, e2 = t.P2 - t.P0;
        const Vec3* from[6] = {&t.P0, &e1, &e2, &t.min, &t.max, &t.normal};
        float(*into[6])[4] = {block.p0, block.e1, block.e2, block.min, block.max, block.normal};
        for (int k = 0; k < 6; ++k) {
            into[k][0][i % 4] = from[k]->x;
            into[k][1][i % 4] = from[k]->y;
            into[k][2][i % 4] = from[k]->z;
        }
    }
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
}

// ---- drawing -----------------------------------------------------------------------

plat::BaseMesh* MeshObject::DrawnMesh() const
{
    if (progressiveMesh) return progressiveMesh.get();
    return mesh.get();
}

void MeshObject::DrawWith(MeshObject* source, bool alpha, float alphaScale)
{
    plat::BaseMesh* drawn = DrawnMesh();
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (!drawn || !source || !device || !source->materials) return;
    plat::SetMeshDeviceSource(&CurrentDevice);
    const u32 count = std::min(materialCount, source->materialCount);
    for (u32 i = 0; i < count; ++i) {
        plat::GfxMaterial m = source->materials[i];
        if (alpha) m.diffuse.a *= alphaScale;
        device->SetMaterial(m);
        TextureHandle* t = source->textures[i];
        device->SetTexture(0, t ? t->texture : nullptr);
        drawn->DrawSubset(i);
    }
}

void MeshObject::DrawShaderWith(ShaderBase* shader, MeshObject* source, bool alpha, float alphaScale)
{
    plat::BaseMesh* drawn = DrawnMesh();
    if (!drawn || !shader || !shader->effect || !source || !source->materials) return;
    plat::Effect* e = shader->effect.get();
    plat::SetMeshDeviceSource(&CurrentDevice);
    const u32 count = std::min(materialCount, source->materialCount);
    e->Begin(&shader->passCount, 0);
    for (u32 p = 0; p < shader->passCount; ++p) {
        e->BeginPass(p);
        for (u32 i = 0; i < count; ++i) {
            plat::GfxMaterial m = source->materials[i];
            if (alpha) m.diffuse.a *= alphaScale;
            shader->SetMaterial(&m, source->textures[i]);
            e->CommitChanges();
            drawn->DrawSubset(i);
        }
        e->EndPass();
    }
    e->End();
}

namespace {

// An alpha argument that is the diffuse, the texture's or the previous
// stage's alpha as it is.
bool PlainAlphaArg(u32 arg)
{
    return arg == plat::TaDiffuse || arg == plat::TaCurrent || arg == plat::TaTexture;
}

}  // namespace

bool DrawStateHidesBehind(plat::GfxDevice* d)
{
    using RS = plat::GfxRenderState;
    using SS = plat::GfxStageState;
    if (!d) return false;
    const u32 zfunc = d->RenderState(RS::ZFunc);
    if (!d->RenderState(RS::ZEnable) || !d->RenderState(RS::ZWriteEnable) ||
        (zfunc != plat::CmpLess && zfunc != plat::CmpLessEqual))
        return false;
    if (d->RenderState(RS::StencilEnable) || (d->RenderState(RS::ColorWriteEnable) & 0xF) != 0xF) return false;
    if (d->RenderState(RS::AlphaBlendEnable)) {
        const u32 src = d->RenderState(RS::SrcBlend), dest = d->RenderState(RS::DestBlend);
        if (d->RenderState(RS::BlendOp) != plat::BlendOpAdd || (src != plat::BlendSrcAlpha && src != plat::BlendOne) ||
            (dest != plat::BlendInvSrcAlpha && dest != plat::BlendZero))
            return false;
    }
    // Stage 0 gives the diffuse alpha when off; a stage after it must pass
    // the alpha on or be off.
    if (d->TextureStageState(0, SS::ColorOp) != plat::TopDisable) {
        const u32 op = d->TextureStageState(0, SS::AlphaOp);
        const u32 a1 = d->TextureStageState(0, SS::AlphaArg1), a2 = d->TextureStageState(0, SS::AlphaArg2);
        const bool plain = (op == plat::TopSelectArg1 && PlainAlphaArg(a1)) ||
                           (op == plat::TopSelectArg2 && PlainAlphaArg(a2)) ||
                           (op == plat::TopModulate && PlainAlphaArg(a1) && PlainAlphaArg(a2));
        if (!plain) return false;
        if (d->TextureStageState(1, SS::ColorOp) != plat::TopDisable) {
            const u32 op1 = d->TextureStageState(1, SS::AlphaOp);
            if (!(op1 == plat::TopSelectArg1 && d->TextureStageState(1, SS::AlphaArg1) == plat::TaCurrent) &&
                !(op1 == plat::TopSelectArg2 && d->TextureStageState(1, SS::AlphaArg2) == plat::TaCurrent))
                return false;
        }
    }
    return true;
}

bool MaterialsOpaque(const plat::GfxMaterial* materials, TextureHandle* const* textures, u32 count)
{
    if (count != 0 && !materials) return false;
    for (u32 i = 0; i < count; ++i) {
        if (!(materials[i].diffuse.a >= 1.0f)) return false;
        const TextureHandle* t = textures ? textures[i] : nullptr;
        if (t && t->texture && !t->texture->Opaque()) return false;
    }
    return true;
}

bool MeshObject::DrawsOpaque(const MeshObject* source) const
{
    if (!source) source = this;
    const plat::BaseMesh* drawn = DrawnMesh();
    if (!drawn || !source->materials) return true;  // draws nothing
    return drawn->VertexColoursOpaque() &&
           MaterialsOpaque(source->materials, source->textures, std::min(materialCount, source->materialCount));
}

void MeshObject::Draw() { DrawWith(this, false, 1.0f); }
void MeshObject::DrawAlpha(float alpha) { DrawWith(this, true, alpha); }
void MeshObject::DrawShader(ShaderBase* shader) { DrawShaderWith(shader, this, false, 1.0f); }
void MeshObject::DrawShaderAlpha(ShaderBase* shader, float alpha) { DrawShaderWith(shader, this, true, alpha); }
void MeshObject::DrawMeshObject(MeshObject* other) { DrawWith(other, false, 1.0f); }
void MeshObject::DrawMeshObjectAlpha(MeshObject* other, float alpha) { DrawWith(other, true, alpha); }
void MeshObject::DrawMeshObjectShader(ShaderBase* shader, MeshObject* other) { DrawShaderWith(shader, other, false, 1.0f); }
void MeshObject::DrawMeshObjectShaderAlpha(ShaderBase* shader, MeshObject* other, float alpha)
{
    DrawShaderWith(shader, other, true, alpha);
}

// ---- picking -----------------------------------------------------------------------

namespace {

using plat::Four;
using plat::FourMask;
using plat::LaneBits;
using plat::Lanes;
using plat::Spread;

// The lanes of the block starting at triangle first that hold triangles.
u32 LanesHeld(u32 faceCount, u32 first) { return faceCount - first >= 4 ? 0xFu : (1u << (faceCount - first)) - 1; }

// plat::IntersectTri for the four triangles of a block, each lane making its
// operations in its order, so a lane accepts exactly what it would accept
// with the same distance.
FourMask RayHitsFour(const CollisionBlock& b, const Four (&o)[3], const Four (&d)[3], Four* dist)
{
    const Four e1x = Lanes(b.e1[0]), e1y = Lanes(b.e1[1]), e1z = Lanes(b.e1[2]);
    const Four e2x = Lanes(b.e2[0]), e2y = Lanes(b.e2[1]), e2z = Lanes(b.e2[2]);
    const Four px = d[1] * e2z - d[2] * e2y, py = d[2] * e2x - d[0] * e2z, pz = d[0] * e2y - d[1] * e2x;
    const Four det = e1x * px + e1y * py + e1z * pz;
    const Four zero = Spread(0.0f), one = Spread(1.0f);
    const Four inv = one / det;
    const Four tx = o[0] - Lanes(b.p0[0]), ty = o[1] - Lanes(b.p0[1]), tz = o[2] - Lanes(b.p0[2]);
    const Four hu = (tx * px + ty * py + tz * pz) * inv;
    const Four qx = ty * e1z - tz * e1y, qy = tz * e1x - tx * e1z, qz = tx * e1y - ty * e1x;
    const Four hv = (d[0] * qx + d[1] * qy + d[2] * qz) * inv;
    const Four t = (e2x * qx + e2y * qy + e2z * qz) * inv;
    *dist = t;
    return ~(det == zero) & (hu >= zero) & (hu <= one) & (hv >= zero) & (hu + hv <= one) & (t >= zero);
}

}  // namespace

int MeshObject::NearestRayHit(const Vec3& origin, const Vec3& dir, const Vec3* lo, const Vec3* hi, float* dist,
                              u32* index) const
{
    int any = 0;
    float best = 0.0f;
    u32 bestIndex = 0;
    const Four o[3] = {Spread(origin.x), Spread(origin.y), Spread(origin.z)};
    const Four d[3] = {Spread(dir.x), Spread(dir.y), Spread(dir.z)};
    for (u32 first = 0; first < faceCount; first += 4) {
        const CollisionBlock& b = blocks[first / 4];
        u32 lanes = LanesHeld(faceCount, first);
        if (lo && hi) {
            // The triangle bounds test of each lane.
            lanes &= plat::FourBoxesMeet(*lo, *hi, b.min[0], b.max[0], 4);
            if (!lanes) continue;
        }
        Four t;
        lanes &= LaneBits(RayHitsFour(b, o, d, &t));
        // In triangle order, as one at a time.
        for (; lanes; lanes &= lanes - 1) {
            const u32 lane = __builtin_ctz(lanes);
            KeepNearest(true, t[lane], first + lane, &any, &best, &bestIndex);
        }
    }
    if (any) {
        if (dist) *dist = best;
        if (index) *index = bestIndex;
    }
    return any;
}

int MeshObject::IntersectRay(const Vec3* origin, const Vec3* dir, float* dist, u32* index)
{
    if (!triangles || !origin || !dir) return 0;
    return NearestRayHit(*origin, *dir, nullptr, nullptr, dist, index);
}

int MeshObject::IntersectRayInBox(const Vec3* origin, const Vec3* dir, const Vec3& lo, const Vec3& hi, float* dist,
                                  u32* index)
{
    if (!triangles || !origin || !dir) return 0;
    return NearestRayHit(*origin, *dir, &lo, &hi, dist, index);
}

int MeshObject::IntersectRayWorld(const Vec3* origin, const Vec3* dir, float* dist, u32* index, const Mat4* world)
{
    if (!origin || !dir || !world) return 0;
    Mat4 inv;  // a singular matrix leaves it at identity
    plat::MatrixInverse(&inv, nullptr, world);
    Vec3 o, d;
    plat::Vec3TransformNormal(&d, dir, &inv);
    plat::Vec3TransformCoord(&o, origin, &inv);
    return IntersectRay(&o, &d, dist, index);
}

int BoxIntersectRayMinMax(const Vec3* min, const Vec3* max, const Vec3* origin, const Vec3* dir, float* dist)
{
    if (!min || !max || !origin || !dir) return 0;
    const float lo[3] = {min->x, min->y, min->z};
    const float hi[3] = {max->x, max->y, max->z};
    int any = 0;
    float best = 0.0f;
    u32 unused = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const int a = (axis + 1) % 3, b = (axis + 2) % 3;
        for (int side = 0; side < 2; ++side) {
            // The face's corners in strip order.
            Vec3 c[4];
            for (int k = 0; k < 4; ++k) {
                float p[3];
                p[axis] = side ? hi[axis] : lo[axis];
                p[a] = (k & 1) ? hi[a] : lo[a];
                p[b] = (k & 2) ? hi[b] : lo[b];
                c[k] = Vec3(p[0], p[1], p[2]);
            }
            float d = 0.0f;
            bool hit = plat::IntersectTri(&c[0], &c[1], &c[2], origin, dir, nullptr, nullptr, &d);
            KeepNearest(hit, d, 0, &any, &best, &unused);
            hit = plat::IntersectTri(&c[1], &c[2], &c[3], origin, dir, nullptr, nullptr, &d);
            KeepNearest(hit, d, 0, &any, &best, &unused);
        }
    }
    if (any && dist) *dist = best;
    return any;
}

int MeshObject::BoxIntersectRay(const Vec3* origin, const Vec3* dir, float* dist)
{
    return BoxIntersectRayMinMax(&boxMin, &boxMax, origin, dir, dist);
}

// ---- sphere push-out ----------------------------------------------------------------

namespace {

// The face stage for one triangle: pushes the centre out along the normal
// when it lies over the face within radius of its plane (true), or queues
// the triangle for the edge stage when it lies beside it near enough.
bool PushFromFace(CollisionTriangle& t, Vec3* centre, float radius, Vec3* pushDir, CQueue<FaceQ>* faces)
{
    const float dist = Dot(*centre - t.P0, t.normal);
    if (!(-radius < dist && dist < radius)) return false;
    const Vec3* corners[3] = {&t.P0, &t.P1, &t.P2};
    bool outside = false;
    for (int e = 0; e < 3; ++e) {
        const Vec3& a = *corners[e];
        const Vec3& b = *corners[(e + 1) % 3];
        if (Dot(Cross(b - a, *centre - a), t.normal) < 0.0f) {
            outside = true;
            break;
        }
    }
    if (outside) {
        // Only a triangle whose box reaches the sphere's box can touch it by an edge.
        const float c[3] = {centre->x, centre->y, centre->z};
        const float mn[3] = {t.min.x, t.min.y, t.min.z};
        const float mx[3] = {t.max.x, t.max.y, t.max.z};
        bool overlap = true;
        for (int k = 0; k < 3; ++k) overlap &= mx[k] >= c[k] - radius && mn[k] <= c[k] + radius;
        if (overlap) {
            if (FaceQ* node = faces->Add()) node->triangle = &t;
        }
        return false;
    }
    const Vec3 push = t.normal * (radius - dist);
    *pushDir += push;
    *centre += push;  // later triangles see the moved centre
    return true;
}

// The lanes whose plane PushFromFace finds within radius of the centre: its
// own distance, lane by lane.
u32 PlanesNear(const CollisionBlock& b, const Vec3& centre, float radius)
{
    const Four dist = (Spread(centre.x) - Lanes(b.p0[0])) * Lanes(b.normal[0]) +
                      (Spread(centre.y) - Lanes(b.p0[1])) * Lanes(b.normal[1]) +
                      (Spread(centre.z) - Lanes(b.p0[2])) * Lanes(b.normal[2]);
    return LaneBits((Spread(-radius) < dist) & (dist < Spread(radius)));
}

}  // namespace

int MeshObject::CollideSphere(Vec3* centre, float radius, float* pushLength, Vec3* pushDir, CQueue<FaceQ>* faces)
{
    if (!faces || !centre || !pushLength || !pushDir) return 0;
    *pushDir = Vec3();
    *pushLength = 0.0f;
    int result = 0;
    for (u32 first = 0; triangles && first < faceCount; first += 4) {
        // Most planes are out of reach: only the triangles of lanes within
        // it take the face test, in order. A push moves the centre, so the
        // lanes after it are looked at again from there.
        const CollisionBlock& b = blocks[first / 4];
        const u32 held = LanesHeld(faceCount, first);
        for (u32 lanes = PlanesNear(b, *centre, radius) & held; lanes;) {
            const u32 lane = __builtin_ctz(lanes);
            if (PushFromFace(triangles[first + lane], centre, radius, pushDir, faces)) {
                result = 1;
                lanes = PlanesNear(b, *centre, radius) & held & ~((2u << lane) - 1);
            } else {
                lanes &= lanes - 1;
            }
        }
    }
    *pushLength = plat::Vec3Length(pushDir);
    plat::Vec3Normalize(pushDir, pushDir);
    return result;
}

int MeshObject::CollideSphere2(Vec3* centre, float radius, float* pushLength, Vec3* pushDir, CQueue<FaceQ>* faces)
{
    if (!faces || !centre || !pushLength || !pushDir) return 0;
    *pushDir = Vec3();
    *pushLength = 0.0f;
    int result = 0;
    const float r2 = radius * radius;
    while (FaceQ* node = faces->Pop()) {
        if (const CollisionTriangle* t = node->triangle) {
            const Vec3* corners[3] = {&t->P0, &t->P1, &t->P2};
            for (int e = 0; e < 3; ++e) {
                const Vec3& a = *corners[e];
                const Vec3 edge = *corners[(e + 1) % 3] - a;
                const float along = Dot(*centre - a, edge) / Dot(edge, edge);
                const Vec3 d = *centre - (a + edge * along);
                const float d2 = Dot(d, d);
                if (along >= 0.0f && along <= 1.0f && d2 <= r2) {
                    Push(centre, pushDir, d, radius - std::sqrt(d2));
                    result = 1;
                }
            }
            for (const Vec3* v : corners) {
                const Vec3 d = *centre - *v;
                const float d2 = Dot(d, d);
                if (d2 <= r2) {
                    Push(centre, pushDir, d, radius - std::sqrt(d2));
                    result = 1;
                }
            }
        }
        delete node;
    }
    *pushLength = plat::Vec3Length(pushDir);
    plat::Vec3Normalize(pushDir, pushDir);
    return result;
}

namespace {

using Collide = int (MeshObject::*)(Vec3*, float, float*, Vec3*, CQueue<FaceQ>*);

int CollideInWorld(MeshObject* m, Collide stage, Vec3* centre, float radius, float* pushLength, Vec3* pushDir,
                   CQueue<FaceQ>* faces, const Mat4* world)
{
    if (!centre || !world || !pushLength || !pushDir) return 0;
    Mat4 inv;
    plat::MatrixInverse(&inv, nullptr, world);
    Vec3 local;
    plat::Vec3TransformCoord(&local, centre, &inv);
    const int r = (m->*stage)(&local, radius, pushLength, pushDir, faces);
    if (r) {
        plat::Vec3TransformNormal(pushDir, pushDir, world);
        *centre += *pushDir * *pushLength;
    }
    return r;
}

}  // namespace

int MeshObject::CollideSphereWorld(Vec3* centre, float radius, float* pushLength, Vec3* pushDir,
                                   CQueue<FaceQ>* faces, const Mat4* world)
{
    return CollideInWorld(this, &MeshObject::CollideSphere, centre, radius, pushLength, pushDir, faces, world);
}

int MeshObject::CollideSphere2World(Vec3* centre, float radius, float* pushLength, Vec3* pushDir,
                                    CQueue<FaceQ>* faces, const Mat4* world)
{
    return CollideInWorld(this, &MeshObject::CollideSphere2, centre, radius, pushLength, pushDir, faces, world);
}

// ---- processing ------------------------------------------------------------------------

std::span<u32> MeshObject::AdjacencySpan() const
{
    if (!adjacency) return {};
    return {static_cast<u32*>(adjacency->GetBufferPointer()), adjacency->GetBufferSize() / sizeof(u32)};
}

int MeshObject::CreateAdjacency(float epsilon, u32 bufferBytes)
{
    if (!mesh) return 0;
    adjacency.reset();
    adjacency = plat::CreateBuffer(bufferBytes);
    if (!adjacency) return 0;
    // A buffer too small for three entries per face is refused, not overrun.
    return plat::Succeeded(mesh->GenerateAdjacency(epsilon, AdjacencySpan())) ? 1 : 0;
}

int MeshObject::Clean(u32 cleanType)
{
    if (!mesh) return 0;
    std::shared_ptr<plat::Mesh> cleaned;
    const std::span<u32> adj = AdjacencySpan();
    if (plat::Failed(plat::CleanMesh(cleanType, mesh.get(), adj, &cleaned, adj))) return 0;
    mesh = std::move(cleaned);
    return 1;
}

int MeshObject::OptimizeInplace(u32 flags)
{
    if (!mesh) return 0;
    const std::span<u32> adj = AdjacencySpan();
    return plat::Succeeded(mesh->OptimizeInplace(flags, adj, adj)) ? 1 : 0;
}

int MeshObject::WeldVertices(u32 flags, const plat::WeldEpsilons* epsilons)
{
    if (!mesh) return 0;
    const std::span<u32> adj = AdjacencySpan();
    return plat::Succeeded(plat::WeldVertices(mesh.get(), flags, epsilons, adj, adj)) ? 1 : 0;
}

int MeshObject::ComputeNormals()
{
    if (!mesh) return 0;
    return plat::Succeeded(plat::ComputeNormals(mesh.get())) ? 1 : 0;
}

int MeshObject::GenerateProgressiveMesh(const plat::AttributeWeights* attributeWeights, const float* vertexWeights,
                                        u32 minValue, u32 options, u32 releaseSource)
{
    if (!mesh) return 0;
    std::shared_ptr<plat::PMesh> pm;
    if (plat::Failed(plat::GeneratePMesh(mesh.get(), AdjacencySpan(), attributeWeights, vertexWeights, minValue,
                                         options, &pm))) {
        return 0;
    }
    progressiveMesh = std::move(pm);
    if (releaseSource && mesh) mesh.reset();
    return progressiveMesh ? 1 : 0;
}
