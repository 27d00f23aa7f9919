#include "engine/graphics/Shaders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/ViewFrustum.h"
#include "platform/math/Math.h"
#include "platform/gfx/TextureFile.h"
#include "platform/gfx/Window.h"
#include "support/EngineGraphics.h"

using namespace plat;

namespace {

class ShaderFixture : public EngineGraphicsFixture {
protected:
    void SetUp() override
    {
        EngineGraphicsFixture::SetUp();
        if (HasFatalFailure()) return;
        gd_->SetDirectionalLight(0, Vec3(0.3f, -1.0f, 0.2f), ColorF(1, 1, 1, 1), ColorF(0.4f, 0.4f, 0.4f, 1),
                                 ColorF(1, 1, 1, 1));
    }
    // Brightness (sum of channels) of a back-buffer pixel.
    int Brightness(int x, int y) { return Sum(ReadPixel(gd_->backBuffer, x, y)); }
    static int Sum(u32 c) { return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF); }
    void Camera(const Vec3& eye, const Vec3& at)
    {
        const Vec3 up(0, 1, 0);
        MatrixLookAtLH(&gd_->view, &eye, &at, &up);
        MatrixPerspectiveFovLH(&gd_->projection, 0.8f, 1.0f, 0.5f, 200.0f);
    }
    // Screen pixel of a world point with the current camera.
    void Project(const Vec3& p, int* x, int* y)
    {
        Mat4 vp;
        MatrixMultiply(&vp, &gd_->view, &gd_->projection);
        Vec3 s;
        Vec3TransformCoord(&s, &p, &vp);
        *x = int((s.x * 0.5f + 0.5f) * 256.0f);
        *y = int((-s.y * 0.5f + 0.5f) * 256.0f);
    }
    void Begin()
    {
        gd_->device->BeginScene();
        gd_->device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    }
    void End() { gd_->device->EndScene(); }
    // A lost device that can be reset, recovered the way every frame does.
    void LoseAndRecover()
    {
        // A reset refused for live default-pool targets leaves the device resettable.
        GfxPresentParams pp = gd_->presentParams;
        ASSERT_NE(gd_->device->Reset(&pp), GfxResult::Ok);
        ASSERT_EQ(gd_->device->TestCooperativeLevel(), GfxResult::DeviceNotReset);
        ASSERT_EQ(gd_->CheckDeviceLost(), 0);
        ASSERT_EQ(gd_->device->TestCooperativeLevel(), GfxResult::Ok);
    }

};

using ShaderWrappers = ShaderFixture;

TEST_F(ShaderWrappers, StartUpCreatesEveryWrapperWithItsHandlesAndTargets)
{
    CreateShaderWrappers(1023, 767, 2);
    ASSERT_EQ(gd_->effects.size(), 4u);
    EXPECT_EQ(gd_->effects[0], GetShaderBasic());
    EXPECT_EQ(gd_->effects[3], GetShaderShadowMap());
    Shader_Basic* b = GetShaderBasic();
    ASSERT_TRUE(b->effect) << b->LastError();
    for (EffectHandle h : {b->hBasic, b->hSkinBasic, b->hW, b->hP, b->hWVP, b->hWV, b->hVP, b->hLightDir, b->hAmbient,
                           b->hDiffuse, b->hSpecular, b->hPower, b->hMeshTex, b->hNoTexFlag})
        EXPECT_NE(h, nullptr);
    Shader_Reflection* r = GetShaderReflection();
    ASSERT_TRUE(r->effect) << r->LastError();
    EXPECT_NE(r->hReflectionTech, nullptr);
    EXPECT_NE(r->hSkin, nullptr);
    EXPECT_NE(r->hReflection, nullptr);
    EXPECT_NE(r->hEnvTex, nullptr);
    Shader_Bloom* bl = GetShaderBloom();
    ASSERT_TRUE(bl->effect) << bl->LastError();
    EXPECT_NE(bl->hSpecularOnly, nullptr);
    EXPECT_NE(bl->hSampleWeight, nullptr);
    ASSERT_TRUE(bl->hdrTarget.texture);
    EXPECT_EQ(bl->hdrTarget.texture->Width(), 255u);
    EXPECT_EQ(bl->hdrTarget.texture->Height(), 191u);
    for (const TextureHandle& t : bl->bloomTargets) {
        ASSERT_TRUE(t.texture);
        EXPECT_EQ(t.texture->Width(), 128u);
    }
    Shader_ShadowMap* s = GetShaderShadowMap();
    ASSERT_TRUE(s->effect) << s->LastError();
    EXPECT_EQ(s->shadowSize, 1024);
    ASSERT_TRUE(s->shadowTarget.texture);
    EXPECT_EQ(s->shadowTarget.texture->Format(), GfxFormat::D24X8);
    EXPECT_EQ(s->shadowDepth, s->shadowTarget.surface);
    EXPECT_FLOAT_EQ(s->texBias.m[3][0], 0.5f + 0.5f / 1024.0f);
    EXPECT_FLOAT_EQ(s->texBias.m[3][1], 0.5f + 0.5f / 1024.0f);
    EXPECT_EQ(s->texBias.m[2][2], 0.0f);
    for (EffectHandle h : {s->hShadowMap, s->hShadowMapSkin, s->hShadowMapAlphaTest, s->hShadowMapScene, s->hLightVP,
                           s->hShadowTex, s->hLightWVP, s->hLightWVPB, s->hShadowTexel, s->hShadowTexSize, s->hMargin,
                           s->hShadowPow})
        EXPECT_NE(h, nullptr);
    s->BeginSceneTechnique(0.01f, 0.4f);
    float texel = 0;
    s->effect->GetFloatArray(s->hShadowTexel, &texel, 1);
    EXPECT_FLOAT_EQ(texel, 1.0f / 1024.0f);
    EXPECT_EQ(s->effect->GetCurrentTechnique(), s->hShadowMapScene);
    // A second start-up does not list the wrappers twice.
    CreateShaderWrappers(1023, 767, 2);
    EXPECT_EQ(gd_->effects.size(), 4u);
}

TEST_F(ShaderWrappers, CreatingTwiceKeepsOneEffectAndOneSetOfTargets)
{
    Shader_Bloom* bl = GetShaderBloom();
    bl->Create("data/Bloom.fx", 256, 256);
    const u32 live = gd_->device->LiveDefaultPoolResources();
    const Effect* first = bl->effect.get();
    bl->Create("data/Bloom.fx", 256, 256);
    EXPECT_EQ(gd_->device->LiveDefaultPoolResources(), live);
    EXPECT_NE(bl->effect.get(), nullptr);
    (void)first;
    bl->Release();
    EXPECT_EQ(gd_->device->LiveDefaultPoolResources(), live - 5);
    EXPECT_EQ(bl->effect, nullptr);
}

TEST_F(ShaderWrappers, MaterialColoursAreLitAndTexturesFollowEachWrappersRule)
{
    CreateShaderWrappers(256, 256, 1);
    gd_->SetDirectionalLight(0, Vec3(0, -1, 0), ColorF(0.5f, 1, 1, 1), ColorF(0.5f, 0.5f, 0.5f, 1),
                             ColorF(0.25f, 0.25f, 0.25f, 1));
    GfxMaterial m;
    m.diffuse = ColorF(0.8f, 0.4f, 0.2f, 1);
    m.ambient = ColorF(0.8f, 0.4f, 0.2f, 1);
    m.emissive = ColorF(0.1f, 0, 0, 0);
    m.specular = ColorF(1, 1, 1, 1);
    m.power = 12;
    TextureHandle empty, real;
    ASSERT_EQ(real.CreateBlank(2, 2, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed), 1);

    Shader_Basic* b = GetShaderBasic();
    b->SetMaterial(&m, &real);
    float v[4];
    b->effect->GetFloatArray(b->hDiffuse, v, 4);
    EXPECT_FLOAT_EQ(v[0], 0.4f);
    b->effect->GetFloatArray(b->hAmbient, v, 4);
    EXPECT_FLOAT_EQ(v[0], 0.8f * 0.5f + 0.1f);
    b->effect->GetFloatArray(b->hSpecular, v, 4);
    EXPECT_FLOAT_EQ(v[1], 0.25f);
    b->effect->GetFloatArray(b->hPower, v, 1);
    EXPECT_FLOAT_EQ(v[0], 12.0f);
    EXPECT_EQ(b->effect->GetTexture(b->hMeshTex), real.texture);
    // No handle: only colours and power change.
    m.power = 3;
    b->SetMaterial(&m, nullptr);
    EXPECT_EQ(b->effect->GetTexture(b->hMeshTex), real.texture);
    b->effect->GetFloatArray(b->hPower, v, 1);
    EXPECT_FLOAT_EQ(v[0], 3.0f);
    // An empty handle: Basic says so; every wrapper leaves the texture unset, which reads white.
    b->SetMaterial(&m, &empty);
    i32 flag = 0;
    b->effect->GetInt(b->hNoTexFlag, &flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(b->effect->GetTexture(b->hMeshTex), nullptr);
    Shader_Reflection* r = GetShaderReflection();
    r->SetMaterial(&m, &empty);
    EXPECT_EQ(r->effect->GetTexture(r->hMeshTex), nullptr);
    Shader_ShadowMap* s = GetShaderShadowMap();
    s->SetMaterial(&m, &empty);
    EXPECT_EQ(s->effect->GetTexture(s->hMeshTex), nullptr);
    Shader_Bloom* bl = GetShaderBloom();
    bl->SetMaterial(&m, &real);
    bl->SetMaterial(&m, &empty);
    EXPECT_EQ(bl->effect->GetTexture(bl->hMeshTex), nullptr);

    // Fog and lighting: Bloom ignores fog; Reflection does what Basic does.
    const float fog[2] = {10, 50};
    const float light[3] = {0, 0, 1};
    const Vec4 eye(1, 2, 3, 1);
    bl->SetFog(fog);
    r->SetFog(fog);
    r->SetLighting(light, &eye);
    b->SetFog(fog);
    float got[4];
    r->effect->GetFloatArray(r->effect->GetParameterByName(nullptr, "vFog"), got, 2);
    EXPECT_EQ(got[1], 50.0f);
    b->effect->GetFloatArray(b->effect->GetParameterByName(nullptr, "vFog"), got, 2);
    EXPECT_EQ(got[1], 50.0f);
    r->effect->GetFloatArray(r->effect->GetParameterByName(nullptr, "Eyepos"), got, 4);
    EXPECT_EQ(got[2], 3.0f);
    r->effect->GetFloatArray(r->hLightDir, got, 3);
    EXPECT_EQ(got[2], 1.0f);
}

TEST_F(ShaderWrappers, ShadowsOffAndMissingFilesLeaveQuietWrappers)
{
    Shader_ShadowMap* s = GetShaderShadowMap();
    s->Create("data/ShadowMap.fx", ShadowMapSizeFromSetting(7));
    EXPECT_TRUE(s->effect);
    EXPECT_EQ(s->hShadowMap, nullptr);
    EXPECT_EQ(s->shadowTarget.texture, nullptr);
    EXPECT_EQ(s->shadowDepth, nullptr);
    EXPECT_EQ(ShadowMapSizeFromSetting(3), 2048);

    Shader_Basic* b = GetShaderBasic();
    b->Create("data/NoSuchEffect.fx");
    EXPECT_FALSE(b->effect);
    EXPECT_NE(b->LastError().find("NoSuchEffect"), std::string::npos);
    EXPECT_EQ(b->hBasic, nullptr);
    const Mat4 world;
    GfxMaterial m;
    b->SetWorld(&world);  // nothing to set, nothing breaks
    b->SetMaterial(&m, nullptr);
    b->Reload();
    EXPECT_FALSE(b->effect);
    EXPECT_STREQ(b->fileName, "data/NoSuchEffect.fx");
}

TEST_F(ShaderWrappers, AFixedLightSeesABoxOfItsWidthAlongItsDirection)
{
    CreateShaderWrappers(256, 256, 2);
    Shader_ShadowMap* s = GetShaderShadowMap();
    const Vec3 from(-1, 5, 2), dir(0.3f, -1, -0.5f);
    ASSERT_EQ(s->BeginFixedLightPass(1.0f, 30.0f, from, dir, 6.0f), 1);
    s->EndShadowPass();
    // On the light's axis: the map's centre, depth growing from near to far;
    // 3 across the axis: the map's edge.
    Vec3 d = dir;
    Vec3Normalize(&d, &d);
    const auto at = [&](float t, const Vec3& side) {
        Vec3 p(from.x + d.x * t + side.x, from.y + d.y * t + side.y, from.z + d.z * t + side.z), out;
        Vec3TransformCoord(&out, &p, &s->lightViewProj);
        return out;
    };
    const Vec3 none(0, 0, 0);
    EXPECT_NEAR(at(1.0f, none).z, 0.0f, 1e-5f);
    EXPECT_NEAR(at(30.0f, none).z, 1.0f, 1e-5f);
    EXPECT_NEAR(at(10.0f, none).x, 0.0f, 1e-5f);
    EXPECT_NEAR(at(10.0f, none).y, 0.0f, 1e-5f);
    Vec3 across;
    const Vec3 up(0, 1, 0);
    Vec3Cross(&across, &up, &d);
    Vec3Normalize(&across, &across);
    const Vec3 edge(across.x * 3, across.y * 3, across.z * 3);
    EXPECT_NEAR(std::abs(at(10.0f, edge).x), 1.0f, 1e-4f);
    EXPECT_EQ(s->BeginFixedLightPass(1.0f, 30.0f, from, dir, 0.0f), 0) << "no box, no pass";
}

using ShaderPictures = ShaderFixture;

// LeakSanitizer's exit-time stop of all threads has crashed in the bloom
// picture's process on a loaded machine (with Mesa's worker threads still
// about), after the test passed; that one process skips the leak check.
namespace {
bool g_skipLeakCheck = false;
}
extern "C" int __lsan_is_turned_off() { return g_skipLeakCheck ? 1 : 0; }

TEST_F(ShaderPictures, ReflectionMirrorsTheCubeWhereBasicDoesNot)
{
    CreateShaderWrappers(256, 256, 0);
    MeshObject sphere;
    ASSERT_EQ(sphere.Load("Quillon/Mesh/Sphere.x", 0, &gd_->textureManager), 1);
    GfxRef<GfxCubeTexture> cube;
    ASSERT_EQ(CreateCubeTextureFromFile(gd_->device, "Quillon/CubeMap.dds", cube.put()), GfxResult::Ok);
    Camera(Vec3(0, 0, -4), Vec3(0, 0, 0));
    const Mat4 world;
    const float light[3] = {0.3f, -1.0f, 0.2f};
    const Vec4 eye(0, 0, -4, 1);

    Begin();
    Shader_Basic* b = GetShaderBasic();
    b->effect->SetTechnique(b->hBasic);
    b->SetWorld(&world);
    b->SetLighting(light, &eye);
    sphere.DrawShader(b);
    End();
    const u32 plain[3] = {ReadPixel(gd_->backBuffer, 128, 128), ReadPixel(gd_->backBuffer, 110, 100),
                          ReadPixel(gd_->backBuffer, 150, 150)};

    Begin();
    Shader_Reflection* r = GetShaderReflection();
    r->effect->SetTechnique(r->hReflectionTech);
    r->effect->SetFloat(r->hReflection, 1.0f);
    r->effect->SetTexture(r->hEnvTex, cube.get());
    r->SetWorld(&world);
    r->SetLighting(light, &eye);
    sphere.DrawShader(r);
    End();
    const u32 mirrored[3] = {ReadPixel(gd_->backBuffer, 128, 128), ReadPixel(gd_->backBuffer, 110, 100),
                             ReadPixel(gd_->backBuffer, 150, 150)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(plain[i] & 0xFFFFFF, 0u);
        EXPECT_NE(mirrored[i] & 0xFFFFFF, plain[i] & 0xFFFFFF) << "sample " << i;
    }
    // Straight back from the sphere's front lies the cube's -z face (cyan-ish, no red).
    EXPECT_LT(int((mirrored[0] >> 16) & 0xFF), 0x60);
    EXPECT_GT(int(mirrored[0] & 0xFF), 0x80);
    r->effect->SetTexture(r->hEnvTex, nullptr);
    sphere.Release();
}

TEST_F(ShaderPictures, BloomSpreadsABrightSpot)
{
    g_skipLeakCheck = true;
    CreateShaderWrappers(256, 256, 0);
    Shader_Bloom* bl = GetShaderBloom();
    ASSERT_TRUE(bl->hdrTarget.texture);  // 64 x 64
    gd_->device->BeginScene();
    bl->hdrTarget.SetAsRenderTarget();
    gd_->device->SetDepthStencilSurface(nullptr);
    gd_->device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gd_->device->SetTexture(0, nullptr);
    gd_->DrawScreenQuad(28, 28, 8, 8, 0xFFFFFFFFu);  // bright spot in the middle
    bl->DrawBloom();
    gd_->device->EndScene();
    // The spot covers 56..72 of the 128 x 128 bloom targets.
    GfxSurface* out = bl->bloomTargets[3].surface;
    ASSERT_NE(out, nullptr);
    EXPECT_GT(Sum(ReadPixel(out, 64, 64)), 300);
    // Two pixels outside the spot on each side were black before the blur.
    EXPECT_GT(Sum(ReadPixel(out, 54, 64)), 60) << "left of the spot";
    EXPECT_GT(Sum(ReadPixel(out, 64, 73)), 20) << "below the spot";
    EXPECT_LT(Sum(ReadPixel(out, 54, 64)), Sum(ReadPixel(out, 64, 64)));
    EXPECT_EQ(Sum(ReadPixel(out, 10, 10)), 0);
    // Drawing goes back to the back buffer afterwards.
    GfxRef<GfxSurface> target;
    gd_->device->GetRenderTarget(0, target.put());
    EXPECT_EQ(target.get(), gd_->backBuffer);
}

TEST_F(ShaderPictures, SpecularOnlyDrawsJustTheHighlight)
{
    CreateShaderWrappers(256, 256, 0);
    MeshObject sphere;
    ASSERT_EQ(sphere.Load("Quillon/Mesh/Sphere.x", MeshObject::NoTextures, nullptr), 1);
    Camera(Vec3(0, 0, -4), Vec3(0, 0, 0));
    gd_->SetDirectionalLight(0, Vec3(0, 0, 1), ColorF(1, 1, 1, 1), ColorF(0.5f, 0.5f, 0.5f, 1), ColorF(1, 1, 1, 1));
    Shader_Bloom* bl = GetShaderBloom();
    const Mat4 world;
    const float light[3] = {0, 0, 1};
    const Vec4 eye(0, 0, -4, 1);
    Begin();
    bl->effect->SetTechnique(bl->hSpecularOnly);
    bl->SetWorld(&world);
    bl->SetLighting(light, &eye);
    sphere.DrawShader(bl);
    End();
    // Light and eye both straight ahead: the highlight sits in the middle;
    // the lit but dull rim stays dark.
    EXPECT_GT(Brightness(128, 128), 600);
    int sx, sy;
    Project(Vec3(0.95f, 0, -0.3f), &sx, &sy);
    EXPECT_LT(Brightness(sx, sy), 60);
    sphere.Release();
}

TEST_F(ShaderPictures, GroundIsDarkerInTheBoxsShadow)
{
    CreateShaderWrappers(256, 256, 2);
    Shader_ShadowMap* s = GetShaderShadowMap();
    ASSERT_TRUE(s->effect) << s->LastError();
    MeshObject ground, box;
    ASSERT_EQ(ground.Load("Quillon/Mesh/Ground.x", 0, &gd_->textureManager), 1);
    ASSERT_EQ(box.Load("Quillon/Mesh/Box.x", 0, &gd_->textureManager), 1);
    const Vec3 eyePos(0, 15, -25), at(0, 0, 0);
    Camera(eyePos, at);
    Vec3 viewDir = at - eyePos;
    Vec3Normalize(&viewDir, &viewDir);
    const Vec3 light(0.3f, -1.0f, 0.2f);
    ComputeShadowMatrices(&s->fit, &viewDir, &eyePos, &light, &gd_->view, 0.8f, 1.0f, 0.5f, 40.0f);
    MatrixMultiply(&s->lightViewProj, &s->fit.lightView, &s->fit.lightProjection);
    Mat4 boxWorld;
    MatrixTranslation(&boxWorld, 0, 3, 0);
    const Mat4 groundWorld;

    gd_->device->BeginScene();
    // Shadow map: depth from the light of both meshes.
    ASSERT_EQ(s->BeginShadowTarget(), 1);
    gd_->device->SetRenderState(GfxRenderState::CullMode, CullNone);
    s->effect->SetTechnique(s->hShadowMap);
    s->SetWorldMatrix(&boxWorld);
    box.DrawShader(s);
    s->SetWorldMatrix(&groundWorld);
    ground.DrawShader(s);
    gd_->device->SetRenderState(GfxRenderState::CullMode, CullCCW);
    // The scene: the ground darkened where the map shows the box.
    gd_->device->SetRenderTarget(0, gd_->backBuffer);
    gd_->device->SetDepthStencilSurface(gd_->depthSurface);
    gd_->device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    s->effect->SetTexture(s->hShadowTex, s->shadowTarget.texture);
    s->BeginSceneTechnique(0.002f, 0.3f);
    const float lightDir[3] = {light.x, light.y, light.z};
    const Vec4 eye(eyePos.x, eyePos.y, eyePos.z, 1);
    s->SetLighting(lightDir, &eye);
    s->SetWorld(&groundWorld);
    s->SetWorldMatrix(&groundWorld);
    ground.DrawShader(s);
    gd_->device->EndScene();
    s->effect->SetTexture(s->hShadowTex, nullptr);

    // The box's centre seen along the light lands on the ground at (0.9, 0, 0.6).
    int sx, sy, lx, ly;
    Project(Vec3(0.9f, 0, 0.6f), &sx, &sy);
    Project(Vec3(-8.0f, 0, -6.0f), &lx, &ly);
    const int shadowed = Brightness(sx, sy), lit = Brightness(lx, ly);
    EXPECT_GT(lit, 100);
    EXPECT_LT(shadowed, lit * 6 / 10) << "shadow " << shadowed << " lit " << lit;
    ground.Release();
    box.Release();
}

TEST_F(ShaderPictures, WrappersDrawAgainAfterTheDeviceIsLostAndReset)
{
    CreateShaderWrappers(256, 256, 2);
    Shader_Basic* b = GetShaderBasic();
    Shader_Bloom* bl = GetShaderBloom();
    // A value set on the old effect marks it: a reloaded effect starts from
    // the file again, wherever the allocator puts it.
    f32 power = 0.0f;
    b->effect->SetFloat(b->hPower, 77.0f);
    b->effect->GetFloatArray(b->hPower, &power, 1);
    ASSERT_EQ(power, 77.0f);
    LoseAndRecover();
    for (ShaderBase* s : gd_->effects) ASSERT_TRUE(s->effect);
    ASSERT_NE(b->hBasic, nullptr);
    EXPECT_EQ(b->effect->GetTechniqueByName("Basic"), b->hBasic);
    EXPECT_EQ(b->effect->GetParameterByName(nullptr, "Power"), b->hPower) << "handles of the new effect";
    b->effect->GetFloatArray(b->hPower, &power, 1);
    EXPECT_NE(power, 77.0f) << "the effect was not made again";
    EXPECT_STREQ(bl->fileName, "data/Bloom.fx");
    EXPECT_EQ(bl->width, 256);
    EXPECT_TRUE(bl->hdrTarget.texture);
    EXPECT_EQ(GetShaderShadowMap()->shadowSize, 1024);
    EXPECT_TRUE(GetShaderShadowMap()->shadowTarget.texture);

    MeshObject box;
    ASSERT_EQ(box.Load("Quillon/Mesh/Box.x", 0, &gd_->textureManager), 1);
    Camera(Vec3(0, 0, -5), Vec3(0, 0, 0));
    const Mat4 world;
    Begin();
    b->effect->SetTechnique(b->hBasic);
    b->SetWorld(&world);
    const float light[3] = {0, 0, 1};
    const Vec4 eye(0, 0, -5, 1);
    b->SetLighting(light, &eye);
    box.DrawShader(b);
    End();
    EXPECT_GT(Brightness(128, 128), 0);
    box.Release();
}

}  // namespace
