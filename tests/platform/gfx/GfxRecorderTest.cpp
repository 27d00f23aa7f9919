// The recording backend, and through it the device rules both backends share:
// validation, reference counts, default states, loss and reset.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"

using namespace plat;

namespace {

struct Vtx2D {
    float x, y, z, rhw;
    u32 color;
    float u, v;
};
constexpr u32 kFvf2D = FvfXyzRhw | FvfDiffuse | FvfTex1;

class GfxRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetGfxBackend(GfxBackend::Recorder);
        SetGfxRecorderOptions(GfxRecorderOptions{});
        window_ = Window::Create("rec", 0, 0, 800, 600, Window::Headless);
        *system_.put() = CreateGfxSystem();
        ASSERT_TRUE(system_);
        GfxPresentParams pp;
        pp.deviceWindow = window_.get();
        ASSERT_EQ(system_->CreateDevice(GfxDeviceType::Hal, window_.get(), 0x44, &pp, device_.put()), GfxResult::Ok);
        rec_ = AsRecorder(device_.get());
        ASSERT_NE(rec_, nullptr);
    }
    void TearDown() override { SetGfxBackend(GfxBackend::OpenGL); }

    std::unique_ptr<Window> window_;
    GfxRef<GfxSystem> system_;
    GfxRef<GfxDevice> device_;
    GfxRecorderDevice* rec_ = nullptr;
};

TEST_F(GfxRecorderTest, WindowedBackBufferTakesTheClientSize) {
    EXPECT_EQ(device_->GetPresentParams().backBufferWidth, 800u);
    EXPECT_EQ(device_->GetPresentParams().backBufferHeight, 600u);
    GfxViewport vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.width, 800u);
    EXPECT_EQ(vp.height, 600u);
}

TEST_F(GfxRecorderTest, RecordsCallsInOrderWithTheirVertices) {
    GfxRef<GfxTexture> tex;
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, tex.put()), GfxResult::Ok);
    const Vtx2D v[4] = {{1, 2, 0, 1, 0xFF00FF00u, 0, 0}, {3, 2, 0, 1, 0xFF00FF00u, 1, 0},
                        {1, 4, 0, 1, 0xFF00FF00u, 0, 1}, {3, 4, 0, 1, 0xFF00FF00u, 1, 1}};
    device_->Clear(ClearTarget, 0xFF000000u, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(GfxRenderState::ZEnable, 0);
    device_->SetTexture(0, tex.get());
    device_->SetFVF(kFvf2D);
    device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D));
    device_->EndScene();
    device_->Present(nullptr);
    const std::vector<std::string> expected = {
        "Clear 1 0xff000000 1 0", "BeginScene", "SetRenderState ZEnable 0",
        "SetTexture 0 " + GfxRecorderDevice::NameOf(tex.get()), "SetFVF 0x144", "DrawPrimitiveUP TriangleStrip 2",
        "EndScene", "Present"};
    EXPECT_EQ(rec_->CallTexts(), expected);
    const GfxRecordedCall& draw = rec_->Calls()[5];
    ASSERT_EQ(draw.vertices.size(), sizeof v);
    EXPECT_EQ(std::memcmp(draw.vertices.data(), v, sizeof v), 0);
    EXPECT_EQ(draw.stride, sizeof(Vtx2D));
    EXPECT_EQ(draw.fvf, kFvf2D);

    // Unrecorded, calls still run and are checked but leave no trace.
    rec_->SetRecording(false);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D)), GfxResult::Ok);
    EXPECT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, 20), GfxResult::InvalidCall);
    device_->EndScene();
    device_->Present(nullptr);
    EXPECT_EQ(rec_->Calls().size(), expected.size());
    EXPECT_EQ(rec_->PresentCount(), 2u);
}

TEST_F(GfxRecorderTest, DrawsNeedAScenePositionsAndEnoughVertices) {
    const Vtx2D v[4] = {};
    device_->SetFVF(kFvf2D);
    EXPECT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D)), GfxResult::InvalidCall);
    device_->BeginScene();
    EXPECT_EQ(device_->BeginScene(), GfxResult::InvalidCall);
    EXPECT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, 20), GfxResult::InvalidCall);  // stride short
    device_->SetFVF(FvfNormal);  // no position
    EXPECT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleStrip, 2, v, sizeof(Vtx2D)), GfxResult::InvalidCall);
    device_->SetFVF(kFvf2D);
    GfxRef<GfxVertexBuffer> vb;
    device_->CreateVertexBuffer(3 * sizeof(Vtx2D), 0, kFvf2D, GfxPool::Managed, vb.put());
    device_->SetStreamSource(0, vb.get(), 0, sizeof(Vtx2D));
    EXPECT_EQ(device_->DrawPrimitive(GfxPrimitive::TriangleList, 0, 1), GfxResult::Ok);
    EXPECT_EQ(device_->DrawPrimitive(GfxPrimitive::TriangleList, 1, 1), GfxResult::InvalidCall);  // past the end
    const u16 idx[3] = {0, 1, 7};
    EXPECT_EQ(device_->DrawIndexedPrimitiveUP(GfxPrimitive::TriangleList, 0, 4, 1, idx, GfxFormat::Index16, v,
                                              sizeof(Vtx2D)),
              GfxResult::InvalidCall);  // index 7 is outside the four vertices
    device_->EndScene();
    EXPECT_EQ(device_->EndScene(), GfxResult::InvalidCall);
}

TEST_F(GfxRecorderTest, VertexLayoutsOfTheFormatsInUse) {
    GfxVertexLayout l = GfxComputeVertexLayout(kFvf2D);
    EXPECT_TRUE(l.valid && l.pretransformed);
    EXPECT_EQ(l.size, 28u);
    EXPECT_EQ(l.diffuse, 16);
    EXPECT_EQ(l.texOffset[0], 20);
    l = GfxComputeVertexLayout(FvfXyz | FvfDiffuse | FvfTex1);
    EXPECT_EQ(l.size, 24u);
    l = GfxComputeVertexLayout(FvfXyzB3 | FvfLastBetaUByte4 | FvfNormal | FvfTex1);
    EXPECT_EQ(l.weights, 3u);
    EXPECT_TRUE(l.lastBetaUByte4);
    EXPECT_EQ(l.normal, 24);
    EXPECT_EQ(l.size, 44u);
    l = GfxComputeVertexLayout(FvfXyzB1 | FvfDiffuse);
    EXPECT_EQ(l.weights, 1u);
    EXPECT_EQ(l.size, 20u);
    l = GfxComputeVertexLayout(FvfXyz | FvfTex2 | FvfTexCoordSize3(1));
    EXPECT_EQ(l.texSize[1], 3u);
    EXPECT_EQ(l.size, 12u + 8u + 12u);
}

TEST_F(GfxRecorderTest, DeviceStartsWithTheDirect3D9Defaults) {
    u32 v = 0;
    device_->GetRenderState(GfxRenderState::ZEnable, &v);
    EXPECT_EQ(v, 1u);
    device_->GetRenderState(GfxRenderState::Lighting, &v);
    EXPECT_EQ(v, 1u);
    device_->GetRenderState(GfxRenderState::CullMode, &v);
    EXPECT_EQ(v, u32(CullCCW));
    device_->GetTextureStageState(0, GfxStageState::ColorOp, &v);
    EXPECT_EQ(v, u32(TopModulate));
    device_->GetTextureStageState(1, GfxStageState::ColorOp, &v);
    EXPECT_EQ(v, u32(TopDisable));
    device_->GetSamplerState(0, GfxSamplerState::MinFilter, &v);
    EXPECT_EQ(v, u32(FilterPoint));
    EXPECT_EQ(device_->GetCaps().maxVertexBlendMatrices, 4u);
    EXPECT_GE(device_->GetCaps().vertexShaderVersion, GfxVertexShaderVersion(1, 1));
}

TEST_F(GfxRecorderTest, BoundObjectsAreHeldAndLetGoWhenReplaced) {
    GfxTexture* t = nullptr;
    device_->CreateTexture(2, 2, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &t);
    device_->SetTexture(0, t);
    EXPECT_EQ(t->RefCount(), 2u);
    GfxSurface* s = nullptr;
    t->GetSurfaceLevel(0, &s);
    EXPECT_EQ(t->RefCount(), 3u);  // a level shares its texture's count
    s->Release();
    device_->SetTexture(0, nullptr);
    EXPECT_EQ(t->RefCount(), 1u);
    EXPECT_EQ(t->Release(), 0u);
}

TEST_F(GfxRecorderTest, LocksCheckTheirRectanglesAndRenderTargetsCannotBeLocked) {
    GfxRef<GfxTexture> t, rt;
    device_->CreateTexture(8, 8, 0, 0, GfxFormat::R8G8B8, GfxPool::Managed, t.put());
    EXPECT_EQ(t->GetLevelCount(), 4u);
    GfxLockedRect lr;
    const GfxRect outside{4, 4, 9, 8};
    EXPECT_EQ(t->LockRect(0, &lr, &outside, 0), GfxResult::InvalidCall);
    const GfxRect inside{2, 1, 4, 3};
    ASSERT_EQ(t->LockRect(0, &lr, &inside, 0), GfxResult::Ok);
    EXPECT_EQ(lr.pitch, 24);
    EXPECT_EQ(static_cast<u8*>(lr.bits) - t->LevelData(0, 0).data(), 1 * 24 + 2 * 3);
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), GfxResult::InvalidCall);  // already locked
    const u32 before = t->Version();
    EXPECT_EQ(t->UnlockRect(0), GfxResult::Ok);
    EXPECT_GT(t->Version(), before);
    EXPECT_EQ(t->UnlockRect(0), GfxResult::InvalidCall);
    EXPECT_EQ(t->LockRect(4, &lr, nullptr, 0), GfxResult::InvalidCall);  // no such level
    device_->CreateTexture(8, 8, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default, rt.put());
    EXPECT_EQ(rt->LockRect(0, &lr, nullptr, 0), GfxResult::InvalidCall);
}

// Opacity is read from the alpha bytes of every level and read again after
// a lock changes them; formats without alpha are opaque, targets never.
TEST_F(GfxRecorderTest, TexturesAreOpaqueWhileEveryAlphaByteIsFull) {
    GfxRef<GfxTexture> rgb, argb, target, half;
    device_->CreateTexture(8, 8, 0, 0, GfxFormat::R8G8B8, GfxPool::Managed, rgb.put());
    device_->CreateTexture(8, 8, 0, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, argb.put());
    device_->CreateTexture(8, 8, 1, GfxUsageRenderTarget, GfxFormat::X8R8G8B8, GfxPool::Default, target.put());
    device_->CreateTexture(8, 8, 1, 0, GfxFormat::A16B16G16R16F, GfxPool::Managed, half.put());
    ASSERT_TRUE(rgb && argb && target && half);
    EXPECT_TRUE(rgb->Opaque());
    EXPECT_FALSE(target->Opaque());
    EXPECT_FALSE(half->Opaque());
    EXPECT_FALSE(argb->Opaque()) << "a new texture is all zero";
    auto fill = [&](u32 level, u8 alpha) {
        GfxLockedRect lr;
        ASSERT_EQ(argb->LockRect(level, &lr, nullptr, 0), GfxResult::Ok);
        const u32 w = argb->LevelWidth(level), h = argb->LevelHeight(level);
        for (u32 y = 0; y < h; ++y) std::memset(static_cast<u8*>(lr.bits) + y * lr.pitch, alpha, w * 4);
        argb->UnlockRect(level);
    };
    for (u32 level = 0; level < argb->GetLevelCount(); ++level) fill(level, 0xFF);
    EXPECT_TRUE(argb->Opaque());
    fill(argb->GetLevelCount() - 1, 0xFE);
    EXPECT_FALSE(argb->Opaque()) << "the smallest level let something through";
}

TEST_F(GfxRecorderTest, ResourceCreationRefusesNonsense) {
    GfxTexture* t = reinterpret_cast<GfxTexture*>(1);
    EXPECT_EQ(device_->CreateTexture(0, 4, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &t), GfxResult::InvalidCall);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(device_->CreateTexture(100000, 4, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &t),
              GfxResult::InvalidCall);
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, GfxFormat::D24S8, GfxPool::Managed, &t), GfxResult::InvalidCall);
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Managed, &t),
              GfxResult::InvalidCall);
    GfxIndexBuffer* ib = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(12, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &ib), GfxResult::InvalidCall);
    GfxVertexBuffer* vb = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(0, 0, 0, GfxPool::Managed, &vb), GfxResult::InvalidCall);
}

TEST_F(GfxRecorderTest, ColorFillAndReadPixelsOnCpuTextures) {
    GfxRef<GfxTexture> t;
    device_->CreateTexture(4, 2, 1, 0, GfxFormat::X8R8G8B8, GfxPool::Managed, t.put());
    GfxRef<GfxSurface> s;
    t->GetSurfaceLevel(0, s.put());
    const GfxRect r{1, 0, 3, 1};
    ASSERT_EQ(device_->ColorFill(s.get(), &r, 0x00112233u), GfxResult::Ok);
    std::vector<u32> px;
    ASSERT_EQ(device_->ReadPixels(s.get(), nullptr, &px), GfxResult::Ok);
    const std::vector<u32> expected = {0xFF000000u, 0xFF112233u, 0xFF112233u, 0xFF000000u,
                                       0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
    EXPECT_EQ(px, expected);
    const GfxRect bad{3, 0, 5, 1};
    EXPECT_EQ(device_->ColorFill(s.get(), &bad, 0), GfxResult::InvalidCall);
}

TEST_F(GfxRecorderTest, NewRenderTargetBringsAFullViewport) {
    GfxRef<GfxTexture> rt;
    device_->CreateTexture(64, 16, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default, rt.put());
    GfxRef<GfxSurface> s;
    rt->GetSurfaceLevel(0, s.put());
    device_->SetViewport(GfxViewport{10, 10, 100, 100, 0, 1});
    device_->SetRenderTarget(0, s.get());
    GfxViewport vp;
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.x, 0u);
    EXPECT_EQ(vp.width, 64u);
    EXPECT_EQ(vp.height, 16u);
    EXPECT_EQ(device_->SetViewport(GfxViewport{0, 0, 65, 16, 0, 1}), GfxResult::InvalidCall);
    GfxRef<GfxTexture> plain;
    device_->CreateTexture(4, 4, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, plain.put());
    GfxRef<GfxSurface> ps;
    plain->GetSurfaceLevel(0, ps.put());
    EXPECT_EQ(device_->SetRenderTarget(0, ps.get()), GfxResult::InvalidCall);

    // A depth texture: drawn into as the depth surface with no colour
    // target, never locked, never a colour target, only in the default pool.
    GfxRef<GfxTexture> depth;
    GfxTexture* refused = nullptr;
    EXPECT_EQ(device_->CreateTexture(32, 8, 1, GfxUsageDepthStencil, GfxFormat::D24X8, GfxPool::Managed, &refused),
              GfxResult::InvalidCall);
    EXPECT_EQ(device_->CreateTexture(32, 8, 1, GfxUsageDepthStencil, GfxFormat::A8R8G8B8, GfxPool::Default, &refused),
              GfxResult::InvalidCall);
    EXPECT_EQ(device_->CreateTexture(32, 8, 1, 0, GfxFormat::D24X8, GfxPool::Managed, &refused), GfxResult::InvalidCall);
    ASSERT_EQ(device_->CreateTexture(32, 8, 0, GfxUsageDepthStencil, GfxFormat::D24X8, GfxPool::Default, depth.put()),
              GfxResult::Ok);
    EXPECT_EQ(depth->GetLevelCount(), 1u);
    GfxLockedRect lr;
    EXPECT_EQ(depth->LockRect(0, &lr, nullptr, 0), GfxResult::InvalidCall);
    GfxRef<GfxSurface> ds, autoDepth;
    depth->GetSurfaceLevel(0, ds.put());
    EXPECT_EQ(device_->SetRenderTarget(0, ds.get()), GfxResult::InvalidCall);
    device_->GetDepthStencilSurface(autoDepth.put());
    ASSERT_EQ(device_->SetDepthStencilSurface(ds.get()), GfxResult::Ok);
    ASSERT_EQ(device_->SetRenderTarget(0, nullptr), GfxResult::Ok);
    device_->GetViewport(&vp);
    EXPECT_EQ(vp.width, 32u);
    EXPECT_EQ(vp.height, 8u);
    EXPECT_EQ(device_->SetViewport(GfxViewport{0, 0, 33, 8, 0, 1}), GfxResult::InvalidCall);
    EXPECT_EQ(device_->Clear(ClearTarget | ClearZBuffer, 0, 1.0f, 0), GfxResult::InvalidCall);
    EXPECT_EQ(device_->Clear(ClearZBuffer, 0, 1.0f, 0), GfxResult::Ok);
    EXPECT_EQ(rec_->CallTexts().back(), "Clear 2 0x0 1 0");
    EXPECT_EQ(device_->SetDepthStencilSurface(nullptr), GfxResult::InvalidCall);  // nothing left to draw into
    GfxSurface* none = ps.get();
    EXPECT_EQ(device_->GetRenderTarget(0, &none), GfxResult::NotAvailable);
    EXPECT_EQ(none, nullptr);
    device_->SetRenderTarget(0, s.get());
    device_->SetDepthStencilSurface(autoDepth.get());
}

TEST_F(GfxRecorderTest, LostDeviceResetsOnlyOnceDefaultPoolResourcesAreGone) {
    rec_->SimulateLoss();
    EXPECT_EQ(device_->TestCooperativeLevel(), GfxResult::DeviceLost);
    EXPECT_EQ(device_->Present(nullptr), GfxResult::DeviceLost);
    EXPECT_EQ(rec_->CallTexts().back(), "Present -> DeviceLost");
    GfxPresentParams pp = device_->GetPresentParams();
    EXPECT_EQ(device_->Reset(&pp), GfxResult::DeviceLost);  // not yet
    rec_->AllowReset();
    EXPECT_EQ(device_->TestCooperativeLevel(), GfxResult::DeviceNotReset);

    GfxTexture* rt = nullptr;
    device_->CreateTexture(8, 8, 1, GfxUsageRenderTarget, GfxFormat::A8R8G8B8, GfxPool::Default, &rt);
    GfxSurface* back = nullptr;
    device_->GetBackBuffer(&back);
    device_->SetRenderState(GfxRenderState::Lighting, 0);
    EXPECT_EQ(device_->Reset(&pp), GfxResult::InvalidCall);  // a render target is alive
    rt->Release();
    EXPECT_EQ(device_->Reset(&pp), GfxResult::InvalidCall);  // the back buffer is still held
    back->Release();
    EXPECT_EQ(device_->Reset(&pp), GfxResult::Ok);
    EXPECT_EQ(device_->TestCooperativeLevel(), GfxResult::Ok);
    u32 v = 0;
    device_->GetRenderState(GfxRenderState::Lighting, &v);
    EXPECT_EQ(v, 1u);  // states are back at their defaults
    EXPECT_EQ(device_->Present(nullptr), GfxResult::Ok);
    EXPECT_EQ(rec_->ResetCount(), 1u);
}

TEST_F(GfxRecorderTest, ALostDeviceSwallowsDrawing) {
    rec_->SimulateLoss();
    device_->BeginScene();
    const Vtx2D v[3] = {};
    device_->SetFVF(kFvf2D);
    EXPECT_EQ(device_->DrawPrimitiveUP(GfxPrimitive::TriangleList, 1, v, sizeof(Vtx2D)), GfxResult::Ok);
    device_->EndScene();
    for (const auto& c : rec_->Calls())
        if (c.text.rfind("DrawPrimitiveUP", 0) == 0) {
            EXPECT_TRUE(c.vertices.empty());
        }
}

TEST(GfxRecorderSystemTest, RefusesTheFirstDevicesItIsToldTo) {
    SetGfxBackend(GfxBackend::Recorder);
    SetGfxRecorderOptions(GfxRecorderOptions{2});
    auto window = Window::Create("rec", 0, 0, 64, 64, Window::Headless);
    GfxRef<GfxSystem> sys(CreateGfxSystem());
    GfxPresentParams pp;
    GfxRef<GfxDevice> d;
    EXPECT_EQ(sys->CreateDevice(GfxDeviceType::Hal, window.get(), 0x44, &pp, d.put()), GfxResult::NotAvailable);
    EXPECT_EQ(sys->CreateDevice(GfxDeviceType::Hal, window.get(), 0x24, &pp, d.put()), GfxResult::NotAvailable);
    EXPECT_EQ(sys->CreateDevice(GfxDeviceType::Ref, window.get(), 0x24, &pp, d.put()), GfxResult::Ok);
    const std::vector<std::string> expected = {"Hal 0x44 refused", "Hal 0x24 refused", "Ref 0x24 made"};
    EXPECT_EQ(GfxRecorderCreationLog(), expected);
    SetGfxBackend(GfxBackend::OpenGL);
}

TEST_F(GfxRecorderTest, AnyThreadMayCreateAndFillTextures) {
    std::vector<GfxTexture*> made(8, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            GfxTexture* t = nullptr;
            if (device_->CreateTexture(16, 16, 0, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &t) != GfxResult::Ok)
                return;
            GfxLockedRect lr;
            t->LockRect(0, &lr, nullptr, 0);
            std::memset(lr.bits, i, 16 * 16 * 4);
            t->UnlockRect(0);
            made[i] = t;
        });
    for (auto& th : threads) th.join();
    for (int i = 0; i < 8; ++i) {
        ASSERT_NE(made[i], nullptr);
        EXPECT_EQ(made[i]->LevelData(0, 0)[100], u8(i));
        made[i]->Release();
    }
    EXPECT_EQ(device_->LiveDefaultPoolResources(), 0u);
}

}  // namespace
