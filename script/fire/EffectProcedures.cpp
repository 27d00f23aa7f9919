// The effect procedures: magic circles, the blast, the fire and light
// elements and their control, the two part sets, wind, sword beams, the wind
// bow, lightning streaks and the weapon-point effect selector. Apart from 23,
// 27 and 30 they spend nothing.
#include <algorithm>
#include <cmath>

#include "battle/GameScene.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/model/HodModel.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "script/fire/FireSteps.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/Yakkyou.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/MagicCircle.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr u32 kWhite = 0xFFFFFFFFu;
constexpr u32 kClearWhite = 0x00FFFFFFu;
constexpr i32 kMagicTexture = 33;
constexpr i32 kBlastTexture = 3;
constexpr i32 kBlastSound = 3;
constexpr i32 kWindTexture = 36;
constexpr i32 kSwordBeamPriority = 100;
constexpr i32 kUnlimitedLife = 999999999;

f32 Fraction() { return static_cast<f32>(BattleUnit()); }
f32 Hundredths(i32 v) { return static_cast<f32>(v) / 100.0f; }
Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

// The energy step on its own, for the procedures that use no weapon point.
bool SpendEnergy(CRobot_Normal& robot, i32 costValue)
{
    const f32 cost = static_cast<f32>(costValue);
    if (robot.energy < cost) return false;
    // A refill may pass the maximum until the robot's next update.
    robot.energy = std::max(robot.energy - cost, 0.0f);
    return true;
}

// The node matrix itself, for effects that follow it; null for a missing point.
const Mat4* WeaponPoint(const CRobot_Normal& robot, i32 point)
{
    if (point < 0 || point >= kWeaponPointCount || point >= robot.weaponPointNodes.GetCount()) return nullptr;
    const HodNode* node = robot.weaponPointNodes[point];
    return node ? &node->world : nullptr;
}

// Script texture numbers outside the scene's table are refused.
bool TextureNumberValid(i32 n) { return n >= 0 && n < kBattleTextureCount; }

// The first free slot of the attached-effect table (a beam that ended by
// itself frees its slot); the 31st beam lives unregistered.
void Attach(CRobot_Normal& robot, BB_Base* beam)
{
    for (BB_Base*& slot : robot.attachedWeapons) {
        if (slot && slot->Removed) slot = nullptr;
        if (!slot) {
            slot = beam;
            return;
        }
    }
}

void ShowNodes(CHierarchyObject& model, CFixedArray<HodNode*>& nodes, u8 hidden)
{
    const i32 n = std::min(nodes.GetCount(), kRobotGunNodes);
    for (i32 i = 0; i < n; ++i)
        if (nodes[i]) model.SetNodeHidden(nodes[i], hidden);
}

Mat4 Turned(Mat4* (*rotation)(Mat4*, float), f32 degrees, const Mat4& m)
{
    Mat4 r, out;
    rotation(&r, degrees * kDegreesToRadians);
    plat::MatrixMultiply(&out, &r, &m);
    return out;
}

// -a + r x 2a: uniform in [-a, a).
f32 Spread(f32 a) { return -a + Fraction() * (a + a); }

}  // namespace

// ---- 23, 27: magic circles and the blast ----

void CRobot_Normal::FireProc23MagicCircle(const i32* args)
{
    if (!args || !SpendEnergy(*this, args[1])) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const i32 extra = chargeLevel == 0 ? 0 : (chargeLevel - 1) * 3;
    const Vec3 p = BodyNodePosition();
    auto circle = [&](const Vec3& at, f32 fullSize, f32 spin, u32 start) {
        if (auto* c = NewObject<BBMagicCir>(w.effects, 1))
            c->Set(&at, 2.0f, 1, w.Texture(kMagicTexture), kClearWhite, this, target, fullSize, spin, u32(team), start);
    };
    auto startFrame = [] { return u32(i32(BattleDraw() % 61) - 60); };
    circle(p, 40.0f, 0.1f, startFrame());
    circle(p + Vec3(10.0f, 7.0f, 10.0f), 25.0f, -0.1f, startFrame());
    circle(p - Vec3(10.0f, 7.0f, 10.0f), 25.0f, 0.05f, startFrame());
    for (i32 i = 0; i < extra; ++i) {
        // Spin, its sign, the offset x, y, z, the start, then the size.
        f32 s = Fraction() * 0.15f + 0.05f;
        if (BattleDraw() % 2 == 0) s = -s;
        Vec3 offset;
        offset.x = Fraction() * 30.0f - 15.0f;
        offset.y = Fraction() * 20.0f - 10.0f;
        offset.z = Fraction() * 30.0f - 15.0f;
        const u32 start = startFrame();
        const f32 size = 6.0f + Fraction() * 6.0f;
        circle(p + offset, size, s, start);
    }
}

void CRobot_Normal::FireProc27Explode(const i32* args)
{
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const f32 f = PowerUpFactor(*this);
    const Vec3 q = Row(s.launch, 3);
    const Vec3 still;
    // The attack-effect list is what makes it hurt.
    if (auto* blast = NewObjectLast<BB_GrenadeExplode>(w.attackEffects, 3))
        blast->Set(&q, 2.0f, &still, 0, w.Texture(kBlastTexture), kWhite, this,
                   {.hitRadius = 0.7f, .damage = ShotDamage(f32(scriptContext.attackPower), 1.0f, f),
                    .downValue = scriptContext.attackDownF, .knockback = scriptContext.attackForce,
                    .hitFlags = u32(scriptContext.attackFlag), .team = team});
    for (i32 i = 0; i < 3; ++i) {
        // Velocity x, y, z, then the frame step, then the size.
        Vec3 v;
        v.x = Fraction() * 0.04f - 0.02f;
        v.y = Fraction() * 0.04f - 0.02f;
        v.z = Fraction() * 0.04f - 0.02f;
        const f32 step = 2.0f + Fraction();
        const f32 size = 0.5f + Fraction() * 0.5f;
        if (auto* ball = NewObject<BB_Explode5>(w.effects, 3))
            ball->SetEx(&q, size, &v, 0, w.Texture(kBlastTexture), kWhite, 18, step, 0.96f, 0);
    }
    PlayShotSound(kBlastSound, q);
}

// ---- 30, 61: fire and light elements ----

void CRobot_Normal::FireProc30Material(const i32* args)
{
    // An unknown element costs nothing.
    if (!args || (args[2] != 0 && args[2] != 1)) return;
    ShotStart s;
    if (!BeginShot(*this, args, &s)) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 q = Row(s.launch, 3);
    const i16 kind = static_cast<i16>(args[3] & 0xFFFF);
    if (args[2] == 0) {
        if (auto* fire = NewObject<BB_FireMaterial>(w.effects, 1))
            fire->Set(&q, 1.0f, 1, w.Texture(31), kWhite, kind, this);
    } else if (auto* light = NewObject<BB_LightMaterial>(w.effects, 1)) {
        light->Set(&q, 0.3f, 1, w.Texture(39), kWhite, kind, 0, this);
    }
}

void CRobot_Normal::FireProc61ControlMaterials(const i32* args)
{
    if (!args || (args[0] != 0 && args[0] != 1)) return;
    CList<BB_Base>* effects = CurrentWeaponWorld().effects;
    if (!effects || !effects->GetHead()) return;
    for (BB_Base* o = effects->GetHead()->next; o && o != effects->GetTail(); o = o->next) {
        auto* m = dynamic_cast<BB_BaseMaterial*>(o);
        if (!m || m->Removed || m->Owner != this) continue;
        if (args[0] == 0) {
            m->Finish();
        } else {
            // Newest first among equal priorities: only the newest attacks.
            m->Launch();
            return;
        }
    }
}

// ---- 51, 52: part sets ----

void CRobot_Normal::FireProc51SelectPartSet0(const i32*)
{
    ShowNodes(upperModel, gunNodes, 0);
    ShowNodes(upperModel, swordNodes, 1);
    partSet = 0;
    altActionSet = 0;
    for (BB_Base*& slot : attachedWeapons) {
        if (!slot) continue;
        if (!slot->Removed)
            if (auto* beam = dynamic_cast<BB_SwordBeam*>(slot)) beam->Life = 0;
        slot = nullptr;
    }
}

void CRobot_Normal::FireProc52SelectPartSet1(const i32*)
{
    ShowNodes(upperModel, gunNodes, 1);
    ShowNodes(upperModel, swordNodes, 0);
    partSet = 1;
    altActionSet = 1;
}

// ---- 53-58, 60: wind, sword beams, the bow and lightning ----

void CRobot_Normal::FireProc53WindLines(const i32*)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 p = BodyNodePosition();
    const Vec3 f = Row(worldMatrix, 2);
    for (i32 i = 0; i < 7; ++i) {
        Vec3 at = p;
        at.x += Fraction() * 3.0f - 1.5f;
        at.y += Fraction() * 3.0f - 1.5f;
        at.z += Fraction() * 3.0f - 1.5f;
        if (auto* line = NewObject<BB_WindLine>(w.effects, 1)) line->Set(&at, 0.07f, 3.0f, &f, 0, w.Texture(6), kWhite);
    }
}

void CRobot_Normal::FireProc54WindRing2(const i32*)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 f = Row(worldMatrix, 2);
    const Vec3 at = BodyNodePosition() + f;
    if (auto* ring = NewObject<BB_WindRing2>(w.effects, 1))
        ring->SetEx(&at, 1.0f, 1, w.Texture(kWindTexture), kWhite, &f, 0.3f, -24);
}

void CRobot_Normal::FireProc55SwordBeam(const i32* args)
{
    const Mat4* wp = args ? WeaponPoint(*this, args[0]) : nullptr;
    if (!wp || (args[2] != -1 && !TextureNumberValid(args[2])) || !TextureNumberValid(args[3])) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 q = Row(*wp, 3);
    plat::GfxTexture* first = args[2] == -1 ? nullptr : w.Texture(args[2]);
    const u32 life = args[9] == 0 ? u32(kUnlimitedLife) : u32(FireLife(args[9]));
    auto* beam = NewObject<BB_SwordBeam>(w.effects, kSwordBeamPriority);
    if (!beam) return;
    beam->Set(&q, Hundredths(args[1]), Hundredths(args[4]), 1, first, w.Texture(args[3]), kWhite,
              {.team = 0, .life = life, .owner = this, .followedMatrix = wp, .value = 0, .rehitInterval = 0});
    Attach(*this, beam);
}

void CRobot_Normal::FireProc56WindRing3(const i32*)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 p = BodyNodePosition();
    const Vec3 still;
    if (auto* ring = NewObject<BB_WindRing3>(w.effects, 1))
        ring->SetEx(&p, 1.0f, &still, 0, w.Texture(kWindTexture), kWhite);
}

void CRobot_Normal::FireProc57SwordBeamAtk(const i32* args)
{
    const Mat4* wp = args ? WeaponPoint(*this, args[0]) : nullptr;
    if (!wp) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 q = Row(*wp, 3);
    auto* beam = NewObject<BB_SwordBeamAtk>(w.attackEffects, kSwordBeamPriority);
    if (!beam) return;
    // The life as given: 0 ends it at its first step.
    beam->SetEx(&q, Hundredths(args[1]), 1, nullptr, kWhite,
                {.team = 0, .life = u32(FireLife(args[9])), .owner = this, .followedMatrix = wp, .value = u32(args[3]),
                 .rehitInterval = args[4]},
                extParams);
    Attach(*this, beam);
}

void CRobot_Normal::FireProc58WindBow(const i32* args)
{
    const Mat4* wp = args ? WeaponPoint(*this, args[0]) : nullptr;
    if (!wp) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (auto* bow = NewObject<BB_WindBow>(w.effects, 1))
        bow->Set(wp, 0.75f, 3.0f, 1, w.Texture(35), kWhite, this, wp, FireLife(args[1]));
}

void CRobot_Normal::FireProc60ThunderEffect(const i32* args)
{
    const Mat4* wp = args ? WeaponPoint(*this, args[0]) : nullptr;
    if (!wp || !TextureNumberValid(args[4])) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 d = Row(*wp, 2);
    if (auto* streak = NewObject<LZ_ThunderEffect>(w.weapons, 1))
        streak->Set(wp, Hundredths(args[1]), u32(FireArg(args[2], 0, kFireArgLimit)), Hundredths(args[3]), 1,
                    w.Texture(args[4]), kWhite, &d, Hundredths(args[5]), u32(FireLife(args[6])));
}

// ---- 62: the weapon-point effect selector ----

void CRobot_Normal::FireProc62EffectAtAttachment(const i32* args)
{
    const Mat4* wp = args ? WeaponPoint(*this, args[0]) : nullptr;
    if (!wp) return;
    const WeaponWorld& w = CurrentWeaponWorld();
    const Vec3 q = Row(*wp, 3);
    const Vec3 f = Row(*wp, 2);
    switch (args[1]) {
    case 0: {
        const i32 texture = args[5] == 0 ? kMagicTexture : args[5] == 1 ? 38 : -1;
        Mat4 forward;
        plat::MatrixTranslation(&forward, 0.0f, 0.0f, Hundredths(args[7]));
        Mat4 m;
        plat::MatrixMultiply(&m, &forward, wp);
        if (auto* c = NewObject<BB_MagicCircleEffect>(w.weapons, 1))
            c->Set(&m, Hundredths(args[4]), 1, w.Texture(texture), kClearWhite, Hundredths(args[3]),
                   u32(FireArg(args[2], 0, kFireArgLimit)), u32(FireLife(args[6])), this);
        break;
    }
    case 1: {
        i32* shake = w.cameraShake;
        const f32 r = Hundredths(args[2]);
        const Vec3 span = q - w.Eye();
        const f32 d = plat::Vec3Length(&span);
        if (shake && d <= r && f32(*shake) < (r - d) * 3.0f)
            *shake = static_cast<i32>((r - std::trunc(d)) * 3.0f);
        break;
    }
    case 2:
        if (auto* ring = NewObject<BB_WindRing>(w.effects, 1))
            ring->Set(&q, 1.0f, 1, w.Texture(kWindTexture), kWhite, 0.3f, -24);
        break;
    case 3: {
        const f32 width = Hundredths(args[2]), length = Hundredths(args[3]);
        if (auto* burner = NewObject<BB_Burner>(w.effects, 1))
            burner->Set(&q, width, length, 1, w.Texture(8), 0x80FFFFFFu, this, wp, 1);
        const Vec3 offset(0.0f, 0.0f, length / 4.0f);
        if (auto* ball = NewObject<BB_BurnerBall>(w.effects, 1))
            ball->Set(&q, width / 2.0f, &offset, 1, w.Texture(9), kWhite, this, wp, 4);
        break;
    }
    case 4: {
        const Mat4* other = WeaponPoint(*this, args[2]);
        // The line ends when the script sets its variable: one with storage only.
        i32* endFlag = args[6] >= 0 && args[6] < intVars.GetCount() ? intVars[args[6]] : nullptr;
        if (!other || !endFlag || (args[5] >= 0 && !TextureNumberValid(args[5]))) break;
        if (auto* line = NewObject<LZ_LineEffect3>(w.weapons, 1))
            line->Set(this, wp, other, Hundredths(args[3]), args[4], args[5] < 0 ? nullptr : w.Texture(args[5]), kWhite,
                      endFlag);
        break;
    }
    case 5: {
        if (!modelData || args[2] < 0 || args[2] >= modelData->extraMeshes.GetCount()) break;
        // The X turn is drawn first.
        const f32 a = f32(args[3]);
        const f32 ax = Spread(a);
        Mat4 m = Turned(plat::MatrixRotationX, ax, *wp);
        const f32 ay = Spread(a);
        m = Turned(plat::MatrixRotationY, ay, m);
        Vec3 v = Row(m, 2);
        plat::Vec3Normalize(&v, &v);
        v *= 0.04f;
        const u8 flag = args[2] < modelData->extraMeshFlags.GetCount() ? modelData->extraMeshFlags[args[2]] : 0;
        if (auto* casing = NewObject<LZ_Yakkyou>(w.weapons, 1))
            casing->Set(wp, modelData->extraMeshes[args[2]].get(), flag, &v);
        break;
    }
    case 6: {
        const Vec3 drift = Row(worldMatrix, 3) - Row(modelRootMatrix, 3);
        const Vec3 v = f * (f32(args[3]) / 10000.0f) + drift * 0.5f;
        const f32 speed = plat::Vec3Length(&v);
        Matrix m;
        m.MatrixLookDirection(v, Vec3(0, 1, 0));
        m.m[3][0] = q.x;
        m.m[3][1] = q.y;
        m.m[3][2] = q.z;
        // Offset in the ember's own frame, drawn x, y, z.
        const f32 ox = Spread(Hundredths(args[4]));
        const f32 oy = Spread(Hundredths(args[5]));
        const f32 oz = Spread(Hundredths(args[6]));
        Mat4 t, placed;
        plat::MatrixTranslation(&t, ox, oy, oz);
        plat::MatrixMultiply(&placed, &t, &m);
        if (auto* ember = NewObject<BB_Hinoko>(w.effects, 1))
            ember->Set(&placed, Hundredths(args[2]), speed, 1, w.Texture(40), kWhite);
        break;
    }
    case 7: {
        if (!modelData || args[2] < 0 || args[2] >= modelData->extraMeshes.GetCount() || !TextureNumberValid(args[4]))
            break;
        if (auto* fire = NewObject<BB_FireAnimeX>(w.effects, 1))
            fire->Set(wp, args[5], args[6], Hundredths(args[3]), 1, w.Texture(args[4]), modelData->extraMeshes[args[2]].get(),
                      this, wp);
        break;
    }
    default:
        break;
    }
}
