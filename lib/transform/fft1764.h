#pragma once

#include "base/complex.h"

// Forward DFTs (negative exponent, unscaled) of fixed sizes. Each reads its
// N inputs at src[m * srcStride] and writes N outputs at dst[k * dstStride] in
// natural order; src and dst must not overlap. All need the transform tables.
void dft3(const Complex* src, Complex* dst, int srcStride, int dstStride);
void dft4(const Complex* src, Complex* dst, int srcStride, int dstStride);
void dft7(const Complex* src, Complex* dst, int srcStride, int dstStride);
void dft9(const Complex* src, Complex* dst, int srcStride, int dstStride);
void dft49(const Complex* src, Complex* dst, int srcStride, int dstStride);
void dft441(const Complex* src, Complex* dst, int srcStride, int dstStride);
void fft1764(const Complex* src, Complex* dst, int srcStride, int dstStride);

// (1/1764) * sum x[m] e^(+2 pi i m k / 1764): the inverse of fft1764.
void inverseFft1764(const Complex* src, Complex* dst, int srcStride, int dstStride);
