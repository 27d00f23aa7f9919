#pragma once
// What a scene frame asks of the graphics device: whether it may draw
// (lost-device recovery) and one frame of drawing between begin-scene and
// present.

#include "engine/core/TaskList.h"
#include "platform/core/Types.h"
#include "platform/math/MathTypes.h"

namespace plat {
class GfxTexture;
struct GfxViewport;
}

// Where the 1024x768 layout lands in window pixels: scaled by (scaleX,
// scaleY), then moved to (x, y). The whole window unless a split-screen view
// is being drawn, whose rectangle then takes the whole layout, so every view
// shows a complete display of its own.
struct LayoutPlacement {
    f32 x = 0.0f, y = 0.0f;
    f32 scaleX = 1.0f, scaleY = 1.0f;
};
LayoutPlacement CurrentLayout();
// The layout matrix of CurrentLayout (scale, then the origin).
Mat4 LayoutToScreen();
// The rectangle the layout fills from now on; null for the whole window.
void SetLayoutView(const plat::GfxViewport* view);
// The layout a rectangle of the window gives (x, y, width / 1024, height / 768).
LayoutPlacement LayoutIn(const plat::GfxViewport& view);

// The sprite transform of a picture placed by a layout transform, then
// scaled from the 1024x768 layout to the screen.
void SetSpriteLayout(const Mat4& layout);
// The same for a picture moved to (x, y) of the layout.
void SetSpriteAt(f32 x, f32 y);

// A one-texel picture ("dot.png") stretched over a rectangle of the layout's
// 1024x768 space, placed by CurrentLayout: the menus' plain panels.
void FillLayoutRect(plat::GfxTexture* dot, f32 x, f32 y, f32 width, f32 height, u32 argb);

// False while the device is lost and could not be recovered this pass.
bool SceneDeviceReady();

// Clears the back buffer, runs the 3D pass and the sprite pass on ctx, and
// presents. Sets the application's frame-drawn flag when a frame reached
// the screen.
void SceneDrawFrame(void (*drawPass)(void* ctx), void (*spritePass)(void* ctx), void* ctx);

// The tasks' 3D pass under a perspective (linear filtering, alpha
// blending), then their sprite pass (point filtering), inside a begun scene.
void DrawSceneTasks(CList<TCB>& tasks, f32 fovY, f32 aspect, f32 zNear, f32 zFar);

// The one directional light of a menu scene's models.
struct SceneLight {
    Vec3 direction;
    ColorF diffuse, ambient, specular;
};

// Sets light 0 and hands it to every effect with the eye at the camera's
// position, so highlights follow the camera.
void LightEffectsFromCamera(const Mat4& camera, const SceneLight& light);

// A whole frame of a scene's tasks (see SceneDrawFrame): lit from the
// camera, then DrawSceneTasks. Without a device the passes still run.
void DrawSceneTasksFrame(CList<TCB>& tasks, const Mat4& camera, const SceneLight& light, f32 fovY, f32 aspect,
                         f32 zNear, f32 zFar);

// The window's width over its height, 4:3 before it has one.
f32 ScreenAspect();
