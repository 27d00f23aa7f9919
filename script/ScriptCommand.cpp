#include "script/ScriptCommand.h"

#include <cmath>
#include <utility>

#include "engine/core/ComplaintLog.h"
#include "engine/core/ScriptTokenizer.h"
#include "platform/core/MessageBox.h"

namespace {

ScriptMessageHook g_hook = nullptr;

struct FileComplaints {
    ComplaintLog log;
    std::string place;
    FileComplaints(const char* path, ComplaintLog::Show show) : log(path, show) {}
};
// Per thread: robot types load on worker threads side by side.
thread_local FileComplaints* g_file = nullptr;

void ShowNow(const char* text, const char* caption)
{
    if (g_hook)
        g_hook(text, caption);
    else
        plat::ShowMessageBox(nullptr, text, caption);
}

} // namespace

ScriptFileComplaints::ScriptFileComplaints(const char* path)
{
    // Loads do not nest; an inner scope would only report to the outer one.
    owner_ = g_file == nullptr;
    if (owner_) g_file = new FileComplaints(path, ShowNow);
}

ScriptFileComplaints::~ScriptFileComplaints()
{
    if (!owner_) return;
    delete g_file;
    g_file = nullptr;
}

void ScriptFileComplaints::SetPlace(std::string place)
{
    if (g_file) g_file->place = std::move(place);
}

void SetScriptMessageHook(ScriptMessageHook hook)
{
    g_hook = hook;
    // The reader's own complaints (bad variable numbers) go the same way.
    ScriptTokenizer::SetMessageHook(hook);
}

void ShowScriptMessage(const char* text, const char* caption)
{
    if (g_file)
        g_file->log.Add(text, caption, g_file->place);
    else
        ShowNow(text, caption);
}

void ShowScriptMessageAbout(const char* text, const char* caption, const std::string& detail)
{
    if (g_file) {
        g_file->log.Add(text, caption, g_file->place.empty() ? detail : g_file->place + " " + detail);
        return;
    }
    const std::string said = std::string(text) + " (" + detail + ")";
    ShowNow(said.c_str(), caption);
}

namespace {
// The told record of the robot whose script runs on this thread.
thread_local u32* g_runTold = nullptr;
}

ScriptRunScope::ScriptRunScope(u32* told) : previous_(g_runTold) { g_runTold = told; }

ScriptRunScope::~ScriptRunScope() { g_runTold = previous_; }

void ReportScriptRunProblem(ScriptRunProblem kind, const char* text, const char* caption)
{
    if (g_runTold) {
        const u32 bit = 1u << static_cast<u32>(kind);
        if (*g_runTold & bit) return;
        *g_runTold |= bit;
    }
    // A battle in progress must never wait on a box.
    if (g_hook)
        g_hook(text, caption);
    else
        plat::ReportError(caption, text);
}

i32 ScriptTruncate(f32 f)
{
    if (std::isnan(f)) return 0;
    if (f >= 2147483648.0f) return INT32_MAX;
    if (f <= -2147483648.0f) return INT32_MIN;
    return static_cast<i32>(f);
}

bool ScriptVarHasStorage(i8 kind, i32 n)
{
    if (kind == kScrVarFloat) return n >= 0 && n <= 111;
    if (kind != kScrVarInt) return false;
    return (n >= 0 && n <= 103) || (n >= 150 && n <= 158) || (n >= 180 && n <= 199);
}

ScriptEntry::~ScriptEntry()
{
    for (RobotScriptBase* c : commands) delete c;
}

ScriptContext::ScriptContext() = default;

i32* ScriptContext::IntVar(i32 n) const
{
    if (!intVars || n < 0 || n >= intVarCount) return nullptr;
    return intVars[n];
}

f32* ScriptContext::FloatVar(i32 n) const
{
    if (!floatVars || n < 0 || n >= floatVarCount) return nullptr;
    return floatVars[n];
}

i32 ScriptEvalInt(const ScriptContext& ctx, i32 literal, i16 index, i8 kind, const char* caption)
{
    if (index < 0) return literal;
    if (kind == kScrVarInt) {
        const i32* v = ctx.IntVar(index);
        return v ? *v : 0;
    }
    if (kind == kScrVarFloat) {
        const f32* v = ctx.FloatVar(index);
        return v ? ScriptTruncate(*v) : 0;
    }
    ReportScriptRunProblem(ScriptRunProblem::BadVariable, "不正な変数指定", caption);
    return 0;
}

f32 ScriptEvalFloat(const ScriptContext& ctx, f32 literal, i16 index, i8 kind, const char* caption)
{
    if (index < 0) return literal;
    if (kind == kScrVarInt) {
        const i32* v = ctx.IntVar(index);
        return v ? static_cast<f32>(*v) : 0.0f;
    }
    if (kind == kScrVarFloat) {
        const f32* v = ctx.FloatVar(index);
        return v ? *v : 0.0f;
    }
    ReportScriptRunProblem(ScriptRunProblem::BadVariable, "不正な変数指定", caption);
    return 0.0f;
}

i32 ScrINT::Get(const ScriptContext& ctx) const
{
    return ScriptEvalInt(ctx, value, index, kind, "ScrINT");
}

f32 ScrFLOAT::Get(const ScriptContext& ctx) const
{
    return ScriptEvalFloat(ctx, value, index, kind, "ScrFLOAT");
}

i8 ScrCHAR::Get(const ScriptContext& ctx) const
{
    return static_cast<i8>(ScriptEvalInt(ctx, value, index, kind, "ScrCHAR"));
}

f32 ScrNUMBER::GetAsFloat(const ScriptContext& ctx) const
{
    if (isFloat) return ScriptEvalFloat(ctx, value.f, index, kind, "ScrINT");
    return static_cast<f32>(ScriptEvalInt(ctx, value.i, index, kind, "ScrINT"));
}
