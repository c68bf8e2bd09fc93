// InstructionSet: the vector instruction sets the fast kernels are built
// for, and which of them this build and this processor can run.
#pragma once

#include <vector>

// Every variant gives the same bits; they differ only in speed.
enum class InstructionSet {
    portable,  // plain C++, no intrinsics; runs anywhere
    sse2,      // the x86-64 baseline
    avx2,      // chosen at run time where the processor has it
    avx512,    // AVX-512F, chosen at run time where the processor has it
};

const char* instructionSetName(InstructionSet set);
// Whether this build contains the variant and the processor can run it.
bool instructionSetAvailable(InstructionSet set);
// The fastest available variant.
InstructionSet bestInstructionSet();
// Every available variant, slowest first.
std::vector<InstructionSet> availableInstructionSets();
