// The room and the login room list as the player sees them: where each text
// lands and at what size, read back from the recording device's sprite
// quads, with the room built by its own set-up in a play folder of our own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/player/RoomState.h"
#include "engine/graphics/DisplaySettings.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "online/login/LoginScene.h"
#include "app/net/ClientMessages.h"
#include "app/net/NetClientPair.h"
#include "online/room/RoomScene.h"
#include "platform/core/ByteOrder.h"
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

// A text of font 1 drawn in white with its top-left corner at (x, y) of the
// layout, scaled by `scale`; a shadow's black copy does not count.
struct Shown {
    const char* screen;
    std::string text;
    float x, y, scale;
};

bool Found(const std::vector<SpriteQuad>& quads, const Shown& s, SpriteQuad* where)
{
    plat::Font* font = GetGraphicsDevice()->fonts[1];
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

}  // namespace

// From the title straight into the room (no character selection before), the
// room offers the player's own music; ID and EXP are drawn at 0.8 and apart;
// the room list names each room after its stage and shows the chosen room's
// places under "房间信息" at (476, 100).
TEST(OnlineScreens, RoomAndRoomListShowTheirTextsInPlaceAndSize)
{
    RecordingGraphics gfx;
    GraphicsDevice* gd = GetGraphicsDevice();
    ASSERT_EQ(gd->CreateFont(1, "黑体", 24), plat::GfxResult::Ok);
    GetDisplaySettings() = DisplaySettings{1, 1024, 768, 1.0f, 1.0f};
    ASSERT_EQ(CreateTextRenderTarget(1024, 768), 1);

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
    GetRoomState().ownSlot = 0;
    GetRoomState().rule = 0;
    SetOutgoingTap([](const u8*, u32, void*) {}, nullptr);

    auto* room = new CRoomScene();
    SceneInstance<CRoomScene>() = room;
    room->Init();
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
        {"room", "ID:mI4qsB", 520, 54, 0.8f},
        {"room", "EXP:12345", 630, 54, 0.8f},
        {"room", "ID:aaaaaa", 520, 96, 0.8f},
        {"room", "[BGM选择]", 680, 10, 1.0f},
        {"room", "随机BGM   ", 680, 30, 1.0f},
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
