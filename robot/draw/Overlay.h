#pragma once
// What the watched robot's head-up overlays and radar work out before they
// draw: blink alphas, the low-HP flash, where a threat marker sits around the
// screen centre and where a point lands on the radar. The drawing itself is
// in OverlayInterface.cpp and OverlayRadar.cpp (CRobot_Normal's slots).
#include "platform/core/Types.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"

class CRobot_Normal;

// Alpha 127..255 from the running frame counter: periods 72 and 18 frames.
u32 SlowBlinkAlpha(u32 frame);
u32 FastBlinkAlpha(u32 frame);
// The HP figure's colour while HP is below a fifth: red to white and back.
u32 LowHpColour(u32 frame);
// Marker colour of a lock alert kind (0..4) without its alpha; 0 for others.
u32 ThreatColour(u8 kind);

struct ThreatPlacement {
    f32 distance = 0.0f;
    f32 bearing = 0.0f;  // degrees, clockwise from screen-up
    i32 radius = 0;      // layout units from the screen centre
};
// A threat seen from the camera (its world matrix, translation = eye).
ThreatPlacement PlaceThreat(const Mat4& camera, const Vec3& source, u8 kind);

// A world point on the watched robot's radar: ahead and to the right of its
// body, in world units (one layout pixel each).
struct RadarPoint {
    f32 ahead = 0.0f;
    f32 right = 0.0f;
    bool Inside() const { return ahead >= -100.0f && ahead <= 100.0f && right >= -100.0f && right <= 100.0f; }
};
RadarPoint ProjectToRadar(const CRobot_Normal& watcher, const Vec3& point);

// The distance text next to markers: "%.2fm" of ten times the distance,
// whole, or one cached character at a time with the fast-font setting on.
// Drawn under the sprite transform given (window pixels).
void DrawDistanceText(const Mat4& transform, f32 distance, u32 wholeColour, u32 charColour);
// The same inside a rectangle of its own.
void DrawDistanceTextIn(const Mat4& transform, const plat::GfxRect& rect, f32 distance, u32 wholeColour,
                        u32 charColour);
