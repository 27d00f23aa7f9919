#include "app/player/GameItem.h"

#include <cstring>

#include <gtest/gtest.h>

#include "app/core/ByteIo.h"
#include "platform/core/TextCodec.h"

TEST(GameItem, NewPartIsEmptyWhiteAndUngraded)
{
    CGameItem_PowerUp part(12);
    EXPECT_EQ(part.partId, 12u);
    EXPECT_EQ(part.GetKind(), 1);
    EXPECT_STREQ(part.name, "");
    EXPECT_STREQ(part.description, "");
    EXPECT_EQ(part.colour, 0xFFFFFFFFu);
    EXPECT_EQ(part.grade, 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(part.bonus[i], 0);
        EXPECT_EQ(part.reserved[i], 0u);
        EXPECT_EQ(part.extra[i], 0u);
    }
}

TEST(GameItem, SetTextNeverSplitsACharacter)
{
    CGameItem_PowerUp part(0);
    std::string longName;
    for (int i = 0; i < 20; ++i) longName += "装"; // 60 bytes
    part.SetText(longName.c_str(), "ok");
    EXPECT_EQ(std::strlen(part.name), 48u); // 16 whole characters fit in 49 bytes
    EXPECT_STREQ(part.description, "ok");
}

TEST(GameItem, WireRecordKeepsItsOffsetsAndLeavesIdAndLastReservedBytes)
{
    CGameItem_PowerUp part(7);
    part.SetText("name", "desc");
    part.wireSpare[0] = 0xAB;
    part.colour = 0x11223344;
    part.grade = 5;
    for (int i = 0; i < 10; ++i) {
        part.reserved[i] = 0x01010101u * u32(i + 1);
        part.bonus[i] = i16(-i);
        part.extra[i] = u32(1000 + i);
    }
    u8 wire[PartWireRecordSize];
    part.WriteWireRecord(wire);
    EXPECT_STREQ(reinterpret_cast<const char*>(wire), "name");
    EXPECT_STREQ(reinterpret_cast<const char*>(wire + 50), "desc");
    EXPECT_EQ(wire[306], 0xAB);
    EXPECT_EQ(GetU32(wire + 308), 0x11223344u);
    EXPECT_EQ(GetU32(wire + 312), 5u);
    EXPECT_EQ(GetU32(wire + 316), 0x01010101u);
    EXPECT_EQ(wire[316 + 37], 0x0A);          // low half of the tenth word
    EXPECT_EQ(GetU16(wire + 354 + 2), 0xFFFFu); // bonus 1 = -1
    EXPECT_EQ(GetU32(wire + 374 + 36), 1009u);

    CGameItem_PowerUp received(0xFFFFFFFFu);
    received.ReadWireRecord(wire);
    EXPECT_EQ(received.partId, 0xFFFFFFFFu);
    EXPECT_STREQ(received.name, "name");
    EXPECT_EQ(received.bonus[1], -1);
    EXPECT_EQ(received.reserved[8], part.reserved[8]);
    EXPECT_EQ(received.reserved[9], 0x00000A0Au); // the two bytes that do not travel stay 0
    EXPECT_EQ(received.extra[9], 1009u);
}

TEST(GameItem, UnterminatedReceivedTextsAreTerminatedOnAWholeCharacter)
{
    u8 wire[PartWireRecordSize];
    std::memset(wire, 0, sizeof wire);
    for (int i = 0; i < 306; ++i) wire[i] = u8("\xE6\xAD\xA6"[i % 3]);
    CGameItem_PowerUp part(0xFFFFFFFFu);
    part.ReadWireRecord(wire);
    EXPECT_EQ(std::strlen(part.name), 48u);
    EXPECT_LT(std::strlen(part.description), 256u);
    EXPECT_EQ(plat::Utf8TruncatedLength(part.description, 255), std::strlen(part.description));
}
