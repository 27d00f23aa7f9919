#include "app/scene/SelectInterface.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "support/RecordingGraphics.h"
#include "support/TaskTestHelpers.h"
#include "engine/graphics/GraphicsDevice.h"

namespace {

TEST(SelectInterfaceTest, RingTakesTheShortWayAcrossTheWrap)
{
    EXPECT_NEAR(StepRingPosition(4.8f, 0, 5), 4.82f, 1e-5f);
    EXPECT_NEAR(StepRingPosition(0.2f, 4, 5), 0.08f, 1e-5f);  // back over the wrap, 1.2 away
    EXPECT_NEAR(StepRingPosition(1.0f, 3, 5), 1.2f, 1e-5f);
    EXPECT_EQ(StepRingPosition(2.0f, 2, 5), 2.0f);
}

TEST(SelectInterfaceTest, RingSettlesExactlyOnTheTargetAndStaysInRange)
{
    CList<TCB> list;
    TCB_SelectInterface* ring = TCB_SelectInterface::Create(&list, 100);
    ring->count = 5;
    ring->position = 4.8f;
    ring->target = 0;
    for (int i = 0; i < 200; ++i) {
        RunTaskProcs(list);
        ASSERT_GE(ring->position, 0.0f);
        ASSERT_LT(ring->position, 5.0f);
    }
    EXPECT_EQ(ring->position, 0.0f);
    ring->active = 0;
    ring->target = 3;
    RunTaskProcs(list);
    EXPECT_EQ(ring->position, 0.0f);
}

TEST(SelectInterfaceTest, DrawsEveryVisibleCellWithItsPictureAndFreesItsArrays)
{
    RecordingGraphics gfx;
    TextureHandle picture;
    ASSERT_EQ(picture.CreateBlank(64, 64, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed), 1);
    CList<TCB> list;
    TCB_SelectInterface* ring = TCB_SelectInterface::Create(&list, 100);
    ring->count = 3;
    ring->pictures = new TextureHandle*[3]{&picture, nullptr, &picture};
    ring->labels = new std::string[3]{"a", "", "c"};
    ring->cellWidth = 256;
    ring->cellHeight = 64;
    ring->showIndex = 0;
    ring->y = 300;
    GraphicsDevice* gd = GetGraphicsDevice();
    gfx.Recorder()->ClearCalls();
    gd->device->BeginScene();
    gd->sprite->Begin(plat::SpriteAlphaBlend);
    RunTaskSprites(list);
    gd->sprite->End();
    gd->device->EndScene();
    // half = (1024 / 256 + 2) / 2 = 3: cells -3..4, entries 0, 1, 2 in turn;
    // entry 1 has no picture.
    int pictures = 0;
    for (const SpriteQuad& q : SpriteQuads(gfx.Recorder()))
        if (std::abs(q.bottom - q.top - 64.0f) < 1.0f && std::abs(q.top - 300.0f) < 1.0f) ++pictures;
    EXPECT_EQ(pictures, 5);
    list.DeleteAll();  // the arrays go with the task (checked by the sanitizer)
}

}  // namespace
