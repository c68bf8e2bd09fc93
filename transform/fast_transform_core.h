#pragma once

// The fast 1764-point transforms and filter bank, written once over a
// "lanes" type L that holds four floats:
//   L::V                          the vector type, with +, -, * and unary -
//   L::load/store(p)              four floats at a 16-byte aligned address
//   L::loadu/storeu(p)            the same, any alignment
//   L::set1(x), L::zero()         broadcast
//   L::reverse(v)                 lanes 3, 2, 1, 0
//   L::transpose(a, b, c, d)      4 x 4 transpose, a..d holding the rows
//   L::loadComplex(src, re, im)   four Complex split into real and imaginary lanes
//   L::storeComplex(dst, re, im)  the reverse
//
// Bit-exactness. The decomposition is the one of fft1764.cpp: 1764 = 4 x 441,
// 441 = 9 x 49, 9 = 3 x 3, 49 = 7 x 7, each level a decimation-in-time
// step with the same twiddle factors, and the 3-, 4- and 7-point kernels
// below repeat the reference kernels expression by expression. Only the
// schedule differs: after the first level the four 441-point transforms are
// independent and identical, so they run side by side, one per lane, and
// the 4-point stage runs four columns per vector. Every output float is thus
// the result of the same float operations on the same operands in the same
// order as in the reference, and rounds to the same bits. The filter-bank
// passes likewise evaluate the reference expressions per element.
//
// Each translation unit that includes this file supplies its own lanes type
// in an unnamed namespace, so every instantiation stays local to that unit:
// code compiled for a wider instruction set can never be picked by the
// linker for another unit.

#include "transform/complex.h"
#include "transform/fast_transform_plan.h"

namespace fastcore {

constexpr int fftLength = 1764;
constexpr int subLength = 441;  // length of each of the four lane transforms
// Working arrays: the split input (1764 values + padding read by the
// last group of the 4-point stage) or 441 four-lane complex values.
constexpr int paddedLength = 1768;
constexpr int workFloats = 2 * paddedLength;

template <class V>
struct CV {
    V re;
    V im;
};

// complexProduct(a, w): re = a.re*w.re - a.im*w.im, im = a.im*w.re + a.re*w.im.
template <class V>
inline CV<V> rotate(const CV<V>& a, V wr, V wi) {
    return {a.re * wr - a.im * wi, a.im * wr + a.re * wi};
}

// complexProduct(a, (1, 0)): x*1 is exactly x, so only those products are
// dropped; the products with 0 stay because they decide the sign of a zero.
template <class V>
inline CV<V> rotateByOne(const CV<V>& a, V zero) {
    return {a.re - a.im * zero, a.im + a.re * zero};
}

template <class L>
inline CV<typename L::V> loadCV(const float* block, int index) {
    return {L::load(block + 8 * index), L::load(block + 8 * index + 4)};
}

template <class L>
inline void storeCV(float* block, int index, const CV<typename L::V>& x) {
    L::store(block + 8 * index, x.re);
    L::store(block + 8 * index + 4, x.im);
}

// Reference dft3.
template <class V>
inline void dft3(const CV<V>& x0, const CV<V>& x1, const CV<V>& x2, CV<V>& y0, CV<V>& y1, CV<V>& y2, V c, V s) {
    const CV<V> sum = {x1.re + x2.re, x1.im + x2.im};
    const CV<V> diff = {x1.re - x2.re, x1.im - x2.im};
    const CV<V> base = {x0.re + c * sum.re, x0.im + c * sum.im};
    const CV<V> turn = {-(s * diff.im), s * diff.re};
    y0 = {x0.re + sum.re, x0.im + sum.im};
    y1 = {base.re + turn.re, base.im + turn.im};
    y2 = {base.re - turn.re, base.im - turn.im};
}

// Reference dft7 with roots7 broadcast into wr/wi.
template <class V>
inline void dft7(const CV<V>* x, CV<V>* y, const V* wr, const V* wi, V zero) {
    CV<V> sum[4];
    CV<V> diff[4];
    for (int k = 1; k <= 3; ++k) {
        sum[k] = {x[k].re + x[7 - k].re, x[k].im + x[7 - k].im};
        diff[k] = {x[k].re - x[7 - k].re, x[k].im - x[7 - k].im};
    }
    y[0] = {x[0].re + sum[1].re + sum[2].re + sum[3].re, x[0].im + sum[1].im + sum[2].im + sum[3].im};
    for (int j = 1; j <= 3; ++j) {
        CV<V> even = x[0];
        CV<V> odd = {zero, zero};
        for (int k = 1; k <= 3; ++k) {
            const int w = (j * k) % 7;
            even.re = even.re + wr[w] * sum[k].re;
            even.im = even.im + wr[w] * sum[k].im;
            odd.re = odd.re - wi[w] * diff[k].im;
            odd.im = odd.im + wi[w] * diff[k].re;
        }
        y[j] = {even.re + odd.re, even.im + odd.im};
        y[7 - j] = {even.re - odd.re, even.im - odd.im};
    }
}

// First level: 4-point transforms of columns q (inputs q + 441 m), four
// columns per vector, twiddled by W1764^(p q), then transposed so that
// column q becomes one four-lane value whose lane p is row p.
template <class L>
inline void radix4Stage(const float* inRe, const float* inIm, float* columns, const FastTransformPlan& plan) {
    using V = typename L::V;
    const V zero = L::zero();
    for (int q = 0; q < FastTransformPlan::radix4Columns; q += 4) {
        CV<V> x[4];
        for (int m = 0; m < 4; ++m) x[m] = {L::loadu(inRe + q + subLength * m), L::loadu(inIm + q + subLength * m)};
        const CV<V> a = {x[0].re + x[2].re, x[0].im + x[2].im};
        const CV<V> b = {x[1].re + x[3].re, x[1].im + x[3].im};
        const CV<V> c = {x[0].re - x[2].re, x[0].im - x[2].im};
        const CV<V> e = {x[1].re - x[3].re, x[1].im - x[3].im};
        CV<V> t0 = rotateByOne(CV<V>{a.re + b.re, a.im + b.im}, zero);
        CV<V> t1 = rotate(CV<V>{c.re + e.im, c.im - e.re}, L::load(plan.radix4Re[0] + q), L::load(plan.radix4Im[0] + q));
        CV<V> t2 = rotate(CV<V>{a.re - b.re, a.im - b.im}, L::load(plan.radix4Re[1] + q), L::load(plan.radix4Im[1] + q));
        CV<V> t3 = rotate(CV<V>{c.re - e.im, c.im + e.re}, L::load(plan.radix4Re[2] + q), L::load(plan.radix4Im[2] + q));
        L::transpose(t0.re, t1.re, t2.re, t3.re);
        L::transpose(t0.im, t1.im, t2.im, t3.im);
        storeCV<L>(columns, q, t0);
        if (q + 1 < subLength) storeCV<L>(columns, q + 1, t1);
        if (q + 2 < subLength) storeCV<L>(columns, q + 2, t2);
        if (q + 3 < subLength) storeCV<L>(columns, q + 3, t3);
    }
}

// 441 = 9 x 49, first part: the 9-point transform (itself 3 x 3) of each
// column q2 (inputs q2 + 49 m), output p2 twiddled by W441^(p2 q2) and
// stored at p2 * 49 + q2.
template <class L>
inline void radix9Stage(const float* in, float* out, const FastTransformPlan& plan) {
    using V = typename L::V;
    const V zero = L::zero();
    const V c = L::set1(plan.dft3Cos);
    const V s = L::set1(plan.dft3Sin);
    const V w1r = L::set1(plan.stage9Re[1][1]), w1i = L::set1(plan.stage9Im[1][1]);
    const V w2r = L::set1(plan.stage9Re[2][1]), w2i = L::set1(plan.stage9Im[2][1]);
    const V w4r = L::set1(plan.stage9Re[2][2]), w4i = L::set1(plan.stage9Im[2][2]);
    for (int q2 = 0; q2 < 49; ++q2) {
        CV<V> x[9];
        for (int m = 0; m < 9; ++m) x[m] = loadCV<L>(in, q2 + 49 * m);
        // t[p3 * 3 + q3]: 3-point transform of inputs q3, q3 + 3, q3 + 6, output p3, twiddled by W9^(p3 q3).
        CV<V> t[9];
        for (int q3 = 0; q3 < 3; ++q3) dft3(x[q3], x[q3 + 3], x[q3 + 6], t[q3], t[3 + q3], t[6 + q3], c, s);
        for (int q3 = 0; q3 < 3; ++q3) t[q3] = rotateByOne(t[q3], zero);
        t[3] = rotateByOne(t[3], zero);
        t[6] = rotateByOne(t[6], zero);
        t[4] = rotate(t[4], w1r, w1i);
        t[5] = rotate(t[5], w2r, w2i);
        t[7] = rotate(t[7], w2r, w2i);
        t[8] = rotate(t[8], w4r, w4i);
        CV<V> y[9];  // y[p3 + 3 r3]
        for (int p3 = 0; p3 < 3; ++p3) dft3(t[3 * p3], t[3 * p3 + 1], t[3 * p3 + 2], y[p3], y[p3 + 3], y[p3 + 6], c, s);
        for (int p2 = 0; p2 < 9; ++p2) {
            const CV<V> z = (p2 == 0 || q2 == 0)
                                ? rotateByOne(y[p2], zero)
                                : rotate(y[p2], L::set1(plan.stage441Re[q2][p2]), L::set1(plan.stage441Im[q2][p2]));
            storeCV<L>(out, p2 * 49 + q2, z);
        }
    }
}

// 441 = 9 x 49, second part: the 49-point transform (itself 7 x 7) of each
// row p2; its output j is output p2 + 9 j of the 441-point transform, whose
// lane p in turn is output p + 4 (p2 + 9 j) of the 1764-point transform.
// emit(k, value) receives 1764-point outputs 4k .. 4k + 3.
template <class L, class Emit>
inline void radix49Stage(const float* in, const FastTransformPlan& plan, Emit& emit) {
    using V = typename L::V;
    const V zero = L::zero();
    V wr[7];
    V wi[7];
    for (int k = 0; k < 7; ++k) {
        wr[k] = L::set1(plan.dft7Re[k]);
        wi[k] = L::set1(plan.dft7Im[k]);
    }
    for (int p2 = 0; p2 < 9; ++p2) {
        const float* row = in + 8 * 49 * p2;
        CV<V> t[49];  // t[p4 * 7 + q4]
        for (int q4 = 0; q4 < 7; ++q4) {
            CV<V> x[7];
            CV<V> y[7];
            for (int m = 0; m < 7; ++m) x[m] = loadCV<L>(row, q4 + 7 * m);
            dft7(x, y, wr, wi, zero);
            for (int p4 = 0; p4 < 7; ++p4) {
                t[p4 * 7 + q4] = (p4 == 0 || q4 == 0)
                                     ? rotateByOne(y[p4], zero)
                                     : rotate(y[p4], L::set1(plan.stage49Re[q4][p4]), L::set1(plan.stage49Im[q4][p4]));
            }
        }
        for (int p4 = 0; p4 < 7; ++p4) {
            CV<V> y[7];
            dft7(t + 7 * p4, y, wr, wi, zero);
            for (int r4 = 0; r4 < 7; ++r4) emit(p2 + 9 * (p4 + 7 * r4), y[r4]);
        }
    }
}

// The forward 1764-point transform of the split input in inRe/inIm
// (paddedLength floats each, the padding defined); work must hold
// workFloats floats and may be the input's own storage.
template <class L, class Emit>
inline void forward1764(const float* inRe, const float* inIm, float* work, Emit& emit, const FastTransformPlan& plan) {
    alignas(64) float columns[workFloats];
    radix4Stage<L>(inRe, inIm, columns, plan);
    radix9Stage<L>(columns, work, plan);
    radix49Stage<L>(work, plan, emit);
}

template <class L>
inline void clearPadding(float* re, float* im) {
    for (int n = fftLength; n < paddedLength; ++n) {
        re[n] = 0.0f;
        im[n] = 0.0f;
    }
}

template <class L>
struct StoreNatural {
    Complex* dst;
    void operator()(int k, const CV<typename L::V>& y) const { L::storeComplex(dst + 4 * k, y.re, y.im); }
};

template <class L>
void fft(const Complex* src, Complex* dst) {
    const FastTransformPlan& plan = fastTransformPlan();
    alignas(64) float work[workFloats];
    float* re = work;
    float* im = work + paddedLength;
    for (int n = 0; n < fftLength; n += 4) {
        typename L::V xr, xi;
        L::loadComplex(src + n, xr, xi);
        L::store(re + n, xr);
        L::store(im + n, xi);
    }
    clearPadding<L>(re, im);
    StoreNatural<L> emit{dst};
    forward1764<L>(re, im, work, emit, plan);
}

// The input at index (1764 - m) mod 1764, times the float 1/1764, becomes
// input m of the forward transform. Values are written in reversed groups
// of four at m = 1761 - n .. 1764 - n; index 1764 collects m = 0.
template <class L>
inline void storeReversedScaled(float* re, float* im, int n, typename L::V xr, typename L::V xi) {
    const typename L::V scale = L::set1(1.0f / 1764.0f);
    L::storeu(re + 1761 - n, L::reverse(xr * scale));
    L::storeu(im + 1761 - n, L::reverse(xi * scale));
}

template <class L>
inline void finishReversed(float* re, float* im) {
    re[0] = re[fftLength];
    im[0] = im[fftLength];
    clearPadding<L>(re, im);
}

template <class L>
void inverseFft(const Complex* src, Complex* dst) {
    const FastTransformPlan& plan = fastTransformPlan();
    alignas(64) float work[workFloats];
    float* re = work;
    float* im = work + paddedLength;
    for (int n = 0; n < fftLength; n += 4) {
        typename L::V xr, xi;
        L::loadComplex(src + n, xr, xi);
        storeReversedScaled<L>(re, im, n, xr, xi);
    }
    finishReversed<L>(re, im);
    StoreNatural<L> emit{dst};
    forward1764<L>(re, im, work, emit, plan);
}

// Analysis: z[k] * invRoots7056[2k + 1], kept split for the separation.
template <class L>
struct StoreAnalysisSpectrum {
    float* zRe;
    float* zIm;
    const FastTransformPlan& plan;
    void operator()(int k, const CV<typename L::V>& y) const {
        const int n = 4 * k;
        const CV<typename L::V> z = rotate(y, L::load(plan.analysisPostRe + n), L::load(plan.analysisPostIm + n));
        L::store(zRe + n, z.re);
        L::store(zIm + n, z.im);
    }
};

// complexProduct for the few bins handled one at a time.
template <class L>
inline Complex productOf(Complex a, float wr, float wi) {
    return {a.re * wr - a.im * wi, a.im * wr + a.re * wi};
}

template <class L>
void analyze(const Complex* frame, Complex* left, Complex* right) {
    using V = typename L::V;
    const FastTransformPlan& plan = fastTransformPlan();
    alignas(64) float work[workFloats];
    float* re = work;
    float* im = work + paddedLength;
    // Window, rotate by invRoots3528[n], then the inverse transform's reversal and scale.
    for (int n = 0; n < fftLength; n += 4) {
        V fr, fi;
        L::loadComplex(frame + n, fr, fi);
        const V w = L::load(plan.window + n);
        const CV<V> windowed = {fr * w, fi * w};
        const CV<V> y = rotate(windowed, L::load(plan.analysisPreRe + n), L::load(plan.analysisPreIm + n));
        storeReversedScaled<L>(re, im, n, y.re, y.im);
    }
    finishReversed<L>(re, im);

    alignas(64) float spectrum[workFloats];
    float* zRe = spectrum;
    float* zIm = spectrum + paddedLength;
    StoreAnalysisSpectrum<L> emit{zRe, zIm, plan};
    forward1764<L>(re, im, work, emit, plan);

    // Separation of the pair (k, 1763 - k) and the rotation by e^(-i pi (2k+1)/4).
    const V half = L::set1(0.5f);
    const V turnRe = L::load(plan.analysisTurnRe);
    const V turnIm = L::load(plan.analysisTurnIm);
    int k = 0;
    for (; k + 4 <= 880; k += 4) {
        const CV<V> p = {L::load(zRe + k), L::load(zIm + k)};
        const CV<V> q = {L::reverse(L::load(zRe + 1760 - k)), L::reverse(L::load(zIm + 1760 - k))};
        const CV<V> first = {half * (p.im + q.im), half * (q.re - p.re)};
        const CV<V> second = {half * (-p.re - q.re), half * (q.im - p.im)};
        const CV<V> l = rotate(first, turnRe, turnIm);
        const CV<V> r = rotate(second, turnRe, turnIm);
        L::storeComplex(left + k, l.re, l.im);
        L::storeComplex(right + k, r.re, r.im);
    }
    for (; k < 882; ++k) {
        const Complex p = {zRe[k], zIm[k]};
        const Complex q = {zRe[1763 - k], zIm[1763 - k]};
        const Complex first = {0.5f * (p.im + q.im), 0.5f * (q.re - p.re)};
        const Complex second = {0.5f * (-p.re - q.re), 0.5f * (q.im - p.im)};
        left[k] = productOf<L>(first, plan.analysisTurnRe[k % 4], plan.analysisTurnIm[k % 4]);
        right[k] = productOf<L>(second, plan.analysisTurnRe[k % 4], plan.analysisTurnIm[k % 4]);
    }
}

// Synthesis: t = Y[n] * roots3528[n], then the window.
template <class L>
struct StoreWindowed {
    Complex* out;
    const FastTransformPlan& plan;
    void operator()(int k, const CV<typename L::V>& y) const {
        const int n = 4 * k;
        const CV<typename L::V> t = rotate(y, L::load(plan.synthesisPostRe + n), L::load(plan.synthesisPostIm + n));
        const typename L::V w = L::load(plan.window + n);
        L::storeComplex(out + n, t.re * w, t.im * w);
    }
};

template <class L>
void synthesize(const Complex* left, const Complex* right, Complex* out) {
    using V = typename L::V;
    const FastTransformPlan& plan = fastTransformPlan();
    alignas(64) float work[workFloats];
    float* re = work;
    float* im = work + paddedLength;
    // Rotate both bins by e^(+i pi (2k+1)/4), merge into the pair (k, 1763 - k),
    // then rotate each by roots7056[2n + 1].
    const V turnRe = L::load(plan.synthesisTurnRe);
    const V turnIm = L::load(plan.synthesisTurnIm);
    int k = 0;
    for (; k + 4 <= 880; k += 4) {
        CV<V> l, r;
        L::loadComplex(left + k, l.re, l.im);
        L::loadComplex(right + k, r.re, r.im);
        const CV<V> a = rotate(l, turnRe, turnIm);
        const CV<V> b = rotate(r, turnRe, turnIm);
        const CV<V> p = {-b.re - a.im, a.re - b.im};
        const CV<V> q = {a.im - b.re, a.re + b.im};
        const CV<V> zp = rotate(p, L::load(plan.synthesisPreRe + k), L::load(plan.synthesisPreIm + k));
        const int n = 1760 - k;  // q holds indices 1763 - k .. 1760 - k
        const CV<V> zq = rotate(CV<V>{L::reverse(q.re), L::reverse(q.im)}, L::load(plan.synthesisPreRe + n),
                                L::load(plan.synthesisPreIm + n));
        L::store(re + k, zp.re);
        L::store(im + k, zp.im);
        L::store(re + n, zq.re);
        L::store(im + n, zq.im);
    }
    for (; k < 882; ++k) {
        const Complex a = productOf<L>(left[k], plan.synthesisTurnRe[k % 4], plan.synthesisTurnIm[k % 4]);
        const Complex b = productOf<L>(right[k], plan.synthesisTurnRe[k % 4], plan.synthesisTurnIm[k % 4]);
        const Complex p = productOf<L>({-b.re - a.im, a.re - b.im}, plan.synthesisPreRe[k], plan.synthesisPreIm[k]);
        const int n = 1763 - k;
        const Complex q = productOf<L>({a.im - b.re, a.re + b.im}, plan.synthesisPreRe[n], plan.synthesisPreIm[n]);
        re[k] = p.re;
        im[k] = p.im;
        re[n] = q.re;
        im[n] = q.im;
    }
    clearPadding<L>(re, im);
    StoreWindowed<L> emit{out, plan};
    forward1764<L>(re, im, work, emit, plan);
}

}  // namespace fastcore
