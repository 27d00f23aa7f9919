#include "platform/core/ByteOrder.h"

#include <gtest/gtest.h>

TEST(ByteOrderTest, FieldsAreLowByteFirstAndReadBackUnchanged)
{
    u8 b[4] = {};
    PutU32(b, 0x12345678u);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[3], 0x12);
    EXPECT_EQ(GetU32(b), 0x12345678u);
    PutI32(b, -2);
    EXPECT_EQ(b[0], 0xFE);
    EXPECT_EQ(b[3], 0xFF);
    EXPECT_EQ(GetI32(b), -2);
    PutI16(b, -300);
    EXPECT_EQ(GetI16(b), -300);
    EXPECT_EQ(GetU16(b), 0xFED4);
    PutF32(b, 1.0f);
    EXPECT_EQ(GetU32(b), 0x3F800000u);
    EXPECT_EQ(GetF32(b), 1.0f);
    // High bytes stay unsigned: a top bit set must not spread into the word.
    const u8 high[4] = {0x80, 0x80, 0x80, 0x80};
    EXPECT_EQ(GetU32(high), 0x80808080u);
    EXPECT_EQ(GetU16(high), 0x8080);
}
