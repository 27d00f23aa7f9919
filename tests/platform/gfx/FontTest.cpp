// Fonts: face choice, measuring, line layout and glyphs on screen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/Sprite.h"
#include "support/FontFolder.h"
#include "support/OffscreenDevice.h"

using namespace plat;

namespace {

TEST(FontFace, GameFaceNamesMapToTheCjkFamilies) {
    const FontFaceChoice hei = ChooseFontFace("黑体");
    const FontFaceChoice gothic = ChooseFontFace("ＭＳ　ゴシック");
    const FontFaceChoice pgothic = ChooseFontFace("ＭＳ Ｐゴシック");
    const FontFaceChoice unknown = ChooseFontFace("Arial");
    ASSERT_FALSE(hei.file.empty()) << "fonts-noto-cjk is missing";
    EXPECT_EQ(hei.family, "Noto Sans CJK SC");
    EXPECT_EQ(gothic.family, "Noto Sans CJK JP");
    EXPECT_EQ(pgothic.family, "Noto Sans CJK JP");
    EXPECT_EQ(unknown.family, "Noto Sans CJK JP");
    EXPECT_NE(hei.index, gothic.index);
    EXPECT_EQ(gothic.index, unknown.index);
}

// The faces the system's font lookup lists are checked one by one: a Noto
// CJK face gone to junk since the lookup's last scan is passed over (and
// named, with what draws instead) for the next face with the game's
// characters; with none, stderr names the package to install and no font is
// made, and a face without the characters never counts.
TEST(FontFace, TheFirstWholeListedFaceWithTheGameCharactersIsTaken) {
    const std::pair<std::string, std::string> sans{"NotoSansCJK-Regular.ttc", kNotoSans};
    const std::pair<std::string, std::string> serif{"NotoSerifCJK-Regular.ttc", kNotoSerif};
    const std::pair<std::string, std::string> latin{"DejaVuSans.ttf", kLatinOnly};
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;
        std::string junk;     // linked, scanned, then junk
        std::string chosen;   // "" none
        std::string chinese, japanese;  // families
    } cases[] = {
        {"both whole", {serif, sans}, "", sans.first, "Noto Sans CJK SC", "Noto Sans CJK JP"},
        {"sans junk", {sans, serif}, sans.first, serif.first, "Noto Serif CJK SC", "Noto Serif CJK JP"},
        {"sans junk alone", {sans}, sans.first, "", "", ""},
        {"latin only", {latin}, "", "", "", ""},
        {"empty", {}, "", "", "", ""},
    };
    OffscreenDevice gfx;
    ASSERT_TRUE(gfx.Open(GfxBackend::Recorder));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FontFolder folder;
        for (const auto& [name, target] : c.links) folder.Link(name, target);
        folder.Scan();
        if (!c.junk.empty()) folder.Junk(c.junk);
        folder.Use();
        testing::internal::CaptureStderr();
        const FontFaceChoice hei = ChooseFontFace("黑体");
        const FontFaceChoice gothic = ChooseFontFace("ＭＳ　ゴシック");
        const bool found = GameTextFontFound();
        GfxRef<Font> font;
        const GfxResult made = CreateFont(gfx.device.get(), FontDesc{24, "黑体"}, font.put());
        const std::string said = testing::internal::GetCapturedStderr();
        folder.Leave();

        const std::string chosen = c.chosen.empty() ? "" : folder.fonts + "/" + c.chosen;
        EXPECT_EQ(hei.file, chosen);
        EXPECT_EQ(gothic.file, chosen);
        EXPECT_EQ(hei.family, c.chinese);
        EXPECT_EQ(gothic.family, c.japanese);
        EXPECT_EQ(found, !chosen.empty());
        EXPECT_EQ(made, chosen.empty() ? GfxResult::NotAvailable : GfxResult::Ok);
        if (font) {
            EXPECT_EQ(font->FamilyName(), c.chinese);
        }
        if (!c.junk.empty()) {
            EXPECT_NE(said.find(folder.fonts + "/" + c.junk), std::string::npos) << said;
            if (!chosen.empty()) {
                EXPECT_NE(said.find("drawn with " + c.chinese), std::string::npos) << said;
            }
        }
        EXPECT_EQ(said.find("install the package fonts-noto-cjk") != std::string::npos, chosen.empty()) << said;
    }
}

class FontLayout : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gfx_.Open(GfxBackend::Recorder));
        ASSERT_EQ(CreateFont(gfx_.device.get(), FontDesc{12, "ＭＳ　ゴシック"}, font_.put()), GfxResult::Ok);
    }
    GfxRect Calc(const char* text, i32 count, GfxRect rc, u32 format) {
        font_->DrawText(nullptr, text, count, &rc, format | TextCalcRect, 0xFFFFFFFFu);
        return rc;
    }
    i32 W(const char* text) { return font_->GetTextExtent(text, -1).cx; }

    OffscreenDevice gfx_;
    GfxRef<Font> font_;
};

TEST_F(FontLayout, HeightIsTheLineHeightAndCountsNeverSplitACharacter) {
    EXPECT_EQ(font_->LineHeight(), 12);
    FontDesc d;
    font_->GetDesc(&d);
    EXPECT_EQ(d.height, 12);
    EXPECT_EQ(d.faceName, "ＭＳ　ゴシック");
    const TextSize one = font_->GetTextExtent("起", -1);
    EXPECT_EQ(one.cy, 12);
    EXPECT_GE(one.cx, 10);
    EXPECT_LE(one.cx, 13);
    EXPECT_LT(W("ab"), W("起動"));
    // 4 bytes of "起動" is one character and one byte of the next.
    EXPECT_EQ(font_->GetTextExtent("起動", 4).cx, one.cx);
    EXPECT_EQ(Calc("起動", 4, GfxRect{0, 0, 500, 500}, 0).right, one.cx);
    EXPECT_EQ(Calc("起動", 5, GfxRect{0, 0, 500, 500}, 0).right, one.cx);
    EXPECT_EQ(Calc("起動", 6, GfxRect{0, 0, 500, 500}, 0).right, W("起動"));
}

TEST_F(FontLayout, LinesBreakAtLineEndsSpacesAndBetweenCjkCharacters) {
    GfxRect r = Calc("按Ctrl+0创造1级AI\n按Ctrl+2创造靶机\r\nab", -1, GfxRect{5, 7, 500, 500}, 0);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 7);
    EXPECT_EQ(r.Height(), 36) << "\\n and \\r\\n each end one line";
    EXPECT_EQ(r.Width(), W("按Ctrl+0创造1级AI"));

    // Room for "aaa bbb" but not for the third word: the space at the break
    // is dropped from the line's width.
    const i32 room = W("aaa bbb") + 2;
    r = Calc("aaa bbb ccc", -1, GfxRect{0, 0, room, 500}, TextWordBreak);
    EXPECT_EQ(r.Height(), 24);
    EXPECT_EQ(r.Width(), W("aaa bbb"));

    // A Japanese line from the game in a rectangle five characters wide.
    const char* text = "ゲームは既に起動しています。";  // 14 characters
    const i32 ch = W("ゲ");
    r = Calc(text, -1, GfxRect{0, 0, ch * 5, 500}, TextWordBreak);
    EXPECT_EQ(r.Height(), 36);
    EXPECT_LE(r.Width(), ch * 5);

    // Latin next to CJK breaks there too; a long Latin word overflows.
    r = Calc("造Ctrl", -1, GfxRect{0, 0, W("造Ct"), 500}, TextWordBreak);
    EXPECT_EQ(r.Height(), 24);
    EXPECT_EQ(r.Width(), W("Ctrl"));
    r = Calc("abcdefghij", -1, GfxRect{0, 0, 10, 500}, TextWordBreak);
    EXPECT_EQ(r.Height(), 12);
    EXPECT_EQ(r.Width(), W("abcdefghij"));

    // Without the flag nothing wraps.
    r = Calc("aaa bbb ccc", -1, GfxRect{0, 0, room, 500}, 0);
    EXPECT_EQ(r.Height(), 12);
}

class FontOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gfx_.Open(GfxBackend::OpenGL));
        ASSERT_EQ(CreateFont(gfx_.device.get(), FontDesc{24, "黑体"}, font_.put()), GfxResult::Ok);
        ASSERT_EQ(CreateSprite(gfx_.device.get(), sprite_.put()), GfxResult::Ok);
        ASSERT_EQ(gfx_.device->Clear(ClearTarget, 0xFF000000u, 1.0f, 0), GfxResult::Ok);
        ASSERT_EQ(gfx_.device->BeginScene(), GfxResult::Ok);
        ASSERT_EQ(sprite_->Begin(SpriteAlphaBlend), GfxResult::Ok);
    }
    InkBox Ink(GfxRect area) {
        sprite_->End();
        gfx_.device->EndScene();
        return FindInk(gfx_.Read(area.left, area.top, area.right, area.bottom), area.Width(), area.left, area.top,
                       0xFF000000u);
    }

    OffscreenDevice gfx_;
    GfxRef<Font> font_;
    GfxRef<Sprite> sprite_;
};

TEST_F(FontOnScreen, ClippingStopsAtTheRectangleUnlessNoClip) {
    GfxRect clipped{100, 100, 400, 110};
    font_->DrawText(sprite_.get(), "起動", -1, &clipped, 0, 0xFFFFFFFFu);
    GfxRect free{500, 100, 800, 110};
    font_->DrawText(sprite_.get(), "起動", -1, &free, TextNoClip, 0xFFFFFFFFu);
    const InkBox a = Ink(GfxRect{90, 90, 450, 140});
    const InkBox b = FindInk(gfx_.Read(490, 90, 850, 140), 360, 490, 90, 0xFF000000u);
    ASSERT_FALSE(a.Empty());
    EXPECT_LE(a.bottom, 110);
    EXPECT_GT(b.bottom, 115);
}

}  // namespace
