#pragma once
// Test switches: environment variables through which a test steers the game
// (a fixed seed, frail robots, a fall at a given frame...). They are read in
// one place, once, at start-up, and honoured only while a test drives the
// program: a run under QUILLON_INPUT_SCRIPT or the headless battle runner.
// A player's game keeps every default below, so nobody can make one client
// of a room play a different battle by setting a variable. The room server
// reads none of them.
//
// Two other variables are not test switches and stay with the platform:
// QUILLON_INPUT_SCRIPT (the script that drives a run, the gate itself) and
// QUILLON_QUIET_BOXES=1 (message boxes printed to stderr instead, for a
// player without a desktop as much as for tests).
//
// variable                   field          used by the tests of
// QUILLON_TEST_SEED          battleSeed     the front-end and ranking games
// QUILLON_TEST_OWN_HP        ownHp          ranking games
// QUILLON_TEST_ENEMY_HP      enemyHp        ranking and online games
// QUILLON_TEST_OWN_BODIES    ownBodies      ranking and arcade games
// QUILLON_TEST_FALL_FRAME    fallFrame      ranking, versus room and online games
// QUILLON_TEST_FALL_TEAM     fallTeam       ranking games (fleet)
// QUILLON_TEST_SQUAD         squad          ranking games (team battle)
// QUILLON_TEST_DESYNC_FRAME  desyncFrame    online games (repair)
// QUILLON_TEST_BATTLE_CLOCK  battleClock    online games (experience)
// QUILLON_TEST_RETURN_AT_BATTLE returnAtBattle online games (back before a key state)
// QUILLON_TEST_QUIT_IN_REPAIR quitInRepair  online games (lost in a repair)
// QUILLON_TEST_HASH_LOG      hashLog        online games
// QUILLON_TEST_VOICE_LOG     voiceLog       online games (faces and voices)
// QUILLON_TEST_DECIDE_STAGES decideStages   arcade games
// QUILLON_TEST_STORY         story          arcade games
// QUILLON_TEST_HANGAR_SHOT   hangarShot     hangar visit
// QUILLON_TEST_PORT_BASE     portBase       online games
// QUILLON_REGISTRY_FILE      registryFile   every scripted game
// QUILLON_INSTANCE_DIR       instanceFolder every scripted game
// QUILLON_GFX=recorder       recorder       (none yet: a recording device)
#include <optional>
#include <string>

#include "platform/core/Types.h"

struct TestSwitches {
    // The battle generator's seed instead of the clock, so a scripted battle
    // plays out alike on any machine (a set QUILLON_TEST_SEED of 0: unset).
    std::optional<u32> battleSeed;
    // HP in percent of the player's side (team 0), and of the computer's
    // robots and ships against it; 1..99 take effect.
    i32 ownHp = 100;
    i32 enemyHp = 100;
    // The player's side's remaining bodies when lower (-1: as the mode says).
    i32 ownBodies = -1;
    // At this battle frame the battle is decided by a fall (-1: never): the
    // first slot's robot, the flagship of team fallTeam in a fleet battle,
    // online every robot nobody plays any more.
    i32 fallFrame = -1;
    i32 fallTeam = 1;
    // Computer robots per team in a team battle (at most 8 take the field).
    i32 squad = 19;
    // This client drifts on purpose at that frame of a run (-1: never), for
    // the check bytes to catch and a repair to put right.
    i32 desyncFrame = -1;
    // An online team battle's clock starts this many seconds on (0: at 0),
    // so a short scripted battle counts as a long one for experience and
    // for leaving.
    i32 battleClock = 0;
    // This client goes back to the room at the first frame of its n-th online
    // battle, before it sent any key state (-1: never).
    i32 returnAtBattle = -1;
    // This game ends, as if killed, when its r-th repair reaches state s
    // (given as rs; -1: never).
    i32 quitInRepair = -1;
    // Each online battle frame's state hash written to "BattleHash.log".
    bool hashLog = false;
    // Each pilot voice a radio line starts written to "VoiceLog.log".
    bool voiceLog = false;
    // Arcade battles decided half a second in: the enemies fall, except in
    // the run's n-th battle where the player's robot falls (-1: off).
    i32 decideStages = -1;
    // The arcade plays story n whatever was chosen (the story count: the
    // scripted test story; -1: off).
    i32 story = -1;
    // The hangar's idle camera starts on this shot.
    i32 hangarShot = 0;
    // Game ports start here, data ports 1000 above (0: the usual ports).
    i32 portBase = 0;
    // Where the run keeps its registry file and single-instance lock (empty:
    // the usual places); handed to the platform when read.
    std::string registryFile;
    std::string instanceFolder;
    // Draw through the recording device instead of OpenGL.
    bool recorder = false;
};

// The switches in force: every default unless a test drives the program.
const TestSwitches& GetTestSwitches();

// Reads the environment once at start-up. driven: a test drives this run;
// otherwise every switch keeps its default whatever the environment says.
void ReadTestSwitches(bool driven);

// What the start-up calls: a run under QUILLON_INPUT_SCRIPT is driven.
void ReadTestSwitchesAtStartUp();

// The seed of the battle generator where the game would take the clock: the
// character selection's random robots and every battle set-up. A scripted
// game's fixed seed makes both the same on every run.
u32 BattleSeedOrClock();

// The headless runner (and unit tests) set the record directly.
void SetTestSwitches(const TestSwitches& switches);
