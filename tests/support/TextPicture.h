#pragma once
// Whether a screenshot shows a text letter for letter as the game's face
// draws it at a given pixel height: small text shown scaled must be what the
// face draws at the height it is seen, not a shrunk picture missing strokes.
#include <algorithm>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Sprite.h"
#include "support/OffscreenDevice.h"
#include "support/PlayFolder.h"

// How much of a text its letters cover, pixel by pixel (0..255), as the
// face drawn at `height` pixels covers it. Empty when no device or face is
// at hand.
struct TextCoverage {
    std::vector<u8> a;
    int width = 0, height = 0;
    int left = 0, top = 0;  // of the ink box, from the pen's line top-left

    TextCoverage(const char* text, const char* face, int pixels)
    {
        OffscreenDevice d;
        if (!d.Open(plat::GfxBackend::OpenGL, 512, 128)) return;
        plat::Font* font = nullptr;
        plat::Sprite* sprite = nullptr;
        if (plat::CreateFont(d.device.get(), plat::FontDesc{pixels, face}, &font) != plat::GfxResult::Ok) return;
        if (plat::CreateSprite(d.device.get(), &sprite) != plat::GfxResult::Ok) {
            font->Release();
            return;
        }
        d.device->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
        d.device->BeginScene();
        sprite->Begin(plat::SpriteAlphaBlend);
        plat::GfxRect rc{8, 8, 504, 120};
        font->DrawText(sprite, text, -1, &rc, plat::TextNoClip, 0xFFFFFFFFu);
        sprite->End();
        d.device->EndScene();
        const std::vector<u32> px = d.Read(0, 0, 512, 128);
        sprite->Release();
        font->Release();
        // The box of what can be seen: a letter's faintest edge does not count.
        std::vector<u32> seen(px.size());
        std::transform(px.begin(), px.end(), seen.begin(), [](u32 p) { return (p >> 16 & 0xFF) < 32 ? 0u : p; });
        const InkBox ink = FindInk(seen, 512, 0, 0, 0);
        if (ink.Empty()) return;
        width = ink.right - ink.left;
        height = ink.bottom - ink.top;
        left = ink.left - 8;
        top = ink.top - 8;
        for (int y = ink.top; y < ink.bottom; ++y)
            for (int x = ink.left; x < ink.right; ++x) a.push_back(u8(px[size_t(y) * 512 + x] >> 16 & 0xFF));
    }
};

// Pixels against the text at its best place in a shot: its ink box's corner
// anywhere from (left, top) to (right, bottom), read in one channel (bits
// `shift`), or for `dark` letters by how dark the pixel is in every channel.
// A pixel the letters fill must be lit, one they leave must not be.
inline int TextMismatch(const plat::Image& shot, const TextCoverage& want, int left, int top, int right, int bottom,
                        int shift, bool dark)
{
    int fewest = 1 << 30;
    for (int y0 = top; y0 <= bottom; ++y0)
        for (int x0 = left; x0 <= right; ++x0) {
            int against = 0;
            for (int j = 0; j < want.height && against < fewest; ++j)
                for (int i = 0; i < want.width; ++i) {
                    const int sx = x0 + i, sy = y0 + j;
                    if (sx < 0 || sy < 0 || sx >= int(shot.width) || sy >= int(shot.height)) {
                        ++against;
                        continue;
                    }
                    const u32 p = PixelAt(shot, u32(sx), u32(sy));
                    const int lit = dark ? 255 - int(std::max({p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF}))
                                         : int(p >> shift & 0xFF);
                    const int a = want.a[size_t(j) * want.width + i];
                    against += (a > 160 && lit < 130) || (a < 20 && lit > 130);
                }
            fewest = std::min(fewest, against);
        }
    return fewest;
}
