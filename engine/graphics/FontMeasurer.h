#pragma once
// Measures text with one of the graphics device's font slots, so the line
// editor's caret lands behind the glyphs that font draws:
//     static const FontMeasurer measurer(1);
//     app->lineEditor.SetMeasureDC(&measurer);
// The slot is read at every call: the device makes its fonts anew after a reset.
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextMeasurer.h"

class FontMeasurer : public TextMeasurer {
public:
    explicit FontMeasurer(int slot) : slot_(slot) {}

    // Zero width (and height) while the slot holds no font.
    TextExtent MeasureText(const char* text, i32 bytes) const override {
        if (slot_ < 0 || slot_ >= GraphicsDevice::kFontSlots) return TextExtent{};
        plat::Font* font = GetGraphicsDevice()->fonts[slot_];
        if (font == nullptr) return TextExtent{};
        const plat::TextSize size = font->GetTextExtent(text, bytes);
        return TextExtent{size.cx, size.cy};
    }

private:
    int slot_;
};
