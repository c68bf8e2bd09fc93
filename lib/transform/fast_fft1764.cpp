#include "transform/fast_fft1764.h"

#include "transform/transform_tables.h"

void fastFft1764(const TransformKernels& kernels, const Complex* src, Complex* dst) {
    kernels.fft(transformTables().fast, src, dst);
}

void fastInverseFft1764(const TransformKernels& kernels, const Complex* src, Complex* dst) {
    kernels.inverseFft(transformTables().fast, src, dst);
}
