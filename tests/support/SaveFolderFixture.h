#pragma once
// Points the save folder at a fresh temporary folder for one test.
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "app/core/Application.h"
#include "app/player/PlayerProfile.h"
#include "app/player/SaveFolder.h"
#include "support/TempFolder.h"

class SaveFolderTest : public testing::Test {
protected:
    TempFolder temp;
    ScopedEnv dataHome{"XDG_DATA_HOME", temp.Path().c_str()};

    std::string SavePath(const std::string& name) const { return temp / ("Tervalis/" + name); }
    std::string ReadSave(const std::string& name) const { return temp.Read("Tervalis/" + name); }
    bool WriteSave(const std::string& name, const std::string& bytes) const
    {
        EnsureSaveFolder();
        return temp.Write("Tervalis/" + name, bytes);
    }
};

// Makes every file write beyond `limit` bytes fail for one scope, as a full
// disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

// The application's player `name` with `exp` experience, saved in the save
// folder; false when it could not be saved.
inline bool StartProfile(const char* name, u32 exp)
{
    PlayerProfile& profile = GetApplication()->Profile();
    std::snprintf(profile.name, sizeof profile.name, "%s", name);
    profile.exp = exp;
    profile.rankLevel = RankForExp(exp);
    return profile.Save() == 1;
}
