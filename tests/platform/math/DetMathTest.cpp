#include "platform/math/DetMath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

using namespace plat;

namespace {

// Distance in representable floats; NaN only matches NaN.
int64_t UlpDistance(float a, float b)
{
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : INT64_MAX;
    auto ordered = [](float f) {
        const int32_t i = std::bit_cast<int32_t>(f);
        return i < 0 ? -static_cast<int64_t>(i & 0x7FFFFFFF) : static_cast<int64_t>(i);
    };
    const int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

struct Worst {
    int64_t ulps = 0;
    float at = 0;
    void Note(float x, float ours, float libc)
    {
        const int64_t d = UlpDistance(ours, libc);
        if (d > ulps) {
            ulps = d;
            at = x;
        }
    }
};

// Every 331st float bit pattern from 0 to infinity, both signs: about 6.5
// million arguments, spread evenly over every exponent.
template <class F>
void SweepAllFloats(F&& f)
{
    for (uint32_t bits = 0; bits < 0x7F800000u; bits += 331) {
        const float x = std::bit_cast<float>(bits);
        f(x);
        f(-x);
    }
}

// Densely over the range battle angles actually take.
template <class F>
void SweepAngles(F&& f)
{
    for (int i = -2000000; i <= 2000000; ++i) f(static_cast<float>(i) * 1e-5f * 3.2f);
}

constexpr int64_t kMaxUlps = 2;

void Report(const char* name, const Worst& w)
{
    ::testing::Test::RecordProperty(std::string(name) + "_max_ulps", std::to_string(w.ulps));
    std::printf("%s: largest difference from the C library %lld ulp (at %.9g)\n", name,
                static_cast<long long>(w.ulps), static_cast<double>(w.at));
}

}  // namespace

TEST(DetMath, SinCosTanStayWithinAnUlpOrTwoOfTheCLibrary)
{
    Worst s, c, t, sc;
    auto check = [&](float x) {
        s.Note(x, DetSin(x), std::sin(x));
        c.Note(x, DetCos(x), std::cos(x));
        t.Note(x, DetTan(x), std::tan(x));
        float ss, cc;
        DetSinCos(x, &ss, &cc);
        // The pair must be exactly the single functions.
        sc.Note(x, ss, DetSin(x));
        sc.Note(x, cc, DetCos(x));
    };
    SweepAllFloats(check);
    SweepAngles(check);
    Report("sin", s);
    Report("cos", c);
    Report("tan", t);
    EXPECT_LE(s.ulps, kMaxUlps) << "at " << s.at;
    EXPECT_LE(c.ulps, kMaxUlps) << "at " << c.at;
    EXPECT_LE(t.ulps, kMaxUlps) << "at " << t.at;
    EXPECT_EQ(sc.ulps, 0) << "at " << sc.at;
}

TEST(DetMath, InverseFunctionsStayWithinAnUlpOrTwoOfTheCLibrary)
{
    Worst as, ac, at;
    auto check = [&](float x) {
        as.Note(x, DetAsin(x), std::asin(x));
        ac.Note(x, DetAcos(x), std::acos(x));
    };
    SweepAllFloats([&](float x) {
        if (std::fabs(x) <= 1.0f) check(x);
    });
    for (int i = -1000000; i <= 1000000; ++i) check(static_cast<float>(i) * 1e-6f);

    // atan2 over a grid of pairs from every octant and many magnitudes.
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    for (int i = 0; i < 3000000; ++i) {
        const float y = std::bit_cast<float>(next() & 0xFF7FFFFFu);  // finite, either sign
        const float x = std::bit_cast<float>(next() & 0xFF7FFFFFu);
        at.Note(y, DetAtan2(y, x), std::atan2(y, x));
    }
    for (int i = -500; i <= 500; ++i) {
        for (int j = -500; j <= 500; ++j) {
            const float y = i * 0.01f, x = j * 0.01f;
            at.Note(y, DetAtan2(y, x), std::atan2(y, x));
        }
    }
    Report("asin", as);
    Report("acos", ac);
    Report("atan2", at);
    EXPECT_LE(as.ulps, kMaxUlps) << "at " << as.at;
    EXPECT_LE(ac.ulps, kMaxUlps) << "at " << ac.at;
    EXPECT_LE(at.ulps, kMaxUlps) << "at " << at.at;
}

TEST(DetMath, SpecialValuesFollowTheCLibrary)
{
    const float inf = INFINITY;
    EXPECT_TRUE(std::signbit(DetSin(-0.0f)));
    EXPECT_EQ(DetSin(0.0f), 0.0f);
    EXPECT_EQ(DetCos(-0.0f), 1.0f);
    EXPECT_TRUE(std::signbit(DetTan(-0.0f)));
    EXPECT_TRUE(std::isnan(DetSin(inf)));
    EXPECT_TRUE(std::isnan(DetCos(-inf)));
    EXPECT_TRUE(std::isnan(DetTan(inf)));
    EXPECT_TRUE(std::isnan(DetSin(NAN)));
    float s = 0, c = 0;
    DetSinCos(inf, &s, &c);
    EXPECT_TRUE(std::isnan(s) && std::isnan(c));

    EXPECT_TRUE(std::isnan(DetAsin(1.0001f)));
    EXPECT_TRUE(std::isnan(DetAcos(-1.5f)));
    EXPECT_TRUE(std::isnan(DetAcos(NAN)));
    EXPECT_EQ(DetAsin(1.0f), std::asin(1.0f));
    EXPECT_EQ(DetAcos(-1.0f), std::acos(-1.0f));
    EXPECT_EQ(DetAcos(1.0f), 0.0f);
    EXPECT_TRUE(std::signbit(DetAsin(-0.0f)));

    const float pairs[][2] = {{0.0f, -0.0f}, {-0.0f, -0.0f}, {0.0f, 0.0f}, {-0.0f, 0.0f}, {-0.0f, -1.0f},
                              {1.0f, 0.0f},  {-1.0f, -0.0f}, {inf, inf},   {-inf, -inf}, {inf, -3.0f},
                              {2.0f, -inf},  {-2.0f, inf},  {inf, -inf}};
    for (const auto& p : pairs) {
        const float ours = DetAtan2(p[0], p[1]);
        const float libc = std::atan2(p[0], p[1]);
        EXPECT_EQ(ours, libc) << p[0] << ", " << p[1];
        EXPECT_EQ(std::signbit(ours), std::signbit(libc)) << p[0] << ", " << p[1];
    }
    EXPECT_TRUE(std::isnan(DetAtan2(NAN, 1.0f)));
    EXPECT_TRUE(std::isnan(DetAtan2(1.0f, NAN)));
}

TEST(DetMath, HugeArgumentsAreReducedExactly)
{
    // Arguments near multiples of pi/2 where a naive reduction loses every bit.
    const float cases[] = {1e22f, 8.7e21f, 3.4e38f, -1.5e30f, 16777216.0f, 1.0e6f, 524288.5f, 6.2831855f,
                           105414350.0f, 1.57079637f, 3.14159274f};
    for (float x : cases) {
        EXPECT_LE(UlpDistance(DetSin(x), std::sin(x)), 1) << x;
        EXPECT_LE(UlpDistance(DetCos(x), std::cos(x)), 1) << x;
        EXPECT_LE(UlpDistance(DetTan(x), std::tan(x)), 1) << x;
    }
}
