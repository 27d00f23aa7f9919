#pragma once
// A fingerprint of the battle state for lockstep checks: two runs of the same
// battle must give the same value frame after frame. It covers what the
// simulation decides (units, weapons, items and the battle generator), not
// what presentation writes (effects, the camera's screen positions). The game
// uses it only under a test switch, to log what an online battle simulated.
#include <string>

#include "platform/core/Types.h"

class CGameScene;
class CRobot_Normal;

struct BattleHash {
    u64 value = 0;
    u32 units = 0;
    u32 objects = 0;
    u64 draws = 0;
};

// FNV-1a over the state of every unit (position, velocity, HP, gauges, life
// state, action and input) and every weapon and item (kind and position), and
// the battle generator's draw count.
BattleHash HashBattle(CGameScene& scene);
// One robot's share of it.
u64 HashRobot(const CRobot_Normal& robot, u64 seed);

// One stable text line: "frame <n> <hash> units <u> objects <o> draws <d>".
std::string FormatBattleHash(u32 frame, const BattleHash& hash);
