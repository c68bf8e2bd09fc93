#include <initializer_list>

#include "simd/kernel_sources.h"

namespace {

const SimdKernels* builtKernels(InstructionSet set) {
    switch (set) {
        case InstructionSet::portable: return portableKernels();
        case InstructionSet::sse2: return sse2Kernels();
        case InstructionSet::avx2: return avx2Kernels();
        case InstructionSet::avx512: return avx512Kernels();
    }
    return nullptr;
}

bool processorRuns(InstructionSet set) {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    switch (set) {
        case InstructionSet::avx2: return __builtin_cpu_supports("avx2");
        case InstructionSet::avx512: return __builtin_cpu_supports("avx512f");
        default: return true;  // SSE2 is part of x86-64; portable runs anywhere
    }
#else
    return set == InstructionSet::portable || set == InstructionSet::sse2;
#endif
}

}  // namespace

const char* instructionSetName(InstructionSet set) {
    switch (set) {
        case InstructionSet::portable: return "portable";
        case InstructionSet::sse2: return "sse2";
        case InstructionSet::avx2: return "avx2";
        case InstructionSet::avx512: return "avx512";
    }
    return "unknown";
}

bool instructionSetAvailable(InstructionSet set) { return builtKernels(set) != nullptr && processorRuns(set); }

std::vector<InstructionSet> availableInstructionSets() {
    std::vector<InstructionSet> sets;
    for (InstructionSet set :
         {InstructionSet::portable, InstructionSet::sse2, InstructionSet::avx2, InstructionSet::avx512})
        if (instructionSetAvailable(set)) sets.push_back(set);
    return sets;
}

InstructionSet bestInstructionSet() {
    for (InstructionSet set : {InstructionSet::avx512, InstructionSet::avx2, InstructionSet::sse2})
        if (instructionSetAvailable(set)) return set;
    return InstructionSet::portable;
}

const SimdKernels* simdKernels(InstructionSet set) {
    return instructionSetAvailable(set) ? builtKernels(set) : nullptr;
}

const SimdKernels& bestSimdKernels() { return *simdKernels(bestInstructionSet()); }
