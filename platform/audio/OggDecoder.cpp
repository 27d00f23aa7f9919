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
    if (info == nullptr || info->channels < 1 || info->channels > 8 || info->rate < 1 ||
        info->rate > 384000) {
        ov_clear(vf);
        return false;
    }
    layout->channels = u32(info->channels);
    layout->rate = u32(info->rate);
    return true;
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
                     OggLayout* layout, const std::atomic<bool>* stop)
{
    if (file == nullptr || out == nullptr || layout == nullptr || fileSize == 0) return false;
    MemorySource source{file, fileSize, 0};
    OggVorbis_File vf;
    OggLayout found;
    if (!OpenStream(&source, &vf, &found)) return false;
    const u32 channels = found.channels;
    const u32 rate = found.rate;
    const u32 frameBytes = channels * 2;

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
        const long got = ov_read(&vf, reinterpret_cast<char*>(out->data() + room + filled),
                                 int(std::min<u32>(free, 1u << 20)), 0, 2, 1, &section);
        if (got <= 0) break;  // end of stream, or the first damaged spot
        // A chained stream that changes its layout cannot share one header.
        const vorbis_info* now = ov_info(&vf, section);
        if (now == nullptr || u32(now->channels) != channels || u32(now->rate) != rate) break;
        filled += u32(got);
    }
    ov_clear(&vf);
    filled -= filled % frameBytes;
    out->resize(room + filled);
    layout->channels = channels;
    layout->rate = rate;
    return true;
}

}  // namespace plat
