// The ranking name entry and list as their owners drive them: the name
// edited with the arrow keys in place in the table, both pairs of tasks
// gone when their owner ends them, and tables from hostile score files
// drawn without reading past a picture or a face.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/RecordingGraphics.h"
#include "support/TaskTestHelpers.h"
#include "app/core/AppClock.h"
#include "app/core/Application.h"
#include "app/core/Startup.h"
#include "app/player/RankingTable.h"
#include "engine/graphics/GraphicsDevice.h"
#include "app/scene/RankingInput.h"
#include "app/scene/RankingList.h"
#include "platform/input/Keyboard.h"

namespace {

u32 gNow = 0;

TEST(RankingTest, NameIsTypedInPlaceAndBothTaskPairsEndWithTheirOwner)
{
    RecordingGraphics gfx;
    gNow = 5000;
    SetAppClock({[] { return gNow; }, [](u32) {}});
    CApplication& app = *GetApplication();
    FillFolderLists(app);
    CList<TCB> list;
    RankingTable table;
    table.SetDefaults();

    TCB_RankingInput* input = TCB_RankingInput::Create(&list, 1);
    ASSERT_NE(input, nullptr);
    input->Start(&table, 4, 25000, 12);
    ASSERT_EQ(input->place, 2);
    EXPECT_EQ(table.entries[2].score, 25000);
    EXPECT_EQ(CountOf<TCB_DrawSP_RankingInput>(list), 1);
    auto tap = [&](i32 key) {
        app.input.keyTable[key] = 0x80;
        RunTaskProcs(list);
        app.input.keyTable[key] = 0;
        gNow += 16;
        RunTaskProcs(list);
    };
    tap(plat::vk::Up);     // A wraps back to the last glyph
    tap(plat::vk::Left);   // the first letter wraps to the third
    tap(plat::vk::Down);
    tap(plat::vk::Down);
    tap(plat::vk::Right);  // and the third back to the first
    tap(plat::vk::Down);
    EXPECT_EQ(table.entries[2].name[0], 0);
    EXPECT_EQ(table.entries[2].name[1], 0);
    EXPECT_EQ(table.entries[2].name[2], 2);

    // A late score: place 10, the keys change nothing, the table neither.
    TCB_RankingInput* late = TCB_RankingInput::Create(&list, 1);
    late->Start(&table, 0, 100, 0);
    EXPECT_EQ(late->place, 10);
    tap(plat::vk::Down);
    EXPECT_EQ(table.entries[9].score, 6000);

    // A list of a table as a hostile file left it: glyph codes and robot
    // types beyond the font and the robot folders.
    table.entries[0].name[0] = 200;
    table.entries[1].robotType = 999;
    TCB_RankingList* shown = TCB_RankingList::Create(&list, 1);
    shown->Start(&table, 1024.0f);
    shown->title = "[Survival]";
    for (int i = 0; i < 26; ++i) shown->x = std::max(0.0f, shown->x - 40.0f);
    EXPECT_EQ(shown->x, 0.0f);
    plat::Sprite* sprite = GetGraphicsDevice()->sprite;
    ASSERT_TRUE(plat::Succeeded(sprite->Begin(plat::SpriteAlphaBlend)));
    RunTaskSprites(list);  // drawn once with the recorder
    sprite->End();

    input->done = 1;
    late->done = 1;
    shown->closing = 1;
    RunTaskProcs(list);
    EXPECT_EQ(list.GetHead()->next, list.GetTail()) << "every task and its drawing gone";
    SetAppClock({});
}

// The list loads the faces of the robot types its table shows, each once,
// not one of every robot type.
TEST(RankingTest, TheListLoadsTheFacesOfTheTypesItShowsOnce)
{
    RecordingGraphics gfx;
    CApplication& app = *GetApplication();
    FillFolderLists(app);
    ASSERT_GT(app.robotFolders.count, 5u);
    CList<TCB> list;
    RankingTable table;
    table.SetDefaults();
    for (u32 i = 0; i < RankingEntryCount; ++i) table.entries[i].robotType = i % 2 ? 2 : 5;
    TCB_RankingList* shown = StartRankingList(&list, &table, 0.0f, "[Survival]");
    ASSERT_NE(shown, nullptr);
    TCB_DrawSP_RankingList* drawing = shown->drawing;
    ASSERT_NE(drawing, nullptr);
    plat::Sprite* sprite = GetGraphicsDevice()->sprite;
    const auto draw = [&] {
        ASSERT_TRUE(plat::Succeeded(sprite->Begin(plat::SpriteAlphaBlend)));
        RunTaskSprites(list);
        sprite->End();
    };
    draw();
    std::vector<plat::GfxTexture*> held;
    for (const auto& face : drawing->faces) held.push_back(face->texture);
    for (u32 t = 0; t < held.size(); ++t) EXPECT_EQ(held[t] != nullptr, t == 2 || t == 5) << t;
    draw();
    for (u32 t = 0; t < held.size(); ++t) EXPECT_EQ(drawing->faces[t]->texture, held[t]) << "loaded once: " << t;
    shown->closing = 1;
    RunTaskProcs(list);
}

}  // namespace
