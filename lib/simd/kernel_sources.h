// The kernel table each kernel source defines; nullptr where the compiler
// or the target has no such variant. simdKernels() in kernels.cpp adds the
// processor check.
#pragma once

#include "simd/kernels.h"

const SimdKernels* portableKernels();
const SimdKernels* sse2Kernels();
const SimdKernels* avx2Kernels();
const SimdKernels* avx512Kernels();
