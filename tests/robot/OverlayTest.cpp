#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/gfx/GfxRecorder.h"
#include "robot/Robot.h"
#include "robot/draw/Overlay.h"
#include "support/BattleRunner.h"

namespace {

Mat4 At(f32 x, f32 y, f32 z)
{
    Mat4 m = Mat4::Identity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

// Every vertex position the recorder saw since the last clear is a number.
bool AllVerticesFinite(const plat::GfxRecorderDevice& rec)
{
    for (const plat::GfxRecordedCall& c : rec.Calls())
        for (size_t i = 0; i + sizeof(f32) <= c.vertices.size(); i += sizeof(f32)) {
            f32 v;
            std::memcpy(&v, c.vertices.data() + i, sizeof v);
            if (!std::isfinite(v)) return false;
        }
    return true;
}

}  // namespace

// Where threats sit around the screen centre: bearing clockwise from
// screen-up, radius twenty layout units per world unit up to the kind's cap.
TEST(Overlay, ThreatMarkersPointAtTheThreatAndStopAtTheirRing)
{
    const Mat4 camera = At(0.0f, 0.0f, 0.0f);  // looking along +z, up +y
    struct Case {
        Vec3 source;
        u8 kind;
        f32 bearing;
        i32 radius;
    } cases[] = {
        {{0.0f, 0.0f, 10.0f}, 0, 0.0f, 200},    // dead ahead
        {{0.0f, 3.0f, 0.0f}, 0, 0.0f, 60},      // above
        {{0.0f, -3.0f, 0.0f}, 2, 180.0f, 60},   // below
        {{5.0f, 0.0f, 0.0f}, 3, 90.0f, 100},    // right
        {{-1.0f, -1.0f, 0.0f}, 1, -135.0f, 28}, // lower left
        {{0.0f, 15.0f, 0.0f}, 1, 0.0f, 300},    // robots stop at 300
        {{0.0f, 12.5f, 0.0f}, 4, 0.0f, 250},    // weapons at 250
        {{0.0f, 1.0e8f, 0.0f}, 4, 0.0f, 250},   // a weapon flung far away stays on its ring
    };
    for (const Case& c : cases) {
        const ThreatPlacement p = PlaceThreat(camera, c.source, c.kind);
        EXPECT_NEAR(p.bearing, c.bearing, 0.05f) << c.source.x << "," << c.source.y;
        EXPECT_EQ(p.radius, c.radius) << c.source.x << "," << c.source.y;
    }
    // The camera's own turn counts: facing +x, a threat at +z is on the left.
    Mat4 turned = At(0.0f, 0.0f, 0.0f);
    turned.m[0][0] = 0.0f, turned.m[0][2] = -1.0f;
    turned.m[2][0] = 1.0f, turned.m[2][2] = 0.0f;
    EXPECT_NEAR(PlaceThreat(turned, Vec3(0.0f, 0.0f, 4.0f), 0).bearing, -90.0f, 0.05f);

    // Blinks stay within 127..255 and repeat about every 72 and 18 frames
    // (the degree factor is a little short of a true degree).
    for (u32 n = 0; n < 200; ++n) {
        EXPECT_GE(SlowBlinkAlpha(n), 127u);
        EXPECT_LE(FastBlinkAlpha(n), 255u);
        EXPECT_NEAR(f32(SlowBlinkAlpha(n)), f32(SlowBlinkAlpha(n + 72)), 2.0f);
        EXPECT_NEAR(f32(FastBlinkAlpha(n)), f32(FastBlinkAlpha(n + 18)), 2.0f);
    }
    EXPECT_EQ(SlowBlinkAlpha(0), 191u);
    EXPECT_EQ(LowHpColour(0), 0xC8FF8080u);  // half way from red to white
}

// The radar and the cockpit drawn on the recording device in a real battle:
// blips only inside the hundred-unit square, halos for team-mates, enemies
// hidden under tactical rules unless attacking, and gauges with no maximum
// drawn empty rather than as NaN.
TEST(Overlay, RadarAndCockpitDrawWhatTheRobotKnows)
{
    BattleRunner runner{BattleRunnerOptions{}};
    CGameScene& scene = *runner.Scene();
    scene.currentView = &scene.views[0];
    auto* me = static_cast<CRobot_Normal*>(scene.robotTable[0]);
    auto* other = static_cast<CRobot_Normal*>(scene.robotTable[1]);
    ASSERT_TRUE(me && other && me->frameBodyD && other->frameBodyD);
    me->forward = Vec3(0.0f, 0.0f, 1.0f);
    me->side = Vec3(1.0f, 0.0f, 0.0f);
    me->frameBodyD->world = At(0.0f, 0.0f, 0.0f);

    // The square's edge: 100 ahead is drawn, 100.01 is not.
    EXPECT_TRUE(ProjectToRadar(*me, Vec3(0.0f, 5.0f, 100.0f)).Inside());
    EXPECT_FALSE(ProjectToRadar(*me, Vec3(0.0f, 5.0f, 100.01f)).Inside());
    EXPECT_FALSE(ProjectToRadar(*me, Vec3(-100.01f, 0.0f, 0.0f)).Inside());
    me->forward = Vec3(2.0f, 7.0f, 0.0f);  // height is ignored
    me->side = Vec3(0.0f, 0.0f, -1.0f);
    const RadarPoint turned = ProjectToRadar(*me, Vec3(30.0f, 0.0f, 40.0f));
    EXPECT_NEAR(turned.ahead, 30.0f, 1e-4f);
    EXPECT_NEAR(turned.right, -40.0f, 1e-4f);
    me->forward = Vec3(0.0f, 0.0f, 1.0f);
    me->side = Vec3(1.0f, 0.0f, 0.0f);

    plat::Sprite* sprite = GetGraphicsDevice()->sprite;
    auto blips = [&]() {
        sprite->Begin(0);
        me->DrawRadarMarkers();
        const u32 n = sprite->PendingQuads();
        sprite->End();
        return n;
    };
    struct Case {
        const char* what;
        i32 team;
        f32 ahead;
        i32 tactical;
        i32 attacking;
        u32 quads;  // own blip and halo, then the other's
    } cases[] = {
        {"enemy in range", 1, 60.0f, 0, 0, 2 + 1},
        {"enemy out of range", 1, 100.5f, 0, 0, 2},
        {"team-mate with halo", 0, 60.0f, 0, 0, 2 + 2},
        {"enemy hidden under tactical rules", 1, 60.0f, 1, 0, 2},
        {"attacking enemy shows under tactical rules", 1, 60.0f, 1, 1, 2 + 1},
        {"team-mate under tactical rules", 0, 60.0f, 1, 0, 2 + 2},
    };
    me->team = 0;
    for (const Case& c : cases) {
        other->team = c.team;
        other->frameBodyD->world = At(0.0f, 0.0f, c.ahead);
        me->tacticalRules = c.tactical;
        other->attackKind = c.attacking;
        EXPECT_EQ(blips(), c.quads) << c.what;
    }
    me->tacticalRules = 0;

    // The radar frame goes through its own viewport and gives the view back.
    plat::GfxRecorderDevice* rec = plat::AsRecorder(GetGraphicsDevice()->device);
    ASSERT_NE(rec, nullptr);
    me->lockTarget = other;
    rec->ClearCalls();
    me->DrawRadar();
    const auto viewports = rec->CallsStartingWith("SetViewport");
    ASSERT_EQ(viewports.size(), 2u);
    EXPECT_NE(viewports[0].find("808 10 200 200"), std::string::npos) << viewports[0];
    EXPECT_NE(viewports[1].find("0 0 1024 768"), std::string::npos) << viewports[1];

    // Zero maxima: the bars are empty, never NaN.
    me->hpMax = 0;
    me->boostGaugeMax = 0;
    me->energyMax = 0;
    me->energy = 5.0f;
    other->hpMax = 0;
    other->screenPos = Vec3(400.0f, 300.0f, 0.5f);
    me->lockFade = 0.5f;
    rec->ClearCalls();
    sprite->Begin(0);
    me->DrawInterface();
    me->DrawCharaInfo(other);
    sprite->End();
    EXPECT_FALSE(rec->CallsStartingWith("DrawPrimitiveUP").empty());
    EXPECT_TRUE(AllVerticesFinite(*rec));
}
