#include "platform/gfx/Font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/core/DriverAllocations.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/core/TextCodec.h"

namespace plat {

namespace {

// Asked for first; any other installed face with the game's characters will do.
constexpr const char* kChineseFamily = "Noto Sans CJK SC";
constexpr const char* kJapaneseFamily = "Noto Sans CJK JP";
// Characters the game's menus and messages draw (the title menu's Chinese,
// the Japanese kana): a face without them leaves the menus blank.
constexpr const char* kGameCharacters = "街机模式开始游戏联网对战ゲーム";
// Candidates tried before giving up, so a system with many broken fonts
// cannot hold the start-up for long.
constexpr size_t kMostCandidates = 32;
constexpr const char* kLacksGameCharacters = "lacks characters the game draws";
constexpr i32 kPageSize = 512;

bool IsCjk(u32 c) {
    return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x2FDF) || (c >= 0x2FF0 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

bool IsBreakSpace(u32 c) { return c == ' ' || c == '\t'; }

}  // namespace

// One opened face of the font file, shared by every font made from it.
class FontFace {
public:
    FT_Face face = nullptr;
    std::string family;
    // Vertical metrics in font units; the line height spans ascender - descender.
    i32 ascender = 0, descender = 0;
};

namespace {

struct FreeTypeHome {
    std::mutex mutex;
    FT_Library library = nullptr;
    bool failed = false;
    std::map<std::string, FontFaceChoice> choices;  // by wanted family
    std::map<std::pair<std::string, i32>, std::unique_ptr<FontFace>> faces;
    // The system's font configuration, read once (FONTCONFIG_FILE included).
    FcConfig* fonts = nullptr;
    bool fontsRead = false;
    bool toldNoFont = false;

    bool Start() {
        if (library == nullptr && !failed) failed = FT_Init_FreeType(&library) != 0;
        return library != nullptr;
    }
};

// Never destroyed: fonts held by other singletons may outlive any static.
FreeTypeHome& Home() {
    static FreeTypeHome* home = new FreeTypeHome;
    return *home;
}

// Reads n bytes at offset of an open file; false past its end.
bool ReadAt(FileId f, u64 offset, void* out, u64 n) {
    return SeekFile(f, offset) && ReadFile(f, out, n) == i64(n);
}

u32 Be32(const u8* p) { return u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | p[3]; }

constexpr u32 Tag(const char (&t)[5]) { return u32(u8(t[0])) << 24 | u32(u8(t[1])) << 16 | u32(u8(t[2])) << 8 | u8(t[3]); }

// The face's table directory against the file: where a font is cut short
// or garbled a renderer that trusts the offsets reads past the file.
bool CheckTables(const char* path, i32 faceIndex, std::string* why) {
    const auto fail = [why](const char* text) {
        if (why) *why = text;
        return false;
    };
    const FileId f = OpenFile(path, FileMode::Read);
    if (f == InvalidFile) return fail("cannot be read");
    struct Closer {
        FileId f;
        ~Closer() { CloseFile(f); }
    } closer{f};
    const i64 size = GetFileSize(f);
    u8 head[12];
    if (size < 12 || !ReadAt(f, 0, head, 12)) return fail("is cut short before its header ends");
    u64 faceAt = 0;
    if (Be32(head) == Tag("ttcf")) {
        const u32 version = Be32(head + 4), faces = Be32(head + 8);
        if (version != 0x00010000u && version != 0x00020000u) return fail("is a font collection of an unknown version");
        if (faceIndex < 0 || u32(faceIndex) >= faces) return fail("has no such face");
        u8 at[4];
        if (!ReadAt(f, 12 + 4 * u64(faceIndex), at, 4)) return fail("is cut short in its list of faces");
        faceAt = Be32(at);
        if (faceAt + 12 > u64(size) || !ReadAt(f, faceAt, head, 12)) return fail("is cut short before a face begins");
    } else if (faceIndex != 0) {
        const u32 kind = Be32(head);
        return fail(kind == 0x00010000u || kind == Tag("OTTO") ? "has no such face" : "is no TrueType or OpenType font");
    }
    const u32 kind = Be32(head);
    if (kind != 0x00010000u && kind != Tag("OTTO")) return fail("is no TrueType or OpenType font");
    const u32 tables = u32(head[4]) << 8 | head[5];
    std::vector<u8> records(size_t(tables) * 16);
    if (tables == 0 || !ReadAt(f, faceAt + 12, records.data(), records.size()))
        return fail("is cut short in its table directory");
    bool cmap = false, hhea = false, hmtx = false, headTable = false, glyf = false, loca = false, cff = false;
    for (u32 i = 0; i < tables; ++i) {
        const u8* r = records.data() + size_t(i) * 16;
        const u64 offset = Be32(r + 8), length = Be32(r + 12);
        if (offset + length > u64(size)) return fail("is cut short: a table lies past its end");
        const u32 tag = Be32(r);
        cmap |= tag == Tag("cmap");
        hhea |= tag == Tag("hhea");
        hmtx |= tag == Tag("hmtx");
        headTable |= tag == Tag("head");
        glyf |= tag == Tag("glyf");
        loca |= tag == Tag("loca");
        cff |= tag == Tag("CFF ");
    }
    if (!cmap || !hhea || !hmtx || !headTable || !((glyf && loca) || cff)) return fail("lacks tables every font has");
    return true;
}

std::vector<u32> GameCharacters() {
    std::vector<u32> out;
    const char* p = kGameCharacters;
    const char* end = p + std::strlen(p);
    size_t len = 0;
    for (; p < end; p += len) out.push_back(DecodeUtf8(p, end, len));
    return out;
}

// Whether FreeType can draw from the face, and (gameText) whether it has
// every character the game's menus draw. Holds the home's lock.
bool UsableLocked(FreeTypeHome& h, const char* path, i32 faceIndex, bool gameText, std::string* why) {
    // A collection's face number sits in the low 16 bits; above them fontconfig
    // may name an instance of a variable font, which FreeType takes as given.
    if (!CheckTables(path, faceIndex & 0xFFFF, why)) return false;
    FT_Face face = nullptr;
    if (!h.Start() || FT_New_Face(h.library, path, faceIndex, &face) != 0) {
        if (why) *why = "FreeType cannot open it";
        return false;
    }
    const std::vector<u32> text = gameText ? GameCharacters() : std::vector<u32>{};
    bool drawn = FT_Set_Pixel_Sizes(face, 0, 16) == 0 && FT_Load_Char(face, 'A', FT_LOAD_RENDER) == 0;
    if (drawn && !text.empty()) drawn = FT_Load_Char(face, text[0], FT_LOAD_RENDER) == 0;
    bool covered = true;
    for (u32 c : text) covered = covered && FT_Get_Char_Index(face, c) != 0;
    FT_Done_Face(face);
    if (!drawn && why) *why = "FreeType cannot draw from it";
    else if (!covered && why) *why = kLacksGameCharacters;
    return drawn && covered;
}

struct Candidate {
    std::string file;
    i32 index = 0;
    bool region = false;  // its family names the asked-for region ("SC", "JP")
};

// The installed faces that say they hold the game's characters, best first
// as the system ranks them for the family and language asked for (so the
// Noto CJK face comes first when it is installed).
std::vector<Candidate> SystemCandidatesLocked(FreeTypeHome& h, const std::string& family, const char* lang) {
    std::vector<Candidate> out;
    const std::string regionSuffix = family.substr(family.rfind(' '));
    if (!h.fontsRead) {
        h.fontsRead = true;
        // fontconfig keeps its font cache through offsets rather than
        // pointers, which the leak checker of sanitizer builds cannot follow.
        DriverAllocations fontCache;
        h.fonts = FcInitLoadConfigAndFonts();
    }
    if (h.fonts == nullptr) return out;
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    if (pattern == nullptr || wanted == nullptr) {
        if (pattern) FcPatternDestroy(pattern);
        if (wanted) FcCharSetDestroy(wanted);
        return out;
    }
    for (u32 c : GameCharacters()) FcCharSetAddChar(wanted, c);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(h.fonts, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    // Untrimmed: a face after a damaged one with the same characters must stay.
    FcFontSet* set = FcFontSort(h.fonts, pattern, FcFalse, nullptr, &result);
    for (int i = 0; set != nullptr && i < set->nfont && out.size() < kMostCandidates; ++i) {
        FcChar8* file = nullptr;
        int index = 0;
        FcCharSet* has = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch || file == nullptr) continue;
        if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch || !FcCharSetIsSubset(wanted, has))
            continue;
        if (FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        FcChar8* name = nullptr;
        std::string named;
        if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch && name != nullptr)
            named = reinterpret_cast<const char*>(name);
        const bool region = named.size() >= regionSuffix.size() &&
                            named.compare(named.size() - regionSuffix.size(), regionSuffix.size(), regionSuffix) == 0;
        out.push_back(Candidate{reinterpret_cast<const char*>(file), index, region});
    }
    // A collection holds one face per region with the same characters, which
    // the lookup may rank alike: within a file the asked-for region comes first.
    std::map<std::string, size_t> firstSeen;
    for (size_t i = 0; i < out.size(); ++i) firstSeen.emplace(out[i].file, i);
    std::stable_sort(out.begin(), out.end(), [&](const Candidate& a, const Candidate& b) {
        const size_t fa = firstSeen[a.file], fb = firstSeen[b.file];
        return fa != fb ? fa < fb : a.region && !b.region;
    });
    if (set) FcFontSetDestroy(set);
    FcCharSetDestroy(wanted);
    FcPatternDestroy(pattern);
    return out;
}

FontFaceChoice ChooseLocked(FreeTypeHome& h, const std::string& want, const char* lang) {
    auto it = h.choices.find(want);
    if (it != h.choices.end()) return it->second;
    FontFaceChoice choice;
    std::vector<std::pair<std::string, std::string>> refused;  // file, why
    for (const Candidate& c : SystemCandidatesLocked(h, want, lang)) {
        std::string why;
        if (UsableLocked(h, c.file.c_str(), c.index, true, &why)) {
            choice.file = c.file;
            choice.index = c.index;
            FT_Face face = nullptr;
            if (FT_New_Face(h.library, c.file.c_str(), c.index, &face) == 0) {
                choice.family = face->family_name ? face->family_name : "";
                FT_Done_Face(face);
            }
            break;
        }
        refused.emplace_back(c.file, why);
    }
    // Said once each, and only what is true: which file was passed over, and
    // what draws the text instead.
    for (const auto& [file, why] : refused) {
        const std::string instead = choice.file.empty()
                                        ? "no other installed font has the game's characters"
                                        : "the game's text is drawn with " + choice.family + " (" + choice.file + ")";
        const std::string what = why == kLacksGameCharacters ? why : "is damaged (" + why + ")";
        ReportLoadFailure(file.c_str(), (what + ": " + instead).c_str());
    }
    if (choice.file.empty() && !h.toldNoFont) {
        h.toldNoFont = true;
        ReportError("font", (std::string("no installed font has the game's Chinese and Japanese characters, so the "
                                         "menus show no text; install the package ") +
                             kCjkFontPackage)
                                .c_str());
    }
    h.choices[want] = choice;
    return choice;
}

FontFace* OpenFaceLocked(FreeTypeHome& h, const FontFaceChoice& choice) {
    if (choice.file.empty()) return nullptr;
    auto key = std::make_pair(choice.file, choice.index);
    auto it = h.faces.find(key);
    if (it != h.faces.end()) return it->second.get();
    FT_Face face = nullptr;
    if (FT_New_Face(h.library, choice.file.c_str(), choice.index, &face) != 0) return nullptr;
    auto ff = std::make_unique<FontFace>();
    ff->face = face;
    ff->family = choice.family;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->sTypoAscender - os2->sTypoDescender > 0) {
        ff->ascender = os2->sTypoAscender;
        ff->descender = os2->sTypoDescender;
    } else {
        ff->ascender = face->ascender;
        ff->descender = face->descender;
        if (ff->ascender - ff->descender <= 0) {
            ff->ascender = face->units_per_EM * 7 / 8;
            ff->descender = -(face->units_per_EM / 8);
        }
    }
    FontFace* raw = ff.get();
    h.faces[key] = std::move(ff);
    return raw;
}

}  // namespace

bool CheckFontFile(const char* path, i32 faceIndex, std::string* why) {
    if (path == nullptr) return false;
    FreeTypeHome& h = Home();
    std::lock_guard<std::mutex> lock(h.mutex);
    return UsableLocked(h, path, faceIndex, false, why);
}

FontFaceChoice ChooseFontFace(const char* faceName) {
    // The game asks for Windows faces by their Japanese and Chinese names.
    const bool chinese = faceName != nullptr && std::strcmp(faceName, "黑体") == 0;
    FreeTypeHome& h = Home();
    std::lock_guard<std::mutex> lock(h.mutex);
    return chinese ? ChooseLocked(h, kChineseFamily, "zh-cn") : ChooseLocked(h, kJapaneseFamily, "ja");
}

bool GameTextFontFound() { return !ChooseFontFace("黑体").file.empty(); }

void ReloadSystemFonts() {
    FreeTypeHome& h = Home();
    std::lock_guard<std::mutex> lock(h.mutex);
    // Faces already opened stay: fonts made from them still draw.
    if (h.fonts) FcConfigDestroy(h.fonts);
    h.fonts = nullptr;
    h.fontsRead = false;
    h.toldNoFont = false;
    h.choices.clear();
}

GfxResult CreateFont(GfxDevice* device, const FontDesc& desc, Font** out) {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = nullptr;
    if (device == nullptr) return GfxResult::InvalidCall;
    const FontFaceChoice choice = ChooseFontFace(desc.faceName.c_str());
    FreeTypeHome& h = Home();
    std::lock_guard<std::mutex> lock(h.mutex);
    FontFace* face = OpenFaceLocked(h, choice);
    if (face == nullptr) return GfxResult::NotAvailable;
    FT_Size size = nullptr;
    if (FT_New_Size(face->face, &size) != 0) return GfxResult::OutOfMemory;
    Font* font = new Font(device, desc, face);
    font->size_ = size;
    // Scale so that ascender to descender fills the asked height, as the
    // cell height of a Windows font does.
    const i32 height = font->desc_.height;
    const double span = double(face->ascender - face->descender);
    const double em = double(height) * face->face->units_per_EM / span;
    FT_Activate_Size(size);
    FT_Set_Char_Size(face->face, 0, FT_F26Dot6(std::lround(em * 64.0)), 72, 72);
    font->lineHeight_ = height;
    font->ascent_ = i32(std::lround(double(height) * face->ascender / span));
    *out = font;
    return GfxResult::Ok;
}

Font::Font(GfxDevice* device, const FontDesc& desc, FontFace* face) : device_(device), desc_(desc), face_(face) {
    device_->AddRef();
    if (desc_.height < 0) desc_.height = -desc_.height;
    if (desc_.height == 0) desc_.height = 12;
    // Beyond a glyph page a glyph could not be stored.
    if (desc_.height > kPageSize / 2) desc_.height = kPageSize / 2;
}

Font::~Font() {
    for (auto& [height, font] : sizes_) font->Release();
    for (GfxTexture* t : pages_) t->Release();
    if (ownSprite_) ownSprite_->Release();
    if (size_) {
        std::lock_guard<std::mutex> lock(Home().mutex);
        FT_Done_Size(static_cast<FT_Size>(size_));
    }
    device_->Release();
}

Font* Font::AtHeight(i32 height) {
    if (height <= 0) height = 1;
    if (height > kPageSize / 2) height = kPageSize / 2;
    if (height == desc_.height) return this;
    auto it = sizes_.find(height);
    if (it != sizes_.end()) return it->second;
    FontDesc desc = desc_;
    desc.height = height;
    Font* font = nullptr;
    if (CreateFont(device_, desc, &font) != GfxResult::Ok) font = nullptr;
    if (font) sizes_.emplace(height, font);
    return font;
}

GfxResult Font::GetDesc(FontDesc* out) const {
    if (out == nullptr) return GfxResult::InvalidCall;
    *out = desc_;
    return GfxResult::Ok;
}

const std::string& Font::FamilyName() const { return face_->family; }

bool Font::PlaceBitmap(const u8* rows, i32 pitch, i32 w, i32 h, Glyph& g) {
    // Shelves with a one-texel gap, so scaled (filtered) drawing never picks
    // up a neighbour.
    if (w + 2 > kPageSize || h + 2 > kPageSize) return false;
    if (pages_.empty() || shelfX_ + w + 1 > kPageSize) {
        shelfX_ = 1;
        shelfY_ += shelfH_ + 1;
        shelfH_ = 0;
    }
    if (pages_.empty() || shelfY_ + h + 1 > kPageSize) {
        GfxTexture* page = nullptr;
        if (device_->CreateTexture(kPageSize, kPageSize, 1, 0, GfxFormat::A8R8G8B8, GfxPool::Managed, &page) !=
            GfxResult::Ok)
            return false;
        GfxLockedRect lr;
        if (page->LockRect(0, &lr, nullptr, 0) == GfxResult::Ok) {
            for (i32 y = 0; y < kPageSize; ++y) std::memset(static_cast<u8*>(lr.bits) + size_t(y) * lr.pitch, 0, kPageSize * 4);
            page->UnlockRect(0);
        }
        pages_.push_back(page);
        shelfX_ = 1;
        shelfY_ = 1;
        shelfH_ = 0;
    }
    GfxTexture* page = pages_.back();
    g.page = i32(pages_.size()) - 1;
    g.src = GfxRect{shelfX_, shelfY_, shelfX_ + w, shelfY_ + h};
    GfxLockedRect lr;
    if (page->LockRect(0, &lr, &g.src, 0) != GfxResult::Ok) {
        g.page = -1;
        return false;
    }
    for (i32 y = 0; y < h; ++y) {
        u8* dst = static_cast<u8*>(lr.bits) + size_t(y) * lr.pitch;
        const u8* src = rows + ptrdiff_t(y) * pitch;
        for (i32 x = 0; x < w; ++x) {
            // White, with the coverage as alpha: the draw colour tints it.
            dst[x * 4 + 0] = 0xFF;
            dst[x * 4 + 1] = 0xFF;
            dst[x * 4 + 2] = 0xFF;
            dst[x * 4 + 3] = src[x];
        }
    }
    page->UnlockRect(0);
    shelfX_ += w + 1;
    if (h > shelfH_) shelfH_ = h;
    return true;
}

const Font::Glyph& Font::GetGlyph(u32 cp) {
    auto it = glyphs_.find(cp);
    if (it != glyphs_.end()) return it->second;
    Glyph g;
    if (cp >= 0x20 && cp != 0x7F) {
        std::lock_guard<std::mutex> lock(Home().mutex);
        FT_Face face = face_->face;
        FT_Activate_Size(static_cast<FT_Size>(size_));
        const FT_UInt index = FT_Get_Char_Index(face, cp);
        if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0) {
            const FT_GlyphSlot slot = face->glyph;
            g.advance = i32((slot->advance.x + 32) >> 6);
            const FT_Bitmap& bm = slot->bitmap;
            g.left = slot->bitmap_left;
            g.top = ascent_ - slot->bitmap_top;
            if (bm.width > 0 && bm.rows > 0 && bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.pitch > 0)
                PlaceBitmap(bm.buffer, bm.pitch, i32(bm.width), i32(bm.rows), g);
        } else {
            g.advance = lineHeight_ / 2;
        }
    }
    return glyphs_.emplace(cp, g).first->second;
}

i32 Font::CharAdvance(u32 codePoint) { return GetGlyph(codePoint).advance; }

i32 Font::Width(const char* text, size_t begin, size_t end) {
    i32 w = 0;
    size_t len = 0;
    for (size_t i = begin; i < end; i += len) w += GetGlyph(DecodeUtf8(text + i, text + end, len)).advance;
    return w;
}

TextSize Font::GetTextExtent(const char* text, i32 bytes) {
    TextSize size;
    size.cy = lineHeight_;
    if (text == nullptr || bytes == 0) return size;
    const size_t n = bytes < 0 ? std::strlen(text) : Utf8TruncatedLength(text, size_t(bytes));
    size.cx = Width(text, 0, n);
    return size;
}

void Font::LayOut(const char* text, size_t bytes, u32 format, i32 maxWidth, std::vector<Line>& lines) {
    lines.clear();
    if (bytes == 0) return;
    const bool wrap = (format & TextWordBreak) != 0;
    size_t pos = 0;
    for (;;) {
        size_t end = pos;
        while (end < bytes && text[end] != '\n' && text[end] != '\r') ++end;
        if (!wrap) {
            lines.push_back(Line{pos, end, Width(text, pos, end)});
        } else {
            size_t lineBegin = pos;
            i32 x = 0;                       // width of [lineBegin, i)
            size_t breakAt = 0;              // where the next line would start (0: no break place yet)
            i32 widthAtBreak = 0;            // x at breakAt
            size_t inkEnd = pos;             // end of the last non-space character
            i32 widthAtInkEnd = 0;
            size_t breakInkEnd = pos;        // the line's end when broken at breakAt
            i32 breakInkWidth = 0;
            u32 prev = 0;
            size_t len = 0;
            for (size_t i = pos; i < end; i += len) {
                const u32 cp = DecodeUtf8(text + i, text + end, len);
                const bool space = IsBreakSpace(cp);
                if (i > lineBegin && !space && (IsBreakSpace(prev) || IsCjk(prev) || IsCjk(cp))) {
                    breakAt = i;
                    widthAtBreak = x;
                    breakInkEnd = inkEnd;
                    breakInkWidth = widthAtInkEnd;
                }
                const i32 adv = GetGlyph(cp).advance;
                if (!space && x + adv > maxWidth && breakAt > lineBegin) {
                    lines.push_back(Line{lineBegin, breakInkEnd, breakInkWidth});
                    lineBegin = breakAt;
                    x -= widthAtBreak;
                    widthAtInkEnd -= widthAtBreak;
                    breakAt = 0;
                }
                x += adv;
                if (!space) {
                    inkEnd = i + len;
                    widthAtInkEnd = x;
                }
                prev = cp;
            }
            lines.push_back(Line{lineBegin, end, x});
        }
        if (end >= bytes) break;
        pos = end + ((text[end] == '\r' && end + 1 < bytes && text[end + 1] == '\n') ? 2 : 1);
    }
}

i32 Font::DrawText(Sprite* sprite, const char* text, i32 count, GfxRect* rect, u32 format, u32 colour) {
    if (text == nullptr || rect == nullptr || count == 0) return 0;
    const size_t bytes = count < 0 ? std::strlen(text) : Utf8TruncatedLength(text, size_t(count));
    LayOut(text, bytes, format, rect->Width(), lines_);
    const i32 total = i32(lines_.size()) * lineHeight_;
    if (format & TextCalcRect) {
        i32 widest = 0;
        for (const Line& l : lines_) widest = l.width > widest ? l.width : widest;
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }
    if (lines_.empty()) return 0;
    i32 y = rect->top;
    if (format & TextVCenter)
        y += (rect->Height() - total) / 2;
    else if (format & TextBottom)
        y = rect->bottom - total;
    const i32 top = y;

    Sprite* s = sprite;
    if (s == nullptr) {
        if (ownSprite_ == nullptr && CreateSprite(device_, &ownSprite_) != GfxResult::Ok) return 0;
        s = ownSprite_;
        s->Begin(SpriteAlphaBlend);
    }
    const bool clip = (format & TextNoClip) == 0;
    for (const Line& line : lines_) {
        i32 x = rect->left;
        if (format & TextCenter)
            x += (rect->Width() - line.width) / 2;
        else if (format & TextRight)
            x = rect->right - line.width;
        size_t len = 0;
        for (size_t i = line.begin; i < line.end; i += len) {
            const Glyph& g = GetGlyph(DecodeUtf8(text + i, text + line.end, len));
            if (g.page >= 0) {
                GfxRect src = g.src;
                i32 gx = x + g.left, gy = y + g.top;
                if (clip) {
                    // Cut the glyph to the rectangle, texel for pixel.
                    const i32 cl = rect->left - gx, ct = rect->top - gy;
                    const i32 cr = gx + src.Width() - rect->right, cb = gy + src.Height() - rect->bottom;
                    if (cl > 0) { src.left += cl; gx += cl; }
                    if (ct > 0) { src.top += ct; gy += ct; }
                    if (cr > 0) src.right -= cr;
                    if (cb > 0) src.bottom -= cb;
                }
                if (src.left < src.right && src.top < src.bottom) {
                    const Vec3 pos{float(gx), float(gy), 0.0f};
                    s->Draw(pages_[size_t(g.page)], &src, nullptr, &pos, colour);
                }
            }
            x += g.advance;
        }
        y += lineHeight_;
    }
    if (sprite == nullptr) s->End();
    return (format & (TextVCenter | TextBottom)) ? top - rect->top + total : total;
}

}  // namespace plat
