#include "platform/gfx/GfxDeviceCommon.h"

#include <algorithm>
#include <new>

#include "platform/gfx/FrameHold.h"
#include "platform/gfx/GfxPixel.h"
#include "platform/gfx/Window.h"

namespace plat {

GfxDeviceCommon::GfxDeviceCommon(const GfxPresentParams& params, const GfxCaps& caps)
    : params_(params), caps_(caps), home_(std::make_shared<GfxResourceHome>()) {}

GfxDeviceCommon::~GfxDeviceCommon() {
    ReleaseBindings();
    if (backBuffer_) backBuffer_->Release();
    if (autoDepth_) autoDepth_->Release();
    std::lock_guard<std::mutex> lock(home_->mutex);
    home_->deviceAlive = false;
    home_->graves.clear();
}

void GfxDeviceCommon::MakeBackBuffers() {
    if (backBuffer_) backBuffer_->Release();
    if (autoDepth_) autoDepth_->Release();
    backBuffer_ = autoDepth_ = nullptr;
    if (params_.windowed && (params_.backBufferWidth == 0 || params_.backBufferHeight == 0) &&
        params_.deviceWindow != nullptr) {
        int w = 0, h = 0;
        params_.deviceWindow->GetClientSize(&w, &h);
        params_.backBufferWidth = u32(std::max(w, 1));
        params_.backBufferHeight = u32(std::max(h, 1));
    }
    if (params_.backBufferWidth == 0) params_.backBufferWidth = 1;
    if (params_.backBufferHeight == 0) params_.backBufferHeight = 1;
    if (!GfxFormatIsColor(params_.backBufferFormat)) params_.backBufferFormat = GfxFormat::X8R8G8B8;
    GfxSurfaceDesc d;
    d.format = params_.backBufferFormat;
    d.usage = GfxUsageRenderTarget;
    d.pool = GfxPool::Default;
    d.width = params_.backBufferWidth;
    d.height = params_.backBufferHeight;
    backBuffer_ = new GfxSurface(home_, d, nullptr, 0, 0, true);
    if (params_.enableAutoDepthStencil) {
        d.format = GfxFormat::D24S8;
        d.usage = GfxUsageDepthStencil;
        // Owned by the device like the back buffer: never blocks a Reset.
        autoDepth_ = new GfxSurface(home_, d, nullptr, 0, 0, true);
    }
    OnBackBufferMade();
}

void GfxDeviceCommon::ReleaseBindings() {
    for (auto& t : state_.textures) {
        if (t) t->Release();
        t = nullptr;
    }
    if (state_.stream) state_.stream->Release();
    if (state_.indices) state_.indices->Release();
    if (state_.renderTarget) state_.renderTarget->Release();
    if (state_.depthStencil) state_.depthStencil->Release();
    state_.stream = nullptr;
    state_.indices = nullptr;
    state_.renderTarget = nullptr;
    state_.depthStencil = nullptr;
}

void GfxDeviceCommon::SetDefaultStates() {
    ReleaseBindings();
    GfxPipelineState& s = state_;
    s.view = s.projection = Mat4();
    for (auto& w : s.world) w = Mat4();
    for (auto& t : s.texture) t = Mat4();
    std::fill(std::begin(s.renderStates), std::end(s.renderStates), 0u);
    auto rs = [&](GfxRenderState st, u32 v) { s.renderStates[u32(st)] = v; };
    rs(GfxRenderState::ZEnable, autoDepth_ ? 1 : 0);
    rs(GfxRenderState::FillMode, FillSolid);
    rs(GfxRenderState::ShadeMode, ShadeGouraud);
    rs(GfxRenderState::ZWriteEnable, 1);
    rs(GfxRenderState::SrcBlend, BlendOne);
    rs(GfxRenderState::DestBlend, BlendZero);
    rs(GfxRenderState::CullMode, CullCCW);
    rs(GfxRenderState::ZFunc, CmpLessEqual);
    rs(GfxRenderState::AlphaFunc, CmpAlways);
    rs(GfxRenderState::FogEnd, GfxFloatBits(1.0f));
    rs(GfxRenderState::FogDensity, GfxFloatBits(1.0f));
    rs(GfxRenderState::StencilFail, StencilKeep);
    rs(GfxRenderState::StencilZFail, StencilKeep);
    rs(GfxRenderState::StencilPass, StencilKeep);
    rs(GfxRenderState::StencilFunc, CmpAlways);
    rs(GfxRenderState::StencilMask, 0xFFFFFFFFu);
    rs(GfxRenderState::StencilWriteMask, 0xFFFFFFFFu);
    rs(GfxRenderState::TextureFactor, 0xFFFFFFFFu);
    rs(GfxRenderState::Lighting, 1);
    rs(GfxRenderState::ColorVertex, 1);
    rs(GfxRenderState::LocalViewer, 1);
    rs(GfxRenderState::DiffuseMaterialSource, MaterialSourceColor1);
    rs(GfxRenderState::SpecularMaterialSource, MaterialSourceColor2);
    rs(GfxRenderState::PointSize, GfxFloatBits(1.0f));
    rs(GfxRenderState::ColorWriteEnable, 0xF);
    rs(GfxRenderState::BlendOp, BlendOpAdd);
    for (u32 i = 0; i < 8; ++i) {
        u32* t = s.stageStates[i];
        std::fill(t, t + kGfxStageStateCount, 0u);
        t[u32(GfxStageState::ColorOp)] = i == 0 ? TopModulate : TopDisable;
        t[u32(GfxStageState::ColorArg1)] = TaTexture;
        t[u32(GfxStageState::ColorArg2)] = TaCurrent;
        t[u32(GfxStageState::AlphaOp)] = i == 0 ? TopSelectArg1 : TopDisable;
        t[u32(GfxStageState::AlphaArg1)] = TaTexture;
        t[u32(GfxStageState::AlphaArg2)] = TaCurrent;
        t[u32(GfxStageState::TexCoordIndex)] = i;
    }
    for (auto& smp : s.samplerStates) {
        std::fill(std::begin(smp), std::end(smp), 0u);
        smp[u32(GfxSamplerState::AddressU)] = AddressWrap;
        smp[u32(GfxSamplerState::AddressV)] = AddressWrap;
        smp[u32(GfxSamplerState::AddressW)] = AddressWrap;
        smp[u32(GfxSamplerState::MagFilter)] = FilterPoint;
        smp[u32(GfxSamplerState::MinFilter)] = FilterPoint;
        smp[u32(GfxSamplerState::MipFilter)] = FilterNone;
    }
    for (u32 i = 0; i < 8; ++i) {
        s.lights[i] = GfxLight();
        s.lightSet[i] = s.lightOn[i] = false;
    }
    s.material = GfxMaterial();
    s.fvf = 0;
    s.streamOffset = s.streamStride = 0;
    s.softwareVertexProcessing = false;
    s.renderTarget = backBuffer_;
    if (backBuffer_) backBuffer_->AddRef();
    s.depthStencil = autoDepth_;
    if (autoDepth_) autoDepth_->AddRef();
    s.viewport = GfxViewport{0, 0, params_.backBufferWidth, params_.backBufferHeight, 0.0f, 1.0f};
}

// ---- presentation and loss ---------------------------------------------

GfxResult GfxDeviceCommon::TestCooperativeLevel() {
    switch (loss_) {
        case Loss::None: return GfxResult::Ok;
        case Loss::Lost: return GfxResult::DeviceLost;
        case Loss::Resettable: return GfxResult::DeviceNotReset;
    }
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::Reset(GfxPresentParams* params) {
    if (params == nullptr) return GfxResult::InvalidCall;
    if (loss_ == Loss::Lost) return GfxResult::DeviceLost;
    ReleaseBindings();
    // Everything in the default pool must be gone first, the device's own
    // back buffer and depth surface included (nobody else may hold them).
    const bool backHeld = backBuffer_ && backBuffer_->RefCount() > 1;
    const bool depthHeld = autoDepth_ && autoDepth_->RefCount() > 1;
    if (home_->liveDefault.load() != 0 || backHeld || depthHeld) {
        if (loss_ == Loss::None) loss_ = Loss::Resettable;
        return GfxResult::InvalidCall;
    }
    Window* window = params->deviceWindow ? params->deviceWindow : params_.deviceWindow;
    params_ = *params;
    params_.deviceWindow = window;
    MakeBackBuffers();
    *params = params_;
    SetDefaultStates();
    inScene_ = false;
    loss_ = Loss::None;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::BeginScene() {
    if (inScene_) return GfxResult::InvalidCall;
    inScene_ = true;
    heldFrame_ = BackBufferFramesHeld();
    keptViewport_ = state_.viewport;
    HoldViewport();
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::EndScene() {
    if (!inScene_) return GfxResult::InvalidCall;
    inScene_ = false;
    // The next frame finds the viewport a held one found.
    if (heldFrame_ && state_.renderTarget == backBuffer_) state_.viewport = keptViewport_;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::Present(Window* destWindow) {
    if (loss_ != Loss::None) return GfxResult::DeviceLost;
    if (heldFrame_) return GfxResult::Ok;
    return DoPresent(destWindow);
}

void GfxDeviceCommon::HoldViewport() {
    if (!heldFrame_ || !inScene_ || state_.renderTarget == nullptr || state_.renderTarget != backBuffer_) return;
    state_.viewport.x = state_.viewport.y = 0;
    state_.viewport.width = state_.viewport.height = 1;
}

GfxResult GfxDeviceCommon::Clear(u32 flags, u32 color, float z, u32 stencil) {
    if ((flags & (ClearZBuffer | ClearStencil)) && state_.depthStencil == nullptr) return GfxResult::InvalidCall;
    if ((flags & ClearTarget) && state_.renderTarget == nullptr) return GfxResult::InvalidCall;
    if ((flags & (ClearTarget | ClearZBuffer | ClearStencil)) == 0) return GfxResult::InvalidCall;
    if (loss_ == Loss::None) DoClear(flags, color, std::clamp(z, 0.0f, 1.0f), stencil);
    return GfxResult::Ok;
}

// ---- targets -------------------------------------------------------------

bool GfxDeviceCommon::GpuSurface(const GfxSurface* s) {
    if (s == nullptr) return false;
    if (s->Container()) return s->Container()->IsRenderTarget() && GfxFormatIsColor(s->Desc().format);
    return GfxFormatIsColor(s->Desc().format) && (s->Desc().usage & GfxUsageRenderTarget);
}

GfxResult GfxDeviceCommon::SetRenderTarget(u32 index, GfxSurface* surface) {
    // No colour target draws depth only (a shadow map): the depth surface
    // then gives the viewport.
    const GfxSurface* sized = surface ? surface : state_.depthStencil;
    if (index != 0 || sized == nullptr || (surface && !GpuSurface(surface))) return GfxResult::InvalidCall;
    if (surface) surface->AddRef();
    if (state_.renderTarget) state_.renderTarget->Release();
    state_.renderTarget = surface;
    // A new target brings a viewport covering all of it.
    state_.viewport = GfxViewport{0, 0, sized->Desc().width, sized->Desc().height, 0.0f, 1.0f};
    HoldViewport();
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetRenderTarget(u32 index, GfxSurface** out) {
    if (index != 0 || out == nullptr) return GfxResult::InvalidCall;
    if (state_.renderTarget == nullptr) {
        *out = nullptr;
        return GfxResult::NotAvailable;
    }
    state_.renderTarget->AddRef();
    *out = state_.renderTarget;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetDepthStencilSurface(GfxSurface* surface) {
    if (surface != nullptr && !GfxFormatIsDepth(surface->Desc().format)) return GfxResult::InvalidCall;
    // Drawing needs a target: without a colour one the depth surface is it.
    if (surface == nullptr && state_.renderTarget == nullptr) return GfxResult::InvalidCall;
    if (surface) surface->AddRef();
    if (state_.depthStencil) state_.depthStencil->Release();
    state_.depthStencil = surface;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetDepthStencilSurface(GfxSurface** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    if (state_.depthStencil == nullptr) {
        *out = nullptr;
        return GfxResult::NotAvailable;
    }
    state_.depthStencil->AddRef();
    *out = state_.depthStencil;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetBackBuffer(GfxSurface** out) {
    if (out == nullptr || backBuffer_ == nullptr) return GfxResult::InvalidCall;
    backBuffer_->AddRef();
    *out = backBuffer_;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetViewport(const GfxViewport& vp) {
    const GfxSurface* rt = state_.renderTarget ? state_.renderTarget : state_.depthStencil;
    if (rt == nullptr || vp.width == 0 || vp.height == 0 || u64(vp.x) + vp.width > rt->Desc().width ||
        u64(vp.y) + vp.height > rt->Desc().height)
        return GfxResult::InvalidCall;
    state_.viewport = vp;
    HoldViewport();
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetViewport(GfxViewport* out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = state_.viewport;
    return GfxResult::Ok;
}

// ---- state ---------------------------------------------------------------

GfxResult GfxDeviceCommon::SetTransform(GfxTransform which, const Mat4& m) {
    switch (which) {
        case GfxTransform::View: state_.view = m; return GfxResult::Ok;
        case GfxTransform::Projection: state_.projection = m; return GfxResult::Ok;
        case GfxTransform::Texture0: state_.texture[0] = m; return GfxResult::Ok;
        case GfxTransform::Texture1: state_.texture[1] = m; return GfxResult::Ok;
        default: break;
    }
    const u32 w = u32(which) - u32(GfxTransform::World);
    if (w >= 4) return GfxResult::InvalidCall;
    state_.world[w] = m;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetTransform(GfxTransform which, Mat4* out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    switch (which) {
        case GfxTransform::View: *out = state_.view; return GfxResult::Ok;
        case GfxTransform::Projection: *out = state_.projection; return GfxResult::Ok;
        case GfxTransform::Texture0: *out = state_.texture[0]; return GfxResult::Ok;
        case GfxTransform::Texture1: *out = state_.texture[1]; return GfxResult::Ok;
        default: break;
    }
    const u32 w = u32(which) - u32(GfxTransform::World);
    if (w >= 4) return GfxResult::InvalidCall;
    *out = state_.world[w];
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetRenderState(GfxRenderState state, u32 value) {
    if (GfxRenderStateName(state) == nullptr) return GfxResult::InvalidCall;
    state_.renderStates[u32(state)] = value;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetRenderState(GfxRenderState state, u32* out) {
    if (out == nullptr || GfxRenderStateName(state) == nullptr) return GfxResult::InvalidCall;
    *out = state_.renderStates[u32(state)];
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetSamplerState(u32 sampler, GfxSamplerState state, u32 value) {
    if (sampler >= kGfxSamplers || u32(state) == 0 || u32(state) >= kGfxSamplerStateCount) return GfxResult::InvalidCall;
    state_.samplerStates[sampler][u32(state)] = value;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetSamplerState(u32 sampler, GfxSamplerState state, u32* out) {
    if (out == nullptr || sampler >= kGfxSamplers || u32(state) == 0 || u32(state) >= kGfxSamplerStateCount)
        return GfxResult::InvalidCall;
    *out = state_.samplerStates[sampler][u32(state)];
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetTextureStageState(u32 stage, GfxStageState state, u32 value) {
    if (stage >= 8 || u32(state) == 0 || u32(state) >= kGfxStageStateCount) return GfxResult::InvalidCall;
    state_.stageStates[stage][u32(state)] = value;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetTextureStageState(u32 stage, GfxStageState state, u32* out) {
    if (out == nullptr || stage >= 8 || u32(state) == 0 || u32(state) >= kGfxStageStateCount)
        return GfxResult::InvalidCall;
    *out = state_.stageStates[stage][u32(state)];
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetTexture(u32 stage, GfxBaseTexture* texture) {
    if (stage >= kGfxSamplers) return GfxResult::InvalidCall;
    if (texture) texture->AddRef();
    if (state_.textures[stage]) state_.textures[stage]->Release();
    state_.textures[stage] = texture;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetTexture(u32 stage, GfxBaseTexture** out) {
    if (out == nullptr || stage >= kGfxSamplers) return GfxResult::InvalidCall;
    *out = state_.textures[stage];
    if (*out) (*out)->AddRef();
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetLight(u32 index, const GfxLight& light) {
    if (index >= 8) return GfxResult::InvalidCall;
    state_.lights[index] = light;
    state_.lightSet[index] = true;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetLight(u32 index, GfxLight* out) {
    if (out == nullptr || index >= 8 || !state_.lightSet[index]) return GfxResult::InvalidCall;
    *out = state_.lights[index];
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::LightEnable(u32 index, bool enable) {
    if (index >= 8) return GfxResult::InvalidCall;
    if (!state_.lightSet[index]) {
        // An unset light switched on is a white light shining along +z.
        GfxLight l;
        l.diffuse = ColorF(1, 1, 1, 0);
        l.direction = Vec3(0, 0, 1);
        state_.lights[index] = l;
        state_.lightSet[index] = true;
    }
    state_.lightOn[index] = enable;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetLightEnable(u32 index, bool* out) {
    if (out == nullptr || index >= 8) return GfxResult::InvalidCall;
    *out = state_.lightOn[index];
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetMaterial(const GfxMaterial& material) {
    state_.material = material;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetMaterial(GfxMaterial* out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = state_.material;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetFVF(u32 fvf) {
    state_.fvf = fvf;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::GetFVF(u32* out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = state_.fvf;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetStreamSource(u32 stream, GfxVertexBuffer* buffer, u32 offset, u32 stride) {
    if (stream != 0) return GfxResult::InvalidCall;
    if (buffer) buffer->AddRef();
    if (state_.stream) state_.stream->Release();
    state_.stream = buffer;
    state_.streamOffset = offset;
    state_.streamStride = stride;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetIndices(GfxIndexBuffer* buffer) {
    if (buffer) buffer->AddRef();
    if (state_.indices) state_.indices->Release();
    state_.indices = buffer;
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::SetSoftwareVertexProcessing(bool on) {
    state_.softwareVertexProcessing = on;
    return GfxResult::Ok;
}

// ---- drawing -------------------------------------------------------------

GfxResult GfxDeviceCommon::SubmitDraw(GfxDrawCall& call) {
    if (!inScene_) return GfxResult::InvalidCall;
    call.fvf = state_.fvf;
    call.layout = GfxComputeVertexLayout(state_.fvf);
    if (!call.layout.valid || call.stride < call.layout.size) return GfxResult::InvalidCall;
    call.vertexCount = GfxVertexCount(call.type, call.primitiveCount);
    if (call.primitiveCount == 0) return GfxResult::Ok;
    if (GfxPrimitiveName(call.type)[0] == '?') return GfxResult::InvalidCall;
    if (loss_ != Loss::None) return GfxResult::Ok;  // a lost device swallows draws
    DoDraw(call);
    return GfxResult::Ok;
}

namespace {
// Whether every index lies inside the vertices the caller said it uses.
bool IndicesInRange(const void* indices, GfxFormat format, u32 count, u32 minIndex, u32 numVertices, i64 base,
                    u64 vertexCapacity) {
    for (u32 i = 0; i < count; ++i) {
        const u32 idx = format == GfxFormat::Index16 ? static_cast<const u16*>(indices)[i]
                                                     : static_cast<const u32*>(indices)[i];
        if (idx < minIndex || idx - minIndex >= numVertices) return false;
        const i64 v = base + i64(idx);
        if (v < 0 || u64(v) >= vertexCapacity) return false;
    }
    return true;
}
}  // namespace

GfxDrawCall GfxDeviceCommon::StreamDraw(GfxPrimitive type, u32 primitiveCount) const {
    GfxDrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.buffer = state_.stream;
    c.vertexOffset = state_.streamOffset;
    c.stride = state_.streamStride;
    return c;
}

GfxResult GfxDeviceCommon::DrawPrimitive(GfxPrimitive type, u32 startVertex, u32 primitiveCount) {
    GfxDrawCall c = StreamDraw(type, primitiveCount);
    c.firstVertex = startVertex;
    if (c.buffer == nullptr || c.stride == 0) return GfxResult::InvalidCall;
    const u64 need = u64(c.vertexOffset) + (u64(startVertex) + GfxVertexCount(type, primitiveCount)) * c.stride;
    if (need > c.buffer->Size()) return GfxResult::InvalidCall;
    return SubmitDraw(c);
}

GfxResult GfxDeviceCommon::DrawIndexedPrimitive(GfxPrimitive type, i32 baseVertex, u32 minIndex, u32 numVertices,
                                                u32 startIndex, u32 primitiveCount) {
    GfxDrawCall c = StreamDraw(type, primitiveCount);
    c.indexed = true;
    c.indexBuffer = state_.indices;
    c.startIndex = startIndex;
    c.baseVertex = baseVertex;
    c.minIndex = minIndex;
    c.numVertices = numVertices;
    if (c.buffer == nullptr || c.indexBuffer == nullptr || c.stride == 0) return GfxResult::InvalidCall;
    c.indexFormat = c.indexBuffer->Format();
    const u32 isz = GfxFormatBytes(c.indexFormat);
    const u32 count = GfxVertexCount(type, primitiveCount);
    if ((u64(startIndex) + count) * isz > c.indexBuffer->Size()) return GfxResult::InvalidCall;
    if (c.vertexOffset > c.buffer->Size()) return GfxResult::InvalidCall;
    const u64 capacity = (c.buffer->Size() - c.vertexOffset) / c.stride;
    if (!IndicesInRange(c.indexBuffer->Data() + size_t(startIndex) * isz, c.indexFormat, count, minIndex,
                        numVertices, baseVertex, capacity))
        return GfxResult::InvalidCall;
    return SubmitDraw(c);
}

GfxResult GfxDeviceCommon::DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride) {
    if (vertices == nullptr || stride == 0) return GfxResult::InvalidCall;
    GfxDrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.userVertices = static_cast<const u8*>(vertices);
    c.stride = stride;
    return SubmitDraw(c);
}

GfxResult GfxDeviceCommon::DrawIndexedPrimitiveUP(GfxPrimitive type, u32 minIndex, u32 numVertices,
                                                  u32 primitiveCount, const void* indices, GfxFormat indexFormat,
                                                  const void* vertices, u32 stride) {
    if (vertices == nullptr || indices == nullptr || stride == 0 ||
        (indexFormat != GfxFormat::Index16 && indexFormat != GfxFormat::Index32))
        return GfxResult::InvalidCall;
    GfxDrawCall c;
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.userVertices = static_cast<const u8*>(vertices);
    c.stride = stride;
    c.indexed = true;
    c.userIndices = indices;
    c.indexFormat = indexFormat;
    c.minIndex = minIndex;
    c.numVertices = numVertices;
    // User vertices are trusted to cover [0, minIndex + numVertices).
    if (!IndicesInRange(indices, indexFormat, GfxVertexCount(type, primitiveCount), minIndex, numVertices, 0,
                        u64(minIndex) + numVertices))
        return GfxResult::InvalidCall;
    return SubmitDraw(c);
}

// ---- resources -----------------------------------------------------------

GfxResult GfxDeviceCommon::CreateTexture(u32 width, u32 height, u32 levels, u32 usage, GfxFormat format, GfxPool pool,
                                         GfxTexture** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize) return GfxResult::InvalidCall;
    // A depth texture is drawn into as a depth surface and read as depth.
    const bool depth = (usage & GfxUsageDepthStencil) != 0;
    if (depth ? format != GfxFormat::D24X8 || (usage & GfxUsageRenderTarget) : !GfxFormatIsColor(format))
        return GfxResult::InvalidCall;
    if ((usage & (GfxUsageRenderTarget | GfxUsageDepthStencil)) && pool != GfxPool::Default) return GfxResult::InvalidCall;
    try {
        *out = new GfxTexture(home_, GfxResourceType::Texture, pool, usage, format, width, height, levels);
    } catch (const std::bad_alloc&) {
        return GfxResult::OutOfMemory;
    }
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::CreateCubeTexture(u32 edge, u32 levels, u32 usage, GfxFormat format, GfxPool pool,
                                             GfxCubeTexture** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (edge == 0 || edge > kMaxTextureSize || !GfxFormatIsColor(format) || (usage & GfxUsageRenderTarget))
        return GfxResult::InvalidCall;
    try {
        *out = new GfxCubeTexture(home_, GfxResourceType::CubeTexture, pool, usage, format, edge, edge, levels);
    } catch (const std::bad_alloc&) {
        return GfxResult::OutOfMemory;
    }
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::CreateVertexBuffer(u32 bytes, u32 usage, u32 fvf, GfxPool pool, GfxVertexBuffer** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (bytes == 0) return GfxResult::InvalidCall;
    try {
        *out = new GfxVertexBuffer(home_, bytes, usage, fvf, pool);
    } catch (const std::bad_alloc&) {
        return GfxResult::OutOfMemory;
    }
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::CreateIndexBuffer(u32 bytes, u32 usage, GfxFormat format, GfxPool pool,
                                             GfxIndexBuffer** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (bytes == 0 || (format != GfxFormat::Index16 && format != GfxFormat::Index32)) return GfxResult::InvalidCall;
    try {
        *out = new GfxIndexBuffer(home_, bytes, usage, format, pool);
    } catch (const std::bad_alloc&) {
        return GfxResult::OutOfMemory;
    }
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::CreateDepthStencilSurface(u32 width, u32 height, GfxFormat format, GfxSurface** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize ||
        format != GfxFormat::D24S8)
        return GfxResult::InvalidCall;
    GfxSurfaceDesc d;
    d.format = format;
    d.usage = GfxUsageDepthStencil;
    d.pool = GfxPool::Default;
    d.width = width;
    d.height = height;
    *out = new GfxSurface(home_, d, nullptr, 0, 0, false);
    return GfxResult::Ok;
}

// ---- copies --------------------------------------------------------------

bool GfxDeviceCommon::ClampRect(const GfxSurface* s, const GfxRect* in, GfxRect* out) {
    const i32 w = i32(s->Desc().width), h = i32(s->Desc().height);
    if (in == nullptr) {
        *out = GfxRect{0, 0, w, h};
        return true;
    }
    if (in->left < 0 || in->top < 0 || in->right > w || in->bottom > h || in->left >= in->right ||
        in->top >= in->bottom)
        return false;
    *out = *in;
    return true;
}

GfxResult GfxDeviceCommon::StretchRect(GfxSurface* src, const GfxRect* srcRect, GfxSurface* dst,
                                       const GfxRect* dstRect, GfxFilter filter) {
    if (!GpuSurface(src) || !GpuSurface(dst) || src == dst) return GfxResult::InvalidCall;
    GfxRect s, d;
    if (!ClampRect(src, srcRect, &s) || !ClampRect(dst, dstRect, &d)) return GfxResult::InvalidCall;
    if (loss_ == Loss::None) DoStretchRect(src, s, dst, d, filter);
    return GfxResult::Ok;
}

GfxResult GfxDeviceCommon::ColorFill(GfxSurface* surface, const GfxRect* rect, u32 color) {
    if (surface == nullptr || !GfxFormatIsColor(surface->Desc().format)) return GfxResult::InvalidCall;
    GfxRect r;
    if (!ClampRect(surface, rect, &r)) return GfxResult::InvalidCall;
    if (GpuSurface(surface)) {
        if (loss_ == Loss::None) DoColorFill(surface, r, color);
        return GfxResult::Ok;
    }
    GfxLockedRect lr;
    const GfxResult res = surface->LockRect(&lr, &r, 0);
    if (res != GfxResult::Ok) return res;
    const GfxFormat f = surface->Desc().format;
    const u32 bpp = GfxFormatBytes(f);
    u8 px[8];
    ArgbToPixel(f, color, px);
    for (i32 y = 0; y < r.Height(); ++y) {
        u8* row = static_cast<u8*>(lr.bits) + size_t(y) * lr.pitch;
        for (i32 x = 0; x < r.Width(); ++x) std::copy(px, px + bpp, row + size_t(x) * bpp);
    }
    return surface->UnlockRect();
}

GfxResult GfxDeviceCommon::ReadPixels(GfxSurface* surface, const GfxRect* rect, std::vector<u32>* out) {
    if (surface == nullptr || out == nullptr || !GfxFormatIsColor(surface->Desc().format)) return GfxResult::InvalidCall;
    GfxRect r;
    if (!ClampRect(surface, rect, &r)) return GfxResult::InvalidCall;
    out->assign(size_t(r.Width()) * r.Height(), 0);
    if (GpuSurface(surface)) {
        DoReadPixels(surface, r, out);
        return GfxResult::Ok;
    }
    GfxBaseTexture* t = surface->Container();
    if (t == nullptr) return GfxResult::InvalidCall;
    const std::vector<u8>& data = t->LevelData(surface->Face(), surface->Level());
    const GfxFormat f = surface->Desc().format;
    const u32 bpp = GfxFormatBytes(f), pitch = t->LevelPitch(surface->Level());
    for (i32 y = 0; y < r.Height(); ++y)
        for (i32 x = 0; x < r.Width(); ++x)
            (*out)[size_t(y) * r.Width() + x] =
                PixelToArgb(f, data.data() + size_t(r.top + y) * pitch + size_t(r.left + x) * bpp);
    return GfxResult::Ok;
}

}  // namespace plat
