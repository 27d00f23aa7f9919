#pragma once
// Sound data made on the spot for tests and benchmarks: tones as 16-bit
// samples, RIFF WAVE images and Ogg Vorbis streams (encoded with
// libvorbisenc; link vorbisenc).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include "engine/sound/VoiceDecoder.h"
#include "platform/core/Time.h"
#include "platform/core/Types.h"

namespace fixtures {

// Waits until the voice worker has nothing left to decode (two minutes at
// most: each piece is decoded in a helper process of its own, and a loaded
// machine starts them slowly); false when it still has.
inline bool WaitForVoiceDecodes() {
    for (int i = 0; i < 24000 && GetVoiceDecoder().Busy() > 0; ++i) plat::Sleep(5);
    return GetVoiceDecoder().Busy() == 0;
}

// Bytes of memory the process holds resident.
inline u64 ResidentBytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long long pages = 0, resident = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%llu %llu", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return u64(resident) * 4096u;
}

// A sine tone, channels interleaved; channel c gets frequency freq * (c + 1).
inline std::vector<i16> Tone(u32 channels, u32 rate, f32 seconds, f32 freq, f32 amplitude = 0.5f) {
    const u32 frames = u32(f64(rate) * seconds);
    std::vector<i16> out(size_t(frames) * channels);
    for (u32 i = 0; i < frames; ++i) {
        for (u32 c = 0; c < channels; ++c) {
            const f64 v = std::sin(2.0 * 3.14159265358979 * freq * (c + 1) * i / rate);
            out[size_t(i) * channels + c] = i16(std::lround(v * amplitude * 32767.0));
        }
    }
    return out;
}

inline void Put16(std::vector<u8>& b, u32 v) {
    b.push_back(u8(v));
    b.push_back(u8(v >> 8));
}
inline void Put32(std::vector<u8>& b, u32 v) {
    Put16(b, v);
    Put16(b, v >> 16);
}
// Byte by byte: GCC 12 takes a range insert into an empty vector, once
// inlined, for a write past its end (-Wstringop-overflow).
inline void PutTag(std::vector<u8>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(u8(tag[i]));
}

// A 16-bit PCM WAVE image.
inline std::vector<u8> Wave(const std::vector<i16>& samples, u32 channels, u32 rate) {
    const u32 dataBytes = u32(samples.size() * 2);
    std::vector<u8> b;
    PutTag(b, "RIFF");
    Put32(b, 4 + 8 + 16 + 8 + dataBytes);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * 2);
    Put16(b, channels * 2);
    Put16(b, 16);
    PutTag(b, "data");
    Put32(b, dataBytes);
    for (i16 s : samples) Put16(b, u16(s));
    return b;
}

// Ogg Vorbis encoding of interleaved samples.
inline std::vector<u8> Ogg(const std::vector<i16>& samples, u32 channels, u32 rate, f32 quality = 0.3f) {
    std::vector<u8> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, long(channels), long(rate), quality) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x5157);
    ogg_page og;
    ogg_packet op;
    auto write = [&](const ogg_page& page) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    };
    {
        ogg_packet h, hc, hcode;
        vorbis_analysis_headerout(&vd, &vc, &h, &hc, &hcode);
        ogg_stream_packetin(&os, &h);
        ogg_stream_packetin(&os, &hc);
        ogg_stream_packetin(&os, &hcode);
        while (ogg_stream_flush(&os, &og) != 0) write(og);
    }
    const size_t frames = samples.size() / channels;
    size_t at = 0;
    bool eos = false;
    while (!eos) {
        const size_t n = std::min<size_t>(1024, frames - at);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buf = vorbis_analysis_buffer(&vd, int(n));
            for (size_t i = 0; i < n; ++i)
                for (u32 c = 0; c < channels; ++c) buf[c][i] = samples[(at + i) * channels + c] / 32768.0f;
            vorbis_analysis_wrote(&vd, int(n));
            at += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op) != 0) {
                ogg_stream_packetin(&os, &op);
                while (ogg_stream_pageout(&os, &og) != 0) {
                    write(og);
                    if (ogg_page_eos(&og)) eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

// Byte offsets of the pages of an Ogg stream.
inline std::vector<size_t> OggPages(const std::vector<u8>& ogg) {
    std::vector<size_t> pages;
    size_t at = 0;
    while (at + 27 <= ogg.size() && std::memcmp(ogg.data() + at, "OggS", 4) == 0) {
        const u32 segments = ogg[at + 26];
        if (at + 27 + segments > ogg.size()) break;
        size_t body = 0;
        for (u32 i = 0; i < segments; ++i) body += ogg[at + 27 + i];
        pages.push_back(at);
        at += 27 + segments + body;
    }
    return pages;
}

// Rewrites the granule position of the page at offset and fixes its checksum.
inline void SetGranule(std::vector<u8>& ogg, size_t offset, i64 granule) {
    for (int i = 0; i < 8; ++i) ogg[offset + 6 + i] = u8(u64(granule) >> (8 * i));
    const u32 segments = ogg[offset + 26];
    long body = 0;
    for (u32 i = 0; i < segments; ++i) body += ogg[offset + 27 + i];
    ogg_page page;
    page.header = ogg.data() + offset;
    page.header_len = long(27 + segments);
    page.body = ogg.data() + offset + 27 + segments;
    page.body_len = body;
    ogg_page_checksum_set(&page);
}

// Packs bits as Vorbis headers do: least significant bit first.
class BitWriter {
public:
    void Put(u64 value, u32 bits) {
        for (u32 i = 0; i < bits; ++i, ++at_) {
            if (at_ % 8 == 0) bytes.push_back(0);
            bytes.back() |= u8(((value >> i) & 1u) << (at_ % 8));
        }
    }
    void PutBytes(const char* text, u32 n) {
        for (u32 i = 0; i < n; ++i) Put(u8(text[i]), 8);
    }
    std::vector<u8> bytes;

private:
    u64 at_ = 0;
};

// One link of a valid Ogg Vorbis stream whose setup header holds `books`
// ordered codebooks of `entries` entries each (one length for them all) and
// the smallest floor, residue, mapping and mode that pass the header checks;
// it states `frames` sample frames. Each link gets its own serial number.
inline std::vector<u8> HugeCodebookOgg(u32 entries, u32 books = 1, i64 frames = 896, u32 channels = 1,
                                       u32 rate = 44100, int serial = 0x51) {
    auto header = [](BitWriter& w, u32 type) {
        w.Put(type, 8);
        w.PutBytes("vorbis", 6);
    };
    BitWriter id;
    header(id, 1);
    id.Put(0, 32);
    id.Put(channels, 8);
    id.Put(rate, 32);
    id.Put(0, 32);
    id.Put(0, 32);
    id.Put(0, 32);
    id.Put(8, 4);   // 256-sample short blocks
    id.Put(11, 4);  // 2048-sample long blocks
    id.Put(1, 1);
    BitWriter comment;
    header(comment, 3);
    comment.Put(1, 32);
    comment.PutBytes("x", 1);
    comment.Put(0, 32);
    comment.Put(1, 1);
    BitWriter setup;
    header(setup, 5);
    auto ilog = [](u64 v) {
        u32 n = 0;
        for (; v; v >>= 1) ++n;
        return n;
    };
    setup.Put(books - 1, 8);
    for (u32 b = 0; b < books; ++b) {
        setup.Put(0x564342, 24);
        setup.Put(1, 16);        // dimensions
        setup.Put(entries, 24);  // entries
        setup.Put(1, 1);         // ordered
        const u32 length = std::max<u32>(1, ilog(entries - 1));
        setup.Put(length - 1, 5);
        setup.Put(entries, ilog(entries));  // every entry of that one length
        setup.Put(0, 4);                    // no lookup
    }
    // The rest as {value, bits}: one time-domain transform; one floor of
    // type 1 without partitions; one residue of type 0 with one class of
    // codebook 0 and no cascade; one mapping of type 0 with one submap; one
    // mode; the framing bit.
    const u32 rest[][2] = {{0, 6}, {0, 16}, {0, 6}, {1, 16}, {0, 5},  {0, 2}, {0, 4}, {0, 6}, {0, 16},
                           {0, 24}, {0, 24}, {0, 24}, {0, 6}, {0, 8}, {0, 3}, {0, 1}, {0, 6}, {0, 16},
                           {0, 1}, {0, 1}, {0, 2}, {0, 8}, {0, 8}, {0, 8}, {0, 6}, {0, 1}, {0, 16},
                           {0, 16}, {0, 8}, {1, 1}};
    for (const auto& field : rest) setup.Put(field[0], field[1]);

    std::vector<u8> out;
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    ogg_page og;
    auto flush = [&] {
        while (ogg_stream_flush(&os, &og) != 0) {
            out.insert(out.end(), og.header, og.header + og.header_len);
            out.insert(out.end(), og.body, og.body + og.body_len);
        }
    };
    i64 packetNo = 0;
    auto packet = [&](std::vector<u8>& bytes, i64 granule, bool bos, bool eos) {
        ogg_packet op{};
        op.packet = bytes.data();
        op.bytes = long(bytes.size());
        op.b_o_s = bos;
        op.e_o_s = eos;
        op.granulepos = granule;
        op.packetno = packetNo++;
        ogg_stream_packetin(&os, &op);
    };
    packet(id.bytes, 0, true, false);
    flush();
    packet(comment.bytes, 0, false, false);
    packet(setup.bytes, 0, false, false);
    flush();
    std::vector<u8> audio = {0, 0};
    packet(audio, 0, false, false);
    std::vector<u8> last = {0, 0};
    packet(last, frames, false, true);
    flush();
    ogg_stream_clear(&os);
    return out;
}

}  // namespace fixtures
