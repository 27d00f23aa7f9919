#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "robot/RobotType.h"
#include "script/ScriptCommand.h"
#include "script/commands/ScrCommands.h"

namespace {

std::vector<std::string> g_messages;
void Capture(const char* text, const char* caption) { g_messages.push_back(std::string(caption) + "|" + text); }

// A type record whose animation 0 has four empty entries.
struct Parsed {
    Parsed()
    {
        SetScriptMessageHook(Capture);
        g_messages.clear();
        data = std::make_unique<RobotModelData>();
        data->scriptTables[0] = new ScriptEntry[4];
        data->scriptEntryCounts[0] = 4;
    }
    int Parse(const char* text, i32 anime = 0, i32 index = 0) { return data->ParseScriptLine(text, anime, index); }
    std::vector<RobotScriptBase*>& Commands(i32 index = 0) { return data->scriptTables[0][index].commands; }
    template <class T>
    T* At(size_t i, i32 index = 0)
    {
        auto& list = Commands(index);
        return i < list.size() ? dynamic_cast<T*>(list[i]) : nullptr;
    }
    std::vector<i32> Types(i32 index = 0)
    {
        std::vector<i32> out;
        for (RobotScriptBase* c : Commands(index)) out.push_back(c->GetType());
        return out;
    }
    std::unique_ptr<RobotModelData> data;
};

struct Case {
    const char* text;
    int result;
    std::vector<i32> types;
    std::vector<std::string> messages;
};

} // namespace

TEST(ScriptParser, StatementsGiveTheirCommandsAndMessages)
{
    const std::string semicolon = "ScriptReader|';'がありません。[]AnimeNo=0 ScriptIndex=0";
    const Case cases[] = {
        // Longer keywords win over their prefixes; blanks, comments and CR LF are skipped.
        {"MoveLock=(;Move=(1,2,3);", 1, {kScrMoveLock, kScrMove}, {}},
        {"' comment\r\n  AnimeLoop=1;\r\nRunProc2(0,5,1,2,3,4,5,6,7,8,9,10);RunProc(1,6,7);", 1,
         {kScrAnimeLoop, kScrRunProc, kScrRunProc}, {}},
        {"ATTACK(10,2,0.5,0.25);", 1, {kScrAttackPow, kScrAttackDownF, kScrAttackForce, kScrAttackForceY}, {}},
        {"IF(@int[3],==,2);Snd(4);ELSE;Snd(5);ENDIF;", 1, {kScrIF, kScrSnd, kScrELSE, kScrSnd, kScrENDIF}, {}},
        {"Force=(STOP,1,0);AttackDelay(3,10);BURNER(2,1.5);CatchLastChara(1,-1,-1);", 1,
         {kScrForce, kScrAttackDelay, kScrBunerOut, kScrCatchChara}, {}},
        {"Rnd(5,1,6);LocalRnd(6,0,1);ChangeAnime(3,0.0,2);RunSubScript(1,7);GoPoseIndex(2,5);GoScriptIndex(2);",
         1, {kScrRnd, kScrLocalRnd, kScrChangeAnime, kScrRunSubScript, kScrGoPoseIndex, kScrGoScriptIndex}, {}},
        {"SwordEnable=1;Shield1234=1;LaserReflect=1;SwordCancel=3;ShotTurnAng=2.5;Sub_LRKey=1;AddExGauge=5;"
         "AddEnergy=6;vF_Multi=0.5;GvEnable=0;BoostDashMode=1;CamEffect=2;AttackFlag=1;ExecScriptEveryTime(4);",
         1,
         {kScrSwordEnable, kScrShildGuard, kScrLaserReflect, kScrSwordCancel, kScrShotTurnAng, kScrSubLRKey,
          kScrAddExGauge, kScrAddEnergy, kScrVfMulti, kScrGvEnable, kScrBoostDashMode, kScrCamEffect, kScrAttackFlag,
          kScrExecScriptEveryTime},
         {}},
        {"LockArm1Target(1,2);LockBodyUpTarget(-1,2);SetExtParam(1,2,3,4,5,6,7,8,9,10);Voice(Die);", 1,
         {kScrLockArmTarget, kScrLockBodyTarget, kScrSetExtParam, kScrVoice}, {}},
        // Errors that stop the text, keeping what came before.
        {"Snd(1);Bogus(2);Snd(3);", 0, {kScrSnd}, {"|不明なスクリプト。読み込み中断"}},
        {"Snd(1) Snd(2);", 0, {}, {semicolon}},
        {"ELSE Snd(2);", 0, {}, {semicolon}},
        {"WEAPONPOINT(1,Arm.x,UP)", 0, {}, {"ScriptReader|(WEAPONPOINT)';'がありません。[]AnimeNo=0 ScriptIndex=0"}},
        // Errors that drop the statement and go on.
        {"RunProc(20,5,1);WeaponAttack2(-1,5);Snd(2);", 1, {kScrSnd},
         {"スクリプトエラー RunProc|番号が不正", "スクリプトエラー WeaponAttack2|番号が不正"}},
        {"AttackDelay(10,1);BURNER(20,1.0);Rnd(120,1,2);Snd(2);", 1, {kScrSnd},
         {"スクリプトエラー AttackDelay|番号が不正", "スクリプトエラー BURNER|番号が不正", "スクリプトエラー|変数番号が不正"}},
        {"LockArmTarget2=1;BURNER2(1,x);Snd(2);", 1, {kScrSnd},
         {"LockArmTarget2|これは使用不可", "ScriptReader|BURNER2は使用不可。[]AnimeNo=0 ScriptIndex=0"}},
        {"IF(1,,2);ENDIF;", 1, {kScrIF, kScrENDIF}, {"|IFの演算子の指定が変です。"}},
        // Variables the robot has no storage for are refused, never left to a null cell.
        {"Snd(@int[120]);Snd(@-3);Snd(@float[150]);", 1, {kScrSnd, kScrSnd, kScrSnd},
         {"スクリプトエラー|変数番号が不正", "スクリプトエラー|変数番号が不正", "スクリプトエラー|変数番号が不正"}},
        {"@int[250]=1;Snd(1);", 0, {}, {"スクリプトエラー|変数番号が不正"}},
        // Settings keywords in an entry write the record and create nothing.
        {"HP=500;ATTACKARMSET(0,Arm.x);", 1, {}, {}},
    };
    for (const Case& c : cases) {
        Parsed p;
        EXPECT_EQ(p.Parse(c.text), c.result) << c.text;
        EXPECT_EQ(p.Types(), c.types) << c.text;
        EXPECT_EQ(g_messages, c.messages) << c.text;
    }
}

TEST(ScriptParser, OperandsKeepLiteralsAndVariableReferences)
{
    Parsed p;
    p.data->scriptReader.SetIntVar(7, 40);
    ASSERT_EQ(p.Parse("Move=(0, @float[3] ,STOP);"
                      "RunProc(2,@int[4],@7);"
                      "IF(@float[2],>=,1.5);"
                      "IF(16777217,==,16777216);"
                      "Voice(S_Attack);Voice(Whisper);"
                      "ChangeWeapon(SWORD);ChangeWeapon(AXE);"
                      "LockArm2Target(@int[7],-0.5);"
                      "CatchLastChara(-1,5,-1);"),
              1);
    EXPECT_TRUE(g_messages.empty());

    auto* move = p.At<Scr_Move>(0);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->stop[0], 0);
    EXPECT_EQ(move->axis[0].value, 0.0f);
    EXPECT_EQ(move->axis[1].index, 3);
    EXPECT_EQ(move->axis[1].kind, kScrVarFloat);
    EXPECT_EQ(move->stop[2], 1);

    auto* proc = p.At<Scr_RunProc>(1);
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc->slot, 2);
    EXPECT_EQ(proc->proc.index, 4);
    EXPECT_EQ(proc->args[0].index, 7);  // "@7" names int variable 7
    EXPECT_EQ(proc->args[0].kind, kScrVarInt);
    EXPECT_EQ(proc->args[1].index, -1);
    EXPECT_EQ(proc->args[1].value, 0);

    auto* cond = p.At<Scr_IF>(2);
    ASSERT_NE(cond, nullptr);
    EXPECT_EQ(cond->a.index, 2);
    EXPECT_EQ(cond->a.isFloat, 1);
    EXPECT_EQ(cond->op, kIfGe);
    EXPECT_EQ(cond->b.isFloat, 1);
    EXPECT_EQ(cond->b.value.f, 1.5f);
    auto* wide = p.At<Scr_IF>(3);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->a.value.i, 16777217);
    EXPECT_EQ(wide->b.isFloat, 0);

    EXPECT_EQ(p.At<Scr_Voice>(4)->value.value, 1);
    EXPECT_EQ(p.At<Scr_Voice>(5)->value.value, 0);
    EXPECT_EQ(p.At<Scr_RunProc>(6)->proc.value, 52);
    EXPECT_EQ(p.At<Scr_RunProc>(7)->proc.value, -1);

    // The on-flag uses the values as they are while parsing.
    auto* lock = p.At<Scr_LockArmTarget>(8);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->arm, 1);
    EXPECT_EQ(lock->on, 0);
    EXPECT_EQ(lock->values[0].index, 7);

    auto* catcher = p.At<Scr_CatchChara>(9);
    ASSERT_NE(catcher, nullptr);
    EXPECT_EQ(catcher->mode.value, -1);
    EXPECT_EQ(catcher->a.value, 5);
}

TEST(ScriptParser, VariableStatementsAssignWhileParsingAndKeepTheirOperator)
{
    Parsed p;
    // Outside an entry: parse-time value only, whatever the operator.
    ASSERT_EQ(p.Parse("@int[3] += 5; @float[2] *= 2.5; @9 = @int[3];", -1, -1), 1);
    EXPECT_EQ(p.data->scriptReader.intVars[3], 5);
    EXPECT_EQ(p.data->scriptReader.floatVars[2], 2.5f);
    EXPECT_EQ(p.data->scriptReader.intVars[9], 5);
    EXPECT_TRUE(g_messages.empty());

    // Inside an entry the command keeps the operator for run time.
    ASSERT_EQ(p.Parse("@int[3] -= @int[9]; @float[4] /= 2.0; @5 *= 3;", 0, 1), 1);
    auto* sub = p.At<Scr_Hensu<i32>>(0, 1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->number, 3);
    EXPECT_EQ(sub->op, kHensuSub);
    EXPECT_EQ(sub->index, 9);
    EXPECT_EQ(sub->targetKind, kScrVarInt);
    auto* div = p.At<Scr_Hensu<f32>>(1, 1);
    ASSERT_NE(div, nullptr);
    EXPECT_EQ(div->op, kHensuDiv);
    EXPECT_EQ(div->value, 2.0f);
    EXPECT_EQ(div->targetKind, kScrVarFloat);
    auto* mul = p.At<Scr_Hensu<i32>>(2, 1);
    ASSERT_NE(mul, nullptr);
    EXPECT_EQ(mul->number, 5);
    EXPECT_EQ(mul->op, kHensuMul);
    EXPECT_EQ(p.data->scriptReader.intVars[3], 5);  // "-=" still assigns while parsing
}

TEST(ScriptParser, CommandsOutsideAValidEntryAreDropped)
{
    Parsed p;
    EXPECT_EQ(p.Parse("Snd(1);", -1, -1), 1);
    EXPECT_EQ(g_messages, std::vector<std::string>{"スクリプトエラー|不正なIndex"});
    g_messages.clear();
    EXPECT_EQ(p.Parse("Snd(1);", 200, 0), 1);
    EXPECT_EQ(p.Parse("Snd(1);", 0, 4), 1);
    EXPECT_EQ(p.Parse("Snd(1);", 1, 0), 1);  // an animation without entries
    EXPECT_EQ(g_messages, (std::vector<std::string>{"スクリプトエラー|アニメ番号が不正",
                                                    "スクリプトエラー|インデックス番号が不正",
                                                    "スクリプトエラー|インデックス番号が不正"}));
    for (i32 e = 0; e < 4; ++e) EXPECT_TRUE(p.Commands(e).empty());
}

TEST(ScriptParser, SettingsFillTheTypeRecordAndRefuseBadIndices)
{
    Parsed p;
    RobotModelData& d = *p.data;
    const std::string longName(300, 'N');
    const std::string text =
        "HP=1200;Generator=1500;Energy=900;Score=30;RestBody=2;LockDist=120;NameEng=Alpha;Name=" + longName +
        ";SubLockDist(3,45);COLORSET(2,5,0.5,0.1,0.2,0.3);BURNERSET(4,Burner.x,0.7,unused);"
        "ColorShader(1,6,3,1,2,3,4,5,6,7,8,9,10);Shader(9,2,1,1,1,1,1,1,1,1,1,0.5);AISetting(3,55.5);"
        "AIWeaponSetting(4,1.5,2.5,7,300);BATTERY_SETTING(19,2,BatA.x,1,2,BatB.x,3,4,5);"
        "ETCPOINT(0,Etc.x,DOWN);WEAPONPOINT(49,Gun.x,UP);WEAPONPOINT(1,Sub.x,SIDE);GUNFILENAME(19,Gun1.x);"
        "SWORDFILENAME(0,Sword.x);ATTACKARMSET(1,ArmR.x);";
    ASSERT_EQ(p.Parse(text.c_str(), -1, -1), 1);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(d.hp, 1200);
    EXPECT_EQ(d.generator, 1500);
    EXPECT_EQ(d.energy, 900);
    EXPECT_EQ(d.score, 30);
    EXPECT_EQ(d.restBody, 2);
    EXPECT_EQ(d.lockDist, 120);
    EXPECT_EQ(std::string(d.name), longName.substr(0, kRobotNameBytes - 1));
    EXPECT_EQ(d.subLockDist[3], 45);
    EXPECT_EQ(d.colorSets[2].colors[5], ColorF(0.1f, 0.2f, 0.3f, 0.5f));
    EXPECT_EQ(d.colorSets[2].overrideFlags[5], 1u);
    EXPECT_EQ(d.burnerNodeNames[4], "Burner.x");
    EXPECT_EQ(d.burnerValues[4], 0.7f);
    EXPECT_EQ(d.colorSets[1].materialShaderKinds[6], 3u);
    EXPECT_EQ(d.colorSets[1].materialShaderParams[6][9], 10.0f);
    EXPECT_EQ(d.colorSets[9].shaderEnabled, 2);
    EXPECT_EQ(d.colorSets[9].shaderParams[9], 0.5f);
    EXPECT_EQ(d.aiSettingKind, 3);
    EXPECT_EQ(d.aiSettingRange, 55.5f);
    EXPECT_EQ(d.aiWeaponSettings[4].b, 2.5f);
    EXPECT_EQ(d.aiWeaponSettings[4].value, 300);
    EXPECT_EQ(d.batteryEnabled[19], 1);
    EXPECT_EQ(d.batteryKind[19], 2);
    EXPECT_STREQ(d.batteryNodeNamesB[19], "BatB.x");
    EXPECT_EQ(d.batteryValues[4][19], 5.0f);
    EXPECT_EQ(d.etcPointNames[0], "Etc.x");
    EXPECT_EQ(d.etcPointKinds[0], 1);
    EXPECT_EQ(d.weaponPointKinds[49], 2);
    EXPECT_EQ(d.weaponPointKinds[1], 0);
    EXPECT_EQ(d.weaponPointNames[1], "Sub.x");
    EXPECT_STREQ(d.gunNodeNames[19], "Gun1.x");
    EXPECT_STREQ(d.swordNodeNames[0], "Sword.x");
    EXPECT_STREQ(d.attackArmNodeNames[1], "ArmR.x");

    // Every indexed setting refuses an index beyond its table and writes nothing.
    ASSERT_EQ(p.Parse("SubLockDist(20,1);COLORSET(10,0,1,1,1,1);COLORSET(0,20,1,1,1,1);ColorShader(0,20,1,"
                      "1,1,1,1,1,1,1,1,1,1);BURNERSET(-1,B.x,1,u);WEAPONPOINT(50,W.x,UP);ETCPOINT(20,E.x,UP);"
                      "GUNFILENAME(20,G.x);ATTACKARMSET(2,A.x);AIWeaponSetting(5,1,1,1,1);"
                      "BATTERY_SETTING(20,1,a,1,1,b,1,1,1);LoadXFile(20,x.x,1);LoadXFile(0,../x.x,1);",
                      -1, -1),
              1);
    const std::vector<std::string> refused = {
        "スクリプトエラー SubLockDist|番号が不正",  "スクリプトエラー COLORSET|番号が不正",
        "スクリプトエラー COLORSET|番号が不正",     "スクリプトエラー COLORSET|番号が不正",
        "スクリプトエラー BURNERSET|番号が不正",    "スクリプトエラー WEAPONPOINT|番号が不正",
        "スクリプトエラー ETCPOINT|番号が不正",     "スクリプトエラー GUNFILENAME|番号が不正",
        "スクリプトエラー ATTACKARMSET|番号が不正", "スクリプトエラー AIWeaponSetting|番号が不正",
        "スクリプトエラー BATTERY_SETTING|番号が不正", "スクリプトエラー LoadXFile|番号が不正",
        "スクリプトエラー LoadXFile|ファイル名が不正"};
    EXPECT_EQ(g_messages, refused);
    EXPECT_EQ(d.colorSets[0].overrideFlags[0], 0u);
    EXPECT_EQ(d.extraMeshFlags[0], 0);
}
