#pragma once
// The engine's graphics object on a 256 x 256 offscreen OpenGL window, as the
// game makes it, for tests that draw through meshes and effects. TearDown
// releases the shader wrappers and empties the effect list too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/Shaders.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfx/Window.h"

class EngineGraphicsFixture : public ::testing::Test {
protected:
    static constexpr int kSize = 256;

    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        plat::SetGfxBackend(plat::GfxBackend::OpenGL);
        window_ = plat::Window::Create("engine draw test", 0, 0, kSize, kSize, plat::Window::Hidden);
        ASSERT_NE(window_, nullptr);
        gd_ = GetGraphicsDevice();
        ASSERT_EQ(gd_->Create(window_.get(), kSize, kSize, plat::GfxFormat::X8R8G8B8, false), 1);
        gd_->SetDefaultRenderStates();
    }
    void TearDown() override
    {
        ReleaseShaderWrappers();
        gd_->effects.clear();
        gd_->Release();
        window_.reset();
    }
    // One pixel of a surface as 0xAARRGGBB (0 when it cannot be read).
    u32 ReadPixel(plat::GfxSurface* s, int x, int y)
    {
        plat::GfxRect r{x, y, x + 1, y + 1};
        std::vector<u32> px;
        gd_->device->ReadPixels(s, &r, &px);
        return px.empty() ? 0 : px[0];
    }

    std::unique_ptr<plat::Window> window_;
    GraphicsDevice* gd_ = nullptr;
};
