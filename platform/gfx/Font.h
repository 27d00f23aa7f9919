#pragma once
// Fonts for 2D text: UTF-8 text drawn through a Sprite with glyphs rendered
// by FreeType into the font's own glyph pages (white, coverage in alpha, so
// the draw colour tints them).
//
// Face names are the game's own: "黑体" is the Chinese sans-serif face,
// "ＭＳ　ゴシック" and "ＭＳ Ｐゴシック" the Japanese one; any other name gets
// the Japanese face. The height is the line height in pixels (the glyph cell,
// ascent plus descent); a negative height means the same.
//
//     plat::Font* font = nullptr;
//     plat::CreateFont(device, plat::FontDesc{24, "黑体"}, &font);
//     plat::GfxRect rc{0, 0, 1024, 768};
//     font->DrawText(sprite, "開始", -1, &rc, plat::TextCenter, 0xFFFFFFFF);
//     font->Release();
//
// DrawText takes a byte count (-1: up to the terminating zero; a count that
// ends inside a character stops before it). Lines end at "\n", "\r\n" or
// "\r". With TextWordBreak a line wider than the rectangle breaks at a space
// (the spaces at the break are dropped) or between two characters of which
// one is CJK; a word without such a place overflows. Without TextNoClip
// nothing is drawn outside the rectangle. TextCalcRect draws nothing and sets
// rect.right and rect.bottom to the extent of the text from rect.left and
// rect.top. The result is the height of the text (with TextVCenter or
// TextBottom: from rect.top to the bottom of the text); 0 when nothing was
// laid out.
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Gfx.h"
#include "platform/gfx/Sprite.h"
#include "platform/core/Types.h"

namespace plat {

// Text format flags; the values are the ones stored in the game's data
// (1 centre, 5 centre both ways, 0x10 word break, 0x11 centre and break).
enum TextFormat : u32 {
    TextLeft = 0x0,
    TextTop = 0x0,
    TextCenter = 0x1,
    TextRight = 0x2,
    TextVCenter = 0x4,
    TextBottom = 0x8,
    TextWordBreak = 0x10,
    TextNoClip = 0x100,
    TextCalcRect = 0x400,
};

struct FontDesc {
    i32 height = 12;
    std::string faceName;   // as asked for
    u32 weight = 0;         // kept for re-creation; glyphs are the face's own weight
    bool italic = false;
};

struct TextSize {
    i32 cx = 0;
    i32 cy = 0;
};

class FontFace;  // platform/gfx/Font.cpp

class Font : public GfxObject {
public:
    GfxResult GetDesc(FontDesc* out) const;
    const FontDesc& Desc() const { return desc_; }
    // Family actually used ("Noto Sans CJK SC").
    const std::string& FamilyName() const;
    i32 LineHeight() const { return lineHeight_; }
    i32 Ascent() const { return ascent_; }

    // sprite null: the font begins and ends a sprite of its own.
    i32 DrawText(Sprite* sprite, const char* text, i32 count, GfxRect* rect, u32 format, u32 colour);
    // Width of the first `bytes` bytes (-1: all) on one line, and the line
    // height; what the text measuring of the line editor and the rendered
    // text cache need.
    TextSize GetTextExtent(const char* text, i32 bytes);
    // Advance in pixels of one character.
    i32 CharAdvance(u32 codePoint);

    // Glyph pages made so far (each a texture of the font's device).
    u32 PageCount() const { return u32(pages_.size()); }

    // The same face at another line height, for text shown scaled: drawn at
    // the size it is seen, it keeps every stroke that a scaled-down picture
    // of the larger text would lose between its pixels. Made on first ask
    // and owned by this font (this font itself for its own height; null when
    // the face cannot be sized).
    Font* AtHeight(i32 height);

private:
    friend GfxResult CreateFont(GfxDevice* device, const FontDesc& desc, Font** out);
    Font(GfxDevice* device, const FontDesc& desc, FontFace* face);
    ~Font() override;

    struct Glyph {
        i32 page = -1;          // -1: nothing to draw (space, control)
        GfxRect src;            // in the page
        i32 left = 0, top = 0;  // bitmap offset from the pen and the line top
        i32 advance = 0;
    };
    struct Line {
        size_t begin, end;  // bytes of the text
        i32 width;
    };
    const Glyph& GetGlyph(u32 codePoint);
    bool PlaceBitmap(const u8* rows, i32 pitch, i32 w, i32 h, Glyph& g);
    void LayOut(const char* text, size_t bytes, u32 format, i32 maxWidth, std::vector<Line>& lines);
    i32 Width(const char* text, size_t begin, size_t end);

    GfxDevice* device_;
    FontDesc desc_;
    FontFace* face_;
    void* size_ = nullptr;  // the face's size object for this font
    i32 lineHeight_ = 0, ascent_ = 0;
    std::unordered_map<u32, Glyph> glyphs_;
    std::vector<GfxTexture*> pages_;
    i32 shelfX_ = 0, shelfY_ = 0, shelfH_ = 0;
    Sprite* ownSprite_ = nullptr;
    std::vector<Line> lines_;  // scratch
    std::unordered_map<i32, Font*> sizes_;  // AtHeight's fonts, owned
};

// Makes a font on a device. NotAvailable when no face can be opened.
GfxResult CreateFont(GfxDevice* device, const FontDesc& desc, Font** out);

// The Debian package whose fonts hold every character the game draws; it
// is named to the player when no installed font has them.
constexpr const char* kCjkFontPackage = "fonts-noto-cjk";

// The font file and face index a face name maps to (file "" when no
// installed font will do). The system's font lookup (fontconfig) ranks the
// installed faces for the Noto Sans CJK family of the name's language; the
// first that FreeType can draw from and that has the game's menu characters
// is taken. Faces passed over are named on stderr with what draws instead,
// and when none will do, stderr says which package to install.
struct FontFaceChoice {
    std::string file;
    i32 index = -1;
    std::string family;
};
FontFaceChoice ChooseFontFace(const char* faceName);

// Whether some installed face has the game's characters: without one the
// game's own text and the dialogs' CJK labels show nothing.
bool GameTextFontFound();

// Forgets the faces chosen so far; the next choice reads the system's font
// configuration again (FONTCONFIG_FILE included). Fonts already made keep
// their faces.
void ReloadSystemFonts();

// Whether a font file is whole enough to draw from: the face's header and
// every table it lists lie inside the file, the tables every renderer needs
// are there, and FreeType opens the face and renders a glyph. Renderers that
// trust the file (the dialogs' font atlas) must only see files that pass.
// why (may be null) says what is wrong.
bool CheckFontFile(const char* path, i32 faceIndex, std::string* why);

}  // namespace plat
