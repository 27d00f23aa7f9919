#include "app/scene/Camera.h"

#include <cstring>

#include <gtest/gtest.h>

#include "support/RecordingGraphics.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/math/Math.h"

namespace {

TEST(CameraTest, IdentityWorldGivesIdentityViewOnTheDeviceAndTheCurrentCamera)
{
    RecordingGraphics gfx;
    CCamera camera;
    camera.second.m[1][2] = 7.0f;  // travels with the camera
    camera.Apply();
    EXPECT_EQ(camera.view, Mat4::Identity());
    Mat4 onDevice;
    GetGraphicsDevice()->device->GetTransform(plat::GfxTransform::View, &onDevice);
    EXPECT_EQ(onDevice, Mat4::Identity());
    EXPECT_EQ(GetCurrentCamera().second.m[1][2], 7.0f);
}

TEST(CameraTest, ViewIsTheInverseOfTheCameraPlace)
{
    RecordingGraphics gfx;
    CCamera camera;
    Mat4 turn, move;
    plat::MatrixRotationY(&turn, 0.5f);
    plat::MatrixTranslation(&move, 3.0f, -2.0f, 10.0f);
    plat::MatrixMultiply(&camera.world, &turn, &move);
    camera.Apply();
    Mat4 product;
    plat::MatrixMultiply(&product, &camera.world, &camera.view);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f);
    EXPECT_EQ(GetGraphicsDevice()->view, camera.view);
    EXPECT_EQ(GetCurrentCamera().world, camera.world);
}

TEST(CameraTest, BlendModesDifferOnlyInTheDestinationFactor)
{
    RecordingGraphics gfx;
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    u32 op = 0, src = 0, dst = 0;
    SetAddBlend();
    d->GetRenderState(plat::GfxRenderState::BlendOp, &op);
    d->GetRenderState(plat::GfxRenderState::SrcBlend, &src);
    d->GetRenderState(plat::GfxRenderState::DestBlend, &dst);
    EXPECT_EQ(op, u32(plat::BlendOpAdd));
    EXPECT_EQ(src, u32(plat::BlendSrcAlpha));
    EXPECT_EQ(dst, u32(plat::BlendOne));
    SetAlphaBlend();
    d->GetRenderState(plat::GfxRenderState::DestBlend, &dst);
    EXPECT_EQ(dst, u32(plat::BlendInvSrcAlpha));
}

// Sprite transform after placing text at (10, 20) on a window of this size.
Mat4 TextTransform(i32 width, i32 height)
{
    RecordingGraphics gfx(width, height);
    GraphicsDevice* gd = GetGraphicsDevice();
    gd->CreateFont(2, "黑体", 48);
    const plat::GfxRect rect{0, 0, 1024, 768};
    gd->device->BeginScene();
    gd->sprite->Begin(plat::SpriteAlphaBlend);
    DrawTextAt(2, 10.0f, 20.0f, "Quillon", -1, &rect, plat::TextCenter, 0xFFFFFFFFu);
    const Mat4 m = gd->sprite->Transform();
    gd->sprite->End();
    gd->device->EndScene();
    GetTextureCache()->Clear();
    return m;
}

TEST(CameraTest, TextOnADoubleSizedWindowIsTwiceAsLargeAtTheSameRelativePlace)
{
    const Mat4 small = TextTransform(1024, 768);
    const Mat4 large = TextTransform(2048, 1536);
    EXPECT_FLOAT_EQ(small.m[0][0], 1.0f);
    EXPECT_FLOAT_EQ(large.m[0][0], 2.0f);
    EXPECT_FLOAT_EQ(large.m[1][1], 2.0f);
    EXPECT_FLOAT_EQ(small.m[3][0], 10.0f);
    EXPECT_FLOAT_EQ(large.m[3][0], 20.0f);
    EXPECT_FLOAT_EQ(large.m[3][1], 40.0f);
}

TEST(CameraTest, PointListOfNoVerticesDrawsNoPoints)
{
    RecordingGraphics gfx;
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    plat::GfxRef<plat::GfxVertexBuffer> buffer;
    ASSERT_EQ(d->CreateVertexBuffer(240, 0, 0x142, plat::GfxPool::Managed, buffer.put()), plat::GfxResult::Ok);
    gfx.Recorder()->ClearCalls();
    d->BeginScene();
    PointList{buffer.get(), 0}.Draw(d, nullptr);
    PointList{buffer.get(), 10}.Draw(d, nullptr);
    d->EndScene();
    const auto draws = gfx.Recorder()->CallsStartingWith("DrawPrimitive ");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0], "DrawPrimitive PointList 0 0");
    EXPECT_EQ(draws[1], "DrawPrimitive PointList 0 10");
    EXPECT_EQ(gfx.Recorder()->CallsStartingWith("SetTexture 0 null").size(), 2u);
}

}  // namespace
