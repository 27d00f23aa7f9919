#include "platform/core/TextCodec.h"

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string FromCp932(const std::string& in, bool* clean = nullptr) {
    std::string out;
    const bool ok = plat::Cp932ToUtf8(in.data(), in.size(), out);
    if (clean) *clean = ok;
    return out;
}

std::string ToCp932(const std::string& in, bool* clean = nullptr) {
    std::string out;
    const bool ok = plat::Utf8ToCp932(in.data(), in.size(), out);
    if (clean) *clean = ok;
    return out;
}

TEST(TextCodec, ShiftJisRoundTrips) {
    // "日本語", a full-width space, and "ソ" whose trail byte is '\'.
    const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA\x81\x40\x83\x5C" "A";
    const std::string utf8 = "日本語\u3000ソA";
    EXPECT_EQ(FromCp932(sjis), utf8);
    EXPECT_EQ(ToCp932(utf8), sjis);
    // Vendor characters that plain Shift-JIS lacks: circled one, NEC row 13.
    EXPECT_EQ(FromCp932("\x87\x40"), "①");
    EXPECT_EQ(ToCp932("①"), "\x87\x40");
}

TEST(TextCodec, GbkRoundTrips) {
    const std::string gbk = "\xD6\xD0\xCE\xC4" "ok";
    std::string utf8, back;
    EXPECT_TRUE(plat::GbkToUtf8(gbk.data(), gbk.size(), utf8));
    EXPECT_EQ(utf8, "中文ok");
    EXPECT_TRUE(plat::Utf8ToGbk(utf8.data(), utf8.size(), back));
    EXPECT_EQ(back, gbk);
}

TEST(TextCodec, BadInputBecomesQuestionMarksAndIsReported) {
    bool clean = true;
    EXPECT_EQ(FromCp932("a\x81", &clean), "a?");  // lead byte cut off
    EXPECT_FALSE(clean);
    EXPECT_EQ(ToCp932("x😀y", &clean), "x?y");      // no such character
    EXPECT_FALSE(clean);
    EXPECT_EQ(ToCp932("\xFF" "b", &clean), "?b");  // not UTF-8
    EXPECT_FALSE(clean);
    EXPECT_EQ(ToCp932("", &clean), "");
    EXPECT_TRUE(clean);
}

TEST(Utf8, SequenceRules) {
    EXPECT_EQ(plat::Utf8SequenceLength('a'), 1u);
    EXPECT_EQ(plat::Utf8SequenceLength(0xC3), 2u);
    EXPECT_EQ(plat::Utf8SequenceLength(0xE3), 3u);
    EXPECT_EQ(plat::Utf8SequenceLength(0xF0), 4u);
    EXPECT_EQ(plat::Utf8SequenceLength(0x80), 0u);
    EXPECT_EQ(plat::Utf8SequenceLength(0xC0), 0u);
    EXPECT_EQ(plat::Utf8SequenceLength(0xF8), 0u);
    EXPECT_TRUE(plat::IsUtf8Continuation(0xBF));
    EXPECT_FALSE(plat::IsUtf8Continuation(0xC2));

    EXPECT_EQ(plat::Utf8CharLength("あ"), 3u);
    EXPECT_EQ(plat::Utf8CharLength(""), 0u);
    EXPECT_EQ(plat::Utf8CharLength("\xE0\x80\x80"), 1u);  // overlong
    EXPECT_EQ(plat::Utf8CharLength("\xED\xA0\x80"), 1u);  // surrogate
}

TEST(Utf8, CharacterLengthNeverLooksPastTheEnd) {
    // Exactly sized so a read past the zero is caught by the address checker.
    const char cut[] = "\xE3\x80";
    auto heap = std::make_unique<char[]>(sizeof(cut));
    std::memcpy(heap.get(), cut, sizeof(cut));
    EXPECT_EQ(plat::Utf8CharLength(heap.get()), 1u);
    EXPECT_EQ(plat::Utf8CharLength(heap.get() + 1), 1u);
    EXPECT_EQ(plat::Utf8TruncatedLength(heap.get(), 10), 2u);
}

TEST(Utf8, TruncationKeepsWholeCharacters) {
    EXPECT_EQ(plat::Utf8TruncatedLength("aあい", 3), 1u);
    EXPECT_EQ(plat::Utf8TruncatedLength("aあい", 4), 4u);
    EXPECT_EQ(plat::Utf8TruncatedLength("aあい", 100), 7u);
    char buf[5];
    EXPECT_EQ(plat::Utf8CopyTruncated(buf, sizeof(buf), "aあい"), 4u);
    EXPECT_STREQ(buf, "aあ");
    EXPECT_EQ(plat::Utf8CopyTruncated(buf, 3, "あ"), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(plat::Utf8CopyTruncated(buf, sizeof(buf), nullptr), 0u);
}

TEST(Utf8, DecodeAndEncodeAgree) {
    const std::string text = "A\u00E9\u3000\U0001F600";
    const char* p = text.data();
    const char* end = p + text.size();
    std::string rebuilt;
    size_t len = 0;
    const u32 expected[] = {0x41, 0xE9, 0x3000, 0x1F600};
    for (u32 cp : expected) {
        EXPECT_EQ(plat::DecodeUtf8(p, end, len), cp);
        plat::AppendUtf8(rebuilt, cp);
        p += len;
    }
    EXPECT_EQ(p, end);
    EXPECT_EQ(rebuilt, text);

    EXPECT_EQ(plat::DecodeUtf8("\xE3\x81", "\xE3\x81" + 2, len), 0xFFFDu);
    EXPECT_EQ(len, 1u);
    std::string bad;
    plat::AppendUtf8(bad, 0xD800);
    EXPECT_EQ(bad, "\uFFFD");
}

}  // namespace
