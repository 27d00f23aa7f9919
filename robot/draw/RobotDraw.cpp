// The three draw passes of a robot type and the robot slots that cull and
// call them. Every node other than the root is drawn subset by subset
// against the root mesh's material list; material lists are swapped by
// pointer and the effect matrices go to the type's per-node scratch tables,
// so nothing is allocated per frame.
#include <algorithm>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/Shaders.h"
#include "engine/graphics/TextureManager.h"
#include "engine/model/HodModel.h"
#include "engine/model/SkinObject.h"
#include "engine/model/SkinXMesh.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"

namespace {

bool ShadersOff() { return GetApplication()->video.disableShader != 0; }

MeshObject* RootMesh(CHierarchyObject* model)
{
    if (!model || !model->nodeTable || model->nodeCount == 0 || !model->nodeTable[0]) return nullptr;
    MeshObject* mesh = model->nodeTable[0]->mesh;
    return mesh && mesh->materials ? mesh : nullptr;
}

// A non-root node that draws material i: shown, with a mesh that has it.
plat::BaseMesh* DrawableSubset(HodNode* node, u32 i)
{
    if (!node || node->hidden || !node->mesh || node->mesh->materialCount <= i) return nullptr;
    return node->mesh->DrawnMesh();
}

bool IsShownSkinned(const HodNode* node) { return node && !node->hidden && node->skinObject && node->skinMesh; }

// Material kinds and strengths past what the colour set holds draw fixed
// function (a root of more than 20 materials is refused at load anyway).
u32 KindOf(const RobotColorData* set, u32 i)
{
    return i < static_cast<u32>(set->materialShaderKinds.GetCount()) ? set->materialShaderKinds[static_cast<i32>(i)]
                                                                       : 0u;
}

f32 FirstParam(const CFixedArray<f32>& params) { return params.GetCount() > 0 ? params[0] : 0.0f; }

f32 StrengthOf(const RobotColorData* set, u32 i)
{
    return i < static_cast<u32>(set->materialShaderParams.GetCount())
               ? FirstParam(set->materialShaderParams[static_cast<i32>(i)])
               : 0.0f;
}

TextureHandle* TextureOf(const MeshObject* root, u32 i) { return root->textures ? root->textures[i] : nullptr; }

// The colour set's list when it covers the root's materials, else none (the
// root's own list stays).
plat::GfxMaterial* ColorList(const MeshObject* root, RobotColorData* set)
{
    return set && set->materials && set->materialCount >= root->materialCount ? set->materials : nullptr;
}

// Puts a material list in the root mesh's place; the root's own list is
// back in place when the pass returns.
class MaterialSwap {
public:
    MaterialSwap(MeshObject* root, plat::GfxMaterial* list) : root_(root), own_(root->materials)
    {
        if (list) root_->materials = list;
    }
    ~MaterialSwap() { root_->materials = own_; }
    MaterialSwap(const MaterialSwap&) = delete;
    MaterialSwap& operator=(const MaterialSwap&) = delete;
    plat::GfxMaterial* Own() const { return own_; }
    void Use(plat::GfxMaterial* list) { root_->materials = list; }

private:
    MeshObject* root_;
    plat::GfxMaterial* own_;
};

// A node's world x view (A) and world x view x projection (B) in the type's
// scratch tables; an instance with more nodes than its type uses a spare.
class NodeMatrices {
public:
    explicit NodeMatrices(RobotModelData* type) : type_(type) {}
    Mat4* A(u32 j) { return j < static_cast<u32>(type_->nodeMatricesA.GetCount()) ? &type_->nodeMatricesA[static_cast<i32>(j)] : &spareA_; }
    Mat4* B(u32 j) { return j < static_cast<u32>(type_->nodeMatricesB.GetCount()) ? &type_->nodeMatricesB[static_cast<i32>(j)] : &spareB_; }
    void Compute(u32 j, const Mat4& world)
    {
        const GraphicsDevice* gd = GetGraphicsDevice();
        Mat4* a = A(j);
        plat::MatrixMultiply(a, &world, &gd->view);
        plat::MatrixMultiply(B(j), a, &gd->projection);
    }

private:
    RobotModelData* type_;
    Mat4 spareA_, spareB_;
};

// Material i of every drawable node, fixed function, under the device's
// current material and texture.
void DrawFixedSubsets(CHierarchyObject* model, u32 i)
{
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    for (u32 j = 1; j < model->nodeCount; ++j) {
        HodNode* node = model->nodeTable[j];
        plat::BaseMesh* mesh = DrawableSubset(node, i);
        if (!mesh) continue;
        device->SetTransform(plat::GfxTransform::World, node->world);
        mesh->DrawSubset(i);
    }
}

// One material through the reflection effect: technique, strength and cube
// map, then each pass over the drawable nodes.
void DrawReflectionMaterial(NodeMatrices& mats, CHierarchyObject* model, u32 i, const plat::GfxMaterial* material,
                            TextureHandle* texture, f32 strength)
{
    Shader_Reflection* sh = GetShaderReflection();
    if (!sh->effect) return;
    plat::Effect* e = sh->effect.get();
    e->SetTechnique(sh->hReflectionTech);
    e->SetFloat(sh->hReflection, strength);
    e->SetTexture(sh->hEnvTex, GetApplication()->cubeMap);
    e->Begin(&sh->passCount, 0);
    for (u32 p = 0; p < sh->passCount; ++p) {
        e->BeginPass(p);
        sh->SetMaterial(material, texture);
        for (u32 j = 1; j < model->nodeCount; ++j) {
            HodNode* node = model->nodeTable[j];
            plat::BaseMesh* mesh = DrawableSubset(node, i);
            if (!mesh) continue;
            mats.Compute(j, node->world);
            sh->SetMatrices(&node->world, mats.A(j), mats.B(j));
            e->CommitChanges();
            mesh->DrawSubset(i);
        }
        e->EndPass();
    }
    e->End();
}

// Every rigid material through the reflection effect, passes outside and
// materials inside; a node's matrices are computed once per pass.
void DrawReflectionWholeModel(NodeMatrices& mats, CHierarchyObject* model, const MeshObject* root, u32 count,
                              f32 strength, bool textured)
{
    Shader_Reflection* sh = GetShaderReflection();
    if (!sh->effect) return;
    plat::Effect* e = sh->effect.get();
    e->SetTechnique(sh->hReflectionTech);
    e->SetFloat(sh->hReflection, strength);
    e->SetTexture(sh->hEnvTex, GetApplication()->cubeMap);
    e->Begin(&sh->passCount, 0);
    for (u32 p = 0; p < sh->passCount; ++p) {
        e->BeginPass(p);
        for (u32 i = 0; i < count; ++i) {
            sh->SetMaterial(&root->materials[i], textured ? TextureOf(root, i) : nullptr);
            for (u32 j = 1; j < model->nodeCount; ++j) {
                HodNode* node = model->nodeTable[j];
                plat::BaseMesh* mesh = DrawableSubset(node, i);
                if (!mesh) continue;
                if (i == 0) mats.Compute(j, node->world);
                sh->SetMatrices(&node->world, mats.A(j), mats.B(j));
                e->CommitChanges();
                mesh->DrawSubset(i);
            }
        }
        e->EndPass();
    }
    e->End();
}

// Skinned meshes are shared by every copy of the tree, so each copy points
// the bones at its own matrices right before it draws.
void DrawSkinnedFixed(CHierarchyObject* model, const plat::GfxMaterial* materials, TextureHandle** textures,
                      u32 count)
{
    for (u32 j = 1; j < model->nodeCount; ++j) {
        HodNode* node = model->nodeTable[j];
        if (!IsShownSkinned(node)) continue;
        node->skinObject->BindBoneMatrices();
        node->skinMesh->Draw(materials, textures, count);
    }
}

void UseEffectSkinning(SkinXMesh* mesh)
{
    if (mesh->skinningMethod != kSkinIndexedEffect) mesh->RebuildSkinning(kSkinIndexedEffect);
}

void DrawSkinnedReflection(CHierarchyObject* model, const plat::GfxMaterial* materials, TextureHandle** textures,
                           u32 count)
{
    Shader_Reflection* sh = GetShaderReflection();
    if (!sh->effect) return;
    sh->effect->SetTechnique(sh->hSkin);
    sh->SetViewProjection();
    for (u32 j = 1; j < model->nodeCount; ++j) {
        HodNode* node = model->nodeTable[j];
        if (!IsShownSkinned(node)) continue;
        UseEffectSkinning(node->skinMesh);
        node->skinObject->BindBoneMatrices();
        node->skinMesh->DrawWithEffect(sh, materials, textures, count);
    }
}

// Whether a robot is drawn this frame: alive or being destroyed, and its
// body's sphere inside the camera's view (the shadow pass too: a robot out
// of view casts no shadow). Outside a battle there is no camera to draw
// for; asking for the scene here must never start one.
bool RobotVisible(const CRobot_Normal& robot)
{
    if (robot.state != kRobotStateLive && robot.state != kRobotStateDestroyed) return false;
    if (!robot.modelData || !robot.frameBodyD) return false;
    const CGameScene* scene = FindGameScene();
    if (!scene) return false;
    const Mat4& w = robot.frameBodyD->world;
    return scene->frustum.TestSphere(w.m[3][0], w.m[3][1], w.m[3][2], robot.boundRadius) != 0;
}

}  // namespace

void RobotModelData::DrawMesh(CHierarchyObject* model, RobotColorData* colorSet)
{
    MeshObject* root = RootMesh(model);
    if (!root || !colorSet) return;
    MaterialSwap swap(root, ColorList(root, colorSet));
    NodeMatrices mats(this);
    const bool off = ShadersOff();
    const u32 count = root->materialCount;
    if (colorSet->shaderEnabled == 0 || off) {
        plat::GfxDevice* device = GetGraphicsDevice()->device;
        for (u32 i = 0; i < count; ++i) {
            const u32 kind = off ? 0u : KindOf(colorSet, i);
            if (kind == 0) {
                TextureHandle* t = TextureOf(root, i);
                device->SetMaterial(root->materials[i]);
                device->SetTexture(0, t ? t->texture : nullptr);
                DrawFixedSubsets(model, i);
            } else if (kind == 1) {
                DrawReflectionMaterial(mats, model, i, &root->materials[i], TextureOf(root, i), StrengthOf(colorSet, i));
            }
        }
        DrawSkinnedFixed(model, root->materials, root->textures, count);
    } else if (colorSet->shaderEnabled == 1) {
        DrawReflectionWholeModel(mats, model, root, count, FirstParam(colorSet->shaderParams), true);
        DrawSkinnedReflection(model, root->materials, root->textures, count);
    }
}

void RobotModelData::DrawMeshHDR(CHierarchyObject* model, RobotColorData* colorSet)
{
    if (ShadersOff()) return;
    MeshObject* root = RootMesh(model);
    if (!root || !colorSet) return;
    NodeMatrices mats(this);
    plat::GfxMaterial* colors = ColorList(root, colorSet);
    if (colorSet->shaderEnabled == 0) {
        // Fixed-function parts show only their specular highlight here.
        const u32 count = std::min(root->materialCount, static_cast<u32>(kRobotColorMaterials));
        const plat::GfxMaterial* source = colors ? colors : root->materials;
        for (u32 i = 0; i < count; ++i) {
            hdrMaterials[i] = source[i];
            hdrMaterials[i].diffuse = hdrMaterials[i].ambient = hdrMaterials[i].emissive = ColorF{0, 0, 0, 1};
        }
        MaterialSwap swap(root, hdrMaterials);
        plat::GfxDevice* device = GetGraphicsDevice()->device;
        device->SetTexture(0, nullptr);
        for (u32 i = 0; i < count; ++i) {
            const u32 kind = KindOf(colorSet, i);
            if (kind == 0) {
                device->SetMaterial(hdrMaterials[i]);
                DrawFixedSubsets(model, i);
            } else if (kind == 1) {
                // Reflective parts glow in the mesh's own colours.
                swap.Use(swap.Own());
                DrawReflectionMaterial(mats, model, i, &swap.Own()[i], nullptr, StrengthOf(colorSet, i));
                swap.Use(hdrMaterials);
            }
        }
        DrawSkinnedFixed(model, hdrMaterials, root->textures, count);
    } else if (colorSet->shaderEnabled == 1) {
        MaterialSwap swap(root, colors);
        const u32 count = root->materialCount;
        DrawReflectionWholeModel(mats, model, root, count, FirstParam(colorSet->shaderParams), false);
        DrawSkinnedReflection(model, root->materials, root->textures, count);
    }
}

void RobotModelData::DrawRobotMeshShadow(CHierarchyObject* model, RobotColorData*)
{
    if (ShadersOff()) return;
    MeshObject* root = RootMesh(model);
    Shader_ShadowMap* sh = GetShaderShadowMap();
    if (!root || !sh->effect) return;
    plat::Effect* e = sh->effect.get();
    NodeMatrices mats(this);
    e->Begin(&sh->passCount, 0);
    for (u32 p = 0; p < sh->passCount; ++p) {
        e->BeginPass(p);
        for (u32 i = 0; i < root->materialCount; ++i) {
            sh->SetMaterial(&root->materials[i], nullptr);
            for (u32 j = 1; j < model->nodeCount; ++j) {
                HodNode* node = model->nodeTable[j];
                plat::BaseMesh* mesh = DrawableSubset(node, i);
                if (!mesh) continue;
                if (i == 0) mats.Compute(j, node->world);
                sh->SetMatrices(&node->world, mats.A(j), mats.B(j));
                sh->SetWorldMatrix(&node->world);
                e->CommitChanges();
                mesh->DrawSubset(i);
            }
        }
        e->EndPass();
    }
    e->End();
    e->SetTechnique(sh->hShadowMapSkin);
    sh->SetViewProjection();
    for (u32 j = 1; j < model->nodeCount; ++j) {
        HodNode* node = model->nodeTable[j];
        if (!IsShownSkinned(node)) continue;
        UseEffectSkinning(node->skinMesh);
        sh->SetWorldMatrix(&node->world);
        node->skinObject->BindBoneMatrices();
        node->skinMesh->DrawShadowWithEffect(sh);
    }
    // The caller's technique stays selected for the next robot.
    e->SetTechnique(sh->hShadowMap);
}

bool RobotModelData::DrawsOpaque(CHierarchyObject* model, RobotColorData* colorSet)
{
    MeshObject* root = RootMesh(model);
    if (!root || !colorSet) return true;
    for (u32 j = 1; j < model->nodeCount; ++j) {
        HodNode* node = model->nodeTable[j];
        if (IsShownSkinned(node)) return false;
        if (const plat::BaseMesh* mesh = DrawableSubset(node, 0); mesh && !mesh->VertexColoursOpaque()) return false;
    }
    // Fixed-function and reflective materials alike draw the list's alpha
    // times the texture's.
    const plat::GfxMaterial* list = ColorList(root, colorSet);
    return MaterialsOpaque(list ? list : root->materials, root->textures, root->materialCount);
}

bool CRobot_Normal::DrawsOpaque()
{
    return !RobotVisible(*this) || modelData->DrawsOpaque(&lowerModel, &colorSet);
}

i32 CRobot_Normal::Draw()
{
    if (RobotVisible(*this)) modelData->DrawMesh(&lowerModel, &colorSet);
    return 0;
}

i32 CRobot_Normal::DrawHDR()
{
    if (RobotVisible(*this)) modelData->DrawMeshHDR(&lowerModel, &colorSet);
    return 0;
}

i32 CRobot_Normal::DrawShadow()
{
    if (RobotVisible(*this)) modelData->DrawRobotMeshShadow(&lowerModel, &colorSet);
    return 0;
}
