#include "engine/core/VectorFunctions.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(VectorFunctions, LengthRoundsTheDoubleSumOnce)
{
    const float v[3] = {3, 4, 12};
    EXPECT_EQ(Vec3Length(v), 13.0f);
    EXPECT_EQ(Vec3Length(Vec3(0, 0, 0)), 0.0f);
    // Squares summed in single precision would round twice and land one ulp
    // lower than the double sum rounded once.
    const float w[3] = {1.015625f, 0.156982421875f, 0.200927734375f};
    EXPECT_EQ(Vec3Length(w), 1.047143578529358f);
    // The sum is stored as a float before the root: past the float range the
    // length is infinite.
    EXPECT_TRUE(std::isinf(Vec3Length(Vec3(3e19f, 4e19f, 0))));
}

TEST(VectorFunctions, DotIsClampedForAcosButNaNPassesThrough)
{
    const float a[3] = {2, 0, 0}, b[3] = {1, 0, 0}, nb[3] = {-1, 0, 0};
    EXPECT_EQ(Vec3DotClamped(a, b), 1.0f);
    EXPECT_EQ(Vec3DotClamped(a, nb), -1.0f);
    EXPECT_EQ(Vec3DotClamped(b, nb), -1.0f);
    EXPECT_EQ(Vec3DotClamped(Vec3(0.5f, 0.25f, -1), Vec3(0.5f, 1, 0.125f)), 0.375f);
    // Slightly over 1 from rounding in unit vectors comes back as exactly 1.
    EXPECT_EQ(Vec3DotClamped(Vec3(1.0000001f, 0, 0), Vec3(1, 0, 0)), 1.0f);
    const float n[3] = {NAN, 0, 0};
    EXPECT_TRUE(std::isnan(Vec3DotClamped(n, b)));
    EXPECT_TRUE(std::isnan(Vec3DotClamped(Vec3(0, 0, 1), Vec3(0, 0, NAN))));
}

TEST(VectorFunctions, CrossMayWriteOverItsInputs)
{
    float a[3] = {1, 2, 3};
    const float b[3] = {4, -5, 6};
    Vec3Cross(a, a, b);
    EXPECT_EQ(a[0], 27.0f);
    EXPECT_EQ(a[1], 6.0f);
    EXPECT_EQ(a[2], -13.0f);

    const float c[3] = {1, 2, 3};
    float d[3] = {4, -5, 6};
    Vec3Cross(d, c, d);
    EXPECT_EQ(d[0], 27.0f);
    EXPECT_EQ(d[1], 6.0f);
    EXPECT_EQ(d[2], -13.0f);

    EXPECT_EQ(Vec3Cross(Vec3(1, 0, 0), Vec3(0, 1, 0)), Vec3(0, 0, 1));
    // Parallel vectors give zero.
    EXPECT_EQ(Vec3Cross(Vec3(1, 2, 3), Vec3(2, 4, 6)), Vec3(0, 0, 0));
}

TEST(VectorFunctions, BoxesOverlapWhenTheyTouchButNotWithNaN)
{
    const Vec3 lo(0, 0, 0), hi(1, 1, 1);
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(0.5f, 0.5f, 0.5f), Vec3(2, 2, 2)), 1);
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(1, 1, 1), Vec3(2, 2, 2)), 1);  // a shared corner
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(-1, -1, -1), Vec3(0, 0, 0)), 1);
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(0.2f, 0.2f, 0.2f), Vec3(0.3f, 0.3f, 0.3f)), 1);  // inside
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(0, 0, 1.01f), Vec3(1, 1, 2)), 0);  // apart on z only
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(-2, 0, 0), Vec3(-0.01f, 1, 1)), 0);
    EXPECT_EQ(BoxesOverlap(lo, hi, Vec3(0, NAN, 0), Vec3(1, 1, 1)), 0);
    const float a0[3] = {0, 0, 0}, a1[3] = {1, 1, 1}, b0[3] = {1, 0.5f, 0}, b1[3] = {3, 3, 3};
    EXPECT_EQ(BoxesOverlap(a0, a1, b0, b1), 1);
    EXPECT_EQ(BoxesOverlap(b0, b1, a0, a1), 1);
}

TEST(VectorFunctions, MatrixScaleAndAxisNormalisation)
{
    Mat4 m;
    m.m[0][0] = 0;
    m.m[0][1] = 3;
    m.m[0][2] = 4;
    m.m[0][3] = 7;  // the fourth column is not part of the axis
    m.m[1][1] = 2;
    m.m[2][2] = 0;  // a collapsed axis stays zero
    m.m[3][0] = 10;
    m.m[3][1] = 20;
    m.m[3][2] = 30;
    EXPECT_EQ(MatrixScaleX(&m), 5.0f);

    MatrixNormalizeAxes(&m);
    EXPECT_FLOAT_EQ(m.m[0][1], 0.6f);
    EXPECT_FLOAT_EQ(m.m[0][2], 0.8f);
    EXPECT_EQ(m.m[0][3], 7.0f);
    EXPECT_EQ(m.m[1][1], 1.0f);
    EXPECT_EQ(m.m[2][0], 0.0f);
    EXPECT_EQ(m.m[2][1], 0.0f);
    EXPECT_EQ(m.m[2][2], 0.0f);
    EXPECT_EQ(m.m[3][0], 10.0f);
    EXPECT_EQ(m.m[3][1], 20.0f);
    EXPECT_EQ(m.m[3][2], 30.0f);
    EXPECT_FLOAT_EQ(MatrixScaleX(&m), 1.0f);
}
