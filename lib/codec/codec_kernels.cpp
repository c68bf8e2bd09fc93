#include "codec/codec_kernels.h"

#include <initializer_list>

namespace {

const CodecKernels* kernelsOf(CodecSimdLevel level) {
    switch (level) {
        case CodecSimdLevel::portable: return portableCodecKernels();
        case CodecSimdLevel::sse2: return sse2CodecKernels();
        case CodecSimdLevel::avx2: return avx2CodecKernels();
        case CodecSimdLevel::avx512: return avx512CodecKernels();
    }
    return nullptr;
}

bool processorHas(CodecSimdLevel level) {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    switch (level) {
        case CodecSimdLevel::avx2: return __builtin_cpu_supports("avx2");
        case CodecSimdLevel::avx512: return __builtin_cpu_supports("avx512f");
        default: return true;  // SSE2 is part of x86-64; portable runs anywhere
    }
#else
    // Only the portable and SSE2 variants are built for other compilers.
    return level == CodecSimdLevel::portable || level == CodecSimdLevel::sse2;
#endif
}

// Chosen on first use; the process is single-threaded.
CodecSimdLevel active = CodecSimdLevel::portable;
bool chosen = false;

}  // namespace

const char* codecSimdLevelName(CodecSimdLevel level) {
    switch (level) {
        case CodecSimdLevel::portable: return "portable";
        case CodecSimdLevel::sse2: return "sse2";
        case CodecSimdLevel::avx2: return "avx2";
        case CodecSimdLevel::avx512: return "avx512";
    }
    return "unknown";
}

bool codecSimdLevelAvailable(CodecSimdLevel level) { return kernelsOf(level) != nullptr && processorHas(level); }

CodecSimdLevel bestCodecSimdLevel() {
    for (CodecSimdLevel level : {CodecSimdLevel::avx512, CodecSimdLevel::avx2, CodecSimdLevel::sse2})
        if (codecSimdLevelAvailable(level)) return level;
    return CodecSimdLevel::portable;
}

CodecSimdLevel activeCodecSimdLevel() {
    if (!chosen) {
        active = bestCodecSimdLevel();
        chosen = true;
    }
    return active;
}

bool selectCodecSimdLevel(CodecSimdLevel level) {
    if (!codecSimdLevelAvailable(level)) return false;
    active = level;
    chosen = true;
    return true;
}

const CodecKernels& activeCodecKernels() { return *kernelsOf(activeCodecSimdLevel()); }
