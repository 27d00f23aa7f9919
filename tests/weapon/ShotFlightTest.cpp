#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "support/WeaponRange.h"
#include "weapon/Bomb.h"
#include "weapon/Bullet.h"
#include "weapon/effects/AttackEffects.h"

namespace {

const Mat4 kStart = [] {
    Mat4 m;
    m.m[3][1] = 5.0f;
    return m;
}();

void Launch(LZ_Bullet& shot, f32 speed, i32 maxPoints, i32 counter)
{
    shot.SetEx({.start = &kStart, .width = 0.1f, .maxPoints = maxPoints, .blendMode = 0, .texture = nullptr,
                .colour = 0xFFFFFFFFu},
               {.speed = speed, .turnRate = 0.7f, .life = counter},
               {.owner = nullptr, .target = nullptr, .damage = 40, .downValue = 2, .knockback = 0.5f, .hitFlags = 0,
                .rehitInterval = 10, .testSegments = 1, .team = 1},
               {.durability = 1, .mesh = nullptr, .shaderMode = 0});
}

}  // namespace

TEST(ShotFlightTest, TimelinesFromLaunchToDeletion)
{
    struct Case {
        const char* name;
        std::function<std::unique_ptr<LZ_Standard>()> make;
        int finishRun;      // the run that returns non-zero
        u32 weaponsMade;    // warheads
        u32 effectsAtEnd;   // rings, flames, burners, smoke
        int drawsPerShot;   // battle draws of the whole flight
    };
    auto shot = [](auto* s, f32 speed, i32 points, i32 counter) {
        Launch(*s, speed, points, counter);
        return std::unique_ptr<LZ_Standard>(s);
    };
    const Case cases[] = {
        // Expires in its first run; its last trail point goes at once.
        {"missile of counter 1", [&] { return shot(new LZ_Missile, 0.5f, 60, 1); }, 21, 0, 0, 0},
        // Burners on counter values 297, 293, ..., 1: 75 pairs.
        {"missile", [&] { return shot(new LZ_Missile, 0.5f, 60, 300); }, 359, 0, 150, 0},
        // 35 warheads on the even counters 142..210, three draws each.
        {"carrier", [&] { return shot(new LZ_Missile2, 0.3f, 60, 0); }, 320, 35, 2 * 28, 35 * 3},
        // Smoke every frame from counter 30 on (three draws), burners from 33.
        {"thrown missile", [&] { return shot(new LZ_Missile3, 0.0f, 6, 0); }, 520, 0, 490 + 2 * 117, 490 * 3},
        {"pushed missile", [&] { return shot(new LZ_Missile4, 0.0f, 6, 0); }, 520, 0, 517 + 2 * 124, 517 * 3},
        // Odd start: rings on the 2nd, 4th, ... run, two draws each.
        {"shell of odd counter", [&] { return shot(new LZ_Canon, 1.0f, 5, 181); }, 185, 0, 92, 184},
        {"shell", [&] { return shot(new LZ_Canon, 1.0f, 5, 180); }, 184, 0, 92, 184},
        // A flame every run, the fade-out included.
        {"fireball", [&] { return shot(new LZ_FireBall, 1.0f, 5, 180); }, 184, 0, 184, 368},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WeaponRange w(5);
        std::unique_ptr<LZ_Standard> s = c.make();
        int finished = -1;
        for (int run = 1; run <= 2000 && finished < 0; ++run) {
            if (s->Run() != 0) finished = run;
            w.meshes.Init();
        }
        EXPECT_EQ(finished, c.finishRun);
        EXPECT_EQ(w.weapons.GetCount(), c.weaponsMade);
        EXPECT_EQ(w.effects.GetCount(), c.effectsAtEnd);
        EXPECT_EQ(DrawsSinceSeed(5), c.drawsPerShot);
        EXPECT_EQ(s->HitMask, 0u);
    }
}

TEST(ShotFlightTest, HitsBurstShakeAndEndAsEachShotDoes)
{
    struct Case {
        const char* name;
        std::function<std::unique_ptr<LZ_Standard>()> make;
        std::function<void(LZ_Standard&, const Vec3*)> hit;
        u32 effects, blasts;
        int draws;
        i32 counterAfter;  // Life, or the bomb's counter
        i32 shake;         // the eye 10 from the hit point and the shot
    };
    auto shot = [](auto* s, i32 counter) {
        Launch(*s, 0.0f, 5, counter);
        s->Damage = 43;
        return std::unique_ptr<LZ_Standard>(s);
    };
    auto robot = [](LZ_Standard& s, const Vec3* p) { s.OnHitRobot(p, nullptr, nullptr); };
    auto map = [](LZ_Standard& s, const Vec3* p) { s.OnHitMap(p, nullptr, nullptr); };
    auto guard = [](LZ_Standard& s, const Vec3* p) { s.OnHitGuard(p, nullptr, nullptr, &kStart); };
    auto struck = [](LZ_Standard& s, const Vec3* p) { s.OnHitByWeapon(p); };
    auto twice = [](LZ_Standard& s, const Vec3* p) { s.OnHitMap(p, nullptr, nullptr); s.OnHitMap(p, nullptr, nullptr); };
    auto thrice = [](LZ_Standard& s, const Vec3* p) { for (int i = 0; i < 3; ++i) s.OnHitByWeapon(p); };
    const Case cases[] = {
        // Each streak rolls itself by one more draw.
        {"bullet", [&] { return shot(new LZ_Bullet, 300); }, robot, 9, 0, 3 + 5 * 6 + 3 * 3, 0, 0},
        {"bullet guarded", [&] { return shot(new LZ_Bullet, 300); }, guard, 1, 0, 5 * 2, 0, 0},
        // A second hit in the same frame does nothing.
        {"missile", [&] { return shot(new LZ_Missile, 300); }, twice, 1, 0, 0, 0, 0},
        {"missile guarded", [&] { return shot(new LZ_Missile, 300); }, guard, 1, 0, 0, 0, 0},
        {"carrier", [&] { return shot(new LZ_Missile2, 50); }, twice, 5, 0, 5 * 4, 300, 0},
        // 16 bursts, 5 debris, one blast; nearer than 30 it shakes for (30 - 10) x 1.5.
        {"thrown missile", [&] { return shot(new LZ_Missile3, 40); }, robot, 21, 1, 16 * 4 + 3 + 5 * 3, 500, 30},
        // Durability left: explodes and flies on, at most twice a frame.
        {"thrown missile struck", [&] { auto s = shot(new LZ_Missile3, 40); s->Durability = 5; return s; }, thrice,
         42, 2, 2 * (16 * 4 + 3 + 5 * 3), 40, 30},
        // Ends whatever its durability.
        {"pushed missile struck", [&] { auto s = shot(new LZ_Missile4, 40); s->Durability = 5; return s; }, struck,
         19, 0, 16 * 4 + 3 * 3, 500, 30},
        {"shell", [&] { return shot(new LZ_Canon, 100); }, robot, 9, 0, 2 + 8 * 6, 0, 20},
        {"shell guarded", [&] { return shot(new LZ_Canon, 100); }, guard, 9, 0, 2 + 8 * 6, 0, 20},
        {"shell on the stage", [&] { return shot(new LZ_Canon, 100); }, map, 5, 0, 5 * 4, 0, 20},
        {"shell struck, sturdy", [&] { auto s = shot(new LZ_Canon, 100); s->Durability = 20; return s; }, struck, 5,
         0, 5 * 4, 100, 20},
        {"piercing shell", [&] { return shot(new LZ_Canon2, 100); }, twice, 10, 0, 2 * (2 + 4 * 6), 100, 20},
        {"fireball struck", [&] { return shot(new LZ_FireBall, 100); }, struck, 0, 0, 0, 100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WeaponRange w(5);
        const Vec3 at(0, 5, 0);
        w.world.camera.m[3][0] = 10.0f;
        w.world.camera.m[3][1] = 5.0f;
        std::unique_ptr<LZ_Standard> s = c.make();
        auto* b = static_cast<LZ_Bullet*>(s.get());
        c.hit(*s, &at);
        EXPECT_EQ(w.effects.GetCount(), c.effects);
        EXPECT_EQ(w.attacks.GetCount(), c.blasts);
        EXPECT_EQ(DrawsSinceSeed(5), c.draws);
        EXPECT_EQ(b->Life, c.counterAfter);
        EXPECT_EQ(w.shake, c.shake);
        if (c.blasts) {
            auto* blast = static_cast<BB_GrenadeExplode*>(w.attacks.GetHead()->next);
            EXPECT_EQ(blast->Damage, 43 / 4);
            EXPECT_EQ(blast->DownValue, 401);
            EXPECT_FLOAT_EQ(blast->HitRadius, 3.0f);
        }
    }
}

TEST(ShotFlightTest, BombsFallArmAtTenBurstWithAFixedBlastAndEndAt501)
{
    WeaponRange w(5);
    LZ_Bomb bomb;
    const Vec3 still;
    bomb.Set({.start = &kStart, .width = 0.1f, .maxPoints = 5, .blendMode = 0, .texture = nullptr,
              .colour = 0xFFFFFFFFu},
             {.owner = nullptr, .target = nullptr, .damage = 7, .downValue = 0, .knockback = 0.0f, .hitFlags = 0,
              .rehitInterval = 10, .testSegments = 1, .team = 2},
             {.durability = 1, .mesh = nullptr, .shaderMode = 0}, &still);
    EXPECT_EQ(bomb.HitMask, 3u);
    f32 fall = 0.0f;
    for (int run = 1; run <= 10; ++run) {
        EXPECT_EQ(bomb.Run(), 0);
        fall = fall * 0.98f - 0.01f;
        EXPECT_FLOAT_EQ(bomb.Velocity.y, fall);
    }
    EXPECT_EQ(bomb.HitMask, 3u);
    bomb.Run();
    EXPECT_EQ(bomb.HitMask, 15u);  // dangerous to weapons from the 11th frame
    for (int run = 12; run <= 60; ++run) bomb.Run();
    EXPECT_FLOAT_EQ(bomb.Velocity.y, -0.3f);  // terminal speed

    // Two contacts in one frame: two bursts, two blasts of 120; a third is held back.
    const Vec3 at(0, 0, 0);
    bomb.OnHitRobot(&at, nullptr, nullptr);
    bomb.OnHitMap(&at, nullptr, nullptr);
    bomb.OnHitByWeapon(&at);
    EXPECT_EQ(w.effects.GetCount(), 32u);
    ASSERT_EQ(w.attacks.GetCount(), 2u);
    EXPECT_EQ(static_cast<BB_GrenadeExplode*>(w.attacks.GetHead()->next)->Damage, 120);
    EXPECT_EQ(bomb.Counter, 0);
    int finished = -1;
    for (int run = 1; run <= 600 && finished < 0; ++run)
        if (bomb.Run() != 0) finished = run;
    EXPECT_EQ(finished, 501);
    EXPECT_EQ(bomb.HitMask, 0u);
}
