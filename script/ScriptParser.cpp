// The statement language of "Script.spt" and of the entries of "Script.ani":
// commands go into the entry being parsed, settings into the type record.
#include "script/ScriptParser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "engine/core/AssetFile.h"
#include "robot/RobotType.h"
#include "script/commands/ScrCommands.h"

namespace {

thread_local std::string g_scriptFolder;

// Shift-JIS text as UTF-8 for a message, cut to fit `out`.
template <size_t N>
void CopyForMessage(const std::string& sjis, char (&out)[N])
{
    ScriptTokenizer t;
    t.SetText(sjis.c_str());
    t.ReadToken(out, N);
}

constexpr size_t kTokenBytes = 256;

class Parser;
using Handler = int (Parser::*)();

struct Keyword {
    const char* text;
    Handler handler;
};

class Parser {
public:
    Parser(RobotModelData& data, i32 anime, i32 index) : d(data), r(data.scriptReader), anime(anime), index(index)
    {
        if (anime >= 0 && anime < kRobotAnimeCount && index >= 0 && data.scriptTables.IsCreated() &&
            data.scriptEntryCounts.IsCreated() && index < data.scriptEntryCounts[anime] && data.scriptTables[anime])
            entry = &data.scriptTables[anime][index];
    }

    int Run();

    // ---- statements ----
    int Variable();
    int AnimeLoop() { return ValueCommand<Scr_AnimeLoop>(&Parser::ReadI); }
    int MoveLock();
    int Move() { return MoveOrForce(std::make_unique<Scr_Move>()); }
    int Force() { return MoveOrForce(std::make_unique<Scr_Force>()); }
    int AttackPow() { return ValueCommand<Scr_AttackPow>(&Parser::ReadI); }
    int AttackForce() { return ValueCommand<Scr_AttackForce>(&Parser::ReadF); }
    int AttackDownF() { return ValueCommand<Scr_AttackDownF>(&Parser::ReadI); }
    int AttackDelay();
    int AttackFlag() { return ValueCommand<Scr_AttackFlag>(&Parser::ReadI); }
    int LockArmTarget2();
    int LockArm1() { return LockTarget<Scr_LockArmTarget>(0); }
    int LockArm2() { return LockTarget<Scr_LockArmTarget>(1); }
    int LockBodyDown() { return LockTarget<Scr_LockBodyTarget>(0); }
    int LockBodyUp() { return LockTarget<Scr_LockBodyTarget>(1); }
    int SwordEnable() { return ValueCommand<Scr_SwordEnable>(&Parser::ReadB); }
    int LaserReflect() { return ValueCommand<Scr_LaserReflect>(&Parser::ReadB); }
    int SwordCancel() { return ValueCommand<Scr_SwordCancel>(&Parser::ReadI); }
    int Shield() { return ValueCommand<Scr_ShildGuard>(&Parser::ReadB); }
    int ShotTurnAng() { return ValueCommand<Scr_ShotTurnAng>(&Parser::ReadF); }
    int SubLRKey() { return ValueCommand<Scr_Sub_LRKey>(&Parser::ReadF); }
    int AddExGauge() { return ValueCommand<Scr_AddExGauge>(&Parser::ReadI); }
    int AddEnergy() { return ValueCommand<Scr_AddEnergy>(&Parser::ReadI); }
    int GoScriptIndex();
    int GoPoseIndex();
    int VfMulti() { return ValueCommand<Scr_vF_Multi>(&Parser::ReadF); }
    int GvEnable() { return ValueCommand<Scr_GvEnable>(&Parser::ReadB); }
    int BoostDashMode() { return ValueCommand<Scr_BoostDashMode>(&Parser::ReadB); }
    int CamEffect() { return ValueCommand<Scr_CamEffect>(&Parser::ReadB); }
    int Snd();
    int Voice();
    int GunFileName() { return NodeName(d.gunNodeNames, kRobotGunNodes, "GUNFILENAME"); }
    int SwordFileName() { return NodeName(d.swordNodeNames, kRobotSwordNodes, "SWORDFILENAME"); }
    int AttackArmSet() { return NodeName(d.attackArmNodeNames, kRobotAttackArms, "ATTACKARMSET"); }
    int Attack();
    int WeaponPoint() { return PointName(d.weaponPointNames, d.weaponPointKinds, kRobotWeaponPoints, "WEAPONPOINT"); }
    int EtcPoint() { return PointName(d.etcPointNames, d.etcPointKinds, kRobotEtcPoints, "ETCPOINT"); }
    int BatterySetting();
    int RunProc2() { return RunProc(10, "RunProc2"); }
    int SetExtParam();
    int RunProc1() { return RunProc(1, "RunProc"); }
    int WeaponAttack2() { return RunProc(10, "WeaponAttack2"); }
    int WeaponAttack() { return RunProc(2, "WeaponAttack"); }
    int ChangeWeapon();
    int If();
    void IfOperands(Scr_IF& c);
    int Else() { return Bare(std::make_unique<Scr_ELSE>()); }
    int EndIf() { return Bare(std::make_unique<Scr_ENDIF>()); }
    int ChangeAnime();
    int Rnd() { return RandomCommand(std::make_unique<Scr_Rnd>()); }
    int LocalRnd() { return RandomCommand(std::make_unique<Scr_LocalRnd>()); }
    int RunSubScript();
    int CatchLastChara();
    int Hp() { return IntSetting(&d.hp); }
    int EveryTime() { return ListCommand1<Scr_ExecScriptEveryTime>(); }
    int NameEng();
    int Name();
    int Generator() { return IntSetting(&d.generator); }
    int Energy() { return IntSetting(&d.energy); }
    int Score() { return IntSetting(&d.score); }
    int RestBody() { return IntSetting(&d.restBody); }
    int LockDist() { return IntSetting(&d.lockDist); }
    int SubLockDist();
    int ColorSet();
    int BurnerSet();
    int Burner2();
    int Burner();
    int ColorShader();
    int Shader();
    int AiSetting();
    int AiWeaponSetting();
    int LoadXFile();

private:
    // ---- cursor ----
    char At(size_t k = 0) const
    {
        const char* c = r.GetCursor();
        for (size_t i = 0; i < k; ++i)
            if (c[i] == '\0') return '\0';
        return c[k];
    }
    void Open()
    {
        r.SkipBlanks();
        r.SkipChar();
    }
    void Close()
    {
        r.SkipBlanks();
        r.SkipChar();
    }
    // The ';' that ends a statement; 0 with the message when it is missing.
    int End(const char* prefix = "")
    {
        if (r.IsEndMark()) {
            r.SkipChar();
            return 1;
        }
        char text[512];
        std::snprintf(text, sizeof text, "%s';'がありません。[%s]AnimeNo=%d ScriptIndex=%d", prefix, d.name, anime,
                      index);
        ShowScriptMessage(text, "ScriptReader");
        return 0;
    }
    void Message(const char* text, const char* caption) { ShowScriptMessage(text, caption); }
    void BadNumber(const char* keyword)
    {
        const std::string caption = std::string("スクリプトエラー ") + keyword;
        Message("番号が不正", caption.c_str());
    }

    // ---- operands ----
    // Refuses a run-time reference to a variable the robot has no storage
    // for (it becomes the literal 0), and a direct "@n" outside the tables,
    // which the reader would otherwise take silently.
    void CheckDirectNumber()
    {
        r.SkipBlanks();
        if (At() != '@') return;
        const char* p = r.GetCursor() + 1;
        while (*p == ' ' || *p == '\t') ++p;
        if (std::strncmp(p, "int", 3) == 0 || std::strncmp(p, "float", 5) == 0) return;
        const long n = std::strtol(p, nullptr, 10);
        if (n < 0 || n >= kScriptVarCount) Message("変数番号が不正", "スクリプトエラー");
    }
    // A literal that is no number reads as what its leading digits give
    // (often 0): say so, naming the text, rather than set a robot's HP to 0
    // unseen. Blank operands (arguments left out) are no mistake.
    void CheckNumberText()
    {
        r.SkipBlanks();
        const char* p = r.GetCursor();
        if (*p == '@') return;
        size_t n = 0;
        while (p[n] != '\0' && !std::strchr("=()[],;\r\n", p[n])) n += IsSjisLeadByte(static_cast<u8>(p[n])) && p[n + 1] ? 2 : 1;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t')) --n;
        if (n == 0) return;
        const std::string token(p, n);
        char* end = nullptr;
        std::strtod(token.c_str(), &end);
        if (end == token.c_str() + token.size()) return;
        char shown[64];
        CopyForMessage(token, shown);
        const std::string caption = std::string("スクリプトエラー ") + keyword_;
        ShowScriptMessageAbout("数値ではありません", caption.c_str(), std::string("\"") + shown + "\"");
    }
    bool Bound(ScriptVarRef ref)
    {
        if (ref.number < 0) return false;
        const i8 kind = ref.kind == kScriptVarFloat ? kScrVarFloat : kScrVarInt;
        if (ScriptVarHasStorage(kind, ref.number)) return true;
        Message("変数番号が不正", "スクリプトエラー");
        return false;
    }
    template <class Holder, class V>
    void Fill(Holder& h, V v, ScriptVarRef ref)
    {
        h.value = v;
        if (Bound(ref)) {
            h.index = ref.number;
            h.kind = ref.kind == kScriptVarFloat ? kScrVarFloat : kScrVarInt;
        } else {
            h.index = -1;
            h.kind = kScrVarInt;
            if (ref.number >= 0) h.value = 0;
        }
    }
    // An operand: a number, or a variable the robot has storage for.
    template <class Holder, class Get>
    Holder ReadHeld(Get get)
    {
        CheckDirectNumber();
        CheckNumberText();
        ScriptVarRef ref;
        const auto v = get(&ref);
        Holder h;
        Fill(h, static_cast<decltype(h.value)>(v), ref);
        return h;
    }
    ScrINT ReadI() { return ReadHeld<ScrINT>([&](ScriptVarRef* ref) { return r.GetInt(ref); }); }
    ScrFLOAT ReadF() { return ReadHeld<ScrFLOAT>([&](ScriptVarRef* ref) { return r.GetFloat(ref); }); }
    ScrCHAR ReadB() { return ReadHeld<ScrCHAR>([&](ScriptVarRef* ref) { return r.GetInt(ref); }); }
    i32 ReadPlain()
    {
        CheckNumberText();
        return r.GetInt();
    }
    f32 ReadPlainFloat()
    {
        CheckNumberText();
        return r.GetFloat();
    }
    std::string ReadText(size_t bytes = kTokenBytes)
    {
        char buf[kTokenBytes] = {};
        r.ReadToken(buf, bytes < kTokenBytes ? bytes : kTokenBytes);
        return buf;
    }
    static std::string Trim(std::string s)
    {
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
        return s;
    }

    // ---- building ----
    // Commands exist only inside a valid entry; elsewhere they are dropped.
    bool CommandAllowed()
    {
        if (anime < 0 || index < 0) {
            Message("不正なIndex", "スクリプトエラー");
            return false;
        }
        return entry != nullptr;
    }
    void Append(std::unique_ptr<RobotScriptBase> c, bool allowed)
    {
        if (allowed && entry) entry->commands.push_back(c.release());
    }

    template <class C, class Holder>
    int ValueCommand(Holder (Parser::*read)())
    {
        const bool allowed = CommandAllowed();
        auto c = std::make_unique<C>();
        Open();
        c->value = (this->*read)();
        if (!End()) return 0;
        Append(std::move(c), allowed);
        return 1;
    }
    // The usual command line: its arguments read between the brackets, the
    // line's end, then the command kept unless check refuses it (a refused
    // one has reported itself; the line still counts as read).
    template <class C, class Read, class Check>
    int Command(std::unique_ptr<C> c, Read read, Check check)
    {
        const bool allowed = CommandAllowed();
        Open();
        read(*c);
        Close();
        if (!End()) return 0;
        if (!check(*c)) return 1;
        Append(std::move(c), allowed);
        return 1;
    }
    template <class C, class Read>
    int Command(Read read)
    {
        return Command(std::make_unique<C>(), read, [](C&) { return true; });
    }
    template <class C, class Read, class Check>
    int Command(Read read, Check check)
    {
        return Command(std::make_unique<C>(), read, check);
    }
    template <class C>
    int ListCommand1()
    {
        return Command<C>([&](C& c) { c.value = ReadI(); });
    }
    template <class C>
    int LockTarget(i8 which)
    {
        return Command<C>([&](C& c) {
            c.values[0] = ReadF();
            c.values[1] = ReadF();
        }, [&](C& c) {
            if constexpr (std::is_same_v<C, Scr_LockArmTarget>)
                c.arm = which;
            else
                c.part = which;
            c.on = c.values[0].value >= 0.0f && c.values[1].value >= 0.0f ? 1 : 0;
            return true;
        });
    }
    int MoveOrForce(std::unique_ptr<Scr_Move> c);
    int Bare(std::unique_ptr<RobotScriptBase> c)
    {
        const bool allowed = CommandAllowed();
        if (!End()) return 0;
        Append(std::move(c), allowed);
        return 1;
    }
    int RunProc(int argCount, const char* keyword);
    int RandomCommand(std::unique_ptr<Scr_Rnd> c);
    int IntSetting(i32* field)
    {
        Open();
        const i32 v = ReadPlain();
        if (!End()) return 0;
        *field = v;
        return 1;
    }
    int NodeName(char (*table)[kRobotNodeNameBytes], i32 count, const char* keyword);
    int PointName(CFixedArray<std::string>& names, CFixedArray<u8>& kinds, i32 count, const char* keyword);

    RobotModelData& d;
    ScriptTokenizer& r;
    i32 anime;
    i32 index;
    ScriptEntry* entry = nullptr;
    // The statement being read, for messages.
    const char* keyword_ = "@";
};

// Prefix order decides: a longer keyword comes before its own prefix.
const Keyword kKeywords[] = {
    {"AnimeLoop", &Parser::AnimeLoop},
    {"MoveLock", &Parser::MoveLock},
    {"Move", &Parser::Move},
    {"Force", &Parser::Force},
    {"AttackPow", &Parser::AttackPow},
    {"AttackForce", &Parser::AttackForce},
    {"AttackDownF", &Parser::AttackDownF},
    {"AttackDelay", &Parser::AttackDelay},
    {"AttackFlag", &Parser::AttackFlag},
    {"LockArmTarget2", &Parser::LockArmTarget2},
    {"LockArm1Target", &Parser::LockArm1},
    {"LockArm2Target", &Parser::LockArm2},
    {"LockBodyDownTarget", &Parser::LockBodyDown},
    {"LockBodyUpTarget", &Parser::LockBodyUp},
    {"SwordEnable", &Parser::SwordEnable},
    {"LaserReflect", &Parser::LaserReflect},
    {"SwordCancel", &Parser::SwordCancel},
    {"Shield1234", &Parser::Shield},
    {"ShotTurnAng", &Parser::ShotTurnAng},
    {"Sub_LRKey", &Parser::SubLRKey},
    {"AddExGauge", &Parser::AddExGauge},
    {"AddEnergy", &Parser::AddEnergy},
    {"GoScriptIndex", &Parser::GoScriptIndex},
    {"GoPoseIndex", &Parser::GoPoseIndex},
    {"vF_Multi", &Parser::VfMulti},
    {"GvEnable", &Parser::GvEnable},
    {"BoostDashMode", &Parser::BoostDashMode},
    {"CamEffect", &Parser::CamEffect},
    {"Snd", &Parser::Snd},
    {"Voice", &Parser::Voice},
    {"GUNFILENAME", &Parser::GunFileName},
    {"SWORDFILENAME", &Parser::SwordFileName},
    {"ATTACKARMSET", &Parser::AttackArmSet},
    {"ATTACK", &Parser::Attack},
    {"WEAPONPOINT", &Parser::WeaponPoint},
    {"ETCPOINT", &Parser::EtcPoint},
    {"BATTERY_SETTING", &Parser::BatterySetting},
    {"RunProc2", &Parser::RunProc2},
    {"SetExtParam", &Parser::SetExtParam},
    {"RunProc", &Parser::RunProc1},
    {"WeaponAttack2", &Parser::WeaponAttack2},
    {"WeaponAttack", &Parser::WeaponAttack},
    {"ChangeWeapon", &Parser::ChangeWeapon},
    {"IF", &Parser::If},
    {"ELSE", &Parser::Else},
    {"ENDIF", &Parser::EndIf},
    {"ChangeAnime", &Parser::ChangeAnime},
    {"Rnd", &Parser::Rnd},
    {"LocalRnd", &Parser::LocalRnd},
    {"RunSubScript", &Parser::RunSubScript},
    {"CatchLastChara", &Parser::CatchLastChara},
    {"HP", &Parser::Hp},
    {"ExecScriptEveryTime", &Parser::EveryTime},
    {"NameEng", &Parser::NameEng},
    {"Name", &Parser::Name},
    {"Generator", &Parser::Generator},
    {"Energy", &Parser::Energy},
    {"Score", &Parser::Score},
    {"RestBody", &Parser::RestBody},
    {"LockDist", &Parser::LockDist},
    {"SubLockDist", &Parser::SubLockDist},
    {"COLORSET", &Parser::ColorSet},
    {"BURNERSET", &Parser::BurnerSet},
    {"BURNER2", &Parser::Burner2},
    {"BURNER", &Parser::Burner},
    {"ColorShader", &Parser::ColorShader},
    {"Shader", &Parser::Shader},
    {"AISetting", &Parser::AiSetting},
    {"AIWeaponSetting", &Parser::AiWeaponSetting},
    {"LoadXFile", &Parser::LoadXFile},
};

int Parser::Run()
{
    for (;;) {
        const char c = At();
        if (c == '\0') return 1;
        if (c == ' ' || c == '\t' || c == ';') {
            r.SkipChar();
            continue;
        }
        if (c == '\r' && At(1) == '\n') {
            r.Advance(2);
            continue;
        }
        if (c == '\'') {
            r.SkipLine();
            continue;
        }
        if (c == '@') {
            keyword_ = "@";
            if (!Variable()) return 0;
            continue;
        }
        const Keyword* hit = nullptr;
        for (const Keyword& k : kKeywords) {
            if (std::strncmp(r.GetCursor(), k.text, std::strlen(k.text)) == 0) {
                hit = &k;
                break;
            }
        }
        if (!hit) {
            Message("不明なスクリプト。読み込み中断", "");
            return 0;
        }
        r.Advance(std::strlen(hit->text));
        keyword_ = hit->text;
        if (!(this->*hit->handler)()) return 0;
    }
}

// "@int[n] op value;", "@float[n] op value;" or "@n op value;". The operator
// is read here rather than by the reader, which would swallow its first
// character: at run time every operator works as written, while the
// parse-time variable takes the value whatever the operator (data relies on
// "+=" acting as "=" while parsing).
int Parser::Variable()
{
    r.Advance(1);
    r.SkipBlanks();
    i8 targetKind = kScrVarInt;
    bool bracketed = false;
    // As the reader has it: a blank after the type word makes it no typed
    // form, and the number then reads as 0.
    auto typeWord = [&](const char* word) {
        const size_t n = std::strlen(word);
        return std::strncmp(r.GetCursor(), word, n) == 0 && At(n) != ' ' && At(n) != '\t';
    };
    if (typeWord("int")) {
        r.Advance(3);
        bracketed = true;
    } else if (typeWord("float")) {
        r.Advance(5);
        targetKind = kScrVarFloat;
        bracketed = true;
    }
    if (bracketed) {
        r.SkipBlanks();
        r.SkipChar();
        r.SkipBlanks();
    }
    char* endp = nullptr;
    const long n = std::strtol(r.GetCursor(), &endp, 10);
    r.Advance(static_cast<size_t>(endp - r.GetCursor()));
    if (bracketed) {
        r.SkipBlanks();
        r.SkipChar();
    }
    if (n < 0 || n >= kScriptVarCount) {
        Message("変数番号が不正", "スクリプトエラー");
        return 0;
    }
    r.SkipBlanks();
    i8 op = kHensuSet;
    static const char* const kOps[] = {"=", "+=", "-=", "*=", "/="};
    for (i8 k = 4; k >= 0; --k) {
        if (std::strncmp(r.GetCursor(), kOps[k], std::strlen(kOps[k])) == 0) {
            op = k;
            r.Advance(std::strlen(kOps[k]));
            break;
        }
    }

    const bool inEntry = anime != -1 && index != -1;
    std::unique_ptr<RobotScriptBase> command;
    if (targetKind == kScrVarFloat) {
        CheckDirectNumber();
        CheckNumberText();
        ScriptVarRef ref;
        const f32 v = r.GetFloat(&ref);
        r.SetFloatVar(static_cast<i32>(n), v);
        auto c = std::make_unique<Scr_Hensu<f32>>();
        ScrFLOAT h;
        Fill(h, v, ref);
        c->value = h.value;
        c->index = h.index;
        c->kind = h.kind;
        c->number = static_cast<i32>(n);
        c->targetKind = kScrVarFloat;
        c->op = op;
        command = std::move(c);
    } else {
        CheckDirectNumber();
        CheckNumberText();
        ScriptVarRef ref;
        const i32 v = r.GetInt(&ref);
        r.SetIntVar(static_cast<i32>(n), v);
        auto c = std::make_unique<Scr_Hensu<i32>>();
        ScrINT h;
        Fill(h, v, ref);
        c->value = h.value;
        c->index = h.index;
        c->kind = h.kind;
        c->number = static_cast<i32>(n);
        c->targetKind = kScrVarInt;
        c->op = op;
        command = std::move(c);
    }
    if (!End()) return 0;
    if (inEntry && ScriptVarHasStorage(targetKind, static_cast<i32>(n)))
        Append(std::move(command), true);
    else if (inEntry)
        Message("変数番号が不正", "スクリプトエラー");
    return 1;
}

int Parser::MoveLock()
{
    const bool allowed = CommandAllowed();
    r.SkipBlanks();
    r.SkipChar();
    r.SkipChar();
    Append(std::make_unique<Scr_MoveLock>(), allowed);
    return 1;
}

int Parser::MoveOrForce(std::unique_ptr<Scr_Move> c)
{
    const bool allowed = CommandAllowed();
    r.SkipBlanks();
    r.SkipChar();
    r.SkipChar();
    for (int axis = 0; axis < 3; ++axis) {
        CheckDirectNumber();
        char text[kTokenBytes] = {};
        i32 isFloat = 0;
        ScriptVarRef ref;
        r.GetOperand(text, &isFloat, &ref);
        ScrFLOAT& h = c->axis[axis];
        if (ref.number < 0) {
            if (Trim(text) == "STOP") {
                c->stop[axis] = 1;
                h.value = 0.0f;
            } else {
                h.value = static_cast<f32>(std::atof(text));
            }
            continue;
        }
        if (ref.number == 99) {
            char msg[512];
            std::snprintf(msg, sizeof msg, "99 [%s]AnimeNo=%d ScriptIndex=%d", d.name, anime, index);
            Message(msg, "Move");
        }
        Fill(h, 0.0f, ref);
    }
    Close();
    if (!End()) return 0;
    Append(std::move(c), allowed);
    return 1;
}

int Parser::AttackDelay()
{
    i32 slot = 0;
    return Command<Scr_AttackDelay>([&](Scr_AttackDelay& c) {
        slot = ReadPlain();
        c.value = ReadI();
    }, [&](Scr_AttackDelay& c) {
        if (slot < 0 || slot >= kScriptAttackDelaySlots) {
            BadNumber("AttackDelay");
            return false;
        }
        c.slot = static_cast<i8>(slot);
        return true;
    });
}

int Parser::LockArmTarget2()
{
    Message("これは使用不可", "LockArmTarget2");
    Open();
    ReadText();
    return End();
}

int Parser::GoScriptIndex() { return ListCommand1<Scr_GoScriptIndex>(); }

int Parser::GoPoseIndex()
{
    return Command<Scr_GoPoseIndex>([&](Scr_GoPoseIndex& c) {
        c.anime = ReadI();
        c.start = ReadI();
    });
}

int Parser::Snd() { return ListCommand1<Scr_Snd>(); }

int Parser::Voice()
{
    return Command<Scr_Voice>([&](Scr_Voice& c) {
        const std::string name = Trim(ReadText());
        static const char* const kNames[] = {"Attack", "S_Attack", "Damage", "Die", "Destroy", "Rebirth", "Wake"};
        c.value.value = 0;
        for (i8 k = 0; k < 7; ++k)
            if (name == kNames[k]) c.value.value = k;
    });
}

int Parser::Attack()
{
    const bool allowed = CommandAllowed();
    auto pow = std::make_unique<Scr_AttackPow>();
    auto down = std::make_unique<Scr_AttackDownF>();
    auto force = std::make_unique<Scr_AttackForce>();
    auto forceY = std::make_unique<Scr_AttackForceY>();
    Open();
    pow->value = ReadI();
    down->value = ReadI();
    force->value = ReadF();
    forceY->value = ReadF();
    Close();
    if (!End()) return 0;
    Append(std::move(pow), allowed);
    Append(std::move(down), allowed);
    Append(std::move(force), allowed);
    Append(std::move(forceY), allowed);
    return 1;
}

int Parser::RunProc(int argCount, const char* keyword)
{
    i32 slot = 0;
    return Command<Scr_RunProc>([&](Scr_RunProc& c) {
        slot = ReadPlain();
        c.proc = ReadI();
        for (int k = 0; k < argCount; ++k) c.args[k] = ReadI();
    }, [&](Scr_RunProc& c) {
        if (slot < 0 || slot >= 20) {
            const std::string caption = std::string("スクリプトエラー ") + keyword;
            Message("番号が不正", caption.c_str());
            return false;
        }
        c.slot = slot;
        return true;
    });
}

int Parser::SetExtParam()
{
    return Command<Scr_SetExtParam>([&](Scr_SetExtParam& c) {
        for (ScrINT& v : c.values) v = ReadI();
    });
}

int Parser::ChangeWeapon()
{
    return Command<Scr_RunProc>([&](Scr_RunProc& c) {
        const std::string name = Trim(ReadText());
        c.proc.value = name == "SWORD" ? 52 : name == "GUN" ? 51 : -1;
    });
}

int Parser::If()
{
    return Command<Scr_IF>([&](Scr_IF& c) { IfOperands(c); });
}

void Parser::IfOperands(Scr_IF& c)
{
    bool bad = false;
    auto operand = [&](ScrNUMBER& n) {
        CheckDirectNumber();
        char text[kTokenBytes] = {};
        i32 isFloat = -1;
        ScriptVarRef ref;
        r.GetOperand(text, &isFloat, &ref);
        if (isFloat != 0 && isFloat != 1) {
            bad = true;
            return;
        }
        n.isFloat = static_cast<i8>(isFloat);
        if (ref.number >= 0 && Bound(ref)) {
            n.index = ref.number;
            n.kind = ref.kind == kScriptVarFloat ? kScrVarFloat : kScrVarInt;
        } else if (ref.number < 0 && isFloat) {
            n.value.f = static_cast<f32>(std::atof(text));
        } else if (ref.number < 0) {
            n.value.i = std::atoi(text);
        }
    };
    operand(c.a);
    r.SkipBlanks();
    static const struct {
        const char* text;
        i8 op;
    } kOps[] = {{"==", kIfEq}, {">=", kIfGe}, {"<=", kIfLe}, {"!=", kIfNe}, {">", kIfGt}, {"<", kIfLt}};
    bool known = false;
    for (const auto& o : kOps) {
        if (std::strncmp(r.GetCursor(), o.text, std::strlen(o.text)) == 0) {
            c.op = o.op;
            r.Advance(std::strlen(o.text));
            known = true;
            break;
        }
    }
    if (!known) Message("IFの演算子の指定が変です。", "");
    r.SkipBlanks();
    r.SkipChar();
    operand(c.b);
    if (bad) Message("IFのエラー", "");
}

int Parser::ChangeAnime()
{
    return Command<Scr_ChangeAnime>([&](Scr_ChangeAnime& c) {
        c.anime = ReadI();
        c.blend = ReadF();
        c.mode = ReadI();
    });
}

int Parser::RandomCommand(std::unique_ptr<Scr_Rnd> c)
{
    return Command(std::move(c), [&](Scr_Rnd& rnd) {
        rnd.target = ReadPlain();
        rnd.min = ReadI();
        rnd.max = ReadI();
    }, [&](Scr_Rnd& rnd) {
        if (ScriptVarHasStorage(kScrVarInt, rnd.target)) return true;
        Message("変数番号が不正", "スクリプトエラー");
        return false;
    });
}

int Parser::RunSubScript()
{
    return Command<Scr_RunSubScript>([&](Scr_RunSubScript& c) {
        c.channel = ReadI();
        c.anime = ReadI();
    });
}

int Parser::CatchLastChara()
{
    return Command<Scr_CatchChara>([&](Scr_CatchChara& c) {
        c.mode = ReadB();
        c.a = ReadI();
        c.b = ReadI();
    });
}

int Parser::Burner()
{
    return Command<Scr_BunerOut>([&](Scr_BunerOut& c) {
        c.burner = ReadI();
        c.scale = ReadF();
        c.on.value = 1;
    }, [&](Scr_BunerOut& c) {
        if (c.burner.index >= 0 || (c.burner.value >= 0 && c.burner.value < kScriptBurnerSlots)) return true;
        BadNumber("BURNER");
        return false;
    });
}

int Parser::Burner2()
{
    Open();
    ReadPlain();
    ReadText();
    Close();
    char msg[512];
    std::snprintf(msg, sizeof msg, "BURNER2は使用不可。[%s]AnimeNo=%d ScriptIndex=%d", d.name, anime, index);
    Message(msg, "ScriptReader");
    return 1;
}

// ---- settings ----

int Parser::NameEng()
{
    Open();
    ReadText();
    return End();
}

int Parser::Name()
{
    Open();
    char buf[kRobotNameBytes] = {};
    r.ReadToken(buf, sizeof buf);
    if (!End()) return 0;
    std::memcpy(d.name, buf, sizeof buf);
    return 1;
}

int Parser::SubLockDist()
{
    Open();
    const i32 i = ReadPlain();
    const i32 v = ReadPlain();
    Close();
    if (!End()) return 0;
    if (i < 0 || i >= kRobotSubLockDists)
        BadNumber("SubLockDist");
    else
        d.subLockDist[i] = v;
    return 1;
}

int Parser::ColorSet()
{
    Open();
    const i32 set = ReadPlain();
    const i32 m = ReadPlain();
    f32 v[4];
    for (f32& f : v) f = ReadPlainFloat();
    Close();
    if (!End()) return 0;
    if (set < 0 || set >= kRobotColorSets || m < 0 || m >= kRobotColorMaterials || !d.colorSets.IsCreated()) {
        BadNumber("COLORSET");
        return 1;
    }
    RobotColorData& cs = d.colorSets[set];
    if (!cs.colors.IsCreated() || m >= cs.colors.GetCount() || m >= cs.overrideFlags.GetCount()) return 1;
    cs.colors[m] = ColorF(v[1], v[2], v[3], v[0]);
    cs.overrideFlags[m] = 1;
    return 1;
}

int Parser::BurnerSet()
{
    Open();
    const i32 i = ReadPlain();
    const std::string frame = Trim(ReadText(kRobotNodeNameBytes));
    const f32 scale = ReadPlainFloat();
    ReadText();
    Close();
    if (!End()) return 0;
    if (i < 0 || i >= kRobotBurners || i >= d.burnerNodeNames.GetCount() || i >= d.burnerValues.GetCount()) {
        BadNumber("BURNERSET");
        return 1;
    }
    d.burnerNodeNames[i] = frame;
    d.burnerValues[i] = scale;
    return 1;
}

int Parser::ColorShader()
{
    Open();
    const i32 set = ReadPlain();
    const i32 m = ReadPlain();
    const i32 kind = ReadPlain();
    f32 p[kRobotShaderParams];
    for (f32& f : p) f = ReadPlainFloat();
    Close();
    if (!End()) return 0;
    if (set < 0 || set >= kRobotColorSets || m < 0 || m >= kRobotColorMaterials || !d.colorSets.IsCreated()) {
        BadNumber("COLORSET");
        return 1;
    }
    RobotColorData& cs = d.colorSets[set];
    if (m >= cs.materialShaderKinds.GetCount() || m >= cs.materialShaderParams.GetCount()) return 1;
    cs.materialShaderKinds[m] = static_cast<u32>(kind);
    CFixedArray<f32>& params = cs.materialShaderParams[m];
    for (i32 k = 0; k < kRobotShaderParams && k < params.GetCount(); ++k) params[k] = p[k];
    return 1;
}

int Parser::Shader()
{
    Open();
    const i32 set = ReadPlain();
    const i32 kind = ReadPlain();
    f32 p[kRobotShaderParams];
    for (f32& f : p) f = ReadPlainFloat();
    Close();
    if (!End()) return 0;
    if (set < 0 || set >= kRobotColorSets || !d.colorSets.IsCreated()) {
        BadNumber("COLORSET");
        return 1;
    }
    RobotColorData& cs = d.colorSets[set];
    cs.shaderEnabled = static_cast<u8>(kind);
    for (i32 k = 0; k < kRobotShaderParams && k < cs.shaderParams.GetCount(); ++k) cs.shaderParams[k] = p[k];
    return 1;
}

int Parser::AiSetting()
{
    Open();
    const i32 kind = ReadPlain();
    const f32 range = ReadPlainFloat();
    Close();
    if (!End()) return 0;
    d.aiSettingKind = static_cast<u16>(kind);
    d.aiSettingRange = range;
    return 1;
}

int Parser::AiWeaponSetting()
{
    Open();
    const i32 i = ReadPlain();
    const f32 a = ReadPlainFloat();
    const f32 b = ReadPlainFloat();
    const i32 kind = ReadPlain();
    const i32 value = ReadPlain();
    Close();
    if (!End()) return 0;
    if (i < 0 || i >= kRobotAiWeapons) {
        BadNumber("AIWeaponSetting");
        return 1;
    }
    d.aiWeaponSettings[i] = RobotAiWeaponSetting{a, b, static_cast<u8>(kind), static_cast<u16>(value)};
    return 1;
}

// A mesh named by a script stays inside the type's folder.
bool SafeRelativeName(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos) return false;
    return name.find("..") == std::string::npos;
}

int Parser::LoadXFile()
{
    Open();
    const i32 slot = ReadPlain();
    const std::string file = Trim(ReadText());
    const i32 flag = ReadPlain();
    Close();
    if (!End()) return 0;
    // Each line loads a mesh: a script of thousands would stall the load.
    if (++d.loadXFileLines > kRobotMaxLoadXFileLines) {
        const std::string why = "its scripts hold more than " + std::to_string(kRobotMaxLoadXFileLines) +
                                " LoadXFile lines (the next names '" + file + "')";
        // A type's load refuses the type with one message; a lone script says so itself.
        if (d.meshBudget) d.meshBudget->Refuse(why);
        else Message(why.c_str(), "スクリプトエラー LoadXFile");
        return 0;
    }
    if (slot < 0 || slot >= kRobotExtraMeshes || slot >= d.extraMeshes.GetCount() ||
        slot >= d.extraMeshFlags.GetCount()) {
        BadNumber("LoadXFile");
        return 1;
    }
    if (!SafeRelativeName(file)) {
        Message("ファイル名が不正", "スクリプトエラー LoadXFile");
        return 1;
    }
    const std::string path = g_scriptFolder.empty() ? file : g_scriptFolder + "/" + file;
    d.extraMeshFlags[slot] = static_cast<u8>(flag);
    // Outside a type's load (a lone script) the line has a budget of its own.
    MeshBudget own("the robot type's meshes", kModelMaxVertices, kModelMaxFaces, kModelMaxWeights);
    MeshBudget& budget = d.meshBudget ? *d.meshBudget : own;
    // Slots naming one file share its mesh; a file that failed stays an
    // empty mesh, tried once.
    auto [at, fresh] = budget.meshes.try_emplace({path, u64(2) << 32});
    if (fresh) {
        auto mesh = std::make_shared<MeshObject>();
        if (mesh->LoadScrambled(path.c_str(), AssetKey, nullptr, &budget)) {
            mesh->ComputeBounds();
            mesh->BuildCollisionTriangles();
        }
        // A refused budget refuses the whole type: nothing more is read.
        if (budget.Refused()) return 0;
        at->second = std::move(mesh);
    }
    d.extraMeshes[slot] = at->second;
    return 1;
}

int Parser::BatterySetting()
{
    Open();
    const i32 i = ReadPlain();
    const i32 kind = ReadPlain();
    char nameA[kRobotNodeNameBytes] = {};
    r.ReadToken(nameA, sizeof nameA);
    const f32 v0 = ReadPlainFloat();
    const f32 v1 = ReadPlainFloat();
    char nameB[kRobotNodeNameBytes] = {};
    r.ReadToken(nameB, sizeof nameB);
    const f32 v2 = ReadPlainFloat();
    const f32 v3 = ReadPlainFloat();
    const f32 v4 = ReadPlainFloat();
    Close();
    if (!End()) return 0;
    if (i < 0 || i >= kRobotBatteries) {
        BadNumber("BATTERY_SETTING");
        return 1;
    }
    d.batteryEnabled[i] = 1;
    d.batteryKind[i] = static_cast<u8>(kind);
    std::memcpy(d.batteryNodeNamesA[i], nameA, sizeof nameA);
    std::memcpy(d.batteryNodeNamesB[i], nameB, sizeof nameB);
    const f32 v[5] = {v0, v1, v2, v3, v4};
    for (int k = 0; k < 5; ++k) d.batteryValues[k][i] = v[k];
    return 1;
}

int Parser::NodeName(char (*table)[kRobotNodeNameBytes], i32 count, const char* keyword)
{
    Open();
    const i32 i = ReadPlain();
    char buf[kRobotNodeNameBytes] = {};
    r.ReadToken(buf, sizeof buf);
    Close();
    if (!End()) return 0;
    if (i < 0 || i >= count) {
        BadNumber(keyword);
        return 1;
    }
    std::memcpy(table[i], buf, sizeof buf);
    return 1;
}

int Parser::PointName(CFixedArray<std::string>& names, CFixedArray<u8>& kinds, i32 count, const char* keyword)
{
    Open();
    const i32 i = ReadPlain();
    const std::string frame = Trim(ReadText(kRobotNodeNameBytes));
    const std::string mode = Trim(ReadText());
    Close();
    const bool weapon = std::strcmp(keyword, "WEAPONPOINT") == 0;
    if (!End(weapon ? "(WEAPONPOINT)" : "")) return 0;
    if (i < 0 || i >= count || i >= names.GetCount() || i >= kinds.GetCount()) {
        BadNumber(keyword);
        return 1;
    }
    names[i] = frame;
    kinds[i] = mode == "UP" ? 2 : mode == "DOWN" ? 1 : 0;
    return 1;
}

} // namespace

const char* ScriptKeyword(size_t i)
{
    return i < std::size(kKeywords) ? kKeywords[i].text : nullptr;
}

void SetScriptFolder(const std::string& folder)
{
    g_scriptFolder = folder;
}

int RobotModelData::ParseScriptLine(const char* text, i32 animeNo, i32 scriptIndex)
{
    if (!text) return 1;
    if (animeNo >= kRobotAnimeCount) ShowScriptMessage("アニメ番号が不正", "スクリプトエラー");
    else if (animeNo >= 0 && scriptEntryCounts.IsCreated() && scriptIndex >= scriptEntryCounts[animeNo])
        ShowScriptMessage("インデックス番号が不正", "スクリプトエラー");
    // The reader's own text is parsed in place; any other text is copied in.
    if (!scriptReader.HasText() || !scriptReader.SetCursor(text) || text != scriptReader.GetText())
        scriptReader.SetText(text);
    Parser parser(*this, animeNo, scriptIndex);
    return parser.Run();
}
