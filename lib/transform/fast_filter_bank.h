#pragma once

#include "base/complex.h"

// Fast forms of analyzeFrame and synthesizeFrame: bit-identical spectra and
// windowed frames, several times quicker. The input may not overlap the
// outputs. Independent of initTransformTables.
void fastAnalyzeFrame(const Complex* frame, Complex* left, Complex* right);
void fastSynthesizeFrame(const Complex* left, const Complex* right, Complex* out);
// Synthesis added into an overlap-add accumulator of 1764 values, with the
// bits of synthesizeFrame followed by acc[n] = acc[n] + out[n] (re and im),
// without the intermediate frame.
void fastSynthesizeFrameAdd(const Complex* left, const Complex* right, Complex* accumulator);
