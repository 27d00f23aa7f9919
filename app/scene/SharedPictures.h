#pragma once
// The application's shared pictures, loaded at start-up, and drawing one of
// them over the whole screen.
#include "platform/gfx/Gfx.h"
#include "platform/core/Types.h"

class TextureHandle;

// Loads a scrambled user-interface picture (AssetKey) as the scenes do:
// default size, one mip level, managed pool, no filtering, no colour key.
// 1 on success.
int LoadPicture(TextureHandle& handle, const char* fileName, plat::GfxFormat format = plat::GfxFormat::Unknown);

enum SharedPicture : i32 {
    Dot = 0,       // "Quillon/dot.png"
    Back = 1,      // "Quillon/back.png"
    BackRed = 2,   // "Quillon/back_red.png"
    DigitFont = 3, // "Quillon/digifont.png"
};

TextureHandle& GetSharedPicture(SharedPicture which);

// Stretches the picture over the window through the shared sprite, tinted.
void DrawFullScreenPicture(SharedPicture which, u32 colour);
