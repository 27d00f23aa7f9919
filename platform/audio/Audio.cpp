#include "platform/audio/Audio.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

namespace plat {
namespace {

// Until a voice is given distances it keeps these, the usual defaults of a
// 3D voice (one unit, and practically no far limit).
constexpr f32 kDefaultMinDistance = 1.0f;
constexpr f32 kDefaultMaxDistance = 1.0e9f;

struct BufferEntry {
    ALuint name = 0;
    u32 holds = 0;  // the creator's hold plus one per voice
    bool released = false;
};

struct VoiceEntry {
    AudioBuffer buffer = 0;
    AudioSource source = 0;
    bool positional = false;
    bool hasPosition = false;
    bool hasDistances = false;
    f32 gain = 1.0f;
    // Settings waiting for the commit, and those already committed (which a
    // source taken later starts from).
    Vec3 position;
    f32 minDistance = kDefaultMinDistance;
    f32 maxDistance = kDefaultMaxDistance;
    Vec3 placed;
    f32 placedMin = kDefaultMinDistance;
    f32 placedMax = kDefaultMaxDistance;
};

struct SourceEntry {
    ALuint name = 0;
    AudioVoice user = 0;
};

struct ListenerSettings {
    bool pending = false;
    Vec3 position, velocity, front{0, 0, 1}, top{0, 1, 0};
};

struct AudioState {
    AudioTarget target = AudioTarget::Default;
    u32 loopbackRate = 48000;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool loopback = false;
    LPALCRENDERSAMPLESSOFT renderSamples = nullptr;
    // Handles are never reused, so a stale one held after a close finds nothing.
    u32 nextHandle = 1;
    std::unordered_map<AudioBuffer, BufferEntry> buffers;
    std::unordered_map<AudioVoice, VoiceEntry> voices;
    std::unordered_map<AudioSource, SourceEntry> sources;
    ListenerSettings listener;
};

// Never destroyed: sound objects held by singletons built earlier still
// release their voices through it while statics are torn down at exit.
AudioState& State() {
    static AudioState* s = new AudioState;
    return *s;
}

// The game's frame is left-handed with z forward; the output's is
// right-handed with -z forward, so z changes sign on the way.
void ToOutput(const Vec3& v, ALfloat out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = -v.z;
}

ALenum FormatOf(const AudioFormat& f) {
    if (f.formatTag != 1) return AL_NONE;
    if (f.channels < 1 || f.channels > 2) return AL_NONE;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return AL_NONE;
    if (f.samplesPerSec < 1 || f.samplesPerSec > 384000) return AL_NONE;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return AL_NONE;
    if (f.channels == 1) return f.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return f.bitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

u32 NewHandle() {
    u32& n = State().nextHandle;
    if (n == 0) n = 1;
    return n++;
}

void DropBufferHold(AudioBuffer buffer) {
    AudioState& s = State();
    auto it = s.buffers.find(buffer);
    if (it == s.buffers.end()) return;
    if (it->second.holds > 0) --it->second.holds;
    if (it->second.holds == 0) {
        alDeleteBuffers(1, &it->second.name);
        s.buffers.erase(it);
    }
}

VoiceEntry* FindVoice(AudioVoice voice) {
    AudioState& s = State();
    if (s.context == nullptr) return nullptr;
    auto it = s.voices.find(voice);
    return it == s.voices.end() ? nullptr : &it->second;
}

SourceEntry* FindSource(AudioSource source) {
    AudioState& s = State();
    auto it = s.sources.find(source);
    return it == s.sources.end() ? nullptr : &it->second;
}

ALuint SourceName(const VoiceEntry& v) {
    const SourceEntry* e = v.source != 0 ? FindSource(v.source) : nullptr;
    return e ? e->name : 0;
}

void PlaceSource(ALuint name, const VoiceEntry& v) {
    ALfloat p[3];
    ToOutput(v.placed, p);
    alSourcefv(name, AL_POSITION, p);
    alSourcef(name, AL_REFERENCE_DISTANCE, v.placedMin);
    alSourcef(name, AL_MAX_DISTANCE, v.placedMax);
}

// Stops the source and takes it (and its hold on the samples) from its voice.
void Detach(SourceEntry& e) {
    alSourceStop(e.name);
    alSourcei(e.name, AL_BUFFER, 0);
    if (e.user != 0) {
        auto it = State().voices.find(e.user);
        if (it != State().voices.end()) it->second.source = 0;
    }
    e.user = 0;
}

void ApplyVoice(VoiceEntry& v) {
    if (!v.positional) return;
    if (v.hasPosition) v.placed = v.position;
    if (v.hasDistances) {
        v.placedMin = v.minDistance;
        v.placedMax = v.maxDistance;
    }
    if (v.hasPosition || v.hasDistances) {
        if (const ALuint name = SourceName(v)) PlaceSource(name, v);
    }
    v.hasPosition = false;
    v.hasDistances = false;
}

}  // namespace

void AudioSetTarget(AudioTarget target, u32 loopbackRate) {
    State().target = target;
    State().loopbackRate = loopbackRate > 0 ? loopbackRate : 48000;
}

AudioOpenResult AudioOpen() {
    AudioState& s = State();
    if (s.context != nullptr) return AudioOpened;
    if (s.target == AudioTarget::None) return AudioNoDevice;

    std::vector<ALCint> attrs;
    if (s.target == AudioTarget::Loopback) {
        if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return AudioNoDevice;
        auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
            alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        s.renderSamples =
            reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
        if (open == nullptr || s.renderSamples == nullptr) return AudioNoDevice;
        s.device = open(nullptr);
        // Plain panning, so what each ear hears follows the placement simply.
        attrs = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                 ALC_FREQUENCY, ALCint(s.loopbackRate), ALC_HRTF_SOFT, ALC_FALSE, 0};
        s.loopback = true;
    } else {
        s.device = alcOpenDevice(nullptr);
        s.loopback = false;
    }
    if (s.device == nullptr) return AudioNoDevice;

    s.context = alcCreateContext(s.device, attrs.empty() ? nullptr : attrs.data());
    if (s.context == nullptr) {
        alcCloseDevice(s.device);
        s.device = nullptr;
        return AudioNoMixer;
    }
    if (!alcMakeContextCurrent(s.context)) {
        alcDestroyContext(s.context);
        alcCloseDevice(s.device);
        s.context = nullptr;
        s.device = nullptr;
        return AudioNoContext;
    }
    alGetError();
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    const ALfloat orientation[6] = {0, 0, -1, 0, 1, 0};
    alListenerfv(AL_ORIENTATION, orientation);
    alListener3f(AL_POSITION, 0, 0, 0);
    alListener3f(AL_VELOCITY, 0, 0, 0);
    if (alGetError() != AL_NO_ERROR) {
        AudioClose();
        return AudioNoListener;
    }
    s.listener = ListenerSettings{};
    return AudioOpened;
}

void AudioClose() {
    AudioState& s = State();
    if (s.context != nullptr) {
        for (auto& [handle, e] : s.sources) {
            alSourceStop(e.name);
            alDeleteSources(1, &e.name);
        }
        for (auto& [handle, b] : s.buffers) alDeleteBuffers(1, &b.name);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(s.context);
    }
    s.voices.clear();
    s.sources.clear();
    s.buffers.clear();
    if (s.device != nullptr) alcCloseDevice(s.device);
    s.context = nullptr;
    s.device = nullptr;
    s.loopback = false;
    s.renderSamples = nullptr;
}

bool AudioIsOpen() { return State().context != nullptr; }

bool AudioRenderLoopback(i16* stereoFrames, u32 frames) {
    AudioState& s = State();
    if (!s.loopback || s.device == nullptr || s.renderSamples == nullptr || stereoFrames == nullptr)
        return false;
    s.renderSamples(s.device, stereoFrames, ALCsizei(frames));
    return true;
}

AudioBuffer AudioCreateBuffer(const AudioFormat& format, const void* samples, u32 bytes) {
    AudioState& s = State();
    if (s.context == nullptr || samples == nullptr) return 0;
    const ALenum alFormat = FormatOf(format);
    if (alFormat == AL_NONE) return 0;
    const u32 whole = bytes - bytes % format.blockAlign;
    if (whole == 0 || whole > 0x7FFFFFFFu) return 0;
    alGetError();
    ALuint name = 0;
    alGenBuffers(1, &name);
    if (alGetError() != AL_NO_ERROR || name == 0) return 0;
    alBufferData(name, alFormat, samples, ALsizei(whole), ALsizei(format.samplesPerSec));
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &name);
        return 0;
    }
    const AudioBuffer handle = NewHandle();
    s.buffers[handle] = BufferEntry{name, 1, false};
    return handle;
}

void AudioReleaseBuffer(AudioBuffer buffer) {
    AudioState& s = State();
    auto it = s.buffers.find(buffer);
    if (it == s.buffers.end() || it->second.released) return;
    it->second.released = true;
    DropBufferHold(buffer);
}

AudioVoice AudioCreateVoice(AudioBuffer buffer, bool positional) {
    AudioState& s = State();
    if (s.context == nullptr) return 0;
    auto it = s.buffers.find(buffer);
    if (it == s.buffers.end()) return 0;
    ++it->second.holds;
    VoiceEntry v;
    v.buffer = buffer;
    v.positional = positional;
    const AudioVoice handle = NewHandle();
    s.voices[handle] = v;
    return handle;
}

void AudioDestroyVoice(AudioVoice voice) {
    AudioState& s = State();
    auto it = s.voices.find(voice);
    if (it == s.voices.end()) return;
    if (SourceEntry* e = FindSource(it->second.source)) Detach(*e);
    const AudioBuffer buffer = it->second.buffer;
    s.voices.erase(it);
    DropBufferHold(buffer);
}

u32 AudioSourceLimit() {
    AudioState& s = State();
    if (s.device == nullptr) return 0;
    ALCint count = 0;
    alcGetIntegerv(s.device, ALC_MONO_SOURCES, 1, &count);
    return count > 0 ? u32(count) : 0;
}

AudioSource AudioCreateSource() {
    AudioState& s = State();
    if (s.context == nullptr) return 0;
    alGetError();
    ALuint name = 0;
    alGenSources(1, &name);
    if (alGetError() != AL_NO_ERROR || name == 0) return 0;
    const AudioSource handle = NewHandle();
    s.sources[handle] = SourceEntry{name, 0};
    return handle;
}

void AudioDestroySource(AudioSource source) {
    AudioState& s = State();
    auto it = s.sources.find(source);
    if (it == s.sources.end()) return;
    Detach(it->second);
    alDeleteSources(1, &it->second.name);
    s.sources.erase(it);
}

void AudioVoiceUseSource(AudioVoice voice, AudioSource source) {
    VoiceEntry* v = FindVoice(voice);
    if (v == nullptr || v->source == source) return;
    if (SourceEntry* old = FindSource(v->source)) Detach(*old);
    v->source = 0;
    SourceEntry* e = FindSource(source);
    if (e == nullptr) return;
    Detach(*e);
    auto b = State().buffers.find(v->buffer);
    if (b == State().buffers.end()) return;
    const ALuint name = e->name;
    alGetError();
    alSourcei(name, AL_LOOPING, AL_FALSE);
    alSourcei(name, AL_BUFFER, ALint(b->second.name));
    if (v->positional) {
        alSourcei(name, AL_SOURCE_RELATIVE, AL_FALSE);
        alSourcef(name, AL_ROLLOFF_FACTOR, 1.0f);
        PlaceSource(name, *v);
    } else {
        // Heard as recorded: centred on the listener whatever it does.
        alSourcei(name, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(name, AL_POSITION, 0, 0, 0);
        alSourcef(name, AL_ROLLOFF_FACTOR, 0.0f);
    }
    alSourcef(name, AL_GAIN, v->gain);
    if (alGetError() != AL_NO_ERROR) {
        alSourcei(name, AL_BUFFER, 0);
        return;
    }
    e->user = voice;
    v->source = source;
}

AudioSource AudioVoiceSource(AudioVoice voice) {
    const VoiceEntry* v = FindVoice(voice);
    return v ? v->source : 0;
}

void AudioVoiceSetVolume(AudioVoice voice, i32 hundredthsDb) {
    VoiceEntry* v = FindVoice(voice);
    if (v == nullptr) return;
    if (hundredthsDb > 0) hundredthsDb = 0;
    v->gain = hundredthsDb <= -10000 ? 0.0f : std::pow(10.0f, f32(hundredthsDb) / 2000.0f);
    if (const ALuint name = SourceName(*v)) alSourcef(name, AL_GAIN, v->gain);
}

void AudioVoicePlay(AudioVoice voice, bool loop) {
    const VoiceEntry* v = FindVoice(voice);
    const ALuint name = v ? SourceName(*v) : 0;
    if (name == 0) return;
    alSourcei(name, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    alSourceRewind(name);
    alSourcePlay(name);
}

void AudioVoiceStop(AudioVoice voice) {
    const VoiceEntry* v = FindVoice(voice);
    if (const ALuint name = v ? SourceName(*v) : 0) alSourceStop(name);
}

bool AudioVoiceIsPlaying(AudioVoice voice) {
    const VoiceEntry* v = FindVoice(voice);
    const ALuint name = v ? SourceName(*v) : 0;
    if (name == 0) return false;
    ALint state = AL_STOPPED;
    alGetSourcei(name, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

void AudioVoiceSetPosition(AudioVoice voice, const Vec3& position) {
    VoiceEntry* v = FindVoice(voice);
    if (v == nullptr || !v->positional) return;
    v->position = position;
    v->hasPosition = true;
}

void AudioVoiceSetDistances(AudioVoice voice, f32 minDistance, f32 maxDistance) {
    VoiceEntry* v = FindVoice(voice);
    if (v == nullptr || !v->positional) return;
    // The output refuses what no real distance can be; keep the old values then.
    if (!(minDistance > 0.0f) || !(maxDistance >= minDistance) || !std::isfinite(maxDistance)) return;
    v->minDistance = minDistance;
    v->maxDistance = maxDistance;
    v->hasDistances = true;
}

void AudioListenerSet(const Vec3& position, const Vec3& velocity, const Vec3& front, const Vec3& top) {
    AudioState& s = State();
    if (s.context == nullptr) return;
    s.listener.pending = true;
    s.listener.position = position;
    s.listener.velocity = velocity;
    s.listener.front = front;
    s.listener.top = top;
}

void AudioSetDopplerFactor(f32 factor) {
    if (State().context == nullptr || !(factor >= 0.0f)) return;
    alDopplerFactor(factor);
}

void AudioCommitDeferred() {
    AudioState& s = State();
    if (s.context == nullptr) return;
    if (s.listener.pending) {
        ALfloat p[3], v[3], o[6];
        ToOutput(s.listener.position, p);
        ToOutput(s.listener.velocity, v);
        ToOutput(s.listener.front, o);
        ToOutput(s.listener.top, o + 3);
        alListenerfv(AL_POSITION, p);
        alListenerfv(AL_VELOCITY, v);
        alListenerfv(AL_ORIENTATION, o);
        s.listener.pending = false;
    }
    for (auto& [handle, v] : s.voices) ApplyVoice(v);
    alGetError();
}

u32 AudioBufferCount() { return u32(State().buffers.size()); }
u32 AudioVoiceCount() { return u32(State().voices.size()); }
u32 AudioSourceCount() { return u32(State().sources.size()); }

}  // namespace plat
