#pragma once
// The headless graphics backend: draws nothing and records every call in
// order, so drawing code can be tested without a display. It can refuse
// device creation and simulate a lost device and its reset.
#include <string>
#include <vector>

#include "platform/gfx/GfxDeviceCommon.h"

namespace plat {

struct GfxRecorderOptions {
    // Device creations refused before one succeeds.
    u32 refuseDevices = 0;
};
// Applies to systems made after the call; also clears the creation log.
void SetGfxRecorderOptions(const GfxRecorderOptions& options);
// One line per CreateDevice request since the options were last set:
// "Hal 0x44 refused", "Ref 0x24 made".
std::vector<std::string> GfxRecorderCreationLog();

struct GfxRecordedCall {
    std::string text;           // e.g. "SetRenderState ZEnable 0", "DrawPrimitiveUP TriangleStrip 2"
    std::vector<u8> vertices;   // draws: the vertices used, stride bytes each
    u32 stride = 0;
    u32 fvf = 0;
    std::vector<u32> indices;   // indexed draws
};

class GfxRecorderDevice : public GfxDeviceCommon {
public:
    GfxRecorderDevice(const GfxPresentParams& params, const GfxCaps& caps);

    const std::vector<GfxRecordedCall>& Calls() const { return calls_; }
    std::vector<std::string> CallTexts() const;
    void ClearCalls() { calls_.clear(); }
    // Off: calls still run and are checked, but nothing is recorded, for
    // runs that only want the battle (benchmarks, long headless battles).
    void SetRecording(bool on) { recording_ = on; }
    // Texts of the calls whose text starts with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

    // The device is lost: Present and TestCooperativeLevel report DeviceLost.
    void SimulateLoss();
    // The lost device may now be reset (TestCooperativeLevel: DeviceNotReset).
    void AllowReset();
    // The next Reset fails with this result instead of resetting.
    void FailNextReset(GfxResult result) { failReset_ = result; }
    u32 PresentCount() const { return presents_; }
    u32 ResetCount() const { return resets_; }
    // Name of a surface or texture in the recording ("backbuffer", "tex#3.0").
    static std::string NameOf(const GfxResource* r);

    GfxResult TestCooperativeLevel() override;
    GfxResult Reset(GfxPresentParams* params) override;
    GfxResult BeginScene() override;
    GfxResult EndScene() override;
    GfxResult Present(Window* destWindow) override;
    GfxResult Clear(u32 flags, u32 color, float z, u32 stencil) override;
    GfxResult SetRenderTarget(u32 index, GfxSurface* surface) override;
    GfxResult SetDepthStencilSurface(GfxSurface* surface) override;
    GfxResult SetViewport(const GfxViewport& viewport) override;
    GfxResult SetTransform(GfxTransform which, const Mat4& m) override;
    GfxResult SetRenderState(GfxRenderState state, u32 value) override;
    GfxResult SetSamplerState(u32 sampler, GfxSamplerState state, u32 value) override;
    GfxResult SetTextureStageState(u32 stage, GfxStageState state, u32 value) override;
    GfxResult SetTexture(u32 stage, GfxBaseTexture* texture) override;
    GfxResult SetLight(u32 index, const GfxLight& light) override;
    GfxResult LightEnable(u32 index, bool enable) override;
    GfxResult SetMaterial(const GfxMaterial& material) override;
    GfxResult SetFVF(u32 fvf) override;
    GfxResult SetStreamSource(u32 stream, GfxVertexBuffer* buffer, u32 offset, u32 stride) override;
    GfxResult SetIndices(GfxIndexBuffer* buffer) override;
    GfxResult SetSoftwareVertexProcessing(bool on) override;
    GfxResult DrawPrimitive(GfxPrimitive type, u32 startVertex, u32 primitiveCount) override;
    GfxResult DrawIndexedPrimitive(GfxPrimitive type, i32 baseVertex, u32 minIndex, u32 numVertices, u32 startIndex,
                                   u32 primitiveCount) override;
    GfxResult DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride) override;
    GfxResult DrawIndexedPrimitiveUP(GfxPrimitive type, u32 minIndex, u32 numVertices, u32 primitiveCount,
                                     const void* indices, GfxFormat indexFormat, const void* vertices,
                                     u32 stride) override;
    GfxResult StretchRect(GfxSurface* src, const GfxRect* srcRect, GfxSurface* dst, const GfxRect* dstRect,
                          GfxFilter filter) override;
    GfxResult ColorFill(GfxSurface* surface, const GfxRect* rect, u32 color) override;

protected:
    void DoDraw(const GfxDrawCall& call) override;
    void DoClear(u32, u32, float, u32) override {}
    GfxResult DoPresent(Window* destWindow) override;
    void DoStretchRect(GfxSurface*, const GfxRect&, GfxSurface*, const GfxRect&, GfxFilter) override {}
    void DoColorFill(GfxSurface*, const GfxRect&, u32) override {}
    void DoReadPixels(GfxSurface*, const GfxRect&, std::vector<u32>*) override {}

private:
    void Log(std::string text, GfxResult r);
    std::vector<GfxRecordedCall> calls_;
    GfxRecordedCall pendingDraw_;
    bool drawCaptured_ = false;
    bool recording_ = true;
    GfxResult failReset_ = GfxResult::Ok;
    u32 presents_ = 0;
    u32 resets_ = 0;
};

// The recorder behind a device, or null for another backend.
GfxRecorderDevice* AsRecorder(GfxDevice* device);

// The system object of the recorder backend (CreateGfxSystem makes it when
// the recorder is selected).
GfxSystem* CreateGfxRecorderSystem();

}  // namespace plat
