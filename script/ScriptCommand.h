#pragma once
// The robot's script state block, the operand holders the commands evaluate
// against it, the command base and the timed entries of an animation script.
//
// A command writes its evaluated operands into the ScriptContext when it
// runs; the robot logic reads those fields every frame and the interpreter
// acts on the command types that need the robot itself.
#include <string>
#include <vector>

#include "platform/core/Types.h"

class ScriptContext;

// Wait of the closing entry of every animation's entry list.
inline constexpr i32 kScriptEndMark = 999999999;
inline constexpr i32 kScriptVarCount = 200;
inline constexpr i32 kScriptMainChannels = 2;
inline constexpr i32 kScriptSubChannels = 10;
// Main channels 0 and 1, then sub channel s as 2 + s.
inline constexpr i32 kScriptChannelCount = kScriptMainChannels + kScriptSubChannels;
inline constexpr i32 kScriptAttackDelaySlots = 10;
inline constexpr i32 kScriptBurnerSlots = 20;
inline constexpr i32 kScriptFireProcCount = 100;
inline constexpr i32 kScriptFireArgCount = 10;

// Variable kinds an operand may name.
inline constexpr i8 kScrVarInt = 0;
inline constexpr i8 kScrVarFloat = 1;

// Operand holders: a literal (index -1) or a reference to one of the robot's
// script variables, evaluated each time the command runs.
struct ScrINT {
    i32 value = 0;
    i16 index = -1;
    i8 kind = kScrVarInt;
    i32 Get(const ScriptContext& ctx) const;
};

struct ScrFLOAT {
    f32 value = 0.0f;
    i16 index = -1;
    i8 kind = kScrVarInt;
    f32 Get(const ScriptContext& ctx) const;
};

struct ScrCHAR {
    i8 value = 0;
    i16 index = -1;
    i8 kind = kScrVarInt;
    i8 Get(const ScriptContext& ctx) const;
};

// A number that is either an int or a float literal or variable (IF sides).
struct ScrNUMBER {
    union {
        i32 i;
        f32 f;
    } value{0};
    i8 isFloat = 0;
    i16 index = -1;
    i8 kind = kScrVarInt;
    // Evaluated by its own flag, then widened to a 32-bit float.
    f32 GetAsFloat(const ScriptContext& ctx) const;
};

// Which script variables a robot backs with storage: int 0..103, 150..158
// and 180..199, float 0..111. The robot's reset binds exactly these; the
// parser refuses operands that name any other number.
bool ScriptVarHasStorage(i8 kind, i32 n);

// Raw evaluation helpers shared by the holders: a variable that has no
// storage behind it, or an unknown kind, reads as 0.
i32 ScriptEvalInt(const ScriptContext& ctx, i32 literal, i16 index, i8 kind, const char* caption);
f32 ScriptEvalFloat(const ScriptContext& ctx, f32 literal, i16 index, i8 kind, const char* caption);

// Float to int truncation toward zero that saturates instead of trapping.
i32 ScriptTruncate(f32 f);

// Script state block of one robot. The variable tables are views of the
// robot's own pointer tables; a null entry is a number without storage.
class ScriptContext {
public:
    ScriptContext();

    // Bounded access to the variable cells; null outside the table or where
    // the robot binds nothing.
    i32* IntVar(i32 n) const;
    f32* FloatVar(i32 n) const;
    bool ValidChannel(i32 c) const { return c >= 0 && c < channelCount; }

    i32* const* intVars = nullptr;
    i32 intVarCount = 0;
    f32* const* floatVars = nullptr;
    i32 floatVarCount = 0;

    i32 currentChannel = 0;
    i32 wait[kScriptMainChannels] = {};
    f32 speed[kScriptMainChannels] = {};
    i32 loop[kScriptMainChannels] = {};

    // Cleared by channel-0 starts; otherwise the robot logic's.
    i32 logicWord = 0;
    f32 move[3] = {};
    f32 logicVector[3] = {};
    f32 force[3] = {};

    i8 everyTimeFlags[kScriptChannelCount] = {};
    i32 channelCount = kScriptChannelCount;
    i16 everyTimeInterval[kScriptChannelCount] = {};
    i16 everyTimeCountdown[kScriptChannelCount] = {};

    i32 attackPower = 0;
    f32 attackForce = 0.0f;
    f32 attackForceY = 0.0f;
    i32 attackDownF = 0;
    i32 attackDelay[kScriptAttackDelaySlots] = {};
    i32 attackFlag = 0;

    i8 armLockOn[2] = {};
    f32 armLock[2][2] = {};
    i8 bodyLockOn[2] = {};
    f32 bodyLock[2][2] = {};

    i8 swordEnable = 0;
    i16 swordCancel = 0;
    i8 shieldGuard = 0;
    f32 shotTurnAngle = 0.0f;
    f32 subLRKey = 0.0f;
    i8 laserReflect = 0;
    i16 exGaugeAdd = 0;
    i16 energyAdd = 0;
    f32 vfMulti = 1.0f;

    i8 burnerOn[kScriptBurnerSlots] = {};
    f32 burnerScale[kScriptBurnerSlots] = {};

    i8 gvEnable = 1;
    i8 boostDashMode = 0;
    i8 camEffect = 0;
    i8 catchMode = 0;
    i16 catchA = 0;
    i16 catchB = 0;
};

// Type codes (1, 5 and 7 are unused).
enum ScriptCommandType : i32 {
    kScrHensu = 0,
    kScrAnimeLoop = 2,
    kScrMove = 3,
    kScrMoveLock = 4,
    kScrForce = 6,
    kScrAttackPow = 8,
    kScrAttackForce = 9,
    kScrAttackForceY = 0x0a,
    kScrAttackDownF = 0x0b,
    kScrAttackDelay = 0x0c,
    kScrAttackFlag = 0x0d,
    kScrLockArmTarget = 0x0e,
    kScrLockBodyTarget = 0x0f,
    kScrSwordEnable = 0x10,
    kScrSwordCancel = 0x11,
    kScrShildGuard = 0x12,
    kScrShotTurnAng = 0x13,
    kScrSubLRKey = 0x14,
    kScrLaserReflect = 0x15,
    kScrAddExGauge = 0x16,
    kScrAddEnergy = 0x17,
    kScrSnd = 0x18,
    kScrVoice = 0x19,
    kScrRunProc = 0x1a,
    kScrSetExtParam = 0x1b,
    kScrVfMulti = 0x1c,
    kScrGvEnable = 0x1d,
    kScrCamEffect = 0x1e,
    kScrBoostDashMode = 0x1f,
    kScrGoScriptIndex = 0x20,
    kScrGoPoseIndex = 0x21,
    kScrBunerOut = 0x22,
    kScrRunSubScript = 0x23,
    kScrCatchChara = 0x24,
    kScrIF = 0x25,
    kScrELSE = 0x26,
    kScrENDIF = 0x27,
    kScrChangeAnime = 0x28,
    kScrRnd = 0x29,
    kScrLocalRnd = 0x2a,
    kScrExecScriptEveryTime = 0x2b,
};

class RobotScriptBase {
public:
    RobotScriptBase() = default;
    RobotScriptBase(const RobotScriptBase&) = delete;
    RobotScriptBase& operator=(const RobotScriptBase&) = delete;
    virtual ~RobotScriptBase() = default;
    virtual i32 GetType() const { return 0; }
    virtual void Exec(ScriptContext& ctx) = 0;
};

// One timed step of an animation script; owns its commands.
class ScriptEntry {
public:
    ScriptEntry() = default;
    ScriptEntry(const ScriptEntry&) = delete;
    ScriptEntry& operator=(const ScriptEntry&) = delete;
    ~ScriptEntry();

    i32 wait = 0;
    f32 speed = 0.0f;
    std::vector<RobotScriptBase*> commands;
};

// Where script problems are reported. Load-time problems show a box unless a
// hook takes them; run-time problems never block: they go to the hook or to
// the error log.
using ScriptMessageHook = void (*)(const char* text, const char* caption);
void SetScriptMessageHook(ScriptMessageHook hook);
void ShowScriptMessage(const char* text, const char* caption);
// As ShowScriptMessage, with `detail` (the text at fault) added to where the
// message comes from; complaints of one kind still count as one.
void ShowScriptMessageAbout(const char* text, const char* caption, const std::string& detail);

// What a running script can go wrong with; each kind is a bit of a robot
// type's record of what it has told.
enum class ScriptRunProblem : u32 {
    Overrun,  // nesting too deep, or more work than a frame allows
    NoEndIf,
    NoTable,
    NoSubTable,
    BadVariable,
};
// Inside a ScriptRunScope each kind is told once for the scope's record (a
// robot type's): a broken entry runs hundreds of times a frame and would
// otherwise repeat itself each time. Outside any scope it is told each time.
void ReportScriptRunProblem(ScriptRunProblem kind, const char* text, const char* caption);

// While one lives on this thread, run-time problems are counted against
// `told`. Scopes nest; the innermost counts.
class ScriptRunScope {
public:
    explicit ScriptRunScope(u32* told);
    ~ScriptRunScope();
    ScriptRunScope(const ScriptRunScope&) = delete;
    ScriptRunScope& operator=(const ScriptRunScope&) = delete;

private:
    u32* previous_;
};

// While one lives, load-time messages are about its file: one box per kind of
// mistake, the rest to stderr with their place and a count.
class ScriptFileComplaints {
public:
    explicit ScriptFileComplaints(const char* path);
    ~ScriptFileComplaints();
    ScriptFileComplaints(const ScriptFileComplaints&) = delete;
    ScriptFileComplaints& operator=(const ScriptFileComplaints&) = delete;

    // The place later messages come from ("animation 3 entry 5").
    void SetPlace(std::string place);

private:
    bool owner_ = false;
};
