#include "engine/model/HierarchyObject.h"

#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/math/Math.h"

namespace {

// Root with one child; animation a gives key k the root translation
// (base + k, 0, 0) and the child (0, base + k, 0).
class Posing : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = model.CreateRoot();
        std::strcpy(root->meshName, "Root.x");
        child = root->AddChild();
        std::strcpy(child->meshName, "Child.x");
        model.RebuildNodeTable();
    }
    void TearDown() override { model.Release(); }

    void MakeAnime(u32 anime, u32 keys, f32 base)
    {
        ASSERT_EQ(model.AllocAnimeKeys(anime, keys), 1);
        for (u32 k = 0; k < keys; ++k) {
            SetKey(root, anime, k, Vec3(base + static_cast<f32>(k), 0, 0));
            SetKey(child, anime, k, Vec3(0, base + static_cast<f32>(k), 0));
        }
    }
    static void SetKey(HodNode* node, u32 anime, u32 k, const Vec3& t)
    {
        HodKey& key = node->keyTables[anime].keys[k];
        key.translation = t;
        key.matrix = Mat4();
        key.matrix.m[3][0] = t.x;
        key.matrix.m[3][1] = t.y;
        key.matrix.m[3][2] = t.z;
    }
    void Pose()
    {
        const Mat4 identity;
        model.ApplyAnime(&identity);
    }
    f32 RootX() const { return root->world.m[3][0]; }

    CHierarchyObject model;
    HodNode* root = nullptr;
    HodNode* child = nullptr;
};

TEST_F(Posing, LoopingTracksWrapToTheFirstKeyAndOthersHoldTheLast)
{
    MakeAnime(0, 10, 0);
    model.PlayAnimation(0, 0, 0.0f, 1.0f, 9.5f, 1, 1);
    Pose();
    EXPECT_EQ(model.activeKeys[0][0], 9u);
    EXPECT_EQ(model.activeKeys[0][1], 0u);
    EXPECT_FLOAT_EQ(RootX(), 4.5f);  // halfway from key 9 back to key 0
    EXPECT_FLOAT_EQ(child->world.m[3][1], 4.5f);

    model.PlayAnimation(0, 0, -1.0f, -1.0f, -1.0f, 0, 1);  // negative values keep the slot's
    EXPECT_FLOAT_EQ(model.tracks[0].frame, 9.5f);
    Pose();
    EXPECT_EQ(model.activeKeys[0][1], 9u);
    EXPECT_EQ(model.activeFraction[0], 0.0f);
    EXPECT_FLOAT_EQ(RootX(), 9.0f);
}

TEST_F(Posing, AdvancingStopsAtTheLastKeyOrWrapsOverTheKeyIntervals)
{
    MakeAnime(0, 4, 0);
    model.PlayAnimation(0, 0, 1.25f, 1.0f, 0.0f, 0, 1);
    for (int i = 0; i < 10; ++i) model.AdvanceAnime(1.0f);
    EXPECT_EQ(model.tracks[0].frame, 3.0f);
    model.PlayAnimation(0, 0, 1.25f, 1.0f, 2.5f, 1, 1);
    model.AdvanceAnime(1.0f);
    EXPECT_FLOAT_EQ(model.tracks[0].frame, 0.75f);  // 3.75 - 3
    // A track with fewer than two keys never moves.
    MakeAnime(1, 1, 0);
    model.PlayAnimation(1, 1, 1.0f, 1.0f, 0.0f, 1, 1);
    model.AdvanceAnime(1.0f);
    EXPECT_EQ(model.tracks[1].frame, 0.0f);
}

TEST_F(Posing, ChangeAnimeCrossFadesAndSwitchesTheOldTrackOff)
{
    MakeAnime(0, 2, 0);    // x = 0 .. 1
    MakeAnime(1, 2, 100);  // x = 100 .. 101
    model.PlayAnimation(0, 0, 0.0f, 1.0f, 0.0f, 1, 1);
    model.ChangeAnime(1, 0.0f, 10.0f, 0.0f, 1.0f, 0.0f, 1);
    EXPECT_EQ(model.currentTrack, 1u);
    EXPECT_EQ(model.previousTrack, 0u);
    for (int i = 0; i < 5; ++i) model.AdvanceAnime(1.0f);  // ramps run at clock 0..4
    EXPECT_FLOAT_EQ(model.tracks[0].weight, 0.6f);
    EXPECT_FLOAT_EQ(model.tracks[1].weight, 0.4f);
    Pose();
    EXPECT_NEAR(RootX(), 40.0f, 1e-4f);  // 0 mixed with 100 by 0.4
    for (int i = 0; i < 6; ++i) model.AdvanceAnime(1.0f);
    EXPECT_EQ(model.tracks[0].enabled, 0u);
    EXPECT_EQ(model.tracks[1].weight, 1.0f);
    EXPECT_EQ(model.events.GetCount(), 0u);
    Pose();
    EXPECT_EQ(model.activeCount, 1u);
    EXPECT_FLOAT_EQ(RootX(), 100.0f);

    // A change without blend time lands at once.
    model.ChangeAnime(0, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 1);
    model.AdvanceAnime(1.0f);
    EXPECT_EQ(model.tracks[2].weight, 0.5f);
    EXPECT_EQ(model.tracks[1].enabled, 0u);
    EXPECT_EQ(model.events.GetCount(), 0u);
}

TEST_F(Posing, ASecondChangeWithinTheBlendFadesTheOldestTrackAtOnce)
{
    MakeAnime(0, 2, 0);
    MakeAnime(1, 2, 100);
    MakeAnime(2, 2, 200);
    model.PlayAnimation(0, 0, 0.0f, 1.0f, 0.0f, 1, 1);
    model.ChangeAnime(1, 0.0f, 20.0f, 0.0f, 1.0f, 0.0f, 1);
    model.AdvanceAnime(1.0f);
    model.AdvanceAnime(1.0f);  // ramps seen at clock 0 and 1: track 0 at 0.95
    model.RebaseClock();
    // Delayed start: the new events wait three frames.
    model.ChangeAnime(2, 3.0f, 10.0f, 0.0f, 1.0f, 0.0f, 1);
    // Track 0's events are the leftovers: its switch-off stays a switch-off,
    // its weight ramp becomes a 5-frame fade from its present weight.
    bool sawFade = false;
    for (TrackEvent* e = model.events.GetHead()->next; e != model.events.GetTail(); e = e->next) {
        if (e->track != 0) continue;
        if (e->type == kTrackEventWeight) {
            sawFade = true;
            EXPECT_EQ(e->endValue, 0.0f);
            EXPECT_FLOAT_EQ(e->startValue, 0.95f);
            EXPECT_EQ(e->startTime, 0.0f);
            EXPECT_EQ(e->duration, 5.0f);
        }
        if (e->type == kTrackEventEnable) {
            EXPECT_EQ(e->flag, 0u);
        }
    }
    EXPECT_TRUE(sawFade);
    for (int i = 0; i < 6; ++i) model.AdvanceAnime(1.0f);
    EXPECT_EQ(model.tracks[0].weight, 0.0f);
    EXPECT_EQ(model.tracks[2].enabled, 1u);
}

TEST_F(Posing, ATrackWithoutKeysIsLeftOutOfTheBlend)
{
    MakeAnime(0, 2, 10);
    model.PlayAnimation(0, 0, 0.0f, 1.0f, 0.0f, 1, 1);
    model.PlayAnimation(7 /* never allocated */, 1, 1.0f, 1.0f, 3.0f, 1, 1);
    model.PlayAnimation(250 /* out of range */, 2, 1.0f, 1.0f, 3.0f, 1, 1);
    model.AdvanceAnime(1.0f);
    Pose();
    EXPECT_EQ(model.activeCount, 1u);
    EXPECT_FLOAT_EQ(RootX(), 10.0f);
}

TEST_F(Posing, WeightsAreNormalisedOverTheBlendedTracksBeforeUse)
{
    MakeAnime(0, 2, 0);
    MakeAnime(1, 2, 100);
    model.PlayAnimation(0, 0, 0.0f, 3.0f, 0.0f, 1, 1);
    model.PlayAnimation(1, 1, 0.0f, 7.0f, 0.0f, 1, 0);  // disabled: keeps its weight
    model.PlayAnimation(1, 2, 0.0f, 1.0f, 0.0f, 1, 1);
    Pose();
    EXPECT_EQ(model.activeCount, 2u);
    EXPECT_FLOAT_EQ(model.tracks[0].weight, 0.75f);
    EXPECT_FLOAT_EQ(model.tracks[1].weight, 7.0f);
    EXPECT_FLOAT_EQ(model.tracks[2].weight, 0.25f);
    EXPECT_NEAR(RootX(), 25.0f, 1e-4f);
}

TEST_F(Posing, InterpolationModesFollowTheFirstKey)
{
    ASSERT_EQ(model.AllocAnimeKeys(0, 4), 1);
    const f32 xs[4] = {0, 1, 3, 6};
    for (u32 k = 0; k < 4; ++k) SetKey(root, 0, k, Vec3(xs[k], 0, 0));
    HodKey* keys = root->keyTables[0].keys;
    keys[1].translationMode = kHodVecCatmullRom;
    Vec3 expected;
    const Vec3 p0(0, 0, 0), p1(1, 0, 0), p2(3, 0, 0), p3(6, 0, 0);
    plat::Vec3CatmullRom(&expected, &p0, &p1, &p2, &p3, 0.25f);
    model.PlayAnimation(0, 0, 0.0f, 1.0f, 1.25f, 0, 1);
    Pose();
    EXPECT_FLOAT_EQ(RootX(), expected.x);
    EXPECT_NE(RootX(), 1.5f);  // what linear would give
}

TEST_F(Posing, LinkModesFixCallbackAndCutTheWalk)
{
    MakeAnime(0, 2, 10);
    model.PlayAnimation(0, 0, 0.0f, 1.0f, 0.0f, 1, 1);
    HodNode* grandchild = child->AddChild();
    grandchild->local = Mat4();
    grandchild->world.m[3][2] = 42.0f;
    model.RebuildNodeTable();

    child->linkMode = 2;
    child->world.m[3][2] = 99.0f;
    Pose();
    EXPECT_EQ(child->world.m[3][2], 99.0f);  // neither it nor its subtree moved
    EXPECT_EQ(grandchild->world.m[3][2], 42.0f);
    EXPECT_FLOAT_EQ(RootX(), 10.0f);

    child->linkMode = kHodLinkFixed;
    child->local = Mat4();
    child->local.m[3][2] = 1.0f;
    Pose();
    EXPECT_EQ(child->world.m[3][2], 1.0f);
    EXPECT_EQ(child->world.m[3][0], 10.0f);
    EXPECT_EQ(grandchild->world.m[3][0], 10.0f);

    struct Seen {
        HodNode* node = nullptr;
        int calls = 0;
    } seen;
    model.nodeCallbackArg = &seen;
    model.nodeCallback = [](HodNode* node, const Mat4*, void* arg) {
        auto* s = static_cast<Seen*>(arg);
        s->node = node;
        ++s->calls;
        return false;
    };
    child->linkMode = kHodLinkCallback;
    grandchild->world.m[3][0] = -5.0f;
    Pose();
    EXPECT_EQ(seen.node, child);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(grandchild->world.m[3][0], -5.0f);  // false stopped the walk

    // No track at all: the link-mode walk just multiplies the matrices.
    model.tracks[0].enabled = 0;
    child->linkMode = kHodLinkAnimated;
    root->local = Mat4();
    root->local.m[3][1] = 3.0f;
    Pose();
    EXPECT_EQ(grandchild->world.m[3][1], 3.0f);
}

TEST(HierarchyCopies, CopiesShareDataAndTheLastHolderFreesIt)
{
    auto source = std::make_unique<CHierarchyObject>();
    HodNode* root = source->CreateRoot();
    std::strcpy(root->meshName, "Root.x");
    HodNode* part = root->AddChildAt(4);
    std::strcpy(part->meshName, "Part.x");
    part->level = 7;
    part->hidden = 1;
    source->RebuildNodeTable();
    ASSERT_EQ(source->AllocAnimeKeys(0, 3), 1);

    CHierarchyObject copy, copyOfCopy;
    source->CopyTo(&copy);
    copy.CopyTo(&copyOfCopy);
    EXPECT_EQ(source->ShareCount(), 2u);
    EXPECT_EQ(copy.source, source.get());
    EXPECT_EQ(copyOfCopy.source, source.get());
    HodNode* copied = copyOfCopy.FindNode("Part.x");
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied, copyOfCopy.root->children[4]);
    EXPECT_EQ(copied->mesh, part->mesh);
    EXPECT_EQ(copied->keyTables, part->keyTables);
    EXPECT_EQ(copied->level, 1u);  // depth, not the source's value
    EXPECT_EQ(copied->hidden, 1);
    EXPECT_EQ(copyOfCopy.AnimeKeyCount(0), 3u);
    EXPECT_EQ(copyOfCopy.root->AddChildAt(4), nullptr);  // taken
    EXPECT_EQ(copyOfCopy.root->AddChildAt(10), nullptr);

    // The source goes first, even destroyed: the copies keep the data.
    source->Release();
    source.reset();
    copy.Release();
    EXPECT_EQ(copyOfCopy.ShareCount(), 0u);
    EXPECT_EQ(copyOfCopy.AnimeKeyCount(0), 3u);
    copyOfCopy.PlayAnimation(0, 0, 1.0f, 1.0f, 0.0f, 1, 1);
    copyOfCopy.AdvanceAnime(1.0f);
    const Mat4 identity;
    copyOfCopy.ApplyAnime(&identity);
    copyOfCopy.Release();  // frees the shared data; a sanitizer build reports any double free or leak
    EXPECT_EQ(copyOfCopy.root, nullptr);
}

// A swinging node N under parent P with its tip T one unit behind it (-z).
class Swing : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = model.CreateRoot();
        node = parent->AddChild();
        tip = node->AddChild();
        tip->local.m[3][2] = -1.0f;
        node->linkMode = kHodLinkCallback;
        model.nodeCallback = AimNodeCallback;
        model.nodeCallbackArg = &model;
        const f32 params[3] = {20.0f, 0.5f, 0.2f};
        std::memcpy(node->swingParams, params, sizeof params);
        HodNode::CreatePoseCacheTree(parent);
        HodNode::StoreAimLimitsTree(parent);
        model.RebuildNodeTable();
        Step(0.0f);
        Step(0.0f);
    }
    void TearDown() override { model.Release(); }
    void Step(f32 x)
    {
        Mat4 world;
        world.m[3][0] = x;
        model.UpdateMatricesEx(&world);
    }
    f32 TiltDegrees() const
    {
        const Vec3 z(node->local.m[2][0], node->local.m[2][1], node->local.m[2][2]);
        return std::acos(std::fmin(1.0f, z.z)) * 57.29578f;
    }

    CHierarchyObject model;
    HodNode* parent = nullptr;
    HodNode* node = nullptr;
    HodNode* tip = nullptr;
};

TEST_F(Swing, ANodeLagsBehindAMoveAndSettlesBack)
{
    EXPECT_NEAR(TiltDegrees(), 0.0f, 1e-3f);
    Step(0.3f);  // the tip still hangs where it was
    const f32 tilt = TiltDegrees();
    EXPECT_GT(tilt, 1.0f);
    EXPECT_GT(node->local.m[2][0], 0.0f);  // leaning along the move
    f32 largest = tilt;
    for (int i = 0; i < 400; ++i) {
        Step(0.3f);
        largest = std::fmax(largest, TiltDegrees());
    }
    EXPECT_LT(largest, 60.0f);
    EXPECT_LT(TiltDegrees(), 0.5f);
    EXPECT_NEAR(node->world.m[3][0], 0.3f, 1e-5f);
}

TEST_F(Swing, AJumpTiltsTheNodeNoFurtherThanItsLimit)
{
    Step(5.0f);
    EXPECT_GT(TiltDegrees(), 10.0f);
    EXPECT_LE(TiltDegrees(), 20.01f);
}

TEST_F(Swing, ADisabledCacheLeavesTheNodeAlone)
{
    node->poseCache->disabled = 1;
    Step(0.5f);
    EXPECT_EQ(TiltDegrees(), 0.0f);
    EXPECT_FLOAT_EQ(node->world.m[3][0], 0.5f);
}

// A caller that turns a node after posing and places its children again
// may have the first walk leave them alone and animate them as it places
// them: every matrix and swing state must come out bit for bit as with the
// full walk, with and without a swing node (which forces the full walk, and
// the caller then only places them) below the turned node.
TEST(PlacedLater, AnimatingBelowATurnedNodeAsItIsPlacedLeavesTheSameTree)
{
    for (const u8 tailMode : {kHodLinkFixed, kHodLinkCallback}) {
        SCOPED_TRACE(static_cast<int>(tailMode));
        CHierarchyObject source;
        HodNode* root = source.CreateRoot();
        HodNode* body = root->AddChild();
        HodNode* arm = body->AddChildAt(3);  // empty slots before it
        arm->AddChild()->linkMode = kHodLinkFixed;
        HodNode* tail = body->AddChild();
        tail->AddChild()->local.m[3][2] = -1.0f;
        tail->linkMode = tailMode;
        const f32 params[3] = {20.0f, 0.5f, 0.2f};
        std::memcpy(tail->swingParams, params, sizeof params);
        source.RebuildNodeTable();
        ASSERT_EQ(source.AllocAnimeKeys(0, 3), 1);
        for (u32 n = 0; n < source.nodeCount; ++n)
            for (u32 k = 0; k < 3; ++k) {
                HodKey& key = source.nodeTable[n]->keyTables[0].keys[k];
                key.translation = Vec3(0.1f * n, 0.3f * k, -0.2f * n * k);
                Mat4 spin;
                plat::MatrixRotationY(&spin, 0.4f * k + 0.1f * n);
                plat::QuaternionRotationMatrix(&key.rotation, &spin);
                plat::MatrixScaleRotateTranslate(&key.matrix, &key.scale, &key.rotation, &key.translation);
            }

        CHierarchyObject full, later;
        for (CHierarchyObject* model : {&full, &later}) {
            source.CopyTo(model);
            model->nodeCallback = AimNodeCallback;
            model->nodeCallbackArg = model;
            HodNode::CreatePoseCacheTree(model->root);
            HodNode::StoreAimLimitsTree(model->root);
            model->PlayAnimation(0, 0, 0.35f, 1.0f, 0.0f, 1, 1);
        }
        for (int frame = 0; frame < 40; ++frame) {
            Mat4 world, turn;
            plat::MatrixRotationY(&world, 0.05f * static_cast<f32>(frame));
            world.m[3][0] = 0.2f * static_cast<f32>(frame % 7);
            plat::MatrixRotationX(&turn, 0.03f * static_cast<f32>(frame % 5));
            for (CHierarchyObject* model : {&full, &later}) {
                HodNode* turned = model->root->children[0];
                model->AdvanceAnime(1.0f);
                const bool left = model->ApplyAnimeFrom(model->root, &world, model == &later ? turned : nullptr);
                EXPECT_EQ(left, model == &later && tailMode != kHodLinkCallback);
                Mat4 out;
                plat::MatrixMultiply(&out, &turn, &turned->world);
                turned->world = out;
                for (HodNode* child : turned->children)
                    if (child) model->UpdateNodeMatricesEx(child, &turned->world, left);
            }
            HodNode** a = nullptr;
            HodNode** b = nullptr;
            const u32 n = full.CollectNodes(full.root, &a);
            ASSERT_EQ(later.CollectNodes(later.root, &b), n);
            for (u32 i = 0; i < n; ++i) {
                EXPECT_EQ(std::memcmp(&a[i]->local, &b[i]->local, sizeof(Mat4)), 0) << frame << " " << i;
                EXPECT_EQ(std::memcmp(&a[i]->world, &b[i]->world, sizeof(Mat4)), 0) << frame << " " << i;
                EXPECT_EQ(std::memcmp(&a[i]->poseCache->velocity, &b[i]->poseCache->velocity, sizeof(Vec3)), 0);
            }
            delete[] a;
            delete[] b;
        }
        for (CHierarchyObject* model : {&full, &later}) {
            HodNode::FreePoseCacheTree(model->root);
            model->Release();
        }
        source.Release();
    }
}

TEST(HierarchyEx, ReleasingFreesTheSwingCaches)
{
    CHierarchyObjectEx model;
    HodNode* root = model.CreateRoot();
    root->AddChild();
    HodNode::CreatePoseCacheTree(root);
    model.Release();  // a sanitizer build reports the caches if they leaked
    EXPECT_EQ(model.root, nullptr);
}

}  // namespace
