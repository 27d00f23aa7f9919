#pragma once
// Sound output: sample buffers, voices that play them (plainly or placed in
// 3D), and the listener. Everything runs on the main thread.
//
// Positions, velocities and directions are in the game's left-handed frame
// (x right, y up, z forward); they are mirrored for the output here.
// Positions, distances and the listener are deferred: they take effect
// together at the next AudioCommitDeferred.
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {

// Which step failed when the output could not be opened.
enum AudioOpenResult : int {
    AudioOpened = 0,
    AudioNoDevice = 1,
    AudioNoMixer = 2,
    AudioNoContext = 3,
    AudioNoListener = 4,
};

// Where AudioOpen sends its output; tests choose a device without speakers.
enum class AudioTarget {
    Default,   // the system's output device
    None,      // behave as a machine without any sound device
    Loopback,  // render into memory on request (AudioRenderLoopback)
};
void AudioSetTarget(AudioTarget target, u32 loopbackRate = 48000);

AudioOpenResult AudioOpen();
void AudioClose();
bool AudioIsOpen();
// Renders frames of interleaved 16-bit stereo from a loopback output.
// false when the output is not a loopback one.
bool AudioRenderLoopback(i16* stereoFrames, u32 frames);

// The sample layout of a buffer, as a WAVE file's format record gives it.
struct AudioFormat {
    u16 formatTag = 1;  // 1 = integer PCM, the only one played
    u16 channels = 0;
    u32 samplesPerSec = 0;
    u32 avgBytesPerSec = 0;
    u16 blockAlign = 0;
    u16 bitsPerSample = 0;
};

using AudioBuffer = u32;  // 0: none
using AudioVoice = u32;   // 0: none

// Copies the samples (whole frames only) into a new buffer. 0 when the
// output is closed, the layout cannot be played (PCM, 1 or 2 channels, 8 or
// 16 bits) or there is not one whole frame.
AudioBuffer AudioCreateBuffer(const AudioFormat& format, const void* samples, u32 bytes);
// Drops the caller's hold; the samples live on while voices use them.
void AudioReleaseBuffer(AudioBuffer buffer);

// A voice: one instance of the buffer with its own volume, place and
// distances; a positional one is placed in 3D (only mono samples can be
// placed; others play as they are). It sounds only while it holds a source,
// so any number of voices can exist. 0 when the output is closed or the
// buffer unknown.
AudioVoice AudioCreateVoice(AudioBuffer buffer, bool positional);
void AudioDestroyVoice(AudioVoice voice);

// Sources are the channels the output mixes at once; the device has a fixed
// number of them, so callers share a few between many voices.
using AudioSource = u32;  // 0: none
// How many mono sources the open device offers (0 when closed or unknown).
u32 AudioSourceLimit();
// 0 when the device has no more.
AudioSource AudioCreateSource();
void AudioDestroySource(AudioSource source);
// Lets the voice sound through source (0: through none). A voice that held
// the source before stops and loses it; the voice's volume, place and
// distances are applied to the source at once.
void AudioVoiceUseSource(AudioVoice voice, AudioSource source);
// The source the voice holds, or 0.
AudioSource AudioVoiceSource(AudioVoice voice);

// Volume in hundredths of a decibel: 0 full, -10000 silent.
void AudioVoiceSetVolume(AudioVoice voice, i32 hundredthsDb);
// Plays from the start (restarting a voice that is playing); nothing for a
// voice without a source.
void AudioVoicePlay(AudioVoice voice, bool loop);
void AudioVoiceStop(AudioVoice voice);
bool AudioVoiceIsPlaying(AudioVoice voice);
void AudioVoiceSetPosition(AudioVoice voice, const Vec3& position);
void AudioVoiceSetDistances(AudioVoice voice, f32 minDistance, f32 maxDistance);

void AudioListenerSet(const Vec3& position, const Vec3& velocity, const Vec3& front, const Vec3& top);
void AudioSetDopplerFactor(f32 factor);
// Applies every deferred position, distance and listener setting at once.
void AudioCommitDeferred();

// Counts for tests: live buffers (held by someone), voices and sources.
u32 AudioBufferCount();
u32 AudioVoiceCount();
u32 AudioSourceCount();

}  // namespace plat
