#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/math/Math.h"
#include "support/EngineGraphics.h"
#include "weapon/Beam.h"
#include "weapon/ObjectFactory.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"

namespace {

class TrailPicture : public EngineGraphicsFixture {};

plat::GfxRef<plat::GfxTexture> WhiteTexture(plat::GfxDevice* device)
{
    plat::GfxRef<plat::GfxTexture> t;
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed, t.put()),
              plat::GfxResult::Ok);
    plat::GfxLockedRect lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), plat::GfxResult::Ok);
    for (int y = 0; y < 4; ++y) std::memset(static_cast<u8*>(lr.bits) + y * lr.pitch, 0xFF, 16);
    EXPECT_EQ(t->UnlockRect(0), plat::GfxResult::Ok);
    return t;
}

}  // namespace

// Draws two trails and three billboards the way the battle's draw passes do,
// checks where they land and keeps the picture in the run folder to look at.
TEST_F(TrailPicture, TrailsAndBillboardsLandWhereTheCameraSeesThem)
{
    plat::GfxDevice* d = gd_->device;
    plat::GfxRef<plat::GfxTexture> white = WhiteTexture(d);
    plat::GfxTexture* textures[1] = {white.get()};

    // Camera at the origin looking down +z.
    WeaponWorld world;
    world.textures = textures;
    world.textureCount = 1;
    SetWeaponWorld(&world);
    Mat4 view, projection;
    const Vec3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
    plat::MatrixLookAtLH(&view, &eye, &at, &up);
    plat::MatrixPerspectiveFovLH(&projection, 0.9f, 1.0f, 0.1f, 100.0f);
    d->SetTransform(plat::GfxTransform::View, view);
    d->SetTransform(plat::GfxTransform::Projection, projection);
    d->SetRenderState(plat::GfxRenderState::ZEnable, 0);
    d->SetRenderState(plat::GfxRenderState::CullMode, plat::CullNone);
    d->SetRenderState(plat::GfxRenderState::Lighting, 0);
    d->BeginScene();
    d->Clear(plat::ClearTarget, 0xFF000000u, 1.0f, 0);

    // A red wave across the upper half, additive; a green one below, blended.
    CList<BB_Base> weapons, effects;
    const u32 colours[2] = {0xFFFF2020u, 0xFF20FF20u};
    for (int t = 0; t < 2; ++t) {
        LZ_Beam* beam = NewObject<LZ_Beam>(&weapons, 1);
        auto wave = [t](int i) {
            const f32 x = -4.0f + f32(i) * 0.14f;
            return Vec3(x, (t == 0 ? 2.0f : -2.0f) + 0.6f * plat::DetSin(x * 2.0f), 10.0f);
        };
        Mat4 start;
        const Vec3 first = wave(0);
        AddMatrixTranslation(&start, &first);
        beam->Set({.start = &start, .width = 0.15f, .maxPoints = 64, .blendMode = t, .texture = white.get(),
                   .colour = colours[t]},
                  {.life = 1}, {.testSegments = 1}, 0);
        for (int i = 1; i < 60; ++i) beam->Laser.AddPoint(wave(i));
        beam->Draw();
    }
    // Three flashes along the middle: blue, white, yellow.
    const u32 flashColours[3] = {0xFF3050FFu, 0xFFFFFFFFu, 0xFFFFFF30u};
    for (int i = 0; i < 3; ++i) {
        BB_ExplodeBeam* flash = NewObject<BB_ExplodeBeam>(&effects, 1);
        const Vec3 p(-3.0f + 3.0f * f32(i), 0.0f, 10.0f);
        flash->Set(&p, 1.5f, i == 1 ? 1 : 0, white.get(), flashColours[i]);
        flash->Draw();
    }
    d->EndScene();
    SetWeaponWorld(nullptr);

    plat::GfxRef<plat::GfxSurface> bb;
    ASSERT_EQ(d->GetBackBuffer(bb.put()), plat::GfxResult::Ok);
    std::vector<u32> px;
    plat::GfxRect all{0, 0, kSize, kSize};
    ASSERT_EQ(d->ReadPixels(bb.get(), &all, &px), plat::GfxResult::Ok);
    ASSERT_EQ(px.size(), size_t(kSize * kSize));
    plat::SavePng("weapon_trails_and_billboards.png", px.data(), kSize, kSize, false);

    auto at_ = [&](int x, int y) { return px[size_t(y) * kSize + x]; };
    // The middle flash sits at the centre of the screen, white.
    EXPECT_EQ(at_(128, 128) & 0xFFFFFF, 0xFFFFFFu);
    // Left flash blue, right flash yellow (x from -3 and 3 at depth 10).
    const int side = int(128 + 3.0f / (10.0f * std::tan(0.45f)) * 128);
    EXPECT_GT(at_(256 - side, 128) & 0xFF, 0xC0u);
    EXPECT_GT((at_(side, 128) >> 8) & 0xFF, 0xC0u);
    // Red ink in the upper half only, green in the lower half only.
    int redTop = 0, redBottom = 0, greenTop = 0, greenBottom = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const u32 c = at_(x, y);
            const u32 r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            if (r > 0xC0 && g < 0x60 && b < 0x60) (y < 128 ? redTop : redBottom)++;
            if (g > 0xC0 && r < 0x60 && b < 0x60) (y < 128 ? greenTop : greenBottom)++;
        }
    EXPECT_GT(redTop, 300);
    EXPECT_EQ(redBottom, 0);
    EXPECT_GT(greenBottom, 300);
    EXPECT_EQ(greenTop, 0);
}
