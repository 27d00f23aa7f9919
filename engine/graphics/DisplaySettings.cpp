#include "engine/graphics/DisplaySettings.h"

DisplaySettings& GetDisplaySettings() {
    static DisplaySettings settings;
    return settings;
}
