#include "battle/FireStats.h"

namespace {
FireProcStats g_stats;
}  // namespace

FireProcStats& BattleFireStats() { return g_stats; }

void ResetBattleFireStats()
{
    g_stats = FireProcStats{};
    fire_detail::current = 0;
}

void CountFireHit(u8 proc)
{
    if (proc != 0 && proc < kFireStatSlots) ++g_stats.hits[proc];
}

