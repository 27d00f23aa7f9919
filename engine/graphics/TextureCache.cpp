#include "engine/graphics/TextureCache.h"

#include <cmath>
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
i32 Scaled(i32 v, f32 scale) { return scale == 1.0f ? v : i32(std::lround(f32(v) * scale)); }

// The font a text is rendered with under the sprite's transform, and the
// texels per layout unit it is rendered at. A transform that scales shows
// the layout's text smaller or larger than the font's height: it is rendered
// with the same face at the height it is seen (the vertical scale sets the
// pixel height), so each texel lands on one pixel and no stroke falls between
// pixels. A transform that turns or mirrors, or scales by too little to
// change the height, renders as asked.
struct Shown {
    plat::Font* font;
    f32 scale;
};
Shown ShownFont(plat::Font* font) {
    const Shown asked{font, 1.0f};
    plat::Sprite* sprite = SharedSprite();
    if (font == nullptr || sprite == nullptr) return asked;
    const Mat4& m = sprite->Transform();
    const f32 sy = m.m[1][1];
    if (m.m[0][1] != 0.0f || m.m[1][0] != 0.0f || m.m[0][0] <= 0.0f || !(sy > 0.0f)) return asked;
    const i32 height = font->Desc().height;
    const f32 seen = f32(height) * sy;
    if (!(seen < 4096.0f)) return asked;
    const i32 shown = i32(std::lround(seen));
    if (shown == height || shown <= 0) return asked;
    plat::Font* sized = font->AtHeight(shown);
    return sized ? Shown{sized, sy} : asked;
}

// The pixel a quad's edge at v begins on: the first whose centre lies at or
// past v, as the pictures and bars drawn at the same point begin.
f32 OnPixel(f32 v) { return std::ceil(v - 0.5f); }

// The transform under m that draws at `scale` texels per layout unit from
// the layout point (x, y), put on a whole pixel: texel for pixel (a window
// of another shape than the layout's stretches it across only).
Mat4 ShownTransform(const Mat4& m, f32 x, f32 y, f32 scale) {
    Mat4 d;
    d.m[0][0] = m.m[0][0] / scale;
    d.m[1][1] = m.m[1][1] / scale;
    d.m[3][0] = OnPixel(x * m.m[0][0] + m.m[3][0]);
    d.m[3][1] = OnPixel(y * m.m[1][1] + m.m[3][1]);
    d.m[3][2] = m.m[3][2];
    return d;
}

// Draws a texture rendered at `scale` texels per layout unit with its
// top-left at the layout point (x, y) of the sprite's transform.
void DrawShown(plat::GfxTexture* texture, const GfxRect* src, f32 x, f32 y, f32 scale, i32 marginLeft,
               i32 marginTop, u32 colour) {
    plat::Sprite* sprite = SharedSprite();
    const Mat4 m = sprite->Transform();
    const Vec3 pos{-f32(marginLeft), -f32(marginTop), 0.0f};
    sprite->SetTransform(ShownTransform(m, x, y, scale));
    sprite->Draw(texture, src, nullptr, &pos, colour);
    sprite->SetTransform(m);
}

// Fast font off: the font draws straight, at the height it is seen.
void DrawDirect(plat::Font* font, const char* text, i32 bytes, const GfxRect& rect, u32 format, u32 colour) {
    plat::Sprite* sprite = SharedSprite();
    const Shown shown = ShownFont(font);
    if (shown.scale == 1.0f || sprite == nullptr) {
        GfxRect rc = rect;
        font->DrawText(sprite, text, bytes, &rc, format, colour);
        return;
    }
    const Mat4 m = sprite->Transform();
    GfxRect rc{0, 0, Scaled(rect.Width(), shown.scale), Scaled(rect.Height(), shown.scale)};
    sprite->SetTransform(ShownTransform(m, f32(rect.left), f32(rect.top), shown.scale));
    shown.font->DrawText(sprite, text, bytes, &rc, format, colour);
    sprite->SetTransform(m);
}

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
    // Clears `copy` to transparent, draws the text in white with its box at
    // `box` and copies `copy` into the texture. The font draws unclipped:
    // what of its letters reaches past the box (a small face's strokes may
    // stand a pixel above or below its line, or left of its pen) is kept as
    // far as `copy` reaches.
    void Render(plat::Font* font, const char* text, i32 bytes, const GfxRect& box, const GfxRect& copy, u32 format,
                TextureHandle& texture) {
        Device()->ColorFill(SharedTarget().surface, &copy, 0);
        GfxRect rc = box;
        // The texture's alpha is the letters' coverage, as the font would
        // draw them: blending them over the transparent target would square
        // it, and a small face's faint strokes would all but vanish.
        u32 blendOp = plat::BlendOpAdd;
        Device()->GetRenderState(plat::GfxRenderState::BlendOp, &blendOp);
        Device()->SetRenderState(plat::GfxRenderState::BlendOp, plat::BlendOpMax);
        font->DrawText(sprite_, text, bytes, &rc, format | plat::TextNoClip, 0xFFFFFFFFu);
        sprite_->Flush();
        Device()->SetRenderState(plat::GfxRenderState::BlendOp, blendOp);
        Device()->StretchRect(SharedTarget().surface, &copy, texture.surface, nullptr, plat::FilterPoint);
    }

private:
    plat::Sprite* sprite_;
    Mat4 saved_;
    plat::GfxViewport viewport_;
    plat::GfxRef<plat::GfxSurface> previous_;
};

// Texels kept round a text's box for the strokes that stand outside it,
// when the text is shown at another size than the layout's: a small face
// may set a stroke a pixel above or below its line. Text at the layout's
// own size keeps the box the layout was drawn for.
i32 MarginOf(plat::Font* font, f32 scale) { return scale == 1.0f ? 0 : font->LineHeight() / 4 + 1; }

// The texture's area in the shared target round a text box of w x h: the
// margin on every side, but none beyond a side where the caller's rectangle
// cut the text (cut names end at their panel), and no more than the target.
struct Margins {
    i32 left, top, right, bottom;
};
Margins MarginsFor(i32 margin, i32 w, i32 h, bool cutRight, bool cutBottom) {
    const TextureHandle& target = SharedTarget();
    const i32 tw = i32(target.imageInfo.width), th = i32(target.imageInfo.height);
    Margins m{margin, margin, cutRight ? 0 : margin, cutBottom ? 0 : margin};
    if (m.left + w + m.right > tw) m.right = tw - w - m.left > 0 ? tw - w - m.left : 0;
    if (m.left + w + m.right > tw) m.left = tw - w > 0 ? tw - w : 0;
    if (m.top + h + m.bottom > th) m.bottom = th - h - m.top > 0 ? th - h - m.top : 0;
    if (m.top + h + m.bottom > th) m.top = th - h > 0 ? th - h : 0;
    return m;
}

bool Renderable(plat::Font* font, const char* text) {
    return text != nullptr && font != nullptr && SharedSprite() != nullptr && SharedTarget().surface != nullptr;
}

// Both renderers return true when they rendered, false when the entry
// already held the request.
// rect is in texels: the caller's rectangle at the scale rendered at.
bool RenderWhole(TextCacheEntry* e, plat::Font* font, const char* text, i32 count, const GfxRect& rect, u32 format,
                 i32 w, i32 h, f32 scale) {
    const size_t length = std::strlen(text);
    i32 bytes = CharactersToBytes(text, count);
    if (bytes != -1 && size_t(bytes) > length) bytes = i32(length);
    const u32 sticky = plat::TextWordBreak | plat::TextNoClip;
    if (e->layout == 0 && e->font == font && e->widthLimit == w && e->heightLimit == h && e->count == bytes &&
        (e->format & sticky) == (format & sticky) && e->text == text) {
        e->scale = scale;
        return false;
    }
    plat::Sprite* sprite = SharedSprite();
    e->scale = scale;
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
    e->marginLeft = e->marginTop = 0;
    if (tw == 0 || th == 0) return true;
    const Margins m = MarginsFor(MarginOf(font, scale), tw, th, tw < measured.Width(), th < measured.Height());
    const GfxRect box{m.left, m.top, m.left + tw, m.top + th};
    const GfxRect copy{0, 0, box.right + m.right, box.bottom + m.bottom};
    if (!e->texture.CreateBlank(u32(copy.right), u32(copy.bottom), 1, plat::GfxUsageRenderTarget,
                                plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default))
        return true;
    e->marginLeft = m.left;
    e->marginTop = m.top;
    TargetScope scope(sprite);
    scope.Render(font, text, bytes, box, copy, format & plat::TextWordBreak, e->texture);
    return true;
}

// Cells are measured in layout units with the asked font; each character's
// texture is rendered with the font as shown.
bool RenderCharacters(TextCacheEntry* e, plat::Font* asked, const Shown& shown, const char* text, i32 count,
                      u32 format, i32 w, i32 h) {
    plat::Font* font = shown.font;
    if (e->layout == 1 && e->font == font && e->text == text) {
        e->scale = shown.scale;
        return false;
    }
    plat::Sprite* sprite = SharedSprite();
    e->scale = shown.scale;
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
    const i32 margin = MarginOf(font, shown.scale);
    TargetScope scope(sprite);
    i32 x = 0;
    for (size_t pos = 0; text[pos] != '\0';) {
        const i32 bytes = i32(plat::Utf8CharLength(text + pos));
        const plat::TextSize size = asked->GetTextExtent(text + pos, bytes);
        const plat::TextSize seen = font == asked ? size : font->GetTextExtent(text + pos, bytes);
        e->renderedWidth += size.cx;
        e->renderedHeight = size.cy;
        auto glyph = std::make_unique<TextGlyph>();
        glyph->cell = GfxRect{x, 0, x + size.cx, size.cy};
        glyph->bytes = u8(bytes);
        // Each character goes to the target's corner: its place in the line
        // may lie far beyond the target's width in a long text.
        const i32 gw = Min(seen.cx, i32(target.imageInfo.width)), gh = Min(seen.cy, i32(target.imageInfo.height));
        const Margins m = MarginsFor(margin, gw, gh, false, false);
        const GfxRect box{m.left, m.top, m.left + gw, m.top + gh};
        const GfxRect copy{0, 0, box.right + m.right, box.bottom + m.bottom};
        if (gw > 0 && gh > 0 &&
            glyph->texture.CreateBlank(u32(copy.right), u32(copy.bottom), 1, plat::GfxUsageRenderTarget,
                                       plat::GfxFormat::A8R8G8B8, plat::GfxPool::Default)) {
            glyph->marginLeft = m.left;
            glyph->marginTop = m.top;
            glyph->marginBottom = m.bottom;
            scope.Render(font, text + pos, bytes, box, copy, 0, glyph->texture);
        }
        e->glyphs.push_back(std::move(glyph));
        x += size.cx;
        pos += size_t(bytes);
    }
    return true;
}

void DrawWhole(TextCacheEntry* e, const GfxRect& rect, u32 format, u32 colour) {
    if (e->texture.texture == nullptr) return;
    if (e->scale != 1.0f) {
        // Placed by its size in layout units.
        const f32 w = f32(e->renderedWidth) / e->scale, h = f32(e->renderedHeight) / e->scale;
        f32 x = (format & plat::TextRight) ? f32(rect.right) - w : f32(rect.left);
        f32 y = (format & plat::TextBottom) ? f32(rect.bottom) - h : f32(rect.top);
        if (format & plat::TextCenter) x += (f32(rect.Width()) - w) / 2.0f;
        if (format & plat::TextVCenter) y += (f32(rect.Height()) - h) / 2.0f;
        DrawShown(e->texture.texture, &e->texture.sourceRect, x, y, e->scale, e->marginLeft, e->marginTop, colour);
        return;
    }
    i32 x = (format & plat::TextRight) ? rect.right - e->renderedWidth : rect.left;
    i32 y = (format & plat::TextBottom) ? rect.bottom - e->renderedHeight : rect.top;
    if (format & plat::TextCenter) x += (rect.Width() - e->renderedWidth) / 2;
    if (format & plat::TextVCenter) y += (rect.Height() - e->renderedHeight) / 2;
    const Vec3 pos{float(x - e->marginLeft), float(y - e->marginTop), 0.0f};
    SharedSprite()->Draw(e->texture.texture, &e->texture.sourceRect, nullptr, &pos, colour);
}

void DrawCharacters(TextCacheEntry* e, i32 count, const GfxRect& rect, u32 format, u32 colour) {
    if (e->glyphs.empty()) return;
    plat::Sprite* sprite = SharedSprite();
    if (count == -1) count = i32(e->text.size());
    i32 penX = rect.left, penY = rect.top;
    if (!(format & plat::TextWordBreak)) {
        for (const auto& g : e->glyphs) {
            if (g->texture.texture && e->scale != 1.0f) {
                DrawShown(g->texture.texture, &g->texture.sourceRect, f32(penX), f32(penY), e->scale, g->marginLeft,
                          g->marginTop, colour);
            } else if (g->texture.texture) {
                const Vec3 pos{float(penX - g->marginLeft), float(penY - g->marginTop), 0.0f};
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
            // A cut line loses what stands below its characters too.
            if (cut != 0) src.bottom -= g->marginBottom + Scaled(cut, e->scale);
            if (src.bottom > src.top && e->scale != 1.0f) {
                DrawShown(g->texture.texture, &src, f32(penX), f32(penY), e->scale, g->marginLeft, g->marginTop,
                          colour);
            } else if (src.bottom > src.top) {
                const Vec3 pos{float(penX - g->marginLeft), float(penY - g->marginTop), 0.0f};
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
    marginLeft = marginTop = 0;
    scale = 1.0f;
    glyphs.clear();
}

void TextCacheEntry::Draw(plat::Font* drawFont, const char* drawText, i32 drawCount, const GfxRect* rect,
                          u32 drawFormat, u32 colour) {
    if (GetDisplaySettings().fastFont) {
        DrawCachedText(this, drawFont, drawText, drawCount, rect, drawFormat, colour, layout);
        return;
    }
    if (drawFont == nullptr || drawText == nullptr || rect == nullptr) return;
    DrawDirect(drawFont, drawText, CharactersToBytes(drawText, drawCount), *rect, drawFormat, colour);
}

void DrawCachedText(TextCacheEntry* entry, plat::Font* font, const char* text, i32 count, const GfxRect* rect,
                    u32 format, u32 colour, u32 layout) {
    if (entry == nullptr || rect == nullptr) return;
    if (Renderable(font, text)) {
        const TextureHandle& target = SharedTarget();
        const Shown shown = ShownFont(font);
        // The rectangle in texels: at the scale the text is rendered at.
        const GfxRect area{0, 0, Scaled(rect->Width(), shown.scale), Scaled(rect->Height(), shown.scale)};
        const i32 w = Min(area.Width(), i32(target.imageInfo.width));
        const i32 h = Min(area.Height(), i32(target.imageInfo.height));
        const bool rendered = layout == 1
                                  ? RenderCharacters(entry, font, shown, text, count, format, w, h)
                                  : RenderWhole(entry, shown.font, text, count, area, format, w, h, shown.scale);
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
        if (font != nullptr && text != nullptr && rect != nullptr)
            DrawDirect(font, text, CharactersToBytes(text, count), *rect, format, colour);
        return &EmptyEntry();
    }
    if (text == nullptr) text = "";
    // Keyed by the font as shown: the same text seen at two scales is two textures.
    BuildKey(key_, ShownFont(font).font, text, layout, format, tag);
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
