// The computer player: once a frame it writes a computer robot's input record
// as a player's keys would. Every decision draws from the battle generator in
// a fixed order, so all clients of an online battle take the same decisions;
// only the pilot's voice lines use the application's own generator.
#include <algorithm>

#include "app/core/Application.h"
#include "engine/core/VectorFunctions.h"
#include "robot/Robot.h"
#include "robot/actions/ActionCore.h"

namespace {

constexpr i32 kInSub2 = 7;
constexpr i32 kInSub3 = 8;
// Input bytes of the five weapon entries of a type's settings.
constexpr i32 kWeaponButton[kRobotAiWeapons] = {kInShot, kInSaber, kInSub1, kInSub2, kInSub3};
constexpr f32 kNoThreat = 9999.0f;

// A robot without type data fights with the settings' defaults.
constexpr RobotAiWeaponSetting kNoWeapons[kRobotAiWeapons] = {};
constexpr u16 kDefaultSettingKind = 0;
constexpr f32 kDefaultSettingRange = 40.0f;

u32 Roll(u32 n) { return GetBattleRandom().GetRand() % n; }
bool OneIn(u32 n) { return Roll(n) == 0; }
u32 AppRoll(u32 n) { return GetApplication()->random.GetRand() % n; }

// One frame of decisions for one robot.
struct AiFrame {
    CRobot_Normal& self;
    const RobotAiWeaponSetting* weapons;
    u16 settingKind;
    f32 settingRange;
    u32 k;   // 11 - level: every level-scaled divisor carries it
    f32 T;   // distance to the nearest homing weapon
    f32 D = 0.0f;
    f32 F = 0.0f;
    CRobot_Normal* rival = nullptr;  // the target when it is a robot

    void Press(i32 b) { self.input.buttons[b - 1] = 1; }
    void Release(i32 b) { self.input.buttons[b - 1] = 0; }
    bool Held(i32 b) const { return self.input.buttons[b - 1] != 0; }
    bool OwnSituation(i32 a, i32 b) const { return self.situation == a || self.situation == b; }
    const RobotAiWeaponSetting& Weapon(i32 e) const { return weapons[e]; }
    bool InRange(i32 e) const { return Weapon(e).a <= D && D <= Weapon(e).b; }
    u32 Threshold(i32 e) const { return Weapon(e).kind / 10u; }
    void Guard(i32 base, u32 spread)
    {
        Press(kInGuard);
        self.aiGuardTimer = base + static_cast<i32>(Roll(spread));
    }
    void Move(u8 direction, i32 frames)
    {
        self.aiDirection = direction;
        self.aiMoveTimer = frames;
    }

    void Wander();
    void Fight(bool ship);
    void RangedWeapons();
    void Saber(bool ship);
    void TwinBladeRule();
    void GuardWhileHeld(bool ship);
    void RobotGuard();
    void ShipGuard();
    void ScanAlerts();
    void Jump();
    void Movement(bool ship);
    void Tail();
};

void AiFrame::Wander()
{
    if (self.aiMoveTimer == 0) {
        static constexpr u8 kWay[4] = {8, 4, 2, 6};
        const u32 r = Roll(5);
        if (r < 4) Move(kWay[r], 1 + static_cast<i32>(Roll(60)));
    }
    self.input.direction = self.aiDirection;
}

void AiFrame::RangedWeapons()
{
    for (i32 e : {0, 2, 3, 4}) {
        if (!InRange(e)) continue;
        if (!(Roll(100 * k) < Threshold(e))) continue;
        const i32 button = kWeaponButton[e];
        if (self.energy >= static_cast<f32>(static_cast<i16>(Weapon(e).value))) {
            Press(button);
            if (e == 0 && self.aiButtonTimers[kInShot] == 0)
                self.aiButtonTimers[kInShot] = static_cast<i16>(30 + Roll(31));
        }
        // Close in and dashing, a press is never let go of early.
        if ((D >= 20.0f || !OwnSituation(kSituationDash, kSituationManoeuvre)) && OneIn(2 * k)) Release(button);
        if (e == 0 && F <= 0.0f && Roll(100) <= 80) Release(kInShot);
    }
}

void AiFrame::Saber(bool ship)
{
    if (!InRange(1)) return;
    const u32 c = Threshold(1);
    const bool opening = ship || (rival->situation == kSituationLanding || rival->situation == kSituationHit);
    if (opening && T > 30.0f && Roll(100 * k) <= c) Press(kInSaber);
    if (self.comboCount >= 1) {
        if (OneIn(3 * k)) Press(kInSaber);
    } else if (self.aiCloseIn == 0) {
        if (Roll(100 * k) <= c && self.aiGuardTimer == 0) Press(kInSaber);
        if (Roll(1000 * k) <= c) self.aiCloseIn = 1;
    } else {
        if (Roll(100 * k) <= c && self.aiGuardTimer == 0) Press(kInSaber);
    }
    if (Held(kInSaber) && OneIn(5)) Move(8, 2);
}

void AiFrame::TwinBladeRule()
{
    if (self.typeIndex != 6 && self.typeIndex != 8) return;
    if (!Held(kInSaber) || D >= 15.0f) return;
    if (OneIn(5)) Move(2, 2);
    if (self.comboCount >= 1 && OneIn(3)) Press(kInSub1);
}

void AiFrame::GuardWhileHeld(bool ship)
{
    Press(kInGuard);
    --self.aiGuardTimer;
    // A counter-shot late in a close guard ends it.
    if (D < 10.0f && self.aiGuardTimer < 10 && OneIn(100)) {
        Press(kInShot);
        self.aiGuardTimer = 0;
    } else {
        Release(kInShot);
    }
    if (!ship && rival->situation == kSituationHit) {
        Press(kInSaber);
        self.aiCloseIn = 1;
        self.aiGuardTimer = 0;
    }
}

void AiFrame::RobotGuard()
{
    if (self.aiGuardTimer != 0) {
        GuardWhileHeld(false);
        return;
    }
    if ((rival->lockTarget == &self || D <= 10.0f) && rival->attackKind != 0) {
        Release(kInSaber);
        if (D <= 15.0f) {
            if (OneIn(20 * k)) Guard(20, 21);
            if ((rival->situation == kSituationSaber || rival->situation == kSituationDashSlash) && OneIn(20 * k)) Guard(30, 21);
        } else if (T <= 15.0f) {
            if (OneIn(40 * k)) Guard(20, 21);
        } else if (OneIn(60 * k)) {
            Guard(40, 41);
        }
    } else if (T < 10.0f && OneIn(30 * k)) {
        Guard(10, 11);
    }
}

void AiFrame::ShipGuard()
{
    if (self.aiGuardTimer != 0) {
        GuardWhileHeld(true);
        return;
    }
    if (OneIn(500 * k)) {
        if (D < 50.0f) Guard(30, 31);
        else Guard(40, 61);
    }
    if (T < 10.0f && OneIn(30 * k)) Guard(10, 11);
}

void AiFrame::ScanAlerts()
{
    if (self.typeIndex == 11) {
        if (self.aiGuardTimer == 0) Release(kInGuard);
        const Mat4* own = self.GetTargetMatrix();
        LockAlertNode* head = self.lockAlertList.GetHead();
        if (!own || !head) return;
        for (LockAlertNode* n = head->next; n && n->priority != kListTailPriority; n = n->next) {
            const Mat4* at = n->source ? n->source->GetTargetMatrix() : nullptr;
            if (!at) continue;
            const Vec3 gap(at->m[3][0] - own->m[3][0], at->m[3][1] - own->m[3][1], at->m[3][2] - own->m[3][2]);
            if (Vec3Length(gap) >= 10.0f) continue;
            if (n->kind == 2) {
                if (OneIn(10 * k)) Guard(20, 21);
            } else if (n->kind == 3) {
                if (OneIn(10 * k)) Guard(20, 21);
                if (self.situation == kSituationGuard) Press(kInSub3);
                return;
            } else if (n->kind == 1) {
                if (OneIn(10 * k)) Guard(20, 21);
                if (rival->situation == kSituationSaber && self.situation == kSituationGuard) Press(kInSub3);
                return;
            }
        }
    } else if (self.typeIndex == 15) {
        Release(kInGuard);
    }
}

void AiFrame::Jump()
{
    if (self.wallContact == 1 && self.boostGauge > 500) {
        self.wallContact = 0;
        if (OneIn(k)) self.aiJumpTimer = 30 + static_cast<i32>(Roll(61));
    } else if (self.boostGauge > 500) {
        if (OneIn(200 * k)) self.aiJumpTimer = 30 + static_cast<i32>(Roll(61));
    }
    if (self.aiJumpTimer > 0) {
        Press(kInJump);
        if (--self.aiJumpTimer == 0) {
            if (D > 20.0f && self.aiCloseIn == 1) self.aiDashCount = 1;
            if (Roll(3) != 0) self.aiDashCount = 1;
        }
    }
    // The boosted double jump: the jump stays held while the recogniser is
    // told the double tap has just been made.
    if (self.aiDashCount >= 1) {
        Press(kInJump);
        if (self.aiDashCount == 1 && self.commandProgress.IsCreated())
            self.commandProgress[kCmdJumpTap].doneTimer = 10;
        ++self.aiDashCount;
        if (self.boostGauge <= 200) self.aiDashCount = 0;
        else if (OneIn(500)) self.aiDashCount = 0;
    }
}

void AiFrame::Movement(bool ship)
{
    if (OneIn(200)) self.aiStrafeLeft = static_cast<u8>(Roll(2));
    if (OneIn(1000)) self.aiCloseIn = Roll(100) >= settingKind ? 1 : 0;
    if (self.aiMoveTimer != 0 || self.situation == kSituationDash || self.wallContact != 0) return;
    const bool close = self.aiCloseIn != 0;
    const u8 dir = self.aiDirection;
    const f32 approach = close ? 7.0f : settingRange + 10.0f;
    if (D >= approach) {
        if (OneIn(10)) Move(dir == 4 ? 7 : dir == 6 ? 9 : 8, 10);
        else if (OneIn(3 * k)) Move(8, 1);
        else Move(5, 3);
    }
    const f32 retreat = close ? 2.0f : settingRange - 10.0f;
    if (D <= retreat) {
        const u8 was = self.aiDirection;
        if (self.aiDashCount > 0) Move(2, 30);
        else if (OneIn(10)) Move(was == 4 ? 1 : was == 6 ? 3 : 2, 10);
        else if (OneIn(3)) Move(2, 1);
        else Move(5, 3);
    }
    const u8 sideWay = self.aiStrafeLeft ? 4 : 6;
    const f32 S = close ? 15.0f : 30.0f;
    const bool calm = T >= 40.0f && D >= S && (ship || rival->attackKind == 0);
    if (calm) {
        if (OneIn(10) && self.aiDashCount <= 0 && Roll(10 * k) <= 8) Move(sideWay, 20);
    } else if (self.aiDashCount > 0) {
        Move(sideWay, 30);
    } else if (OneIn(3 * k)) {
        Move(sideWay, self.attackKind != 0 ? 5 : 2);
    }
}

void AiFrame::Fight(bool ship)
{
    const Mat4& body = self.worldMatrix;
    D = Vec3Length(self.aimVector);
    F = Vec3DotClamped(Vec3(body.m[2][0], body.m[2][1], body.m[2][2]), self.forward);
    bool fire = true;
    if (!ship && T <= 50.0f) fire = OneIn(100) || OwnSituation(kSituationDash, kSituationManoeuvre);
    if (fire) RangedWeapons();
    Saber(ship);
    if (!ship) TwinBladeRule();
    if (ship) ShipGuard();
    else RobotGuard();
    if (!ship && rival->hitImmunity != 0) {
        Release(kInShot);
        Release(kInSaber);
        Release(kInSub1);
    }
    if (D > 80.0f) {
        Release(kInShot);
        Release(kInSub1);
        Release(kInSub2);
        Release(kInSub3);
    }
    if (!ship) ScanAlerts();
    if (OneIn(500) && self.attackKind == 0) Press(kInTarget);
    Jump();
    Movement(ship);
    self.input.direction = self.aiDirection;
}

void AiFrame::Tail()
{
    if (self.aiMoveTimer > 0) --self.aiMoveTimer;
    if (self.typeIndex == 16 && OneIn(1000)) {
        Press(kInSaber);
        self.input.direction = 2;
    }
    if (self.voiceCooldown > 0) {
        --self.voiceCooldown;
    } else if (self.pilotIndex >= 0) {
        auto say = [&](i32 line) {
            self.pendingRadioLine = line;
            self.voiceCooldown = 60;
        };
        if (AppRoll(1000) == 0) {
            say(static_cast<i32>(AppRoll(1000) / 100));
        } else {
            if ((self.situation == kSituationSaber || self.situation == kSituationFiring) && AppRoll(300) == 0)
                say(static_cast<i32>(AppRoll(1000) / 100) + 10);
            if (self.situation == kSituationHit && AppRoll(200) == 0) say(static_cast<i32>(AppRoll(500) / 100) + 20);
            if (self.situation == kSituationDown && AppRoll(100) == 0) say(static_cast<i32>(AppRoll(500) / 100) + 40);
            if (self.killVoicePending == 1) say(static_cast<i32>(AppRoll(500) / 100) + 30);
        }
    }
    self.nearestThreat = Vec3(kNoThreat, kNoThreat, kNoThreat);
    self.situation = kSituationNeutral;
}

}  // namespace

void CRobot_Normal::AiControl()
{
    input.direction = 5;
    if (aiLevel <= 0) return;
    // Out-of-range levels act as the nearest valid one, so the divisor stays at least 1.
    const i32 level = std::min(aiLevel, 10);
    const f32 threat = Vec3Length(nearestThreat);
    AiFrame frame{*this,
                  modelData ? modelData->aiWeaponSettings : kNoWeapons,
                  modelData ? modelData->aiSettingKind : kDefaultSettingKind,
                  modelData ? modelData->aiSettingRange : kDefaultSettingRange,
                  static_cast<u32>(11 - level),
                  threat == 0.0f ? 9999999.0f : threat};

    for (i32 i = 0; i < kInputBytes; ++i) {
        i16& timer = aiButtonTimers[i];
        timer = static_cast<i16>(timer - 1);
        if (timer < 0) timer = 0;
        else if (i > 0) input.buttons[i - 1] = 1;
    }

    if (!lockTarget) {
        frame.Wander();
    } else if (lockTarget->GetKind() == kKindRobot) {
        frame.rival = static_cast<CRobot_Normal*>(lockTarget);
        frame.Fight(false);
    } else if (lockTarget->GetKind() == kKindShip) {
        frame.Fight(true);
    }
    frame.Tail();
}
