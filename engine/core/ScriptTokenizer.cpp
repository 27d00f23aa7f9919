#include "engine/core/ScriptTokenizer.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/core/AssetFile.h"
#include "platform/core/MessageBox.h"
#include "platform/core/TextCodec.h"

namespace {

ScriptTokenizer::MessageHook g_messageHook = nullptr;

// atoi without its undefined overflow: out-of-range values saturate.
long long ParseInteger(const char* s)
{
    errno = 0;
    return std::strtoll(s, nullptr, 10);
}

i32 ToI32(long long v)
{
    return static_cast<i32>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// atof narrowed to single precision; finite values beyond its range saturate.
f32 ParseFloat(const char* s)
{
    const double d = std::strtod(s, nullptr);
    if (std::isfinite(d)) return static_cast<f32>(std::clamp<double>(d, -FLT_MAX, FLT_MAX));
    return static_cast<f32>(d);
}

// Truncation toward zero that saturates instead of overflowing.
i32 FloatToInt(f32 f)
{
    if (std::isnan(f)) return 0;
    if (f >= 2147483648.0f) return INT32_MAX;
    if (f <= -2147483648.0f) return INT32_MIN;
    return static_cast<i32>(f);
}

bool InVarRange(long long n)
{
    return n >= 0 && n < ScriptTokenizer::kVarCount;
}

void SetRef(ScriptVarRef* ref, i16 number, u8 kind)
{
    if (!ref) return;
    ref->number = number;
    ref->kind = kind;
}

// Copies a raw Shift-JIS byte range converted to UTF-8, cut to fit.
void CopyAsUtf8(const char* raw, size_t n, char* out, size_t outSize)
{
    if (!out || outSize == 0) return;
    std::string utf8;
    plat::Cp932ToUtf8(raw, n, utf8);
    plat::Utf8CopyTruncated(out, outSize, utf8.c_str());
}

} // namespace

void ScriptTokenizer::SetMessageHook(MessageHook hook)
{
    g_messageHook = hook;
}

ScriptTokenizer::ScriptTokenizer()
{
    ClearFloatVars();
    ClearIntVars();
}

int ScriptTokenizer::LoadFile(const char* path, u32 key)
{
    FreeText();
    ClearFloatVars();
    FileBuffer file;
    if (!path || !file.Load(path)) return 0;
    file.XorWords(key);
    const char* bytes = reinterpret_cast<const char*>(file.data);
    // Whatever follows a zero byte could never be reached by a scan.
    text.assign(bytes ? bytes : "", bytes ? strnlen(bytes, file.size) : 0);
    pos = 0;
    hasText = true;
    return 1;
}

int ScriptTokenizer::SetText(const char* source)
{
    text.assign(source ? source : "");
    pos = 0;
    hasText = true;
    return 1;
}

void ScriptTokenizer::FreeText()
{
    std::string().swap(text);
    pos = 0;
    hasText = false;
}

bool ScriptTokenizer::IsDelimiterAt(size_t at) const
{
    switch (text[at]) {
    case '=': case '(': case ')': case '[': case ']': case ',': case ';':
        return true;
    case '\r':
        return text[at + 1] == '\n';
    default:
        return false;
    }
}

void ScriptTokenizer::SkipBlanks()
{
    for (;;) {
        const char c = text[pos];
        if (c == ' ' || c == '\t') {
            ++pos;
        } else if (c == '\r' && text[pos + 1] == '\n') {
            pos += 2;
        } else {
            return;
        }
    }
}

void ScriptTokenizer::SkipLine()
{
    while (text[pos] != '\0') {
        if (IsSjisLeadByte(Byte(pos))) {
            SkipChar();
        } else if (text[pos] == '\r' && text[pos + 1] == '\n') {
            pos += 2;
            return;
        } else {
            ++pos;
        }
    }
}

bool ScriptTokenizer::IsEndMark()
{
    SkipBlanks();
    return text[pos] == ';';
}

void ScriptTokenizer::SkipChar()
{
    if (text[pos] == '\0') return;
    const bool pair = IsSjisLeadByte(Byte(pos)) && text[pos + 1] != '\0';
    pos += pair ? 2 : 1;
}

void ScriptTokenizer::Advance(size_t n)
{
    while (n-- > 0 && text[pos] != '\0') ++pos;
}

int ScriptTokenizer::SetCursor(const char* at)
{
    const char* base = text.c_str();
    if (!at || at < base || at > base + text.size()) return 0;
    pos = static_cast<size_t>(at - base);
    return 1;
}

void ScriptTokenizer::ScanToken(size_t& start, size_t& end)
{
    SkipBlanks();
    start = pos;
    while (text[pos] != '\0') {
        if (IsSjisLeadByte(Byte(pos))) {
            SkipChar();
            continue;
        }
        if (IsDelimiterAt(pos)) break;
        ++pos;
    }
    end = pos;
    if (text[pos] == ',') ++pos;
}

void ScriptTokenizer::ReadToken(char* out, size_t outSize)
{
    size_t start = 0, end = 0;
    ScanToken(start, end);
    CopyAsUtf8(text.c_str() + start, end - start, out, outSize);
}

void ScriptTokenizer::ReadRawToScratch()
{
    size_t start = 0, end = 0;
    ScanToken(start, end);
    // Cut to fit without splitting a two-byte character.
    size_t n = 0;
    while (start + n < end) {
        const size_t step = IsSjisLeadByte(Byte(start + n)) && start + n + 1 < end ? 2 : 1;
        if (n + step > kScratchSize - 1) break;
        n += step;
    }
    std::memcpy(scratch, text.c_str() + start, n);
    scratch[n] = '\0';
}

ScriptTokenizer::ParsedVar ScriptTokenizer::ReadVariable()
{
    ++pos; // the '@'
    // The word keeps a blank before its bracket, so "@int (3)" is no typed
    // form: it reads as variable 0 and leaves "(3)" for the next reader.
    ReadRawToScratch();

    ParsedVar v{VarForm::Direct, false, -1};
    if (std::strcmp(scratch, "int") == 0 || std::strcmp(scratch, "float") == 0) {
        v.form = scratch[0] == 'i' ? VarForm::Int : VarForm::Float;
        SkipBlanks();
        SkipChar(); // opening bracket
        ReadRawToScratch();
        const long long n = ParseInteger(scratch);
        SkipBlanks();
        SkipChar(); // closing bracket
        ReadRawToScratch(); // whatever follows, up to the next delimiter
        v.valid = InVarRange(n);
        if (v.valid) v.number = static_cast<i16>(n);
        return v;
    }
    const long long n = ParseInteger(scratch);
    v.valid = InVarRange(n);
    if (v.valid) v.number = static_cast<i16>(n);
    return v;
}

void ScriptTokenizer::ReportBadNumber()
{
    static const char kText[] = "変数番号が不正";
    static const char kCaption[] = "GetInt";
    if (reporter)
        reporter(reporterContext, kText, kCaption);
    else if (g_messageHook)
        g_messageHook(kText, kCaption);
    else
        plat::ShowMessageBox(nullptr, kText, kCaption);
}

// A bad variable number never reaches the tables: the operand reads as the
// literal 0, and only the bracketed forms complain.
i32 ScriptTokenizer::GetInt(ScriptVarRef* ref)
{
    SkipBlanks();
    if (text[pos] != '@') {
        ReadRawToScratch();
        SetRef(ref, -1, kScriptVarLiteral);
        return ToI32(ParseInteger(scratch));
    }
    const ParsedVar v = ReadVariable();
    if (!v.valid) {
        if (v.form != VarForm::Direct) ReportBadNumber();
        SetRef(ref, -1, kScriptVarLiteral);
        return 0;
    }
    switch (v.form) {
    case VarForm::Float:
        SetRef(ref, v.number, kScriptVarFloat);
        return FloatToInt(floatVars[v.number]);
    case VarForm::Int:
    case VarForm::Direct:
    default:
        SetRef(ref, v.number, kScriptVarInt);
        return intVars[v.number];
    }
}

f32 ScriptTokenizer::GetFloat(ScriptVarRef* ref)
{
    SkipBlanks();
    if (text[pos] != '@') {
        ReadRawToScratch();
        SetRef(ref, -1, kScriptVarLiteral);
        return ParseFloat(scratch);
    }
    const ParsedVar v = ReadVariable();
    if (!v.valid) {
        if (v.form != VarForm::Direct) ReportBadNumber();
        SetRef(ref, -1, kScriptVarLiteral);
        return 0.0f;
    }
    switch (v.form) {
    case VarForm::Int:
        SetRef(ref, v.number, kScriptVarInt);
        return static_cast<f32>(intVars[v.number]);
    case VarForm::Float:
        SetRef(ref, v.number, kScriptVarFloat);
        return floatVars[v.number];
    case VarForm::Direct:
    default:
        // The untyped form names the integer slot but reads the float table.
        SetRef(ref, v.number, kScriptVarInt);
        return floatVars[v.number];
    }
}

void ScriptTokenizer::GetOperand(char* out, size_t outSize, i32* isFloat, ScriptVarRef* ref)
{
    SkipBlanks();
    if (text[pos] != '@') {
        size_t start = 0, end = 0;
        ScanToken(start, end);
        CopyAsUtf8(text.c_str() + start, end - start, out, outSize);
        SetRef(ref, -1, kScriptVarLiteral);
        if (isFloat) *isFloat = std::memchr(text.c_str() + start, '.', end - start) ? 1 : 0;
        return;
    }
    const ParsedVar v = ReadVariable();
    if (!v.valid) {
        SetRef(ref, -1, kScriptVarLiteral);
        if (v.form != VarForm::Direct) {
            // The bracketed forms complain and write neither text nor isFloat.
            ReportBadNumber();
            return;
        }
        if (out && outSize > 1) std::strcpy(out, "0");
        else if (out && outSize == 1) out[0] = '\0';
        if (isFloat) *isFloat = 0;
        return;
    }
    const bool isFloatVar = v.form == VarForm::Float;
    SetRef(ref, v.number, isFloatVar ? kScriptVarFloat : kScriptVarInt);
    if (isFloat) *isFloat = isFloatVar ? 1 : 0;
}

i32 ScriptTokenizer::GetIntVar(i32 n) const
{
    return InVarRange(n) ? intVars[n] : 0;
}

f32 ScriptTokenizer::GetFloatVar(i32 n) const
{
    return InVarRange(n) ? floatVars[n] : 0.0f;
}

void ScriptTokenizer::SetIntVar(i32 n, i32 value)
{
    if (InVarRange(n)) intVars[n] = value;
}

void ScriptTokenizer::SetFloatVar(i32 n, f32 value)
{
    if (InVarRange(n)) floatVars[n] = value;
}

void ScriptTokenizer::ClearFloatVars()
{
    std::fill(std::begin(floatVars), std::end(floatVars), 0.0f);
}

void ScriptTokenizer::ClearIntVars()
{
    std::fill(std::begin(intVars), std::end(intVars), 0);
}
