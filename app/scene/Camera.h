#pragma once
// The scene camera and the few drawing helpers every scene shares, so that
// all scenes set blending, place text and draw quads and point lists alike.
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class TextCacheEntry;

class CCamera {
public:
    CCamera() = default;

    // Makes this camera current: the view becomes the inverse of the world
    // matrix and goes to the device, this camera is copied into the current
    // camera, and the view into the graphics object.
    void Apply();

    Mat4 view;
    Mat4 second;  // kept with the camera and copied with it
    Mat4 world;   // the camera's position and orientation
};

// The camera last applied; billboards and culling read it.
CCamera& GetCurrentCamera();

// Blending on the graphics object's device: normal alpha blending, and
// additive blending (source scaled by its alpha, added).
void SetAlphaBlend();
void SetAddBlend();

// Text at (x, y) on the 1024 x 768 layout, scaled to the window, through the
// rendered-text cache with font slot `font` (count -1: the whole text;
// lifetime 60 frames). Returns the cache entry drawn.
TextCacheEntry* DrawTextAt(i32 font, f32 x, f32 y, const char* text, i32 count, const plat::GfxRect* rect, u32 format,
               u32 colour);

// A vertex buffer of BillboardVertex (engine/graphics/MatrixHelpers.h) drawn as points.
struct PointList {
    plat::GfxVertexBuffer* buffer = nullptr;
    i32 count = 0;

    // texture may be null.
    void Draw(plat::GfxDevice* device, plat::GfxBaseTexture* texture) const;
};
