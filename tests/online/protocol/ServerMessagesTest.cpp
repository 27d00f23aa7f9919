#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/core/GameSettings.h"
#include "app/player/GameItem.h"
#include "app/player/PilotRegistry.h"
#include "app/player/PlayerEntry.h"
#include "app/player/RoomState.h"
#include "engine/core/MTRand.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/sound/VoiceDecoder.h"
#include "battle/GameScene.h"
#include "battle/tasks/RadioCutIn.h"
#include "platform/core/FileSystem.h"
#include "robot/Robot.h"
#include "support/BattleRunner.h"
#include "support/SentMessages.h"
#include "platform/audio/Audio.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Window.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"
#include "support/SoundFixtures.h"

namespace {

std::vector<std::pair<std::string, u32>> g_chat;

// A client pair that writes into state of its own, dispatched by hand.
struct Client {
    RoomState room;
    PlayerEntry players[PlayerEntryCount];
    GameSettings settings;
    std::unique_ptr<NetClientPair> pair;

    Client()
    {
        g_chat.clear();
        OnlineTargets t;
        t.room = &room;
        t.players = players;
        t.settings = &settings;
        t.pilots = GetPilotRegistry();
        t.addChatLine = [](const char* text, u32 colour) { g_chat.emplace_back(text, colour); };
        pair = std::make_unique<NetClientPair>(t);
    }
    void Apply(const std::vector<u8>& m) { pair->game.DispatchMessage(m[0], m.data() + 1, u32(m.size() - 1)); }
};

std::vector<u8> Entry(u16 slot, const char* name, u32 state, u32 team = 1, u32 inBattle = 0, u32 robot = 3)
{
    std::vector<u8> m(52, 0);
    m[0] = 1;
    std::strncpy(reinterpret_cast<char*>(m.data() + 1), name, 24);
    PutU16(m.data() + 25, slot);
    PutU32(m.data() + 27, robot);
    PutU32(m.data() + 31, team);
    PutU32(m.data() + 35, inBattle);
    PutU32(m.data() + 39, state);
    m[43] = 1;
    PutU32(m.data() + 44, 12);
    PutU32(m.data() + 48, 4242);
    return m;
}

std::vector<u8> Msg(std::initializer_list<u8> head, size_t size)
{
    std::vector<u8> m(head);
    m.resize(size, 0);
    return m;
}

std::vector<u8> FileMessage(u16 slot, u16 kind, const std::string& data)
{
    std::vector<u8> m(9 + data.size(), 0);
    m[0] = 20;
    PutU16(m.data() + 1, slot);
    PutU16(m.data() + 3, kind);
    PutU32(m.data() + 5, u32(data.size()));
    std::copy(data.begin(), data.end(), m.begin() + 9);
    return m;
}

}  // namespace

TEST(ServerMessages, LoginEntriesLeavingAndRefusals)
{
    Client c;
    std::vector<std::vector<u8>> sent;
    SetOutgoingTap([](const u8* m, u32 n, void* arg) {
        static_cast<std::vector<std::vector<u8>>*>(arg)->emplace_back(m, m + n);
    }, &sent);
    auto accepted = Msg({0}, 28);
    PutU16(accepted.data() + 25, 2);
    accepted[27] = 4;
    c.Apply(accepted);
    SetOutgoingTap(nullptr, nullptr);
    EXPECT_EQ(c.room.ownSlot, 2u);
    EXPECT_EQ(c.room.rule, 4);
    EXPECT_EQ(c.pair->game.loginResult, kLoginAccepted);
    ASSERT_EQ(sent.size(), 1u);  // the data connection's acknowledgement, at once
    EXPECT_EQ(sent[0], (std::vector<u8>{18, 2, 0}));

    // The entered-room line comes once, and only for a player.
    c.Apply(Entry(5, "Rook", 2));
    EXPECT_TRUE(g_chat.empty());
    c.Apply(Entry(5, "Rook", 1));
    c.Apply(Entry(5, "Rook", 1));
    ASSERT_EQ(g_chat.size(), 1u);
    EXPECT_EQ(g_chat[0].first, "---Rook 进入房间---");
    EXPECT_EQ(g_chat[0].second, 0xFF00FF64u);
    EXPECT_EQ(c.players[5].idNumber, 4242u);
    EXPECT_EQ(c.players[5].team, 1);
    EXPECT_EQ(c.players[5].rankLevel, 12u);

    // A 24-byte name with no terminator, ending inside a character, is cut
    // before that character.
    std::vector<u8> longName = Entry(6, "", 1);
    std::memset(longName.data() + 1, 'a', 22);
    longName[23] = 0xE6;
    longName[24] = 0x88;
    c.Apply(longName);
    EXPECT_EQ(std::string(c.players[6].name), std::string(22, 'a'));

    // Out-of-range fields refuse the whole entry.
    for (auto bad : {Entry(20, "x", 1), Entry(7, "x", 1, 11), Entry(7, "x", 3), Entry(7, "x", 1, 1, 0, 1100)}) {
        c.Apply(bad);
        EXPECT_EQ(c.players[7].slotState, 0);
    }

    // Leaving the room frees the slot; leaving a battle only marks the frame.
    auto left = Msg({4}, 7);
    PutU16(left.data() + 1, 5);
    PutU32(left.data() + 3, 777);
    c.players[2].inBattle = 1;
    c.players[5].confirmedRuns = 2;
    c.Apply(left);
    EXPECT_EQ(c.players[5].leaveFrame, 777);
    EXPECT_EQ(c.players[5].slotState, 1);
    EXPECT_EQ(c.players[5].departed, 1);
    EXPECT_EQ(c.players[5].leaveRun, 2u) << "the leave frame counts in the run it had confirmed";
    c.players[2].inBattle = 0;
    c.Apply(left);
    EXPECT_EQ(c.players[5].slotState, 0);
    EXPECT_EQ(c.players[5].joined, 0u);
    EXPECT_EQ(g_chat.back().first, "---Rook 退出房间---      ");

    // Refusal codes 0..2; any other keeps the login waiting.
    for (auto [code, result] : {std::pair<u32, u32>{7, 1}, {0, 2}, {1, 3}, {2, 4}}) {
        auto refused = Msg({5}, 7);
        PutU32(refused.data() + 3, code);
        c.Apply(refused);
        EXPECT_EQ(c.pair->game.loginResult, result) << code;
    }
}

TEST(ServerMessages, SettingsKeysChatAndRoomStatus)
{
    Client c;
    u8 settings[kRoomSettingsSize];
    RoomSettingsRecord s;
    s.inputInterval = 0x0300;  // would repeat a key state over 0 frames
    s.netDelay = 99;
    s.stageNo = 3;
    s.hpRate = 2.5f;
    WriteRoomSettings(s, settings);
    settings[0] = 6;
    c.Apply(std::vector<u8>(settings, settings + sizeof settings));
    EXPECT_EQ(c.settings.roomSetting, 0x0301u);
    EXPECT_EQ(c.settings.netDelay, 20u);
    EXPECT_EQ(c.settings.stage, 3u);
    EXPECT_EQ(c.settings.hpRate, 2.5f);

    // Three frames from 100; none for a count of 0; the slot is one byte.
    auto keys = Msg({15, 4}, 10);
    PutU32(keys.data() + 2, 100);
    PutU16(keys.data() + 6, 0x4000 | 0x4);  // second button, right
    keys[8] = 0x5A;
    keys[9] = 3;
    // None is kept while this player is not in the battle (back in the room).
    c.Apply(keys);
    EXPECT_EQ(c.players[4].keyQueue.GetCount(), 0);
    c.players[c.room.ownSlot].inBattle = 1;
    c.Apply(keys);
    ASSERT_EQ(c.players[4].keyQueue.GetCount(), 3);
    for (u32 f = 100; f < 103; ++f) {
        KEYRECVLIST* k = c.players[4].FindKeyRecord(f);
        ASSERT_NE(k, nullptr) << f;
        EXPECT_EQ(k->input[0], 6);
        EXPECT_EQ(k->input[2], 1);
        EXPECT_EQ(k->check, 0x5A);
    }
    keys[9] = 0;
    c.Apply(keys);
    EXPECT_EQ(c.players[4].keyQueue.GetCount(), 3);
    // A flood stops at the queue's bound.
    keys[9] = 255;
    for (u32 i = 0; i < 10; ++i) {
        PutU32(keys.data() + 2, 1000 + 255 * i);
        c.Apply(keys);
    }
    EXPECT_EQ(c.players[4].keyQueue.GetCount(), kKeyQueueLimit);

    // In a repair, the abandoned run's key states of participant 6 may come
    // before and even after its confirmation (they travel on the other
    // connection): all are dropped until its new run's frame 0. A second
    // repair request changes nothing while one runs.
    c.room.repairState = 2;
    c.players[6].awaitingNewRun = 1;
    // A key state of participant `who` for `frame` of its run.
    auto keyOf = [&](u8 who, u32 frame) {
        auto m = Msg({15, who}, 10);
        PutU32(m.data() + 2, frame);
        m[9] = 1;
        c.Apply(m);
    };
    auto run = [&](u32 frame) { keyOf(6, frame); };
    run(120);
    c.Apply(Msg({13, 6}, 3));
    c.Apply(Msg({10}, 7));
    EXPECT_EQ(c.room.repairState, 2u);
    run(121);
    EXPECT_EQ(c.players[6].keyQueue.GetCount(), 0);
    run(0);
    c.room.repairState = 0;
    run(1);
    EXPECT_EQ(c.players[6].keyQueue.GetCount(), 2);
    EXPECT_NE(c.players[6].FindKeyRecord(0), nullptr);
    // Participant 7's new run overtakes its confirmation: held, not lost.
    c.room.repairState = 3;
    c.players[7].awaitingNewRun = 1;
    auto run7 = [&](u32 frame) { keyOf(7, frame); };
    run7(300);
    run7(0);
    run7(1);
    EXPECT_EQ(c.players[7].keyQueue.GetCount(), 0);
    c.Apply(Msg({13, 7}, 3));
    EXPECT_EQ(c.players[7].keyQueue.GetCount(), 2);
    EXPECT_NE(c.players[7].FindKeyRecord(1), nullptr);
    EXPECT_EQ(c.players[7].confirmedRuns, 1u);
    c.room.repairState = 0;
    // The next battle starts from empty queues, nothing held or awaited.
    c.players[6].awaitingNewRun = 1;
    c.Apply(Msg({7, 1, 0, 0, 0}, 5));
    for (int i : {4, 6, 7}) {
        EXPECT_EQ(c.players[i].keyQueue.GetCount(), 0) << i;
        EXPECT_EQ(c.players[i].awaitingNewRun, 0) << i;
    }

    // Chat: kind 10 is a notice; 0 and 1 are lines of a player; 2 only
    // updates the texts over the robot.
    c.Apply(Entry(3, "Wren", 2));
    auto chat = [](i8 kind, const char* text) {
        auto m = Msg({19, 3, 0, u8(kind), 0}, 5);
        m.insert(m.end(), text, text + std::strlen(text) + 1);
        return m;
    };
    c.Apply(chat(10, "server notice"));
    c.Apply(chat(0, "hi"));
    c.Apply(chat(1, "team"));
    c.Apply(chat(2, "quiet"));
    ASSERT_EQ(g_chat.size(), 3u);
    EXPECT_EQ(g_chat[0], (std::pair<std::string, u32>{"server notice", 0xFF00FF00u}));
    EXPECT_EQ(g_chat[1], (std::pair<std::string, u32>{"Wren:hi", 0xFFFFFFFFu}));
    EXPECT_EQ(g_chat[2], (std::pair<std::string, u32>{"Wren:team", 0xFFFF00FFu}));
    EXPECT_STREQ(c.players[3].chatText, "quiet");
    EXPECT_EQ(c.players[3].chatTimer, 600);
    EXPECT_EQ(c.players[3].pendingRadio, 999);
    // A text with no terminator up to the message's end stays inside 100 bytes.
    auto runaway = Msg({19, 3, 0, 2, 0}, 5);
    runaway.resize(400, 'z');
    c.Apply(runaway);
    EXPECT_EQ(std::strlen(c.players[3].chatText), 99u);

    // Room status of room 3 with names and a title that never end.
    auto status = Msg({18, 3, 1, 2}, 460);
    std::memset(status.data() + 4, 'n', 250);
    std::memset(status.data() + 254, 't', 200);
    PutU32(status.data() + 454, 10);
    c.Apply(status);
    EXPECT_EQ(c.pair->roomStatusFlag[3], 2);
    EXPECT_EQ(c.pair->roomStatusFlag[2], 0);
    const RoomStatusView v = ViewRoomStatus(c.pair->roomStatus[3]);
    EXPECT_EQ(v.room, 3);
    EXPECT_EQ(std::strlen(v.names[9]), 24u);
    EXPECT_EQ(std::strlen(v.title), 199u);
    EXPECT_EQ(v.capacity, 10u);
    status[1] = 5;  // no such room
    c.Apply(status);
}

TEST(ServerMessages, FilesPartsAndSnapshotsGoWhereTheirSlotSays)
{
    Client c;
    PilotSlot& pilot = GetPilotRegistry()->slots[2];
    pilot.Clear();
    c.Apply(Entry(2, "Kite", 1));
    auto file = [](u16 kind, std::vector<u8> data) {
        auto m = Msg({20, 2, 0}, 9);
        PutU16(m.data() + 3, kind);
        PutU32(m.data() + 5, u32(data.size()));
        m.insert(m.end(), data.begin(), data.end());
        return m;
    };
    c.Apply(file(999, {0, 0, 0, 0, 0x10, 0x27, 0, 0}));
    EXPECT_EQ(pilot.uploadTotal, 10000);
    c.Apply(file(203, {'R', 'o', 'g', 'e', 'r', 0, 'x'}));
    EXPECT_STREQ(pilot.radioTexts[3], "Roger");
    c.Apply(file(301, {10, 0, 4, 7, 20, 0, 1, 255}));
    ASSERT_EQ(pilot.animations[1].size(), 2u);
    EXPECT_EQ(pilot.animations[1][0].duration, 10);
    EXPECT_EQ(pilot.animations[1][0].picture, 4);
    EXPECT_EQ(pilot.animations[1][0].voice, 7);
    EXPECT_EQ(pilot.pictureSource, 2);
    // Half words, unknown kinds and lengths past the message change nothing.
    c.Apply(file(302, {1, 2, 3}));
    EXPECT_TRUE(pilot.animations[2].empty());
    c.Apply(file(250, {'a', 0}));
    auto overlong = file(204, {'a', 0});
    PutU32(overlong.data() + 5, 1000);
    c.Apply(overlong);
    EXPECT_EQ(pilot.radioTexts[4][0], 0);
    c.Apply(file(999, {1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(pilot.uploadTotal, -1);

    // An equipped part for a player slot below 10 and of kind 1 only.
    CGameItem_PowerUp source(77);
    std::strcpy(source.name, "Booster");
    source.bonus[2] = 15;
    u8 record[PartWireRecordSize];
    source.WriteWireRecord(record);
    auto part = [&](u16 slot, u16 index, u32 kind) {
        auto m = Msg({22}, 428);
        PutU16(m.data() + 1, slot);
        PutU16(m.data() + 3, index);
        PutU32(m.data() + 5, kind);
        PutU32(m.data() + 9, 414);
        std::memcpy(m.data() + 13, record, sizeof record);
        return m;
    };
    c.Apply(part(2, 1, 1));
    ASSERT_NE(c.players[2].parts[1], nullptr);
    EXPECT_STREQ(c.players[2].parts[1]->name, "Booster");
    EXPECT_EQ(c.players[2].parts[1]->bonus[2], 15);
    c.Apply(part(12, 1, 1));
    c.Apply(part(2, 2, 2));
    c.Apply(part(2, 10, 1));
    EXPECT_EQ(c.players[12].parts[1], nullptr);
    EXPECT_EQ(c.players[2].parts[2], nullptr);

    // Repair data names its sender last; the server's word named fighter 3
    // the host: another fighter's block, or one cut short, is dropped.
    c.room.repairSlots = 0xC0;
    c.Apply(Msg({10, 3, 0, 0, 0, 0, 0}, 7));
    auto snapshot = Msg({11, 6, 0}, 1 + kSnapshotBlockSize + 2);
    snapshot[20] = 0x99;
    snapshot[1 + kSnapshotBlockSize] = 4;
    c.Apply(snapshot);
    EXPECT_EQ(c.room.setBlocks, 0) << "a block from a fighter other than the host";
    snapshot[1 + kSnapshotBlockSize] = 3;
    c.Apply(snapshot);
    ASSERT_EQ(c.players[6].snapshot.size(), kSnapshotBlockSize);
    EXPECT_EQ(c.players[6].snapshot[19], 0x99);
    EXPECT_EQ(c.room.setBlocks, 0x40);
    snapshot.pop_back();  // one byte short: dropped
    snapshot[1] = 7;
    c.Apply(snapshot);
    EXPECT_EQ(c.room.setBlocks, 0x40);
    pilot.Clear();
}

// A pilot's face comes again whenever its player returns to the room or
// gets ready (the server relays it to its sender too): the row keeps the face
// it shows until the new one is decoded, then shows that; a successor the
// decoder refuses takes the old face with it and gives its share back.
TEST(ServerMessages, AFaceSentAgainStaysShownUntilItsSuccessorIsDecoded)
{
    plat::SetGfxBackend(plat::GfxBackend::Recorder);
    auto window = plat::Window::Create("face", 0, 0, 640, 480, plat::Window::Headless);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetGraphicsDevice()->Create(window.get(), 640, 480, plat::GfxFormat::X8R8G8B8, false), 1);
    Client c;
    PilotSlot& pilot = GetPilotRegistry()->slots[1];
    pilot.Clear();
    c.Apply(Entry(1, "Carol", 1));
    auto face = [](u32 width, u32 height) {
        const std::vector<u32> pixels(size_t(width) * height, 0xFFE0B090u);
        std::vector<u8> png;
        EXPECT_TRUE(plat::EncodePng(pixels.data(), width, height, false, &png));
        return FileMessage(1, 100, std::string(png.begin(), png.end()));
    };
    auto frames = [&] {
        EXPECT_TRUE(fixtures::WaitForVoiceDecodes());
        GetPilotRegistry()->TakeDecoded();
    };
    c.Apply(face(200, 150));
    frames();
    ASSERT_NE(pilot.pictures[0].texture, nullptr);
    EXPECT_EQ(pilot.pictures[0].imageInfo.width, 200u);

    c.Apply(face(100, 75));
    ASSERT_NE(pilot.pictures[0].texture, nullptr) << "the face is gone while its successor decodes";
    EXPECT_EQ(pilot.pictures[0].imageInfo.width, 200u);
    frames();
    ASSERT_NE(pilot.pictures[0].texture, nullptr);
    EXPECT_EQ(pilot.pictures[0].imageInfo.width, 100u);
    EXPECT_EQ(pilot.PictureBytesHeld(), 100u * 75 * 4);

    c.Apply(FileMessage(1, 100, "not a png"));
    EXPECT_NE(pilot.pictures[0].texture, nullptr);
    frames();
    EXPECT_EQ(pilot.pictures[0].texture, nullptr);
    EXPECT_EQ(pilot.PictureBytesHeld(), 0u);
    pilot.Clear();
    GetGraphicsDevice()->Release();
}

// The messages that set one field each, and what they leave alone when a
// slot or value is out of range.
TEST(ServerMessages, SingleFieldMessagesTable)
{
    Client c;
    c.room.ownSlot = 1;
    c.room.pingSendTime = plat::TimeGetTime() - 40;
    struct Case {
        std::vector<u8> message;
        std::function<bool(Client&)> applied;
    };
    // Team arrays as the server relays them, their sender last: the host's
    // are taken, then a block out of the battle's range is refused.
    auto words = Msg({12}, 255);
    PutU32(words.data() + 1 + 4 * 50, 123456);
    std::vector<std::vector<u8>> wild;
    for (auto [word, value] : {std::pair{20, 65u}, {0, u32(-1)}, {21, u32(0x80000000)}, {33, 700000000u},
                               {42, u32(-10000000)}, {62, 10000000u}}) {
        wild.push_back(words);
        PutU32(wild.back().data() + 1 + 4 * word, value);
    }
    auto refused = [](Client& k) {
        for (int i = 0; i < 63; ++i)
            if (k.room.hostStateBlock[i] != (i == 50 ? 123456u : 0u)) return false;
        return k.room.hostStateTaken == 2;
    };
    const std::vector<Case> cases = {
        {Msg({2, 3, 0, 9}, 4), [](Client& k) { return k.players[3].colorSet == 9; }},
        {Msg({2, 3, 0, 10}, 4), [](Client& k) { return k.players[3].colorSet == 9; }},  // no eleventh set
        {Msg({3, 3, 0, 30}, 7), [](Client& k) { return k.players[3].rankLevel == 30; }},
        {Msg({3, 3, 0, 31}, 7), [](Client& k) { return k.players[3].rankLevel == 30; }},
        {Msg({7, 0x78, 0x56, 0x34, 0x12}, 5),
         [](Client& k) { return k.pair->game.gameStartFlag == 1 && k.room.battleStartValue == 0x12345678u; }},
        {Msg({8, 4}, 3), [](Client& k) { return k.players[4].sceneLoaded == 1; }},
        {Msg({9, 4, 0, 0x2C, 0x01}, 7), [](Client& k) { return k.players[4].returnMarker == 300; }},
        {Msg({10}, 7), [](Client& k) { return k.room.repairState == 1 && k.room.repairAnnounced == 1; }},
        {words, [](Client& k) { return k.room.hostStateBlock[50] == 123456 && k.room.hostStateTaken == 1; }},
        {wild[0], refused}, {wild[1], refused}, {wild[2], refused},
        {wild[3], refused}, {wild[4], refused}, {wild[5], refused},
        {Msg({13, 4}, 3), [](Client& k) { return k.players[4].snapshotState == 2; }},
        {Msg({16, 5, 0, 58, 0x10, 0x01}, 6),
         [](Client& k) { return k.players[5].peerFps == 58 && k.players[5].peerPing == 0x110; }},
        {Msg({17}, 2), [](Client& k) { return k.players[1].ping >= 40 && k.players[1].ping < 5000; }},
        {Msg({21, 5, 0, 7}, 5), [](Client& k) { return k.players[5].pendingRadio == 7; }},
        {Msg({21, 5, 0, 12}, 5), [](Client& k) { return k.players[5].pendingRadio == 7; }},  // digits only
        {Msg({8, 20}, 3), [](Client& k) { return k.players[19].sceneLoaded == 0; }},
        {Msg({14, 1, 1, 1}, 30), [](Client&) { return true; }},  // 14 means nothing
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        c.Apply(cases[i].message);
        EXPECT_TRUE(cases[i].applied(c)) << "case " << i << " id " << int(cases[i].message[0]);
    }
}

// A hostile server: valid messages with random bytes flipped, cut short or
// grown, and pure noise, never crash the client or grow its state without
// bound.
TEST(ServerMessages, FuzzedServerFramesAreHarmless)
{
    Client c;
    cMTRand rng;
    rng.Init(20240611);
    std::vector<std::vector<u8>> seeds = {Msg({0}, 28), Entry(1, "Fuzz", 1), Msg({2, 1, 0, 3}, 4), Msg({3}, 7),
                                          Msg({4, 1}, 7), Msg({5}, 7), Msg({6}, 37), Msg({7}, 5), Msg({8}, 3),
                                          Msg({9}, 7), Msg({10}, 3), Msg({11}, 20012), Msg({12}, 253), Msg({13}, 3),
                                          Msg({15}, 10), Msg({16}, 6), Msg({17}, 1), Msg({18}, 460),
                                          Msg({19, 1, 0, 0, 0, 'a', 0}, 7), Msg({20, 1, 0, 0xE7, 3, 4}, 40),
                                          Msg({21}, 5), Msg({22}, 428)};
    for (int round = 0; round < 20000; ++round) {
        std::vector<u8> m = seeds[rng.GetRand() % seeds.size()];
        switch (rng.GetRand() % 4) {
        case 0: m.resize(rng.GetRand() % m.size() + 1); break;
        case 1: m.resize(m.size() + rng.GetRand() % 64, u8(rng.GetRand())); break;
        case 2: m.assign(1 + rng.GetRand() % 600, 0); for (u8& b : m) b = u8(rng.GetRand()); break;
        default: break;
        }
        const u32 flips = rng.GetRand() % 8;
        for (u32 i = 0; i < flips; ++i) m[rng.GetRand() % m.size()] = u8(rng.GetRand());
        c.Apply(m);
    }
    for (PlayerEntry& e : c.players) {
        EXPECT_LE(e.keyQueue.GetCount(), kKeyQueueLimit);
        EXPECT_LT(std::strlen(e.name), sizeof e.name);
        EXPECT_LT(std::strlen(e.chatText), sizeof e.chatText);
    }
    for (PilotSlot& s : GetPilotRegistry()->slots) s.Clear();
}

// A repair's data as the server relays it: its word naming the host ("W"
// and the host), team arrays ("H" and the sender) then one block per robot
// ("A0": A's block of row 0). Every client rebuilds from the named host's
// first whole set in this order: a host lost part way is replaced by the
// next one the server names, a set sent after a whole one, a set from a
// fighter not named and data before the word change nothing. The result:
// the sender of each row's block (rows 0..2) and of the team arrays, "-"
// for none, or "" while no set is whole.
TEST(ServerMessages, ARepairTakesTheFirstWholeSetOfTheNamedHostInRelayOrder)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"WA HA A0 A1 A2", "AAAA"},
        {"WA HA A0 A1 A2 WB HB B0 B1 B2", "BBBB"},  // the first host's whole set was refused
        {"WA HA A0 A1 WB HB B0 B1 B2", "BBBB"},     // the first host lost before its last block
        {"WA HA WB HB B0 B1 B2", "BBBB"},
        {"WA HA A2 A0 WB HB B1 B2 B0", "BBBB"},
        {"WA HA A0 A1 WB HB B2 WC HC C0 C1 C2", "CCCC"},  // two hosts lost in turn
        {"WA HA HC C0 C1 C2 A0 A1 A2", "AAAA"},           // a forged set beside the host's
        {"WA HA A0 C1 C2 A1 A2 HA", "AAAA"},              // a late block after the set was whole
        {"WA HA A0 A1", ""},
        {"WA HA A0 A1 WB HB B2", ""},
        {"HA A0 A1 A2 WA", ""},  // sent before the word: outside any repair
        {"WA A0 A1 A2", ""},     // no team arrays
        {"WA HA A0 K1 K2 A1", ""},  // confirmations are no blocks
        {"WA HA K2 A2 A0 A1", "AAAA"},
        {"WA HA A0 A1 A1 A2", "AAAA"},
    };
    for (const auto& [events, expected] : cases) {
        Client c;
        c.room.repairSlots = 0x7;
        for (size_t at = 0; at + 1 < events.size(); at += 3) {
            const char who = events[at + 1];
            const u8 sender = u8(who - 'A');
            if (events[at] == 'W') {
                c.Apply(Msg({10, sender}, 7));
            } else if (events[at] == 'K') {
                c.Apply(Msg({13, u8(events[at + 1] - '0')}, 3));
            } else if (events[at] == 'H') {
                auto m = Msg({12}, 255);
                m[1 + 4 * 42] = u8(who);
                m[253] = sender;
                c.Apply(m);
            } else {
                auto m = Msg({11, u8(events[at + 1] - '0')}, 1 + kSnapshotBlockSize + 2);
                m[20] = u8(events[at]);
                m[1 + kSnapshotBlockSize] = u8(events[at] - 'A');
                c.Apply(m);
            }
        }
        std::string got;
        if (c.room.repairDataComplete) {
            for (int slot = 0; slot < 3; ++slot)
                got += (c.room.setBlocks & (1u << slot)) ? char(c.players[slot].snapshot[19]) : '-';
            got += char(c.room.hostStateBlock[42] & 0xFF);
        }
        EXPECT_EQ(got, expected) << events;
        // Every row of a set not yet whole waits for the last host's block.
        if (!expected.empty()) continue;
        for (int slot = 0; slot < 3; ++slot) {
            if (!(c.room.setBlocks & (1u << slot))) continue;
            EXPECT_EQ(char(c.players[slot].snapshot[19]), events[events.size() - 2]) << events;
        }
    }
}

// A fighter that confirmed a set the server then dropped (a new host named
// for the same run) and that left or was sent back around that word leaves
// at the start of the run the repair opens, on every client alike, whether
// its going came before the word or after it: its confirmation confirmed
// no run, so its frame is read in the run being repaired.
TEST(ServerMessages, OneGoneAroundANewHostsWordLeavesAtTheRepairedRunAlike)
{
    for (const u8 gone : {u8(9), u8(4)})
        for (const bool beforeWord : {true, false}) {
            Client c;
            c.room.ownSlot = 0;
            c.players[0].inBattle = 1;
            c.room.repairSlots = 0x7;
            c.Apply(Msg({10, 0}, 7));  // host: row 0, run 0
            c.Apply(Msg({13, 2}, 3));  // row 2 took the set
            ASSERT_EQ(c.players[2].confirmedRuns, 1u);
            std::vector<u8> leave = Msg({gone, 2}, 7);
            PutU32(leave.data() + 3, u32(-1));
            if (beforeWord) c.Apply(leave);
            c.Apply(Msg({10, 1}, 7));  // its set was refused: row 1 hosts run 0
            if (!beforeWord) c.Apply(leave);
            const PlayerEntry& e = c.players[2];
            EXPECT_EQ(e.confirmedRuns, 0u);
            EXPECT_EQ(gone == 9 ? e.returnRun : e.leaveRun, 0u)
                << "message " << int(gone) << (beforeWord ? " before" : " after") << " the word";
        }
}

// A hostile peer in the room uploads twenty voices of ten minutes of
// silence, each a small file under the voice chunk cap, then five long ones
// at 48 kHz stereo, then fifty one-colour pictures of 1024 x 1024. The
// dispatch never decodes them itself, so the room's frames go on; the
// decoder refuses the long voices from their headers, the pilot's voices and
// pictures keep within their budgets, the game's memory stays near where
// it was, and the chat log tells once, naming the peer. In a room that sends
// no voices, a peer's voices are not even taken.
TEST(ServerMessages, APeersOversizedVoicesAndPicturesAreRefusedWithOneLineAndNeitherStallNorSwampTheGame)
{
    plat::AudioSetTarget(plat::AudioTarget::Loopback, 48000);
    ASSERT_EQ(GetSoundManager().Init(nullptr), 1);
    plat::SetGfxBackend(plat::GfxBackend::Recorder);
    auto window = plat::Window::Create("peer", 0, 0, 640, 480, plat::Window::Headless);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetGraphicsDevice()->Create(window.get(), 640, 480, plat::GfxFormat::X8R8G8B8, false), 1);
    const std::vector<u8> endless = fixtures::Ogg(fixtures::Tone(1, 8000, 600.0f, 440.0f, 0.0f), 1, 8000, -0.1f);
    const std::vector<u8> big = fixtures::Ogg(fixtures::Tone(2, 48000, 28.0f, 440.0f, 0.0f), 2, 48000, 0.0f);
    const std::vector<u32> grey(1024 * 1024, 0xFF808080u);
    std::vector<u8> png;
    ASSERT_TRUE(plat::EncodePng(grey.data(), 1024, 1024, false, &png));
    ASSERT_LT(endless.size(), kCapVoice);
    ASSERT_LT(big.size(), kCapVoice);
    ASSERT_LT(png.size(), kCapScriptPicture);

    Client c;
    PilotSlot& pilot = GetPilotRegistry()->slots[3];
    pilot.Clear();
    c.Apply(Entry(3, "Mallory", 1));
    g_chat.clear();
    auto file = [](u16 kind, const std::vector<u8>& data) {
        auto m = Msg({20, 3, 0}, 9);
        PutU16(m.data() + 3, kind);
        PutU32(m.data() + 5, u32(data.size()));
        m.insert(m.end(), data.begin(), data.end());
        return m;
    };
    c.settings.voiceMode = 0;
    c.Apply(file(5, big));
    EXPECT_EQ(GetVoiceDecoder().Busy(), 0u);
    EXPECT_TRUE(pilot.sounds[5].IsEmpty());
    c.settings.voiceMode = 2;

    const u64 before = fixtures::ResidentBytes();
    for (u16 kind = 0; kind < 20; ++kind) c.Apply(file(kind, endless));
    for (u16 kind = 20; kind < 25; ++kind) c.Apply(file(kind, big));
    for (u16 kind = 100; kind < 150; ++kind) c.Apply(file(kind, png));
    // The game takes what the worker finished once a frame.
    ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
    GetPilotRegistry()->TakeDecoded();

    EXPECT_EQ(g_chat.size(), 1u);
    if (!g_chat.empty()) {
        EXPECT_NE(g_chat[0].first.find("Mallory"), std::string::npos) << g_chat[0].first;
        EXPECT_EQ(g_chat[0].second, 0xFFFF0000u);
    }
    for (int k = 0; k < 20; ++k) EXPECT_TRUE(pilot.sounds[k].IsEmpty()) << k;
    for (int k = 20; k < 24; ++k) EXPECT_FALSE(pilot.sounds[k].IsEmpty()) << k;
    EXPECT_TRUE(pilot.sounds[24].IsEmpty());
    EXPECT_LE(pilot.VoiceSampleBytes(), PilotVoiceBudget);
    EXPECT_NE(pilot.sounds[23].Play(kVolumeSlotVoices, 0), nullptr);
    EXPECT_EQ(pilot.PictureBytesHeld(), 8u << 22);
    int shown = 0;
    for (const TextureHandle& picture : pilot.pictures) shown += picture.texture != nullptr;
    EXPECT_EQ(shown, 8);
    // Twenty voices of 9.6 MB each held 190 MB and fifty pictures 400 MB;
    // what is kept now is the budgets and the decoding's passing copies.
    const u64 after = fixtures::ResidentBytes();
    EXPECT_LT(after, before + (200u << 20)) << (after - before) / (1u << 20) << " MB more";

    // A new upload may tell again.
    c.Apply(file(999, {0, 0, 0, 0, 0, 0, 0, 0}));
    c.Apply(file(5, endless));
    ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
    GetPilotRegistry()->TakeDecoded();
    EXPECT_EQ(g_chat.size(), 2u);
    pilot.Clear();
    EXPECT_EQ(pilot.PictureBytesHeld(), 0u);
    GetGraphicsDevice()->Release();
    GetSoundManager().Release();
    plat::AudioSetTarget(plat::AudioTarget::Default);
}

namespace {

// The application's own state as the game's dispatcher writes it.
std::unique_ptr<NetClientPair> g_fighter;
u32 g_keyStates = 0;
u32 g_longestRepeat = 0;

void DispatchToFighter(const std::vector<u8>& m)
{
    g_fighter->game.DispatchMessage(m[0], m.data() + 1, u32(m.size() - 1));
}

// The server relays this client's key states to everyone; the other
// player's client sends the same frames with the same check byte.
void RelayKeys(const u8 input[10], u8 check, u32 frame, u8 repeat)
{
    ++g_keyStates;
    g_longestRepeat = std::max<u32>(g_longestRepeat, repeat);
    for (u8 slot = 0; slot < 2; ++slot) {
        std::vector<u8> m(10, 0);
        m[0] = 15;
        m[1] = slot;
        PutU32(m.data() + 2, frame);
        PutU16(m.data() + 6, EncodeKeyBits(input));
        m[8] = check;
        m[9] = repeat;
        DispatchToFighter(m);
    }
}

std::vector<u8> PartMessage(u16 slot, u16 index, i16 thrustRecharge)
{
    CGameItem_PowerUp part(1);
    for (i16& b : part.bonus) b = 0;
    part.bonus[BonusThrustRecharge] = thrustRecharge;
    std::vector<u8> m(428, 0);
    m[0] = 22;
    PutU16(m.data() + 1, slot);
    PutU16(m.data() + 3, index);
    PutU32(m.data() + 5, 1);
    PutU32(m.data() + 9, PartWireRecordSize);
    part.WriteWireRecord(m.data() + 13);
    return m;
}

bool CutInOf(CGameScene& scene, const CRobot_Base* speaker)
{
    for (TCB* t = scene.tasks.GetHead()->next; t && t != scene.tasks.GetTail(); t = t->next)
        if (auto* cutIn = dynamic_cast<GMTCB_Proc_MusenFaceDisp*>(t); cutIn && cutIn->speaker == speaker) return true;
    return false;
}

// Two fighters online, this game in slot 0 on a fresh client pair, both
// connections up.
RoomState& FreshTwoFighterRoom()
{
    OnlineTargets t = ApplicationTargets();
    t.addChatLine = nullptr;
    g_fighter = std::make_unique<NetClientPair>(t);
    return ConnectedRoom(0);
}

BattleRunnerOptions TwoFighterBattle()
{
    BattleRunnerOptions options;
    options.mode = GameMode::Online;
    options.slotState[0] = options.slotState[1] = 1;
    options.robot[1] = 0;
    return options;
}

// The game's own client in row 0 of a fresh room of two fighters that plays
// by the room's settings, all it sends going to `tap`; as it was at the end.
struct TappedTwoFighterRoom {
    RoomState& room;
    TappedTwoFighterRoom(OutgoingTap tap, void* arg) : room((SetOutgoingTap(tap, arg), FreshTwoFighterRoom()))
    {
        GetApplication()->gameSettings.roomSetting = 1;
    }
    ~TappedTwoFighterRoom()
    {
        SetOutgoingTap(nullptr, nullptr);
        room = RoomState();
        GetApplication()->gameSettings.roomSetting = 0;
        g_fighter.reset();
    }
};

// What this game sent its room, kept for the test to relay as it likes.
struct Outbox {
    std::vector<std::vector<u8>> sent;
    static void Tap(const u8* m, u32 size, void* self) { static_cast<Outbox*>(self)->sent.emplace_back(m, m + size); }
    std::vector<std::vector<u8>> Take(u8 id)
    {
        std::vector<std::vector<u8>> out;
        for (auto it = sent.begin(); it != sent.end();)
            if ((*it)[0] == id) {
                out.push_back(*it);
                it = sent.erase(it);
            } else {
                ++it;
            }
        return out;
    }
};

// A repair message as the server relays it, stamped with its sender.
std::vector<u8> Relayed(std::vector<u8> m, u8 sender)
{
    m[0] = m[0] == kMsgRobotSnapshot ? 11 : 12;
    m.push_back(sender);
    m.push_back(0);
    return m;
}

}  // namespace

// Two players fight online; the room had given them parts, faces and radio
// texts. The battle shows what the room uploaded, and while it runs a peer
// back in the room re-sends its part and changes the settings: the robots
// keep the parts they started with (nothing freed under them), the key
// states keep their interval, and the room rows take the new part for the
// next battle.
TEST(ServerMessages, ABattleRunsOnThePartsPilotsAndSettingsItStartedWithWhateverTheRoomSends)
{
    CApplication& app = *GetApplication();
    g_keyStates = g_longestRepeat = 0;
    SentMessages server;
    server.keyState = RelayKeys;
    RoomState& room = FreshTwoFighterRoom();
    std::string face;
    ASSERT_TRUE(plat::ReadWholeFile((std::string(QUILLON_RUN_DIR) + "/pilot/Rex/face.png").c_str(), face));

    BattleRunnerOptions options = TwoFighterBattle();
    options.runFolder = QUILLON_RUN_DIR;
    options.beforeSetUp = [&] {
        app.gameSettings.item = 1;
        app.gameSettings.roomSetting = 1;
        app.gameSettings.costLimit = 700;
        app.gameSettings.costRate = 1.0f;
        for (u16 slot : {0, 1}) {
            DispatchToFighter(PartMessage(slot, 0, 50));
            DispatchToFighter(FileMessage(slot, 100, face));
            DispatchToFighter(FileMessage(slot, 202, std::string("Roger") + '\0'));
        }
        // Someone who sat in row 5 and left without the room hearing of it.
        DispatchToFighter(FileMessage(5, 100, face));
        // The room's frames take the faces in once they are decoded.
        ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
        GetPilotRegistry()->TakeDecoded();
    };
    BattleRunner runner(options);
    CGameScene& scene = *runner.Scene();
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetWaitStart);
    CRobot_Base* peer = scene.robotTable[1];
    ASSERT_NE(peer, nullptr);
    PilotSlot* pilots = GetPilotRegistry()->slots;
    for (i32 slot : {0, 1}) {
        EXPECT_NE(pilots[slot].pictures[0].texture, nullptr) << "the face the room received for row " << slot;
        EXPECT_STREQ(pilots[slot].radioTexts[2], "Roger") << "row " << slot;
    }
    EXPECT_EQ(pilots[5].pictures[0].texture, nullptr) << "a face of nobody in the battle";

    for (i32 i = 0; i < 2; ++i) app.players[i].sceneLoaded = 1;
    // Past the opening fade, when the robots take their inputs.
    runner.RunFrames(150);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    ASSERT_GE(scene.battleFrame, 140u);
    const i32 bonus = peer->SumItemBonus(BonusThrustRecharge);
    EXPECT_EQ(bonus, 50);

    // The peer's radio line opens its cut-in with the face and text of the room.
    DispatchToFighter({21, 1, 0, 2, 0});
    runner.RunFrames(3);
    EXPECT_TRUE(CutInOf(scene, peer)) << "the peer's radio line showed nothing";

    // The room's traffic, mid-battle: a new part for each row, settings
    // with another key interval, cost, rates and stage.
    const u32 frame = scene.battleFrame, sent = g_keyStates;
    for (u16 slot : {0, 1}) DispatchToFighter(PartMessage(slot, 0, -30));
    RoomSettingsRecord changed;
    changed.inputInterval = 4;
    changed.netDelay = 9;
    changed.hpRate = 3.0f;
    changed.geneRate = 0.5f;
    changed.costRate = 0.5f;
    changed.stageNo = 1;
    u8 record[kRoomSettingsSize];
    WriteRoomSettings(changed, record);
    record[0] = 6;
    DispatchToFighter(std::vector<u8>(record, record + kRoomSettingsSize));
    ASSERT_EQ(app.gameSettings.roomSetting, 4u) << "the room keeps the settings for the next battle";

    // Frames on: under the sanitizer a freed part would end the run here.
    runner.RunFrames(120);
    EXPECT_EQ(scene.battleFrame, frame + 120);
    EXPECT_EQ(g_keyStates - sent, 120u) << "the key states changed their interval mid-battle";
    EXPECT_EQ(g_longestRepeat, 1u);
    EXPECT_EQ(room.repairState, 0u);
    EXPECT_EQ(peer->SumItemBonus(BonusThrustRecharge), bonus);
    EXPECT_EQ(scene.robotTable[0]->SumItemBonus(BonusThrustRecharge), bonus);
    ASSERT_NE(app.players[1].parts[0], nullptr);
    EXPECT_EQ(app.players[1].parts[0]->bonus[BonusThrustRecharge], -30) << "the room row takes the new part";

    runner.EndBattle();
    for (i32 slot : {0, 1, 5}) pilots[slot].Clear();
    app.gameSettings.item = 0;
    g_fighter.reset();
}

namespace {

// A room server for two fighters, the game's own client in row 0 (the repair
// host) and a slower client in row 1 whose battle runs frames behind: every
// relay reaches the own game at once and queues for the slower one, in the
// order the server sends it. Row 1's key states match row 0's until the
// drift, from which its check bytes differ.
struct TwoFighterRoom {
    Client slow;
    std::vector<std::vector<u8>> toSlow;
    bool drifted = false;
    u32 repairs = 0;
    bool repairing = false;

    void ToBoth(const std::vector<u8>& m)
    {
        DispatchToFighter(m);
        toSlow.push_back(m);
    }
    void Deliver()
    {
        for (const auto& m : toSlow) slow.Apply(m);
        toSlow.clear();
    }
    // The slower client confirms its data, as its battle does when it is whole.
    void Confirm(u8 slot)
    {
        ToBoth({13, slot, 0});
        if (slot == 1) {
            repairing = false;
            ++repairs;
        }
    }
    void Heard(const u8* m, u32 size)
    {
        const u8 own = 0;
        switch (m[0]) {
        case kMsgKeyState:
            for (u8 slot = 0; slot < 2; ++slot) {
                std::vector<u8> k(10, 0);
                k[0] = 15;
                k[1] = slot;
                std::memcpy(k.data() + 2, m + 1, 8);
                if (slot == 1 && drifted) ++k[8];
                DispatchToFighter(k);
            }
            break;
        case kMsgRepairRequest:
            if (repairing) break;
            repairing = true;
            ToBoth({10, own, 0, u8(repairs), 0, 0, 0});
            break;
        case kMsgRobotSnapshot:
        case kMsgHostStateBlock: ToBoth(Relayed(std::vector<u8>(m, m + size), own)); break;
        case kMsgAllDataReceived: ToBoth({13, own, 0}); break;
        default: break;
        }
    }
    static void Tap(const u8* m, u32 size, void* self) { static_cast<TwoFighterRoom*>(self)->Heard(m, size); }
};

}  // namespace

// The host finds a drift first, and its whole set reaches the slower client
// before that client's battle came to the frame of the drift: the repair
// completes all the same, on both, and the battle goes on from frame 0.
TEST(ServerMessages, ARepairCompletesWhenTheHostsSetOvertakesTheSlowerClientsOwnFinding)
{
    CApplication& app = *GetApplication();
    TwoFighterRoom server;
    TappedTwoFighterRoom fighters(&TwoFighterRoom::Tap, &server);
    RoomState& room = fighters.room;
    BattleRunner runner(TwoFighterBattle());
    CGameScene& scene = *runner.Scene();
    for (i32 i = 0; i < 2; ++i) app.players[i].sceneLoaded = 1;
    runner.RunFrames(20);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    server.slow.room.repairSlots = room.repairSlots;
    ASSERT_EQ(room.repairSlots, 0x3);

    // Both repairs of a battle: the second shows the first left nothing behind.
    for (u32 repair = 0; repair < 2; ++repair) {
        server.drifted = true;
        for (int i = 0; i < 40 && !(room.repairState == 3); ++i) runner.RunFrames(1);
        server.drifted = false;
        ASSERT_EQ(room.repairState, 3u) << "the host never had its own set back, repair " << repair;
        // All of it reaches the slower client, which only then finds the drift.
        server.Deliver();
        if (server.slow.room.repairState == 0) server.slow.room.repairState = 1;
        ASSERT_EQ(server.slow.room.repairDataComplete, 1) << "the slower client dropped the host's set, repair " << repair;
        for (int slot = 0; slot < 2; ++slot)
            EXPECT_EQ(server.slow.players[slot].snapshot, app.players[slot].snapshot) << "row " << slot;
        server.Confirm(1);
        for (int i = 0; i < 5 && scene.frameProc != &CGameScene::Proc_NetBattle; ++i) runner.RunFrames(1);
        ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle) << "repair " << repair;
        EXPECT_EQ(scene.netRun, repair + 1);
        EXPECT_LT(scene.battleFrame, 5u);
        // The slower client's battle closes the repair as the host's did.
        server.Deliver();
        for (PlayerEntry& e : server.slow.players) {
            e.snapshotState = 0;
            e.snapshot.clear();
        }
        server.slow.room.repairState = 0;
        server.slow.room.repairDataComplete = 0;
        server.slow.room.setBlocks = 0;
        server.slow.room.repairAnnounced = 0;
        server.slow.room.run = repair + 1;
        runner.RunFrames(10);
        EXPECT_EQ(room.repairState, 0u);
    }

    // The server forces the next repair the moment it has every confirmation
    // of one, before this client's battle closed it: the battle goes from
    // the one straight into the next, and both end.
    server.drifted = true;
    for (int i = 0; i < 40 && room.repairState != 3; ++i) runner.RunFrames(1);
    server.drifted = false;
    ASSERT_EQ(room.repairState, 3u);
    server.Confirm(1);
    server.repairing = true;
    server.ToBoth({10, 0, 0, u8(server.repairs), 0, 0, 0});
    for (int i = 0; i < 10 && !(room.repairState == 3 && scene.netRun == 3); ++i) runner.RunFrames(1);
    ASSERT_EQ(scene.netRun, 3u) << "the first repair never closed";
    ASSERT_EQ(room.repairState, 3u) << "the forced one never had its set";
    server.Confirm(1);
    for (int i = 0; i < 5 && scene.frameProc != &CGameScene::Proc_NetBattle; ++i) runner.RunFrames(1);
    EXPECT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    EXPECT_EQ(scene.netRun, 4u);
    runner.RunFrames(10);
    EXPECT_EQ(room.repairState, 0u);
    EXPECT_GE(scene.battleFrame, 10u);
    SetOutgoingTap(nullptr, nullptr);  // the room hears nothing of the battle's end
    runner.EndBattle();
}

// A repair holds against any one member, on the game's own dispatcher and
// battle: the server's word that comes between the game start and the end
// of the set-up is kept, and the repair runs once the battle does; another
// fighter's confirmation before its block does not make the set whole; a
// set with a part out of range is refused whole (nothing of it is used,
// nothing is kept of one's own) and said so to the server, and the next
// host's set is taken and ends the repair.
TEST(ServerMessages, AWordDuringSetUpIsKeptAndASetIsWholeOrRefusedAlike)
{
    CApplication& app = *GetApplication();
    Outbox out;
    TappedTwoFighterRoom fighters(&Outbox::Tap, &out);
    RoomState& room = fighters.room;
    DispatchToFighter(Msg({7, 9}, 5));
    DispatchToFighter(Msg({10, 1}, 7));  // host: the other fighter, run 0
    BattleRunner runner(TwoFighterBattle());
    CGameScene& scene = *runner.Scene();
    for (i32 i = 0; i < 2; ++i) app.players[i].sceneLoaded = 1;
    runner.RunFrames(4);
    ASSERT_TRUE(scene.frameProc == &CGameScene::Proc_NetResync) << "the word was lost in the set-up";
    ASSERT_EQ(room.repairState, 2u);

    // The other fighter confirms before any of the set; its host block is
    // out of range. The set is whole only with every robot's block.
    DispatchToFighter({13, 1, 0});
    for (i32 slot = 0; slot < 2; ++slot) scene.SendRobotSnapshotOf(u32(slot), scene.robotTable[slot]);
    const std::vector<std::vector<u8>> blocks = out.Take(kMsgRobotSnapshot);
    ASSERT_EQ(blocks.size(), 2u);
    std::vector<u8> damaged = Msg({kMsgHostStateBlock}, 253);
    PutU32(damaged.data() + 1, 1000);  // a thousand members left in team 0
    DispatchToFighter(Relayed(damaged, 1));
    DispatchToFighter(Relayed(blocks[0], 1));
    EXPECT_EQ(room.repairDataComplete, 0) << "whole without the other robot's block";
    DispatchToFighter(Relayed(blocks[1], 1));
    EXPECT_EQ(room.repairDataComplete, 1);
    const u32 teamUnits0 = scene.teamUnits[0];
    out.sent.clear();
    runner.RunFrames(3);
    std::vector<std::vector<u8>> verdicts = out.Take(kMsgAllDataReceived);
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0][1], 1) << "the refused set was taken";
    EXPECT_EQ(room.repairState, 2u);
    EXPECT_EQ(scene.teamUnits[0], teamUnits0);

    // The server names this game the next host of the same run: the old set
    // is gone, its own goes out and is taken, and the repair ends.
    DispatchToFighter(Msg({10, 0}, 7));
    EXPECT_EQ(room.repairDataComplete, 0);
    EXPECT_EQ(app.players[1].snapshotState, 0) << "a confirmation of the dropped set stood";
    runner.RunFrames(1);
    const std::vector<std::vector<u8>> hostBlock = out.Take(kMsgHostStateBlock);
    const std::vector<std::vector<u8>> ownBlocks = out.Take(kMsgRobotSnapshot);
    ASSERT_EQ(hostBlock.size(), 1u);
    ASSERT_EQ(ownBlocks.size(), 2u);
    DispatchToFighter(Relayed(hostBlock[0], 0));
    for (const auto& b : ownBlocks) DispatchToFighter(Relayed(b, 0));
    runner.RunFrames(1);
    verdicts = out.Take(kMsgAllDataReceived);
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0][1], 0);
    EXPECT_EQ(room.repairState, 3u);
    for (u8 slot : {0, 1}) DispatchToFighter({13, slot, 0});
    for (int i = 0; i < 5 && scene.frameProc != &CGameScene::Proc_NetBattle; ++i) runner.RunFrames(1);
    EXPECT_TRUE(scene.frameProc == &CGameScene::Proc_NetBattle);
    EXPECT_EQ(scene.netRun, 1u);
    EXPECT_EQ(app.players[1].confirmedRuns, 1u);
    SetOutgoingTap(nullptr, nullptr);  // the room hears nothing of the battle's end
    runner.EndBattle();
}
