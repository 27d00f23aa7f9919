#pragma once
// Single-precision math types with the usual game conventions: row vectors,
// row-major 4x4 matrices with the translation in the fourth row.
// The functions on them live in platform/math/Math.h.

struct Vec2 {
    float x = 0, y = 0;
    constexpr Vec2() = default;
    constexpr Vec2(float x_, float y_) : x(x_), y(y_) {}
    friend constexpr bool operator==(const Vec2&, const Vec2&) = default;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3 operator-() const { return {-x, -y, -z}; }
    constexpr Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr Vec3 operator/(float s) const { return {x / s, y / s, z / s}; }
    constexpr Vec3& operator+=(const Vec3& o) { x += o.x; y += o.y; z += o.z; return *this; }
    constexpr Vec3& operator-=(const Vec3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
    constexpr Vec3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    friend constexpr Vec3 operator*(float s, const Vec3& v) { return v * s; }
    friend constexpr bool operator==(const Vec3&, const Vec3&) = default;
};

struct Vec4 {
    float x = 0, y = 0, z = 0, w = 0;
    constexpr Vec4() = default;
    constexpr Vec4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    friend constexpr bool operator==(const Vec4&, const Vec4&) = default;
};

struct Quat {
    float x = 0, y = 0, z = 0, w = 1;
    constexpr Quat() = default;
    constexpr Quat(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    friend constexpr bool operator==(const Quat&, const Quat&) = default;
};

// Colour with float channels (lights, materials, fog).
struct ColorF {
    float r = 0, g = 0, b = 0, a = 0;
    constexpr ColorF() = default;
    constexpr ColorF(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
    friend constexpr bool operator==(const ColorF&, const ColorF&) = default;
};

struct Mat4 {
    // m[row][col]; m[3][0..2] is the translation.
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    constexpr Mat4() = default;
    constexpr float& operator()(int r, int c) { return m[r][c]; }
    constexpr float operator()(int r, int c) const { return m[r][c]; }
    static constexpr Mat4 Identity() { return Mat4(); }
    friend constexpr bool operator==(const Mat4&, const Mat4&) = default;
};
