#include "platform/math/Math.h"

#include <cstdint>
#include <cstring>

#include "platform/math/FourLanes.h"

namespace plat {
namespace {

// sqrt is correctly rounded by IEEE 754, so it is the same on every machine.
float Sqrt(float v) { return __builtin_sqrtf(v); }

bool IsZero(const Vec3& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

Quat Mul(const Quat& a, const Quat& b)  // Hamilton product a * b
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat Inverse(const Quat& q)
{
    const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (n == 0.0f) return {0, 0, 0, 0};
    return {-q.x / n, -q.y / n, -q.z / n, q.w / n};
}

// Logarithm of a unit quaternion: (0, theta * axis).
Quat Ln(const Quat& q)
{
    const float vlen = Sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    if (vlen == 0.0f) return {0, 0, 0, 0};
    const float k = DetAtan2(vlen, q.w) / vlen;
    return {q.x * k, q.y * k, q.z * k, 0.0f};
}

// Exponential of a pure quaternion: (cos theta, sin theta * axis).
Quat Exp(const Quat& q)
{
    const float theta = Sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    if (theta == 0.0f) return {0, 0, 0, 1};
    float s, c;
    DetSinCos(theta, &s, &c);
    const float k = s / theta;
    return {q.x * k, q.y * k, q.z * k, c};
}

Quat Add(const Quat& a, const Quat& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
Quat Sub(const Quat& a, const Quat& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
Quat Neg(const Quat& q) { return {-q.x, -q.y, -q.z, -q.w}; }
Quat Scale(const Quat& q, float s) { return {q.x * s, q.y * s, q.z * s, q.w * s}; }
float LengthSq(const Quat& q) { return QuaternionDot(&q, &q); }

// The neighbour `q` or its negation, whichever lies nearer to `ref`.
Quat Nearer(const Quat& ref, const Quat& q)
{
    return LengthSq(Add(ref, q)) < LengthSq(Sub(ref, q)) ? Neg(q) : q;
}

// p * exp(-(ln(p^-1 next) + ln(p^-1 prev)) / 4)
Quat InnerControlPoint(const Quat& prev, const Quat& p, const Quat& next)
{
    const Quat inv = Inverse(p);
    const Quat sum = Add(Ln(Mul(inv, next)), Ln(Mul(inv, prev)));
    return Mul(p, Exp(Scale(sum, -0.25f)));
}

}  // namespace

// ---- 3-vectors -------------------------------------------------------------

Vec3* Vec3CatmullRom(Vec3* out, const Vec3* v0, const Vec3* v1, const Vec3* v2,
                     const Vec3* v3, float s)
{
    const float s2 = s * s;
    const float s3 = s2 * s;
    auto axis = [&](float p0, float p1, float p2, float p3) {
        return 0.5f * (2.0f * p1 + (p2 - p0) * s + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * s2
                       + (3.0f * p1 - p0 - 3.0f * p2 + p3) * s3);
    };
    const Vec3 r(axis(v0->x, v1->x, v2->x, v3->x), axis(v0->y, v1->y, v2->y, v3->y),
                 axis(v0->z, v1->z, v2->z, v3->z));
    *out = r;
    return out;
}

// ---- matrices --------------------------------------------------------------

Mat4* MatrixIdentity(Mat4* out)
{
    *out = Mat4::Identity();
    return out;
}

Mat4* MatrixMultiply(Mat4* out, const Mat4* a, const Mat4* b)
{
    Mat4 r;
    // Unrolled, the rows stay in registers and r's identity start is dropped;
    // each element is still the same sum in the same order.
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j]
                + a->m[i][2] * b->m[2][j] + a->m[i][3] * b->m[3][j];
        }
    }
    *out = r;
    return out;
}

bool MatrixKeptByIdentity(const Mat4* m)
{
    // A row at a time: the lanes holding -0, or all exponent bits set.
    const FourMask minusZero = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
    const FourMask exponent = {0x7F800000, 0x7F800000, 0x7F800000, 0x7F800000};
    FourMask bad = {};
    for (const auto& row : m->m) {
        FourMask bits;
        std::memcpy(&bits, row, sizeof bits);
        bad |= (bits == minusZero) | ((bits & exponent) == exponent);
    }
    return LaneBits(bad) == 0;
}

Mat4* MatrixInverse(Mat4* out, float* determinant, const Mat4* m)
{
    const auto& a = m->m;
    // 2x2 minors of the top two and the bottom two rows.
    const float s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    const float s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const float s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    const float s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const float s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    const float s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const float c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    const float c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const float c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    const float c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const float c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    const float c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];

    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (determinant) *determinant = det;
    if (det == 0.0f) return nullptr;
    const float k = 1.0f / det;

    Mat4 r;
    auto& b = r.m;
    b[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * k;
    b[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * k;
    b[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * k;
    b[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * k;
    b[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * k;
    b[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * k;
    b[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * k;
    b[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * k;
    b[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * k;
    b[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * k;
    b[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * k;
    b[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * k;
    b[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * k;
    b[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * k;
    b[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * k;
    b[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * k;
    *out = r;
    return out;
}

Mat4* MatrixScaling(Mat4* out, float sx, float sy, float sz)
{
    *out = Mat4::Identity();
    out->m[0][0] = sx;
    out->m[1][1] = sy;
    out->m[2][2] = sz;
    return out;
}

Mat4* MatrixTranslation(Mat4* out, float x, float y, float z)
{
    *out = Mat4::Identity();
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return out;
}

Mat4* MatrixRotationX(Mat4* out, float angle)
{
    float s, c;
    DetSinCos(angle, &s, &c);
    *out = Mat4::Identity();
    out->m[1][1] = c;
    out->m[1][2] = s;
    out->m[2][1] = -s;
    out->m[2][2] = c;
    return out;
}

Mat4* MatrixRotationY(Mat4* out, float angle)
{
    float s, c;
    DetSinCos(angle, &s, &c);
    *out = Mat4::Identity();
    out->m[0][0] = c;
    out->m[0][2] = -s;
    out->m[2][0] = s;
    out->m[2][2] = c;
    return out;
}

Mat4* MatrixRotationZ(Mat4* out, float angle)
{
    float s, c;
    DetSinCos(angle, &s, &c);
    *out = Mat4::Identity();
    out->m[0][0] = c;
    out->m[0][1] = s;
    out->m[1][0] = -s;
    out->m[1][1] = c;
    return out;
}

Mat4* MatrixRotationAxis(Mat4* out, const Vec3* axis, float angle)
{
    Vec3 v;
    Vec3Normalize(&v, axis);
    float s, c;
    DetSinCos(angle, &s, &c);
    const float t = 1.0f - c;
    Mat4 r;
    r.m[0][0] = t * v.x * v.x + c;
    r.m[0][1] = t * v.x * v.y + s * v.z;
    r.m[0][2] = t * v.x * v.z - s * v.y;
    r.m[1][0] = t * v.x * v.y - s * v.z;
    r.m[1][1] = t * v.y * v.y + c;
    r.m[1][2] = t * v.y * v.z + s * v.x;
    r.m[2][0] = t * v.x * v.z + s * v.y;
    r.m[2][1] = t * v.y * v.z - s * v.x;
    r.m[2][2] = t * v.z * v.z + c;
    *out = r;
    return out;
}

Mat4* MatrixRotationQuaternion(Mat4* out, const Quat* q)
{
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    Mat4 r;
    r.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    r.m[0][1] = 2.0f * (x * y + z * w);
    r.m[0][2] = 2.0f * (x * z - y * w);
    r.m[1][0] = 2.0f * (x * y - z * w);
    r.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    r.m[1][2] = 2.0f * (y * z + x * w);
    r.m[2][0] = 2.0f * (x * z + y * w);
    r.m[2][1] = 2.0f * (y * z - x * w);
    r.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    *out = r;
    return out;
}

Mat4* MatrixScaleRotateTranslate(Mat4* out, const Vec3* scale, const Quat* rotation, const Vec3* translation)
{
    Mat4 s, r, m;
    MatrixScaling(&s, scale->x, scale->y, scale->z);
    MatrixRotationQuaternion(&r, rotation);
    MatrixMultiply(&m, &s, &r);
    m.m[3][0] = translation->x;
    m.m[3][1] = translation->y;
    m.m[3][2] = translation->z;
    *out = m;
    return out;
}

Mat4* MatrixLookAtLH(Mat4* out, const Vec3* eye, const Vec3* at, const Vec3* up)
{
    const Vec3 e = *eye;
    Vec3 z = *at - e;
    Vec3Normalize(&z, &z);
    if (IsZero(z)) z = Vec3(0, 0, 1);  // eye == at: look along +z

    Vec3 x;
    Vec3Normalize(&x, Vec3Cross(&x, up, &z));
    // up parallel to the view (or zero): a camera looking straight up or down
    // keeps world +z (else +y) as its up instead of collapsing to zero axes.
    static constexpr Vec3 kFallbackUps[2] = {Vec3(0, 0, 1), Vec3(0, 1, 0)};
    for (int i = 0; i < 2 && IsZero(x); ++i) Vec3Normalize(&x, Vec3Cross(&x, &kFallbackUps[i], &z));

    Vec3 y;
    Vec3Cross(&y, &z, &x);

    Mat4 r;
    r.m[0][0] = x.x; r.m[0][1] = y.x; r.m[0][2] = z.x; r.m[0][3] = 0.0f;
    r.m[1][0] = x.y; r.m[1][1] = y.y; r.m[1][2] = z.y; r.m[1][3] = 0.0f;
    r.m[2][0] = x.z; r.m[2][1] = y.z; r.m[2][2] = z.z; r.m[2][3] = 0.0f;
    r.m[3][0] = -Vec3Dot(&x, &e);
    r.m[3][1] = -Vec3Dot(&y, &e);
    r.m[3][2] = -Vec3Dot(&z, &e);
    r.m[3][3] = 1.0f;
    *out = r;
    return out;
}

Mat4* MatrixPerspectiveFovLH(Mat4* out, float fovY, float aspect, float zn, float zf)
{
    const float yScale = 1.0f / DetTan(fovY * 0.5f);
    const float xScale = yScale / aspect;
    Mat4 r;
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = zf / (zf - zn);
    r.m[2][3] = 1.0f;
    r.m[3][2] = -zn * zf / (zf - zn);
    r.m[3][3] = 0.0f;
    *out = r;
    return out;
}

// ---- quaternions -----------------------------------------------------------

float QuaternionDot(const Quat* a, const Quat* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}

Quat* QuaternionNormalize(Quat* out, const Quat* q)
{
    const float len = Sqrt(QuaternionDot(q, q));
    if (len == 0.0f) {
        *out = Quat(0, 0, 0, 0);
        return out;
    }
    *out = Quat(q->x / len, q->y / len, q->z / len, q->w / len);
    return out;
}

Quat* QuaternionRotationMatrix(Quat* out, const Mat4* mat)
{
    const auto& m = mat->m;
    const float trace = m[0][0] + m[1][1] + m[2][2];
    Quat r;
    if (trace > 0.0f) {
        const float s = Sqrt(trace + 1.0f) * 2.0f;  // 4w
        r.w = 0.25f * s;
        r.x = (m[1][2] - m[2][1]) / s;
        r.y = (m[2][0] - m[0][2]) / s;
        r.z = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
        const float s = Sqrt(1.0f + m[0][0] - m[1][1] - m[2][2]) * 2.0f;  // 4x
        r.x = 0.25f * s;
        r.y = (m[0][1] + m[1][0]) / s;
        r.z = (m[0][2] + m[2][0]) / s;
        r.w = (m[1][2] - m[2][1]) / s;
    } else if (m[1][1] >= m[2][2]) {
        const float s = Sqrt(1.0f + m[1][1] - m[0][0] - m[2][2]) * 2.0f;  // 4y
        r.y = 0.25f * s;
        r.x = (m[0][1] + m[1][0]) / s;
        r.z = (m[1][2] + m[2][1]) / s;
        r.w = (m[2][0] - m[0][2]) / s;
    } else {
        const float s = Sqrt(1.0f + m[2][2] - m[0][0] - m[1][1]) * 2.0f;  // 4z
        r.z = 0.25f * s;
        r.x = (m[0][2] + m[2][0]) / s;
        r.y = (m[1][2] + m[2][1]) / s;
        r.w = (m[0][1] - m[1][0]) / s;
    }
    *out = r;
    return out;
}

Quat* QuaternionSlerp(Quat* out, const Quat* a, const Quat* b, float t)
{
    float cosom = QuaternionDot(a, b);
    float sign = 1.0f;
    if (cosom < 0.0f) {
        cosom = -cosom;
        sign = -1.0f;
    }
    float k0 = 1.0f - t;
    float k1 = t;
    // Nearly equal rotations: the sine ratio loses precision, lerp is exact enough.
    if (1.0f - cosom > 1e-5f) {
        const float theta = DetAcos(cosom);
        const float sinom = DetSin(theta);
        k0 = DetSin((1.0f - t) * theta) / sinom;
        k1 = DetSin(t * theta) / sinom;
    }
    k1 *= sign;
    const Quat r(k0 * a->x + k1 * b->x, k0 * a->y + k1 * b->y, k0 * a->z + k1 * b->z,
                 k0 * a->w + k1 * b->w);
    *out = r;
    return out;
}

Quat* QuaternionSquad(Quat* out, const Quat* q1, const Quat* a, const Quat* b,
                      const Quat* c, float t)
{
    Quat outer, inner;
    QuaternionSlerp(&outer, q1, c, t);
    QuaternionSlerp(&inner, a, b, t);
    return QuaternionSlerp(out, &outer, &inner, 2.0f * t * (1.0f - t));
}

void QuaternionSquadSetup(Quat* aOut, Quat* bOut, Quat* cOut, const Quat* q0,
                          const Quat* q1, const Quat* q2, const Quat* q3)
{
    const Quat p1 = *q1;
    const Quat p0 = Nearer(p1, *q0);
    const Quat p2 = Nearer(p1, *q2);
    const Quat p3 = Nearer(p2, *q3);
    const Quat a = InnerControlPoint(p0, p1, p2);
    const Quat b = InnerControlPoint(p1, p2, p3);
    *aOut = a;
    *bOut = b;
    *cOut = p2;
}

// ---- geometry --------------------------------------------------------------

bool IntersectTri(const Vec3* p0, const Vec3* p1, const Vec3* p2, const Vec3* rayPos,
                  const Vec3* rayDir, float* u, float* v, float* dist)
{
    const Vec3 e1 = *p1 - *p0;
    const Vec3 e2 = *p2 - *p0;
    Vec3 pvec;
    Vec3Cross(&pvec, rayDir, &e2);
    const float det = Vec3Dot(&e1, &pvec);
    if (det == 0.0f) return false;  // ray in the triangle's plane
    const float inv = 1.0f / det;

    const Vec3 tvec = *rayPos - *p0;
    const float hu = Vec3Dot(&tvec, &pvec) * inv;
    if (!(hu >= 0.0f && hu <= 1.0f)) return false;  // also rejects NaN

    Vec3 qvec;
    Vec3Cross(&qvec, &tvec, &e1);
    const float hv = Vec3Dot(rayDir, &qvec) * inv;
    if (!(hv >= 0.0f && hu + hv <= 1.0f)) return false;

    const float t = Vec3Dot(&e2, &qvec) * inv;
    if (!(t >= 0.0f)) return false;
    if (u) *u = hu;
    if (v) *v = hv;
    if (dist) *dist = t;
    return true;
}

namespace {
Vec3 PointAt(const Vec3* first, u32 index, u32 stride)
{
    Vec3 p;
    std::memcpy(&p, reinterpret_cast<const u8*>(first) + static_cast<size_t>(index) * stride,
                sizeof p);
    return p;
}
}  // namespace

void ComputeBoundingBox(const Vec3* first, u32 count, u32 stride, Vec3* min, Vec3* max)
{
    if (count == 0) {
        *min = *max = Vec3();
        return;
    }
    Vec3 lo = PointAt(first, 0, stride);
    Vec3 hi = lo;
    for (u32 i = 1; i < count; ++i) {
        const Vec3 p = PointAt(first, i, stride);
        if (p.x < lo.x) lo.x = p.x;
        if (p.y < lo.y) lo.y = p.y;
        if (p.z < lo.z) lo.z = p.z;
        if (p.x > hi.x) hi.x = p.x;
        if (p.y > hi.y) hi.y = p.y;
        if (p.z > hi.z) hi.z = p.z;
    }
    *min = lo;
    *max = hi;
}

void ComputeBoundingSphere(const Vec3* first, u32 count, u32 stride, Vec3* centre,
                           float* radius)
{
    if (count == 0) {
        *centre = Vec3();
        *radius = 0.0f;
        return;
    }
    Vec3 sum;
    for (u32 i = 0; i < count; ++i) sum += PointAt(first, i, stride);
    const Vec3 c = sum / static_cast<float>(count);
    float r2 = 0.0f;
    for (u32 i = 0; i < count; ++i) {
        const Vec3 d = PointAt(first, i, stride) - c;
        const float l2 = Vec3Dot(&d, &d);
        if (l2 > r2) r2 = l2;
    }
    *centre = c;
    *radius = Sqrt(r2);
}

}  // namespace plat
