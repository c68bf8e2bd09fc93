#include "transform/fast_filter_bank.h"

#include "transform/fast_transform_kernels.h"

void fastAnalyzeFrame(const Complex* frame, Complex* left, Complex* right) {
    activeTransformKernels().analyze(frame, left, right);
}

void fastSynthesizeFrame(const Complex* left, const Complex* right, Complex* out) {
    activeTransformKernels().synthesize(left, right, out);
}

void fastSynthesizeFrameAdd(const Complex* left, const Complex* right, Complex* accumulator) {
    activeTransformKernels().synthesizeAdd(left, right, accumulator);
}
