#include "app/player/PlayerProfile.h"

#include <algorithm>
#include <cstring>

#include "app/core/Application.h"
#include "app/core/ByteIo.h"
#include "app/player/SaveFolder.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/core/TextCodec.h"

namespace {

constexpr u8 ProfileMagic[4] = {'N', 'P', 'S', 'D'};
constexpr u32 ProfileBodyOffset = 8;
constexpr u32 MaxExp = 0x7FFFFFFFu;

std::string ProfileFileName(const char* profileName)
{
    if (!profileName || !profileName[0]) return {};
    std::string file = std::string(profileName) + ".psd";
    return IsPlainFileName(file.c_str()) ? file : std::string();
}

}  // namespace

u32 RankThreshold(u32 k)
{
    if (k >= MaxRankLevel) return 0xFFFFFFFFu;
    return 10000u * (k * k + 2 * k + 3);
}

u32 RankForExp(u32 exp)
{
    for (u32 k = 0; k <= MaxRankLevel; ++k)
        if (exp <= RankThreshold(k)) return k;
    return MaxRankLevel;
}

void GetRankTitle(u32 level, char* out, size_t outSize)
{
    if (!out || outSize == 0) return;
    static const char* const titles[18] = {
        "训练兵", "三等兵", "二等兵", "一等兵", "下士", "中士",
        "上士",   "少尉",   "中尉",   "上尉",   "少校", "中校",
        "上校",   "准将",   "少将",   "中将",   "上将", "元帅",
    };
    const char* title = titles[std::min<u32>(level, 17)];
    size_t n = 0;
    for (;;) {
        const size_t step = plat::Utf8SequenceLength(u8(title[n]));
        if (title[n] == '\0' || step == 0 || n + step + 1 > outSize) break;
        n += step;
    }
    std::memcpy(out, title, n);
    out[n] = '\0';
}

i32 BattleExperience(i32 bonus, i32 score)
{
    const i64 bound = i64(MaxBattleScore) + 20000;
    const i64 sum = std::clamp<i64>(bonus, -20000, 20000) + std::clamp<i64>(score, -MaxBattleScore, MaxBattleScore);
    return i32(std::clamp<i64>(sum, -bound, bound));
}

u32 PlayerProfile::AddExp(i32 delta)
{
    // Saturate at both ends: a big win never wraps the total back to 0.
    const i64 total = std::clamp<i64>(i64(exp) + delta, 0, MaxExp);
    exp = u32(total);
    rankLevel = RankForExp(exp);
    return rankLevel;
}

void PlayerProfile::Clear()
{
    std::memset(name, 0, sizeof name);
    exp = 0;
    rankLevel = 0;
}

void PlayerProfile::WriteImage(u8 out[ProfileFileSize], u32 scrambleWord) const
{
    std::memcpy(out, ProfileMagic, 4);
    PutU32(out + 4, scrambleWord);
    // The stored name is always terminated and never ends inside a character.
    char field[sizeof name];
    std::memcpy(field, name, sizeof name);
    field[sizeof field - 1] = '\0';
    TrimSplitCharacter(field);
    std::memset(out + 8, 0, sizeof name);
    std::memcpy(out + 8, field, std::strlen(field));
    PutU32(out + 264, exp);
    PutU32(out + 268, rankLevel);
    XorWords(out + ProfileBodyOffset, ProfileFileSize - ProfileBodyOffset, scrambleWord);
}

int PlayerProfile::ReadImage(const u8* data, u32 size)
{
    if (!data || size != ProfileFileSize || std::memcmp(data, ProfileMagic, 4) != 0) return 0;
    std::vector<u8> body(data + ProfileBodyOffset, data + size);
    XorWords(body.data(), u32(body.size()), GetU32(data + 4));
    // Saves zero the name block past the name and never store more EXP than
    // MaxExp: anything else is a damaged scramble word or body, whose name
    // and EXP would be noise.
    const u8* block = body.data();
    const u8* nameEnd = std::find(block, block + sizeof name, u8(0));
    if (std::any_of(nameEnd, block + sizeof name, [](u8 b) { return b != 0; })) return 0;
    if (GetU32(body.data() + 256) > MaxExp) return 0;
    ReadFixedText(name, body.data(), sizeof name);
    exp = GetU32(body.data() + 256);
    rankLevel = GetU32(body.data() + 260);
    if (rankLevel > MaxRankLevel) rankLevel = RankForExp(exp);
    return 1;
}

int PlayerProfile::Save()
{
    const std::string file = ProfileFileName(name);
    if (file.empty()) return 0;
    u8 image[ProfileFileSize];
    WriteImage(image, GetApplication()->random.GetRand());
    return WriteSaveFile(file.c_str(), image, ProfileFileSize) ? 1 : 0;
}

int PlayerProfile::Load(const char* profileName)
{
    const std::string file = ProfileFileName(profileName);
    if (file.empty()) return 0;
    return LoadSaveFile(file.c_str(), ProfileFileSize,
                        [this](const u8* data, u32 size) { return ReadImage(data, size) == 1; });
}

void ListPlayerProfiles(std::vector<std::string>& names)
{
    names.clear();
    const std::string folder = GetSaveFolder();
    if (folder.empty()) return;
    plat::FileFind find;
    plat::FindEntry entry;
    for (bool more = find.First((folder + "/*.psd").c_str(), entry); more; more = find.Next(entry)) {
        if (entry.isDirectory || entry.name == "." || entry.name == "..") continue;
        if (entry.name.size() < 4) continue;
        names.push_back(entry.name.substr(0, entry.name.size() - 4));
    }
}

int DeletePlayerProfile(const char* profileName)
{
    const std::string file = ProfileFileName(profileName);
    if (file.empty()) return 0;
    const std::string path = SaveFilePath(file.c_str());
    if (path.empty()) return 0;
    return plat::DeleteFile(path.c_str()) ? 1 : 0;
}
