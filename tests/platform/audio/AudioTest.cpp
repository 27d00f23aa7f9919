#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/audio/Audio.h"

namespace {

constexpr u32 kRate = 48000;

// A mono 16-bit tone long enough to still sound after the renders below.
std::vector<i16> MonoTone(u32 frames = kRate) {
    std::vector<i16> s(frames);
    for (u32 i = 0; i < frames; ++i) s[i] = i16(std::lround(std::sin(i * 2 * 3.14159265 * 500 / kRate) * 16000));
    return s;
}

plat::AudioFormat Mono16() {
    plat::AudioFormat f;
    f.channels = 1;
    f.samplesPerSec = kRate;
    f.avgBytesPerSec = kRate * 2;
    f.blockAlign = 2;
    f.bitsPerSample = 16;
    return f;
}

struct Loudness {
    f64 left = 0, right = 0;
};

// Renders some audio and measures each channel. The mixer glides to new
// gains and places, so a first stretch is rendered and thrown away.
Loudness Listen(u32 frames = 4800) {
    std::vector<i16> out(size_t(frames) * 2);
    EXPECT_TRUE(plat::AudioRenderLoopback(out.data(), frames));
    EXPECT_TRUE(plat::AudioRenderLoopback(out.data(), frames));
    Loudness l;
    for (u32 i = frames / 4; i < frames; ++i) {
        l.left += f64(out[i * 2]) * out[i * 2];
        l.right += f64(out[i * 2 + 1]) * out[i * 2 + 1];
    }
    l.left = std::sqrt(l.left / frames);
    l.right = std::sqrt(l.right / frames);
    return l;
}

class AudioLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        plat::AudioSetTarget(plat::AudioTarget::Loopback, kRate);
        ASSERT_EQ(plat::AudioOpen(), plat::AudioOpened);
        samples = MonoTone();
        buffer = plat::AudioCreateBuffer(Mono16(), samples.data(), u32(samples.size() * 2));
        ASSERT_NE(buffer, 0u);
    }
    void TearDown() override {
        plat::AudioClose();
        plat::AudioSetTarget(plat::AudioTarget::Default);
    }

    // A voice of b that holds a source of its own, so it sounds when played.
    static plat::AudioVoice Sounding(plat::AudioBuffer b, bool positional) {
        const plat::AudioVoice v = plat::AudioCreateVoice(b, positional);
        plat::AudioVoiceUseSource(v, plat::AudioCreateSource());
        return v;
    }

    std::vector<i16> samples;
    plat::AudioBuffer buffer = 0;
};

}  // namespace

TEST(Audio, WithoutADeviceNothingOpensAndNothingIsMade) {
    plat::AudioSetTarget(plat::AudioTarget::None);
    EXPECT_EQ(plat::AudioOpen(), plat::AudioNoDevice);
    EXPECT_FALSE(plat::AudioIsOpen());
    const std::vector<i16> s = MonoTone(100);
    EXPECT_EQ(plat::AudioCreateBuffer(Mono16(), s.data(), 200), 0u);
    plat::AudioVoicePlay(1, false);
    EXPECT_FALSE(plat::AudioVoiceIsPlaying(1));
    i16 frame[2];
    EXPECT_FALSE(plat::AudioRenderLoopback(frame, 1));
    plat::AudioSetTarget(plat::AudioTarget::Default);
}

TEST_F(AudioLoopback, SourceOnTheRightIsLouderInTheRightChannel) {
    const plat::AudioVoice v = Sounding(buffer, true);
    ASSERT_NE(v, 0u);
    plat::AudioVoiceSetPosition(v, Vec3{4, 0, 0});
    plat::AudioCommitDeferred();
    plat::AudioVoicePlay(v, true);
    Loudness l = Listen();
    EXPECT_GT(l.right, 2 * l.left);

    plat::AudioVoiceSetPosition(v, Vec3{-4, 0, 0});
    plat::AudioCommitDeferred();
    l = Listen();
    EXPECT_GT(l.left, 2 * l.right);
}

TEST_F(AudioLoopback, ListenerTurnedRightHearsWhatIsAheadOnItsLeft) {
    // Facing +x with y up, the game's forward (+z) lies to the left.
    const plat::AudioVoice v = Sounding(buffer, true);
    plat::AudioListenerSet(Vec3{}, Vec3{}, Vec3{1, 0, 0}, Vec3{0, 1, 0});
    plat::AudioVoiceSetPosition(v, Vec3{0, 0, 4});
    plat::AudioCommitDeferred();
    plat::AudioVoicePlay(v, true);
    const Loudness l = Listen();
    EXPECT_GT(l.left, 2 * l.right);
}

TEST_F(AudioLoopback, PlacesTakeEffectOnlyAtTheCommit) {
    const plat::AudioVoice v = Sounding(buffer, true);
    plat::AudioVoiceSetPosition(v, Vec3{4, 0, 0});
    plat::AudioCommitDeferred();
    plat::AudioVoiceSetPosition(v, Vec3{-4, 0, 0});
    plat::AudioVoicePlay(v, true);
    Loudness l = Listen();
    EXPECT_GT(l.right, 2 * l.left);
    plat::AudioCommitDeferred();
    l = Listen();
    EXPECT_GT(l.left, 2 * l.right);
}

TEST_F(AudioLoopback, LargerMinimumDistanceKeepsAFarSourceLouder) {
    const plat::AudioVoice v = Sounding(buffer, true);
    plat::AudioVoiceSetPosition(v, Vec3{0, 0, 20});
    plat::AudioCommitDeferred();
    plat::AudioVoicePlay(v, true);
    const Loudness nearDefault = Listen();
    plat::AudioVoiceSetDistances(v, 20, 100);
    plat::AudioCommitDeferred();
    const Loudness wide = Listen();
    EXPECT_GT(wide.left + wide.right, 5 * (nearDefault.left + nearDefault.right));
}

TEST_F(AudioLoopback, VolumeFollowsHundredthsOfADecibel) {
    const plat::AudioVoice v = Sounding(buffer, false);
    plat::AudioVoicePlay(v, true);
    plat::AudioVoiceSetVolume(v, 0);
    const Loudness full = Listen();
    ASSERT_GT(full.left, 100);
    EXPECT_NEAR(full.left, full.right, full.left * 0.05);  // a plain voice sits in the middle
    plat::AudioVoiceSetVolume(v, -600);                    // -6 dB: half the amplitude
    const Loudness half = Listen();
    EXPECT_NEAR(half.left / full.left, 0.501, 0.03);
    plat::AudioVoiceSetVolume(v, -10000);
    const Loudness none = Listen();
    EXPECT_LT(none.left + none.right, 1.0);
}

TEST_F(AudioLoopback, VoiceStopsAtItsEndUnlessLooping) {
    const std::vector<i16> shortTone = MonoTone(480);  // 10 ms
    const plat::AudioBuffer b = plat::AudioCreateBuffer(Mono16(), shortTone.data(), 960);
    const plat::AudioVoice once = Sounding(b, false);
    const plat::AudioVoice looping = Sounding(b, false);
    plat::AudioVoicePlay(once, false);
    plat::AudioVoicePlay(looping, true);
    EXPECT_TRUE(plat::AudioVoiceIsPlaying(once));
    Listen(4800);
    EXPECT_FALSE(plat::AudioVoiceIsPlaying(once));
    EXPECT_TRUE(plat::AudioVoiceIsPlaying(looping));
    plat::AudioVoiceStop(looping);
    EXPECT_FALSE(plat::AudioVoiceIsPlaying(looping));
}

TEST_F(AudioLoopback, SamplesLiveUntilTheLastVoiceIsGone) {
    const u32 before = plat::AudioBufferCount();
    const plat::AudioVoice a = plat::AudioCreateVoice(buffer, false);
    const plat::AudioVoice b = Sounding(buffer, false);
    plat::AudioReleaseBuffer(buffer);
    plat::AudioReleaseBuffer(buffer);  // a second release changes nothing
    EXPECT_EQ(plat::AudioBufferCount(), before);
    plat::AudioDestroyVoice(a);
    EXPECT_EQ(plat::AudioBufferCount(), before);
    plat::AudioVoicePlay(b, true);
    EXPECT_GT(Listen().left, 100);
    plat::AudioDestroyVoice(b);
    EXPECT_EQ(plat::AudioBufferCount(), before - 1);
    EXPECT_EQ(plat::AudioCreateVoice(buffer, false), 0u);
}

TEST_F(AudioLoopback, LayoutsThatCannotBePlayedAreRefused) {
    const std::vector<i16> s = MonoTone(64);
    plat::AudioFormat f = Mono16();
    f.formatTag = 2;
    EXPECT_EQ(plat::AudioCreateBuffer(f, s.data(), 128), 0u);
    f = Mono16();
    f.channels = 3;
    f.blockAlign = 6;
    EXPECT_EQ(plat::AudioCreateBuffer(f, s.data(), 126), 0u);
    f = Mono16();
    f.bitsPerSample = 24;
    f.blockAlign = 3;
    EXPECT_EQ(plat::AudioCreateBuffer(f, s.data(), 126), 0u);
    f = Mono16();
    f.blockAlign = 4;  // does not match one 16-bit mono frame
    EXPECT_EQ(plat::AudioCreateBuffer(f, s.data(), 128), 0u);
    f = Mono16();
    f.samplesPerSec = 0;
    EXPECT_EQ(plat::AudioCreateBuffer(f, s.data(), 128), 0u);
    EXPECT_EQ(plat::AudioCreateBuffer(Mono16(), s.data(), 1), 0u);  // not one whole frame
    EXPECT_NE(plat::AudioCreateBuffer(Mono16(), s.data(), 127), 0u);  // the odd byte is dropped
}

TEST_F(AudioLoopback, HandlesFromBeforeACloseFindNothingAfterwards) {
    const plat::AudioVoice old = plat::AudioCreateVoice(buffer, false);
    plat::AudioClose();
    ASSERT_EQ(plat::AudioOpen(), plat::AudioOpened);
    const plat::AudioBuffer fresh = plat::AudioCreateBuffer(Mono16(), samples.data(), 2000);
    const plat::AudioVoice now = plat::AudioCreateVoice(fresh, false);
    ASSERT_NE(now, 0u);
    EXPECT_NE(now, old);
    plat::AudioVoicePlay(old, true);
    EXPECT_FALSE(plat::AudioVoiceIsPlaying(old));
    EXPECT_FALSE(plat::AudioVoiceIsPlaying(now));
}
