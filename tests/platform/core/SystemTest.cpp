#include "platform/core/System.h"

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

}  // namespace
