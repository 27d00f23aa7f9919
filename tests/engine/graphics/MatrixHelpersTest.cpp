// Orientation helpers, billboard world matrices and billboard quads.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/MatrixHelpers.h"
#include "engine/core/VectorFunctions.h"
#include "platform/gfx/GfxRecorder.h"
#include "platform/math/Math.h"

namespace {

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

void ExpectVec(const Vec3& a, const Vec3& b, float tol = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

Matrix Positioned(float x, float y, float z) {
    Matrix m;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

TEST(MatrixHelpersTest, FromElementsFillsRowOrder) {
    Matrix m;
    m.MatrixFromElements(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(m.m[0][3], 4.0f);
    EXPECT_EQ(m.m[2][1], 10.0f);
    EXPECT_EQ(m.m[3][0], 13.0f);
}

TEST(MatrixHelpersTest, LookDirectionBuildsAxesAndFallsBackWhenUpIsParallel) {
    Matrix m = Positioned(1, 2, 3);
    m.MatrixLookDirection(Vec3(0, 0, 5), Vec3(0, 1, 0));
    ExpectVec(Row(m, 0), Vec3(1, 0, 0));
    ExpectVec(Row(m, 1), Vec3(0, 1, 0));
    ExpectVec(Row(m, 2), Vec3(0, 0, 1));
    ExpectVec(Row(m, 3), Vec3(1, 2, 3));

    m.MatrixLookDirection(Vec3(0, 2, 0), Vec3(0, 1, 0));  // up along the direction
    ExpectVec(Row(m, 0), Vec3(1, 0, 0));
    ExpectVec(Row(m, 2), Vec3(0, 1, 0));
    ExpectVec(Row(m, 1), Vec3(0, 0, -1));  // z x x
}

TEST(MatrixHelpersTest, LookAtPointFacesFromThePosition) {
    Matrix m = Positioned(0, 0, -10);
    m.MatrixLookAtPoint(Vec3(10, 0, -10), Vec3(0, 1, 0));
    ExpectVec(Row(m, 2), Vec3(1, 0, 0));
    ExpectVec(Row(m, 0), Vec3(0, 0, -1));
    ExpectVec(Row(m, 3), Vec3(0, 0, -10));
}

TEST(MatrixHelpersTest, TurnToOppositeDirectionIsHalfATurnAboutY) {
    Matrix m = Positioned(4, 5, 6);
    m.MatrixTurnToDirection(Vec3(0, 0, -1));
    ExpectVec(Row(m, 2), Vec3(0, 0, -1), 1e-4f);
    ExpectVec(Row(m, 0), Vec3(-1, 0, 0), 1e-4f);
    ExpectVec(Row(m, 1), Vec3(0, 1, 0), 1e-4f);
    ExpectVec(Row(m, 3), Vec3(4, 5, 6));

    Matrix limited;
    limited.MatrixTurnToDirectionLimited(Vec3(0, 0, -1), 30.0f);
    EXPECT_EQ(limited, Matrix());  // opposite: no turn at all
}

TEST(MatrixHelpersTest, TurnToDirectionAlreadyThereChangesNothing) {
    Matrix m = Positioned(1, 1, 1);
    m.MatrixTurnToDirection(Vec3(0, 0, 3));
    EXPECT_EQ(m, Positioned(1, 1, 1));
}

TEST(MatrixHelpersTest, LimitedTurnStopsAtTheLimitOrOnTheDirection) {
    Matrix m;
    m.MatrixTurnToDirectionLimited(Vec3(1, 0, 0), 30.0f);
    const Vec3 z = Row(m, 2);
    EXPECT_NEAR(std::atan2(z.x, z.z) * 57.295776f, 30.0f, 0.01f);
    m.MatrixTurnToDirectionLimited(Vec3(1, 0, 0), 180.0f);  // the rest of the way
    ExpectVec(Row(m, 2), Vec3(1, 0, 0), 1e-4f);
    ExpectVec(Row(m, 1), Vec3(0, 1, 0), 1e-4f);
}

TEST(MatrixHelpersTest, FacePointAboutAxisKeepsYAndLooksAway) {
    Matrix m = Positioned(0, 0, 0);
    m.MatrixFacePointAboutAxis(Vec3(0, 5, -10), Vec3(0, 1, 0));
    ExpectVec(Row(m, 1), Vec3(0, 1, 0));
    EXPECT_GT(Row(m, 2).z, 0.99f);  // z away from the target
    EXPECT_NEAR(Row(m, 2).y, 0.0f, 1e-6f);
}

TEST(MatrixHelpersTest, TakeRotationKeepsEachAxisScale) {
    Mat4 scaled;
    plat::MatrixScaling(&scaled, 2, 3, 4);
    Matrix m(scaled);
    m.m[3][0] = 7;
    m.m[0][3] = 0.5f;
    Mat4 rot;
    plat::MatrixRotationY(&rot, 0.3f);
    m.MatrixTakeRotationKeepScale(rot);
    EXPECT_NEAR(Vec3Length(Row(m, 0)), 2.0f, 1e-5f);
    EXPECT_NEAR(m.MatrixScaleY(), 3.0f, 1e-5f);
    EXPECT_NEAR(m.MatrixScaleZ(), 4.0f, 1e-5f);
    ExpectVec(Row(m, 2) / 4.0f, Row(rot, 2));
    EXPECT_EQ(m.m[3][0], 7.0f);
    EXPECT_EQ(m.m[0][3], 0.5f);
}

TEST(MatrixHelpersTest, SubtractIsComponentWise) {
    const Vec3 a(5, 7, 9), b(1, 2, 3);
    Vec3 out;
    Vec3Subtract(&out, &a, &b);
    EXPECT_EQ(out, Vec3(4, 5, 6));
}

TEST(MatrixHelpersTest, BillboardQuadFillers) {
    BillboardQuad q;
    for (const BillboardVertex& v : q.Vertices()) {  // nothing set yet: all zero
        EXPECT_EQ(v.u, 0.0f);
        EXPECT_EQ(v.v, 0.0f);
        EXPECT_EQ(v.colour, 0u);
    }
    q.SetSheet(4, 2);
    q.InitRect(1, 2, 3, 4, 0xFF102030u);  // the whole texture again, whatever the sheet
    auto v = q.Vertices();
    EXPECT_EQ(v[0].x, -1.0f);
    EXPECT_EQ(v[0].y, -4.0f);
    EXPECT_EQ(v[1].y, 3.0f);
    EXPECT_EQ(v[3].x, 2.0f);
    EXPECT_EQ(v[3].y, 3.0f);
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].u, uv[i][0]);
        EXPECT_EQ(v[i].v, uv[i][1]);
        EXPECT_EQ(v[i].colour, 0xFF102030u);
        EXPECT_EQ(v[i].z, 0.0f);
    }
    q.InitSquare(4, 1);
    EXPECT_EQ(q.corners[0].x, -2.0f);
    EXPECT_EQ(q.corners[3].y, 2.0f);
    q.InitSize(6, 2, 1);
    EXPECT_EQ(q.corners[2].x, 3.0f);
    EXPECT_EQ(q.corners[2].y, -1.0f);
}

class BillboardWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetGfxBackend(plat::GfxBackend::Recorder);
        plat::SetGfxRecorderOptions({});
        window_ = plat::Window::Create("mh", 0, 0, 64, 64, plat::Window::Headless);
        ASSERT_EQ(GetGraphicsDevice()->Create(window_.get(), 64, 64, plat::GfxFormat::X8R8G8B8, false), 1);
    }
    void TearDown() override {
        GetGraphicsDevice()->Release();
        plat::SetGfxBackend(plat::GfxBackend::OpenGL);
    }
    Mat4 World() {
        Mat4 w;
        GetGraphicsDevice()->device->GetTransform(plat::GfxTransform::World, &w);
        return w;
    }
    std::unique_ptr<plat::Window> window_;
};

TEST_F(BillboardWorldTest, BillboardWorldKeepsScaleAndPosition) {
    Mat4 s;
    plat::MatrixScaling(&s, 2, 2, 2);
    Matrix m(s);
    m.m[3][0] = 5;
    Mat4 facing;
    plat::MatrixRotationX(&facing, 0.7f);
    m.SetBillboardWorld(facing);
    const Mat4 w = World();
    ExpectVec(Row(w, 1), Row(facing, 1) * 2.0f);
    EXPECT_EQ(w.m[3][0], 5.0f);
    EXPECT_EQ(m.m[1][1], 2.0f);  // the matrix itself is unchanged

    ASSERT_EQ(m.SetBillboardWorldRotZ(facing, 90.0f), plat::GfxResult::Ok);
    const Mat4 r = World();
    // Rolled in the quad's plane: the new x axis is the old y axis (scaled).
    ExpectVec(Row(r, 0), Row(facing, 1) * 2.0f, 1e-3f);
    EXPECT_NEAR(Vec3Length(Row(r, 2)), 2.0f, 1e-5f);
}

TEST_F(BillboardWorldTest, AxisBillboardTurnsTowardsTheOtherPosition) {
    Matrix m = Positioned(0, 0, 0);
    Matrix holder = Positioned(10, 3, 0);
    m.SetAxisBillboardWorld(holder, Vec3(0, 1, 0));
    const Mat4 w = World();
    ExpectVec(Row(w, 1), Vec3(0, 1, 0));
    ExpectVec(Row(w, 2), Vec3(-1, 0, 0), 1e-5f);
    ASSERT_EQ(m.SetWorldTransform(), plat::GfxResult::Ok);
    EXPECT_EQ(World(), m);
    EXPECT_EQ(m.SetSpriteTransform(), plat::GfxResult::Ok);
}

}  // namespace
