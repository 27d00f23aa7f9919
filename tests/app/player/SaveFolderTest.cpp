#include "app/player/SaveFolder.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/core/Application.h"
#include "app/core/Config.h"
#include "app/core/ScreenShot.h"
#include "app/player/PartInventory.h"
#include "app/player/PlayerProfile.h"
#include "app/player/RankingTable.h"
#include "support/SaveFolderFixture.h"

namespace {

// Every read of a save file fails while one of these lives, as a disk
// error would; the files themselves stay where they are.
struct ReadFault {
    ReadFault() { SetSaveReadFault([](const char*) { return true; }); }
    ~ReadFault() { SetSaveReadFault(nullptr); }
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The lines of text that tell where a file was set aside.
std::vector<std::string> SetAsideLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.find("已保留为") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

std::string ReadFile(const std::string& path)
{
    std::string bytes;
    plat::ReadWholeFile(path.c_str(), bytes);
    return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    return plat::WriteFileAtomic(path.c_str(), bytes.data(), bytes.size());
}

// The run folder stands in a temporary folder for one test.
struct RunFolder {
    explicit RunFolder(const std::string& path)
    {
        std::memcpy(saved, app.startupDir, sizeof saved);
        plat::CreateDirectory(path.c_str());
        std::snprintf(app.startupDir, sizeof app.startupDir, "%s", path.c_str());
    }
    ~RunFolder() { std::memcpy(app.startupDir, saved, sizeof saved); }
    CApplication& app = *GetApplication();
    char saved[sizeof CApplication::startupDir];
};

} // namespace

class SaveFileRead : public SaveFolderTest {};

// Every file the player keeps, damaged twice in a row, as a disk or a hand
// editor would leave it: junk after its end, then its first bytes
// overwritten. Each time the game says once which file went where, plays on
// with defaults and saves a fresh file, and both damaged files are kept
// byte for byte; a read that fails outright is set aside the same way.
TEST_F(SaveFileRead, EveryKeptFileDamagedTwiceKeepsBothDamagedFilesAside)
{
    RunFolder run(temp / "run");
    CApplication& app = *GetApplication();
    const std::string config = ConfigPath(app);
    PartInventory inventory;
    PlayerProfile profile;
    RankingTable ranking;
    ranking.SetDefaults();
    ranking.SetFileName("score_sv.dat");
    struct Case {
        std::string path;
        std::function<int()> save;
        std::function<int()> load; // 1 read, 0 none, -1 set aside
        bool saveFile;             // in the save folder, where reads can be made to fail
    };
    const Case cases[] = {
        {SavePath("Ace.psd"),
         [&] {
             std::strcpy(profile.name, "Ace");
             profile.exp = 0;
             profile.AddExp(987654);
             return profile.Save();
         },
         [&] { return profile.Load("Ace"); }, true},
        {SavePath("vant-D"),
         [&] {
             inventory.Reset();
             for (int i = 0; i < 40; ++i) inventory.AddNewPart()->SetText("Part", "kept");
             inventory.stageFlags[7] = 1;
             return inventory.Save("vant-D");
         },
         [&] { return inventory.Load("vant-D"); }, true},
        {SavePath("score_sv.dat"),
         [&] {
             const u8 name[3] = {5, 6, 7};
             ranking.Insert(name, 99999, 3, 1);
             return ranking.Save();
         },
         [&] { return ranking.Load(); }, true},
        {config,
         [&] {
             app.video.screenWidth = 800;
             app.video.screenHeight = 600;
             return SaveConfig(app, config) ? 1 : 0;
         },
         [&] {
             if (!plat::PathExists(config.c_str())) return 0;
             app.LoadConfig();
             return plat::PathExists(config.c_str()) ? 1 : -1;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(c.save(), 1);
        const std::string good = ReadFile(c.path);
        ASSERT_GT(good.size(), 4u);
        ASSERT_EQ(c.load(), 1) << "a good file reads";
        const std::string damaged[2] = {good + std::string("\0\xFF junk\xFE", 8), "\xFF\xFF\xFF\xFF" + good.substr(4)};
        testing::internal::CaptureStderr();
        for (const std::string& bytes : damaged) {
            ASSERT_TRUE(WriteFile(c.path, bytes));
            EXPECT_EQ(c.load(), -1);
            EXPECT_EQ(c.load(), 0) << "set aside, so the next start is a first start";
            EXPECT_EQ(c.save(), 1) << "the game saves on";
        }
        const std::string last = ReadFile(c.path);
        if (c.saveFile) {
            ReadFault fault;
            EXPECT_EQ(c.load(), -1);
        }
        const std::vector<std::string> told = SetAsideLines(testing::internal::GetCapturedStderr());
        EXPECT_EQ(ReadFile(c.path + ".bad"), damaged[0]);
        EXPECT_EQ(ReadFile(c.path + ".bad.1"), damaged[1]);
        EXPECT_EQ(ReadFile(c.path + ".bad.2"), c.saveFile ? last : "") << "the unreadable one too";
        // Once per damage, naming the file and where it went.
        const size_t slash = c.path.rfind('/');
        ASSERT_EQ(told.size(), c.saveFile ? 3u : 2u) << testing::PrintToString(told);
        const char* const asides[] = {".bad\xEF\xBC\x8C", ".bad.1\xEF\xBC\x8C", ".bad.2\xEF\xBC\x8C"};
        for (size_t i = 0; i < told.size(); ++i) {
            EXPECT_NE(told[i].find(c.path.substr(slash + 1)), std::string::npos) << told[i];
            EXPECT_NE(told[i].find(c.path + asides[i]), std::string::npos) << told[i];
        }
    }
    // Nothing is lost: a file set aside and put back loads as it was.
    ASSERT_TRUE(WriteFile(SavePath("Ace.psd"), ReadFile(SavePath("Ace.psd.bad.2"))));
    profile.Clear();
    EXPECT_EQ(profile.Load("Ace"), 1);
    EXPECT_EQ(profile.exp, 987654u);
}

// A file that can be neither read nor moved aside (every name it could
// take is in use) stays as it is: each save kind refuses to write over it
// however often the game loads and saves, and the player is told once.
TEST_F(SaveFileRead, AFailedReadNeverLetsASaveReplaceTheFile)
{
    struct Case {
        const char* file;
        std::function<void()> prepare; // writes a good file through the game
        std::function<int()> load;
        std::function<int()> save;
    };
    PartInventory inventory;
    PlayerProfile profile;
    RankingTable ranking;
    ranking.SetDefaults();
    ranking.SetFileName("score_sv.dat");
    const Case cases[] = {
        {"vant-D",
         [&] {
             inventory.Reset();
             for (int i = 0; i < 3; ++i) inventory.AddNewPart();
             inventory.stageFlags[7] = 1;
             ASSERT_EQ(inventory.Save("vant-D"), 1);
         },
         [&] { return inventory.Load("vant-D"); }, [&] { return inventory.Save("vant-D"); }},
        {"Ace.psd",
         [&] {
             std::strcpy(profile.name, "Ace");
             profile.AddExp(4242);
             ASSERT_EQ(profile.Save(), 1);
         },
         [&] { return profile.Load("Ace"); }, [&] { return profile.Save(); }},
        {"score_sv.dat",
         [&] {
             const u8 name[3] = {'Z', 'Z', 'Z'};
             ranking.Insert(name, 99999, 3, 1);
             ASSERT_EQ(ranking.Save(), 1);
         },
         [&] { return ranking.Load(); }, [&] { return ranking.Save(); }},
    };
    for (const Case& c : cases) {
        c.prepare();
        const std::string before = ReadSave(c.file);
        ASSERT_FALSE(before.empty()) << c.file;
        for (int n = 0; n < 100; ++n)
            ASSERT_TRUE(WriteSave(c.file + std::string(".bad") + (n ? "." + std::to_string(n) : ""), "earlier"));
        testing::internal::CaptureStderr();
        {
            ReadFault fault;
            EXPECT_EQ(c.load(), -1) << c.file;
            EXPECT_EQ(c.load(), -1) << c.file;
        }
        EXPECT_TRUE(SaveFileIsKept(c.file));
        EXPECT_EQ(c.save(), 0) << c.file;
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Count(told, "本次不会覆盖保存"), 1u) << c.file << ": " << told;
        EXPECT_EQ(ReadSave(c.file), before) << c.file;
        EXPECT_EQ(ReadSave(std::string(c.file) + ".bad.99"), "earlier") << c.file;
    }
    // A file that is simply not there is a first start, not a fault.
    PartInventory fresh;
    EXPECT_EQ(fresh.Load("vant-E"), 0);
    EXPECT_FALSE(SaveFileIsKept("vant-E"));
    EXPECT_EQ(fresh.Save("vant-E"), 1);
}

// A kill cuts short a write wherever the game writes whole files: the
// settings, a screenshot, a profile or the inventory, the registry store.
// The next start removes what each left beside its file, and nothing else.
TEST_F(SaveFileRead, StartUpRemovesWhatInterruptedWritesLeftInEveryFolderAndNothingElse)
{
    RunFolder run(temp / "run");
    ScopedRegistryFile registry(temp / "store/registry.ini");
    const CApplication& app = *GetApplication();
    ASSERT_TRUE(EnsureSaveFolder());
    ASSERT_TRUE(plat::CreateDirectory(ScreenShotFolder(app).c_str()));
    ASSERT_TRUE(plat::CreateDirectory((temp / "store").c_str()));
    const std::string written[] = {ConfigPath(app), ScreenShotFolder(app) + "/Shot000.png", SavePath("vant-D"),
                                   SavePath("Ace.psd"), plat::GetRegistryFile()};
    // Names a player or another program may keep there: only a temporary
    // of a file the game writes in that folder, spelt exactly, is swept.
    const char* const others[] = {"/notes.tmp-x", "/notes.tmp-abcdefg", "/Shot001.png", "/user.tmp-backup",
                                  "/Vacation.TMP-ABCDEF", "/Vacation.png.tmp-ABCDEF"};
    for (const std::string& file : written) {
        const std::string folder = file.substr(0, file.rfind('/'));
        ASSERT_TRUE(WriteFile(file, "kept"));
        ASSERT_TRUE(WriteFile(file + ".tmp-a1B2c3", "half"));
        ASSERT_TRUE(WriteFile(file + ".TMP-Zz9Yy8", "mine"));
        ASSERT_TRUE(WriteFile(file + ".tmp-a1-2.3", "mine"));
        for (const char* other : others) ASSERT_TRUE(WriteFile(folder + other, "mine"));
        ASSERT_TRUE(plat::CreateDirectory((folder + "/album.tmp-Q7xk2P").c_str()));
    }
    RemoveInterruptedWritesAtStartUp(app);
    for (const std::string& file : written) {
        SCOPED_TRACE(file);
        const std::string folder = file.substr(0, file.rfind('/'));
        EXPECT_EQ(ReadFile(file), "kept");
        EXPECT_FALSE(plat::PathExists((file + ".tmp-a1B2c3").c_str()));
        EXPECT_EQ(ReadFile(file + ".TMP-Zz9Yy8"), "mine");
        EXPECT_EQ(ReadFile(file + ".tmp-a1-2.3"), "mine");
        for (const char* other : others) EXPECT_EQ(ReadFile(folder + other), "mine") << other;
        EXPECT_TRUE(plat::IsDirectory((folder + "/album.tmp-Q7xk2P").c_str()));
    }
}
