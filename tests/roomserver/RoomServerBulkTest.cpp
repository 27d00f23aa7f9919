// The room server's uploads at socket level: one pilot uploads its whole
// allowance while players read the room on lines of very different speeds.
// Each reader gets it at its own pace, the slowest holds nobody, the
// pilot's own messages are read and passed on meanwhile, and a reader that
// stops taking anything is let go by the server's own rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/ByteOrder.h"
#include "platform/core/Time.h"
#include "roomserver/RoomServer.h"
#include "support/RoomSeats.h"
#include "support/RoomWire.h"

namespace {

using namespace roomwire;

constexpr u32 kChunks = 140, kChunkBytes = 200000;  // 28 MB, the whole allowance
constexpr u32 kFrameBytes = 4 + 9 + kChunkBytes;    // as a reader gets each

// Each picture's bytes tell its place, so one read from the wrong place shows.
u8 PictureByte(u32 chunk, u32 at) { return u8(chunk * 31 + at * 13 + (at >> 8)); }

// One reader of the room held to its line's rate (bytes per ms): it takes
// what is due as time goes, never more, and notes what came when.
struct PacedReader {
    u32 bytesPerMs = 0;
    std::unique_ptr<Client> client;
    std::atomic<bool> stopReading{false};
    std::atomic<u32> chunks{0}, doneAt{0}, worstChat{0}, readyAt{0};
    std::atomic<bool> intact{true}, cut{false};
};

void ReadPaced(PacedReader& r, u16 pilot, u32 start, const std::atomic<u32>& readySentAt,
               const std::atomic<bool>& stop)
{
    Wire& line = *r.client->game;
    u64 taken = 0;
    while (!stop && !r.stopReading && !r.cut) {
        const u64 due = u64(plat::TimeGetTime() - start) * r.bytesPerMs;
        if (!line.Pump(size_t(std::min<u64>(due - std::min(due, taken), 1u << 20)))) r.cut = true;
        for (const auto& m : line.got) {
            taken += m.size() + 4;
            const u32 now = plat::TimeGetTime();
            if (m[0] == 20 && m.size() == 9 + kChunkBytes) {
                if (GetU16(m.data() + 3) != 100 + r.chunks % 50) r.intact = false;
                for (u32 j = 0; j < kChunkBytes && r.intact; ++j)
                    if (m[9 + j] != PictureByte(r.chunks, j)) r.intact = false;
                if (++r.chunks == kChunks) r.doneAt = now - start;
            } else if (m[0] == 19 && m.size() > 6) {
                const u32 sent = u32(std::strtoul(reinterpret_cast<const char*>(m.data() + 5), nullptr, 10));
                r.worstChat = std::max(r.worstChat.load(), now - sent);
            } else if (m[0] == 1 && m.size() == 52 && GetU16(m.data() + 25) == pilot && m[43] == 1 && !r.readyAt) {
                r.readyAt = std::max<u32>(1, now - readySentAt);
            }
        }
        line.got.clear();
        plat::Sleep(5);
    }
}

}  // namespace

// Readers at 50, 1,000 and 5,000 KB/s while a pilot uploads 28 MB: the two
// fast ones get it whole within about one and a half times their line's
// time, though the slow one has taken only a few pictures by then; the
// pilot's ready and chat, sent behind its upload, reach them within a
// second (the slow line within the picture it is being sent); the server's
// memory holds no more than its bound. The slow reader, once it stops
// reading while still pinging, is let go by the seat timeout of taking
// nothing, and the others learn it.
TEST(RoomServerBulk, EachReaderTakesAFullUploadAtItsOwnPaceAndNoneHoldsTheUploader)
{
    RoomServerConfig config = FourSeatRoom();
    config.seatTimeoutMs = 8000;
    RoomServer server(1, config);
    ASSERT_TRUE(server.Listening());
    Client pilot(server, "Pilot");
    ASSERT_TRUE(pilot.Seated());
    // Receive buffers of a few tenths of a second of each line, so the rate holds.
    const u32 rates[3] = {50, 1000, 5000};
    const i32 buffers[3] = {16 << 10, 64 << 10, 256 << 10};
    PacedReader readers[3];
    for (int i = 0; i < 3; ++i) {
        readers[i].bytesPerMs = rates[i];
        readers[i].client = std::make_unique<Client>(server, "Reader", 0, buffers[i]);
        ASSERT_TRUE(readers[i].client->Seated());
    }
    PacedReader& slow = readers[0];

    std::atomic<bool> stop{false};
    std::atomic<u32> readySentAt{0}, slowLeftAt{0};
    const u32 start = plat::TimeGetTime();
    std::vector<std::thread> threads;
    for (PacedReader& r : readers) threads.emplace_back([&] { ReadPaced(r, pilot.slot, start, readySentAt, stop); });
    // The pilot's own line is fast: it takes its upload back as it sends,
    // and hears when the slow reader is let go.
    threads.emplace_back([&] {
        while (!stop) {
            pilot.game->Pump();
            for (const auto& m : pilot.game->got)
                if (m[0] == 4 && m.size() == 7 && GetU16(m.data() + 1) == slow.client->slot && !slowLeftAt)
                    slowLeftAt = plat::TimeGetTime();
            pilot.game->got.clear();
            plat::Sleep(2);
        }
    });
    // The whole upload, then the ready on the same connection: the ready is
    // read only once the upload has been.
    threads.emplace_back([&] {
        for (u32 k = 0; k < kChunks && !stop; ++k) {
            std::vector<u8> chunk = Chunk(u16(100 + k % 50), kChunkBytes, kChunkBytes);
            for (u32 j = 0; j < kChunkBytes; ++j) chunk[7 + j] = PictureByte(k, j);
            pilot.game->Send(chunk);
        }
        readySentAt = plat::TimeGetTime();
        pilot.game->Send(Msg(8, 5, {{1, 1}}));
    });

    // Generous for a loaded machine, yet far below the minutes a room held
    // to its slowest reader takes.
    constexpr u32 kPromptMs = 3000;
    auto boundMs = [](u32 bytesPerMs) { return u32(1.5 * kChunks * kFrameBytes / bytesPerMs) + 4000; };
    const u32 giveUp = boundMs(rates[1]) + 20000;
    // On the slow line a message waits at most for the picture being sent
    // and the few tenths of a second the system holds unsent.
    const u32 slowBound = (kFrameBytes + (128u << 10)) / rates[0] + 2000;
    u32 chatAt = 0, slowStoppedAt = 0, slowChunksAtStop = 0;
    u64 worstBuffered = 0;
    while (plat::TimeGetTime() - start < giveUp) {
        const bool fastDone = readers[1].doneAt && readers[2].doneAt;
        if (fastDone && slowLeftAt) break;
        // Every player keeps being heard (the slow one too once it stops
        // taking the room), without waiting for the echoes.
        for (Client* c : {&pilot, readers[0].client.get(), readers[1].client.get(), readers[2].client.get()})
            KeepHeard(*c);
        worstBuffered = std::max(worstBuffered, server.BufferedBytes());
        if (!fastDone && plat::TimeGetTime() - chatAt >= 500) {
            chatAt = plat::TimeGetTime();
            std::vector<u8> line = Slot16(15, 105, pilot.slot);
            line[3] = u8(std::snprintf(reinterpret_cast<char*>(line.data() + 5), 99, "%u", chatAt));
            pilot.data->Send(line);
        }
        // Once the fastest is done, and the ready has reached the slow line
        // or had its time to, the slow reader stops taking anything: on a
        // loaded machine the upload reaches the server late, and the ready
        // behind it with it.
        const bool slowHadItsReady =
            slow.readyAt || (readySentAt && plat::TimeGetTime() - readySentAt > slowBound);
        if (readers[2].doneAt && !slowStoppedAt && slowHadItsReady) {
            slow.stopReading = true;
            slowStoppedAt = plat::TimeGetTime();
            slowChunksAtStop = slow.chunks;
        }
        plat::Sleep(100);
    }
    stop = true;
    for (auto& t : threads) t.join();

    const u32 tookMs = plat::TimeGetTime() - start;
    std::printf("upload of %u bytes in %u ms: fast readers whole after %u and %u ms (bounds %u and %u), the slow one "
                "had %u chunks when it stopped and was let go %d ms later; chat at worst %u, %u and %u ms late, the "
                "ready %u, %u and %u ms; at most %llu bytes buffered\n",
                kChunks * kFrameBytes, tookMs, readers[1].doneAt.load(), readers[2].doneAt.load(), boundMs(rates[1]),
                boundMs(rates[2]), slowChunksAtStop, slowLeftAt ? int(slowLeftAt - slowStoppedAt) : -1,
                readers[0].worstChat.load(), readers[1].worstChat.load(), readers[2].worstChat.load(),
                readers[0].readyAt.load(), readers[1].readyAt.load(), readers[2].readyAt.load(),
                (unsigned long long)worstBuffered);
    for (int i = 1; i < 3; ++i) {
        const PacedReader& r = readers[i];
        EXPECT_FALSE(r.cut) << rates[i] << " KB/s: a reader at its line's pace was cut off";
        EXPECT_EQ(r.chunks, kChunks) << rates[i] << " KB/s";
        EXPECT_TRUE(r.doneAt > 0 && r.doneAt <= boundMs(rates[i]))
            << rates[i] << " KB/s: the upload took " << r.doneAt << " ms, held to a slower reader";
        EXPECT_TRUE(r.intact) << rates[i] << " KB/s: pictures out of order or damaged";
        EXPECT_GT(r.worstChat, 0u) << rates[i] << " KB/s: no chat line came through";
        // Well within a second on a quiet machine; a held uploader makes it
        // tens of seconds, so a loaded machine's margin costs the check nothing.
        EXPECT_LT(r.worstChat, kPromptMs) << rates[i] << " KB/s: a chat line waited behind the upload";
        EXPECT_TRUE(r.readyAt > 0 && r.readyAt < kPromptMs) << rates[i] << " KB/s: the ready took " << r.readyAt << " ms";
    }
    EXPECT_TRUE(slow.intact) << "the slow line's pictures out of order or damaged";
    EXPECT_GT(slowChunksAtStop, 0u) << "the slow reader was given nothing";
    EXPECT_LT(slowChunksAtStop, kChunks);
    EXPECT_TRUE(slow.worstChat > 0 && slow.worstChat < slowBound) << "chat to the slow line: " << slow.worstChat << " ms";
    EXPECT_TRUE(slow.readyAt > 0 && slow.readyAt < slowBound) << "the ready on the slow line: " << slow.readyAt << " ms";
    ASSERT_GT(slowStoppedAt, 0u) << "the fast readers never finished";
    ASSERT_GT(slowLeftAt, 0u) << "the reader that took nothing was never let go";
    EXPECT_FALSE(slow.cut) << "the slow reader was cut off while it read at its pace";
    // It took the last bytes the system held for it a little before it stopped.
    EXPECT_GE(slowLeftAt - slowStoppedAt, config.seatTimeoutMs / 2) << "let go long before the seat timeout";
    EXPECT_LE(slowLeftAt - slowStoppedAt, config.seatTimeoutMs + 5000) << "not let go by the server's own rule";
    EXPECT_LT(worstBuffered, 32ull << 20) << "the server held the upload in memory more than once";
    EXPECT_EQ(server.Participants(0), 3u);
}
