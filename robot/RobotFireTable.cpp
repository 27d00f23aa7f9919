#include "robot/Robot.h"

// Entries 1..33 (weapons) and 51..62 (effects and part sets) receive their
// procedures here as the weapons are built; every other entry keeps the
// empty procedure Reset gave it.
void CRobot_Normal::FillFireProcTable() {}
