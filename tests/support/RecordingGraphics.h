#pragma once
// The graphics object made on the recording backend with a headless window,
// and the application's window size set to match, for drawing tests of the
// application shell. The recorder's calls tell what was drawn.
#include <memory>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Window.h"

class RecordingGraphics {
public:
    explicit RecordingGraphics(i32 width = 1024, i32 height = 768)
    {
        plat::SetGfxBackend(plat::GfxBackend::Recorder);
        window_ = plat::Window::Create("test", 0, 0, width, height, plat::Window::Headless);
        EXPECT_NE(window_, nullptr);
        EXPECT_EQ(GetGraphicsDevice()->Create(window_.get(), width, height, plat::GfxFormat::X8R8G8B8, false), 1);
        CApplication& app = *GetApplication();
        app.video.screenWidth = width;
        app.video.screenHeight = height;
        app.video.screenScaleX = static_cast<f32>(width) / 1024.0f;
        app.video.screenScaleY = static_cast<f32>(height) / 768.0f;
    }
    ~RecordingGraphics()
    {
        GetGraphicsDevice()->Release();
        window_.reset();
    }
    RecordingGraphics(const RecordingGraphics&) = delete;
    RecordingGraphics& operator=(const RecordingGraphics&) = delete;

    plat::GfxRecorderDevice* Recorder() const { return plat::AsRecorder(GetGraphicsDevice()->device); }

private:
    std::unique_ptr<plat::Window> window_;
};
