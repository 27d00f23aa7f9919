// The notices at the foot of the screen: a fault met every frame shows once,
// a repeat keeps a notice up while it shows, and the same text raised again
// once it has gone is told again. Time is counted in frames only.
#include "app/scene/NoticeBoard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/MessageBox.h"

namespace {

size_t Occurrences(const std::string& in, const std::string& what)
{
    size_t n = 0;
    for (size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) ++n;
    return n;
}

bool Showing(const std::string& text)
{
    const std::vector<std::string> shown = ShownNotices();
    return std::find(shown.begin(), shown.end(), text) != shown.end();
}

}  // namespace

// Each case raises the bad-ID refusal at the given frames (60 a second,
// however long the frames take to run) and checks, frame by frame, that it
// shows exactly while some raising is less than NoticeFrames old, and how
// often it is printed.
TEST(NoticeBoard, RepeatsKeepANoticeUpWhileShownAndBringItBackOnceGone)
{
    const std::string id = "ID包含无效字符";
    std::vector<i32> login;  // LOGIN clicked every 0.6 s for 9 s
    for (i32 f = 0; f <= 540; f += 36) login.push_back(f);
    std::vector<i32> flood;  // met on every one of 100 frames
    for (i32 f = 0; f < 100; ++f) flood.push_back(f);
    const struct {
        const char* what;
        std::vector<i32> raised;
        size_t printed;
    } cases[] = {
        {"LOGIN every 0.6 s", login, 1},
        {"every frame", flood, 1},
        {"a repeat while showing", {0, 300}, 1},
        {"a repeat after it left the screen", {0, 400}, 2},
        {"a repeat on its last frame up", {0, NoticeFrames}, 1},
        {"a repeat a frame after it left", {0, NoticeFrames + 1}, 2},
    };
    plat::HoldBoxesAsNotices(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        const i32 last = c.raised.back() + NoticeFrames + 10;
        i32 wrong = 0;
        for (i32 frame = 0; frame <= last; ++frame) {
            if (std::count(c.raised.begin(), c.raised.end(), frame)) plat::ShowMessageBox(nullptr, id.c_str(), "");
            DrawNotices();
            const bool due = std::any_of(c.raised.begin(), c.raised.end(),
                                         [frame](i32 r) { return r <= frame && frame - r < NoticeFrames; });
            if (Showing(id) != due && wrong++ < 3) ADD_FAILURE() << "frame " << frame << " shown " << !due;
        }
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Occurrences(printed, id), c.printed) << printed;
    }

    // Told again while up, a line becomes the newest with its full time;
    // pushed off the board by newer lines, it is told again.
    testing::internal::CaptureStderr();
    plat::ShowMessageBox(nullptr, id.c_str(), "");
    plat::ShowMessageBox(nullptr, "other.png", "Texture");
    for (i32 frame = 0; frame < 100; ++frame) DrawNotices();
    plat::ShowMessageBox(nullptr, id.c_str(), "");
    EXPECT_EQ(ShownNotices(), (std::vector<std::string>{"Texture: other.png", id}));
    for (i32 frame = 0; frame < NoticeFrames - 50; ++frame) DrawNotices();
    EXPECT_EQ(ShownNotices(), (std::vector<std::string>{id}));
    for (i32 n = 0; n < NoticeLines; ++n) plat::ShowMessageBox(nullptr, std::to_string(n).c_str(), "");
    EXPECT_FALSE(Showing(id));
    plat::ShowMessageBox(nullptr, id.c_str(), "");
    EXPECT_TRUE(Showing(id));
    for (i32 frame = 0; frame <= NoticeFrames; ++frame) DrawNotices();
    EXPECT_TRUE(ShownNotices().empty());
    const std::string printed = testing::internal::GetCapturedStderr();
    plat::HoldBoxesAsNotices(false);
    EXPECT_EQ(Occurrences(printed, id), 2u) << printed;
}
