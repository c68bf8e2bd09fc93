#pragma once

#include "base/complex.h"
#include "simd/kernels.h"

// Fast forms of fft1764 and inverseFft1764 with unit strides, by the given
// instruction set's kernels. Each output float has exactly the bits the
// literal transform gives for the same input; only the schedule of the work
// differs (SIMD lanes, precomputed twiddles in access order). src and dst
// may be the same array.
void fastFft1764(const TransformKernels& kernels, const Complex* src, Complex* dst);
void fastInverseFft1764(const TransformKernels& kernels, const Complex* src, Complex* dst);
