#pragma once

#include "transform/complex.h"

// Fast forms of analyzeFrame and synthesizeFrame: bit-identical spectra and
// windowed frames, several times quicker. The input may not overlap the
// outputs. Independent of initTransformTables.
void fastAnalyzeFrame(const Complex* frame, Complex* left, Complex* right);
void fastSynthesizeFrame(const Complex* left, const Complex* right, Complex* out);
