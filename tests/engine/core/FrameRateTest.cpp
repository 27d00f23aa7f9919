#include "engine/core/FrameRate.h"

#include <gtest/gtest.h>

namespace {

u32 g_now = 0;
u32 FakeClock() { return g_now; }

class FrameRateTest : public testing::Test {
protected:
    void SetUp() override {
        SetFrameRateClock(FakeClock);
        ResetFrameRate();
    }
    void TearDown() override {
        SetFrameRateClock(nullptr);
        ResetFrameRate();
    }
};

TEST_F(FrameRateTest, ReportsCallsPerSecondWindow) {
    g_now = 5000;
    EXPECT_EQ(UpdateFrameRate(), 1u);  // the first call already takes a reading
    for (int i = 0; i < 59; ++i) {
        g_now += 16;
        EXPECT_EQ(UpdateFrameRate(), 1u);  // previous rate until a second has passed
    }
    g_now = 5999;
    EXPECT_EQ(UpdateFrameRate(), 1u);
    g_now = 6000;
    EXPECT_EQ(UpdateFrameRate(), 61u);  // itself included
    g_now = 6500;
    EXPECT_EQ(UpdateFrameRate(), 61u);
    g_now = 7200;
    EXPECT_EQ(UpdateFrameRate(), 2u);
}

TEST_F(FrameRateTest, SurvivesTheClockWrapping) {
    g_now = 0xFFFFFF00u;
    UpdateFrameRate();
    g_now = 0xFFFFFFF0u;
    UpdateFrameRate();
    g_now = 0x00000300u;  // wrapped, 1024 ms later
    EXPECT_EQ(UpdateFrameRate(), 2u);
}

}  // namespace
