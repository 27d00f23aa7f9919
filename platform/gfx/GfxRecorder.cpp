#include "platform/gfx/GfxRecorder.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/gfx/Window.h"

namespace plat {

namespace {

std::mutex g_optionsLock;
GfxRecorderOptions g_options;
u32 g_refusalsLeft = 0;
std::vector<std::string> g_creationLog;

std::string Hex(u32 v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

std::string Num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

const char* TransformName(GfxTransform t) {
    switch (t) {
        case GfxTransform::View: return "View";
        case GfxTransform::Projection: return "Projection";
        case GfxTransform::Texture0: return "Texture0";
        case GfxTransform::Texture1: return "Texture1";
        case GfxTransform::World: return "World";
        case GfxTransform::World1: return "World1";
        case GfxTransform::World2: return "World2";
        case GfxTransform::World3: return "World3";
    }
    return "?";
}

const char* StageStateName(GfxStageState s) {
    switch (s) {
        case GfxStageState::ColorOp: return "ColorOp";
        case GfxStageState::ColorArg1: return "ColorArg1";
        case GfxStageState::ColorArg2: return "ColorArg2";
        case GfxStageState::AlphaOp: return "AlphaOp";
        case GfxStageState::AlphaArg1: return "AlphaArg1";
        case GfxStageState::AlphaArg2: return "AlphaArg2";
        case GfxStageState::TexCoordIndex: return "TexCoordIndex";
        case GfxStageState::TextureTransformFlags: return "TextureTransformFlags";
    }
    return "?";
}

const char* SamplerStateName(GfxSamplerState s) {
    switch (s) {
        case GfxSamplerState::AddressU: return "AddressU";
        case GfxSamplerState::AddressV: return "AddressV";
        case GfxSamplerState::AddressW: return "AddressW";
        case GfxSamplerState::BorderColor: return "BorderColor";
        case GfxSamplerState::MagFilter: return "MagFilter";
        case GfxSamplerState::MinFilter: return "MinFilter";
        case GfxSamplerState::MipFilter: return "MipFilter";
        case GfxSamplerState::MipMapLodBias: return "MipMapLodBias";
        case GfxSamplerState::MaxMipLevel: return "MaxMipLevel";
    }
    return "?";
}

class GfxRecorderSystem : public GfxSystem {
public:
    GfxResult GetDisplayMode(GfxDisplayMode* out) override {
        if (out == nullptr) return GfxResult::InvalidCall;
        *out = GfxDisplayMode{1920, 1080, 60, GfxFormat::X8R8G8B8};
        return GfxResult::Ok;
    }

    GfxResult CreateDevice(GfxDeviceType type, Window* focusWindow, u32 behavior, GfxPresentParams* params,
                           GfxDevice** out) override {
        if (out == nullptr || params == nullptr) return GfxResult::InvalidCall;
        *out = nullptr;
        std::string line = std::string(type == GfxDeviceType::Hal ? "Hal " : "Ref ") + Hex(behavior);
        {
            std::lock_guard<std::mutex> lock(g_optionsLock);
            if (g_refusalsLeft > 0) {
                --g_refusalsLeft;
                g_creationLog.push_back(line + " refused");
                return GfxResult::NotAvailable;
            }
            g_creationLog.push_back(line + " made");
        }
        if (params->deviceWindow == nullptr) params->deviceWindow = focusWindow;
        GfxCaps caps;
        caps.maxVertexBlendMatrices = 4;
        caps.vertexShaderVersion = GfxVertexShaderVersion(3, 0);
        caps.pixelShaderVersion = GfxPixelShaderVersion(3, 0);
        caps.maxTextureWidth = caps.maxTextureHeight = GfxDeviceCommon::kMaxTextureSize;
        auto* device = new GfxRecorderDevice(*params, caps);
        *params = device->GetPresentParams();
        *out = device;
        return GfxResult::Ok;
    }
};

}  // namespace

void SetGfxRecorderOptions(const GfxRecorderOptions& options) {
    std::lock_guard<std::mutex> lock(g_optionsLock);
    g_options = options;
    g_refusalsLeft = options.refuseDevices;
    g_creationLog.clear();
}

std::vector<std::string> GfxRecorderCreationLog() {
    std::lock_guard<std::mutex> lock(g_optionsLock);
    return g_creationLog;
}

GfxSystem* CreateGfxRecorderSystem() { return new GfxRecorderSystem(); }

GfxRecorderDevice* AsRecorder(GfxDevice* device) { return dynamic_cast<GfxRecorderDevice*>(device); }

GfxRecorderDevice::GfxRecorderDevice(const GfxPresentParams& params, const GfxCaps& caps)
    : GfxDeviceCommon(params, caps) {
    MakeBackBuffers();
    SetDefaultStates();
}

std::string GfxRecorderDevice::NameOf(const GfxResource* r) {
    if (r == nullptr) return "null";
    if (r->Type() == GfxResourceType::Surface) {
        const auto* s = static_cast<const GfxSurface*>(r);
        if (s->Container() != nullptr) {
            std::string n = NameOf(s->Container()) + "." + std::to_string(s->Level());
            if (s->Container()->Type() == GfxResourceType::CubeTexture) n += "f" + std::to_string(s->Face());
            return n;
        }
        if (s->IsBackBuffer()) return s->Desc().format == GfxFormat::D24S8 ? "autodepth" : "backbuffer";
        return "surf#" + std::to_string(s->Id());
    }
    switch (r->Type()) {
        case GfxResourceType::Texture: return "tex#" + std::to_string(r->Id());
        case GfxResourceType::CubeTexture: return "cube#" + std::to_string(r->Id());
        case GfxResourceType::VertexBuffer: return "vb#" + std::to_string(r->Id());
        case GfxResourceType::IndexBuffer: return "ib#" + std::to_string(r->Id());
        default: return "res#" + std::to_string(r->Id());
    }
}

void GfxRecorderDevice::Log(std::string text, GfxResult r) {
    if (r != GfxResult::Ok) text += std::string(" -> ") + GfxResultName(r);
    GfxRecordedCall c;
    if (drawCaptured_) {
        c = std::move(pendingDraw_);
        pendingDraw_ = GfxRecordedCall();
        drawCaptured_ = false;
    }
    c.text = std::move(text);
    calls_.push_back(std::move(c));
}

std::vector<std::string> GfxRecorderDevice::CallTexts() const {
    std::vector<std::string> out;
    out.reserve(calls_.size());
    for (const auto& c : calls_) out.push_back(c.text);
    return out;
}

std::vector<std::string> GfxRecorderDevice::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls_)
        if (c.text.compare(0, prefix.size(), prefix) == 0) out.push_back(c.text);
    return out;
}

void GfxRecorderDevice::SimulateLoss() { loss_ = Loss::Lost; }

void GfxRecorderDevice::AllowReset() {
    if (loss_ == Loss::Lost) loss_ = Loss::Resettable;
}

GfxResult GfxRecorderDevice::TestCooperativeLevel() {
    const GfxResult r = GfxDeviceCommon::TestCooperativeLevel();
    if (recording_) Log("TestCooperativeLevel " + std::string(GfxResultName(r)), GfxResult::Ok);
    return r;
}

GfxResult GfxRecorderDevice::Reset(GfxPresentParams* params) {
    GfxResult r;
    if (failReset_ != GfxResult::Ok) {
        r = failReset_;
        failReset_ = GfxResult::Ok;
    } else {
        r = GfxDeviceCommon::Reset(params);
        if (r == GfxResult::Ok) ++resets_;
    }
    if (recording_) Log("Reset", r);
    return r;
}

GfxResult GfxRecorderDevice::BeginScene() {
    const GfxResult r = GfxDeviceCommon::BeginScene();
    if (recording_) Log("BeginScene", r);
    return r;
}

GfxResult GfxRecorderDevice::EndScene() {
    const GfxResult r = GfxDeviceCommon::EndScene();
    if (recording_) Log("EndScene", r);
    return r;
}

GfxResult GfxRecorderDevice::DoPresent(Window*) {
    ++presents_;
    return GfxResult::Ok;
}

GfxResult GfxRecorderDevice::Present(Window* destWindow) {
    const GfxResult r = GfxDeviceCommon::Present(destWindow);
    if (recording_) Log(destWindow ? "Present window" : "Present", r);
    return r;
}

GfxResult GfxRecorderDevice::Clear(u32 flags, u32 color, float z, u32 stencil) {
    const GfxResult r = GfxDeviceCommon::Clear(flags, color, z, stencil);
    if (recording_) Log("Clear " + std::to_string(flags) + " " + Hex(color) + " " + Num(z) + " " + std::to_string(stencil), r);
    return r;
}

GfxResult GfxRecorderDevice::SetRenderTarget(u32 index, GfxSurface* surface) {
    const GfxResult r = GfxDeviceCommon::SetRenderTarget(index, surface);
    if (recording_) Log("SetRenderTarget " + std::to_string(index) + " " + NameOf(surface), r);
    return r;
}

GfxResult GfxRecorderDevice::SetDepthStencilSurface(GfxSurface* surface) {
    const GfxResult r = GfxDeviceCommon::SetDepthStencilSurface(surface);
    if (recording_) Log("SetDepthStencilSurface " + NameOf(surface), r);
    return r;
}

GfxResult GfxRecorderDevice::SetViewport(const GfxViewport& v) {
    const GfxResult r = GfxDeviceCommon::SetViewport(v);
    if (recording_) Log("SetViewport " + std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.width) + " " +
            std::to_string(v.height),
        r);
    return r;
}

GfxResult GfxRecorderDevice::SetTransform(GfxTransform which, const Mat4& m) {
    const GfxResult r = GfxDeviceCommon::SetTransform(which, m);
    if (recording_) Log(std::string("SetTransform ") + TransformName(which), r);
    return r;
}

GfxResult GfxRecorderDevice::SetRenderState(GfxRenderState state, u32 value) {
    const GfxResult r = GfxDeviceCommon::SetRenderState(state, value);
    const char* n = GfxRenderStateName(state);
    if (recording_) Log(std::string("SetRenderState ") + (n ? n : std::to_string(u32(state)).c_str()) + " " +
            (state == GfxRenderState::FogColor || state == GfxRenderState::TextureFactor ||
                     state == GfxRenderState::Ambient
                 ? Hex(value)
             : state == GfxRenderState::FogStart || state == GfxRenderState::FogEnd ||
                     state == GfxRenderState::FogDensity || state == GfxRenderState::PointSize
                 ? Num(GfxBitsFloat(value))
                 : std::to_string(value)),
        r);
    return r;
}

GfxResult GfxRecorderDevice::SetSamplerState(u32 sampler, GfxSamplerState state, u32 value) {
    const GfxResult r = GfxDeviceCommon::SetSamplerState(sampler, state, value);
    if (recording_) Log("SetSamplerState " + std::to_string(sampler) + " " + SamplerStateName(state) + " " +
            (state == GfxSamplerState::MipMapLodBias ? Num(GfxBitsFloat(value)) : std::to_string(value)),
        r);
    return r;
}

GfxResult GfxRecorderDevice::SetTextureStageState(u32 stage, GfxStageState state, u32 value) {
    const GfxResult r = GfxDeviceCommon::SetTextureStageState(stage, state, value);
    if (recording_) Log("SetTextureStageState " + std::to_string(stage) + " " + StageStateName(state) + " " + std::to_string(value),
        r);
    return r;
}

GfxResult GfxRecorderDevice::SetTexture(u32 stage, GfxBaseTexture* texture) {
    const GfxResult r = GfxDeviceCommon::SetTexture(stage, texture);
    if (recording_) Log("SetTexture " + std::to_string(stage) + " " + NameOf(texture), r);
    return r;
}

GfxResult GfxRecorderDevice::SetLight(u32 index, const GfxLight& light) {
    const GfxResult r = GfxDeviceCommon::SetLight(index, light);
    if (recording_) Log("SetLight " + std::to_string(index), r);
    return r;
}

GfxResult GfxRecorderDevice::LightEnable(u32 index, bool enable) {
    const GfxResult r = GfxDeviceCommon::LightEnable(index, enable);
    if (recording_) Log("LightEnable " + std::to_string(index) + " " + (enable ? "1" : "0"), r);
    return r;
}

GfxResult GfxRecorderDevice::SetMaterial(const GfxMaterial& material) {
    const GfxResult r = GfxDeviceCommon::SetMaterial(material);
    if (recording_) Log("SetMaterial", r);
    return r;
}

GfxResult GfxRecorderDevice::SetFVF(u32 fvf) {
    const GfxResult r = GfxDeviceCommon::SetFVF(fvf);
    if (recording_) Log("SetFVF " + Hex(fvf), r);
    return r;
}

GfxResult GfxRecorderDevice::SetStreamSource(u32 stream, GfxVertexBuffer* buffer, u32 offset, u32 stride) {
    const GfxResult r = GfxDeviceCommon::SetStreamSource(stream, buffer, offset, stride);
    if (recording_) Log("SetStreamSource " + std::to_string(stream) + " " + NameOf(buffer) + " " + std::to_string(offset) + " " +
            std::to_string(stride),
        r);
    return r;
}

GfxResult GfxRecorderDevice::SetIndices(GfxIndexBuffer* buffer) {
    const GfxResult r = GfxDeviceCommon::SetIndices(buffer);
    if (recording_) Log("SetIndices " + NameOf(buffer), r);
    return r;
}

GfxResult GfxRecorderDevice::SetSoftwareVertexProcessing(bool on) {
    const GfxResult r = GfxDeviceCommon::SetSoftwareVertexProcessing(on);
    if (recording_) Log(std::string("SetSoftwareVertexProcessing ") + (on ? "1" : "0"), r);
    return r;
}

void GfxRecorderDevice::DoDraw(const GfxDrawCall& call) {
    if (!recording_) return;
    pendingDraw_ = GfxRecordedCall();
    pendingDraw_.stride = call.stride;
    pendingDraw_.fvf = call.fvf;
    u64 first = call.firstVertex, count = call.vertexCount;
    if (call.indexed) {
        const u8* idx = call.userIndices ? static_cast<const u8*>(call.userIndices)
                                         : call.indexBuffer->Data() +
                                               size_t(call.startIndex) * GfxFormatBytes(call.indexFormat);
        for (u32 i = 0; i < call.vertexCount; ++i) {
            u32 v;
            if (call.indexFormat == GfxFormat::Index16) {
                u16 s;
                std::memcpy(&s, idx + i * 2, 2);
                v = s;
            } else {
                std::memcpy(&v, idx + i * 4, 4);
            }
            pendingDraw_.indices.push_back(v);
        }
        first = u64(i64(call.minIndex) + call.baseVertex);
        count = call.numVertices;
    }
    const u8* base = call.userVertices ? call.userVertices : call.buffer->Data() + call.vertexOffset;
    pendingDraw_.vertices.assign(base + first * call.stride, base + (first + count) * call.stride);
    drawCaptured_ = true;
}

GfxResult GfxRecorderDevice::DrawPrimitive(GfxPrimitive type, u32 startVertex, u32 primitiveCount) {
    const GfxResult r = GfxDeviceCommon::DrawPrimitive(type, startVertex, primitiveCount);
    if (recording_) Log(std::string("DrawPrimitive ") + GfxPrimitiveName(type) + " " + std::to_string(startVertex) + " " +
            std::to_string(primitiveCount),
        r);
    return r;
}

GfxResult GfxRecorderDevice::DrawIndexedPrimitive(GfxPrimitive type, i32 baseVertex, u32 minIndex, u32 numVertices,
                                                  u32 startIndex, u32 primitiveCount) {
    const GfxResult r =
        GfxDeviceCommon::DrawIndexedPrimitive(type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
    if (recording_) Log(std::string("DrawIndexedPrimitive ") + GfxPrimitiveName(type) + " " + std::to_string(baseVertex) + " " +
            std::to_string(minIndex) + " " + std::to_string(numVertices) + " " + std::to_string(startIndex) + " " +
            std::to_string(primitiveCount),
        r);
    return r;
}

GfxResult GfxRecorderDevice::DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices,
                                             u32 stride) {
    const GfxResult r = GfxDeviceCommon::DrawPrimitiveUP(type, primitiveCount, vertices, stride);
    if (recording_) Log(std::string("DrawPrimitiveUP ") + GfxPrimitiveName(type) + " " + std::to_string(primitiveCount), r);
    return r;
}

GfxResult GfxRecorderDevice::DrawIndexedPrimitiveUP(GfxPrimitive type, u32 minIndex, u32 numVertices,
                                                    u32 primitiveCount, const void* indices, GfxFormat indexFormat,
                                                    const void* vertices, u32 stride) {
    const GfxResult r = GfxDeviceCommon::DrawIndexedPrimitiveUP(type, minIndex, numVertices, primitiveCount, indices,
                                                                indexFormat, vertices, stride);
    if (recording_) Log(std::string("DrawIndexedPrimitiveUP ") + GfxPrimitiveName(type) + " " + std::to_string(primitiveCount), r);
    return r;
}

GfxResult GfxRecorderDevice::StretchRect(GfxSurface* src, const GfxRect* srcRect, GfxSurface* dst,
                                         const GfxRect* dstRect, GfxFilter filter) {
    const GfxResult r = GfxDeviceCommon::StretchRect(src, srcRect, dst, dstRect, filter);
    if (recording_) Log("StretchRect " + NameOf(src) + " " + NameOf(dst) + " " + std::to_string(u32(filter)), r);
    return r;
}

GfxResult GfxRecorderDevice::ColorFill(GfxSurface* surface, const GfxRect* rect, u32 color) {
    const GfxResult r = GfxDeviceCommon::ColorFill(surface, rect, color);
    std::string t = "ColorFill " + NameOf(surface);
    if (rect)
        t += " " + std::to_string(rect->left) + " " + std::to_string(rect->top) + " " + std::to_string(rect->right) +
             " " + std::to_string(rect->bottom);
    if (recording_) Log(t + " " + Hex(color), r);
    return r;
}

}  // namespace plat
