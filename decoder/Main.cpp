// quillon_decode: decodes one Ogg Vorbis stream or PNG picture for the game,
// in a process of its own under limits, so that a fault a hostile stream
// finds in a decoding library ends this program, never the game. The
// request and answer are described in platform/core/DecodeHelper.h.
#include <png.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/audio/OggDecoder.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/DecodeHelper.h"
#include "platform/core/Sandbox.h"

namespace {

// Largest request read: the biggest file the game hands over (music).
constexpr u64 kMostInput = 256u << 20;

bool WriteAll(const u8* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(1, data, size);
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Zeros after the answer's header up to the room the caller asked for.
u32 g_room = plat::kDecodeAnswerSize;

int Answer(plat::DecodeStatus status, u32 x, u32 y, const u8* payload, u64 size)
{
    std::vector<u8> h(status == plat::DecodeStatus::Ok ? g_room : plat::kDecodeAnswerSize, 0);
    std::memcpy(h.data(), "QDRS", 4);
    PutU32(h.data() + 4, u32(status));
    PutU32(h.data() + 8, x);
    PutU32(h.data() + 12, y);
    PutU32(h.data() + 16, u32(size));
    PutU32(h.data() + 20, u32(size >> 32));
    return WriteAll(h.data(), h.size()) && (size == 0 || WriteAll(payload, size_t(size))) ? 0 : 1;
}

int Refuse(plat::DecodeStatus status) { return Answer(status, 0, 0, nullptr, 0); }

int DecodeOgg(const u8* file, u32 size, u32 maxSeconds, u32 maxBytes, u64 budget)
{
    if (maxSeconds > 0) {
        // A voice: refused from the length its stream states.
        plat::OggLayout layout;
        i64 frames = -1;
        if (!plat::ReadOggLayout(file, size, &layout, &frames) || frames <= 0)
            return Refuse(plat::DecodeStatus::Unreadable);
        if (u64(frames) > u64(maxSeconds) * layout.rate) return Refuse(plat::DecodeStatus::TooLong);
        const u64 bytes = u64(frames) * std::min(layout.channels, plat::kDecodeMostChannels) * 2;
        if (bytes > budget) return Refuse(plat::DecodeStatus::OverBudget);
        // A stream that says less than it holds is cut at what it says.
        if (bytes < maxBytes) maxBytes = u32(bytes);
    }
    std::vector<u8> samples;
    plat::OggLayout layout;
    if (!plat::DecodeOggVorbis(file, size, 0, maxBytes, &samples, &layout, nullptr, plat::kDecodeMostChannels))
        return Refuse(plat::DecodeStatus::Unreadable);
    return Answer(plat::DecodeStatus::Ok, layout.channels, layout.rate, samples.data(), samples.size());
}

int DecodePng(const u8* file, u32 size, u32 maxEdge, u64 budget)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file, size)) return Refuse(plat::DecodeStatus::Unreadable);
    // Checked from the header, before a pixel is decoded.
    if (image.width == 0 || image.height == 0 || image.width > maxEdge || image.height > maxEdge ||
        u64(image.width) * image.height * 4 > budget) {
        png_image_free(&image);
        return Refuse(plat::DecodeStatus::OverBudget);
    }
    image.format = PNG_FORMAT_BGRA;
    std::vector<u8> pixels(size_t(image.width) * image.height * 4);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return Refuse(plat::DecodeStatus::Unreadable);
    }
    return Answer(plat::DecodeStatus::Ok, image.width, image.height, pixels.data(), pixels.size());
}

}  // namespace

int main()
{
    // The game sets the memory, stack and time limits on this process
    // before it sends the request; no core file is left behind either way.
    struct rlimit core = {0, 0};
    setrlimit(RLIMIT_CORE, &core);
    // A game that dies without a word takes this request with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Whatever a hostile stream makes of a decoding library can then do
    // no more than decode: no file, socket or process of its own.
    if (!plat::EnterDecodeSandbox()) return 1;

    std::vector<u8> in;
    u8 buffer[65536];
    for (;;) {
        const ssize_t n = read(0, buffer, sizeof buffer);
        if (n < 0) return 1;
        if (n == 0) break;
        if (in.size() + size_t(n) > kMostInput) return 1;
        in.insert(in.end(), buffer, buffer + n);
    }
    if (in.size() < plat::kDecodeRequestSize || std::memcmp(in.data(), "QDRQ", 4) != 0) return 1;
    const u8* h = in.data();
    const u32 kind = GetU32(h + 4);
    const u32 a = GetU32(h + 8);
    const u32 b = GetU32(h + 12);
    const u64 budget = u64(GetU32(h + 16)) | (u64(GetU32(h + 20)) << 32);
    const u32 size = GetU32(h + 24);
    // Room for the caller's own header, within reason.
    g_room = std::max(plat::kDecodeAnswerSize, std::min<u32>(GetU32(h + 28), 4096));
    if (size == 0 || size != in.size() - plat::kDecodeRequestSize) return 1;
    const u8* file = h + plat::kDecodeRequestSize;
    if (kind == plat::kDecodeKindOgg) return DecodeOgg(file, size, a, b, budget);
    if (kind == plat::kDecodeKindPng) return DecodePng(file, size, a, budget);
    return 1;
}
