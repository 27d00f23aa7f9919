#include "platform/math/DetMath.h"

#include "platform/core/Types.h"

#include <bit>
#include <limits>

// Everything below is double add/multiply/divide, integer arithmetic and the
// correctly rounded square root: all exactly specified by IEEE 754, so the
// build flags (-ffp-contract=off, no fast-math) make the results identical on
// every machine. No C library math is called.

namespace plat {
namespace {

constexpr double kPi = 0x1.921fb54442d18p+1;
constexpr double kPio2 = 0x1.921fb54442d18p+0;
constexpr double kPio4 = 0x1.921fb54442d18p-1;
constexpr double k3Pio4 = 0x1.2d97c7f3321d2p+1;
constexpr double kInvPio2 = 0x1.45f306dc9c883p-1;

// pi/2 split so that k * hi and k * mid are exact for k < 2^20.
constexpr double kPio2Hi = 0x1.921fb544p+0;
constexpr double kPio2Mid = 0x1.0b4611a6p-34;
constexpr double kPio2Lo = 0x1.3198a2e037073p-69;

// Below this the three-part subtraction is exact enough; above it the bits
// of 2/pi are used directly.
constexpr double kSmallReductionLimit = 0x1p19;

// 2/pi as a binary fraction, 256 bits, most significant first.
constexpr u32 kTwoOverPiBits[8] = {
    0xA2F9836Eu, 0x4E441529u, 0xFC2757D1u, 0xF534DDC0u,
    0xDB629599u, 0x3C439041u, 0xFE5163ABu, 0xDEBBC561u,
};

// atan(j / 8) for j = 0..8.
constexpr double kAtanTable[9] = {
    0.0,
    0x1.fd5ba9aac2f6ep-4,
    0x1.f5b75f92c80ddp-3,
    0x1.6f61941e4def1p-2,
    0x1.dac670561bb4fp-2,
    0x1.1e00babdefeb4p-1,
    0x1.4978fa3269ee1p-1,
    0x1.700a7c5784634p-1,
    0x1.921fb54442d18p-1,
};

using u128 = unsigned __int128;
using i128 = __int128;

bool IsNan(double v) { return v != v; }
bool SignBit(float v) { return (std::bit_cast<u32>(v) >> 31) != 0; }
double Abs(double v) { return v < 0 ? -v : v; }
float QuietNan() { return std::numeric_limits<float>::quiet_NaN(); }
double Sqrt(double v) { return __builtin_sqrt(v); }  // IEEE: correctly rounded

// |r| <= pi/4 (a hair more after reduction); Taylor series, truncation error
// far below a float ulp.
double SinPoly(double r)
{
    const double z = r * r;
    const double p = -1.0 / 6.0
        + z * (1.0 / 120.0
        + z * (-1.0 / 5040.0
        + z * (1.0 / 362880.0
        + z * (-1.0 / 39916800.0
        + z * (1.0 / 6227020800.0
        + z * (-1.0 / 1307674368000.0))))));
    return r + r * z * p;
}

double CosPoly(double r)
{
    const double z = r * r;
    const double p = -1.0 / 2.0
        + z * (1.0 / 24.0
        + z * (-1.0 / 720.0
        + z * (1.0 / 40320.0
        + z * (-1.0 / 3628800.0
        + z * (1.0 / 479001600.0
        + z * (-1.0 / 87178291200.0
        + z * (1.0 / 20922789888000.0)))))));
    return 1.0 + z * p;
}

// |x| >= 2^19, finite: x = m * 2^e exactly; multiply m by the 96 bits of 2/pi
// that matter for x * 2/pi mod 4 and keep the quadrant and the remainder.
int ReduceLarge(float x, double* r)
{
    const u32 bits = std::bit_cast<u32>(x);
    const int e = static_cast<int>((bits >> 23) & 0xFF) - 150;
    const u64 m = (bits & 0x7FFFFFu) | 0x800000u;

    // Bits of 2/pi before position e - 1 only add multiples of 4.
    const int s = e - 1 > 1 ? e - 1 : 1;
    const int w = (s - 1) / 32;
    const int b = (s - 1) % 32;
    u128 c = (static_cast<u128>(kTwoOverPiBits[w]) << 96)
        | (static_cast<u128>(kTwoOverPiBits[w + 1]) << 64)
        | (static_cast<u128>(kTwoOverPiBits[w + 2]) << 32)
        | static_cast<u128>(kTwoOverPiBits[w + 3]);
    const u128 window = (c << b) >> 32;  // bits s .. s + 95
    const u128 p = window * m;           // < 2^120
    const int sh = 95 + s - e;           // x * 2/pi mod 4 == p / 2^sh mod 4

    unsigned q = static_cast<unsigned>(p >> sh) & 3u;
    const u128 frac = p << (128 - sh);
    if (frac >> 127) q = (q + 1) & 3u;   // round to the nearest quadrant
    const i128 f = static_cast<i128>(frac);  // (x*2/pi - quadrant) * 2^128
    const i64 hi = static_cast<i64>(f >> 64);
    const u64 lo = static_cast<u64>(f);
    const double units = static_cast<double>(hi) * 0x1p-64 + static_cast<double>(lo) * 0x1p-128;
    *r = units * kPio2;

    if (x < 0) {
        *r = -*r;
        q = (4u - q) & 3u;
    }
    return static_cast<int>(q);
}

// x finite: returns the quadrant n (0..3) and r with x = n * pi/2 + r.
int Reduce(float x, double* r)
{
    const double d = x;
    const double ad = Abs(d);
    if (ad <= kPio4) {
        *r = d;
        return 0;
    }
    if (ad < kSmallReductionLimit) {
        const double t = d * kInvPio2;
        const i64 n = static_cast<i64>(t < 0 ? t - 0.5 : t + 0.5);
        const double k = static_cast<double>(n);
        *r = ((d - k * kPio2Hi) - k * kPio2Mid) - k * kPio2Lo;
        return static_cast<int>(n & 3);
    }
    return ReduceLarge(x, r);
}

// atan(t) for 0 <= t <= 1: nearest table point j/8, then a short series.
double AtanUnit(double t)
{
    const int j = static_cast<int>(t * 8.0 + 0.5);
    const double bj = j * 0.125;
    const double u = (t - bj) / (1.0 + t * bj);
    const double z = u * u;
    const double p = -1.0 / 3.0
        + z * (1.0 / 5.0
        + z * (-1.0 / 7.0
        + z * (1.0 / 9.0
        + z * (-1.0 / 11.0
        + z * (1.0 / 13.0
        + z * (-1.0 / 15.0))))));
    return kAtanTable[j] + (u + u * z * p);
}

// Angle of the point (ax, ay) with both >= 0 and not both 0, finite.
double AtanQuadrant(double ay, double ax)
{
    if (ay <= ax) return AtanUnit(ay / ax);
    return kPio2 - AtanUnit(ax / ay);
}

}  // namespace

float DetSin(float x)
{
    if (IsNan(x) || Abs(x) == std::numeric_limits<double>::infinity()) return x - x;
    if (x == 0.0f) return x;  // keeps the sign of zero
    double r;
    switch (Reduce(x, &r)) {
    case 0: return static_cast<float>(SinPoly(r));
    case 1: return static_cast<float>(CosPoly(r));
    case 2: return static_cast<float>(-SinPoly(r));
    default: return static_cast<float>(-CosPoly(r));
    }
}

float DetCos(float x)
{
    if (IsNan(x) || Abs(x) == std::numeric_limits<double>::infinity()) return x - x;
    double r;
    switch (Reduce(x, &r)) {
    case 0: return static_cast<float>(CosPoly(r));
    case 1: return static_cast<float>(-SinPoly(r));
    case 2: return static_cast<float>(-CosPoly(r));
    default: return static_cast<float>(SinPoly(r));
    }
}

void DetSinCos(float x, float* s, float* c)
{
    if (IsNan(x) || Abs(x) == std::numeric_limits<double>::infinity()) {
        *s = *c = x - x;
        return;
    }
    if (x == 0.0f) {
        *s = x;  // keeps the sign of zero
        *c = 1.0f;
        return;
    }
    double r;
    const int n = Reduce(x, &r);
    const double sr = SinPoly(r);
    const double cr = CosPoly(r);
    switch (n) {
    case 0: *s = static_cast<float>(sr); *c = static_cast<float>(cr); break;
    case 1: *s = static_cast<float>(cr); *c = static_cast<float>(-sr); break;
    case 2: *s = static_cast<float>(-sr); *c = static_cast<float>(-cr); break;
    default: *s = static_cast<float>(-cr); *c = static_cast<float>(sr); break;
    }
}

float DetTan(float x)
{
    if (IsNan(x) || Abs(x) == std::numeric_limits<double>::infinity()) return x - x;
    if (x == 0.0f) return x;  // keeps the sign of zero
    double r;
    const int n = Reduce(x, &r);
    const double sr = SinPoly(r);
    const double cr = CosPoly(r);
    return static_cast<float>((n & 1) ? -cr / sr : sr / cr);
}

float DetAsin(float x)
{
    if (IsNan(x)) return x;
    const double ax = Abs(x);
    if (ax > 1.0) return QuietNan();
    if (ax == 0.0) return x;
    const double s = Sqrt((1.0 - ax) * (1.0 + ax));  // exact product for float x
    const double a = AtanQuadrant(ax, s);
    return static_cast<float>(x < 0 ? -a : a);
}

float DetAcos(float x)
{
    if (IsNan(x)) return x;
    const double ax = Abs(x);
    if (ax > 1.0) return QuietNan();
    const double s = Sqrt((1.0 - ax) * (1.0 + ax));
    if (ax == 0.0) return static_cast<float>(kPio2);
    const double a = AtanQuadrant(s, ax);
    return static_cast<float>(x < 0 ? kPi - a : a);
}

float DetAtan2(float y, float x)
{
    if (IsNan(x) || IsNan(y)) return x + y;
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double ax = Abs(x);
    const double ay = Abs(y);
    const bool negX = SignBit(x);
    double a;
    if (ay == 0.0) {
        a = negX ? kPi : 0.0;
    } else if (ay == kInf) {
        a = ax == kInf ? (negX ? k3Pio4 : kPio4) : kPio2;
    } else if (ax == kInf) {
        a = negX ? kPi : 0.0;
    } else if (ax == 0.0) {
        a = kPio2;
    } else {
        a = AtanQuadrant(ay, ax);
        if (negX) a = kPi - a;
    }
    return static_cast<float>(SignBit(y) ? -a : a);
}

}  // namespace plat
