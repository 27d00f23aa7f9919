#pragma once
// Sound data made on the spot for tests and benchmarks: tones as 16-bit
// samples, RIFF WAVE images and Ogg Vorbis streams (encoded with
// libvorbisenc; link vorbisenc).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include "engine/sound/VoiceDecoder.h"
#include "platform/core/Time.h"
#include "platform/core/Types.h"

namespace fixtures {

// Waits until the voice worker has nothing left to decode; false when it
// still has after a minute (a hang, never a busy machine).
inline bool WaitForVoiceDecodes() {
    for (int i = 0; i < 12000 && GetVoiceDecoder().Busy() > 0; ++i) plat::Sleep(5);
    return GetVoiceDecoder().Busy() == 0;
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

}  // namespace fixtures
