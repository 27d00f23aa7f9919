#include "app/core/TestSwitches.h"

#include "platform/core/Registry.h"
#include "platform/core/SingleInstance.h"
#include "platform/core/System.h"
#include "platform/core/Time.h"
#include "platform/gfx/Gfx.h"
#include "platform/input/InputScript.h"

namespace {
TestSwitches g_switches;
}  // namespace

const TestSwitches& GetTestSwitches() { return g_switches; }

void SetTestSwitches(const TestSwitches& switches) { g_switches = switches; }

u32 BattleSeedOrClock() { return g_switches.battleSeed ? *g_switches.battleSeed : plat::TimeGetTime(); }

void ReadTestSwitchesAtStartUp() { ReadTestSwitches(!plat::InputScriptPath().empty()); }

void ReadTestSwitches(bool driven)
{
    TestSwitches s;
    if (driven) {
        if (const i32 seed = plat::GetTestSwitch("QUILLON_TEST_SEED", 0); seed != 0) s.battleSeed = u32(seed);
        s.ownHp = plat::GetTestSwitch("QUILLON_TEST_OWN_HP", s.ownHp);
        s.enemyHp = plat::GetTestSwitch("QUILLON_TEST_ENEMY_HP", s.enemyHp);
        s.ownBodies = plat::GetTestSwitch("QUILLON_TEST_OWN_BODIES", s.ownBodies);
        s.fallFrame = plat::GetTestSwitch("QUILLON_TEST_FALL_FRAME", s.fallFrame);
        s.fallTeam = plat::GetTestSwitch("QUILLON_TEST_FALL_TEAM", s.fallTeam);
        s.squad = plat::GetTestSwitch("QUILLON_TEST_SQUAD", s.squad);
        s.desyncFrame = plat::GetTestSwitch("QUILLON_TEST_DESYNC_FRAME", s.desyncFrame);
        s.battleClock = plat::GetTestSwitch("QUILLON_TEST_BATTLE_CLOCK", s.battleClock);
        s.returnAtBattle = plat::GetTestSwitch("QUILLON_TEST_RETURN_AT_BATTLE", s.returnAtBattle);
        s.quitInRepair = plat::GetTestSwitch("QUILLON_TEST_QUIT_IN_REPAIR", s.quitInRepair);
        s.hashLog = plat::GetTestSwitch("QUILLON_TEST_HASH_LOG", 0) == 1;
        s.voiceLog = plat::GetTestSwitch("QUILLON_TEST_VOICE_LOG", 0) == 1;
        s.decideStages = plat::GetTestSwitch("QUILLON_TEST_DECIDE_STAGES", s.decideStages);
        s.story = plat::GetTestSwitch("QUILLON_TEST_STORY", s.story);
        s.hangarShot = plat::GetTestSwitch("QUILLON_TEST_HANGAR_SHOT", s.hangarShot);
        s.portBase = plat::GetTestSwitch("QUILLON_TEST_PORT_BASE", s.portBase);
        s.registryFile = plat::GetTestSwitchText("QUILLON_REGISTRY_FILE");
        s.instanceFolder = plat::GetTestSwitchText("QUILLON_INSTANCE_DIR");
        s.recorder = plat::GetTestSwitchText("QUILLON_GFX") == "recorder";
    }
    g_switches = s;
    plat::SetRegistryFile(s.registryFile.c_str());
    plat::SetInstanceLockFolder(s.instanceFolder.c_str());
    if (s.recorder) plat::SetGfxBackend(plat::GfxBackend::Recorder);
}
