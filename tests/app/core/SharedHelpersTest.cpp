#include <gtest/gtest.h>

#include <string>

#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/scene/DigitDraw.h"

namespace {

u32 gNow = 0;
u32 FakeNow() { return gNow; }

class RepeatFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        gNow = 5000;
        SetAppClock({FakeNow, nullptr});
    }
    void TearDown() override
    {
        SetAppClock({});
        for (u8& k : app.input.keyTable) k = 0;
        for (u32& t : app.input.keyRepeatTimes) t = 0;
    }
    CApplication& app = *GetApplication();
};

TEST_F(RepeatFixture, HeldKeyFiresAtOnceThenEveryInterval)
{
    const u32 vk = 0x2C;
    app.input.keyTable[vk] = 0x80;
    int fired = 0;
    // Held for 25 seconds, asked every 16 ms.
    for (u32 t = 0; t <= 25000; t += 16) {
        gNow = 5000 + t;
        fired += app.IsKeyRepeat(vk, 10000);
    }
    EXPECT_EQ(fired, 3);
}

TEST_F(RepeatFixture, ReleasingAKeyRearmsIt)
{
    const u32 vk = 'Z';
    app.input.keyTable[vk] = 0x80;
    EXPECT_EQ(app.IsKeyRepeat(vk, 999999), 1);
    gNow += 100;
    EXPECT_EQ(app.IsKeyRepeat(vk, 999999), 0);
    app.input.keyTable[vk] = 0;
    EXPECT_EQ(app.IsKeyRepeat(vk, 999999), 0);
    app.input.keyTable[vk] = 0x80;
    gNow += 16;
    EXPECT_EQ(app.IsKeyRepeat(vk, 999999), 1);
    // A low bit alone (a toggle state) is not "held".
    app.input.keyTable[vk] = 0x01;
    EXPECT_EQ(app.IsKeyRepeat(vk, 1000), 0);
    EXPECT_EQ(app.IsKeyRepeat(300, 1000), 0);
}

TEST_F(RepeatFixture, PadWordsRepeatOnTheirOwnTable)
{
    app.input.padState[2][12] = 1;
    EXPECT_EQ(app.IsPadButtonRepeat(2, 12, 1000), 1);
    gNow += 999;
    EXPECT_EQ(app.IsPadButtonRepeat(2, 12, 1000), 0);
    gNow += 1;
    EXPECT_EQ(app.IsPadButtonRepeat(2, 12, 1000), 1);
    app.input.padState[2][12] = 0;
    EXPECT_EQ(app.IsPadButtonRepeat(2, 12, 1000), 0);
    app.input.padState[2][12] = 1;
    EXPECT_EQ(app.IsPadButtonRepeat(2, 12, 1000), 1);
    app.input.padState[2][12] = 0;
    EXPECT_EQ(app.IsPadButtonRepeat(4, 0, 1000), 0);
    EXPECT_EQ(app.IsPadButtonRepeat(0, 14, 1000), 0);
}

TEST(Colours, TableAndFallback)
{
    EXPECT_EQ(CApplication::GetColor(0), 0xFF0000FFu);
    EXPECT_EQ(CApplication::GetColor(6), 0xFF1EB439u);
    EXPECT_EQ(CApplication::GetColor(19), 0xFF000000u);
    EXPECT_EQ(CApplication::GetColor(50), 0xFFFF78FFu);
    EXPECT_EQ(CApplication::GetColor(100), 0xFF000000u);
    EXPECT_EQ(CApplication::GetColor(7), 0xFFFFFFFFu);
    EXPECT_EQ(CApplication::GetColor(20), 0xFFFFFFFFu);
    EXPECT_EQ(CApplication::GetColor(-1), 0xFFFFFFFFu);
}

TEST(ChatLog, NewestFirstAndAtMostOneHundredLines)
{
    CApplication& app = *GetApplication();
    app.chatLog.Init();
    for (int i = 0; i < 101; ++i) app.AddChatLine(("line " + std::to_string(i)).c_str(), 0xFF00FF00u + i);
    EXPECT_EQ(app.chatLog.GetCount(), 100u);
    ChatNode* newest = app.chatLog.GetHead()->next;
    EXPECT_EQ(newest->text, "line 100");
    EXPECT_EQ(newest->colour, 0xFF00FF00u + 100);
    EXPECT_EQ(app.chatLog.GetTail()->prev->text, "line 1") << "line 0 went first";
    app.AddChatMessage("ミカ", "やあ", 0xFFFFFFFFu);
    EXPECT_EQ(app.chatLog.GetHead()->next->text, "ミカ:やあ");
    EXPECT_EQ(app.chatLog.GetCount(), 100u);
    app.chatLog.Init();
}

std::string Cells(const DigitCell* cells, i32 n)
{
    std::string s;
    for (i32 i = 0; i < n; ++i) s += cells[i].cell == DigitMinusCell ? '-' : char('0' + cells[i].cell);
    return s;
}

TEST(DigitLayout, NumbersHaveNoLeadingZerosAndKeepInnerOnes)
{
    DigitCell c[10];
    EXPECT_EQ(Cells(c, LayoutNumber(0, 0, 1, 0, c)), "0");
    EXPECT_EQ(Cells(c, LayoutNumber(-5, 0, 1, 0, c)), "-5");
    EXPECT_EQ(Cells(c, LayoutNumber(1005, 0, 1, 0, c)), "1005");
    EXPECT_EQ(Cells(c, LayoutNumber(99999999, 0, 1, 0, c)), "99999999");
    EXPECT_EQ(Cells(c, LayoutNumber(-99999999, 0, 1, 0, c)), "-99999999");
    EXPECT_EQ(LayoutNumber(100000000, 0, 1, 0, c), 0);
    EXPECT_EQ(LayoutNumber(-100000000, 0, 1, 0, c), 0);
    // Cells advance by (spacing + 46) x scale.
    ASSERT_EQ(LayoutNumber(-12, 10.0f, 0.5f, 4, c), 3);
    EXPECT_FLOAT_EQ(c[0].x, 10.0f);
    EXPECT_FLOAT_EQ(c[1].x, 35.0f);
    EXPECT_FLOAT_EQ(c[2].x, 60.0f);
}

TEST(DigitLayout, DigitStringsSkipCharactersWithoutACell)
{
    DigitCell c[16];
    EXPECT_EQ(Cells(c, LayoutDigitString("-3:05", 5, 0, 1, 0, c, 16)), "-305");
    EXPECT_EQ(Cells(c, LayoutDigitString("12345", 3, 0, 1, 0, c, 16)), "123");
    EXPECT_EQ(LayoutDigitString("999", 3, 0, 1, 0, c, 2), 2);
    EXPECT_EQ(Cells(c, LayoutDigitString("000123456", -1, 0, 1, 0, c, 16)), "000123456") << "-1: the whole string";
}

}  // namespace
