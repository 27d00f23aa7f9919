#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/core/Application.h"
#include "app/core/MainLoop.h"
#include "app/player/PilotRegistry.h"
#include "app/player/RoomState.h"
#include "online/login/LoginScene.h"
#include "online/room/RoomScene.h"
#include "app/net/NetClientPair.h"
#include "platform/core/Ini.h"
#include "platform/core/MessageBox.h"
#include "platform/core/Time.h"
#include "platform/input/Keyboard.h"
#include "platform/net/Socket.h"
#include "roomserver/RoomServer.h"
#include "support/TempFolder.h"

namespace {

// A room server on a free stretch of ports, which the application's client
// pair is pointed at; `alsoTake` may claim more of the stretch.
std::unique_ptr<RoomServer> ServeRoomZero(NetClientPair& pair, const std::function<bool(u16)>& alsoTake)
{
    for (u16 base = 42000; base < 60000; base += 97) {
        auto s = std::make_unique<RoomServer>(1, RoomServerConfig{}, base, u16(base + 1000));
        if (!s->Listening() || !alsoTake(base)) continue;
        pair.gamePortBase = base;
        pair.dataPortBase = u16(base + 1000);
        return s;
    }
    return nullptr;
}

void RestorePorts(NetClientPair& pair)
{
    pair.DisconnectBoth();
    pair.gamePortBase = kDefaultGamePort;
    pair.dataPortBase = kDefaultDataPort;
}

template <class T>
T* FindTask(CList<TCB>& list)
{
    for (TCB* t = list.GetHead()->next; t && t != list.GetTail(); t = t->next)
        if (auto* found = dynamic_cast<T*>(t)) return found;
    return nullptr;
}

}  // namespace

TEST(PlayerIdCode, PairsOfDigitsPickLettersOfTheAlphabet)
{
    const std::pair<u32, const char*> cases[] = {
        {12345678, "mI4qsB"}, {0, "aaaaaa"}, {99999999, "LLLLLL"}, {61, "aaa9bg"}, {4294967295u, "GIkHHX"}};
    for (auto [number, code] : cases) {
        char out[7];
        PlayerIdCode(out, number);
        EXPECT_STREQ(out, code) << number;
    }
}

// The scan asks the five rooms one step per frame: a room that answers is
// offered, one that refuses and one that accepts but stays silent are not.
TEST(LoginScan, RoomsThatAnswerRefuseOrStaySilent)
{
    TempFolder temp;
    CApplication& app = *GetApplication();
    std::strncpy(app.startupDir, temp.Path().c_str(), sizeof app.startupDir - 1);
    NetClientPair& pair = *GetOnlineClients();
    // A free stretch of ports: room 0 served, 1 refused, 2 silent, 3 and 4 refused.
    plat::SocketId silent = plat::InvalidSocket;
    std::unique_ptr<RoomServer> server = ServeRoomZero(pair, [&](u16 base) {
        u16 silentPort = u16(base + 1002);
        silent = plat::NetListenTcp(0x7F000001u, &silentPort, 4);
        return silent != plat::InvalidSocket;
    });
    ASSERT_TRUE(server);
    std::strcpy(pair.serverAddress, "127.0.0.1");

    // The ID left empty logs in under the chosen pilot's name, though its
    // file ends the name with a line break.
    ScopedEnv dataHome{"XDG_DATA_HOME", temp.Path().c_str()};
    std::filesystem::create_directories(temp.Path() + "/pilot/Rex");
    ASSERT_TRUE(temp.Write("pilot/Rex/pilot.txt", "Rex\r\n"));
    PilotRegistry& pilots = *GetPilotRegistry();
    pilots.ScanFolders(temp.Path().c_str());
    pilots.LoadPilotHeaders();
    ASSERT_EQ(pilots.count, 1);
    pair.playerName[0] = 0;
    pair.pilotChoice = 0;

    auto* scene = new CLoginScene();
    SceneInstance<CLoginScene>() = scene;
    LGTCB_Proc_Normal* task = LGTCB_Proc_Normal::Create(&scene->Tasks(), 10);
    const plat::GfxRect& login = scene->regions[14];
    app.input.mousePos[0] = login.left + 1;
    app.input.mousePos[1] = login.top + 1;
    app.input.mouseButtons[0] = 1;
    task->Proc();
    app.input.mouseButtons[0] = 0;
    EXPECT_STREQ(pair.playerName, "Rex");
    ASSERT_EQ(task->state, &LGTCB_Proc_Normal::Proc_Scan);
    const u32 start = plat::TimeGetTime();
    u32 frames = 0;
    while (task->state != &LGTCB_Proc_Normal::Proc_RoomChoice && plat::TimeGetTime() - start < 60000) {
        task->Proc();
        ++frames;
        plat::Sleep(5);
    }
    EXPECT_EQ(task->state, &LGTCB_Proc_Normal::Proc_RoomChoice);
    EXPECT_GT(frames, 20u);  // many frames: the window kept running meanwhile
    EXPECT_EQ(pair.roomStatusFlag[0], 2);
    for (int r = 1; r < 5; ++r) EXPECT_EQ(pair.roomStatusFlag[r], 0) << r;
    EXPECT_STREQ(ViewRoomStatus(pair.roomStatus[0]).title, "Test room");
    EXPECT_FALSE(pair.data.IsConnected());

    delete scene;
    plat::NetClose(silent);
    RestorePorts(pair);
    app.startupDir[0] = 0;
}

// IDs that cannot name a profile file are refused; a login the server never
// answers (or answers with a code this client does not know) gives up after
// its time with a failure, and Enter leads back to the room choice. In the
// room, F1 without a robot is refused with a chat line and no ready state.
// A server list of a thousand rooms among a lot of junk: read in one pass
// over the file, not one pass per key.
TEST(LoginServerList, AThousandServersAreReadFromOnePassOverTheFile)
{
    CApplication& app = *GetApplication();
    TempFolder temp;
    std::string text = "[ServerList]\r\nCnt=5000\r\n";
    for (int i = 0; i < 20000; ++i) text += "Junk" + std::to_string(i) + "=0123456789\r\n";
    for (int i = 999; i >= 0; --i)
        text += "s" + std::to_string(i) + "_ip=10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) +
                "\r\nS" + std::to_string(i) + "_Name=\"Room " + std::to_string(i) + "\"\r\n";
    text += "[ServerList]\r\nS0_IP=late\r\n";
    ASSERT_TRUE(temp.Write("server.ini", text));
    char saved[sizeof app.startupDir];
    std::memcpy(saved, app.startupDir, sizeof saved);
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", temp.Path().c_str());
    CLoginScene scene;
    const u64 parses = plat::IniParseCount();
    scene.ReadServerList();
    EXPECT_EQ(plat::IniParseCount() - parses, 1u);
    std::memcpy(app.startupDir, saved, sizeof saved);
    ASSERT_EQ(scene.serverEntries.size(), 1000u) << "the count is capped at a thousand";
    EXPECT_EQ(scene.serverEntries[0].address, "10.0.0.0");
    EXPECT_EQ(scene.serverEntries[0].name, "Room 0");
    EXPECT_EQ(scene.serverEntries[999].address, "10.0.3.231");
    EXPECT_EQ(scene.serverEntries[999].name, "Room 999");
}

// A server.ini that is no list at all is named with the reason, in a
// notice that does not stop the login screen; none at all stays silent.
TEST(LoginServerList, ADamagedServerListIsNamedWithItsReason)
{
    CApplication& app = *GetApplication();
    TempFolder temp;
    char saved[sizeof app.startupDir];
    std::memcpy(saved, app.startupDir, sizeof saved);
    std::snprintf(app.startupDir, sizeof app.startupDir, "%s", temp.Path().c_str());
    const std::string file = temp / "server.ini";
    const struct {
        const char* bytes;  // null: a folder of that name; "": no file
        size_t size;
        size_t servers;
        const char* reason; // null: nothing said
    } cases[] = {
        {"", 0, 0, nullptr},
        {"[ServerList]\nCnt=1\nS0_IP=10.0.0.1\nS0_Name=A\n", 44, 1, nullptr},
        {"[ServerList]\nCnt=1\nS0_IP=10.0.0.1\n\0\x01\x7F\x02", 38, 1, "it holds binary data, not text"},
        {"[ServerList]\nCnt=1\nS0_IP=10.0.0.1\nS0_Name=\x82\xA0\n", 45, 1, "it is not UTF-8 text"},
        {"[ServerList]\nCnt=1\nS0_IP=10.0.0.1\nPK\x03\x04 junk\n", 44, 1,
         "line 4 is neither a [section], a key=value pair nor a comment"},
        {nullptr, 0, 0, "it is a folder, not a file"},
    };
    plat::TakeNotices();
    plat::HoldBoxesAsNotices(true);
    testing::internal::CaptureStderr();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason ? c.reason : "silent");
        std::filesystem::remove_all(file);
        if (c.bytes == nullptr) {
            ASSERT_TRUE(plat::CreateDirectory(file.c_str()));
        } else if (c.size > 0) {
            ASSERT_TRUE(temp.Write("server.ini", std::string(c.bytes, c.size)));
        }
        CLoginScene scene;
        scene.ReadServerList();
        EXPECT_EQ(scene.serverEntries.size(), c.servers) << "what can be read is still listed";
        const std::vector<std::string> notices = plat::TakeNotices();
        if (c.reason == nullptr) {
            EXPECT_TRUE(notices.empty()) << testing::PrintToString(notices);
            continue;
        }
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0], "The server list " + file + " cannot be used: " + c.reason + ".");
    }
    testing::internal::GetCapturedStderr();
    plat::HoldBoxesAsNotices(false);
    std::memcpy(app.startupDir, saved, sizeof saved);
}

TEST(OnlineFaults, BadIdsSilentLoginsAndReadyWithoutARobot)
{
    const std::pair<const char*, bool> ids[] = {
        {"Alice", true}, {"\xE6\x97\xA5\xE6\x9C\xAC", true}, {"a.b", true}, {".", false}, {"..", false},
        {"", false}, {"a\x01", false}, {"\x7F", false}, {"a/b", false}, {"a\\b", false}, {"a:b", false},
        {"a*b", false}, {"a|b", false}};
    for (auto [id, usable] : ids) EXPECT_EQ(IsUsablePlayerId(id), usable) << id;

    CApplication& app = *GetApplication();
    NetClientPair& pair = *GetOnlineClients();
    std::unique_ptr<RoomServer> server = ServeRoomZero(pair, [](u16) { return true; });
    ASSERT_TRUE(server);
    ASSERT_EQ(pair.game.Connect("127.0.0.1", pair.gamePortBase, 0), CClient::ConnectOk);
    ASSERT_EQ(pair.data.Connect("127.0.0.1", pair.dataPortBase, 1), CClient::ConnectOk);
    for (u32 start = plat::TimeGetTime(); !pair.BothConnected() && plat::TimeGetTime() - start < 60000;)
        plat::Sleep(5);
    ASSERT_TRUE(pair.BothConnected());

    auto* scene = new CLoginScene();
    SceneInstance<CLoginScene>() = scene;
    auto* wait = LGTCB_Proc_LoginSuccess::Create(&scene->Tasks(), 10);
    pair.game.loginResult = 77;
    EXPECT_EQ(wait->Proc(), kTaskKeep);
    wait->started -= 10001;
    EXPECT_EQ(wait->Proc(), kTaskRemove);
    EXPECT_FALSE(pair.game.IsConnected());
    auto* fail = FindTask<LGTCB_Proc_LoginFail>(scene->Tasks());
    ASSERT_NE(fail, nullptr);
    EXPECT_EQ(fail->Proc(), kTaskKeep);
    app.input.keyTable[plat::vk::Return] = 0x80;
    EXPECT_EQ(fail->Proc(), kTaskRemove);
    app.input.keyTable[plat::vk::Return] = 0;
    EXPECT_EQ(scene->loginOutcome, 2);
    delete scene;
    SceneInstance<CLoginScene>() = nullptr;

    ASSERT_EQ(pair.game.Connect("127.0.0.1", pair.gamePortBase, 0), CClient::ConnectOk);
    ASSERT_EQ(pair.data.Connect("127.0.0.1", pair.dataPortBase, 1), CClient::ConnectOk);
    for (u32 start = plat::TimeGetTime(); !pair.BothConnected() && plat::TimeGetTime() - start < 60000;)
        plat::Sleep(5);
    auto* room = new CRoomScene();
    SceneInstance<CRoomScene>() = room;
    for (i32 i = 0; i < app.players.GetCount(); ++i) app.players[i].Reset();
    GetRoomState().ownSlot = 0;
    app.players[0].slotState = 1;
    app.players[0].robot = -1;
    auto* normal = RMTCB_Proc_Normal::Create(&room->tasks, 10);
    normal->counter = 121;
    app.input.keyTable[plat::vk::F1] = 0x80;
    EXPECT_EQ(normal->Proc(), kTaskKeep);
    app.input.keyTable[plat::vk::F1] = 0;
    EXPECT_NE(app.players[0].readyState, 2);
    ASSERT_GT(app.chatLog.GetCount(), 0u);
    EXPECT_EQ(app.chatLog.GetHead()->next->text, "\xE8\xAF\xB7\xE9\x80\x89\xE6\x8B\xA9\xE6\x9C\xBA\xE4\xBD\x93");
    delete room;
    SceneInstance<CRoomScene>() = nullptr;
    RestorePorts(pair);
}

// What typing leaves in the two fields: the ID at most 23 bytes and the
// address at most 254, cut from the end on a whole character even with the
// caret in the middle; and which rooms a system's language hides.
TEST(LoginFields, IdAndAddressKeepTheirLengthOnWholeCharactersAndRoomsFitTheLocale)
{
    const std::string kana = "\xE3\x81\x82";  // three bytes
    struct Case {
        i32 field;
        std::string typed;
        i32 caretBack;  // arrow-left presses after typing
        std::string kept;
    } cases[] = {
        {1, std::string(30, 'a'), 0, std::string(23, 'a')},
        {1, std::string(23, 'b'), 0, std::string(23, 'b')},
        {1, std::string(21, 'c') + kana, 0, std::string(21, 'c')},
        {1, std::string(20, 'd') + kana + "e", 0, std::string(20, 'd') + kana},
        {1, kana + kana + kana + kana + kana + kana + kana + kana + kana + kana, 0,
         kana + kana + kana + kana + kana + kana + kana},
        {1, std::string(22, 'f'), 5, std::string(22, 'f')},
        {0, std::string(300, '9'), 0, std::string(254, '9')},
    };
    TempFolder temp;
    CApplication& app = *GetApplication();
    std::strncpy(app.startupDir, temp.Path().c_str(), sizeof app.startupDir - 1);
    NetClientPair& pair = *GetOnlineClients();
    auto* scene = new CLoginScene();
    SceneInstance<CLoginScene>() = scene;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        scene->focusField = c.field;
        app.lineEditor.Clear();
        for (unsigned char ch : c.typed) LoginTextEntryHook(MessageChar, ch, 1);
        for (i32 i = 0; i < c.caretBack; ++i) LoginTextEntryHook(MessageKeyDown, plat::vk::Left, 1);
        // More typed where the caret is: the line stays full, on whole characters.
        for (unsigned char ch : kana) LoginTextEntryHook(MessageChar, ch, 1);
        const std::string line = app.lineEditor.GetText();
        EXPECT_LE(line.size(), c.field == 0 ? 254u : 23u);
        EXPECT_EQ(std::string(c.field == 0 ? pair.serverAddress : pair.playerName), line);
        app.lineEditor.Clear();
        for (unsigned char ch : c.typed) LoginTextEntryHook(MessageChar, ch, 1);
        EXPECT_EQ(std::string(c.field == 0 ? pair.serverAddress : pair.playerName), c.kept);
        EXPECT_EQ(app.lineEditor.GetText(), c.kept);
    }
    app.lineEditor.Clear();
    delete scene;
    SceneInstance<CLoginScene>() = nullptr;
    pair.serverAddress[0] = pair.playerName[0] = 0;
    app.startupDir[0] = 0;

    const struct {
        u8 flag;
        bool japanese, offered;
    } rooms[] = {{0, true, true}, {1, true, false}, {2, true, true},
                 {0, false, false}, {1, false, true}, {2, false, true}};
    for (const auto& r : rooms) EXPECT_EQ(RoomFitsLocale(r.flag, r.japanese), r.offered) << int(r.flag) << r.japanese;
}
