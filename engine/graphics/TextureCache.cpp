#include "engine/graphics/TextureCache.h"

#include <cstring>

#include "engine/graphics/DisplaySettings.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/TextCodec.h"

using plat::GfxRect;

namespace {

constexpr u32 kNeverAges = 0xFFFFFFFFu;

TextureHandle& SharedTarget() {
    static TextureHandle target;
    return target;
}

plat::GfxDevice* Device() { return GetGraphicsDevice()->device; }
plat::Sprite* SharedSprite() { return GetGraphicsDevice()->sprite; }

// Bytes of at most `count` characters from the start, never past the end
// and never half a character; -1 stays -1 (the whole text).
i32 CharactersToBytes(const char* text, i32 count) {
    if (count == -1) return -1;
    size_t pos = 0;
    for (i32 n = 0; n < count && text[pos] != '\0'; ++n) pos += plat::Utf8CharLength(text + pos);
    return i32(pos);
}

i32 Min(i32 a, i32 b) { return a < b ? a : b; }

// Draws with the font into the shared target at its corner; the caller's
// target, viewport and sprite transform come back afterwards.
class TargetScope {
public:
    explicit TargetScope(plat::Sprite* sprite) : sprite_(sprite) {
        sprite_->GetTransform(&saved_);
        sprite_->Flush();
        Device()->GetRenderTarget(0, previous_.put());
        Device()->GetViewport(&viewport_);
        Device()->SetRenderTarget(0, SharedTarget().surface);
        sprite_->SetTransform(Mat4::Identity());
    }
    ~TargetScope() {
        if (previous_) Device()->SetRenderTarget(0, previous_.get());
        Device()->SetViewport(viewport_);
        sprite_->SetTransform(saved_);
    }
    // Clears the area to transparent, draws the text there in white and
    // copies the area into the texture.
    void Render(plat::Font* font, const char* text, i32 bytes, const GfxRect& area, u32 format,
                TextureHandle& texture) {
        Device()->ColorFill(SharedTarget().surface, &area, 0);
        GfxRect rc = area;
        font->DrawText(sprite_, text, bytes, &rc, format, 0xFFFFFFFFu);
        sprite_->Flush();
        Device()->StretchRect(SharedTarget().surface, &area, texture.surface, nullptr, plat::FilterPoint);
    }

private:
    plat::Sprite* sprite_;
    Mat4 saved_;
    plat::GfxViewport viewport_;
    plat::GfxRef<plat::GfxSurface> previous_;
};

bool Renderable(plat::Font* font, const char* text) {
    return text != nullptr && font != nullptr && SharedSprite() != nullptr && SharedTarget().surface != nullptr;
}

// Both renderers return true when they rendered, false when the entry
// already held the request.
bool RenderWhole(TextCacheEntry* e, plat::Font* font, const char* text, i32 count, const GfxRect& rect, u32 format,
                 i32 w, i32 h) {
    const size_t length = std::strlen(text);
    i32 bytes = CharactersToBytes(text, count);
    if (bytes != -1 && size_t(bytes) > length) bytes = i32(length);
    const u32 sticky = plat::TextWordBreak | plat::TextNoClip;
    if (e->layout == 0 && e->font == font && e->widthLimit == w && e->heightLimit == h && e->count == bytes &&
        (e->format & sticky) == (format & sticky) && e->text == text)
        return false;
    plat::Sprite* sprite = SharedSprite();
    e->layout = 0;
    e->widthLimit = w;
    e->heightLimit = h;
    e->text = text;
    e->font = font;
    e->count = bytes;
    e->format = format;

    GfxRect measured = rect;
    font->DrawText(sprite, text, bytes, &measured, format | plat::TextCalcRect, 0xFFFFFFFFu);
    const TextureHandle& target = SharedTarget();
    i32 tw = Min(measured.Width(), rect.Width());
    i32 th = measured.Height();
    if (!(format & plat::TextNoClip)) th = Min(th, rect.Height());
    tw = Min(tw, i32(target.imageInfo.width));
    th = Min(th, i32(target.imageInfo.height));
    if (tw < 0) tw = 0;
    if (th < 0) th = 0;
    e->renderedWidth = tw;
    e->renderedHeight = th;

    e->texture.Release();
    if (tw == 0 || th == 0) return true;
    if (!e->texture.CreateBlank(u32(tw), u32(th), 1, plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8,
                                plat::GfxPool::Default))
        return true;
    TargetScope scope(sprite);
    scope.Render(font, text, bytes, GfxRect{0, 0, tw, th}, format & plat::TextWordBreak, e->texture);
    return true;
}

bool RenderCharacters(TextCacheEntry* e, plat::Font* font, const char* text, i32 count, u32 format, i32 w, i32 h) {
    if (e->layout == 1 && e->font == font && e->text == text) return false;
    plat::Sprite* sprite = SharedSprite();
    e->layout = 1;
    e->widthLimit = w;
    e->heightLimit = h;
    e->text = text;
    e->font = font;
    e->count = count;
    e->format = format;
    e->renderedWidth = 0;
    e->renderedHeight = 0;
    e->glyphs.clear();

    const TextureHandle& target = SharedTarget();
    TargetScope scope(sprite);
    i32 x = 0;
    for (size_t pos = 0; text[pos] != '\0';) {
        const i32 bytes = i32(plat::Utf8CharLength(text + pos));
        const plat::TextSize size = font->GetTextExtent(text + pos, bytes);
        e->renderedWidth += size.cx;
        e->renderedHeight = size.cy;
        auto glyph = std::make_unique<TextGlyph>();
        glyph->cell = GfxRect{x, 0, x + size.cx, size.cy};
        glyph->bytes = u8(bytes);
        // Each character goes to the target's corner: its place in the line
        // may lie far beyond the target's width in a long text.
        const i32 gw = Min(size.cx, i32(target.imageInfo.width)), gh = Min(size.cy, i32(target.imageInfo.height));
        if (gw > 0 && gh > 0 &&
            glyph->texture.CreateBlank(u32(gw), u32(gh), 1, plat::GfxUsageRenderTarget, plat::GfxFormat::A8R8G8B8,
                                       plat::GfxPool::Default))
            scope.Render(font, text + pos, bytes, GfxRect{0, 0, gw, gh}, 0, glyph->texture);
        e->glyphs.push_back(std::move(glyph));
        x += size.cx;
        pos += size_t(bytes);
    }
    return true;
}

void DrawWhole(TextCacheEntry* e, const GfxRect& rect, u32 format, u32 colour) {
    if (e->texture.texture == nullptr) return;
    i32 x = (format & plat::TextRight) ? rect.right - e->renderedWidth : rect.left;
    i32 y = (format & plat::TextBottom) ? rect.bottom - e->renderedHeight : rect.top;
    if (format & plat::TextCenter) x += (rect.Width() - e->renderedWidth) / 2;
    if (format & plat::TextVCenter) y += (rect.Height() - e->renderedHeight) / 2;
    const Vec3 pos{float(x), float(y), 0.0f};
    SharedSprite()->Draw(e->texture.texture, &e->texture.sourceRect, nullptr, &pos, colour);
}

void DrawCharacters(TextCacheEntry* e, i32 count, const GfxRect& rect, u32 format, u32 colour) {
    if (e->glyphs.empty()) return;
    plat::Sprite* sprite = SharedSprite();
    if (count == -1) count = i32(e->text.size());
    i32 penX = rect.left, penY = rect.top;
    if (!(format & plat::TextWordBreak)) {
        for (const auto& g : e->glyphs) {
            if (g->texture.texture) {
                const Vec3 pos{float(penX), float(penY), 0.0f};
                sprite->Draw(g->texture.texture, &g->texture.sourceRect, nullptr, &pos, colour);
            }
            penX += g->cell.Width();
        }
        return;
    }
    i32 drawn = 0, cut = 0;
    for (const auto& g : e->glyphs) {
        if (count <= drawn) break;
        const i32 cw = g->cell.Width(), ch = g->cell.Height();
        if (rect.right < penX + cw) {
            penX = rect.left;
            penY += ch;
        }
        if (!(format & plat::TextNoClip)) {
            if (penY >= rect.bottom) break;
            // A line that reaches past the bottom is cut there, and every
            // character after it with it.
            if (rect.bottom <= penY + ch) cut = penY + ch - rect.bottom;
        }
        if (g->texture.texture) {
            GfxRect src = g->texture.sourceRect;
            src.bottom -= cut;
            if (src.bottom > src.top) {
                const Vec3 pos{float(penX), float(penY), 0.0f};
                sprite->Draw(g->texture.texture, &src, nullptr, &pos, colour);
            }
        }
        penX += cw;
        drawn += g->bytes;
    }
}

// The key: the text up to its end, a zero byte, then the font's description
// (stable when the device re-creates its fonts after a reset) and the
// layout, format and tag as raw bytes, so no two requests share a key.
void BuildKey(std::string& key, plat::Font* font, const char* text, u32 layout, u32 format, i32 tag) {
    key.assign(text);
    key.push_back('\0');
    auto put = [&key](const void* p, size_t n) { key.append(static_cast<const char*>(p), n); };
    if (font != nullptr) {
        const plat::FontDesc& d = font->Desc();
        key.append(d.faceName);
        key.push_back('\0');
        const u8 italic = d.italic ? 1 : 0;
        put(&d.height, sizeof d.height);
        put(&d.weight, sizeof d.weight);
        put(&italic, 1);
    }
    put(&layout, sizeof layout);
    if (layout == 0) put(&format, sizeof format);
    put(&tag, sizeof tag);
}

TextCacheEntry& EmptyEntry() {
    static TextCacheEntry empty;
    return empty;
}

}  // namespace

void TextCacheEntry::Clear() {
    font = nullptr;
    texture.Release();
    text.clear();
    widthLimit = heightLimit = 0;
    format = 0;
    count = 0;
    renderedWidth = renderedHeight = 0;
    glyphs.clear();
}

void TextCacheEntry::Draw(plat::Font* drawFont, const char* drawText, i32 drawCount, const GfxRect* rect,
                          u32 drawFormat, u32 colour) {
    if (GetDisplaySettings().fastFont) {
        DrawCachedText(this, drawFont, drawText, drawCount, rect, drawFormat, colour, layout);
        return;
    }
    if (drawFont == nullptr || drawText == nullptr || rect == nullptr) return;
    GfxRect rc = *rect;
    drawFont->DrawText(SharedSprite(), drawText, CharactersToBytes(drawText, drawCount), &rc, drawFormat, colour);
}

void DrawCachedText(TextCacheEntry* entry, plat::Font* font, const char* text, i32 count, const GfxRect* rect,
                    u32 format, u32 colour, u32 layout) {
    if (entry == nullptr || rect == nullptr) return;
    if (Renderable(font, text)) {
        const TextureHandle& target = SharedTarget();
        const i32 w = Min(rect->Width(), i32(target.imageInfo.width));
        const i32 h = Min(rect->Height(), i32(target.imageInfo.height));
        const bool rendered = layout == 1 ? RenderCharacters(entry, font, text, count, format, w, h)
                                          : RenderWhole(entry, font, text, count, *rect, format, w, h);
        if (rendered) ++GetTextureCache()->renders_;
    }
    if (SharedSprite() == nullptr) return;
    if (entry->layout == 1)
        DrawCharacters(entry, count, *rect, format, colour);
    else
        DrawWhole(entry, *rect, format, colour);
}

TextureCache::~TextureCache() { Clear(); }

TextCacheEntry* TextureCache::DrawText(plat::Font* font, const char* text, i32 count, const GfxRect* rect,
                                       u32 format, u32 colour, u32 lifetime, u32 layout, i32 tag) {
    if (!GetDisplaySettings().fastFont) {
        if (font != nullptr && text != nullptr && rect != nullptr) {
            GfxRect rc = *rect;
            font->DrawText(SharedSprite(), text, CharactersToBytes(text, count), &rc, format, colour);
        }
        return &EmptyEntry();
    }
    if (text == nullptr) text = "";
    BuildKey(key_, font, text, layout, format, tag);
    auto it = entries_.find(key_);
    if (it == entries_.end()) it = entries_.emplace(key_, std::make_unique<TextCacheEntry>()).first;
    TextCacheEntry* entry = it->second.get();
    DrawCachedText(entry, font, text, count, rect, format, colour, layout);
    entry->framesLeft = lifetime;
    return entry;
}

TextCacheEntry* TextureCache::DrawTextRect(plat::Font* font, const char* text, i32 count, const GfxRect* rect,
                                           u32 format, u32 colour, u32 lifetime, i32 tag) {
    return DrawText(font, text, count, rect, format, colour, lifetime, 0, tag);
}

TextCacheEntry* TextureCache::DrawTextDefault(plat::Font* font, const char* text, i32 count, const GfxRect* rect,
                                              u32 format, u32 colour) {
    return DrawText(font, text, count, rect, format, colour, 60, 0, 0);
}

void TextureCache::Age() {
    for (auto it = entries_.begin(); it != entries_.end();) {
        TextCacheEntry& e = *it->second;
        if (e.framesLeft == kNeverAges || (e.framesLeft != 0 && --e.framesLeft != 0)) {
            ++it;
            continue;
        }
        e.Clear();
        it = entries_.erase(it);
    }
}

void TextureCache::ReleaseAll() {
    for (auto& [key, entry] : entries_) entry->Clear();
}

void TextureCache::Clear() {
    for (auto& [key, entry] : entries_) entry->Clear();
    entries_.clear();
    EmptyEntry().Clear();
}

TextureCache* GetTextureCache() {
    static TextureCache cache;
    return &cache;
}

int CreateTextRenderTarget(i32 width, i32 height) {
    if (width <= 0 || height <= 0) return 0;
    return SharedTarget().CreateBlank(u32(width), u32(height), 1, plat::GfxUsageRenderTarget,
                                      plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default);
}

void ReleaseTextRenderTarget() { SharedTarget().Release(); }

TextureHandle* GetTextRenderTarget() { return &SharedTarget(); }

void TextCacheDeviceLost(int) {
    GetTextureCache()->ReleaseAll();
    ReleaseTextRenderTarget();
}

void TextCacheDeviceReset(int) {
    const DisplaySettings& s = GetDisplaySettings();
    CreateTextRenderTarget(s.screenWidth, s.screenHeight);
}
