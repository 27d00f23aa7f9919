#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/core/Application.h"
#include "battle/GameScene.h"
#include "engine/core/MTRand.h"
#include "robot/Robot.h"
#include "robot/RobotType.h"
#include "script/ScriptCommand.h"
#include "script/ScriptInterpreter.h"
#include "script/ScriptParser.h"
#include "support/BattleRunner.h"

namespace {

std::vector<std::string> g_messages;
void Capture(const char* text, const char* caption) { g_messages.push_back(std::string(caption) + "|" + text); }

struct FireCall {
    i32 proc;
    std::vector<i32> args;
};

// A robot whose fire procedures only record what they were called with.
class RecordingRobot : public CRobot_Normal {
public:
    template <i32 N>
    void Record(const i32* args)
    {
        calls.push_back({N, std::vector<i32>(args, args + kScriptFireArgCount)});
    }
    std::vector<FireCall> calls;
};

using Entries = std::vector<std::pair<i32, const char*>>;

struct Fixture {
    Fixture()
    {
        SetScriptMessageHook(Capture);
        g_messages.clear();
        data = std::make_unique<RobotModelData>();
        robot = std::make_unique<RecordingRobot>();
        robot->Reset();
        robot->modelData = data.get();
        robot->scriptTables = data->scriptTables.Data();
        robot->fireProcs[5] = static_cast<CRobot_Normal::FireProc>(&RecordingRobot::Record<5>);
        robot->fireProcs[7] = static_cast<CRobot_Normal::FireProc>(&RecordingRobot::Record<7>);
    }
    // Animation a's entries, parsed as the file loader does.
    void Anime(i32 a, const Entries& entries)
    {
        const i32 n = static_cast<i32>(entries.size());
        data->FreeScriptTable(a);
        data->scriptTables[a] = new ScriptEntry[n + 1];
        data->scriptEntryCounts[a] = n + 1;
        for (i32 e = 0; e < n; ++e) {
            data->scriptTables[a][e].wait = entries[e].first;
            data->scriptTables[a][e].speed = 1.0f;
            ASSERT_EQ(data->ParseScriptLine(entries[e].second, a, e), 1) << entries[e].second;
        }
        data->scriptTables[a][n].wait = kScriptEndMark;
    }
    i32 Start(i32 a, i32 channel = 0) { return robot->SetScript(data->scriptTables[a], 0, channel); }
    i32& I(i32 n) { return *robot->intVars[n]; }
    f32& F(i32 n) { return *robot->floatVars[n]; }

    std::unique_ptr<RobotModelData> data;
    std::unique_ptr<RecordingRobot> robot;
};

} // namespace

TEST(ScriptInterpreter, ChannelsStepThroughWaitsLoopsAndEveryTimeRuns)
{
    Fixture f;
    f.Anime(0, {{2, "@int[0] += 1;"}, {0, "@int[1] += 1;"}, {1, "AnimeLoop=1; @int[2] += 1;"}});
    f.Anime(1, {{3, "ExecScriptEveryTime(1); @int[3] += 1;"}});
    f.Start(0, 0);
    f.Start(1, 1);
    // Per frame after the step: counters of channel 0, then channel 1's.
    const std::vector<std::vector<i32>> expected = {
        {1, 0, 0, 2}, {1, 0, 0, 2}, {1, 1, 1, 3}, {2, 1, 1, 3}, {2, 1, 1, 3}, {2, 2, 2, 3}, {3, 2, 2, 3},
    };
    for (size_t frame = 0; frame < expected.size(); ++frame) {
        f.robot->StepScriptChannels();
        EXPECT_EQ((std::vector<i32>{f.I(0), f.I(1), f.I(2), f.I(3)}), expected[frame]) << "frame " << frame;
    }
    EXPECT_EQ(f.robot->layerEnded[0], 1);
    EXPECT_EQ(f.robot->layerEnded[1], 1);
    EXPECT_EQ(f.robot->channelWait[1], kScriptEndMark);  // no loop: it rests at its end
    EXPECT_TRUE(g_messages.empty());
}

TEST(ScriptInterpreter, EntriesRunCommandsWithConditionsAndArithmetic)
{
    struct Case {
        const char* text;
        std::vector<std::pair<i32, i32>> ints;  // variable, expected value
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        // A false IF skips nested blocks whole and resumes after its ELSE.
        {"@int[0]=1; IF(@int[0],==,2); @int[1]=1; IF(1,==,1); @int[2]=1; ELSE; @int[2]=2; ENDIF; ELSE; @int[1]=2;"
         " ENDIF; @int[3]=7;",
         {{1, 2}, {2, 0}, {3, 7}}, {}},
        {"IF(2,>,1); @int[1]=5; ELSE; @int[1]=6; ENDIF; IF(1.5,<=,1); ELSE; @int[2]=8; ENDIF;", {{1, 5}, {2, 8}}, {}},
        // Both sides become 32-bit floats: 2^24 + 1 equals 2^24.
        {"IF(16777217,==,16777216); @int[1]=1; ENDIF; IF(@int[5],!=,0); @int[2]=1; ENDIF;", {{1, 1}, {2, 0}}, {}},
        // A missing ENDIF ends the entry.
        {"IF(1,==,2); @int[1]=5; @int[2]=3;", {{1, 0}, {2, 0}}, {"エラー|ENDIFがありません"}},
        {"IF(1,==,1); @int[1]=5; ELSE; @int[2]=3;", {{1, 5}, {2, 0}}, {"エラー|ENDIFがありません"}},
        // Run-time operators work as written; traps become no change.
        {"@int[1]=7; @int[1] /= 0; @int[2] = -2147483648; @int[2] /= -1; @int[3]=7; @int[3] -= 10;"
         " @int[4]=3; @int[4] *= @int[3]; @int[5]=2147483647; @int[5] += 1; @int[6]=-7; @int[6] /= 2;",
         {{1, 7}, {2, INT_MIN}, {3, -3}, {4, -9}, {5, INT_MIN}, {6, -3}}, {}},
        // Floats truncate toward zero into ints.
        {"@float[1] = -2.9; @int[1] = @float[1]; @float[2] = 4; @float[2] /= 0; @int[2] = @float[2];"
         " @float[3] = 1.5; @float[3] *= @int[1];",
         {{1, -2}, {2, 4}}, {}},
        // GoScriptIndex ends the entry and runs the entry it names at once.
        {"@int[1]=1; GoScriptIndex(2); @int[2]=1;", {{1, 1}, {2, 0}, {9, 1}}, {}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.Anime(0, {{5, c.text}, {5, "@int[8]=1;"}, {5, "@int[9]=1;"}});
        g_messages.clear();
        EXPECT_EQ(f.Start(0), 0) << c.text;
        for (const auto& [n, v] : c.ints) EXPECT_EQ(f.I(n), v) << c.text << " variable " << n;
        EXPECT_EQ(f.I(8), 0) << c.text;
        EXPECT_EQ(g_messages, c.messages) << c.text;
    }
    Fixture f;
    f.Anime(0, {{5, "@float[1] = -2.9; @float[2] = 4; @float[2] /= 0; @float[3] = 1.5; @float[3] *= -2;"}});
    f.Start(0);
    EXPECT_EQ(f.F(2), 4.0f);
    EXPECT_EQ(f.F(3), -3.0f);
}

TEST(ScriptInterpreter, FireCallsReachOnlyTableEntriesWithTheirArguments)
{
    Fixture f;
    f.Anime(0, {{1, "@int[0]=42; @int[9]=-2147483648; RunProc(0,5,@int[0]); RunProc2(3,7,1,2,3,4,5,6,7,8,9,10);"
                    "RunProc(0,150,1); RunProc(0,-1,1); RunProc(0,@int[9],0); RunProc(0,100,0); ChangeWeapon(AXE);"
                    "WeaponAttack(0,5,8,9);"}});
    f.Start(0);
    ASSERT_EQ(f.robot->calls.size(), 3u);
    EXPECT_EQ(f.robot->calls[0].proc, 5);
    EXPECT_EQ(f.robot->calls[0].args, (std::vector<i32>{42, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(f.robot->calls[1].proc, 7);
    EXPECT_EQ(f.robot->calls[1].args, (std::vector<i32>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(f.robot->calls[2].args, (std::vector<i32>{8, 9, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ScriptInterpreter, StartsValuesAndSubChannelsFollowTheirRules)
{
    Fixture f;
    f.Anime(0, {{3, "Move=(0,5,STOP); Force=(STOP,2,0); BURNER(3,0.5); CatchLastChara(-1,5,-1); SwordEnable=1;"
                    "RunSubScript(1,2); AttackDelay(2,0); AttackDelay(3,9);"}});
    f.Anime(2, {{1, "@int[0] += 1; ExecScriptEveryTime(0);"}, {2, "@int[1] += 1;"}});
    ScriptContext& ctx = f.robot->scriptContext;
    ctx.move[0] = ctx.move[1] = ctx.move[2] = 1.0f;
    ctx.attackDelay[2] = 4;
    ctx.catchB = 7;
    f.robot->ownForce = Vec3(3.0f, 3.0f, 3.0f);
    f.Start(0);
    EXPECT_EQ(ctx.move[0], 1.0f);
    EXPECT_EQ(ctx.move[1], 5.0f);
    EXPECT_EQ(ctx.move[2], 0.0f);
    EXPECT_EQ(f.robot->ownForce.x, 0.0f);
    EXPECT_EQ(f.robot->ownForce.y, 3.0f);
    EXPECT_EQ(ctx.force[0], 0.0f);
    EXPECT_EQ(ctx.force[1], 2.0f);
    EXPECT_EQ(ctx.burnerOn[3], 1);
    EXPECT_EQ(ctx.burnerScale[3], 0.5f);
    EXPECT_EQ(ctx.catchA, 5);
    EXPECT_EQ(ctx.catchB, 7);
    EXPECT_EQ(ctx.attackDelay[2], 4);
    EXPECT_EQ(ctx.attackDelay[3], 9);
    EXPECT_EQ(f.robot->subActive[1], 1);
    EXPECT_EQ(f.I(0), 1);

    // The sub channel reruns its entry every frame, then ends and goes idle.
    const std::vector<std::pair<i32, i32>> expected = {{2, 0}, {2, 1}, {2, 1}, {2, 1}};
    for (size_t frame = 0; frame < expected.size(); ++frame) {
        f.robot->StepScriptChannels();
        EXPECT_EQ(std::make_pair(f.I(0), f.I(1)), expected[frame]) << "frame " << frame;
    }
    EXPECT_EQ(f.robot->subActive[1], 0);

    // A new start on channel 0 clears the per-entry values, keeps the move.
    f.Start(0);
    EXPECT_EQ(ctx.swordEnable, 1);
    f.Anime(1, {{1, "AnimeLoop=1;"}});
    f.Start(1);
    EXPECT_EQ(ctx.swordEnable, 0);
    EXPECT_EQ(ctx.burnerOn[3], 0);
    EXPECT_EQ(ctx.force[1], 0.0f);
    EXPECT_EQ(ctx.move[1], 5.0f);
}

TEST(ScriptInterpreter, RunawayScriptsStopWithinOneFrame)
{
    Fixture f;
    // Entries that restart themselves at once.
    f.Anime(0, {{1, "@int[0] += 1; GoScriptIndex(0);"}});
    f.Start(0);
    EXPECT_GT(f.I(0), 1);
    EXPECT_LT(f.I(0), 100);
    f.Anime(1, {{1, "@int[1] += 1; ChangeAnime(1,0.0,0);"}});
    f.Start(1);
    EXPECT_LT(f.I(1), 100);
    f.Anime(2, {{1, "@int[2] += 1; RunSubScript(0,2);"}});
    f.robot->subActive[0] = 1;
    f.robot->SetSubScript(f.data->scriptTables[2], 0, 0);
    EXPECT_LT(f.I(2), 100);

    // A looping list whose entries all wait 0 goes on in the next frame.
    f.Anime(3, {{0, "@int[3] += 1;"}, {0, "AnimeLoop=1; @int[4] += 1;"}});
    f.Start(3);
    f.robot->StepScriptChannels();
    const i32 once = f.I(3);
    EXPECT_GT(once, 1);
    f.robot->StepScriptChannels();
    EXPECT_GT(f.I(3), once);

    // Jumps past the list and unknown tables leave the channel at rest.
    g_messages.clear();
    f.Anime(4, {{1, "GoScriptIndex(9);"}});
    f.Start(4);
    EXPECT_EQ(f.robot->channelWait[0], kScriptEndMark);
    CRobot_Normal bare;
    bare.Reset();
    EXPECT_EQ(bare.SetScript(nullptr, 0, 1), 0);
    EXPECT_EQ(bare.SetScript(nullptr, 0, 7), 0);
    EXPECT_EQ(bare.SetSubScript(nullptr, 0, 12), 0);
    EXPECT_EQ(g_messages, std::vector<std::string>{"エラ～|SetScriptがヘンです"});
}

// Scripts whose starts multiply: a chain where every level starts the next on
// both layers, an entry that starts itself on both layers, and a sub channel
// that fans out twice. Each costs a bounded frame and says so once.
TEST(ScriptInterpreter, MultiplyingStartsCostABoundedFrameAndAreReportedOnce)
{
    struct Case {
        const char* name;
        void (*build)(Fixture&);
    };
    const Case cases[] = {
        {"chain of 30",
         [](Fixture& f) {
             static std::vector<std::string> texts;
             texts.clear();
             for (i32 a = 0; a < 30; ++a)
                 texts.push_back("AnimeLoop=1; @int[0] += 1; ChangeAnime(" + std::to_string(a + 1) + ",0,2);");
             for (i32 a = 0; a < 30; ++a) f.Anime(a, {{1, texts[a].c_str()}});
             f.Anime(30, {{1, "AnimeLoop=1; @int[1] += 1;"}});
         }},
        {"self start", [](Fixture& f) { f.Anime(0, {{1, "AnimeLoop=1; @int[0] += 1; ChangeAnime(0, 0, 2);"}}); }},
        {"sub-script fan-out",
         [](Fixture& f) {
             f.Anime(1, {{1, "@int[0] += 1; RunSubScript(0,1); RunSubScript(1,1);"}});
             f.Anime(0, {{1, "AnimeLoop=1; RunSubScript(0,1);"}});
         }},
    };
    for (const Case& c : cases) {
        Fixture f;
        c.build(f);
        const auto begin = std::chrono::steady_clock::now();
        f.robot->ResetScriptBudget();
        f.Start(0);
        for (int frame = 0; frame < 120; ++frame) f.robot->StepScriptChannels();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        // Budgeted, 120 frames take milliseconds; unbounded, for ever. The
        // bound is for a busy machine, not a measure of speed.
        EXPECT_LT(seconds, 20.0) << c.name;
        EXPECT_GT(f.I(0), 0) << c.name;
        EXPECT_EQ(g_messages.size(), 1u) << c.name;
        // The limit is per frame: the script still runs in the frames after.
        const i32 before = f.I(0) + f.I(1);
        f.robot->StepScriptChannels();
        f.robot->StepScriptChannels();
        EXPECT_GT(f.I(0) + f.I(1), before) << c.name;
        EXPECT_EQ(g_messages.size(), 1u) << c.name;
    }
}

// Hostile entries that loop at once (wait 0) and whose work lies in walking
// past commands or in fire calls, or that complain each time they run. Work
// is counted from the entry's own runs: a frame may walk at most its
// allowance plus the one entry it cut short, skipped commands included.
// Every complaint is told once per robot type, however many frames and
// robots of the type run it.
TEST(ScriptInterpreter, HostileEntriesCostABoundedFrameAndComplainOncePerType)
{
    auto repeat = [](const std::string& text, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += text;
        return out;
    };
    const std::string kOverrun = "エラー|スクリプトが1フレームの処理量を超えました。続きは次のフレームで実行します";
    const std::string kNoEndIf = "エラー|ENDIFがありません";
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"false IF over a long block",
         "AnimeLoop=1; @int[0]+=1; IF(@int[1],==,1);" + repeat("@int[2]+=1;", 20000) + "ENDIF;", {kOverrun}},
        {"ELSE over a run of ELSEs", "AnimeLoop=1; @int[0]+=1; ELSE;" + repeat("ELSE;", 20000) + "ENDIF;", {kOverrun}},
        {"false IF over nested IFs", "AnimeLoop=1; @int[0]+=1;" + repeat("IF(@int[1],==,1);", 5000) +
                                         repeat("ENDIF;", 5000), {kOverrun}},
        {"ELSE without ENDIF", "AnimeLoop=1; @int[0]+=1; ELSE;", {kNoEndIf}},
        {"false IF without ENDIF", "AnimeLoop=1; @int[0]+=1; IF(@int[1],==,1);" + repeat("ELSE;", 50),
         {kNoEndIf, kOverrun}},
        {"long ELSE run without ENDIF", "AnimeLoop=1; @int[0]+=1; ELSE;" + repeat("ELSE;", 20000), {kOverrun}},
        {"a fire call with every command", "AnimeLoop=1; @int[0]+=1;" + repeat("RunProc(0,5,1);", 1000), {kOverrun}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.Anime(0, {{0, c.text.c_str()}});
        const i32 commands = static_cast<i32>(f.data->scriptTables[0][0].commands.size());
        // A second robot of the same type runs the same entry.
        RecordingRobot twin;
        twin.Reset();
        twin.modelData = f.data.get();
        twin.scriptTables = f.data->scriptTables.Data();
        g_messages.clear();
        f.robot->ResetScriptBudget();
        f.Start(0);
        for (int frame = 0; frame < 120; ++frame) {
            const i32 before = f.I(0);
            const size_t calls = f.robot->calls.size();
            f.robot->StepScriptChannels();
            // Fire calls make objects that outlive the frame: few are allowed.
            const size_t called = f.robot->calls.size() - calls;
            EXPECT_LE(called, size_t(kScriptCommandsPerFrame / kScriptFireCallCost + 1));
            const i64 walked = static_cast<i64>(f.I(0) - before) * commands;
            EXPECT_LE(walked, kScriptCommandsPerFrame + commands) << "frame " << frame;
            EXPECT_GT(f.I(0), before) << "frame " << frame;  // and it still runs each frame
            if (walked > kScriptCommandsPerFrame + commands || f.I(0) == before ||
                called > size_t(kScriptCommandsPerFrame / kScriptFireCallCost + 1))
                break;
        }
        twin.ResetScriptBudget();
        twin.SetScript(f.data->scriptTables[0], 0, 0);
        for (int frame = 0; frame < 10; ++frame) twin.StepScriptChannels();
        std::vector<std::string> told = g_messages;
        std::sort(told.begin(), told.end());
        std::vector<std::string> expected = c.messages;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(told, expected);
    }
}

// Random statement sequences from the parser's own keywords, their numbers
// mostly small animation numbers, so ChangeAnime, RunSubScript, GoScriptIndex
// and IF blocks chain animations into each other: no frame of any of them
// takes long, and nothing crashes. Bounded by a time budget as well as a count.
TEST(ScriptInterpreter, RandomCommandSequencesStayWithinTheFrameBudget)
{
    std::vector<std::string> keywords;
    for (size_t i = 0; const char* k = ScriptKeyword(i); ++i)
        if (std::strcmp(k, "LoadXFile") != 0) keywords.push_back(k);  // reads files: not the interpreter's part
    ASSERT_GT(keywords.size(), 60u);
    cMTRand rng;
    rng.Init(5309);
    auto pick = [&](u32 n) { return static_cast<i32>(rng.GetRand() % n); };
    auto number = [&]() -> std::string {
        switch (pick(10)) {
        case 0: return "-1";
        case 1: return std::to_string(static_cast<i32>(rng.GetRand()));
        case 2: return "2147483647";
        case 3: return "@int[" + std::to_string(pick(8)) + "]";
        case 4: return pick(2) ? "x" + std::to_string(pick(8)) : std::to_string(pick(8)) + "z";  // no number
        default: return std::to_string(pick(8));
        }
    };
    auto statement = [&]() {
        const std::string& k = keywords[static_cast<size_t>(pick(static_cast<u32>(keywords.size())))];
        if (pick(4) == 0) return k + "=" + number() + ";";
        std::string text = k + "(";
        for (i32 a = 0, n = pick(11); a < n; ++a) text += (a ? "," : "") + number();
        return text + ");";
    };
    SetScriptMessageHook([](const char*, const char*) {});
    const auto begin = std::chrono::steady_clock::now();
    auto seconds = [](auto from) { return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count(); };
    double slowest = 0.0;
    int cases = 0;
    for (; cases < 300 && (cases < 30 || seconds(begin) < 20.0); ++cases) {
        Fixture f;
        SetScriptMessageHook([](const char*, const char*) {});
        std::vector<std::string> texts;
        for (i32 a = 0; a < 8; ++a) {
            const i32 n = 1 + pick(3);
            f.data->scriptTables[a] = new ScriptEntry[n + 1];
            f.data->scriptEntryCounts[a] = n + 1;
            for (i32 e = 0; e < n; ++e) {
                std::string text;
                for (i32 k = 0, m = 1 + pick(6); k < m; ++k) text += statement();
                f.data->scriptTables[a][e].wait = pick(4) - 1;
                f.data->scriptTables[a][e].speed = 1.0f;
                f.data->ParseScriptLine(text.c_str(), a, e);
                texts.push_back(text);
            }
            f.data->scriptTables[a][n].wait = kScriptEndMark;
        }
        f.robot->subActive[0] = 1;
        // From here on only the running script complains: once per kind.
        g_messages.clear();
        SetScriptMessageHook(Capture);
        const auto frameStart = std::chrono::steady_clock::now();
        f.robot->ResetScriptBudget();
        f.Start(pick(8), pick(2));
        slowest = std::max(slowest, seconds(frameStart));
        for (int frame = 0; frame < 30; ++frame) {
            const auto t = std::chrono::steady_clock::now();
            f.robot->StepScriptChannels();
            const double spent = seconds(t);
            if (spent > slowest) {
                slowest = spent;
                if (spent > 5.0) ADD_FAILURE() << "slow frame " << spent << " s; first entry: " << texts[0];
            }
        }
        std::vector<std::string> kinds = g_messages;
        std::sort(kinds.begin(), kinds.end());
        EXPECT_EQ(std::unique(kinds.begin(), kinds.end()), kinds.end()) << "first entry: " << texts[0];
        SetScriptMessageHook([](const char*, const char*) {});
    }
    EXPECT_GE(cases, 30);
    EXPECT_LT(slowest, 5.0);
}

TEST(ScriptInterpreter, RandomDrawsUseTheBattleGeneratorInEveryRange)
{
    Fixture f;
    f.Anime(0, {{1, "Rnd(1,5,5); Rnd(2,10,1); Rnd(3,-2147483648,2147483647); Rnd(4,1,6);"}});
    GetBattleRandom().Init(1234);
    cMTRand same;
    same.Init(1234);
    f.Start(0);
    const u32 r1 = same.GetRand(), r2 = same.GetRand(), r3 = same.GetRand(), r4 = same.GetRand();
    EXPECT_EQ(f.I(1), static_cast<i32>(r1 % 1u + 5u));
    EXPECT_EQ(f.I(2), static_cast<i32>(r2 % (1u - 10u + 1u) + 10u));  // a reversed range wraps
    EXPECT_EQ(f.I(3), static_cast<i32>(r3 + 0x80000000u));            // the whole range
    EXPECT_EQ(f.I(4), static_cast<i32>(r4 % 6u + 1u));
    EXPECT_EQ(GetBattleRandom().GetRand(), same.GetRand());
}

TEST(ScriptInterpreter, AnimationStartsFollowTheEntryThatAsksForThem)
{
    Fixture f;
    f.Anime(0, {{5, "@int[0] += 1; AnimeLoop=1;"},
                {5, "ChangeAnime(7,0.0,0); @int[1]=1;"},
                {5, "ChangeAnime(8,4.0,1);"},
                {5, "ChangeAnime(9,0.0,3); @int[2]=1;"},
                {5, "GoPoseIndex(-1,6); GoPoseIndex(12,2);"}});
    CHierarchyObject& lower = f.robot->lowerModel;
    CHierarchyObject& upper = f.robot->upperModel;

    // An animation without a script restarts the channel's own list, then plays.
    EXPECT_EQ(f.robot->SetScript(f.data->scriptTables[0], 1, 0), 1);
    EXPECT_EQ(f.I(0), 1);
    EXPECT_EQ(f.I(1), 0);
    EXPECT_EQ(f.robot->channelIndex[0], 0);
    EXPECT_EQ(lower.tracks[lower.currentTrack].anime, 7u);
    EXPECT_EQ(lower.tracks[lower.currentTrack].loop, 1u);  // the loop flag the restarted entry set
    EXPECT_EQ(lower.tracks[lower.currentTrack].speed, 1.0f);

    // A blended change on the upper layer moves to the next track.
    const u32 before = upper.currentTrack;
    EXPECT_EQ(f.robot->SetScript(f.data->scriptTables[0], 2, 1), 1);
    EXPECT_EQ(upper.currentTrack, (before + 1) % kHierarchyChangeTracks);
    EXPECT_EQ(upper.tracks[upper.currentTrack].anime, 8u);

    // Mode 3 starts nothing and still ends the entry.
    EXPECT_EQ(f.robot->SetScript(f.data->scriptTables[0], 3, 0), 1);
    EXPECT_EQ(f.I(2), 0);
    EXPECT_EQ(lower.tracks[lower.currentTrack].anime, 7u);

    // Poses: the current animation at a frame, then another one; nothing on a sub channel.
    f.robot->SetScript(f.data->scriptTables[0], 4, 1);
    EXPECT_EQ(upper.tracks[upper.currentTrack].anime, 12u);
    EXPECT_EQ(upper.tracks[upper.currentTrack].frame, 2.0f);
    upper.tracks[upper.currentTrack].anime = 3;
    f.robot->subActive[0] = 1;
    f.robot->SetSubScript(f.data->scriptTables[0], 4, 0);
    EXPECT_EQ(upper.tracks[upper.currentTrack].anime, 3u);
    EXPECT_EQ(lower.tracks[lower.currentTrack].anime, 7u);
}

TEST(ScriptInterpreter, PilotVoicesAreHeardFromTheWatchedRobotAndNearTheListener)
{
    CRobot_Normal robot;
    robot.Reset();
    EXPECT_FALSE(ScriptVoiceAudible(robot));  // no battle, nobody listening

    BattleRunner runner({});
    CGameScene* scene = runner.Scene();
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(scene->currentView, nullptr);
    scene->listenerPoint[0] = 10.0f;
    scene->listenerPoint[1] = 0.0f;
    scene->listenerPoint[2] = -5.0f;
    robot.worldMatrix.m[3][0] = 10.0f + 39.9f;
    robot.worldMatrix.m[3][2] = -5.0f;
    EXPECT_TRUE(ScriptVoiceAudible(robot));
    robot.worldMatrix.m[3][1] = 3.0f;
    EXPECT_FALSE(ScriptVoiceAudible(robot));

    const i32 watched = static_cast<i32>(scene->currentView->player);
    ASSERT_LT(watched, scene->robotTable.GetCount());
    CRobot_Base* const kept = scene->robotTable[watched];
    scene->robotTable[watched] = &robot;
    EXPECT_TRUE(ScriptVoiceAudible(robot));
    scene->robotTable[watched] = kept;
}
