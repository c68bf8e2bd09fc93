// The kernels with AVX2: four doubles or eight floats per register. Only the
// lanes and cores are compiled for AVX2 (a target region, no build flag);
// simdKernels() hands them out only on processors that report AVX2.

#include "simd/kernel_sources.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <cmath>

#include "base/complex_ops.h"
#include "simd/target.h"

Q58_TARGET_BEGIN("avx2")
#include "simd/lanes_avx2.h"
#include "simd/kernel_table.h"

namespace {
constexpr SimdKernels table = {InstructionSet::avx2, transformKernelsOf<Doubles>(), codecKernelsOf<Doubles, Floats>()};
}  // namespace
Q58_TARGET_END

const SimdKernels* avx2Kernels() { return &table; }

#else

const SimdKernels* avx2Kernels() { return nullptr; }

#endif
