#pragma once

#include "base/complex.h"
#include "simd/kernels.h"

// Fast forms of analyzeFrame and synthesizeFrame by the given instruction
// set's kernels: bit-identical spectra and windowed frames, several times
// quicker. The input may not overlap the outputs.
void fastAnalyzeFrame(const TransformKernels& kernels, const Complex* frame, Complex* left, Complex* right);
void fastSynthesizeFrame(const TransformKernels& kernels, const Complex* left, const Complex* right, Complex* out);
// Synthesis added into an overlap-add accumulator of 1764 values, with the
// bits of synthesizeFrame followed by acc[n] = acc[n] + out[n] (re and im),
// without the intermediate frame.
void fastSynthesizeFrameAdd(const TransformKernels& kernels, const Complex* left, const Complex* right,
                            Complex* accumulator);
