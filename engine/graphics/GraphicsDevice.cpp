#include "engine/graphics/GraphicsDevice.h"

#include "engine/graphics/Shaders.h"
#include "platform/math/Math.h"
#include "platform/core/MessageBox.h"

using plat::GfxRenderState;
using plat::GfxResult;

namespace {

struct ScreenVertex {  // pre-transformed, coloured, textured: 28 bytes
    float x, y, z, rhw;
    u32 colour;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

constexpr u32 kScreenFvf = plat::FvfXyzRhw | plat::FvfDiffuse | plat::FvfTex1;
constexpr const char* kDefaultFace = "ＭＳ Ｐゴシック";

template <class T>
void ReleaseAndNull(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

GraphicsDevice* GetGraphicsDevice() {
    static GraphicsDevice instance;
    return &instance;
}

int GraphicsDevice::Create(plat::Window* win, u32 width, u32 height, plat::GfxFormat backBufferFormat,
                           bool fullScreen) {
    window = win;
    system = plat::CreateGfxSystem();
    if (system == nullptr) return 0;
    plat::GfxDisplayMode mode;
    if (system->GetDisplayMode(&mode) != GfxResult::Ok) return 0;

    presentParams = plat::GfxPresentParams();
    presentParams.backBufferCount = 1;
    if (fullScreen) {
        presentParams.windowed = false;
        presentParams.backBufferWidth = width;
        presentParams.backBufferHeight = height;
        presentParams.backBufferFormat = backBufferFormat;
    } else {
        presentParams.windowed = true;
        presentParams.backBufferWidth = 0;
        presentParams.backBufferHeight = 0;
        presentParams.backBufferFormat = mode.format;
    }
    if (window) window->SetClientSize(i32(width), i32(height));
    presentParams.deviceWindow = window;
    presentParams.enableAutoDepthStencil = true;
    presentParams.autoDepthStencilFormat = plat::GfxFormat::D24S8;
    presentParams.presentImmediately = true;

    struct Attempt {
        plat::GfxDeviceType type;
        u32 behavior;
    };
    const Attempt attempts[3] = {
        {plat::GfxDeviceType::Hal, plat::GfxBehaviorHardwareVertexProcessing | plat::GfxBehaviorMultithreaded},
        {plat::GfxDeviceType::Hal, plat::GfxBehaviorSoftwareVertexProcessing | plat::GfxBehaviorMultithreaded},
        {plat::GfxDeviceType::Ref, plat::GfxBehaviorSoftwareVertexProcessing | plat::GfxBehaviorMultithreaded},
    };
    for (const Attempt& a : attempts) {
        plat::GfxPresentParams p = presentParams;
        if (system->CreateDevice(a.type, window, a.behavior, &p, &device) == GfxResult::Ok) {
            presentParams = p;  // the back buffer's size as made
            break;
        }
        device = nullptr;
    }
    if (device == nullptr) {
        plat::ShowMessageBox(window, "Direct3Dの初期化に失敗。", "Direct3D初期化",
                             plat::MessageBoxError);
        return 0;
    }

    plat::CreateSprite(device, &sprite);
    for (int i = 0; i < kFontSlots; ++i) CreateFont(i, kDefaultFace, 12);
    device->GetRenderTarget(0, &backBuffer);
    device->GetDepthStencilSurface(&depthSurface);
    deviceLost = 0;
    return 1;
}

GfxResult GraphicsDevice::CreateFont(int slot, const char* faceName, i32 height) {
    if (slot < 0 || slot >= kFontSlots || device == nullptr) return GfxResult::InvalidCall;
    ReleaseAndNull(fonts[slot]);
    plat::FontDesc desc;
    desc.height = height;
    desc.faceName = faceName ? faceName : "";
    plat::CreateFont(device, desc, &fonts[slot]);
    // A font that could not be made keeps the asked-for description, so a
    // reset tries it again.
    if (fonts[slot] == nullptr) {
        fontDescs[slot] = desc;
        return GfxResult::NotAvailable;
    }
    return fonts[slot]->GetDesc(&fontDescs[slot]);
}

void GraphicsDevice::Release() {
    textureManager.Clear();
    ReleaseAndNull(backBuffer);
    ReleaseAndNull(depthSurface);
    ReleaseAndNull(device);
    ReleaseAndNull(system);
    ReleaseAndNull(sprite);
    for (auto& f : fonts) ReleaseAndNull(f);
}

void GraphicsDevice::SetDefaultRenderStates() {
    if (device == nullptr) return;
    plat::GfxDevice* d = device;
    d->SetRenderState(GfxRenderState::ZEnable, 1);
    d->SetRenderState(GfxRenderState::ZWriteEnable, 1);
    d->SetRenderState(GfxRenderState::StencilEnable, 1);
    d->SetRenderState(GfxRenderState::AlphaBlendEnable, 1);
    d->SetRenderState(GfxRenderState::SrcBlend, plat::BlendSrcAlpha);
    d->SetRenderState(GfxRenderState::DestBlend, plat::BlendInvSrcAlpha);
    d->SetRenderState(GfxRenderState::NormalizeNormals, 1);
    d->SetRenderState(GfxRenderState::ShadeMode, plat::ShadeGouraud);
    d->SetRenderState(GfxRenderState::CullMode, plat::CullCCW);
    d->SetRenderState(GfxRenderState::Lighting, 0);
    using plat::GfxStageState;
    d->SetTextureStageState(0, GfxStageState::AlphaOp, plat::TopModulate);
    d->SetTextureStageState(0, GfxStageState::AlphaArg1, plat::TaTexture);
    d->SetTextureStageState(0, GfxStageState::AlphaArg2, plat::TaDiffuse);
    d->SetTextureStageState(0, GfxStageState::ColorOp, plat::TopModulate);
    d->SetTextureStageState(0, GfxStageState::ColorArg1, plat::TaTexture);
    d->SetTextureStageState(0, GfxStageState::ColorArg2, plat::TaDiffuse);
    using plat::GfxSamplerState;
    for (u32 s = 0; s < 2; ++s) {
        d->SetSamplerState(s, GfxSamplerState::MinFilter, plat::FilterLinear);
        d->SetSamplerState(s, GfxSamplerState::MagFilter, plat::FilterLinear);
        d->SetSamplerState(s, GfxSamplerState::MipFilter, plat::FilterLinear);
    }
    d->SetSamplerState(0, GfxSamplerState::AddressU, plat::AddressWrap);
    d->SetSamplerState(0, GfxSamplerState::AddressV, plat::AddressWrap);
    d->SetSamplerState(0, GfxSamplerState::MipMapLodBias, plat::GfxFloatBits(0.0f));
}

void GraphicsDevice::SetDirectionalLight(u32 index, const Vec3& direction, const ColorF& diffuse,
                                         const ColorF& ambient, const ColorF& specular) {
    light = plat::GfxLight();
    light.type = plat::GfxLightType::Directional;
    light.diffuse = diffuse;
    light.ambient = ambient;
    light.specular = specular;
    plat::Vec3Normalize(&light.direction, &direction);
    if (device == nullptr) return;
    device->SetLight(index, light);
    device->LightEnable(index, true);
    device->SetRenderState(GfxRenderState::Lighting, 1);
    device->SetRenderState(GfxRenderState::SpecularEnable, 1);
}

void GraphicsDevice::SetVertexFog(float start, float end, u32 colour) {
    if (device == nullptr) return;
    device->SetRenderState(GfxRenderState::FogColor, colour);
    device->SetRenderState(GfxRenderState::FogStart, plat::GfxFloatBits(start));
    device->SetRenderState(GfxRenderState::FogEnd, plat::GfxFloatBits(end));
    device->SetRenderState(GfxRenderState::FogVertexMode, plat::FogLinear);
    device->SetRenderState(GfxRenderState::FogTableMode, plat::FogNone);
    device->SetRenderState(GfxRenderState::RangeFogEnable, 1);
    device->SetRenderState(GfxRenderState::FogEnable, 1);
}

void GraphicsDevice::SetTableFog(float start, float end, u32 colour) {
    if (device == nullptr) return;
    device->SetRenderState(GfxRenderState::FogColor, colour);
    device->SetRenderState(GfxRenderState::FogStart, plat::GfxFloatBits(start));
    device->SetRenderState(GfxRenderState::FogEnd, plat::GfxFloatBits(end));
    device->SetRenderState(GfxRenderState::FogVertexMode, plat::FogNone);
    device->SetRenderState(GfxRenderState::FogTableMode, plat::FogLinear);
    device->SetRenderState(GfxRenderState::FogEnable, 1);
}

void GraphicsDevice::DrawLine2DGradient(float x1, float y1, float x2, float y2, u32 colour1, u32 colour2) {
    if (device == nullptr) return;
    const ScreenVertex v[2] = {{x1, y1, 0.0f, 1.0f, colour1, 0.0f, 0.0f}, {x2, y2, 0.0f, 1.0f, colour2, 0.0f, 0.0f}};
    device->SetTransform(plat::GfxTransform::World, Mat4::Identity());
    device->SetTexture(0, nullptr);
    device->SetFVF(kScreenFvf);
    device->DrawPrimitiveUP(plat::GfxPrimitive::LineList, 1, v, sizeof(ScreenVertex));
}

void GraphicsDevice::DrawLine2D(float x1, float y1, float x2, float y2, u32 colour, const Mat4& world) {
    if (device == nullptr) return;
    const ScreenVertex v[2] = {{x1, y1, 0.0f, 1.0f, colour, 0.0f, 0.0f}, {x2, y2, 0.0f, 1.0f, colour, 0.0f, 0.0f}};
    device->SetTransform(plat::GfxTransform::World, world);
    device->SetTexture(0, nullptr);
    device->SetFVF(kScreenFvf);
    device->DrawPrimitiveUP(plat::GfxPrimitive::LineList, 1, v, sizeof(ScreenVertex));
}

void GraphicsDevice::ProjectToScreen(Vec3* out, const Mat4* world, const Mat4* viewM, const Mat4* proj) const {
    Mat4 m;
    plat::MatrixMultiply(&m, world, viewM);
    plat::MatrixMultiply(&m, &m, proj);
    const u32 halfW = presentParams.backBufferWidth / 2;
    const u32 halfH = presentParams.backBufferHeight / 2;
    out->z = m.m[3][3];
    out->x = m.m[3][0] / out->z * float(halfW) + float(halfW);
    out->y = m.m[3][1] / out->z * -float(halfH) + float(halfH);
}

void GraphicsDevice::ReleaseDeviceObjects() {
    ReleaseAndNull(sprite);
    for (auto& f : fonts) ReleaseAndNull(f);
    ReleaseAndNull(backBuffer);
    ReleaseAndNull(depthSurface);
}

void GraphicsDevice::MakeDeviceObjects() {
    plat::CreateSprite(device, &sprite);
    for (int i = 0; i < kFontSlots; ++i) {
        if (fontDescs[i].faceName.empty()) continue;  // a slot never filled
        plat::CreateFont(device, fontDescs[i], &fonts[i]);
    }
    SetDefaultRenderStates();
    device->GetRenderTarget(0, &backBuffer);
    device->GetDepthStencilSurface(&depthSurface);
}

int GraphicsDevice::CheckDeviceLost() {
    if (device == nullptr) return 0;
    const GfxResult level = device->TestCooperativeLevel();
    if (level == GfxResult::Ok) return 0;
    if (level == GfxResult::DeviceLost) return 1;
    if (level != GfxResult::DeviceNotReset) return 0;

    for (DeviceCallback cb : lostCallbacks)
        if (cb) cb(0);
    for (ShaderBase* e : effects) e->Release();
    ReleaseDeviceObjects();

    const GfxResult r = device->Reset(&presentParams);
    if (r != GfxResult::Ok) {
        switch (r) {
            case GfxResult::DeviceLost:
            case GfxResult::DriverInternalError:
            case GfxResult::InvalidCall:
            case GfxResult::OutOfVideoMemory:
            case GfxResult::OutOfMemory: return 1;  // try again next frame
            default:
                // The frame will run: give it a sprite, fonts and surfaces
                // again rather than leave them null under the drawing code.
                MakeDeviceObjects();
                return 0;
        }
    }
    MakeDeviceObjects();
    for (ShaderBase* e : effects) e->Reload();
    for (DeviceCallback cb : resetCallbacks)
        if (cb) cb(0);
    return 0;
}

void GraphicsDevice::RestoreRenderTarget() {
    if (device == nullptr) return;
    device->SetRenderTarget(0, backBuffer);
    device->SetDepthStencilSurface(depthSurface);
}

void GraphicsDevice::DrawScreenQuad(float x, float y, float width, float height, u32 colour) {
    if (device == nullptr) return;
    const ScreenVertex v[4] = {{x, y, 0.0f, 1.0f, colour, 0.0f, 0.0f},
                               {x + width, y, 0.0f, 1.0f, colour, 1.0f, 0.0f},
                               {x, y + height, 0.0f, 1.0f, colour, 0.0f, 1.0f},
                               {x + width, y + height, 0.0f, 1.0f, colour, 1.0f, 1.0f}};
    device->SetRenderState(GfxRenderState::ZEnable, 0);
    device->SetRenderState(GfxRenderState::ZWriteEnable, 0);
    device->SetFVF(kScreenFvf);
    device->DrawPrimitiveUP(plat::GfxPrimitive::TriangleStrip, 2, v, sizeof(ScreenVertex));
    device->SetRenderState(GfxRenderState::ZEnable, 1);
    device->SetRenderState(GfxRenderState::ZWriteEnable, 1);
}
