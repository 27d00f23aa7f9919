#pragma once
// The parsed statements of the script language. Commands whose effect is a
// value of the script state write it in Exec; the rest are acted on by the
// interpreter through their type code.
#include "script/ScriptCommand.h"

// Operators of a variable statement.
enum ScrHensuOp : i8 { kHensuSet = 0, kHensuAdd = 1, kHensuSub = 2, kHensuMul = 3, kHensuDiv = 4 };

template <class T>
class Scr_Hensu : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrHensu; }
    void Exec(ScriptContext& ctx) override;

    i32 number = 0;
    // An int operand for Scr_Hensu<int>, a float one for Scr_Hensu<float>.
    T value{};
    i16 index = -1;
    i8 kind = kScrVarInt;
    i8 targetKind = kScrVarInt;
    i8 op = kHensuSet;
};

// Commands that only write one operand into a context field.
#define QUILLON_SCR_VALUE(Name, Code, Holder)                  \
    class Name : public RobotScriptBase {                      \
    public:                                                    \
        i32 GetType() const override { return Code; }          \
        void Exec(ScriptContext& ctx) override;                \
        Holder value;                                          \
    };

QUILLON_SCR_VALUE(Scr_AnimeLoop, kScrAnimeLoop, ScrINT)
QUILLON_SCR_VALUE(Scr_AttackPow, kScrAttackPow, ScrINT)
QUILLON_SCR_VALUE(Scr_AttackForce, kScrAttackForce, ScrFLOAT)
QUILLON_SCR_VALUE(Scr_AttackForceY, kScrAttackForceY, ScrFLOAT)
QUILLON_SCR_VALUE(Scr_AttackDownF, kScrAttackDownF, ScrINT)
QUILLON_SCR_VALUE(Scr_AttackFlag, kScrAttackFlag, ScrINT)
QUILLON_SCR_VALUE(Scr_SwordEnable, kScrSwordEnable, ScrCHAR)
QUILLON_SCR_VALUE(Scr_SwordCancel, kScrSwordCancel, ScrINT)
QUILLON_SCR_VALUE(Scr_ShildGuard, kScrShildGuard, ScrCHAR)
QUILLON_SCR_VALUE(Scr_ShotTurnAng, kScrShotTurnAng, ScrFLOAT)
QUILLON_SCR_VALUE(Scr_Sub_LRKey, kScrSubLRKey, ScrFLOAT)
QUILLON_SCR_VALUE(Scr_LaserReflect, kScrLaserReflect, ScrCHAR)
QUILLON_SCR_VALUE(Scr_AddExGauge, kScrAddExGauge, ScrINT)
QUILLON_SCR_VALUE(Scr_AddEnergy, kScrAddEnergy, ScrINT)
QUILLON_SCR_VALUE(Scr_BoostDashMode, kScrBoostDashMode, ScrCHAR)
QUILLON_SCR_VALUE(Scr_ExecScriptEveryTime, kScrExecScriptEveryTime, ScrINT)

#undef QUILLON_SCR_VALUE

class Scr_vF_Multi : public RobotScriptBase {
public:
    Scr_vF_Multi() { value.value = 1.0f; }
    i32 GetType() const override { return kScrVfMulti; }
    void Exec(ScriptContext& ctx) override;
    ScrFLOAT value;
};

class Scr_GvEnable : public RobotScriptBase {
public:
    Scr_GvEnable() { value.value = 1; }
    i32 GetType() const override { return kScrGvEnable; }
    void Exec(ScriptContext& ctx) override;
    ScrCHAR value;
};

class Scr_CamEffect : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrCamEffect; }
    void Exec(ScriptContext& ctx) override;
    ScrCHAR value;
};

// Commands the interpreter acts on; Exec does nothing.
class Scr_Passive : public RobotScriptBase {
public:
    void Exec(ScriptContext&) override {}
};

// Move and Force: per axis a stop flag or a value.
class Scr_Move : public Scr_Passive {
public:
    i32 GetType() const override { return kScrMove; }
    i8 stop[3] = {};
    ScrFLOAT axis[3];
};

class Scr_Force : public Scr_Move {
public:
    i32 GetType() const override { return kScrForce; }
};

class Scr_MoveLock : public Scr_Passive {
public:
    i32 GetType() const override { return kScrMoveLock; }
};

class Scr_AttackDelay : public Scr_Passive {
public:
    i32 GetType() const override { return kScrAttackDelay; }
    i8 slot = 0;
    ScrINT value;
};

class Scr_LockArmTarget : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrLockArmTarget; }
    void Exec(ScriptContext& ctx) override;
    i8 arm = 0;
    i8 on = 0;
    ScrFLOAT values[2];
};

class Scr_LockBodyTarget : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrLockBodyTarget; }
    void Exec(ScriptContext& ctx) override;
    i8 part = 0;  // 0 down, 1 up
    i8 on = 0;
    ScrFLOAT values[2];
};

class Scr_Snd : public Scr_Passive {
public:
    Scr_Snd() { value.value = -1; }
    i32 GetType() const override { return kScrSnd; }
    ScrINT value;
};

class Scr_Voice : public Scr_Passive {
public:
    Scr_Voice() { value.value = -1; }
    i32 GetType() const override { return kScrVoice; }
    ScrCHAR value;
};

class Scr_RunProc : public Scr_Passive {
public:
    Scr_RunProc() { proc.value = -1; }
    i32 GetType() const override { return kScrRunProc; }
    i32 slot = 0;
    ScrINT proc;
    ScrINT args[kScriptFireArgCount];
};

class Scr_SetExtParam : public Scr_Passive {
public:
    i32 GetType() const override { return kScrSetExtParam; }
    ScrINT values[kScriptFireArgCount];
};

class Scr_GoScriptIndex : public Scr_Passive {
public:
    Scr_GoScriptIndex() { value.value = -1; }
    i32 GetType() const override { return kScrGoScriptIndex; }
    ScrINT value;
};

class Scr_GoPoseIndex : public Scr_Passive {
public:
    Scr_GoPoseIndex()
    {
        anime.value = -1;
        start.value = -1;
    }
    i32 GetType() const override { return kScrGoPoseIndex; }
    ScrINT anime;
    ScrINT start;
};

class Scr_BunerOut : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrBunerOut; }
    void Exec(ScriptContext& ctx) override;
    ScrINT burner;
    ScrCHAR on;
    ScrFLOAT scale;
};

class Scr_RunSubScript : public Scr_Passive {
public:
    i32 GetType() const override { return kScrRunSubScript; }
    ScrINT channel;
    ScrINT anime;
};

class Scr_CatchChara : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrCatchChara; }
    void Exec(ScriptContext& ctx) override;
    ScrCHAR mode;
    ScrINT a;
    ScrINT b;
};

// Comparison operators of IF.
enum ScrIfOp : i8 { kIfEq = 0, kIfGt = 1, kIfLt = 2, kIfGe = 3, kIfLe = 4, kIfNe = 5 };

class Scr_IF : public Scr_Passive {
public:
    i32 GetType() const override { return kScrIF; }
    bool Test(const ScriptContext& ctx) const;
    ScrNUMBER a;
    i8 op = kIfEq;
    ScrNUMBER b;
};

class Scr_ELSE : public Scr_Passive {
public:
    i32 GetType() const override { return kScrELSE; }
};

class Scr_ENDIF : public Scr_Passive {
public:
    i32 GetType() const override { return kScrENDIF; }
};

class Scr_ChangeAnime : public Scr_Passive {
public:
    i32 GetType() const override { return kScrChangeAnime; }
    ScrINT anime;
    ScrFLOAT blend;
    ScrINT mode;
};

class Scr_Rnd : public RobotScriptBase {
public:
    i32 GetType() const override { return kScrRnd; }
    void Exec(ScriptContext& ctx) override;
    i32 target = 0;
    ScrINT min;
    ScrINT max;

protected:
    // min + r mod (max - min + 1) in unsigned arithmetic; a range whose size
    // wraps to 0 (the whole 32-bit range) takes r as it is.
    void Store(ScriptContext& ctx, u32 r) const;
};

class Scr_LocalRnd : public Scr_Rnd {
public:
    i32 GetType() const override { return kScrLocalRnd; }
    void Exec(ScriptContext& ctx) override;
};
