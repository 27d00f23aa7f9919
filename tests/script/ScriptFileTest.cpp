#include <gtest/gtest.h>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "engine/core/MTRand.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"
#include "support/HodFileBuilder.h"
#include "support/TempFolder.h"

namespace {

std::vector<std::string> g_messages;
void Capture(const char* text, const char* caption) { g_messages.push_back(std::string(caption) + "|" + text); }

hodtest::Node Shape()
{
    hodtest::Node root;
    root.name = "Root.x";
    hodtest::Node body;
    body.level = 1;
    body.name = "Body.x";
    body.local = hodtest::Translation(0, 1, 0);
    root.children.push_back(body);
    return root;
}

struct Entry {
    i32 wait;
    f32 speed;
    std::string text;
};

struct Anime {
    std::vector<std::string> keyNames;
    std::vector<Entry> entries;
    i32 declaredEntries = -1;  // overrides the entry count written
};

void PutI16(std::string& s, i16 v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// An "ANI" (version 1) or "AN2" file over Shape(): animations in order, then
// empty animations up to `count` (200 for version 1).
std::string AniFile(bool v2, const std::vector<Anime>& animes, i32 count)
{
    const hodtest::Node shape = Shape();
    std::string s = v2 ? "AN2" : "ANI";
    hodtest::PutName(s, "model");
    s += v2 ? hodtest::Hd2File(shape) : hodtest::HodFile(shape);
    if (v2) hodtest::PutU32(s, static_cast<u32>(count));
    for (i32 a = 0; a < count; ++a) {
        const Anime none;
        const Anime& an = a < static_cast<i32>(animes.size()) ? animes[a] : none;
        hodtest::PutName(s, "anime");
        if (v2) {
            hodtest::PutU32(s, 4);
            s += "note";
        }
        hodtest::PutU32(s, static_cast<u32>(an.keyNames.size()));
        for (const std::string& k : an.keyNames) {
            if (v2) {
                PutI16(s, static_cast<i16>(k.size()));
                s += k;
                s += hodtest::Ver2File({hodtest::Ver2Key{}, hodtest::Ver2Key{}});
            } else {
                std::string field(30, '\0');
                field.replace(0, k.size(), k);
                s += field;
                s += hodtest::Ver1File(shape, {hodtest::Translation(0, 0, 0), hodtest::Translation(0, 2, 0)});
            }
        }
        const i32 n = an.declaredEntries >= 0 ? an.declaredEntries : static_cast<i32>(an.entries.size());
        hodtest::PutU32(s, static_cast<u32>(n));
        for (const Entry& e : an.entries) {
            hodtest::PutU32(s, static_cast<u32>(e.wait));
            hodtest::PutF32(s, e.speed);
            hodtest::PutU32(s, static_cast<u32>(e.text.size()));
            s += e.text;
        }
    }
    return s;
}

const std::vector<Anime> kAnimes = {
    {{"stand"}, {{5, 1.5f, "Snd(1);AnimeLoop=1;"}, {0, 0.5f, ""}}},
    {},
    {{"", "run"}, {{2, 1.0f, "Bogus;"}, {3, 1.0f, "@int[4]=2;"}}},
};

} // namespace

TEST(ScriptFile, BothVersionsLoadModelKeysAndEntries)
{
    SetScriptMessageHook(Capture);
    TempFolder folder;
    for (const bool v2 : {false, true}) {
        g_messages.clear();
        ASSERT_TRUE(folder.Write("Script.ani", AniFile(v2, kAnimes, v2 ? 3 : 200)));
        RobotModelData data;
        ASSERT_EQ(data.LoadScriptAni((folder / "Script.ani").c_str()), 1) << v2;
        ASSERT_NE(data.hierarchy.root, nullptr);
        EXPECT_EQ(data.hierarchy.nodeCount, 2u);
        EXPECT_EQ(data.nodeMatricesA.GetCount(), 2);
        EXPECT_EQ(data.nodeMatricesB[1], Mat4::Identity());
        EXPECT_EQ(data.hierarchy.nodeCallback, AimNodeCallback);

        ASSERT_EQ(data.scriptEntryCounts[0], 3);
        const ScriptEntry* stand = data.scriptTables[0];
        EXPECT_EQ(stand[0].wait, 5);
        EXPECT_EQ(stand[0].speed, 1.5f);
        ASSERT_EQ(stand[0].commands.size(), 2u);
        EXPECT_EQ(stand[0].commands[1]->GetType(), kScrAnimeLoop);
        EXPECT_EQ(stand[1].speed, 0.5f);
        EXPECT_TRUE(stand[1].commands.empty());
        EXPECT_EQ(stand[2].wait, kScriptEndMark);
        EXPECT_EQ(data.scriptTables[1], nullptr);
        EXPECT_EQ(data.scriptEntryCounts[1], 0);
        // A bad statement is reported and the next entry still parses.
        ASSERT_EQ(data.scriptEntryCounts[2], 3);
        EXPECT_TRUE(data.scriptTables[2][0].commands.empty());
        EXPECT_EQ(data.scriptTables[2][1].commands.size(), 1u);
        EXPECT_EQ(data.scriptReader.intVars[4], 2);
        EXPECT_EQ(g_messages, std::vector<std::string>{"|不明なスクリプト。読み込み中断"});

        const HodKeyTable* keys = data.hierarchy.root->KeyTable(2);
        ASSERT_NE(keys, nullptr);
        ASSERT_EQ(keys->count, 2u);
        EXPECT_EQ(keys->keys[0].name, "");
        EXPECT_EQ(keys->keys[1].name, "run");
        if (!v2) {
            EXPECT_EQ(data.hierarchy.root->children[0]->KeyTable(0)->keys[0].translation.y, 2.0f);
        }
        for (i32 a = 3; a < 200; ++a) EXPECT_EQ(data.scriptTables[a], nullptr);
        data.Release();
    }
}

TEST(ScriptFile, DamagedFilesAreRefusedAndSettingsLoadThroughTheKey)
{
    SetScriptMessageHook(Capture);
    TempFolder folder;
    const std::string good = AniFile(true, kAnimes, 3);
    std::string badLength = AniFile(true, {{{"run"}, {}}}, 1);
    badLength.replace(3 + 256 + hodtest::Hd2File(Shape()).size() + 4 + 256 + 4 + 4 + 4, 2, "\x2c\x01");
    std::vector<Anime> huge = kAnimes;
    huge[0].declaredEntries = 0x10000000;
    const std::string cases[] = {
        "XYZ" + good.substr(3),
        good.substr(0, 3),
        good.substr(0, good.size() - 5),
        AniFile(true, {}, 201),
        AniFile(true, huge, 3),
        badLength,
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(folder.Write("bad.ani", cases[i]));
        RobotModelData data;
        EXPECT_EQ(data.LoadScriptAni((folder / "bad.ani").c_str()), 0) << "case " << i;
        data.Release();
    }
    RobotModelData data;
    EXPECT_EQ(data.LoadScriptAni((folder / "missing.ani").c_str()), 0);

    // Settings: scrambled with the asset key; parse-time variables carry over.
    std::string spt = "@int[7] = 44; HP = 900; Name = Sample; LockDist = @int[7];";
    spt += std::string((4 - spt.size() % 4) % 4 + 4, ' ');
    XorWords(spt.data(), static_cast<u32>(spt.size()), AssetKey);
    ASSERT_TRUE(folder.Write("Script.spt", spt));
    data.scriptReader.floatVars[3] = 9.0f;
    ASSERT_EQ(data.LoadScriptSpt((folder / "Script.spt").c_str(), AssetKey), 1);
    EXPECT_EQ(data.hp, 900);
    EXPECT_EQ(data.lockDist, 44);
    EXPECT_STREQ(data.name, "Sample");
    EXPECT_EQ(data.scriptReader.intVars[7], 44);
    EXPECT_EQ(data.scriptReader.floatVars[3], 0.0f);
    EXPECT_FALSE(data.scriptReader.HasText());
    EXPECT_EQ(data.LoadScriptSpt((folder / "none.spt").c_str(), AssetKey), 0);
    EXPECT_EQ(data.hp, 900);
}

// A key count the bytes left cannot hold is refused before the keys are
// built: the load's peak memory stays far below what the count asks for
// (measured in a child process, which does nothing but the load).
TEST(ScriptFile, KeyCountsBeyondTheFileAreRefusedBeforeAnyAllocation)
{
    TempFolder folder;
    // 101 nodes: a root, 10 children, 9 grandchildren each.
    hodtest::Node root;
    root.name = "Root.x";
    for (int c = 0; c < 10; ++c) {
        hodtest::Node child;
        child.name = "Arm.x";
        for (int g = 0; g < 9; ++g) child.children.push_back(hodtest::Node{});
        root.children.push_back(child);
    }
    auto hostile = [&](bool v2) {
        std::string s = v2 ? "AN2" : "ANI";
        hodtest::PutName(s, "model");
        s += v2 ? hodtest::Hd2File(root) : hodtest::HodFile(root);
        if (v2) hodtest::PutU32(s, 1);
        hodtest::PutName(s, "anime");
        if (v2) hodtest::PutU32(s, 0);
        hodtest::PutU32(s, 65536);  // keys for 101 nodes: over a gigabyte
        return s + std::string(140 * 1024, '\x01');
    };
    // Peak resident memory of a child that loads `name`, in MB; exit code 0 when refused.
    auto peak = [&](const std::string& name, int* refused) {
        const pid_t pid = fork();
        if (pid == 0) {
            RobotModelData data;
            const int loaded = data.LoadScriptAni((folder / name).c_str());
            _exit(loaded ? 1 : 0);
        }
        int status = 0;
        rusage usage{};
        EXPECT_EQ(wait4(pid, &status, 0, &usage), pid);
        *refused = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return static_cast<double>(usage.ru_maxrss) / 1024.0;
    };
    ASSERT_TRUE(folder.Write("small.ani", AniFile(true, kAnimes, 3)));
    int refused = 0;
    const double baseline = peak("small.ani", &refused);
    EXPECT_FALSE(refused);
    for (bool v2 : {false, true}) {
        ASSERT_TRUE(folder.Write("big.ani", hostile(v2)));
        const double mb = peak("big.ani", &refused);
        EXPECT_TRUE(refused) << (v2 ? "AN2" : "ANI");
        EXPECT_LT(mb - baseline, 100.0) << (v2 ? "AN2" : "ANI");
    }
}

// A file full of one mistake raises one box per kind of mistake; stderr
// names the first places and counts the rest.
TEST(ScriptFile, BadStatementsRaiseOneBoxPerKindOfMistake)
{
    SetScriptMessageHook(Capture);
    g_messages.clear();
    TempFolder folder;
    Anime bad{{"stand"}, {}};
    for (int e = 0; e < 2000; ++e) bad.entries.push_back({1, 1.0f, e % 2 ? "Bogus;" : "Snd(1);Bogus;"});
    ASSERT_TRUE(folder.Write("Script.ani", AniFile(true, {bad}, 1)));
    testing::internal::CaptureStderr();
    RobotModelData data;
    EXPECT_EQ(data.LoadScriptAni((folder / "Script.ani").c_str()), 1);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_messages.size(), 1u);
    EXPECT_NE(told.find("animation 0 entry 0"), std::string::npos) << told.substr(0, 400);
    EXPECT_NE(told.find("1980 more"), std::string::npos) << told.substr(told.size() > 400 ? told.size() - 400 : 0);
    EXPECT_LT(told.size(), 8000u);
    data.Release();
}

// Mutated script files never crash or hang the loaders or the channels that
// run them; every load either succeeds or is refused.
TEST(ScriptFile, MutatedFilesNeverCrashTheLoadersOrTheInterpreter)
{
    SetScriptMessageHook([](const char*, const char*) {});
    TempFolder folder;
    const std::string ani[] = {AniFile(false, kAnimes, 200), AniFile(true, kAnimes, 3)};
    const std::string spt =
        "' settings\r\nHP=100;Name=Fuzz;@int[3]+=2;COLORSET(1,2,0.5,1,1,1);WEAPONPOINT(3,Gun.x,UP);"
        "IF(@int[3],>=,1.5);Move=(1,STOP,@float[2]);ELSE;RunProc2(1,5,1,2,3,4,5,6,7,8,9,10);ENDIF;"
        "BURNERSET(2,B.x,0.5,x);ColorShader(0,1,2,1,2,3,4,5,6,7,8,9,10);Rnd(3,1,6);ATTACK(1,2,3,4);"
        "ExecScriptEveryTime(0);RunSubScript(1,0);GoScriptIndex(1);@int[2]/=@int[3];ChangeAnime(0,1.0,2);";
    cMTRand rng;
    rng.Init(77);
    for (int round = 0; round < 400; ++round) {
        std::string bytes = round % 3 == 2 ? spt : ani[round % 2];
        const u32 edits = 1 + rng.GetRand() % 8;
        for (u32 k = 0; k < edits; ++k) {
            const size_t at = rng.GetRand() % bytes.size();
            switch (rng.GetRand() % 4) {
            case 0: bytes[at] = static_cast<char>(rng.GetRand()); break;
            case 1: bytes.erase(at, 1 + rng.GetRand() % 16); break;
            case 2: bytes.insert(at, 1, "@([,;=)]\xff\x81"[rng.GetRand() % 11]); break;
            default: bytes[at] = static_cast<char>(0xFF); break;
            }
            if (bytes.empty()) bytes = "A";
        }
        RobotModelData data;
        if (round % 3 == 2) {
            data.scriptTables[0] = new ScriptEntry[2];
            data.scriptEntryCounts[0] = 2;
            const int result = data.ParseScriptLine(bytes.c_str(), round % 2 ? 0 : -1, round % 2 ? 1 : -1);
            EXPECT_TRUE(result == 0 || result == 1);
            // Whatever was parsed also runs: starts, jumps and every-time runs stay bounded.
            CRobot_Normal robot;
            robot.Reset();
            robot.modelData = &data;
            robot.scriptTables = data.scriptTables.Data();
            for (auto& proc : robot.fireProcs) proc = &CRobot_Normal::FireProcNone;
            data.scriptTables[0][1].wait = 1;
            robot.SetScript(data.scriptTables[0], 1, 0);
            robot.SetScript(data.scriptTables[0], 0, 1);
            for (int frame = 0; frame < 8; ++frame) robot.StepScriptChannels();
        } else {
            ASSERT_TRUE(folder.Write("fuzz.ani", bytes));
            const int result = data.LoadScriptAni((folder / "fuzz.ani").c_str());
            EXPECT_TRUE(result == 0 || result == 1);
        }
        data.Release();
    }
}

TEST(ScriptFile, SampleTypesParseWithoutComplaint)
{
    SetScriptMessageHook(Capture);
    for (int type = 1; type <= 22; ++type) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "%s/robo/robo%02d", QUILLON_RUN_DIR, type);
        g_messages.clear();
        RobotModelData data;
        ASSERT_EQ(data.LoadScriptSpt((std::string(folder) + "/Script.spt").c_str(), AssetKey), 1) << folder;
        ASSERT_EQ(data.LoadScriptAni((std::string(folder) + "/Script.ani").c_str()), 1) << folder;
        EXPECT_TRUE(g_messages.empty()) << folder << ": " << (g_messages.empty() ? "" : g_messages[0]);
        EXPECT_GT(data.hp, 0) << folder;
        i32 scripted = 0, commands = 0;
        for (i32 a = 0; a < 200; ++a) {
            if (!data.scriptTables[a]) continue;
            ++scripted;
            for (i32 e = 0; e < data.scriptEntryCounts[a]; ++e) commands += static_cast<i32>(data.scriptTables[a][e].commands.size());
            EXPECT_EQ(data.scriptTables[a][data.scriptEntryCounts[a] - 1].wait, kScriptEndMark);
        }
        EXPECT_GT(scripted, 10) << folder;
        EXPECT_GT(commands, scripted) << folder;
        data.Release();
    }
}
