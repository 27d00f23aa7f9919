#include "platform/gfx/Sprite.h"

#include "platform/mesh/Mesh.h"

namespace plat {

namespace {

constexpr u32 kSpriteFvf = FvfXyzRhw | FvfDiffuse | FvfTex1;

constexpr GfxRenderState kSavedRenderStates[16] = {
    GfxRenderState::ZEnable,         GfxRenderState::ZWriteEnable,     GfxRenderState::AlphaBlendEnable,
    GfxRenderState::SrcBlend,        GfxRenderState::DestBlend,        GfxRenderState::BlendOp,
    GfxRenderState::AlphaTestEnable, GfxRenderState::AlphaFunc,        GfxRenderState::AlphaRef,
    GfxRenderState::CullMode,        GfxRenderState::Lighting,         GfxRenderState::FogEnable,
    GfxRenderState::StencilEnable,   GfxRenderState::FillMode,         GfxRenderState::ColorWriteEnable,
    GfxRenderState::VertexBlend,
};

constexpr GfxStageState kSavedStageStates[7] = {
    GfxStageState::ColorOp,   GfxStageState::ColorArg1, GfxStageState::ColorArg2,    GfxStageState::AlphaOp,
    GfxStageState::AlphaArg1, GfxStageState::AlphaArg2, GfxStageState::TexCoordIndex,
};

constexpr GfxSamplerState kSavedSamplerStates[5] = {
    GfxSamplerState::AddressU,  GfxSamplerState::AddressV,  GfxSamplerState::MagFilter,
    GfxSamplerState::MinFilter, GfxSamplerState::MipFilter,
};

}  // namespace

Sprite::Sprite(GfxDevice* device) : device_(device) {
    device_->AddRef();
    static_assert(sizeof(Vertex) == 28, "pre-transformed sprite vertex is 28 bytes");
}

Sprite::~Sprite() {
    ReleaseQueued();
    if (saved_.texture) saved_.texture->Release();
    device_->Release();
}

GfxResult CreateSprite(GfxDevice* device, Sprite** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (device == nullptr) return GfxResult::InvalidCall;
    *out = new Sprite(device);
    return GfxResult::Ok;
}

void Sprite::SaveState() {
    for (u32 i = 0; i < 16; ++i) device_->GetRenderState(kSavedRenderStates[i], &saved_.renderStates[i]);
    for (u32 s = 0; s < 2; ++s)
        for (u32 i = 0; i < 7; ++i) device_->GetTextureStageState(s, kSavedStageStates[i], &saved_.stageStates[s][i]);
    for (u32 i = 0; i < 5; ++i) device_->GetSamplerState(0, kSavedSamplerStates[i], &saved_.samplerStates[i]);
    device_->GetFVF(&saved_.fvf);
    if (saved_.texture) saved_.texture->Release();
    saved_.texture = nullptr;
    device_->GetTexture(0, &saved_.texture);
}

void Sprite::SetSpriteStates() {
    GfxDevice& d = *device_;
    d.SetRenderState(GfxRenderState::ZEnable, 0);
    d.SetRenderState(GfxRenderState::ZWriteEnable, 0);
    d.SetRenderState(GfxRenderState::AlphaBlendEnable, (flags_ & SpriteAlphaBlend) ? 1 : 0);
    d.SetRenderState(GfxRenderState::SrcBlend, BlendSrcAlpha);
    d.SetRenderState(GfxRenderState::DestBlend, BlendInvSrcAlpha);
    d.SetRenderState(GfxRenderState::BlendOp, BlendOpAdd);
    // Fully transparent texels leave depth, stencil and colour untouched.
    d.SetRenderState(GfxRenderState::AlphaTestEnable, 1);
    d.SetRenderState(GfxRenderState::AlphaFunc, CmpGreater);
    d.SetRenderState(GfxRenderState::AlphaRef, 0);
    d.SetRenderState(GfxRenderState::CullMode, CullNone);
    d.SetRenderState(GfxRenderState::Lighting, 0);
    d.SetRenderState(GfxRenderState::FogEnable, 0);
    d.SetRenderState(GfxRenderState::StencilEnable, 0);
    d.SetRenderState(GfxRenderState::FillMode, FillSolid);
    d.SetRenderState(GfxRenderState::ColorWriteEnable, 0xF);
    d.SetRenderState(GfxRenderState::VertexBlend, 0);
    d.SetTextureStageState(0, GfxStageState::ColorOp, TopModulate);
    d.SetTextureStageState(0, GfxStageState::ColorArg1, TaTexture);
    d.SetTextureStageState(0, GfxStageState::ColorArg2, TaDiffuse);
    d.SetTextureStageState(0, GfxStageState::AlphaOp, TopModulate);
    d.SetTextureStageState(0, GfxStageState::AlphaArg1, TaTexture);
    d.SetTextureStageState(0, GfxStageState::AlphaArg2, TaDiffuse);
    d.SetTextureStageState(0, GfxStageState::TexCoordIndex, 0);
    d.SetTextureStageState(1, GfxStageState::ColorOp, TopDisable);
    d.SetTextureStageState(1, GfxStageState::AlphaOp, TopDisable);
    d.SetSamplerState(0, GfxSamplerState::AddressU, AddressClamp);
    d.SetSamplerState(0, GfxSamplerState::AddressV, AddressClamp);
    d.SetSamplerState(0, GfxSamplerState::MagFilter, FilterLinear);
    d.SetSamplerState(0, GfxSamplerState::MinFilter, FilterLinear);
    d.SetSamplerState(0, GfxSamplerState::MipFilter, FilterLinear);
}

void Sprite::RestoreState() {
    for (u32 i = 0; i < 16; ++i) device_->SetRenderState(kSavedRenderStates[i], saved_.renderStates[i]);
    for (u32 s = 0; s < 2; ++s)
        for (u32 i = 0; i < 7; ++i) device_->SetTextureStageState(s, kSavedStageStates[i], saved_.stageStates[s][i]);
    for (u32 i = 0; i < 5; ++i) device_->SetSamplerState(0, kSavedSamplerStates[i], saved_.samplerStates[i]);
    device_->SetFVF(saved_.fvf);
    device_->SetTexture(0, saved_.texture);
    if (saved_.texture) saved_.texture->Release();
    saved_.texture = nullptr;
}

GfxResult Sprite::Begin(u32 flags) {
    if (begun_) return GfxResult::InvalidCall;
    flags_ = flags;
    if (!(flags_ & SpriteDoNotSaveState)) SaveState();
    SetSpriteStates();
    begun_ = true;
    return GfxResult::Ok;
}

GfxResult Sprite::End() {
    if (!begun_) return GfxResult::InvalidCall;
    const GfxResult r = Flush();
    if (!(flags_ & SpriteDoNotSaveState)) RestoreState();
    begun_ = false;
    return r;
}

void Sprite::ReleaseQueued() {
    for (Quad& q : quads_) q.texture->Release();
    quads_.clear();
}

GfxResult Sprite::Flush() {
    if (!begun_) return GfxResult::InvalidCall;
    if (quads_.empty()) return GfxResult::Ok;
    GfxResult result = GfxResult::Ok;
    device_->SetFVF(kSpriteFvf);
    // One draw per run of quads on the same texture, in queue order, so
    // overlapping sprites blend as they were drawn.
    size_t i = 0;
    while (i < quads_.size()) {
        GfxTexture* tex = quads_[i].texture;
        scratch_.clear();
        size_t j = i;
        for (; j < quads_.size() && quads_[j].texture == tex; ++j) {
            const Vertex* v = quads_[j].v;
            scratch_.insert(scratch_.end(), {v[0], v[1], v[2], v[2], v[1], v[3]});
        }
        device_->SetTexture(0, tex);
        const GfxResult r =
            device_->DrawPrimitiveUP(GfxPrimitive::TriangleList, u32((j - i) * 2), scratch_.data(), sizeof(Vertex));
        if (r != GfxResult::Ok) result = r;
        ++drawCalls_;
        i = j;
    }
    ReleaseQueued();
    return result;
}

GfxResult Sprite::Draw(GfxTexture* texture, const GfxRect* src, const Vec3* centre, const Vec3* position,
                       u32 colour) {
    if (!begun_ || texture == nullptr) return GfxResult::InvalidCall;
    const float tw = float(texture->Width()), th = float(texture->Height());
    if (tw <= 0 || th <= 0) return GfxResult::InvalidCall;
    GfxRect r = src ? *src : GfxRect{0, 0, i32(texture->Width()), i32(texture->Height())};
    const float ox = (position ? position->x : 0.0f) - (centre ? centre->x : 0.0f);
    const float oy = (position ? position->y : 0.0f) - (centre ? centre->y : 0.0f);
    const float w = float(r.Width()), h = float(r.Height());
    const float u0 = float(r.left) / tw, u1 = float(r.right) / tw;
    const float v0 = float(r.top) / th, v1 = float(r.bottom) / th;
    const Mat4& m = transform_;
    Quad q;
    q.texture = texture;
    const float lx[4] = {ox, ox + w, ox, ox + w};
    const float ly[4] = {oy, oy, oy + h, oy + h};
    const float lu[4] = {u0, u1, u0, u1};
    const float lv[4] = {v0, v0, v1, v1};
    for (int k = 0; k < 4; ++k) {
        // Device pixel centres sit on integer coordinates; the half-pixel
        // shift lines texel k up with pixel k.
        q.v[k].x = lx[k] * m.m[0][0] + ly[k] * m.m[1][0] + m.m[3][0] - 0.5f;
        q.v[k].y = lx[k] * m.m[0][1] + ly[k] * m.m[1][1] + m.m[3][1] - 0.5f;
        const float z = lx[k] * m.m[0][2] + ly[k] * m.m[1][2] + m.m[3][2];
        q.v[k].z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
        q.v[k].rhw = 1.0f;
        q.v[k].colour = colour;
        q.v[k].u = lu[k];
        q.v[k].v = lv[k];
    }
    texture->AddRef();
    quads_.push_back(q);
    return GfxResult::Ok;
}

GfxResult Sprite::SetTransform(const Mat4& m) {
    transform_ = m;
    return GfxResult::Ok;
}

GfxResult Sprite::GetTransform(Mat4* out) const {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = transform_;
    return GfxResult::Ok;
}

}  // namespace plat
