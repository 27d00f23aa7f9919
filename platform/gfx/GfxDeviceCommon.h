#pragma once
// State keeping, validation, resource creation and the lost/reset life shared
// by the OpenGL and the recording backends. A backend supplies the Do* steps.
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/gfx/Gfx.h"

namespace plat {

struct GfxResourceHome {
    struct Grave {
        GfxResourceType type;
        u32 name;
        u32 kind;
    };
    void Bury(GfxResourceType type, u32 name, u32 kind);
    std::vector<Grave> TakeGraves();

    std::mutex mutex;
    std::vector<Grave> graves;
    bool deviceAlive = true;
    std::atomic<u32> liveDefault{0};
    std::atomic<u32> nextId{1};
};

// Where a draw's vertices and indices come from, validated.
struct GfxDrawCall {
    GfxPrimitive type = GfxPrimitive::TriangleList;
    u32 primitiveCount = 0;
    u32 vertexCount = 0;     // vertices the primitives use (indices for indexed draws)
    u32 fvf = 0;
    GfxVertexLayout layout;
    // Vertices: user memory, or a buffer from byte `vertexOffset`.
    const u8* userVertices = nullptr;
    GfxVertexBuffer* buffer = nullptr;
    u32 vertexOffset = 0;
    u32 stride = 0;
    u32 firstVertex = 0;     // non-indexed: first vertex drawn
    // Indices: none, user memory, or a buffer from index `startIndex`.
    bool indexed = false;
    const void* userIndices = nullptr;
    GfxIndexBuffer* indexBuffer = nullptr;
    GfxFormat indexFormat = GfxFormat::Index16;
    u32 startIndex = 0;
    i32 baseVertex = 0;
    u32 minIndex = 0;
    u32 numVertices = 0;
};

struct GfxPipelineState {
    Mat4 view, projection;
    Mat4 world[4];
    Mat4 texture[kGfxStages];
    u32 renderStates[kGfxRenderStateCount] = {};
    u32 stageStates[8][kGfxStageStateCount] = {};
    u32 samplerStates[kGfxSamplers][kGfxSamplerStateCount] = {};
    GfxBaseTexture* textures[kGfxSamplers] = {};
    GfxLight lights[8];
    bool lightSet[8] = {};
    bool lightOn[8] = {};
    GfxMaterial material;
    u32 fvf = 0;
    GfxVertexBuffer* stream = nullptr;
    u32 streamOffset = 0, streamStride = 0;
    GfxIndexBuffer* indices = nullptr;
    GfxSurface* renderTarget = nullptr;
    GfxSurface* depthStencil = nullptr;
    GfxViewport viewport;
    bool softwareVertexProcessing = false;
};

class GfxDeviceCommon : public GfxDevice {
public:
    GfxResult TestCooperativeLevel() override;
    GfxResult Reset(GfxPresentParams* params) override;
    GfxResult BeginScene() override;
    GfxResult EndScene() override;
    GfxResult Present(Window* destWindow) override;
    GfxResult Clear(u32 flags, u32 color, float z, u32 stencil) override;
    const GfxCaps& GetCaps() const override { return caps_; }
    const GfxPresentParams& GetPresentParams() const override { return params_; }

    GfxResult SetRenderTarget(u32 index, GfxSurface* surface) override;
    GfxResult GetRenderTarget(u32 index, GfxSurface** out) override;
    GfxResult SetDepthStencilSurface(GfxSurface* surface) override;
    GfxResult GetDepthStencilSurface(GfxSurface** out) override;
    GfxResult GetBackBuffer(GfxSurface** out) override;
    GfxResult SetViewport(const GfxViewport& viewport) override;
    GfxResult GetViewport(GfxViewport* out) override;

    GfxResult SetTransform(GfxTransform which, const Mat4& m) override;
    GfxResult GetTransform(GfxTransform which, Mat4* out) override;
    GfxResult SetRenderState(GfxRenderState state, u32 value) override;
    GfxResult GetRenderState(GfxRenderState state, u32* out) override;
    GfxResult SetSamplerState(u32 sampler, GfxSamplerState state, u32 value) override;
    GfxResult GetSamplerState(u32 sampler, GfxSamplerState state, u32* out) override;
    GfxResult SetTextureStageState(u32 stage, GfxStageState state, u32 value) override;
    GfxResult GetTextureStageState(u32 stage, GfxStageState state, u32* out) override;
    GfxResult SetTexture(u32 stage, GfxBaseTexture* texture) override;
    GfxResult GetTexture(u32 stage, GfxBaseTexture** out) override;
    GfxResult SetLight(u32 index, const GfxLight& light) override;
    GfxResult GetLight(u32 index, GfxLight* out) override;
    GfxResult LightEnable(u32 index, bool enable) override;
    GfxResult GetLightEnable(u32 index, bool* out) override;
    GfxResult SetMaterial(const GfxMaterial& material) override;
    GfxResult GetMaterial(GfxMaterial* out) override;
    GfxResult SetFVF(u32 fvf) override;
    GfxResult GetFVF(u32* out) override;
    GfxResult SetStreamSource(u32 stream, GfxVertexBuffer* buffer, u32 offset, u32 stride) override;
    GfxResult SetIndices(GfxIndexBuffer* buffer) override;
    GfxResult SetSoftwareVertexProcessing(bool on) override;
    bool GetSoftwareVertexProcessing() override { return state_.softwareVertexProcessing; }

    GfxResult DrawPrimitive(GfxPrimitive type, u32 startVertex, u32 primitiveCount) override;
    GfxResult DrawIndexedPrimitive(GfxPrimitive type, i32 baseVertex, u32 minIndex, u32 numVertices, u32 startIndex,
                                   u32 primitiveCount) override;
    GfxResult DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride) override;
    GfxResult DrawIndexedPrimitiveUP(GfxPrimitive type, u32 minIndex, u32 numVertices, u32 primitiveCount,
                                     const void* indices, GfxFormat indexFormat, const void* vertices,
                                     u32 stride) override;

    GfxResult CreateTexture(u32 width, u32 height, u32 levels, u32 usage, GfxFormat format, GfxPool pool,
                            GfxTexture** out) override;
    GfxResult CreateCubeTexture(u32 edge, u32 levels, u32 usage, GfxFormat format, GfxPool pool,
                                GfxCubeTexture** out) override;
    GfxResult CreateVertexBuffer(u32 bytes, u32 usage, u32 fvf, GfxPool pool, GfxVertexBuffer** out) override;
    GfxResult CreateIndexBuffer(u32 bytes, u32 usage, GfxFormat format, GfxPool pool, GfxIndexBuffer** out) override;
    GfxResult CreateDepthStencilSurface(u32 width, u32 height, GfxFormat format, GfxSurface** out) override;

    GfxResult StretchRect(GfxSurface* src, const GfxRect* srcRect, GfxSurface* dst, const GfxRect* dstRect,
                          GfxFilter filter) override;
    GfxResult ColorFill(GfxSurface* surface, const GfxRect* rect, u32 color) override;
    GfxResult ReadPixels(GfxSurface* surface, const GfxRect* rect, std::vector<u32>* out) override;
    u32 LiveDefaultPoolResources() const override { return home_->liveDefault.load(); }

    const GfxPipelineState& State() const { return state_; }
    bool InScene() const { return inScene_; }

    // Largest texture edge either backend accepts.
    static constexpr u32 kMaxTextureSize = 8192;

protected:
    GfxDeviceCommon(const GfxPresentParams& params, const GfxCaps& caps);
    ~GfxDeviceCommon() override;

    enum class Loss { None, Lost, Resettable };

    // Backend steps. Surfaces handed in are validated.
    virtual void DoDraw(const GfxDrawCall& call) = 0;
    virtual void DoClear(u32 flags, u32 color, float z, u32 stencil) = 0;
    virtual GfxResult DoPresent(Window* destWindow) = 0;
    virtual void DoStretchRect(GfxSurface* src, const GfxRect& srcRect, GfxSurface* dst, const GfxRect& dstRect,
                               GfxFilter filter) = 0;
    virtual void DoColorFill(GfxSurface* surface, const GfxRect& rect, u32 color) = 0;
    virtual void DoReadPixels(GfxSurface* surface, const GfxRect& rect, std::vector<u32>* out) = 0;
    // Called after the back buffer and depth surface were (re)made.
    virtual void OnBackBufferMade() {}

    // Makes the back buffer and automatic depth surface of params_.
    void MakeBackBuffers();
    void SetDefaultStates();
    void ReleaseBindings();
    static bool GpuSurface(const GfxSurface* s);
    // In a held frame (FrameHold.h) the back buffer's viewport is one pixel.
    void HoldViewport();

    GfxPresentParams params_;
    GfxCaps caps_;
    std::shared_ptr<GfxResourceHome> home_;
    GfxPipelineState state_;
    GfxSurface* backBuffer_ = nullptr;
    GfxSurface* autoDepth_ = nullptr;
    Loss loss_ = Loss::None;
    bool inScene_ = false;
    bool heldFrame_ = false;
    GfxViewport keptViewport_;

private:
    // A draw from the current stream source, before its own fields.
    GfxDrawCall StreamDraw(GfxPrimitive type, u32 primitiveCount) const;
    GfxResult SubmitDraw(GfxDrawCall& call);
    static bool ClampRect(const GfxSurface* s, const GfxRect* in, GfxRect* out);
};

}  // namespace plat
