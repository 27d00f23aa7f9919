#include "app/player/SaveFolder.h"

#include <cstring>
#include <functional>
#include <string>

#include "app/core/Application.h"
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

} // namespace

class SaveFileRead : public SaveFolderTest {};

// An unreadable file is no missing file: each save kind keeps what is on
// disk untouched after a failed read, however often the game loads and saves,
// and the player is told once.
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
        testing::internal::CaptureStderr();
        {
            ReadFault fault;
            EXPECT_EQ(c.load(), 0) << c.file;
            EXPECT_EQ(c.load(), 0) << c.file;
        }
        EXPECT_TRUE(SaveFileIsKept(c.file));
        EXPECT_EQ(c.save(), 0) << c.file;
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Count(told, "could not be read"), 1u) << c.file << ": " << told;
        EXPECT_EQ(ReadSave(c.file), before) << c.file;
    }
    // A file that is simply not there is a first start, not a fault.
    PartInventory fresh;
    EXPECT_EQ(fresh.Load("vant-E"), 0);
    EXPECT_FALSE(SaveFileIsKept("vant-E"));
    EXPECT_EQ(fresh.Save("vant-E"), 1);
}

TEST_F(SaveFileRead, StartUpRemovesOnlyTheTemporaryFilesOfInterruptedSaves)
{
    ASSERT_TRUE(WriteSave("vant-D", "kept"));
    ASSERT_TRUE(WriteSave("vant-D.tmp-a1B2c3", "half"));
    ASSERT_TRUE(WriteSave("notes.tmp-x", "mine"));
    ASSERT_TRUE(WriteSave("Ace.psd.tmp-ZZZZZZ", "half"));
    RemoveInterruptedSaves();
    EXPECT_EQ(ReadSave("vant-D"), "kept");
    EXPECT_EQ(ReadSave("notes.tmp-x"), "mine");
    EXPECT_FALSE(plat::PathExists(SavePath("vant-D.tmp-a1B2c3").c_str()));
    EXPECT_FALSE(plat::PathExists(SavePath("Ace.psd.tmp-ZZZZZZ").c_str()));
}
