// The robot state record, field by field. Layout (little-endian):
//   0 format   4 objectId   8 typeIndex  12 state  16 hp  20 hpMax
//  24 restBody 28 score    32 kills (i16, 2 zero bytes)  36 chargeGauge
//  40 boostGaugeMax  44 pilotIndex  48 inputEnabled, tacticalRules, aiLevel,
//  one zero byte  52 lockTargetId  56 world (16 floats)  120 spawnPos
// 132 forward  144 aimVector  156 side  168 displayName (256 bytes)
// 424 .. 4155 zero.
#include "robot/RobotStateRecord.h"

#include <cmath>
#include <cstring>

#include "app/player/PilotRegistry.h"
#include "app/player/PlayerProfile.h"
#include "battle/GameScene.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/TextCodec.h"
#include "robot/Robot.h"

namespace {

enum Offset : size_t {
    kFormat = 0,
    kObjectId = 4,
    kTypeIndex = 8,
    kState = 12,
    kHp = 16,
    kHpMax = 20,
    kRestBody = 24,
    kScore = 28,
    kKills = 32,
    kCharge = 36,
    kBoostMax = 40,
    kPilot = 44,
    kInputEnabled = 48,
    kTactical = 49,
    kAiLevel = 50,
    kLockTarget = 52,
    kWorld = 56,
    kSpawnPos = 120,
    kForward = 132,
    kAimVector = 144,
    kSide = 156,
    kName = 168,
    kUsed = kName + kRobotNameBytes,
};
static_assert(kUsed <= kRobotStateBytes, "the record's fields fit its size");

// The most bodies any rule gives a robot, and the farthest a robot may be.
constexpr i32 kMaxRestBody = 100;
constexpr f32 kMaxCoordinate = 1.0e7f;

void PutFloats(u8* p, const f32* v, i32 n)
{
    for (i32 i = 0; i < n; ++i) PutF32(p + 4 * i, v[i]);
}

// Null when every float is finite and within the battle's reach.
const char* GetFloats(const u8* p, f32* v, i32 n, const char* field)
{
    for (i32 i = 0; i < n; ++i) {
        v[i] = GetF32(p + 4 * i);
        if (!std::isfinite(v[i]) || std::fabs(v[i]) > kMaxCoordinate) return field;
    }
    return nullptr;
}

// A name ends inside its field and holds whole, valid UTF-8 characters.
bool SoundName(const char* name, size_t capacity)
{
    const void* end = std::memchr(name, '\0', capacity);
    if (!end) return false;
    const size_t length = static_cast<size_t>(static_cast<const char*>(end) - name);
    for (size_t i = 0; i < length;) {
        size_t used = 0;
        const u32 code = plat::DecodeUtf8(name + i, name + length, used);
        if (code == 0xFFFDu && used == 1) return false;
        i += used;
    }
    // Bytes after the terminator are zero, as every record is written.
    for (size_t i = length; i < capacity; ++i)
        if (name[i] != '\0') return false;
    return true;
}

}  // namespace

bool WriteRobotState(const CRobot_Normal& robot, u8 (&out)[kRobotStateBytes])
{
    std::memset(out, 0, sizeof out);
    PutU32(out + kFormat, kRobotStateFormat);
    PutU32(out + kObjectId, robot.objectId);
    PutI32(out + kTypeIndex, robot.typeIndex);
    PutI32(out + kState, robot.state);
    PutI32(out + kHp, robot.hp);
    PutI32(out + kHpMax, robot.hpMax);
    PutI32(out + kRestBody, robot.restBody);
    PutI32(out + kScore, robot.score);
    PutI16(out + kKills, robot.kills);
    PutI32(out + kCharge, robot.chargeGauge);
    PutI32(out + kBoostMax, robot.boostGaugeMax);
    PutI32(out + kPilot, robot.pilotIndex);
    out[kInputEnabled] = robot.inputEnabled;
    out[kTactical] = static_cast<u8>(robot.tacticalRules);
    out[kAiLevel] = static_cast<u8>(robot.aiLevel);
    PutU32(out + kLockTarget, robot.lockTarget ? robot.lockTarget->objectId : kRobotStateNoTarget);
    PutFloats(out + kWorld, &robot.worldMatrix.m[0][0], 16);
    PutFloats(out + kSpawnPos, robot.spawnPos, 3);
    const f32 forward[3] = {robot.forward.x, robot.forward.y, robot.forward.z};
    const f32 aim[3] = {robot.aimVector.x, robot.aimVector.y, robot.aimVector.z};
    const f32 side[3] = {robot.side.x, robot.side.y, robot.side.z};
    PutFloats(out + kForward, forward, 3);
    PutFloats(out + kAimVector, aim, 3);
    PutFloats(out + kSide, side, 3);
    plat::Utf8CopyTruncated(reinterpret_cast<char*>(out + kName), kRobotNameBytes, robot.displayName);
    // Out-of-range values (a level above 10, say) would be cut by the byte
    // fields above: the record must read back as what the robot holds.
    RobotState check;
    return ReadRobotState(out, sizeof out, check) == nullptr && check.aiLevel == robot.aiLevel &&
           check.tacticalRules == robot.tacticalRules;
}

namespace {
// Far above any robot's health times the room's health rate.
constexpr i32 kMaxRecordHp = 10000000;
}  // namespace

const char* ReadRobotState(const u8* bytes, size_t size, RobotState& out)
{
    if (!bytes || size != kRobotStateBytes) return "size";
    if (GetU32(bytes + kFormat) != kRobotStateFormat) return "format";
    out.objectId = GetU32(bytes + kObjectId);
    out.typeIndex = GetI32(bytes + kTypeIndex);
    if (out.typeIndex < 0 || out.typeIndex >= kRobotTypeCount) return "typeIndex";
    out.state = GetI32(bytes + kState);
    if (out.state < kRobotStateNone || out.state > kRobotStateOut) return "state";
    out.hpMax = GetI32(bytes + kHpMax);
    // A record is trusted only as far as a battle can take a robot.
    if (out.hpMax < 0 || out.hpMax > kMaxRecordHp) return "hpMax";
    out.hp = GetI32(bytes + kHp);
    if (out.hp < 0 || out.hp > out.hpMax) return "hp";
    out.restBody = GetI32(bytes + kRestBody);
    if (out.restBody < 0 || out.restBody > kMaxRestBody) return "restBody";
    out.score = GetI32(bytes + kScore);
    if (out.score < -MaxBattleScore || out.score > MaxBattleScore) return "score";
    out.kills = GetI16(bytes + kKills);
    if (GetU16(bytes + kKills + 2) != 0) return "kills";
    out.chargeGauge = GetI32(bytes + kCharge);
    if (out.chargeGauge < 0 || out.chargeGauge > 10000) return "chargeGauge";
    out.boostGaugeMax = GetI32(bytes + kBoostMax);
    if (out.boostGaugeMax < 0) return "boostGaugeMax";
    out.pilotIndex = GetI32(bytes + kPilot);
    if (out.pilotIndex < -1 || out.pilotIndex >= MaxPilots) return "pilotIndex";
    out.inputEnabled = bytes[kInputEnabled];
    if (out.inputEnabled > 1) return "inputEnabled";
    out.tacticalRules = bytes[kTactical];
    if (out.tacticalRules > 1) return "tacticalRules";
    out.aiLevel = bytes[kAiLevel];
    if (out.aiLevel > 10) return "aiLevel";
    if (bytes[kAiLevel + 1] != 0) return "aiLevel";
    out.lockTargetId = GetU32(bytes + kLockTarget);
    if (const char* bad = GetFloats(bytes + kWorld, out.world, 16, "world")) return bad;
    if (const char* bad = GetFloats(bytes + kSpawnPos, out.spawnPos, 3, "spawnPos")) return bad;
    if (const char* bad = GetFloats(bytes + kForward, out.forward, 3, "forward")) return bad;
    if (const char* bad = GetFloats(bytes + kAimVector, out.aimVector, 3, "aimVector")) return bad;
    if (const char* bad = GetFloats(bytes + kSide, out.side, 3, "side")) return bad;
    std::memcpy(out.displayName, bytes + kName, kRobotNameBytes);
    if (!SoundName(out.displayName, kRobotNameBytes)) return "displayName";
    for (size_t i = kUsed; i < kRobotStateBytes; ++i)
        if (bytes[i] != 0) return "padding";
    return nullptr;
}
