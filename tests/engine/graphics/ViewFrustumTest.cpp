#include "engine/graphics/ViewFrustum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/math/Math.h"

using namespace plat;

namespace {

void ExpectVec(const Vec3& a, const Vec3& b, float tol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

TEST(ViewFrustum, IdentityCameraGivesTheTextbookCornersAndPlanes)
{
    ViewFrustum f;
    const Mat4 camera;
    f.Build(90.0f, 1.0f, 1.0f, 10.0f, &camera);
    ExpectVec(f.corners[0], {-10, 10, 10}, 1e-3f);
    ExpectVec(f.corners[1], {10, 10, 10}, 1e-3f);
    ExpectVec(f.corners[2], {-10, -10, 10}, 1e-3f);
    ExpectVec(f.corners[3], {10, -10, 10}, 1e-3f);
    const float s = 1.0f / std::sqrt(2.0f);
    ExpectVec(f.planes[0], {0, s, -s}, 1e-4f);
    ExpectVec(f.planes[1], {0, -s, -s}, 1e-4f);
    ExpectVec(f.planes[2], {-s, 0, -s}, 1e-4f);
    ExpectVec(f.planes[3], {s, 0, -s}, 1e-4f);
    EXPECT_EQ(f.nearDist, 1.0f);
    EXPECT_EQ(f.farDist, 10.0f);
}

TEST(ViewFrustum, SphereTestFollowsTheCamera)
{
    // Camera at (5, 0, 0) looking down -x: right is +z... built from rows.
    Mat4 camera;
    MatrixRotationY(&camera, -kPi / 2);
    camera.m[3][0] = 5.0f;
    ViewFrustum f;
    f.Build(60.0f, 4.0f / 3.0f, 1.0f, 100.0f, &camera);
    ExpectVec(f.forward, {-1, 0, 0}, 1e-5f);
    EXPECT_EQ(f.TestSphere(-20, 0, 0, 1), 1);    // straight ahead
    EXPECT_EQ(f.TestSphere(20, 0, 0, 1), 0);     // behind
    EXPECT_EQ(f.TestSphere(4.2f, 0, 0, 0.5f), 1);  // straddling the near plane
    EXPECT_EQ(f.TestSphere(4.6f, 0, 0, 0.3f), 0);  // wholly before it
    EXPECT_EQ(f.TestSphere(-200, 0, 0, 1), 0);   // past the far plane
    EXPECT_EQ(f.TestSphere(-96, 0, 0, 2), 1);    // reaching back over it
    EXPECT_EQ(f.TestSphere(-5, 30, 0, 1), 0);    // far above the view
    EXPECT_EQ(f.TestSphere(-5, 0, 30, 1), 0);    // far to the side
    EXPECT_EQ(f.TestSphere(-5, 0, 30, 40), 1);   // big enough to reach in
}

TEST(ViewFrustum, OutCodesNameTheSidesAndBoxesAreInPartlyInOrOut)
{
    // Camera at the origin looking down +z, 90 degrees, near 1, far 10.
    ViewFrustum f;
    const Mat4 camera;
    f.Build(90.0f, 1.0f, 1.0f, 10.0f, &camera);
    const struct {
        Vec3 p;
        u32 code;
    } points[] = {
        {{0, 0, 5}, 0},       {{0, 0, 0.5f}, 0x10}, {{0, 0, 11}, 0x20},   {{0, 6, 5}, 2},
        {{0, -6, 5}, 8},      {{-6, 0, 5}, 4},      {{6, 0, 5}, 1},       {{6, 6, 5}, 3},
        {{-20, -20, 12}, 0x2C}, {{0, 0, -3}, 0x1F},
    };
    for (const auto& c : points) {
        SCOPED_TRACE(testing::Message() << c.p.x << " " << c.p.y << " " << c.p.z);
        EXPECT_EQ(f.OutCode(c.p), c.code);
    }
    EXPECT_EQ(f.TestBox({-1, -1, 4}, {1, 1, 6}), 1);    // wholly inside
    EXPECT_EQ(f.TestBox({-1, -1, 8}, {1, 1, 12}), 0);   // across the far plane
    EXPECT_EQ(f.TestBox({-1, -1, 11}, {1, 1, 12}), -1); // beyond it
    EXPECT_EQ(f.TestBox({7, -1, 4}, {9, 1, 6}), -1);    // right of the view
    EXPECT_EQ(f.TestBox({-30, -30, 5}, {30, 30, 6}), 0); // around the whole view
    // Above and left of the view at once.
    EXPECT_EQ(f.TestBox({-20, 5, 3}, {-5, 20, 3.5f}), -1);
}

// The fitted light view-projection maps the whole view volume into the unit
// cube (x, y in -1..1, z in 0..1).
void ExpectBodyInsideUnitCube(const ShadowFitRecord& fit, const Mat4& view, float fov, float aspect, float zn,
                              float zf)
{
    Mat4 inv, lvp;
    ASSERT_TRUE(MatrixInverse(&inv, nullptr, &view));
    MatrixMultiply(&lvp, &fit.lightView, &fit.lightProjection);
    const float t = std::tan(fov / 2);
    for (int i = 0; i < 8; ++i) {
        const float d = i < 4 ? zn : zf;
        const float h = t * d;
        Vec3 p(((i & 1) ? -1.0f : 1.0f) * h * aspect, ((i & 2) ? -1.0f : 1.0f) * h, d);
        Vec3TransformCoord(&p, &p, &inv);
        Vec3TransformCoord(&p, &p, &lvp);
        EXPECT_GE(p.x, -1.001f);
        EXPECT_LE(p.x, 1.001f);
        EXPECT_GE(p.y, -1.001f);
        EXPECT_LE(p.y, 1.001f);
        EXPECT_GE(p.z, -0.001f);
        EXPECT_LE(p.z, 1.001f);
    }
}

TEST(ShadowFit, LightStraightDownCoversTheViewVolume)
{
    const Vec3 eye(0, 0, 0), viewDir(0, 0, 1), light(0, -1, 0);
    const Mat4 view;
    ShadowFitRecord fit;
    ComputeShadowMatrices(&fit, &viewDir, &eye, &light, &view, 1.0f, 1.5f, 1.0f, 10.0f);
    ExpectVec(fit.lightDir, {0, -1, 0}, 0);
    // The light's "up" is the view direction; body y runs 1..10, so the near
    // distance is 1 + 9 × 0.1 and the body is moved up by 0.9.
    EXPECT_NEAR(fit.lightView.m[3][1], 0.9f, 1e-5f);
    ExpectBodyInsideUnitCube(fit, view, 1.0f, 1.5f, 1.0f, 10.0f);
}

TEST(ShadowFit, BodyStartingAtTheLightPlaneTakesTheQuarterRule)
{
    // With the near distance 0 the lowest light-space y is exactly 0.
    const Vec3 eye(0, 0, 0), viewDir(0, 0, 1), light(0, -1, 0);
    const Mat4 view;
    ShadowFitRecord fit;
    ComputeShadowMatrices(&fit, &viewDir, &eye, &light, &view, 1.0f, 1.0f, 0.0f, 8.0f);
    EXPECT_NEAR(fit.lightView.m[3][1], 8.0f * 0.25f, 1e-5f);
}

TEST(ShadowFit, SlantedLightAndMovedCamera)
{
    Mat4 camera, view;
    MatrixRotationY(&camera, 0.7f);
    camera.m[3][0] = 12.0f;
    camera.m[3][1] = 3.0f;
    camera.m[3][2] = -4.0f;
    ASSERT_TRUE(MatrixInverse(&view, nullptr, &camera));
    const Vec3 eye(12, 3, -4), viewDir(camera.m[2][0], camera.m[2][1], camera.m[2][2]);
    Vec3 light(0.3f, -1.0f, 0.4f);
    ShadowFitRecord fit;
    ComputeShadowMatrices(&fit, &viewDir, &eye, &light, &view, 0.9f, 1.33f, 0.5f, 40.0f);
    EXPECT_NEAR(Vec3Length(&fit.lightDir), 1.0f, 1e-6f);
    EXPECT_EQ(fit.eyePos, eye);
    ExpectBodyInsideUnitCube(fit, view, 0.9f, 1.33f, 0.5f, 40.0f);
}

TEST(ShadowFit, LightAlongTheViewStillGivesFiniteMatrices)
{
    const Vec3 eye(0, 0, 0), viewDir(0, 0, 1), light(0, 0, 2);
    const Mat4 view;
    ShadowFitRecord fit;
    ComputeShadowMatrices(&fit, &viewDir, &eye, &light, &view, 1.0f, 1.0f, 1.0f, 10.0f);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_TRUE(std::isfinite(fit.lightView.m[i][j]));
            EXPECT_TRUE(std::isfinite(fit.lightProjection.m[i][j]));
        }
    }
}

}  // namespace
