// 1764-point DFT as nested mixed-radix Cooley-Tukey transforms:
// 1764 = 4 x 441, 441 = 9 x 49, 9 = 3 x 3, 49 = 7 x 7. Every expression is
// evaluated in double from float operands, sums in the order written, and
// rounded to float where a value is stored: each kernel output, each element
// of the working arrays after the twiddle pass. Every root of unity comes
// from the precomputed tables, and every working array is automatic storage
// of fixed size.

#include "transform/fft1764.h"

#include "base/complex_ops.h"
#include "transform/transform_tables.h"

void dft3(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    const Complex* roots3 = transformTables().roots3;
    const double c = roots3[1].re;
    const double s = roots3[1].im;
    const Complex x0 = src[0];
    const Complex x1 = src[srcStride];
    const Complex x2 = src[2 * srcStride];
    const WideComplex sum = {static_cast<double>(x1.re) + x2.re, static_cast<double>(x1.im) + x2.im};
    const WideComplex diff = {static_cast<double>(x1.re) - x2.re, static_cast<double>(x1.im) - x2.im};
    const WideComplex base = {x0.re + c * sum.re, x0.im + c * sum.im};
    const WideComplex turn = {-(s * diff.im), s * diff.re};  // i * s * diff
    dst[0] = toFloat({x0.re + sum.re, x0.im + sum.im});
    dst[dstStride] = toFloat({base.re + turn.re, base.im + turn.im});
    dst[2 * dstStride] = toFloat({base.re - turn.re, base.im - turn.im});
}

void dft4(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    const Complex x0 = src[0];
    const Complex x1 = src[srcStride];
    const Complex x2 = src[2 * srcStride];
    const Complex x3 = src[3 * srcStride];
    const WideComplex a = {static_cast<double>(x0.re) + x2.re, static_cast<double>(x0.im) + x2.im};
    const WideComplex b = {static_cast<double>(x1.re) + x3.re, static_cast<double>(x1.im) + x3.im};
    const WideComplex c = {static_cast<double>(x0.re) - x2.re, static_cast<double>(x0.im) - x2.im};
    const WideComplex e = {static_cast<double>(x1.re) - x3.re, static_cast<double>(x1.im) - x3.im};
    dst[0] = toFloat({a.re + b.re, a.im + b.im});
    dst[dstStride] = toFloat({c.re + e.im, c.im - e.re});  // c - i*e
    dst[2 * dstStride] = toFloat({a.re - b.re, a.im - b.im});
    dst[3 * dstStride] = toFloat({c.re - e.im, c.im + e.re});  // c + i*e
}

// Inputs in conjugate pairs (k, 7-k): the cosine parts act on their sums,
// the sine parts on their differences.
void dft7(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    const Complex x0 = src[0];
    WideComplex sum[4];
    WideComplex diff[4];
    for (int k = 1; k <= 3; ++k) {
        const Complex a = src[k * srcStride];
        const Complex b = src[(7 - k) * srcStride];
        sum[k] = {static_cast<double>(a.re) + b.re, static_cast<double>(a.im) + b.im};
        diff[k] = {static_cast<double>(a.re) - b.re, static_cast<double>(a.im) - b.im};
    }
    dst[0] = toFloat({x0.re + sum[1].re + sum[2].re + sum[3].re, x0.im + sum[1].im + sum[2].im + sum[3].im});
    const Complex* roots7 = transformTables().roots7;
    for (int j = 1; j <= 3; ++j) {
        WideComplex even = {x0.re, x0.im};
        WideComplex odd = {0.0, 0.0};
        for (int k = 1; k <= 3; ++k) {
            const Complex w = roots7[(j * k) % 7];
            even.re = even.re + w.re * sum[k].re;
            even.im = even.im + w.re * sum[k].im;
            odd.re = odd.re - w.im * diff[k].im;
            odd.im = odd.im + w.im * diff[k].re;
        }
        dst[j * dstStride] = toFloat({even.re + odd.re, even.im + odd.im});
        dst[(7 - j) * dstStride] = toFloat({even.re - odd.re, even.im - odd.im});
    }
}

namespace {

using Kernel = void (*)(const Complex*, Complex*, int, int);

// N = P * Q, decimation in time: Q transforms of size P over the inputs
// q, q + Q, q + 2Q, ..., each output p twiddled by entry (p*q) mod N and
// stored at T[p*Q + q]; then P transforms of size Q over the rows of T,
// output r of row p going to position p + P*r.
template <int P, int Q, Kernel first, Kernel second>
void composite(const Complex* src, Complex* dst, int srcStride, int dstStride, const Complex* twiddles) {
    constexpr int N = P * Q;
    Complex t[N];
    Complex s[P];
    for (int q = 0; q < Q; ++q) {
        first(src + q * srcStride, s, Q * srcStride, 1);
        int index = 0;  // (p * q) mod N
        for (int p = 0; p < P; ++p) {
            t[p * Q + q] = complexProduct(s[p], twiddles[index]);
            index += q;
            if (index >= N) index -= N;
        }
    }
    for (int p = 0; p < P; ++p) second(t + p * Q, dst + p * dstStride, 1, P * dstStride);
}

}  // namespace

void dft9(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    composite<3, 3, dft3, dft3>(src, dst, srcStride, dstStride, transformTables().roots9);
}

void dft49(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    composite<7, 7, dft7, dft7>(src, dst, srcStride, dstStride, transformTables().roots49);
}

void dft441(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    composite<9, 49, dft9, dft49>(src, dst, srcStride, dstStride, transformTables().roots441);
}

void fft1764(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    composite<4, 441, dft4, dft441>(src, dst, srcStride, dstStride, transformTables().roots1764);
}

// Reading the input in reversed index order (m -> -m mod 1764) turns the
// forward transform into the one with positive exponent.
void inverseFft1764(const Complex* src, Complex* dst, int srcStride, int dstStride) {
    constexpr int N = 1764;
    const float scale = 1.0f / 1764.0f;  // 0x3A149B93
    Complex t[N];
    for (int m = 0; m < N; ++m) {
        const Complex x = src[((N - m) % N) * srcStride];
        t[m] = toFloat({static_cast<double>(x.re) * scale, static_cast<double>(x.im) * scale});
    }
    fft1764(t, dst, 1, dstStride);
}
