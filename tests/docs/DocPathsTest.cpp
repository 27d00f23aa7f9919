// Every path the pages under docs/ name in backticks exists in the tree, so
// the map cannot drift from what it maps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cctype>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Paths from the top folders of the tree: "battle/stage/", "weapon/WeaponBase.cpp".
std::vector<std::string> NamedPaths(const std::string& text)
{
    static const char* const kTops[] = {"platform", "engine", "app",  "battle", "robot", "script",
                                        "weapon",   "frontend", "online", "roomserver", "tools", "tests",
                                        "bench",    "docs",   "data"};
    auto pathChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./-", c); };
    std::vector<std::string> out;
    for (size_t open = text.find('`'); open != std::string::npos;) {
        const size_t close = text.find('`', open + 1);
        if (close == std::string::npos) break;
        const std::string inside = text.substr(open + 1, close - open - 1);
        for (size_t i = 0; i < inside.size(); ++i) {
            // A path starts at a top folder not glued to a longer name before it.
            if (i > 0 && (pathChar(inside[i - 1]) && inside[i - 1] != '-')) continue;
            for (const char* top : kTops) {
                const std::string head = std::string(top) + "/";
                if (inside.compare(i, head.size(), head) != 0) continue;
                size_t j = i + head.size();
                while (j < inside.size() && pathChar(inside[j])) ++j;
                out.push_back(inside.substr(i, j - i));
                i = j - 1;
                break;
            }
        }
        open = text.find('`', close + 1);
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
