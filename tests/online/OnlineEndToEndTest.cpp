// Three real games (offscreen) and the test room server: they log in
// through the login scene, meet in the room, chat, change a robot and a
// setting and a team, one leaves, the other two get ready and the server starts the
// game, which both enter.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "support/GameProcess.h"
#include "support/RoomServer.h"

namespace {

namespace fs = std::filesystem;

// A run folder of the player's own: links to everything the build's run
// folder holds but the settings, the server list and the screenshots.
struct PlayerFolder {
    TempFolder temp;
    std::string run = temp / "run";
    std::string exe = run + "/quillon";

    explicit PlayerFolder(const std::string& name)
    {
        fs::create_directory(run);
        for (const auto& entry : fs::directory_iterator(QUILLON_RUN_DIR)) {
            const std::string leaf = entry.path().filename().string();
            if (leaf == "Config.ini" || leaf == "server.ini" || leaf == "ScreenShot" || leaf == "quillon") continue;
            fs::create_symlink(entry.path(), run + "/" + leaf);
        }
        std::error_code error;
        fs::create_hard_link(GamePath(), exe, error);
        if (error) fs::copy_file(GamePath(), exe, error);
        EXPECT_FALSE(error) << error.message();
        EXPECT_TRUE(temp.Write("run/Config.ini",
                               "[Window]\nw=1024\nh=768\nFullScreen=0\n[GameSetting]\nVolumeBGM=80\nVolumeSE=80\n"
                               "VolumeVOICE=80\nKEY_左=37\nKEY_上=38\nKEY_右=39\nKEY_下=40\nDefaultName=" +
                                   name + "\n"));
        EXPECT_TRUE(temp.Write("run/server.ini", "[ServerList]\nCnt=1\nS0_IP=127.0.0.1\nS0_Name=Loopback\n"));
    }
    std::vector<std::string> Env() const
    {
        return {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "ALSOFT_DRIVERS=null", "QUILLON_QUIET_BOXES=1",
                "QUILLON_INPUT_SCRIPT=" + temp / "play.script", "QUILLON_REGISTRY_FILE=" + temp / "registry.ini",
                "QUILLON_INSTANCE_DIR=" + temp.Path(), "XDG_DATA_HOME=" + temp / "data",
                "ASAN_OPTIONS=detect_leaks=0"};
    }
};

// Title to the login scene, the first server of the list, log in and take
// the first room; `at` shifts the whole script.
std::string LoginSteps(int at)
{
    std::string s = "300 button 1\n";
    auto step = [&](int t, const std::string& what) { s += std::to_string(at + t) + " " + what + "\n"; };
    for (int t = 1000; t <= 8000; t += 1000) step(t, "key Enter");
    for (int i = 0; i < 7; ++i) step(9500 + 1000 * i, "key Down");
    step(17000, "key Enter");
    step(20000, "click 200 250");
    step(21000, "click 850 700");
    step(26000, "key Enter");
    step(29000, "key Enter");
    return s;
}

std::string Step(int t, const std::string& what) { return std::to_string(t) + " " + what + "\n"; }

u32 CountPixels(const plat::Image& image, int left, int top, int right, int bottom, bool (*test)(u32))
{
    u32 n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            u32 p = 0;
            std::memcpy(&p, image.surfaces[0].data() + (size_t(y) * image.width + x) * 4, 4);
            n += test(p) ? 1 : 0;
        }
    return n;
}

}  // namespace

TEST(OnlineEndToEnd, ThreeGamesMeetInTheRoomOneLeavesTwoStart)
{
    RoomServer server(1, RoomServerConfig{0, 4, "Test room", 240000}, 2362, 3362);
    ASSERT_TRUE(server.Listening()) << "the default room ports are taken";
    PlayerFolder alice("Alice"), bob("Bob"), carol("Carol");
    // Alice logs in first (she is the host), Bob 6 s later, Carol 12 s later.
    std::string a = LoginSteps(0), b = LoginSteps(6000), c = LoginSteps(12000);
    a += Step(20600, "key VK_SNAPSHOT");  // the login screen, server and ID filled in
    a += Step(40000, "text hello");
    a += Step(40500, "key Enter");
    b += Step(41000, "click 502 100");   // his robot, one to the right
    b += Step(41700, "click 898 100");   // his team, one to the right
    a += Step(42000, "click 995 488");   // network delay, one up
    c += Step(45000, "key Escape");      // Carol leaves the room
    a += Step(57000, "key VK_SNAPSHOT");  // long after Carol left, even on a loaded machine
    b += Step(58000, "key F1");
    a += Step(59000, "key F1");
    for (std::string* s : {&a, &b}) *s += Step(83000, "close");
    c += Step(60000, "close");
    ASSERT_TRUE(alice.temp.Write("play.script", a));
    ASSERT_TRUE(bob.temp.Write("play.script", b));
    ASSERT_TRUE(carol.temp.Write("play.script", c));

    GameProcess pa(alice.exe, alice.run, alice.Env(), alice.temp / "err.txt");
    GameProcess pb(bob.exe, bob.run, bob.Env(), bob.temp / "err.txt");
    GameProcess pc(carol.exe, carol.run, carol.Env(), carol.temp / "err.txt");
    ASSERT_TRUE(pa.Started() && pb.Started() && pc.Started());
    EXPECT_EQ(pc.Wait(std::chrono::seconds(150)), 0) << carol.temp.Read("err.txt");
    EXPECT_EQ(pa.Wait(std::chrono::seconds(150)), 0) << alice.temp.Read("err.txt");
    EXPECT_EQ(pb.Wait(std::chrono::seconds(60)), 0) << bob.temp.Read("err.txt");
    EXPECT_TRUE(server.StartValue(0) != 0) << "the server never started the game";

    // What the server saw, in order: three logins, the chat line, Bob's
    // robot change, the delay change, and both ready.
    int logins = 0, chats = 0, slots = 0, settings = 0, ready = 0;
    std::vector<u8> bobTeams;
    for (const auto& m : server.Received(0)) {
        logins += m[0] == 0;
        chats += m[0] == 15;
        slots += m[0] == 1;
        if (m[0] == 1 && m.size() >= 35 && m[1] == 1) bobTeams.push_back(m[31]);
        settings += m[0] == 4 && m.size() == 37 && m[5] == 3;
        ready += m[0] == 8 && m.size() == 5 && m[1] == 1;
    }
    EXPECT_EQ(logins, 3);
    EXPECT_EQ(chats, 1);
    EXPECT_GE(slots, 2);
    ASSERT_GE(bobTeams.size(), 2u);
    EXPECT_NE(bobTeams.front(), bobTeams.back()) << "Bob's team never changed";
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(ready, 2);

    // Alice's room: both names in their rows, the chat line and Carol's
    // leaving line in the chat panel.
    std::vector<std::string> shots;
    for (const auto& e : fs::directory_iterator(alice.run + "/ScreenShot")) shots.push_back(e.path().string());
    std::sort(shots.begin(), shots.end());
    ASSERT_EQ(shots.size(), 2u);
    auto load = [](const std::string& path, plat::Image& image) {
        std::string bytes;
        return plat::ReadWholeFile(path.c_str(), bytes) && plat::DecodeImage(bytes.data(), bytes.size(), &image);
    };
    plat::Image login, image;
    ASSERT_TRUE(load(shots[0], login));
    ASSERT_TRUE(load(shots[1], image));
    ASSERT_EQ(image.width, 1024u);
    auto bright = [](u32 p) { return ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) > 200; };
    // The login screen: the server's address and the ID in their fields.
    EXPECT_GT(CountPixels(login, 262, 129, 500, 156, bright), 30u) << "the address field";
    EXPECT_GT(CountPixels(login, 263, 181, 500, 208, bright), 30u) << "the ID field";
    fs::copy_file(shots[0], std::string(QUILLON_RUN_DIR) + "/online_login.png", fs::copy_options::overwrite_existing);
    shots.erase(shots.begin());
    auto green = [](u32 p) { return ((p >> 8) & 0xFF) > 200 && ((p >> 16) & 0xFF) < 80 && (p & 0xFF) < 80; };
    auto white = [](u32 p) { return ((p >> 16) & 0xFF) > 220 && ((p >> 8) & 0xFF) > 220 && (p & 0xFF) > 220; };
    EXPECT_GT(CountPixels(image, 520, 73, 800, 96, green), 40u) << "Alice's own row";
    EXPECT_GT(CountPixels(image, 520, 115, 800, 138, white), 40u) << "Bob's row";
    EXPECT_GT(CountPixels(image, 22, 480, 729, 600, white), 60u) << "the chat lines";
    EXPECT_LT(CountPixels(image, 520, 157, 800, 180, white), 10u) << "Carol's row, empty once she left";
    auto leaving = [](u32 p) { return ((p >> 16) & 0xFF) > 220 && ((p >> 8) & 0xFF) < 60; };
    EXPECT_GT(CountPixels(image, 22, 480, 729, 600, leaving), 40u) << "Carol's leaving line";
    // Kept beside the other test pictures for a look.
    const std::string shot = std::string(QUILLON_RUN_DIR) + "/online_room.png";
    fs::copy_file(shots[0], shot, fs::copy_options::overwrite_existing);
}
