// FastTransformKernels: the table of fast transforms for one instruction set.
#pragma once

#include "base/complex.h"

// One instruction-set variant of the fast transforms; see fast_fft1764.h
// and fast_filter_bank.h for what each entry computes.
struct FastTransformKernels {
    void (*fft)(const Complex* src, Complex* dst);
    void (*inverseFft)(const Complex* src, Complex* dst);
    void (*analyze)(const Complex* frame, Complex* left, Complex* right);
    void (*synthesize)(const Complex* left, const Complex* right, Complex* out);
    void (*synthesizeAdd)(const Complex* left, const Complex* right, Complex* accumulator);
};

// Each variant, or nullptr where this build does not contain it. Whether
// the processor can run it is decided by simdLevelAvailable.
const FastTransformKernels* portableTransformKernels();
const FastTransformKernels* sse2TransformKernels();
const FastTransformKernels* avx2TransformKernels();

// The variant selected through simd_level.h (the best one by default).
const FastTransformKernels& activeTransformKernels();
