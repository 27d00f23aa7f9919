// Decoding a whole piece of music at load time, as a scene's set-up does.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/sound/SoundManager.h"
#include "tests/support/SoundFixtures.h"

namespace {

// Thirty seconds of 44.1 kHz stereo, encoded once.
const std::vector<u8>& ThirtySecondOgg() {
    static const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(2, 44100, 30.0f, 220.0f), 2, 44100, 0.4f);
    return ogg;
}

void BM_DecodeThirtySecondOgg(benchmark::State& state) {
    const std::vector<u8>& ogg = ThirtySecondOgg();
    std::vector<u8> wave;
    for (auto _ : state) {
        if (!DecodeOggToWave(ogg.data(), u32(ogg.size()), &wave)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(wave.data());
    }
    state.SetBytesProcessed(i64(state.iterations()) * i64(wave.size()));
    state.counters["ogg_bytes"] = f64(ogg.size());
}
BENCHMARK(BM_DecodeThirtySecondOgg)->Unit(benchmark::kMillisecond);

}  // namespace
