#include "engine/DisplaySettings.h"

DisplaySettings& GetDisplaySettings() {
    static DisplaySettings settings;
    return settings;
}
