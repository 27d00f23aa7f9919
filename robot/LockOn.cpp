// Acquiring, cycling, keeping and dropping a target, and turning the view
// basis toward it at a limited rate.
#include <cmath>

#include "battle/stage/BattleMap.h"
#include "battle/stage/MapCollision.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/graphics/ViewFrustum.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"
#include "robot/ship/Ship.h"
#include "weapon/WeaponScene.h"

namespace {

constexpr f32 kRadToDeg = 57.2957763671875f;
constexpr f32 kDegToRad = 0.017453f;
constexpr f32 kMaxAimTurn = 8.0f;
constexpr f32 kAimElevationLimit = 0.785385f;
constexpr i32 kTacticalKeepFrames = 180;

Vec3 Translation(const Mat4& m) { return Vec3(m.m[3][0], m.m[3][1], m.m[3][2]); }

Vec3 TargetPoint(CRobot_Base* r)
{
    Mat4* m = r->GetTargetMatrix();
    if (!m) m = r->GetMatrix();
    return m ? Translation(*m) : Vec3();
}

Vec3 Rotated(const Vec3& v, const Vec3& axis, f32 radians)
{
    Mat4 turn;
    plat::MatrixRotationAxis(&turn, &axis, radians);
    Vec3 out;
    plat::Vec3TransformNormal(&out, &v, &turn);
    return out;
}

// The units of the scene in list order, walked from the one after `from`
// (from the start when null), wrapping once; stops on reaching `from`.
template <class F>
CRobot_Base* WalkUnits(CList<BB_Base>& list, CRobot_Base* from, F accept)
{
    BB_Base* head = list.GetHead();
    if (!head) return nullptr;
    BB_Base* start = from ? from->next : head->next;
    for (i32 lap = 0; lap < 2; ++lap) {
        // The tail sentinel is the node without a successor.
        for (BB_Base* n = start; n && n->next; n = n->next) {
            if (n == from) return nullptr;
            if (IsUnit(n) && accept(static_cast<CRobot_Base*>(n))) return static_cast<CRobot_Base*>(n);
        }
        if (!from) return nullptr;
        start = head->next;
    }
    return nullptr;
}

}  // namespace

bool CRobot_Normal::LineBlocked(CRobot_Base* other)
{
    BattleMap* map = CurrentWeaponWorld().map;
    if (!map || !other) return false;
    const Vec3 from = BodyNodePosition();
    const Vec3 to = TargetPoint(other);
    const Vec3 span = to - from;
    float distance = 0.0f;
    if (!HitTestMapSegmentWithin(*map, &from, &to, &distance, nullptr)) return false;
    return distance <= plat::Vec3Length(&span);
}

void CRobot_Normal::SetTargetDistanceVar(f32 value)
{
    if (floatVars.IsCreated() && floatVars.GetCount() > kVarTargetDistance && floatVars[kVarTargetDistance])
        *floatVars[kVarTargetDistance] = value;
}

void CRobot_Normal::WarnLockTarget()
{
    CRobot_Base* target = lockTarget;
    Mat4* targetMatrix = target ? target->GetTargetMatrix() : nullptr;
    if (!targetMatrix) return;
    const Vec3 at = Translation(*targetMatrix);
    // A computer warns only from within the locked unit's own lock distance.
    if (IsComputer()) {
        const f32 range = target->GetKind() == kKindShip ? static_cast<CShip*>(target)->lockDistance
                                                           : static_cast<CRobot_Normal*>(target)->lockDistance;
        const Vec3 between = TargetPoint(this) - at;
        if (plat::Vec3Length(&between) > range) return;
    }
    Vec3 side(1.0f, 0.0f, 0.0f), front(0.0f, 0.0f, 1.0f);
    if (target->GetKind() == kKindShip) {
        const Mat4* m = target->GetMatrix();
        if (m) {
            side = Vec3(m->m[0][0], m->m[0][1], m->m[0][2]);
            front = Vec3(m->m[2][0], m->m[2][1], m->m[2][2]);
        }
    } else {
        side = static_cast<CRobot_Normal*>(target)->side;
        front = static_cast<CRobot_Normal*>(target)->forward;
    }
    Vec3 from = TargetPoint(this) - at;
    plat::Vec3Normalize(&from, &from);
    f32 s = plat::Vec3Dot(&from, &side), f = plat::Vec3Dot(&from, &front);
    const f32 length = std::sqrt(s * s + f * f);
    if (length > 0.0f) {
        s /= length;
        f /= length;
    }
    constexpr f32 kDiagonal = 0.707106f;
    i32 arrow = 3;
    if (-kDiagonal < f && f < kDiagonal && s <= 0.0f) arrow = 0;
    else if (-kDiagonal < s && s < kDiagonal && f >= 0.0f) arrow = 1;
    else if (-kDiagonal < f && f < kDiagonal && s > 0.0f) arrow = 2;
    const bool shooting = attackKind != 0;
    target->statusFlags[arrow] = shooting ? 2 : 1;
    target->statusTimers[arrow] = 2;
    if (LockAlertNode* alert = target->lockAlertList.NewNode(1)) {
        alert->kind = shooting ? 1 : 0;
        alert->source = this;
        alert->framesLeft = 2;
    }
}

void CRobot_Normal::FaceForward()
{
    Vec3 f(worldMatrix.m[2][0], 0.0f, worldMatrix.m[2][2]);
    if (plat::Vec3LengthSq(&f) == 0.0f) f = Vec3(0.0f, 0.0f, 1.0f);
    plat::Vec3Normalize(&forward, &f);
    aimVector = forward * 20.0f;
    const Vec3 up(0.0f, 1.0f, 0.0f);
    plat::Vec3Cross(&side, &up, &forward);
}

void CRobot_Normal::LockOnAndAim()
{
    UpdateLockOn();
    UpdateAim();
}

void CRobot_Normal::UpdateLockOn()
{
    if (CList<BB_Base>* units = CurrentWeaponWorld().robots) UpdateLockOn(*units);
}

void CRobot_Normal::UpdateLockOn(CList<BB_Base>& units)
{
    const Vec3 me = BodyNodePosition();
    auto enemyLive = [this](CRobot_Base* r) { return r != this && r->team != team && r->state == kRobotStateLive; };
    auto within = [&me](CRobot_Base* r, f32 range) {
        const Vec3 d = TargetPoint(r) - me;
        return plat::Vec3Length(&d) <= range;
    };

    if (tacticalRules == 1) {
        // The narrow lock view in front of the robot.
        Vec3 d = aimVector;
        d.y -= plat::Vec3Length(&aimVector) / 4.0f + 1.0f;
        plat::Vec3Normalize(&d, &d);
        const Vec3 worldUp(0.0f, 1.0f, 0.0f);
        const f32 upDot = plat::Vec3Dot(&d, &worldUp);
        const Vec3 up = upDot > 0.9848f || upDot < -0.9848f ? Vec3(0.0f, 0.0f, 1.0f) : worldUp;
        Matrix view;
        view.MatrixLookDirection(d, up);
        // Raised over the shoulder: up, then further along the view's own up.
        const Vec3 ownUp(view.m[1][0], view.m[1][1], view.m[1][2]);
        const Vec3 eye = Translation(worldMatrix) - d * 4.0f + Vec3(0.0f, 1.1f * bodyRadius, 0.0f) +
                         ownUp * (1.3f * bodyRadius);
        view.m[3][0] = eye.x;
        view.m[3][1] = eye.y;
        view.m[3][2] = eye.z;
        lockFrustumMatrix = view;
        ViewFrustum frustum;
        frustum.Build(1.0f, 1.0f, 0.0f, lockDistance, &lockFrustumMatrix);

        const i32 dir = input.direction;
        if (Pressed(kInTarget)) {
            if (lockTarget || dir == 5) {
                freeLookRamp = 0.0f;
            } else {
                FreeLook(dir);
            }
            input.Clear();
        } else {
            freeLookRamp = 0.0f;
        }

        if (!lockTarget && lockOff == 0) {
            CRobot_Base* best = nullptr;
            f32 bestDistance = 0.0f;
            for (BB_Base* n = units.GetHead() ? units.GetHead()->next : nullptr; n && n->next; n = n->next) {
                if (!IsUnit(n)) continue;
                auto* r = static_cast<CRobot_Base*>(n);
                if (!enemyLive(r)) continue;
                const Vec3 p = TargetPoint(r);
                const Vec3 span = p - me;
                const f32 distance = plat::Vec3Length(&span);
                if (!frustum.TestSphere(p.x, p.y, p.z, 1.0f) && !(distance < 10.0f)) continue;
                if (LineBlocked(r)) continue;
                if (!best || distance < bestDistance) {
                    best = r;
                    bestDistance = distance;
                }
            }
            if (best) {
                lockTarget = best;
                lockTimer = 60;
            }
        }
        if (lockTarget) {
            if (LineBlocked(lockTarget)) {
                if (lockTimer > 0) --lockTimer;
            } else {
                lockTimer = kTacticalKeepFrames;
            }
        }
        if (commandProgress.IsCreated() && commandProgress[kCmdTargetTap].doneTimer > 0) {
            if (lockTarget) {
                commandProgress[kCmdTargetTap].doneTimer = 0;
                lockTimer = 0;
            } else {
                FaceForward();
            }
        }
        if (lockTimer < 1) lockTarget = nullptr;
    } else {
        const f32 range = LockRange();
        if (!Pressed(kInTarget)) {
            buttonLatch[kInTarget] = 0;
        } else if (buttonLatch[kInTarget] == 0) {
            buttonLatch[kInTarget] = 1;
            lockOff = 0;
            if (lockTarget) {
                const i32 d = input.direction;
                const f32 search = (d == 7 || d == 8 || d == 9) ? range : (d == 1 || d == 2 || d == 3) ? 10.0f : 50.0f;
                CRobot_Base* next = WalkUnits(units, lockTarget, [&](CRobot_Base* r) {
                    return enemyLive(r) && within(r, search);
                });
                if (next) lockTarget = next;
            }
        } else {
            buttonLatch[kInTarget] = static_cast<u8>(buttonLatch[kInTarget] + 1);
            if (buttonLatch[kInTarget] == 20 && lockTarget) {
                CRobot_Base* next = WalkUnits(units, lockTarget, [this](CRobot_Base* r) {
                    return r->state == kRobotStateLive && r->lockTarget == this;
                });
                if (next) lockTarget = next;
            }
            if (buttonLatch[kInTarget] == 40) lockOff = lockOff ? 0 : 1;
        }
        if (!lockTarget && lockOff == 0)
            lockTarget = WalkUnits(units, nullptr, [&](CRobot_Base* r) { return enemyLive(r) && within(r, range); });
    }
    if (lockOff == 1 && lockTarget) {
        lockTarget = nullptr;
        FaceForward();
    }
}

void CRobot_Normal::FreeLook(i32 dir)
{
    f32 yawStep = 0.0f;
    f32 pitchStep = 0.0f;
    if (dir == 1 || dir == 4 || dir == 7) yawStep = -2.0f;
    if (dir == 3 || dir == 6 || dir == 9) yawStep = 2.0f;
    if (dir == 7 || dir == 8 || dir == 9) pitchStep = -2.0f;
    if (dir == 1 || dir == 2 || dir == 3) pitchStep = 2.0f;
    freeLookRamp = freeLookRamp + 0.03f > 1.0f ? 1.0f : freeLookRamp + 0.03f;
    const f32 scale = freeLookRamp * (Pressed(kInGuard) ? 2.0f : 1.0f);
    yawStep *= scale;
    pitchStep *= scale;
    const Vec3 up(0.0f, 1.0f, 0.0f);
    const f32 upDot = plat::Vec3Dot(&forward, &up);
    if (pitchStep < 0.0f && upDot >= 0.8f) pitchStep = 0.0f;
    if (pitchStep > 0.0f && upDot <= -0.8f) pitchStep = 0.0f;
    forward = Rotated(forward, up, yawStep * kDegToRad);
    aimVector = Rotated(aimVector, up, yawStep * kDegToRad);
    const Vec3 s = side;
    forward = Rotated(forward, s, pitchStep * kDegToRad);
    aimVector = Rotated(aimVector, s, pitchStep * kDegToRad);
    plat::Vec3Cross(&side, &up, &forward);
    plat::Vec3Normalize(&side, &side);
    plat::Vec3Normalize(&forward, &forward);
}

void CRobot_Normal::UpdateAim()
{
    if (lockTarget) {
        Mat4* mine = GetTargetMatrix();
        Mat4* theirs = lockTarget->GetTargetMatrix();
        const Vec3 span = theirs ? Translation(*theirs) - BodyNodePosition() : Vec3();
        const bool gone = !mine || !theirs ||
                          (lockTarget->state != kRobotStateLive && lockTarget->state != kRobotStateDestroyed) ||
                          plat::Vec3Length(&span) > LockRange() || lockTarget->Removed;
        if (gone) {
            lockTarget = nullptr;
            FaceForward();
        }
    }
    target = lockTarget;
    aimOff = 0;
    if (!lockTarget) {
        SetTargetDistanceVar(1e9f);
        return;
    }
    targetSituation = 0;
    if (lockTarget->GetKind() == kKindRobot) targetSituation = static_cast<CRobot_Normal*>(lockTarget)->situation;

    Vec3 span = TargetPoint(lockTarget) - BodyNodePosition();
    const f32 distance = plat::Vec3Length(&span);
    Vec3 a;
    plat::Vec3Normalize(&a, &span);
    Vec3 targetVector = span;
    aimClamped = 0;
    const Vec3 up(0.0f, 1.0f, 0.0f);
    const f32 upDot = plat::Vec3Dot(&a, &up);
    if (upDot >= kAimElevationLimit && upDot < 1.0f) {
        Vec3 axis;
        plat::Vec3Cross(&axis, &up, &a);
        plat::Vec3Normalize(&axis, &axis);
        a = Rotated(up, axis, kAimElevationLimit);
        targetVector = a * distance;
        aimClamped = 1;
    }
    const f32 c = plat::Vec3Dot(&forward, &a);
    if (c < 0.9998f && c > -1.0f) {
        Vec3 axis;
        plat::Vec3Cross(&axis, &forward, &a);
        plat::Vec3Normalize(&axis, &axis);
        f32 angle = plat::DetAcos(c) * kRadToDeg;
        if (angle > kMaxAimTurn) angle = kMaxAimTurn;
        forward = Rotated(forward, axis, angle * kDegToRad);
        plat::Vec3Normalize(&forward, &forward);
        aimVector = forward * distance;
    } else {
        forward = a;
        aimVector = targetVector;
    }
    plat::Vec3Cross(&side, &up, &forward);
    if (plat::Vec3LengthSq(&side) == 0.0f)
        side = Vec3(1.0f, 0.0f, 0.0f);
    else
        plat::Vec3Normalize(&side, &side);
    const Vec3 down(0.0f, -1.0f, 0.0f);
    if (plat::Vec3Dot(&forward, &down) > 0.99984f) {
        Vec3 flat(forward.x, 0.0f, forward.z);
        plat::Vec3Normalize(&flat, &flat);
        velocity -= flat * 0.05f;
    }
    // A shot does not aim while the aim is held down in elevation.
    aimOff = aimClamped;
    SetTargetDistanceVar(plat::Vec3Length(&aimVector));
}
