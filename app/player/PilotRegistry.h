#pragma once
// Pilots: one folder each under "pilot" in the start-up directory, with a
// face picture, a name, radio texts and voices, optionally described by a
// small script "pilot.spt". Computer pilots come from a fixed table.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/sound/SoundManager.h"
#include "engine/graphics/TextureManager.h"
#include "platform/core/Types.h"

class ScriptTokenizer;

inline constexpr i32 MaxPilots = 500;
inline constexpr i32 PilotPictureCount = 50;
inline constexpr i32 PilotSoundCount = 50;
inline constexpr i32 PilotAnimationCount = 10;
inline constexpr i32 RadioTextCount = 10;
inline constexpr i32 AiPilotCount = 44;
// Samples all the voices of one pilot (a peer's included) may hold: several
// times what a full set of 45 lines of a few seconds takes even at 48 kHz
// stereo, and a bound on what a hostile peer or pilot folder can make the
// game keep.
inline constexpr u64 PilotVoiceBudget = 24u << 20;
// Decoded bytes all the pictures of one pilot (a peer's included) may hold,
// checked from each picture's header before it is decoded: a sample pilot's
// faces and cut-ins take well under 1 MB; this still holds eight pictures
// of 1024 x 1024, or two of 2048 x 2048.
inline constexpr u64 PilotPictureBudget = 32u << 20;
// Widest picture a peer may send: faces and cut-ins are never larger.
inline constexpr u32 PilotPeerPictureEdge = 1024;

struct DecodeBudget;
struct PictureDecodeJob;

// First sound slot of each combat voice kind; five variants follow it.
enum PilotVoiceSlot : i32 {
    VoiceAttack = 10,
    VoiceSpecialAttack = 15,
    VoiceDamage = 20,
    VoiceDie = 25,
    VoiceDestroy = 30,
    VoiceRebirth = 35,
    VoiceWake = 40,
};

struct AnimationFrame {
    u16 duration = 0;
    u8 picture = 0;
    u8 voice = 255; // 255 = none
};

class PilotSlot {
public:
    PilotSlot();
    ~PilotSlot();
    PilotSlot(const PilotSlot&) = delete;
    PilotSlot& operator=(const PilotSlot&) = delete;

    // Face and name only (selection screens).
    void LoadHeader(const char* folder);
    // Everything: pictures, voices, radio texts, animations.
    void Load(const char* folder);
    void Clear();
    // Picture n from a file of the current directory; adds nothing when the
    // number is outside the table. Returns the file's size (0 when missing).
    // A picture that would take the pilot's pictures past
    // PilotPictureBudget, told by its header, is refused and named in the
    // load-failure report.
    u32 LoadPicture(i32 n, const char* file);
    // Picture n from a peer's PNG bytes, replacing the old one (shown until
    // then, gone with it when the new one is refused): decoded in
    // the decoder helper on the worker, refused there when wider than
    // PilotPeerPictureEdge or past PilotPictureBudget, or when it is no
    // PNG or the decoder fails on it (then `tell` hears why on the main
    // thread); shown once TakeDecoded has taken it.
    void TakePicture(i32 n, const u8* png, u32 size, VoiceRefusalTell tell = {});
    // Voice n from an Ogg file of the current directory; extraVoices more
    // copies may overlap. Returns the file's size (0 when missing). A voice
    // refused (see TakeVoice) is named in the load-failure report.
    u32 LoadVoice(i32 n, const char* file, i32 extraVoices);
    // Voice n from Ogg bytes (a file or a peer's upload), replacing the old
    // one, decoded on the worker: refused at once when the file is over
    // kMaxVoiceFileBytes; refused by the worker when it lasts longer than
    // kMaxVoiceSeconds or would take the pilot's voices past
    // PilotVoiceBudget, which `tell` then hears on the main thread.
    VoiceRefusal TakeVoice(i32 n, const u8* ogg, u32 size, i32 extraVoices, VoiceRefusalTell tell = {});
    // Makes the sounds and pictures the worker has finished, and tells the
    // refusals (main thread, once a frame).
    void TakeDecoded();
    // Samples the pilot's voices hold.
    u64 VoiceSampleBytes() const;
    // Decoded bytes the pilot's pictures hold.
    u64 PictureBytesHeld() const;

    // Combat voices: one of the kind's five at random, after stopping the
    // slot's combat voice that still plays. Returns the started voice.
    CDSBufferNode* PlayAttackVoice() { return PlayCombatVoice(VoiceAttack); }
    CDSBufferNode* PlaySpecialAttackVoice() { return PlayCombatVoice(VoiceSpecialAttack); }
    CDSBufferNode* PlayDamageVoice() { return PlayCombatVoice(VoiceDamage); }
    CDSBufferNode* PlayDieVoice() { return PlayCombatVoice(VoiceDie); }
    CDSBufferNode* PlayDestroyVoice() { return PlayCombatVoice(VoiceDestroy); }
    CDSBufferNode* PlayRebirthVoice() { return PlayCombatVoice(VoiceRebirth); }
    CDSBufferNode* PlayWakeVoice() { return PlayCombatVoice(VoiceWake); }

    char name[25] = {};
    u8 pictureSource = 1; // 1 "face.png", 2 the script
    TextureHandle pictures[PilotPictureCount]; // picture 0 is the face
    std::string pictureNames[PilotPictureCount];
    std::string voiceNames[PilotSoundCount];
    char radioTexts[RadioTextCount][100] = {};
    u32 voiceBytes = 0;
    u32 radioVoiceBytes = 0;
    u32 pictureBytes = 0;
    // 0..9 radio voices, 10..44 combat voices (five per kind).
    SoundObject sounds[PilotSoundCount];
    // The combat voice last started; null when none.
    CDSBufferNode* currentVoice = nullptr;
    std::vector<AnimationFrame> animations[PilotAnimationCount];
    u32 folderIndex = 0;
    u32 scriptPictureBytes = 0;
    // File transfer of an online pilot upload; total -1 while none runs.
    u32 uploadReceived = 0;
    i32 uploadTotal = -1;
    // A refused voice of the current upload was already told in the chat.
    bool voiceRefusalTold = false;

private:
    CDSBufferNode* PlayCombatVoice(i32 firstSlot);
    void ReleasePicture(i32 n);

    std::shared_ptr<DecodeBudget> voiceBudget_;
    std::shared_ptr<DecodeBudget> pictureBudget_;
    u64 pictureCharge_[PilotPictureCount] = {};
    std::shared_ptr<PictureDecodeJob> pendingPictures_[PilotPictureCount];
    // Something was handed to the worker and not yet taken.
    bool decoding_ = false;
    void SetDefaultNameIfEmpty();
};

// The pilot.spt interpreter.
struct PilotScript {
    // Runs a script (already loaded into the tokenizer) on a slot. 1.
    static int Run(ScriptTokenizer& tokenizer, const char* fileName, PilotSlot& slot);
    // The file named by the first LoadPic with index 0 (empty when none). 1.
    static int FindFacePicture(ScriptTokenizer& tokenizer, const char* fileName, std::string& outName);

    // Test hook: where script complaints go; null shows a message box.
    using MessageHook = void (*)(const char* text);
    static void SetMessageHook(MessageHook hook);
    // Test hook: bytes of script text walked so far to tell complaints' lines.
    static u64 LineCountWork();
};

class PilotRegistry {
public:
    PilotRegistry() = default;
    ~PilotRegistry();
    PilotRegistry(const PilotRegistry&) = delete;
    PilotRegistry& operator=(const PilotRegistry&) = delete;

    // Lists up to 500 folders under "<startupDir>/pilot".
    void ScanFolders(const char* startupDir);
    void LoadPilotHeaders();
    // Full load of pilot i; nothing outside 0..count-1.
    void LoadPilot(i32 i);
    // Every slot's PilotSlot::TakeDecoded (main thread, once a frame).
    void TakeDecoded();

    i32 count = 0;
    std::string folderPaths[MaxPilots];
    PilotSlot slots[MaxPilots];
};

PilotRegistry* GetPilotRegistry();

struct AiPilotRecord {
    char name[100];
    u32 level; // 1..10
};

// Entry (battle generator % 44) of the computer-pilot table.
AiPilotRecord GetRandomAiPilot(AiPilotRecord* out);
// Entry index of the table; any index outside 0..43 gives entry 0.
AiPilotRecord AiPilotTable(AiPilotRecord* out, i32 index);
