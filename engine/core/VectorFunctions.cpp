#include "engine/core/VectorFunctions.h"

#include "platform/math/Math.h"

namespace {

float Length3(float x, float y, float z)
{
    const double xd = x, yd = y, zd = z;
    const float s = static_cast<float>((xd * xd + yd * yd) + zd * zd);
    return __builtin_sqrtf(s);  // correctly rounded everywhere
}

float DotClamped3(float ax, float ay, float az, float bx, float by, float bz)
{
    const double p = static_cast<double>(ax) * bx + static_cast<double>(ay) * by;
    const float d = static_cast<float>(p + static_cast<double>(az) * bz);
    if (d < -1.0f) return -1.0f;
    if (d > 1.0f) return 1.0f;
    return d;
}

Vec3 Cross3(float ax, float ay, float az, float bx, float by, float bz)
{
    const double axd = ax, ayd = ay, azd = az;
    return {static_cast<float>(ayd * bz - azd * by), static_cast<float>(azd * bx - axd * bz),
            static_cast<float>(axd * by - ayd * bx)};
}

i32 Overlap(const float minA[3], const float maxA[3], const float minB[3], const float maxB[3])
{
    for (int i = 0; i < 3; ++i) {
        if (!(minB[i] <= maxA[i] && maxB[i] >= minA[i])) return 0;
    }
    return 1;
}

}  // namespace

float Vec3Length(const float v[3]) { return Length3(v[0], v[1], v[2]); }

float Vec3DotClamped(const float a[3], const float b[3])
{
    return DotClamped3(a[0], a[1], a[2], b[0], b[1], b[2]);
}

void Vec3Cross(float out[3], const float a[3], const float b[3])
{
    const Vec3 r = Cross3(a[0], a[1], a[2], b[0], b[1], b[2]);
    out[0] = r.x;
    out[1] = r.y;
    out[2] = r.z;
}

i32 BoxesOverlap(const float minA[3], const float maxA[3], const float minB[3], const float maxB[3])
{
    return Overlap(minA, maxA, minB, maxB);
}

float MatrixScaleX(const Mat4* m) { return Length3(m->m[0][0], m->m[0][1], m->m[0][2]); }

void MatrixNormalizeAxes(Mat4* m)
{
    for (int row = 0; row < 3; ++row) {
        Vec3 axis(m->m[row][0], m->m[row][1], m->m[row][2]);
        plat::Vec3Normalize(&axis, &axis);
        m->m[row][0] = axis.x;
        m->m[row][1] = axis.y;
        m->m[row][2] = axis.z;
    }
}

float Vec3Length(const Vec3& v) { return Length3(v.x, v.y, v.z); }

float Vec3DotClamped(const Vec3& a, const Vec3& b) { return DotClamped3(a.x, a.y, a.z, b.x, b.y, b.z); }

Vec3 Vec3Cross(const Vec3& a, const Vec3& b) { return Cross3(a.x, a.y, a.z, b.x, b.y, b.z); }

i32 BoxesOverlap(const Vec3& minA, const Vec3& maxA, const Vec3& minB, const Vec3& maxB)
{
    const float a0[3] = {minA.x, minA.y, minA.z}, a1[3] = {maxA.x, maxA.y, maxA.z};
    const float b0[3] = {minB.x, minB.y, minB.z}, b1[3] = {maxB.x, maxB.y, maxB.z};
    return Overlap(a0, a1, b0, b1);
}
