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
#include "support/TextPicture.h"

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


// A layout rectangle's pixels in a shot of any window size.
struct ShotBox {
    u32 left, top, right, bottom;
};
ShotBox InShot(const plat::Image& shot, int left, int top, int right, int bottom)
{
    return {u32(left) * shot.width / 1024, u32(top) * shot.height / 768, u32(right) * shot.width / 1024,
            u32(bottom) * shot.height / 768};
}

// A room shot's own row (player row `row`): the pilot's face over the
// robot's picture at its left, and the cursor's frame round it, red at any
// brightness of its pulse. Empty when it is so; else what is missing.
std::string OwnRowMissing(const plat::Image& shot, int row)
{
    std::string missing;
    const int top = 54 + 42 * row, bottom = top + 42;
    // The face: skin and hair where the robot's picture is flat blue.
    const ShotBox face = InShot(shot, 14, top + 2, 66, bottom - 2);
    auto skin = [](u32 p) {
        const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        return r > 150 && r > b + 40 && g > 90;
    };
    const u32 area = (face.right - face.left) * (face.bottom - face.top);
    const u32 skinSeen = CountPixels(shot, face.left, face.top, face.right, face.bottom, skin);
    if (skinSeen * 8 < area) missing += " the pilot's face (" + std::to_string(skinSeen) + " of " + std::to_string(area) + ")";
    // The frame's top bar: the best line of the two layout units it covers.
    const ShotBox bar = InShot(shot, 20, top, 996, top + 2);
    auto frame = [](u32 p) { return (p >> 8 & 0xFF) < 24 && (p & 0xFF) < 24; };
    u32 best = 0;
    for (u32 y = bar.top; y <= bar.bottom && y < shot.height; ++y)
        best = std::max(best, CountPixels(shot, bar.left, y, bar.right, y + 1, frame));
    if (best * 10 < (bar.right - bar.left) * 9) missing += " the red frame (" + std::to_string(best) + ")";
    return missing;
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
    RoomServer server(1, RoomServerConfig{0, 4, "Result room", 0}, 2702, 3702);
    ASSERT_TRUE(server.Listening()) << "the result test's room ports are taken";
    // Bob's name is as long and wide as a name may be: his leaving is told
    // in the others' chat while their results show.
    const char* const bobName = "WOLFGANG_MAXIMILIAN_MW";
    PlayFolder alice("Alice"), bob(bobName), carol("Carol");
    std::string config = carol.temp.Read("run/Config.ini");
    config.replace(config.find("w=1024\nh=768"), 12, "w=640\nh=480");
    ASSERT_TRUE(carol.temp.Write("run/Config.ini", config));
    SaveProfile(alice, "Alice", 50000);
    SaveProfile(bob, bobName, 50000);
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
    a += ScriptStep(81000, "wait scene room");
    // The room right after the return, and on through its first seconds.
    for (int t = 81100; t < 84000; t += 500) a += ScriptStep(t, "key VK_SNAPSHOT");
    a += ScriptStep(84500, "close");
    c += ScriptStep(56000, "wait result won") + ScriptStep(67000, "key VK_SNAPSHOT");
    c += ScriptStep(68000, "wait scene room");
    for (int t = 68100; t < 71000; t += 500) c += ScriptStep(t, "key VK_SNAPSHOT");
    c += ScriptStep(71500, "close");
    ASSERT_TRUE(alice.temp.Write("play.script", a));
    ASSERT_TRUE(bob.temp.Write("play.script", b));
    ASSERT_TRUE(carol.temp.Write("play.script", At640(c)));
    const std::vector<std::string> env = {"QUILLON_TEST_HASH_LOG=1", "QUILLON_TEST_FALL_FRAME=600",
                                          "QUILLON_TEST_BATTLE_CLOCK=150", "QUILLON_TEST_PORT_BASE=2702"};
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
    EXPECT_EQ(SavedExp(bob, bobName), 40000) << "leaving a battle past two minutes";

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

    // Back in the room, from the first frame shot on: each own row shows its
    // pilot's face and the cursor's frame, in both window sizes.
    for (int n = 0; n < 6; ++n) {
        plat::Image room;
        ASSERT_TRUE(alice.Shot(4 + n, room, "online_room_return_" + std::to_string(n))) << n;
        EXPECT_EQ(OwnRowMissing(room, 0), "") << "Alice's room shot " << n;
        ASSERT_TRUE(carol.Shot(1 + n, room, "online_room_return_640_" + std::to_string(n))) << n;
        EXPECT_EQ(OwnRowMissing(room, 1), "") << "Carol's room shot " << n;
    }

    // Small text in 640 x 480 reads whole: the robot's name in Carol's row
    // (green, in the 18-pixel face shown 11 pixels high) is what the face
    // draws at 11 pixels, not a shrunk picture of it missing the stem of its
    // d. The same in 1024 x 768 in Alice's row, at the face's own height.
    plat::Image carolRoom, aliceRoom;
    ASSERT_TRUE(carol.Shot(1, carolRoom));
    ASSERT_TRUE(alice.Shot(4, aliceRoom));
    for (const auto& [room, row, height] : {std::tuple{&carolRoom, 1, 11}, std::tuple{&aliceRoom, 0, 18}}) {
        const TextCoverage want("Vanguard", "黑体", height);
        ASSERT_GT(want.width, 0) << "no face to draw the name with";
        const ShotBox name = InShot(*room, 12 + 56, 54 + 42 * row + 19, 0, 0);
        const int x = int(name.left) + want.left, y = int(name.top) + want.top;
        const int against = TextMismatch(*room, want, x - 3, y - 3, x + 3, y + 3, 8, false);
        EXPECT_LE(against * 50, want.width * want.height)
            << against << " pixels of " << want.width << " x " << want.height << " against \"Vanguard\" in "
            << room->width << " x " << room->height;
    }

    // Bob's leaving, told in the chat under Carol's result in 640 x 480:
    // wider than the panel (it reaches to x 1008 of the layout), the line
    // goes on below rather than losing its end at the panel's edge.
    auto leaveRed = [](u32 p) {
        const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
        return r > 120 && g < 70 && b > 30 && b < r - 60;
    };
    const ShotBox chat = InShot(carolTable, 600, 540, 1024, 768);
    u32 leaveLeft = carolTable.width, leaveRight = 0, leaveTop = carolTable.height, leaveBottom = 0, leaveSeen = 0;
    for (u32 y = chat.top; y < chat.bottom; ++y)
        for (u32 x = chat.left; x < chat.right; ++x)
            if (leaveRed(PixelAt(carolTable, x, y))) {
                ++leaveSeen;
                leaveLeft = std::min(leaveLeft, x), leaveRight = std::max(leaveRight, x);
                leaveTop = std::min(leaveTop, y), leaveBottom = std::max(leaveBottom, y);
            }
    EXPECT_GT(leaveSeen, 40u) << "Bob's leaving in Carol's chat";
    EXPECT_GE(leaveLeft, 640u * carolTable.width / 1024);
    EXPECT_LT(leaveRight + 3, 1008u * carolTable.width / 1024) << "the leave line is cut at its panel's edge";
    EXPECT_GT(leaveBottom - leaveTop, 14u) << "the leave line's end is not on a line of its own";

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
