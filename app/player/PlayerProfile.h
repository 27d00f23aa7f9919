#pragma once
// The player's profile: name, experience and military rank, kept in a small
// scrambled ".psd" file in the save folder.
#include <string>
#include <vector>

#include "platform/core/Types.h"

inline constexpr u32 ProfileFileSize = 272;
inline constexpr u32 MaxRankLevel = 30;
// The most a robot's score may reach, either way, in one battle: as wide as
// the result table's score column. Anything beyond is damaged or forged.
inline constexpr i32 MaxBattleScore = 9999999;

// The experience one online battle gives: a bonus (a win's, or a loss's
// penalty) and the own score, summed without overflow and bounded to what
// one battle can award or take.
i32 BattleExperience(i32 bonus, i32 score);

class PlayerProfile {
public:
    // Adds a signed amount; the total stays within 0..0x7FFFFFFF.
    // Returns the new rank level.
    u32 AddExp(i32 delta);
    // 1 when the profile file was written safely, 0 otherwise (the old file
    // is then untouched).
    int Save();
    // 1 when a valid profile of that name was read; 0 when there is none
    // (a new player); -1 when its file is there but unreadable or no
    // profile, and was set aside (SetAsideKeptFile). 0 and -1 leave the
    // profile as it was.
    int Load(const char* profileName);
    void Clear();

    // Builds the 272-byte file image with the given scramble word.
    void WriteImage(u8 out[ProfileFileSize], u32 scrambleWord) const;
    // Reads a 272-byte file image; 0 (profile unchanged) when it is not a
    // profile.
    int ReadImage(const u8* data, u32 size);

    char name[256] = {};
    u32 exp = 0;
    u32 rankLevel = 0;
};

// Rank level of an experience total (0..30).
u32 RankForExp(u32 exp);
// Experience threshold k (0..30).
u32 RankThreshold(u32 k);
// Writes the UTF-8 title of a rank level into out, NUL-terminated and never
// past outSize bytes; a smaller buffer gets the whole characters that fit.
// RankTitleBufferSize holds every title.
inline constexpr u32 RankTitleBufferSize = 16;
void GetRankTitle(u32 level, char* out, size_t outSize);

void ListPlayerProfiles(std::vector<std::string>& names);
// 1 when the file was deleted.
int DeletePlayerProfile(const char* profileName);
