// Skinned meshes and model trees drawn on an offscreen OpenGL device, read
// back pixel by pixel.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/model/HierarchyObject.h"
#include "engine/graphics/Shaders.h"
#include "engine/model/SkinObject.h"
#include "engine/model/SkinXMesh.h"
#include "platform/math/Math.h"
#include "platform/gfx/Window.h"
#include "support/SkinnedXFile.h"
#include "support/TempFolder.h"

using namespace plat;

namespace {

constexpr int kSize = 160;
constexpr u32 kBackground = 0x203040u;

class SkinDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SetGfxBackend(GfxBackend::OpenGL);
        window_ = Window::Create("skin test", 0, 0, kSize, kSize, Window::Hidden);
        ASSERT_NE(window_, nullptr);
        gd_ = GetGraphicsDevice();
        ASSERT_EQ(gd_->Create(window_.get(), kSize, kSize, GfxFormat::X8R8G8B8, false), 1);
        gd_->SetDefaultRenderStates();
        gd_->device->SetRenderState(GfxRenderState::CullMode, CullNone);
        gd_->device->SetRenderState(GfxRenderState::AlphaBlendEnable, 0);
        gd_->SetDirectionalLight(0, Vec3(0, 0, 1), ColorF(1, 1, 1, 1), ColorF(0.3f, 0.3f, 0.3f, 1),
                                 ColorF(0, 0, 0, 1));
        const Vec3 eye(1, 1.5f, -9), at(1, 1.5f, 0), up(0, 1, 0);
        MatrixLookAtLH(&gd_->view, &eye, &at, &up);
        MatrixPerspectiveFovLH(&gd_->projection, 0.8f, 1.0f, 0.5f, 100.0f);
        gd_->device->SetTransform(GfxTransform::View, gd_->view);
        gd_->device->SetTransform(GfxTransform::Projection, gd_->projection);
    }
    void TearDown() override
    {
        GetShaderBasic()->Release();
        gd_->Release();
        window_.reset();
    }

    void Begin()
    {
        gd_->device->BeginScene();
        gd_->device->Clear(ClearTarget | ClearZBuffer, 0xFF000000u | kBackground, 1.0f, 0);
    }
    std::vector<bool> EndAndMask()
    {
        gd_->device->EndScene();
        GfxRect r{0, 0, kSize, kSize};
        std::vector<u32> px;
        gd_->device->ReadPixels(gd_->backBuffer, &r, &px);
        std::vector<bool> mask;
        for (u32 p : px) mask.push_back((p & 0xFFFFFFu) != kBackground);
        return mask;
    }
    bool Covered(const std::vector<bool>& mask, const Vec3& point)
    {
        Mat4 at;
        MatrixTranslation(&at, point.x, point.y, point.z);
        Vec3 s;
        gd_->ProjectToScreen(&s, &at, &gd_->view, &gd_->projection);
        const int x = static_cast<int>(s.x), y = static_cast<int>(s.y);
        return x >= 0 && y >= 0 && x < kSize && y < kSize && mask[static_cast<size_t>(y) * kSize + x];
    }
    Shader_Basic* Basic()
    {
        Shader_Basic* basic = GetShaderBasic();
        basic->Create("data/Basic.fx");
        EXPECT_TRUE(basic->effect) << basic->LastError();
        const Mat4 identity;
        basic->SetWorld(&identity);  // also the view-projection the skinned technique uses
        const float light[3] = {0, 0, 1};
        const Vec4 eye(1, 1.5f, -9, 1);
        basic->SetLighting(light, &eye);
        return basic;
    }
    static size_t Count(const std::vector<bool>& m)
    {
        size_t n = 0;
        for (bool b : m) n += b;
        return n;
    }
    static size_t Differ(const std::vector<bool>& a, const std::vector<bool>& b)
    {
        size_t n = 0;
        for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
        return n;
    }

    TempFolder folder_;
    std::unique_ptr<Window> window_;
    GraphicsDevice* gd_ = nullptr;
};

void Bend(CSkinObject& pose, f32 angle)
{
    for (size_t i = 2; i < pose.nodes.size() && pose.nodes[i]->frame->Name &&
                       std::string(pose.nodes[i]->frame->Name).rfind("Bone", 0) == 0;
         ++i) {
        MatrixRotationZ(&pose.nodes[i]->local, angle);
        pose.nodes[i]->local.m[3][1] = 1.0f;
    }
    pose.UpdateMatrices();
    pose.BindBoneMatrices();
}

TEST_F(SkinDrawing, SoftwareSkinningAndTheSkinnedTechniqueCoverTheSamePixels)
{
    skintest::Tube tube;
    tube.bones = 4;
    tube.rings = 13;
    tube.ringVertices = 12;
    ASSERT_TRUE(folder_.Write("tube.x", skintest::TubeFile(tube)));
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile((folder_ / "tube.x").c_str(), kSkinSoftware));
    CSkinObject pose;
    ASSERT_EQ(pose.SetMesh(&mesh), 1);

    Bend(pose, 0.0f);
    Begin();
    mesh.Draw(nullptr, nullptr, 0);
    const std::vector<bool> rest = EndAndMask();

    Bend(pose, 0.5f);
    Begin();
    mesh.Draw(nullptr, nullptr, 0);
    const std::vector<bool> software = EndAndMask();

    mesh.RebuildSkinning(kSkinIndexedEffect);
    Shader_Basic* basic = Basic();
    Begin();
    mesh.DrawWithEffect(basic, nullptr, nullptr, 0);
    const std::vector<bool> effect = EndAndMask();

    ASSERT_GT(Count(software), 500u);
    EXPECT_GT(Differ(rest, software), Count(software) / 5);  // the bend shows
    EXPECT_LT(Differ(software, effect), Count(software) / 50);
}

TEST_F(SkinDrawing, EachMethodDrawsWhatItCan)
{
    skintest::Tube tube;
    tube.rigidProp = true;
    ASSERT_TRUE(folder_.Write("tube.x", skintest::TubeFile(tube)));
    SkinXMesh mesh;
    ASSERT_TRUE(mesh.LoadFromFile((folder_ / "tube.x").c_str(), kSkinBlended));
    CSkinObject pose;
    ASSERT_EQ(pose.SetMesh(&mesh), 1);
    Bend(pose, 0.0f);
    Shader_Basic* basic = Basic();
    const Vec3 tubeAt(0.0f, 1.0f, -0.45f), propAt(2.3f, 0.3f, 0.0f);

    for (u32 method : {kSkinBlended, kSkinSoftware, kSkinIndexed, kSkinIndexedEffect}) {
        mesh.RebuildSkinning(method);
        Begin();
        mesh.Draw(nullptr, nullptr, 0);
        std::vector<bool> m = EndAndMask();
        EXPECT_TRUE(Covered(m, propAt)) << "fixed, method " << method;
        EXPECT_EQ(Covered(m, tubeAt), method == kSkinBlended || method == kSkinSoftware) << "fixed, method " << method;

        Begin();
        mesh.DrawWithEffect(basic, nullptr, nullptr, 0);
        m = EndAndMask();
        EXPECT_FALSE(Covered(m, propAt)) << "effect, method " << method;
        EXPECT_EQ(Covered(m, tubeAt), method == kSkinIndexedEffect) << "effect, method " << method;
    }
}

TEST_F(SkinDrawing, ModelTreesSkipHiddenNodesButNotTheirChildren)
{
    CHierarchyObject model;
    ASSERT_EQ(model.LoadHod("Quillon/Model/Sample.hod", 0, 0, &gd_->textureManager), 1);
    HodNode* body = model.FindNode("Quillon/Model/Body.x");
    HodNode* head = model.FindNode("Quillon/Model/Head.x");
    ASSERT_TRUE(body && head);
    model.UpdateMatrices(nullptr);
    const Vec3 bodyAt(body->world.m[3][0], body->world.m[3][1], body->world.m[3][2]);
    const Vec3 headAt(head->world.m[3][0], head->world.m[3][1], head->world.m[3][2]);

    model.FindNode("Quillon/Mesh/Ground.x")->hidden = 1;  // it would stand behind the body
    model.root->hidden = 1;  // the palette root is never drawn anyway
    Begin();
    model.Draw();
    std::vector<bool> m = EndAndMask();
    EXPECT_TRUE(Covered(m, bodyAt));
    EXPECT_TRUE(Covered(m, headAt));

    body->hidden = 1;
    Begin();
    model.Draw();
    m = EndAndMask();
    EXPECT_FALSE(Covered(m, bodyAt));
    EXPECT_TRUE(Covered(m, headAt));
    model.Release();
}

}  // namespace
