#include <gtest/gtest.h>

#include <vector>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomButtons.h"
#include "online/room/RoomScene.h"
#include "platform/core/ByteOrder.h"

namespace {

std::vector<std::vector<u8>> g_sent;

// A room with its buttons laid out (pictures of 14 x 18 without a device),
// clicked through the application's mouse state in layout space.
struct Room {
    CRoomScene scene;
    Room()
    {
        g_sent.clear();
        SetOutgoingTap([](const u8* m, u32 n, void*) { g_sent.emplace_back(m, m + n); }, nullptr);
        for (int p : {50, 51}) scene.pictures[p].sourceRect = {0, 0, 14, 18};
        NetClientPair& pair = *GetOnlineClients();
        PutU32(pair.roomStatus[0] + 453, 4);
        pair.currentRoom = 0;
        CApplication& app = *GetApplication();
        app.video.screenWidth = 1024;
        app.video.screenHeight = 768;
        for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
        app.players[0].slotState = 1;
        app.players[0].team = 3;
        app.players[1].slotState = 1;
        GetRoomState().ownSlot = 1;
        GetRoomState().rule = 0;
        CreateRoomButtons(scene);
    }
    ~Room() { SetOutgoingTap(nullptr, nullptr); }
    void Click(i32 x, i32 y, i32 releaseX, i32 releaseY)
    {
        CApplication& app = *GetApplication();
        app.input.cursor[0] = x;
        app.input.cursor[1] = y;
        app.input.keyTable[1] = 0x80;
        scene.ClickTest();
        app.input.cursor[0] = releaseX;
        app.input.cursor[1] = releaseY;
        app.input.keyTable[1] = 0;
        scene.ClickTest();
    }
};

}  // namespace

TEST(RoomButtons, ClicksSendTheOneChangedValue)
{
    Room room;
    CApplication& app = *GetApplication();
    GameSettings& g = app.gameSettings;
    g.netDelay = 20;
    g.stage = u32(-1);
    g.costRate = 0.1f;
    g.hpRate = 0.1f;
    g.timeLimit = 5;
    app.stageFolders.count = 3;
    // The setting column starts at (730, 480): delay, chat, stage, HP, energy, ...
    room.Click(990 + 5, 483 + 5, 990 + 5, 483 + 5);  // delay right: 20 wraps to 1
    ASSERT_EQ(g_sent.size(), 1u);
    EXPECT_EQ(g_sent[0][0], kMsgRoomSettings);
    EXPECT_EQ(GetU32(g_sent[0].data() + 5), 1u);
    room.Click(990 + 5, 531 + 5, 990 + 5, 531 + 5);  // stage right: Random becomes 0
    EXPECT_EQ(GetI32(g_sent.back().data() + 10), 0);
    room.Click(714 + 5, 555 + 5, 714 + 5, 555 + 5);  // HP left at its minimum stays
    EXPECT_EQ(GetF32(g_sent.back().data() + 14), 0.1f);
    EXPECT_EQ(g.netDelay, 20u);  // nothing changes until the server answers
    // A press and a release one layout pixel away is no click.
    const size_t before = g_sent.size();
    room.Click(990 + 5, 483 + 5, 990 + 6, 483 + 5);
    EXPECT_EQ(g_sent.size(), before);
    // A window without a client area (minimised) takes no clicks.
    app.video.screenWidth = 0;
    room.Click(990 + 5, 483 + 5, 990 + 5, 483 + 5);
    EXPECT_EQ(g_sent.size(), before);
    app.video.screenWidth = 1024;

    // A guest presses only its own row: row 1's team right sends 1 -> 2; row 0's does nothing.
    app.players[1].team = 1;
    room.Click(12 + 881 + 3, 54 + 42 + 1 + 3, 12 + 881 + 3, 54 + 42 + 1 + 3);
    ASSERT_EQ(g_sent.back()[0], kMsgPlayerSlot);
    EXPECT_EQ(GetU16(g_sent.back().data() + 1), 1);
    EXPECT_EQ(GetU32(g_sent.back().data() + 31), 2u);
    const size_t afterOwn = g_sent.size();
    room.Click(12 + 881 + 3, 54 + 1 + 3, 12 + 881 + 3, 54 + 1 + 3);
    EXPECT_EQ(g_sent.size(), afterOwn);
    // Teams wrap through the random squad and the spectators.
    app.players[1].team = 9;
    room.Click(12 + 881 + 3, 54 + 42 + 1 + 3, 12 + 881 + 3, 54 + 42 + 1 + 3);
    EXPECT_EQ(GetU32(g_sent.back().data() + 31), 50u);
    app.players[1].team = 100;
    room.Click(12 + 865 + 3, 54 + 42 + 1 + 3, 12 + 865 + 3, 54 + 42 + 1 + 3);
    EXPECT_EQ(GetU32(g_sent.back().data() + 31), 50u);
    // The host is slot 0: a guest has no computer-player button.
    room.scene.UpdateLabels();
    app.stageFolders.count = 0;
    for (ButtonBase* b : room.scene.buttons) {
        auto* ai = dynamic_cast<CButton_AI*>(b);
        if (ai) {
            EXPECT_EQ(ai->visible, 0u);
        }
    }
}

// Bob hosts, Alice (own row 1) and a computer stand in squad 0, row 3 is
// empty. Each host-only control clicked by Alice before and after Bob
// leaves: it follows the host role on the frame the role passes (no label
// update between the departure and the click), and a computer she adds
// while every fighter stands in one squad joins another squad.
TEST(RoomButtons, HostOnlyControlsPassWithTheHostAndAnAddedComputerIsAnOpponent)
{
    Room room;
    CApplication& app = *GetApplication();
    app.players[0].team = 0;
    app.players[1].team = 0;
    app.players[2].slotState = 2;
    app.players[2].team = 0;
    room.scene.UpdateLabels();
    auto top = [](i32 row) { return 54 + 42 * row; };
    struct Control {
        const char* what;
        i32 x, y;
        i32 rowBefore, rowAfter;  // the row a click changes; -1: nothing is sent
        i32 teamAfter;            // the squad sent after, -1: not checked
    };
    const Control controls[] = {
        {"Bob's robot", 12 + 471 + 3, top(0) + 4, -1, -1, -1},  // his row is empty after
        {"Bob's squad", 12 + 881 + 3, top(0) + 4, -1, -1, -1},
        {"the computer's robot", 12 + 471 + 3, top(2) + 4, -1, 2, 0},
        {"the computer's squad", 12 + 881 + 3, top(2) + 4, -1, 2, 1},
        {"the computer switch on Bob's row", 12 + 914 + 3, top(0) + 26, -1, 0, 1},
        {"the computer switch on the computer's row", 12 + 914 + 3, top(2) + 26, -1, 2, 0},
        {"the computer switch on the empty row", 12 + 914 + 3, top(3) + 26, -1, 3, 1},
        {"Alice's own squad", 12 + 881 + 3, top(1) + 4, 1, 1, 1},
    };
    for (int after = 0; after < 2; ++after) {
        if (after) app.players[0].slotState = 0;  // Bob left: Alice is the host now
        for (const Control& c : controls) {
            g_sent.clear();
            room.Click(c.x, c.y, c.x, c.y);
            const i32 row = after ? c.rowAfter : c.rowBefore;
            const char* when = after ? "after Bob left" : "while Bob hosts";
            if (row < 0) {
                EXPECT_TRUE(g_sent.empty()) << c.what << " " << when << " sent something";
                continue;
            }
            ASSERT_EQ(g_sent.size(), 1u) << c.what << " " << when << " sent nothing";
            ASSERT_EQ(g_sent[0][0], kMsgPlayerSlot) << c.what;
            EXPECT_EQ(GetU16(g_sent[0].data() + 1), row) << c.what << " " << when;
            if (after && c.teamAfter >= 0) {
                EXPECT_EQ(GetU32(g_sent[0].data() + 31), u32(c.teamAfter)) << c.what;
            }
        }
    }
}
