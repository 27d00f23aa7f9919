#include "platform/math/Math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>

using namespace plat;

namespace {

Mat4 FromRows(std::initializer_list<std::initializer_list<float>> rows)
{
    Mat4 r;
    int i = 0;
    for (const auto& row : rows) {
        int j = 0;
        for (float v : row) r.m[i][j++] = v;
        ++i;
    }
    return r;
}

void ExpectMatNear(const Mat4& a, const Mat4& b, float tol = 1e-5f)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "at [" << i << "][" << j << "]";
}

void ExpectVecNear(const Vec3& a, const Vec3& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void ExpectQuatNear(const Quat& a, const Quat& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
    EXPECT_NEAR(a.w, b.w, tol);
}

bool AllFinite(const Mat4& m)
{
    for (const auto& row : m.m)
        for (float v : row)
            if (!std::isfinite(v)) return false;
    return true;
}

const Mat4 kA = FromRows({{2, 0, 1, 0}, {1, 3, 0, 0}, {0, 1, 4, 0}, {5, -2, 3, 1}});
const Mat4 kB = FromRows({{1, 2, 0, 0}, {0, 1, -1, 0}, {3, 0, 2, 0}, {4, 4, 4, 1}});

}  // namespace

TEST(MathVectors, DotCrossLengthAndNormalise)
{
    const Vec3 a(1, 2, 3), b(4, -5, 6);
    EXPECT_EQ(Vec3Dot(&a, &b), 12.0f);
    EXPECT_EQ(Vec3LengthSq(&a), 14.0f);
    const Vec3 c(3, 0, 4);
    EXPECT_EQ(Vec3Length(&c), 5.0f);

    Vec3 x;
    Vec3Cross(&x, &a, &b);
    EXPECT_EQ(x, Vec3(27, 6, -13));
    // The output may be one of the inputs.
    Vec3 alias = a;
    Vec3Cross(&alias, &alias, &b);
    EXPECT_EQ(alias, Vec3(27, 6, -13));

    Vec3 n = c;
    EXPECT_EQ(Vec3Normalize(&n, &n), &n);
    ExpectVecNear(n, Vec3(0.6f, 0, 0.8f), 1e-7f);
}

TEST(MathVectors, NormalisingZeroGivesZeroNotNaN)
{
    const Vec3 zero;
    Vec3 out(9, 9, 9);
    Vec3Normalize(&out, &zero);
    EXPECT_EQ(out, Vec3());
    // Squares that underflow count as zero length too.
    const Vec3 tiny(1e-30f, 0, 0);
    Vec3Normalize(&out, &tiny);
    EXPECT_EQ(out, Vec3());
}

TEST(MathVectors, TransformCoordDividesByWAndNormalIgnoresTranslation)
{
    Mat4 t;
    MatrixTranslation(&t, 10, 20, 30);
    const Vec3 p(1, 2, 3);
    Vec3 out;
    Vec3TransformCoord(&out, &p, &t);
    EXPECT_EQ(out, Vec3(11, 22, 33));
    Vec3TransformNormal(&out, &p, &t);
    EXPECT_EQ(out, p);

    // w = z: the point (2, 4, 2) lands on (1, 2, 1).
    Mat4 proj;
    proj.m[2][3] = 1;
    proj.m[3][3] = 0;
    const Vec3 q(2, 4, 2);
    Vec3TransformCoord(&out, &q, &proj);
    EXPECT_EQ(out, Vec3(1, 2, 1));

    Mat4 rz;
    MatrixRotationZ(&rz, kPi / 2);
    Vec3 v(1, 0, 0);
    Vec3TransformNormal(&v, &v, &rz);  // in place
    ExpectVecNear(v, Vec3(0, 1, 0));
}

TEST(MathVectors, CatmullRomPassesThroughTheInnerPointsAndCurvesBetween)
{
    const Vec3 v0(0, 0, 0), v1(1, 0, 0), v2(2, 1, 0), v3(3, 1, 0);
    Vec3 out;
    Vec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0.0f);
    EXPECT_EQ(out, v1);
    Vec3CatmullRom(&out, &v0, &v1, &v2, &v3, 1.0f);
    EXPECT_EQ(out, v2);
    Vec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0.5f);
    ExpectVecNear(out, Vec3(1.5f, 0.5f, 0));
    Vec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0.25f);
    // y = 0.5 * (0.25 + 3 * 0.0625 - 2 * 0.015625)
    ExpectVecNear(out, Vec3(1.25f, 0.203125f, 0));
}

TEST(MathMatrices, MultiplyAppliesTheLeftMatrixFirst)
{
    Mat4 r;
    MatrixMultiply(&r, &kA, &kB);
    ExpectMatNear(r, FromRows({{5, 4, 2, 0}, {1, 5, -3, 0}, {12, 1, 7, 0}, {18, 12, 12, 1}}), 0);
    MatrixMultiply(&r, &kB, &kA);
    ExpectMatNear(r, FromRows({{4, 6, 1, 0}, {1, 2, -4, 0}, {6, 2, 11, 0}, {17, 14, 23, 1}}), 0);

    // Scale then move: the translation is not scaled.
    Mat4 s, t;
    MatrixScaling(&s, 2, 3, 4);
    MatrixTranslation(&t, 1, 2, 3);
    MatrixMultiply(&r, &s, &t);
    const Vec3 one(1, 1, 1);
    Vec3 p;
    Vec3TransformCoord(&p, &one, &r);
    EXPECT_EQ(p, Vec3(3, 5, 7));
}

TEST(MathMatrices, MultiplyOutputMayAliasEitherInput)
{
    Mat4 expect;
    MatrixMultiply(&expect, &kA, &kB);
    Mat4 a = kA;
    MatrixMultiply(&a, &a, &kB);
    EXPECT_EQ(a, expect);
    Mat4 b = kB;
    MatrixMultiply(&b, &kA, &b);
    EXPECT_EQ(b, expect);
    Mat4 sq = kA, sqExpect;
    MatrixMultiply(&sqExpect, &kA, &kA);
    MatrixMultiply(&sq, &sq, &sq);
    EXPECT_EQ(sq, sqExpect);
}

// The pose code leaves out turns by an identity (whose zeros may carry a
// minus sign) on the word of this check: whenever it says so, both products
// must give the matrix back bit for bit. Entries come from a pool rich in
// signed zeros and non-finite values; a -0 entry must also be seen to change.
TEST(MathMatrices, KeptByIdentityHoldsForEveryProductItAllows)
{
    std::mt19937 rng(7);
    const float inf = std::numeric_limits<float>::infinity();
    const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, inf, -inf, std::nanf(""), 1e-40f, -3e38f};
    auto entry = [&](int special) {
        if (int(rng() % 8) < special) return pool[rng() % std::size(pool)];
        return std::uniform_real_distribution<float>(-100.0f, 100.0f)(rng);
    };
    int kept = 0, refused = 0, minusZeroChanged = 0;
    for (int round = 0; round < 4000; ++round) {
        Mat4 m, unit;
        const int special = round % 4;
        for (auto& row : m.m)
            for (float& v : row) v = entry(special);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                if (i != j) unit.m[i][j] = rng() % 2 ? -0.0f : 0.0f;
        Mat4 left, right;
        MatrixMultiply(&left, &unit, &m);
        MatrixMultiply(&right, &m, &unit);
        const bool same = std::memcmp(&left, &m, sizeof m) == 0 && std::memcmp(&right, &m, sizeof m) == 0;
        if (MatrixKeptByIdentity(&m)) {
            ++kept;
            EXPECT_TRUE(same) << round;
        } else {
            ++refused;
            bool minusZero = false, finite = true;
            for (const auto& row : m.m)
                for (float v : row) {
                    minusZero |= v == 0.0f && std::signbit(v);
                    finite &= std::isfinite(v);
                }
            EXPECT_TRUE(minusZero || !finite) << round;
            minusZeroChanged += finite && !same;
        }
    }
    EXPECT_GT(kept, 1000);
    EXPECT_GT(refused, 1000);
    EXPECT_GT(minusZeroChanged, 0);
}

TEST(MathMatrices, InverseGivesTheDeterminantAndUndoesTheMatrix)
{
    Mat4 inv;
    float det = 0;
    ASSERT_EQ(MatrixInverse(&inv, &det, &kA), &inv);
    EXPECT_FLOAT_EQ(det, 25.0f);
    ExpectMatNear(inv, FromRows({{12 / 25.f, 1 / 25.f, -3 / 25.f, 0},
                                 {-4 / 25.f, 8 / 25.f, 1 / 25.f, 0},
                                 {1 / 25.f, -2 / 25.f, 6 / 25.f, 0},
                                 {-71 / 25.f, 17 / 25.f, -1 / 25.f, 1}}));

    // A full matrix with a non-trivial last column.
    const Mat4 c = FromRows({{1, 2, 3, 4}, {0, 1, 0, 2}, {2, 0, 1, 1}, {1, 1, 1, 1}});
    Mat4 cInv = c;  // in place, no determinant wanted
    ASSERT_NE(MatrixInverse(&cInv, nullptr, &cInv), nullptr);
    ExpectMatNear(cInv, FromRows({{-2 / 7.f, 1 / 7.f, 3 / 7.f, 3 / 7.f},
                                  {-2 / 7.f, 1 / 7.f, -4 / 7.f, 10 / 7.f},
                                  {3 / 7.f, -5 / 7.f, -1 / 7.f, -1 / 7.f},
                                  {1 / 7.f, 3 / 7.f, 2 / 7.f, -5 / 7.f}}));
    Mat4 prod;
    MatrixMultiply(&prod, &c, &cInv);
    ExpectMatNear(prod, Mat4::Identity());
}

TEST(MathMatrices, InverseOfASingularMatrixFailsAndLeavesTheOutputAlone)
{
    // Third row = first + second: determinant exactly 0.
    const Mat4 singular = FromRows({{1, 2, 3, 0}, {4, 5, 6, 0}, {5, 7, 9, 0}, {1, 1, 1, 1}});
    Mat4 out;  // identity, as callers prepare it
    float det = 123;
    EXPECT_EQ(MatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(out, Mat4::Identity());

    Mat4 zeroScale;
    MatrixScaling(&zeroScale, 1, 0, 1);
    EXPECT_EQ(MatrixInverse(&out, nullptr, &zeroScale), nullptr);
    EXPECT_EQ(out, Mat4::Identity());
}

TEST(MathMatrices, RotationsTurnTheAxesLeftHanded)
{
    Mat4 r;
    Vec3 v;
    const Vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    MatrixRotationX(&r, kPi / 2);
    Vec3TransformNormal(&v, &y, &r);
    ExpectVecNear(v, z);
    MatrixRotationY(&r, kPi / 2);
    Vec3TransformNormal(&v, &z, &r);
    ExpectVecNear(v, x);
    Vec3TransformNormal(&v, &x, &r);
    ExpectVecNear(v, Vec3(0, 0, -1));
    MatrixRotationZ(&r, kPi / 2);
    Vec3TransformNormal(&v, &x, &r);
    ExpectVecNear(v, y);

    // 30 degrees about X: row 1 = (0, cos, sin), row 2 = (0, -sin, cos).
    MatrixRotationX(&r, kPi / 6);
    ExpectMatNear(r, FromRows({{1, 0, 0, 0}, {0, 0.8660254f, 0.5f, 0}, {0, -0.5f, 0.8660254f, 0}, {0, 0, 0, 1}}));
    MatrixRotationY(&r, kPi / 6);
    ExpectMatNear(r, FromRows({{0.8660254f, 0, -0.5f, 0}, {0, 1, 0, 0}, {0.5f, 0, 0.8660254f, 0}, {0, 0, 0, 1}}));
    MatrixRotationZ(&r, kPi / 6);
    ExpectMatNear(r, FromRows({{0.8660254f, 0.5f, 0, 0}, {-0.5f, 0.8660254f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}));
}

TEST(MathMatrices, RotationAboutAnAxisNormalisesTheAxis)
{
    Mat4 r, rz;
    const Vec3 longZ(0, 0, 2);
    MatrixRotationAxis(&r, &longZ, 0.7f);
    MatrixRotationZ(&rz, 0.7f);
    ExpectMatNear(r, rz, 1e-6f);

    // A third of a turn about (1, 1, 1) carries x to y, y to z and z to x.
    const Vec3 diag(1, 1, 1);
    MatrixRotationAxis(&r, &diag, 2 * kPi / 3);
    ExpectMatNear(r, FromRows({{0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}}));
}

TEST(MathMatrices, QuaternionAndMatrixConvertBothWays)
{
    // Half-angle form of a turn about y; every branch of the matrix-to-
    // quaternion conversion is visited by the angles and axes below.
    const float angles[] = {0.3f, 2.0f, 3.0f, -1.2f};
    for (float a : angles) {
        const Quat q(0, std::sin(a / 2), 0, std::cos(a / 2));
        Mat4 fromQ, ry;
        MatrixRotationQuaternion(&fromQ, &q);
        MatrixRotationY(&ry, a);
        ExpectMatNear(fromQ, ry);
        Quat back;
        QuaternionRotationMatrix(&back, &ry);
        const float sign = back.w * q.w + back.y * q.y < 0 ? -1.0f : 1.0f;
        ExpectQuatNear(Quat(back.x * sign, back.y * sign, back.z * sign, back.w * sign), q);
    }
    Mat4 half;
    Quat q;
    MatrixRotationX(&half, kPi);
    QuaternionRotationMatrix(&q, &half);
    EXPECT_NEAR(std::fabs(q.x), 1.0f, 1e-6f);
    MatrixRotationZ(&half, kPi);
    QuaternionRotationMatrix(&q, &half);
    EXPECT_NEAR(std::fabs(q.z), 1.0f, 1e-6f);
    MatrixRotationY(&half, kPi);
    QuaternionRotationMatrix(&q, &half);
    EXPECT_NEAR(std::fabs(q.y), 1.0f, 1e-6f);

    // A general rotation: matrix -> quaternion -> matrix is the same matrix.
    Mat4 rx, ry2, rz, m;
    MatrixRotationX(&rx, 0.4f);
    MatrixRotationY(&ry2, -2.5f);
    MatrixRotationZ(&rz, 1.1f);
    MatrixMultiply(&m, MatrixMultiply(&m, &rx, &ry2), &rz);
    QuaternionRotationMatrix(&q, &m);
    EXPECT_NEAR(QuaternionDot(&q, &q), 1.0f, 1e-5f);
    Mat4 again;
    MatrixRotationQuaternion(&again, &q);
    ExpectMatNear(again, m);
}

TEST(MathMatrices, ScaleRotateTranslateScalesThenTurnsThenMoves)
{
    const Vec3 scale(2, 1, 1), translation(0, 0, 5);
    const Quat quarterTurnZ(0, 0, std::sin(kPi / 4), std::cos(kPi / 4));
    Mat4 m;
    MatrixScaleRotateTranslate(&m, &scale, &quarterTurnZ, &translation);
    Vec3 p;
    const Vec3 x(1, 0, 0);
    ExpectVecNear(*Vec3TransformCoord(&p, &x, &m), Vec3(0, 2, 5));
    EXPECT_EQ(m.m[0][3], 0.0f);
    EXPECT_EQ(m.m[3][3], 1.0f);
}

TEST(MathMatrices, LookAtPutsTheTargetOnThePositiveZAxis)
{
    Mat4 view;
    const Vec3 eye(0, 0, -5), origin(0, 0, 0), up(0, 1, 0);
    MatrixLookAtLH(&view, &eye, &origin, &up);
    Vec3 p;
    Vec3TransformCoord(&p, &origin, &view);
    ExpectVecNear(p, Vec3(0, 0, 5));

    // Looking along +x with y up: world -z is to the right.
    const Vec3 at(1, 0, 0), back(0, 0, -1);
    MatrixLookAtLH(&view, &origin, &at, &up);
    ExpectMatNear(view, FromRows({{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 0, 1}}));
    Vec3TransformCoord(&p, &back, &view);
    ExpectVecNear(p, Vec3(1, 0, 0));

    // The eye's offset ends up in the translation row.
    const Vec3 eye2(1, 2, 3), at2(1, 2, 4);
    MatrixLookAtLH(&view, &eye2, &at2, &up);
    ExpectMatNear(view, FromRows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-1, -2, -3, 1}}));
}

TEST(MathMatrices, LookAtWithUpAlongTheViewFallsBackToAFixedUp)
{
    // Straight down with y up: world +z becomes the screen's up.
    const Vec3 eye(0, 10, 0), origin(0, 0, 0), up(0, 1, 0);
    Mat4 view;
    MatrixLookAtLH(&view, &eye, &origin, &up);
    ASSERT_TRUE(AllFinite(view));
    ExpectMatNear(view, FromRows({{1, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 0}, {0, 0, 10, 1}}));

    // Looking along z with z as up, a zero up vector, and eye == at all still
    // give an orthonormal rotation.
    const Vec3 zUp(0, 0, 1), zero(0, 0, 0), far(0, 0, 7);
    const Vec3* cases[][3] = {{&origin, &far, &zUp}, {&eye, &origin, &zero}, {&eye, &eye, &up}};
    for (const auto& c : cases) {
        MatrixLookAtLH(&view, c[0], c[1], c[2]);
        ASSERT_TRUE(AllFinite(view));
        Mat4 rot = view;
        rot.m[3][0] = rot.m[3][1] = rot.m[3][2] = 0;
        Mat4 rotT;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) rotT.m[i][j] = rot.m[j][i];
        Mat4 prod;
        MatrixMultiply(&prod, &rot, &rotT);
        ExpectMatNear(prod, Mat4::Identity());
    }
}

TEST(MathMatrices, PerspectiveMapsNearToZeroAndFarToOne)
{
    Mat4 proj;
    MatrixPerspectiveFovLH(&proj, kPi / 2, 2.0f, 1.0f, 101.0f);
    ExpectMatNear(proj, FromRows({{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.01f, 1}, {0, 0, -1.01f, 0}}));
    Vec3 p;
    const Vec3 nearPt(0, 0, 1), farPt(0, 0, 101), corner(2, 1, 1);
    Vec3TransformCoord(&p, &nearPt, &proj);
    EXPECT_NEAR(p.z, 0.0f, 1e-6f);
    Vec3TransformCoord(&p, &farPt, &proj);
    EXPECT_NEAR(p.z, 1.0f, 1e-6f);
    Vec3TransformCoord(&p, &corner, &proj);  // top-right corner of the near plane
    ExpectVecNear(p, Vec3(1, 1, 0));
}

TEST(MathQuaternions, SlerpInterpolatesAlongTheShortArc)
{
    const Quat id;
    const float h = std::sqrt(0.5f);
    const Quat y90(0, h, 0, h);
    Quat out;
    QuaternionSlerp(&out, &id, &y90, 0.0f);
    ExpectQuatNear(out, id);
    QuaternionSlerp(&out, &id, &y90, 1.0f);
    ExpectQuatNear(out, y90);
    QuaternionSlerp(&out, &id, &y90, 0.5f);
    ExpectQuatNear(out, Quat(0, 0.38268343f, 0, 0.92387953f));

    // -y90 is the same rotation; the long way would pass through a turn of
    // 225 degrees. Slerp must take the short way and give the 45-degree turn.
    const Quat negY90(0, -h, 0, -h);
    QuaternionSlerp(&out, &id, &negY90, 0.5f);
    ExpectQuatNear(out, Quat(0, 0.38268343f, 0, 0.92387953f));
    QuaternionSlerp(&out, &id, &negY90, 1.0f);
    ExpectQuatNear(out, y90);

    // Nearly equal inputs still give a unit quaternion between them.
    const Quat almost(0, 1e-4f, 0, 1.0f);
    QuaternionSlerp(&out, &id, &almost, 0.5f);
    EXPECT_NEAR(out.y, 0.5e-4f, 1e-8f);
    EXPECT_NEAR(QuaternionDot(&out, &out), 1.0f, 1e-6f);

    // In place.
    Quat a = id;
    QuaternionSlerp(&a, &a, &y90, 0.5f);
    ExpectQuatNear(a, Quat(0, 0.38268343f, 0, 0.92387953f));
}

TEST(MathQuaternions, NormaliseScalesToUnitLengthAndKeepsZero)
{
    Quat q(0, 3, 0, 4);
    QuaternionNormalize(&q, &q);
    ExpectQuatNear(q, Quat(0, 0.6f, 0, 0.8f), 1e-7f);
    const Quat zero(0, 0, 0, 0);
    QuaternionNormalize(&q, &zero);
    EXPECT_EQ(q, zero);
}

namespace {
Quat AboutZ(float degrees)
{
    const float half = degrees * 0.5f * kPi / 180.0f;
    return {0, 0, std::sin(half), std::cos(half)};
}
}  // namespace

TEST(MathQuaternions, SquadSetupFindsInnerPointsAndFlipsToTheShortPath)
{
    // Evenly spaced keys about one axis: the inner points are the keys
    // themselves and squad is plain slerp.
    Quat a, b, c;
    const Quat k0 = AboutZ(0), k1 = AboutZ(30), k2 = AboutZ(60), k3 = AboutZ(90);
    QuaternionSquadSetup(&a, &b, &c, &k0, &k1, &k2, &k3);
    ExpectQuatNear(a, k1);
    ExpectQuatNear(b, k2);
    ExpectQuatNear(c, k2);
    Quat sq, sl;
    QuaternionSquad(&sq, &k1, &a, &b, &c, 0.3f);
    QuaternionSlerp(&sl, &k1, &k2, 0.3f);
    ExpectQuatNear(sq, sl);
    ExpectQuatNear(sq, AboutZ(39));

    // Keys at 0, 20 and 60 degrees: a = k1 * exp(-(20deg + -10deg half-angles)/4)
    // is a turn of 2 * (10 - 2.5) = 15 degrees.
    const Quat j0 = AboutZ(0), j1 = AboutZ(20), j2 = AboutZ(60);
    QuaternionSquadSetup(&a, &b, &c, &j0, &j1, &j2, &j2);
    ExpectQuatNear(a, AboutZ(15));

    // A key given with the opposite sign is taken on the near side.
    const Quat negK2(-k2.x, -k2.y, -k2.z, -k2.w);
    QuaternionSquadSetup(&a, &b, &c, &k0, &k1, &negK2, &k3);
    ExpectQuatNear(c, k2);
    ExpectQuatNear(a, k1);
    ExpectQuatNear(b, k2);

    // Squad ends on its keys.
    QuaternionSquad(&sq, &k1, &a, &b, &c, 0.0f);
    ExpectQuatNear(sq, k1);
    QuaternionSquad(&sq, &k1, &a, &b, &c, 1.0f);
    ExpectQuatNear(sq, k2);
}

TEST(MathGeometry, IntersectTriHitsFromEitherSideAndOnlyAhead)
{
    const Vec3 p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);
    const Vec3 pos(0.25f, 0.5f, -2), dir(0, 0, 1);
    float u = -1, v = -1, d = -1;
    ASSERT_TRUE(IntersectTri(&p0, &p1, &p2, &pos, &dir, &u, &v, &d));
    EXPECT_FLOAT_EQ(u, 0.25f);  // weight of p1
    EXPECT_FLOAT_EQ(v, 0.5f);   // weight of p2
    EXPECT_FLOAT_EQ(d, 2.0f);
    // The distance is measured in direction lengths.
    const Vec3 dir2(0, 0, 2);
    ASSERT_TRUE(IntersectTri(&p0, &p1, &p2, &pos, &dir2, nullptr, nullptr, &d));
    EXPECT_FLOAT_EQ(d, 1.0f);
    // From the other side.
    const Vec3 above(0.25f, 0.5f, 3), down(0, 0, -1);
    ASSERT_TRUE(IntersectTri(&p0, &p1, &p2, &above, &down, nullptr, nullptr, &d));
    EXPECT_FLOAT_EQ(d, 3.0f);
    // Behind the start, beside the triangle, and parallel to it: no hit.
    const Vec3 away(0, 0, -1), outside(0.75f, 0.75f, -2), flat(1, 0, 0);
    EXPECT_FALSE(IntersectTri(&p0, &p1, &p2, &pos, &away, nullptr, nullptr, nullptr));
    EXPECT_FALSE(IntersectTri(&p0, &p1, &p2, &outside, &dir, nullptr, nullptr, nullptr));
    EXPECT_FALSE(IntersectTri(&p0, &p1, &p2, &pos, &flat, nullptr, nullptr, nullptr));
    const Vec3 nanDir(NAN, 0, 1);
    EXPECT_FALSE(IntersectTri(&p0, &p1, &p2, &pos, &nanDir, nullptr, nullptr, nullptr));
}

TEST(MathGeometry, BoundsOfStridedPoints)
{
    struct Vertex {
        Vec3 pos;
        u32 colour;
        float u, v;
    };
    const Vertex verts[] = {{{1, -2, 3}, 0, 0, 0}, {{-1, 4, 3}, 0, 0, 0}, {{3, 0, -5}, 0, 0, 0}, {{1, 2, 3}, 0, 0, 0}};
    Vec3 lo, hi;
    ComputeBoundingBox(&verts[0].pos, 4, sizeof(Vertex), &lo, &hi);
    EXPECT_EQ(lo, Vec3(-1, -2, -5));
    EXPECT_EQ(hi, Vec3(3, 4, 3));

    Vec3 centre;
    float radius = 0;
    ComputeBoundingSphere(&verts[0].pos, 4, sizeof(Vertex), &centre, &radius);
    ExpectVecNear(centre, Vec3(1, 1, 1));
    EXPECT_NEAR(radius, std::sqrt(4.0f + 1.0f + 36.0f), 1e-5f);  // (3, 0, -5)

    ComputeBoundingBox(&verts[0].pos, 0, sizeof(Vertex), &lo, &hi);
    EXPECT_EQ(lo, Vec3());
    EXPECT_EQ(hi, Vec3());
}

TEST(MathConstants, AngleFactorsAreTheGamesOwnRoundedValues)
{
    // Not pi/180: half a turn in the game's degrees falls short of pi.
    EXPECT_LT(180.0f * kDegToRad, 3.14159f);
    EXPECT_GT(180.0f * kDegToRad, 3.1415f);
    // The single-precision 57.295776 is exactly the double turning constant.
    EXPECT_EQ(static_cast<double>(kRadToDeg), kRadToDegTurning);
    EXPECT_NE(kRadToDegHoming, kRadToDeg);
}
