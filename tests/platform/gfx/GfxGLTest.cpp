// The OpenGL backend drawing real pixels offscreen (Mesa's software renderer
// on machines without a GPU).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "platform/gfx/Gfx.h"
#include "platform/math/Math.h"
#include "platform/gfx/Window.h"
#include "support/OffscreenDevice.h"

using namespace plat;

namespace {

struct Vtx2D {  // pre-transformed, coloured, textured: 28 bytes
    float x, y, z, rhw;
    u32 color;
    float u, v;
};
constexpr u32 kFvf2D = FvfXyzRhw | FvfDiffuse | FvfTex1;

struct Vtx3D {  // position, normal, colour: 28 bytes
    float x, y, z;
    float nx, ny, nz;
    u32 color;
};

class GfxGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gfx_.Open(GfxBackend::OpenGL, 1024, 768,
                              GfxBehaviorHardwareVertexProcessing | GfxBehaviorMultithreaded));
        EXPECT_EQ(gfx_.params.backBufferWidth, 1024u);
        EXPECT_EQ(gfx_.params.backBufferHeight, 768u);
    }

    u32 Pixel(int x, int y) { return gfx_.Pixel(x, y); }
    GfxRef<GfxTexture> MakeChecker() { return MakeCheckerTexture(gfx_.device.get()); }

    void DrawQuad(float x, float y, float w, float h, u32 color) {
        const Vtx2D v[4] = {{x, y, 0, 1, color, 0, 0},
                            {x + w, y, 0, 1, color, 1, 0},
                            {x, y + h, 0, 1, color, 0, 1},
                            {x + w, y + h, 0, 1, color, 1, 1}};
        gfx_.device->SetFVF(kFvf2D);
        ASSERT_EQ(gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D)), GfxResult::Ok);
    }

    OffscreenDevice gfx_;
};

TEST_F(GfxGLTest, TexturedScreenQuadLandsOnItsPixels) {
    GfxRef<GfxTexture> tex = MakeChecker();
    ASSERT_EQ(gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF202020u, 1.0f, 0), GfxResult::Ok);
    ASSERT_EQ(gfx_.device->BeginScene(), GfxResult::Ok);
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetTexture(0, tex.get());
    DrawQuad(100, 100, 200, 200, 0xFFFFFFFFu);
    // The stage's texture matrix moves the coordinates half the picture
    // down its third row while it is on, and stops once it is off.
    Mat4 scroll;
    scroll.m[2][1] = 0.5f;
    gfx_.device->SetTransform(GfxTransform::Texture0, scroll);
    gfx_.device->SetTextureStageState(0, GfxStageState::TextureTransformFlags, TtfCount2);
    DrawQuad(400, 100, 200, 200, 0xFFFFFFFFu);
    gfx_.device->SetTextureStageState(0, GfxStageState::TextureTransformFlags, TtfDisable);
    DrawQuad(700, 100, 200, 200, 0xFFFFFFFFu);
    ASSERT_EQ(gfx_.device->EndScene(), GfxResult::Ok);

    EXPECT_EQ(Pixel(150, 150), 0xFFFF0000u);  // top-left texel
    EXPECT_EQ(Pixel(250, 150), 0xFF00FF00u);  // top-right
    EXPECT_EQ(Pixel(150, 250), 0xFF0000FFu);  // bottom-left
    EXPECT_EQ(Pixel(250, 250), 0xFFFFFFFFu);  // bottom-right
    EXPECT_EQ(Pixel(99, 150), 0xFF202020u);   // left of the quad
    EXPECT_EQ(Pixel(450, 150), 0xFF0000FFu);  // scrolled: the bottom row on top
    EXPECT_EQ(Pixel(550, 150), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(450, 250), 0xFFFF0000u);  // and the top row below it
    EXPECT_EQ(Pixel(750, 150), 0xFFFF0000u);  // off again
    EXPECT_EQ(gfx_.device->Present(nullptr), GfxResult::Ok);
}

TEST_F(GfxGLTest, ScreenQuadCoversExactlyItsPixelRectangle) {
    gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetTexture(0, nullptr);
    DrawQuad(10, 20, 30, 40, 0xFF80C0FFu);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(10, 20), 0xFF80C0FFu);
    EXPECT_EQ(Pixel(39, 59), 0xFF80C0FFu);
    EXPECT_EQ(Pixel(9, 20), 0xFF000000u);
    EXPECT_EQ(Pixel(10, 19), 0xFF000000u);
    EXPECT_EQ(Pixel(40, 59), 0xFF000000u);
    EXPECT_EQ(Pixel(39, 60), 0xFF000000u);
}

TEST_F(GfxGLTest, LitFoggedTriangleListShowsLightAndFog) {
    Mat4 view, proj;
    const Vec3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
    MatrixLookAtLH(&view, &eye, &at, &up);
    MatrixPerspectiveFovLH(&proj, kPi / 2, 4.0f / 3.0f, 1.0f, 1000.0f);
    // Every corner lies 77.62 from the eye, so range fog is the same all over.
    const float z = 75.0f;
    // Vertex colours stand in for the material's diffuse colour by default.
    const u32 red = 0xFFFF0000u;
    const Vtx3D tri[3] = {{0, 20, z, 0, 0, -1, red}, {17.32f, -10, z, 0, 0, -1, red},
                          {-17.32f, -10, z, 0, 0, -1, red}};
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetTransform(GfxTransform::View, view);
    gfx_.device->SetTransform(GfxTransform::Projection, proj);
    GfxLight light;
    light.type = GfxLightType::Directional;
    light.diffuse = ColorF(1, 1, 1, 1);
    light.direction = Vec3(0, 0, 1);
    gfx_.device->SetLight(0, light);
    gfx_.device->LightEnable(0, true);
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 1);
    GfxMaterial m;
    m.diffuse = ColorF(0, 0, 1, 1);
    gfx_.device->SetMaterial(m);
    gfx_.device->SetRenderState(GfxRenderState::FogEnable, 1);
    gfx_.device->SetRenderState(GfxRenderState::FogVertexMode, FogLinear);
    gfx_.device->SetRenderState(GfxRenderState::RangeFogEnable, 1);
    gfx_.device->SetRenderState(GfxRenderState::FogStart, GfxFloatBits(1.0f));
    gfx_.device->SetRenderState(GfxRenderState::FogEnd, GfxFloatBits(150.0f));
    gfx_.device->SetRenderState(GfxRenderState::FogColor, 0xFFC2D6F0u);
    gfx_.device->SetFVF(FvfXyz | FvfNormal | FvfDiffuse);
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, tri, sizeof(Vtx3D));
    gfx_.device->EndScene();

    const float f = (150.0f - std::sqrt(400.0f + z * z)) / 149.0f;
    const u32 c = Pixel(512, 384);
    EXPECT_NEAR(int((c >> 16) & 0xFF), int(f * 255 + (1 - f) * 0xC2), 2);
    EXPECT_NEAR(int((c >> 8) & 0xFF), int((1 - f) * 0xD6), 2);
    EXPECT_NEAR(int(c & 0xFF), int((1 - f) * 0xF0), 2);
    EXPECT_EQ(Pixel(5, 5), 0xFF000000u);  // fog touches only what is drawn
}

TEST_F(GfxGLTest, LightFromBehindLeavesOnlyAmbientAndEmissive) {
    const Vtx3D tri[3] = {{0, 0.5f, 0.5f, 0, 0, -1, 0}, {0.5f, -0.5f, 0.5f, 0, 0, -1, 0},
                          {-0.5f, -0.5f, 0.5f, 0, 0, -1, 0}};
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    GfxLight light;
    light.diffuse = ColorF(1, 1, 1, 1);
    light.ambient = ColorF(0.25f, 0.25f, 0.25f, 1);
    light.direction = Vec3(0, 0, -1);  // shines towards the viewer: the front is dark
    gfx_.device->SetLight(0, light);
    gfx_.device->LightEnable(0, true);
    GfxMaterial m;
    m.diffuse = ColorF(1, 1, 1, 1);
    m.ambient = ColorF(0, 1, 0, 1);
    m.emissive = ColorF(0, 0, 0.5f, 0);
    gfx_.device->SetMaterial(m);
    gfx_.device->SetRenderState(GfxRenderState::Ambient, 0xFF404040u);  // global ambient 0.25
    gfx_.device->SetFVF(FvfXyz | FvfNormal);
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, tri, sizeof(Vtx3D));
    gfx_.device->EndScene();
    const u32 c = Pixel(512, 384);
    EXPECT_NEAR(int((c >> 16) & 0xFF), 0, 1);
    EXPECT_NEAR(int((c >> 8) & 0xFF), 128, 2);  // green ambient x (0.25 + 0.25)
    EXPECT_NEAR(int(c & 0xFF), 128, 2);         // emissive blue
}

TEST_F(GfxGLTest, BackFacesAreCulledAndDepthTestHidesFartherTriangles) {
    struct V { float x, y, z; u32 c; };
    // Clockwise on screen (front) near, and a farther one drawn after it.
    const V nearTri[3] = {{-1, 1, 0.2f, 0xFFFF0000u}, {1, -1, 0.2f, 0xFFFF0000u}, {-1, -1, 0.2f, 0xFFFF0000u}};
    const V farTri[3] = {{-1, 1, 0.8f, 0xFF00FF00u}, {1, 1, 0.8f, 0xFF00FF00u}, {1, -1, 0.8f, 0xFF00FF00u}};
    const V backTri[3] = {{-1, 1, 0.8f, 0xFF0000FFu}, {-1, -1, 0.8f, 0xFF0000FFu}, {1, -1, 0.8f, 0xFF0000FFu}};
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetFVF(FvfXyz | FvfDiffuse);
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, nearTri, sizeof(V));
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, farTri, sizeof(V));
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, backTri, sizeof(V));  // counter-clockwise: culled
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(100, 700), 0xFFFF0000u);   // lower left: near red wins over the blue back face
    EXPECT_EQ(Pixel(900, 100), 0xFF00FF00u);   // upper right: only the far green
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::CullMode, CullNone);
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, backTri, sizeof(V));
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(100, 700), 0xFFFF0000u);   // still behind the near one
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::ZEnable, 0);
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, backTri, sizeof(V));
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(100, 700), 0xFF0000FFu);   // no depth test: drawn over
}

TEST_F(GfxGLTest, AlphaBlendingAndAlphaTest) {
    gfx_.device->Clear(ClearTarget, 0xFF0000FFu, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetTextureStageState(0, GfxStageState::AlphaOp, TopSelectArg2);
    gfx_.device->SetTextureStageState(0, GfxStageState::AlphaArg2, TaDiffuse);
    gfx_.device->SetRenderState(GfxRenderState::AlphaBlendEnable, 1);
    gfx_.device->SetRenderState(GfxRenderState::SrcBlend, BlendSrcAlpha);
    gfx_.device->SetRenderState(GfxRenderState::DestBlend, BlendInvSrcAlpha);
    DrawQuad(0, 0, 100, 100, 0x80FF0000u);
    gfx_.device->SetRenderState(GfxRenderState::AlphaTestEnable, 1);
    gfx_.device->SetRenderState(GfxRenderState::AlphaRef, 200);
    gfx_.device->SetRenderState(GfxRenderState::AlphaFunc, CmpGreaterEqual);
    DrawQuad(200, 0, 100, 100, 0x80FF0000u);  // alpha 128 < 200: discarded
    DrawQuad(400, 0, 100, 100, 0xC8FF0000u);  // alpha 200 passes
    gfx_.device->EndScene();
    const u32 c = Pixel(50, 50);
    EXPECT_NEAR(int((c >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(int(c & 0xFF), 127, 2);
    EXPECT_EQ(Pixel(250, 50), 0xFF0000FFu);
    EXPECT_NEAR(int((Pixel(450, 50) >> 16) & 0xFF), 200, 2);
}

TEST_F(GfxGLTest, RenderTargetTextureIsDrawnIntoThenSampled) {
    GfxRef<GfxTexture> rt;
    ASSERT_EQ(
        gfx_.device->CreateTexture(64, 32, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default, rt.put()),
        GfxResult::Ok);
    GfxRef<GfxSurface> rtSurface, back;
    ASSERT_EQ(rt->GetSurfaceLevel(0, rtSurface.put()), GfxResult::Ok);
    ASSERT_EQ(gfx_.device->GetRenderTarget(0, back.put()), GfxResult::Ok);
    gfx_.device->BeginScene();
    ASSERT_EQ(gfx_.device->SetRenderTarget(0, rtSurface.get()), GfxResult::Ok);
    GfxViewport vp;
    gfx_.device->GetViewport(&vp);
    EXPECT_EQ(vp.width, 64u);
    EXPECT_EQ(vp.height, 32u);
    gfx_.device->Clear(ClearTarget, 0xFF00FF00u, 1.0f, 0);
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetTexture(0, nullptr);
    DrawQuad(0, 0, 32, 16, 0xFFFF0000u);  // top-left quarter red
    gfx_.device->SetRenderTarget(0, back.get());
    gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gfx_.device->SetTexture(0, rt.get());
    gfx_.device->SetSamplerState(0, GfxSamplerState::MinFilter, FilterPoint);
    gfx_.device->SetSamplerState(0, GfxSamplerState::MagFilter, FilterPoint);
    DrawQuad(0, 0, 128, 64, 0xFFFFFFFFu);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(10, 10), 0xFFFF0000u);    // the red corner, row 0 at the top
    EXPECT_EQ(Pixel(100, 10), 0xFF00FF00u);
    EXPECT_EQ(Pixel(10, 50), 0xFF00FF00u);

    std::vector<u32> px;
    ASSERT_EQ(gfx_.device->ReadPixels(rtSurface.get(), nullptr, &px), GfxResult::Ok);
    ASSERT_EQ(px.size(), 64u * 32u);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[63], 0xFF00FF00u);
}

TEST_F(GfxGLTest, StretchRectAndColorFillCopyBetweenTargets) {
    GfxRef<GfxTexture> a, b;
    gfx_.device->CreateTexture(16, 16, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default, a.put());
    gfx_.device->CreateTexture(16, 16, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default, b.put());
    GfxRef<GfxSurface> sa, sb;
    a->GetSurfaceLevel(0, sa.put());
    b->GetSurfaceLevel(0, sb.put());
    ASSERT_EQ(gfx_.device->ColorFill(sa.get(), nullptr, 0xFF123456u), GfxResult::Ok);
    const GfxRect part{0, 0, 8, 4};
    ASSERT_EQ(gfx_.device->ColorFill(sb.get(), nullptr, 0x00000000u), GfxResult::Ok);
    ASSERT_EQ(gfx_.device->StretchRect(sa.get(), &part, sb.get(), &part, FilterPoint), GfxResult::Ok);
    std::vector<u32> px;
    gfx_.device->ReadPixels(sb.get(), nullptr, &px);
    EXPECT_EQ(px[0], 0xFF123456u);
    EXPECT_EQ(px[3 * 16 + 7], 0xFF123456u);
    EXPECT_EQ(px[4 * 16], 0x00000000u);
    EXPECT_EQ(px[8], 0x00000000u);
}

TEST_F(GfxGLTest, IndexedDrawFromBuffersAndLateBufferChanges) {
    struct V { float x, y, z, rhw; u32 c; };
    GfxRef<GfxVertexBuffer> vb;
    GfxRef<GfxIndexBuffer> ib;
    ASSERT_EQ(
        gfx_.device->CreateVertexBuffer(4 * sizeof(V), 0, FvfXyzRhw | FvfDiffuse, GfxPool::Managed, vb.put()),
        GfxResult::Ok);
    ASSERT_EQ(gfx_.device->CreateIndexBuffer(6 * 2, 0, GfxFormat::Index16, GfxPool::Managed, ib.put()), GfxResult::Ok);
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    const V quad[4] = {{0, 0, 0, 1, 0xFFFFFF00u}, {50, 0, 0, 1, 0xFFFFFF00u}, {0, 50, 0, 1, 0xFFFFFF00u},
                       {50, 50, 0, 1, 0xFFFFFF00u}};
    std::memcpy(p, quad, sizeof quad);
    vb->Unlock();
    ib->Lock(0, 0, &p, 0);
    const u16 idx[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(p, idx, sizeof idx);
    ib->Unlock();
    gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetFVF(FvfXyzRhw | FvfDiffuse);
    gfx_.device->SetStreamSource(0, vb.get(), 0, sizeof(V));
    gfx_.device->SetIndices(ib.get());
    ASSERT_EQ(gfx_.device->DrawIndexedPrimitive(GfxPrimitive::TriangleList, 0, 0, 4, 0, 2), GfxResult::Ok);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(25, 25), 0xFFFFFF00u);
    // New contents after a lock reach the next draw.
    vb->Lock(0, 0, &p, 0);
    for (int i = 0; i < 4; ++i) static_cast<V*>(p)[i].c = 0xFF00FFFFu;
    vb->Unlock();
    gfx_.device->BeginScene();
    gfx_.device->DrawIndexedPrimitive(GfxPrimitive::TriangleList, 0, 0, 4, 0, 2);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(25, 25), 0xFF00FFFFu);
    // Indices outside the vertices the caller names are refused.
    gfx_.device->BeginScene();
    EXPECT_EQ(gfx_.device->DrawIndexedPrimitive(GfxPrimitive::TriangleList, 0, 0, 3, 0, 2), GfxResult::InvalidCall);
    gfx_.device->EndScene();
}

TEST_F(GfxGLTest, VertexBlendingMixesTwoWorldMatrices) {
    struct V { float x, y, z, w0; u32 c; };
    Mat4 right, up;
    MatrixTranslation(&right, 0.5f, 0, 0);
    MatrixTranslation(&up, 0, 0.5f, 0);
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetRenderState(GfxRenderState::CullMode, CullNone);
    gfx_.device->SetTransform(GfxWorldMatrix(0), right);
    gfx_.device->SetTransform(GfxWorldMatrix(1), up);
    gfx_.device->SetRenderState(GfxRenderState::VertexBlend, 1);
    // Weight 1 on world 0: the small triangle lands right of centre.
    const V tri[3] = {{-0.05f, 0.05f, 0.5f, 1, 0xFFFFFFFFu}, {0.05f, -0.05f, 0.5f, 1, 0xFFFFFFFFu},
                      {-0.05f, -0.05f, 0.5f, 1, 0xFFFFFFFFu}};
    gfx_.device->SetFVF(FvfXyzB1 | FvfDiffuse);
    ASSERT_EQ(gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, tri, sizeof(V)), GfxResult::Ok);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(512 + 256 - 5, 384 + 5), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(512 - 5, 384 - 192 + 5), 0xFF000000u);
    // Weight 0 moves it all onto world 1 (up).
    V tri2[3];
    std::memcpy(tri2, tri, sizeof tri);
    for (V& v : tri2) v.w0 = 0.0f;
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, tri2, sizeof(V));
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(512 - 5, 384 - 192 + 5), 0xFFFFFFFFu);
}

TEST_F(GfxGLTest, ManyFormatsUploadAndReadBack) {
    struct Case { GfxFormat f; u32 in; u32 out; };
    const Case cases[] = {
        {GfxFormat::A8R8G8B8, 0x80402010u, 0x80402010u},
        {GfxFormat::X8R8G8B8, 0x00402010u, 0xFF402010u},
        {GfxFormat::R8G8B8, 0xFF402010u, 0xFF402010u},
        {GfxFormat::A16B16G16R16F, 0xFFFF0000u, 0xFFFF0000u},
    };
    for (const Case& c : cases) {
        GfxRef<GfxTexture> t;
        ASSERT_EQ(gfx_.device->CreateTexture(4, 4, 1, 0, c.f, GfxPool::Managed, t.put()), GfxResult::Ok);
        GfxRef<GfxSurface> s;
        t->GetSurfaceLevel(0, s.put());
        ASSERT_EQ(gfx_.device->ColorFill(s.get(), nullptr, c.in), GfxResult::Ok);
        gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
        gfx_.device->BeginScene();
        gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
        gfx_.device->SetTextureStageState(0, GfxStageState::ColorOp, TopSelectArg1);
        gfx_.device->SetTextureStageState(0, GfxStageState::AlphaOp, TopSelectArg1);
        gfx_.device->SetTexture(0, t.get());
        DrawQuad(0, 0, 8, 8, 0xFFFFFFFFu);
        gfx_.device->EndScene();
        EXPECT_EQ(Pixel(3, 3) & 0x00FFFFFFu, c.out & 0x00FFFFFFu) << GfxFormatName(c.f);
    }
}

TEST_F(GfxGLTest, TableFogFollowsEyeDepth) {
    Mat4 proj;
    MatrixPerspectiveFovLH(&proj, kPi / 2, 4.0f / 3.0f, 1.0f, 1000.0f);
    struct V { float x, y, z; u32 c; };
    const float z = 50.0f;  // half way from 0 to 100
    const V tri[3] = {{-60, 60, z, 0xFF000000u}, {60, -60, z, 0xFF000000u}, {-60, -60, z, 0xFF000000u}};
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetTransform(GfxTransform::Projection, proj);
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetRenderState(GfxRenderState::FogEnable, 1);
    gfx_.device->SetRenderState(GfxRenderState::FogTableMode, FogLinear);
    gfx_.device->SetRenderState(GfxRenderState::FogStart, GfxFloatBits(0.0f));
    gfx_.device->SetRenderState(GfxRenderState::FogEnd, GfxFloatBits(100.0f));
    gfx_.device->SetRenderState(GfxRenderState::FogColor, 0xFFFFFFFFu);
    gfx_.device->SetFVF(FvfXyz | FvfDiffuse);
    gfx_.device->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, tri, sizeof(V));
    gfx_.device->EndScene();
    EXPECT_NEAR(int(Pixel(400, 500) & 0xFF), 128, 2);  // black half fogged to white
}

TEST_F(GfxGLTest, StencilMasksLaterDrawing) {
    gfx_.device->Clear(ClearTarget | ClearStencil, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetRenderState(GfxRenderState::StencilEnable, 1);
    gfx_.device->SetRenderState(GfxRenderState::StencilFunc, CmpAlways);
    gfx_.device->SetRenderState(GfxRenderState::StencilPass, StencilReplace);
    gfx_.device->SetRenderState(GfxRenderState::StencilRef, 1);
    gfx_.device->SetRenderState(GfxRenderState::ColorWriteEnable, 0);
    DrawQuad(0, 0, 50, 50, 0xFFFFFFFFu);  // marks the stencil only
    gfx_.device->SetRenderState(GfxRenderState::ColorWriteEnable, 0xF);
    gfx_.device->SetRenderState(GfxRenderState::StencilFunc, CmpEqual);
    gfx_.device->SetRenderState(GfxRenderState::StencilPass, StencilKeep);
    DrawQuad(0, 0, 100, 100, 0xFF00FF00u);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(25, 25), 0xFF00FF00u);
    EXPECT_EQ(Pixel(75, 75), 0xFF000000u);
}

TEST_F(GfxGLTest, LineListsStripsAndPointLists) {
    struct V { float x, y, z, rhw; u32 c; };
    const V line[2] = {{10, 10, 0, 1, 0xFFFF0000u}, {10, 90, 0, 1, 0xFFFF0000u}};
    const V strip[3] = {{20, 10, 0, 1, 0xFF00FF00u}, {60, 10, 0, 1, 0xFF00FF00u}, {60, 50, 0, 1, 0xFF00FF00u}};
    const V points[2] = {{100, 100, 0, 1, 0xFF0000FFu}, {120, 130, 0, 1, 0xFFFFFFFFu}};
    gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetTexture(0, nullptr);
    gfx_.device->SetFVF(FvfXyzRhw | FvfDiffuse);
    ASSERT_EQ(gfx_.device->DrawPrimitiveUP(GfxPrimitive::LineList, 1, line, sizeof(V)), GfxResult::Ok);
    ASSERT_EQ(gfx_.device->DrawPrimitiveUP(GfxPrimitive::LineStrip, 2, strip, sizeof(V)), GfxResult::Ok);
    ASSERT_EQ(gfx_.device->DrawPrimitiveUP(GfxPrimitive::PointList, 2, points, sizeof(V)), GfxResult::Ok);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(10, 50), 0xFFFF0000u);
    EXPECT_EQ(Pixel(40, 10), 0xFF00FF00u);
    EXPECT_EQ(Pixel(60, 30), 0xFF00FF00u);
    EXPECT_EQ(Pixel(100, 100), 0xFF0000FFu);
    EXPECT_EQ(Pixel(120, 130), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(110, 115), 0xFF000000u);
}

TEST_F(GfxGLTest, FloatTargetsAndOwnDepthSurfaces) {
    GfxRef<GfxTexture> hdr, shadow;
    ASSERT_EQ(gfx_.device->CreateTexture(32, 32, 1, GfxUsageRenderTarget, GfxFormat::A16B16G16R16F,
                                         GfxPool::Default, hdr.put()),
              GfxResult::Ok);
    ASSERT_EQ(gfx_.device->CreateTexture(32, 32, 1, GfxUsageRenderTarget, GfxFormat::R32F, GfxPool::Default,
                                         shadow.put()),
              GfxResult::Ok);
    GfxRef<GfxSurface> depth, hs, ss, back, backDepth;
    ASSERT_EQ(gfx_.device->CreateDepthStencilSurface(32, 32, GfxFormat::D24S8, depth.put()), GfxResult::Ok);
    hdr->GetSurfaceLevel(0, hs.put());
    shadow->GetSurfaceLevel(0, ss.put());
    gfx_.device->GetRenderTarget(0, back.put());
    gfx_.device->GetDepthStencilSurface(backDepth.put());
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetRenderTarget(0, ss.get());
    gfx_.device->SetDepthStencilSurface(depth.get());
    ASSERT_EQ(gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF800000u, 1.0f, 0), GfxResult::Ok);  // r = 0.5
    gfx_.device->SetRenderTarget(0, hs.get());
    gfx_.device->Clear(ClearTarget | ClearZBuffer, 0xFF0000FFu, 1.0f, 0);
    gfx_.device->SetRenderTarget(0, back.get());
    gfx_.device->SetDepthStencilSurface(backDepth.get());
    gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gfx_.device->SetTextureStageState(0, GfxStageState::ColorOp, TopSelectArg1);
    gfx_.device->SetTexture(0, shadow.get());
    DrawQuad(0, 0, 32, 32, 0xFFFFFFFFu);
    gfx_.device->SetTexture(0, hdr.get());
    DrawQuad(40, 0, 32, 32, 0xFFFFFFFFu);
    gfx_.device->EndScene();
    const u32 r32 = Pixel(16, 16);
    EXPECT_NEAR(int((r32 >> 16) & 0xFF), 128, 1);
    EXPECT_EQ(r32 & 0xFFFF, 0xFFFFu);  // one channel: green and blue read as 1
    EXPECT_EQ(Pixel(56, 16), 0xFF0000FFu);
    std::vector<u32> px;
    ASSERT_EQ(gfx_.device->ReadPixels(ss.get(), nullptr, &px), GfxResult::Ok);
    EXPECT_NEAR(int((px[0] >> 16) & 0xFF), 128, 1);
}

TEST_F(GfxGLTest, TexturesMadeOnAWorkerThreadDrawOnTheMainThread) {
    GfxTexture* made = nullptr;
    std::thread loader([&] {
        GfxTexture* t = nullptr;
        if (gfx_.device->CreateTexture(4, 4, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &t) != GfxResult::Ok) return;
        GfxLockedRect lr;
        t->LockRect(0, &lr, nullptr, 0);
        for (int i = 0; i < 16; ++i) static_cast<u32*>(lr.bits)[i] = 0xFF8040C0u;
        t->UnlockRect(0);
        made = t;
    });
    loader.join();
    ASSERT_NE(made, nullptr);
    gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    gfx_.device->BeginScene();
    gfx_.device->SetRenderState(GfxRenderState::Lighting, 0);
    gfx_.device->SetTexture(0, made);
    DrawQuad(0, 0, 16, 16, 0xFFFFFFFFu);
    gfx_.device->SetTexture(0, nullptr);
    gfx_.device->EndScene();
    EXPECT_EQ(Pixel(8, 8), 0xFF8040C0u);
    // Given up on another thread; its GL name goes at the next present.
    std::thread([made] { made->Release(); }).join();
    EXPECT_EQ(gfx_.device->Present(nullptr), GfxResult::Ok);
}

TEST_F(GfxGLTest, PresentIntoASecondWindow) {
    auto second = Window::Create("second", 0, 0, 320, 240, Window::Hidden);
    ASSERT_NE(second, nullptr);
    gfx_.device->Clear(ClearTarget, 0xFF336699u, 1.0f, 0);
    EXPECT_EQ(gfx_.device->Present(second.get()), GfxResult::Ok);
    EXPECT_EQ(gfx_.device->Present(nullptr), GfxResult::Ok);
    EXPECT_EQ(Pixel(0, 0), 0xFF336699u);  // the back buffer is untouched by presenting
}

}  // namespace
