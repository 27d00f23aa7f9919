#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "robot/RobotType.h"
#include "script/ScriptCommand.h"

namespace {

std::vector<std::string> g_messages;
void Capture(const char* text, const char* caption) { g_messages.push_back(std::string(caption) + "|" + text); }

// A root mesh with n materials: diffuse (0.5, 0, 0), specular (0.25, 0, 0) and
// emissive (1, 0, 0) except where a case says otherwise.
void GiveRootMaterials(RobotModelData& data, u32 n)
{
    HodNode* root = data.hierarchy.CreateRoot();
    ASSERT_NE(root, nullptr);
    ASSERT_NE(root->mesh, nullptr);
    root->mesh->materials = new plat::GfxMaterial[n];
    root->mesh->materialCount = n;
    for (u32 i = 0; i < n; ++i) {
        plat::GfxMaterial& m = root->mesh->materials[i];
        m.diffuse = m.ambient = ColorF(0.5f, 0.0f, 0.0f, 0.7f);
        m.specular = ColorF(0.0f, 0.25f, 0.0f, 1.0f);
        m.emissive = ColorF(0.0f, 0.0f, 1.0f, 1.0f);
        m.power = 8.0f + static_cast<f32>(i);
    }
}

}  // namespace

TEST(RobotType, ColourSetsKeepSpecularAndEmissiveRatiosInTheNewHue)
{
    SetScriptMessageHook(Capture);
    g_messages.clear();
    RobotModelData data;
    GiveRootMaterials(data, 3);
    data.hierarchy.root->mesh->materials[2].diffuse = ColorF(0.0f, 0.0f, 0.0f, 1.0f);
    RobotColorData& set = data.colorSets[4];
    set.overrideFlags[0] = 1;
    set.colors[0] = ColorF(0.0f, 0.6f, 0.8f, 0.9f);  // length 1: ratios 0.5 and 2 apply as they are
    set.overrideFlags[2] = 1;
    set.colors[2] = ColorF(0.3f, 0.3f, 0.3f, 1.0f);
    EXPECT_EQ(data.BuildColorSetMaterials(), 0);
    EXPECT_TRUE(g_messages.empty());

    for (i32 s = 0; s < kRobotColorSets; ++s) ASSERT_EQ(data.colorSets[s].materialCount, 3u) << s;
    const plat::GfxMaterial* own = data.hierarchy.root->mesh->materials;
    // A set without overrides is an exact copy.
    for (u32 m = 0; m < 3; ++m) {
        const plat::GfxMaterial& c = data.colorSets[0].materials[m];
        EXPECT_EQ(c.diffuse, own[m].diffuse);
        EXPECT_EQ(c.specular, own[m].specular);
        EXPECT_EQ(c.emissive, own[m].emissive);
        EXPECT_EQ(c.power, own[m].power);
    }
    const plat::GfxMaterial& r = set.materials[0];
    EXPECT_EQ(r.diffuse, ColorF(0.0f, 0.6f, 0.8f, 0.9f));
    EXPECT_EQ(r.ambient, r.diffuse);
    EXPECT_FLOAT_EQ(r.specular.g, 0.6f * 0.5f);
    EXPECT_FLOAT_EQ(r.specular.b, 0.8f * 0.5f);
    EXPECT_FLOAT_EQ(r.emissive.g, 0.6f * 2.0f);
    EXPECT_FLOAT_EQ(r.emissive.b, 0.8f * 2.0f);
    EXPECT_EQ(r.specular.a, 1.0f);
    EXPECT_EQ(r.power, 8.0f);
    EXPECT_EQ(set.materials[1].diffuse, own[1].diffuse);
    // A black diffuse gives no specular or emissive light at all.
    EXPECT_EQ(set.materials[2].specular, ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(set.materials[2].emissive, ColorF(0.0f, 0.0f, 0.0f, 1.0f));

    // Copies: a source without materials keeps the target's own array.
    RobotColorData target;
    target.CopyFrom(set);
    EXPECT_EQ(target.materialCount, 3u);
    EXPECT_EQ(target.materials[0].diffuse, r.diffuse);
    EXPECT_EQ(target.overrideFlags[2], 1u);
    RobotColorData empty;
    empty.colors[0] = ColorF(0.1f, 0.2f, 0.3f, 0.4f);
    target.CopyFrom(empty);
    EXPECT_EQ(target.colors[0], ColorF(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(target.materialCount, 3u);
    ASSERT_NE(target.materials, nullptr);
    EXPECT_EQ(target.materials[0].diffuse, r.diffuse);
    target.Reset();
    EXPECT_EQ(target.materials, nullptr);
    EXPECT_EQ(target.colors[0], ColorF(1.0f, 1.0f, 1.0f, 1.0f));
    SetScriptMessageHook(nullptr);
}

TEST(RobotType, TooManyRootMaterialsIsOneProblemNotOnePerSet)
{
    SetScriptMessageHook(Capture);
    g_messages.clear();
    RobotModelData data;
    GiveRootMaterials(data, 23);
    for (RobotColorData& set : data.colorSets) {
        for (i32 m = 0; m < kRobotColorMaterials; ++m) set.overrideFlags[m] = 1;
        set.colors[19] = ColorF(0.0f, 1.0f, 0.0f, 1.0f);
    }
    EXPECT_EQ(data.BuildColorSetMaterials(), 1);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "エラー|不正なデータです");
    EXPECT_STREQ(LastRobotTypeError(), "不正なデータです");
    const RobotColorData& set = data.colorSets[9];
    EXPECT_EQ(set.materials[19].diffuse, ColorF(0.0f, 1.0f, 0.0f, 1.0f));
    EXPECT_EQ(set.materials[22].diffuse, data.hierarchy.root->mesh->materials[22].diffuse);

    // Release frees what a load added and keeps the sets themselves.
    data.Release();
    EXPECT_EQ(data.colorSets.GetCount(), kRobotColorSets);
    EXPECT_EQ(data.colorSets[9].materials, nullptr);
    EXPECT_EQ(data.hierarchy.root, nullptr);
    EXPECT_EQ(data.loaded.load(), 0u);
    data.Reset();
    EXPECT_EQ(data.lockDist, 80);
    EXPECT_EQ(data.burnerValues[19], 0.1f);
    EXPECT_EQ(data.aiSettingRange, 40.0f);
    SetScriptMessageHook(nullptr);
}
