// CPU-side graphics resources and the small tables shared by both backends.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxDeviceCommon.h"

namespace plat {

const char* GfxResultName(GfxResult r) {
    switch (r) {
        case GfxResult::Ok: return "Ok";
        case GfxResult::Fail: return "Fail";
        case GfxResult::InvalidCall: return "InvalidCall";
        case GfxResult::NotAvailable: return "NotAvailable";
        case GfxResult::OutOfMemory: return "OutOfMemory";
        case GfxResult::OutOfVideoMemory: return "OutOfVideoMemory";
        case GfxResult::DeviceLost: return "DeviceLost";
        case GfxResult::DeviceNotReset: return "DeviceNotReset";
        case GfxResult::DriverInternalError: return "DriverInternalError";
    }
    return "?";
}

u32 GfxFormatBytes(GfxFormat f) {
    switch (f) {
        case GfxFormat::R8G8B8: return 3;
        case GfxFormat::A8R8G8B8:
        case GfxFormat::X8R8G8B8:
        case GfxFormat::R32F:
        case GfxFormat::D24S8:
        case GfxFormat::D24X8: return 4;
        case GfxFormat::A16B16G16R16F: return 8;
        case GfxFormat::Index16: return 2;
        case GfxFormat::Index32: return 4;
        default: return 0;
    }
}

bool GfxFormatIsColor(GfxFormat f) {
    switch (f) {
        case GfxFormat::R8G8B8:
        case GfxFormat::A8R8G8B8:
        case GfxFormat::X8R8G8B8:
        case GfxFormat::A16B16G16R16F:
        case GfxFormat::R32F: return true;
        default: return false;
    }
}

bool GfxFormatIsDepth(GfxFormat f) { return f == GfxFormat::D24S8 || f == GfxFormat::D24X8; }

bool GfxFormatHasAlpha(GfxFormat f) { return f == GfxFormat::A8R8G8B8 || f == GfxFormat::A16B16G16R16F; }

const char* GfxFormatName(GfxFormat f) {
    switch (f) {
        case GfxFormat::Unknown: return "Unknown";
        case GfxFormat::R8G8B8: return "R8G8B8";
        case GfxFormat::A8R8G8B8: return "A8R8G8B8";
        case GfxFormat::X8R8G8B8: return "X8R8G8B8";
        case GfxFormat::D24S8: return "D24S8";
        case GfxFormat::D24X8: return "D24X8";
        case GfxFormat::Index16: return "Index16";
        case GfxFormat::Index32: return "Index32";
        case GfxFormat::A16B16G16R16F: return "A16B16G16R16F";
        case GfxFormat::R32F: return "R32F";
    }
    return "?";
}

u32 GfxFloatBits(float f) {
    u32 u;
    std::memcpy(&u, &f, 4);
    return u;
}

float GfxBitsFloat(u32 bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

GfxVertexLayout GfxComputeVertexLayout(u32 fvf) {
    GfxVertexLayout l;
    u32 off = 0;
    const u32 pos = fvf & FvfPositionMask;
    switch (pos) {
        case FvfXyz: l.positionFloats = 3; break;
        case FvfXyzRhw: l.positionFloats = 4; l.pretransformed = true; break;
        case FvfXyzB1: case FvfXyzB2: case FvfXyzB3: case FvfXyzB4: case FvfXyzB5:
            l.positionFloats = 3;
            l.weights = (pos - FvfXyzRhw) / 2;  // B1 = 0x6 holds one value
            break;
        default: return l;  // no position: not drawable
    }
    off = l.positionFloats * 4 + l.weights * 4;
    l.lastBetaUByte4 = (fvf & FvfLastBetaUByte4) != 0 && l.weights > 0;
    if (fvf & FvfNormal) { l.normal = i32(off); off += 12; }
    if (fvf & FvfPSize) { l.psize = i32(off); off += 4; }
    if (fvf & FvfDiffuse) { l.diffuse = i32(off); off += 4; }
    if (fvf & FvfSpecular) { l.specular = i32(off); off += 4; }
    l.texCount = (fvf & FvfTexCountMask) >> FvfTexCountShift;
    if (l.texCount > 8) return GfxVertexLayout{};
    for (u32 i = 0; i < l.texCount; ++i) {
        static const u32 sizes[4] = {2, 3, 4, 1};
        l.texSize[i] = sizes[(fvf >> (i * 2 + 16)) & 3];
        l.texOffset[i] = i32(off);
        off += l.texSize[i] * 4;
    }
    l.size = off;
    l.valid = true;
    return l;
}

u32 GfxVertexCount(GfxPrimitive type, u32 n) {
    switch (type) {
        case GfxPrimitive::PointList: return n;
        case GfxPrimitive::LineList: return n * 2;
        case GfxPrimitive::LineStrip: return n == 0 ? 0 : n + 1;
        case GfxPrimitive::TriangleList: return n * 3;
        case GfxPrimitive::TriangleStrip:
        case GfxPrimitive::TriangleFan: return n == 0 ? 0 : n + 2;
    }
    return 0;
}

const char* GfxPrimitiveName(GfxPrimitive type) {
    switch (type) {
        case GfxPrimitive::PointList: return "PointList";
        case GfxPrimitive::LineList: return "LineList";
        case GfxPrimitive::LineStrip: return "LineStrip";
        case GfxPrimitive::TriangleList: return "TriangleList";
        case GfxPrimitive::TriangleStrip: return "TriangleStrip";
        case GfxPrimitive::TriangleFan: return "TriangleFan";
    }
    return "?";
}

const char* GfxRenderStateName(GfxRenderState s) {
    switch (s) {
        case GfxRenderState::ZEnable: return "ZEnable";
        case GfxRenderState::FillMode: return "FillMode";
        case GfxRenderState::ShadeMode: return "ShadeMode";
        case GfxRenderState::ZWriteEnable: return "ZWriteEnable";
        case GfxRenderState::AlphaTestEnable: return "AlphaTestEnable";
        case GfxRenderState::SrcBlend: return "SrcBlend";
        case GfxRenderState::DestBlend: return "DestBlend";
        case GfxRenderState::CullMode: return "CullMode";
        case GfxRenderState::ZFunc: return "ZFunc";
        case GfxRenderState::AlphaRef: return "AlphaRef";
        case GfxRenderState::AlphaFunc: return "AlphaFunc";
        case GfxRenderState::AlphaBlendEnable: return "AlphaBlendEnable";
        case GfxRenderState::FogEnable: return "FogEnable";
        case GfxRenderState::SpecularEnable: return "SpecularEnable";
        case GfxRenderState::FogColor: return "FogColor";
        case GfxRenderState::FogTableMode: return "FogTableMode";
        case GfxRenderState::FogStart: return "FogStart";
        case GfxRenderState::FogEnd: return "FogEnd";
        case GfxRenderState::FogDensity: return "FogDensity";
        case GfxRenderState::RangeFogEnable: return "RangeFogEnable";
        case GfxRenderState::StencilEnable: return "StencilEnable";
        case GfxRenderState::StencilFail: return "StencilFail";
        case GfxRenderState::StencilZFail: return "StencilZFail";
        case GfxRenderState::StencilPass: return "StencilPass";
        case GfxRenderState::StencilFunc: return "StencilFunc";
        case GfxRenderState::StencilRef: return "StencilRef";
        case GfxRenderState::StencilMask: return "StencilMask";
        case GfxRenderState::StencilWriteMask: return "StencilWriteMask";
        case GfxRenderState::TextureFactor: return "TextureFactor";
        case GfxRenderState::Lighting: return "Lighting";
        case GfxRenderState::Ambient: return "Ambient";
        case GfxRenderState::FogVertexMode: return "FogVertexMode";
        case GfxRenderState::ColorVertex: return "ColorVertex";
        case GfxRenderState::LocalViewer: return "LocalViewer";
        case GfxRenderState::NormalizeNormals: return "NormalizeNormals";
        case GfxRenderState::DiffuseMaterialSource: return "DiffuseMaterialSource";
        case GfxRenderState::SpecularMaterialSource: return "SpecularMaterialSource";
        case GfxRenderState::AmbientMaterialSource: return "AmbientMaterialSource";
        case GfxRenderState::EmissiveMaterialSource: return "EmissiveMaterialSource";
        case GfxRenderState::VertexBlend: return "VertexBlend";
        case GfxRenderState::PointSize: return "PointSize";
        case GfxRenderState::ColorWriteEnable: return "ColorWriteEnable";
        case GfxRenderState::BlendOp: return "BlendOp";
    }
    return nullptr;
}

// ---- objects ------------------------------------------------------------

u32 GfxObject::AddRef() { return refs_.fetch_add(1) + 1; }

u32 GfxObject::Release() {
    const u32 left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

GfxResource::GfxResource(std::shared_ptr<GfxResourceHome> home, GfxResourceType type, GfxPool pool, u32 usage)
    : home_(std::move(home)), type_(type), pool_(pool), usage_(usage) {
    id_ = home_ ? home_->nextId.fetch_add(1) : 0;
}

GfxResource::~GfxResource() {
    if (home_) {
        if (counted_) home_->liveDefault.fetch_sub(1);
        if (native.name != 0) home_->Bury(type_, native.name, native.kind);
    }
}

void GfxResource::CountAsDefault() {
    if (!counted_ && home_) {
        counted_ = true;
        home_->liveDefault.fetch_add(1);
    }
}

// ---- textures -----------------------------------------------------------

namespace {
u32 FullChain(u32 w, u32 h) {
    u32 n = 1;
    u32 m = std::max(w, h);
    while (m > 1) { m >>= 1; ++n; }
    return n;
}
}  // namespace

GfxBaseTexture::GfxBaseTexture(std::shared_ptr<GfxResourceHome> home, GfxResourceType type, GfxPool pool, u32 usage,
                               GfxFormat format, u32 width, u32 height, u32 levels)
    : GfxResource(std::move(home), type, pool, usage), format_(format), width_(width), height_(height) {
    const u32 full = FullChain(width, height);
    levels_ = (levels == 0 || levels > full) ? full : levels;
    const bool target = (usage & (GfxUsageRenderTarget | GfxUsageDepthStencil)) != 0;
    if (target) levels_ = 1;
    const u32 faces = type == GfxResourceType::CubeTexture ? 6 : 1;
    data_.resize(size_t(faces) * levels_);
    surfaces_.assign(size_t(faces) * levels_, nullptr);
    locked_.assign(size_t(faces) * levels_, 0);
    if (!target) {
        for (u32 f = 0; f < faces; ++f)
            for (u32 l = 0; l < levels_; ++l)
                data_[f * levels_ + l].assign(size_t(LevelPitch(l)) * LevelHeight(l), 0);
    }
    if (pool == GfxPool::Default) CountAsDefault();
}

GfxBaseTexture::~GfxBaseTexture() {
    for (GfxSurface* s : surfaces_) delete s;
}

bool GfxBaseTexture::Opaque() const {
    if (IsRenderTarget()) return false;
    if (!GfxFormatHasAlpha(format_)) return GfxFormatIsColor(format_);
    if (format_ != GfxFormat::A8R8G8B8) return false;
    const u32 version = Version();
    if (opaqueVersion_ == version) return opaque_;
    bool full = true;
    for (const std::vector<u8>& level : data_)
        for (size_t i = 3; full && i < level.size(); i += 4) full = level[i] == 0xFF;
    opaque_ = full;
    opaqueVersion_ = version;
    return full;
}

u32 GfxBaseTexture::LevelWidth(u32 level) const { return std::max(1u, width_ >> level); }
u32 GfxBaseTexture::LevelHeight(u32 level) const { return std::max(1u, height_ >> level); }

GfxResult GfxBaseTexture::Lock(u32 face, u32 level, GfxLockedRect* out, const GfxRect* rect, u32) {
    if (out == nullptr || level >= levels_ || face >= Faces()) return GfxResult::InvalidCall;
    const size_t slot = size_t(face) * levels_ + level;
    if (IsRenderTarget() || locked_[slot]) return GfxResult::InvalidCall;
    const u32 w = LevelWidth(level), h = LevelHeight(level), bpp = GfxFormatBytes(format_);
    u32 x = 0, y = 0;
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->right <= rect->left || rect->bottom <= rect->top ||
            u32(rect->right) > w || u32(rect->bottom) > h)
            return GfxResult::InvalidCall;
        x = u32(rect->left);
        y = u32(rect->top);
    }
    locked_[slot] = 1;
    out->pitch = i32(LevelPitch(level));
    out->bits = data_[slot].data() + size_t(y) * LevelPitch(level) + size_t(x) * bpp;
    return GfxResult::Ok;
}

GfxResult GfxBaseTexture::Unlock(u32 face, u32 level) {
    if (level >= levels_ || face >= Faces()) return GfxResult::InvalidCall;
    const size_t slot = size_t(face) * levels_ + level;
    if (!locked_[slot]) return GfxResult::InvalidCall;
    locked_[slot] = 0;
    Touch();
    return GfxResult::Ok;
}

GfxSurface* GfxBaseTexture::Surface(u32 face, u32 level) {
    if (level >= levels_ || face >= Faces()) return nullptr;
    GfxSurface*& s = surfaces_[size_t(face) * levels_ + level];
    if (s == nullptr) {
        GfxSurfaceDesc d;
        d.format = format_;
        d.type = GfxResourceType::Surface;
        d.usage = Usage();
        d.pool = Pool();
        d.width = LevelWidth(level);
        d.height = LevelHeight(level);
        s = new GfxSurface(home_, d, this, face, level, false);
    }
    return s;
}

GfxResult GfxTexture::GetLevelDesc(u32 level, GfxSurfaceDesc* out) const {
    if (out == nullptr || level >= levels_) return GfxResult::InvalidCall;
    out->format = format_;
    out->type = GfxResourceType::Texture;
    out->usage = Usage();
    out->pool = Pool();
    out->width = LevelWidth(level);
    out->height = LevelHeight(level);
    return GfxResult::Ok;
}

GfxResult GfxTexture::GetSurfaceLevel(u32 level, GfxSurface** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    GfxSurface* s = Surface(0, level);
    if (s == nullptr) return GfxResult::InvalidCall;
    s->AddRef();
    *out = s;
    return GfxResult::Ok;
}

GfxResult GfxTexture::LockRect(u32 level, GfxLockedRect* out, const GfxRect* rect, u32 flags) {
    return Lock(0, level, out, rect, flags);
}

GfxResult GfxTexture::UnlockRect(u32 level) { return Unlock(0, level); }

GfxResult GfxCubeTexture::GetLevelDesc(u32 level, GfxSurfaceDesc* out) const {
    if (out == nullptr || level >= levels_) return GfxResult::InvalidCall;
    out->format = format_;
    out->type = GfxResourceType::CubeTexture;
    out->usage = Usage();
    out->pool = Pool();
    out->width = out->height = LevelWidth(level);
    return GfxResult::Ok;
}

GfxResult GfxCubeTexture::GetCubeMapSurface(GfxCubeFace face, u32 level, GfxSurface** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    GfxSurface* s = Surface(u32(face), level);
    if (s == nullptr) return GfxResult::InvalidCall;
    s->AddRef();
    *out = s;
    return GfxResult::Ok;
}

GfxResult GfxCubeTexture::LockRect(GfxCubeFace face, u32 level, GfxLockedRect* out, const GfxRect* rect, u32 flags) {
    return Lock(u32(face), level, out, rect, flags);
}

GfxResult GfxCubeTexture::UnlockRect(GfxCubeFace face, u32 level) { return Unlock(u32(face), level); }

// ---- surfaces -----------------------------------------------------------

GfxSurface::GfxSurface(std::shared_ptr<GfxResourceHome> home, const GfxSurfaceDesc& desc, GfxBaseTexture* container,
                       u32 face, u32 level, bool backBuffer)
    : GfxResource(std::move(home), GfxResourceType::Surface, desc.pool, desc.usage),
      desc_(desc), container_(container), face_(face), level_(level), backBuffer_(backBuffer) {
    if (container == nullptr && desc.pool == GfxPool::Default && !backBuffer) CountAsDefault();
}

u32 GfxSurface::AddRef() { return container_ ? container_->AddRef() : GfxResource::AddRef(); }
u32 GfxSurface::Release() { return container_ ? container_->Release() : GfxResource::Release(); }

GfxResult GfxSurface::GetDesc(GfxSurfaceDesc* out) const {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = desc_;
    return GfxResult::Ok;
}

GfxResult GfxSurface::LockRect(GfxLockedRect* out, const GfxRect* rect, u32 flags) {
    if (container_ == nullptr) return GfxResult::InvalidCall;
    return container_->Lock(face_, level_, out, rect, flags);
}

GfxResult GfxSurface::UnlockRect() {
    if (container_ == nullptr) return GfxResult::InvalidCall;
    return container_->Unlock(face_, level_);
}

// ---- buffers ------------------------------------------------------------

namespace {
GfxResult LockBytes(std::vector<u8>& data, bool& locked, u32 offset, u32 size, void** out) {
    if (out == nullptr || locked) return GfxResult::InvalidCall;
    if (offset > data.size() || (size != 0 && size > data.size() - offset)) return GfxResult::InvalidCall;
    locked = true;
    *out = data.data() + offset;
    return GfxResult::Ok;
}
}  // namespace

GfxVertexBuffer::GfxVertexBuffer(std::shared_ptr<GfxResourceHome> home, u32 bytes, u32 usage, u32 fvf, GfxPool pool)
    : GfxResource(std::move(home), GfxResourceType::VertexBuffer, pool, usage), data_(bytes, 0), fvf_(fvf) {
    if (pool == GfxPool::Default) CountAsDefault();
}

GfxResult GfxVertexBuffer::Lock(u32 offset, u32 size, void** out, u32) {
    return LockBytes(data_, locked_, offset, size, out);
}

GfxResult GfxVertexBuffer::Unlock() {
    if (!locked_) return GfxResult::InvalidCall;
    locked_ = false;
    Touch();
    return GfxResult::Ok;
}

GfxIndexBuffer::GfxIndexBuffer(std::shared_ptr<GfxResourceHome> home, u32 bytes, u32 usage, GfxFormat format,
                               GfxPool pool)
    : GfxResource(std::move(home), GfxResourceType::IndexBuffer, pool, usage), data_(bytes, 0), format_(format) {
    if (pool == GfxPool::Default) CountAsDefault();
}

GfxResult GfxIndexBuffer::Lock(u32 offset, u32 size, void** out, u32) {
    return LockBytes(data_, locked_, offset, size, out);
}

GfxResult GfxIndexBuffer::Unlock() {
    if (!locked_) return GfxResult::InvalidCall;
    locked_ = false;
    Touch();
    return GfxResult::Ok;
}

// ---- resource home ------------------------------------------------------

void GfxResourceHome::Bury(GfxResourceType type, u32 name, u32 kind) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!deviceAlive) return;  // the context is gone and took its names along
    graves.push_back({type, name, kind});
}

std::vector<GfxResourceHome::Grave> GfxResourceHome::TakeGraves() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<Grave> out;
    out.swap(graves);
    return out;
}

}  // namespace plat
