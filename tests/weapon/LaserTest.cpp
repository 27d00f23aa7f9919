#include "weapon/Laser.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "support/RecordingGraphics.h"

namespace {

std::vector<float> PositionsOf(const CLaser& laser)
{
    std::vector<float> xs;
    for (LASERNODE* p = laser.Newest(); p; p = laser.Older(p)) xs.push_back(p->Position.x);
    return xs;
}

std::vector<BillboardVertex> VerticesOf(const plat::GfxRecordedCall& call)
{
    std::vector<BillboardVertex> v(call.vertices.size() / sizeof(BillboardVertex));
    std::memcpy(v.data(), call.vertices.data(), v.size() * sizeof(BillboardVertex));
    return v;
}

const plat::GfxRecordedCall* LastDraw(plat::GfxRecorderDevice* rec)
{
    const plat::GfxRecordedCall* last = nullptr;
    for (const auto& c : rec->Calls())
        if (c.text.rfind("DrawPrimitiveUP", 0) == 0) last = &c;
    return last;
}

}  // namespace

TEST(LaserTest, AddInsertAndRemoveKeepTheSizeAndOrder)
{
    CLaser laser;
    laser.MaxPoints = 5;
    for (int i = 1; i <= 6; ++i) EXPECT_NE(laser.AddPoint(Vec3(float(i), 0, 0)), nullptr);
    EXPECT_EQ(laser.Count, 5);
    EXPECT_EQ(PositionsOf(laser), (std::vector<float>{6, 5, 4, 3, 2}));
    EXPECT_EQ(laser.Newest()->Life, 60);

    // Over size: flag 1 drops the newest point, flag 0 the oldest.
    LASERNODE* third = laser.Older(laser.Older(laser.Newest()));
    EXPECT_NE(laser.InsertPoint(Vec3(3.5f, 0, 0), third, 0), nullptr);
    EXPECT_EQ(PositionsOf(laser), (std::vector<float>{6, 5, 4, 3.5f, 3}));
    EXPECT_NE(laser.InsertPoint(Vec3(4.5f, 0, 0), laser.Older(laser.Newest()), 1), nullptr);
    EXPECT_EQ(PositionsOf(laser), (std::vector<float>{5, 4.5f, 4, 3.5f, 3}));
    EXPECT_EQ(laser.Count, 5);

    CLaser other;
    other.MaxPoints = 5;
    other.AddPoint(Vec3());
    EXPECT_EQ(laser.InsertPoint(Vec3(), other.Newest(), 0), nullptr);  // not one of ours

    for (int i = 0; i < 7; ++i) laser.RemovePoint();
    EXPECT_EQ(laser.Count, 0);
    EXPECT_EQ(laser.Newest(), nullptr);

    CLaser none;  // size 0 keeps nothing
    EXPECT_EQ(none.AddPoint(Vec3()), nullptr);
    EXPECT_EQ(none.Count, 0);
}

#if defined(__SANITIZE_ADDRESS__)
// Dropped and cleared points stay in their trail's memory; a read of one must
// still stop the sanitizer build.
TEST(LaserDeathTest, ADroppedOrClearedPointIsUnreadable)
{
    for (const bool cleared : {false, true}) {
        EXPECT_DEATH(
            {
                CLaser laser;
                laser.MaxPoints = 4;
                LASERNODE* p = laser.AddPoint(Vec3(1, 2, 3));
                laser.AddPoint(Vec3(4, 5, 6));
                if (cleared)
                    laser.Clear();
                else
                    laser.ErasePoint(p);
                volatile float x = p->Position.x;
                (void)x;
            },
            "use-after-poison");
    }
}
#endif

TEST(LaserTest, StripVerticesFaceTheEyeAndRunTheTextureAlongTheTrail)
{
    RecordingGraphics gfx;
    plat::GfxRecorderDevice* rec = gfx.Recorder();
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    device->BeginScene();
    CLaser laser;
    laser.MaxPoints = 10;
    laser.TextureLength = 2.0f;
    laser.AddPoint(Vec3(0, 0, 0));
    rec->ClearCalls();
    laser.Draw(device, Vec3(0, 0, -10), 0.5f, 4, 0.9f, 0xFF112233u);
    laser.DrawSmooth(device, 1.0f, 1, 2);
    EXPECT_EQ(LastDraw(rec), nullptr);  // one point draws nothing

    laser.AddPoint(Vec3(1, 0, 0));
    laser.AddPoint(Vec3(2, 0, 0));
    laser.Draw(device, Vec3(1, 0, -10), 0.5f, 4, 0.9f, 0xFF112233u);
    const plat::GfxRecordedCall* call = LastDraw(rec);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->text, "DrawPrimitiveUP TriangleStrip 4");
    const std::vector<BillboardVertex> v = VerticesOf(*call);
    ASSERT_EQ(v.size(), 6u);
    // Newest first; the strip is sideways (y) to a trail along x seen along z.
    const float xs[3] = {2, 1, 0};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(v[2 * k].x, xs[k]);
        EXPECT_FLOAT_EQ(v[2 * k + 1].x, xs[k]);
        EXPECT_FLOAT_EQ(v[2 * k].y, -v[2 * k + 1].y);
        EXPECT_FLOAT_EQ(std::abs(v[2 * k].y), 0.5f);
        EXPECT_FLOAT_EQ(v[2 * k].u, 0.0f);
        EXPECT_FLOAT_EQ(v[2 * k + 1].u, 1.0f);
        EXPECT_FLOAT_EQ(v[2 * k].v, float(k));
        EXPECT_EQ(v[2 * k].colour, 0xFF112233u);
    }
    EXPECT_EQ(laser.Oldest()->Direction, Vec3(1, 0, 0));

    laser.DrawSmooth(device, 1.0f, 0xFF0000FFu, 0x00FF0000u);
    call = LastDraw(rec);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->text, "DrawPrimitiveUP TriangleStrip 28");  // 3 points x 5 samples
    const std::vector<BillboardVertex> s = VerticesOf(*call);
    ASSERT_EQ(s.size(), 30u);
    EXPECT_FLOAT_EQ(s[0].x, 2.0f);  // the first sample is the newest point itself
    EXPECT_EQ(s[0].colour, 0xFF0000FFu);
    EXPECT_EQ(s[1].colour, 0x00FF0000u);
    EXPECT_FLOAT_EQ(s[29].v, 14.0f * 2.0f / 10.0f);
}

TEST(LaserTest, LongTrailsAreCutAtTheSharedArray)
{
    RecordingGraphics gfx;
    plat::GfxRecorderDevice* rec = gfx.Recorder();
    GetGraphicsDevice()->device->BeginScene();
    CLaser laser;
    laser.MaxPoints = 3000;
    for (int i = 0; i < 3000; ++i) laser.AddPoint(Vec3(float(i) * 0.1f, 0, 0));
    laser.Draw(GetGraphicsDevice()->device, Vec3(0, 0, -10), 0.1f, 0, 0, 0xFFFFFFFFu);
    ASSERT_NE(LastDraw(rec), nullptr);
    EXPECT_EQ(LastDraw(rec)->text, "DrawPrimitiveUP TriangleStrip 4996");
    EXPECT_EQ(LastDraw(rec)->vertices.size(), 4998u * sizeof(BillboardVertex));

    laser.DrawSmooth(GetGraphicsDevice()->device, 0.2f, 0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_EQ(LastDraw(rec)->text, "DrawPrimitiveUP TriangleStrip 4996");
    EXPECT_EQ(LastDraw(rec)->vertices.size(), 4998u * sizeof(BillboardVertex));
}
