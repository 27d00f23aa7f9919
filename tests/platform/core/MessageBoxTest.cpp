#include "platform/core/MessageBox.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/core/Thread.h"
#include "support/TempFolder.h"

namespace {

TEST(MessageBox, QuietModePrintsAndReturnsAtOnce) {
    ScopedEnv quiet("QUILLON_QUIET_BOXES", "1");
    EXPECT_TRUE(plat::MessageBoxesAreQuiet());
    testing::internal::CaptureStderr();
    plat::ShowMessageBox(nullptr, "ゲームは既に起動しています。", "Tervalis",
                         plat::MessageBoxError | plat::MessageBoxTopmost);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("Tervalis"), std::string::npos);
    EXPECT_NE(printed.find("ゲームは既に起動しています。"), std::string::npos);
}

TEST(MessageBox, NoScreenMeansQuiet) {
    ScopedEnv quiet("QUILLON_QUIET_BOXES", nullptr);
    ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
    ScopedEnv x("DISPLAY", nullptr);
    ScopedEnv wl("WAYLAND_DISPLAY", nullptr);
    EXPECT_TRUE(plat::MessageBoxesAreQuiet());
    ScopedEnv display("DISPLAY", ":0");
    EXPECT_FALSE(plat::MessageBoxesAreQuiet());
    ScopedEnv offscreen("SDL_VIDEODRIVER", "offscreen");
    EXPECT_TRUE(plat::MessageBoxesAreQuiet());
}

TEST(MessageBox, OtherThreadsPrintInsteadOfShowing) {
    // Even with a screen, a worker thread must never open a box.
    ScopedEnv quiet("QUILLON_QUIET_BOXES", "0");
    ScopedEnv display("DISPLAY", ":99");
    ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
    testing::internal::CaptureStderr();
    plat::Thread t;
    t.Start([](void*) { plat::ShowMessageBox(nullptr, "from a loader", "エラー"); }, nullptr);
    t.Join();
    plat::ReportError("net", "receive failed");
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("from a loader"), std::string::npos);
    EXPECT_NE(printed.find("receive failed"), std::string::npos);
}

}  // namespace

namespace {

// Once the scenes run, even with a screen that could show it a box never
// waits for an answer: each message prints once and becomes a notice.
TEST(MessageBox, HeldBoxesPrintOnceAndBecomeNotices) {
    ScopedEnv quiet("QUILLON_QUIET_BOXES", "0");
    ScopedEnv display("DISPLAY", ":99");
    ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
    plat::TakeNotices();
    plat::HoldBoxesAsNotices(true);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) plat::ShowMessageBox(nullptr, "セカンダリバッファを作成に失敗", "DirectSoundエラー");
    plat::ShowMessageBox(nullptr, "other.png", "Texture");
    plat::ShowMessageBox(nullptr, "ID包含无效字符", "");
    plat::ShowMessageBox(nullptr, "no caption at all", nullptr);
    const std::string printed = testing::internal::GetCapturedStderr();
    plat::HoldBoxesAsNotices(false);
    EXPECT_EQ(printed, "[DirectSoundエラー] セカンダリバッファを作成に失敗\n[Texture] other.png\n[] ID包含无效字符\n"
                       "[] no caption at all\n");
    const std::vector<std::string> notices = plat::TakeNotices();
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[0], "DirectSoundエラー: セカンダリバッファを作成に失敗");
    // Without a caption the notice is the text alone.
    EXPECT_EQ(notices[2], "ID包含无效字符");
    EXPECT_EQ(notices[3], "no caption at all");
    EXPECT_TRUE(plat::TakeNotices().empty());
}

}  // namespace
