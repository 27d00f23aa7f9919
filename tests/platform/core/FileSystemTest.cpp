#include "platform/core/FileSystem.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/core/Thread.h"
#include "platform/core/Time.h"
#include "support/TempFolder.h"

namespace {

std::string ReadThrough(const std::string& path) {
    std::string out;
    plat::ReadWholeFile(path.c_str(), out);
    return out;
}

TEST(FileSystem, PathsMatchCaseInsensitivelyWithEitherSeparator) {
    TempFolder tmp;
    ASSERT_TRUE(plat::CreateDirectory((tmp / "Data").c_str()));
    ASSERT_TRUE(plat::CreateDirectory((tmp / "Data/Sub").c_str()));
    ASSERT_TRUE(tmp.Write("Data/Sub/Failed.png", "png!"));

    EXPECT_EQ(ReadThrough(tmp / "data\\sub\\failed.PNG"), "png!");
    EXPECT_EQ(ReadThrough(tmp / "DATA/Sub/./x/../FAILED.png"), "png!");
    EXPECT_EQ(plat::ResolvePath((tmp / "data\\SUB\\failed.png").c_str()),
              tmp / "Data/Sub/Failed.png");
    EXPECT_TRUE(plat::IsDirectory((tmp / "data\\sub").c_str()));
}

TEST(FileSystem, ExactNameWinsOverAnotherCaseAndNewNamesStayAsWritten) {
    TempFolder tmp;
    // Writing "A.txt" would update "a.txt", so the second name is made by
    // renaming outside the layer.
    ASSERT_TRUE(tmp.Write("a.txt", "lower"));
    ASSERT_TRUE(tmp.Write("b.txt", "upper"));
    std::filesystem::rename(tmp / "b.txt", tmp / "A.txt");
    EXPECT_EQ(ReadThrough(tmp / "A.txt"), "upper");
    EXPECT_EQ(ReadThrough(tmp / "a.txt"), "lower");

    ASSERT_TRUE(plat::CreateDirectory((tmp / "Save").c_str()));
    // The existing folder is found; the new file keeps its spelling.
    EXPECT_EQ(plat::ResolvePath((tmp / "save/New.DAT").c_str()), tmp / "Save/New.DAT");
    EXPECT_EQ(plat::OpenFile((tmp / "missing/x.txt").c_str(), plat::FileMode::Write),
              plat::InvalidFile);
}

TEST(FileSystem, AFolderNeverResolvesToAFileOfAnotherCase) {
    // The run folder holds the executable "quillon" beside the data folder "Quillon".
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("quillon", "program"));
    ASSERT_TRUE(plat::CreateDirectory((tmp / "Quillon").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "Quillon"));
    ASSERT_TRUE(tmp.Write("Quillon/dot.png", "picture"));
    EXPECT_EQ(ReadThrough(tmp / "QUILLON/Dot.png"), "picture");
    EXPECT_EQ(ReadThrough(tmp / "Quillon"), "");
    EXPECT_EQ(ReadThrough(tmp / "quillon"), "program");

    CurrentDirectoryGuard guard;
    EXPECT_TRUE(plat::SetCurrentDirectory((tmp / "QUILLON").c_str()));
    EXPECT_EQ(plat::GetCurrentDirectory(), tmp / "Quillon");
}

TEST(FileSystem, WriteTruncatesAndReadSeesTheWholeFile) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("f.bin", "long old content"));
    plat::FileId w = plat::OpenFile((tmp / "F.BIN").c_str(), plat::FileMode::Write);
    ASSERT_NE(w, plat::InvalidFile);
    EXPECT_EQ(plat::WriteFile(w, "new", 3), 3);
    plat::CloseFile(w);

    plat::FileId r = plat::OpenFile((tmp / "f.bin").c_str(), plat::FileMode::Read);
    ASSERT_NE(r, plat::InvalidFile);
    EXPECT_EQ(plat::GetFileSize(r), 3);
    char buf[8] = {};
    EXPECT_EQ(plat::ReadFile(r, buf, sizeof(buf)), 3);
    EXPECT_EQ(std::string(buf), "new");
    EXPECT_EQ(plat::ReadFile(r, buf, sizeof(buf)), 0);
    ASSERT_TRUE(plat::SeekFile(r, 1));
    EXPECT_EQ(plat::ReadFile(r, buf, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "ew");
    plat::CloseFile(r);

    EXPECT_EQ(plat::OpenFile((tmp / "none").c_str(), plat::FileMode::Read), plat::InvalidFile);
    EXPECT_EQ(plat::OpenFile(tmp.Path().c_str(), plat::FileMode::Read), plat::InvalidFile);
    EXPECT_EQ(plat::ReadFile(plat::InvalidFile, buf, 1), -1);
}

TEST(FileSystem, WriterRefusesReadersAndReadersRefuseWriters) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("shared.dat", "keep me"));
    const std::string path = tmp / "shared.dat";

    plat::FileId r1 = plat::OpenFile(path.c_str(), plat::FileMode::Read);
    plat::FileId r2 = plat::OpenFile(path.c_str(), plat::FileMode::Read);
    EXPECT_NE(r1, plat::InvalidFile);
    EXPECT_NE(r2, plat::InvalidFile);
    // A refused writer must not have emptied the file.
    EXPECT_EQ(plat::OpenFile(path.c_str(), plat::FileMode::Write), plat::InvalidFile);
    EXPECT_EQ(plat::GetFileSize(r1), 7);
    plat::CloseFile(r1);
    plat::CloseFile(r2);

    plat::FileId w = plat::OpenFile(path.c_str(), plat::FileMode::Write);
    ASSERT_NE(w, plat::InvalidFile);
    EXPECT_EQ(plat::OpenFile(path.c_str(), plat::FileMode::Read), plat::InvalidFile);
    EXPECT_EQ(plat::OpenFile(path.c_str(), plat::FileMode::Write), plat::InvalidFile);
    plat::CloseFile(w);
    plat::FileId again = plat::OpenFile(path.c_str(), plat::FileMode::Read);
    EXPECT_NE(again, plat::InvalidFile);
    plat::CloseFile(again);
}

TEST(FileSystem, FolderListingMatchesWildcardsAndMarksFolders) {
    TempFolder tmp;
    ASSERT_TRUE(plat::CreateDirectory((tmp / "pilot").c_str()));
    ASSERT_TRUE(plat::CreateDirectory((tmp / "pilot/Alice").c_str()));
    ASSERT_TRUE(tmp.Write("pilot/bob.PSD", "12345"));
    ASSERT_TRUE(tmp.Write("pilot/carol.psd", ""));
    ASSERT_TRUE(tmp.Write("pilot/notes.txt", "x"));

    plat::FileFind find;
    plat::FindEntry e;
    std::vector<std::string> names;
    for (bool ok = find.First((tmp / "PILOT\\*.psd").c_str(), e); ok; ok = find.Next(e)) {
        names.push_back(e.name);
        EXPECT_FALSE(e.isDirectory);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"bob.PSD", "carol.psd"}));

    names.clear();
    bool sawFolder = false;
    for (bool ok = find.First((tmp / "pilot/*").c_str(), e); ok; ok = find.Next(e)) {
        names.push_back(e.name);
        if (e.name == "Alice") sawFolder = e.isDirectory;
        if (e.name == "bob.PSD") {
            EXPECT_EQ(e.size, 5u);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Alice", "bob.PSD", "carol.psd",
                                               "notes.txt"}));
    EXPECT_TRUE(sawFolder);
    EXPECT_FALSE(find.First((tmp / "nowhere/*").c_str(), e));
    EXPECT_FALSE(find.First((tmp / "pilot/*.wav").c_str(), e));
    ASSERT_TRUE(find.First((tmp / "pilot/?ob.p*").c_str(), e));
    EXPECT_EQ(e.name, "bob.PSD");
    EXPECT_FALSE(find.Next(e));
}

TEST(FileSystem, SafeWriteReplacesWholeAndLeavesNoTemporaryFile) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("save.dat", "old"));
    ASSERT_TRUE(tmp.Write("SAVE.dat", "new contents"));  // same file, other case
    EXPECT_EQ(tmp.Read("save.dat"), "new contents");

    plat::FileFind find;
    plat::FindEntry e;
    int files = 0;
    for (bool ok = find.First((tmp / "*").c_str(), e); ok; ok = find.Next(e)) {
        if (!e.isDirectory) ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(plat::WriteFileAtomic((tmp / "no/such/folder.dat").c_str(), "x", 1));
}

TEST(FileSystem, OnlyRegularFilesOpenAndNothingWaitsForAWriter) {
    TempFolder tmp;
    ASSERT_EQ(::mkfifo((tmp / "Config.ini").c_str(), 0600), 0);
    ASSERT_TRUE(plat::CreateDirectory((tmp / "folder").c_str()));
    for (const char* name : {"Config.ini", "folder", "/dev/zero"}) {
        const std::string path = name[0] == '/' ? std::string(name) : tmp / name;
        const u32 start = plat::TimeGetTime();
        EXPECT_EQ(plat::OpenFile(path.c_str(), plat::FileMode::Read), plat::InvalidFile) << name;
        std::string bytes = "x";
        EXPECT_FALSE(plat::ReadWholeFile(path.c_str(), bytes)) << name;
        EXPECT_TRUE(bytes.empty());
        // A wait for a writer would last for ever; a busy machine, seconds.
        EXPECT_LT(plat::TimeGetTime() - start, 10000u) << name;
    }
    EXPECT_EQ(plat::OpenFile((tmp / "Config.ini").c_str(), plat::FileMode::Write), plat::InvalidFile);
}

TEST(FileSystem, WritePastTheFileSizeLimitFailsAndKeepsTheOldFile) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("save.dat", "old"));
    // The default action of the limit's signal ends the process.
    std::signal(SIGXFSZ, SIG_DFL);
    plat::IgnoreFileSizeLimitSignal();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string big(4096, 'n');
    const bool written = plat::WriteFileAtomic((tmp / "save.dat").c_str(), big.data(), big.size());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_EQ(tmp.Read("save.dat"), "old");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(tmp.Path())) {
        EXPECT_EQ(e.path().filename(), "save.dat");
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(FileSystem, RenameReplacesAndDeleteRemoves) {
    TempFolder tmp;
    ASSERT_TRUE(tmp.Write("a.tmp", "fresh"));
    ASSERT_TRUE(tmp.Write("a.dat", "stale"));
    ASSERT_TRUE(plat::RenameFile((tmp / "A.TMP").c_str(), (tmp / "a.dat").c_str()));
    EXPECT_EQ(tmp.Read("a.dat"), "fresh");
    EXPECT_FALSE(plat::PathExists((tmp / "a.tmp").c_str()));

    EXPECT_TRUE(plat::DeleteFile((tmp / "A.dat").c_str()));
    EXPECT_FALSE(plat::PathExists((tmp / "a.dat").c_str()));
    EXPECT_FALSE(plat::DeleteFile((tmp / "a.dat").c_str()));

    EXPECT_TRUE(plat::CreateDirectory((tmp / "d").c_str()));
    EXPECT_TRUE(plat::CreateDirectory((tmp / "D").c_str()));  // existing folder is fine
    ASSERT_TRUE(tmp.Write("file", ""));
    EXPECT_FALSE(plat::CreateDirectory((tmp / "file").c_str()));
}

TEST(CurrentDirectory, RelativePathsFollowTheThreadsDirectory) {
    CurrentDirectoryGuard guard;
    TempFolder tmp;
    ASSERT_TRUE(plat::CreateDirectory((tmp / "Robo").c_str()));
    ASSERT_TRUE(tmp.Write("Robo/model.hod", "model"));

    ASSERT_TRUE(plat::SetCurrentDirectory(tmp.Path().c_str()));
    EXPECT_EQ(plat::GetCurrentDirectory(), tmp.Path());
    ASSERT_TRUE(plat::SetCurrentDirectory("robo"));
    EXPECT_EQ(plat::GetCurrentDirectory(), tmp / "Robo");
    EXPECT_EQ(ReadThrough("MODEL.hod"), "model");

    EXPECT_FALSE(plat::SetCurrentDirectory("missing"));
    EXPECT_FALSE(plat::SetCurrentDirectory("model.hod"));
    EXPECT_EQ(plat::GetCurrentDirectory(), tmp / "Robo");
    ASSERT_TRUE(plat::SetCurrentDirectory(".."));
    EXPECT_EQ(plat::GetCurrentDirectory(), tmp.Path());
}

struct LoaderJob {
    std::string folder;
    int mismatches = 0;
    int loads = 0;
};

void LoadOwnFileRepeatedly(void* arg) {
    auto* job = static_cast<LoaderJob*>(arg);
    if (!plat::SetCurrentDirectory(job->folder.c_str())) {
        job->mismatches = -1;
        return;
    }
    for (int i = 0; i < 300; ++i) {
        std::string content;
        if (!plat::ReadWholeFile("value.txt", content) || content != job->folder) ++job->mismatches;
        ++job->loads;
        plat::Sleep(0);
    }
}

TEST(CurrentDirectory, ThreadsLoadingAtOnceEachSeeTheirOwnDirectory) {
    CurrentDirectoryGuard guard;
    TempFolder tmp;
    LoaderJob jobs[2];
    const char* names[2] = {"first", "second"};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(plat::CreateDirectory((tmp / names[i]).c_str()));
        jobs[i].folder = tmp / names[i];
        ASSERT_TRUE(tmp.Write(std::string(names[i]) + "/value.txt", jobs[i].folder));
    }
    const std::string mainBefore = plat::GetCurrentDirectory();
    plat::Thread a, b;
    ASSERT_TRUE(a.Start(LoadOwnFileRepeatedly, &jobs[0]));
    ASSERT_TRUE(b.Start(LoadOwnFileRepeatedly, &jobs[1]));
    a.Join();
    b.Join();
    for (const LoaderJob& job : jobs) {
        EXPECT_EQ(job.loads, 300);
        EXPECT_EQ(job.mismatches, 0);
    }
    EXPECT_EQ(plat::GetCurrentDirectory(), mainBefore);
}

void RecordDirectoryThenMove(void* arg) {
    auto* seen = static_cast<std::string*>(arg);
    *seen = plat::GetCurrentDirectory();
    plat::SetCurrentDirectory("/");
}

TEST(CurrentDirectory, NewThreadsStartInTheirStartersDirectory) {
    CurrentDirectoryGuard guard;
    TempFolder tmp;
    ASSERT_TRUE(plat::SetCurrentDirectory(tmp.Path().c_str()));
    std::string seen;
    plat::Thread t;
    ASSERT_TRUE(t.Start(RecordDirectoryThenMove, &seen, plat::ThreadPriority::BelowNormal));
    t.Join();
    EXPECT_EQ(seen, tmp.Path());
    // The child's change stays with the child.
    EXPECT_EQ(plat::GetCurrentDirectory(), tmp.Path());
}

}  // namespace
