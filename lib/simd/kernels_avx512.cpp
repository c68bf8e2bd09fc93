// The kernels with AVX-512F: eight doubles or sixteen floats per register.
// The transforms run on the eight-lane engine (two four-lane items per
// vector, see OctEngine in transform_core.h), with the AVX2 lanes for the
// odd item left over (AVX-512F processors have AVX2).

#include "simd/kernel_sources.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <cmath>

#include "base/complex_ops.h"
#include "simd/target.h"

Q58_TARGET_BEGIN("avx512f")
#include "simd/lanes_avx512.h"
#include "simd/kernel_table.h"

namespace {
constexpr SimdKernels table = {InstructionSet::avx512, wideTransformKernelsOf<WideDoubles>(),
                               codecKernelsOf<WideDoubles, WideFloats>()};
}  // namespace
Q58_TARGET_END

const SimdKernels* avx512Kernels() { return &table; }

#else

const SimdKernels* avx512Kernels() { return nullptr; }

#endif
