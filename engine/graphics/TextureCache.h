#pragma once
// Text rendered once, in white, into a texture of its own and afterwards drawn
// as that texture with the shared sprite, tinted with the caller's colour.
// Entries are keyed by text, font and layout and are forgotten when they have
// not been drawn for the lifetime the caller gives (in main-loop passes).
//
// Layout 0 keeps the whole text in one texture (alignment applied when drawn);
// layout 1 keeps one texture per character, for text shown character by
// character, with wrapping done when drawn.
//
// All drawing happens inside the sprite pass (the shared sprite begun), under
// the sprite transform the caller set. A transform that scales (the 1024 x 768
// layout shown in another window size) has the text rendered at the pixel
// size it is seen at, with the same face at the scaled height, and drawn
// texel for pixel: a picture of the full-size text scaled down would drop
// the rows and columns of thin strokes that fall between its pixels. With the fast-font setting off
// (DisplaySettings::fastFont 0) nothing is cached: every call draws straight
// with the font and returns one shared empty entry.
//
//     GetTextureCache()->DrawText(font, "開始", -1, &rc, plat::TextCenter, 0xFFFFFFFF, 60, 0, 0);
//     TextCacheEntry* e = GetTextureCache()->DrawTextDefault(font, name, -1, &rc, 0, 0xFF000000);
//     e->Draw(font, name, -1, &rc2, 0, 0xFFFFFFFF);   // same texture, other colour
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/graphics/TextureManager.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Gfx.h"
#include "platform/core/Types.h"

// One character of a layout-1 entry.
struct TextGlyph {
    TextureHandle texture;  // plain handle
    plat::GfxRect cell;     // in the line: left, 0, right, the character's height
    u8 bytes = 0;           // UTF-8 length of the character
    // Texels of the texture left of, above and below the character's cell,
    // holding what of its strokes stands outside it.
    i32 marginLeft = 0, marginTop = 0, marginBottom = 0;
};

class TextCacheEntry {
public:
    TextCacheEntry() = default;
    TextCacheEntry(const TextCacheEntry&) = delete;
    TextCacheEntry& operator=(const TextCacheEntry&) = delete;

    // Draws this entry's text again (in another colour, another place): from
    // the cached textures with fast font on, straight with the font otherwise.
    void Draw(plat::Font* font, const char* text, i32 count, const plat::GfxRect* rect, u32 format, u32 colour);
    // Releases every texture and forgets what was rendered.
    void Clear();

    u32 framesLeft = 0;        // main-loop passes until removal; 0xFFFFFFFF never
    u32 layout = 0;            // 0 whole text, 1 one texture per character
    std::string text;          // the text last rendered
    plat::Font* font = nullptr;  // the font last rendered with; null after a clear
    i32 widthLimit = 0, heightLimit = 0;  // caller's rectangle, clamped to the text target
    u32 format = 0;            // text format flags last rendered with
    i32 count = 0;             // layout 0: bytes rendered (-1 whole text); layout 1: count as given
    i32 renderedWidth = 0, renderedHeight = 0;  // texels (layout 0); layout units (layout 1)
    f32 scale = 1.0f;          // texels per layout unit the textures were rendered at
    // Texels of the layout-0 texture left of and above the text's box, for
    // strokes standing outside it (text shown scaled keeps them, past every
    // side the caller's rectangle did not cut).
    i32 marginLeft = 0, marginTop = 0;
    TextureHandle texture;     // layout 0
    std::vector<std::unique_ptr<TextGlyph>> glyphs;  // layout 1
};

class TextureCache {
public:
    TextureCache() = default;
    ~TextureCache();
    TextureCache(const TextureCache&) = delete;
    TextureCache& operator=(const TextureCache&) = delete;

    // count: characters (-1 the whole text); rect in sprite coordinates;
    // format: plat::TextCenter, TextRight, TextVCenter, TextBottom,
    // TextWordBreak, TextNoClip; lifetime in main-loop passes (0xFFFFFFFF
    // never ages); layout 0 or 1; tag only separates keys. Returns the entry
    // drawn (never null).
    TextCacheEntry* DrawText(plat::Font* font, const char* text, i32 count, const plat::GfxRect* rect, u32 format,
                             u32 colour, u32 lifetime, u32 layout, i32 tag);
    // DrawText with layout 0.
    TextCacheEntry* DrawTextRect(plat::Font* font, const char* text, i32 count, const plat::GfxRect* rect,
                                 u32 format, u32 colour, u32 lifetime, i32 tag);
    // DrawText with lifetime 60, layout 0, tag 0.
    TextCacheEntry* DrawTextDefault(plat::Font* font, const char* text, i32 count, const plat::GfxRect* rect,
                                    u32 format, u32 colour);

    // Once per main-loop pass: counts every entry down and removes those
    // whose time ran out.
    void Age();
    // Device loss: empties every entry (they stay, and render again when next drawn).
    void ReleaseAll();
    // Removes every entry.
    void Clear();

    size_t EntryCount() const { return entries_.size(); }
    // Renders done since start (misses and re-renders), for tests and benchmarks.
    u64 RenderCount() const { return renders_; }

private:
    friend void DrawCachedText(TextCacheEntry*, plat::Font*, const char*, i32, const plat::GfxRect*, u32, u32, u32);
    std::map<std::string, std::unique_ptr<TextCacheEntry>> entries_;
    std::string key_;  // reused between calls
    u64 renders_ = 0;
};

TextureCache* GetTextureCache();

// Renders the entry when what it holds differs from the request, then draws it.
void DrawCachedText(TextCacheEntry* entry, plat::Font* font, const char* text, i32 count, const plat::GfxRect* rect,
                    u32 format, u32 colour, u32 layout);

// The shared render target every text is drawn into before it is copied to
// its entry: made at start-up with the window size, released at shutdown.
int CreateTextRenderTarget(i32 width, i32 height);
void ReleaseTextRenderTarget();
TextureHandle* GetTextRenderTarget();

// The graphics device's lost and reset callbacks of the cache (slot 2): the
// first releases every cached texture and the shared target, the second
// makes the target again at the window size of DisplaySettings.
void TextCacheDeviceLost(int);
void TextCacheDeviceReset(int);
