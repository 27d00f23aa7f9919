#include "battle/BattleHash.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "robot/Robot.h"

namespace {

constexpr u64 kFnvBasis = 14695981039346656037ull;
constexpr u64 kFnvPrime = 1099511628211ull;

struct Fnv {
    u64 h;
    void Bytes(const void* data, size_t n)
    {
        const auto* p = static_cast<const u8*>(data);
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * kFnvPrime;
    }
    template <typename T>
    void Add(const T& v)
    {
        Bytes(&v, sizeof v);
    }
    void Row(const Mat4& m)
    {
        for (i32 c = 0; c < 3; ++c) Add(m.m[3][c]);
    }
    void Vec(const Vec3& v)
    {
        Add(v.x);
        Add(v.y);
        Add(v.z);
    }
};

// A state procedure as its place in a fixed table: the same number in every
// build, so hash lines of two builds (before and after a speed-up) compare.
i64 ProcIndex(CRobot_Normal::StateProc proc)
{
    using R = CRobot_Normal;
    static const CRobot_Normal::StateProc kProcs[] = {
        &R::StateIdle, &R::StateWalk, &R::StateJumpStart, &R::StateJumpRise, &R::StateBoostRise, &R::StateFall,
        &R::StateLanding, &R::StateBrake, &R::StateDash, &R::StateWholeBodyAttack, &R::StateDashSlash,
        &R::StateSaberCombo, &R::StateGuard, &R::StateGuardRelease, &R::StateGuardAttack, &R::StateManoeuvre1,
        &R::StateManoeuvre2, &R::StateDestroyed, &R::DownState, &R::EscapeDashState, &R::GetUpState, &R::HeldState,
        &R::HitKnockBackState, &R::HitKnockDownState, &R::HitLightState, &R::QuickRecoveryState, &R::ShotEnd,
        &R::ManoeuvreShotEnd, &R::ManoeuvreShotEnd2, &R::UpperAttackEnd, &R::AiControl};
    if (!proc) return 0;
    for (size_t i = 0; i < std::size(kProcs); ++i)
        if (kProcs[i] == proc) return static_cast<i64>(i) + 1;
    return -1;
}

}  // namespace

u64 HashRobot(const CRobot_Normal& r, u64 seed)
{
    Fnv f{seed};
    f.Row(r.worldMatrix);
    f.Vec(r.velocity);
    f.Add(r.hp);
    f.Add(r.boostGauge);
    f.Add(r.energy);
    f.Add(r.chargeGauge);
    f.Add(r.exGauge);
    f.Add(r.state);
    f.Add(r.defeatFrame);
    f.Add(r.team);
    f.Add(r.typeIndex);
    f.Add(r.score);
    f.Add(r.kills);
    f.Add(ProcIndex(r.stateProc));
    f.Add(ProcIndex(r.subStateProc));
    f.Add(r.actionFrame);
    f.Add(r.attackKind);
    f.Add(r.LayerAnime(0));
    f.Add(r.LayerAnime(1));
    f.Add(r.input);
    f.Add(r.aiDirection);
    f.Add(r.aiMoveTimer);
    f.Add(r.aiGuardTimer);
    f.Add(r.aiJumpTimer);
    f.Add(r.aiDashCount);
    return f.h;
}

BattleHash HashBattle(CGameScene& scene)
{
    BattleHash out;
    Fnv f{kFnvBasis};
    for (BB_Base* o = scene.unitList.GetHead()->next; o && o != scene.unitList.GetTail(); o = o->next) {
        const i32 kind = o->GetKind();
        f.Add(kind);
        ++out.units;
        if (kind == kKindRobot) {
            f.h = HashRobot(*static_cast<CRobot_Normal*>(o), f.h);
        } else if (IsUnitKind(kind)) {
            auto* u = static_cast<CRobot_Base*>(o);
            f.Add(u->hp);
            f.Add(u->state);
            if (const Mat4* m = o->GetMatrix()) f.Row(*m);
        }
    }
    // Effects are left out: some come from the camera and the application's
    // generator, and none of them takes part in the hit tests.
    for (CList<BB_Base>* list : {&scene.weaponList, &scene.itemList})
        for (BB_Base* o = list->GetHead()->next; o && o != list->GetTail(); o = o->next) {
            f.Add(o->GetKind());
            f.Add(o->Removed);
            if (const Mat4* m = o->GetMatrix()) f.Row(*m);
            ++out.objects;
        }
    out.draws = GetBattleRandom().GetDrawCount();
    f.Add(out.draws);
    out.value = f.h;
    return out;
}

std::string FormatBattleHash(u32 frame, const BattleHash& hash)
{
    char line[160];
    std::snprintf(line, sizeof line, "frame %u %016" PRIx64 " units %u objects %u draws %" PRIu64, frame, hash.value,
                  hash.units, hash.objects, hash.draws);
    return line;
}
