#pragma once
// Orientation helpers on 4x4 matrices in the row-vector convention (rows 1
// to 3 are the object's x, y and z axes, row 4 its position), the world and
// sprite transform setters and camera-facing (billboard) world matrices.
//
// Angles in degrees become radians with 0.017453 and radians become degrees
// with 57.295776, exactly these constants.
#include "engine/graphics/BillboardQuad.h"
#include "platform/gfx/Gfx.h"
#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"

inline constexpr float kDegreesToRadians = 0.017453f;
inline constexpr float kRadiansToDegrees = 57.295776f;

// A Mat4 with the orientation operations; each acts on this matrix and
// never moves its position row. Default-constructed it is the identity.
class Matrix : public Mat4 {
public:
    Matrix() = default;
    Matrix(const Mat4& m) : Mat4(m) {}  // NOLINT: a Mat4 is a Matrix

    // Sets the 16 elements in row order.
    Matrix& MatrixFromElements(float m11, float m12, float m13, float m14, float m21, float m22, float m23,
                               float m24, float m31, float m32, float m33, float m34, float m41, float m42, float m43,
                               float m44);
    // Axes from a forward direction and an up vector; up parallel to the
    // direction gives x = (1, 0, 0).
    void MatrixLookDirection(const Vec3& direction, const Vec3& up);
    // Axes facing from this position to a point.
    void MatrixLookAtPoint(const Vec3& target, const Vec3& up);
    // Turns the axes so that z points along the direction.
    void MatrixTurnToDirection(const Vec3& direction);
    // The same by at most maxDegrees per call; the exact opposite direction
    // does not turn at all.
    void MatrixTurnToDirectionLimited(const Vec3& direction, float maxDegrees);
    // Keeps y on the axis and turns z away from the point (cylindrical billboard).
    void MatrixFacePointAboutAxis(const Vec3& target, const Vec3& axis);
    // Rows 1 to 3 become the source's, scaled by this matrix's own axis lengths.
    void MatrixTakeRotationKeepScale(const Mat4& source);
    float MatrixScaleY() const;
    float MatrixScaleZ() const;

    // This matrix as the device's world transform / the shared sprite's transform.
    plat::GfxResult SetWorldTransform() const;
    plat::GfxResult SetSpriteTransform() const;
    // World = this matrix's position and scale with the facing matrix's axes.
    void SetBillboardWorld(const Mat4& facing) const;
    // The same rolled by an angle in the quad's own plane first.
    plat::GfxResult SetBillboardWorldRotZ(const Mat4& facing, float degrees) const;
    // World = this matrix turned about the axis towards the other matrix's position.
    void SetAxisBillboardWorld(const Mat4& pointHolder, const Vec3& axis) const;
};

// out = a - b.
void Vec3Subtract(Vec3* out, const Vec3* a, const Vec3* b);

// m = rotation x m: turns a matrix about one of its own axes by the degrees,
// rotation one of plat::MatrixRotationX, Y or Z.
void TurnLocal(Mat4& m, Mat4* (*rotation)(Mat4*, float), f32 degrees);
