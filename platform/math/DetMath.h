#pragma once
// Deterministic single-precision trigonometry for everything that runs inside
// a battle. The C library picks processor-specific variants at run time, so two
// clients on different machines could round differently and fall out of step.
// These use only plain double arithmetic (and the correctly rounded square
// root), so the same input gives the same bits on every x86-64 machine, with
// or without -march=native. Accuracy: within an ulp or so of the C library.
//
// Float in, float out; NaN in gives NaN, out-of-domain input (asin/acos of
// |x| > 1, sin/cos/tan of infinity) gives NaN as the C library does.

namespace plat {

float DetSin(float x);
float DetCos(float x);
float DetTan(float x);
float DetAsin(float x);
float DetAcos(float x);
float DetAtan2(float y, float x);

// Both at once with one argument reduction (rotation matrices, slerp).
void DetSinCos(float x, float* s, float* c);

}  // namespace plat
