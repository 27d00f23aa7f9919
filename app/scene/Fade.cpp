#include "app/scene/Fade.h"

#include "app/core/Application.h"
#include "app/scene/SharedPictures.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/math/Math.h"

namespace {

void LoadDot(TextureHandle& dot) { LoadPicture(dot, FadeDotPicture, plat::GfxFormat::X8R8G8B8); }

// Scaled by the window's pixel size (not the layout scale): the dot covers
// the whole window whatever the layout.
void DrawLayer(TextureHandle& dot, Mat4& transform, u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!gd->sprite || !dot.texture) return;
    const CApplication* app = GetApplication();
    plat::MatrixScaling(&transform, static_cast<f32>(app->video.screenWidth), static_cast<f32>(app->video.screenHeight), 1.0f);
    // One texel of the dot covers one unit of the transform.
    Mat4 perTexel;
    plat::MatrixScaling(&perTexel, 1.0f / static_cast<f32>(dot.sourceRect.Width()),
                        1.0f / static_cast<f32>(dot.sourceRect.Height()), 1.0f);
    plat::MatrixMultiply(&perTexel, &perTexel, &transform);
    gd->sprite->SetTransform(perTexel);
    const Vec3 origin(0, 0, 0);
    gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, &origin, colour);
}

}  // namespace

u32 FadeColour(i32 alpha, u8 red, u8 green, u8 blue)
{
    return (static_cast<u32>(alpha) & 0xFFu) << 24 | static_cast<u32>(red) << 16 | static_cast<u32>(green) << 8 |
           blue;
}

TCB_FadeIn::TCB_FadeIn() { LoadDot(dot); }
TCB_FadeIn::~TCB_FadeIn() { dot.Release(); }

TCB_FadeIn* TCB_FadeIn::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_FadeIn>(list, priority);
}

i32 TCB_FadeIn::Proc()
{
    alpha -= speed;
    if (alpha > 0) return kTaskKeep;
    alpha = 0;
    return kTaskRemove;
}

void TCB_FadeIn::DrawSP() { DrawLayer(dot, transform, FadeColour(alpha, red, green, blue)); }

TCB_FadeOut::TCB_FadeOut() { LoadDot(dot); }
TCB_FadeOut::~TCB_FadeOut() { dot.Release(); }

TCB_FadeOut* TCB_FadeOut::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_FadeOut>(list, priority);
}

i32 TCB_FadeOut::Proc()
{
    alpha += speed;
    if (alpha >= 255) {
        alpha = 255;
        if (removeWhenFull == 1) return kTaskRemove;
    }
    return release == 1 ? kTaskRemove : kTaskKeep;
}

void TCB_FadeOut::DrawSP() { DrawLayer(dot, transform, FadeColour(alpha, red, green, blue)); }
