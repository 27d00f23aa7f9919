#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/graphics/MeshObject.h"
#include "engine/graphics/ViewFrustum.h"
#include "support/RecordingGraphics.h"
#include "support/TempFolder.h"
#include "weapon/WeaponBase.h"
#include "weapon/WeaponScene.h"
#include "weapon/effects/Flash.h"

namespace {

int Count(const std::vector<std::string>& calls, const std::string& prefix)
{
    int n = 0;
    for (const std::string& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
}

struct DrawRig {
    RecordingGraphics gfx;
    plat::GfxRef<plat::GfxTexture> texture;
    WeaponWorld world;
    ViewFrustum frustum;

    DrawRig()
    {
        plat::GfxDevice* d = GetGraphicsDevice()->device;
        d->CreateTexture(2, 2, 1, 0, plat::GfxFormat::A8R8G8B8, plat::GfxPool::Managed, texture.put());
        frustum.Build(60.0f, 1.0f, 0.1f, 100.0f, &world.camera);  // camera at the origin looking down +z
        world.frustum = &frustum;
        SetWeaponWorld(&world);
        d->BeginScene();
        gfx.Recorder()->ClearCalls();
    }
    ~DrawRig() { SetWeaponWorld(nullptr); }
    std::vector<std::string> Calls() { return gfx.Recorder()->CallTexts(); }
};

}  // namespace

TEST(WeaponDrawTest, BlendModesPickTheBlendingOrDrawNothing)
{
    DrawRig rig;
    for (i32 blend : {0, 1, 2}) {
        SCOPED_TRACE(blend);
        LZ_Basic trail;
        trail.Laser.MaxPoints = 5;
        for (int i = 0; i < 3; ++i) trail.Laser.AddPoint(Vec3(f32(i), 0, 10));
        trail.BlendMode = blend;
        BB_ExplodeBeam flash;
        const Vec3 at(0, 0, 10);
        flash.Set(&at, 1.0f, blend, rig.texture.get(), 0xFFFFFFFFu);
        rig.gfx.Recorder()->ClearCalls();
        trail.Draw();
        flash.Draw();
        const std::vector<std::string> calls = rig.Calls();
        EXPECT_EQ(Count(calls, "DrawPrimitiveUP TriangleStrip 4"), blend == 2 ? 0 : 1);
        EXPECT_EQ(Count(calls, "DrawPrimitiveUP TriangleStrip 2"), blend == 2 ? 0 : 1);
        EXPECT_EQ(Count(calls, "SetRenderState DestBlend"), blend == 2 ? 0 : 2);
        u32 dest = 0;
        GetGraphicsDevice()->device->GetRenderState(plat::GfxRenderState::DestBlend, &dest);
        if (blend != 2) {
            EXPECT_EQ(dest, blend == 0 ? u32(plat::BlendInvSrcAlpha) : u32(plat::BlendOne));
        }
    }
    // Setting an effect up is battle logic: it never touches the device.
    rig.gfx.Recorder()->ClearCalls();
    BB_GSmoke smoke;
    const Vec3 place(1, 0, 10), drift(0, 0.01f, 0);
    smoke.Set(&place, 1.0f, &drift, 0, rig.texture.get(), 0x80FFFFFFu, -2, 0.01f);
    smoke.Run();
    EXPECT_TRUE(rig.Calls().empty());

    // A billboard without a texture, or behind the camera, is not drawn.
    BB_ExplodeBeam bare, behind;
    const Vec3 front(0, 0, 10), back(0, 0, -10);
    bare.Set(&front, 1.0f, 1, nullptr, 0xFFFFFFFFu);
    behind.Set(&back, 1.0f, 1, rig.texture.get(), 0xFFFFFFFFu);
    rig.gfx.Recorder()->ClearCalls();
    bare.Draw();
    behind.Draw();
    EXPECT_EQ(Count(rig.Calls(), "DrawPrimitiveUP"), 0);
}

TEST(WeaponDrawTest, GlowPassKeepsOnlySpecularAndRefusesOversizedMeshes)
{
    DrawRig rig;
    TempFolder folder;
    ASSERT_TRUE(folder.Write("box.x", R"(xof 0303txt 0032
Mesh Box { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 1; 1; 0;; Material { 1;0;0;1;; 20; 0.5;0.5;0.5;; 0.2;0.2;0.2;; } }
}
)"));
    MeshObject mesh;
    const std::string path = folder / "box.x";
    ASSERT_EQ(mesh.Load(path.c_str(), MeshObject::NoTextures, nullptr), 1);
    ASSERT_EQ(mesh.materialCount, 1u);
    plat::GfxMaterial* own = mesh.materials;
    const plat::GfxMaterial before = own[0];

    LZ_Basic weapon;
    weapon.Mesh = &mesh;
    rig.gfx.Recorder()->ClearCalls();
    weapon.DrawXFileHDR();
    EXPECT_EQ(Count(rig.Calls(), "SetMaterial"), 1);
    plat::GfxMaterial used;
    GetGraphicsDevice()->device->GetMaterial(&used);
    EXPECT_EQ(used.diffuse, ColorF(0, 0, 0, 1));
    EXPECT_EQ(used.emissive, ColorF(0, 0, 0, 1));
    EXPECT_EQ(used.specular, before.specular);
    EXPECT_EQ(mesh.materials, own);  // its own materials back, unchanged
    EXPECT_EQ(mesh.materials[0].diffuse, before.diffuse);

    // More materials than the glow table holds: left out of the glow.
    mesh.materialCount = MeshObject::MaxMaterials + 1;
    rig.gfx.Recorder()->ClearCalls();
    weapon.DrawXFileHDR();
    EXPECT_EQ(Count(rig.Calls(), "SetMaterial"), 0);
    mesh.materialCount = 1;

    rig.gfx.Recorder()->ClearCalls();
    weapon.DrawXFile();
    EXPECT_EQ(Count(rig.Calls(), "SetMaterial"), 1);
    weapon.ShaderMode = 5;  // no such mode: nothing
    rig.gfx.Recorder()->ClearCalls();
    weapon.DrawXFile();
    weapon.DrawXFileHDR();
    EXPECT_EQ(Count(rig.Calls(), "SetMaterial"), 0);
}
