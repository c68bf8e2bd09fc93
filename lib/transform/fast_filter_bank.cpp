#include "transform/fast_filter_bank.h"

#include "transform/transform_tables.h"

void fastAnalyzeFrame(const TransformKernels& kernels, const Complex* frame, Complex* left, Complex* right) {
    kernels.analyze(transformTables().fast, frame, left, right);
}

void fastSynthesizeFrame(const TransformKernels& kernels, const Complex* left, const Complex* right, Complex* out) {
    kernels.synthesize(transformTables().fast, left, right, out);
}

void fastSynthesizeFrameAdd(const TransformKernels& kernels, const Complex* left, const Complex* right,
                            Complex* accumulator) {
    kernels.synthesizeAdd(transformTables().fast, left, right, accumulator);
}
