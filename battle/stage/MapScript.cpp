// The small scripts of a stage: part scripts set the stage-wide look (fog,
// light, sky, area wall, music), object scripts set a placed object's
// variables, its cell's water height, or turn the placement into a start
// point.
#include <cstdint>
#include <cstring>
#include <string>

#include "battle/stage/BattleMap.h"
#include "engine/core/ScriptTokenizer.h"
#include "platform/math/Math.h"

namespace {

constexpr const char kUnknownText[] = "不明なスクリプト。読み込み中断";
constexpr const char kUnknownCaption[] = "Map Script";
constexpr const char kBadNumberText[] = "変数番号が不正";
constexpr const char kBadNumberCaption[] = "スクリプトエラー";

struct KeyInfo {
    const char* name;
    i32 type;
};

// Slot order; the index is the slot.
constexpr KeyInfo kKeys[kMapKeyedVarCount] = {
    {"Hp", kMapVarTypeInt},
    {"HitProc", kMapVarTypeInt},
    {"Flag", kMapVarTypeInt},
    {"HitFlag", kMapVarTypeInt},
    {"DestroyProc", kMapVarTypeInt},
    {"DestroyParam00", kMapVarTypeInt},
    {"DestroyParam01", kMapVarTypeInt},
    {"DestroyParam02", kMapVarTypeInt},
    {"DestroyParam03", kMapVarTypeInt},
    {"DestroyParam04", kMapVarTypeInt},
    {"DestroyParam05", kMapVarTypeInt},
    {"DestroyParam06", kMapVarTypeInt},
    {"DestroyParam07", kMapVarTypeInt},
    {"DestroyParam08", kMapVarTypeInt},
    {"DestroyParam09", kMapVarTypeInt},
    {"ShadowFlag", kMapVarTypeInt},
    {"AlphaTestFlag", kMapVarTypeInt},
    {"CullFar", kMapVarTypeFloat},
    {"ShadowDrawFlag", kMapVarTypeInt},
    {"CullMode", kMapVarTypeInt},
    {"CamAlpha", kMapVarTypeInt},
    {"LightEnable", kMapVarTypeInt},
    {"DrawMode", kMapVarTypeInt},
    {"DrawGroup", kMapVarTypeInt},
    {"ZWriteEnable", kMapVarTypeInt},
};

bool StartsWith(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Steps over what every script may hold between statements. true when the
// cursor moved; *end is set at the terminating zero.
bool SkipFiller(ScriptTokenizer& t, bool* end)
{
    const char* at = t.GetCursor();
    *end = false;
    if (at[0] == '\0') {
        *end = true;
        return false;
    }
    if (at[0] == ' ' || at[0] == '\t' || at[0] == ';') {
        t.Advance(1);
        return true;
    }
    if (at[0] == '\r' && at[1] == '\n') {
        t.Advance(2);
        return true;
    }
    if (at[0] == '\'') {
        t.SkipLine();
        return true;
    }
    return false;
}

// A bracketed variable number. One that is itself a variable is no number
// at all: it reads as out of range, without stepping into it.
i32 ReadIndex(ScriptTokenizer& t)
{
    t.SkipBlanks();
    if (t.GetCursor()[0] == '@') {
        char skipped[32];
        t.Advance(1);
        t.ReadToken(skipped);
        return INT32_MAX;
    }
    return t.GetInt();
}

// An operand naming a script variable reads 0: a stage script's variable
// tables are always empty. It is stepped over here rather than by the
// tokenizer, so a bad one adds to the load's messages instead of showing a
// box of its own.
bool SkipVariableOperand(ScriptTokenizer& t, BattleMap* map)
{
    t.SkipBlanks();
    if (t.GetCursor()[0] != '@') return false;
    t.Advance(1);
    char word[32];
    t.ReadToken(word);
    const char open = t.GetCursor()[0];
    if (open == '[' || open == '(') {
        t.Advance(1);
        const i32 n = ReadIndex(t);
        if (n < 0 || n >= ScriptTokenizer::kVarCount) map->AddMessage(kBadNumberText, kBadNumberCaption);
        t.SkipBlanks();
        t.SkipChar();
        t.ReadToken(word);
    }
    return true;
}

i32 ReadInt(ScriptTokenizer& t, BattleMap* map)
{
    if (SkipVariableOperand(t, map)) return 0;
    return t.GetInt();
}

f32 ReadFloat(ScriptTokenizer& t, BattleMap* map)
{
    if (SkipVariableOperand(t, map)) return 0.0f;
    return t.GetFloat();
}

// The key, blanks, one character (the '=' or '(').
void OpenValues(ScriptTokenizer& t, size_t keyLength)
{
    t.Advance(keyLength);
    t.SkipBlanks();
    t.SkipChar();
}

// Blanks, one character (the ';' or ')').
void CloseValues(ScriptTokenizer& t)
{
    t.SkipBlanks();
    t.SkipChar();
}

// A bare keyword stands alone: blanks, ';', a line end or the end follow.
bool StandsAlone(const char* after)
{
    return after[0] == '\0' || after[0] == ' ' || after[0] == '\t' || after[0] == ';' ||
           (after[0] == '\r' && after[1] == '\n');
}

void UnknownText(BattleMap* map)
{
    map->AddMessage(kUnknownText, kUnknownCaption);
}

void TrimRight(char* s)
{
    size_t n = std::strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t')) s[--n] = '\0';
}

}  // namespace

i32 CMapObjNode::LookupKey(const char* name, i32* type)
{
    if (!name) return -1;
    for (i32 i = 0; i < kMapKeyedVarCount; ++i) {
        if (StartsWith(name, kKeys[i].name)) {
            if (type) *type = kKeys[i].type;
            return i;
        }
    }
    return -1;
}

void MapPartData::ReadScript(BattleMap* map)
{
    if (!map) return;
    ScriptTokenizer t;
    t.ClearIntVars();
    t.ClearFloatVars();
    t.SetText(script.c_str());
    for (;;) {
        bool end = false;
        if (SkipFiller(t, &end)) continue;
        if (end || map->IsRefused()) return;
        const char* at = t.GetCursor();
        if (StartsWith(at, "AreaHitXFile")) {
            if (!StandsAlone(at + 12)) break;
            t.Advance(12);
            map->areaHitMesh = drawMesh.get();
        } else if (StartsWith(at, "SkyXFile")) {
            if (!StandsAlone(at + 8)) break;
            t.Advance(8);
            map->skyMesh = drawMesh.get();
            map->sky.mesh = drawMesh.get();
        } else if (StartsWith(at, "FogColor") || StartsWith(at, "LightColor")) {
            const bool fog = at[0] == 'F';
            OpenValues(t, fog ? 8 : 10);
            const i32 r = ReadInt(t, map);
            const i32 g = ReadInt(t, map);
            const i32 b = ReadInt(t, map);
            CloseValues(t);
            (fog ? map->fogColor : map->lightColor) = MapPackColor(r, g, b);
        } else if (StartsWith(at, "LightAmb")) {
            OpenValues(t, 8);
            const f32 r = ReadFloat(t, map);
            const f32 g = ReadFloat(t, map);
            const f32 b = ReadFloat(t, map);
            CloseValues(t);
            map->ambientColor = MapPackColorF(r, g, b);
        } else if (StartsWith(at, "LightDir")) {
            OpenValues(t, 8);
            Vec3 d;
            d.x = ReadFloat(t, map);
            d.y = ReadFloat(t, map);
            d.z = ReadFloat(t, map);
            CloseValues(t);
            plat::Vec3Normalize(&map->lightDir, &d);
        } else if (StartsWith(at, "BgmFileName")) {
            OpenValues(t, 11);
            const i32 i = ReadInt(t, map);
            t.SkipBlanks();
            char name[kMapNameSize];
            t.ReadToken(name);
            TrimRight(name);
            CloseValues(t);
            if (i < 0 || i >= kMapMusicNames) {
                map->Refuse("music number " + std::to_string(i) + " is outside 0-4");
                return;
            }
            map->musicNames[i] = name;
        } else {
            break;
        }
    }
    UnknownText(map);
}

int CMapObjNode::ReadScript(MapCell* cell)
{
    ResetVars();
    if (!cell || !cell->owner) return 0;
    BattleMap* map = cell->owner;
    ScriptTokenizer t;
    t.ClearIntVars();
    t.ClearFloatVars();
    t.SetText(script.c_str());
    int result = 0;
    for (;;) {
        bool end = false;
        if (SkipFiller(t, &end)) continue;
        if (end || map->IsRefused()) return result;
        const char* at = t.GetCursor();
        if (at[0] == '@') {
            t.Advance(1);
            char name[64];
            t.ReadToken(name);
            TrimRight(name);
            if (std::strcmp(name, "int") == 0 || std::strcmp(name, "float") == 0) {
                const bool isFloat = name[0] == 'f';
                t.SkipBlanks();
                t.SkipChar();  // '['
                const i32 n = ReadIndex(t);
                t.SkipBlanks();
                t.SkipChar();  // ']'
                if (n < 0) {
                    map->Refuse("variable number " + std::to_string(n) + " is negative");
                    return result;
                }
                if (n >= kMapObjVarCount) {
                    map->AddMessage(kBadNumberText, kBadNumberCaption);
                    return result;
                }
                OpenValues(t, 0);
                if (isFloat)
                    SetFloat(n, ReadFloat(t, map));
                else
                    SetInt(n, ReadInt(t, map));
                CloseValues(t);
                continue;
            }
            i32 type = kMapVarTypeInt;
            const i32 slot = LookupKey(name, &type);
            if (slot < 0) {
                // The scanner now stands on the '=', which no statement starts with.
                map->AddMessage(kBadNumberText, kBadNumberCaption);
                break;
            }
            OpenValues(t, 0);
            if (type == kMapVarTypeFloat)
                SetFloat(slot, ReadFloat(t, map));
            else
                SetInt(slot, ReadInt(t, map));
            CloseValues(t);
        } else if (at[0] == '#') {
            t.Advance(1);
            char name[64];
            t.ReadToken(name);
            t.SkipBlanks();
            t.SkipChar();
            cell->ReadCellKey(this, name, t);
        } else if (StartsWith(at, "PopInfo")) {
            OpenValues(t, 7);
            const i32 list = ReadInt(t, map);
            for (int i = 0; i < 10; ++i) ReadInt(t, map);
            CloseValues(t);
            if (list >= 0 && list < kMapTeamStartLists) {
                map->teamStarts[list].push_back(matrix);
            } else if (list == kMapFreeStartList) {
                map->freeStarts.push_back(matrix);
            } else {
                map->Refuse("start list " + std::to_string(list) + " is outside 0-9 and 999");
                return result;
            }
            result = 1;
        } else {
            break;
        }
    }
    UnknownText(map);
    return result;
}

void MapCell::ReadCellKey(CMapObjNode* node, const char* name, ScriptTokenizer& tokenizer)
{
    (void)node;
    if (!name || !StartsWith(name, "WaterY")) return;
    tokenizer.SkipBlanks();
    if (tokenizer.GetCursor()[0] == '@') {
        waterY = owner ? ReadFloat(tokenizer, owner) : 0.0f;
        return;
    }
    waterY = tokenizer.GetFloat();
}
