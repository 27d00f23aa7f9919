#include <gtest/gtest.h>

#include "engine/graphics/FontMeasurer.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/Window.h"

using namespace plat;

TEST(FontMeasurer, MeasuresWithWhateverFontTheSlotHoldsNow) {
    SetGfxBackend(GfxBackend::Recorder);
    auto window = Window::Create("measure", 0, 0, 640, 480, Window::Headless);
    GraphicsDevice* gd = GetGraphicsDevice();
    const FontMeasurer measurer(7);
    EXPECT_EQ(measurer.MeasureText("起動", -1).cx, 0) << "no device, no font";
    ASSERT_EQ(gd->Create(window.get(), 640, 480, GfxFormat::X8R8G8B8, false), 1);
    gd->CreateFont(7, "ＭＳ　ゴシック", 16);
    TextExtent e = measurer.MeasureText("起動x", 6);
    EXPECT_EQ(e.cx, gd->fonts[7]->GetTextExtent("起動", -1).cx);
    EXPECT_EQ(e.cy, 16);
    gd->CreateFont(7, "ＭＳ　ゴシック", 32);
    e = measurer.MeasureText("起動x", 6);
    EXPECT_EQ(e.cy, 32);
    EXPECT_EQ(e.cx, gd->fonts[7]->GetTextExtent("起動", -1).cx);
    EXPECT_EQ(FontMeasurer(12).MeasureText("起動", -1).cx, 0);
    gd->Release();
}
