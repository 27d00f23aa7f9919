#include "engine/graphics/Shaders.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"

namespace {

plat::GfxDevice* Device() { return GetGraphicsDevice()->device; }

Vec4 AsVec4(const ColorF& c) { return Vec4(c.r, c.g, c.b, c.a); }

// Diffuse, ambient and specular as the material lit by the graphics object's light.
void LitColours(const plat::GfxMaterial& m, ColorF* diffuse, ColorF* ambient, ColorF* specular)
{
    const plat::GfxLight& l = GetGraphicsDevice()->light;
    *diffuse = ColorF(m.diffuse.r * l.diffuse.r, m.diffuse.g * l.diffuse.g, m.diffuse.b * l.diffuse.b,
                      m.diffuse.a * l.diffuse.a);
    *ambient = ColorF(m.ambient.r * l.ambient.r + m.emissive.r, m.ambient.g * l.ambient.g + m.emissive.g,
                      m.ambient.b * l.ambient.b + m.emissive.b, m.ambient.a * l.ambient.a + m.emissive.a);
    *specular = ColorF(m.specular.r * l.specular.r, m.specular.g * l.specular.g, m.specular.b * l.specular.b,
                       m.specular.a * l.specular.a);
}

}  // namespace

// ---- ShaderBase -----------------------------------------------------------------

void ShaderBase::Release()
{
    effect.reset();
}

void ShaderBase::SetFog(const float*) {}

bool ShaderBase::MakeEffect(const char* name)
{
    const std::string file = name ? name : "";  // Reload passes our own buffer
    Release();  // through the table: a second Create frees the first one's effect and targets
    lastError_.clear();
    std::unique_ptr<plat::Effect> made;
    const bool ok = !plat::Failed(plat::Effect::CreateFromFile(Device(), file.c_str(), &made, &lastError_));
    effect = ok ? std::move(made) : nullptr;
    const size_t n = std::min(file.size(), sizeof fileName - 1);
    std::memcpy(fileName, file.data(), n);
    fileName[n] = '\0';
    return ok;
}

EffectHandle ShaderBase::Handle(const char* name) const
{
    return effect ? effect->GetParameterByName(nullptr, name) : nullptr;
}

EffectHandle ShaderBase::Technique(const char* name) const
{
    return effect ? effect->GetTechniqueByName(name) : nullptr;
}

void ShaderBase::GetCommonHandles()
{
    hW = Handle("mW");
    hP = Handle("mP");
    hWVP = Handle("mWVP");
    hWV = Handle("mWV");
    hLightDir = Handle("LightDir");
    hAmbient = Handle("Ambient");
    hDiffuse = Handle("Diffuse");
    hSpecular = Handle("Specular");
    hPower = Handle("Power");
    hMeshTex = Handle("MeshTex");
}

void ShaderBase::SendWorld(const Mat4* world, EffectHandle hVP, Mat4* viewProj)
{
    if (!effect || !world) return;
    const GraphicsDevice* gd = GetGraphicsDevice();
    if (hVP && viewProj) {
        plat::MatrixMultiply(viewProj, &gd->view, &gd->projection);
        effect->SetMatrix(hVP, viewProj);
    }
    effect->SetMatrix(hW, world);
    effect->SetMatrix(hP, &gd->projection);
    plat::MatrixMultiply(&worldView, world, &gd->view);
    effect->SetMatrix(hWV, &worldView);
    plat::MatrixMultiply(&worldViewProj, &worldView, &gd->projection);
    effect->SetMatrix(hWVP, &worldViewProj);
}

void ShaderBase::SendMatrices(const Mat4* world, const Mat4* wv, const Mat4* wvp, EffectHandle hVP, Mat4* viewProj)
{
    if (!effect || !world || !wv || !wvp) return;
    SendViewProjection(hVP, viewProj);
    effect->SetMatrix(hW, world);
    effect->SetMatrix(hP, &GetGraphicsDevice()->projection);
    effect->SetMatrix(hWV, wv);
    effect->SetMatrix(hWVP, wvp);
}

void ShaderBase::SendViewProjection(EffectHandle hVP, Mat4* viewProj)
{
    if (!effect) return;
    const GraphicsDevice* gd = GetGraphicsDevice();
    plat::MatrixMultiply(viewProj, &gd->view, &gd->projection);
    effect->SetMatrix(hVP, viewProj);
}

bool ShaderBase::SendMaterial(const plat::GfxMaterial* material)
{
    if (!effect || !material) return false;
    LitColours(*material, &diffuse, &ambient, &specular);
    const Vec4 d = AsVec4(diffuse), a = AsVec4(ambient), s = AsVec4(specular);
    effect->SetVector(hDiffuse, &d);
    effect->SetVector(hAmbient, &a);
    effect->SetVector(hSpecular, &s);
    effect->SetFloat(hPower, material->power);
    return true;
}

void ShaderBase::SendLighting(const float* lightDir, const Vec4* eyePos)
{
    if (!effect) return;
    if (lightDir) effect->SetValue(hLightDir, lightDir, 12);
    if (eyePos) effect->SetVector("Eyepos", eyePos);
}

void ShaderBase::SendFog(const float* fog)
{
    if (effect && fog) effect->SetValue("vFog", fog, 8);
}

// ---- Shader_Basic ------------------------------------------------------------------

Shader_Basic::Shader_Basic() = default;

void Shader_Basic::Create(const char* name)
{
    MakeEffect(name);
    GetHandles();
}

void Shader_Basic::GetHandles()
{
    hBasic = Technique("Basic");
    hSkinBasic = Technique("SkinBasic");
    GetCommonHandles();
    hVP = Handle("mVP");
    hNoTexFlag = Handle("NoTexFlag");
}

void Shader_Basic::Reload()
{
    Create(fileName);
}

void Shader_Basic::SetWorld(const Mat4* world)
{
    SendWorld(world, hVP, &viewProj);
}

void Shader_Basic::SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture)
{
    if (!SendMaterial(material) || !texture) return;
    effect->SetTexture(hMeshTex, texture->texture);
    effect->SetInt(hNoTexFlag, texture->texture ? 0 : 1);
}

void Shader_Basic::SetLighting(const float* lightDir, const Vec4* eyePos)
{
    SendLighting(lightDir, eyePos);
}

void Shader_Basic::SetFog(const float* fog)
{
    SendFog(fog);
}

// ---- Shader_Reflection ---------------------------------------------------------------

Shader_Reflection::Shader_Reflection() = default;

void Shader_Reflection::Create(const char* name)
{
    MakeEffect(name);
    GetHandles();
    if (!effect) return;
}

void Shader_Reflection::GetHandles()
{
    hReflectionTech = Technique("Reflection");
    hSkin = Technique("Skin");
    GetCommonHandles();
    hVP = Handle("mVP");
    hReflection = Handle("Reflection");
    hEnvTex = Handle("EnvTex");
}

void Shader_Reflection::Reload()
{
    Create(fileName);
}

void Shader_Reflection::SetWorld(const Mat4* world)
{
    SendWorld(world, hVP, &viewProj);
}

void Shader_Reflection::SetMatrices(const Mat4* world, const Mat4* wv, const Mat4* wvp)
{
    SendMatrices(world, wv, wvp, hVP, &viewProj);
}

void Shader_Reflection::SetViewProjection()
{
    SendViewProjection(hVP, &viewProj);
}

void Shader_Reflection::SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture)
{
    if (!SendMaterial(material) || !texture) return;
    effect->SetTexture(hMeshTex, texture->texture);  // none reads white
}

void Shader_Reflection::SetLighting(const float* lightDir, const Vec4* eyePos)
{
    SendLighting(lightDir, eyePos);
}

void Shader_Reflection::SetFog(const float* fog)
{
    SendFog(fog);
}

// ---- Shader_Bloom -----------------------------------------------------------------------

Shader_Bloom::Shader_Bloom() = default;

void Shader_Bloom::Create(const char* name, int w, int h)
{
    MakeEffect(name);
    width = w;
    height = h;
    GetHandles();
    if (!effect) return;
    // Integer division truncates toward zero: 1023 x 767 gives 255 x 191.
    hdrTarget.CreateBlank(static_cast<u32>(std::max(width / 4, 0)), static_cast<u32>(std::max(height / 4, 0)), 1,
                          plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default);
    for (TextureHandle& t : bloomTargets) {
        t.CreateBlank(kBloomTargetSize, kBloomTargetSize, 1, plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8,
                      plat::GfxPool::Default);
    }
}

void Shader_Bloom::GetHandles()
{
    hBloom = Technique("Bloom");
    hSpecularOnly = Technique("SpecluarOnly");
    GetCommonHandles();
    hSampleOffset = Handle("SampleOffset");
    hSampleWeight = Handle("SampleWeight");
    hInputTex = Handle("InputTex");
}

void Shader_Bloom::Release()
{
    ShaderBase::Release();
    hdrTarget.Release();
    for (TextureHandle& t : bloomTargets) t.Release();
}

void Shader_Bloom::Reload()
{
    Create(fileName, width, height);
}

void Shader_Bloom::SetWorld(const Mat4* world)
{
    SendWorld(world, nullptr, nullptr);
}

void Shader_Bloom::SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture)
{
    if (!SendMaterial(material) || !texture) return;
    effect->SetTexture(hMeshTex, texture->texture);
}

void Shader_Bloom::SetLighting(const float* lightDir, const Vec4* eyePos)
{
    SendLighting(lightDir, eyePos);
}

void Shader_Bloom::DrawBloom()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    if (!effect || !device || !hdrTarget.texture) return;
    struct QuadVertex {
        float x, y, z, rhw;
        u32 colour;
        float u, v;
    };
    static_assert(sizeof(QuadVertex) == 28, "pre-transformed vertex");
    const float s = static_cast<float>(kBloomTargetSize);
    const QuadVertex quad[4] = {{0, 0, 0, 1, 0xFFFFFFFFu, 0, 0},
                                {s, 0, 0, 1, 0xFFFFFFFFu, 1, 0},
                                {0, s, 0, 1, 0xFFFFFFFFu, 0, 1},
                                {s, s, 0, 1, 0xFFFFFFFFu, 1, 1}};
    effect->SetTechnique(hBloom);
    effect->Begin(&passCount, 0);
    for (i32 i = 0; i < bloomPassCount && i < 4 && static_cast<u32>(i) < passCount; ++i) {
        if (!bloomTargets[i].texture) continue;
        for (int k = 0; k < 3; ++k) {
            const float o = static_cast<float>(k - 1) * 0.007f;
            sampleOffsets[k][0] = ((i & 1) == 0 ? o : 0.0f) + 0.005f;
            sampleOffsets[k][1] = ((i & 1) == 0 ? 0.0f : o) + 0.005f;
        }
        effect->SetValue(hSampleOffset, sampleOffsets, sizeof sampleOffsets);
        effect->SetTexture(hInputTex, i == 0 ? hdrTarget.texture : bloomTargets[i - 1].texture);
        bloomTargets[i].SetAsRenderTarget();
        effect->BeginPass(static_cast<u32>(i));
        effect->DrawPrimitiveUP(plat::GfxPrimitive::TriangleStrip, 2, quad, sizeof(QuadVertex),
                                plat::FvfXyzRhw | plat::FvfDiffuse | plat::FvfTex1);
        effect->EndPass();
    }
    effect->End();
    // The last target must not stay bound as an input while it is drawn into elsewhere.
    effect->SetTexture(hInputTex, nullptr);
    if (gd->backBuffer) device->SetRenderTarget(0, gd->backBuffer);
    device->SetDepthStencilSurface(gd->depthSurface);
}

u32 Shader_Bloom::BlurPassCount() const
{
    const u32 wanted = static_cast<u32>(std::clamp(bloomPassCount, 0, 4));
    return std::min(wanted, passCount);
}

TextureHandle* Shader_Bloom::BloomResult()
{
    const u32 n = BlurPassCount();
    return n > 0 ? &bloomTargets[n - 1] : nullptr;
}

void Shader_Bloom::DrawBloom(TextureHandle* source, float x, float y, float w, float h)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    if (!effect || !device || !source || !source->texture || !hdrTarget.surface) return;
    device->SetRenderState(plat::GfxRenderState::AlphaBlendEnable, 1);
    device->SetRenderState(plat::GfxRenderState::ZWriteEnable, 0);
    device->SetRenderState(plat::GfxRenderState::Lighting, 0);
    device->SetRenderState(plat::GfxRenderState::FogEnable, 0);
    hdrTarget.SetAsRenderTarget();
    device->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
    // The view's part of the glow picture, shrunk to a quarter.
    source->DrawScreenQuadUV(0.0f, 0.0f, static_cast<float>(hdrTarget.surface->Desc().width),
                             static_cast<float>(hdrTarget.surface->Desc().height), x, y, w, h, 1.0f, 1.0f, 1.0f,
                             1.0f);
    device->SetTexture(0, nullptr);
    DrawBloom();
    device->SetRenderState(plat::GfxRenderState::ZWriteEnable, 1);
    device->SetRenderState(plat::GfxRenderState::Lighting, 1);
    device->SetRenderState(plat::GfxRenderState::FogEnable, 1);
}

// ---- Shader_ShadowMap -----------------------------------------------------------------------

Shader_ShadowMap::Shader_ShadowMap() = default;

void Shader_ShadowMap::Create(const char* name, int size)
{
    // Handles of an earlier Create must not survive a Create that looks none up.
    hShadowMap = hShadowMapSkin = hShadowMapAlphaTest = hShadowMapScene = nullptr;
    hW = hP = hWVP = hWV = hVP = hLightDir = hAmbient = hDiffuse = hSpecular = hPower = hMeshTex = nullptr;
    hLightVP = hShadowTex = hLightWVP = hLightWVPB = hShadowTexel = hShadowTexSize = hMargin = hShadowPow = nullptr;
    MakeEffect(name);
    shadowSize = size;
    reloadSize = size;
    if (size == 0) return;
    if (!effect) return;
    GetHandles();
    if (size > 0) {
        const double half = 0.5 + 0.5 / static_cast<double>(size);
        texBias = Mat4();
        texBias.m[0][0] = 0.5f;
        texBias.m[1][1] = -0.5f;
        texBias.m[2][2] = 0.0f;
        texBias.m[3][0] = static_cast<float>(half);
        texBias.m[3][1] = static_cast<float>(half);
        texBias.m[3][2] = 0.0f;
        texBias.m[3][3] = 1.0f;
        // Depth only: the map is drawn without colour and read with the
        // comparison the depth sampler makes.
        shadowTarget.CreateBlank(static_cast<u32>(size), static_cast<u32>(size), 1, plat::GfxUsageDepthStencil,
                                 plat::GfxFormat::D24X8, plat::GfxPool::Default);
        shadowDepth = shadowTarget.surface;
        if (shadowDepth) shadowDepth->AddRef();
    }
}

void Shader_ShadowMap::GetHandles()
{
    hShadowMap = Technique("ShadowMap");
    hShadowMapSkin = Technique("ShadowMapSkin");
    hShadowMapAlphaTest = Technique("ShadowMapAlphaTest");
    hShadowMapScene = Technique("ShadowMapScene");
    GetCommonHandles();
    hVP = Handle("mVP");
    hLightVP = Handle("mLightVP");
    hShadowTex = Handle("ShadowTex");
    hLightWVP = Handle("mLightWVP");
    hLightWVPB = Handle("mLightWVPB");
    hShadowTexel = Handle("ShadowTexel");
    hShadowTexSize = Handle("SHADOW_TEX_SIZE");
    hMargin = Handle("Margin");
    hShadowPow = Handle("ShadowPow");
}

void Shader_ShadowMap::Release()
{
    ShaderBase::Release();
    shadowTarget.Release();
    if (shadowDepth) {
        shadowDepth->Release();
        shadowDepth = nullptr;
    }
}

void Shader_ShadowMap::Reload()
{
    Create(fileName, reloadSize);
}

void Shader_ShadowMap::SetWorld(const Mat4* world)
{
    SendWorld(world, hVP, &viewProj);
}

void Shader_ShadowMap::SetViewProjection()
{
    SendViewProjection(hVP, &viewProj);
}

void Shader_ShadowMap::SetMatrices(const Mat4* world, const Mat4* wv, const Mat4* wvp)
{
    SendMatrices(world, wv, wvp, hVP, &viewProj);
}

void Shader_ShadowMap::SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture)
{
    if (!SendMaterial(material) || !texture) return;
    effect->SetTexture(hMeshTex, texture->texture);  // none reads white
}

void Shader_ShadowMap::SetLighting(const float* lightDir, const Vec4* eyePos)
{
    SendLighting(lightDir, eyePos);
}

void Shader_ShadowMap::SetFog(const float* fog)
{
    SendFog(fog);
}

void Shader_ShadowMap::SetWorldMatrix(const Mat4* world)
{
    if (!effect || !world) return;
    effect->SetMatrix(hLightVP, &lightViewProj);
    Mat4 lightWVP;
    plat::MatrixMultiply(&lightWVP, world, &lightViewProj);
    effect->SetMatrix(hLightWVP, &lightWVP);
    plat::MatrixMultiply(&lightWVPB, &lightWVP, &texBias);
    effect->SetMatrix(hLightWVPB, &lightWVPB);
}

void Shader_ShadowMap::BeginSceneTechnique(float margin, float shadowPow)
{
    if (!effect) return;
    effect->SetTechnique(hShadowMapScene);
    effect->SetFloat(hShadowPow, shadowPow);
    effect->SetFloat(hMargin, margin);
    effect->SetFloat(hShadowTexel, shadowSize > 0 ? 1.0f / static_cast<float>(shadowSize) : 0.0f);
    effect->SetInt(hShadowTexSize, shadowSize);
}

int Shader_ShadowMap::BeginShadowPass(const Mat4& cameraWorld, const Mat4& cameraView, float width, float height,
                                      float fovDegrees, float nearDist, float farDist, const Vec3& lightDir)
{
    Vec3 light = lightDir;
    plat::Vec3Normalize(&light, &light);
    const Vec3 eye(cameraWorld.m[3][0], cameraWorld.m[3][1], cameraWorld.m[3][2]);
    const Vec3 forward(cameraWorld.m[2][0], cameraWorld.m[2][1], cameraWorld.m[2][2]);
    const float aspect = height != 0.0f ? width / height : 1.0f;
    ComputeShadowMatrices(&fit, &forward, &eye, &light, &cameraView, fovDegrees * 0.017453f, aspect, nearDist,
                          farDist);
    plat::MatrixMultiply(&lightViewProj, &fit.lightView, &fit.lightProjection);
    return BeginShadowTarget();
}

int Shader_ShadowMap::BeginFixedLightPass(float nearDist, float farDist, const Vec3& lightPos, const Vec3& lightDir,
                                          float width)
{
    Vec3 dir = lightDir;
    plat::Vec3Normalize(&dir, &dir);
    const Vec3 at(lightPos.x + dir.x, lightPos.y + dir.y, lightPos.z + dir.z);
    const Vec3 up(0.0f, 1.0f, 0.0f);
    Mat4 view;
    plat::MatrixLookAtLH(&view, &lightPos, &at, &up);
    Mat4 ortho = Mat4::Identity();
    const float depth = farDist - nearDist;
    if (width <= 0.0f || depth <= 0.0f) return 0;
    ortho.m[0][0] = 2.0f / width;
    ortho.m[1][1] = 2.0f / width;
    ortho.m[2][2] = 1.0f / depth;
    ortho.m[3][2] = -nearDist / depth;
    plat::MatrixMultiply(&lightViewProj, &view, &ortho);
    return BeginShadowTarget();
}

int Shader_ShadowMap::BeginShadowTarget()
{
    plat::GfxDevice* device = Device();
    if (!effect || !device || !shadowTarget.surface || !shadowDepth) return 0;
    if (!plat::Succeeded(device->SetDepthStencilSurface(shadowDepth))) return 0;
    if (!plat::Succeeded(device->SetRenderTarget(0, nullptr))) return 0;
    device->Clear(plat::ClearZBuffer, 0, 1.0f, 0);
    effect->SetTexture(hShadowTex, shadowTarget.texture);
    effect->SetTechnique(hShadowMap);
    device->SetRenderState(plat::GfxRenderState::AlphaBlendEnable, 0);
    return 1;
}

void Shader_ShadowMap::EndShadowPass()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->RestoreRenderTarget();
    if (gd->device) gd->device->SetRenderState(plat::GfxRenderState::AlphaBlendEnable, 1);
}

// ---- singletons and start-up ----------------------------------------------------------------

Shader_Basic* GetShaderBasic()
{
    static Shader_Basic s;
    return &s;
}

Shader_Reflection* GetShaderReflection()
{
    static Shader_Reflection s;
    return &s;
}

Shader_Bloom* GetShaderBloom()
{
    static Shader_Bloom s;
    return &s;
}

Shader_ShadowMap* GetShaderShadowMap()
{
    static Shader_ShadowMap s;
    return &s;
}

int ShadowMapSizeFromSetting(int shadowSetting)
{
    switch (shadowSetting) {
    case 1: return 512;
    case 2: return 1024;
    case 3: return 2048;
    case 4: return 4096;
    default: return 0;
    }
}

void CreateShaderWrappers(int width, int height, int shadowSetting)
{
    GetShaderBasic()->Create("data/Basic.fx");
    GetShaderReflection()->Create("data/Reflection.fx");
    GetShaderBloom()->Create("data/Bloom.fx", width, height);
    GetShaderShadowMap()->Create("data/ShadowMap.fx", ShadowMapSizeFromSetting(shadowSetting));
    std::vector<ShaderBase*>& list = GetGraphicsDevice()->effects;
    for (ShaderBase* s : {static_cast<ShaderBase*>(GetShaderBasic()), static_cast<ShaderBase*>(GetShaderReflection()),
                          static_cast<ShaderBase*>(GetShaderBloom()), static_cast<ShaderBase*>(GetShaderShadowMap())}) {
        if (std::find(list.begin(), list.end(), s) == list.end()) list.push_back(s);
    }
}

void ReleaseShaderWrappers()
{
    GetShaderBasic()->Release();
    GetShaderReflection()->Release();
    GetShaderBloom()->Release();
    GetShaderShadowMap()->Release();
}
