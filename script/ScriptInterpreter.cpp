// The robot's script channels: starting entries, running their commands and
// stepping the channels once per frame.
#include "script/ScriptInterpreter.h"

#include <climits>

#include "robot/Robot.h"
#include "script/ScriptFile.h"
#include "script/commands/ScrCommands.h"

namespace {

// Moves the z axis of a Move into the move lock instead of the move vector.
constexpr f32 kMoveLockMark = 900000000.0f;

// Entries start entries (GoScriptIndex, ChangeAnime, RunSubScript); beyond
// this nesting a script is taken to loop on itself.
constexpr i32 kMaxScriptDepth = 32;
// Entry starts one channel may make in one frame; a looping list whose
// entries all wait 0 goes on next frame instead of spinning.
constexpr i32 kMaxStartsPerStep = 256;

CHierarchyObject* Layer(CRobot_Normal& robot, i32 c)
{
    return c == 0 ? static_cast<CHierarchyObject*>(&robot.lowerModel) : &robot.upperModel;
}

bool ValidAnime(i32 a)
{
    return a >= 0 && a < kScriptAniAnimes;
}

enum class ScriptOverrun { Depth, Budget };

// What the robot's type has told of its script's problems: each kind once
// per type, as a runaway script would repeat it every frame, or every call.
u32* ToldRecord(CRobot_Normal& robot)
{
    return robot.modelData ? &robot.modelData->scriptOverrunsTold : &robot.scriptOverrunsTold;
}

// Nesting too deep and work beyond the frame's are one kind: one runaway
// script often does both.
void ReportOverrun(ScriptOverrun kind)
{
    if (kind == ScriptOverrun::Depth)
        ReportScriptRunProblem(ScriptRunProblem::Overrun, "スクリプトの呼び出しが深すぎます", "エラー");
    else
        ReportScriptRunProblem(ScriptRunProblem::Overrun,
                               "スクリプトが1フレームの処理量を超えました。続きは次のフレームで実行します", "エラー");
}

} // namespace

void CRobot_Normal::ResetScriptBudget()
{
    scriptStartsLeft = kScriptStartsPerFrame;
    scriptCommandsLeft = kScriptCommandsPerFrame;
}

ScriptEntry* ScriptTableOf(const CRobot_Normal& robot, i32 anime)
{
    if (!ValidAnime(anime)) return nullptr;
    if (robot.modelData) return robot.modelData->ScriptTable(anime);
    return robot.scriptTables ? robot.scriptTables[anime] : nullptr;
}

i32 ScriptEntryCountOf(const CRobot_Normal& robot, const ScriptEntry* table)
{
    if (!table) return 0;
    if (const RobotModelData* d = robot.modelData) {
        for (i32 a = 0; a < d->scriptTables.GetCount() && a < d->scriptEntryCounts.GetCount(); ++a)
            if (d->scriptTables[a] == table) return d->scriptEntryCounts[a];
        return 0;
    }
    // Without a type record the list runs to its end mark.
    i32 n = 0;
    while (table[n].wait != kScriptEndMark) ++n;
    return n + 1;
}

i32 CRobot_Normal::SetScript(ScriptEntry* table, i32 index, i32 c)
{
    if (c < 0 || c >= kScriptMainChannels) return 0;
    ScriptRunScope tell(ToldRecord(*this));
    // Out of work for this frame: the channel keeps its state and the start
    // is made again next frame.
    if (ScriptBudgetSpent()) {
        ReportOverrun(ScriptOverrun::Budget);
        return 0;
    }
    ScriptContext& ctx = scriptContext;
    if (table) channelTable[c] = table;
    ScriptEntry* current = channelTable[c];
    if (!current || index < 0 || index >= ScriptEntryCountOf(*this, current)) {
        if (!current) ReportScriptRunProblem(ScriptRunProblem::NoTable, "SetScriptがヘンです", "エラ～");
        // Nothing to run: the channel rests at its end.
        channelWait[c] = kScriptEndMark;
        ctx.wait[c] = kScriptEndMark;
        return 0;
    }
    ScriptEntry& e = current[index];
    channelIndex[c] = index;
    channelWait[c] = e.wait;
    ctx.currentChannel = c;
    if (e.wait == kScriptEndMark) {
        ctx.wait[c] = kScriptEndMark;
        return 0;
    }
    ctx.wait[c] = e.wait;
    ctx.speed[c] = e.speed;
    ctx.loop[c] = 0;
    ctx.everyTimeFlags[c] = 0;
    ctx.everyTimeInterval[c] = 0;
    ctx.everyTimeCountdown[c] = 0;
    if (c == 0) {
        ctx.logicWord = 0;
        for (f32& v : ctx.logicVector) v = 0.0f;
        ctx.swordEnable = 0;
        ctx.swordCancel = 0;
        ctx.shieldGuard = 0;
        ctx.shotTurnAngle = 0.0f;
        ctx.subLRKey = 0.0f;
        ctx.laserReflect = 0;
        ctx.exGaugeAdd = 0;
        ctx.energyAdd = 0;
        ctx.vfMulti = 1.0f;
        for (i8& b : ctx.burnerOn) b = 0;
        ctx.gvEnable = 1;
        ctx.boostDashMode = 0;
        for (f32& v : ctx.force) v = 0.0f;
    }
    return RunScriptEntry(&e, ctx, c);
}

i32 CRobot_Normal::SetSubScript(ScriptEntry* table, i32 index, i32 s)
{
    if (s < 0 || s >= subChannelCount || s >= subTable.GetCount() || s >= subIndex.GetCount() ||
        s >= subWait.GetCount())
        return 0;
    ScriptRunScope tell(ToldRecord(*this));
    if (ScriptBudgetSpent()) {
        ReportOverrun(ScriptOverrun::Budget);
        return 0;
    }
    ScriptContext& ctx = scriptContext;
    const i32 c = s + kScriptMainChannels;
    if (table) subTable[s] = table;
    ScriptEntry* current = subTable[s];
    if (!current || index < 0 || index >= ScriptEntryCountOf(*this, current)) {
        if (!current) ReportScriptRunProblem(ScriptRunProblem::NoSubTable, "SetSubScriptがヘンです", "エラ～");
        subWait[s] = kScriptEndMark;
        return 0;
    }
    ScriptEntry& e = current[index];
    subIndex[s] = index;
    subWait[s] = e.wait;
    ctx.currentChannel = c;
    if (ctx.ValidChannel(c)) {
        ctx.everyTimeFlags[c] = 0;
        ctx.everyTimeInterval[c] = 0;
        ctx.everyTimeCountdown[c] = 0;
    }
    if (e.wait == kScriptEndMark) return 0;
    return RunScriptEntry(&e, ctx, c);
}

namespace {

constexpr i32 kNoEndIf = -1;
constexpr i32 kSkipOverBudget = -2;

// Skips forward from command i (an IF that failed, or a reached ELSE) to
// where running resumes: after the matching ELSE (only when `stopAtElse`)
// or ENDIF. Each command stepped over costs the frame's allowance `left` as
// one run would, or a block of a million commands would cost nothing.
// kNoEndIf when the entry has no matching ENDIF, kSkipOverBudget when the
// allowance ran out first.
i32 SkipBlock(const std::vector<RobotScriptBase*>& commands, i32 i, bool stopAtElse, i32& left)
{
    i32 depth = 0;
    for (++i; i < static_cast<i32>(commands.size()); ++i) {
        if (left <= 0) return kSkipOverBudget;
        --left;
        const i32 t = commands[i]->GetType();
        if (t == kScrIF) {
            ++depth;
        } else if (t == kScrELSE) {
            if (depth == 0 && stopAtElse) return i;
        } else if (t == kScrENDIF) {
            if (depth == 0) return i;
            --depth;
        }
    }
    return kNoEndIf;
}

} // namespace

i32 CRobot_Normal::RunScriptEntry(ScriptEntry* entry, ScriptContext& ctx, i32 channel)
{
    if (!entry) return 0;
    ScriptRunScope tell(ToldRecord(*this));
    if (scriptDepth >= kMaxScriptDepth) {
        ReportOverrun(ScriptOverrun::Depth);
        return 0;
    }
    if (ScriptBudgetSpent()) {
        ReportOverrun(ScriptOverrun::Budget);
        return 0;
    }
    --scriptStartsLeft;
    struct DepthGuard {
        i32& depth;
        explicit DepthGuard(i32& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(scriptDepth);

    // The list may be replaced while it runs only by a start of this very
    // entry's table, which the loaders never do during a battle.
    const std::vector<RobotScriptBase*>& commands = entry->commands;
    for (i32 i = 0; i < static_cast<i32>(commands.size()); ++i) {
        if (scriptCommandsLeft <= 0) {
            ReportOverrun(ScriptOverrun::Budget);
            return 0;
        }
        --scriptCommandsLeft;
        RobotScriptBase* command = commands[i];
        command->Exec(ctx);
        switch (command->GetType()) {
        case kScrMove: {
            auto* m = static_cast<Scr_Move*>(command);
            for (int axis = 0; axis < 3; ++axis) {
                if (m->stop[axis]) {
                    ctx.move[axis] = 0.0f;
                    continue;
                }
                const f32 v = m->axis[axis].Get(ctx);
                if (axis == 2 && v == kMoveLockMark)
                    moveLockTarget = moveLockSource;
                else if (v != 0.0f)
                    ctx.move[axis] = v;
            }
            break;
        }
        case kScrMoveLock:
            moveLockTarget = moveLockSource;
            break;
        case kScrForce: {
            auto* f = static_cast<Scr_Force*>(command);
            for (int axis = 0; axis < 3; ++axis) {
                if (f->stop[axis]) {
                    (&ownForce.x)[axis] = 0.0f;
                    ctx.force[axis] = 0.0f;
                } else {
                    ctx.force[axis] = f->axis[axis].Get(ctx);
                }
            }
            break;
        }
        case kScrAttackDelay: {
            auto* a = static_cast<Scr_AttackDelay*>(command);
            const i32 v = a->value.Get(ctx);
            if (v != 0 && a->slot >= 0 && a->slot < kScriptAttackDelaySlots) ctx.attackDelay[a->slot] = v;
            break;
        }
        case kScrSnd:
            PlayScriptSound(*this, static_cast<Scr_Snd*>(command)->value.Get(ctx));
            break;
        case kScrVoice:
            PlayScriptVoice(*this, static_cast<Scr_Voice*>(command)->value.Get(ctx));
            break;
        case kScrRunProc: {
            auto* p = static_cast<Scr_RunProc*>(command);
            const i32 proc = p->proc.Get(ctx);
            if (proc == -1) break;
            i32 args[kScriptFireArgCount];
            for (int k = 0; k < kScriptFireArgCount; ++k) args[k] = p->args[k].Get(ctx);
            // Only entries of the table: a script never names a procedure.
            if (proc < 0 || proc >= kScriptFireProcCount) break;
            // A call makes objects that live on for frames: it costs the
            // frame's allowance as many commands do.
            if (scriptCommandsLeft < kScriptFireCallCost - 1) {
                // What is left could not pay for one: the frame's work is done.
                scriptCommandsLeft = 0;
                ReportOverrun(ScriptOverrun::Budget);
                return 0;
            }
            scriptCommandsLeft -= kScriptFireCallCost - 1;
            CallFireProc(proc, args);
            break;
        }
        case kScrSetExtParam: {
            auto* p = static_cast<Scr_SetExtParam*>(command);
            for (int k = 0; k < kScriptFireArgCount; ++k) extParams[k] = p->values[k].Get(ctx);
            break;
        }
        case kScrGoScriptIndex: {
            const i32 n = static_cast<Scr_GoScriptIndex*>(command)->value.Get(ctx);
            if (n < 0) break;
            if (channel < kScriptMainChannels)
                SetScript(nullptr, n, channel);
            else
                SetSubScript(nullptr, n, channel - kScriptMainChannels);
            return 0;
        }
        case kScrGoPoseIndex: {
            if (channel != 0 && channel != 1) break;
            auto* g = static_cast<Scr_GoPoseIndex*>(command);
            CHierarchyObject* layer = Layer(*this, channel);
            const u32 track = layer->currentTrack < kHierarchyTracks ? layer->currentTrack : 0;
            i32 a = g->anime.Get(ctx);
            const f32 start = static_cast<f32>(g->start.Get(ctx));
            if (a == -1) a = static_cast<i32>(layer->tracks[track].anime);
            if (!ValidAnime(a)) break;
            layer->PlayAnimation(static_cast<u32>(a), track, ctx.speed[channel], -1.0f, start,
                                 static_cast<u32>(ctx.loop[channel]), 1);
            break;
        }
        case kScrRunSubScript: {
            auto* r = static_cast<Scr_RunSubScript*>(command);
            const i32 s = r->channel.Get(ctx);
            const i32 a = r->anime.Get(ctx);
            if (s < 0 || s >= subChannelCount || s >= subActive.GetCount()) break;
            subActive[s] = 1;
            SetSubScript(ScriptTableOf(*this, a), 0, s);
            // The rest of this entry still acts on its own channel.
            ctx.currentChannel = channel;
            break;
        }
        case kScrCatchChara: {
            const i8 mode = static_cast<Scr_CatchChara*>(command)->mode.Get(ctx);
            if (mode == 1) {
                CRobot_Base* other = lastTouched;
                if (other && other != this && !holding && !other->heldBy && other->team != team) {
                    holding = other;
                    other->heldBy = this;
                }
            } else if (mode == 0 && holding) {
                if (holding->heldBy == this) holding->heldBy = nullptr;
                holding = nullptr;
            }
            break;
        }
        case kScrIF:
        case kScrELSE: {
            // A true IF runs on; a false one resumes after its ELSE or
            // ENDIF, a reached ELSE after its ENDIF.
            if (command->GetType() == kScrIF && static_cast<Scr_IF*>(command)->Test(ctx)) break;
            const i32 to = SkipBlock(commands, i, command->GetType() == kScrIF, scriptCommandsLeft);
            if (to == kSkipOverBudget) {
                ReportOverrun(ScriptOverrun::Budget);
                return 0;
            }
            if (to == kNoEndIf) {
                ReportScriptRunProblem(ScriptRunProblem::NoEndIf, "ENDIFがありません", "エラー");
                return 0;
            }
            i = to;
            break;
        }
        case kScrChangeAnime: {
            auto* ch = static_cast<Scr_ChangeAnime*>(command);
            const i32 a = ch->anime.Get(ctx);
            const f32 blend = ch->blend.Get(ctx);
            const i32 mode = ch->mode.Get(ctx);
            for (i32 layerNo = 0; layerNo < 2; ++layerNo) {
                const bool wanted = layerNo == 0 ? (mode == 0 || mode == 2) : (mode == 1 || mode == 2);
                if (!wanted) continue;
                if (SetScript(ScriptTableOf(*this, a), 0, layerNo) != 0 || !ValidAnime(a)) continue;
                // A start refused for this frame's work starts no animation either.
                if (ScriptBudgetSpent()) break;
                CHierarchyObject* layer = Layer(*this, layerNo);
                const u32 track = layer->currentTrack < kHierarchyTracks ? layer->currentTrack : 0;
                const u32 loop = static_cast<u32>(ctx.loop[layerNo]);
                if (blend == 0.0f)
                    layer->PlayAnimation(static_cast<u32>(a), track, ctx.speed[layerNo], layer->tracks[track].weight,
                                         0.0f, loop, 1);
                else
                    layer->ChangeAnime(static_cast<u32>(a), 0.0f, blend, ctx.speed[layerNo], 1.0f, 0.0f, loop);
            }
            return 1;
        }
        default:
            break;
        }
    }
    return 0;
}

void CRobot_Normal::StepScriptChannels()
{
    ScriptContext& ctx = scriptContext;
    // The channels get an allowance of their own, so the robot logic's starts
    // earlier in the frame never hold them back; a frame stays bounded at two.
    ResetScriptBudget();
    for (i32 c = 0; c < kScriptMainChannels; ++c) {
        if (!channelTable[c]) continue;
        if (channelWait[c] <= 0) {
            for (i32 starts = 0; channelWait[c] <= 0 && starts < kMaxStartsPerStep && !ScriptBudgetSpent();
                 ++starts) {
                SetScript(nullptr, channelIndex[c] + 1, c);
                if (channelWait[c] == kScriptEndMark) {
                    layerEnded[c] = 1;
                    if (ctx.loop[c] != 0) SetScript(nullptr, 0, c);
                }
            }
        } else if (channelWait[c] != kScriptEndMark && ctx.everyTimeFlags[c]) {
            if (ctx.everyTimeCountdown[c] == 0) {
                ctx.currentChannel = c;
                RunScriptEntry(&channelTable[c][channelIndex[c]], ctx, c);
                ctx.everyTimeCountdown[c] = ctx.everyTimeInterval[c];
            } else {
                ctx.everyTimeCountdown[c] -= 1;
            }
        }
    }
    for (i32 c = 0; c < kScriptMainChannels; ++c)
        if (channelTable[c] && channelWait[c] != kScriptEndMark && channelWait[c] > INT32_MIN) channelWait[c] -= 1;

    for (i32 s = 0; s < subChannelCount && s < subActive.GetCount() && s < subTable.GetCount(); ++s) {
        if (!subActive[s] || !subTable[s]) continue;
        const i32 c = s + kScriptMainChannels;
        if (subWait[s] <= 0) {
            for (i32 starts = 0; subWait[s] <= 0 && starts < kMaxStartsPerStep && !ScriptBudgetSpent(); ++starts) {
                SetSubScript(nullptr, subIndex[s] + 1, s);
                if (subWait[s] == kScriptEndMark) subActive[s] = 0;
            }
        } else if (subWait[s] != kScriptEndMark && ctx.ValidChannel(c) && ctx.everyTimeFlags[c]) {
            ctx.currentChannel = c;
            RunScriptEntry(&subTable[s][subIndex[s]], ctx, c);
        }
        if (subWait[s] != kScriptEndMark && subWait[s] > INT32_MIN) subWait[s] -= 1;
    }
}
