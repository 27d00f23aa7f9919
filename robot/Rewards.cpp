// Kill-streak rewards, called in from the guard: the orbital cannon, cruise
// missiles, magic circles, reinforcements, a battleship and rescue robots.
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "battle/hud/KillMessage.h"
#include "engine/core/MTRand.h"
#include "engine/graphics/MatrixHelpers.h"
#include "robot/Robot.h"
#include "weapon/Bullet.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/MagicCircle.h"

namespace {

constexpr i32 kSmokeLineTexture = 6;
constexpr i32 kMagicTexture = 33;
constexpr i32 kCannonHeight = 300;

// Live robots and ships of other teams, in list order.
std::vector<CRobot_Base*> LiveEnemies(const CRobot_Base& self)
{
    std::vector<CRobot_Base*> out;
    CList<BB_Base>* units = CurrentWeaponWorld().robots;
    if (!units || !units->GetHead()) return out;
    for (BB_Base* o = units->GetHead()->next; o && o != units->GetTail(); o = o->next) {
        auto* r = dynamic_cast<CRobot_Base*>(o);
        if (r && r->team != self.team && r->state == kRobotStateLive) out.push_back(r);
    }
    return out;
}

// One draw when there is anyone to pick, none otherwise.
CRobot_Base* PickEnemy(const std::vector<CRobot_Base*>& enemies)
{
    if (enemies.empty()) return nullptr;
    return enemies[GetBattleRandom().GetRand() % static_cast<u32>(enemies.size())];
}

Matrix Raised(const Mat4& m, f32 height)
{
    Matrix out(m);
    out.m[3][1] += height;
    return out;
}

void LookDown(Matrix& m) { m.MatrixLookDirection(Vec3(0.0f, -1.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f)); }

MeshObject* MissileMesh()
{
    CGameScene* scene = FindGameScene();
    return scene && scene->meshes.IsCreated() ? &scene->meshes[kMeshMissile] : nullptr;
}

struct Unit {
    i32 type;
    f32 hpScale;
    const char* tag;
    const char* words;
};

constexpr const char* kReinforcementTag = "[\xE6\x8F\xB4\xE8\xBB\x8D]";  // reinforcement
constexpr const char* kSortie = "\xE5\x87\xBA\xE6\x92\x83";
constexpr const char* kRescueSortie = "\xE7\xB7\x8A\xE6\x80\xA5\xE5\x87\xBA\xE6\x92\x83";

bool UnitForCode(i32 code, Unit* unit)
{
    switch (code) {
    case 6: *unit = {7, 0.2f, kReinforcementTag, kSortie}; return true;
    case 7: *unit = {20, 0.2f, kReinforcementTag, kSortie}; return true;
    case 8: *unit = {16, 0.2f, kReinforcementTag, kSortie}; return true;
    case 9: *unit = {11, 0.2f, kReinforcementTag, kSortie}; return true;
    case 10005: *unit = {1, 0.3f, "[\xE6\x95\x91\xE5\x8A\xA9\xE9\x9A\x8A]", kRescueSortie}; return true;
    case 10009: *unit = {21, 0.3f, "[\xE6\x95\x91\xE5\x8A\xA9\xE9\x9A\x8A]", kRescueSortie}; return true;
    default: return false;
    }
}

}  // namespace

i32 CRobot_Normal::RewardUnitType(i32 code, bool* ship)
{
    *ship = code == 10;
    if (code == 10) return 1;
    Unit unit;
    return UnitForCode(code, &unit) ? unit.type : -1;
}

void CRobot_Normal::CarryOutReward(i32 code)
{
    const WeaponWorld& world = CurrentWeaponWorld();
    std::string message;
    switch (code) {
    case 2: {
        CRobot_Base* target = PickEnemy(LiveEnemies(*this));
        Matrix m = Raised(worldMatrix, static_cast<f32>(kCannonHeight));
        const Mat4* aim = target ? target->GetTargetMatrix() : nullptr;
        if (aim)
            m.MatrixLookDirection(Vec3(aim->m[3][0] - m.m[3][0], aim->m[3][1] - m.m[3][1], aim->m[3][2] - m.m[3][2]),
                                  Vec3(1.0f, 0.0f, 0.0f));
        else
            LookDown(m);
        if (auto* cannon = NewObject<LZ_Canon2>(world.weapons, 1))
            cannon->SetEx({.start = &m, .width = 0.3f, .maxPoints = 5, .blendMode = 1,
                           .texture = world.Texture(kSmokeLineTexture), .colour = 0xFFFFFFFFu},
                          {.speed = 3.0f, .turnRate = 0.5f, .life = 180},
                          {.owner = this, .target = target, .damage = 200, .downValue = 401, .knockback = 0.0f,
                           .hitFlags = 8, .rehitInterval = 10, .testSegments = 1, .team = team},
                          {.durability = 1, .mesh = nullptr, .shaderMode = 0});
        message = "\xE8\xA1\x9B\xE6\x98\x9F\xE8\xBB\x8C\xE9\x81\x93\xE7\xA0\xB2\xE7\x99\xBA\xE5\xB0\x84";
        break;
    }
    case 3:
    case 5: {
        const std::vector<CRobot_Base*> enemies = LiveEnemies(*this);
        const i32 count = code == 3 ? 1 : 3;
        for (i32 i = 0; i < count; ++i) {
            CRobot_Base* target = PickEnemy(enemies);
            Matrix m = Raised(worldMatrix, 100.0f + 20.0f * static_cast<f32>(i));
            LookDown(m);
            auto* missile = NewObject<LZ_Missile3>(world.weapons, 1);
            if (!missile) continue;
            missile->SetEx({.start = &m, .width = 0.4f, .maxPoints = 6, .blendMode = 0,
                            .texture = world.Texture(kSmokeLineTexture), .colour = 0x80FFFFFFu},
                           {.speed = 0.0f, .turnRate = 0.7f, .life = 0},
                           {.owner = this, .target = target, .damage = 400, .downValue = 401, .knockback = 0.5f,
                            .hitFlags = 8, .rehitInterval = 10, .testSegments = 1, .team = team},
                           {.durability = 200, .mesh = MissileMesh(), .shaderMode = 0});
            const Vec3 launch(m.m[1][0] * -0.1f, m.m[1][1] * -0.1f, m.m[1][2] * -0.1f);
            missile->SetOption(&launch);
            missile->Lifetime = 1000;
            missile->Spare = 5.0f;
        }
        message = code == 3 ? "\xE5\xB7\xA1\xE8\x88\xAA\xE3\x83\x9F\xE3\x82\xB5\xE3\x82\xA4\xE3\x83\xAB\xE7\x99\xBA"
                              "\xE5\xB0\x84"
                            : "\xE5\xB7\xA1\xE8\x88\xAA\xE3\x83\x9F\xE3\x82\xB5\xE3\x82\xA4\xE3\x83\xAB\xEF\xBD\x98"
                              "\xEF\xBC\x93\xE7\x99\xBA\xE5\xB0\x84";
        break;
    }
    case 4: {
        struct Emitter {
            Vec3 offset;
            f32 size, limit;
        };
        const Emitter emitters[3] = {{Vec3(0.0f, 5.0f, 0.0f), 1.0f, 20.0f},
                                     {Vec3(7.0f, 3.0f, 0.0f), 0.5f, 10.0f},
                                     {Vec3(-7.0f, 7.0f, 1.0f), 0.5f, 10.0f}};
        const Vec3 p = BodyNodePosition();
        for (const Emitter& e : emitters) {
            auto* circle = NewObject<BBMagicCir>(world.effects, 1);
            if (!circle) continue;
            const Vec3 at = p + e.offset;
            circle->Set(&at, e.size, 1, world.Texture(kMagicTexture), 0xFFFFFFu, this, nullptr, e.limit, 0.1f,
                        static_cast<u32>(team), static_cast<u32>(-300));
            // Called in, it does not end with its caller and hunts at once.
            circle->CheckOwnerDown = 0;
            circle->Hunt = 1;
        }
        message = "\xE9\xAD\x94\xE6\x96\xB9\xE9\x99\xA3\xE7\x99\xBA\xE5\x8B\x95";
        break;
    }
    case 10: {
        CGameScene* scene = FindGameScene();
        const f32 x = worldMatrix.m[3][0], y = worldMatrix.m[3][1], z = worldMatrix.m[3][2];
        CShip* ship = scene ? scene->SpawnShip(1, x + 200.0f, y + 20.0f, z, 0.05f, team, kControlComputer, 0, 0.0f)
                            : nullptr;
        if (ship) {
            message = ship->typeName;
            ship->aiLevel = 10;
            ship->inputEnabled = 1;
            ship->streakFlag = 0;
            AppendWholeCharacters(ship->displayName, sizeof ship->displayName, kReinforcementTag);
            linkedRobots.push_back(ship);
        }
        message += kSortie;
        break;
    }
    default: {
        Unit unit;
        if (!UnitForCode(code, &unit)) return;
        CGameScene* scene = FindGameScene();
        const f32 x = worldMatrix.m[3][0], y = worldMatrix.m[3][1], z = worldMatrix.m[3][2];
        CRobot_Normal* robot = scene ? scene->SpawnRobot(unit.type, x, y + 3.0f, z, unit.hpScale, team,
                                                         kControlComputer, 0, 0.0f, nullptr)
                                     : nullptr;
        if (robot) {
            message = robot->typeName;
            robot->aiLevel = 10;
            robot->tacticalRules = 0;
            robot->inputEnabled = 1;
            robot->streakFlag = 0;
            AppendWholeCharacters(robot->displayName, sizeof robot->displayName, unit.tag);
            linkedRobots.push_back(robot);
        }
        message += unit.words;
        break;
    }
    }
    ShowRewardMessage(this, message.c_str());
}
