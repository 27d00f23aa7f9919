#include "engine/input/ImeLineEditor.h"

#include <algorithm>

#include "platform/input/Clipboard.h"
#include "platform/core/TextCodec.h"
#include "platform/input/TextInput.h"

namespace {

// Stand-in for the font's own measure until a scene hands one over: the
// system font's cell, half width for ASCII.
constexpr i32 kCellHeight = 16;
constexpr i32 kNarrowWidth = 8;
constexpr i32 kWideWidth = 16;

}  // namespace

ImeLineEditor::ImeLineEditor() = default;

ImeLineEditor::~ImeLineEditor() = default;

void ImeLineEditor::OpenContext()
{
    if (!context) context = plat::ImeGetContext();
}

void ImeLineEditor::CloseContext()
{
    if (!context) return;
    plat::ImeReleaseContext(context);
    context = nullptr;
    composition.clear();
    compositionCursor = 0;
}

void ImeLineEditor::SetOpenStatus(bool open)
{
    if (context) plat::ImeSetOpenStatus(context, open);
    if (!open) {
        composition.clear();
        compositionCursor = 0;
    }
}

void ImeLineEditor::SetMeasureDC(const TextMeasurer* m) { measurer = m; }

i32 ImeLineEditor::CharAt(std::string_view line, i32 position)
{
    const i32 size = static_cast<i32>(line.size());
    if (position < 0 || position >= size) return 0;
    const size_t want = plat::Utf8SequenceLength(static_cast<u8>(line[position]));
    if (want <= 1 || position + static_cast<i32>(want) > size) return 1;
    for (size_t k = 1; k < want; ++k)
        if (!plat::IsUtf8Continuation(static_cast<u8>(line[position + k]))) return 1;
    // A broken sequence counts byte by byte, so no valid character is ever split.
    return static_cast<i32>(want);
}

i32 ImeLineEditor::CharBefore(std::string_view line, i32 position)
{
    position = std::clamp(position, 0, static_cast<i32>(line.size()));
    // Walk from the start: a byte just before the caret cannot tell on its
    // own where its character began.
    i32 at = 0;
    i32 last = 0;
    while (at < position) {
        last = at;
        at += CharAt(line, at);
    }
    return position - last;
}

i32 ImeLineEditor::GetCharCount() const
{
    i32 count = 0;
    for (i32 at = 0; at < static_cast<i32>(text.size()); at += CharAt(text, at)) ++count;
    return count;
}

i32 ImeLineEditor::GetLength() const { return static_cast<i32>(text.size()); }

TextExtent ImeLineEditor::Measure(const std::string& s, i32 bytes) const
{
    bytes = std::clamp(bytes, 0, static_cast<i32>(s.size()));
    if (measurer) return measurer->MeasureText(s.data(), bytes);
    TextExtent e;
    e.cy = kCellHeight;
    for (i32 at = 0; at < bytes;) {
        const i32 n = CharAt(std::string_view(s.data(), bytes), at);
        e.cx += static_cast<u8>(s[at]) < 0x80 ? kNarrowWidth : kWideWidth;
        at += n;
    }
    return e;
}

TextExtent ImeLineEditor::GetCaretExtent() const { return Measure(text, caret); }

TextExtent ImeLineEditor::GetCompositionExtent() const
{
    return Measure(composition, compositionCursor);
}

void ImeLineEditor::InsertBytes(std::string_view bytes)
{
    text.insert(static_cast<size_t>(caret), bytes);
    caret += static_cast<i32>(bytes.size());
}

void ImeLineEditor::Paste()
{
    if (!plat::HasClipboardText()) return;
    const std::string clip = plat::GetClipboardText();
    if (clip.empty()) return;
    // At most PasteLimit bytes, ending on a character boundary.
    const size_t n = plat::Utf8TruncatedLength(clip.c_str(), PasteLimit);
    InsertBytes(std::string_view(clip.data(), n));
}

void ImeLineEditor::OnChar(i32 code)
{
    if (code < -128 || code > 255) return;
    const u8 byte = static_cast<u8>(code);
    switch (byte) {
    case 13:
    case 9:
    case 27:
        return;
    case 8: {
        if (caret <= 0) {
            caret = 0;
            return;
        }
        const i32 n = CharBefore(text, caret);
        caret -= n;
        text.erase(static_cast<size_t>(caret), static_cast<size_t>(n));
        return;
    }
    case 22:
        Paste();
        return;
    default:
        break;
    }
    // Other control codes (and a stray zero) never enter the line.
    if (byte <= 26) return;
    const char c = static_cast<char>(byte);
    InsertBytes(std::string_view(&c, 1));
}

void ImeLineEditor::OnKeyDown(i32 virtualKey)
{
    const i32 length = GetLength();
    switch (virtualKey) {
    case 35: caret = length; break;
    case 36: caret = 0; break;
    case 37: caret = std::max(0, caret - CharBefore(text, caret)); break;
    case 39: caret = std::min(length, caret + CharAt(text, caret)); break;
    case 46:
        if (caret < length) text.erase(static_cast<size_t>(caret), CharAt(text, caret));
        break;
    default: break;
    }
    RefreshComposition();
}

void ImeLineEditor::RefreshComposition()
{
    if (!context) {
        composition.clear();
        compositionCursor = 0;
        return;
    }
    composition = plat::ImeGetCompositionString(context);
    compositionCursor =
        std::clamp(plat::ImeGetCompositionCursor(context), 0, static_cast<i32>(composition.size()));
}

void ImeLineEditor::SetText(std::string_view value)
{
    text.assign(value.data(), value.size());
    caret = static_cast<i32>(text.size());
}

void ImeLineEditor::Clear()
{
    text.clear();
    caret = 0;
}

void ImeLineEditor::SetCaret(i32 position)
{
    position = std::clamp(position, 0, GetLength());
    i32 at = 0;
    while (at < position) {
        const i32 next = at + CharAt(text, at);
        if (next > position) break;
        at = next;
    }
    caret = at;
}
