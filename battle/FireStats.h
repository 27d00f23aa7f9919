#pragma once
// How often each fire procedure ran and how often what it created touched a
// robot, for the headless battle runner and the weapon tests. Counting costs
// two increments; it never changes the battle.
#include "platform/core/Types.h"

constexpr int kFireStatSlots = 100;

struct FireProcStats {
    u32 calls[kFireStatSlots] = {};
    u32 hits[kFireStatSlots] = {};
    // Procedures that have given their one warning of this battle.
    u8 warned[kFireStatSlots] = {};
};

// The running battle's counts; the scene clears them when a battle is set up.
FireProcStats& BattleFireStats();
void ResetBattleFireStats();

// The procedure whose objects are being created: battle objects made while it
// is set carry it in BB_Base::FireProc, and so do the objects those make when
// they run. 0 is "none".
// Inline: every battle object takes it when made and sets it when it runs.
namespace fire_detail {
inline u8 current = 0;
}
inline u8 CurrentFireProc() { return fire_detail::current; }
void CountFireHit(u8 proc);

class ScopedFireProc {
public:
    explicit ScopedFireProc(i32 proc) : previous_(fire_detail::current)
    {
        fire_detail::current = proc > 0 && proc < kFireStatSlots ? static_cast<u8>(proc) : 0;
    }
    ~ScopedFireProc() { fire_detail::current = previous_; }
    ScopedFireProc(const ScopedFireProc&) = delete;
    ScopedFireProc& operator=(const ScopedFireProc&) = delete;

private:
    u8 previous_;
};

// The object walk sets each object's procedure before it runs. Objects only
// carry values CurrentFireProc() gave, so unlike a script's number this one
// needs no range check; the walk's own ScopedFireProc restores the caller's.
inline void RunAsFireProc(u8 proc) { fire_detail::current = proc; }
