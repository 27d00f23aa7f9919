#include "app/core/Application.h"

#include <cstring>
#include <string>

#include "app/core/SingletonLog.h"
#include "platform/core/FileSystem.h"
#include "platform/core/System.h"

namespace {
constexpr const char* RankingFileNames[RankingTableCount] = {
    "score_ac_e.dat", "score_ac_n.dat", "score_ac_h.dat", "score_sv.dat"};
constexpr u8 DefaultKeyMap[KeyMapSize] = {'Z', 'X', 'C', 'V', 'S', 'A', 'D', 'F', 13, 27};
}  // namespace

CApplication::CApplication()
{
    const std::string here = plat::GetCurrentDirectory();
    std::strncpy(startupDir, here.c_str(), sizeof startupDir - 1);
    language = u16(plat::GetSystemLanguage() & 0x3FF);

    input.keyMap.Create(i32(KeyMapSize));
    if (input.keyMap.IsCreated()) std::memcpy(input.keyMap.Data(), DefaultKeyMap, KeyMapSize);
    for (u32 pad = 0; pad < PadCount; ++pad)
        for (u32 i = 0; i < PadButtonCount; ++i) input.padButtonMap[pad][i] = u8(i);
    input.padKeyMap.Create(i32(PadKeyMapSize));
    input.padKeyMap.Fill(0);

    for (u32 i = 0; i < RankingTableCount; ++i) {
        rankingTables[i].SetDefaults();
        rankingTables[i].SetFileName(RankingFileNames[i]);
    }
    players.Create(PlayerEntryCount);
}

CApplication::~CApplication() { NoteSingletonDestroyed("CApplication"); }

int CApplication::SetCurrentDirectoryTo(const char* folder)
{
    if (!folder || !folder[0]) return plat::SetCurrentDirectory(startupDir) ? 1 : 0;
    const std::string path = std::string(startupDir) + "/" + folder;
    return plat::SetCurrentDirectory(path.c_str()) ? 1 : 0;
}

CApplication* GetApplication()
{
    static CApplication application;
    return &application;
}

constinit cMTRand app_detail::battleRandom;
