#include "app/player/PartGenerator.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/core/Application.h"
#include "app/player/GameItem.h"
#include "platform/core/TextCodec.h"

namespace {

u32 Roll(u32 modulus) { return GetApplication()->random.GetRand() % modulus; }

i16 RollBonus(u32 modulus, i32 base) { return i16(i32(Roll(modulus)) + base); }

std::string Header(const char* text, int blanks) { return std::string(text) + std::string(size_t(blanks), ' ') + "\n"; }

struct StatLine {
    const char* name;
    int trailingBlanks;
};
constexpr StatLine StatLines[9] = {
    {"射击攻击力", 2},     {"格斗攻击力", 2},     {"光束防御力", 2},
    {"实弹防御力", 0},     {"格斗防御力", 0},     {"推进能量最大值", 0},
    {"武器能量最大值", 2}, {"推进能量补充量", 0}, {"武器能量补充量", 2},
};

const char* GradeLabel(i32 grade)
{
    switch (grade) {
    case GradeS: return "S级";
    case GradeA: return "A级";
    case GradeB: return "B级";
    case GradeC: return "C级";
    default: return "D级";
    }
}

u32 GradeColour(i32 grade)
{
    switch (grade) {
    case GradeS: return PartColourGold;
    case GradeA: return PartColourGreen;
    case GradeB: return PartColourBlue;
    default: return PartColourWhite;
    }
}

i32 PickGrade(f32 chance, u32 roll)
{
    const f32 r = f32(roll);
    if (chance * 50.0f > r) return GradeS;
    if (chance * 150.0f > r) return GradeA;
    if (chance * 800.0f > r) return GradeB;
    if (chance * 1000.0f > r) return GradeC;
    return GradeD;
}

// Appends to a fixed text field without splitting a character.
void AppendField(char* field, size_t size, const std::string& tail)
{
    const std::string joined = std::string(field) + tail;
    plat::Utf8CopyTruncated(field, size, joined.c_str());
}

// Bonuses of the makers that raise two figures (X, Y).
void RollPair(i16* bonus, int x, int y, i32 grade, u32 split)
{
    switch (grade) {
    case GradeS:
        bonus[x] = RollBonus(5, 16);
        bonus[y] = RollBonus(5, 16);
        break;
    case GradeA:
    case GradeB:
    case GradeC: {
        // Low and middle splits raise one figure a step higher than the
        // high split raises both.
        const i32 high = grade == GradeA ? 16 : grade == GradeB ? 11 : 6;
        if (split < 333) {
            bonus[x] = RollBonus(5, high);
        } else if (split < 666) {
            bonus[y] = RollBonus(5, high);
        } else if (grade == GradeC) {
            bonus[x] = 5;
            bonus[y] = 5;
        } else {
            bonus[x] = RollBonus(5, high - 5);
            bonus[y] = RollBonus(5, high - 5);
        }
        break;
    }
    default:
        if (split < 500) bonus[x] = 5;
        else bonus[y] = 5;
        break;
    }
}

// Bonuses of the armour maker (X, Y, Z = the three defences).
void RollTriple(i16* bonus, i32 grade, u32 split)
{
    constexpr int x = BonusBeamDefence, y = BonusSolidDefence, z = BonusMeleeDefence;
    switch (grade) {
    case GradeS:
        bonus[x] = RollBonus(5, 16);
        bonus[y] = RollBonus(5, 16);
        bonus[z] = RollBonus(5, 16);
        break;
    case GradeA:
    case GradeB:
    case GradeC: {
        const i32 high = grade == GradeA ? 16 : grade == GradeB ? 11 : 6;
        if (split < 333) {
            bonus[x] = RollBonus(5, high);
            bonus[y] = RollBonus(5, high);
        } else if (split < 666) {
            bonus[z] = RollBonus(5, high);
        } else if (grade == GradeC) {
            bonus[x] = bonus[y] = bonus[z] = 5;
        } else {
            bonus[x] = RollBonus(5, high - 5);
            bonus[y] = RollBonus(5, high - 5);
            bonus[z] = RollBonus(5, high - 5);
        }
        break;
    }
    default:
        if (split < 500) bonus[x] = bonus[y] = 5;
        else bonus[z] = 5;
        break;
    }
}

}  // namespace

void CGameItem_PowerUp::Randomize(f32 chance)
{
    const u32 roll = Roll(10000);
    if (chance * 10.0f >= f32(roll)) {
        switch (Roll(7)) {
        case 0: MakeSpecial0(); break;
        case 1: MakeSpecial1(); break;
        case 2: MakeSpecial2(); break;
        case 3: MakeSpecial3(); break;
        case 4: MakeSpecial4(); break;
        case 5: MakeSpecial5(); break;
        default: MakeSpecial6(); break;
        }
        return;
    }
    switch (Roll(3)) {
    case 0: MakeRanged(chance); break;
    case 1: MakeArmour(chance); break;
    default: MakeThruster(chance); break;
    }
}

void CGameItem_PowerUp::AppendBonusLines()
{
    std::string lines;
    for (int k = 0; k < 9; ++k) {
        if (bonus[k] <= 0) continue;
        char line[64];
        std::snprintf(line, sizeof line, "\n %s + %d%*s", StatLines[k].name, bonus[k],
                      StatLines[k].trailingBlanks, "");
        lines += line;
    }
    AppendField(description, sizeof description, lines);
}

namespace {

struct GradedMaker {
    const char* header;
    int headerBlanks;
    const char* suffix;
};

// The common frame of the graded makers.
void MakeGraded(CGameItem_PowerUp& part, f32 chance, const GradedMaker& maker, bool thruster,
                       bool armour)
{
    const u32 roll = Roll(10000);
    const u32 split = Roll(1000);
    int x = BonusShootAttack, y = BonusMeleeAttack;
    if (thruster) {
        const bool recharge = Roll(2) & 1;
        x = recharge ? BonusThrustRecharge : BonusThrustMax;
        y = recharge ? BonusWeaponRecharge : BonusWeaponMax;
    }
    plat::Utf8CopyTruncated(part.description, sizeof part.description,
                            Header(maker.header, maker.headerBlanks).c_str());
    const i32 grade = PickGrade(chance, roll);
    plat::Utf8CopyTruncated(part.name, sizeof part.name, GradeLabel(grade));
    part.colour = GradeColour(grade);
    part.grade = grade;
    if (armour) RollTriple(part.bonus, grade, split);
    else RollPair(part.bonus, x, y, grade, split);
    part.AppendBonusLines();
    AppendField(part.name, sizeof part.name, maker.suffix);
}

}  // namespace

void CGameItem_PowerUp::MakeRanged(f32 chance)
{
    MakeGraded(*this, chance, {"远程攻击力强化部件", 4, "/弹药夹"}, false, false);
}

void CGameItem_PowerUp::MakeArmour(f32 chance)
{
    MakeGraded(*this, chance, {"防御能力强化部件", 6, "/装甲部件    "}, false, true);
}

void CGameItem_PowerUp::MakeThruster(f32 chance)
{
    MakeGraded(*this, chance, {"推进器综合性能强化部件", 6, "/推进部件    "}, true, false);
}

namespace {

// Fixed makers: header first, then the bonuses drawn by the maker, then the
// lines, the colour, the grade and the suffix.
template <class Draw>
void MakeFixed(CGameItem_PowerUp& part, const char* header, int blanks, i32 grade, const char* suffix,
               Draw draw)
{
    plat::Utf8CopyTruncated(part.description, sizeof part.description, Header(header, blanks).c_str());
    plat::Utf8CopyTruncated(part.name, sizeof part.name, "S级");
    draw(part.bonus);
    part.AppendBonusLines();
    part.colour = PartColourGold;
    part.grade = grade;
    AppendField(part.name, sizeof part.name, suffix);
}

}  // namespace

void CGameItem_PowerUp::MakeSpecial0()
{
    MakeFixed(*this, "机动性能强化部件", 16, GradeFixedTop, "/动力部件", [](i16* b) {
        for (int k : {2, 3, 4}) b[k] = RollBonus(5, 16);
        for (int k : {5, 6, 7, 8}) b[k] = RollBonus(6, 10);
    });
}

void CGameItem_PowerUp::MakeSpecial1()
{
    MakeFixed(*this, "攻击力与机动性能强化部件", 6, GradeFixedTop, "/力量部件    ", [](i16* b) {
        for (int k : {0, 1}) b[k] = RollBonus(6, 10);
        for (int k : {5, 6, 7, 8}) b[k] = RollBonus(6, 15);
    });
}

void CGameItem_PowerUp::MakeSpecial2()
{
    MakeFixed(*this, "综合战斗性能强化部件", 10, GradeFixedTop, "/完美部件  ", [](i16* b) {
        for (int k : {0, 1, 2, 3, 4}) b[k] = RollBonus(5, 16);
    });
}

void CGameItem_PowerUp::MakeSpecial3()
{
    MakeFixed(*this, "防御能力与机动性能强化部件", 4, GradeFixed, "/合金部件    ", [](i16* b) {
        for (int k : {2, 3}) b[k] = RollBonus(6, 15);
        for (int k : {5, 6}) b[k] = RollBonus(11, 10);
    });
}

void CGameItem_PowerUp::MakeSpecial4()
{
    MakeFixed(*this, "武器性能强化部件", 18, GradeFixed, "/武器部件        ", [](i16* b) {
        b[1] = RollBonus(5, 13);
        b[4] = RollBonus(8, 13);
        b[6] = RollBonus(6, 10);
        b[8] = RollBonus(6, 10);
    });
}

void CGameItem_PowerUp::MakeSpecial5()
{
    MakeFixed(*this, "机动性能强化部件", 12, GradeFixed, "/引擎部件      ", [](i16* b) {
        for (int k : {5, 7, 6, 8}) b[k] = RollBonus(11, 20);
    });
}

void CGameItem_PowerUp::MakeSpecial6()
{
    MakeFixed(*this, "攻击力与机动性能强化部件", 12, GradeFixed, "/缓冲部件      ", [](i16* b) {
        b[1] = RollBonus(5, 13);
        b[4] = RollBonus(5, 13);
        b[5] = RollBonus(6, 10);
        b[7] = RollBonus(6, 10);
    });
}
