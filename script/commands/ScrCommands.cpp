#include "script/commands/ScrCommands.h"

#include <climits>
#include <cmath>

#include "app/core/Application.h"
#include "engine/core/MTRand.h"

namespace {

// 32-bit int arithmetic that wraps instead of overflowing; a division the
// machine would trap on (by 0, INT_MIN by -1) leaves the target as it was.
bool CombineInt(i8 op, i32 target, i32 v, i32* out)
{
    const u32 a = static_cast<u32>(target), b = static_cast<u32>(v);
    switch (op) {
    case kHensuSet: *out = v; return true;
    case kHensuAdd: *out = static_cast<i32>(a + b); return true;
    case kHensuSub: *out = static_cast<i32>(a - b); return true;
    case kHensuMul: *out = static_cast<i32>(a * b); return true;
    case kHensuDiv:
        if (v == 0 || (target == INT32_MIN && v == -1)) return false;
        *out = target / v;
        return true;
    default: return false;
    }
}

bool CombineFloat(i8 op, f32 target, f32 v, f32* out)
{
    switch (op) {
    case kHensuSet: *out = v; return true;
    case kHensuAdd: *out = target + v; return true;
    case kHensuSub: *out = target - v; return true;
    case kHensuMul: *out = target * v; return true;
    case kHensuDiv:
        if (v == 0.0f) return false;
        *out = target / v;
        return true;
    default: return false;
    }
}

template <class T>
T EvalHensu(const ScriptContext& ctx, T literal, i16 index, i8 kind);

template <>
i32 EvalHensu<i32>(const ScriptContext& ctx, i32 literal, i16 index, i8 kind)
{
    return ScriptEvalInt(ctx, literal, index, kind, "ScrINT");
}

template <>
f32 EvalHensu<f32>(const ScriptContext& ctx, f32 literal, i16 index, i8 kind)
{
    return ScriptEvalFloat(ctx, literal, index, kind, "ScrINT");
}

i32 ToInt(i32 v) { return v; }
i32 ToInt(f32 v) { return ScriptTruncate(v); }

} // namespace

template <class T>
void Scr_Hensu<T>::Exec(ScriptContext& ctx)
{
    const T v = EvalHensu<T>(ctx, value, index, kind);
    if (targetKind == kScrVarInt) {
        i32* cell = ctx.IntVar(number);
        i32 result = 0;
        if (cell && CombineInt(op, *cell, ToInt(v), &result)) *cell = result;
    } else if (targetKind == kScrVarFloat) {
        f32* cell = ctx.FloatVar(number);
        f32 result = 0.0f;
        if (cell && CombineFloat(op, *cell, static_cast<f32>(v), &result)) *cell = result;
    }
}

template class Scr_Hensu<i32>;
template class Scr_Hensu<f32>;

void Scr_AnimeLoop::Exec(ScriptContext& ctx)
{
    if (ctx.currentChannel == 0 || ctx.currentChannel == 1) ctx.loop[ctx.currentChannel] = value.Get(ctx);
}

void Scr_AttackPow::Exec(ScriptContext& ctx) { ctx.attackPower = value.Get(ctx); }
void Scr_AttackForce::Exec(ScriptContext& ctx) { ctx.attackForce = value.Get(ctx); }
void Scr_AttackForceY::Exec(ScriptContext& ctx) { ctx.attackForceY = value.Get(ctx); }
void Scr_AttackDownF::Exec(ScriptContext& ctx) { ctx.attackDownF = value.Get(ctx); }
void Scr_AttackFlag::Exec(ScriptContext& ctx) { ctx.attackFlag = value.Get(ctx); }
void Scr_SwordEnable::Exec(ScriptContext& ctx) { ctx.swordEnable = value.Get(ctx); }
void Scr_SwordCancel::Exec(ScriptContext& ctx) { ctx.swordCancel = static_cast<i16>(value.Get(ctx)); }
void Scr_ShildGuard::Exec(ScriptContext& ctx) { ctx.shieldGuard = value.Get(ctx); }
void Scr_ShotTurnAng::Exec(ScriptContext& ctx) { ctx.shotTurnAngle = value.Get(ctx); }
void Scr_Sub_LRKey::Exec(ScriptContext& ctx) { ctx.subLRKey = value.Get(ctx); }
void Scr_LaserReflect::Exec(ScriptContext& ctx) { ctx.laserReflect = value.Get(ctx); }
void Scr_AddExGauge::Exec(ScriptContext& ctx) { ctx.exGaugeAdd = static_cast<i16>(value.Get(ctx)); }
void Scr_AddEnergy::Exec(ScriptContext& ctx) { ctx.energyAdd = static_cast<i16>(value.Get(ctx)); }
void Scr_BoostDashMode::Exec(ScriptContext& ctx) { ctx.boostDashMode = value.Get(ctx); }
void Scr_vF_Multi::Exec(ScriptContext& ctx) { ctx.vfMulti = value.Get(ctx); }
void Scr_GvEnable::Exec(ScriptContext& ctx) { ctx.gvEnable = value.Get(ctx); }
void Scr_CamEffect::Exec(ScriptContext& ctx) { ctx.camEffect = value.Get(ctx); }

void Scr_ExecScriptEveryTime::Exec(ScriptContext& ctx)
{
    const i32 c = ctx.currentChannel;
    if (!ctx.ValidChannel(c)) return;
    ctx.everyTimeFlags[c] = 1;
    ctx.everyTimeInterval[c] = static_cast<i16>(value.Get(ctx));
}

void Scr_LockArmTarget::Exec(ScriptContext& ctx)
{
    if (arm < 0 || arm > 1) return;
    ctx.armLockOn[arm] = on;
    ctx.armLock[arm][0] = values[0].Get(ctx);
    ctx.armLock[arm][1] = values[1].Get(ctx);
}

void Scr_LockBodyTarget::Exec(ScriptContext& ctx)
{
    if (part < 0 || part > 1) return;
    ctx.bodyLockOn[part] = on;
    ctx.bodyLock[part][0] = values[0].Get(ctx);
    ctx.bodyLock[part][1] = values[1].Get(ctx);
}

void Scr_BunerOut::Exec(ScriptContext& ctx)
{
    const i32 n = burner.Get(ctx);
    if (n < 0 || n >= kScriptBurnerSlots) return;
    ctx.burnerOn[n] = on.Get(ctx);
    ctx.burnerScale[n] = scale.Get(ctx);
}

void Scr_CatchChara::Exec(ScriptContext& ctx)
{
    const i8 m = mode.Get(ctx);
    const i32 va = a.Get(ctx);
    const i32 vb = b.Get(ctx);
    if (m != -1) ctx.catchMode = m;
    if (va != -1) ctx.catchA = static_cast<i16>(va);
    if (vb != -1) ctx.catchB = static_cast<i16>(vb);
}

bool Scr_IF::Test(const ScriptContext& ctx) const
{
    const f32 x = a.GetAsFloat(ctx);
    const f32 y = b.GetAsFloat(ctx);
    // Comparisons with a NaN are false except "!=".
    switch (op) {
    case kIfEq: return x == y;
    case kIfGt: return x > y;
    case kIfLt: return x < y;
    case kIfGe: return x >= y;
    case kIfLe: return x <= y;
    case kIfNe: return !(x == y);
    default: return false;
    }
}

void Scr_Rnd::Store(ScriptContext& ctx, u32 r) const
{
    const u32 lo = static_cast<u32>(min.Get(ctx));
    const u32 hi = static_cast<u32>(max.Get(ctx));
    const u32 size = hi - lo + 1u;
    const u32 v = (size == 0 ? r : r % size) + lo;
    if (i32* cell = ctx.IntVar(target)) *cell = static_cast<i32>(v);
}

void Scr_Rnd::Exec(ScriptContext& ctx)
{
    // One draw whatever the range is, so every client of a shared battle
    // stays in step.
    Store(ctx, GetBattleRandom().GetRand());
}

void Scr_LocalRnd::Exec(ScriptContext& ctx)
{
    CApplication* app = GetApplication();
    Store(ctx, app ? app->random.GetRand() : 0u);
}
