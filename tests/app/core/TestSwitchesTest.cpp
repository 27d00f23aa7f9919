#include "app/core/TestSwitches.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Registry.h"
#include "platform/core/SingleInstance.h"
#include "platform/gfx/Gfx.h"
#include "support/TempFolder.h"

namespace {

struct SwitchCase {
    const char* variable;
    const char* value;
    std::function<bool(const TestSwitches&)> taken;  // the record holds the value
};

// Every switch set at once: a game started without a script keeps every
// default (so one client cannot give itself other HP or drift from its room);
// a scripted one takes them all.
TEST(TestSwitches, OnlyAScriptedRunTakesThem) {
    TempFolder temp;
    const std::string registry = temp / "registry.ini";
    const std::vector<SwitchCase> cases = {
        {"QUILLON_TEST_SEED", "7", [](const TestSwitches& s) { return s.battleSeed == 7u; }},
        {"QUILLON_TEST_OWN_HP", "1", [](const TestSwitches& s) { return s.ownHp == 1; }},
        {"QUILLON_TEST_ENEMY_HP", "2", [](const TestSwitches& s) { return s.enemyHp == 2; }},
        {"QUILLON_TEST_OWN_BODIES", "0", [](const TestSwitches& s) { return s.ownBodies == 0; }},
        {"QUILLON_TEST_FALL_FRAME", "300", [](const TestSwitches& s) { return s.fallFrame == 300; }},
        {"QUILLON_TEST_FALL_TEAM", "0", [](const TestSwitches& s) { return s.fallTeam == 0; }},
        {"QUILLON_TEST_SQUAD", "1", [](const TestSwitches& s) { return s.squad == 1; }},
        {"QUILLON_TEST_DESYNC_FRAME", "60", [](const TestSwitches& s) { return s.desyncFrame == 60; }},
        {"QUILLON_TEST_RETURN_AT_BATTLE", "2", [](const TestSwitches& s) { return s.returnAtBattle == 2; }},
        {"QUILLON_TEST_QUIT_IN_REPAIR", "23", [](const TestSwitches& s) { return s.quitInRepair == 23; }},
        {"QUILLON_TEST_HASH_LOG", "1", [](const TestSwitches& s) { return s.hashLog; }},
        {"QUILLON_TEST_DECIDE_STAGES", "2", [](const TestSwitches& s) { return s.decideStages == 2; }},
        {"QUILLON_TEST_STORY", "3", [](const TestSwitches& s) { return s.story == 3; }},
        {"QUILLON_TEST_HANGAR_SHOT", "1", [](const TestSwitches& s) { return s.hangarShot == 1; }},
        {"QUILLON_TEST_PORT_BASE", "2372", [](const TestSwitches& s) { return s.portBase == 2372; }},
        {"QUILLON_REGISTRY_FILE", registry.c_str(),
         [&](const TestSwitches& s) { return s.registryFile == registry && plat::GetRegistryFile() == registry; }},
        {"QUILLON_INSTANCE_DIR", temp.Path().c_str(),
         [&](const TestSwitches& s) { return s.instanceFolder == temp.Path() && plat::GetInstanceLockFolder() == temp.Path(); }},
        {"QUILLON_GFX", "recorder",
         [](const TestSwitches& s) { return s.recorder && plat::GetGfxBackend() == plat::GfxBackend::Recorder; }},
    };
    std::vector<std::unique_ptr<ScopedEnv>> env;
    for (const SwitchCase& c : cases) env.push_back(std::make_unique<ScopedEnv>(c.variable, c.value));

    for (const char* script : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv noScript("QUILLON_INPUT_SCRIPT", script);
        ReadTestSwitchesAtStartUp();
        const TestSwitches& s = GetTestSwitches();
        EXPECT_FALSE(s.battleSeed.has_value());
        EXPECT_EQ(s.ownHp, 100);
        EXPECT_EQ(s.desyncFrame, -1);
        for (const SwitchCase& c : cases) {
            if (c.taken(s)) ADD_FAILURE() << c.variable << " taken by a player's run";
        }
        EXPECT_NE(plat::GetRegistryFile(), registry);
        EXPECT_NE(plat::GetInstanceLockFolder(), temp.Path());
    }

    ScopedEnv scripted("QUILLON_INPUT_SCRIPT", (temp / "play.script").c_str());
    ReadTestSwitchesAtStartUp();
    for (const SwitchCase& c : cases) EXPECT_TRUE(c.taken(GetTestSwitches())) << c.variable;

    // A value that is no number keeps the default.
    ScopedEnv bad("QUILLON_TEST_OWN_HP", "1x");
    ReadTestSwitchesAtStartUp();
    EXPECT_EQ(GetTestSwitches().ownHp, 100);

    plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    ReadTestSwitches(false);
}

}  // namespace
