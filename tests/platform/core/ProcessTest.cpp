#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <cstring>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/ByteOrder.h"
#include "platform/core/DecodeHelper.h"
#include "platform/core/Process.h"
#include "platform/core/Thread.h"
#include "platform/core/Time.h"
#include "platform/gfx/Image.h"
#include "support/HostileHelpers.h"
#include "support/TempFolder.h"

namespace {

// Helpers that run what they should not: children that spin or sleep past
// the request, holding its output. Each request ends within its wall limit
// (a picture's is 10 s), refused unless an answer came, and nothing any of
// them started is left running.
TEST(DecodeHelperWall, HelpersThatForkSpinOrSleepEndWithTheirRequestAndLeaveNothing) {
    TempFolder folder;
    const std::string real = plat::HelperProgramPath(plat::kDecodeHelperName);
    ASSERT_FALSE(real.empty());
    std::vector<u32> argb(24 * 16, 0xFF336699u);
    std::vector<u8> png;
    ASSERT_TRUE(plat::EncodePng(argb.data(), 24, 16, true, &png));
    const struct {
        const char* name;
        std::string body;
        plat::DecodeStatus status;
    } cases[] = {
        {"spins", "while :; do :; done &\nnote $!\nwhile :; do :; done &\nnote $!\nwhile :; do :; done",
         plat::DecodeStatus::Failed},
        {"sleeps", "sleep 1000 &\nnote $!\ncat > /dev/null", plat::DecodeStatus::Failed},
        {"answers", "sleep 1000 &\nnote $!\nexec '" + real + "'", plat::DecodeStatus::Ok},
        {"waits", "for i in 1 2 3 4 5 6 7 8; do sleep 1000 & note $!; done\nwait", plat::DecodeStatus::Failed},
    };
    for (const auto& c : cases) {
        plat::UseDecodeHelper(fixtures::HostileHelper(folder, c.name, c.body));
        u32 width = 0, height = 0;
        std::vector<u8> pixels;
        size_t offset = 0;
        const auto start = std::chrono::steady_clock::now();
        const plat::DecodeStatus status = plat::DecodePngInHelper(png.data(), u32(png.size()), 64, 64 * 64 * 4, &width,
                                                                  &height, &pixels, &offset);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(status, c.status) << c.name;
        // The wall limit, and a moment to kill the group.
        EXPECT_LT(took, std::chrono::seconds(12)) << c.name;
        if (c.status == plat::DecodeStatus::Ok) {
            EXPECT_EQ(width * height * 4, pixels.size() - offset) << c.name;
        }
    }
    plat::UseDecodeHelper({});
    u32 noted = 0;
    EXPECT_EQ(fixtures::LeftAlive(folder, &noted), 0u);
    EXPECT_EQ(noted, 16u);
}

// A helper that closes its output, then sleeps: its answer is over, yet a
// stop (the game closing) still ends the request at once, and the helper
// with it, long before the request's own time runs out.
TEST(DecodeHelperWall, AStopEndsAHelperThatClosedItsOutputAndSleeps) {
    TempFolder folder;
    const std::string helper = fixtures::HostileHelper(
        folder, "closes", "exec >&-\necho closed > '" + (folder / "closed") + "'\nexec sleep 120");
    ASSERT_FALSE(helper.empty());
    plat::ProcessLimits limits;
    limits.wallMs = 600000;
    std::atomic<bool> stop{false};
    plat::SyncEvent returned(true);
    plat::ProcessResult result;
    std::thread runner([&] {
        result = plat::RunLimitedProcess(helper, {helper}, {1, 2, 3}, limits, &stop);
        returned.Set();
    });
    for (int i = 0; i < 60000 && folder.Read("closed").empty(); ++i) plat::Sleep(1);
    EXPECT_FALSE(folder.Read("closed").empty());
    stop = true;
    const bool prompt = returned.Wait(20000) == plat::WaitResult::Signalled;
    EXPECT_TRUE(prompt) << "the stop did not end the wait on the helper";
    if (!prompt) ::kill(std::atoi(folder.Read("pids").c_str()), SIGKILL);
    runner.join();
    EXPECT_EQ(result.end, plat::ProcessEnd::Stopped);
    EXPECT_TRUE(result.output.empty());
    EXPECT_EQ(fixtures::LeftAlive(folder), 0u);
}

// Helpers that answer what was not asked: a voice far longer than the
// seconds asked for (1,572 s at 8 kHz, within the bytes), rates no stream
// may have, more channels than sound output plays. Each answer is refused;
// one that keeps to the request is taken.
TEST(DecodeHelperAnswer, AnswersBeyondTheRequestAreRefused) {
    TempFolder folder;
    constexpr u32 kBudget = 24u << 20, kRoom = 46;
    const struct {
        const char* name;
        u32 seconds, channels, rate;
        u64 bytes;
        plat::DecodeStatus status;
    } cases[] = {
        {"a second's voice", 30, 1, 22050, 22050 * 2, plat::DecodeStatus::Ok},
        {"music of two channels", 0, 2, 44100, 44100 * 4, plat::DecodeStatus::Ok},
        {"1,572 s at 8 kHz", 30, 1, 8000, 1572ull * 8000 * 2, plat::DecodeStatus::Failed},
        {"1 Hz", 30, 1, 1, 2, plat::DecodeStatus::Failed},
        {"384 kHz", 30, 1, 384000, 384000 * 2, plat::DecodeStatus::Failed},
        {"three channels", 30, 3, 22050, 22050 * 6, plat::DecodeStatus::Failed},
        {"music of eight channels", 0, 8, 44100, 44100 * 16, plat::DecodeStatus::Failed},
    };
    int n = 0;
    for (const auto& c : cases) {
        ASSERT_LE(c.bytes, kBudget) << c.name;
        std::string header(kRoom, '\0');
        std::memcpy(&header[0], "QDRS", 4);
        const u32 fields[] = {0, c.channels, c.rate, u32(c.bytes), u32(c.bytes >> 32)};
        for (int i = 0; i < 5; ++i) PutU32(reinterpret_cast<u8*>(&header[size_t(4 + 4 * i)]), fields[i]);
        const std::string name = "answer" + std::to_string(n++);
        ASSERT_TRUE(folder.Write(name, header));
        plat::UseDecodeHelper(fixtures::HostileHelper(folder, name + ".sh",
                                                      "cat > /dev/null\ncat '" + (folder / name) + "'\nhead -c " +
                                                          std::to_string(c.bytes) + " /dev/zero"));
        const u8 ogg[16] = {'O', 'g', 'g', 'S'};
        std::vector<u8> out;
        plat::OggLayout layout;
        EXPECT_EQ(plat::DecodeOggInHelper(ogg, sizeof ogg, c.seconds, kBudget, c.seconds > 0 ? kBudget : 0, kRoom,
                                          &out, &layout),
                  c.status)
            << c.name;
        if (c.status == plat::DecodeStatus::Ok) {
            EXPECT_EQ(out.size(), kRoom + c.bytes) << c.name;
            EXPECT_EQ(layout.channels, c.channels) << c.name;
        }
    }
    plat::UseDecodeHelper({});
    EXPECT_EQ(fixtures::LeftAlive(folder), 0u);
}

// The decoder's walls, put up by a program of its own the same way: what
// decoding does passes, a file, a process or a socket ends it on the spot.
TEST(DecodeHelperWall, WallsLetDecodingThroughAndKillAnythingElse) {
    const struct {
        const char* what;
        plat::ProcessEnd end;
        int code;
    } cases[] = {
        {"work", plat::ProcessEnd::Exited, 0},   {"open", plat::ProcessEnd::Crashed, SIGSYS},
        {"fork", plat::ProcessEnd::Crashed, SIGSYS}, {"exec", plat::ProcessEnd::Crashed, SIGSYS},
        {"socket", plat::ProcessEnd::Crashed, SIGSYS},
    };
    plat::ProcessLimits limits;
    limits.addressSpace = 1u << 30;
    for (const auto& c : cases) {
        const plat::ProcessResult r =
            plat::RunLimitedProcess(QUILLON_SANDBOX_PROBE, {QUILLON_SANDBOX_PROBE, c.what}, {1, 2, 3}, limits);
        EXPECT_EQ(r.end, c.end) << c.what;
        EXPECT_EQ(r.code, c.code) << c.what;
        EXPECT_EQ(r.output.size(), c.end == plat::ProcessEnd::Exited ? 2u : 0u) << c.what;
    }
}

}  // namespace
