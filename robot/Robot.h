#pragma once
// Battle units: CRobot_Base (what robots and battleships share: input,
// identity, vitals, equipment) and CRobot_Normal, the walking robot with two
// animation layers, script channels, gauges, node tables and its table of
// fire procedures. Virtual slots continue BB_Base's order.
#include <array>
#include <optional>
#include <vector>

#include "app/net/RobotInput.h"
#include "app/player/GameItem.h"
#include "battle/BattleObject.h"
#include "engine/core/FixedArray.h"
#include "engine/core/TaskList.h"
#include "engine/model/HierarchyObject.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"

class BB_AtkStandard;
class BB_SwordBeamAtk;
class CDSBufferNode;
class LZ_Standard;
namespace plat { struct PadState; }
class CRobot_Normal;
class MeshObject;
class ScriptEntry;


inline constexpr i32 kInputBytes = 10;
inline constexpr i32 kRobotKeyCodes = 12;
inline constexpr i32 kRobotParts = 10;
inline constexpr i32 kRobotCommands = 20;
inline constexpr i32 kCommandSteps = 10;
inline constexpr i32 kRobotWeaponSlots = 30;
inline constexpr i32 kFireProcCount = 100;
inline constexpr i32 kFireArgCount = 10;
inline constexpr i32 kRobotScriptFloats = 7;
inline constexpr i32 kRobotTimers = 5;

// Life states.
inline constexpr i32 kRobotStateNone = 0;
inline constexpr i32 kRobotStateLive = 1;
inline constexpr i32 kRobotStateDestroyed = 2;
inline constexpr i32 kRobotStateDown = 3;
inline constexpr i32 kRobotStateOut = 4;

// Control modes.
inline constexpr u8 kControlLocal = 0;
inline constexpr u8 kControlComputer = 1;
inline constexpr u8 kControlNetwork = 100;

// Script variable numbers bound to robot fields.
inline constexpr i32 kVarOwnedCells = 100;    // int and float 0..99 are the robot's own cells
inline constexpr i32 kVarInputFirst = 190;    // int 190..199: the input record, own cells
inline constexpr i32 kVarButtonHoldFirst = 180;  // int 180..189: buttonHold
inline constexpr i32 kVarTargetDistance = 99;    // float: distance to the target

// Something threatening this robot, refreshed every frame by its source:
// hundreds come and go each second, so from the size pool.
class LockAlertNode : public CListNode<LockAlertNode>, public SizePooled {
public:
    u8 kind = 0;  // 0..4
    BB_Base* source = nullptr;
    i32 framesLeft = 0;
};

// Recognised short input sequences (double taps and the like).
struct CommandStep {
    u16 isLast = 0;
    u16 pattern[kInputBytes] = {};  // 0 direction (0 any), then per button 0 up, 1 held, 2 either
};

struct CommandSequence {
    i32 window = 0;  // frames; 0 marks an empty slot
    CommandStep steps[kCommandSteps];
    i32 doneTime = 0;
};

struct CommandProgress {
    i32 timer = 0;
    i32 step = 0;
    i32 directionMatched = 0;
    i32 buttonsMatched = 0;
    i32 doneTimer = 0;
};

// What the scene decides for a robot or ship it brings in; the unit fills
// itself from this and its type.
struct RobotSpawn {
    i32 type = 0;
    f32 x = 0.0f, y = 0.0f, z = 0.0f;
    f32 hpScale = 1.0f;
    i32 team = 0;
    u8 controlMode = kControlLocal;
    i32 colorSet = 0;
    f32 yawDeg = 0.0f;
    const CGameItemBase* const* parts = nullptr;  // ten parts (copied), or null for none
};

// What a robot is doing, as the computer players, weapons, effects and the
// scripts (integer variable 156) read it.
enum RobotSituation : i32 {
    kSituationNeutral = 0,      // standing, walking off, recovered
    kSituationDash = 1,         // dashing or escaping a hit
    kSituationLanding = 2,      // landing or braking
    kSituationHit = 3,          // reacting to a hit, or defeated
    kSituationGuard = 4,
    kSituationSaber = 5,        // a saber combo
    kSituationDown = 6,         // lying down or getting up
    kSituationManoeuvre = 7,
    kSituationDashSlash = 8,
    kSituationWalk = 9,
    kSituationAirborne = 10,    // jumping, rising or falling
    kSituationGuardAttack = 11,
    kSituationFiring = 12,      // after a shot, or a whole-body attack
};
// Action numbers: each picks a robot type's script table and animation alike;
// the alternate set plays the same action kAltActionOffset higher
// (robot/actions/ActionCore.h).
enum RobotAction : i32 {
    kActionIdle = 0,
    kActionWalk = 1,
    kActionJumpStart = 3,
    kActionBoostSteer = 4,          // a script only: the boosted rise steered with a direction
    kActionLanding = 5,             // also where a ground recovery or a guard attack ends
    kActionBrake = 6,               // also the guard let go on the ground
    kActionRise = 7,                // the jump's rise and the boosted rise
    kActionFall = 8,
    kActionDashLeft = 9,            // the dashes, by the body axis they run along
    kActionDashRight = 10,
    kActionDashForward = 11,
    kActionDashBack = 12,
    kActionHitLight = 13,
    kActionHitLightAir = 14,
    kActionHitHeavy = 15,           // knock-back, knock-down and the defeat
    kActionDown = 16,
    kActionGetUp = 17,
    kActionUpperSlash = 18,
    kActionGuard = 19,
    kActionQuickRecovery = 20,
    kActionGuardAttack = 21,
    kActionManoeuvre1 = 22,
    kActionManoeuvre1End = 24,
    kActionManoeuvre2 = 25,
    kActionManoeuvre2End = 26,
    kActionEscapeDash = 27,         // the last action with an alternate
    kActionUpperShot = 68,          // the alternate set's shot, on the upper body only
    kActionShot = 100,              // aimed ahead, and the script of all three aims
    kActionShotLeft = 101,
    kActionShotRight = 102,
    kActionTurningShot = 103,       // a target behind: the whole body turns to fire
    kActionSub1 = 104,
    kActionSub2 = 105,
    kActionManoeuvreShot = 106,     // shot mode 0 in a manoeuvre, aimed as kActionShot
    kActionManoeuvreShotLeft = 107,
    kActionManoeuvreShotRight = 108,
    kActionSub3 = 109,
    kActionManoeuvreSub1 = 110,     // scripts only: subs 1 to 3 in the first manoeuvre, 110 to 112
    kActionManoeuvreShot2 = 113,    // shot mode 1 in a manoeuvre
    kActionManoeuvreShot2Left = 114,
    kActionManoeuvreShot2Right = 115,
    kActionManoeuvre2Sub1 = 116,    // scripts only: subs 1 to 3 in the second manoeuvre, 116 to 118
    kActionDashSlash = 130,         // the run at the target; kActionDashSlashStrike the blow
    kActionSaber = 131,             // a combo's first slash; Left, Right and Back by direction
    kActionDashSlashStrike = 136,
    kActionSaberLeft = 141,
    kActionSaberRight = 146,
    kActionSaberBack = 151,
    kActionStart = 190,             // a script only: run through once at spawn
};
// SetAction's flags: the animation starts again from frame 0 (rather than at
// the layer's frame), and the upper body changes too.
inline constexpr i32 kRestartAnime = 1;
inline constexpr i32 kWholeBody = 1;
class CRobot_Base : public BB_Base {
public:
    CRobot_Base();
    ~CRobot_Base() override;

    // ---- slots 1..7 (BB_Base) ----
    i32 Run() override;
    i32 Draw() override;
    i32 HitTestPass() override;
    i32 HitTestObject(BB_Base* other) override;
    i32 GetKind() const override;
    Mat4* GetTargetMatrix() override;
    Mat4* GetMatrix() override;
    // ---- slots 8..18 ----
    virtual void Reset();
    virtual i32 DrawHDR();
    virtual i32 DrawShadow();
    // Whether Draw gives only fully opaque pixels, so the sky may be drawn
    // after it (see DrawStateHidesBehind); false when not known.
    virtual bool DrawsOpaque();
    virtual void DrawInterface();
    virtual void DrawLockOn();
    virtual void DrawCharaInfo(CRobot_Base* other);
    virtual void DrawRadarMarkers();
    virtual void DrawRadar();
    virtual void UpdateCamera();
    virtual void Defeat();
    virtual void Reserved(i32 value);

    // ---- spawn (robot/RobotSpawn.cpp) ----
    // What robots and ships alike take from their spawn and type: live,
    // team, control, names, full HP, key codes and the respawn record.
    void TakeSpawn(const RobotSpawn& spawn, const RobotModelData& type);
    // The type's HP times the scale; scripted test games shorten it.
    i32 StartingHp(i32 typeHp, f32 hpScale) const;
    // Where and how the unit came in, for its respawn; cleared by Reset.
    i32 spawnType = 0;
    i32 spawnControlMode = 0;
    i32 spawnTeam = 0;
    f32 spawnPos[3] = {};
    f32 spawnAngle = 0.0f;
    i32 spawnColorSet = 0;
    f32 spawnHpScale = 0.0f;

    // Sum over the ten parts of one signed percentage of each power-up part
    // (PartBonus index); other kinds of part and empty slots add nothing.
    i32 SumItemBonus(i32 bonusIndex) const;
    i32 SumMeleeAttackBonus() const;
    i32 SumBeamDefenceBonus() const;
    i32 SumPhysicalDefenceBonus() const;
    i32 SumMeleeDefenceBonus() const;

    // value / max clamped to 0..1 for gauges and bars; 0 when the maximum is
    // 0 or below (a type without "HP", an empty energy setting).
    static f32 GaugeFraction(f32 value, f32 max);
    f32 HpFraction() const { return GaugeFraction(static_cast<f32>(hp), static_cast<f32>(hpMax)); }

    // ---- input ----
    void ClearInput();
    void ClearPendingInput();
    // Adds the player's keys (pad 0 only) and pad padNumber to input; buttons
    // are only ever set here, the caller clears the record first.
    void ReadPilotInput(const u8* keyTable);
    // The same with the pad state and its ten-byte button map given (null
    // pad: no pad could be read).
    void ApplyPilotInput(const u8* keyTable, const plat::PadState* pad, const u8* padMap);
    // The keyboard alone into pendingInput, for sending in online play.
    void ReadKeysToPendingInput(const u8* keyTable);
    // Counts every lock alert down a frame and drops those run out; whatever
    // threatens the unit adds them again each frame.
    void AgeLockAlerts();
    // Zeroes the hold counters of released buttons 1..8.
    void ResetReleasedHoldCounters();
    // Counts held buttons; an attack button zeroes every other counter.
    void CountHeldButtons();

    u8 keyCodes[kRobotKeyCodes] = {};
    RobotInput input;
    RobotInput pendingInput;
    RobotInput receivedInput;
    u8 inputFlag = 0;
    u8 buttonLatch[kInputBytes] = {};
    i32 buttonHold[kInputBytes] = {};

    // ---- identity and state ----
    u32 objectId = 0;
    i32 team = 0;
    i32 displayTeam = 0;  // 100 marks a spectator
    i32 state = kRobotStateNone;
    i32 stateTimer = 0;
    i32 defeatFrame = 0;
    CList<LockAlertNode> lockAlertList;
    u8 inputEnabled = 0;
    u8 controlMode = kControlLocal;
    i8 padNumber = 0;
    i32 targetIndex = -1;
    Vec3 nearestThreat;
    CRobot_Base* lockTarget = nullptr;
    CRobot_Base* holding = nullptr;
    CRobot_Base* heldBy = nullptr;
    CRobot_Base* lastTouched = nullptr;
    Vec3 threatVectorB;
    char chatLine[100] = {};
    i32 chatLineTimer = 0;
    i32 pilotIndex = -1;
    i32 pendingRadioLine = -1;
    char radioText[100] = {};
    u8 streakFlag = 1;
    i32 killStreak = 0;
    i32 lossStreak = 0;

    // ---- equipment ----
    // The robot's own copies of its parts: the room and the hangar may
    // replace or delete theirs at any moment, these last as long as the robot.
    using PartSet = std::array<std::optional<CGameItem_PowerUp>, kRobotParts>;
    PartSet parts;
    // Part i, or null for an empty slot.
    const CGameItem_PowerUp* Part(i32 i) const;
    // The ten slots as a spawn takes them (null for empty ones).
    std::array<const CGameItemBase*, kRobotParts> PartList() const;
    // Copies of ten given parts (null: none). Only power-up parts carry
    // bonuses; nothing else is kept.
    static PartSet CopyParts(const CGameItemBase* const* given);

    // ---- vitals ----
    i32 hp = 0;
    i32 hpMax = 0;
    i32 typeIndex = 0;
    char displayName[kRobotNameBytes] = {};
    char typeName[kRobotNameBytes] = {};
    i32 score = 0;
    i16 kills = 0;
    u8 killVoicePending = 0;
    i32 restBody = 0;
    // Window pixels of the aim point and its depth (above 0 in front of the
    // camera), written by the battle camera each drawn frame.
    Vec3 screenPos;
    // Warning arrows (left, up, right, down; 1 yellow, 2 red) set by a unit
    // locked on to this one, each cleared when its countdown has run out.
    u8 statusFlags[4] = {};
    i8 statusTimers[4] = {};
};

using RobotCallback = i32 (*)(CRobot_Normal* robot);

// Appends suffix to a text of capacity bytes; what does not fit is cut on a
// whole UTF-8 character.
void AppendWholeCharacters(char* text, size_t capacity, const char* suffix);

class CRobot_Normal : public CRobot_Base {
public:
    using FireProc = void (CRobot_Normal::*)(const i32* args);
    using StateProc = void (CRobot_Normal::*)();

    CRobot_Normal();
    ~CRobot_Normal() override;

    i32 Run() override;
    i32 Draw() override;
    i32 HitTestPass() override;
    i32 HitTestObject(BB_Base* other) override;
    i32 GetKind() const override;
    Mat4* GetTargetMatrix() override;
    Mat4* GetMatrix() override;
    void Reset() override;
    i32 DrawHDR() override;
    i32 DrawShadow() override;
    bool DrawsOpaque() override;
    void DrawInterface() override;
    void DrawLockOn() override;
    void DrawCharaInfo(CRobot_Base* other) override;
    void DrawRadarMarkers() override;
    void DrawRadar() override;
    void UpdateCamera() override;
    void Defeat() override;
    void Reserved(i32 value) override;
    // ---- slot 19 ----
    virtual void Reserved2(i32 value);

    // Frees the model copy, the node list below "Body_d.x" and the script
    // variable cells (pointers nulled).
    void ReleaseModel();
    // Resets the robot and binds it to its loaded type, live at the spawn
    // point with the start scripts run; the result of the last script start.
    i32 Spawn(RobotModelData& type, const RobotSpawn& spawn);

    // Positive amounts grow by the parts' gain bonus; the result is clamped.
    void AddBoostGauge(i32 amount);
    void AddEnergy(f32 amount);
    f32 BoostFraction() const
    {
        return GaugeFraction(static_cast<f32>(boostGauge), static_cast<f32>(boostGaugeMax));
    }
    f32 EnergyFraction() const { return GaugeFraction(energy, static_cast<f32>(energyMax)); }

    // Number of script variable cells the robot owns now (int and float).
    i32 OwnedVariableCells() const;

    // ---- input (robot/RobotInput.cpp) ----
    // Fills input by control mode, copies it into the script variables and
    // counts held buttons.
    void InputStep();
    // Steps the 20 command sequences once against input.
    void CommandRecogniser();
    // The standing state a robot starts in after set-up.
    static inline StateProc standingState = nullptr;
    // Writes input for a computer-controlled robot; null leaves it neutral.
    StateProc computerPlayerProc = &CRobot_Normal::AiControl;
    // ---- the computer player (robot/ai/ComputerPlayer.cpp) ----
    // One frame of decisions into input, drawn from the battle generator;
    // level 0 leaves input neutral and touches nothing else.
    void AiControl();

    // ---- the frame (robot/RobotRun.cpp) ----
    // The full update of a live robot; 0.
    i32 RobotFrameUpdate();
    // One frame of the destruction of a destroyed robot; 0.
    i32 DestructionSequence();
    void AnnounceStreaks();
    void UpdateGrab();
    void Spectate();
    void ShowRadioLine();
    // The camera follows this robot.
    bool IsWatched() const;
    // Empties every robot-table entry that still holds this robot.
    void ForgetInRobotTable();
    // Empties every attached-weapon slot whose weapon has finished (the
    // scene frees it soon after).
    void ForgetFinishedWeapons();
    // The hit-reaction choice and the lock-on/aim step; null does nothing.
    StateProc impactProc = nullptr;
    StateProc aimProc = nullptr;

    // ---- battle-mode callbacks (robot/ModeCallbacks.cpp) ----
    static i32 DefeatProc_Respawn(CRobot_Normal* robot);
    static i32 DefeatProc_RandomOpponent(CRobot_Normal* robot);
    static i32 DefeatProc_SurvivalNextOpponent(CRobot_Normal* robot);
    static i32 DefeatProc_DropSummonItem(CRobot_Normal* robot);
    static i32 DefeatProc_NextBodyImmune(CRobot_Normal* robot);
    static i32 DefeatProc_TeamRestCount(CRobot_Normal* robot);
    static i32 DefeatProc_NextBody(CRobot_Normal* robot);
    static i32 DefeatProc_TeamCostRespawn(CRobot_Normal* robot);
    static i32 DefeatProc_NetNextBody(CRobot_Normal* robot);
    static i32 DefeatProc_NetRespawn(CRobot_Normal* robot);
    static i32 DefeatProc_NetTeamCostRespawn(CRobot_Normal* robot);
    static i32 DefeatProc_RandomStartPoint(CRobot_Normal* robot);
    static i32 DefeatProc_DropSpawnToGround(CRobot_Normal* robot);
    // Moves the robot and its spawn point to a random start point; 0.
    static i32 PlaceAtRandomPoint(CRobot_Normal* robot);
    static i32 DestroyProc_TeamCostPenalty(CRobot_Normal* robot);
    static i32 DestroyProc_NetTeamCostPenalty(CRobot_Normal* robot);
    static i32 DestroyProc_DropPartsChance(CRobot_Normal* robot);
    static i32 DestroyProc_DropParts(CRobot_Normal* robot);
    static i32 FrameProc_RegenerateHp(CRobot_Normal* robot);
    // Items the callbacks drop (weapon/items/Items.h).
    static constexpr i32 kItemSummon = 0, kItemParts = 1, kItemParts2 = 2;
    // The running arcade story's difficulty (0..2), -1 outside a story.
    static inline i32 storyDifficulty = -1;

    // ---- script channels (bodies in script/) ----
    i32 SetScript(ScriptEntry* table, i32 index, i32 channel);
    i32 SetSubScript(ScriptEntry* table, i32 index, i32 subChannel);
    i32 RunScriptEntry(ScriptEntry* entry, ScriptContext& context, i32 channel);
    // One frame of every channel; the update calls it while nothing freezes the robot.
    void StepScriptChannels();
    // Gives the script a fresh frame's allowance of entry starts and commands.
    void ResetScriptBudget();
    bool ScriptBudgetSpent() const { return scriptStartsLeft <= 0 || scriptCommandsLeft <= 0; }

    // ---- fire procedures ----
    // The table entry every unused number holds.
    void FireProcNone(const i32* args);
    // Puts the procedures into entries 1..33 and 51..62 (after Reset made
    // every entry FireProcNone).
    void FillFireProcTable();
    // Calls entry n with ten arguments; any n outside 0..99 is refused (0).
    i32 CallFireProc(i32 n, const i32* args);

    void FireProc01Beam(const i32* args);
    void FireProc02Beam(const i32* args);
    void FireProc03Missile(const i32* args);
    void FireProc04Missile2(const i32* args);
    void FireProc05Fannel(const i32* args);
    void FireProc06Bullet(const i32* args);
    void FireProc07Grenade(const i32* args);
    void FireProc08CrasyBall(const i32* args);
    void FireProc09Canon(const i32* args);
    void FireProc10Missile3(const i32* args);
    void FireProc11Bullet(const i32* args);
    void FireProc12Beam(const i32* args);
    void FireProc13Beam2(const i32* args);
    void FireProc14ThunderBeam(const i32* args);
    void FireProc15TrapLaser(const i32* args);
    void FireProc16Bomb(const i32* args);
    void FireProc17HiLaser(const i32* args);
    void FireProc18Canon(const i32* args);
    void FireProc19Missile4(const i32* args);
    void FireProc20FireBall(const i32* args);
    void FireProc21Beam2(const i32* args);
    void FireProc22DropCrystals(const i32* args);
    void FireProc23MagicCircle(const i32* args);
    void FireProc24HiLaser2(const i32* args);
    void FireProc25HiLaser2(const i32* args);
    void FireProc26Canon2(const i32* args);
    void FireProc27Explode(const i32* args);
    void FireProc28HiLaser2(const i32* args);
    void FireProc29ShieldThrow(const i32* args);
    void FireProc30Material(const i32* args);
    void FireProc31SwordThrow(const i32* args);
    void FireProc32Sword(const i32* args);
    void FireProc33Sword2(const i32* args);
    void FireProc51SelectPartSet0(const i32* args);
    void FireProc52SelectPartSet1(const i32* args);
    void FireProc53WindLines(const i32* args);
    void FireProc54WindRing2(const i32* args);
    void FireProc55SwordBeam(const i32* args);
    void FireProc56WindRing3(const i32* args);
    void FireProc57SwordBeamAtk(const i32* args);
    void FireProc58WindBow(const i32* args);
    void FireProc59PassCrystals(const i32* args);
    void FireProc60ThunderEffect(const i32* args);
    void FireProc61ControlMaterials(const i32* args);
    void FireProc62EffectAtAttachment(const i32* args);

    // ---- hits (robot/RobotHit.cpp) ----
    // What the robot takes from a hit: 1 - the parts' defence against the
    // damage type (0 energy, 1 physical), never below 0.
    f32 DefenceFactor(i32 damageType) const;
    // HP, gauges, score, kills and the kill line of one registered hit.
    // owner may be null; sameTeamMultiplier scales friendly fire.
    enum class HitSource { Billboard, Weapon, Blade };
    void ApplyHitDamage(i32 base, f32 sameTeamMultiplier, f32 factor, i32 objectTeam, BB_Base* owner,
                        HitSource source);
    // Breaks a hold on this robot and stands it upright.
    void ReleaseAndLevel(BB_Base* owner);
    // Rebuilds the rotation from the horizontal facing and up; a robot facing
    // straight up or down is tipped a quarter turn about its x axis instead.
    void LevelUpright();
    // The shield frame's world matrix while the guard is up; null without a guard.
    const Mat4* GuardMatrix() const;
    i32 HitByBillboard(BB_AtkStandard* billboard, BB_Base* owner);
    i32 HitByWeapon(LZ_Standard* weapon);
    i32 HitByBlade(BB_SwordBeamAtk* blade);
    // A blade stopped by the shield: flash, streaks, sparks, the attacker
    // thrown back and the clang.
    void BladeGuarded(BB_SwordBeamAtk* blade);
    f32 chargeGiveRate = 1.0f;
    CRobot_Base* lastMeleeTarget = nullptr;

    // The destroyed state that Defeat enters: the knock-back of a heavy hit.
    void StateDestroyed();

    // ---- action core (robot/actions/) ----
    void SetAction(u32 action, f32 blendFrames, i32 restart, i32 startFrame, f32 decay, i32 wholeBody,
                   StateProc next);
    Vec3 GetMoveDirection(i32 direction) const;
    f32 TurnToward(const Vec3& direction, f32 maxDegrees) const;
    void UpdatePosture(f32 extraYaw);
    // The current state, then the attack-end callback when one is installed.
    void StepActionStates();
    void RePose();
    // Both layers with the aims of the posture step; the lower layer alone
    // (placedLater and the answer as in CHierarchyObject::ApplyAnimeFrom).
    void PoseLayers();
    bool PoseLowerLayer(const HodNode* placedLater = nullptr);
    // True when the type has a script table for this action.
    bool HasScript(i32 action) const;
    // Switches a layer's running animation, keeping its track's speed, frame and loop.
    void SwitchLayerAnime(i32 layer, u32 anime, f32 blend);
    // Script entry 0 of an action on a channel and its animation on that layer.
    void StartLayerAction(i32 channel, u32 script, u32 anime, f32 blend);
    u32 LayerAnime(i32 layer) const;
    u8 Pressed(i32 inputByte) const { return inputByte >= 1 && inputByte < kInputBytes ? input.buttons[inputByte - 1] : 0; }
    // A press not yet acted on: sets the latch and answers true once per press.
    bool FreshPress(i32 inputByte);
    // Per-frame income of the state tables.
    void DecayImpact() { if (impactValue > 0) --impactValue; }
    void SpendBoost(i32 amount);
    void RaiseSmoke(const Vec3& position, f32 size, const Vec3& drift, u32 colour);
    // One flame and its glow on a burner node, and the burner's looping sound.
    void EmitBurner(HodNode* node, f32 size);
    // Stops the looping sound of the current action and forgets it.
    void StopLoopSound();
    // Chest and arm aim after the upper body was posed; bodyAngle is the
    // signed pitch the body node took (positive down); chestLeft: that pose
    // left the chest's descendants to be animated as they are placed.
    void AimChestAndArms(f32 bodyAngle, bool chestLeft);
    // Whether the chest's walk, meeting no callback node, placed an arm and
    // everything below it, and placing them again from the arm's unchanged
    // matrix would repeat it.
    bool PlacedByChestWalk(const HodNode* arm) const;
    // One frame of a pitch aim (body or chest) with its weight and rotation;
    // the signed pitch taken, positive down. taken: pitch already taken above.
    f32 StepPitchAim(i8 flag, const f32 (&limits)[2], f32 taken, f32& weight, Quat& q) const;
    void BlendedRotation(const Quat& q, f32 weight, bool on, Mat4* out) const;

    // ---- movement and attack states ----
    void StateIdle();
    void StateWalk();
    void StateJumpStart();
    void StateJumpRise();
    void StateBoostRise();
    void StateFall();
    void StateLanding();
    void StateBrake();
    void StateDash();
    void StateWholeBodyAttack();
    void StateDashSlash();
    void StateSaberCombo();
    // ---- guard (robot/actions/Guard.cpp) ----
    void StateGuard();
    void StateGuardRelease();
    void StateGuardAttack();
    // The button handlers in their fixed order; 1 when one started something.
    i32 ButtonHandlers(i32 wholeBody, i32 direction);
    i32 ShotButton(i32 wholeBody);
    i32 SaberButton(i32 direction);
    i32 SubButton(i32 which);  // 0..2
    i32 GuardButton();
    void StartShot(i32 wholeBody);
    void StartManoeuvreShot();
    void StartSaber(i32 direction, i32 wholeBody);
    void StartSubAttack(u32 action);
    void StartDash(i32 direction, i32 wholeBody);
    // Turns the view basis about the vertical by the free-look step of a direction.
    void TurnViewByDirection(i32 direction);
    void EnterAirManoeuvre();
    void TakeCharge(i32 hold);
    // Dot of the view with the body's facing; the cross product when asked.
    f32 FacingDot(Vec3* cross) const;
    void StartTurningShot();
    void StartUpperShot();
    void EndWholeBodyAttack(f32 fallDecay);
    bool PayComboCancel();
    bool DashTapped() const;
    bool JumpTapped() const;
    void ClearJumpTapProgress();
    void DashSmoke(f32 spread, f32 rise, f32 size);

    // ---- hit reactions (robot/actions/HitReactions.cpp) ----
    // Turns a pending hit request into a hit-reaction state, or drops it.
    void ChooseHitReaction();
    void HitLightState();
    void HitKnockBackState();
    void HitKnockDownState();
    void DownState();
    void GetUpState();
    void QuickRecoveryState();
    void EscapeDashState();
    void HeldState();
    // The guard escape (saber + guard) or the escape dash (shot + saber),
    // paid from the charge gauge; true when taken (the frame is over).
    bool TryEscape(i32 cost, bool toGuard);
    // Shot, saber and guard latches follow their buttons.
    void LatchHitButtons();
    // The extra yaw that turns the body toward the view, at most 30 degrees a
    // frame; strict turns nothing when the two are exactly opposite.
    f32 TurnTowardView(bool strict) const;

    // ---- kill-streak rewards (robot/Rewards.cpp) ----
    // Carries out one reward code and announces it on the robot's screen;
    // unknown codes do nothing.
    void CarryOutReward(i32 code);
    // The type a reward code calls in (a ship type when *ship), -1 for none.
    static i32 RewardUnitType(i32 code, bool* ship);

    // ---- manoeuvres and attack-end callbacks ----
    void StateManoeuvre1();
    void StateManoeuvre2();
    void UpperAttackEnd();
    void ShotEnd();
    void ManoeuvreShotEnd();
    void ManoeuvreShotEnd2();
    // Shared opening of both manoeuvres; returns the steering direction.
    Vec3 ManoeuvreCommon(i32 d0);
    void ShotEndCommon(u32 a0, u32 a1, u32 a2, f32 aimBlend, f32 lowerBlend, f32 upperBlend, bool clearGuard);
    i32 ManoeuvreShotRule();
    void CloseManoeuvre(u32 closing, f32 closingBlend, f32 fallBlend);
    void ManoeuvreSubRule(u32 firstTable);

    // ---- lock-on and aim (robot/LockOn.cpp) ----
    // Step 13 of the update on the scene's units; the list form serves tests.
    // Both steps as the update runs them each frame.
    void LockOnAndAim();
    void UpdateLockOn();
    void UpdateLockOn(CList<BB_Base>& units);
    void UpdateAim();
    void FaceForward();
    void FreeLook(i32 direction);
    void SetTargetDistanceVar(f32 value);
    // The locked unit's warning arrow from this robot's side and its threat
    // marker, refreshed every frame of the posture step.
    void WarnLockTarget();
    bool IsComputer() const { return controlMode == kControlComputer; }
    f32 LockRange() const { return IsComputer() ? lockDistance * 100.0f : lockDistance; }
    // The map blocks the segment between this robot and another at or before it.
    bool LineBlocked(CRobot_Base* other);
    Vec3 BodyNodePosition() const;

    // ---- model ----
    Mat4 prevWorldMatrix;
    Mat4 worldMatrix;      // translation row = position
    Mat4 modelRootMatrix;  // the copy handed to the model before posing
    CHierarchyObjectEx lowerModel;
    CHierarchyObject upperModel;

    // ---- motion ----
    Vec3 facing;     // (0, 0, 1) after Reset
    Vec3 forward;    // (0, 0, 1), turned by the spawn yaw
    Vec3 aimVector;  // (0, 0, 20), turned by the spawn yaw
    Vec3 side;       // (1, 0, 0), turned by the spawn yaw
    Vec3 velocity;
    // The acceleration and the motion in the robot's own axes are the script
    // context's force and move vectors: the action scripts' Force and Move
    // commands drive the robot through them.
    f32 moveDecay = 1.0f;  // script float 104
    f32 speedFactor = 1.0f;
    Vec3 moveLockSource;
    Vec3 moveLockTarget;
    Vec3 ownForce;

    // ---- scripts ----
    ScriptEntry* const* scriptTables = nullptr;  // the type's per-animation tables
    ScriptEntry* channelTable[kScriptMainChannels] = {};
    i32 channelIndex[kScriptMainChannels] = {};
    i32 channelWait[kScriptMainChannels] = {};
    i32 layerEnded[kScriptMainChannels] = {};
    f32 layerSpeed[kScriptMainChannels] = {};
    i32 layerLoop[kScriptMainChannels] = {};
    ScriptContext scriptContext;
    i32 subChannelCount = kScriptSubChannels;
    CFixedArray<i32> subActive;            // 10
    CFixedArray<ScriptEntry*> subTable;    // 10
    CFixedArray<i32> subIndex;             // 10
    CFixedArray<i32> subWait;              // 10
    i32 extParams[10] = {};
    f32 scriptWorkFloats[2] = {};
    RobotModelData* modelData = nullptr;
    CFixedArray<i32*> intVars;    // 200; null = no storage behind the number
    CFixedArray<f32*> floatVars;  // 200
    i32 freezeCountdown = 0;
    i32 scriptDepth = 0;  // nesting of entry starts inside one another
    // Script work left in this frame, counted across nesting (see
    // ResetScriptBudget); at zero the robot's script waits for the next frame.
    i32 scriptStartsLeft = 0;
    i32 scriptCommandsLeft = 0;
    u32 scriptOverrunsTold = 0;  // as RobotModelData's, for robots without a type record

    // ---- action code ----
    i32 actionVars[7] = {};  // int script variables 150..155 and 157
    i32 actionFrame = 0;
    i32 airborne = 0;
    i32 attackKind = 0;
    i32 altActionSet = 0;
    i32 partSet = 0;  // 0 gun set, 1 sword set
    i32 hitStop = 0;
    i32 comboTimer = 0;
    i32 comboStep = 0;
    i32 comboQueued = 0;
    // The next combo step's action is the script context's SwordCancel word,
    // which the saber scripts write (0: none yet).
    i32 comboCount = 0;
    i32 chargeLevel = 0;
    i16 chargeRate = 0;
    i16 energyRate = 0;
    i32 guardCooldown = 0;
    i32 guardHitTimer = 0;
    u8 dashDirection = 0;
    u8 dashSlot = 0;
    u8 dashAnimSet = 0;
    u8 gravityOn = 1;
    f32 turnRate = 0.0f;
    f32 attackTurnRate = 0.0f;
    f32 groundDistance = 0.0f;
    i32 tacticalRules = 0;
    i32 killRewardBits = 0;
    i32 lossRewardBits = 0;
    std::vector<i32> pendingRewards;
    std::vector<CRobot_Base*> linkedRobots;
    std::vector<BB_Base*> linkedObjects;
    BB_Base* lastLockTarget = nullptr;
    f32 lockFade = 0.0f;
    i32 timers5[kRobotTimers] = {};
    i32 hitImmunity = 0;
    i32 impactKind = 0;
    i32 impactValue = 0;
    Mat4 workMatrices[2];  // inverses of the body and upper-body nodes, kept by RePose
    f32 scriptFloats[kRobotScriptFloats] = {};  // float variables 105..111
    // What the fire procedures aim at: the locked unit and the elevation
    // limit of this frame's aim, copied by the aim step.
    u8 aimOff = 0;
    BB_Base* target = nullptr;

    // ---- gauges ----
    i32 boostGaugeMax = 0;
    i32 boostGauge = 0;
    i32 boostRegen = 24;
    f32 energy = 0.0f;
    i32 energyMax = 0;
    i32 chargeGauge = 0;  // 0..10000
    f32 lockDistance = 0.0f;
    i32 exGauge = 0;

    // ---- computer player and lock-on ----
    u8 aiStrafeLeft = 0;
    u8 aiCloseIn = 0;
    u8 wallContact = 0;
    i32 aiDashCount = 0;
    i32 aiJumpTimer = 0;
    i32 aiGuardTimer = 0;
    i32 aiLevel = 0;
    i32 aiMoveTimer = 0;
    u8 aiDirection = 5;
    i32 situation = kSituationNeutral;
    i32 voiceCooldown = 0;
    i16 aiButtonTimers[kInputBytes] = {};
    i32 lockTimer = 0;
    u8 lockOff = 0;
    u8 aimClamped = 0;
    f32 freeLookRamp = 0.0f;
    Mat4 lockFrustumMatrix;
    i32 targetSituation = 0;
    i32 regenLastHp = 0;
    i32 regenDelay = 0;
    f32 bodyRoll = 0.0f;
    f32 bodyPitch = 0.0f;
    u8 manoeuvreShotMode = 0;
    f32 bodyAimWeight = 0.0f;
    f32 chestAimWeight = 0.0f;
    f32 armAimWeight[kRobotAttackArms] = {};
    // The burner sound of the current action; a voice of the sound manager,
    // never owned.
    CDSBufferNode* loopSound = nullptr;

    // ---- geometry references ----
    MeshObject* hitMeshRef = nullptr;
    MeshObject* hitUpMeshRef = nullptr;
    f32 boundRadius = 0.0f;
    f32 bodyRadius = 0.0f;
    HodNode* frameBodyD = nullptr;      // "Body_d.x" of lowerModel
    HodNode* frameUpperBody = nullptr;  // "Body.x" of upperModel
    HodNode* frameHead = nullptr;       // "Head.x" of upperModel
    HodNode* frameShield = nullptr;     // "Shield_point.x" of upperModel

    // ---- node tables (filled by set-up) ----
    CFixedArray<HodNode*> weaponPointNodes;  // 50
    CFixedArray<HodNode*> gunNodes;          // 50 (20 used)
    CFixedArray<HodNode*> swordNodes;        // 20
    CFixedArray<HodNode*> attackArmNodes;    // 2
    CFixedArray<HodNode*> burnerNodes;       // 20
    CFixedArray<f32> burnerNodeValues;       // 20
    CFixedArray<HodNode*> etcPointNodes;     // 20
    HodNode** lowerNodes = nullptr;          // new[] of the nodes below "Body_d.x"
    u32 lowerNodeCount = 0;
    CFixedArray<Mat4> lowerNodeMatricesA;
    CFixedArray<Mat4> lowerNodeMatricesB;
    CFixedArray<BB_Base*> attachedWeapons;  // 30

    // ---- commands ----
    CFixedArray<CommandSequence> commandTable;     // 20
    CFixedArray<CommandProgress> commandProgress;  // 20

    RobotColorData colorSet;

    // ---- aim ----
    Quat aimQuats[5];  // [0] the body's aim (bodyAimQuat), [1] the chest, [2] and [3] the arms

    StateProc stateProc = nullptr;
    StateProc subStateProc = nullptr;
    FireProc fireProcs[kFireProcCount] = {};

    std::vector<RobotCallback> FrameProcList;
    std::vector<RobotCallback> DestroyProcList;
    std::vector<RobotCallback> DefeatProcList;

    i32 trailingWords[2] = {};

private:
    void CreateVariableCells();
};

// The battleship lives in robot/ship/Ship.h; whoever sees the robots sees it.
#include "robot/ship/Ship.h"
