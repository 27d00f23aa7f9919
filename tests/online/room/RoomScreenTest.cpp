// The room and the login room list as the player sees them: where each text
// lands and at what size, read back from the recording device's sprite
// quads, with the room built by its own set-up in a play folder of our own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/DisplaySettings.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "online/login/LoginScene.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomScene.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Time.h"
#include "platform/gfx/Image.h"
#include "platform/input/Keyboard.h"
#include "roomserver/RoomServer.h"
#include "support/RecordingGraphics.h"
#include "support/TaskTestHelpers.h"
#include "support/TempFolder.h"

namespace {

// The 2D pass of every task in the list, drawn twice: the first renders the
// texts into the cache, the second is what a frame on screen draws.
std::vector<SpriteQuad> DrawnQuads(RecordingGraphics& gfx, CList<TCB>& tasks)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    for (int pass = 0; pass < 2; ++pass) {
        gfx.Recorder()->ClearCalls();
        gd->device->BeginScene();
        gd->sprite->Begin(plat::SpriteAlphaBlend);
        for (TCB* t = tasks.GetHead()->next; t != tasks.GetTail(); t = t->next) t->DrawSP();
        gd->sprite->End();
        gd->device->EndScene();
    }
    return SpriteQuads(gfx.Recorder());
}

// The room's fonts (small print, rows and heading) on a 1024 x 768 screen,
// as the start-up makes them.
void MakeRoomFonts()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->CreateFont(0, "黑体", 12), plat::GfxResult::Ok);
    ASSERT_EQ(gd->CreateFont(1, "黑体", 24), plat::GfxResult::Ok);
    ASSERT_EQ(gd->CreateFont(4, "黑体", 18), plat::GfxResult::Ok);
    GetDisplaySettings() = DisplaySettings{1, 1024, 768, 1.0f, 1.0f};
    ASSERT_EQ(CreateTextRenderTarget(1024, 768), 1);
}

// A text of font 1 (or `font`) drawn in white with its top-left corner at
// (x, y) of the layout, scaled by `scale`; a shadow's black copy does not
// count.
struct Shown {
    const char* screen;
    std::string text;
    float x, y, scale;
    int font = 1;
};

bool Found(const std::vector<SpriteQuad>& quads, const Shown& s, SpriteQuad* where)
{
    plat::Font* font = GetGraphicsDevice()->fonts[s.font];
    const plat::TextSize size = font->GetTextExtent(s.text.c_str(), -1);
    for (const SpriteQuad& q : quads) {
        if (q.colour != 0xFFFFFFFFu || std::fabs(q.left - s.x) > 1.0f || std::fabs(q.top - s.y) > 1.0f) continue;
        if (std::fabs(q.right - q.left - s.scale * float(size.cx)) > 1.5f) continue;
        if (std::fabs(q.bottom - q.top - s.scale * float(size.cy)) > 1.5f) continue;
        *where = q;
        return true;
    }
    return false;
}

// A room of `capacity` rows that allows chat, run from `play`, with no
// robot or stage folders and every participant entry empty.
void SetUpRoom(const TempFolder& play, u32 capacity)
{
    CApplication& app = *GetApplication();
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", play.Path().c_str());
    app.robotFolders.count = 0;
    app.stageFolders.count = 0;
    NetClientPair& pair = *GetOnlineClients();
    pair.currentRoom = 0;
    pair.pilotChoice = -1;
    std::memset(pair.roomStatus, 0, sizeof pair.roomStatus);
    PutU32(pair.roomStatus[0] + 453, capacity);
    pair.roomStatus[0][458] = 1;
    for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
}

// The room scene of participant 0 under the survival rule, built by its own
// set-up, with whatever it sends dropped.
CRoomScene* OpenRoom()
{
    GetRoomState().ownSlot = 0;
    GetRoomState().rule = 0;
    SetOutgoingTap([](const u8*, u32, void*) {}, nullptr);
    auto* room = new CRoomScene();
    SceneInstance<CRoomScene>() = room;
    room->Init();
    return room;
}

}  // namespace

// From the title straight into the room (no character selection before), the
// room offers the player's own music; ID and EXP are drawn in the small
// print of font 0 and apart;
// the room list names each room after its stage and shows the chosen room's
// places under "房间信息" at (476, 100).
TEST(OnlineScreens, RoomAndRoomListShowTheirTextsInPlaceAndSize)
{
    RecordingGraphics gfx;
    ASSERT_NO_FATAL_FAILURE(MakeRoomFonts());

    TempFolder play;
    std::filesystem::create_directories(play / "Sound/MyBgm/Folder.ogg");
    ASSERT_TRUE(play.Write("Sound/MyBgm/Alpha.ogg", "OggS"));
    ASSERT_TRUE(play.Write("Sound/MyBgm/Beta.ogg", "OggS"));
    ASSERT_TRUE(play.Write("Sound/MyBgm/Notes.txt", "not music"));
    CApplication& app = *GetApplication();
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", play.Path().c_str());
    ASSERT_TRUE(app.gameSettings.bgmList.entries.empty()) << "nothing scanned the music before the room";
    app.gameSettings.bgmList.selectedBgm = -2;  // a random pick made earlier is kept
    app.Profile().exp = 12345;
    app.stageFolders.count = 2;
    std::strcpy(app.stageFolders.names[0], "Desert");
    std::strcpy(app.stageFolders.names[1], "Harbour");
    app.robotFolders.count = 0;

    NetClientPair& pair = *GetOnlineClients();
    pair.currentRoom = 0;
    pair.pilotChoice = -1;
    std::memset(pair.roomStatus, 0, sizeof pair.roomStatus);
    u8* status = pair.roomStatus[0];
    status[2] = 2;
    std::strcpy(reinterpret_cast<char*>(status + 3), "Alice");
    std::strcpy(reinterpret_cast<char*>(status + 3 + 25), "Bob");
    std::strcpy(reinterpret_cast<char*>(status + 253), "Evening room");
    PutU32(status + 453, 3);
    status[458] = 1;
    pair.roomStatusFlag[0] = 2;
    for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
    const std::pair<const char*, u32> people[2] = {{"Alice", 12345678}, {"Bob", 0}};
    for (i32 i = 0; i < 2; ++i) {
        PlayerEntry& e = app.players[i];
        e.slotState = 1;
        e.robot = 1000;
        e.idNumber = people[i].second;
        std::strcpy(e.name, people[i].first);
    }
    app.players[1].team = 50;  // a random team, in its own colour
    CRoomScene* room = OpenRoom();
    std::set<std::string> music;
    for (const auto& entry : app.gameSettings.bgmList.entries) music.insert(entry->fileName);
    EXPECT_EQ(music, (std::set<std::string>{"Alpha.ogg", "Beta.ogg"}));
    EXPECT_EQ(app.gameSettings.bgmList.selectedBgm, -2);
    const std::vector<SpriteQuad> roomQuads = DrawnQuads(gfx, room->tasks);
    delete room;

    auto* login = new CLoginScene();
    SceneInstance<CLoginScene>() = login;
    login->selectedRoom = 0;
    LGTCB_DrawSP_ServerState::Create(&login->Tasks(), 20);
    const std::vector<SpriteQuad> listQuads = DrawnQuads(gfx, login->Tasks());
    delete login;
    SetOutgoingTap(nullptr, nullptr);

    const Shown cases[] = {
        // Participant rows start at (12, 54), 42 apart; the own row alone shows EXP.
        {"room", "ID:mI4qsB", 520, 54, 1.0f, 0},
        {"room", "EXP:12345", 630, 54, 1.0f, 0},
        {"room", "ID:aaaaaa", 520, 96, 1.0f, 0},
        {"room", "[BGM选择]", 680, 10, 1.0f, 4},
        {"room", "随机BGM   ", 680, 30, 1.0f, 4},
        {"list", "房间1:    Desert  ", 100, 102, 1.0f},
        {"list", "房间2:    Harbour  ", 100, 174, 1.0f},
        {"list", "房间3:      ", 100, 246, 1.0f},
        {"list", "房间信息      ", 476, 100, 1.0f},
        {"list", "Evening room", 130, 136, 1.0f},
        {"list", "(玩家-2/3)", 800, 136, 1.0f},
        {"list", "1:Alice", 476, 500, 1.0f},
        {"list", "2:Bob", 476, 524, 1.0f},
    };
    SpriteQuad id{}, exp{};
    for (const Shown& s : cases) {
        SpriteQuad at{};
        EXPECT_TRUE(Found(std::string(s.screen) == "room" ? roomQuads : listQuads, s, &at))
            << s.screen << ": \"" << s.text << "\" at (" << s.x << ", " << s.y << ") scaled " << s.scale;
        if (s.text == "ID:mI4qsB") id = at;
        if (s.text == "EXP:12345") exp = at;
    }
    EXPECT_LT(id.right, exp.left) << "ID and EXP run together";
    i32 randomTeam = 0;
    for (const SpriteQuad& q : roomQuads)
        randomTeam += q.colour == CApplication::GetColor(50) &&
                      ((std::fabs(q.left - 909.0f) <= 1.0f && std::fabs(q.top - 96.0f) <= 1.0f) ||
                       std::fabs(q.top - 118.0f) <= 1.0f);
    EXPECT_EQ(randomTeam, 2) << "Bob's random team and \"玩家\" in the random team's colour";

    GetTextureCache()->Clear();
    ReleaseTextRenderTarget();
    app.startupDir[0] = 0;
}

namespace {

// Relative luminance of 0xRRGGBB, and the contrast ratio of two.
double Luminance(u32 rgb)
{
    auto channel = [](u32 v) {
        const double c = double(v & 0xFF) / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(rgb >> 16) + 0.7152 * channel(rgb >> 8) + 0.0722 * channel(rgb);
}

double Contrast(u32 a, u32 b)
{
    const double x = Luminance(a) + 0.05, y = Luminance(b) + 0.05;
    return std::max(x, y) / std::min(x, y);
}

// Texts (not their black shadows) that run into one another.
void ExpectApart(const std::vector<SpriteQuad>& quads, const std::string& where)
{
    for (size_t a = 0; a < quads.size(); ++a)
        for (size_t b = a + 1; b < quads.size(); ++b) {
            const SpriteQuad &p = quads[a], &q = quads[b];
            if (p.colour == 0xFF000000u || q.colour == 0xFF000000u) continue;
            const float w = std::min(p.right, q.right) - std::max(p.left, q.left);
            const float h = std::min(p.bottom, q.bottom) - std::max(p.top, q.top);
            EXPECT_FALSE(w > 0.5f && h > 0.5f) << where << ": texts at (" << p.left << ", " << p.top << ") and ("
                                               << q.left << ", " << q.top << ") overlap";
        }
}

}  // namespace

// Every participant row, as the start-up's fonts draw it, with names of 23
// wide letters and a long robot name: each text is whole (its quad as tall
// as its font's cell, nothing cut by its rectangle), ends inside its row
// (a cut name's dots before the team column's dark plate of the room
// picture) and runs into no other text of the row nor into the row's arrows; the
// in-battle mark of a player still fighting stands clear of every text;
// the heading's texts stay inside the sample picture's heading band, clear
// of one another; and team 0's texts stand out at least 4.5 : 1 from the
// sample room picture's pixels behind them.
TEST(OnlineScreens, EveryRowTextIsWholeInsideItsRowAndTeamZeroReadsOnTheBackdrop)
{
    RecordingGraphics gfx;
    ASSERT_NO_FATAL_FAILURE(MakeRoomFonts());

    // The room without pictures but the in-battle mark: every other quad
    // drawn is a text. The player's own music puts two lines over the
    // first row.
    TempFolder play;
    std::filesystem::create_directories(play / "Sound/MyBgm");
    std::filesystem::create_directories(play / "Quillon");
    ASSERT_TRUE(play.Write("Sound/MyBgm/Alpha.ogg", "OggS"));
    std::string mark;
    ASSERT_TRUE(plat::ReadWholeFile(QUILLON_RUN_DIR "/Quillon/NowBattle.png", mark));
    ASSERT_TRUE(play.Write("Quillon/NowBattle.png", mark));
    CApplication& app = *GetApplication();
    SetUpRoom(play, 5);
    struct Row {
        const char* name;
        u32 slotState, team, ready;
        i32 robot;
    };
    // The own row ready on team 0, a player still in the battle on team 1
    // with a random robot, a computer on team 0, Carol sending her data,
    // an empty row.
    const char* wide = "WWWWWWWWWWWWWWWWWWWWWWW";
    const Row rows[5] = {{wide, 1, 0, 1, 0}, {wide, 1, 1, 0, 1000}, {wide, 2, 0, 0, 0}, {"Carol", 1, 1, 2, 0},
                         {"", 0, 0, 0, 0}};
    for (i32 i = 0; i < 5; ++i) {
        PlayerEntry& e = app.players[i];
        std::strcpy(e.name, rows[i].name);
        e.slotState = rows[i].slotState;
        e.team = rows[i].team;
        e.readyState = u8(rows[i].ready);
        e.robot = rows[i].robot;
        e.rankLevel = 12;
        e.peerPing = 35;
        e.idNumber = 12345678;
    }
    app.players[1].joined = app.players[1].inBattle = 1;
    app.Profile().exp = 12345678;
    CRoomScene* room = OpenRoom();
    std::strcpy(room->robotNames[0], "Vanguard Mk-II Long Range Heavy Assault Type");
    std::vector<SpriteQuad> quads = DrawnQuads(gfx, room->tasks);
    // Sprites land on pixel centres: back to layout units.
    for (SpriteQuad& q : quads) q.left += 0.5f, q.top += 0.5f, q.right += 0.5f, q.bottom += 0.5f;
    plat::GfxRect rects[5];
    for (i32 i = 0; i < 5; ++i) rects[i] = room->rowRects[i];
    delete room;
    SetOutgoingTap(nullptr, nullptr);

    // The whole cells of the room's fonts, as drawn and at 0.8.
    std::vector<float> cells;
    for (int font : {0, 1, 4}) {
        const float cell = float(GetGraphicsDevice()->fonts[font]->GetTextExtent("A", -1).cy);
        cells.push_back(cell);
        cells.push_back(0.8f * cell);
    }
    auto whole = [&](float h) {
        for (float c : cells)
            if (std::fabs(h - c) <= 0.5f) return true;
        return false;
    };
    u32 teamZero = 0;
    for (i32 i = 0; i < 5; ++i) {
        const plat::GfxRect& R = rects[i];
        std::vector<SpriteQuad> inRow;
        for (const SpriteQuad& q : quads)
            if (q.top >= float(R.top) && q.top < float(R.bottom) && q.left >= float(R.left) && q.left < float(R.right))
                inRow.push_back(q);
        EXPECT_GE(inRow.size(), i == 4 ? 1u : 6u) << "row " << i;
        // The in-battle mark: the one quad of row 1 no font's cell is as
        // tall as, inside the row and tall enough to read.
        const auto isMark = [&](const SpriteQuad& q) { return i == 1 && q.colour == 0xFFFFFFFFu && !whole(q.bottom - q.top); };
        const auto marks = std::count_if(inRow.begin(), inRow.end(), isMark);
        EXPECT_EQ(marks, i == 1 ? 1 : 0) << "row " << i << ": in-battle marks";
        // The row's arrows: robot, team (first line) and computer switch.
        const SpriteQuad arrows[3] = {{float(R.left + 471), float(R.top + 1), float(R.left + 501), float(R.top + 19), 0},
                                      {float(R.left + 865), float(R.top + 1), float(R.left + 895), float(R.top + 19), 0},
                                      {float(R.left + 914), float(R.top + 23), float(R.left + 928), float(R.top + 41), 0}};
        for (const SpriteQuad& q : inRow) {
            for (const SpriteQuad& a : arrows)
                EXPECT_FALSE(std::min(q.right, a.right) - std::max(q.left, a.left) > 0.5f &&
                             std::min(q.bottom, a.bottom) - std::max(q.top, a.top) > 0.5f)
                    << "row " << i << ": a text at (" << q.left << ", " << q.top << ") runs into the arrow at ("
                    << a.left << ", " << a.top << ")";
            if (isMark(q)) {
                EXPECT_GE(q.bottom - q.top, 12.0f) << "the in-battle mark is too small to read";
                EXPECT_LE(q.bottom, float(R.bottom) + 1.0f);
                EXPECT_LE(q.right, float(R.right) + 1.5f);
                continue;
            }
            EXPECT_TRUE(whole(q.bottom - q.top)) << "row " << i << ": a text at (" << q.left << ", " << q.top
                                                  << ") is cut to " << q.bottom - q.top << " units";
            EXPECT_LE(q.bottom, float(R.bottom) + 1.0f) << "row " << i << ": a text at (" << q.left << ", " << q.top
                                                        << ") ends below the row";
            EXPECT_LE(q.right, float(R.right) + 1.5f) << "row " << i;
        }
        ExpectApart(inRow, "row " + std::to_string(i));
    }
    // Above the first row: the rule's title and the music choice.
    std::vector<SpriteQuad> heading;
    for (const SpriteQuad& q : quads)
        if (q.top < float(rects[0].top)) heading.push_back(q);
    EXPECT_EQ(heading.size(), 3u);
    for (const SpriteQuad& q : heading) {
        EXPECT_TRUE(whole(q.bottom - q.top)) << "a heading text at (" << q.left << ", " << q.top << ") is cut";
        EXPECT_LE(q.bottom, 52.0f) << "a heading text at (" << q.left << ", " << q.top << ") runs into the first row";
    }
    ExpectApart(heading, "the heading");

    // Team 0's texts (its name and "玩家" or "AI" in the team column of
    // rows 0 and 2) over the sample room picture as it ships.
    std::string bytes;
    ASSERT_TRUE(plat::ReadWholeFile(QUILLON_RUN_DIR "/Quillon/netRoom.png", bytes));
    XorWords(bytes.data(), u32(bytes.size()), AssetKey);
    plat::Image backdrop;
    ASSERT_TRUE(plat::DecodeImage(bytes.data(), bytes.size(), &backdrop));
    ASSERT_EQ(backdrop.width, 1024u);
    // Every row's texts left of the team column's dark plate (the first
    // opaque pixel of the row's panel in the picture) end before it: a cut
    // name's dots too.
    for (i32 i = 0; i < 4; ++i) {
        const plat::GfxRect& R = rects[i];
        u32 plate = u32(R.left) + 1;
        const u32 y = u32(R.top + 30);
        while (plate < backdrop.width && backdrop.Surface(0, 0)[(size_t(y) * backdrop.width + plate) * 4 + 3] != 0xFF)
            ++plate;
        ASSERT_LT(plate, u32(R.right)) << "row " << i << ": no plate in the room picture";
        for (const SpriteQuad& q : quads) {
            if (q.top >= float(R.top) && q.top < float(R.bottom) && q.left >= float(R.left) && q.left < float(plate)) {
                EXPECT_LE(q.right, float(plate) + 0.5f) << "row " << i << ": a text at (" << q.left << ", " << q.top
                                                         << ") runs onto the plate at " << plate;
            }
        }
    }
    for (i32 i : {0, 2}) {
        const plat::GfxRect& R = rects[i];
        for (const SpriteQuad& q : quads) {
            if (q.colour == 0xFF000000u || q.left < float(R.left + 897) - 48.0f || q.top < float(R.top) ||
                q.top >= float(R.bottom))
                continue;
            ++teamZero;
            double worst = 99.0;
            for (u32 y = u32(q.top); y < u32(std::ceil(q.bottom)); ++y)
                for (u32 x = u32(q.left); x < u32(std::ceil(q.right)) && x < backdrop.width; ++x) {
                    u32 p = 0;
                    std::memcpy(&p, backdrop.Surface(0, 0).data() + (size_t(y) * backdrop.width + x) * 4, 4);
                    // Over black, the darkest sky behind a see-through pixel.
                    const u32 a = p >> 24;
                    u32 shown = 0;
                    for (u32 shift : {16u, 8u, 0u}) shown |= (((p >> shift) & 0xFF) * a / 255) << shift;
                    worst = std::min(worst, Contrast(q.colour & 0xFFFFFF, shown));
                }
            EXPECT_GE(worst, 4.5) << "row " << i << ": team 0's text at (" << q.left << ", " << q.top << ") in "
                                  << std::hex << q.colour << " on the room picture";
        }
    }
    EXPECT_EQ(teamZero, 4u) << "team 0's name and kind in two rows";

    GetTextureCache()->Clear();
    ReleaseTextRenderTarget();
    app.startupDir[0] = 0;
}

// A ready player hears, in the room's chat, whom the start waits for: the
// players still in the battle (or on its results) and those not ready,
// each line once when its names change and never again frame after frame;
// a computer row is never waited for, and readying anew says it again.
TEST(OnlineScreens, AReadyRoomSaysOnceWhomTheStartWaitsFor)
{
    RecordingGraphics gfx;
    ASSERT_NO_FATAL_FAILURE(MakeRoomFonts());
    TempFolder play;
    CApplication& app = *GetApplication();
    SetUpRoom(play, 4);
    const char* names[4] = {"Alice", "Bob", "Carol", "Gunner"};
    for (i32 i = 0; i < 4; ++i) {
        std::strcpy(app.players[i].name, names[i]);
        app.players[i].slotState = i == 3 ? 2 : 1;
        app.players[i].joined = i < 3;
    }
    app.players[1].inBattle = 1;  // Bob sits on the battle's results
    // What the room said between the login and its screen is kept; what
    // came before the login goes.
    app.AddChatLine("a battle's line", 0xFFFFFFFFu);
    app.BeginRoomChat();
    app.AddChatLine("---Carol entered---", 0xFF00FF00u);
    CRoomScene* room = OpenRoom();
    ASSERT_EQ(app.chatLog.GetCount(), 1u);
    EXPECT_EQ(app.chatLog.GetAt(0)->text, "---Carol entered---");
    TCB* upkeep = room->tasks.GetHead()->next;  // the system-key task runs first, every frame
    u32 seen = 1;
    auto framesSay = [&](int frames) {
        for (int f = 0; f < frames; ++f) EXPECT_EQ(upkeep->Proc(), 0);
        std::vector<std::string> lines;
        for (u32 j = app.chatLog.GetCount(); j-- > seen;) lines.push_back(app.chatLog.GetAt(j - seen)->text);
        seen = app.chatLog.GetCount();
        return lines;
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(framesSay(5), Lines{}) << "the room spoke before the player was ready";
    app.players[0].readyState = 1;
    EXPECT_EQ(framesSay(5), (Lines{"等待以下玩家回到房间：Bob", "等待以下玩家准备：Carol"}));
    app.players[2].readyState = 1;
    EXPECT_EQ(framesSay(5), Lines{});
    app.players[1].returnMarker = 0;  // Bob back in the room, not ready yet
    EXPECT_EQ(framesSay(5), Lines{"等待以下玩家准备：Bob"});
    app.players[0].readyState = 0;  // Alice cancels and readies again
    EXPECT_EQ(framesSay(5), Lines{});
    app.players[0].readyState = 1;
    EXPECT_EQ(framesSay(5), Lines{"等待以下玩家准备：Bob"});

    // F1 while Bob sits on the results again is kept, not lost: the room
    // says it waits for Bob, and when Bob leaves instead of coming back the
    // ready goes out by itself.
    RoomServer server(1, RoomServerConfig{0, 4, "Kept ready room", 0});
    NetClientPair& pair = *GetOnlineClients();
    ASSERT_EQ(pair.game.Connect("127.0.0.1", server.GamePort(0), 0), CClient::ConnectOk);
    ASSERT_EQ(pair.data.Connect("127.0.0.1", server.DataPort(0), 1), CClient::ConnectOk);
    for (const u32 start = plat::TimeGetTime(); !pair.BothConnected() && plat::TimeGetTime() - start < 60000;)
        plat::Sleep(2);
    ASSERT_TRUE(pair.BothConnected());
    app.players[0].readyState = 0;
    app.players[0].robot = 3;
    app.players[1].readyState = 0;
    app.players[1].inBattle = 1;
    EXPECT_EQ(framesSay(5), Lines{});
    RMTCB_Proc_Normal* normal = nullptr;
    for (TCB* t = room->tasks.GetHead()->next; t != room->tasks.GetTail(); t = t->next)
        if (auto* n = dynamic_cast<RMTCB_Proc_Normal*>(t)) normal = n;
    ASSERT_NE(normal, nullptr);
    for (int f = 0; f < 130; ++f) EXPECT_EQ(normal->Proc(), 0) << "the room's wait for F1 ended by itself";
    app.input.keyTable[plat::vk::F1] = 0x80;
    EXPECT_EQ(normal->Proc(), 0);
    app.input.keyTable[plat::vk::F1] = 0;
    EXPECT_EQ(normal->Proc(), 0);
    EXPECT_EQ(framesSay(5), Lines{"等待以下玩家回到房间：Bob"});
    EXPECT_EQ(app.players[0].readyState, 0) << "ready while a player was still on the results";
    app.players[1].joined = 0;  // Bob leaves from the results
    app.players[1].slotState = 0;
    framesSay(1);
    normal->Proc();
    EXPECT_EQ(app.players[0].readyState, 2) << "the F1 pressed while Bob was on the results was lost";
    pair.DisconnectBoth();
    delete room;
    SetOutgoingTap(nullptr, nullptr);
    GetTextureCache()->Clear();
    ReleaseTextRenderTarget();
    app.startupDir[0] = 0;
}
