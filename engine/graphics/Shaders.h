#pragma once
// The four effect wrappers. Each owns one effect made from a file in "data",
// the handles of its techniques and parameters (looked up once per Create),
// scratch products, and for bloom and shadows the render targets their
// passes draw into. Callers pick techniques and run Begin/BeginPass/
// CommitChanges/EndPass/End on `effect` themselves, calling the wrapper's
// set-up operations in between.
//
// The wrappers are process-long singletons without a virtual destructor;
// Release may run many times on a live wrapper (device loss), and Reload
// makes the effect and targets again from the stored file name and sizes.
#include <memory>

#include "engine/graphics/TextureManager.h"
#include "engine/graphics/ViewFrustum.h"
#include "platform/gfx/Effect.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

using plat::EffectHandle;

class ShaderBase {
public:
    // Slot 0: releases the effect.
    virtual void Release();
    // Slot 1: Create again with what the last Create was given.
    virtual void Reload() = 0;
    // Slot 2: world, view and projection products from the graphics object's camera.
    virtual void SetWorld(const Mat4* world) = 0;
    // Slot 3: colours from the material and the graphics object's light;
    // texture parameters only when texture is not null.
    virtual void SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture) = 0;
    // Slot 4: "LightDir" (three floats) and "Eyepos".
    virtual void SetLighting(const float* lightDir, const Vec4* eyePos) = 0;
    // Slot 5: "vFog" (two floats); the base ignores it.
    virtual void SetFog(const float* fog);

    std::unique_ptr<plat::Effect> effect;
    u32 passCount = 0;  // written by Begin

    // Parameters every wrapper's file has, the products and lit colours last
    // sent to them, and the file Reload creates from.
    EffectHandle hW = nullptr, hP = nullptr, hWVP = nullptr, hWV = nullptr, hLightDir = nullptr;
    EffectHandle hAmbient = nullptr, hDiffuse = nullptr, hSpecular = nullptr, hPower = nullptr, hMeshTex = nullptr;
    Mat4 worldView, worldViewProj;
    ColorF diffuse, ambient, specular;
    char fileName[256] = {};

    // Why the last Create left no effect ("" when it made one).
    const std::string& LastError() const { return lastError_; }

protected:
    ShaderBase() = default;
    ~ShaderBase() = default;
    ShaderBase(const ShaderBase&) = delete;
    ShaderBase& operator=(const ShaderBase&) = delete;

    // Releases through the table, then reads the file (steps 1 and 2 of
    // Create) and keeps its name in fileName; name may be fileName itself.
    bool MakeEffect(const char* name);
    EffectHandle Handle(const char* name) const;
    EffectHandle Technique(const char* name) const;
    // Looks up the parameters every file has (all but "mVP").
    void GetCommonHandles();

    // The steps the wrappers' set-up operations share; each does nothing
    // without an effect or with a null pointer argument. hVP and viewProj
    // are the wrapper's own (Bloom has neither).
    // "mVP" (when hVP), "mW", "mP", "mWV", "mWVP" from the camera.
    void SendWorld(const Mat4* world, EffectHandle hVP, Mat4* viewProj);
    // "mVP" and "mP" from the camera, "mW" and the caller's products.
    void SendMatrices(const Mat4* world, const Mat4* worldView, const Mat4* worldViewProj, EffectHandle hVP,
                      Mat4* viewProj);
    void SendViewProjection(EffectHandle hVP, Mat4* viewProj);
    // Lit colours and power; false when nothing was sent.
    bool SendMaterial(const plat::GfxMaterial* material);
    void SendLighting(const float* lightDir, const Vec4* eyePos);
    void SendFog(const float* fog);

    std::string lastError_;
};

class Shader_Basic : public ShaderBase {
public:
    Shader_Basic();
    void Create(const char* fileName);
    void GetHandles();

    void Reload() override;
    void SetWorld(const Mat4* world) override;
    void SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture) override;
    void SetLighting(const float* lightDir, const Vec4* eyePos) override;
    void SetFog(const float* fog) override;

    EffectHandle hBasic = nullptr, hSkinBasic = nullptr;
    EffectHandle hVP = nullptr, hNoTexFlag = nullptr;
    Mat4 viewProj;
};

class Shader_Reflection : public ShaderBase {
public:
    Shader_Reflection();
    void Create(const char* fileName);
    void GetHandles();

    void Reload() override;
    void SetWorld(const Mat4* world) override;
    void SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture) override;
    void SetLighting(const float* lightDir, const Vec4* eyePos) override;
    void SetFog(const float* fog) override;
    // Slot 6: "mW" and the caller's products, with "mVP" and "mP" from the camera.
    virtual void SetMatrices(const Mat4* world, const Mat4* worldView, const Mat4* worldViewProj);
    // Slot 7: only "mVP" (skinned draws carry their world in the palette).
    virtual void SetViewProjection();

    EffectHandle hReflectionTech = nullptr, hSkin = nullptr;
    EffectHandle hVP = nullptr, hReflection = nullptr, hEnvTex = nullptr;
    Mat4 viewProj;
};

class Shader_Bloom : public ShaderBase {
public:
    static constexpr int kBloomTargetSize = 128;

    Shader_Bloom();
    void Create(const char* fileName, int width, int height);
    void GetHandles();

    void Release() override;
    void Reload() override;
    void SetWorld(const Mat4* world) override;
    void SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture) override;
    void SetLighting(const float* lightDir, const Vec4* eyePos) override;

    // The bloom post-process: each pass of "Bloom" blurs the HDR image (pass
    // 0) or the previous bloom target into the next bloom target, then the
    // back buffer and its depth surface are drawn into again.
    void DrawBloom();
    // The whole glow post-process: the source rectangle (x, y, width, height
    // in the source's pixels) shrunk into the quarter-size target, then the
    // blur passes; depth writes, lighting and fog are on again afterwards.
    void DrawBloom(TextureHandle* source, float x, float y, float width, float height);
    // How many blur passes DrawBloom runs (never more than its four targets),
    // and the target the last one leaves its picture in (null for none).
    u32 BlurPassCount() const;
    TextureHandle* BloomResult();

    float sampleOffsets[3][2] = {};
    TextureHandle hdrTarget;
    TextureHandle bloomTargets[4];
    i32 width = 0, height = 0;
    i32 bloomPassCount = 4;
    EffectHandle hBloom = nullptr, hSpecularOnly = nullptr;
    EffectHandle hSampleOffset = nullptr, hSampleWeight = nullptr, hInputTex = nullptr;
};

class Shader_ShadowMap : public ShaderBase {
public:
    Shader_ShadowMap();
    void Create(const char* fileName, int shadowSize);
    void GetHandles();

    void Release() override;
    void Reload() override;
    void SetWorld(const Mat4* world) override;
    void SetMaterial(const plat::GfxMaterial* material, TextureHandle* texture) override;
    void SetLighting(const float* lightDir, const Vec4* eyePos) override;
    void SetFog(const float* fog) override;
    // Slot 6 and 7, in this class's order.
    virtual void SetViewProjection();
    virtual void SetMatrices(const Mat4* world, const Mat4* worldView, const Mat4* worldViewProj);

    // Per-object light matrices: "mLightVP", "mLightWVP" = world × light
    // view-projection, "mLightWVPB" = that × texBias.
    void SetWorldMatrix(const Mat4* world);
    // Selects "ShadowMapScene" and sets "ShadowPow", "Margin", "ShadowTexel"
    // and "SHADOW_TEX_SIZE".
    void BeginSceneTechnique(float margin, float shadowPow);
    // Fits the light to the slice [nearDist, farDist] of the camera's view
    // (fov in degrees, aspect width / height), then makes the shadow map the
    // render target, cleared to the farthest depth, with "ShadowMap"
    // selected and blending off. 0 when the map cannot be drawn into: then
    // only the light matrices changed.
    int BeginShadowPass(const Mat4& cameraWorld, const Mat4& cameraView, float width, float height,
                        float fovDegrees, float nearDist, float farDist, const Vec3& lightDir);
    // The same pass with a light that stands still (a room, not a stage
    // following the camera): an orthographic box width x width from nearDist
    // to farDist, looking from lightPos along lightDir.
    int BeginFixedLightPass(float nearDist, float farDist, const Vec3& lightPos, const Vec3& lightDir, float width);
    // The back buffer and its depth surface again, blending on.
    void EndShadowPass();
    // The shadow map as the depth surface with no colour target, cleared,
    // "ShadowMap" selected; 0 when it cannot be drawn into.
    int BeginShadowTarget();

    Mat4 viewProj;
    i32 shadowSize = 0;
    TextureHandle shadowTarget;              // a depth texture
    plat::GfxSurface* shadowDepth = nullptr;  // its surface, drawn into as the depth surface
    Mat4 lightViewProj;
    Mat4 texBias;
    Mat4 lightWVPB;
    i32 reloadSize = 0;
    ShadowFitRecord fit;
    EffectHandle hShadowMap = nullptr, hShadowMapSkin = nullptr, hShadowMapAlphaTest = nullptr,
                 hShadowMapScene = nullptr;
    EffectHandle hVP = nullptr, hLightVP = nullptr, hShadowTex = nullptr, hLightWVP = nullptr, hLightWVPB = nullptr,
                 hShadowTexel = nullptr, hShadowTexSize = nullptr, hMargin = nullptr, hShadowPow = nullptr;
};

Shader_Basic* GetShaderBasic();
Shader_Reflection* GetShaderReflection();
Shader_Bloom* GetShaderBloom();
Shader_ShadowMap* GetShaderShadowMap();

// Edge of the shadow map for the "Shadow" setting: 0 none, 1 512, 2 1024,
// 3 2048, 4 4096, anything else none.
int ShadowMapSizeFromSetting(int shadowSetting);

// Start-up: creates the four wrappers from "data/Basic.fx", "data/Reflection.fx",
// "data/Bloom.fx" (width x height) and "data/ShadowMap.fx" (the size of the
// setting) and appends them to the graphics object's effect list in that
// order, so device loss releases and reloads them.
void CreateShaderWrappers(int width, int height, int shadowSetting);
// Shutdown: Release on Basic, Reflection, Bloom and ShadowMap in this order.
void ReleaseShaderWrappers();
