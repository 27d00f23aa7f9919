#pragma once
// Vector, matrix and quaternion functions with the conventions every battle
// figure depends on: single-precision row vectors, 4x4 row-major matrices
// m[row][col] with the translation in row 3, left-handed look-at and
// perspective. A product A x B applies A first.
//
// Style (one rule for all): pointer arguments, the result written to the first
// argument `out`, which is also returned so calls can be nested. `out` may be
// the same object as any input. Angles are in radians. Trigonometry goes
// through the deterministic functions of platform/math/DetMath.h, so these give the
// same bits on every client of an online battle.
//
// Degenerate input: a zero vector normalises to zero; MatrixInverse of a
// singular matrix returns nullptr and leaves `out` untouched; MatrixLookAtLH
// with `up` parallel to the view direction (or eye == at) falls back to a
// fixed up axis instead of producing a zero or NaN matrix.

#include "platform/math/DetMath.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

namespace plat {

// Angle factors exactly as the game uses them (not pi/180 and 180/pi).
inline constexpr float kDegToRad = 0.017453f;
inline constexpr float kRadToDeg = 57.295776f;
// Robot turning and aiming code converts radians in double with this value.
inline constexpr double kRadToDegTurning = 57.2957763671875;
// Weapon homing turns use this slightly different single-precision value.
inline constexpr float kRadToDegHoming = 57.29578f;
// A few effect and camera angles use the rounded 57.3.
inline constexpr float kRadToDegRough = 57.3f;

inline constexpr float kPi = 3.14159265358979f;

// ---- 3-vectors -------------------------------------------------------------

// Inline: the hit tests run these thousands of times a frame. Each operation
// is rounded on its own as written (no contraction), so the bits are those of
// an out-of-line call.
inline float Vec3Dot(const Vec3* a, const Vec3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
inline float Vec3LengthSq(const Vec3* v) { return Vec3Dot(v, v); }
// sqrt is correctly rounded by IEEE 754, so it is the same on every machine.
inline float Vec3Length(const Vec3* v) { return __builtin_sqrtf(Vec3Dot(v, v)); }
inline Vec3* Vec3Cross(Vec3* out, const Vec3* a, const Vec3* b)
{
    const Vec3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}
// Zero (or a length that is exactly 0) stays zero.
inline Vec3* Vec3Normalize(Vec3* out, const Vec3* v)
{
    const float len = Vec3Length(v);
    if (len == 0.0f) {
        *out = Vec3();
        return out;
    }
    const Vec3 r(v->x / len, v->y / len, v->z / len);
    *out = r;
    return out;
}
// Point: (x, y, z, 1) x m, divided by the resulting w (a w of 0 gives
// infinities, as projecting a point in the eye plane must).
inline Vec3* Vec3TransformCoord(Vec3* out, const Vec3* v, const Mat4* m)
{
    const float x = v->x, y = v->y, z = v->z;
    const auto& a = m->m;
    const float w = x * a[0][3] + y * a[1][3] + z * a[2][3] + a[3][3];
    const Vec3 r((x * a[0][0] + y * a[1][0] + z * a[2][0] + a[3][0]) / w,
                 (x * a[0][1] + y * a[1][1] + z * a[2][1] + a[3][1]) / w,
                 (x * a[0][2] + y * a[1][2] + z * a[2][2] + a[3][2]) / w);
    *out = r;
    return out;
}
// Direction: (x, y, z, 0) x m; translation ignored.
inline Vec3* Vec3TransformNormal(Vec3* out, const Vec3* v, const Mat4* m)
{
    const float x = v->x, y = v->y, z = v->z;
    const auto& a = m->m;
    const Vec3 r(x * a[0][0] + y * a[1][0] + z * a[2][0],
                 x * a[0][1] + y * a[1][1] + z * a[2][1],
                 x * a[0][2] + y * a[1][2] + z * a[2][2]);
    *out = r;
    return out;
}
// Catmull-Rom spline through v1 (s = 0) and v2 (s = 1).
Vec3* Vec3CatmullRom(Vec3* out, const Vec3* v0, const Vec3* v1, const Vec3* v2,
                     const Vec3* v3, float s);

// ---- matrices --------------------------------------------------------------

Mat4* MatrixIdentity(Mat4* out);
Mat4* MatrixMultiply(Mat4* out, const Mat4* a, const Mat4* b);
// Whether MatrixMultiply with an identity matrix on either side, even one
// whose zeros carry a minus sign, gives m back bit for bit: true when no entry
// of m is -0, infinite or NaN. Each entry's sum is then itself plus products
// that are zeros, which change neither a nonzero entry nor a +0 one.
bool MatrixKeptByIdentity(const Mat4* m);
// Writes the determinant when `determinant` is given (also for a singular
// matrix); returns nullptr without touching `out` when it is exactly 0.
Mat4* MatrixInverse(Mat4* out, float* determinant, const Mat4* m);
Mat4* MatrixScaling(Mat4* out, float sx, float sy, float sz);
Mat4* MatrixTranslation(Mat4* out, float x, float y, float z);
Mat4* MatrixRotationX(Mat4* out, float angle);
Mat4* MatrixRotationY(Mat4* out, float angle);
Mat4* MatrixRotationZ(Mat4* out, float angle);
// The axis is normalised first; a zero axis gives cos(angle) on the diagonal.
Mat4* MatrixRotationAxis(Mat4* out, const Vec3* axis, float angle);
Mat4* MatrixRotationQuaternion(Mat4* out, const Quat* q);
// Scale, then rotation, then the translation row: the local matrix of model
// nodes and key frames.
Mat4* MatrixScaleRotateTranslate(Mat4* out, const Vec3* scale, const Quat* rotation, const Vec3* translation);
Mat4* MatrixLookAtLH(Mat4* out, const Vec3* eye, const Vec3* at, const Vec3* up);
Mat4* MatrixPerspectiveFovLH(Mat4* out, float fovY, float aspect, float zn, float zf);

// ---- quaternions -----------------------------------------------------------

float QuaternionDot(const Quat* a, const Quat* b);
// A zero quaternion stays zero.
Quat* QuaternionNormalize(Quat* out, const Quat* q);
// Rotation part of a matrix whose first three rows are orthonormal.
Quat* QuaternionRotationMatrix(Quat* out, const Mat4* m);
// Takes the short way round: when a . b < 0 it interpolates towards -b.
Quat* QuaternionSlerp(Quat* out, const Quat* a, const Quat* b, float t);
// Slerp(Slerp(q1, c, t), Slerp(a, b, t), 2t(1 - t)).
Quat* QuaternionSquad(Quat* out, const Quat* q1, const Quat* a, const Quat* b,
                      const Quat* c, float t);
// Control points for squad between q1 and q2 with neighbours q0 and q3; signs
// are flipped so the curve follows the shortest path. Outputs may alias inputs.
void QuaternionSquadSetup(Quat* aOut, Quat* bOut, Quat* cOut, const Quat* q0,
                          const Quat* q1, const Quat* q2, const Quat* q3);

// ---- geometry --------------------------------------------------------------

// Ray against triangle (both faces). On a hit at distance >= 0 (in units of
// the direction's length) returns true and the barycentric u (weight of p1),
// v (weight of p2) and the distance; any of the three outputs may be null.
bool IntersectTri(const Vec3* p0, const Vec3* p1, const Vec3* p2, const Vec3* rayPos,
                  const Vec3* rayDir, float* u, float* v, float* dist);

// Bounds of `count` points `stride` bytes apart. With count 0 the box and the
// sphere are zero.
void ComputeBoundingBox(const Vec3* first, u32 count, u32 stride, Vec3* min, Vec3* max);
// Centre = the mean of the points, radius = the largest distance from it.
void ComputeBoundingSphere(const Vec3* first, u32 count, u32 stride, Vec3* centre,
                           float* radius);

}  // namespace plat
