#pragma once
// The shared 2D sprite: textured, tinted quads in render-target pixels, queued
// between Begin and End and sent to the device in one go by Flush (or End).
//
// Typical sprite pass:
//     sprite->Begin(plat::SpriteAlphaBlend);
//     sprite->SetTransform(m);                       // scale/translate, rows as Mat4
//     sprite->Draw(tex, &src, nullptr, &pos, 0xFFFFFFFF);
//     sprite->End();
//
// Draw places the source rectangle's top-left at `position - centre` (both
// optional, zero when null), then applies the transform current at the time
// of the Draw call. With an identity transform a texel lands exactly on a
// pixel. Quads are drawn in the order they were queued. Begin sets the 2D
// states (no depth, no lighting, modulate texture by colour, clamped linear
// sampling); callers may change states after Begin (e.g. point sampling),
// and End puts back what the device had before Begin.
#include <vector>

#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {

enum SpriteFlags : u32 {
    SpriteDoNotSaveState = 0x1,  // End leaves the sprite's states in place
    SpriteAlphaBlend = 0x10,     // source-alpha blending (the usual pass)
};

class Sprite : public GfxObject {
public:
    // The device the sprite draws with (no reference added).
    GfxDevice* GetDevice() const { return device_; }

    // InvalidCall when already begun.
    GfxResult Begin(u32 flags);
    // Flushes and restores the device states saved by Begin.
    GfxResult End();
    // Sends the queued quads now (before a render-target or state change).
    GfxResult Flush();
    // Queues one quad. src null = the whole texture. InvalidCall outside
    // Begin/End or without a texture.
    GfxResult Draw(GfxTexture* texture, const GfxRect* src, const Vec3* centre, const Vec3* position, u32 colour);

    GfxResult SetTransform(const Mat4& m);
    GfxResult GetTransform(Mat4* out) const;
    const Mat4& Transform() const { return transform_; }

    bool IsBegun() const { return begun_; }
    // Quads queued and not yet flushed; device draw calls made so far.
    u32 PendingQuads() const { return u32(quads_.size()); }
    u32 DrawCallCount() const { return drawCalls_; }

private:
    friend GfxResult CreateSprite(GfxDevice* device, Sprite** out);
    explicit Sprite(GfxDevice* device);
    ~Sprite() override;

    struct Vertex {
        float x, y, z, rhw;
        u32 colour;
        float u, v;
    };
    struct Quad {
        GfxTexture* texture;  // referenced while queued
        Vertex v[4];          // left-top, right-top, left-bottom, right-bottom
    };
    struct SavedState {
        u32 renderStates[16];
        u32 stageStates[2][7];
        u32 samplerStates[5];
        u32 fvf;
        GfxBaseTexture* texture;
    };
    void SaveState();
    void SetSpriteStates();
    void RestoreState();
    void ReleaseQueued();

    GfxDevice* device_;
    Mat4 transform_;
    bool begun_ = false;
    u32 flags_ = 0;
    std::vector<Quad> quads_;
    std::vector<Vertex> scratch_;
    SavedState saved_{};
    u32 drawCalls_ = 0;
};

// Makes a sprite on a device; the sprite holds a reference to the device.
GfxResult CreateSprite(GfxDevice* device, Sprite** out);

}  // namespace plat
