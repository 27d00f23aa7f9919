#include "app/scene/Camera.h"

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/TextureCache.h"
#include "platform/math/Math.h"

CCamera& GetCurrentCamera()
{
    static CCamera current;
    return current;
}

void CCamera::Apply()
{
    // A singular world matrix keeps the previous view rather than a garbage one.
    plat::MatrixInverse(&view, nullptr, &world);
    GraphicsDevice* gd = GetGraphicsDevice();
    if (gd->device) gd->device->SetTransform(plat::GfxTransform::View, view);
    GetCurrentCamera() = *this;
    gd->view = view;
}

void SetAlphaBlend()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d) return;
    d->SetRenderState(plat::GfxRenderState::BlendOp, plat::BlendOpAdd);
    d->SetRenderState(plat::GfxRenderState::SrcBlend, plat::BlendSrcAlpha);
    d->SetRenderState(plat::GfxRenderState::DestBlend, plat::BlendInvSrcAlpha);
}

void SetAddBlend()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    if (!d) return;
    d->SetRenderState(plat::GfxRenderState::BlendOp, plat::BlendOpAdd);
    d->SetRenderState(plat::GfxRenderState::SrcBlend, plat::BlendSrcAlpha);
    d->SetRenderState(plat::GfxRenderState::DestBlend, plat::BlendOne);
}

TextCacheEntry* DrawTextAt(i32 font, f32 x, f32 y, const char* text, i32 count, const plat::GfxRect* rect,
                           u32 format, u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    const CApplication* app = GetApplication();
    Mat4 place, scale;
    plat::MatrixTranslation(&place, x, y, 0.0f);
    plat::MatrixScaling(&scale, app->video.screenScaleX, app->video.screenScaleY, 1.0f);
    plat::MatrixMultiply(&place, &place, &scale);
    if (gd->sprite) gd->sprite->SetTransform(place);
    plat::Font* f = font >= 0 && font < GraphicsDevice::kFontSlots ? gd->fonts[font] : nullptr;
    return GetTextureCache()->DrawText(f, text, count, rect, format, colour, 60, 0, 0);
}

void PointList::Draw(plat::GfxDevice* device, plat::GfxBaseTexture* texture) const
{
    if (!device) return;
    device->SetStreamSource(0, buffer, 0, sizeof(BillboardVertex));
    device->SetFVF(BillboardQuad::kFvf);
    device->SetTexture(0, texture);
    device->DrawPrimitive(plat::GfxPrimitive::PointList, 0, count > 0 ? u32(count) : 0);
}
