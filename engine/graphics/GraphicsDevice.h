#pragma once
// The one graphics object: the device and its present parameters, the shared
// sprite, ten font slots, the texture manager, the camera's view and
// projection, the directional light the effects read, the default states,
// and recovery from a lost device with ten "lost" and ten "reset" callback
// slots. Main thread only.
//
// Every scene's frame starts with
//     if (gd->deviceLost) { if (gd->CheckDeviceLost()) return; gd->deviceLost = 0; }
// and after Present a DeviceLost result sets deviceLost.
#include <vector>

#include "engine/graphics/TextureManager.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/gfx/Sprite.h"
#include "platform/core/Types.h"
#include "platform/gfx/Window.h"

class ShaderBase;

using DeviceCallback = void (*)(int);

class GraphicsDevice {
public:
    static constexpr int kFontSlots = 10;
    static constexpr int kCallbackSlots = 10;

    GraphicsDevice() = default;
    GraphicsDevice(const GraphicsDevice&) = delete;
    GraphicsDevice& operator=(const GraphicsDevice&) = delete;

    // 1 on success; 0 after the failure message (the system object stays
    // held until Release).
    int Create(plat::Window* window, u32 width, u32 height, plat::GfxFormat backBufferFormat, bool fullScreen);
    // Replaces the font of a slot; the result of reading back its description.
    plat::GfxResult CreateFont(int slot, const char* faceName, i32 height);
    // Drops one reference of every managed texture, then releases the back
    // buffer, the depth surface, the device, the system, the sprite and the fonts.
    void Release();
    void SetDefaultRenderStates();
    void SetDirectionalLight(u32 index, const Vec3& direction, const ColorF& diffuse, const ColorF& ambient,
                             const ColorF& specular);
    void SetVertexFog(float start, float end, u32 colour);
    void SetTableFog(float start, float end, u32 colour);
    void DrawLine2DGradient(float x1, float y1, float x2, float y2, u32 colour1, u32 colour2);
    void DrawLine2D(float x1, float y1, float x2, float y2, u32 colour, const Mat4& world);
    // Screen position (x right, y down, in back-buffer pixels) of the world
    // matrix's origin; z is its clip-space w.
    void ProjectToScreen(Vec3* out, const Mat4* world, const Mat4* view, const Mat4* projection) const;
    // 1 while the device stays lost (draw nothing this frame), 0 when it can
    // be used again.
    int CheckDeviceLost();
    // A pre-transformed quad with the caller's stage-0 texture, drawn without
    // z test or z writes, which are both on afterwards.
    void DrawScreenQuad(float x, float y, float width, float height, u32 colour);
    // Render target 0 and the depth surface back to the kept back buffer and
    // depth surface, so a pass that drew into a texture leaves nothing behind.
    void RestoreRenderTarget();

    TextureManager textureManager;
    plat::GfxSystem* system = nullptr;
    plat::GfxDevice* device = nullptr;
    plat::GfxPresentParams presentParams;
    plat::Sprite* sprite = nullptr;
    plat::Font* fonts[kFontSlots] = {};
    plat::FontDesc fontDescs[kFontSlots];
    plat::GfxLight light;
    // Released and reloaded around a device reset; not owned.
    std::vector<ShaderBase*> effects;
    Mat4 projection;
    Mat4 view;
    plat::GfxSurface* backBuffer = nullptr;
    plat::GfxSurface* depthSurface = nullptr;
    u32 deviceLost = 0;
    DeviceCallback lostCallbacks[kCallbackSlots] = {};
    DeviceCallback resetCallbacks[kCallbackSlots] = {};
    plat::Window* window = nullptr;

private:
    void ReleaseDeviceObjects();
    void MakeDeviceObjects();
};

GraphicsDevice* GetGraphicsDevice();
