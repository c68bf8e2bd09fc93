#pragma once

// Instruction-set variants of the fast transforms. All of them give the
// same bits; they differ only in speed. The fastest one the processor
// supports is used unless a test or benchmark selects another.
enum class SimdLevel {
    portable,  // plain C++, no intrinsics
    sse2,      // x86-64 baseline
    avx2,      // chosen at run time where the processor has it
};

const char* simdLevelName(SimdLevel level);
// Whether this build contains the variant and the processor can run it.
bool simdLevelAvailable(SimdLevel level);
// The fastest available variant.
SimdLevel bestSimdLevel();
// The variant the fast transforms use now.
SimdLevel activeSimdLevel();
// Makes the fast transforms use the given variant; returns false and
// changes nothing when it is not available.
bool selectSimdLevel(SimdLevel level);
