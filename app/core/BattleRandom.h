#pragma once
// The battle's own generator, re-initialised at every battle set-up; every
// client of an online battle draws from it in the same order.
#include "engine/core/MTRand.h"

namespace app_detail {
// Built before any code runs (constant initialisation), so reaching it needs
// no first-use guard: effects draw from it millions of times a battle.
extern cMTRand battleRandom;
}

inline cMTRand& GetBattleRandom() { return app_detail::battleRandom; }
