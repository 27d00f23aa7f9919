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

}  // namespace

bool DecodeOggVorbis(const u8* file, u32 fileSize, u32 room, u32 maxBytes, std::vector<u8>* out,
                     OggLayout* layout)
{
    if (file == nullptr || out == nullptr || layout == nullptr || fileSize == 0) return false;
    MemorySource source{file, fileSize, 0};
    const ov_callbacks callbacks{MemRead, MemSeek, nullptr, MemTell};
    OggVorbis_File vf;
    if (ov_open_callbacks(&source, &vf, nullptr, 0, callbacks) != 0) return false;
    const vorbis_info* info = ov_info(&vf, -1);
    if (info == nullptr || info->channels < 1 || info->channels > 8 || info->rate < 1 ||
        info->rate > 384000) {
        ov_clear(&vf);
        return false;
    }
    const u32 channels = u32(info->channels);
    const u32 rate = u32(info->rate);
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
    const u64 start = std::min<u64>({hint, sensible, maxBytes});

    out->clear();
    out->resize(room + size_t(std::max<u64>(start, 65536)));
    u32 filled = 0;
    int section = 0;
    for (;;) {
        if (out->size() - room - filled < 4096) {
            const u64 now = out->size() - room;
            if (now >= maxBytes) break;
            out->resize(room + size_t(std::min<u64>(now * 2, maxBytes)));
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
