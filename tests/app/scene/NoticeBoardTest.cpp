// The notices at the foot of the screen: a fault met every frame shows once,
// and the same text raised again by a later action is told again.
#include "app/scene/NoticeBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/MessageBox.h"
#include "platform/core/Time.h"

namespace {

size_t Occurrences(const std::string& in, const std::string& what)
{
    size_t n = 0;
    for (size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

// A refusal raised on every one of 100 frames prints and shows once; a
// second login with the same bad ID, later, prints again and brings the
// line back as the newest for its full time instead of saying nothing.
TEST(NoticeBoard, AFloodShowsOnceAndALaterRepeatIsToldAgain)
{
    using Lines = std::vector<std::string>;
    plat::HoldBoxesAsNotices(true);
    testing::internal::CaptureStderr();
    for (i32 frame = 0; frame < 100; ++frame) {
        plat::ShowMessageBox(nullptr, "ID包含无效字符", "");
        DrawNotices();
    }
    plat::ShowMessageBox(nullptr, "other.png", "Texture");
    EXPECT_EQ(ShownNotices(), (Lines{"ID包含无效字符", "Texture: other.png"}));

    plat::Sleep(plat::NoticeRepeatWindowMs + 200);
    plat::ShowMessageBox(nullptr, "ID包含无效字符", "");
    EXPECT_EQ(ShownNotices(), (Lines{"Texture: other.png", "ID包含无效字符"}));
    for (i32 frame = 0; frame < NoticeFrames - 20; ++frame) DrawNotices();
    // The first raising alone would have gone 80 frames ago.
    EXPECT_EQ(ShownNotices(), (Lines{"Texture: other.png", "ID包含无效字符"}));
    for (i32 frame = 0; frame < 21; ++frame) DrawNotices();
    EXPECT_TRUE(ShownNotices().empty());

    const std::string printed = testing::internal::GetCapturedStderr();
    plat::HoldBoxesAsNotices(false);
    EXPECT_EQ(Occurrences(printed, "ID包含无效字符"), 2u) << printed;
}
