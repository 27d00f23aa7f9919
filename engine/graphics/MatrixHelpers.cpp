#include "engine/graphics/MatrixHelpers.h"

#include "engine/graphics/GraphicsDevice.h"
#include "engine/core/VectorFunctions.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"

namespace {

Vec3 Row(const Mat4& m, int r) { return Vec3(m.m[r][0], m.m[r][1], m.m[r][2]); }

void SetRow(Mat4& m, int r, const Vec3& v) {
    m.m[r][0] = v.x;
    m.m[r][1] = v.y;
    m.m[r][2] = v.z;
}

Vec3 Normalized(const Vec3& v) {
    Vec3 out;
    plat::Vec3Normalize(&out, &v);
    return out;
}

// Applies a rotation to the axes, the position row kept out of it.
void RotateAxes(Mat4& m, const Vec3& axis, float radians) {
    Mat4 r;
    plat::MatrixRotationAxis(&r, &axis, radians);
    float saved[4];
    for (int i = 0; i < 4; ++i) {
        saved[i] = m.m[3][i];
        m.m[3][i] = i == 3 ? 1.0f : 0.0f;
    }
    plat::MatrixMultiply(&m, &m, &r);
    for (int i = 0; i < 4; ++i) m.m[3][i] = saved[i];
}

plat::GfxResult SetWorld(const Mat4& m) {
    plat::GfxDevice* d = GetGraphicsDevice()->device;
    return d ? d->SetTransform(plat::GfxTransform::World, m) : plat::GfxResult::InvalidCall;
}

}  // namespace

Matrix& Matrix::MatrixFromElements(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
                                   float m24, float m31, float m32, float m33, float m34, float m41, float m42,
                                   float m43, float m44) {
    const float v[16] = {m11, m12, m13, m14, m21, m22, m23, m24, m31, m32, m33, m34, m41, m42, m43, m44};
    for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = v[i];
    return *this;
}

void Matrix::MatrixLookDirection(const Vec3& direction, const Vec3& up) {
    const Vec3 z = Normalized(direction);
    Vec3 x = Normalized(Vec3Cross(up, z));
    if (Vec3Length(x) == 0.0f) x.x = 1.0f;
    Vec3 y = Normalized(Vec3Cross(z, x));
    if (Vec3Length(y) == 0.0f) y.y = 1.0f;
    SetRow(*this, 0, x);
    SetRow(*this, 1, y);
    SetRow(*this, 2, z);
}

void Matrix::MatrixLookAtPoint(const Vec3& target, const Vec3& up) {
    const Vec3 z = Normalized(target - Row(*this, 3));
    const Vec3 x = Normalized(Vec3Cross(up, z));
    const Vec3 y = Normalized(Vec3Cross(z, x));
    SetRow(*this, 0, x);
    SetRow(*this, 1, y);
    SetRow(*this, 2, z);
}

void Matrix::MatrixTurnToDirection(const Vec3& direction) {
    const Vec3 f = Normalized(Row(*this, 2));
    const Vec3 d = Normalized(direction);
    const float c = Vec3DotClamped(f, d);
    if (c < -1.0f || c >= 1.0f) return;
    float angle = plat::DetAcos(c);
    Vec3 axis = Normalized(Vec3Cross(f, d));
    if (Vec3Length(axis) == 0.0f) {
        // Opposite directions: half a turn about the world's y axis.
        axis = Vec3(0.0f, 1.0f, 0.0f);
        angle = plat::kPi;
    }
    RotateAxes(*this, axis, angle);
}

void Matrix::MatrixTurnToDirectionLimited(const Vec3& direction, float maxDegrees) {
    const Vec3 f = Normalized(Row(*this, 2));
    const Vec3 d = Normalized(direction);
    const float c = Vec3DotClamped(f, d);
    if (!(c > -1.0f && c < 1.0f)) return;
    float degrees = plat::DetAcos(c) * kRadiansToDegrees;
    if (maxDegrees < degrees) degrees = maxDegrees;
    Vec3 axis = Vec3Cross(f, d);
    if (Vec3Length(axis) == 0.0f) return;
    axis = Normalized(axis);
    RotateAxes(*this, axis, degrees * kDegreesToRadians);
}

void Matrix::MatrixFacePointAboutAxis(const Vec3& target, const Vec3& axis) {
    const Vec3 y = Normalized(axis);
    const Vec3 d = Normalized(Row(*this, 3) - target);
    const Vec3 x = Normalized(Vec3Cross(y, d));
    const Vec3 z = Normalized(Vec3Cross(x, y));
    SetRow(*this, 0, x);
    SetRow(*this, 1, y);
    SetRow(*this, 2, z);
}

void Matrix::MatrixTakeRotationKeepScale(const Mat4& source) {
    const float sx = MatrixScaleX(this), sy = MatrixScaleY(), sz = MatrixScaleZ();
    SetRow(*this, 0, Row(source, 0) * sx);
    SetRow(*this, 1, Row(source, 1) * sy);
    SetRow(*this, 2, Row(source, 2) * sz);
}

float Matrix::MatrixScaleY() const { return Vec3Length(Row(*this, 1)); }
float Matrix::MatrixScaleZ() const { return Vec3Length(Row(*this, 2)); }

plat::GfxResult Matrix::SetWorldTransform() const { return SetWorld(*this); }

plat::GfxResult Matrix::SetSpriteTransform() const {
    plat::Sprite* s = GetGraphicsDevice()->sprite;
    return s ? s->SetTransform(*this) : plat::GfxResult::InvalidCall;
}

void Matrix::SetBillboardWorld(const Mat4& facing) const {
    Matrix copy(*this);
    copy.MatrixTakeRotationKeepScale(facing);
    SetWorld(copy);
}

plat::GfxResult Matrix::SetBillboardWorldRotZ(const Mat4& facing, float degrees) const {
    // One scratch roll shared by every call: only the main thread draws.
    static Mat4 roll;
    Matrix copy(*this);
    copy.MatrixTakeRotationKeepScale(facing);
    plat::MatrixRotationZ(&roll, degrees * kDegreesToRadians);
    plat::MatrixMultiply(&copy, &roll, &copy);
    return SetWorld(copy);
}

void Matrix::SetAxisBillboardWorld(const Mat4& pointHolder, const Vec3& axis) const {
    Matrix copy(*this);
    copy.MatrixFacePointAboutAxis(Row(pointHolder, 3), axis);
    SetWorld(copy);
}

void TurnLocal(Mat4& m, Mat4* (*rotation)(Mat4*, float), f32 degrees)
{
    Mat4 r;
    rotation(&r, degrees * plat::kDegToRad);
    plat::MatrixMultiply(&m, &r, &m);
}

void Vec3Subtract(Vec3* out, const Vec3* a, const Vec3* b) {
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
}
