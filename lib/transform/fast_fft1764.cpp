#include "transform/fast_fft1764.h"

#include "transform/fast_transform_kernels.h"

void fastFft1764(const Complex* src, Complex* dst) { activeTransformKernels().fft(src, dst); }

void fastInverseFft1764(const Complex* src, Complex* dst) { activeTransformKernels().inverseFft(src, dst); }
