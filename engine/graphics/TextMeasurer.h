#pragma once
// The seam through which the line editor measures text: whatever font draws
// the line also measures it, so the caret lands behind the last glyph.
#include "platform/core/Types.h"

struct TextExtent {
    i32 cx = 0;
    i32 cy = 0;
};

class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    // Pixel size of the first `bytes` bytes of UTF-8 text.
    virtual TextExtent MeasureText(const char* text, i32 bytes) const = 0;
};
