#pragma once
// The camera's view volume for culling, and the light matrices of the shadow
// map fitted to it (a light-space perspective fit that spends the shadow
// map's texels near the camera).
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

class ViewFrustum {
public:
    // camera: the camera's world matrix (rows right, up, forward, position).
    void Build(float fovDegrees, float aspect, float nearDist, float farDist, const Mat4* camera);
    // 1 when the sphere may be visible, 0 when it lies wholly outside.
    int TestSphere(float x, float y, float z, float r) const;
    // Which sides of the volume a point lies beyond: 0x10 nearer than near,
    // 0x20 beyond far, 2 top, 8 bottom, 4 left, 1 right; 0 inside.
    u32 OutCode(const Vec3& p) const;
    // 1 when the box lies wholly inside, -1 when all its corners lie beyond
    // one common side, 0 otherwise (partly in, or too big to tell).
    int TestBox(const Vec3& lo, const Vec3& hi) const;

    // Eye to the far plane's top-left, top-right, bottom-left, bottom-right.
    Vec3 corners[4];
    Vec3 eye;
    Vec3 forward;
    // Outward unit normals: top, bottom, left, right.
    Vec3 planes[4];
    float nearDist = 0.0f;
    float farDist = 0.0f;
};

struct ShadowFitRecord {
    Mat4 lightProjection;
    Mat4 lightView;
    Vec3 lightDir;
    Vec3 viewDir;
    Vec3 eyePos;
    u32 unused = 0;
};
static_assert(sizeof(ShadowFitRecord) == 2 * 64 + 10 * 4, "two matrices and ten 32-bit values");

// Fits the light's view and projection to the camera's view volume; the light
// view-projection for shadows is fit->lightView × fit->lightProjection.
void ComputeShadowMatrices(ShadowFitRecord* fit, const Vec3* viewDir, const Vec3* eyePos, const Vec3* lightDir,
                           const Mat4* view, float fovRadians, float aspect, float nearDist, float farDist);
