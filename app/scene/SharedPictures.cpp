#include "app/scene/SharedPictures.h"

#include "app/core/Application.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureManager.h"
#include "platform/math/Math.h"

int LoadPicture(TextureHandle& handle, const char* fileName, plat::GfxFormat format)
{
    return handle.LoadScrambled(fileName, plat::kGfxDefault, plat::kGfxDefault, 1, 0, format, plat::GfxPool::Managed,
                                plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr, AssetKey);
}

TextureHandle& GetSharedPicture(SharedPicture which) { return GetApplication()->sharedTextures[which]; }

void DrawFullScreenPicture(SharedPicture which, u32 colour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    TextureHandle& picture = GetSharedPicture(which);
    if (!gd->sprite || !picture.texture || picture.sourceRect.Width() <= 0 || picture.sourceRect.Height() <= 0)
        return;
    const CApplication* app = GetApplication();
    Mat4 m;
    plat::MatrixScaling(&m, static_cast<f32>(app->video.screenWidth) / static_cast<f32>(picture.sourceRect.Width()),
                        static_cast<f32>(app->video.screenHeight) / static_cast<f32>(picture.sourceRect.Height()), 1.0f);
    gd->sprite->SetTransform(m);
    gd->sprite->Draw(picture.texture, &picture.sourceRect, nullptr, nullptr, colour);
}
