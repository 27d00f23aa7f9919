#include "battle/FireStats.h"

namespace {
FireProcStats g_stats;
u8 g_current = 0;
}  // namespace

FireProcStats& BattleFireStats() { return g_stats; }

void ResetBattleFireStats()
{
    g_stats = FireProcStats{};
    g_current = 0;
}

u8 CurrentFireProc() { return g_current; }

void CountFireHit(u8 proc)
{
    if (proc != 0 && proc < kFireStatSlots) ++g_stats.hits[proc];
}

ScopedFireProc::ScopedFireProc(i32 proc) : previous_(g_current)
{
    g_current = proc > 0 && proc < kFireStatSlots ? static_cast<u8>(proc) : 0;
}

ScopedFireProc::~ScopedFireProc() { g_current = previous_; }
