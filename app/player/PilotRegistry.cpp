#include "app/player/PilotRegistry.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/core/SingletonLog.h"
#include "app/player/SaveFolder.h"
#include "engine/core/AssetFile.h"
#include "engine/core/ComplaintLog.h"
#include "engine/core/ScriptTokenizer.h"
#include "engine/sound/VoiceDecoder.h"
#include "platform/core/DecodeHelper.h"
#include "platform/gfx/TextureFile.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/core/TextCodec.h"

namespace {

constexpr const char* DefaultPilotName = "無名兵";

PilotScript::MessageHook g_messageHook = nullptr;
std::atomic<u64> g_lineCountWork{0};

void Complain(const char* text, const char* caption = "")
{
    if (g_messageHook) g_messageHook(text);
    else plat::ShowMessageBox(nullptr, text, caption);
}

// A pilot script's complaints, placed by the reader's line: the tokenizer's
// own complaints go the same way.
class ScriptComplaints {
public:
    ScriptComplaints(ScriptTokenizer& tokenizer, const char* fileName) : tokenizer_(tokenizer), log_(fileName, Complain)
    {
        tokenizer_.SetReporter(&ScriptComplaints::FromTokenizer, this);
    }
    ~ScriptComplaints() { tokenizer_.SetReporter(nullptr, nullptr); }
    ScriptComplaints(const ScriptComplaints&) = delete;
    ScriptComplaints& operator=(const ScriptComplaints&) = delete;

    void Add(const char* text, const char* caption = "") { log_.Add(text, caption, "line " + std::to_string(Line())); }

private:
    static void FromTokenizer(void* self, const char* text, const char* caption)
    {
        static_cast<ScriptComplaints*>(self)->Add(text, caption);
    }
    // Line of the cursor, counted on from the last complaint's place: a
    // script full of mistakes is walked once, not once per mistake.
    u32 Line()
    {
        const char* text = tokenizer_.GetText();
        const char* cursor = tokenizer_.GetCursor();
        if (text != countedText_ || cursor < countedTo_) {
            countedText_ = countedTo_ = text;
            line_ = 1;
        }
        g_lineCountWork += u64(cursor - countedTo_);
        for (; countedTo_ < cursor; ++countedTo_)
            if (*countedTo_ == '\n') ++line_;
        return line_;
    }

    ScriptTokenizer& tokenizer_;
    ComplaintLog log_;
    const char* countedText_ = nullptr;
    const char* countedTo_ = nullptr;
    u32 line_ = 1;
};

u32 FileSizeOf(const char* file)
{
    const plat::FileId f = plat::OpenFile(file, plat::FileMode::Read);
    if (f == plat::InvalidFile) return 0;
    const i64 size = plat::GetFileSize(f);
    plat::CloseFile(f);
    return size > 0 && size < 0xFFFFFFFFll ? u32(size) : 0;
}

// The first line of a text file, as a text-mode line read of at most
// maxBytes bytes: a line that fits keeps its line break. Cut so that no
// character is split. False when the file does not open.
bool ReadFirstLine(const char* file, char* out, size_t outSize, size_t maxBytes)
{
    std::memset(out, 0, outSize);
    const plat::FileId f = plat::OpenFile(file, plat::FileMode::Read);
    if (f == plat::InvalidFile) return false;
    char buffer[512] = {};
    const i64 got = plat::ReadFile(f, buffer, sizeof buffer - 1);
    plat::CloseFile(f);
    if (got <= 0) return true;
    std::string line(buffer, size_t(got));
    line.resize(std::strlen(line.c_str()));
    if (const size_t lf = line.find('\n'); lf != std::string::npos) line.resize(lf + 1);
    if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n') line.erase(line.size() - 2, 1);
    if (line.size() > maxBytes) line.resize(maxBytes);
    plat::Utf8CopyTruncated(out, std::min(outSize, maxBytes + 1), line.c_str());
    return true;
}

// The pilot's name is the first line of "pilot.txt" without its line break:
// a name ending in one splits kill-log lines and is refused as a login ID.
void ReadPilotName(char* name, size_t size)
{
    ReadFirstLine("pilot.txt", name, size, 24);
    name[std::strcspn(name, "\r\n")] = '\0';
}

void ReadRadioTexts(PilotSlot& slot)
{
    for (int i = 0; i < RadioTextCount; ++i) {
        char file[16];
        std::snprintf(file, sizeof file, "%d.txt", i);
        ReadFirstLine(file, slot.radioTexts[i], sizeof slot.radioTexts[i], 98);
    }
}

// Changes into a folder for one scope and back again.
class FolderScope {
public:
    explicit FolderScope(const char* folder) : saved_(plat::GetCurrentDirectory())
    {
        entered_ = folder && plat::SetCurrentDirectory(folder);
    }
    ~FolderScope() { plat::InheritCurrentDirectory(saved_); }
    bool Entered() const { return entered_; }

private:
    std::string saved_;
    bool entered_ = false;
};

bool StartsWith(const char* at, const char* word) { return std::strncmp(at, word, std::strlen(word)) == 0; }

// After a command word: blanks and the opening bracket.
void OpenOperands(ScriptTokenizer& t, const char* word)
{
    t.Advance(std::strlen(word));
    t.SkipBlanks();
    t.Advance(1);
}

// After the operands: blanks and the closing bracket.
void CloseOperands(ScriptTokenizer& t)
{
    t.SkipBlanks();
    t.Advance(1);
}

bool InTable(i32 n, i32 size) { return n >= 0 && n < size; }

// A file-name operand; blanks before the closing bracket are not part of it.
void ReadName(ScriptTokenizer& t, char (&out)[256])
{
    t.ReadToken(out);
    size_t n = std::strlen(out);
    while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t')) out[--n] = '\0';
}

std::string MegaBytes(u64 bytes) { return std::to_string(bytes >> 20) + " MB"; }

const AiPilotRecord AiPilots[AiPilotCount] = {
    {"(AI)42    ", 10},
    {"(AI)41  ", 10},
    {"(AI)40    ", 10},
    {"(AI)39  ", 10},
    {"(AI)38  ", 10},
    {"(AI)37  ", 9},
    {"(AI)36    ", 9},
    {"(AI)35    ", 8},
    {"(AI)34        ", 8},
    {"(AI)33    ", 8},
    {"(AI)32", 7},
    {"(AI)31", 7},
    {"(AI)30  ", 6},
    {"(AI)29  ", 5},
    {"(AI)28  ", 5},
    {"(AI)27  ", 4},
    {"(AI)26  ", 3},
    {"(AI)25  ", 1},
    {"(AI)24    ", 1},
    {"(AI)23    ", 10},
    {"(AI)22  ", 1},
    {"(AI)21  ", 2},
    {"(AI)20  ", 2},
    {"(AI)19  ", 2},
    {"(AI)18  ", 2},
    {"(AI)17  ", 2},
    {"(AI)16  ", 2},
    {"(AI)15  ", 2},
    {"(AI)14  ", 2},
    {"(AI)21  ", 2},
    {"(AI)13  ", 2},
    {"(AI)12  ", 2},
    {"(AI)11  ", 2},
    {"(AI)10    ", 2},
    {"(AI)29  ", 2},
    {"(AI)9   ", 2},
    {"(AI)8   ", 2},
    {"(AI)7   ", 2},
    {"(AI)6   ", 2},
    {"(AI)5   ", 2},
    {"(AI)4    ", 2},
    {"(AI)3   ", 2},
    {"(AI)2   ", 2},
    {"(AI)1   ", 2},
};

}  // namespace

// A peer's picture on the worker: decoded in the helper, within what the
// pilot's pictures have left.
struct PictureDecodeJob : DecodeJob {
    ~PictureDecodeJob() override
    {
        if (charged > 0) budget->Give(charged);
    }
    void Run() override
    {
        const plat::DecodeStatus status =
            plat::DecodePngInHelper(png.data(), u32(png.size()), PilotPeerPictureEdge, budget->left.load(), &width,
                                    &height, &bgra, &offset, &cancelled);
        png = std::vector<u8>();
        // Another picture may have taken from the budget meanwhile.
        if (status == plat::DecodeStatus::Ok && budget->Take(bgra.size() - offset)) {
            charged = bgra.size() - offset;
            return;
        }
        bgra = std::vector<u8>();
        refusal = status == plat::DecodeStatus::Unreadable                                  ? VoiceRefusal::Unreadable
                  : status == plat::DecodeStatus::Ok || status == plat::DecodeStatus::OverBudget ? VoiceRefusal::OverBudget
                                                                                              : VoiceRefusal::Failed;
    }

    std::vector<u8> png;
    std::shared_ptr<DecodeBudget> budget;
    std::vector<u8> bgra;  // the pixels from offset on; empty when refused
    size_t offset = 0;
    u32 width = 0, height = 0;
    u64 charged = 0;
    VoiceRefusal refusal = VoiceRefusal::None;
    VoiceRefusalTell tell;
};

// ---------------------------------------------------------------- slot

PilotSlot::PilotSlot()
    : voiceBudget_(std::make_shared<DecodeBudget>(PilotVoiceBudget)),
      pictureBudget_(std::make_shared<DecodeBudget>(PilotPictureBudget))
{
    Clear();
}

PilotSlot::~PilotSlot() = default;

void PilotSlot::Clear()
{
    std::memset(name, 0, sizeof name);
    pictureSource = 1;
    for (std::string& s : pictureNames) s.clear();
    for (std::string& s : voiceNames) s.clear();
    for (i32 n = 0; n < PilotPictureCount; ++n) ReleasePicture(n);
    currentVoice = nullptr;
    for (SoundObject& sound : sounds) sound.Free();
    for (auto& frames : animations) frames.clear();
    std::memset(radioTexts, 0, sizeof radioTexts);
    voiceBytes = radioVoiceBytes = pictureBytes = scriptPictureBytes = 0;
    folderIndex = 0;
    uploadReceived = 0;
    uploadTotal = -1;
    voiceRefusalTold = false;
}

void PilotSlot::SetDefaultNameIfEmpty()
{
    if (!name[0]) plat::Utf8CopyTruncated(name, sizeof name, DefaultPilotName);
}

void PilotSlot::ReleasePicture(i32 n)
{
    pictures[n].Release();
    pictureBudget_->Give(pictureCharge_[n]);
    pictureCharge_[n] = 0;
    if (pendingPictures_[n]) pendingPictures_[n]->cancelled = true;
    pendingPictures_[n].reset();
}

u32 PilotSlot::LoadPicture(i32 n, const char* file)
{
    if (!InTable(n, PilotPictureCount) || !file) return 0;
    ReleasePicture(n);
    plat::ImageInfo info;
    if (plat::Succeeded(plat::GetImageInfoFromFile(file, &info))) {
        // Told by the header, before a pixel is decoded.
        const u64 bytes = u64(info.width) * info.height * 4;
        if (!pictureBudget_->Take(bytes)) {
            plat::ReportLoadFailure(file, ("is refused: the pilot's pictures may take " +
                                           MegaBytes(PilotPictureBudget) + " at most").c_str());
            return FileSizeOf(file);
        }
        pictureCharge_[n] = bytes;
    }
    pictures[n].LoadFileEx(file, plat::kGfxFromFile, plat::kGfxFromFile, 1, 0, plat::GfxFormat::Unknown,
                           plat::GfxPool::Managed, plat::ImageFilterNone, plat::ImageFilterNone, 0, nullptr);
    if (pictures[n].texture == nullptr) {
        pictureBudget_->Give(pictureCharge_[n]);
        pictureCharge_[n] = 0;
    }
    return FileSizeOf(file);
}

void PilotSlot::TakePicture(i32 n, const u8* png, u32 size, VoiceRefusalTell tell)
{
    if (!InTable(n, PilotPictureCount)) return;
    // The picture shown stays until its successor is decoded: a face sent
    // again (each return to the room, each ready) would otherwise leave its
    // row without one for as long as the decoding takes. Its share of the
    // budget goes back now, so the successor is judged as if it were alone.
    pictureBudget_->Give(pictureCharge_[n]);
    pictureCharge_[n] = 0;
    if (pendingPictures_[n]) pendingPictures_[n]->cancelled = true;
    pendingPictures_[n].reset();
    auto job = std::make_shared<PictureDecodeJob>();
    job->png.assign(png, png + size);
    job->lane = this;
    job->budget = pictureBudget_;
    job->tell = std::move(tell);
    if (!GetVoiceDecoder().Queue(job)) return;
    pendingPictures_[n] = std::move(job);
    decoding_ = true;
}

u32 PilotSlot::LoadVoice(i32 n, const char* file, i32 extraVoices)
{
    if (!InTable(n, PilotSoundCount) || !file) return 0;
    // The current voice may belong to the sound about to be freed.
    currentVoice = nullptr;
    sounds[n].Free();
    const u32 size = FileSizeOf(file);
    if (size == 0) return 0;
    const std::string name = plat::GetCurrentDirectory() + "/" + file;
    auto report = [name](VoiceRefusal refusal) {
        if (refusal == VoiceRefusal::TooBig)
            plat::ReportLoadFailure(name.c_str(), ("is refused: a voice file may take " +
                                                   MegaBytes(kMaxVoiceFileBytes) + " at most").c_str());
        else if (refusal == VoiceRefusal::TooLong)
            plat::ReportLoadFailure(name.c_str(), ("is refused: a voice may last " +
                                                   std::to_string(kMaxVoiceSeconds) + " s at most").c_str());
        else if (refusal == VoiceRefusal::OverBudget)
            plat::ReportLoadFailure(name.c_str(), ("is refused: the pilot's voices may take " +
                                                   MegaBytes(PilotVoiceBudget) + " of samples at most").c_str());
        else if (refusal == VoiceRefusal::Failed)
            plat::ReportLoadFailure(name.c_str(), "is refused: it could not be decoded safely");
    };
    if (size > kMaxVoiceFileBytes) {
        report(VoiceRefusal::TooBig);
        return size;
    }
    FileBuffer bytes;
    if (!bytes.Load(file)) return size;
    report(TakeVoice(n, bytes.data, bytes.size, extraVoices, report));
    return size;
}

VoiceRefusal PilotSlot::TakeVoice(i32 n, const u8* ogg, u32 size, i32 extraVoices, VoiceRefusalTell tell)
{
    if (!InTable(n, PilotSoundCount)) return VoiceRefusal::Unreadable;
    currentVoice = nullptr;
    sounds[n].Free();
    const VoiceRefusal refusal = sounds[n].LoadVoiceData(ogg, size, 0, extraVoices, voiceBudget_, std::move(tell), this);
    decoding_ = decoding_ || sounds[n].Decoding();
    return refusal;
}

void PilotSlot::TakeDecoded()
{
    if (!decoding_) return;
    bool more = false;
    for (SoundObject& sound : sounds) {
        if (sound.Decoding()) sound.TakeDecoded();
        more = more || sound.Decoding();
    }
    for (i32 n = 0; n < PilotPictureCount; ++n) {
        std::shared_ptr<PictureDecodeJob>& job = pendingPictures_[n];
        if (!job) continue;
        if (!job->done.load(std::memory_order_acquire)) {
            more = true;
            continue;
        }
        const std::shared_ptr<PictureDecodeJob> done = std::move(job);
        job.reset();
        if (done->bgra.empty() || !pictures[n].LoadBgra(done->bgra.data() + done->offset, done->width, done->height)) {
            // A refused successor takes the old picture with it, as a
            // picture the peer no longer sends.
            pictures[n].Release();
            if (done->tell) done->tell(done->bgra.empty() ? done->refusal : VoiceRefusal::Failed);
            continue;
        }
        // The picture now holds what the job took.
        pictureCharge_[n] = done->charged;
        done->charged = 0;
    }
    decoding_ = more;
}

u64 PilotSlot::VoiceSampleBytes() const { return voiceBudget_->Held(); }

u64 PilotSlot::PictureBytesHeld() const { return pictureBudget_->Held(); }

CDSBufferNode* PilotSlot::PlayCombatVoice(i32 firstSlot)
{
    if (currentVoice && currentVoice->IsPlaying()) currentVoice->Stop();
    const u32 v = (GetApplication()->random.GetRand() % 500) / 100;
    currentVoice = sounds[firstSlot + i32(v)].Play(kVolumeSlotVoices, 0);
    return currentVoice;
}

void PilotSlot::LoadHeader(const char* folder)
{
    FolderScope scope(folder);
    if (scope.Entered()) {
        ScriptTokenizer tokenizer;
        if (tokenizer.LoadFile("pilot.spt", 0)) {
            std::string face;
            PilotScript::FindFacePicture(tokenizer, "pilot.spt", face);
            pictureSource = 2;
            LoadPicture(0, face.c_str());
        } else {
            pictureSource = 1;
            LoadPicture(0, "face.png");
        }
        ReadPilotName(name, sizeof name);
    }
    SetDefaultNameIfEmpty();
}

void PilotSlot::Load(const char* folder)
{
    FolderScope scope(folder);
    if (!scope.Entered()) {
        SetDefaultNameIfEmpty();
        return;
    }
    ScriptTokenizer tokenizer;
    if (tokenizer.LoadFile("pilot.spt", 0)) {
        pictureSource = 2;
        PilotScript::Run(tokenizer, "pilot.spt", *this);
        ReadPilotName(name, sizeof name);
        SetDefaultNameIfEmpty();
        ReadRadioTexts(*this);
        return;
    }

    voiceBytes = radioVoiceBytes = pictureBytes = 0;
    pictureSource = 1;
    char file[32];
    for (int i = 0; i < RadioTextCount; ++i) {
        std::snprintf(file, sizeof file, "%d.ogg", i);
        const u32 size = LoadVoice(i, file, 0);
        voiceBytes += size;
        radioVoiceBytes += size;
    }
    ReadRadioTexts(*this);
    static const struct {
        const char* kind;
        i32 slot;
    } kinds[] = {{"atk", VoiceAttack},   {"s_atk", VoiceSpecialAttack}, {"dmg", VoiceDamage},
                 {"die", VoiceDie},      {"destroy", VoiceDestroy},     {"rebirth", VoiceRebirth},
                 {"wake", VoiceWake}};
    for (const auto& kind : kinds) {
        for (int v = 0; v < 5; ++v) {
            std::snprintf(file, sizeof file, "%s%d.ogg", kind.kind, v + 1);
            voiceBytes += LoadVoice(kind.slot + v, file, 3);
        }
    }
    pictureBytes += LoadPicture(0, "face.png");
    ReadPilotName(name, sizeof name);
    SetDefaultNameIfEmpty();
}

// ---------------------------------------------------------------- script

void PilotScript::SetMessageHook(MessageHook hook) { g_messageHook = hook; }
u64 PilotScript::LineCountWork() { return g_lineCountWork.load(); }

int PilotScript::Run(ScriptTokenizer& t, const char* fileName, PilotSlot& slot)
{
    ScriptComplaints complaints(t, fileName);
    slot.voiceBytes = slot.radioVoiceBytes = slot.pictureBytes = slot.scriptPictureBytes = 0;
    i32 animation = 0;
    i32 frame = 0;
    char text[256];
    for (;;) {
        const char* at = t.GetCursor();
        const char c = *at;
        if (c == '\0') return 1;
        if (c == ' ' || c == '\t' || c == ';') {
            t.Advance(1);
        } else if (c == '\r' || c == '\n') {
            // Windows line ends (CR LF); a lone LF or CR too.
            t.Advance(c == '\r' && at[1] == '\n' ? 2 : 1);
        } else if (c == '\'') {
            t.SkipLine();
        } else if (StartsWith(at, "LoadPic")) {
            OpenOperands(t, "LoadPic");
            const i32 n = t.GetInt();
            ReadName(t, text);
            CloseOperands(t);
            if (!InTable(n, PilotPictureCount)) {
                complaints.Add("不正なLoadPic番号");
                continue;
            }
            // A pilot's files are read from its folder and sent to every room:
            // a name that leaves the folder is never read.
            if (!IsPlainFileName(text)) {
                complaints.Add("不正なファイル名");
                continue;
            }
            const u32 size = slot.LoadPicture(n, text);
            slot.pictureNames[n] = text;
            slot.pictureBytes += size;
            slot.scriptPictureBytes += size;
        } else if (StartsWith(at, "LoadOgg")) {
            OpenOperands(t, "LoadOgg");
            const i32 n = t.GetInt();
            ReadName(t, text);
            CloseOperands(t);
            if (!InTable(n, PilotSoundCount)) {
                complaints.Add("不正なLoadOgg番号");
                continue;
            }
            if (!IsPlainFileName(text)) {
                complaints.Add("不正なファイル名");
                continue;
            }
            const u32 size = slot.LoadVoice(n, text, 0);
            slot.voiceNames[n] = text;
            slot.voiceBytes += size;
            if (n < RadioTextCount) slot.radioVoiceBytes += size;
        } else if (StartsWith(at, "Animation")) {
            OpenOperands(t, "Animation");
            animation = t.GetInt();
            CloseOperands(t);
            // A number outside the ten lists is reported; its frames are
            // then dropped rather than written past the lists.
            if (!InTable(animation, PilotAnimationCount)) complaints.Add("不正なAnimeNo");
            frame = -1;
        } else if (c == '#') {
            t.Advance(1);
            const i32 duration = t.GetInt();
            if (!InTable(animation, PilotAnimationCount)) continue;
            ++frame;
            std::vector<AnimationFrame>& frames = slot.animations[animation];
            if (frames.size() < size_t(frame) + 1) frames.resize(size_t(frame) + 1);
            frames[size_t(frame)].duration = u16(duration);
        } else if (StartsWith(at, "ChangePic") || StartsWith(at, "PlayOgg")) {
            const bool picture = at[0] == 'C';
            OpenOperands(t, picture ? "ChangePic" : "PlayOgg");
            const i32 value = t.GetInt();
            CloseOperands(t);
            if (!InTable(value, picture ? PilotPictureCount : PilotSoundCount)) {
                complaints.Add(picture ? "不正なChangePic番号" : "不正なPlayOgg番号");
                continue;
            }
            // Without a frame of a valid animation there is nothing to change.
            if (!InTable(animation, PilotAnimationCount) || frame < 0 ||
                size_t(frame) >= slot.animations[animation].size()) {
                continue;
            }
            AnimationFrame& f = slot.animations[animation][size_t(frame)];
            if (picture) f.picture = u8(value);
            else f.voice = u8(value);
        } else {
            complaints.Add("不明なスクリプト。読み込み中断");
            return 1;
        }
    }
}

int PilotScript::FindFacePicture(ScriptTokenizer& t, const char* fileName, std::string& outName)
{
    (void)fileName;
    // Only a look for the face: the script's own run reports its mistakes.
    t.SetReporter([](void*, const char*, const char*) {}, nullptr);
    struct Restore {
        ScriptTokenizer& t;
        ~Restore() { t.SetReporter(nullptr, nullptr); }
    } restore{t};
    outName.clear();
    char text[256];
    for (;;) {
        const char* at = t.GetCursor();
        const char c = *at;
        if (c == '\0') return 1;
        if (c == ' ' || c == '\t' || c == ';' || c == '\r' || c == '\n') {
            t.Advance(1);
        } else if (StartsWith(at, "LoadPic")) {
            OpenOperands(t, "LoadPic");
            const i32 n = t.GetInt();
            ReadName(t, text);
            CloseOperands(t);
            if (n == 0) {
                if (IsPlainFileName(text)) outName = text;
                return 1;
            }
        } else {
            t.SkipLine();
        }
    }
}

// ---------------------------------------------------------------- registry

PilotRegistry::~PilotRegistry()
{
    for (PilotSlot& slot : slots) slot.Clear();
    NoteSingletonDestroyed("PilotRegistry");
}

void PilotRegistry::ScanFolders(const char* startupDir)
{
    count = 0;
    const std::string base = std::string(startupDir ? startupDir : ".") + "/pilot";
    plat::FileFind find;
    plat::FindEntry entry;
    for (bool more = find.First((base + "/*").c_str(), entry); more && count < MaxPilots;
         more = find.Next(entry)) {
        if (!entry.isDirectory || entry.name == "." || entry.name == "..") continue;
        folderPaths[count++] = base + "/" + entry.name;
    }
}

void PilotRegistry::LoadPilotHeaders()
{
    for (i32 i = 0; i < count; ++i) {
        slots[i].LoadHeader(folderPaths[i].c_str());
        slots[i].folderIndex = u32(i);
    }
}

void PilotRegistry::LoadPilot(i32 i)
{
    if (i < 0 || i >= count) return;
    slots[i].Load(folderPaths[i].c_str());
    slots[i].folderIndex = u32(i);
}

void PilotRegistry::TakeDecoded()
{
    for (PilotSlot& slot : slots) slot.TakeDecoded();
}

PilotRegistry* GetPilotRegistry()
{
    static PilotRegistry registry;
    return &registry;
}

// ---------------------------------------------------------------- computer pilots

AiPilotRecord AiPilotTable(AiPilotRecord* out, i32 index)
{
    const AiPilotRecord& entry = AiPilots[index >= 0 && index < AiPilotCount ? index : 0];
    if (out) *out = entry;
    return entry;
}

AiPilotRecord GetRandomAiPilot(AiPilotRecord* out)
{
    return AiPilotTable(out, i32(GetBattleRandom().GetRand() % u32(AiPilotCount)));
}
