#pragma once
// The single-precision vector helpers under every battle object. Sums of
// products are formed in double and rounded once to single precision, so the
// results are the same on every client of an online battle.
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

// sqrt(x*x + y*y + z*z).
float Vec3Length(const float v[3]);
// a . b limited to [-1, 1] so it can go straight into acos; a NaN stays NaN.
float Vec3DotClamped(const float a[3], const float b[3]);
// out = a x b; out may be a or b.
void Vec3Cross(float out[3], const float a[3], const float b[3]);
// 1 when the boxes share a point on every axis (touching counts), 0 otherwise
// and whenever a NaN is involved.
i32 BoxesOverlap(const float minA[3], const float maxA[3], const float minB[3], const float maxB[3]);

// Length of the matrix's x axis (first row): its x scale.
float MatrixScaleX(const Mat4* m);
// Normalises the x, y and z axis rows in place; the translation row and the
// fourth column are untouched.
void MatrixNormalizeAxes(Mat4* m);

// The same on Vec3.
float Vec3Length(const Vec3& v);
float Vec3DotClamped(const Vec3& a, const Vec3& b);
Vec3 Vec3Cross(const Vec3& a, const Vec3& b);
i32 BoxesOverlap(const Vec3& minA, const Vec3& maxA, const Vec3& minB, const Vec3& maxB);
