#include "engine/core/TextUtil.h"

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

// Trims a heap copy sized exactly, so any read past the zero is caught.
std::string Trimmed(const std::string& text) {
    auto buf = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(buf.get(), text.c_str(), text.size() + 1);
    EXPECT_EQ(TrimBlanks(buf.get()), buf.get());
    return buf.get();
}

TEST(TrimBlanks, RemovesBlanksAtBothEndsOnly) {
    EXPECT_EQ(Trimmed("\u3000 abc \u3000"), "abc");
    EXPECT_EQ(Trimmed(" a b "), "a b");
    EXPECT_EQ(Trimmed("\t\r\nname\r\n"), "name");
    EXPECT_EQ(Trimmed("山田\u3000太郎\u3000 "), "山田\u3000太郎");
    EXPECT_EQ(Trimmed(" \u3000\t "), "");
    EXPECT_EQ(Trimmed(""), "");
    EXPECT_EQ(Trimmed("abc"), "abc");
}

TEST(TrimBlanks, LoneCarriageReturnIsNotABlank) {
    EXPECT_EQ(Trimmed("\rabc "), "\rabc");
    EXPECT_EQ(Trimmed("abc\r"), "abc\r");
    EXPECT_EQ(Trimmed("abc \r"), "abc \r");
}

TEST(TrimBlanks, OnlyWholeIdeographicSpacesAreBlanks) {
    // Characters sharing the space's first bytes stay.
    EXPECT_EQ(Trimmed("\u3001x\u3001"), "\u3001x\u3001");
    // A cut-off sequence at either end is kept and never read past.
    EXPECT_EQ(Trimmed("\xE3\x80"), "\xE3\x80");
    EXPECT_EQ(Trimmed(" ab \xE3"), "ab \xE3");
    EXPECT_EQ(Trimmed("ab\xE3\x80 "), "ab\xE3\x80");
}

const char* Find(const std::string& s) {
    static std::unique_ptr<char[]> keep;
    keep = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(keep.get(), s.c_str(), s.size() + 1);
    const char* hit = FindInvalidFileNameChar(static_cast<const char*>(keep.get()));
    return hit == nullptr ? nullptr : hit;
}

TEST(FindInvalidFileNameChar, FindsTheFirstForbiddenCharacter) {
    const std::string name = "ab:c/d";
    const char* hit = FindInvalidFileNameChar(name.c_str());
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit - name.c_str(), 2);
    for (char c : std::string("/\\<>*?\"|:;")) {
        const char* h = Find(std::string("名前") + c + "x");
        ASSERT_NE(h, nullptr) << c;
        EXPECT_EQ(*h, c);
    }
    EXPECT_EQ(Find("山田太郎ソ表"), nullptr);
    EXPECT_EQ(Find(""), nullptr);
    EXPECT_EQ(Find("ok\xE3"), nullptr);  // cut-off sequence at the end

    char writable[] = "a?b";
    EXPECT_EQ(FindInvalidFileNameChar(writable), writable + 1);
    EXPECT_EQ(FindInvalidFileNameChar(static_cast<const char*>(nullptr)), nullptr);
}

}  // namespace
