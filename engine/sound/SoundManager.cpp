#include "engine/sound/SoundManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/AssetFile.h"
#include "engine/sound/VoiceDecoder.h"
#include "platform/audio/OggDecoder.h"
#include "platform/core/DecodeHelper.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/MessageBox.h"

namespace {

const char* const kErrorCaption = "DirectSoundエラー";

// Sources the pool keeps at most: plenty for a battle's busiest moment while
// leaving the device's remaining channels to anyone else.
constexpr u32 kMostPooledSources = 128;
// What the pool takes when the device does not say its limit.
constexpr u32 kPoolWithoutLimit = 32;

// Reads the 18-byte format record (plus any extra bytes) at body.
plat::AudioFormat ReadFormat(const u8* body) {
    plat::AudioFormat f;
    f.formatTag = GetU16(body);
    f.channels = GetU16(body + 2);
    f.samplesPerSec = GetU32(body + 4);
    f.avgBytesPerSec = GetU32(body + 8);
    f.blockAlign = GetU16(body + 12);
    f.bitsPerSample = GetU16(body + 14);
    return f;
}

// Load failures mid-scene print once and show as a notice instead of a box;
// a voice's, which may come from any peer, only goes to the log.
void ShowLoadError(const char* text, bool quiet) {
    if (quiet) plat::ReportError(kErrorCaption, text);
    else plat::ShowMessageBox(nullptr, text, kErrorCaption);
}

}  // namespace

i32 VolumePercentToHundredthsDb(i32 percent) {
    if (percent <= 0) return kVolumeSilent;
    if (percent >= 100) return 0;
    const f32 db = 10.0f * std::log10(f32(percent) / 100.0f);
    return 100 * i32(std::trunc(db));
}

bool ParseWave(const u8* file, u32 fileSize, WaveData* out) {
    if (file == nullptr || out == nullptr || fileSize < 12) return false;
    if (std::memcmp(file, "RIFF", 4) != 0 || std::memcmp(file + 8, "WAVE", 4) != 0) return false;
    const u64 end = std::min<u64>(u64(GetU32(file + 4)) + 8, fileSize);

    bool haveFormat = false;
    u64 pos = 12;
    while (pos + 8 <= end) {
        const u8* head = file + pos;
        const u32 chunkSize = GetU32(head + 4);
        const u64 body = pos + 8;
        const u32 present = u32(std::min<u64>(chunkSize, end - body));
        if (!haveFormat && std::memcmp(head, "fmt ", 4) == 0) {
            if (chunkSize < 16 || present < 16) return false;
            out->format = ReadFormat(file + body);
            out->extra.clear();
            if (out->format.formatTag != 1) {
                // Other formats carry their own size of extra bytes; they
                // must lie inside the chunk.
                if (present < 18) return false;
                const u32 extra = GetU16(file + body + 16);
                if (18u + extra > present) return false;
                out->extra.assign(file + body + 18, file + body + 18 + extra);
            }
            haveFormat = true;
        } else if (haveFormat && std::memcmp(head, "data", 4) == 0) {
            out->samples = file + body;
            out->size = present;
            return true;
        }
        pos = body + u64(chunkSize) + (chunkSize & 1u);
    }
    return false;
}

bool DecodeOggToWave(const u8* file, u32 fileSize, std::vector<u8>* wave, u32 maxBytes,
                     const std::atomic<bool>* stop) {
    if (wave == nullptr) return false;
    plat::OggLayout layout;
    if (plat::DecodeOggInHelper(file, fileSize, 0, maxBytes, 0, kOggWaveHeaderSize, wave, &layout, stop) !=
        plat::DecodeStatus::Ok)
        return false;
    WriteWaveHeader(wave, layout.channels, layout.rate);
    return true;
}

void WriteWaveHeader(std::vector<u8>* wave, u32 channels, u32 rate) {
    const u32 frameBytes = channels * 2;
    const u32 filled = u32(wave->size() - kOggWaveHeaderSize);
    u8* h = wave->data();
    std::memcpy(h, "RIFF", 4);
    PutU32(h + 4, 38 + filled);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    PutU32(h + 16, 18);
    PutU16(h + 20, 1);
    PutU16(h + 22, channels);
    PutU32(h + 24, rate);
    PutU32(h + 28, rate * frameBytes);
    PutU16(h + 32, frameBytes);
    PutU16(h + 34, 16);
    PutU16(h + 36, 18);
    std::memcpy(h + 38, "data", 4);
    PutU32(h + 42, filled);
}

bool CDSBufferNode::IsPlaying() const { return voice != 0 && plat::AudioVoiceIsPlaying(voice); }

void CDSBufferNode::Stop() {
    if (voice != 0) plat::AudioVoiceStop(voice);
}

SoundObject::~SoundObject() { Free(); }

int SoundObject::LoadWave(const char* fileName, int is3D, int extraVoices) {
    if (!GetSoundManager().IsOpen() || fileName == nullptr) return 0;
    FileBuffer file;
    if (!file.Load(fileName)) return 0;
    return LoadWaveData(file.data, file.size, is3D, extraVoices);
}

int SoundObject::LoadOgg(const char* fileName, int is3D, int extraVoices, u32 waitMs) {
    if (!GetSoundManager().IsOpen() || fileName == nullptr) return 0;
    FileBuffer file;
    if (!file.Load(fileName)) return 0;
    return LoadOggData(file.data, file.size, is3D, extraVoices, waitMs);
}

int SoundObject::LoadWaveData(const u8* file, u32 size, int is3D, int extraVoices) {
    if (!GetSoundManager().IsOpen()) return 0;
    WaveData wave;
    if (!ParseWave(file, size, &wave)) return 0;
    return CreateVoices(wave, is3D, extraVoices);
}

int SoundObject::LoadOggData(const u8* file, u32 size, int is3D, int extraVoices, u32 waitMs) {
    if (!GetSoundManager().IsOpen()) return 0;
    Free();
    if (file == nullptr || size == 0) return 0;
    auto job = std::make_shared<VoiceDecodeJob>();
    job->music = true;
    job->ogg.assign(file, file + size);
    if (!GetMusicDecoder().Queue(job)) return 0;
    pending_ = job;
    pendingIs3D_ = is3D;
    pendingExtraVoices_ = extraVoices;
    playsWhenDecoded_ = true;
    if (job->WaitDone(waitMs)) return TakeDecoded() ? 1 : 0;
    return 1;
}

int SoundObject::CreateFromImage(const std::vector<u8>& image, int is3D, int extraVoices, bool quiet) {
    if (image.size() < kOggWaveHeaderSize) return 0;
    WaveData wave;
    wave.format = ReadFormat(image.data() + 20);
    wave.samples = image.data() + kOggWaveHeaderSize;
    wave.size = u32(image.size() - kOggWaveHeaderSize);
    return CreateVoices(wave, is3D, extraVoices, quiet);
}

VoiceRefusal SoundObject::LoadVoiceData(const u8* file, u32 size, int is3D, int extraVoices,
                                        const std::shared_ptr<DecodeBudget>& budget, VoiceRefusalTell tell,
                                        const void* owner) {
    Free();
    if (size > kMaxVoiceFileBytes) return VoiceRefusal::TooBig;
    if (file == nullptr || size == 0) return VoiceRefusal::Unreadable;
    if (!GetSoundManager().IsOpen()) return VoiceRefusal::None;
    auto job = std::make_shared<VoiceDecodeJob>();
    // Nothing of the stream is looked at here: its headers are read in
    // the decoder, on the worker.
    job->ogg.assign(file, file + size);
    job->budget = budget;
    job->lane = owner;
    if (!GetVoiceDecoder().Queue(job)) return VoiceRefusal::None;
    pending_ = std::move(job);
    tell_ = std::move(tell);
    pendingIs3D_ = is3D;
    pendingExtraVoices_ = extraVoices;
    return VoiceRefusal::None;
}

bool SoundObject::TakeDecoded() {
    if (!pending_) return cursor != nullptr;
    if (!pending_->done.load(std::memory_order_acquire)) return false;
    std::shared_ptr<VoiceDecodeJob> job = std::move(pending_);
    pending_.reset();
    VoiceRefusalTell tell = std::move(tell_);
    tell_ = nullptr;
    const int lateSlot = lateSlot_;
    lateSlot_ = -1;
    playsWhenDecoded_ = false;
    if (job->wave.empty()) {
        if (tell) tell(job->refusal);
        return false;
    }
    if (GetSoundManager().IsOpen() && !CreateFromImage(job->wave, pendingIs3D_, pendingExtraVoices_, !job->music) &&
        !job->music && tell)
        tell(VoiceRefusal::Failed);
    job->wave = std::vector<u8>();
    if (cursor != nullptr && !job->music) held_ = std::move(job);
    if (cursor != nullptr && lateSlot >= 0) Play(lateSlot, lateLoop_);
    return cursor != nullptr;
}

u64 SoundObject::SampleBytes() const { return held_ ? held_->charged : 0; }

int SoundObject::CreateVoices(const WaveData& reader, int is3D, int extraVoices, bool quiet) {
    Free();
    const bool positional = is3D != 0;
    const plat::AudioBuffer buffer = plat::AudioCreateBuffer(reader.format, reader.samples, reader.size);
    if (buffer == 0) {
        ShowLoadError("セカンダリバッファを作成に失敗", quiet);
        return 0;
    }
    const int total = 1 + std::max(0, extraVoices);
    for (int i = 0; i < total; ++i) {
        CDSBufferNode* node = voices.NewNode(1);
        const plat::AudioVoice voice = node ? plat::AudioCreateVoice(buffer, positional) : 0;
        if (voice == 0) {
            ShowLoadError(i == 0 ? "IDirectSoundBuffer8インターフェイスの取得に失敗" : "DuplicateSoundBufferエラー",
                          quiet);
            plat::AudioReleaseBuffer(buffer);
            Free();
            return 0;
        }
        node->voice = voice;
        node->positional = positional;
    }
    // The voices keep the samples alive between them.
    plat::AudioReleaseBuffer(buffer);
    cursor = voices.GetHead()->next;
    return 1;
}

void SoundObject::MoveOn() {
    cursor = cursor->next;
    if (cursor == nullptr || cursor->priority == kListTailPriority) cursor = voices.GetHead()->next;
}

CDSBufferNode* SoundObject::PlayNext(bool place, const Vec3& at, int slot, int loop, bool onlyIfFree) {
    if (pending_) TakeDecoded();
    if (pending_ && playsWhenDecoded_ && !place) {
        lateSlot_ = slot;
        lateLoop_ = loop;
    }
    if (cursor == nullptr || !GetSoundManager().IsOpen()) return nullptr;
    CDSBufferNode* node = cursor;
    if (node->voice == 0) {
        MoveOn();
        return nullptr;
    }
    if (onlyIfFree && node->IsPlaying()) return nullptr;
    const i32 volume = VolumePercentToHundredthsDb(GetSoundManager().GetVolume(slot));
    // A refused play keeps its turn, as when its voice is still busy.
    if (!GetSoundManager().LendSource(node->voice, volume, loop != 0)) return nullptr;
    if (place) plat::AudioVoiceSetPosition(node->voice, at);
    node->slot = i8(slot);
    plat::AudioVoiceSetVolume(node->voice, volume);
    plat::AudioVoicePlay(node->voice, loop != 0);
    MoveOn();
    return node;
}

CDSBufferNode* SoundObject::Play(int slot, int loop) { return PlayNext(false, Vec3{}, slot, loop, false); }

CDSBufferNode* SoundObject::Play3D(f32 x, f32 y, f32 z, int slot, int loop) {
    return PlayNext(true, Vec3{x, y, z}, slot, loop, false);
}

CDSBufferNode* SoundObject::PlayAt(f32 x, f32 y, f32 z, int slot, int loop) {
    return PlayNext(true, Vec3{x, y, z}, slot, loop, true);
}

void SoundObject::Stop() {
    lateSlot_ = -1;
    CDSBufferNode* head = voices.GetHead();
    if (head == nullptr) return;
    for (CDSBufferNode* n = head->next; n && n->priority != kListTailPriority; n = n->next) n->Stop();
}

void SoundObject::SetDistances(f32 minDistance, f32 maxDistance) {
    if (!GetSoundManager().IsOpen()) return;
    CDSBufferNode* head = voices.GetHead();
    if (head == nullptr) return;
    for (CDSBufferNode* n = head->next; n && n->priority != kListTailPriority; n = n->next) {
        if (n->positional) plat::AudioVoiceSetDistances(n->voice, minDistance, maxDistance);
    }
    plat::AudioCommitDeferred();
}

void SoundObject::SetSlotVolume(int slot, int percent) {
    CDSBufferNode* head = voices.GetHead();
    if (head == nullptr) return;
    const i32 volume = VolumePercentToHundredthsDb(percent);
    for (CDSBufferNode* n = head->next; n && n->priority != kListTailPriority; n = n->next) {
        if (n->slot == slot) plat::AudioVoiceSetVolume(n->voice, volume);
    }
}

void SoundObject::Free() {
    CDSBufferNode* head = voices.GetHead();
    if (head != nullptr) {
        for (CDSBufferNode* n = head->next; n && n->priority != kListTailPriority; n = n->next) {
            if (n->voice != 0) plat::AudioDestroyVoice(n->voice);
            n->voice = 0;
        }
    }
    voices.Init();
    cursor = nullptr;
    // A voice still on the worker is dropped there; one decoded gives its
    // samples back to its budget.
    if (pending_) pending_->cancelled = true;
    pending_.reset();
    held_.reset();
    tell_ = nullptr;
    playsWhenDecoded_ = false;
    lateSlot_ = -1;
}

SoundManager::~SoundManager() { Release(); }

int SoundManager::Init(plat::Window* window) {
    window_ = window;
    const plat::AudioOpenResult r = plat::AudioOpen();
    if (r != plat::AudioOpened) {
        const char* text = r == plat::AudioNoDevice    ? "DirectSoundオブジェクトの作成に失敗"
                           : r == plat::AudioNoMixer   ? "協調レベルの設定に失敗"
                           : r == plat::AudioNoContext ? "プライマリバッファの作成に失敗"
                                                       : "リスナーの作成に失敗";
        plat::ShowMessageBox(window_, text, kErrorCaption);
        return 0;
    }
    open_ = true;
    plat::AudioSetDopplerFactor(1.0f);
    const u32 limit = plat::AudioSourceLimit();
    const u32 budget = std::min(limit > 0 ? limit : kPoolWithoutLimit, kMostPooledSources);
    ReleasePool();
    for (u32 i = 0; i < budget; ++i) {
        const plat::AudioSource source = plat::AudioCreateSource();
        if (source == 0) break;
        pool_.push_back(PooledSource{source});
    }
    return 1;
}

void SoundManager::Release() {
    FreeSounds();
    ReleasePool();
    if (open_) plat::AudioClose();
    open_ = false;
}

void SoundManager::ReleasePool() {
    for (const PooledSource& p : pool_) plat::AudioDestroySource(p.source);
    pool_.clear();
}

void SoundManager::LimitSources(int count) {
    while (int(pool_.size()) > std::max(0, count)) {
        plat::AudioDestroySource(pool_.back().source);
        pool_.pop_back();
    }
}

namespace {

// Which of two sounds matters more: a loop (music, engines) outlasts a
// one-shot, a louder one a quieter, a newer one an older.
bool Outranks(bool loopA, i32 volumeA, u64 orderA, bool loopB, i32 volumeB, u64 orderB) {
    if (loopA != loopB) return loopA;
    if (volumeA != volumeB) return volumeA > volumeB;
    return orderA > orderB;
}

}  // namespace

bool SoundManager::LendSource(plat::AudioVoice voice, i32 volume, bool loop) {
    if (!open_ || voice == 0) return false;
    const u64 order = ++lendCount_;
    PooledSource* pick = nullptr;
    for (PooledSource& p : pool_) {
        if (p.voice == voice && plat::AudioVoiceSource(voice) == p.source) {
            pick = &p;
            break;
        }
    }
    if (pick == nullptr) {
        for (PooledSource& p : pool_) {
            if (p.voice == 0 || plat::AudioVoiceSource(p.voice) != p.source || !plat::AudioVoiceIsPlaying(p.voice)) {
                pick = &p;
                break;
            }
        }
    }
    if (pick == nullptr) {
        for (PooledSource& p : pool_) {
            if (pick == nullptr || Outranks(pick->loop, pick->volume, pick->order, p.loop, p.volume, p.order)) pick = &p;
        }
        if (pick == nullptr || Outranks(pick->loop, pick->volume, pick->order, loop, volume, order)) return false;
    }
    plat::AudioVoiceUseSource(voice, pick->source);
    if (plat::AudioVoiceSource(voice) != pick->source) return false;
    pick->voice = voice;
    pick->volume = volume;
    pick->loop = loop;
    pick->order = order;
    return true;
}

void SoundManager::SetVolume(int slot, int percent) {
    if (!open_ || slot < 0 || slot >= kVolumeSlotCount) return;
    volumes_[slot] = percent;
    for (int i = 0; i < soundCount_; ++i) sounds_[size_t(i)].SetSlotVolume(slot, percent);
}

int SoundManager::GetVolume(int slot) const {
    return (slot >= 0 && slot < kVolumeSlotCount) ? volumes_[slot] : 0;
}

void SoundManager::CreateSounds(int count) {
    FreeSounds();
    if (count < 1) return;
    sounds_.reset(new (std::nothrow) SoundObject[size_t(count)]);
    soundCount_ = sounds_ ? count : 0;
}

void SoundManager::FreeSounds() {
    sounds_.reset();
    soundCount_ = 0;
}

SoundObject* SoundManager::GetSound(int index) {
    if (index < 0 || index >= soundCount_) return nullptr;
    return &sounds_[size_t(index)];
}

int SoundManager::LoadWaveSlot(const char* fileName, int is3D, int index, int extraVoices) {
    SoundObject* s = GetSound(index);
    return s ? s->LoadWave(fileName, is3D, extraVoices) : 0;
}

int SoundManager::LoadOggSlot(const char* fileName, int is3D, int index, int extraVoices, u32 waitMs) {
    SoundObject* s = GetSound(index);
    return s ? s->LoadOgg(fileName, is3D, extraVoices, waitMs) : 0;
}

CDSBufferNode* SoundManager::PlaySlot(int index, int slot, int loop) {
    SoundObject* s = GetSound(index);
    return s ? s->Play(slot, loop) : nullptr;
}

void SoundManager::TakeDecoded() {
    for (int i = 0; i < soundCount_; ++i)
        if (sounds_[size_t(i)].Decoding()) sounds_[size_t(i)].TakeDecoded();
}

void SoundManager::SetSlotDistances(int index, f32 minDistance, f32 maxDistance) {
    if (SoundObject* s = GetSound(index)) s->SetDistances(minDistance, maxDistance);
}

void SoundManager::SetListener(const Vec3& position, const Vec3& velocity, const Vec3& front,
                               const Vec3& top) {
    if (open_) plat::AudioListenerSet(position, velocity, front, top);
}

void SoundManager::CommitDeferredSettings() {
    if (open_) plat::AudioCommitDeferred();
}

SoundManager& GetSoundManager() {
    static SoundManager manager;
    return manager;
}
