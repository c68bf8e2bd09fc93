// The kernels with SSE2, part of every x86-64 processor: four doubles in two
// registers, four floats in one.

#include "simd/kernel_sources.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <cmath>

#include "base/complex_ops.h"
#include "simd/lanes_sse2.h"
#include "simd/kernel_table.h"

namespace {
constexpr SimdKernels table = {InstructionSet::sse2, transformKernelsOf<Doubles>(), codecKernelsOf<Doubles, Floats>()};
}  // namespace

const SimdKernels* sse2Kernels() { return &table; }

#else

const SimdKernels* sse2Kernels() { return nullptr; }

#endif
