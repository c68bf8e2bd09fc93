// The codec kernels with AVX-512F: eight doubles or sixteen floats per
// register. The transforms' lanes hold four 441-point transforms side by
// side, which eight lanes cannot use, so this variant runs the AVX2
// transforms (AVX-512F processors have AVX2).

#include "simd/kernel_sources.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)

#include <cmath>

#include "base/complex_ops.h"
#include "simd/target.h"

Q58_TARGET_BEGIN("avx512f")
#include "simd/lanes_avx512.h"
#include "simd/kernel_table.h"

namespace {
constexpr CodecKernels codec = codecKernelsOf<WideDoubles, WideFloats>();
}  // namespace
Q58_TARGET_END

const SimdKernels* avx512Kernels() {
    static const SimdKernels table = {InstructionSet::avx512, avx2Kernels()->transform, codec};
    return &table;
}

#else

const SimdKernels* avx512Kernels() { return nullptr; }

#endif
