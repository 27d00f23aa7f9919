#include "platform/math/DetMath.h"
#include "platform/math/Math.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

Mat4 SomeMatrix(float a)
{
    Mat4 rx, ry, t, m;
    plat::MatrixRotationX(&rx, a);
    plat::MatrixRotationY(&ry, a * 0.7f);
    plat::MatrixTranslation(&t, a, 2.0f * a, -3.0f);
    plat::MatrixMultiply(&m, &rx, &ry);
    return *plat::MatrixMultiply(&m, &m, &t);
}

void BM_MatrixMultiply(benchmark::State& state)
{
    const Mat4 a = SomeMatrix(0.3f), b = SomeMatrix(1.1f);
    Mat4 out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(plat::MatrixMultiply(&out, &a, &b));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixInverse(benchmark::State& state)
{
    const Mat4 a = SomeMatrix(0.3f);
    Mat4 out;
    float det;
    for (auto _ : state) {
        benchmark::DoNotOptimize(plat::MatrixInverse(&out, &det, &a));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MatrixInverse);

// Angles as battle code makes them (a few turns either way), and a share of
// large ones (frame counters times a step) that need the long reduction.
std::vector<float> Angles(bool large)
{
    std::vector<float> v(4096);
    for (size_t i = 0; i < v.size(); ++i) {
        const float f = static_cast<float>(i) - 2048.0f;
        v[i] = large ? f * 98765.4321f : f * 0.0061f;
    }
    return v;
}

std::vector<float> UnitValues()
{
    std::vector<float> v(4096);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i) / 2048.0f - 1.0f;
    return v;
}

void BM_Unary(benchmark::State& state, float (*f)(float), std::vector<float> in)
{
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(in[i]));
        i = (i + 1) & (in.size() - 1);
    }
}

float LibSin(float x) { return std::sin(x); }
float LibCos(float x) { return std::cos(x); }
float LibTan(float x) { return std::tan(x); }
float LibAsin(float x) { return std::asin(x); }
float LibAcos(float x) { return std::acos(x); }

BENCHMARK_CAPTURE(BM_Unary, DetSin, &plat::DetSin, Angles(false));
BENCHMARK_CAPTURE(BM_Unary, LibSin, &LibSin, Angles(false));
BENCHMARK_CAPTURE(BM_Unary, DetSinLarge, &plat::DetSin, Angles(true));
BENCHMARK_CAPTURE(BM_Unary, LibSinLarge, &LibSin, Angles(true));
BENCHMARK_CAPTURE(BM_Unary, DetCos, &plat::DetCos, Angles(false));
BENCHMARK_CAPTURE(BM_Unary, LibCos, &LibCos, Angles(false));
BENCHMARK_CAPTURE(BM_Unary, DetTan, &plat::DetTan, Angles(false));
BENCHMARK_CAPTURE(BM_Unary, LibTan, &LibTan, Angles(false));
BENCHMARK_CAPTURE(BM_Unary, DetAsin, &plat::DetAsin, UnitValues());
BENCHMARK_CAPTURE(BM_Unary, LibAsin, &LibAsin, UnitValues());
BENCHMARK_CAPTURE(BM_Unary, DetAcos, &plat::DetAcos, UnitValues());
BENCHMARK_CAPTURE(BM_Unary, LibAcos, &LibAcos, UnitValues());

void BM_Binary(benchmark::State& state, float (*f)(float, float))
{
    const std::vector<float> a = Angles(false), b = UnitValues();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(a[i], b[(i * 7) & 4095]));
        i = (i + 1) & 4095;
    }
}

float LibAtan2(float y, float x) { return std::atan2(y, x); }

BENCHMARK_CAPTURE(BM_Binary, DetAtan2, &plat::DetAtan2);
BENCHMARK_CAPTURE(BM_Binary, LibAtan2, &LibAtan2);

void BM_RotationAndSlerp(benchmark::State& state)
{
    const Quat a(0, 0, 0, 1);
    Quat b;
    const Mat4 m = SomeMatrix(0.8f);
    plat::QuaternionRotationMatrix(&b, &m);
    float t = 0;
    Quat out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(plat::QuaternionSlerp(&out, &a, &b, t));
        t = t > 1.0f ? 0.0f : t + 0.001f;
    }
}
BENCHMARK(BM_RotationAndSlerp);

}  // namespace
