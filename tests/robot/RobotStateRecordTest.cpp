#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "platform/core/ByteOrder.h"
#include "robot/Robot.h"
#include "robot/RobotStateRecord.h"

namespace {

CRobot_Normal* MakeRobot()
{
    auto* r = new CRobot_Normal();
    r->objectId = 0x01020304u;
    r->typeIndex = 21;
    r->state = kRobotStateDestroyed;
    r->hpMax = 900;
    r->hp = 333;
    r->restBody = 3;
    r->score = -250;
    r->kills = -2;
    r->chargeGauge = 10000;
    r->boostGaugeMax = 999999999;
    r->pilotIndex = 499;
    r->inputEnabled = 1;
    r->tacticalRules = 1;
    r->aiLevel = 10;
    for (i32 i = 0; i < 16; ++i) r->worldMatrix.m[i / 4][i % 4] = static_cast<f32>(i) * 1.5f - 3.0f;
    r->spawnPos[0] = 1354.0f;
    r->spawnPos[1] = 28.0f;
    r->spawnPos[2] = -1846.5f;
    r->forward = Vec3(0.0f, 0.0f, -1.0f);
    r->aimVector = Vec3(0.0f, 0.0f, -20.0f);
    r->side = Vec3(-1.0f, 0.0f, 0.0f);
    std::snprintf(r->displayName, sizeof r->displayName, "%s", "白い騎士:Lv10");
    return r;
}

}  // namespace

TEST(RobotStateRecord, RoundTripsEveryFieldAtItsOffsetWithZeroPadding)
{
    std::unique_ptr<CRobot_Normal> robot(MakeRobot());
    CRobot_Normal target;
    target.objectId = 77;
    robot->lockTarget = &target;
    u8 bytes[kRobotStateBytes];
    ASSERT_TRUE(WriteRobotState(*robot, bytes));
    RobotState s;
    ASSERT_EQ(ReadRobotState(bytes, sizeof bytes, s), nullptr);
    EXPECT_EQ(s.objectId, 0x01020304u);
    EXPECT_EQ(GetU32(bytes + 4), 0x01020304u);  // little-endian whatever the machine
    EXPECT_EQ(s.typeIndex, 21);
    EXPECT_EQ(s.state, kRobotStateDestroyed);
    EXPECT_EQ(s.hp, 333);
    EXPECT_EQ(s.hpMax, 900);
    EXPECT_EQ(s.restBody, 3);
    EXPECT_EQ(s.score, -250);
    EXPECT_EQ(s.kills, -2);
    EXPECT_EQ(s.chargeGauge, 10000);
    EXPECT_EQ(s.boostGaugeMax, 999999999);
    EXPECT_EQ(s.pilotIndex, 499);
    EXPECT_EQ(s.inputEnabled, 1);
    EXPECT_EQ(s.tacticalRules, 1);
    EXPECT_EQ(s.aiLevel, 10);
    EXPECT_EQ(s.lockTargetId, 77u);
    EXPECT_EQ(std::memcmp(s.world, &robot->worldMatrix.m[0][0], sizeof s.world), 0);
    EXPECT_EQ(s.spawnPos[2], -1846.5f);
    EXPECT_EQ(s.forward[2], -1.0f);
    EXPECT_EQ(s.aimVector[2], -20.0f);
    EXPECT_EQ(s.side[0], -1.0f);
    EXPECT_EQ(std::string(s.displayName), robot->displayName);
    for (size_t i = 168 + kRobotNameBytes; i < kRobotStateBytes; ++i) ASSERT_EQ(bytes[i], 0) << i;

    // A robot holding what no record carries writes no usable record.
    robot->lockTarget = nullptr;
    robot->aiLevel = 300;
    EXPECT_FALSE(WriteRobotState(*robot, bytes));
    robot->aiLevel = 10;
    robot->hp = 901;
    EXPECT_FALSE(WriteRobotState(*robot, bytes));
}

TEST(RobotStateRecord, RefusesEachBadFieldByNameAndSurvivesRandomDamage)
{
    std::unique_ptr<CRobot_Normal> robot(MakeRobot());
    u8 good[kRobotStateBytes];
    ASSERT_TRUE(WriteRobotState(*robot, good));
    struct Case {
        size_t offset;
        u32 value;
        i32 width;
        const char* field;
    };
    const u32 nan = 0x7FC00000u, inf = 0x7F800000u, far = 0x4B189680u;  // NaN, +inf, 1e7 + 1 ulp region
    const Case cases[] = {
        {0, 2, 4, "format"},
        {8, static_cast<u32>(-1), 4, "typeIndex"},
        {8, 50, 4, "typeIndex"},
        {12, 5, 4, "state"},
        {12, static_cast<u32>(-1), 4, "state"},
        {20, static_cast<u32>(-5), 4, "hpMax"},
        {20, 10000001, 4, "hpMax"},
        {28, 10000000, 4, "score"},  // beyond what one battle can reach, either way
        {28, static_cast<u32>(-10000000), 4, "score"},
        {16, 901, 4, "hp"},
        {16, static_cast<u32>(-1), 4, "hp"},
        {24, 101, 4, "restBody"},
        {24, static_cast<u32>(-1), 4, "restBody"},
        {34, 1, 1, "kills"},
        {36, 10001, 4, "chargeGauge"},
        {40, static_cast<u32>(-1), 4, "boostGaugeMax"},
        {44, 500, 4, "pilotIndex"},
        {44, static_cast<u32>(-2), 4, "pilotIndex"},
        {48, 2, 1, "inputEnabled"},
        {49, 2, 1, "tacticalRules"},
        {50, 11, 1, "aiLevel"},
        {51, 1, 1, "aiLevel"},
        {56 + 4 * 13, nan, 4, "world"},
        {120, inf, 4, "spawnPos"},
        {120 + 8, far + 0x00100000u, 4, "spawnPos"},
        {132 + 4, nan, 4, "forward"},
        {144, inf, 4, "aimVector"},
        {156 + 8, nan, 4, "side"},
        {168 + 255, 'x', 1, "displayName"},        // no terminator inside the field
        {168, 0x80, 1, "displayName"},             // a stray continuation byte
        {168 + 8, 0xE7, 1, "displayName"},         // a character cut short
        {168 + 200, 'x', 1, "displayName"},        // bytes after the terminator
        {168 + kRobotNameBytes, 1, 1, "padding"},
        {kRobotStateBytes - 1, 1, 1, "padding"},
    };
    for (const Case& c : cases) {
        u8 bad[kRobotStateBytes];
        std::memcpy(bad, good, sizeof bad);
        if (c.width == 4) PutU32(bad + c.offset, c.value);
        else bad[c.offset] = static_cast<u8>(c.value);
        RobotState s;
        const char* why = ReadRobotState(bad, sizeof bad, s);
        ASSERT_NE(why, nullptr) << c.field << " at " << c.offset;
        EXPECT_STREQ(why, c.field) << c.offset;
    }
    RobotState s;
    EXPECT_STREQ(ReadRobotState(good, sizeof good - 1, s), "size");
    EXPECT_STREQ(ReadRobotState(nullptr, kRobotStateBytes, s), "size");

    // Random damage: never a crash, and whatever is taken holds in range.
    std::mt19937 random(21);
    for (i32 round = 0; round < 4000; ++round) {
        u8 bytes[kRobotStateBytes];
        std::memcpy(bytes, good, sizeof bytes);
        const i32 hits = 1 + static_cast<i32>(random() % 4);
        for (i32 h = 0; h < hits; ++h) bytes[random() % 200] = static_cast<u8>(random());
        RobotState r;
        if (ReadRobotState(bytes, sizeof bytes, r) != nullptr) continue;
        ASSERT_TRUE(r.typeIndex >= 0 && r.typeIndex < 50);
        ASSERT_TRUE(r.hp >= 0 && r.hp <= r.hpMax);
        ASSERT_TRUE(r.pilotIndex >= -1 && r.pilotIndex < 500);
        ASSERT_LE(r.aiLevel, 10);
        ASSERT_NE(std::memchr(r.displayName, '\0', sizeof r.displayName), nullptr);
    }
}
