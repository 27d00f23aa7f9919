#include "online/OnlineDraw.h"

#include <algorithm>
#include <vector>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "app/scene/SceneDevice.h"
#include "engine/graphics/FontMeasurer.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/Window.h"
#include "platform/math/Math.h"

namespace {

void SetLayoutTransform(f32 x, f32 y, f32 sx, f32 sy)
{
    Mat4 local;
    plat::MatrixScaling(&local, sx, sy, 1.0f);
    local.m[3][0] = x;
    local.m[3][1] = y;
    SetSpriteLayout(local);
}

}  // namespace

void DrawPictureAt(TextureHandle& picture, f32 x, f32 y, u32 colour, f32 scale, const plat::GfxRect* source)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !picture.texture) return;
    SetLayoutTransform(x, y, scale, scale);
    gd->sprite->Draw(picture.texture, source ? source : &picture.sourceRect, nullptr, nullptr, colour);
}

void DrawStretched(TextureHandle& picture, f32 x, f32 y, f32 w, f32 h, u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    const i32 pw = picture.sourceRect.Width(), ph = picture.sourceRect.Height();
    if (!gd->sprite || !picture.texture || pw <= 0 || ph <= 0) return;
    SetLayoutTransform(x, y, w / f32(pw), h / f32(ph));
    gd->sprite->Draw(picture.texture, &picture.sourceRect, nullptr, nullptr, colour);
}

void DrawLayoutText(const char* text, i32 left, i32 top, i32 right, i32 bottom, u32 colour, u32 format, i32 font)
{
    if (!text || !*text) return;
    const plat::GfxRect rect{left, top, right, bottom};
    DrawTextAt(font, 0.0f, 0.0f, text, -1, &rect, format, colour);
}

void DrawScaledText(const char* text, f32 x, f32 y, f32 scale, i32 width, i32 height, u32 colour, i32 font)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!text || !*text || !gd->sprite || font < 0 || font >= GraphicsDevice::kFontSlots) return;
    SetLayoutTransform(x, y, scale, scale);
    const plat::GfxRect rect{0, 0, width, height};
    GetTextureCache()->DrawText(gd->fonts[font], text, -1, &rect, 0, colour, 60, 0, 0);
}

void DrawShadowedText(const char* text, i32 left, i32 top, i32 right, i32 bottom, u32 colour, u32 format,
                      i32 shadow, i32 font)
{
    DrawLayoutText(text, left + shadow, top + shadow, right + shadow, bottom + shadow, 0xFF000000u, format, font);
    DrawLayoutText(text, left, top, right, bottom, colour, format, font);
}

std::string FitToWidth(const std::string& text, i32 width, i32 font)
{
    const FontMeasurer measurer(font);
    auto fits = [&](const std::string& t) { return measurer.MeasureText(t.c_str(), i32(t.size())).cx <= width; };
    if (fits(text)) return text;
    // The longest run of whole characters that fits with the dots, found by
    // halving: a robot's name may run to 255 bytes, measured every frame.
    std::vector<size_t> ends{0};
    for (size_t at = 0; at < text.size();) {
        at += std::max<size_t>(1, plat::Utf8CharLength(text.c_str() + at));
        ends.push_back(std::min(at, text.size()));
    }
    size_t low = 0, high = ends.size() - 1;  // ends[low] fits (or is empty), ends[high] does not
    while (high - low > 1) {
        const size_t mid = (low + high) / 2;
        if (fits(text.substr(0, ends[mid]) + "...")) low = mid;
        else high = mid;
    }
    return text.substr(0, ends[low]) + "...";
}

bool ClientToLayout(i32 cx, i32 cy, i32& x, i32& y)
{
    const CApplication* app = GetApplication();
    i32 w = app->video.screenWidth, h = app->video.screenHeight;
    if (app->mainWindow) app->mainWindow->GetClientSize(&w, &h);
    if (w <= 0 || h <= 0) return false;
    x = cx * 1024 / w;
    y = cy * 768 / h;
    return true;
}
