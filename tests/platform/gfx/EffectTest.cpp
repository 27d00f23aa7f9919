#include "platform/gfx/Effect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/math/Math.h"
#include "platform/mesh/Mesh.h"
#include "platform/gfx/Window.h"

using namespace plat;

namespace {

const char* kSolid = R"(
// A flat colour, optionally from a texture.
param mat4 mWVP;
param vec4 Color = 1 0 0 1;
param vec2 Pair[3] = 1 2 3 4;
param int UseTex;
param sampler2D Tex clamp;
param samplerCube Cube;
param sampler2DShadow Depth;
glsl {{
VARYING vec2 vUv;
#ifdef VERTEX
void VS() { vUv = aTexCoord0.xy; gl_Position = ToTarget(mWVP * vec4(aPosition.xyz, 1.0)); }
void VSPixels() { vUv = aTexCoord0.xy; gl_Position = FromPixels(aPosition); }
#endif
#ifdef FRAGMENT
void PS() { oColor = UseTex != 0 ? texture(Tex, vUv) : Color; }
void PSHalf() { oColor = vec4(Color.rgb * 0.5, 1.0); }
#endif
}}
technique Solid { pass P0 { vertex VS; fragment PS; } }
technique Pixels {
    pass P0 { vertex VSPixels; fragment PS; state CullMode = 1; }
    pass P1 { vertex VSPixels; fragment PSHalf; state ZEnable = 0; }
}
)";

std::string ParseError(const std::string& text)
{
    EffectFileDesc d;
    std::string err;
    ParseEffectFile(text.data(), text.size(), d, err);
    return err;
}

TEST(EffectFile, ReadsParametersTechniquesPassesAndStates)
{
    EffectFileDesc d;
    std::string err;
    ASSERT_TRUE(ParseEffectFile(kSolid, std::strlen(kSolid), d, err)) << err;
    ASSERT_EQ(d.params.size(), 7u);
    EXPECT_EQ(d.params[1].name, "Color");
    EXPECT_EQ(d.params[1].initial, (std::vector<f32>{1, 0, 0, 1}));
    EXPECT_EQ(d.params[2].count, 3u);
    EXPECT_TRUE(d.params[4].clamp);
    EXPECT_EQ(d.params[5].type, EffectParamType::SamplerCube);
    EXPECT_EQ(d.params[6].type, EffectParamType::Sampler2DShadow);
    ASSERT_EQ(d.techniques.size(), 2u);
    ASSERT_EQ(d.techniques[1].passes.size(), 2u);
    EXPECT_EQ(d.techniques[1].passes[1].fragmentEntry, "PSHalf");
    ASSERT_EQ(d.techniques[1].passes[0].states.size(), 1u);
    EXPECT_EQ(d.techniques[1].passes[0].states[0].first, GfxRenderState::CullMode);
    const std::string vs = EffectStageSource(d, d.techniques[0].passes[0], true);
    EXPECT_NE(vs.find("uniform vec2 Pair[3];"), std::string::npos);
    EXPECT_NE(vs.find("void main() { VS(); }"), std::string::npos);
}

TEST(EffectFile, RefusesMalformedFilesWithTheLine)
{
    EXPECT_EQ(ParseError("param vec5 X;\ntechnique T { pass P { vertex V; fragment F; } }"),
              "line 1: unknown parameter type 'vec5'");
    EXPECT_EQ(ParseError("param float A;\nparam float A;\n"), "line 2: parameter 'A' declared twice");
    EXPECT_EQ(ParseError("param vec2 A = 1 2 3;\n"), "line 1: too many values for 'A'");
    EXPECT_EQ(ParseError("glsl {{ void f() {}\n\n"), "line 3: glsl block opened on line 1 is not closed");
    EXPECT_EQ(ParseError("technique T {\n pass P { vertex V; }\n}"),
              "line 2: pass 'P' needs a vertex and a fragment function");
    EXPECT_EQ(ParseError("technique T {\n pass P { vertex V; fragment F; state Fog = 1; }\n}"),
              "line 2: unknown render state 'Fog'");
    EXPECT_EQ(ParseError("param float A;\n"), "line 2: the effect has no technique");
    EXPECT_EQ(ParseError("param mat4 M[300];"), "line 1: array size must be 1 to 256");
    EXPECT_EQ(ParseError("technique T {\n pass P { vertex V; fragment F; state ZEnable = 1e20; }\n}"),
              "line 2: render state value out of range");
    EXPECT_EQ(ParseError("param int X = 3.4e38;"), "line 1: value out of range for int 'X'");
    EXPECT_EQ(ParseError("param int X = -3e9;"), "line 1: value out of range for int 'X'");
}

// Without a drawing device the effect still keeps techniques and values.
TEST(EffectValues, HandlesByNameAndSilentlyIgnoredMissingNames)
{
    std::unique_ptr<Effect> e;
    std::string err;
    ASSERT_EQ(Effect::CreateFromMemory(nullptr, kSolid, std::strlen(kSolid), "solid", &e, &err), ResultOk) << err;
    EffectHandle color = e->GetParameterByName(nullptr, "Color");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(e->GetParameterByName(nullptr, "Missing"), nullptr);
    EXPECT_EQ(e->GetTechniqueByName("Missing"), nullptr);
    // A missing name changes nothing and does not fail loudly.
    const Vec4 v(0.25f, 0.5f, 0.75f, 1.0f);
    EXPECT_NE(e->SetVector(static_cast<EffectHandle>(nullptr), &v), ResultOk);
    EXPECT_NE(e->SetVector("Missing", &v), ResultOk);
    EXPECT_EQ(e->SetVector(color, &v), ResultOk);
    f32 got[4];
    e->GetFloatArray(color, got, 4);
    EXPECT_EQ(got[2], 0.75f);
    // Raw values cover at most the parameter.
    const f32 pairs[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    EXPECT_EQ(e->SetValue("Pair", pairs, sizeof pairs), ResultOk);
    f32 pairGot[6];
    e->GetFloatArray(e->GetParameterByName(nullptr, "Pair"), pairGot, 6);
    EXPECT_EQ(pairGot[5], 4.0f);
    EXPECT_EQ(e->SetInt("UseTex", 3), ResultOk);
    i32 i = 0;
    e->GetInt(e->GetParameterByName(nullptr, "UseTex"), &i);
    EXPECT_EQ(i, 3);
    // Values no int can hold saturate.
    EXPECT_EQ(e->SetFloat("UseTex", 1e20f), ResultOk);
    e->GetInt(e->GetParameterByName(nullptr, "UseTex"), &i);
    EXPECT_EQ(i, INT32_MAX);
    const Vec4 low(-1e20f, 0, 0, 0);
    EXPECT_EQ(e->SetVector("UseTex", &low), ResultOk);
    e->GetInt(e->GetParameterByName(nullptr, "UseTex"), &i);
    EXPECT_EQ(i, INT32_MIN);
    // A technique handle is not a parameter, nor the reverse.
    EXPECT_NE(e->SetFloat(e->GetTechniqueByName("Solid"), 1.0f), ResultOk);
    EXPECT_NE(e->SetTechnique(color), ResultOk);
    // Passes: Begin gives the count; passes must nest in Begin/End.
    EXPECT_NE(e->BeginPass(0), ResultOk);
    ASSERT_EQ(e->SetTechnique(e->GetTechniqueByName("Pixels")), ResultOk);
    u32 passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), ResultOk);
    EXPECT_EQ(passes, 2u);
    EXPECT_NE(e->BeginPass(2), ResultOk);
    EXPECT_EQ(e->BeginPass(1), ResultOk);
    EXPECT_TRUE(e->InPass());
    EXPECT_EQ(e->CommitChanges(), ResultOk);
    EXPECT_EQ(e->EndPass(), ResultOk);
    EXPECT_EQ(e->End(), ResultOk);
    EXPECT_FALSE(e->InPass());
}

struct Vtx2D {
    float x, y, z, rhw;
    float u, v;
};

class EffectDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SetGfxBackend(GfxBackend::OpenGL);
        window_ = Window::Create("effect test", 0, 0, 256, 256, Window::Hidden);
        ASSERT_NE(window_, nullptr);
        *system_.put() = CreateGfxSystem();
        ASSERT_TRUE(system_);
        GfxPresentParams pp;
        pp.windowed = true;
        pp.backBufferFormat = GfxFormat::X8R8G8B8;
        pp.deviceWindow = window_.get();
        ASSERT_EQ(system_->CreateDevice(GfxDeviceType::Hal, window_.get(), GfxBehaviorHardwareVertexProcessing, &pp,
                                        device_.put()),
                  GfxResult::Ok);
        SetMeshDevice(device_.get());
    }
    void TearDown() override
    {
        SetMeshDevice(nullptr);
        device_.reset();
        system_.reset();
        window_.reset();
    }
    u32 Pixel(int x, int y)
    {
        GfxRef<GfxSurface> bb;
        device_->GetBackBuffer(bb.put());
        GfxRect r{x, y, x + 1, y + 1};
        std::vector<u32> px;
        device_->ReadPixels(bb.get(), &r, &px);
        return px.empty() ? 0 : px[0] & 0xFFFFFF;
    }
    // The solid-colour effect, in a scene begun on a cleared black target.
    void BeginSolidScene(std::unique_ptr<Effect>* e)
    {
        std::string err;
        ASSERT_EQ(Effect::CreateFromMemory(device_.get(), kSolid, std::strlen(kSolid), "solid", e, &err), ResultOk)
            << err;
        ASSERT_EQ(device_->BeginScene(), GfxResult::Ok);
        device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    }
    void Quad(Effect& e, float x0, float y0, float x1, float y1)
    {
        const Vtx2D v[4] = {{x0, y0, 0.5f, 1, 0, 0}, {x1, y0, 0.5f, 1, 1, 0}, {x0, y1, 0.5f, 1, 0, 1},
                            {x1, y1, 0.5f, 1, 1, 1}};
        EXPECT_EQ(e.DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D), FvfXyzRhw | FvfTex1), ResultOk);
    }

    std::unique_ptr<Window> window_;
    GfxRef<GfxSystem> system_;
    GfxRef<GfxDevice> device_;
};

TEST_F(EffectDrawing, EveryShippedTechniqueCompiles)
{
    for (const char* file : {"data/Basic.fx", "data/Reflection.fx", "data/Bloom.fx", "data/ShadowMap.fx"}) {
        std::unique_ptr<Effect> e;
        std::string err;
        EXPECT_EQ(Effect::CreateFromFile(device_.get(), file, &e, &err), ResultOk) << err;
    }
}

TEST_F(EffectDrawing, BrokenShaderCodeIsRefusedWithTheCompilerMessage)
{
    const std::string bad = "glsl {{\n#ifdef FRAGMENT\nvoid PS() { oColor = undefinedThing; }\n#endif\n"
                            "#ifdef VERTEX\nvoid VS() { gl_Position = vec4(0.0); }\n#endif\n}}\n"
                            "technique T { pass P { vertex VS; fragment PS; } }\n";
    std::unique_ptr<Effect> e;
    std::string err;
    EXPECT_NE(Effect::CreateFromMemory(device_.get(), bad.data(), bad.size(), "bad.fx", &e, &err), ResultOk);
    EXPECT_FALSE(e);
    EXPECT_NE(err.find("bad.fx: technique 'T' pass 'P': fragment stage"), std::string::npos) << err;
}

TEST_F(EffectDrawing, PassesDrawWithTheirValuesAndLeaveTheDeviceWorking)
{
    std::unique_ptr<Effect> e;
    ASSERT_NO_FATAL_FAILURE(BeginSolidScene(&e));
    e->SetTechnique(e->GetTechniqueByName("Pixels"));
    u32 passes = 0;
    e->Begin(&passes, 0);
    e->BeginPass(0);
    const Vec4 green(0, 1, 0, 1);
    e->SetVector("Color", &green);
    e->CommitChanges();
    Quad(*e, 0, 0, 128, 256);
    e->EndPass();
    e->BeginPass(1);
    Quad(*e, 128, 0, 256, 256);
    e->EndPass();
    e->End();

    // The device's own pipeline still draws after the effect's draws.
    struct FF {
        float x, y, z, rhw;
        u32 color;
    } ff[4] = {{0, 200, 0.5f, 1, 0xFF0000FFu}, {256, 200, 0.5f, 1, 0xFF0000FFu}, {0, 256, 0.5f, 1, 0xFF0000FFu},
               {256, 256, 0.5f, 1, 0xFF0000FFu}};
    device_->SetFVF(FvfXyzRhw | FvfDiffuse);
    device_->SetTexture(0, nullptr);
    device_->SetRenderState(GfxRenderState::Lighting, 0);
    ASSERT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, ff, sizeof(FF)), GfxResult::Ok);
    device_->EndScene();
    EXPECT_EQ(Pixel(20, 20), 0x00FF00u);
    EXPECT_EQ(Pixel(200, 20), 0x008000u);  // the second pass halves the colour
    EXPECT_EQ(Pixel(20, 230), 0x0000FFu);
}

// Draws take a program with the alpha test only while the device's test is
// on; each program must still get every value set while the other drew.
TEST_F(EffectDrawing, TheAlphaTestDiscardsOnlyWhileOnAndValuesReachBothPrograms)
{
    std::unique_ptr<Effect> e;
    ASSERT_NO_FATAL_FAILURE(BeginSolidScene(&e));
    device_->SetRenderState(GfxRenderState::AlphaFunc, CmpGreater);
    device_->SetRenderState(GfxRenderState::AlphaRef, 128);
    e->SetTechnique(e->GetTechniqueByName("Pixels"));
    u32 passes = 0;
    e->Begin(&passes, 0);
    e->BeginPass(0);
    auto strip = [&](int i, bool test, const Vec4& colour) {
        device_->SetRenderState(GfxRenderState::AlphaTestEnable, test ? 1 : 0);
        e->SetVector("Color", &colour);
        e->CommitChanges();
        Quad(*e, 64.0f * i, 0, 64.0f * (i + 1), 256);
    };
    strip(0, false, Vec4(0, 0, 1, 0.25f));
    strip(1, true, Vec4(0, 1, 0, 1));
    strip(2, true, Vec4(1, 0, 0, 0.25f));
    device_->SetRenderState(GfxRenderState::AlphaTestEnable, 0);
    Quad(*e, 192, 0, 256, 256);  // the colour set while the other program drew
    e->EndPass();
    e->End();
    device_->EndScene();
    EXPECT_EQ(Pixel(32, 128), 0x0000FFu);
    EXPECT_EQ(Pixel(96, 128), 0x00FF00u);
    EXPECT_EQ(Pixel(160, 128), 0x000000u);
    EXPECT_EQ(Pixel(224, 128), 0xFF0000u);
}

TEST_F(EffectDrawing, MeshSubsetsDrawThroughTheActivePassAndTexturesReachTheSampler)
{
    LoadedMesh box;
    ASSERT_TRUE(LoadMeshFromX("Quillon/Mesh/Box.x", MeshManaged, box));
    std::unique_ptr<Effect> e;
    std::string err;
    ASSERT_EQ(Effect::CreateFromMemory(device_.get(), kSolid, std::strlen(kSolid), "solid", &e, &err), ResultOk);
    GfxRef<GfxTexture> tex;
    ASSERT_EQ(device_->CreateTexture(1, 1, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, tex.put()), GfxResult::Ok);
    GfxLockedRect lr;
    tex->LockRect(0, &lr, nullptr, 0);
    *static_cast<u32*>(lr.bits) = 0xFFFFFF00u;  // yellow
    tex->UnlockRect(0);

    Mat4 view, proj, vp;
    const Vec3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
    MatrixLookAtLH(&view, &eye, &at, &up);
    MatrixPerspectiveFovLH(&proj, 0.8f, 1.0f, 1.0f, 100.0f);
    MatrixMultiply(&vp, &view, &proj);
    ASSERT_EQ(device_->BeginScene(), GfxResult::Ok);
    device_->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    e->SetTechnique(e->GetTechniqueByName("Solid"));
    e->SetMatrix("mWVP", &vp);
    e->SetInt("UseTex", 1);
    EXPECT_NE(e->SetTexture("Tex", nullptr), ResultInvalidCall);
    e->SetTexture("Tex", tex.get());
    EXPECT_NE(e->SetTexture("Cube", tex.get()), ResultOk);  // a 2D texture is no cube
    EXPECT_NE(e->SetTexture("Depth", tex.get()), ResultOk);  // comparisons read depth textures only
    auto drawBox = [&] {
        u32 passes = 0;
        e->Begin(&passes, 0);
        e->BeginPass(0);
        for (u32 i = 0; i < box.materials.size(); ++i) EXPECT_EQ(box.mesh->DrawSubset(i), ResultOk);
        e->EndPass();
        e->End();
    };
    drawBox();
    device_->EndScene();
    EXPECT_EQ(Pixel(128, 128), 0xFFFF00u);
    EXPECT_EQ(Pixel(5, 5), 0x000000u);
    // Left without a texture the sampler reads white, through a program of
    // its own; with the texture back, the first program draws it again.
    for (GfxTexture* t : {static_cast<GfxTexture*>(nullptr), tex.get()}) {
        ASSERT_EQ(device_->BeginScene(), GfxResult::Ok);
        e->SetTexture("Tex", t);
        drawBox();
        device_->EndScene();
        EXPECT_EQ(Pixel(128, 128), t ? 0xFFFF00u : 0xFFFFFFu);
    }
}

}  // namespace
