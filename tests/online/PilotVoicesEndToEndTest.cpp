// Two real games and the test server: the pilots each player chose reach the
// other's battle. Each one's face shows on the other's network panel, and
// the radio line each one calls plays its voice on both games.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/OnlineGames.h"
#include "support/PlayFolder.h"

namespace {

// The voice lines a game's log holds: "pilot p voice n".
int VoiceLines(const PlayFolder& game, int pilot, int voice)
{
    const std::string log = game.temp.Read("run/VoiceLog.log");
    const std::string line = "pilot " + std::to_string(pilot) + " voice " + std::to_string(voice) + "\n";
    int n = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
    return n;
}

}  // namespace

// Alice flies with the scripted pilot (her face and voice come in pictures,
// sounds and an animation), Bob with the plain one (a face, a text, a voice).
// In the battle both open the network panel, call radio line 0 and shoot the
// screen: each panel shows both faces, and each game played both voices.
TEST(OnlineEndToEnd, EachPlayersFaceShowsOnTheOthersPanelAndItsRadioVoicePlays)
{
    RoomServer server(1, RoomServerConfig{0, 4, "Pilot room", 0}, 2512, 3512);
    ASSERT_TRUE(server.Listening()) << "the pilot test's room ports are taken";
    PlayFolder alice("Alice"), bob("Bob");
    std::string a = LoginSteps(), b = LoginSteps();
    b += ScriptStep(20500, "click 860 599");  // the pilot before the first: the last, Rex
    for (std::string* s : {&a, &b}) *s += ScriptStep(31000, "wait members 2");
    // The host lets radio voices through (a room sends none at first), and
    // both get ready once the room has the setting: voices sent before it
    // are dropped.
    a += ScriptStep(32000, "click 996 609");
    for (std::string* s : {&a, &b}) *s += ScriptStep(32500, "wait voices 1");
    b += ScriptStep(33000, "key F1");
    a += ScriptStep(34000, "key F1");
    for (std::string* s : {&a, &b}) {
        *s += ScriptStep(36000, "wait battle running") + ScriptStep(40000, "key Tab");
        *s += ScriptStep(43000, "key VK_SNAPSHOT") + ScriptStep(48000, "close");
    }
    a += ScriptStep(41000, "key 0");
    b += ScriptStep(42000, "key 0");
    ASSERT_TRUE(alice.temp.Write("play.script", a));
    ASSERT_TRUE(bob.temp.Write("play.script", b));
    const std::vector<std::string> env = {"QUILLON_TEST_VOICE_LOG=1", "QUILLON_TEST_PORT_BASE=2512"};
    GameProcess pa(alice.exe, alice.run, alice.Env(env), alice.temp / "err.txt");
    ASSERT_TRUE(pa.Started() && Seated(server, 1)) << alice.temp.Read("err.txt");
    GameProcess pb(bob.exe, bob.run, bob.Env(env), bob.temp / "err.txt");
    ASSERT_TRUE(pb.Started());
    EXPECT_EQ(pa.Wait(std::chrono::seconds(400)), 0) << alice.temp.Read("err.txt");
    EXPECT_EQ(pb.Wait(std::chrono::seconds(100)), 0) << bob.temp.Read("err.txt");

    // Alice sits in row 0 (slot 0), Bob in row 1: each game played both.
    for (const PlayFolder* game : {&alice, &bob}) {
        EXPECT_GE(VoiceLines(*game, 0, 0), 1) << "Alice's radio voice\n" << game->temp.Read("run/VoiceLog.log");
        EXPECT_GE(VoiceLines(*game, 1, 0), 1) << "Bob's radio voice\n" << game->temp.Read("run/VoiceLog.log");
    }
    // The panel lists a robot a row of 60 pixels from y 50, its pilot's face
    // at x 774, 80 by 60: both sample faces are skin on a background, which
    // nothing else of the panel or the sky behind it is.
    plat::Image shotA, shotB;
    ASSERT_TRUE(alice.Shot(0, shotA, "online_faces_alice"));
    ASSERT_TRUE(bob.Shot(0, shotB, "online_faces_bob"));
    for (const auto& [image, who] : {std::pair{&shotA, "Alice's"}, {&shotB, "Bob's"}}) {
        for (u32 row = 0; row < 2; ++row) {
            const u32 y = 50 + 60 * row;
            const u32 skin = CountPixels(*image, 774, y, 854, y + 60, [](u32 p) {
                // Skin, under the panel's shade of either team: warm and
                // light, which neither team's row nor the sky is.
                const u32 r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
                return r > 180 && g > 140 && r >= g && r > b + 20;
            });
            EXPECT_GT(skin, 300u) << "the face in row " << row << " of " << who << " panel";
        }
    }
}
