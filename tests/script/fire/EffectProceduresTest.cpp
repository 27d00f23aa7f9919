#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/LineEffect.h"
#include "weapon/ObjectFactory.h"
#include "weapon/Yakkyou.h"
#include "weapon/effects/AttackEffects.h"
#include "weapon/effects/Burner.h"
#include "weapon/effects/Explode.h"
#include "weapon/effects/MagicCircle.h"
#include "weapon/effects/Spark.h"
#include "weapon/effects/Wind.h"

namespace {

struct Range : ArmedRobot, WeaponRange {
    HodNode* hand = nullptr;

    Range() : WeaponRange(42)
    {
        robot.Reset();
        hand = Point(0, Vec3(0, 0, 2));
        Point(1, Vec3(0, 3, 0));
        Body(Vec3(0, 1, 0));
        robot.energy = 500.0f;
        robot.energyMax = 1000;
        robot.team = 2;
        robot.state = kRobotStateLive;
        robot.scriptContext.attackPower = 100;
        world.camera = Mat4();
    }
};

}  // namespace

TEST(EffectProceduresTest, EachProcedureMakesItsObjectsInItsList)
{
    struct Case {
        const char* what;
        CRobot_Normal::FireProc proc;
        std::vector<i32> args;
        std::vector<std::string> weapons, effects, attacks;
        int draws;
        f32 energy;  // left of 500
    };
    using R = CRobot_Normal;
    const std::string circle = ClassName<BBMagicCir>(), blast = ClassName<BB_GrenadeExplode>(), ball = ClassName<BB_Explode5>();
    const Case cases[] = {
        {"circles", &R::FireProc23MagicCircle, {0, 50}, {}, {circle, circle, circle}, {}, 3, 450.0f},
        {"blast", &R::FireProc27Explode, {0, 60}, {}, {ball, ball, ball}, {blast}, 15, 440.0f},
        {"fire element", &R::FireProc30Material, {0, 70, 0, 2}, {}, {ClassName<BB_FireMaterial>()}, {}, 0, 430.0f},
        {"light element", &R::FireProc30Material, {0, 70, 1, 65537}, {}, {ClassName<BB_LightMaterial>()}, {}, 0, 430.0f},
        {"unknown element", &R::FireProc30Material, {0, 70, 2}, {}, {}, {}, 0, 500.0f},
        {"wind lines", &R::FireProc53WindLines, {}, {}, std::vector<std::string>(7, ClassName<BB_WindLine>()), {}, 21, 500.0f},
        {"ring ahead", &R::FireProc54WindRing2, {}, {}, {ClassName<BB_WindRing2>()}, {}, 0, 500.0f},
        {"sword beam", &R::FireProc55SwordBeam, {0, 300, -1, 13, 50}, {}, {ClassName<BB_SwordBeam>()}, {}, 0, 500.0f},
        {"beam on no point", &R::FireProc55SwordBeam, {7, 300, -1, 13, 50}, {}, {}, {}, 0, 500.0f},
        {"ring burst", &R::FireProc56WindRing3, {}, {}, {ClassName<BB_WindRing3>()}, {}, 2, 500.0f},
        {"damaging beam", &R::FireProc57SwordBeamAtk, {0, 200, 0, 11, 12, 0, 0, 0, 0, 30}, {}, {},
         {ClassName<BB_SwordBeamAtk>()}, 0, 500.0f},
        {"damaging beam on no point", &R::FireProc57SwordBeamAtk, {49, 200}, {}, {}, {}, 0, 500.0f},
        {"bow", &R::FireProc58WindBow, {1, 40}, {}, {ClassName<BB_WindBow>()}, {}, 0, 500.0f},
        {"bow on no point", &R::FireProc58WindBow, {-1, 40}, {}, {}, {}, 0, 500.0f},
        {"lightning", &R::FireProc60ThunderEffect, {0, 5, 10, 30, 4, 10, 20}, {ClassName<LZ_ThunderEffect>()}, {}, {}, 0,
         500.0f},
        {"lightning without a point", &R::FireProc60ThunderEffect, {5, 5, 10, 30, 4}, {}, {}, {}, 0, 500.0f},
        {"62 circle", &R::FireProc62EffectAtAttachment, {0, 0, 60, 300, 400, 2, 1, 100},
         {ClassName<BB_MagicCircleEffect>()}, {}, {}, 0, 500.0f},
        {"62 ring", &R::FireProc62EffectAtAttachment, {0, 2}, {}, {ClassName<BB_WindRing>()}, {}, 0, 500.0f},
        {"62 burner", &R::FireProc62EffectAtAttachment, {1, 3, 30, 120},
         {}, {ClassName<BB_BurnerBall>(), ClassName<BB_Burner>()}, {}, 0, 500.0f},
        {"62 line", &R::FireProc62EffectAtAttachment, {0, 4, 1, 5, 1, -1, 10}, {ClassName<LZ_LineEffect3>()}, {}, {}, 0,
         500.0f},
        {"62 line to no point", &R::FireProc62EffectAtAttachment, {0, 4, 9, 5, 1, -1, 10}, {}, {}, {}, 0, 500.0f},
        {"62 line on a number without storage", &R::FireProc62EffectAtAttachment, {0, 4, 1, 5, 1, -1, 120}, {}, {},
         {}, 0, 500.0f},
        {"62 embers", &R::FireProc62EffectAtAttachment, {0, 6, 20, 300, 0, 0, 0}, {}, {ClassName<BB_Hinoko>()}, {}, 3 + 4,
         500.0f},
        {"62 nothing for 8", &R::FireProc62EffectAtAttachment, {0, 8}, {}, {}, {}, 0, 500.0f},
        {"62 nothing for -1", &R::FireProc62EffectAtAttachment, {0, -1}, {}, {}, {}, 0, 500.0f},
    };
    for (const Case& c : cases) {
        Range r;
        r.Fire(c.proc, c.args);
        EXPECT_EQ(Range::Names(r.weapons), c.weapons) << c.what;
        EXPECT_EQ(Range::Names(r.effects), c.effects) << c.what;
        EXPECT_EQ(Range::Names(r.attacks), c.attacks) << c.what;
        EXPECT_EQ(DrawsSinceSeed(42), c.draws) << c.what;
        EXPECT_FLOAT_EQ(r.robot.energy, c.energy) << c.what;
    }
}

TEST(EffectProceduresTest, CirclesElementsBeamsAndPartSetsKeepTheirRules)
{
    // Charged circles: three fixed ones, three more per level above the first.
    for (const auto& [charge, count] : {std::pair{0, 3u}, {1, 3u}, {2, 6u}, {4, 12u}}) {
        Range r;
        r.robot.chargeLevel = charge;
        r.Fire(&CRobot_Normal::FireProc23MagicCircle, {0, 10});
        EXPECT_EQ(r.effects.GetCount(), count) << charge;
        for (BB_Base* o = r.effects.GetHead()->next; o != r.effects.GetTail(); o = o->next) {
            const u32 start = static_cast<BBMagicCir*>(o)->Counter;
            EXPECT_TRUE(start == 0 || start >= u32(-60)) << start;  // never later than 60 frames
        }
    }

    // Elements: 0 releases all of this robot's, 1 launches only the newest.
    {
        Range r;
        CRobot_Normal other;
        for (int i = 0; i < 3; ++i) r.Fire(&CRobot_Normal::FireProc30Material, {0, 0, i % 2, 0});
        auto* foreign = NewObject<BB_FireMaterial>(&r.effects, 1);
        foreign->Set(nullptr, 1.0f, 1, nullptr, 0xFFFFFFFFu, 0, &other);
        std::vector<BB_BaseMaterial*> mine;  // newest first
        for (BB_Base* o = r.effects.GetHead()->next->next; o != r.effects.GetTail(); o = o->next)
            mine.push_back(static_cast<BB_BaseMaterial*>(o));
        ASSERT_EQ(mine.size(), 3u);
        r.Fire(&CRobot_Normal::FireProc61ControlMaterials, {1});
        EXPECT_EQ(mine[0]->Launched + mine[1]->Launched + mine[2]->Launched, 1);
        EXPECT_EQ(mine[0]->Launched, 1);
        r.Fire(&CRobot_Normal::FireProc61ControlMaterials, {0});
        for (BB_BaseMaterial* m : mine) EXPECT_EQ(m->Finished, 1);
        EXPECT_EQ(foreign->Finished, 0);
        EXPECT_EQ(foreign->Launched, 0);
    }

    // Sword beams register in 30 slots; a beam that ended frees its slot;
    // the part sets swap the shown nodes and 51 ends every registered beam.
    {
        Range r;
        HodNode* gun = new HodNode;
        HodNode* sword = new HodNode;
        r.robot.gunNodes[0] = gun;
        r.robot.swordNodes[0] = sword;
        for (int i = 0; i < 31; ++i) r.Fire(&CRobot_Normal::FireProc55SwordBeam, {0, 300, -1, 13, 50, 0, 0, 0, 0, 0});
        EXPECT_EQ(r.effects.GetCount(), 31u);
        auto* unregistered = static_cast<BB_SwordBeam*>(r.effects.GetHead()->next);
        for (BB_Base* w : r.robot.attachedWeapons) EXPECT_NE(w, unregistered);
        BB_Base* ended = r.robot.attachedWeapons[4];
        ended->Removed = 1;
        r.Fire(&CRobot_Normal::FireProc57SwordBeamAtk, {0, 200, 0, 11, 12, 0, 0, 0, 0, 0});
        EXPECT_EQ(r.robot.attachedWeapons[4], r.attacks.GetHead()->next);
        ended->Removed = 0;  // still ours to delete with the list

        r.Fire(&CRobot_Normal::FireProc52SelectPartSet1, {});
        EXPECT_EQ(r.robot.partSet, 1);
        EXPECT_EQ(gun->hidden, 1);
        EXPECT_EQ(sword->hidden, 0);
        r.Fire(&CRobot_Normal::FireProc51SelectPartSet0, {});
        r.Fire(&CRobot_Normal::FireProc51SelectPartSet0, {});
        EXPECT_EQ(r.robot.partSet, 0);
        EXPECT_EQ(r.robot.altActionSet, 0);
        EXPECT_EQ(gun->hidden, 0);
        EXPECT_EQ(sword->hidden, 1);
        for (BB_Base* w : r.robot.attachedWeapons) EXPECT_EQ(w, nullptr);
        int ended51 = 0;
        for (BB_Base* o = r.effects.GetHead()->next; o != r.effects.GetTail(); o = o->next) ended51 += o->Run() != 0;
        EXPECT_EQ(ended51, 29);  // all but the unregistered beam and the freed slot's
        EXPECT_NE(r.attacks.GetHead()->next->Run(), 0);  // life 0: ends at its first step
        r.robot.gunNodes[0] = r.robot.swordNodes[0] = nullptr;
        gun->FreeTree(true);
        sword->FreeTree(true);
    }

    // Camera shake: threshold R - d, set to (R - trunc(d)) x 3.
    for (const auto& [eye, before, after] : {std::tuple{2.7f, 6, 9}, {2.7f, 7, 7}, {5.0f, 0, 0}}) {
        Range r;
        r.world.camera.m[3][2] = r.hand->world.m[3][2] + eye;
        r.shake = before;
        r.Fire(&CRobot_Normal::FireProc62EffectAtAttachment, {0, 1, 500});
        EXPECT_EQ(r.shake, after) << eye << " " << before;
    }

    // A casing thrown without spread flies along the point's forward axis at 0.04.
    {
        Range r;
        RobotModelData model;
        r.robot.modelData = &model;
        r.Fire(&CRobot_Normal::FireProc62EffectAtAttachment, {0, 5, 0, 0});
        ASSERT_EQ(r.weapons.GetCount(), 1u);
        auto* casing = static_cast<LZ_Yakkyou*>(r.weapons.GetHead()->next);
        EXPECT_NEAR(casing->Velocity.x, 0.0f, 1e-6f);
        EXPECT_NEAR(casing->Velocity.z, 0.04f, 1e-6f);
        r.Fire(&CRobot_Normal::FireProc62EffectAtAttachment, {0, 5, 20, 0});  // no such mesh
        EXPECT_EQ(r.weapons.GetCount(), 1u);
        r.robot.modelData = nullptr;
    }
}
