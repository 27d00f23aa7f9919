#include "robot/Robot.h"

#include <cstring>

#include "app/player/GameItem.h"
#include "script/ScriptCommand.h"
#include "script/fire/FireSteps.h"

// ---------------------------------------------------------------------------
// CRobot_Base

CRobot_Base::CRobot_Base() = default;

CRobot_Base::~CRobot_Base() = default;

i32 CRobot_Base::Run() { return 0; }
i32 CRobot_Base::Draw() { return 0; }
bool CRobot_Base::DrawsOpaque() { return false; }
i32 CRobot_Base::HitTestPass() { return 0; }
i32 CRobot_Base::HitTestObject(BB_Base*) { return 0; }
i32 CRobot_Base::GetKind() const { return kKindRobotBase; }
Mat4* CRobot_Base::GetTargetMatrix() { return nullptr; }
Mat4* CRobot_Base::GetMatrix() { return nullptr; }
i32 CRobot_Base::DrawHDR() { return 0; }
i32 CRobot_Base::DrawShadow() { return 0; }
void CRobot_Base::DrawInterface() {}
void CRobot_Base::DrawLockOn() {}
void CRobot_Base::DrawCharaInfo(CRobot_Base*) {}
void CRobot_Base::DrawRadarMarkers() {}
void CRobot_Base::DrawRadar() {}
void CRobot_Base::UpdateCamera() {}
void CRobot_Base::Defeat() {}
void CRobot_Base::Reserved(i32) {}

void CRobot_Base::Reset()
{
    targetIndex = -1;
    input.Clear();
    pendingInput.Clear();
    inputFlag = 0;
    std::memset(buttonLatch, 0, sizeof buttonLatch);
    std::memset(buttonHold, 0, sizeof buttonHold);
    static const u8 defaultKeys[kRobotKeyCodes] = {0x25, 0x26, 0x27, 0x28, 0x5A, 0x58,
                                                   0x43, 0x56, 0x53, 0x41, 0x44, 0x46};
    std::memcpy(keyCodes, defaultKeys, sizeof keyCodes);
    objectId = 0;
    lockTarget = nullptr;
    holding = nullptr;
    heldBy = nullptr;
    lastTouched = nullptr;
    team = 0;
    state = kRobotStateNone;
    controlMode = kControlLocal;
    nearestThreat = Vec3();
    threatVectorB = Vec3();
    std::memset(displayName, 0, sizeof displayName);
    std::memset(typeName, 0, sizeof typeName);
    std::memset(chatLine, 0, sizeof chatLine);
    score = 0;
    kills = 0;
    killVoicePending = 0;
    chatLineTimer = 0;
    stateTimer = 0;
    defeatFrame = 0;
    typeIndex = 0;
    restBody = 0;
    displayTeam = 0;
    inputEnabled = 0;
    hpMax = 0;
    hp = 0;
    pilotIndex = -1;
    pendingRadioLine = -1;
    std::memset(radioText, 0, sizeof radioText);
    lockAlertList.DeleteAll();
    lockAlertList.Init();
    padNumber = 0;
    for (auto& p : parts) p.reset();
    streakFlag = 1;
    killStreak = 0;
    lossStreak = 0;
    spawnType = spawnControlMode = spawnTeam = 0;
    spawnPos[0] = spawnPos[1] = spawnPos[2] = 0.0f;
    spawnAngle = 0.0f;
    spawnColorSet = 0;
    spawnHpScale = 0.0f;
}

i32 CRobot_Base::SumItemBonus(i32 bonusIndex) const
{
    if (bonusIndex < 0 || bonusIndex >= 10) return 0;
    i32 sum = 0;
    for (const auto& p : parts)
        if (p) sum += p->bonus[bonusIndex];
    return sum;
}

const CGameItem_PowerUp* CRobot_Base::Part(i32 i) const
{
    return i >= 0 && i < kRobotParts && parts[static_cast<size_t>(i)] ? &*parts[static_cast<size_t>(i)] : nullptr;
}

std::array<const CGameItemBase*, kRobotParts> CRobot_Base::PartList() const
{
    std::array<const CGameItemBase*, kRobotParts> list{};
    for (i32 i = 0; i < kRobotParts; ++i) list[static_cast<size_t>(i)] = Part(i);
    return list;
}

CRobot_Base::PartSet CRobot_Base::CopyParts(const CGameItemBase* const* given)
{
    PartSet copies;
    for (i32 i = 0; given && i < kRobotParts; ++i)
        if (const auto* powerUp = dynamic_cast<const CGameItem_PowerUp*>(given[i]))
            copies[static_cast<size_t>(i)].emplace(*powerUp);
    return copies;
}

f32 CRobot_Base::GaugeFraction(f32 value, f32 max)
{
    if (!(max > 0.0f) || !(value > 0.0f)) return 0.0f;
    return value >= max ? 1.0f : value / max;
}

// ---------------------------------------------------------------------------
// CRobot_Normal

namespace {

// The fixed double-tap table every robot starts with.
void FillDefaultCommands(CFixedArray<CommandSequence>& table)
{
    for (CommandSequence& q : table) q = CommandSequence();
    auto tap = [&](i32 slot, u16 direction) {
        CommandSequence& q = table[slot];
        q.window = 20;
        q.doneTime = 10;
        const u16 dirs[3] = {direction, 5, direction};
        for (i32 s = 0; s < 3; ++s) {
            q.steps[s].pattern[0] = dirs[s];
            for (i32 b = 1; b < kInputBytes; ++b) q.steps[s].pattern[b] = 2;
        }
        q.steps[2].isLast = 1;
    };
    tap(0, 4);
    tap(1, 8);
    tap(2, 6);
    tap(3, 2);
    CommandSequence& jump = table[4];
    jump.window = 20;
    jump.doneTime = 20;
    for (i32 s = 0; s < 3; ++s) {
        jump.steps[s].pattern[0] = 0;
        for (i32 b = 1; b < kInputBytes; ++b) jump.steps[s].pattern[b] = 0;
    }
    jump.steps[0].pattern[1] = 1;
    jump.steps[2].pattern[1] = 1;
    jump.steps[2].isLast = 1;
    CommandSequence& change = table[5];
    change.window = 20;
    change.doneTime = 10;
    for (i32 s = 0; s < 3; ++s) {
        change.steps[s].pattern[0] = 0;
        for (i32 b = 1; b < kInputBytes; ++b) change.steps[s].pattern[b] = 2;
    }
    change.steps[0].pattern[5] = 1;
    change.steps[1].pattern[5] = 0;
    change.steps[2].pattern[5] = 1;
    change.steps[2].isLast = 1;
}

}  // namespace

CRobot_Normal::CRobot_Normal()
{
    subActive.Create(kScriptSubChannels);
    subTable.Create(kScriptSubChannels);
    subIndex.Create(kScriptSubChannels);
    subWait.Create(kScriptSubChannels);
    intVars.Create(kScriptVarCount);
    floatVars.Create(kScriptVarCount);
    weaponPointNodes.Create(kRobotWeaponPoints);
    gunNodes.Create(kRobotWeaponPoints);
    swordNodes.Create(kRobotSwordNodes);
    attackArmNodes.Create(kRobotAttackArms);
    burnerNodes.Create(kRobotBurners);
    burnerNodeValues.Create(kRobotBurners);
    etcPointNodes.Create(kRobotEtcPoints);
    attachedWeapons.Create(kRobotWeaponSlots);
    commandTable.Create(kRobotCommands);
    commandProgress.Create(kRobotCommands);
    scriptContext.intVars = intVars.Data();
    scriptContext.intVarCount = intVars.GetCount();
    scriptContext.floatVars = floatVars.Data();
    scriptContext.floatVarCount = floatVars.GetCount();
}

CRobot_Normal::~CRobot_Normal()
{
    ReleaseModel();
    FrameProcList.clear();
    DestroyProcList.clear();
    DefeatProcList.clear();
    upperModel.Release();
}

i32 CRobot_Normal::GetKind() const { return kKindRobot; }

Mat4* CRobot_Normal::GetTargetMatrix() { return frameBodyD ? &frameBodyD->world : nullptr; }

Mat4* CRobot_Normal::GetMatrix() { return &worldMatrix; }

void CRobot_Normal::Reserved(i32) {}
void CRobot_Normal::Reserved2(i32) {}

void CRobot_Normal::ReleaseModel()
{
    if (lowerModel.root) HodNode::FreePoseCacheTree(lowerModel.root);
    // The upper layer poses the lower layer's tree; it owns none of it.
    if (upperModel.root == lowerModel.root) upperModel.root = nullptr;
    lowerModel.Release();
    delete[] lowerNodes;
    lowerNodes = nullptr;
    lowerNodeCount = 0;
    lowerNodeMatricesA.Release();
    lowerNodeMatricesB.Release();
    // Only the robot's own cells are freed; the other entries point at fields.
    for (i32 n = 0; n < kVarOwnedCells; ++n) {
        delete intVars[n];
        intVars[n] = nullptr;
        delete floatVars[n];
        floatVars[n] = nullptr;
    }
    for (i32 n = kVarInputFirst; n < kScriptVarCount; ++n) {
        delete intVars[n];
        intVars[n] = nullptr;
    }
}

i32 CRobot_Normal::OwnedVariableCells() const
{
    i32 cells = 0;
    for (i32 n = 0; n < kVarOwnedCells; ++n) cells += (intVars[n] != nullptr) + (floatVars[n] != nullptr);
    for (i32 n = kVarInputFirst; n < kScriptVarCount; ++n) cells += intVars[n] != nullptr;
    return cells;
}

void CRobot_Normal::CreateVariableCells()
{
    for (i32* &p : intVars) p = nullptr;
    for (f32* &p : floatVars) p = nullptr;
    for (i32 n = 0; n < kVarOwnedCells; ++n) {
        intVars[n] = new i32(0);
        floatVars[n] = new f32(0.0f);
    }
    for (i32 n = kVarInputFirst; n < kScriptVarCount; ++n) intVars[n] = new i32(0);
    for (i32 b = 0; b < kInputBytes; ++b) intVars[kVarButtonHoldFirst + b] = &buttonHold[b];
    intVars[100] = &boostGauge;
    intVars[101] = &boostGaugeMax;
    intVars[102] = &energyMax;
    intVars[103] = &chargeGauge;
    for (i32 w = 0; w < 6; ++w) intVars[150 + w] = &actionVars[w];
    intVars[156] = &situation;
    intVars[157] = &actionVars[6];
    intVars[158] = &hitImmunity;
    floatVars[100] = &energy;
    floatVars[101] = &worldMatrix.m[3][0];
    floatVars[102] = &worldMatrix.m[3][1];
    floatVars[103] = &worldMatrix.m[3][2];
    floatVars[104] = &moveDecay;
    for (i32 f = 0; f < kRobotScriptFloats; ++f) floatVars[105 + f] = &scriptFloats[f];
    scriptContext.intVars = intVars.Data();
    scriptContext.intVarCount = intVars.GetCount();
    scriptContext.floatVars = floatVars.Data();
    scriptContext.floatVarCount = floatVars.GetCount();
}

void CRobot_Normal::Reset()
{
    CRobot_Base::Reset();
    ReleaseModel();
    lowerModel.ResetAnime();
    upperModel.ResetAnime();

    scriptTables = nullptr;
    for (i32 c = 0; c < kScriptMainChannels; ++c) {
        channelTable[c] = nullptr;
        channelIndex[c] = 0;
        channelWait[c] = 0;
        layerEnded[c] = 0;
        layerSpeed[c] = 0.0f;
        layerLoop[c] = 0;
    }
    scriptContext.currentChannel = 0;
    modelData = nullptr;
    subActive.Fill(0);
    for (ScriptEntry*& t : subTable) t = nullptr;
    subIndex.Fill(0);
    subWait.Fill(0);
    std::memset(extParams, 0, sizeof extParams);
    std::memset(scriptFloats, 0, sizeof scriptFloats);
    scriptWorkFloats[0] = scriptWorkFloats[1] = 0.0f;
    freezeCountdown = 0;
    scriptDepth = 0;
    scriptOverrunsTold = 0;
    ResetScriptBudget();

    CreateVariableCells();

    linkedRobots.clear();
    linkedObjects.clear();
    pendingRewards.clear();
    killRewardBits = 0;
    lossRewardBits = 0;
    speedFactor = 1.0f;
    stateProc = nullptr;
    subStateProc = nullptr;
    impactProc = &CRobot_Normal::ChooseHitReaction;
    aimProc = &CRobot_Normal::LockOnAndAim;

    facing = Vec3(0.0f, 0.0f, 1.0f);
    forward = Vec3(0.0f, 0.0f, 1.0f);
    aimVector = Vec3(0.0f, 0.0f, 20.0f);
    side = Vec3(1.0f, 0.0f, 0.0f);
    velocity = Vec3();
    for (i32 i = 0; i < 3; ++i) scriptContext.force[i] = scriptContext.move[i] = 0.0f;
    moveLockSource = Vec3();
    moveLockTarget = Vec3();
    ownForce = Vec3();
    moveDecay = 1.0f;
    std::memset(actionVars, 0, sizeof actionVars);
    actionFrame = 0;
    airborne = 0;
    attackKind = 0;
    altActionSet = 0;
    partSet = 0;
    hitStop = 0;
    comboTimer = comboStep = comboQueued = comboCount = 0;
    scriptContext.swordCancel = 0;
    chargeLevel = 0;
    chargeRate = 0;
    energyRate = 0;
    guardCooldown = guardHitTimer = 0;
    dashDirection = dashSlot = dashAnimSet = 0;
    gravityOn = 1;
    turnRate = attackTurnRate = 0.0f;
    groundDistance = 0.0f;
    std::memset(statusFlags, 0, sizeof statusFlags);
    std::memset(statusTimers, 0, sizeof statusTimers);
    tacticalRules = 0;
    lastLockTarget = nullptr;
    lockFade = 0.0f;
    std::memset(timers5, 0, sizeof timers5);
    hitImmunity = 0;
    impactKind = impactValue = 0;
    workMatrices[0] = workMatrices[1] = Mat4::Identity();
    aimOff = 0;
    target = nullptr;

    restBody = 0;
    boostGaugeMax = 0;
    boostGauge = 0;
    boostRegen = 24;
    energy = 0.0f;
    energyMax = 0;
    exGauge = 0;

    commandProgress.Fill(0);
    FillDefaultCommands(commandTable);

    frameBodyD = frameUpperBody = frameHead = frameShield = nullptr;
    for (HodNode*& n : weaponPointNodes) n = nullptr;
    for (HodNode*& n : gunNodes) n = nullptr;
    for (HodNode*& n : swordNodes) n = nullptr;
    for (HodNode*& n : attackArmNodes) n = nullptr;
    for (HodNode*& n : burnerNodes) n = nullptr;
    burnerNodeValues.Fill(0);
    for (HodNode*& n : etcPointNodes) n = nullptr;
    for (BB_Base*& w : attachedWeapons) w = nullptr;
    hitMeshRef = nullptr;
    hitUpMeshRef = nullptr;
    boundRadius = 0.0f;
    bodyRadius = 0.0f;
    chargeGauge = 0;
    lockDistance = 0.0f;

    FrameProcList.clear();
    DestroyProcList.clear();
    DefeatProcList.clear();
    for (Quat& q : aimQuats) q = Quat(0.0f, 0.0f, 0.0f, 1.0f);
    bodyAimWeight = chestAimWeight = armAimWeight[0] = armAimWeight[1] = 0.0f;
    StopLoopSound();

    aiStrafeLeft = aiCloseIn = wallContact = 0;
    aiDashCount = aiJumpTimer = aiGuardTimer = aiLevel = aiMoveTimer = 0;
    aiDirection = 5;
    situation = kSituationNeutral;
    voiceCooldown = 0;
    std::memset(aiButtonTimers, 0, sizeof aiButtonTimers);
    lockTimer = 0;
    lockOff = aimClamped = 0;
    freeLookRamp = 0.0f;
    lockFrustumMatrix = Mat4::Identity();
    targetSituation = 0;
    regenLastHp = regenDelay = 0;
    bodyRoll = bodyPitch = 0.0f;
    trailingWords[0] = trailingWords[1] = 0;

    for (FireProc& p : fireProcs) p = &CRobot_Normal::FireProcNone;
    FillFireProcTable();
}

void CRobot_Normal::FireProcNone(const i32*) {}

i32 CRobot_Normal::CallFireProc(i32 n, const i32* args)
{
    // A script chooses an entry, never a function pointer.
    if (n < 0 || n >= kFireProcCount) return 0;
    const FireProc proc = fireProcs[n];
    if (proc == nullptr) return 0;
    ++BattleFireStats().calls[n];
    ScopedFireProc firing(n);
    i32 bounded[kScriptFireArgCount];
    if (args)
        for (i32 k = 0; k < kScriptFireArgCount; ++k) bounded[k] = FireArg(args[k], -kFireArgLimit, kFireArgLimit);
    (this->*proc)(args ? bounded : nullptr);
    return 1;
}

void CRobot_Normal::AddBoostGauge(i32 amount)
{
    if (amount > 0) {
        // Whole percentages in integers: a +20 % part turns 50 into exactly 60
        // (0.01 as a float would make it 59.999... and truncate to 59).
        const i64 scaled = static_cast<i64>(amount) * (100 + SumItemBonus(BonusThrustRecharge)) / 100;
        amount = scaled > 2147483647 ? 2147483647 : (scaled < -2147483647 ? -2147483647 : static_cast<i32>(scaled));
    }
    const i64 sum = static_cast<i64>(boostGauge) + amount;
    if (sum > boostGaugeMax) boostGauge = boostGaugeMax;
    else if (sum < 0) boostGauge = 0;
    else boostGauge = static_cast<i32>(sum);
}

void CRobot_Normal::AddEnergy(f32 amount)
{
    if (amount > 0.0f)
        amount = (static_cast<f32>(SumItemBonus(BonusWeaponRecharge)) * 0.01f + 1.0f) * amount;
    energy += amount;
    if (energy > static_cast<f32>(energyMax)) energy = static_cast<f32>(energyMax);
    if (energy < 0.0f) energy = 0.0f;
}

// A destroyed robot is thrown back like one hit hard, and lies down once it lands.
void CRobot_Normal::StateDestroyed() { HitKnockBackState(); }

void CRobot_Normal::Defeat()
{
    // The defeat animation on both layers, from its script's first entry.
    constexpr i32 kDefeatAnime = kActionHitHeavy;
    CHierarchyObject* layers[kScriptMainChannels] = {&lowerModel, &upperModel};
    for (i32 c = 0; c < kScriptMainChannels; ++c) {
        ScriptEntry* table = scriptTables ? scriptTables[kDefeatAnime] : nullptr;
        if (table || channelTable[c]) SetScript(table, 0, c);
        CHierarchyObject* layer = layers[c];
        const u32 previous = layer->previousTrack;
        const u32 track = layer->currentTrack;
        layer->PlayAnimation(kDefeatAnime, track, scriptContext.speed[c], 1.0f, 0.0f,
                             static_cast<u32>(scriptContext.loop[c]), 1);
        // Whatever was still fading out stops: the robot falls at once.
        if (previous < kHierarchyTracks && previous != track) layer->tracks[previous].enabled = 0;
    }
    target = nullptr;
    moveDecay = 1.0f;
    attackKind = 0;
    altActionSet = 0;
    comboStep = 0;
    stateProc = &CRobot_Normal::StateDestroyed;
    subStateProc = nullptr;
    speedFactor = 0.0f;
    situation = kSituationHit;
    state = kRobotStateDestroyed;
    defeatFrame = 0;
    inputEnabled = 0;
    hitImmunity = 1000;
    ++lossStreak;
}
