#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/net/ClientMessages.h"
#include "platform/core/ByteOrder.h"
#include "app/net/RobotInput.h"

namespace {

std::vector<std::vector<u8>> g_sent;

struct Tap {
    Tap()
    {
        g_sent.clear();
        SetOutgoingTap([](const u8* m, u32 n, void*) { g_sent.emplace_back(m, m + n); }, nullptr);
    }
    ~Tap() { SetOutgoingTap(nullptr, nullptr); }
    const std::vector<u8>& Last() const { return g_sent.back(); }
};

}  // namespace

// Every message at its exact size with its fields at their packed offsets;
// with no connection each is built and dropped without complaint.
TEST(ClientMessages, EveryMessageIsPackedLittleEndianAtItsSize)
{
    Tap tap;
    u8 block[kSnapshotBlockSize] = {};
    block[0] = 3;
    u32 words[kHostStateWords] = {};
    words[62] = 0xA1B2C3D4u;
    u8 part[414];
    for (int i = 0; i < 414; ++i) part[i] = u8(i);
    RobotInput input;
    input.direction = 7;
    input.buttons[0] = 1;

    SendLogin("", 1000, 12, kClientVersion, nullptr);
    SendPlayerSlot(3, "Kestrel pilot with a long name", 1005, 50, 2, 7, nullptr);
    SendColorSet(2, 9, nullptr);
    SendPlayerLevel(2, 30, nullptr);
    SendRoomSettings(0x0103, 20, 1, -1, 0.5f, 10.0f, 15, 2, 1, 0.1f, u32(-2), 1, nullptr);
    SendRobotSnapshot(block, nullptr);
    SendHostStateBlock(words, nullptr);
    SendAllDataReceived(0, nullptr);
    SendReady(1, nullptr);
    SendReturnToRoom(nullptr);
    SendSceneLoaded(nullptr);
    SendPingReport(60, 0x1234, nullptr);
    SendPing(nullptr);
    SendRoomStatusQuery(nullptr);
    SendKeyState(&input, 0xAB, 0x01020304, 3, nullptr);
    SendChatMessage(4, 1, "hello", 5, nullptr);
    SendRadioVoice(9, 1, nullptr);
    SendLoginAck(5, nullptr);
    SendRepairRequest(0xFF, nullptr);
    SendEquippedPart(3, 1, 414, part, nullptr);

    const std::vector<std::pair<u8, size_t>> expected = {
        {0, 37}, {1, 43}, {2, 4}, {3, 7}, {4, 37}, {5, 20012}, {6, 253}, {7, 2}, {8, 5}, {9, 2},
        {10, 2}, {11, 4}, {12, 2}, {13, 2}, {14, 9}, {15, 105}, {17, 4}, {18, 3}, {19, 2}, {20, 426}};
    ASSERT_EQ(g_sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(g_sent[i][0], expected[i].first) << i;
        EXPECT_EQ(g_sent[i].size(), expected[i].second) << i;
    }
    const auto& login = g_sent[0];
    EXPECT_EQ(GetU32(login.data() + 25), 1000u);
    EXPECT_EQ(GetU32(login.data() + 29), 12u);
    EXPECT_EQ(GetU32(login.data() + 33), 20040u);
    const auto& slot = g_sent[1];
    EXPECT_EQ(GetU16(slot.data() + 1), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot.data() + 3), 24), "Kestrel pilot with a lon");
    EXPECT_EQ(GetU32(slot.data() + 27), 1005u);
    EXPECT_EQ(GetU32(slot.data() + 31), 50u);
    EXPECT_EQ(GetU32(slot.data() + 35), 2u);
    EXPECT_EQ(GetU32(slot.data() + 39), 7u);
    EXPECT_EQ(g_sent[2][3], 9);
    const auto& settings = g_sent[4];
    EXPECT_EQ(GetU32(settings.data() + 1), 0x0103u);
    EXPECT_EQ(GetU32(settings.data() + 5), 20u);
    EXPECT_EQ(GetI32(settings.data() + 10), -1);
    EXPECT_EQ(GetF32(settings.data() + 14), 0.5f);
    EXPECT_EQ(GetF32(settings.data() + 18), 10.0f);
    EXPECT_EQ(GetU32(settings.data() + 22), 15u);
    EXPECT_EQ(settings[26], 2);
    EXPECT_EQ(settings[27], 1);
    EXPECT_EQ(GetF32(settings.data() + 28), 0.1f);
    EXPECT_EQ(GetU32(settings.data() + 32), u32(-2));
    EXPECT_EQ(settings[36], 1);
    EXPECT_EQ(g_sent[5][1], 3);
    EXPECT_EQ(GetU32(g_sent[6].data() + 1 + 4 * 62), 0xA1B2C3D4u);
    EXPECT_EQ(GetU32(g_sent[8].data() + 1), 1u);
    EXPECT_EQ(g_sent[11][1], 60);
    EXPECT_EQ(GetU16(g_sent[11].data() + 2), 0x1234);
    const auto& keys = g_sent[14];
    EXPECT_EQ(GetU32(keys.data() + 1), 0x01020304u);
    EXPECT_EQ(GetU16(keys.data() + 5), 0x8003);  // first button, left and up
    EXPECT_EQ(keys[7], 0xAB);
    EXPECT_EQ(keys[8], 3);
    EXPECT_EQ(GetU16(g_sent[16].data() + 1), 9);
    EXPECT_EQ(g_sent[16][3], 1);
    EXPECT_EQ(GetU16(g_sent[17].data() + 1), 5);
    const auto& equipped = g_sent[19];
    EXPECT_EQ(GetU16(equipped.data() + 1), 3);
    EXPECT_EQ(GetU32(equipped.data() + 3), 1u);
    EXPECT_EQ(GetU32(equipped.data() + 7), 414u);
    EXPECT_EQ(0, std::memcmp(equipped.data() + 11, part, 414));
    EXPECT_EQ(equipped[425], 0);
}

TEST(ClientMessages, ChatTextIsCappedAndFileChunksStayBelowTheirCap)
{
    Tap tap;
    const std::string line(150, 'x');
    SendChatMessage(1, 0, line.c_str(), 150, nullptr);
    const auto chat = tap.Last();
    EXPECT_EQ(chat[3], 99);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(chat.data() + 5)), std::string(99, 'x'));
    EXPECT_EQ(chat[104], 0);
    SendChatMessage(1, 0, "ab", 2, nullptr);
    EXPECT_EQ(tap.Last()[3], 2);
    EXPECT_EQ(tap.Last()[7], 0);  // nothing after the text

    std::vector<u8> file(kCapVoice, 7);
    g_sent.clear();
    SendFileChunk(3, kCapVoice, file.data(), kCapVoice, nullptr, nullptr, 0);
    EXPECT_TRUE(g_sent.empty());
    SendFileChunk(3, kCapVoice - 1, file.data(), kCapVoice, nullptr, nullptr, 0);
    ASSERT_EQ(g_sent.size(), 1u);
    EXPECT_EQ(g_sent[0].size(), 7 + kCapVoice - 1);
    EXPECT_EQ(GetU16(g_sent[0].data() + 1), 3);
    EXPECT_EQ(GetU32(g_sent[0].data() + 3), kCapVoice - 1);
}

// Directions and buttons survive the trip through the key bits, with the
// one bit per button byte that is exactly 1.
TEST(ClientMessages, KeyBitsRoundTripEveryDirectionAndButton)
{
    for (u8 d = 1; d <= 9; ++d) {
        for (int b = 0; b <= 9; ++b) {
            u8 in[10] = {d};
            if (b > 0) in[b] = 1;
            u8 out[10];
            DecodeKeyBits(EncodeKeyBits(in), out);
            EXPECT_EQ(0, std::memcmp(in, out, 10)) << int(d) << " " << b;
        }
    }
    const u8 neutral[10] = {5, 2, 0, 0, 0, 0, 0, 0, 0, 255};
    EXPECT_EQ(EncodeKeyBits(neutral), 0);  // only bytes equal to 1 count
}

TEST(ClientMessages, RoomSettingsAreClampedToWhatTheButtonsAllow)
{
    RoomSettingsRecord s;
    s.inputInterval = 0x0200;
    s.netDelay = 0;
    s.stageNo = -7;
    s.hpRate = std::numeric_limits<f32>::quiet_NaN();
    s.geneRate = 1e9f;
    s.costRate = -1.0f;
    s.gameTime = 1000;
    s.voiceMode = 9;
    s.itemEnabled = 5;
    s.popType = 3;
    s.bgmNo = u32(-50);
    ClampRoomSettings(s);
    EXPECT_EQ(s.inputInterval & 0xFF, 1u);
    EXPECT_EQ(s.netDelay, 1u);
    EXPECT_EQ(s.stageNo, -1);
    EXPECT_EQ(s.hpRate, 0.05f);
    EXPECT_EQ(s.geneRate, 10.0f);
    EXPECT_EQ(s.costRate, 0.1f);
    EXPECT_EQ(s.gameTime, 60u);
    EXPECT_EQ(s.voiceMode, 0);
    EXPECT_EQ(s.itemEnabled, 0);
    EXPECT_EQ(s.popType, 0);
    EXPECT_EQ(i32(s.bgmNo), -2);
}
