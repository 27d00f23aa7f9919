#pragma once
// Lexical reader under every text script. The scripts are Shift-JIS (CP932
// lead-byte rules); tokens handed out are converted to UTF-8, so names and
// file names read from scripts are ordinary program text.
//
// Delimiters are = ( ) [ ] , ; and the pair CR LF; a lead byte always takes
// the next byte with it and is never tested as a delimiter. Operands may name
// one of the 200 integer or 200 float script variables:
//   @int(n) / @int[n]   integer variable n
//   @float(n)           float variable n
//   @n                  variable n without a type word
#include <cstddef>
#include <string>

#include "platform/core/Types.h"

// Which variable an operand named.
struct ScriptVarRef {
    i16 number = -1;  // -1 for a literal
    u8 kind = 255;    // 0 integer variable, 1 float variable, 255 literal
};

inline constexpr u8 kScriptVarInt = 0;
inline constexpr u8 kScriptVarFloat = 1;
inline constexpr u8 kScriptVarLiteral = 255;

class ScriptTokenizer {
public:
    static constexpr int kVarCount = 200;
    static constexpr size_t kScratchSize = 100;

    // Messages about bad scripts go through this; null shows a message box.
    using MessageHook = void (*)(const char* text, const char* caption);
    static void SetMessageHook(MessageHook hook);

    // Where this reader's messages go instead of the hook or a box, so a
    // caller can gather them per file; null gives them back.
    using Reporter = void (*)(void* context, const char* text, const char* caption);
    void SetReporter(Reporter reporter, void* context)
    {
        this->reporter = reporter;
        reporterContext = context;
    }

    ScriptTokenizer();

    // Loads a whole (scrambled) script. 1, or 0 when the file cannot be read,
    // in which case no text is loaded. Float variables are cleared either way.
    int LoadFile(const char* path, u32 key);
    // Copies a zero-terminated Shift-JIS text. 1.
    int SetText(const char* source);
    // Drops the text; reads then see an empty text.
    void FreeText();

    void SkipBlanks();
    void SkipLine();
    bool IsEndMark();

    // Reads one token as UTF-8 into out (outSize bytes with its zero). A
    // token that does not fit is cut at a character boundary; the whole token
    // is consumed all the same.
    void ReadToken(char* out, size_t outSize);
    template <size_t N>
    void ReadToken(char (&out)[N]) { ReadToken(out, N); }

    // Reads an operand without evaluating it. For a literal, text receives the
    // token and isFloat says whether it holds a '.'; for a variable, text is
    // left alone. isFloat stays untouched for an invalid variable number.
    void GetOperand(char* text, size_t textSize, i32* isFloat, ScriptVarRef* ref);
    template <size_t N>
    void GetOperand(char (&text)[N], i32* isFloat, ScriptVarRef* ref) { GetOperand(text, N, isFloat, ref); }
    i32 GetInt(ScriptVarRef* ref = nullptr);
    f32 GetFloat(ScriptVarRef* ref = nullptr);

    // Cursor access for the parsers built on top. Nothing here moves the
    // cursor past the terminating zero.
    const char* GetText() const { return text.c_str(); }
    const char* GetCursor() const { return text.c_str() + pos; }
    // Moves the cursor to a position inside the text; 0 (nothing done) for
    // any other pointer.
    int SetCursor(const char* at);
    // Steps over one character (a lead byte with its partner).
    void SkipChar();
    // Steps over n bytes, stopping at the terminating zero.
    void Advance(size_t n);
    bool AtEnd() const { return text[pos] == '\0'; }
    bool HasText() const { return hasText; }

    // Bounded variable access: outside 0..199 reads give 0 and writes are
    // ignored.
    i32 GetIntVar(i32 n) const;
    f32 GetFloatVar(i32 n) const;
    void SetIntVar(i32 n, i32 value);
    void SetFloatVar(i32 n, f32 value);
    void ClearFloatVars();
    void ClearIntVars();

    f32 floatVars[kVarCount];
    i32 intVars[kVarCount];

private:
    enum class VarForm { Int, Float, Direct };
    struct ParsedVar {
        VarForm form;
        bool valid;
        i16 number;
    };

    u8 Byte(size_t at) const { return static_cast<u8>(text[at]); }
    bool IsDelimiterAt(size_t at) const;
    // Scans one token from the cursor: its raw byte range; consumes a ','.
    void ScanToken(size_t& start, size_t& end);
    // The raw token into the scratch buffer, cut to fit.
    void ReadRawToScratch();
    // With the cursor on '@'.
    ParsedVar ReadVariable();
    void ReportBadNumber();

    std::string text;  // always zero-terminated through c_str()
    size_t pos = 0;
    bool hasText = false;
    char scratch[kScratchSize] = {};
    Reporter reporter = nullptr;
    void* reporterContext = nullptr;
};

// CP932 lead byte: 0x81..0x9F or 0xE0..0xFC.
inline bool IsSjisLeadByte(u8 c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
