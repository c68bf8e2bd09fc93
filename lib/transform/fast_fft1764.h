#pragma once

#include "base/complex.h"

// Fast forms of fft1764 and inverseFft1764 with unit strides. Each output
// float has exactly the bits the reference transform gives for the same
// input; only the schedule of the work differs (SIMD lanes, precomputed
// twiddles in access order). src and dst may be the same array.
// Independent of initTransformTables: the factors are prepared on first use.
void fastFft1764(const Complex* src, Complex* dst);
void fastInverseFft1764(const Complex* src, Complex* dst);
