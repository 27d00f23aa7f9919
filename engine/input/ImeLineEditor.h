#pragma once
// One line of UTF-8 text entry with a caret, the input method's composition
// and clipboard paste. The window procedure hands character bytes and key
// presses to the current scene's text-entry hook, which feeds them here.
#include <string>
#include <string_view>

#include "engine/graphics/TextMeasurer.h"
#include "platform/core/Types.h"

namespace plat {
struct ImeContext;
}

class ImeLineEditor {
public:
    // Longest clipboard text taken by one paste, in bytes.
    static constexpr i32 PasteLimit = 1023;

    ImeLineEditor();
    ~ImeLineEditor();
    ImeLineEditor(const ImeLineEditor&) = delete;
    ImeLineEditor& operator=(const ImeLineEditor&) = delete;

    // Takes the main window's input context; once at start-up.
    void OpenContext();
    // Gives the input context back; at shutdown.
    void CloseContext();
    // Switches the input method on or off (scenes close it when chat ends).
    void SetOpenStatus(bool open);

    // Measures with the font that draws the line; null returns to the
    // built-in cell measure. The measurer must outlive its use here.
    void SetMeasureDC(const TextMeasurer* measurer);

    // Characters in the line (a multi-byte sequence counts once).
    i32 GetCharCount() const;
    // Line length in bytes.
    i32 GetLength() const;
    // Size of the text before the caret.
    TextExtent GetCaretExtent() const;
    // Size of the composition up to the input method's cursor.
    TextExtent GetCompositionExtent() const;

    // Applies one character byte (a UTF-8 sequence arrives byte by byte;
    // control codes 1..26 as the keyboard sends them: 8 Backspace, 22 Ctrl+V).
    void OnChar(i32 code);
    // Applies one key press (virtual-key code) and refreshes the composition.
    void OnKeyDown(i32 virtualKey);

    const std::string& GetText() const { return text; }
    // Replaces the line; the caret goes behind it.
    void SetText(std::string_view value);
    // Empties the line and puts the caret at 0.
    void Clear();
    i32 GetCaret() const { return caret; }
    // Clamped to the line and moved back to the start of a character.
    void SetCaret(i32 position);

    const std::string& GetComposition() const { return composition; }
    i32 GetCompositionCursor() const { return compositionCursor; }
    bool IsComposing() const { return !composition.empty(); }

    // Byte length of the character that ends at `position` (0 at the start).
    static i32 CharBefore(std::string_view line, i32 position);
    // Byte length of the character that starts at `position` (0 at the end).
    static i32 CharAt(std::string_view line, i32 position);

private:
    void InsertBytes(std::string_view bytes);
    void Paste();
    void RefreshComposition();
    TextExtent Measure(const std::string& s, i32 bytes) const;

    plat::ImeContext* context = nullptr;
    const TextMeasurer* measurer = nullptr;
    std::string text;
    i32 caret = 0;
    std::string composition;
    i32 compositionCursor = 0;
};
