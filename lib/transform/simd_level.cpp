#include "transform/simd_level.h"

#include <initializer_list>

#include "transform/fast_transform_kernels.h"

namespace {

const FastTransformKernels* kernelsOf(SimdLevel level) {
    switch (level) {
        case SimdLevel::portable: return portableTransformKernels();
        case SimdLevel::sse2: return sse2TransformKernels();
        case SimdLevel::avx2: return avx2TransformKernels();
    }
    return nullptr;
}

bool processorHas(SimdLevel level) {
    if (level != SimdLevel::avx2) return true;  // SSE2 is part of x86-64
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    return __builtin_cpu_supports("avx2");
#else
    return false;  // no AVX2 variant is built for this compiler
#endif
}

// Chosen on first use; the process is single-threaded.
SimdLevel active = SimdLevel::portable;
bool chosen = false;

}  // namespace

const char* simdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::portable: return "portable";
        case SimdLevel::sse2: return "sse2";
        case SimdLevel::avx2: return "avx2";
    }
    return "unknown";
}

bool simdLevelAvailable(SimdLevel level) { return kernelsOf(level) != nullptr && processorHas(level); }

SimdLevel bestSimdLevel() {
    for (SimdLevel level : {SimdLevel::avx2, SimdLevel::sse2})
        if (simdLevelAvailable(level)) return level;
    return SimdLevel::portable;
}

SimdLevel activeSimdLevel() {
    if (!chosen) {
        active = bestSimdLevel();
        chosen = true;
    }
    return active;
}

bool selectSimdLevel(SimdLevel level) {
    if (!simdLevelAvailable(level)) return false;
    active = level;
    chosen = true;
    return true;
}

const FastTransformKernels& activeTransformKernels() { return *kernelsOf(activeSimdLevel()); }
