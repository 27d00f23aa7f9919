#include "platform/System.h"

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {

TEST(System, LanguageFollowsTheFirstLocaleVariableSet) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", "ja_JP.UTF-8");
    EXPECT_EQ(plat::GetSystemLanguage(), plat::LanguageJapanese);
    {
        ScopedEnv m("LC_MESSAGES", "zh_CN.UTF-8");
        EXPECT_EQ(plat::GetSystemLanguage(), plat::LanguageChinese);
        ScopedEnv a("LC_ALL", "C");
        EXPECT_EQ(plat::GetSystemLanguage(), plat::LanguageEnglish);
    }
    ScopedEnv none("LANG", nullptr);
    EXPECT_EQ(plat::GetSystemLanguage(), plat::LanguageEnglish);
}

TEST(System, AppDataFolderPrefersXdgThenHome) {
    ScopedEnv home("HOME", "/home/pilot");
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/data/xdg");
        EXPECT_EQ(plat::GetLocalAppDataFolder(), "/data/xdg");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", "relative/ignored");
        EXPECT_EQ(plat::GetLocalAppDataFolder(), "/home/pilot/.local/share");
    }
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(plat::GetLocalAppDataFolder(), "/home/pilot/.local/share");
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(plat::GetLocalAppDataFolder(), "");
}

}  // namespace
