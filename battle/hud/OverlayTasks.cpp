#include "battle/hud/OverlayTasks.h"

#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "app/scene/SceneDevice.h"
#include "battle/GameScene.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/math/Math.h"

namespace {

u32 AlphaColour(i32 alpha, u32 rgb) { return (static_cast<u32>(alpha) & 0xFFu) << 24 | rgb; }


// A whole-window overlay draws once, in the last view's pass, over the
// whole window; false when this pass is not the one.
bool BeginWholeWindow(u8 wholeWindow)
{
    if (!wholeWindow) return true;
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->currentView) return true;
    if (scene->currentView != &scene->views[static_cast<i32>(scene->lastActiveView)]) return false;
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->sprite->Flush();
    gd->device->SetViewport(scene->fullView.viewport);
    SetLayoutView(nullptr);
    return true;
}

void EndWholeWindow(u8 wholeWindow)
{
    if (!wholeWindow) return;
    CGameScene* scene = FindGameScene();
    if (!scene || !scene->currentView) return;
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->sprite->Flush();
    gd->device->SetViewport(scene->currentView->viewport);
    SetLayoutView(&scene->currentView->viewport);
}

bool CanDraw() { return GetGraphicsDevice()->sprite != nullptr && GetGraphicsDevice()->device != nullptr; }

}  // namespace

Mat4 LayoutMatrix(f32 scaleX, f32 scaleY, f32 x, f32 y)
{
    const LayoutPlacement at = CurrentLayout();
    Mat4 m;
    plat::MatrixScaling(&m, scaleX * at.scaleX, scaleY * at.scaleY, 1.0f);
    m.m[3][0] = x * at.scaleX + at.x;
    m.m[3][1] = y * at.scaleY + at.y;
    return m;
}

i32 GMTCB_DrawPS_Black::Proc() { return alpha == -1 ? kTaskRemove : kTaskKeep; }

void GMTCB_DrawPS_Black::DrawSP()
{
    if (!CanDraw() || !BeginWholeWindow(wholeWindow)) return;
    const CApplication& app = *GetApplication();
    const TextureHandle& dot = app.sharedTextures[0];
    GraphicsDevice* gd = GetGraphicsDevice();
    if (dot.texture && dot.sourceRect.Width() > 0 && dot.sourceRect.Height() > 0) {
        Mat4 m;
        plat::MatrixScaling(&m, static_cast<f32>(app.video.screenWidth) / static_cast<f32>(dot.sourceRect.Width()),
                            static_cast<f32>(app.video.screenHeight) / static_cast<f32>(dot.sourceRect.Height()),
                            1.0f);
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, AlphaColour(alpha, 0));
    }
    EndWholeWindow(wholeWindow);
}

i32 GMTCB_DrawPS_Beta::Proc() { return alpha == -1 ? kTaskRemove : kTaskKeep; }

void GMTCB_DrawPS_Beta::DrawSP()
{
    if (!CanDraw() || !BeginWholeWindow(wholeWindow)) return;
    const TextureHandle& dot = GetApplication()->sharedTextures[0];
    if (dot.texture && dot.sourceRect.Width() > 0 && dot.sourceRect.Height() > 0) {
        GraphicsDevice* gd = GetGraphicsDevice();
        gd->sprite->SetTransform(LayoutMatrix(width / static_cast<f32>(dot.sourceRect.Width()),
                                              height / static_cast<f32>(dot.sourceRect.Height()),
                                              static_cast<f32>(x), static_cast<f32>(y)));
        const u32 rgb = static_cast<u32>(red) << 16 | static_cast<u32>(green) << 8 | blue;
        gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, AlphaColour(alpha, rgb));
    }
    EndWholeWindow(wholeWindow);
}

i32 GMTCB_DrawPS_Picture::Proc() { return alpha == -1 ? kTaskRemove : kTaskKeep; }

void GMTCB_DrawPS_Picture::SetPicture(u8 startAlpha, const char* file)
{
    alpha = startAlpha;
    const std::string path = std::string(GetApplication()->startupDir) + "/" + file;
    picture.LoadScrambled(path.c_str(), plat::kGfxFromFile, plat::kGfxFromFile, 1, 0, plat::GfxFormat::Unknown,
                          plat::GfxPool::Managed, plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr, AssetKey);
}

void GMTCB_DrawPS_Picture::DrawSP()
{
    if (alpha < 0 || !picture.texture || !CanDraw()) return;
    const i32 w = picture.sourceRect.Width();
    const i32 h = picture.sourceRect.Height();
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, static_cast<f32>(512 - w / 2), static_cast<f32>(384 - h / 2)));
    gd->sprite->Draw(picture.texture, &picture.sourceRect, nullptr, nullptr, AlphaColour(alpha, 0xFFFFFF));
}

i32 GMTCB_DrawPS_Picture2::Proc() { return alpha == -1 ? kTaskRemove : kTaskKeep; }

void GMTCB_DrawPS_Picture2::DrawSP()
{
    if (alpha < 0 || !texture || !texture->texture || !CanDraw()) return;
    const i32 w = texture->sourceRect.Width();
    const i32 h = texture->sourceRect.Height();
    // Centred on its own middle, scaled, then placed at (x, y) in layout space.
    const Mat4 m = LayoutMatrix(scaleX, scaleY, static_cast<f32>(-(w / 2)) * scaleX + x,
                                static_cast<f32>(-(h / 2)) * scaleY + y);
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->sprite->SetTransform(m);
    const plat::GfxRect src{0, 0, w, h};
    gd->sprite->Draw(texture->texture, &src, nullptr, nullptr, AlphaColour(alpha, 0xFFFFFF));
}

i32 GMTCB_Draw_Line::Proc() { return finished ? kTaskRemove : kTaskKeep; }

void GMTCB_Draw_Line::Draw()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!visible || !gd->device) return;
    gd->device->SetRenderState(plat::GfxRenderState::Lighting, 0);
    gd->device->SetRenderState(plat::GfxRenderState::FogEnable, 0);
    gd->DrawLine2D(x1, y1, x2, y2, colour, LayoutMatrix(1.0f, 1.0f, 0.0f, 0.0f));
    gd->device->SetRenderState(plat::GfxRenderState::Lighting, 1);
    gd->device->SetRenderState(plat::GfxRenderState::FogEnable, 1);
}

i32 GMTCB_DrawSP_DispString::Proc() { return finished ? kTaskRemove : kTaskKeep; }

void GMTCB_DrawSP_DispString::DrawSP()
{
    if (!visible || !CanDraw()) return;
    const CApplication& app = *GetApplication();
    const TextureHandle& dot = app.sharedTextures[0];
    GraphicsDevice* gd = GetGraphicsDevice();
    if (dot.texture && dot.sourceRect.Width() > 0 && dot.sourceRect.Height() > 0) {
        Mat4 m;
        plat::MatrixScaling(&m, static_cast<f32>(app.video.screenWidth) / static_cast<f32>(dot.sourceRect.Width()),
                            static_cast<f32>(app.video.screenHeight) / static_cast<f32>(dot.sourceRect.Height()),
                            1.0f);
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(dot.texture, &dot.sourceRect, nullptr, nullptr, 0xC8000000u);
    }
    if (plat::Font* f = gd->fonts[1]) {
        const plat::GfxRect screen{0, 0, 1024, 768};
        gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, 0.0f, 0.0f));
        GetTextureCache()->DrawTextDefault(f, text, -1, &screen, 5, 0xFFFFFFFFu);
    }
}

i32 GMTCB_DrawSP_DispString2::Proc()
{
    ++frameCounter;
    const i32 length = static_cast<i32>(strnlen(text, sizeof text));
    if (mode == 1 && shown < length && framesPerChar && frameCounter % framesPerChar == 0) ++shown;
    if (length <= shown) shown = length;
    return finished ? kTaskRemove : kTaskKeep;
}

void GMTCB_DrawSP_DispString2::DrawSP()
{
    if (!visible || !CanDraw() || !BeginWholeWindow(wholeWindow)) return;
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::Font* f = font >= 0 && font < GraphicsDevice::kFontSlots ? gd->fonts[font] : nullptr;
    if (f) {
        const i32 count = mode == 1 ? shown : -1;
        const u32 layout = mode == 1 ? 1 : 0;
        TextureCache* cache = GetTextureCache();
        gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, x + 1.0f, y + 1.0f));
        cache->DrawText(f, text, count, &rect, format, colour & 0xFF000000u, 60, layout, 0);
        gd->sprite->SetTransform(LayoutMatrix(1.0f, 1.0f, x, y));
        cache->DrawText(f, text, count, &rect, format, colour, 60, layout, 0);
    }
    EndWholeWindow(wholeWindow);
}
