#pragma once
// A graphics device for drawing tests: OpenGL on an offscreen window (real
// pixels, read back), or the recording backend on a headless window.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/Window.h"

struct OffscreenDevice {
    std::unique_ptr<plat::Window> window;
    plat::GfxRef<plat::GfxSystem> system;
    plat::GfxRef<plat::GfxDevice> device;
    plat::GfxPresentParams params;  // as the device took them

    // False (with a test failure) when the device cannot be made.
    bool Open(plat::GfxBackend backend, int width = 1024, int height = 768,
              u32 behavior = plat::GfxBehaviorHardwareVertexProcessing) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        plat::SetGfxBackend(backend);
        const u32 flags = backend == plat::GfxBackend::Recorder ? plat::Window::Headless : plat::Window::Hidden;
        window = plat::Window::Create("draw test", 0, 0, width, height, flags);
        EXPECT_NE(window, nullptr);
        if (!window) return false;
        *system.put() = plat::CreateGfxSystem();
        EXPECT_TRUE(system);
        if (!system) return false;
        plat::GfxPresentParams pp;
        pp.windowed = true;
        pp.backBufferFormat = plat::GfxFormat::X8R8G8B8;
        pp.deviceWindow = window.get();
        const plat::GfxResult r =
            system->CreateDevice(plat::GfxDeviceType::Hal, window.get(), behavior, &pp, device.put());
        EXPECT_EQ(r, plat::GfxResult::Ok);
        params = pp;
        return r == plat::GfxResult::Ok;
    }

    ~OffscreenDevice() {
        device.reset();
        system.reset();
        window.reset();
    }

    // Pixels of a rectangle of the back buffer as 0xAARRGGBB, rows top-down.
    std::vector<u32> Read(int left, int top, int right, int bottom) {
        plat::GfxRef<plat::GfxSurface> bb;
        EXPECT_EQ(device->GetBackBuffer(bb.put()), plat::GfxResult::Ok);
        plat::GfxRect r{left, top, right, bottom};
        std::vector<u32> px;
        EXPECT_EQ(device->ReadPixels(bb.get(), &r, &px), plat::GfxResult::Ok);
        return px;
    }
    u32 Pixel(int x, int y) {
        std::vector<u32> px = Read(x, y, x + 1, y + 1);
        return px.empty() ? 0 : px[0];
    }
};

// A managed 2x2 texture: red, green / blue, white (as 0xAARRGGBB).
inline plat::GfxRef<plat::GfxTexture> MakeCheckerTexture(plat::GfxDevice* device) {
    plat::GfxRef<plat::GfxTexture> t;
    EXPECT_EQ(device->CreateTexture(2, 2, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed, t.put()),
              plat::GfxResult::Ok);
    plat::GfxLockedRect lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), plat::GfxResult::Ok);
    const u32 c[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<u8*>(lr.bits) + y * lr.pitch, c + y * 2, 8);
    EXPECT_EQ(t->UnlockRect(0), plat::GfxResult::Ok);
    return t;
}

// Bounding box of the pixels in a block that differ from the background.
struct InkBox {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right/bottom exclusive
    int count = 0;
    bool Empty() const { return count == 0; }
};

inline InkBox FindInk(const std::vector<u32>& px, int width, int originX, int originY, u32 background) {
    InkBox box;
    const int height = width > 0 ? int(px.size()) / width : 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if ((px[size_t(y) * width + x] & 0xFFFFFF) == (background & 0xFFFFFF)) continue;
            ++box.count;
            box.left = std::min(box.left, originX + x);
            box.top = std::min(box.top, originY + y);
            box.right = std::max(box.right, originX + x + 1);
            box.bottom = std::max(box.bottom, originY + y + 1);
        }
    return box;
}
