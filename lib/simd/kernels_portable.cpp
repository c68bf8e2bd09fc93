// The kernels in plain C++, built everywhere: the fallback where no vector
// variant exists, and the check that the vector variants add nothing but speed.

#include <cmath>

#include "base/complex_ops.h"
#include "simd/kernel_sources.h"
#include "simd/lanes_portable.h"
#include "simd/kernel_table.h"

namespace {
constexpr SimdKernels table = {InstructionSet::portable, transformKernelsOf<Doubles>(),
                               codecKernelsOf<Doubles, Floats>()};
}  // namespace

const SimdKernels* portableKernels() { return &table; }
