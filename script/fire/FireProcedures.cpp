// The fire procedures. Each one's shots come with its weapon; until then a
// procedure does nothing and spends nothing, like an empty entry.
#include "robot/Robot.h"

