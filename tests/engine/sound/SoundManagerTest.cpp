#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/sound/SoundManager.h"
#include "engine/sound/VoiceDecoder.h"
#include "platform/audio/OggDecoder.h"
#include "platform/core/DecodeHelper.h"
#include "platform/core/MessageBox.h"
#include "platform/core/Process.h"
#include "platform/gfx/Image.h"
#include "platform/audio/Audio.h"
#include "support/HostileHelpers.h"
#include "support/SoundFixtures.h"
#include "support/TempFolder.h"

namespace {

constexpr u32 kRate = 22050;

u32 Le32(const std::vector<u8>& b, size_t at) {
    return u32(b[at]) | u32(b[at + 1]) << 8 | u32(b[at + 2]) << 16 | u32(b[at + 3]) << 24;
}
u16 Le16(const std::vector<u8>& b, size_t at) { return u16(b[at] | b[at + 1] << 8); }

// Loudness of both channels over a short render of the loopback output,
// after a first stretch in which the mixer glides to new gains.
f64 Loudness(u32 frames = 4410) {
    std::vector<i16> out(size_t(frames) * 2);
    EXPECT_TRUE(plat::AudioRenderLoopback(out.data(), frames));
    EXPECT_TRUE(plat::AudioRenderLoopback(out.data(), frames));
    f64 sum = 0;
    for (u32 i = frames / 4 * 2; i < out.size(); ++i) sum += f64(out[i]) * out[i];
    return std::sqrt(sum / out.size());
}

f64 Side(bool right, u32 frames = 4410) {
    std::vector<i16> out(size_t(frames) * 2);
    EXPECT_TRUE(plat::AudioRenderLoopback(out.data(), frames));
    EXPECT_TRUE(plat::AudioRenderLoopback(out.data(), frames));
    f64 sum = 0;
    for (u32 i = frames / 4; i < frames; ++i) sum += f64(out[i * 2 + right]) * out[i * 2 + right];
    return std::sqrt(sum / frames);
}

// The sound manager on a loopback output, volumes of the three used slots full.
class SoundOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        plat::AudioSetTarget(plat::AudioTarget::Loopback, kRate);
        ASSERT_EQ(GetSoundManager().Init(nullptr), 1);
        for (int slot = 0; slot < 3; ++slot) GetSoundManager().SetVolume(slot, 100);
        wave = fixtures::Wave(fixtures::Tone(1, kRate, 1.0f, 440), 1, kRate);
    }
    void TearDown() override {
        GetSoundManager().Release();
        plat::AudioSetTarget(plat::AudioTarget::Default);
    }

    std::vector<u8> wave;
};

// A valid WAVE image with a non-PCM format record carrying extra bytes.
std::vector<u8> WaveWithExtra(u16 extraSize, u32 chunkSize, u32 extraPresent) {
    std::vector<u8> b;
    fixtures::PutTag(b, "RIFF");
    fixtures::Put32(b, 0);
    fixtures::PutTag(b, "WAVE");
    fixtures::PutTag(b, "fmt ");
    fixtures::Put32(b, chunkSize);
    fixtures::Put16(b, 2);  // ADPCM
    fixtures::Put16(b, 1);
    fixtures::Put32(b, 8000);
    fixtures::Put32(b, 4000);
    fixtures::Put16(b, 256);
    fixtures::Put16(b, 4);
    fixtures::Put16(b, extraSize);
    for (u32 i = 0; i < extraPresent; ++i) b.push_back(u8(0xE0 + i));
    if (chunkSize & 1) b.push_back(0);
    fixtures::PutTag(b, "data");
    fixtures::Put32(b, 4);
    fixtures::Put32(b, 0x11223344);
    const u32 riff = u32(b.size() - 8);
    std::memcpy(b.data() + 4, &riff, 4);
    return b;
}

// A small, deterministic random source for the mutation loops.
struct Lcg {
    u32 state;
    u32 Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

std::vector<u8> Mutate(const std::vector<u8>& in, Lcg& rng) {
    std::vector<u8> b = in;
    const u32 edits = 1 + rng.Next() % 8;
    for (u32 e = 0; e < edits && !b.empty(); ++e) {
        const size_t at = rng.Next() % b.size();
        switch (rng.Next() % 6) {
            case 0: b[at] ^= u8(1u << (rng.Next() % 8)); break;
            case 1: b[at] = u8(rng.Next()); break;
            case 2:  // a length-like field set to something extreme
                for (size_t i = 0; i < 4 && at + i < b.size(); ++i)
                    b[at + i] = (rng.Next() & 1) ? 0xFF : u8(rng.Next());
                break;
            case 3: b.resize(at); break;
            case 4: b.insert(b.begin() + long(at), u8(rng.Next())); break;
            default: b.erase(b.begin() + long(at)); break;
        }
    }
    return b;
}

}  // namespace

TEST(SoundVolume, PercentTurnsIntoHundredthsOfADecibel) {
    EXPECT_EQ(VolumePercentToHundredthsDb(0), kVolumeSilent);
    EXPECT_EQ(VolumePercentToHundredthsDb(-5), kVolumeSilent);
    EXPECT_EQ(VolumePercentToHundredthsDb(100), 0);
    EXPECT_EQ(VolumePercentToHundredthsDb(50), -300);
    EXPECT_EQ(VolumePercentToHundredthsDb(25), -600);
    EXPECT_EQ(VolumePercentToHundredthsDb(75), -100);
    EXPECT_EQ(VolumePercentToHundredthsDb(10), -1000);
    EXPECT_EQ(VolumePercentToHundredthsDb(1), -2000);
    EXPECT_EQ(VolumePercentToHundredthsDb(250), 0);
}

TEST(SoundOgg, DecodedWaveHasTheFixedHeaderAndEverySample) {
    const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(2, kRate, 0.5f, 300), 2, kRate);
    ASSERT_FALSE(ogg.empty());
    std::vector<u8> w;
    ASSERT_TRUE(DecodeOggToWave(ogg.data(), u32(ogg.size()), &w));
    ASSERT_GE(w.size(), kOggWaveHeaderSize);
    const u32 dataSize = u32(w.size() - kOggWaveHeaderSize);
    EXPECT_EQ(dataSize, kRate / 2 * 4);
    EXPECT_EQ(std::memcmp(w.data(), "RIFF", 4), 0);
    EXPECT_EQ(Le32(w, 4), 38 + dataSize);
    EXPECT_EQ(std::memcmp(w.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Le32(w, 16), 18u);
    EXPECT_EQ(Le16(w, 20), 1);
    EXPECT_EQ(Le16(w, 22), 2);
    EXPECT_EQ(Le32(w, 24), kRate);
    EXPECT_EQ(Le32(w, 28), kRate * 4);
    EXPECT_EQ(Le16(w, 32), 4);
    EXPECT_EQ(Le16(w, 34), 16);
    EXPECT_EQ(Le16(w, 36), 18);
    EXPECT_EQ(std::memcmp(w.data() + 38, "data", 4), 0);
    EXPECT_EQ(Le32(w, 42), dataSize);
    // The tone survives the trip (left channel, well inside the stream).
    const size_t mid = kOggWaveHeaderSize + dataSize / 2;
    int peak = 0;
    for (size_t i = mid; i < mid + 400; i += 4) peak = std::max(peak, std::abs(int(i16(Le16(w, i)))));
    EXPECT_GT(peak, 8000);
}

// Three or six channels do not divide the decoding block: once less than a
// frame of it is free it grows, and the whole stream comes through.
TEST(SoundOgg, StreamsOfThreeAndSixChannelsDecodeToTheirEnd) {
    for (u32 channels : {3u, 6u}) {
        const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(channels, kRate, 9.0f, 300), channels, kRate);
        std::vector<u8> out;
        plat::OggLayout layout;
        ASSERT_TRUE(plat::DecodeOggVorbis(ogg.data(), u32(ogg.size()), 0, kMaxDecodedOggBytes, &out, &layout));
        EXPECT_EQ(out.size(), size_t(kRate) * 9 * channels * 2) << channels;
        // Folded as the decoder helper does, they come whole in fewer.
        for (u32 most : {1u, 2u}) {
            ASSERT_TRUE(plat::DecodeOggVorbis(ogg.data(), u32(ogg.size()), 0, kMaxDecodedOggBytes, &out, &layout,
                                              nullptr, most));
            EXPECT_EQ(layout.channels, most);
            EXPECT_EQ(out.size(), size_t(kRate) * 9 * most * 2) << channels;
        }
    }
}

// Voices and music of three to eight channels, as our own data or a peer may
// have them, fold into stereo in the decoder: each plays, what is on the
// front left stays on the left, its samples take a stereo share of the
// budget, and no notice comes up.
TEST_F(SoundOnLoopback, StreamsOfThreeToEightChannelsPlayFoldedIntoStereoWithoutANotice) {
    plat::TakeNotices();
    plat::HoldBoxesAsNotices(true);
    auto budget = std::make_shared<DecodeBudget>(24u << 20);
    for (u32 channels = 3; channels <= 8; ++channels) {
        // A tone on the front left alone, the first channel in every order.
        const u32 frames = kRate;
        std::vector<i16> samples(size_t(frames) * channels, 0);
        for (u32 i = 0; i < frames; ++i)
            samples[size_t(i) * channels] = i16(16000 * std::sin(2 * 3.14159265358979 * 440 * i / kRate));
        const std::vector<u8> ogg = fixtures::Ogg(samples, channels, kRate);
        ASSERT_FALSE(ogg.empty()) << channels;
        SoundObject voice;
        VoiceRefusal told = VoiceRefusal::None;
        ASSERT_EQ(voice.LoadVoiceData(ogg.data(), u32(ogg.size()), 0, 0, budget,
                                      [&told](VoiceRefusal r) { told = r; }),
                  VoiceRefusal::None);
        ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
        EXPECT_TRUE(voice.TakeDecoded()) << channels;
        EXPECT_EQ(told, VoiceRefusal::None) << channels;
        EXPECT_EQ(voice.SampleBytes(), frames * 4u) << channels;
        ASSERT_NE(voice.Play(kVolumeSlotVoices, 0), nullptr) << channels;
        std::vector<i16> out(4410 * 2);
        ASSERT_TRUE(plat::AudioRenderLoopback(out.data(), 4410));
        ASSERT_TRUE(plat::AudioRenderLoopback(out.data(), 4410));
        f64 side[2] = {0, 0};
        for (u32 i = 4410 / 4; i < 4410; ++i)
            for (int c = 0; c < 2; ++c) side[c] += f64(out[i * 2 + c]) * out[i * 2 + c];
        EXPECT_GT(std::sqrt(side[0] / 4410), 500) << channels;
        EXPECT_GT(side[0], 20 * side[1]) << channels;
        voice.Free();

        SoundObject music;
        EXPECT_EQ(music.LoadOggData(ogg.data(), u32(ogg.size()), 0, 0, plat::WaitForever), 1) << channels;
        EXPECT_NE(music.Play(kVolumeSlotMusic, 0), nullptr) << channels;
    }
    plat::HoldBoxesAsNotices(false);
    EXPECT_EQ(plat::TakeNotices(), std::vector<std::string>{});
    EXPECT_EQ(budget->Held(), 0u);
}

// Streams whose setup headers break the decoding library: an ordered
// codebook whose decode table overruns a thread's stack, codebooks of
// millions of entries that take gigabytes, and several such links chained.
// As music they do not load, as voices they are refused and told; the game
// goes on with its memory where it was, and sound voices still decode.
TEST_F(SoundOnLoopback, StreamsThatBreakTheDecodingLibraryAreRefusedAndTheGameGoesOn) {
    std::vector<u8> chain;
    for (int link = 0; link < 3; ++link) {
        const std::vector<u8> l = fixtures::HugeCodebookOgg(8388607, 200, 896, 1, 44100, 0x60 + link);
        chain.insert(chain.end(), l.begin(), l.end());
    }
    const struct {
        const char* name;
        std::vector<u8> ogg;
    } cases[] = {
        {"one codebook of 2,097,151 entries", fixtures::HugeCodebookOgg(2097151)},
        {"200 codebooks of 8,388,607 entries", fixtures::HugeCodebookOgg(8388607, 200)},
        {"three such links", chain},
    };
    EXPECT_LT(cases[0].ogg.size(), 256u);
    auto budget = std::make_shared<DecodeBudget>(24u << 20);
    const u64 before = fixtures::ResidentBytes();
    for (const auto& c : cases) {
        std::vector<u8> w;
        EXPECT_FALSE(DecodeOggToWave(c.ogg.data(), u32(c.ogg.size()), &w)) << c.name;
        SoundObject voice;
        VoiceRefusal told = VoiceRefusal::None;
        EXPECT_EQ(voice.LoadVoiceData(c.ogg.data(), u32(c.ogg.size()), 0, 0, budget,
                                      [&told](VoiceRefusal r) { told = r; }),
                  VoiceRefusal::None)
            << c.name;
        ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
        EXPECT_FALSE(voice.TakeDecoded()) << c.name;
        EXPECT_NE(told, VoiceRefusal::None) << c.name;
        EXPECT_TRUE(voice.IsEmpty()) << c.name;
    }
    EXPECT_LT(fixtures::ResidentBytes(), before + (64u << 20));
    EXPECT_EQ(budget->left.load(), budget->total);

    const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(1, kRate, 0.5f, 440), 1, kRate);
    SoundObject voice;
    ASSERT_EQ(voice.LoadVoiceData(ogg.data(), u32(ogg.size()), 0, 0, budget), VoiceRefusal::None);
    ASSERT_TRUE(fixtures::WaitForVoiceDecodes());
    EXPECT_TRUE(voice.TakeDecoded());
    EXPECT_EQ(budget->Held(), kRate / 2 * 2u);
    voice.Free();
    EXPECT_EQ(budget->Held(), 0u);
}

TEST(SoundOgg, CorruptPageInTheMiddleKeepsWhatCameBefore) {
    std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(1, kRate, 10.0f, 300), 1, kRate);
    const std::vector<size_t> pages = fixtures::OggPages(ogg);
    ASSERT_GE(pages.size(), 5u);  // two header pages, then audio
    std::vector<u8> whole;
    ASSERT_TRUE(DecodeOggToWave(ogg.data(), u32(ogg.size()), &whole));
    const size_t page = pages[pages.size() - 2];
    for (size_t i = page + 40; i < page + 80; ++i) ogg[i] ^= 0x5A;
    std::vector<u8> part;
    ASSERT_TRUE(DecodeOggToWave(ogg.data(), u32(ogg.size()), &part));
    EXPECT_GT(part.size(), kOggWaveHeaderSize + 1000);
    EXPECT_LT(part.size(), whole.size());
    EXPECT_EQ(Le32(part, 42), part.size() - kOggWaveHeaderSize);
}

TEST(SoundOgg, LengthTheStreamClaimsNeverDrivesTheAllocation) {
    // Long enough that the last page's granule position alone sets the length.
    const std::vector<u8> clean = fixtures::Ogg(fixtures::Tone(1, kRate, 10.0f, 300), 1, kRate);
    const std::vector<size_t> pages = fixtures::OggPages(clean);
    ASSERT_GE(pages.size(), 4u);
    for (i64 claim : {i64(1) << 62, i64(0x7FFFFFFFFFFFFFFF), i64(-1), i64(-5), i64(0)}) {
        std::vector<u8> ogg = clean;
        fixtures::SetGranule(ogg, pages.back(), claim);
        std::vector<u8> w;
        ASSERT_TRUE(DecodeOggToWave(ogg.data(), u32(ogg.size()), &w)) << claim;
        EXPECT_LE(w.capacity(), size_t(2) << 20) << claim;
        EXPECT_GE(w.size(), kOggWaveHeaderSize + 9 * kRate * 2) << claim;
        EXPECT_EQ(Le32(w, 42), w.size() - kOggWaveHeaderSize) << claim;
        EXPECT_EQ(w.size() % 2, 0u);
    }
}

TEST(SoundOgg, NotAnOggStreamIsRefused) {
    std::vector<u8> w;
    const u8 junk[64] = {'O', 'g', 'g', 'S'};
    EXPECT_FALSE(DecodeOggToWave(junk, sizeof junk, &w));
    EXPECT_FALSE(DecodeOggToWave(nullptr, 10, &w));
    const std::vector<u8> wave = fixtures::Wave(fixtures::Tone(1, kRate, 0.1f, 440), 1, kRate);
    EXPECT_FALSE(DecodeOggToWave(wave.data(), u32(wave.size()), &w));
}

TEST(SoundWave, PcmWaveGivesItsFormatAndSamples) {
    const std::vector<u8> b = fixtures::Wave(fixtures::Tone(2, kRate, 0.1f, 440), 2, kRate);
    WaveData w;
    ASSERT_TRUE(ParseWave(b.data(), u32(b.size()), &w));
    EXPECT_EQ(w.format.formatTag, 1);
    EXPECT_EQ(w.format.channels, 2);
    EXPECT_EQ(w.format.samplesPerSec, kRate);
    EXPECT_EQ(w.format.blockAlign, 4);
    EXPECT_EQ(w.format.bitsPerSample, 16);
    EXPECT_TRUE(w.extra.empty());
    EXPECT_EQ(w.samples, b.data() + 44);
    EXPECT_EQ(w.size, b.size() - 44);
}

TEST(SoundWave, ExtraFormatBytesAreReadOnlyInsideTheirChunk) {
    WaveData w;
    std::vector<u8> b = WaveWithExtra(2, 20, 2);
    ASSERT_TRUE(ParseWave(b.data(), u32(b.size()), &w));
    EXPECT_EQ(w.format.formatTag, 2);
    EXPECT_EQ(w.extra, (std::vector<u8>{0xE0, 0xE1}));
    EXPECT_EQ(w.size, 4u);
    // Extra size beyond the chunk, or beyond the file: refused, nothing copied.
    b = WaveWithExtra(60000, 20, 2);
    EXPECT_FALSE(ParseWave(b.data(), u32(b.size()), &w));
    b = WaveWithExtra(3, 21, 3);
    b.resize(12 + 8 + 19);
    EXPECT_FALSE(ParseWave(b.data(), u32(b.size()), &w));
    // Non-PCM without room for its extra-size field.
    b = WaveWithExtra(0, 16, 0);
    b.erase(b.begin() + 36, b.begin() + 38);
    EXPECT_FALSE(ParseWave(b.data(), u32(b.size()), &w));
}

TEST(SoundWave, MalformedFilesAreRefusedAndShortDataIsCut) {
    const std::vector<u8> good = fixtures::Wave(fixtures::Tone(1, kRate, 0.1f, 440), 1, kRate);
    WaveData w;
    std::vector<u8> b = good;
    std::memcpy(b.data() + 8, "AVI ", 4);
    EXPECT_FALSE(ParseWave(b.data(), u32(b.size()), &w));
    b = good;
    b[16] = 12;  // "fmt " shorter than 16 bytes
    EXPECT_FALSE(ParseWave(b.data(), u32(b.size()), &w));
    // "data" before "fmt " is not found behind it.
    b.clear();
    fixtures::PutTag(b, "RIFF");
    fixtures::Put32(b, 4 + 12 + 24);
    fixtures::PutTag(b, "WAVE");
    fixtures::PutTag(b, "data");
    fixtures::Put32(b, 4);
    fixtures::Put32(b, 0);
    b.insert(b.end(), good.begin() + 12, good.begin() + 36);
    EXPECT_FALSE(ParseWave(b.data(), u32(b.size()), &w));
    EXPECT_FALSE(ParseWave(good.data(), 11, &w));
    // A data chunk that claims more than the file holds is cut to the file.
    b = good;
    b[40] = 0xFF;
    b[41] = 0xFF;
    b[42] = 0xFF;
    b[43] = 0x7F;
    ASSERT_TRUE(ParseWave(b.data(), u32(b.size()), &w));
    EXPECT_EQ(w.size, b.size() - 44);
    // Odd chunks are padded: a one-byte chunk before "data" is stepped over.
    b.assign(good.begin(), good.begin() + 36);
    fixtures::PutTag(b, "junk");
    fixtures::Put32(b, 1);
    b.push_back(7);
    b.push_back(0);
    b.insert(b.end(), good.begin() + 36, good.end());
    const u32 riff = u32(b.size() - 8);
    std::memcpy(b.data() + 4, &riff, 4);
    ASSERT_TRUE(ParseWave(b.data(), u32(b.size()), &w));
    EXPECT_EQ(w.size, good.size() - 44);
}

TEST(SoundSilent, WithoutADeviceLoadsFailAndPlaysGiveNull) {
    plat::AudioSetTarget(plat::AudioTarget::None);
    SoundManager& sm = GetSoundManager();
    EXPECT_EQ(sm.Init(nullptr), 0);
    EXPECT_FALSE(sm.IsOpen());
    EXPECT_FALSE(sm.HasListener());
    sm.CreateSounds(4);
    EXPECT_EQ(sm.GetSoundCount(), 4);
    const std::vector<u8> wave = fixtures::Wave(fixtures::Tone(1, kRate, 0.1f, 440), 1, kRate);
    const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(1, kRate, 0.2f, 440), 1, kRate);
    EXPECT_EQ(sm.GetSound(0)->LoadWaveData(wave.data(), u32(wave.size()), 0, 3), 0);
    EXPECT_EQ(sm.GetSound(1)->LoadOggData(ogg.data(), u32(ogg.size()), 0, 0), 0);
    EXPECT_EQ(sm.LoadWaveSlot("no-such.wav", 0, 2, 0), 0);
    EXPECT_EQ(sm.PlaySlot(0, 0, 0), nullptr);
    EXPECT_EQ(sm.GetSound(1)->Play3D(1, 2, 3, 0, 0), nullptr);
    sm.SetVolume(0, 50);
    EXPECT_EQ(sm.GetVolume(0), 0);
    sm.SetSlotDistances(0, 1, 10);
    sm.SetListener(Vec3{}, Vec3{}, Vec3{0, 0, 1}, Vec3{0, 1, 0});
    sm.CommitDeferredSettings();
    sm.Release();
    plat::AudioSetTarget(plat::AudioTarget::Default);
}

TEST_F(SoundOnLoopback, VoicesArePlayedInTurnAndTheFifthRestartsTheFirst) {
    SoundObject s;
    ASSERT_EQ(s.LoadWaveData(wave.data(), u32(wave.size()), 0, 3), 1);
    ASSERT_EQ(s.VoiceCount(), 4);
    CDSBufferNode* played[5];
    for (int i = 0; i < 5; ++i) {
        played[i] = s.Play(0, 0);
        ASSERT_NE(played[i], nullptr);
    }
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) EXPECT_NE(played[i], played[j]);
    EXPECT_EQ(played[4], played[0]);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(played[i]->IsPlaying());
    s.Stop();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(played[i]->IsPlaying());
}

// Far more voices than sources, played in a random storm: each request either
// sounds (its own source again, a free one, or the least important one's) or
// is refused because every sounding instance matters more; never a failure.
TEST_F(SoundOnLoopback, MoreInstancesThanSourcesPlayOrYieldToMoreImportantOnes) {
    SoundManager& sm = GetSoundManager();
    sm.LimitSources(4);
    ASSERT_EQ(sm.GetSourceBudget(), 4);
    sm.SetVolume(1, 40);
    sm.SetVolume(2, 10);
    ::testing::internal::CaptureStderr();
    constexpr int kSounds = 6;
    sm.CreateSounds(kSounds);
    for (int i = 0; i < kSounds; ++i)
        ASSERT_EQ(sm.GetSound(i)->LoadWaveData(wave.data(), u32(wave.size()), i % 2, 3), 1);

    struct Instance {
        CDSBufferNode* node;
        bool loop;
        i32 volume;
        int order;
    };
    const auto matters = [](const Instance& a, const Instance& b) {  // a matters more than b
        if (a.loop != b.loop) return a.loop;
        if (a.volume != b.volume) return a.volume > b.volume;
        return a.order > b.order;
    };
    std::vector<Instance> sounding;
    u32 seed = 12345;
    int refused = 0, displaced = 0;
    for (int n = 0; n < 400; ++n) {
        seed = seed * 1103515245u + 12345u;
        const int index = int(seed >> 8) % kSounds, slot = int(seed >> 16) % 3;
        const bool loop = (seed >> 24) % 4 == 0;
        SoundObject* s = sm.GetSound(index);
        const Instance asked{s->cursor, loop, VolumePercentToHundredthsDb(sm.GetVolume(slot)), n};
        CDSBufferNode* got = n % 3 == 0 ? s->Play3D(1, 0, 1, slot, loop) : s->Play(slot, loop);

        auto own = std::find_if(sounding.begin(), sounding.end(), [&](const Instance& i) { return i.node == asked.node; });
        if (own != sounding.end()) {
            *own = asked;  // a voice still sounding restarts on its own source
        } else if (sounding.size() < 4) {
            sounding.push_back(asked);
        } else {
            auto least = std::min_element(sounding.begin(), sounding.end(),
                                          [&](const Instance& a, const Instance& b) { return matters(b, a); });
            if (matters(asked, *least)) {
                *least = asked;
                ++displaced;
            } else {
                ASSERT_EQ(got, nullptr) << "request " << n;
                EXPECT_EQ(s->cursor, asked.node) << "a refused play keeps its turn";
                ++refused;
                continue;
            }
        }
        ASSERT_EQ(got, asked.node) << "request " << n;
        for (int i = 0; i < kSounds; ++i)
            for (CDSBufferNode* v = sm.GetSound(i)->voices.GetHead()->next; v->priority != kListTailPriority; v = v->next) {
                const bool expected = std::any_of(sounding.begin(), sounding.end(),
                                                  [&](const Instance& x) { return x.node == v; });
                ASSERT_EQ(v->IsPlaying(), expected) << "request " << n;
            }
    }
    EXPECT_GT(refused, 10);
    EXPECT_GT(displaced, 10);
    EXPECT_GT(Loudness(), 100);
    // Sounds that end give their sources back, even to the quietest request.
    for (int i = 0; i < kSounds; ++i) sm.GetSound(i)->Stop();
    for (int i = 0; i < 4; ++i) EXPECT_NE(sm.PlaySlot(i, 2, 0), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(SoundOnLoopback, PlayAtWaitsWhileItsNextVoiceStillSounds) {
    SoundObject s;
    ASSERT_EQ(s.LoadWaveData(wave.data(), u32(wave.size()), 1, 1), 1);
    CDSBufferNode* a = s.PlayAt(0, 0, 1, 0, 0);
    CDSBufferNode* b = s.PlayAt(0, 0, 1, 0, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(s.PlayAt(0, 0, 1, 0, 0), nullptr);
    EXPECT_EQ(s.cursor, a);
    a->Stop();
    EXPECT_EQ(s.PlayAt(0, 0, 1, 0, 0), a);
}

TEST_F(SoundOnLoopback, UnfilledAndOutOfRangeSlotsPlaySilently) {
    SoundManager& sm = GetSoundManager();
    sm.CreateSounds(2);
    ASSERT_EQ(sm.GetSound(0)->LoadWaveData(wave.data(), u32(wave.size()), 0, 0), 1);
    ASSERT_NE(sm.PlaySlot(0, 0, 1), nullptr);
    EXPECT_GT(Loudness(), 500);
    ASSERT_NE(sm.PlaySlot(0, 5, 1), nullptr);
    EXPECT_LT(Loudness(), 1);
    ASSERT_NE(sm.PlaySlot(0, 12, 1), nullptr);
    EXPECT_LT(Loudness(), 1);
    EXPECT_EQ(sm.PlaySlot(2, 0, 1), nullptr);
    EXPECT_EQ(sm.PlaySlot(-1, 0, 1), nullptr);
    EXPECT_EQ(sm.LoadWaveSlot("x.wav", 0, 2, 0), 0);
}

TEST_F(SoundOnLoopback, ChangingASlotVolumeReachesOnlyVoicesPlayedWithIt) {
    SoundManager& sm = GetSoundManager();
    sm.CreateSounds(2);
    ASSERT_EQ(sm.GetSound(0)->LoadWaveData(wave.data(), u32(wave.size()), 0, 0), 1);
    ASSERT_EQ(sm.GetSound(1)->LoadWaveData(wave.data(), u32(wave.size()), 0, 0), 1);
    ASSERT_NE(sm.PlaySlot(0, 0, 1), nullptr);
    const f64 one = Loudness();
    ASSERT_NE(sm.PlaySlot(1, 2, 1), nullptr);
    ASSERT_GT(Loudness(), one * 1.5);
    sm.SetVolume(0, 0);
    EXPECT_NEAR(Loudness(), one, one * 0.1);
    sm.SetVolume(2, 0);
    EXPECT_LT(Loudness(), 1);
    EXPECT_EQ(sm.GetVolume(2), 0);
}

TEST_F(SoundOnLoopback, ThreeDimensionalSoundIsPlacedWhenTheListenerCommits) {
    SoundManager& sm = GetSoundManager();
    sm.CreateSounds(1);
    ASSERT_EQ(sm.GetSound(0)->LoadWaveData(wave.data(), u32(wave.size()), 1, 0), 1);
    sm.SetSlotDistances(0, 1, 100);
    sm.SetListener(Vec3{10, 0, 0}, Vec3{}, Vec3{0, 0, 1}, Vec3{0, 1, 0});
    ASSERT_NE(sm.GetSound(0)->Play3D(14, 0, 0, 0, 1), nullptr);
    sm.CommitDeferredSettings();
    const f64 left = Side(false);
    const f64 right = Side(true);
    EXPECT_GT(right, 2 * left);
}

TEST_F(SoundOnLoopback, OggSoundLoadsAndPlays) {
    const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(1, kRate, 0.5f, 440), 1, kRate);
    SoundObject s;
    ASSERT_EQ(s.LoadOggData(ogg.data(), u32(ogg.size()), 0, 0, plat::WaitForever), 1);
    EXPECT_EQ(s.VoiceCount(), 1);
    ASSERT_NE(s.Play(1, 0), nullptr);
    EXPECT_GT(Loudness(), 500);
    s.Free();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.Play(1, 0), nullptr);
    EXPECT_EQ(plat::AudioVoiceCount(), 0u);
}

// A scene's music from a helper that spins with children of its own, then
// from one that answers only after the scene's wait: the scene waits a few
// seconds at most and its frames go on; the spinner and its children end
// with the scene, and the late music plays once it comes.
TEST_F(SoundOnLoopback, MusicHoldsASceneAFewSecondsAtMostAndPlaysOnceItComes) {
    TempFolder folder;
    const std::string real = plat::HelperProgramPath(plat::kDecodeHelperName);
    ASSERT_FALSE(real.empty());
    const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(1, kRate, 1.0f, 440), 1, kRate);
    SoundManager& sm = GetSoundManager();
    const struct {
        const char* name;
        std::string body;
    } cases[] = {
        {"spins", "while :; do :; done &\nnote $!\nwhile :; do :; done &\nnote $!\nwhile :; do :; done"},
        {"late", "sleep " + std::to_string(kMusicWaitMs / 1000 + 2) + "\nexec '" + real + "'"},
    };
    for (const auto& c : cases) {
        plat::UseDecodeHelper(fixtures::HostileHelper(folder, c.name, c.body));
        sm.CreateSounds(1);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(sm.GetSound(0)->LoadOggData(ogg.data(), u32(ogg.size()), 0, 0), 1) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kMusicWaitMs + 5000)) << c.name;
        EXPECT_TRUE(sm.GetSound(0)->Decoding()) << c.name;
        EXPECT_EQ(sm.PlaySlot(0, kVolumeSlotMusic, 1), nullptr) << c.name;
        u32 frames = 0;
        if (std::string(c.name) == "spins") {
            for (; frames < 30; ++frames) {
                sm.TakeDecoded();
                EXPECT_LT(Loudness(441), 50) << frames;
            }
            sm.FreeSounds();  // the scene ends before its music came
            continue;
        }
        for (; frames < 24000 && sm.GetSound(0)->Decoding(); ++frames) {
            sm.TakeDecoded();
            plat::Sleep(5);
        }
        EXPECT_GT(frames, 0u);
        EXPECT_FALSE(sm.GetSound(0)->Decoding());
        EXPECT_GT(Loudness(), 500) << "the late music plays";
        sm.FreeSounds();
    }
    plat::UseDecodeHelper({});
    u32 noted = 0;
    EXPECT_EQ(fixtures::LeftAlive(folder, &noted), 0u);
    EXPECT_EQ(noted, 4u);
}

// Jobs of three owners queued behind a running one: the owners are served
// in turn, so the first owner's many jobs hold the others back one at most.
TEST(VoiceDecoderLanes, OwnersAreServedInTurn) {
    struct Job : DecodeJob {
        void Run() override {
            started.Set();
            if (gate != nullptr) gate->Wait(60000);
            std::lock_guard<std::mutex> hold(*lock);
            order->push_back(name);
        }
        std::string name;
        plat::SyncEvent* gate = nullptr;
        plat::SyncEvent started{true};
        std::mutex* lock = nullptr;
        std::vector<std::string>* order = nullptr;
    };
    std::mutex lock;
    std::vector<std::string> order;
    plat::SyncEvent gate(true);
    const int a = 0, b = 0, c = 0;
    std::vector<std::shared_ptr<Job>> jobs;
    auto queue = [&](const char* name, const void* lane) {
        auto job = std::make_shared<Job>();
        job->name = name;
        job->lane = lane;
        job->lock = &lock;
        job->order = &order;
        jobs.push_back(job);
        return job;
    };
    VoiceDecoder decoder;
    auto first = queue("a0", &a);
    first->gate = &gate;
    ASSERT_TRUE(decoder.Queue(first));
    ASSERT_EQ(first->started.Wait(60000), plat::WaitResult::Signalled);
    for (const char* name : {"a1", "a2", "a3", "a4"}) ASSERT_TRUE(decoder.Queue(queue(name, &a)));
    for (const char* name : {"b1", "b2"}) ASSERT_TRUE(decoder.Queue(queue(name, &b)));
    ASSERT_TRUE(decoder.Queue(queue("c1", &c)));
    gate.Set();
    for (const auto& job : jobs) EXPECT_TRUE(job->WaitDone(60000)) << job->name;
    const std::vector<std::string> expected = {"a0", "a1", "b1", "c1", "a2", "b2", "a3", "a4"};
    EXPECT_EQ(order, expected);
}

TEST_F(SoundOnLoopback, HostileWaveAndOggFilesNeverBreakLoading) {
    // Bounded mutation loops over valid files; run under the address
    // sanitizer they catch any read or write out of bounds.
    const std::vector<u8> ogg = fixtures::Ogg(fixtures::Tone(2, kRate, 0.3f, 500), 2, kRate);
    const std::vector<u8> extra = WaveWithExtra(6, 24, 6);
    Lcg rng{12345};
    int loaded = 0;
    for (int i = 0; i < 1500; ++i) {
        const std::vector<u8> b = Mutate((i & 1) ? wave : extra, rng);
        WaveData w;
        if (ParseWave(b.data(), u32(b.size()), &w)) {
            ASSERT_LE(w.samples + w.size, b.data() + b.size());
            ASSERT_GE(w.samples, b.data());
        }
        SoundObject s;
        loaded += s.LoadWaveData(b.data(), u32(b.size()), i & 2, 1);
        s.Play(0, 0);
    }
    EXPECT_GT(loaded, 0);
    for (int i = 0; i < 250; ++i) {
        const std::vector<u8> b = Mutate(ogg, rng);
        std::vector<u8> w;
        if (DecodeOggToWave(b.data(), u32(b.size()), &w)) {
            ASSERT_GE(w.size(), kOggWaveHeaderSize);
            ASSERT_EQ(Le32(w, 42), w.size() - kOggWaveHeaderSize);
            ASSERT_LE(w.capacity(), size_t(4) << 20);
        }
        SoundObject s;
        s.LoadOggData(b.data(), u32(b.size()), 0, 0);
    }
    // Setup headers with codebooks of any size and count, and pictures,
    // mutated, through the decoder: what comes back keeps to its caps.
    std::vector<u32> argb(48 * 32);
    for (size_t i = 0; i < argb.size(); ++i) argb[i] = 0xFF000000u | u32(i * 2654435761u >> 8);
    std::vector<u8> png;
    ASSERT_TRUE(plat::EncodePng(argb.data(), 48, 32, true, &png));
    int pictures = 0;
    for (int i = 0; i < 120; ++i) {
        const u32 entries = 1 + rng.Next() % 0xFFFFFF, books = 1 + rng.Next() % 256;
        std::vector<u8> b = fixtures::HugeCodebookOgg(entries, books, i64(rng.Next() % 2000000));
        if (i % 3 != 0) b = Mutate(b, rng);
        std::vector<u8> w;
        if (DecodeOggToWave(b.data(), u32(b.size()), &w, 1u << 20)) {
            ASSERT_LE(w.size(), kOggWaveHeaderSize + (1u << 20));
            ASSERT_EQ(Le32(w, 42), w.size() - kOggWaveHeaderSize);
        }
        const std::vector<u8> p = i % 4 == 0 ? png : Mutate(png, rng);
        std::vector<u8> pixels;
        u32 width = 0, height = 0;
        size_t offset = 0;
        if (plat::DecodePngInHelper(p.data(), u32(p.size()), 64, 64 * 64 * 4, &width, &height, &pixels, &offset) ==
            plat::DecodeStatus::Ok) {
            ASSERT_TRUE(width <= 64 && height <= 64);
            ASSERT_EQ(pixels.size() - offset, size_t(width) * height * 4);
            ++pictures;
        }
    }
    EXPECT_GE(pictures, 30);
    EXPECT_EQ(plat::AudioVoiceCount(), 0u);
}

// A game that ends without releasing sound leaves the manager's voices to the
// exit-time destructors, which run after the output's own statics would have.
TEST(SoundExit, VoicesLeftOpenAtExitAreReleasedSafely) {
    EXPECT_EXIT(
        {
            SoundManager& sm = GetSoundManager();
            plat::AudioSetTarget(plat::AudioTarget::Loopback, kRate);
            if (sm.Init(nullptr) != 1) std::exit(3);
            sm.CreateSounds(1);
            const std::vector<u8> wave = fixtures::Wave(fixtures::Tone(1, kRate, 0.1f, 440), 1, kRate);
            if (sm.GetSound(0)->LoadWaveData(wave.data(), u32(wave.size()), 0, 1) != 1) std::exit(4);
            sm.PlaySlot(0, 0, 0);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
