#include "tools/OggToneWriter.h"

#include <cmath>
#include <algorithm>
#include <cstdlib>

#include <vorbis/vorbisenc.h>

namespace {

constexpr long SampleRate = 22050;

void TakePages(ogg_stream_state& stream, std::string& out, bool flush)
{
    ogg_page page;
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
        out.append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
        out.append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
    }
}

}  // namespace

std::string EncodeOggMono(const std::vector<float>& samples, long rate, float quality)
{
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return {};
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "quillon_datamaker");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x5157); // any serial number

    std::string out;
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    TakePages(stream, out, true);

    auto drain = [&] {
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                TakePages(stream, out, false);
            }
        }
    };
    for (size_t written = 0; written < samples.size();) {
        const size_t n = std::min<size_t>(1024, samples.size() - written);
        float** buffer = vorbis_analysis_buffer(&dsp, int(n));
        for (size_t i = 0; i < n; ++i) buffer[0][i] = samples[written + i];
        vorbis_analysis_wrote(&dsp, int(n));
        written += n;
        drain();
    }
    vorbis_analysis_wrote(&dsp, 0); // end of stream
    drain();
    TakePages(stream, out, true);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

std::string EncodeOggTone(f32 startHz, f32 endHz, f32 seconds)
{
    const long total = long(seconds * SampleRate);
    std::vector<float> samples(size_t(std::max(0L, total)));
    double phase = 0.0;
    for (long i = 0; i < total; ++i) {
        const double t = double(i) / double(total);
        const double hz = startHz + (endHz - startHz) * t;
        phase += 2.0 * M_PI * hz / SampleRate;
        const double envelope = std::min(1.0, t * 20.0) * std::min(1.0, (1.0 - t) * 8.0);
        samples[size_t(i)] = float(0.4 * envelope * std::sin(phase));
    }
    return EncodeOggMono(samples, SampleRate, 0.2f);
}
