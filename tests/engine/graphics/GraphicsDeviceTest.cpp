// The graphics object: creation and its fallbacks, default states, lights and
// fog, 2D helpers, projection, lost-device recovery; and one whole frame drawn
// for real on OpenGL and recorded on the headless backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Image.h"
#include "platform/math/Math.h"

namespace {

using plat::GfxRenderState;
using plat::GfxResult;

struct ScreenVertex {
    float x, y, z, rhw;
    u32 colour;
    float u, v;
};

// Puts the graphics object back to its first-use state between tests.
void ResetGraphicsDevice() {
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->Release();
    for (auto& cb : gd->lostCallbacks) cb = nullptr;
    for (auto& cb : gd->resetCallbacks) cb = nullptr;
    gd->effects.clear();
    gd->deviceLost = 0;
    gd->view = gd->projection = Mat4();
    for (auto& d : gd->fontDescs) d = plat::FontDesc();
}

class GraphicsDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QUILLON_QUIET_BOXES", "1", 1);
        plat::SetGfxBackend(plat::GfxBackend::Recorder);
        plat::SetGfxRecorderOptions({});
        window_ = plat::Window::Create("gd", 0, 0, 640, 480, plat::Window::Headless);
    }
    void TearDown() override {
        ResetGraphicsDevice();
        plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    }
    plat::GfxRecorderDevice* Rec() { return plat::AsRecorder(GetGraphicsDevice()->device); }
    std::unique_ptr<plat::Window> window_;
};

TEST_F(GraphicsDeviceTest, WindowedCreationSizesTheWindowAndTheBackBuffer) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false), 1);
    i32 w = 0, h = 0;
    window_->GetClientSize(&w, &h);
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(h, 768);
    EXPECT_TRUE(gd->presentParams.windowed);
    EXPECT_EQ(gd->presentParams.backBufferWidth, 1024u);
    EXPECT_EQ(gd->presentParams.backBufferHeight, 768u);
    EXPECT_EQ(gd->presentParams.autoDepthStencilFormat, plat::GfxFormat::D24S8);
    EXPECT_TRUE(gd->presentParams.presentImmediately);
    EXPECT_NE(gd->sprite, nullptr);
    EXPECT_NE(gd->backBuffer, nullptr);
    EXPECT_NE(gd->depthSurface, nullptr);
    EXPECT_TRUE(gd->backBuffer->IsBackBuffer());
    for (int i = 0; i < GraphicsDevice::kFontSlots; ++i) EXPECT_EQ(gd->fontDescs[i].height, 12) << i;
    EXPECT_EQ(plat::GfxRecorderCreationLog(), std::vector<std::string>{"Hal 0x44 made"});
}

TEST_F(GraphicsDeviceTest, CreationTriesHardwareThenSoftwareThenReference) {
    plat::SetGfxRecorderOptions({2});
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
    const std::vector<std::string> expected = {"Hal 0x44 refused", "Hal 0x24 refused", "Ref 0x24 made"};
    EXPECT_EQ(plat::GfxRecorderCreationLog(), expected);
}

TEST_F(GraphicsDeviceTest, CreationFailureShowsTheMessageAndKeepsTheSystemForRelease) {
    plat::SetGfxRecorderOptions({3});
    GraphicsDevice* gd = GetGraphicsDevice();
    testing::internal::CaptureStderr();
    EXPECT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 0);
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("[Direct3D初期化] Direct3Dの初期化に失敗。"), std::string::npos) << out;
    EXPECT_EQ(plat::GfxRecorderCreationLog().size(), 3u);
    EXPECT_EQ(gd->device, nullptr);
    EXPECT_NE(gd->system, nullptr);
    gd->Release();
    EXPECT_EQ(gd->system, nullptr);
}

TEST_F(GraphicsDeviceTest, FullScreenUsesTheGivenSizeAndFormat) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 800, 600, plat::GfxFormat::X8R8G8B8, true), 1);
    EXPECT_FALSE(gd->presentParams.windowed);
    EXPECT_EQ(gd->presentParams.backBufferWidth, 800u);
    EXPECT_EQ(gd->presentParams.backBufferFormat, plat::GfxFormat::X8R8G8B8);
}

TEST_F(GraphicsDeviceTest, DefaultRenderStatesInOrder) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
    Rec()->ClearCalls();
    gd->SetDefaultRenderStates();
    const std::vector<std::string> expected = {
        "SetRenderState ZEnable 1", "SetRenderState ZWriteEnable 1", "SetRenderState StencilEnable 1",
        "SetRenderState AlphaBlendEnable 1", "SetRenderState SrcBlend 5", "SetRenderState DestBlend 6",
        "SetRenderState NormalizeNormals 1", "SetRenderState ShadeMode 2", "SetRenderState CullMode 3",
        "SetRenderState Lighting 0", "SetTextureStageState 0 AlphaOp 4", "SetTextureStageState 0 AlphaArg1 2",
        "SetTextureStageState 0 AlphaArg2 0", "SetTextureStageState 0 ColorOp 4",
        "SetTextureStageState 0 ColorArg1 2", "SetTextureStageState 0 ColorArg2 0",
        "SetSamplerState 0 MinFilter 2", "SetSamplerState 0 MagFilter 2", "SetSamplerState 0 MipFilter 2",
        "SetSamplerState 1 MinFilter 2", "SetSamplerState 1 MagFilter 2", "SetSamplerState 1 MipFilter 2",
        "SetSamplerState 0 AddressU 1", "SetSamplerState 0 AddressV 1", "SetSamplerState 0 MipMapLodBias 0"};
    EXPECT_EQ(Rec()->CallTexts(), expected);
}

TEST_F(GraphicsDeviceTest, DirectionalLightAndFogStates) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
    gd->SetDirectionalLight(2, Vec3(0, -3, 4), ColorF(1, 0.5f, 0.25f, 1), ColorF(0.1f, 0.1f, 0.1f, 1),
                            ColorF(0.2f, 0.2f, 0.2f, 1));
    plat::GfxLight l;
    ASSERT_EQ(gd->device->GetLight(2, &l), GfxResult::Ok);
    EXPECT_EQ(l.type, plat::GfxLightType::Directional);
    EXPECT_NEAR(l.direction.y, -0.6f, 1e-6f);
    EXPECT_NEAR(l.direction.z, 0.8f, 1e-6f);
    EXPECT_EQ(l.diffuse, ColorF(1, 0.5f, 0.25f, 1));
    EXPECT_EQ(gd->light.ambient, ColorF(0.1f, 0.1f, 0.1f, 1));
    bool on = false;
    gd->device->GetLightEnable(2, &on);
    EXPECT_TRUE(on);
    u32 v = 0;
    gd->device->GetRenderState(GfxRenderState::Lighting, &v);
    EXPECT_EQ(v, 1u);
    gd->device->GetRenderState(GfxRenderState::SpecularEnable, &v);
    EXPECT_EQ(v, 1u);

    gd->SetVertexFog(1.0f, 150.0f, 0xFFC2D6F0u);
    gd->device->GetRenderState(GfxRenderState::FogVertexMode, &v);
    EXPECT_EQ(v, u32(plat::FogLinear));
    gd->device->GetRenderState(GfxRenderState::RangeFogEnable, &v);
    EXPECT_EQ(v, 1u);
    gd->device->GetRenderState(GfxRenderState::FogEnd, &v);
    EXPECT_EQ(plat::GfxBitsFloat(v), 150.0f);
    gd->device->SetRenderState(GfxRenderState::RangeFogEnable, 0);
    gd->SetTableFog(2.0f, 50.0f, 0xFF000000u);
    gd->device->GetRenderState(GfxRenderState::FogVertexMode, &v);
    EXPECT_EQ(v, u32(plat::FogNone));
    gd->device->GetRenderState(GfxRenderState::FogTableMode, &v);
    EXPECT_EQ(v, u32(plat::FogLinear));
    gd->device->GetRenderState(GfxRenderState::RangeFogEnable, &v);
    EXPECT_EQ(v, 0u);  // table fog leaves range fog alone
    gd->device->GetRenderState(GfxRenderState::FogColor, &v);
    EXPECT_EQ(v, 0xFF000000u);
}

TEST_F(GraphicsDeviceTest, ScreenQuadTurnsDepthOffForItselfAndOnAfter) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
    gd->device->SetRenderState(GfxRenderState::ZEnable, 0);
    gd->device->SetRenderState(GfxRenderState::ZWriteEnable, 0);
    gd->device->BeginScene();
    Rec()->ClearCalls();
    gd->DrawScreenQuad(10, 20, 30, 40, 0x80FF0000u);
    const std::vector<std::string> expected = {"SetRenderState ZEnable 0", "SetRenderState ZWriteEnable 0",
                                               "SetFVF 0x144", "DrawPrimitiveUP TriangleStrip 2",
                                               "SetRenderState ZEnable 1", "SetRenderState ZWriteEnable 1"};
    EXPECT_EQ(Rec()->CallTexts(), expected);
    const auto& draw = Rec()->Calls()[3];
    ASSERT_EQ(draw.vertices.size(), 4 * sizeof(ScreenVertex));
    ScreenVertex v[4];
    std::memcpy(v, draw.vertices.data(), sizeof v);
    EXPECT_EQ(v[0].x, 10.0f);
    EXPECT_EQ(v[1].x, 40.0f);
    EXPECT_EQ(v[2].y, 60.0f);
    EXPECT_EQ(v[3].u, 1.0f);
    EXPECT_EQ(v[3].v, 1.0f);
    EXPECT_EQ(v[2].u, 0.0f);
    EXPECT_EQ(v[1].colour, 0x80FF0000u);
    gd->device->EndScene();
}

TEST_F(GraphicsDeviceTest, LinesClearTheTextureAndSetTheWorld) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
    gd->device->BeginScene();
    Rec()->ClearCalls();
    gd->DrawLine2DGradient(1, 2, 3, 4, 0xFF0000FFu, 0xFFFF0000u);
    Mat4 shifted;
    plat::MatrixTranslation(&shifted, 5, 0, 0);
    gd->DrawLine2D(0, 0, 9, 9, 0xFF00FF00u, shifted);
    const std::vector<std::string> expected = {"SetTransform World", "SetTexture 0 null", "SetFVF 0x144",
                                               "DrawPrimitiveUP LineList 1", "SetTransform World",
                                               "SetTexture 0 null", "SetFVF 0x144", "DrawPrimitiveUP LineList 1"};
    EXPECT_EQ(Rec()->CallTexts(), expected);
    ScreenVertex v[2];
    std::memcpy(v, Rec()->Calls()[3].vertices.data(), sizeof v);
    EXPECT_EQ(v[0].colour, 0xFF0000FFu);
    EXPECT_EQ(v[1].colour, 0xFFFF0000u);
    EXPECT_EQ(v[1].y, 4.0f);
    Mat4 world;
    gd->device->GetTransform(plat::GfxTransform::World, &world);
    EXPECT_EQ(world, shifted);
    gd->device->EndScene();
}

TEST_F(GraphicsDeviceTest, ProjectToScreenUsesTheBackBufferSize) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false), 1);
    Mat4 view, proj, world;
    const Vec3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
    plat::MatrixLookAtLH(&view, &eye, &at, &up);
    plat::MatrixPerspectiveFovLH(&proj, plat::kPi / 2, 1024.0f / 768.0f, 1.0f, 100.0f);
    plat::MatrixTranslation(&world, 0, 0, 10);
    Vec3 out;
    gd->ProjectToScreen(&out, &world, &view, &proj);
    EXPECT_FLOAT_EQ(out.x, 512.0f);
    EXPECT_FLOAT_EQ(out.y, 384.0f);
    EXPECT_FLOAT_EQ(out.z, 10.0f);
    plat::MatrixTranslation(&world, 5, 5, 10);  // up and right of centre: y shrinks
    gd->ProjectToScreen(&out, &world, &view, &proj);
    EXPECT_GT(out.x, 512.0f);
    EXPECT_LT(out.y, 384.0f);
    EXPECT_NEAR(out.y, 384.0f - 0.5f * 384.0f, 1e-3f);
}

TEST_F(GraphicsDeviceTest, FontSlotsAreCheckedAndKeepTheirDescriptions) {
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
    EXPECT_EQ(gd->CreateFont(10, "黑体", 12), GfxResult::InvalidCall);
    EXPECT_EQ(gd->CreateFont(-1, "黑体", 12), GfxResult::InvalidCall);
    gd->CreateFont(3, "黑体", 64);
    EXPECT_EQ(gd->fontDescs[3].height, 64);
    EXPECT_EQ(gd->fontDescs[3].faceName, "黑体");
}

// ---- lost device ----------------------------------------------------------

std::vector<std::string>* g_events = nullptr;
TextureHandle* g_sceneTarget = nullptr;

void Lost1(int) { g_events->push_back("lost1"); }
void Lost2(int) {
    g_events->push_back("lost2");
    if (g_sceneTarget) g_sceneTarget->Release();  // a scene's render target goes before the reset
}
void Reset1(int) { g_events->push_back("reset1"); }
void Reset2(int) {
    g_events->push_back("reset2");
    if (g_sceneTarget)
        g_sceneTarget->CreateBlank(64, 64, 1, plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8,
                                   plat::GfxPool::Default);
}
// An effect wrapper that only records the recovery's calls to it.
class RecordingEffect : public ShaderBase {
public:
    explicit RecordingEffect(int id) : id_(id) {}
    void Release() override { g_events->push_back("release " + std::to_string(id_)); }
    void Reload() override { g_events->push_back("reload " + std::to_string(id_)); }
    void SetWorld(const Mat4*) override {}
    void SetMaterial(const plat::GfxMaterial*, TextureHandle*) override {}
    void SetLighting(const float*, const Vec4*) override {}

private:
    int id_;
};

class DeviceLossTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        GraphicsDeviceTest::SetUp();
        g_events = &events_;
        GraphicsDevice* gd = GetGraphicsDevice();
        ASSERT_EQ(gd->Create(window_.get(), 320, 240, plat::GfxFormat::X8R8G8B8, false), 1);
        gd->SetDefaultRenderStates();
        gd->lostCallbacks[1] = Lost1;
        gd->lostCallbacks[2] = Lost2;
        gd->resetCallbacks[1] = Reset1;
        gd->resetCallbacks[2] = Reset2;
        gd->effects = {&effect1_, &effect2_};
    }
    void TearDown() override {
        g_sceneTarget = nullptr;
        g_events = nullptr;
        GetGraphicsDevice()->effects.clear();
        GraphicsDeviceTest::TearDown();
    }
    std::vector<std::string> events_;
    RecordingEffect effect1_{1}, effect2_{2};
};

TEST_F(DeviceLossTest, UsableDeviceNeedsNoRecovery) {
    EXPECT_EQ(GetGraphicsDevice()->CheckDeviceLost(), 0);
    EXPECT_TRUE(events_.empty());
}

TEST_F(DeviceLossTest, LostThenResetRunsTheCallbacksAroundTheEffectsInOrder) {
    GraphicsDevice* gd = GetGraphicsDevice();
    TextureHandle target;
    ASSERT_EQ(target.CreateBlank(64, 64, 1, plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8,
                                 plat::GfxPool::Default),
              1);
    g_sceneTarget = &target;
    gd->device->BeginScene();
    gd->device->EndScene();
    Rec()->SimulateLoss();
    EXPECT_EQ(gd->device->Present(nullptr), GfxResult::DeviceLost);
    gd->deviceLost = 1;

    // Still lost: every frame skips drawing and nothing is released yet.
    EXPECT_EQ(gd->CheckDeviceLost(), 1);
    EXPECT_EQ(gd->CheckDeviceLost(), 1);
    EXPECT_TRUE(events_.empty());
    EXPECT_NE(gd->sprite, nullptr);

    Rec()->AllowReset();
    plat::Sprite* oldSprite = gd->sprite;
    (void)oldSprite;
    EXPECT_EQ(gd->CheckDeviceLost(), 0);
    const std::vector<std::string> expected = {"lost1", "lost2", "release 1", "release 2",
                                               "reload 1", "reload 2", "reset1", "reset2"};
    EXPECT_EQ(events_, expected);
    EXPECT_EQ(Rec()->ResetCount(), 1u);
    EXPECT_NE(gd->sprite, nullptr);
    EXPECT_NE(gd->backBuffer, nullptr);
    EXPECT_NE(gd->depthSurface, nullptr);
    for (int i = 0; i < GraphicsDevice::kFontSlots; ++i)
        if (!plat::ChooseFontFace(gd->fontDescs[i].faceName.c_str()).file.empty()) {
            EXPECT_NE(gd->fonts[i], nullptr);
        }
    u32 v = 0;
    gd->device->GetRenderState(GfxRenderState::Lighting, &v);
    EXPECT_EQ(v, 0u);  // the default states were set again after the reset
    gd->device->GetRenderState(GfxRenderState::AlphaBlendEnable, &v);
    EXPECT_EQ(v, 1u);
    EXPECT_NE(target.texture, nullptr);  // made again by the reset callback
    EXPECT_EQ(gd->device->Present(nullptr), GfxResult::Ok);
}

TEST_F(DeviceLossTest, ResetBlockedByAForgottenRenderTargetRetriesNextFrame) {
    GraphicsDevice* gd = GetGraphicsDevice();
    TextureHandle forgotten;  // nobody releases this one in a lost callback
    forgotten.CreateBlank(16, 16, 1, plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default);
    Rec()->SimulateLoss();
    Rec()->AllowReset();
    EXPECT_EQ(gd->CheckDeviceLost(), 1);  // the reset failed: try again next frame
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "reset1"), 0);
    forgotten.Release();
    events_.clear();
    EXPECT_EQ(gd->CheckDeviceLost(), 0);
    EXPECT_EQ(events_.back(), "reset2");
}

TEST_F(DeviceLossTest, ClearedSlotsAreSkipped) {
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->lostCallbacks[1] = nullptr;  // the scene released its targets and left
    gd->resetCallbacks[1] = nullptr;
    Rec()->SimulateLoss();
    Rec()->AllowReset();
    EXPECT_EQ(gd->CheckDeviceLost(), 0);
    const std::vector<std::string> expected = {"lost2", "release 1", "release 2", "reload 1", "reload 2", "reset2"};
    EXPECT_EQ(events_, expected);
}

// A reset that fails with an error waiting does not cure lets the frame run;
// the frame must then still find a sprite, fonts and surfaces to draw with.
TEST_F(DeviceLossTest, UnexpectedResetFailureLeavesDrawableObjects) {
    GraphicsDevice* gd = GetGraphicsDevice();
    Rec()->SimulateLoss();
    Rec()->AllowReset();
    Rec()->FailNextReset(GfxResult::Fail);
    EXPECT_EQ(gd->CheckDeviceLost(), 0);
    EXPECT_NE(gd->sprite, nullptr);
    EXPECT_NE(gd->backBuffer, nullptr);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "reset1"), 0);
}

TEST_F(DeviceLossTest, RetryableResetFailuresKeepTheDeviceLost) {
    GraphicsDevice* gd = GetGraphicsDevice();
    for (GfxResult r : {GfxResult::DeviceLost, GfxResult::DriverInternalError, GfxResult::OutOfVideoMemory,
                        GfxResult::OutOfMemory}) {
        Rec()->SimulateLoss();
        Rec()->AllowReset();
        Rec()->FailNextReset(r);
        EXPECT_EQ(gd->CheckDeviceLost(), 1) << plat::GfxResultName(r);
    }
    EXPECT_EQ(gd->CheckDeviceLost(), 0);
}

// ---- one frame, for real and recorded -----------------------------------------

struct NormalVertex {
    float x, y, z, nx, ny, nz;
};

void WriteScrambledChecker(const char* path) {
    const u32 px[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    std::vector<u8> png;
    ASSERT_TRUE(plat::EncodePng(px, 2, 2, true, &png));
    XorWords(png.data(), u32(png.size()), AssetKey);
    ASSERT_TRUE(plat::WriteFileAtomic(path, png.data(), png.size()));
}

// The drawing both backends see: a textured quad, a lit and fogged triangle
// list and a 2D screen quad.
void DrawFrame(TextureHandle& picture) {
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* d = gd->device;
    d->Clear(plat::ClearTarget | plat::ClearZBuffer, 0xFF000000u, 1.0f, 0);
    d->BeginScene();
    const Vec3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
    plat::MatrixLookAtLH(&gd->view, &eye, &at, &up);
    plat::MatrixPerspectiveFovLH(&gd->projection, plat::kPi / 2, 4.0f / 3.0f, 1.0f, 1000.0f);
    d->SetTransform(plat::GfxTransform::View, gd->view);
    d->SetTransform(plat::GfxTransform::Projection, gd->projection);
    d->SetTransform(plat::GfxTransform::World, Mat4::Identity());
    gd->SetDirectionalLight(0, Vec3(0, 0, 2), ColorF(1, 1, 1, 1), ColorF(0, 0, 0, 0), ColorF(0, 0, 0, 0));
    gd->SetVertexFog(1.0f, 150.0f, 0xFFC2D6F0u);
    plat::GfxMaterial m;
    m.diffuse = ColorF(1, 0, 0, 1);
    d->SetMaterial(m);
    d->SetTexture(0, nullptr);
    // Two triangles whose corners all lie 77.62 from the eye: even fog.
    const float z = 75.0f;
    const NormalVertex tris[6] = {{0, 20, z, 0, 0, -1},      {17.32f, -10, z, 0, 0, -1}, {-17.32f, -10, z, 0, 0, -1},
                                  {0, -20, z, 0, 0, -1},     {-17.32f, 10, z, 0, 0, -1}, {17.32f, 10, z, 0, 0, -1}};
    d->SetFVF(plat::FvfXyz | plat::FvfNormal);
    d->DrawPrimitiveUP(plat::GfxPrimitive::TriangleList, 2, tris, sizeof(NormalVertex));
    d->SetRenderState(GfxRenderState::FogEnable, 0);
    d->SetRenderState(GfxRenderState::Lighting, 0);
    picture.DrawScreenQuad(100, 100, 200, 200, 1.0f, 1.0f, 1.0f, 1.0f);
    d->SetTexture(0, nullptr);
    gd->DrawScreenQuad(700, 100, 100, 50, 0xFF00FFFFu);
    d->EndScene();
}

// Each test writes a picture of its own name: ctest runs them at once in
// one folder, and one's clean-up must not take the other's picture away.
bool LoadPicture(TextureHandle& picture, const char* file) {
    return picture.LoadScrambled(file, plat::kGfxFromFile, plat::kGfxFromFile, 1, 0,
                                 plat::GfxFormat::Unknown, plat::GfxPool::Managed, plat::ImageFilterNone,
                                 plat::ImageFilterNone, 0, nullptr, AssetKey) == 1;
}

TEST(GraphicsFrameTest, OpenGLDrawsTheFrameOffscreen) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QUILLON_QUIET_BOXES", "1", 1);
    plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    auto window = plat::Window::Create("frame", 0, 0, 640, 480, plat::Window::Hidden);
    ASSERT_NE(window, nullptr);
    // The device goes before its window, whatever way the test ends.
    struct Release { ~Release() { ResetGraphicsDevice(); } } release;
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false), 1);
    EXPECT_EQ(gd->presentParams.backBufferWidth, 1024u);
    gd->SetDefaultRenderStates();
    WriteScrambledChecker("gd_checker_gl.png");
    {
        TextureHandle picture;
        ASSERT_TRUE(LoadPicture(picture, "gd_checker_gl.png"));
        DrawFrame(picture);
        std::vector<u32> px;
        ASSERT_EQ(gd->device->ReadPixels(gd->backBuffer, nullptr, &px), GfxResult::Ok);
        ASSERT_EQ(px.size(), 1024u * 768u);
        auto at = [&](int x, int y) { return px[size_t(y) * 1024 + x] & 0x00FFFFFFu; };
        EXPECT_EQ(at(150, 150), 0xFF0000u);  // picture: four texels
        EXPECT_EQ(at(250, 150), 0x00FF00u);
        EXPECT_EQ(at(150, 250), 0x0000FFu);
        EXPECT_EQ(at(250, 250), 0xFFFFFFu);
        EXPECT_EQ(at(750, 125), 0x00FFFFu);  // 2D screen quad
        EXPECT_EQ(at(5, 5), 0x000000u);      // cleared
        const float f = (150.0f - std::sqrt(400.0f + 75.0f * 75.0f)) / 149.0f;
        const u32 lit = at(512, 384);         // lit red, fogged towards 0xC2D6F0
        EXPECT_NEAR(int(lit >> 16), int(255 * f + 0xC2 * (1 - f)), 2);
        EXPECT_NEAR(int((lit >> 8) & 0xFF), int(0xD6 * (1 - f)), 2);
        EXPECT_NEAR(int(lit & 0xFF), int(0xF0 * (1 - f)), 2);
        EXPECT_EQ(gd->device->Present(nullptr), GfxResult::Ok);
    }
    plat::DeleteFile("gd_checker_gl.png");
}

TEST(GraphicsFrameTest, RecorderSeesTheSameFrameAsCalls) {
    setenv("QUILLON_QUIET_BOXES", "1", 1);
    plat::SetGfxBackend(plat::GfxBackend::Recorder);
    plat::SetGfxRecorderOptions({});
    auto window = plat::Window::Create("frame", 0, 0, 640, 480, plat::Window::Headless);
    struct Release { ~Release() { ResetGraphicsDevice(); } } release;
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window.get(), 1024, 768, plat::GfxFormat::X8R8G8B8, false), 1);
    gd->SetDefaultRenderStates();
    WriteScrambledChecker("gd_checker_rec.png");
    {
        TextureHandle picture;
        ASSERT_TRUE(LoadPicture(picture, "gd_checker_rec.png"));
        plat::GfxRecorderDevice* rec = plat::AsRecorder(gd->device);
        rec->ClearCalls();
        DrawFrame(picture);
        const std::string tex = plat::GfxRecorderDevice::NameOf(picture.texture);
        const std::vector<std::string> expected = {
            "Clear 3 0xff000000 1 0", "BeginScene", "SetTransform View", "SetTransform Projection",
            "SetTransform World", "SetLight 0", "LightEnable 0 1", "SetRenderState Lighting 1",
            "SetRenderState SpecularEnable 1", "SetRenderState FogColor 0xffc2d6f0", "SetRenderState FogStart 1",
            "SetRenderState FogEnd 150", "SetRenderState FogVertexMode 3", "SetRenderState FogTableMode 0",
            "SetRenderState RangeFogEnable 1", "SetRenderState FogEnable 1", "SetMaterial", "SetTexture 0 null",
            "SetFVF 0x12", "DrawPrimitiveUP TriangleList 2", "SetRenderState FogEnable 0",
            "SetRenderState Lighting 0", "SetFVF 0x144", "SetTexture 0 " + tex, "DrawPrimitiveUP TriangleStrip 2",
            "SetTexture 0 null", "SetRenderState ZEnable 0", "SetRenderState ZWriteEnable 0", "SetFVF 0x144",
            "DrawPrimitiveUP TriangleStrip 2", "SetRenderState ZEnable 1", "SetRenderState ZWriteEnable 1",
            "EndScene"};
        EXPECT_EQ(rec->CallTexts(), expected);
        EXPECT_EQ(rec->Calls()[19].vertices.size(), 6 * sizeof(NormalVertex));
    }
    plat::DeleteFile("gd_checker_rec.png");
    plat::SetGfxBackend(plat::GfxBackend::OpenGL);
}

}  // namespace
