#include "platform/audio/OggDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <vorbis/vorbisfile.h>

namespace plat {
namespace {

// vorbisfile reads the Ogg image through these.
struct MemorySource {
    const u8* data;
    size_t size;
    size_t pos;
};

size_t MemRead(void* out, size_t size, size_t count, void* source)
{
    auto* m = static_cast<MemorySource*>(source);
    if (size == 0 || count == 0) return 0;
    const size_t items = std::min(count, (m->size - m->pos) / size);
    std::memcpy(out, m->data + m->pos, items * size);
    m->pos += items * size;
    return items;
}

int MemSeek(void* source, ogg_int64_t offset, int whence)
{
    auto* m = static_cast<MemorySource*>(source);
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR) base = ogg_int64_t(m->pos);
    else if (whence == SEEK_END) base = ogg_int64_t(m->size);
    else if (whence != SEEK_SET) return -1;
    if ((offset > 0 && offset > ogg_int64_t(m->size) - base) || base + offset < 0) return -1;
    m->pos = size_t(base + offset);
    return 0;
}

long MemTell(void* source) { return long(static_cast<MemorySource*>(source)->pos); }

// Opens the stream and checks its layout; the caller clears vf on success.
bool OpenStream(MemorySource* source, OggVorbis_File* vf, OggLayout* layout)
{
    const ov_callbacks callbacks{MemRead, MemSeek, nullptr, MemTell};
    if (ov_open_callbacks(source, vf, nullptr, 0, callbacks) != 0) return false;
    const vorbis_info* info = ov_info(vf, -1);
    if (info == nullptr || info->channels < 1 || info->channels > int(kOggMostChannels) ||
        info->rate < long(kOggLeastRate) || info->rate > long(kOggMostRate)) {
        ov_clear(vf);
        return false;
    }
    layout->channels = u32(info->channels);
    layout->rate = u32(info->rate);
    return true;
}

// Share of each channel (in thousandths) in the left and right sides, in
// the order Vorbis gives channels for each count: centre and surrounds go
// to both sides at -3 dB, the low-frequency channel nowhere.
constexpr i32 kFull = 1000, kHalfPower = 707, kHalf = 500;
struct Share {
    i32 left, right;
};
constexpr Share kFL{kFull, 0}, kFR{0, kFull}, kC{kHalfPower, kHalfPower}, kSL{kHalfPower, 0}, kSR{0, kHalfPower},
    kRC{kHalf, kHalf}, kLfe{0, 0};
constexpr Share kShares[kOggMostChannels][kOggMostChannels] = {
    {kC},
    {kFL, kFR},
    {kFL, kC, kFR},
    {kFL, kFR, kSL, kSR},
    {kFL, kC, kFR, kSL, kSR},
    {kFL, kC, kFR, kSL, kSR, kLfe},
    {kFL, kC, kFR, kSL, kSR, kRC, kLfe},
    {kFL, kC, kFR, kSL, kSR, kSL, kSR, kLfe},
};

// Folds frames of `from` channels into `to` (1 or 2), 16-bit little-endian
// both. Each side is divided by the sum of its shares, so it never clips.
void FoldFrames(const u8* in, u32 frames, u32 from, u32 to, u8* out)
{
    const Share* shares = kShares[from - 1];
    i32 left[kOggMostChannels], right[kOggMostChannels];
    i32 sumLeft = 0, sumRight = 0;
    for (u32 c = 0; c < from; ++c) {
        left[c] = to == 1 ? shares[c].left + shares[c].right : shares[c].left;
        right[c] = shares[c].right;
        sumLeft += left[c];
        sumRight += right[c];
    }
    auto put = [&out](i32 v) {
        *out++ = u8(u32(v) & 0xFF);
        *out++ = u8((u32(v) >> 8) & 0xFF);
    };
    for (u32 f = 0; f < frames; ++f) {
        i32 l = 0, r = 0;
        for (u32 c = 0; c < from; ++c, in += 2) {
            const i32 v = i16(u16(in[0] | in[1] << 8));
            l += left[c] * v;
            r += right[c] * v;
        }
        put(l / sumLeft);
        if (to == 2) put(r / sumRight);
    }
}

}  // namespace

bool ReadOggLayout(const u8* file, u32 fileSize, OggLayout* layout, i64* frames)
{
    if (file == nullptr || layout == nullptr || frames == nullptr || fileSize == 0) return false;
    MemorySource source{file, fileSize, 0};
    OggVorbis_File vf;
    OggLayout found;
    if (!OpenStream(&source, &vf, &found)) return false;
    // The length comes from the last page's position, found by seeking:
    // no packet is decoded however long the stream claims to be.
    const ogg_int64_t total = ov_seekable(&vf) ? ov_pcm_total(&vf, -1) : -1;
    ov_clear(&vf);
    *layout = found;
    *frames = total >= 0 ? i64(total) : -1;
    return true;
}

bool DecodeOggVorbis(const u8* file, u32 fileSize, u32 room, u32 maxBytes, std::vector<u8>* out,
                     OggLayout* layout, const std::atomic<bool>* stop, u32 mostChannels)
{
    if (file == nullptr || out == nullptr || layout == nullptr || fileSize == 0 || mostChannels == 0) return false;
    MemorySource source{file, fileSize, 0};
    OggVorbis_File vf;
    OggLayout found;
    if (!OpenStream(&source, &vf, &found)) return false;
    const u32 channels = found.channels;
    const u32 rate = found.rate;
    // Folded streams decode a little at a time into a small block of their
    // own, so the whole never takes more than its folded size.
    const bool fold = channels > mostChannels && mostChannels <= 2;
    const u32 outChannels = fold ? mostChannels : channels;
    const u32 frameBytes = outChannels * 2;
    constexpr u32 kFoldFrames = 1024;
    std::vector<u8> unfolded(fold ? size_t(kFoldFrames) * channels * 2 : 0);

    // The stream's own length is only a hint: unknown for some streams and
    // a lie in a hostile one. Start from it within sane bounds and grow as
    // samples really arrive.
    u64 hint = 0;
    if (ov_seekable(&vf)) {
        const ogg_int64_t frames = ov_pcm_total(&vf, -1);
        if (frames > 0) hint = u64(frames) * frameBytes;
    }
    const u64 sensible = std::max<u64>(1u << 20, u64(fileSize) * 32);
    const u64 start = std::min<u64>(std::max<u64>(std::min(hint, sensible), 65536), maxBytes);

    out->clear();
    out->resize(room + size_t(start));
    u32 filled = 0;
    int section = 0;
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
        // vorbisfile keeps what did not fit for the next read, so the block
        // grows only once less than a whole frame is free (a read into less
        // gives nothing, which is no end) and never past maxBytes.
        if (out->size() - room - filled < frameBytes) {
            const u64 now = filled;
            if (now + frameBytes > maxBytes) break;
            out->resize(room + size_t(std::min<u64>(std::max<u64>(now * 2, 65536), maxBytes)));
        }
        const u32 free = u32(out->size() - room - filled);
        u8* at = out->data() + room + filled;
        const long got =
            fold ? ov_read(&vf, reinterpret_cast<char*>(unfolded.data()),
                           int(std::min(free / frameBytes, kFoldFrames) * channels * 2), 0, 2, 1, &section)
                 : ov_read(&vf, reinterpret_cast<char*>(at), int(std::min<u32>(free, 1u << 20)), 0, 2, 1, &section);
        if (got <= 0) break;  // end of stream, or the first damaged spot
        // A chained stream that changes its layout cannot share one header.
        const vorbis_info* now = ov_info(&vf, section);
        if (now == nullptr || u32(now->channels) != channels || u32(now->rate) != rate) break;
        if (fold) {
            const u32 frames = u32(got) / (channels * 2);
            FoldFrames(unfolded.data(), frames, channels, outChannels, at);
            filled += frames * frameBytes;
        } else {
            filled += u32(got);
        }
    }
    ov_clear(&vf);
    filled -= filled % frameBytes;
    out->resize(room + filled);
    layout->channels = outChannels;
    layout->rate = rate;
    return true;
}

}  // namespace plat
