#pragma once
// The game's graphics device: a fixed-function style device with textures,
// surfaces, vertex and index buffers, shaped by what the engine draws. Two
// backends stand behind it: OpenGL 3.3 core (the fixed-function pipeline is
// emulated by our own GLSL) and a headless recorder that draws nothing and
// keeps a list of the calls for tests.
//
// Direct3D 9 conventions, which the engine code and the data are written for:
// row-vector matrices (v x World x View x Projection), clip depth 0..1,
// pixel centres on integer coordinates for pre-transformed vertices, clockwise
// front faces, texture row 0 at the top, colours as 0xAARRGGBB. The numeric
// values of formats, states and flags are Direct3D 9's too, so
// values stored in data files and settings keep their meaning.
//
// Objects are reference counted: a creator holds one reference and gives it up
// with Release(). Resources are CPU-side objects that any thread may create
// and fill; the GL backend uploads them on the main thread at first use.
// Drawing, presenting and the lost-device calls belong to the main thread.
#include <atomic>
#include <memory>
#include <vector>

#include "platform/math/MathTypes.h"
#include "platform/mesh/Mesh.h"
#include "platform/core/Types.h"

namespace plat {

class Window;

// ---- results -----------------------------------------------------------

enum class GfxResult : i32 {
    Ok = 0,
    Fail,
    InvalidCall,
    NotAvailable,       // the requested device or format cannot be made
    OutOfMemory,
    OutOfVideoMemory,
    DeviceLost,         // lost and cannot be reset yet
    DeviceNotReset,     // lost and can be reset now
    DriverInternalError,
};

inline bool Succeeded(GfxResult r) { return r == GfxResult::Ok; }
const char* GfxResultName(GfxResult r);

// ---- formats, pools, usages --------------------------------------------

enum class GfxFormat : u32 {
    Unknown = 0,
    R8G8B8 = 20,         // 3 bytes: B, G, R
    A8R8G8B8 = 21,       // 4 bytes: B, G, R, A
    X8R8G8B8 = 22,       // 4 bytes: B, G, R, unused (reads as opaque)
    D24S8 = 75,          // depth and stencil only
    D24X8 = 77,          // depth only; a depth texture of it reads as its depth
    Index16 = 101,
    Index32 = 102,
    A16B16G16R16F = 113, // 4 half floats: R, G, B, A
    R32F = 114,          // one float (reads as (r, 1, 1, 1))
};

// Bytes per pixel of a colour format; 0 for others.
u32 GfxFormatBytes(GfxFormat f);
bool GfxFormatIsColor(GfxFormat f);
bool GfxFormatIsDepth(GfxFormat f);
bool GfxFormatHasAlpha(GfxFormat f);
const char* GfxFormatName(GfxFormat f);

enum class GfxPool : u32 { Default = 0, Managed = 1, SystemMem = 2 };

enum GfxUsage : u32 {
    GfxUsageRenderTarget = 0x1,
    GfxUsageDepthStencil = 0x2,
    GfxUsageWriteOnly = 0x8,
    GfxUsageDynamic = 0x200,
};

enum GfxLockFlags : u32 {
    GfxLockReadOnly = 0x10,
    GfxLockDiscard = 0x2000,
};

enum class GfxResourceType : u32 { Surface = 1, Texture = 3, CubeTexture = 5, VertexBuffer = 6, IndexBuffer = 7 };

enum class GfxCubeFace : u32 { PositiveX = 0, NegativeX, PositiveY, NegativeY, PositiveZ, NegativeZ };

// ---- vertex formats ------------------------------------------------------

// Vertex format bits (FvfXyz, FvfXyzRhw, FvfDiffuse, FvfTex1, ...) are the
// ones platform/mesh/Mesh.h defines for meshes; both layers share them.

// Where each part of a vertex lies, from a vertex format.
struct GfxVertexLayout {
    bool valid = false;
    bool pretransformed = false;
    u32 positionFloats = 0;  // 3 or 4
    u32 weights = 0;         // blend weights (floats) after the position
    bool lastBetaUByte4 = false;
    i32 normal = -1, psize = -1, diffuse = -1, specular = -1;  // byte offsets, -1 absent
    u32 texCount = 0;
    i32 texOffset[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    u32 texSize[8] = {};
    u32 size = 0;            // bytes per vertex
};
GfxVertexLayout GfxComputeVertexLayout(u32 fvf);

// ---- pipeline state values ----------------------------------------------

enum class GfxPrimitive : u32 { PointList = 1, LineList = 2, LineStrip = 3, TriangleList = 4, TriangleStrip = 5, TriangleFan = 6 };
// Vertices used by count primitives of a kind.
u32 GfxVertexCount(GfxPrimitive type, u32 primitiveCount);
const char* GfxPrimitiveName(GfxPrimitive type);

enum class GfxTransform : u32 {
    View = 2, Projection = 3, Texture0 = 16, Texture1 = 17, World = 256, World1 = 257, World2 = 258, World3 = 259,
};
inline constexpr GfxTransform GfxWorldMatrix(u32 index) { return GfxTransform(256 + index); }

enum class GfxRenderState : u32 {
    ZEnable = 7, FillMode = 8, ShadeMode = 9, ZWriteEnable = 14, AlphaTestEnable = 15,
    SrcBlend = 19, DestBlend = 20, CullMode = 22, ZFunc = 23, AlphaRef = 24, AlphaFunc = 25,
    AlphaBlendEnable = 27, FogEnable = 28, SpecularEnable = 29, FogColor = 34, FogTableMode = 35,
    FogStart = 36, FogEnd = 37, FogDensity = 38, RangeFogEnable = 48,
    StencilEnable = 52, StencilFail = 53, StencilZFail = 54, StencilPass = 55, StencilFunc = 56,
    StencilRef = 57, StencilMask = 58, StencilWriteMask = 59, TextureFactor = 60,
    Lighting = 137, Ambient = 139, FogVertexMode = 140, ColorVertex = 141, LocalViewer = 142,
    NormalizeNormals = 143, DiffuseMaterialSource = 145, SpecularMaterialSource = 146,
    AmbientMaterialSource = 147, EmissiveMaterialSource = 148, VertexBlend = 151,
    PointSize = 154, ColorWriteEnable = 168, BlendOp = 171,
};
inline constexpr u32 kGfxRenderStateCount = 256;
const char* GfxRenderStateName(GfxRenderState s);

enum GfxCmp : u32 { CmpNever = 1, CmpLess, CmpEqual, CmpLessEqual, CmpGreater, CmpNotEqual, CmpGreaterEqual, CmpAlways };
enum GfxBlend : u32 {
    BlendZero = 1, BlendOne, BlendSrcColor, BlendInvSrcColor, BlendSrcAlpha, BlendInvSrcAlpha,
    BlendDestAlpha, BlendInvDestAlpha, BlendDestColor, BlendInvDestColor, BlendSrcAlphaSat,
};
enum GfxBlendOp : u32 { BlendOpAdd = 1, BlendOpSubtract, BlendOpRevSubtract, BlendOpMin, BlendOpMax };
enum GfxCull : u32 { CullNone = 1, CullCW = 2, CullCCW = 3 };
enum GfxFog : u32 { FogNone = 0, FogExp = 1, FogExp2 = 2, FogLinear = 3 };
enum GfxStencilOp : u32 { StencilKeep = 1, StencilZero, StencilReplace, StencilIncrSat, StencilDecrSat, StencilInvert, StencilIncr, StencilDecr };
enum GfxShade : u32 { ShadeFlat = 1, ShadeGouraud = 2 };
enum GfxFill : u32 { FillPoint = 1, FillWireframe = 2, FillSolid = 3 };
enum GfxMaterialSource : u32 { MaterialSourceMaterial = 0, MaterialSourceColor1 = 1, MaterialSourceColor2 = 2 };

enum class GfxStageState : u32 {
    ColorOp = 1, ColorArg1 = 2, ColorArg2 = 3, AlphaOp = 4, AlphaArg1 = 5, AlphaArg2 = 6, TexCoordIndex = 11,
    TextureTransformFlags = 24,
};
// A stage's texture matrix is used while its TextureTransformFlags hold a
// count: two-element coordinates go in as (u, v, 1, 0), so the third row
// shifts them, and the first two results are read.
enum GfxTextureTransform : u32 { TtfDisable = 0, TtfCount1 = 1, TtfCount2 = 2, TtfCount3 = 3, TtfCount4 = 4 };
inline constexpr u32 kGfxStageStateCount = 33;
inline constexpr u32 kGfxStages = 2;  // texture stages the fixed pipeline blends
inline constexpr u32 kGfxSamplers = 8;

enum GfxTextureOp : u32 {
    TopDisable = 1, TopSelectArg1, TopSelectArg2, TopModulate, TopModulate2x, TopModulate4x,
    TopAdd, TopAddSigned, TopAddSigned2x, TopSubtract, TopAddSmooth, TopBlendDiffuseAlpha,
    TopBlendTextureAlpha, TopBlendFactorAlpha,
};
enum GfxTextureArg : u32 {
    TaDiffuse = 0, TaCurrent = 1, TaTexture = 2, TaTFactor = 3, TaSpecular = 4,
    TaComplement = 0x10, TaAlphaReplicate = 0x20,
};

enum class GfxSamplerState : u32 {
    AddressU = 1, AddressV = 2, AddressW = 3, BorderColor = 4, MagFilter = 5, MinFilter = 6,
    MipFilter = 7, MipMapLodBias = 8, MaxMipLevel = 9,
};
inline constexpr u32 kGfxSamplerStateCount = 14;
enum GfxAddress : u32 { AddressWrap = 1, AddressMirror = 2, AddressClamp = 3, AddressBorder = 4 };
enum GfxFilter : u32 { FilterNone = 0, FilterPoint = 1, FilterLinear = 2, FilterAnisotropic = 3 };

enum GfxClearFlags : u32 { ClearTarget = 1, ClearZBuffer = 2, ClearStencil = 4 };

// Float states (fog start, point size, LOD bias) travel as their bits.
u32 GfxFloatBits(float f);
float GfxBitsFloat(u32 bits);

// ---- records ---------------------------------------------------------------

struct GfxRect {
    i32 left = 0, top = 0, right = 0, bottom = 0;
    i32 Width() const { return right - left; }
    i32 Height() const { return bottom - top; }
};

struct GfxViewport {
    u32 x = 0, y = 0, width = 0, height = 0;
    float minZ = 0.0f, maxZ = 1.0f;
};

enum class GfxLightType : u32 { Point = 1, Spot = 2, Directional = 3 };

struct GfxLight {
    GfxLightType type = GfxLightType::Directional;
    ColorF diffuse, specular, ambient;
    Vec3 position, direction;
    float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0, theta = 0, phi = 0;
};

struct GfxMaterial {
    ColorF diffuse, ambient, specular, emissive;
    float power = 0;
};

struct GfxLockedRect {
    i32 pitch = 0;
    void* bits = nullptr;
};

struct GfxSurfaceDesc {
    GfxFormat format = GfxFormat::Unknown;
    GfxResourceType type = GfxResourceType::Surface;
    u32 usage = 0;
    GfxPool pool = GfxPool::Default;
    u32 width = 0, height = 0;
};

struct GfxDisplayMode {
    u32 width = 0, height = 0, refreshRate = 0;
    GfxFormat format = GfxFormat::Unknown;
};

struct GfxPresentParams {
    u32 backBufferWidth = 0;   // 0 in windowed mode: the window's client size
    u32 backBufferHeight = 0;
    GfxFormat backBufferFormat = GfxFormat::Unknown;
    u32 backBufferCount = 1;
    bool windowed = true;
    Window* deviceWindow = nullptr;
    bool enableAutoDepthStencil = true;
    GfxFormat autoDepthStencilFormat = GfxFormat::D24S8;
    bool presentImmediately = true;  // no wait for vertical blank
};

struct GfxCaps {
    u32 maxVertexBlendMatrices = 4;
    u32 maxVertexBlendMatrixIndex = 0;
    u32 vertexShaderVersion = 0;  // 0xFFFE0000 | major << 8 | minor
    u32 pixelShaderVersion = 0;   // 0xFFFF0000 | major << 8 | minor
    u32 maxTextureWidth = 0, maxTextureHeight = 0;
    u32 maxSimultaneousTextures = kGfxStages;
    u32 maxActiveLights = 4;
};
inline constexpr u32 GfxVertexShaderVersion(u32 major, u32 minor) { return 0xFFFE0000u | (major << 8) | minor; }
inline constexpr u32 GfxPixelShaderVersion(u32 major, u32 minor) { return 0xFFFF0000u | (major << 8) | minor; }

enum class GfxDeviceType : u32 { Hal = 1, Ref = 2 };
enum GfxBehavior : u32 {
    GfxBehaviorMultithreaded = 0x4,
    GfxBehaviorSoftwareVertexProcessing = 0x20,
    GfxBehaviorHardwareVertexProcessing = 0x40,
};

// ---- objects ---------------------------------------------------------------

class GfxObject {
public:
    GfxObject() = default;
    GfxObject(const GfxObject&) = delete;
    GfxObject& operator=(const GfxObject&) = delete;
    virtual u32 AddRef();
    // Gives up one reference; the object is destroyed at zero. Returns the
    // references left.
    virtual u32 Release();
    u32 RefCount() const { return refs_.load(); }

protected:
    virtual ~GfxObject() = default;

private:
    std::atomic<u32> refs_{1};
};

// Shared between a device and its resources: GL names of destroyed resources
// wait here until the main thread deletes them.
struct GfxResourceHome;

// Backend bookkeeping inside a resource; touched only by the backend on the
// main thread.
struct GfxNative {
    u32 name = 0;       // texture, buffer or renderbuffer name
    u32 kind = 0;       // backend's own tag for the name
    u32 uploaded = 0;   // content version last uploaded
};

class GfxResource : public GfxObject {
public:
    GfxResourceType Type() const { return type_; }
    GfxPool Pool() const { return pool_; }
    u32 Usage() const { return usage_; }
    // Content version: grows with every unlock so backends know to upload.
    u32 Version() const { return version_.load(); }
    void Touch() { version_.fetch_add(1); }
    GfxNative native;
    u32 Id() const { return id_; }  // creation number, for recordings

protected:
    GfxResource(std::shared_ptr<GfxResourceHome> home, GfxResourceType type, GfxPool pool, u32 usage);
    ~GfxResource() override;
    // Counts towards the default-pool resources that block a Reset.
    void CountAsDefault();
    std::shared_ptr<GfxResourceHome> home_;

private:
    bool counted_ = false;
    GfxResourceType type_;
    GfxPool pool_;
    u32 usage_;
    u32 id_;
    std::atomic<u32> version_{1};
};

class GfxSurface;

class GfxBaseTexture : public GfxResource {
public:
    GfxFormat Format() const { return format_; }
    u32 GetLevelCount() const { return levels_; }
    // Drawn into by the device, in colour or (a depth texture) in depth.
    bool IsRenderTarget() const { return (Usage() & (GfxUsageRenderTarget | GfxUsageDepthStencil)) != 0; }
    // Pixel storage of one level of one face (cube face 0..5, else 0);
    // empty for render targets, which live in the backend only.
    std::vector<u8>& LevelData(u32 face, u32 level) { return data_[face * levels_ + level]; }
    u32 LevelWidth(u32 level) const;
    u32 LevelHeight(u32 level) const;
    u32 LevelPitch(u32 level) const { return LevelWidth(level) * GfxFormatBytes(format_); }
    u32 Faces() const { return Type() == GfxResourceType::CubeTexture ? 6 : 1; }
    // Whether every texel of every level is fully opaque: always for formats
    // without alpha, never for render targets or half-float pictures, else
    // found by reading the alpha bytes once per change of the texture.
    bool Opaque() const;

protected:
    friend class GfxSurface;
    GfxBaseTexture(std::shared_ptr<GfxResourceHome> home, GfxResourceType type, GfxPool pool, u32 usage,
                   GfxFormat format, u32 width, u32 height, u32 levels);
    ~GfxBaseTexture() override;
    GfxResult Lock(u32 face, u32 level, GfxLockedRect* out, const GfxRect* rect, u32 flags);
    GfxResult Unlock(u32 face, u32 level);
    GfxSurface* Surface(u32 face, u32 level);

    GfxFormat format_;
    u32 width_, height_, levels_;
    std::vector<std::vector<u8>> data_;
    std::vector<GfxSurface*> surfaces_;  // owned, made on first request
    std::vector<u8> locked_;
    mutable u32 opaqueVersion_ = 0;  // the version Opaque last read; 0 never
    mutable bool opaque_ = false;
};

class GfxTexture : public GfxBaseTexture {
public:
    u32 Width() const { return width_; }
    u32 Height() const { return height_; }
    GfxResult GetLevelDesc(u32 level, GfxSurfaceDesc* out) const;
    // The surface of a level, with a reference added (give it back with Release).
    GfxResult GetSurfaceLevel(u32 level, GfxSurface** out);
    GfxResult LockRect(u32 level, GfxLockedRect* out, const GfxRect* rect, u32 flags);
    GfxResult UnlockRect(u32 level);

private:
    friend class GfxDeviceCommon;
    using GfxBaseTexture::GfxBaseTexture;
};

class GfxCubeTexture : public GfxBaseTexture {
public:
    u32 EdgeLength() const { return width_; }
    GfxResult GetLevelDesc(u32 level, GfxSurfaceDesc* out) const;
    GfxResult GetCubeMapSurface(GfxCubeFace face, u32 level, GfxSurface** out);
    GfxResult LockRect(GfxCubeFace face, u32 level, GfxLockedRect* out, const GfxRect* rect, u32 flags);
    GfxResult UnlockRect(GfxCubeFace face, u32 level);

private:
    friend class GfxDeviceCommon;
    using GfxBaseTexture::GfxBaseTexture;
};

// A 2D picture: one level of a texture, or a stand-alone depth-stencil or
// back-buffer surface. A texture's surface shares the texture's references.
class GfxSurface : public GfxResource {
public:
    u32 AddRef() override;
    u32 Release() override;
    GfxResult GetDesc(GfxSurfaceDesc* out) const;
    const GfxSurfaceDesc& Desc() const { return desc_; }
    // The texture this surface belongs to (no reference added); null for
    // stand-alone surfaces.
    GfxBaseTexture* Container() const { return container_; }
    u32 Face() const { return face_; }
    u32 Level() const { return level_; }
    bool IsBackBuffer() const { return backBuffer_; }
    GfxResult LockRect(GfxLockedRect* out, const GfxRect* rect, u32 flags);
    GfxResult UnlockRect();

private:
    friend class GfxBaseTexture;
    friend class GfxDeviceCommon;
    GfxSurface(std::shared_ptr<GfxResourceHome> home, const GfxSurfaceDesc& desc, GfxBaseTexture* container,
               u32 face, u32 level, bool backBuffer);
    ~GfxSurface() override = default;
    GfxSurfaceDesc desc_;
    GfxBaseTexture* container_;
    u32 face_, level_;
    bool backBuffer_;
};

class GfxVertexBuffer : public GfxResource {
public:
    u32 Size() const { return u32(data_.size()); }
    u32 Fvf() const { return fvf_; }
    // offset and size 0 lock the whole buffer.
    GfxResult Lock(u32 offset, u32 size, void** out, u32 flags);
    GfxResult Unlock();
    const u8* Data() const { return data_.data(); }

private:
    friend class GfxDeviceCommon;
    GfxVertexBuffer(std::shared_ptr<GfxResourceHome> home, u32 bytes, u32 usage, u32 fvf, GfxPool pool);
    std::vector<u8> data_;
    u32 fvf_;
    bool locked_ = false;
};

class GfxIndexBuffer : public GfxResource {
public:
    u32 Size() const { return u32(data_.size()); }
    GfxFormat Format() const { return format_; }
    GfxResult Lock(u32 offset, u32 size, void** out, u32 flags);
    GfxResult Unlock();
    const u8* Data() const { return data_.data(); }

private:
    friend class GfxDeviceCommon;
    GfxIndexBuffer(std::shared_ptr<GfxResourceHome> home, u32 bytes, u32 usage, GfxFormat format, GfxPool pool);
    std::vector<u8> data_;
    GfxFormat format_;
    bool locked_ = false;
};

// ---- the device -----------------------------------------------------------

class GfxDevice : public GfxObject {
public:
    // Presentation and device loss.
    virtual GfxResult TestCooperativeLevel() = 0;
    virtual GfxResult Reset(GfxPresentParams* params) = 0;
    virtual GfxResult BeginScene() = 0;
    virtual GfxResult EndScene() = 0;
    // Shows the back buffer in the device window, or in another window (the
    // stereo views) when one is given.
    virtual GfxResult Present(Window* destWindow = nullptr) = 0;
    virtual GfxResult Clear(u32 flags, u32 color, float z, u32 stencil) = 0;
    virtual const GfxCaps& GetCaps() const = 0;
    virtual const GfxPresentParams& GetPresentParams() const = 0;

    // Targets. Getters add a reference.
    virtual GfxResult SetRenderTarget(u32 index, GfxSurface* surface) = 0;
    virtual GfxResult GetRenderTarget(u32 index, GfxSurface** out) = 0;
    virtual GfxResult SetDepthStencilSurface(GfxSurface* surface) = 0;
    virtual GfxResult GetDepthStencilSurface(GfxSurface** out) = 0;
    virtual GfxResult GetBackBuffer(GfxSurface** out) = 0;
    virtual GfxResult SetViewport(const GfxViewport& viewport) = 0;
    virtual GfxResult GetViewport(GfxViewport* out) = 0;

    // Pipeline state.
    virtual GfxResult SetTransform(GfxTransform which, const Mat4& m) = 0;
    virtual GfxResult GetTransform(GfxTransform which, Mat4* out) = 0;
    virtual GfxResult SetRenderState(GfxRenderState state, u32 value) = 0;
    virtual GfxResult GetRenderState(GfxRenderState state, u32* out) = 0;
    virtual GfxResult SetSamplerState(u32 sampler, GfxSamplerState state, u32 value) = 0;
    virtual GfxResult GetSamplerState(u32 sampler, GfxSamplerState state, u32* out) = 0;
    virtual GfxResult SetTextureStageState(u32 stage, GfxStageState state, u32 value) = 0;
    virtual GfxResult GetTextureStageState(u32 stage, GfxStageState state, u32* out) = 0;
    // The current value of a state, 0 where the device cannot tell.
    u32 RenderState(GfxRenderState state) {
        u32 v = 0;
        GetRenderState(state, &v);
        return v;
    }
    u32 TextureStageState(u32 stage, GfxStageState state) {
        u32 v = 0;
        GetTextureStageState(stage, state, &v);
        return v;
    }
    // The device keeps a reference to a set texture until it is replaced.
    virtual GfxResult SetTexture(u32 stage, GfxBaseTexture* texture) = 0;
    virtual GfxResult GetTexture(u32 stage, GfxBaseTexture** out) = 0;
    virtual GfxResult SetLight(u32 index, const GfxLight& light) = 0;
    virtual GfxResult GetLight(u32 index, GfxLight* out) = 0;
    virtual GfxResult LightEnable(u32 index, bool enable) = 0;
    virtual GfxResult GetLightEnable(u32 index, bool* out) = 0;
    virtual GfxResult SetMaterial(const GfxMaterial& material) = 0;
    virtual GfxResult GetMaterial(GfxMaterial* out) = 0;
    virtual GfxResult SetFVF(u32 fvf) = 0;
    virtual GfxResult GetFVF(u32* out) = 0;
    virtual GfxResult SetStreamSource(u32 stream, GfxVertexBuffer* buffer, u32 offset, u32 stride) = 0;
    virtual GfxResult SetIndices(GfxIndexBuffer* buffer) = 0;
    virtual GfxResult SetSoftwareVertexProcessing(bool on) = 0;
    virtual bool GetSoftwareVertexProcessing() = 0;

    // Drawing.
    virtual GfxResult DrawPrimitive(GfxPrimitive type, u32 startVertex, u32 primitiveCount) = 0;
    virtual GfxResult DrawIndexedPrimitive(GfxPrimitive type, i32 baseVertex, u32 minIndex, u32 numVertices,
                                           u32 startIndex, u32 primitiveCount) = 0;
    // Vertices straight from the caller's memory.
    virtual GfxResult DrawPrimitiveUP(GfxPrimitive type, u32 primitiveCount, const void* vertices, u32 stride) = 0;
    virtual GfxResult DrawIndexedPrimitiveUP(GfxPrimitive type, u32 minIndex, u32 numVertices, u32 primitiveCount,
                                             const void* indices, GfxFormat indexFormat, const void* vertices,
                                             u32 stride) = 0;

    // Resources; any thread may call these.
    virtual GfxResult CreateTexture(u32 width, u32 height, u32 levels, u32 usage, GfxFormat format, GfxPool pool,
                                    GfxTexture** out) = 0;
    virtual GfxResult CreateCubeTexture(u32 edge, u32 levels, u32 usage, GfxFormat format, GfxPool pool,
                                        GfxCubeTexture** out) = 0;
    virtual GfxResult CreateVertexBuffer(u32 bytes, u32 usage, u32 fvf, GfxPool pool, GfxVertexBuffer** out) = 0;
    virtual GfxResult CreateIndexBuffer(u32 bytes, u32 usage, GfxFormat format, GfxPool pool,
                                        GfxIndexBuffer** out) = 0;
    virtual GfxResult CreateDepthStencilSurface(u32 width, u32 height, GfxFormat format, GfxSurface** out) = 0;

    // Copies between surfaces. StretchRect works on render targets, the back
    // buffer and render-target textures; ColorFill also on CPU surfaces.
    virtual GfxResult StretchRect(GfxSurface* src, const GfxRect* srcRect, GfxSurface* dst, const GfxRect* dstRect,
                                  GfxFilter filter) = 0;
    virtual GfxResult ColorFill(GfxSurface* surface, const GfxRect* rect, u32 color) = 0;
    // Reads a colour surface (back buffer or render target included) as
    // 0xAARRGGBB pixels, rows top-down. A null rect reads it whole.
    virtual GfxResult ReadPixels(GfxSurface* surface, const GfxRect* rect, std::vector<u32>* out) = 0;

    // Default-pool resources alive (they must all be gone before a Reset).
    virtual u32 LiveDefaultPoolResources() const = 0;
};

// The entry object: display mode and device creation.
class GfxSystem : public GfxObject {
public:
    virtual GfxResult GetDisplayMode(GfxDisplayMode* out) = 0;
    // Makes a device on a window. In windowed mode a zero back-buffer size in
    // params is replaced by the window's client size.
    virtual GfxResult CreateDevice(GfxDeviceType type, Window* focusWindow, u32 behavior, GfxPresentParams* params,
                                   GfxDevice** out) = 0;
};

enum class GfxBackend { OpenGL, Recorder };

// Which backend CreateGfxSystem makes (OpenGL unless told otherwise).
void SetGfxBackend(GfxBackend backend);
GfxBackend GetGfxBackend();
// Null when the backend cannot start.
GfxSystem* CreateGfxSystem();

// Keeps one reference to a graphics object and gives it up when it goes.
template <class T>
class GfxRef {
public:
    GfxRef() = default;
    explicit GfxRef(T* adopt) : p_(adopt) {}
    GfxRef(const GfxRef& o) : p_(o.p_) { if (p_) p_->AddRef(); }
    GfxRef(GfxRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    GfxRef& operator=(GfxRef o) { std::swap(p_, o.p_); return *this; }
    ~GfxRef() { if (p_) p_->Release(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what it held and hands out the slot.
    T** put() { reset(); return &p_; }
    void reset() { if (p_) p_->Release(); p_ = nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace plat
