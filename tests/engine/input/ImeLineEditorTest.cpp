#include "engine/input/ImeLineEditor.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/input/Clipboard.h"
#include "platform/input/Events.h"
#include "platform/input/InputScript.h"
#include "platform/input/TextInput.h"

namespace {

// "あ" and "漢" are three bytes each in UTF-8; "é" two; "😀" four.
const std::string kA = "\xE3\x81\x82";
const std::string kKan = "\xE6\xBC\xA2";

void Type(ImeLineEditor& e, const std::string& s)
{
    for (char c : s) e.OnChar(static_cast<u8>(c));
}

TEST(ImeLineEditor, BackspaceRemovesAWholeMultiByteCharacter)
{
    ImeLineEditor e;
    Type(e, "a" + kA);
    EXPECT_EQ(e.GetLength(), 4);
    EXPECT_EQ(e.GetCharCount(), 2);
    e.OnChar(8);
    EXPECT_EQ(e.GetText(), "a");
    EXPECT_EQ(e.GetCaret(), 1);
}

TEST(ImeLineEditor, CharacterBeforeCaretIsFoundByWalkingNotByLookingTwoBytesBack)
{
    // The byte two before the caret here is the lead of a three-byte
    // character's neighbour: looking back a fixed distance would cut "漢".
    ImeLineEditor e;
    Type(e, kA + "b" + kKan + "\xC3\xA9" + "\xF0\x9F\x98\x80");
    e.OnChar(8); // 4-byte emoji
    EXPECT_EQ(e.GetText(), kA + "b" + kKan + "\xC3\xA9");
    e.OnChar(8); // é
    EXPECT_EQ(e.GetText(), kA + "b" + kKan);
    e.OnChar(8); // 漢
    EXPECT_EQ(e.GetText(), kA + "b");
    e.OnKeyDown(37); // Left over "b"
    EXPECT_EQ(e.GetCaret(), 3);
    e.OnKeyDown(37); // Left over あ
    EXPECT_EQ(e.GetCaret(), 0);
    e.OnKeyDown(37);
    EXPECT_EQ(e.GetCaret(), 0);
}

TEST(ImeLineEditor, CaretMovesAndDeletesByCharacterInMixedText)
{
    ImeLineEditor e;
    e.SetText(kKan + "x" + kA);
    EXPECT_EQ(e.GetCaret(), 7);
    e.OnKeyDown(39); // Right at the end stays
    EXPECT_EQ(e.GetCaret(), 7);
    e.OnKeyDown(36); // Home
    e.OnKeyDown(46); // Delete the leading 漢 whole
    EXPECT_EQ(e.GetText(), "x" + kA);
    e.OnKeyDown(39);
    EXPECT_EQ(e.GetCaret(), 1);
    e.OnKeyDown(39);
    EXPECT_EQ(e.GetCaret(), 4);
    e.OnKeyDown(35); // End
    EXPECT_EQ(e.GetCaret(), 4);
    e.OnKeyDown(46); // Delete at the end changes nothing
    EXPECT_EQ(e.GetText(), "x" + kA);
    // Typing in the middle inserts at the caret.
    e.OnKeyDown(36);
    e.OnKeyDown(39);
    Type(e, kKan);
    EXPECT_EQ(e.GetText(), "x" + kKan + kA);
    EXPECT_EQ(e.GetCaret(), 4);
}

TEST(ImeLineEditor, BackspaceAtStartAndControlCodesChangeNothing)
{
    ImeLineEditor e;
    e.OnChar(8);
    EXPECT_EQ(e.GetText(), "");
    EXPECT_EQ(e.GetCaret(), 0);
    Type(e, "ab");
    e.OnKeyDown(36);
    e.OnChar(8);
    EXPECT_EQ(e.GetText(), "ab");
    for (int code : {13, 9, 27, 1, 3, 26, 0}) e.OnChar(code);
    EXPECT_EQ(e.GetText(), "ab");
    EXPECT_EQ(e.GetCaret(), 0);
}

TEST(ImeLineEditor, BrokenBytesAreRemovedOneAtATime)
{
    ImeLineEditor e;
    Type(e, std::string("a\xE3\x81") + "b"); // truncated sequence then b
    e.OnChar(8);
    EXPECT_EQ(e.GetText(), std::string("a\xE3\x81"));
    e.OnChar(8);
    EXPECT_EQ(e.GetText(), std::string("a\xE3"));
    e.OnChar(8);
    e.OnChar(8);
    EXPECT_EQ(e.GetText(), "");
}

TEST(ImeLineEditor, PasteTakesAtMost1023BytesAndNeverCutsACharacter)
{
    ImeLineEditor e;
    ASSERT_TRUE(plat::SetClipboardText(std::string(2000, 'q').c_str()));
    e.OnChar(22);
    EXPECT_EQ(e.GetLength(), ImeLineEditor::PasteLimit);
    EXPECT_EQ(e.GetCaret(), ImeLineEditor::PasteLimit);

    // 341 three-byte characters are 1023 bytes; one more ASCII byte in front
    // pushes the last character past the limit, so it is left out whole.
    std::string japanese = "z";
    for (int i = 0; i < 400; ++i) japanese += kA;
    ASSERT_TRUE(plat::SetClipboardText(japanese.c_str()));
    ImeLineEditor f;
    Type(f, "<>");
    f.OnKeyDown(37);
    f.OnChar(22);
    EXPECT_EQ(f.GetLength(), 2 + 1021);
    EXPECT_EQ(f.GetText().substr(0, 2), "<z");
    EXPECT_EQ(f.GetText().back(), '>');
    EXPECT_EQ(f.GetCharCount(), 2 + 1 + 340);
    EXPECT_EQ(f.GetCaret(), 1 + 1021);

    ASSERT_TRUE(plat::SetClipboardText(""));
    ImeLineEditor g;
    g.OnChar(22);
    EXPECT_EQ(g.GetText(), "");
}

class FixedMeasure : public TextMeasurer {
public:
    TextExtent MeasureText(const char*, i32 bytes) const override { return {bytes * 10, 20}; }
};

TEST(ImeLineEditor, CaretAndCompositionExtentsUseTheGivenMeasurer)
{
    ImeLineEditor e;
    e.SetText("ab" + kA);
    e.OnKeyDown(37);
    EXPECT_EQ(e.GetCaretExtent().cx, 2 * 8); // built-in cell: two narrow cells
    FixedMeasure m;
    e.SetMeasureDC(&m);
    EXPECT_EQ(e.GetCaretExtent().cx, 20);
    EXPECT_EQ(e.GetCaretExtent().cy, 20);
    e.SetMeasureDC(nullptr);
    e.OnKeyDown(35);
    EXPECT_EQ(e.GetCaretExtent().cx, 2 * 8 + 16);
}

TEST(ImeLineEditor, CompositionArrivesThroughTheEventPumpAndIsRefreshedOnKeys)
{
    ASSERT_TRUE(plat::InitEvents());
    ImeLineEditor e;
    e.OpenContext();
    // "かんじ" with the cursor after two characters, then the commit.
    std::string error;
    ASSERT_TRUE(plat::LoadInputScriptText("0 compose 2 \xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98\n"
                                          "0 compose 0\n"
                                          "0 text " + kKan + "a\n",
                                          &error))
        << error;
    plat::Event ev;
    std::string composedSeen;
    i32 cursorSeen = -1;
    int guard = 0;
    while (guard++ < 1000) {
        if (!plat::PollEvent(ev)) {
            if (plat::InputScriptFinished()) break;
            continue;
        }
        if (ev.kind == plat::EventKind::KeyDown) {
            e.OnKeyDown(ev.value);
            if (e.IsComposing() && composedSeen.empty()) {
                composedSeen = e.GetComposition();
                cursorSeen = e.GetCompositionCursor();
            }
        } else if (ev.kind == plat::EventKind::Char) {
            e.OnChar(ev.value);
        }
    }
    while (plat::PollEvent(ev))
        if (ev.kind == plat::EventKind::Char) e.OnChar(ev.value);
        else if (ev.kind == plat::EventKind::KeyDown) e.OnKeyDown(ev.value);
    EXPECT_EQ(composedSeen, "\xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98");
    EXPECT_EQ(cursorSeen, 6); // two characters = six bytes
    EXPECT_FALSE(e.IsComposing());
    EXPECT_EQ(e.GetText(), kKan + "a");
    EXPECT_EQ(e.GetCharCount(), 2);
    e.CloseContext();
}

TEST(ImeLineEditor, SetCaretLandsOnACharacterStart)
{
    ImeLineEditor e;
    e.SetText(kA + kKan);
    e.SetCaret(4);
    EXPECT_EQ(e.GetCaret(), 3);
    e.SetCaret(99);
    EXPECT_EQ(e.GetCaret(), 6);
    e.Clear();
    EXPECT_EQ(e.GetText(), "");
    EXPECT_EQ(e.GetCaret(), 0);
}

}  // namespace
