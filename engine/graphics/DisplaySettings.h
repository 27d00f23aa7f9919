#pragma once
// Display settings the engine reads but the application object owns: the
// application fills this record once "Config.ini" is read and the settings
// dialog has closed (and again whenever it changes one of these values).
#include "platform/core/Types.h"

struct DisplaySettings {
    u8 fastFont = 1;          // 1: text through the rendered-text cache
    i32 screenWidth = 1024;   // window client size from "Config.ini"
    i32 screenHeight = 768;
    f32 screenScaleX = 1.0f;  // screenWidth / 1024
    f32 screenScaleY = 1.0f;  // screenHeight / 768
};

DisplaySettings& GetDisplaySettings();
