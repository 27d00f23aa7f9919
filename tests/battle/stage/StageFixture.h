#pragma once
// A scratch stage folder with a few scrambled box meshes, the stage loader's
// messages captured instead of shown, and helpers to write and load a layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "battle/stage/BattleMap.h"
#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "support/TempFolder.h"
#include "tools/StageFileWriter.h"

struct CapturedMessage {
    std::string text, caption;
};

inline std::vector<CapturedMessage>& StageMessages()
{
    static std::vector<CapturedMessage> messages;
    return messages;
}

class StageFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StageMessages().clear();
        BattleMap::SetMessageHook([](const char* text, const char* caption) {
            StageMessages().push_back({text, caption});
        });
        // box.x: 10 x 10 x 10 standing on y = 0; slab.x: a 30 x 30 floor tile, top at 0.
        WriteMesh("box.x", {{{-5, 0, -5}, {5, 10, 5}}});
        WriteMesh("slab.x", {{{-15, -2, -15}, {15, 0, 15}}});
        ASSERT_TRUE(plat::SetCurrentDirectory(folder.Path().c_str()));
    }
    void TearDown() override { BattleMap::SetMessageHook(nullptr); }

    void WriteMesh(const std::string& name, const std::vector<StageBox>& boxes)
    {
        std::string text = StageBoxMeshText(boxes, 0.5f, 0.5f, 0.5f);
        XorWords(text.data(), static_cast<u32>(text.size()), AssetKey);
        ASSERT_TRUE(folder.Write(name, text));
    }
    void WriteBytes(const std::vector<u8>& bytes, const std::string& name = "map.mpd")
    {
        ASSERT_TRUE(folder.Write(name, std::string(bytes.begin(), bytes.end())));
    }
    int Load(const StageLayout& layout)
    {
        WriteBytes(WriteStageFile(layout));
        return map.LoadStageFile("map.mpd", AssetKey);
    }

    static Mat4 At(f32 x, f32 y, f32 z)
    {
        Mat4 m;
        plat::MatrixTranslation(&m, x, y, z);
        return m;
    }
    // A newer-version layout of w x d cells of size 30 with parts 0 (box) and
    // 1 (slab), and nothing placed.
    static StageLayout Basic(i16 w = 10, i16 d = 10)
    {
        StageLayout s;
        s.parts = {{"box.x", "box.x", -1, 0, ""}, {"slab.x", "slab.x", -1, 0, ""}};
        s.Resize(w, d);
        return s;
    }
    // The objects of a cell in list order.
    std::vector<CMapObjNode*> Objects(i32 column, i32 row)
    {
        std::vector<CMapObjNode*> out;
        MapCell* cell = map.GetCell(column, row);
        if (!cell) return out;
        for (CMapObjNode* o = cell->objects.GetHead()->next; o != cell->objects.GetTail(); o = o->next)
            out.push_back(o);
        return out;
    }

    TempFolder folder;
    CurrentDirectoryGuard cwd;
    BattleMap map;
};
