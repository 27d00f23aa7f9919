#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/core/MTRand.h"
#include "engine/core/ScriptTokenizer.h"
#include "platform/core/FileSystem.h"
#include "platform/core/TextCodec.h"

namespace {

std::vector<std::string> g_messages;

void RecordMessage(const char* text, const char* caption)
{
    g_messages.push_back(std::string(caption) + ":" + text);
}

const std::string kBadNumber = "GetInt:変数番号が不正";

class Tokenizer : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_messages.clear();
        ScriptTokenizer::SetMessageHook(&RecordMessage);
    }
    void TearDown() override { ScriptTokenizer::SetMessageHook(nullptr); }

    std::string Token()
    {
        char buf[100];
        tok.ReadToken(buf);
        return buf;
    }
    ScriptTokenizer tok;
};

// Shift-JIS test text as bytes, so the source encoding never matters.
std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

// "ゼ" 0x83 0x5B and "ゾ" 0x83 0x5D: trail bytes equal to '[' and ']'.
const std::string kZe = Bytes({0x83, 0x5B});
const std::string kZo = Bytes({0x83, 0x5D});
// "ソ" 0x83 0x5C: trail byte equal to a backslash.
const std::string kSo = Bytes({0x83, 0x5C});

} // namespace

TEST_F(Tokenizer, TokenKeepsInnerAndTrailingBlanksAndStopsAtDelimiters)
{
    tok.SetText("  Speed = 12\r\nName(a b ,c);");
    EXPECT_EQ(Token(), "Speed ");
    EXPECT_EQ(*tok.GetCursor(), '=');
    tok.SkipChar();
    EXPECT_EQ(Token(), "12");
    EXPECT_EQ(Token(), "Name") << "CR LF between tokens is a blank";
    tok.SkipChar();
    EXPECT_EQ(Token(), "a b ") << "a comma is consumed";
    EXPECT_EQ(Token(), "c");
    EXPECT_EQ(*tok.GetCursor(), ')');

    // A lone CR is an ordinary character.
    tok.SetText("a\rb\r\nc");
    EXPECT_EQ(Token(), "a\rb");
    EXPECT_EQ(Token(), "c");
}

TEST_F(Tokenizer, IntegerListEndsOnTheEndMark)
{
    tok.SetText("1, 2, 3;");
    EXPECT_EQ(tok.GetInt(), 1);
    EXPECT_EQ(tok.GetInt(), 2);
    EXPECT_EQ(tok.GetInt(), 3);
    EXPECT_EQ(*tok.GetCursor(), ';');
    EXPECT_TRUE(tok.IsEndMark());
    EXPECT_EQ(*tok.GetCursor(), ';') << "the end mark is not consumed";

    tok.SetText("  \r\n\t ;");
    EXPECT_TRUE(tok.IsEndMark());
    tok.SetText("x;");
    EXPECT_FALSE(tok.IsEndMark());
}

TEST_F(Tokenizer, TrailBytesThatLookLikeDelimitersStayInTheCharacter)
{
    // ゼゾソ, then a real bracket.
    tok.SetText((kZe + kZo + kSo + "(1)").c_str());
    EXPECT_EQ(Token(), "ゼゾソ");
    EXPECT_EQ(*tok.GetCursor(), '(');

    // A lead byte takes even a CR with it, so that CR LF is no line end.
    tok.SetText(Bytes({'a', 0x81, 0x0D, 0x0A, 'b', 0x0D, 0x0A, 'c'}).c_str());
    char out[32];
    tok.ReadToken(out);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[std::strlen(out) - 1], 'b');
    EXPECT_EQ(Token(), "c");
}

TEST_F(Tokenizer, SkipLineStepsOverPairsAndStopsAtTheEnd)
{
    tok.SetText(("' " + kZe + "\r\nnext").c_str());
    tok.SkipLine();
    EXPECT_STREQ(tok.GetCursor(), "next");
    tok.SkipLine();
    EXPECT_TRUE(tok.AtEnd());
    tok.SkipLine();
    EXPECT_TRUE(tok.AtEnd());

    // A CR LF hidden behind a lead byte does not end the line.
    tok.SetText(Bytes({0x81, 0x0D, 0x0A, 'x', 0x0D, 0x0A, 'y'}).c_str());
    tok.SkipLine();
    EXPECT_STREQ(tok.GetCursor(), "y");
}

TEST_F(Tokenizer, ReadsEveryVariableForm)
{
    tok.intVars[3] = 42;
    tok.intVars[5] = 7;
    tok.floatVars[2] = -2.7f;
    tok.floatVars[5] = 1.25f;
    ScriptVarRef ref;

    tok.intVars[0] = -9;
    tok.SetText("@int(3), @int[3]tail, @ int(3) , @float(2), @float[2], @5, @5;");
    EXPECT_EQ(tok.GetInt(&ref), 42);
    EXPECT_EQ(ref.number, 3);
    EXPECT_EQ(ref.kind, kScriptVarInt);
    EXPECT_EQ(tok.GetInt(&ref), 42) << "what follows the bracket is dropped";
    EXPECT_EQ(tok.GetInt(&ref), 42) << "a blank before the type word";
    EXPECT_EQ(tok.GetInt(&ref), -2) << "float variables truncate toward zero";
    EXPECT_EQ(ref.kind, kScriptVarFloat);
    EXPECT_FLOAT_EQ(tok.GetFloat(&ref), -2.7f);
    EXPECT_EQ(ref.number, 2);
    EXPECT_EQ(ref.kind, kScriptVarFloat);
    EXPECT_EQ(tok.GetInt(&ref), 7);
    EXPECT_EQ(ref.number, 5);
    EXPECT_EQ(ref.kind, kScriptVarInt);
    // The untyped form reads the float table from GetFloat.
    EXPECT_FLOAT_EQ(tok.GetFloat(&ref), 1.25f);
    EXPECT_EQ(ref.kind, kScriptVarInt);
    EXPECT_TRUE(tok.IsEndMark());

    tok.SetText("@int(3), 2.5, -4");
    EXPECT_FLOAT_EQ(tok.GetFloat(&ref), 42.0f);
    EXPECT_FLOAT_EQ(tok.GetFloat(&ref), 2.5f);
    EXPECT_EQ(ref.number, -1);
    EXPECT_EQ(ref.kind, kScriptVarLiteral);
    EXPECT_EQ(tok.GetInt(&ref), -4);

    // A blank after the type word makes it an untyped name: variable 0, with
    // the bracket left where it was.
    tok.SetText("@int (3)");
    EXPECT_EQ(tok.GetInt(&ref), -9);
    EXPECT_EQ(ref.number, 0);
    EXPECT_EQ(ref.kind, kScriptVarInt);
    char rest[8] = {};
    tok.ReadToken(rest, sizeof rest);
    EXPECT_STREQ(rest, "");
    tok.SkipChar();
    EXPECT_EQ(tok.GetInt(&ref), 3) << "the bracketed number is still unread";
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(Tokenizer, OperandReportsLiteralsAndVariablesWithoutEvaluating)
{
    char text[16] = "untouched";
    i32 isFloat = -1;
    ScriptVarRef ref;

    tok.SetText("0.5, 5, @float(9), @int(1), @7, STOP");
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_STREQ(text, "0.5");
    EXPECT_EQ(isFloat, 1);
    EXPECT_EQ(ref.kind, kScriptVarLiteral);
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_STREQ(text, "5");
    EXPECT_EQ(isFloat, 0);

    std::strcpy(text, "keep");
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_EQ(isFloat, 1);
    EXPECT_EQ(ref.number, 9);
    EXPECT_EQ(ref.kind, kScriptVarFloat);
    EXPECT_STREQ(text, "keep") << "variables leave the text alone";
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_EQ(isFloat, 0);
    EXPECT_EQ(ref.kind, kScriptVarInt);
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_EQ(ref.number, 7);
    EXPECT_EQ(ref.kind, kScriptVarInt);
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_STREQ(text, "STOP");
}

TEST_F(Tokenizer, BadVariableNumbersNeverReachTheTables)
{
    for (int i = 0; i < ScriptTokenizer::kVarCount; ++i) {
        tok.intVars[i] = 1000 + i;
        tok.floatVars[i] = 0.5f + static_cast<f32>(i);
    }
    ScriptVarRef ref;

    // Bracketed forms complain and read 0.
    tok.SetText("@int(250), @float[200], @int(-1), @int(99999999999), 8");
    EXPECT_EQ(tok.GetInt(&ref), 0);
    EXPECT_EQ(ref.kind, kScriptVarLiteral);
    EXPECT_EQ(ref.number, -1);
    EXPECT_EQ(tok.GetFloat(&ref), 0.0f);
    EXPECT_EQ(tok.GetInt(&ref), 0);
    EXPECT_EQ(tok.GetInt(&ref), 0);
    EXPECT_EQ(tok.GetInt(&ref), 8) << "reading goes on after a bad operand";
    EXPECT_EQ(g_messages, (std::vector<std::string>(4, kBadNumber)));

    // The untyped form reads 0 silently; 65541 must not wrap to variable 5.
    g_messages.clear();
    tok.SetText("@200, @-3, @65541, @65541, @199");
    EXPECT_EQ(tok.GetInt(&ref), 0);
    EXPECT_EQ(ref.kind, kScriptVarLiteral);
    EXPECT_EQ(tok.GetInt(&ref), 0);
    EXPECT_EQ(tok.GetInt(&ref), 0);
    EXPECT_EQ(tok.GetFloat(&ref), 0.0f);
    EXPECT_EQ(tok.GetInt(&ref), 1199);
    EXPECT_TRUE(g_messages.empty());

    // GetOperand: bracketed leaves the text and isFloat as they were; the
    // untyped form reads as "0".
    char text[8] = "x";
    i32 isFloat = -1;
    tok.SetText("@float(300), @300");
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_EQ(isFloat, -1);
    EXPECT_STREQ(text, "x");
    EXPECT_EQ(ref.kind, kScriptVarLiteral);
    EXPECT_EQ(g_messages.size(), 1u);
    tok.GetOperand(text, &isFloat, &ref);
    EXPECT_EQ(isFloat, 0);
    EXPECT_STREQ(text, "0");

    // Indexed access from owners obeys the same bounds.
    tok.SetIntVar(200, 5);
    tok.SetFloatVar(-1, 5.0f);
    EXPECT_EQ(tok.GetIntVar(200), 0);
    EXPECT_EQ(tok.GetFloatVar(-1), 0.0f);
    tok.SetIntVar(199, 5);
    EXPECT_EQ(tok.GetIntVar(199), 5);
}

TEST_F(Tokenizer, HugeNumbersSaturateInsteadOfOverflowing)
{
    tok.floatVars[0] = 3.0e9f;
    tok.floatVars[1] = -3.0e9f;
    tok.SetText("99999999999, -99999999999, 1e300, @float(0), @float(1)");
    EXPECT_EQ(tok.GetInt(), INT32_MAX);
    EXPECT_EQ(tok.GetInt(), INT32_MIN);
    EXPECT_EQ(tok.GetFloat(), FLT_MAX);
    EXPECT_EQ(tok.GetInt(), INT32_MAX);
    EXPECT_EQ(tok.GetInt(), INT32_MIN);
}

TEST_F(Tokenizer, OverlongTokensAreCutButConsumedWhole)
{
    const std::string longWord(150, 'w');
    const std::string digits = "1" + std::string(120, '0');
    tok.SetText((longWord + ", " + digits + ", 7, " + longWord + "=").c_str());

    char small[16];
    tok.ReadToken(small);
    EXPECT_EQ(std::string(small), std::string(15, 'w'));
    EXPECT_EQ(tok.GetInt(), INT32_MAX) << "a number beyond the scratch buffer";
    EXPECT_EQ(tok.GetInt(), 7);
    char text[10];
    i32 isFloat = 0;
    tok.GetOperand(text, &isFloat, nullptr);
    EXPECT_EQ(std::string(text), std::string(9, 'w'));
    EXPECT_EQ(*tok.GetCursor(), '=');

    // A cut never splits a character: ゼゾ is 6 bytes of UTF-8.
    tok.SetText((kZe + kZo).c_str());
    char five[5];
    tok.ReadToken(five);
    EXPECT_STREQ(five, "ゼ");

    // An over-long word after '@' straddling the scratch size with a pair.
    tok.intVars[0] = 11;
    tok.SetText(("@" + std::string(98, 'x') + kZe + ", 5").c_str());
    EXPECT_EQ(tok.GetInt(), 11) << "an unknown word is read as number 0";
    EXPECT_EQ(tok.GetInt(), 5);
}

TEST_F(Tokenizer, TruncatedPairAtTheEndNeverReadsPastTheZero)
{
    const std::string tail = Bytes({'A', 'B', 0x83});
    tok.SetText(tail.c_str());
    char out[16];
    tok.ReadToken(out);
    EXPECT_EQ(out[0], 'A');
    EXPECT_TRUE(tok.AtEnd());
    EXPECT_EQ(tok.GetCursor(), tok.GetText() + 3);

    for (const std::string& s : {tail, Bytes({'@', 'i', 'n', 't', '(', 0x83}),
                                 Bytes({'@', 'f', 'l', 'o', 'a', 't', 0x9F}),
                                 Bytes({'@', 0xE0}), Bytes({0xFC})}) {
        tok.SetText(s.c_str());
        const char* end = tok.GetText() + std::strlen(tok.GetText());
        tok.GetInt();
        EXPECT_LE(tok.GetCursor(), end);
        tok.GetFloat();
        tok.SkipLine();
        tok.SkipChar();
        tok.SkipBlanks();
        EXPECT_FALSE(tok.IsEndMark());
        EXPECT_EQ(tok.GetCursor(), end);
    }
}

TEST_F(Tokenizer, CursorMovesOnlyInsideTheText)
{
    tok.SetText("abc");
    EXPECT_EQ(tok.SetCursor(tok.GetText() + 2), 1);
    EXPECT_STREQ(tok.GetCursor(), "c");
    EXPECT_EQ(tok.SetCursor(tok.GetText() + 4), 0);
    EXPECT_EQ(tok.SetCursor("elsewhere"), 0);
    EXPECT_STREQ(tok.GetCursor(), "c");
    tok.Advance(10);
    EXPECT_TRUE(tok.AtEnd());

    tok.FreeText();
    EXPECT_FALSE(tok.HasText());
    EXPECT_EQ(Token(), "");
    EXPECT_EQ(tok.GetInt(), 0);
}

namespace {
// Writes bytes through the engine's file wrapper into the run folder.
void WriteFile(const char* path, const std::string& bytes)
{
    FileHandle f;
    ASSERT_EQ(f.OpenWrite(path), 1);
    ASSERT_EQ(f.Write(bytes.data(), static_cast<u32>(bytes.size())), bytes.size());
}
} // namespace

TEST_F(Tokenizer, LoadsScrambledScriptsAndClearsOnlyTheFloatVariables)
{
    const char* path = "tokenizer_scrambled.spt";
    std::string script = "Name = " + kZe + kZo + ";\r\nHP = 900;";
    std::string scrambled = script;
    XorWords(scrambled.data(), static_cast<u32>(scrambled.size()), AssetKey);
    ASSERT_NE(scrambled, script);
    WriteFile(path, scrambled);

    tok.intVars[4] = 9;
    tok.floatVars[4] = 9.0f;
    ASSERT_EQ(tok.LoadFile(path, AssetKey), 1);
    EXPECT_EQ(tok.intVars[4], 9);
    EXPECT_EQ(tok.floatVars[4], 0.0f);
    EXPECT_EQ(Token(), "Name ");
    tok.SkipChar();
    EXPECT_EQ(Token(), "ゼゾ");
    tok.SkipChar();
    EXPECT_EQ(Token(), "HP ");
    tok.SkipChar();
    EXPECT_EQ(tok.GetInt(), 900);

    // Key 0 reads a plain file as it is.
    WriteFile(path, "plain");
    ASSERT_EQ(tok.LoadFile(path, 0), 1);
    EXPECT_EQ(Token(), "plain");
    plat::DeleteFile(path);

    tok.floatVars[1] = 1.0f;
    EXPECT_EQ(tok.LoadFile("no_such_script.spt", AssetKey), 0);
    EXPECT_FALSE(tok.HasText());
    EXPECT_EQ(tok.floatVars[1], 0.0f);
    EXPECT_EQ(Token(), "") << "reads after a failed load see an empty text";
}

// Mutated and truncated scripts must never make the reader step outside its
// text; the sanitizer watches the memory side.
TEST_F(Tokenizer, SurvivesMutatedScripts)
{
    const std::vector<std::string> samples = {
        "Speed = 12;\r\nName = " + kZe + kSo + ";\r\nMove(@int(3), @float[2], STOP);\r\n",
        "IF(@int(1), >=, 0.5) ' note " + kZo + "\r\n@5 = 3;\r\n#1 LoadPic(face.png, 0, 0);",
        "a, b, c;\r\n@float (199) x, @int[200], @-7, 1e40, 0.25;" + kZe,
    };
    cMTRand rng;
    rng.Init(20240601, 624);
    char out[24];
    char text[12];
    for (int round = 0; round < 20000; ++round) {
        std::string s = samples[rng.GetRand() % samples.size()];
        const u32 edits = rng.GetRand() % 8;
        for (u32 e = 0; e < edits && !s.empty(); ++e) {
            const size_t at = rng.GetRand() % s.size();
            switch (rng.GetRand() % 4) {
            case 0: s[at] = static_cast<char>(rng.GetRand() & 0xFF); break;
            case 1: s[at] = static_cast<char>(0x81 + rng.GetRand() % 0x1F); break; // lead byte
            case 2: s.insert(at, 1, "@=(),;[]\r\n"[rng.GetRand() % 10]); break;
            default: s.resize(at); break;
            }
        }
        std::vector<char> owned(s.begin(), s.end());
        owned.push_back('\0');
        tok.SetText(owned.data());
        const char* begin = tok.GetText();
        const char* end = begin + std::strlen(begin);
        ScriptVarRef ref;
        i32 isFloat = 0;
        for (int step = 0; step < 400 && !tok.AtEnd(); ++step) {
            switch (rng.GetRand() % 8) {
            case 0: tok.ReadToken(out); break;
            case 1: tok.GetInt(&ref); break;
            case 2: tok.GetFloat(&ref); break;
            case 3: tok.GetOperand(text, &isFloat, &ref); break;
            case 4: tok.SkipLine(); break;
            case 5: tok.IsEndMark(); break;
            case 6: tok.SkipBlanks(); break;
            default: tok.SkipChar(); break;
            }
            ASSERT_GE(tok.GetCursor(), begin);
            ASSERT_LE(tok.GetCursor(), end);
            ASSERT_LT(std::strlen(out), sizeof(out));
            ASSERT_TRUE(ref.kind == kScriptVarLiteral ? ref.number == -1
                                                      : ref.number >= 0 && ref.number < 200);
        }
    }
}
