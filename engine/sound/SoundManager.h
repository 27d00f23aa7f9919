#pragma once
// Sound effects, pilot voices and music. Each scene sizes a table of sounds
// and fills it from WAVE files or Ogg Vorbis files (decoded whole at load
// time); a sound has one or more voices sharing its samples, played in turn
// so it can overlap itself. Ten volume slots in percent: 0 effects,
// 1 voices, 2 music. Main thread only. Without a sound device every load
// fails and every play gives null; the game simply runs silent.
//
// A voice sounds through one of a fixed pool of output sources, borrowed when
// it plays and free again once it ends, so loading never runs out of device
// channels however many sounds a scene holds. When every source is busy the
// least important sound stops for the new one (one-shots before loops, then
// the quietest, then the oldest); a request less important than all of them
// plays nothing.
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/TaskList.h"
#include "platform/audio/Audio.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {
class Window;
}


// Volume slot numbers and their count.
inline constexpr int kVolumeSlotEffects = 0;
inline constexpr int kVolumeSlotVoices = 1;
inline constexpr int kVolumeSlotMusic = 2;
inline constexpr int kVolumeSlotCount = 10;

// The quietest volume, in hundredths of a decibel.
inline constexpr i32 kVolumeSilent = -10000;

// Percent (0..100) to hundredths of a decibel: 0 is silent, otherwise
// 100 x trunc(10 x log10(percent / 100)) in single precision.
i32 VolumePercentToHundredthsDb(i32 percent);

// Longest a scene's start waits for its music: a helper that stalls or
// misbehaves holds the scene no longer; the music then plays once it comes.
inline constexpr u32 kMusicWaitMs = 3000;

// Largest amount of samples one Ogg file may decode to. A longer stream is
// cut there; a hostile file cannot ask for more memory than this. Music
// (title, hangar, room, battle) goes by this.
inline constexpr u32 kMaxDecodedOggBytes = 128u << 20;

// Pilot voices are short lines (the longest shipped is under a second):
// one may last this long at its own rate and channels, and not a sample
// more. A longer one is refused from its header, before any decoding.
inline constexpr u32 kMaxVoiceSeconds = 30;
// Largest voice file read: 30 s at the best Vorbis quality fits well.
inline constexpr u32 kMaxVoiceFileBytes = 4u << 20;

// Why a voice was not taken.
enum class VoiceRefusal {
    None,        // taken: decoding on the worker
    Unreadable,  // no Ogg Vorbis stream, or one that does not tell its length
    TooLong,     // lasts longer than kMaxVoiceSeconds
    OverBudget,  // its samples would not fit in what its owner has left
    TooBig,      // the file is larger than kMaxVoiceFileBytes
    Failed,      // the decoder failed on it (a fault, a limit) or cannot run
};

// Size of the WAVE header written in front of decoded Ogg samples.
inline constexpr u32 kOggWaveHeaderSize = 46;

// The parts of a WAVE file a sound is made from. samples points into the
// file's own bytes.
struct WaveData {
    plat::AudioFormat format;
    std::vector<u8> extra;  // bytes behind the 18-byte format record
    const u8* samples = nullptr;
    u32 size = 0;
};

// Reads a RIFF WAVE image: "fmt " (at least 16 bytes) then a "data" chunk
// after it. A data chunk that runs past the end is cut to what is there.
// false for anything malformed.
bool ParseWave(const u8* file, u32 fileSize, WaveData* out);

// Decodes a whole Ogg Vorbis image into an in-memory WAVE: a 46-byte header
// (18-byte PCM format record at offset 20, samples at offset 46) and 16-bit
// little-endian samples. Decoding stops at the end, at the first error or
// at maxBytes of samples, keeping what was decoded; a set `stop` ends it
// early. It runs in the decoder helper: false when the stream cannot be
// opened at all, or the helper failed on it or cannot run.
bool DecodeOggToWave(const u8* file, u32 fileSize, std::vector<u8>* wave, u32 maxBytes = kMaxDecodedOggBytes,
                     const std::atomic<bool>* stop = nullptr);
// Fills the 46-byte header in front of the samples that follow it in *wave.
void WriteWaveHeader(std::vector<u8>* wave, u32 channels, u32 rate);

struct VoiceDecodeJob;
struct DecodeBudget;
// Told on the main thread why a voice queued for decoding was refused.
using VoiceRefusalTell = std::function<void(VoiceRefusal)>;

// One voice of a sound.
class CDSBufferNode : public CListNode<CDSBufferNode> {
public:
    CDSBufferNode() = default;
    ~CDSBufferNode() override = default;

    bool IsPlaying() const;
    void Stop();

    i8 slot = 0;                  // volume slot it was last played with
    plat::AudioVoice voice = 0;   // 0 while it has no samples
    bool positional = false;      // placed in 3D
};

class SoundObject {
public:
    SoundObject() = default;
    ~SoundObject();
    SoundObject(const SoundObject&) = delete;
    SoundObject& operator=(const SoundObject&) = delete;

    // 1 on success (the sound then has 1 + extraVoices voices), 0 on
    // failure (the sound stays empty).
    int LoadWave(const char* fileName, int is3D, int extraVoices);
    int LoadOgg(const char* fileName, int is3D, int extraVoices, u32 waitMs = kMusicWaitMs);
    // The same from bytes already in memory (voice files received online).
    // Ogg music decodes on the music worker, waited for up to waitMs; one
    // not in by then counts as loaded, and a play asked for meanwhile starts
    // once it comes (0 if it is refused: the sound stays silent).
    int LoadWaveData(const u8* file, u32 size, int is3D, int extraVoices);
    int LoadOggData(const u8* file, u32 size, int is3D, int extraVoices, u32 waitMs = kMusicWaitMs);
    // A pilot voice, decoded on the voice worker: refused at once only for
    // its file size (TooBig); the worker refuses it from its headers when it
    // lasts longer than kMaxVoiceSeconds or its samples would not fit in
    // `budget`, and then `tell` hears why on the main thread (the sound
    // stays empty); a voice the output cannot take is told as Failed and
    // logged, never put on screen. The sound counts as loaded at once and
    // plays from the first Play after its samples are ready; until then a
    // play gives null. It waits in its owner's lane (see VoiceDecoder.h).
    VoiceRefusal LoadVoiceData(const u8* file, u32 size, int is3D, int extraVoices,
                               const std::shared_ptr<DecodeBudget>& budget, VoiceRefusalTell tell = {},
                               const void* owner = nullptr);
    // Makes the sound of a finished voice decode, or tells its refusal
    // (main thread); true when the sound holds samples afterwards.
    bool TakeDecoded();
    // A voice is still on the worker or its result not yet taken.
    bool Decoding() const { return pending_ != nullptr; }
    // Bytes of samples the sound's voice took from its budget.
    u64 SampleBytes() const;

    // Plays the next voice from its start at the volume of the slot (slots
    // 10 and above are silent). Returns the voice, or null.
    CDSBufferNode* Play(int slot, int loop);
    // The same, first placing the voice at (x, y, z); the place takes effect
    // at the next commit of deferred settings.
    CDSBufferNode* Play3D(f32 x, f32 y, f32 z, int slot, int loop);
    // As Play3D, but plays nothing (and keeps its turn) while the next voice
    // is still playing.
    CDSBufferNode* PlayAt(f32 x, f32 y, f32 z, int slot, int loop);
    // Stops every voice, and a play still waiting for the music to come.
    void Stop();
    // Minimum and maximum distance of every 3D voice; commits the deferred
    // settings so all pending 3D changes take effect together.
    void SetDistances(f32 minDistance, f32 maxDistance);
    // Applies a slot's volume to the voices last played with that slot.
    void SetSlotVolume(int slot, int percent);
    void Free();

    int VoiceCount() { return int(voices.GetCount()); }
    // Nothing loaded and no voice decoding.
    bool IsEmpty() const { return cursor == nullptr && !pending_; }

    CDSBufferNode* cursor = nullptr;  // the voice to play next
    CList<CDSBufferNode> voices;

private:
    // quiet: a failure goes to the log only, never to the screen.
    int CreateVoices(const WaveData& reader, int is3D, int extraVoices, bool quiet = false);
    int CreateFromImage(const std::vector<u8>& image, int is3D, int extraVoices, bool quiet = false);

    // A voice on the worker, with what its voices are to be made with.
    std::shared_ptr<VoiceDecodeJob> pending_;
    // The decoded voice, kept for the samples it took from its budget.
    std::shared_ptr<VoiceDecodeJob> held_;
    VoiceRefusalTell tell_;
    int pendingIs3D_ = 0;
    int pendingExtraVoices_ = 0;
    // Music still decoding: the last play asked for (slot, loop), started
    // when it comes; slot -1 for none.
    bool playsWhenDecoded_ = false;
    int lateSlot_ = -1;
    int lateLoop_ = 0;
    CDSBufferNode* PlayNext(bool place, const Vec3& at, int slot, int loop, bool onlyIfFree);
    void MoveOn();
};

class SoundManager {
public:
    SoundManager() = default;
    ~SoundManager();
    SoundManager(const SoundManager&) = delete;
    SoundManager& operator=(const SoundManager&) = delete;

    // Opens the sound output and its pool of sources. 1, or 0 after a
    // message box (the game then runs without sound).
    int Init(plat::Window* window);
    void Release();
    bool IsOpen() const { return open_; }
    bool HasListener() const { return open_; }

    void SetVolume(int slot, int percent);
    int GetVolume(int slot) const;

    // A new table of count empty sounds (the old one is freed).
    void CreateSounds(int count);
    void FreeSounds();
    int GetSoundCount() const { return soundCount_; }
    // Entry index, or null when the index is outside the table.
    SoundObject* GetSound(int index);

    int LoadWaveSlot(const char* fileName, int is3D, int index, int extraVoices);
    int LoadOggSlot(const char* fileName, int is3D, int index, int extraVoices, u32 waitMs = kMusicWaitMs);
    CDSBufferNode* PlaySlot(int index, int slot, int loop);
    // Takes the music that has come since (once a frame).
    void TakeDecoded();
    void SetSlotDistances(int index, f32 minDistance, f32 maxDistance);

    // Listener place, velocity and orientation, deferred until the commit.
    void SetListener(const Vec3& position, const Vec3& velocity, const Vec3& front, const Vec3& top);
    void CommitDeferredSettings();

    // Gives voice a source to play through (its own if it still holds one);
    // false when every source is busy with a more important sound.
    bool LendSource(plat::AudioVoice voice, i32 volume, bool loop);
    int GetSourceBudget() const { return int(pool_.size()); }
    // Shrinks the pool to at most count sources (tests).
    void LimitSources(int count);

private:
    struct PooledSource {
        plat::AudioSource source = 0;
        plat::AudioVoice voice = 0;  // the last voice lent it
        i32 volume = 0;
        bool loop = false;
        u64 order = 0;  // when it was lent
    };
    void ReleasePool();

    std::vector<PooledSource> pool_;
    u64 lendCount_ = 0;
    plat::Window* window_ = nullptr;
    bool open_ = false;
    int soundCount_ = 0;
    std::unique_ptr<SoundObject[]> sounds_;
    i32 volumes_[kVolumeSlotCount] = {};
};

SoundManager& GetSoundManager();
