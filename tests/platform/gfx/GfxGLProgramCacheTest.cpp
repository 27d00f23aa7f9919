// The OpenGL device's programs made for single combinations of pipeline
// switches: they must draw what the general program draws, and be built once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxGLShaders.h"
#include "platform/math/Math.h"
#include "support/OffscreenDevice.h"

using namespace plat;

namespace {

struct Vtx2D {
    float x, y, z, rhw;
    u32 color;
    float u, v;
};

struct Vtx3D {
    float x, y, z;
    float nx, ny, nz;
    u32 color;
};

class GfxGLProgramCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gfx_.Open(GfxBackend::OpenGL, 1024, 768));
        tex_ = MakeCheckerTexture(gfx_.device.get());
    }
    void TearDown() override { GfxGLUseGeneralProgram(false); }

    void Quad(float x, float y, float w, float h, u32 color) {
        const Vtx2D v[4] = {{x, y, 0, 1, color, 0, 0},
                            {x + w, y, 0, 1, color, 1, 0},
                            {x, y + h, 0, 1, color, 0, 1},
                            {x + w, y + h, 0, 1, color, 1, 1}};
        gfx_.device->SetFVF(FvfXyzRhw | FvfDiffuse | FvfTex1);
        gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D));
    }

    // Lit fogged triangles, alpha-tested quads and a textured 2D quad, every
    // state they need set here so the frame can be drawn again and again.
    void DrawFrame(u32 alphaRef) {
        GfxDevice* d = gfx_.device.get();
        d->Clear(ClearTarget | ClearZBuffer, 0xFF102030u, 1.0f, 0);
        d->BeginScene();
        Mat4 view, proj;
        const Vec3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
        MatrixLookAtLH(&view, &eye, &at, &up);
        MatrixPerspectiveFovLH(&proj, kPi / 2, 4.0f / 3.0f, 1.0f, 1000.0f);
        d->SetTransform(GfxTransform::View, view);
        d->SetTransform(GfxTransform::Projection, proj);
        d->SetTexture(0, nullptr);
        d->SetTextureStageState(0, GfxStageState::AlphaOp, TopModulate);
        d->SetTextureStageState(0, GfxStageState::AlphaArg1, TaTexture);
        d->SetTextureStageState(0, GfxStageState::AlphaArg2, TaDiffuse);
        GfxLight light;
        light.type = GfxLightType::Directional;
        light.diffuse = ColorF(1, 1, 1, 1);
        light.ambient = ColorF(0.1f, 0.1f, 0.1f, 1);
        light.direction = Vec3(0.3f, -0.4f, 1);
        d->SetLight(0, light);
        d->LightEnable(0, true);
        GfxMaterial m;
        m.diffuse = ColorF(1, 1, 1, 1);
        m.ambient = ColorF(1, 1, 1, 1);
        d->SetMaterial(m);
        d->SetRenderState(GfxRenderState::Lighting, 1);
        d->SetRenderState(GfxRenderState::AlphaTestEnable, 0);
        d->SetRenderState(GfxRenderState::FogEnable, 1);
        d->SetRenderState(GfxRenderState::FogVertexMode, FogLinear);
        d->SetRenderState(GfxRenderState::FogStart, GfxFloatBits(10.0f));
        d->SetRenderState(GfxRenderState::FogEnd, GfxFloatBits(120.0f));
        d->SetRenderState(GfxRenderState::FogColor, 0xFFC2D6F0u);
        // Normals and depths differ per corner, so light and fog vary across them.
        const Vtx3D tris[6] = {{-40, 30, 30, 0, 0, -1, 0xFFFF4000u},  {0, -30, 90, 0.6f, 0, -0.8f, 0xFF40FF00u},
                               {-80, -30, 60, -0.6f, 0, -0.8f, 0xFF0040FFu}, {10, 30, 50, 0, 0.6f, -0.8f, 0xFFFFFFFFu},
                               {60, -30, 20, 0, 0, -1, 0xFF808080u},     {10, -30, 100, 0, -0.6f, -0.8f, 0xFFFF00FFu}};
        d->SetFVF(FvfXyz | FvfNormal | FvfDiffuse);
        d->DrawPrimitiveUP(GfxPrimitive::TriangleList, 2, tris, sizeof(Vtx3D));

        d->SetRenderState(GfxRenderState::Lighting, 0);
        d->SetRenderState(GfxRenderState::FogEnable, 0);
        d->SetRenderState(GfxRenderState::AlphaTestEnable, 1);
        d->SetRenderState(GfxRenderState::AlphaRef, alphaRef);
        d->SetRenderState(GfxRenderState::AlphaFunc, CmpGreaterEqual);
        Quad(20, 20, 100, 100, 0x80FF0000u);
        Quad(140, 20, 100, 100, 0xC8FF0000u);

        d->SetRenderState(GfxRenderState::AlphaTestEnable, 0);
        d->SetTexture(0, tex_.get());
        Quad(260, 20, 200, 200, 0xFFFFFFFFu);
        d->SetTexture(0, nullptr);
        d->EndScene();
    }

    std::vector<u32> Frame() { return gfx_.Read(0, 0, 1024, 768); }

    OffscreenDevice gfx_;
    GfxRef<GfxTexture> tex_;
};

int WorstChannelDifference(const std::vector<u32>& a, const std::vector<u32>& b) {
    int worst = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
            worst = std::max(worst, std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)));
    return worst;
}

TEST_F(GfxGLProgramCacheTest, ProgramsPerCombinationDrawWhatTheGeneralProgramDraws) {
    GfxGLUseGeneralProgram(true);
    const u32 before = GfxGLProgramsBuilt();
    DrawFrame(200);
    const std::vector<u32> general = Frame();
    EXPECT_EQ(GfxGLProgramsBuilt(), before);

    GfxGLUseGeneralProgram(false);
    DrawFrame(200);
    const std::vector<u32> own = Frame();
    EXPECT_EQ(GfxGLProgramsBuilt(), before + 3);  // lit and fogged, alpha-tested, textured
    EXPECT_LE(WorstChannelDifference(general, own), 1);

    // The frame does draw something of each kind.
    const u32 background = 0xFF102030u;
    const auto lit = std::count_if(own.begin() + 240 * 1024, own.end(), [&](u32 p) { return p != background; });
    EXPECT_GT(lit, 5000);  // the lit triangles below the quads
    EXPECT_EQ(gfx_.Pixel(70, 70), background);     // alpha 128 under 200: discarded
    EXPECT_EQ(gfx_.Pixel(190, 70), 0xFFFF0000u);   // alpha 200 passes
    EXPECT_EQ(gfx_.Pixel(300, 60), 0xFFFF0000u);   // top-left texel
    EXPECT_EQ(gfx_.Pixel(400, 160), 0xFFFFFFFFu);  // bottom-right texel
}

TEST_F(GfxGLProgramCacheTest, SwitchingBackAndForthReusesThePrograms) {
    DrawFrame(200);
    const std::vector<u32> first = Frame();
    const u32 built = GfxGLProgramsBuilt();
    DrawFrame(200);
    EXPECT_EQ(Frame(), first);
    EXPECT_EQ(GfxGLProgramsBuilt(), built);

    // The alpha-test reference is a value, not a new program.
    DrawFrame(100);
    EXPECT_EQ(GfxGLProgramsBuilt(), built);
    EXPECT_EQ(gfx_.Pixel(70, 70), 0xFFFF0000u);  // alpha 128 now passes
}

}  // namespace
