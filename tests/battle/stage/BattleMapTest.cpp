#include "battle/stage/BattleMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "app/core/Application.h"
#include "engine/core/MTRand.h"
#include "tests/battle/stage/StageFixture.h"
#include "support/VertexHeavyMesh.h"

namespace {

using SampleStages = StageFolderTest;

TEST_F(SampleStages, BothVersionsLoadWithTheirLookStartPointsAndObjects)
{
    const std::string run = QUILLON_RUN_DIR;
    struct Expect {
        const char* folder;
        i32 parts;
        bool water;
    };
    for (const Expect& e : {Expect{"war/City", 7, false}, Expect{"war/In", 200, true}}) {
        SCOPED_TRACE(e.folder);
        ASSERT_TRUE(plat::SetCurrentDirectory((run + "/" + e.folder).c_str()));
        ASSERT_EQ(map.LoadStageFile("map.mpd", AssetKey), 1) << map.lastError;
        EXPECT_TRUE(StageMessages().empty()) << StageMessages()[0].text;
        EXPECT_EQ(map.parts.GetCount(), e.parts);
        EXPECT_EQ(map.gridWidth, 100);
        EXPECT_EQ(map.gridDepth, 100);
        EXPECT_EQ(map.cellSize, 30.0f);
        ASSERT_NE(map.skyMesh, nullptr);
        EXPECT_EQ(map.sky.mesh, map.skyMesh);
        ASSERT_NE(map.areaHitMesh, nullptr);
        EXPECT_EQ(map.fogColor >> 24, 0xFFu);
        EXPECT_NEAR(map.lightDir.y, -1.0f / std::sqrt(0.16f + 1.0f + 0.09f), 1e-6f);
        EXPECT_EQ(map.musicNames[0], "bgm.ogg");
        for (i32 team = 0; team < 4; ++team) EXPECT_EQ(map.teamStarts[team].size(), 3u);
        EXPECT_EQ(map.freeStarts.size(), 8u);
        // The middle cell: ground only, its boxes from the slab.
        const MapCell* middle = map.GetCell(50, 50);
        ASSERT_NE(middle, nullptr);
        EXPECT_EQ(middle->objects.GetHead()->next->partIndex, 0);
        EXPECT_FLOAT_EQ(middle->hitMax.y, 0.0f);
        EXPECT_FLOAT_EQ(middle->hitMin.x, 1500.0f);
        EXPECT_EQ(map.GetCell(99, 99)->waterY, kMapNoWater);
        bool crate = false, fence = false, pool = false;
        for (i32 r = 0; r < 100; ++r) {
            for (i32 c = 0; c < 100; ++c) {
                pool |= map.GetCell(c, r)->waterY == -1.0f;
                for (CMapObjNode* o : Objects(c, r)) {
                    if (o->partIndex == 2 && !crate) {
                        crate = true;
                        EXPECT_EQ(o->GetInt(kMapVarHp), 300);
                        EXPECT_EQ(o->GetFloat(kMapVarCullFar), 80.5f);
                        EXPECT_EQ(o->GetFloat(40), 2.5f);
                        EXPECT_EQ(map.GetCell(c, r)->drawGroups[3].back(), o);
                    }
                    if (o->partIndex == 3) {
                        fence = true;
                        EXPECT_EQ(o->priority, 10u);
                        EXPECT_EQ(o->next, map.GetCell(c, r)->objects.GetTail());
                    }
                }
            }
        }
        EXPECT_TRUE(crate);
        EXPECT_TRUE(fence);
        EXPECT_EQ(pool, e.water);
    }
}

using StageScripts = StageFolderTest;

// One object script per case, placed alone in cell (1, 1).
TEST_F(StageScripts, ObjectAndPartScriptFormsSetTheirValues)
{
    struct Case {
        const char* script;
        std::function<void(BattleMap&, const std::vector<CMapObjNode*>&)> check;
        const char* message;  // expected text of the one box, or null
    };
    const Case cases[] = {
        {"@Hp = 300;", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetInt(kMapVarHp), 300); }, nullptr},
        {"@CullFar = 80.5;\r\n", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetFloat(kMapVarCullFar), 80.5f); }, nullptr},
        {"@float[40] = 2.5;", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetFloat(40), 2.5f); }, nullptr},
        {"@int[99]=7;@ZWriteEnable=0;",
         [](BattleMap&, auto& o) {
             EXPECT_EQ(o[0]->GetInt(99), 7);
             EXPECT_EQ(o[0]->GetInt(kMapVarZWriteEnable), 0);
         },
         nullptr},
        {"' a comment line @Hp = 1;\r\n\t@DestroyParam09 = 4; ' trailing\r\n",
         [](BattleMap&, auto& o) {
             EXPECT_EQ(o[0]->GetInt(kMapVarHp), 0);
             EXPECT_EQ(o[0]->GetInt(14), 4);
             // Untouched defaults.
             EXPECT_EQ(o[0]->GetInt(kMapVarHitFlag), 1);
             EXPECT_EQ(o[0]->GetFloat(kMapVarCullFar), 150.0f);
             EXPECT_EQ(o[0]->GetInt(kMapVarLightEnable), 1);
         },
         nullptr},
        {"#WaterY = 12.0;", [](BattleMap& m, auto&) { EXPECT_EQ(m.GetCell(1, 1)->waterY, 12.0f); }, nullptr},
        {"@DrawGroup = 19;", [](BattleMap& m, auto& o) { EXPECT_EQ(m.GetCell(1, 1)->drawGroups[19][0], o[0]); }, nullptr},
        {"PopInfo(999,0,0,0,0,0,0,0,0,0,0);",
         [](BattleMap& m, auto& o) {
             EXPECT_TRUE(o.empty());
             ASSERT_EQ(m.freeStarts.size(), 1u);
             EXPECT_EQ(m.freeStarts[0].m[3][0], 45.0f);
         },
         nullptr},
        {"PopInfo( 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 );",
         [](BattleMap& m, auto& o) {
             EXPECT_TRUE(o.empty());
             EXPECT_EQ(m.teamStarts[3].size(), 1u);
         },
         nullptr},
        {"@int[100] = 1;@Hp = 5;", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetInt(kMapVarHp), 0); }, "変数番号が不正"},
        {"@Bogus = 1;", [](BattleMap&, auto& o) { EXPECT_EQ(o.size(), 1u); }, "変数番号が不正\n不明なスクリプト。読み込み中断"},
        {"@Hp = 2; what", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetInt(kMapVarHp), 2); }, "不明なスクリプト。読み込み中断"},
        {"#Depth = 3;", [](BattleMap& m, auto&) { EXPECT_EQ(m.GetCell(1, 1)->waterY, kMapNoWater); },
         "不明なスクリプト。読み込み中断"},
        {"@Hp = @int[5];", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetInt(kMapVarHp), 0); }, nullptr},
        {"@Hp = @float[@x];@ShadowFlag = 2;", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetInt(kMapVarShadowFlag), 2); },
         "変数番号が不正"},
        {"@int[@int[3]] = 3;@Hp = 4;", [](BattleMap&, auto& o) { EXPECT_EQ(o[0]->GetInt(kMapVarHp), 0); }, "変数番号が不正"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        StageMessages().clear();
        StageLayout s = Basic();
        s.Cell(1, 1).push_back({At(45, 0, 45), 0, c.script});
        ASSERT_EQ(Load(s), 1) << map.lastError;
        c.check(map, Objects(1, 1));
        if (c.message) {
            ASSERT_EQ(StageMessages().size(), 1u);
            EXPECT_EQ(StageMessages()[0].text, c.message);
        } else {
            EXPECT_TRUE(StageMessages().empty()) << StageMessages()[0].text;
        }
    }

    // Part scripts: colours, ambient packing, light direction, sky, wall, music.
    StageMessages().clear();
    StageLayout s = Basic();
    s.parts[0].script = "FogColor = 256, 16, 1;\r\nLightColor(1,2,3);LightAmb = 1.5, 0.5, -1;\r\n"
                        "LightDir = 0, -2, 0;BgmFileName = 4, title.ogg ;SkyXFile\r\nAreaHitXFile;";
    s.parts[1].script = "SkyXFileX;";
    ASSERT_EQ(Load(s), 1) << map.lastError;
    EXPECT_EQ(map.fogColor, 0xFF001001u);
    EXPECT_EQ(map.lightColor, 0xFF010203u);
    EXPECT_EQ(map.ambientColor, 0xFFFF8000u);
    EXPECT_EQ(map.lightDir, Vec3(0, -1, 0));
    EXPECT_EQ(map.musicNames[4], "title.ogg");
    EXPECT_EQ(map.skyMesh, map.parts[0].drawMesh.get());
    EXPECT_EQ(map.areaHitMesh, map.parts[0].drawMesh.get());
    // Every message of a load arrives in one box.
    ASSERT_EQ(StageMessages().size(), 1u);
    EXPECT_EQ(StageMessages()[0].caption, "Map Script");
}

TEST_F(StageScripts, AlphaTestedObjectsFollowTheOthersOfTheirCellInFileOrder)
{
    StageLayout s = Basic();
    const char* scripts[] = {"@AlphaTestFlag=1;@Hp=1;", "@Hp=2;", "@AlphaTestFlag=1;@Hp=3;", "@Hp=4;@DrawGroup=0;"};
    for (const char* script : scripts) s.Cell(2, 3).push_back({At(75, 0, 105), 0, script});
    ASSERT_EQ(Load(s), 1);
    std::vector<i32> order;
    for (CMapObjNode* o : Objects(2, 3)) order.push_back(o->GetInt(kMapVarHp));
    EXPECT_EQ(order, (std::vector<i32>{2, 4, 1, 3}));
    std::vector<i32> drawn;
    for (CMapObjNode* o : map.GetCell(2, 3)->drawGroups[0]) drawn.push_back(o->GetInt(kMapVarHp));
    EXPECT_EQ(drawn, order);
    EXPECT_EQ(Objects(2, 3)[0]->column, 2);
    EXPECT_EQ(Objects(2, 3)[0]->row, 3);
}

TEST_F(StageScripts, ResetRestoresObjectsAndStartPointsCycle)
{
    StageLayout s = Basic();
    s.Cell(0, 0).push_back({At(15, 0, 15), 0, "@Hp = 40;@HitProc=1;"});
    s.Cell(0, 0).push_back({At(16, 0, 15), 0, "PopInfo(2,0,0,0,0,0,0,0,0,0,0);"});
    s.Cell(0, 1).push_back({At(17, 0, 45), 0, "PopInfo(2,0,0,0,0,0,0,0,0,0,0);"});
    ASSERT_EQ(Load(s), 1);
    CMapObjNode* o = Objects(0, 0)[0];
    o->SetInt(kMapVarHp, 0);
    o->SetInt(kMapVarFlag, 1);
    o->matrix.m[3][1] = -30.0f;
    MapDestroyObjNode* d = map.destroyList.NewNode(1);
    d->object = o;
    map.ResetMapObjects();
    EXPECT_EQ(map.destroyList.GetCount(), 0u);
    EXPECT_EQ(o->GetInt(kMapVarHp), 40);
    EXPECT_EQ(o->GetInt(kMapVarFlag), 0);
    EXPECT_EQ(o->matrix, o->placement);
    EXPECT_EQ(o->inverse.m[3][0], -15.0f);
    EXPECT_EQ(map.teamStarts[2].size(), 2u);  // a re-read adds no start points

    // Team lists cycle 0, 1, 0; empty lists and unknown teams give the middle.
    EXPECT_EQ(map.NextTeamStartPoint(2).m[3][0], 16.0f);
    EXPECT_EQ(map.NextTeamStartPoint(2).m[3][0], 17.0f);
    EXPECT_EQ(map.NextTeamStartPoint(2).m[3][0], 16.0f);
    for (i32 team : {0, -1, 10}) {
        const Mat4 m = map.NextTeamStartPoint(team);
        EXPECT_EQ(Vec3(m.m[3][0], m.m[3][1], m.m[3][2]), Vec3(1500, 20, 1500));
    }
    EXPECT_EQ(map.PickRandomStartPoint().m[3][1], 20.0f);
    // Positions under the grid and outside it.
    EXPECT_EQ(map.CellAt(-10.0f, 5.0f), map.GetCell(0, 0));
    EXPECT_EQ(map.CellAt(-40.0f, 5.0f), nullptr);
    EXPECT_EQ(map.CellAt(NAN, 5.0f), nullptr);
    EXPECT_EQ(map.WaterHeightAt(1e30f, 0.0f), kMapNoWater);
}

using StageRefusals = StageFolderTest;

// Each damaged file is refused whole with one message naming the fault, and
// the map is left empty rather than holding a half-read stage.
TEST_F(StageRefusals, DamagedFilesAreRefusedWithOneMessage)
{
    struct Case {
        const char* name;
        std::function<std::vector<u8>()> bytes;
        const char* why;
    };
    auto layout = [](std::function<void(StageLayout&)> edit) {
        return [edit]() {
            StageLayout s = Basic(4, 4);
            s.Cell(1, 1).push_back({At(45, 0, 45), 0, "@Hp = 1;"});
            edit(s);
            return WriteStageFile(s);
        };
    };
    auto patch = [](std::function<void(StageLayout&)> edit, size_t at, std::vector<u8> with) {
        return [edit, at, with]() {
            StageLayout s = Basic(4, 4);
            edit(s);
            std::vector<u8> b = WriteStageFile(s);
            for (size_t i = 0; i < with.size() && at + i < b.size(); ++i) b[at + i] = with[i];
            return b;
        };
    };
    const auto none = [](StageLayout&) {};
    // Offsets in a newer-version file: header 7, count 2, first part at 9.
    const size_t part0 = 9, scriptLen0 = part0 + 515;
    const Case cases[] = {
        {"short header", [] { return std::vector<u8>{'M', 'P', 'D', 0x10}; }, "too short"},
        {"version", layout([](StageLayout& s) { s.version = 12345; }), "version 12345"},
        {"cut inside the grid", [=] { auto b = layout(none)(); b.resize(b.size() - 6); return b; }, "ends inside"},
        {"cell size 0", layout([](StageLayout& s) { s.cellSize = 0.0f; }), "cell size"},
        {"cell size negative", layout([](StageLayout& s) { s.cellSize = -30.0f; }), "cell size"},
        {"cell size NaN", layout([](StageLayout& s) { s.cellSize = NAN; }), "cell size"},
        {"cell size infinite", layout([](StageLayout& s) { s.cellSize = INFINITY; }), "cell size"},
        {"width 101", layout([](StageLayout& s) { s.Resize(101, 1); }), "grid 101 x 1"},
        {"depth 101", layout([](StageLayout& s) { s.Resize(1, 101); }), "grid 1 x 101"},
        {"negative part count", patch(none, 7, {0xFF, 0xFF}), "part count -1"},
        {"huge part count", patch(none, 7, {0xFF, 0x7F}), "part count 32767"},
        {"negative script length", patch(none, scriptLen0, {0xFE, 0xFF, 0xFF, 0xFF}), "length -2"},
        {"huge script length", patch(none, scriptLen0, {0, 0, 0, 0x40}), "does not fit"},
        {"script without its zero", patch([](StageLayout& s) { s.parts[0].script = "abc"; }, scriptLen0 + 7, {'x'}),
         "no terminating zero"},
        {"name without terminator", patch([](StageLayout& s) { s.parts[0].drawMesh = std::string(255, 'a'); },
                                          part0 + 255, {'a'}),
         "no terminator"},
        {"placement part index", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 2, ""}); }),
         "places part 2 of 2"},
        {"negative placement part", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), -1, ""}); }),
         "places part -1"},
        {"material source", layout([](StageLayout& s) { s.parts[1].materialSource = 2; }), "materials from part 2"},
        {"negative object count", patch([](StageLayout& s) { s.Resize(1, 1); }, 9 + 2 * 520 + 8, {0xFF, 0xFF, 0xFF, 0xFF}),
         "object count -1"},
        {"draw group 20", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 0, "@DrawGroup = 20;"}); }),
         "draw group 20"},
        {"draw group -1", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 0, "@DrawGroup=-1;"}); }),
         "draw group -1"},
        {"start list 10", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 0, "PopInfo(10,0,0,0,0,0,0,0,0,0,0);"}); }),
         "start list 10"},
        {"start list -1", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 0, "PopInfo(-1,0,0,0,0,0,0,0,0,0,0);"}); }),
         "start list -1"},
        {"music 5", layout([](StageLayout& s) { s.parts[1].script = "BgmFileName = 5, a.ogg;"; }), "music number 5"},
        {"negative variable", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 0, "@int[-1] = 3;"}); }),
         "variable number -1"},
        {"float variable negative", layout([](StageLayout& s) { s.Cell(0, 0).push_back({At(1, 0, 1), 0, "@float[-7]=1.0;"}); }),
         "variable number -7"},
        {"matrix not finite", layout([](StageLayout& s) {
             Mat4 m = At(1, 0, 1);
             m.m[0][0] = NAN;
             s.Cell(0, 0).push_back({m, 0, ""});
         }),
         "not finite"},
        {"parent folder", layout([](StageLayout& s) { s.parts[0].hitMesh = "../box.x"; }), "leaves the stage folder"},
        {"deeper parent folder", layout([](StageLayout& s) { s.parts[0].drawMesh = "a/../../box.x"; }), "leaves"},
        {"absolute path", layout([](StageLayout& s) { s.parts[0].drawMesh = "/etc/box.x"; }), "leaves"},
        {"drive path", layout([](StageLayout& s) { s.parts[0].drawMesh = "C:\\box.x"; }), "leaves"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A good stage first, so a refusal visibly empties the map.
        StageLayout good = Basic(4, 4);
        good.Cell(1, 1).push_back({At(45, 0, 45), 0, "PopInfo(999,0,0,0,0,0,0,0,0,0,0);"});
        ASSERT_EQ(Load(good), 1) << map.lastError;
        StageMessages().clear();
        WriteBytes(c.bytes());
        EXPECT_EQ(map.LoadStageFile("map.mpd", AssetKey), 0);
        EXPECT_NE(map.lastError.find(c.why), std::string::npos) << map.lastError;
        ASSERT_EQ(StageMessages().size(), 1u);
        EXPECT_NE(StageMessages()[0].text.find(c.why), std::string::npos);
        EXPECT_EQ(map.gridWidth, 0);
        EXPECT_EQ(map.parts.GetCount(), 0);
        EXPECT_TRUE(map.freeStarts.empty());
        EXPECT_EQ(map.GetCell(1, 1), nullptr);
    }
    // A newer file without parts or placements is a valid empty stage with
    // its own cell size.
    StageLayout bare;
    bare.Resize(3, 2);
    bare.cellSize = 12.5f;
    ASSERT_EQ(Load(bare), 1) << map.lastError;
    EXPECT_EQ(map.parts.GetCount(), 0);
    EXPECT_EQ(map.cellSize, 12.5f);
    EXPECT_EQ(map.gridDepth, 2);
    // A missing file changes nothing and says nothing: the caller decides.
    StageLayout good = Basic(4, 4);
    ASSERT_EQ(Load(good), 1);
    StageMessages().clear();
    EXPECT_EQ(map.LoadStageFile("nothing.mpd", AssetKey), 0);
    EXPECT_EQ(map.gridWidth, 4);
    EXPECT_TRUE(StageMessages().empty());
}

TEST_F(StageRefusals, MutatedStageFilesNeverCrashTheLoader)
{
    StageLayout s = Basic(6, 6);
    s.version = 20000;
    s.parts[0].script = "FogColor = 1, 2, 3;LightAmb = 0.5, 0.5, 0.5;BgmFileName = 1, x.ogg;";
    for (i32 i = 0; i < 12; ++i)
        s.Cell(i % 6, i / 2 % 6)
            .push_back({At(static_cast<f32>(i % 6) * 30 + 10, 0, static_cast<f32>(i / 2 % 6) * 30 + 10),
                        static_cast<i16>(i % 2), i % 3 ? "@Hp = 5;#WaterY = 1.5;" : "PopInfo(1,0,0,0,0,0,0,0,0,0,0);"});
    const std::vector<u8> base = WriteStageFile(s);
    StageLayout old = s;
    old.version = 10000;
    const std::vector<u8> baseOld = WriteStageFile(old);
    std::mt19937 rng(1234);
    int loaded = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<u8> b = round % 4 == 3 ? baseOld : base;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % b.size();
            switch (rng() % 4) {
            case 0: b[at] = static_cast<u8>(rng()); break;
            case 1: b[at] ^= static_cast<u8>(1u << (rng() % 8)); break;
            case 2: b.resize(at + 1); break;
            default: b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), static_cast<u8>(rng())); break;
            }
        }
        StageMessages().clear();
        WriteBytes(b);
        const int result = map.LoadStageFile("map.mpd", AssetKey);
        loaded += result;
        EXPECT_LE(StageMessages().size(), 1u);
        if (!result) {
            EXPECT_EQ(map.gridWidth, 0);
            continue;
        }
        // What was accepted is safe to walk and to collide with.
        for (i32 r = 0; r < map.gridDepth; ++r)
            for (i32 c = 0; c < map.gridWidth; ++c)
                for (i32 g = 0; g < kMapDrawGroups; ++g)
                    for (CMapObjNode* o : map.GetCell(c, r)->drawGroups[g]) EXPECT_LT(o->partIndex, map.parts.GetCount());
    }
    EXPECT_GT(loaded, 0);
}

using StageMeshes = StageFolderTest;

// Parts naming one file share one mesh; a file is read whole before any mesh
// loads; the stage's meshes together stay under the vertex budget.
TEST_F(StageMeshes, PartsShareTheirMeshFilesAndOversizedStagesAreRefusedBeforeFillingMemory)
{
    StageLayout many = Basic(4, 4);
    many.parts.assign(250, {"box.x", "box.x", -1, 0, ""});
    many.parts.push_back({"box.x", "", 0, 0, ""});  // wears part 0's materials: loads without textures
    for (int i = 0; i < 100; ++i) many.parts.push_back({"gone.x", "", -1, 0, ""});
    many.Cell(1, 1).push_back({At(45, 0, 45), 249, ""});
    ASSERT_EQ(Load(many), 1) << map.lastError;
    const MeshObject* draw = map.parts[0].drawMesh.get();
    const MeshObject* hit = map.parts[0].hitMesh.get();
    ASSERT_TRUE(draw && hit);
    EXPECT_NE(draw, hit);  // the draw mesh carries textures, the hit mesh none
    for (i32 i = 1; i < 250; ++i) {
        EXPECT_EQ(map.parts[i].drawMesh.get(), draw) << i;
        EXPECT_EQ(map.parts[i].hitMesh.get(), hit) << i;
    }
    ASSERT_NE(map.parts[250].drawMesh, nullptr);
    EXPECT_NE(map.parts[250].drawMesh.get(), draw);
    EXPECT_EQ(hit->faceCount, 12u);
    EXPECT_FLOAT_EQ(map.GetCell(1, 1)->hitMax.y, 10.0f);
    // A missing file is tried and reported once, not once per part.
    ASSERT_EQ(StageMessages().size(), 1u);
    EXPECT_NE(StageMessages()[0].text.find("gone.x"), std::string::npos);

    // A damaged record late in the file refuses it before the parts ahead
    // of it load their meshes.
    StageMessages().clear();
    StageLayout damaged = Basic(4, 4);
    damaged.parts[0] = {"gone.x", "", -1, 0, ""};
    damaged.parts[1].materialSource = 5;
    EXPECT_EQ(Load(damaged), 0);
    ASSERT_EQ(StageMessages().size(), 1u);
    EXPECT_EQ(StageMessages()[0].text.find("gone.x"), std::string::npos) << StageMessages()[0].text;

    // Hostile stages: their meshes together pass the vertex or the face
    // budget. Each is refused from the files' counts, naming the file that
    // passes it, before that file is built (a million faces stop the count
    // where they are declared; a position counts once per normal its
    // corners name, as the build splits it).
    const struct {
        const char* what;
        std::string mesh;
        int parts;
        const char* told;
    } hostile[] = {
        {"eight meshes of 65,535 vertices", VertexHeavyMeshText(65535), 8,
         "'heavy7.x' brings the stage's meshes to 524280 vertices, more than 500000"},
        {"five meshes of a million faces", FaceHeavyMeshText(1000000), 5,
         "'heavy0.x' brings the stage's meshes to 1000000 faces, more than 500000"},
        {"a mesh of 500,001 faces", FaceHeavyMeshText(500001), 1,
         "'heavy0.x' brings the stage's meshes to 500001 faces, more than 500000"},
        {"nine meshes of one position split by their normals into 60,000 vertices", SplitHeavyMeshText(20000), 9,
         "'heavy8.x' brings the stage's meshes to 540000 vertices, more than 500000"},
        {"a mesh of one position split by its normals into 510,000 vertices", SplitHeavyMeshText(170000), 1,
         "'heavy0.x' brings the stage's meshes to 510000 vertices, more than 500000"},
    };
    for (const auto& c : hostile) {
        SCOPED_TRACE(c.what);
        std::string heavy = c.mesh;
        XorWords(heavy.data(), static_cast<u32>(heavy.size()), AssetKey);
        StageLayout big = Basic(4, 4);
        big.parts.clear();
        for (int i = 0; i < c.parts; ++i) {
            const std::string name = "heavy" + std::to_string(i) + ".x";
            ASSERT_TRUE(folder.Write(name, heavy));
            big.parts.push_back({"", name, -1, 0, ""});
        }
        StageMessages().clear();
        EXPECT_EQ(Load(big), 0);
        EXPECT_NE(map.lastError.find(c.told), std::string::npos) << map.lastError;
        ASSERT_EQ(StageMessages().size(), 1u);
        EXPECT_NE(StageMessages()[0].text.find("map.mpd"), std::string::npos);
        EXPECT_EQ(map.parts.GetCount(), 0);
    }
}

}  // namespace
