#include "engine/graphics/ViewFrustum.h"

#include <algorithm>

#include "engine/core/VectorFunctions.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"

namespace {

Vec3 Scaled(const Vec3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

Vec3 UnitCross(const Vec3& a, const Vec3& b)
{
    Vec3 c = Vec3Cross(a, b);
    plat::Vec3Normalize(&c, &c);
    return c;
}

void Bounds(const Vec3* p, int n, Vec3* lo, Vec3* hi)
{
    *lo = *hi = p[0];
    for (int i = 1; i < n; ++i) {
        lo->x = std::min(lo->x, p[i].x);
        lo->y = std::min(lo->y, p[i].y);
        lo->z = std::min(lo->z, p[i].z);
        hi->x = std::max(hi->x, p[i].x);
        hi->y = std::max(hi->y, p[i].y);
        hi->z = std::max(hi->z, p[i].z);
    }
}

}  // namespace

void ViewFrustum::Build(float fovDegrees, float aspect, float nearDistance, float farDistance, const Mat4* camera)
{
    const float t = plat::DetTan(fovDegrees / 2.0f * plat::kDegToRad);
    const float h = farDistance * t;
    const float w = h * aspect;
    const Vec3 r(camera->m[0][0], camera->m[0][1], camera->m[0][2]);
    const Vec3 u(camera->m[1][0], camera->m[1][1], camera->m[1][2]);
    const Vec3 f(camera->m[2][0], camera->m[2][1], camera->m[2][2]);
    eye = Vec3(camera->m[3][0], camera->m[3][1], camera->m[3][2]);
    forward = f;
    const Vec3 far = Scaled(f, farDistance);
    corners[0] = Scaled(r, -w) + Scaled(u, h) + far;
    corners[1] = Scaled(r, w) + Scaled(u, h) + far;
    corners[2] = Scaled(r, -w) - Scaled(u, h) + far;
    corners[3] = Scaled(r, w) - Scaled(u, h) + far;
    planes[0] = UnitCross(corners[0], corners[1]);
    planes[1] = UnitCross(corners[3], corners[2]);
    planes[2] = UnitCross(corners[2], corners[0]);
    planes[3] = UnitCross(corners[1], corners[3]);
    nearDist = nearDistance;
    farDist = farDistance;
}

int ViewFrustum::TestSphere(float x, float y, float z, float r) const
{
    const Vec3 d(x - eye.x, y - eye.y, z - eye.z);
    const float along = plat::Vec3Dot(&d, &forward);
    if (along < nearDist - r || along > farDist + r) return 0;
    for (const Vec3& n : planes) {
        if (plat::Vec3Dot(&d, &n) > r) return 0;
    }
    return 1;
}

u32 ViewFrustum::OutCode(const Vec3& p) const
{
    const Vec3 d(p.x - eye.x, p.y - eye.y, p.z - eye.z);
    const float depth = plat::Vec3Dot(&d, &forward);
    u32 code = 0;
    if (depth < nearDist) code |= 0x10;
    if (depth > farDist) code |= 0x20;
    static constexpr u32 kSideCodes[4] = {2, 8, 4, 1};
    for (int i = 0; i < 4; ++i)
        if (plat::Vec3Dot(&d, &planes[i]) > 0.0f) code |= kSideCodes[i];
    return code;
}

int ViewFrustum::TestBox(const Vec3& lo, const Vec3& hi) const
{
    u32 any = 0, all = 0x3F;
    for (int i = 0; i < 8; ++i) {
        const Vec3 corner((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
        const u32 code = OutCode(corner);
        any |= code;
        all &= code;
    }
    if (any == 0) return 1;
    return all == 0 ? 0 : -1;
}

void ComputeShadowMatrices(ShadowFitRecord* fit, const Vec3* viewDir, const Vec3* eyePos, const Vec3* lightDir,
                           const Mat4* view, float fovRadians, float aspect, float nearDist, float farDist)
{
    plat::Vec3Normalize(&fit->viewDir, viewDir);
    fit->eyePos = *eyePos;
    plat::Vec3Normalize(&fit->lightDir, lightDir);
    fit->lightView = *view;

    // The view volume's eight corners in world space.
    const float t = plat::DetTan(fovRadians / 2.0f);
    const float hn = t * nearDist, hf = t * farDist;
    Vec3 body[8] = {
        {hn * aspect, hn, nearDist}, {-hn * aspect, hn, nearDist}, {-hn * aspect, -hn, nearDist},
        {hn * aspect, -hn, nearDist}, {hf * aspect, hf, farDist},  {-hf * aspect, hf, farDist},
        {-hf * aspect, -hf, farDist}, {hf * aspect, -hf, farDist},
    };
    Mat4 invView;
    if (!plat::MatrixInverse(&invView, nullptr, view)) invView = Mat4();
    for (Vec3& p : body) plat::Vec3TransformCoord(&p, &p, &invView);

    // Light axes: the view direction made perpendicular to the light is "up".
    const Vec3 left = Vec3Cross(fit->viewDir, fit->lightDir);
    Vec3 up = UnitCross(fit->lightDir, left);
    if (plat::Vec3LengthSq(&up) == 0.0f) {
        // Light along the view: any axis across the light will do.
        const Vec3 axis = (fit->lightDir.y > 0.9f || fit->lightDir.y < -0.9f) ? Vec3(0, 0, 1) : Vec3(0, 1, 0);
        up = UnitCross(fit->lightDir, UnitCross(axis, fit->lightDir));
    }
    const Vec3 at = fit->eyePos + fit->lightDir;
    plat::MatrixLookAtLH(&fit->lightView, &fit->eyePos, &at, &up);

    for (Vec3& p : body) plat::Vec3TransformCoord(&p, &p, &fit->lightView);
    Vec3 lo, hi;
    Bounds(body, 8, &lo, &hi);

    const float extent = hi.y - lo.y;
    const float n = (lo.y <= 0.0f) ? extent * 0.25f : lo.y + extent * 0.1f;
    const float f = n + extent;
    fit->lightProjection = Mat4();
    if (f - n == 0.0f) return;  // a flat body: nothing to spread over the map

    Mat4 p;
    p.m[1][1] = f / (f - n);
    p.m[1][3] = 1.0f;
    p.m[3][1] = -f * n / (f - n);
    p.m[3][3] = 0.0f;

    Mat4 tr;
    plat::MatrixTranslation(&tr, 0.0f, n - lo.y, 0.0f);
    plat::MatrixMultiply(&fit->lightView, &fit->lightView, &tr);

    Mat4 tp;
    plat::MatrixMultiply(&tp, &tr, &p);
    for (Vec3& q : body) plat::Vec3TransformCoord(&q, &q, &tp);
    Bounds(body, 8, &lo, &hi);

    // Map that box to x, y in -1..1 and z in 0..1 (an axis of no width keeps scale 1).
    const float dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
    Mat4 unit;
    unit.m[0][0] = dx != 0.0f ? 2.0f / dx : 1.0f;
    unit.m[3][0] = dx != 0.0f ? -(hi.x + lo.x) / dx : 0.0f;
    unit.m[1][1] = dy != 0.0f ? 2.0f / dy : 1.0f;
    unit.m[3][1] = dy != 0.0f ? -(hi.y + lo.y) / dy : 0.0f;
    unit.m[2][2] = dz != 0.0f ? 1.0f / dz : 1.0f;
    unit.m[3][2] = dz != 0.0f ? -lo.z / dz : 0.0f;
    unit.m[3][3] = 1.0f;
    plat::MatrixMultiply(&fit->lightProjection, &p, &unit);
}
