#include "weapon/items/Items.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/scene/Camera.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MeshObject.h"
#include "engine/graphics/ViewFrustum.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Smoke.h"
#include "weapon/effects/Wind.h"

namespace {

constexpr i32 kSummonTexture = 23;
constexpr i32 kItemSmokeTexture = 32;
constexpr u32 kWhite = 0xFFFFFFFFu;

f32 Fraction() { return static_cast<f32>(BattleUnit()); }

// Spin a degree about y in place, then move and fall.
void SpinAndFall(Mat4& world, Vec3& velocity)
{
    const Vec3 at(world.m[3][0], world.m[3][1], world.m[3][2]);
    for (int i = 0; i < 3; ++i) world.m[3][i] = 0.0f;
    Mat4 r;
    plat::MatrixRotationY(&r, 0.017453f);
    plat::MatrixMultiply(&world, &world, &r);
    const Vec3 next = at + velocity;
    world.m[3][0] = next.x;
    world.m[3][1] = next.y;
    world.m[3][2] = next.z;
    velocity.y -= 0.01f;
    if (velocity.y < -0.3f) velocity.y = -0.3f;
}

CRobot_Normal* SceneSpawn(i32 type, const Vec3& at, f32 hpScale, i32 team, i32 colourSet)
{
    return CurrentWeaponWorld().CallUnit(type, at, hpScale, team, colourSet);
}

bool ScenePlayerSlot(const BB_Base* robot)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    CRobot_Base* const* table = w.RobotTable();
    const auto* r = dynamic_cast<const CRobot_Base*>(robot);
    if (!table || !r) return false;
    for (i32 slot = 0; slot < 2 && slot < w.RobotCount(); ++slot) {
        const CRobot_Base* p = table[slot];
        if (p && p->objectId == r->objectId) return true;
    }
    return false;
}

// One outcome of the summon cascade.
struct Call {
    i32 units;
    i32 type;  // -1: each unit draws 0 or 1
    f32 strength;
    i32 colourSet;  // -1: the picker's team number
    i32 level;
    const char* label;  // appended to the name
    const char* name;   // replaces the name
};

constexpr Call kReinforcements{10, -1, 0.2f, -1, 5, "[援軍]", nullptr};
constexpr Call kCalls[5] = {
    {3, 15, 0.7f, -1, 10, "[砲撃部隊]", nullptr},
    {3, 10, 0.7f, 9, 10, "[暗殺部隊]", nullptr},
    {3, 7, 0.7f, 6, 10, "[騎士団]", nullptr},
    {3, 11, 0.7f, 0, 10, "[殲滅部隊]", nullptr},
    {3, 13, 0.7f, 4, 10, nullptr, "ヴァルキュレ"},
};
constexpr Call kWizards{3, 16, 0.7f, 8, 10, nullptr, "ウィザード"};

bool OneIn300() { return BattleDraw() % 300 == 0; }

void Name(CRobot_Normal& unit, const Call& call)
{
    if (call.name) {
        std::memset(unit.displayName, 0, sizeof unit.displayName);
        AppendWholeCharacters(unit.displayName, sizeof unit.displayName, call.name);
    } else if (call.label) {
        AppendWholeCharacters(unit.displayName, sizeof unit.displayName, call.label);
    }
}

void SpawnUnit(const Call& call, const Mat4& aim, i32 team)
{
    // u1 goes to z and is drawn first; a drawn type follows both.
    const f32 u1 = Fraction();
    const f32 u2 = Fraction();
    const i32 type = call.type >= 0 ? call.type : i32(BattleDraw() & 1);
    const Vec3 at(aim.m[3][0] + u2 * 4.0f - 2.0f, aim.m[3][1] + 2.0f, aim.m[3][2] + u1 * 4.0f - 2.0f);
    const BB_SummonItem::SpawnFn spawn = BB_SummonItem::spawnUnit ? BB_SummonItem::spawnUnit : &SceneSpawn;
    CRobot_Normal* unit = spawn(type, at, call.strength, team, call.colourSet >= 0 ? call.colourSet : team);
    if (!unit) return;
    unit->aiLevel = call.level;
    Name(*unit, call);
}

}  // namespace

// ---- summon item ----

void BB_SummonItem::Set(const Vec3* position, f32 size, const Vec3* velocity, i32 blendMode, plat::GfxTexture* texture,
                        u32 colour, u32 life, i32 team)
{
    Quad.InitSquare(size, colour);
    Place(position, blendMode, texture);
    if (velocity) Velocity = *velocity;
    Life = i32(std::min<u32>(life, 0x7FFFFFFFu));
    SetHits({.hitRadius = 1.0f, .team = team});  // a pick-up, not a blow
    Counter = 0;
    Taken = 0;
}

i32 BB_SummonItem::Run()
{
    SpinAndFall(World, Velocity);
    ++Counter;
    return Counter > Life ? 1 : 0;
}

i32 BB_SummonItem::Draw() { return DrawInOwnMatrix(*this, Quad.Width() * 0.7071059942f); }

i32 BB_SummonItem::OnHitMap(const Vec3* push)
{
    BounceVelocity(Velocity, push);
    return 0;
}

i32 BB_SummonItem::OnHitRobot(const Vec3*, BB_Base* robot)
{
    if (Taken) return 0;
    Taken = 1;
    Counter = Life;
    if (!robot) return 0;
    const auto* picker = dynamic_cast<const CRobot_Base*>(robot);
    const i32 team = picker ? picker->team : Team;
    // The tests run in order and the first that holds is taken.
    const Call* call = nullptr;
    if (OneIn300()) call = &kReinforcements;
    for (i32 i = 0; !call && i < 5; ++i)
        if (OneIn300()) call = &kCalls[i];
    if (!call) {
        if (BattleDraw() % 300 == 0) {
            call = &kWizards;
        } else {
            // The usual answer: one or two plain allies around one aim point.
            const i32 units = i32(BattleDraw() & 1) + 1;
            const Mat4* aim = robot->GetTargetMatrix();
            if (!aim) return 0;
            const Mat4 at = *aim;
            const Call plain{units, -1, 0.2f, -1, 5, nullptr, nullptr};
            for (i32 i = 0; i < units; ++i) SpawnUnit(plain, at, team);
            return 0;
        }
    }
    for (i32 i = 0; i < call->units; ++i) {
        const Mat4* aim = robot->GetTargetMatrix();
        if (!aim) continue;
        SpawnUnit(*call, *aim, team);
    }
    return 0;
}

// ---- parts item ----

void BB_PartsItem::Set(const Vec3* position, u32, const Vec3* velocity, i32 blendMode, MeshObject* mesh, u32, i32 life,
                       i32 team, f32 strength)
{
    if (position) AddMatrixTranslation(&World, position);
    BlendMode = blendMode;
    if (velocity) Velocity = *velocity;
    Mesh = mesh;
    Life = life;
    Strength = strength;
    SetHits({.hitRadius = 1.0f, .team = team});  // a pick-up, not a blow
    Counter = 0;
    Taken = 0;
}

i32 BB_PartsItem::Run()
{
    SpinAndFall(World, Velocity);
    if (Counter % 2 == 0) {
        const WeaponWorld& w = CurrentWeaponWorld();
        const f32 u1 = Fraction(), u2 = Fraction(), u3 = Fraction();
        const Vec3 at = Position() + Vec3(u2 * 0.4f - 0.2f, 0.0f, u3 * 0.4f - 0.2f);
        const Vec3 rise(0.0f, u1 * 0.1f + 0.1f, 0.0f);
        if (auto* smoke = NewObject<BB_MSmoke>(w.effects, 1))
            smoke->Set(&at, 0.3f, &rise, 1, w.Texture(kItemSmokeTexture), kWhite, i16(-2));
    }
    ++Counter;
    return Counter > Life ? 1 : 0;
}

i32 BB_PartsItem::Draw()
{
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    const WeaponWorld& w = CurrentWeaponWorld();
    if (!d || !Mesh) return 0;
    if (w.frustum && !w.frustum->TestSphere(World.m[3][0], World.m[3][1], World.m[3][2], Quad.Width() * 0.7071f))
        return 0;
    d->SetRenderState(plat::GfxRenderState::Lighting, 1);
    d->SetRenderState(plat::GfxRenderState::FogEnable, 1);
    d->SetRenderState(plat::GfxRenderState::ZWriteEnable, 1);
    SetAlphaBlend();
    d->SetRenderState(plat::GfxRenderState::CullMode, plat::CullCCW);
    d->SetTransform(plat::GfxTransform::World, World);
    Mesh->Draw();
    // Back to what every effect draw expects.
    d->SetRenderState(plat::GfxRenderState::Lighting, 0);
    d->SetRenderState(plat::GfxRenderState::FogEnable, 0);
    d->SetRenderState(plat::GfxRenderState::ZWriteEnable, 0);
    SetAlphaBlend();
    d->SetRenderState(plat::GfxRenderState::CullMode, plat::CullNone);
    return 0;
}

i32 BB_PartsItem::OnHitMap(const Vec3* push)
{
    BounceVelocity(Velocity, push);
    return 0;
}

i32 BB_PartsItem::OnHitRobot(const Vec3*, BB_Base* robot)
{
    if (!robot || Taken) return 0;
    const TakerFn may = mayTake ? mayTake : &ScenePlayerSlot;
    if (!may(robot)) return 0;
    CApplication* app = GetApplication();
    if (!app) return 0;
    Taken = 1;
    Counter = Life;
    // The menu generator: an online battle's shared sequence stays untouched.
    const u32 roll = app->random.GetRand() % 1000;
    char line[128];
    if (roll < 200) {
        auto* r = dynamic_cast<CRobot_Normal*>(robot);
        if (!r) return 0;
        const u32 n = app->random.GetRand() % 10;
        if (r->spawnType >= 0 && u32(r->spawnType) < RobotRecordCount)
            app->partInventory.robots[r->spawnType].colourOwned[n] = 1;
        std::snprintf(line, sizeof line, "获得涂装 [%u号]     ", n + 1);
        app->AddChatLine(line, kWhite);
        return 0;
    }
    if (CGameItem_PowerUp* part = app->partInventory.AddNewPart()) {
        part->Randomize(Strength);
        std::snprintf(line, sizeof line, "获得 %s", part->name);
        app->AddChatLine(line, part->colour);
    } else {
        std::snprintf(line, sizeof line, "无法获得更多的装备                ");
        app->AddChatLine(line, kWhite);
    }
    return 0;
}

// ---- drops ----

void DropBattleItem(CRobot_Normal* robot, i32 kind, const Vec3& at, const Vec3& velocity, i32 life, f32 value)
{
    const WeaponWorld& w = CurrentWeaponWorld();
    if (kind == CRobot_Normal::kItemSummon) {
        if (auto* item = NewObject<BB_SummonItem>(w.attackEffects, 1))
            item->Set(&at, 2.0f, &velocity, 0, w.Texture(kSummonTexture), kWhite, u32(life), 1000);
        return;
    }
    (void)robot;
    MeshObject* mesh = w.SceneMesh(kind == CRobot_Normal::kItemParts2 ? 1 : 0);
    if (auto* item = NewObject<BB_PartsItem>(w.attackEffects, 1))
        item->Set(&at, 0, &velocity, 0, mesh, 0xFFFFFFFFu, life, 1000, value);
}
