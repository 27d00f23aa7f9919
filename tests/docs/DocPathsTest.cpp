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

const fs::path kRoot = QUILLON_SOURCE_DIR;

// The top folders of the tree: every folder at its root but hidden ones and
// the build folders.
std::vector<std::string> TopFolders()
{
    std::vector<std::string> tops;
    for (const fs::directory_entry& e : fs::directory_iterator(kRoot)) {
        const std::string name = e.path().filename().string();
        if (e.is_directory() && name[0] != '.' && name.rfind("build", 0) != 0) tops.push_back(name);
    }
    return tops;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Paths from the top folders of the tree: "battle/stage/", "weapon/WeaponBase.cpp".
std::vector<std::string> NamedPaths(const std::string& text, const std::vector<std::string>& tops)
{
    auto pathChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_./-", c); };
    std::vector<std::string> out;
    for (size_t open = text.find('`'); open != std::string::npos;) {
        const size_t close = text.find('`', open + 1);
        if (close == std::string::npos) break;
        const std::string inside = text.substr(open + 1, close - open - 1);
        for (size_t i = 0; i < inside.size(); ++i) {
            // A path starts at a top folder not glued to a longer name before it.
            if (i > 0 && (pathChar(inside[i - 1]) && inside[i - 1] != '-')) continue;
            for (const std::string& top : tops) {
                const std::string head = top + "/";
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
    EXPECT_EQ(NamedPaths("`a/b` `battle/stage/` and `#include \"engine/core/TaskList.h\"` `x/battle/y`",
                         {"battle", "engine"}),
              (std::vector<std::string>{"battle/stage/", "engine/core/TaskList.h"}));
    const std::vector<std::string> tops = TopFolders();
    size_t named = 0;
    for (const fs::directory_entry& page : fs::directory_iterator(kRoot / "docs")) {
        if (page.path().extension() != ".md") continue;
        for (const std::string& p : NamedPaths(ReadText(page.path()), tops)) {
            ++named;
            EXPECT_TRUE(fs::exists(kRoot / p)) << page.path().filename().string() << " names " << p;
        }
    }
    // A pattern that stopped matching would pass every page unread.
    EXPECT_GT(named, 50u);
}

// The map names every top folder, every program's entry point, and every
// file that starts another program (the one that forks and those that go
// through it), so a new program or process boundary cannot go unmapped.
TEST(Docs, TheMapNamesEveryTopFolderProgramAndProcessBoundary)
{
    const std::vector<std::string> tops = TopFolders();
    EXPECT_GE(tops.size(), 15u);
    const std::vector<std::string> paths = NamedPaths(ReadText(kRoot / "docs/architecture.md"), tops);
    const auto named = [&](const std::string& prefix) {
        for (const std::string& p : paths)
            if (p.rfind(prefix, 0) == 0) return true;
        return false;
    };
    for (const std::string& top : tops) EXPECT_TRUE(named(top + "/")) << "the map does not name " << top << "/";

    size_t programs = 0, starters = 0;
    for (const std::string& top : tops) {
        if (top == "tests" || top == "bench") continue;  // test and benchmark programs sit above the map
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(kRoot / top)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            const std::string text = ReadText(e.path());
            const std::string path = fs::relative(e.path(), kRoot).generic_string();
            if (text.find("\nint main(") != std::string::npos) {
                ++programs;
                EXPECT_TRUE(named(path)) << "the map does not name the program " << path;
            }
            bool starts = text.find("#include \"platform/core/Process.h\"") != std::string::npos;
            for (const char* call : {"fork(", "posix_spawn(", "execv", "execl"})
                starts = starts || text.find(call) != std::string::npos;
            if (starts) {
                ++starters;
                // Its family: the header or the source.
                const std::string family = path.substr(0, path.size() - ext.size());
                EXPECT_TRUE(named(family + ".h") || named(family + ".cpp"))
                    << "the map does not name " << path << ", which starts another program";
            }
        }
    }
    EXPECT_GE(programs, 4u);
    EXPECT_GE(starters, 2u);
}

}  // namespace
