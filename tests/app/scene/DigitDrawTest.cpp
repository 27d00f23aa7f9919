// Numbers reach the screen through the shared sprite and the digit font.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "app/core/Application.h"
#include "app/scene/DigitDraw.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/Window.h"

namespace {

void DrawElevenAtHalfSize()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    auto window = plat::Window::Create("digits", 0, 0, 512, 384, plat::Window::Hidden);
    ASSERT_NE(window, nullptr);
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->Create(window.get(), 512, 384, plat::GfxFormat::X8R8G8B8, false), 1);

    // A digit font whose cell 1 is opaque white and every other cell clear.
    CApplication& app = *GetApplication();
    TextureHandle& font = app.sharedTextures[DigitFontTexture];
    ASSERT_EQ(font.CreateBlank(512, 64, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed), 1);
    plat::GfxLockedRect locked;
    ASSERT_EQ(font.texture->LockRect(0, &locked, nullptr, 0), plat::GfxResult::Ok);
    for (int y = 0; y < 64; ++y) {
        auto* row = reinterpret_cast<u32*>(static_cast<u8*>(locked.bits) + y * locked.pitch);
        for (int x = 0; x < 512; ++x) row[x] = (x >= 46 && x < 92) ? 0xFFFFFFFFu : 0x00000000u;
    }
    font.texture->UnlockRect(0);

    // Half-size window: virtual x 200 lands on pixel 100.
    app.video.screenScaleX = 0.5f;
    app.video.screenScaleY = 0.5f;
    plat::GfxDevice* d = gd->device;
    ASSERT_EQ(d->BeginScene(), plat::GfxResult::Ok);
    d->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);
    ASSERT_EQ(gd->sprite->Begin(plat::SpriteAlphaBlend), plat::GfxResult::Ok);
    DrawNumber(app, 11, 200.0f, 100.0f, 1.0f, 4, 0xFFFFFFFFu); // cells at x 200 and 250
    gd->sprite->End();
    d->EndScene();

    plat::GfxRef<plat::GfxSurface> bb;
    ASSERT_EQ(d->GetBackBuffer(bb.put()), plat::GfxResult::Ok);
    std::vector<u32> px;
    ASSERT_EQ(d->ReadPixels(bb.get(), nullptr, &px), plat::GfxResult::Ok);
    auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 512 + x] & 0xFFFFFFu; };
    EXPECT_EQ(at(105, 60), 0xFFFFFFu) << "first '1' at (200, 100) virtual";
    EXPECT_EQ(at(130, 60), 0xFFFFFFu) << "second '1' at (250, 100) virtual";
    EXPECT_EQ(at(98, 60), 0u);
    EXPECT_EQ(at(105, 45), 0u);
    EXPECT_EQ(at(105, 85), 0u) << "a cell is 64 high, 32 pixels here";
    EXPECT_EQ(at(160, 60), 0u);

    font.Release();
    app.video.screenScaleX = app.video.screenScaleY = 0.0f;
    gd->Release();
}

// The drawing runs on a thread of its own: the software driver's thread-local
// blocks then end with that thread, and the leak checker never reads them at
// exit (a stale one of the main thread's crashed the checker itself).
TEST(DigitDraw, CellsLandWhereTheLayoutPutsThemScaledToTheWindow)
{
    std::thread(DrawElevenAtHalfSize).join();
}

}  // namespace
