#include "platform/core/DecodeHelper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/core/ByteOrder.h"
#include "platform/core/Process.h"

namespace plat {
namespace {

// The helper's own needs are small (libvorbis and libpng keep a few MB);
// the rest is room for the answer it builds.
constexpr u64 kHelperBaseMemory = 192u << 20;

std::atomic<bool> g_toldMissing{false};

std::mutex g_programLock;
std::string g_program;  // set in place of the shipped helper (tests)

std::string Program()
{
    static const std::string shipped = HelperProgramPath(kDecodeHelperName);
    std::lock_guard<std::mutex> hold(g_programLock);
    return g_program.empty() ? shipped : g_program;
}

// Runs one request; the checked answer's header fields, and the answer
// whose payload starts at *start.
DecodeStatus Run(const std::vector<u8>& request, u64 payloadCap, u32 cpuSeconds, u32 wallMs, u32* x, u32* y,
                 std::vector<u8>* answer, u32* start, const std::atomic<bool>* stop)
{
    const std::string program = Program();
    if (program.empty()) {
        if (!g_toldMissing.exchange(true))
            std::fprintf(stderr, "quillon: the decoder \"%s\" is missing: received voices, pictures and music "
                                 "are refused\n", kDecodeHelperName);
        return DecodeStatus::NoHelper;
    }
    const u32 room = std::max(kDecodeAnswerSize, GetU32(request.data() + 28));
    ProcessLimits limits;
    limits.addressSpace = kHelperBaseMemory + 2 * payloadCap;
    limits.stack = 8u << 20;
    limits.cpuSeconds = cpuSeconds;
    limits.wallMs = wallMs;
    limits.outputCap = room + payloadCap;
    limits.sizeAt = 16;
    limits.sizeEnd = room;
    ProcessResult r = RunLimitedProcess(program, {program}, request, limits, stop);
    if (r.end == ProcessEnd::NotStarted) return DecodeStatus::NoHelper;
    if (r.end != ProcessEnd::Exited || r.code != 0 || r.output.size() < kDecodeAnswerSize ||
        std::memcmp(r.output.data(), "QDRS", 4) != 0)
        return DecodeStatus::Failed;
    const u8* h = r.output.data();
    const u32 status = GetU32(h + 4);
    const u64 bytes = u64(GetU32(h + 16)) | (u64(GetU32(h + 20)) << 32);
    if (status > u32(DecodeStatus::OverBudget)) return DecodeStatus::Failed;
    if (status != 0) return r.output.size() == kDecodeAnswerSize ? DecodeStatus(status) : DecodeStatus::Failed;
    if (bytes > payloadCap || r.output.size() < room || bytes != r.output.size() - room) return DecodeStatus::Failed;
    *x = GetU32(h + 8);
    *y = GetU32(h + 12);
    *start = room;
    answer->swap(r.output);
    return DecodeStatus::Ok;
}

}  // namespace

void UseDecodeHelper(const std::string& path)
{
    std::lock_guard<std::mutex> hold(g_programLock);
    g_program = path;
}

std::vector<u8> DecodeRequest(u32 kind, u32 a, u32 b, u64 budget, u32 room, const u8* file, u32 size)
{
    std::vector<u8> request(kDecodeRequestSize + size_t(size), 0);
    u8* h = request.data();
    std::memcpy(h, "QDRQ", 4);
    PutU32(h + 4, kind);
    PutU32(h + 8, a);
    PutU32(h + 12, b);
    PutU32(h + 16, u32(budget));
    PutU32(h + 20, u32(budget >> 32));
    PutU32(h + 24, size);
    PutU32(h + 28, room);
    if (size > 0) std::memcpy(h + kDecodeRequestSize, file, size);
    return request;
}

DecodeStatus DecodeOggInHelper(const u8* file, u32 size, u32 maxSeconds, u32 maxBytes, u64 budget, u32 room,
                               std::vector<u8>* out, OggLayout* layout, const std::atomic<bool>* stop)
{
    if (file == nullptr || size == 0 || out == nullptr || layout == nullptr) return DecodeStatus::Unreadable;
    u32 channels = 0, rate = 0, start = 0;
    std::vector<u8> answer;
    // A voice decodes in well under a second, long music in a few: ten
    // times that is room enough for a loaded machine.
    const u32 cpu = maxSeconds > 0 ? 5 : 20;
    const DecodeStatus s = Run(DecodeRequest(kDecodeKindOgg, maxSeconds, maxBytes, budget, room, file, size),
                               maxBytes, cpu, cpu * 2000, &channels, &rate, &answer, &start, stop);
    if (s != DecodeStatus::Ok) return s;
    const u32 bytes = u32(answer.size() - start);
    if (channels < 1 || channels > kDecodeMostChannels || rate < kOggLeastRate || rate > kOggMostRate ||
        bytes % (channels * 2) != 0)
        return DecodeStatus::Failed;
    // A voice must keep to the length and the budget it was asked for.
    if (maxSeconds > 0 && (bytes / (channels * 2) > u64(maxSeconds) * rate || bytes > budget))
        return DecodeStatus::Failed;
    if (start == room) {
        out->swap(answer);
    } else {
        out->resize(size_t(room) + bytes);
        if (bytes > 0) std::memcpy(out->data() + room, answer.data() + start, bytes);
    }
    layout->channels = channels;
    layout->rate = rate;
    return DecodeStatus::Ok;
}

DecodeStatus DecodePngInHelper(const u8* file, u32 size, u32 maxEdge, u64 budget, u32* width, u32* height,
                               std::vector<u8>* bgra, size_t* offset, const std::atomic<bool>* stop)
{
    if (file == nullptr || size == 0 || width == nullptr || height == nullptr || bgra == nullptr || offset == nullptr)
        return DecodeStatus::Unreadable;
    u32 w = 0, h = 0, start = 0;
    const DecodeStatus s = Run(DecodeRequest(kDecodeKindPng, maxEdge, 0, budget, 0, file, size), budget, 5, 10000,
                               &w, &h, bgra, &start, stop);
    if (s != DecodeStatus::Ok) return s;
    if (w < 1 || h < 1 || w > maxEdge || h > maxEdge || u64(w) * h * 4 != bgra->size() - start) {
        bgra->clear();
        return DecodeStatus::Failed;
    }
    *width = w;
    *height = h;
    *offset = start;
    return DecodeStatus::Ok;
}

}  // namespace plat
