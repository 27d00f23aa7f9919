// The settings dialogs' font: a system font that is junk, cut short or empty
// falls back to the built-in font, as a missing one does, and is named.
#include "platform/input/DialogHost.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <random>
#include <string>

#include "platform/core/FileSystem.h"
#include "support/TempFolder.h"

namespace {

constexpr const char* kSystemFont = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";

TEST(DialogFont, DamagedFontFilesFallBackToTheBuiltInFontAndAreNamed)
{
    std::string font;
    ASSERT_TRUE(plat::ReadWholeFile(kSystemFont, font)) << "fonts-noto-cjk is missing";
    std::mt19937 rng(3);
    std::string junk(70000, '\0');
    for (char& c : junk) c = char(rng());
    std::string flipped = font.substr(0, 300000);
    flipped[4] = char(0x7F);  // the collection's version
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"junk.ttc", junk},
                 {"cut.ttc", font.substr(0, 200000)},
                 {"half.ttc", font.substr(0, font.size() / 2)},
                 {"header.ttc", font.substr(0, 12)},
                 {"empty.ttc", ""},
                 {"flipped.ttc", flipped}};
    TempFolder temp;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = temp / c.name;
        ASSERT_TRUE(plat::WriteFileAtomic(path.c_str(), c.bytes.data(), c.bytes.size()));
        ImGui::CreateContext();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(plat::AddDialogFont(path.c_str(), 0, "設定"));
        const std::string said = testing::internal::GetCapturedStderr();
        ImGuiIO& io = ImGui::GetIO();
        EXPECT_TRUE(io.Fonts->Build());
        EXPECT_EQ(io.Fonts->Fonts.Size, 1);
        EXPECT_NE(said.find(path), std::string::npos) << said;
        ImGui::DestroyContext();
    }
    ImGui::CreateContext();
    EXPECT_FALSE(plat::AddDialogFont((temp / "missing.ttc").c_str(), 0, nullptr));
    EXPECT_TRUE(plat::AddDialogFont(kSystemFont, 0, nullptr)) << "a whole font is taken";
    ImGui::DestroyContext();
}

}  // namespace
