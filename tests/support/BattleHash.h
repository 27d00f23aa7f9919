#pragma once
// The battle's fingerprint lives in the battle library, so the game itself can
// log it for the online tests; the tests keep reaching it by this name.
#include "battle/BattleHash.h"
