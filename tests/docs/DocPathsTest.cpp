// Every path the pages under docs/ name in backticks exists in the tree, so
// the map cannot drift from what it maps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Paths from the top folders of the tree: "battle/stage/", "weapon/WeaponBase.cpp".
std::vector<std::string> NamedPaths(const std::string& text)
{
    static const std::regex span("`([^`]+)`");
    static const std::regex path(
        "(?:^|[^A-Za-z0-9_/.])((?:platform|engine|app|battle|robot|script|weapon|frontend|online|roomserver|"
        "tools|tests|bench|docs|data)/[A-Za-z0-9_./-]*)");
    std::vector<std::string> out;
    for (auto s = std::sregex_iterator(text.begin(), text.end(), span); s != std::sregex_iterator(); ++s) {
        const std::string inside = (*s)[1];
        for (auto p = std::sregex_iterator(inside.begin(), inside.end(), path); p != std::sregex_iterator(); ++p)
            out.push_back((*p)[1]);
    }
    return out;
}

TEST(Docs, EveryPathTheDocsNameExists)
{
    EXPECT_EQ(NamedPaths("`a/b` `battle/stage/` and `#include \"engine/core/TaskList.h\"` `x/battle/y`"),
              (std::vector<std::string>{"battle/stage/", "engine/core/TaskList.h"}));
    const fs::path root = QUILLON_SOURCE_DIR;
    size_t named = 0;
    for (const fs::directory_entry& page : fs::directory_iterator(root / "docs")) {
        if (page.path().extension() != ".md") continue;
        std::ifstream in(page.path());
        std::stringstream text;
        text << in.rdbuf();
        for (const std::string& p : NamedPaths(text.str())) {
            ++named;
            EXPECT_TRUE(fs::exists(root / p)) << page.path().filename().string() << " names " << p;
        }
    }
    // A pattern that stopped matching would pass every page unread.
    EXPECT_GT(named, 50u);
}

}  // namespace
