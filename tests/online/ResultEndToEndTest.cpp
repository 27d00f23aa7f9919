// A battle's end in three real games (offscreen) through the test room
// server: a pause menu open when the battle is decided, and a result left
// alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/player/PlayerProfile.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Image.h"
#include "support/OnlineGames.h"
#include "support/PlayFolder.h"

namespace {

namespace fs = std::filesystem;

// A profile of `exp` experience, saved where the game of `folder` looks.
void SaveProfile(const PlayFolder& folder, const char* name, u32 exp)
{
    PlayerProfile profile;
    std::snprintf(profile.name, sizeof profile.name, "%s", name);
    profile.exp = exp;
    profile.rankLevel = RankForExp(exp);
    u8 image[ProfileFileSize];
    profile.WriteImage(image, 0x2468ACE1u);
    fs::create_directories(folder.temp / "data/Tervalis");
    ASSERT_TRUE(folder.temp.Write(std::string("data/Tervalis/") + name + ".psd",
                                  std::string(reinterpret_cast<const char*>(image), sizeof image)));
}

// The experience the game saved for `name`; -1 without a readable profile.
i64 SavedExp(const PlayFolder& folder, const char* name)
{
    std::string bytes;
    PlayerProfile profile;
    const std::string path = folder.temp / (std::string("data/Tervalis/") + name + ".psd");
    if (!plat::ReadWholeFile(path.c_str(), bytes)) return -1;
    if (profile.ReadImage(reinterpret_cast<const u8*>(bytes.data()), u32(bytes.size())) != 1) return -1;
    return profile.exp;
}

bool Won(const PlayFolder& folder)
{
    std::ifstream in(folder.run + "/BattleHash.log");
    for (std::string line; std::getline(in, line);)
        if (line.find("result won") != std::string::npos) return true;
    return false;
}

// The same script for a 640 x 480 window: its clicks scaled by 5/8.
std::string At640(const std::string& script)
{
    std::string out;
    size_t from = 0;
    for (size_t at; (at = script.find(" click ", from)) != std::string::npos;) {
        int x = 0, y = 0, used = 0;
        out += script.substr(from, at - from);
        if (std::sscanf(script.c_str() + at, " click %d %d%n", &x, &y, &used) != 2) {
            out += " click ";
            from = at + 7;
            continue;
        }
        out += " click " + std::to_string(x * 5 / 8) + " " + std::to_string(y * 5 / 8);
        from = at + size_t(used);
    }
    return out + script.substr(from);
}

// Where a result table's shot shows the result background's frame (the
// colour of the sample picture's opaque edge), in layout units: the box
// round those pixels and their count.
struct FrameSeen {
    u32 count = 0;
    u32 left = 1024, top = 768, right = 0, bottom = 0;
};
FrameSeen ResultBackground(const plat::Image& shot)
{
    std::string bytes;
    plat::Image back;
    EXPECT_TRUE(plat::ReadWholeFile(QUILLON_RUN_DIR "/Quillon/NetResult.png", bytes));
    XorWords(bytes.data(), u32(bytes.size()), AssetKey);
    EXPECT_TRUE(plat::DecodeImage(bytes.data(), bytes.size(), &back));
    u32 edge = 0;
    std::memcpy(&edge, back.surfaces[0].data(), 4);
    FrameSeen seen;
    for (u32 y = 0; y < shot.height; ++y)
        for (u32 x = 0; x < shot.width; ++x) {
            const u32 p = PixelAt(shot, x, y);
            bool near = true;
            for (int c = 0; c < 24; c += 8) near = near && std::abs(int(p >> c & 0xFF) - int(edge >> c & 0xFF)) <= 12;
            if (!near) continue;
            const u32 lx = x * 1024 / shot.width, ly = y * 768 / shot.height;
            ++seen.count;
            seen.left = std::min(seen.left, lx), seen.top = std::min(seen.top, ly);
            seen.right = std::max(seen.right, lx), seen.bottom = std::max(seen.bottom, ly);
        }
    return seen;
}

}  // namespace

// Everyone starts at 50,000 experience. Carol joins Alice's team, Bob stays
// on his own and goes back to the room early in a battle whose clock stands
// past two minutes; his robot falls and Alice and Carol win. Alice has her
// menu open on the way back to the room as the battle ends: the menu goes
// before the result shows, and her Enters step through the result, not the
// menu. Carol leaves her result alone; it takes her back to the room by
// itself. Both winners are saved with the same experience; Bob paid for
// leaving. Alice plays in a 1024 x 768 window, Carol in 640 x 480: on both
// the result background stands clear of the table's rows.
TEST(OnlineEndToEnd, AMenuOpenAtTheBattlesEndClosesAndBothWinnersGainAlike)
{
    RoomServer server(1, RoomServerConfig{0, 4, "Result room", 0}, 2502, 3502);
    ASSERT_TRUE(server.Listening()) << "the result test's room ports are taken";
    PlayFolder alice("Alice"), bob("Bob"), carol("Carol");
    std::string config = carol.temp.Read("run/Config.ini");
    config.replace(config.find("w=1024\nh=768"), 12, "w=640\nh=480");
    ASSERT_TRUE(carol.temp.Write("run/Config.ini", config));
    SaveProfile(alice, "Alice", 50000);
    SaveProfile(bob, "Bob", 50000);
    SaveProfile(carol, "Carol", 50000);
    std::string a = LoginSteps(), b = LoginSteps(), c = LoginSteps();
    for (std::string* s : {&a, &b, &c}) *s += ScriptStep(37500, "wait members 3");
    c += ScriptStep(38000, "click 882 100");  // her team, one to the left: Alice's
    b += ScriptStep(41000, "key F1");
    c += ScriptStep(41500, "key F1");
    a += ScriptStep(42000, "key F1");
    for (std::string* s : {&a, &b, &c}) *s += ScriptStep(47500, "wait battle running");
    b += LeaveToRoom(50000) + ScriptStep(54000, "wait scene room") + ScriptStep(56000, "close");
    // The battle before the menu: the stage is the server's draw, so its
    // light is what the result shots are held to.
    a += ScriptStep(51500, "key VK_SNAPSHOT");
    // The menu on "-待机房间-" long before the fall at frame 600.
    a += ScriptStep(52000, "key Escape");
    for (int i = 1; i <= 3; ++i) a += ScriptStep(52000 + 500 * i, "key Down");
    // The result picture, the table and the experience notice, each shot.
    a += ScriptStep(56000, "wait result won") + ScriptStep(57000, "key VK_SNAPSHOT");
    for (int t = 58500; t < 80000; t += 1500) a += ScriptStep(t, "key Enter");
    a += ScriptStep(59500, "key VK_SNAPSHOT") + ScriptStep(61000, "key VK_SNAPSHOT");
    a += ScriptStep(81000, "wait scene room") + ScriptStep(82000, "close");
    c += ScriptStep(56000, "wait result won") + ScriptStep(67000, "key VK_SNAPSHOT");
    c += ScriptStep(68000, "wait scene room") + ScriptStep(69000, "close");
    ASSERT_TRUE(alice.temp.Write("play.script", a));
    ASSERT_TRUE(bob.temp.Write("play.script", b));
    ASSERT_TRUE(carol.temp.Write("play.script", At640(c)));
    const std::vector<std::string> env = {"QUILLON_TEST_HASH_LOG=1", "QUILLON_TEST_FALL_FRAME=600",
                                          "QUILLON_TEST_BATTLE_CLOCK=150", "QUILLON_TEST_PORT_BASE=2502"};
    GameProcess pa(alice.exe, alice.run, alice.Env(env), alice.temp / "err.txt");
    ASSERT_TRUE(pa.Started() && Seated(server, 1)) << alice.temp.Read("err.txt");
    // Carol sits beside Alice, Bob last.
    GameProcess pc(carol.exe, carol.run, carol.Env(env), carol.temp / "err.txt");
    ASSERT_TRUE(pc.Started() && Seated(server, 2)) << carol.temp.Read("err.txt");
    GameProcess pb(bob.exe, bob.run, bob.Env(env), bob.temp / "err.txt");
    ASSERT_TRUE(pb.Started());
    EXPECT_EQ(pb.Wait(std::chrono::seconds(400)), 0) << bob.temp.Read("err.txt");
    EXPECT_EQ(pa.Wait(std::chrono::seconds(400)), 0) << alice.temp.Read("err.txt");
    EXPECT_EQ(pc.Wait(std::chrono::seconds(400)), 0) << carol.temp.Read("err.txt");
    ASSERT_NE(server.StartValue(0), 0u) << "the server never started the game";
    EXPECT_TRUE(Won(alice)) << alice.temp.Read("err.txt");
    EXPECT_TRUE(Won(carol)) << carol.temp.Read("err.txt");

    // Each back in the room by way of the result: Bob from his menu, Alice
    // after her Enters, Carol on her own.
    int returns = 0;
    for (const auto& m : server.Received(0)) returns += m[0] == 9;
    EXPECT_EQ(returns, 3);
    EXPECT_EQ(SavedExp(alice, "Alice"), 70000) << "the winner with the menu open";
    EXPECT_EQ(SavedExp(carol, "Carol"), 70000) << "the winner who left her result alone";
    EXPECT_EQ(SavedExp(bob, "Bob"), 40000) << "leaving a battle past two minutes";

    // Alice's result picture, table and notice: no menu over them, neither
    // its red bar on the way back to the room nor its dark cover.
    auto red = [](u32 p) {
        const u32 r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        return r > g + 40 && r > b + 40;
    };
    // The ground's light, where neither view has its HUD.
    plat::Image before;
    ASSERT_TRUE(alice.Shot(0, before, "online_result_before"));
    const double ground = Brightness(before, 700, 600, 900, 690);
    for (int n = 0; n < 3; ++n) {
        plat::Image shot;
        ASSERT_TRUE(alice.Shot(n + 1, shot, "online_result_" + std::to_string(n))) << n;
        // Right of the result background, which stands under the table.
        EXPECT_LT(CountPixels(shot, 620, 505, 1020, 545, red), 50u) << "the menu's bar over shot " << n;
        // The cover halves the light; the frozen battle keeps the rest.
        if (n < 2) {
            EXPECT_GT(Brightness(shot, 700, 600, 900, 690), 0.8 * ground) << "the menu's cover over shot " << n;
        }
    }
    plat::Image aliceTable, carolTable;
    ASSERT_TRUE(alice.Shot(2, aliceTable));
    ASSERT_TRUE(carol.Shot(0, carolTable, "online_result_countdown"));

    // The result background in both windows: whole, below the table's last
    // row place (y 520) and above the notice line (y 700), so nothing is
    // written over its middle nor it over a row.
    for (const plat::Image* table : {&aliceTable, &carolTable}) {
        const FrameSeen back = ResultBackground(*table);
        const std::string where = table == &aliceTable ? "Alice's table" : "Carol's table";
        EXPECT_GT(back.count, table->width * 2) << where;
        EXPECT_GE(back.top, 521u) << where << ": the background reaches up into the rows";
        EXPECT_LE(back.bottom, 700u) << where;
        EXPECT_GE(back.right - back.left, 120u) << where;
        EXPECT_GE(back.bottom - back.top, 120u) << where;
    }
}
