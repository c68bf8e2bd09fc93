// CV, QuadEngine and the Store and Add helpers: the building blocks the fast
// 1764-point transforms are written from, once for every instruction set.
#pragma once

// The fast 1764-point transforms and filter bank, written once over the
// width-4 double lanes of lanes.h (M below), so that the portable and the
// SIMD variants come from the same source; memory holds floats, widened on
// load and rounded on store; narrow(v) is a value stored as a float and
// kept in a register.
//
// Bit-exactness. The decomposition is the one of fft1764.cpp: 1764 = 4 x 441,
// 441 = 9 x 49, 9 = 3 x 3, 49 = 7 x 7, each level a decimation-in-time
// step with the same twiddle factors, and the 3-, 4- and 7-point kernels
// below repeat the reference kernels expression by expression: in double,
// rounded to float wherever the reference stores (each kernel output, each
// twiddled element). Only the schedule differs: after the first level the
// four 441-point transforms are independent and identical, so they run side
// by side, one per lane, and the 4-point stage runs one column per lane.
// Every output float is thus the result of the same double operations on
// the same operands in the same order as in the reference, each correctly
// rounded in a lane as in a scalar register, and rounds to the same bits.
// The filter-bank passes likewise evaluate the reference expressions per
// element.
//
// Each translation unit that includes this file supplies its own lanes
// types in an unnamed namespace, so every instantiation stays local to that
// unit: code compiled for a wider instruction set can never be picked by
// the linker for another unit.

#include "base/complex.h"
#include "base/complex_ops.h"
#include "simd/transform_plan.h"

namespace fastcore {

constexpr int fftLength = 1764;
constexpr int subLength = 441;  // length of each of the four lane transforms
// The split input of the forward transform: 1764 values and a padding that
// the last group of the 4-point stage reads (its results are dropped).
constexpr int paddedLength = 1776;

template <class V>
struct CV {
    V re;
    V im;
};

// wideProduct(a, w): re = a.re*w.re - a.im*w.im, im = a.im*w.re + a.re*w.im, not rounded.
template <class V>
inline CV<V> rotate(const CV<V>& a, V wr, V wi) {
    return {a.re * wr - a.im * wi, a.im * wr + a.re * wi};
}

// wideProduct(a, (1, 0)): x*1 is exactly x, so only those products are
// dropped; the products with 0 stay because they decide the sign of a zero.
template <class V>
inline CV<V> rotateByOne(const CV<V>& a, V zero) {
    return {a.re - a.im * zero, a.im + a.re * zero};
}

template <class V>
inline CV<V> narrowCV(const CV<V>& x) {
    return {narrow(x.re), narrow(x.im)};
}

// A complex vector stored as width real parts followed by width imaginary parts.
template <class M>
inline CV<typename M::V> loadCV(const float* at) {
    return {M::load(at), M::load(at + M::width)};
}

template <class M>
inline void storeCV(float* at, const CV<typename M::V>& x) {
    M::store(at, x.re);
    M::store(at + M::width, x.im);
}

// Reference dft3; the outputs are rounded to float.
template <class V>
inline void dft3(const CV<V>& x0, const CV<V>& x1, const CV<V>& x2, CV<V>& y0, CV<V>& y1, CV<V>& y2, V c, V s) {
    const CV<V> sum = {x1.re + x2.re, x1.im + x2.im};
    const CV<V> diff = {x1.re - x2.re, x1.im - x2.im};
    const CV<V> base = {x0.re + c * sum.re, x0.im + c * sum.im};
    const CV<V> turn = {-(s * diff.im), s * diff.re};
    y0 = {narrow(x0.re + sum.re), narrow(x0.im + sum.im)};
    y1 = {narrow(base.re + turn.re), narrow(base.im + turn.im)};
    y2 = {narrow(base.re - turn.re), narrow(base.im - turn.im)};
}

// Reference dft4 (first level of the 1764-point transform), outputs rounded.
template <class V>
inline void dft4(const CV<V>* x, CV<V>* y) {
    const CV<V> a = {x[0].re + x[2].re, x[0].im + x[2].im};
    const CV<V> b = {x[1].re + x[3].re, x[1].im + x[3].im};
    const CV<V> c = {x[0].re - x[2].re, x[0].im - x[2].im};
    const CV<V> e = {x[1].re - x[3].re, x[1].im - x[3].im};
    y[0] = {narrow(a.re + b.re), narrow(a.im + b.im)};
    y[1] = {narrow(c.re + e.im), narrow(c.im - e.re)};
    y[2] = {narrow(a.re - b.re), narrow(a.im - b.im)};
    y[3] = {narrow(c.re - e.im), narrow(c.im + e.re)};
}

// Reference dft7 with roots7 broadcast into wr/wi, outputs rounded; with
// rounded false the outputs are left for the caller to round (a store does).
template <class V, bool rounded = true>
inline void dft7(const CV<V>* x, CV<V>* y, const V* wr, const V* wi, V zero) {
    auto out = [](V v) { return rounded ? narrow(v) : v; };
    CV<V> sum[4];
    CV<V> diff[4];
    for (int k = 1; k <= 3; ++k) {
        sum[k] = {x[k].re + x[7 - k].re, x[k].im + x[7 - k].im};
        diff[k] = {x[k].re - x[7 - k].re, x[k].im - x[7 - k].im};
    }
    y[0] = {out(x[0].re + sum[1].re + sum[2].re + sum[3].re), out(x[0].im + sum[1].im + sum[2].im + sum[3].im)};
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
        y[j] = {out(even.re + odd.re), out(even.im + odd.im)};
        y[7 - j] = {out(even.re - odd.re), out(even.im - odd.im)};
    }
}

// The 4-point transforms of the columns q .. q + width - 1 (inputs
// q + 441 m), one column per lane, twiddled by W1764^(p q): y[p] is row p,
// not yet rounded (the caller stores it).
template <class M>
inline void radix4Group(const float* inRe, const float* inIm, int q, CV<typename M::V>* y,
                          const FastTransformPlan& plan) {
    using V = typename M::V;
    CV<V> x[4];
    for (int m = 0; m < 4; ++m) x[m] = {M::load(inRe + q + subLength * m), M::load(inIm + q + subLength * m)};
    dft4(x, y);
    y[0] = rotateByOne(y[0], M::zero());
    for (int p = 1; p < 4; ++p) y[p] = rotate(y[p], M::load(plan.radix4WideRe[p - 1] + q), M::load(plan.radix4WideIm[p - 1] + q));
}

// The 9-point transform (3 x 3) of x[0..8], result in natural order.
template <class V>
inline void dft9(const CV<V>* x, CV<V>* y, V c, V s, V zero, const V* w9r, const V* w9i) {
    // t[p3 * 3 + q3]: output p3 of the 3-point transform of inputs q3, q3 + 3, q3 + 6, twiddled by W9^(p3 q3).
    CV<V> t[9];
    for (int q3 = 0; q3 < 3; ++q3) dft3(x[q3], x[q3 + 3], x[q3 + 6], t[q3], t[3 + q3], t[6 + q3], c, s);
    // The factor 1 leaves a float as it is (or a zero with another sign, or a
    // NaN of a float), so those products need no rounding.
    for (int q3 = 0; q3 < 3; ++q3) t[q3] = rotateByOne(t[q3], zero);
    t[3] = rotateByOne(t[3], zero);
    t[6] = rotateByOne(t[6], zero);
    t[4] = narrowCV(rotate(t[4], w9r[1], w9i[1]));
    t[5] = narrowCV(rotate(t[5], w9r[2], w9i[2]));
    t[7] = narrowCV(rotate(t[7], w9r[2], w9i[2]));
    t[8] = narrowCV(rotate(t[8], w9r[4], w9i[4]));
    for (int p3 = 0; p3 < 3; ++p3) dft3(t[3 * p3], t[3 * p3 + 1], t[3 * p3 + 2], y[p3], y[p3 + 3], y[p3 + 6], c, s);
}

// Constants of the 3-, 7- and 9-point kernels, broadcast once per call.
template <class M>
struct KernelConstants {
    using V = typename M::V;
    V zero, c3, s3;
    V w7r[7], w7i[7];
    V w9r[5], w9i[5];  // W9^1, W9^2 and W9^4 at their exponents

    explicit KernelConstants(const FastTransformPlan& plan) {
        zero = M::zero();
        c3 = M::set1(plan.dft3Cos);
        s3 = M::set1(plan.dft3Sin);
        for (int k = 0; k < 7; ++k) {
            w7r[k] = M::set1(plan.dft7Re[k]);
            w7i[k] = M::set1(plan.dft7Im[k]);
        }
        for (int e = 0; e < 5; ++e) w9r[e] = w9i[e] = zero;
        const int q[3] = {1, 2, 2}, p[3] = {1, 1, 2};  // stage9[q][p] = W9^(p q)
        for (int i = 0; i < 3; ++i) {
            w9r[p[i] * q[i]] = M::set1(plan.stage9Re[q[i]][p[i]]);
            w9i[p[i] * q[i]] = M::set1(plan.stage9Im[q[i]][p[i]]);
        }
    }
};

// The 49-point transform (7 x 7) of one row of vectors x(j) = in(j),
// j = 0..48; out(j, value) takes output j, not yet rounded: it is the
// reference's stored output once rounded to float.
template <class M, class In, class Out>
inline void dft49Row(In& in, const KernelConstants<M>& k, const FastTransformPlan& plan, Out& out) {
    using V = typename M::V;
    CV<V> t[49];  // t[p4 * 7 + q4]
    for (int q4 = 0; q4 < 7; ++q4) {
        CV<V> x[7];
        CV<V> y[7];
        for (int m = 0; m < 7; ++m) x[m] = in(q4 + 7 * m);
        dft7(x, y, k.w7r, k.w7i, k.zero);
        // As in dft9, the products with 1 are floats already.
        for (int p4 = 0; p4 < 7; ++p4) {
            t[p4 * 7 + q4] = (p4 == 0 || q4 == 0) ? rotateByOne(y[p4], k.zero)
                                                  : narrowCV(rotate(y[p4], M::set1(plan.stage49WideRe[q4][p4]),
                                                                    M::set1(plan.stage49WideIm[q4][p4])));
        }
    }
    for (int p4 = 0; p4 < 7; ++p4) {
        CV<V> y[7];
        dft7<V, false>(t + 7 * p4, y, k.w7r, k.w7i, k.zero);
        for (int r4 = 0; r4 < 7; ++r4) out(p4 + 7 * r4, y[r4]);
    }
}

// The forward transform: after the 4-point level, lane p of
// every vector belongs to the 441-point transform of row p.
//   columns: 441 four-lane values, column q of the 4-point level;
//   rows:    the same after the 9-point level, index p2 * 49 + q2.
// The 441-point output p2 + 9 j of row p is 1764-point output p + 4 (p2 + 9 j),
// so each emitted vector is four consecutive outputs.
template <class L>
struct QuadEngine {
    using V = typename L::V;
    static constexpr int workFloats = 2 * paddedLength;  // also holds 441 pairs of 4 floats

    template <class Emit>
    static void run(const float* inRe, const float* inIm, float* work, Emit& emit, const FastTransformPlan& plan) {
        alignas(64) float columns[441 * 8];
        for (int q = 0; q < subLength; q += 4) {
            CV<V> y[4];
            radix4Group<L>(inRe, inIm, q, y, plan);
            L::transpose(y[0].re, y[1].re, y[2].re, y[3].re);
            L::transpose(y[0].im, y[1].im, y[2].im, y[3].im);
            for (int l = 0; l < 4 && q + l < subLength; ++l) storeCV<L>(columns + 8 * (q + l), y[l]);
        }
        const KernelConstants<L> k(plan);
        float* rows = work;  // the input is no longer needed
        for (int q2 = 0; q2 < 49; ++q2) {
            CV<V> x[9];
            CV<V> y[9];
            for (int m = 0; m < 9; ++m) x[m] = loadCV<L>(columns + 8 * (q2 + 49 * m));
            dft9(x, y, k.c3, k.s3, k.zero, k.w9r, k.w9i);
            for (int p2 = 0; p2 < 9; ++p2) {
                const CV<V> z = (p2 == 0 || q2 == 0)
                                    ? rotateByOne(y[p2], k.zero)
                                    : rotate(y[p2], L::set1(plan.stage441WideRe[q2][p2]), L::set1(plan.stage441WideIm[q2][p2]));
                storeCV<L>(rows + 8 * (p2 * 49 + q2), z);
            }
        }
        for (int p2 = 0; p2 < 9; ++p2) {
            auto in = [&](int j) { return loadCV<L>(rows + 8 * (49 * p2 + j)); };
            auto out = [&](int j, const CV<V>& y) { emit.template put<L>(p2 + 9 * j, y); };
            dft49Row<L>(in, k, plan, out);
        }
    }
};

// The forward transform on eight lanes (W, with its four-lane half H): the
// same operations on the same values as QuadEngine, two of its four-lane
// items per vector, so each instruction does the work of two.
//   columns: item q of the 4-point level, the four rows in lanes, at 4 q of
//            separate real and imaginary arrays; one vector is columns q, q + 1;
//   rows:    item (p2, q2) after the 9-point level, at 8 (50 (p2 / 2) + q2) +
//            4 (p2 % 2), so that one vector is rows p2, p2 + 1 of column q2.
// The 9-point level runs columns q2, q2 + 1 side by side (the odd 49th with
// the padding column 49, whose results go to the unused slot q2 = 49); the
// 49-point level runs rows p2, p2 + 1, whose outputs p2 + 9 j and p2 + 1 + 9 j
// are eight consecutive 1764-point outputs; row 8 runs alone on the half.
// Twiddles of an item apply to its four lanes alike, as in QuadEngine; the
// twiddle 1 there (rotateByOne) is a product with the table's (1, 0) here,
// which rounds the same: x * 1 is x exactly.
template <class W>
struct OctEngine {
    using V = typename W::V;
    using H = typename W::Half;
    static constexpr int paddedColumns = FastTransformPlan::radix4Columns;  // 448: 56 groups of 8
    static constexpr int rowFloats = 5 * 50 * 8;
    static constexpr int workFloats = 2 * rowFloats;

    template <class Emit>
    static void run(const float* inRe, const float* inIm, float* work, Emit& emit, const FastTransformPlan& plan) {
        alignas(64) float columnsRe[4 * paddedColumns];
        alignas(64) float columnsIm[4 * paddedColumns];
        for (int q = 0; q < paddedColumns; q += 8) {
            CV<V> y[4];
            radix4Group<W>(inRe, inIm, q, y, plan);
            W::storeRows4(columnsRe + 4 * q, y[0].re, y[1].re, y[2].re, y[3].re);
            W::storeRows4(columnsIm + 4 * q, y[0].im, y[1].im, y[2].im, y[3].im);
        }
        const KernelConstants<W> k(plan);
        float* rowsRe = work;  // the input is no longer needed
        float* rowsIm = work + rowFloats;
        for (int q2 = 0; q2 < 49; q2 += 2) {
            CV<V> x[9];
            CV<V> y[9];
            for (int m = 0; m < 9; ++m) {
                const int at = 4 * (q2 + 49 * m);
                x[m] = {W::load(columnsRe + at), W::load(columnsIm + at)};
            }
            dft9(x, y, k.c3, k.s3, k.zero, k.w9r, k.w9i);
            for (int p2 = 0; p2 < 9; ++p2) {
                // The padding column's twiddles (those of column 0) are any finite ones.
                const V wr = W::load(plan.stage441PairsRe[q2 / 2][p2]);
                const V wi = W::load(plan.stage441PairsIm[q2 / 2][p2]);
                const CV<V> z = rotate(y[p2], wr, wi);
                const int at = 8 * (50 * (p2 / 2) + q2) + 4 * (p2 % 2);
                W::storeSplit(rowsRe + at, rowsRe + at + 8, z.re);
                W::storeSplit(rowsIm + at, rowsIm + at + 8, z.im);
            }
        }
        for (int g = 0; g < 4; ++g) {
            auto in = [&](int j) { return CV<V>{W::load(rowsRe + 8 * (50 * g + j)), W::load(rowsIm + 8 * (50 * g + j))}; };
            auto out = [&](int j, const CV<V>& y) { emit.template put<W>(2 * g + 9 * j, y); };
            dft49Row<W>(in, k, plan, out);
        }
        using HV = typename H::V;
        const KernelConstants<H> half(plan);
        auto in = [&](int j) { return CV<HV>{H::load(rowsRe + 8 * (200 + j)), H::load(rowsIm + 8 * (200 + j))}; };
        auto out = [&](int j, const CV<HV>& y) { emit.template put<H>(8 + 9 * j, y); };
        dft49Row<H>(in, half, plan, out);
    }
};

// Runs body(lanes, n) over n = begin, begin + width, ... < end with the
// full-width lanes type, and over any remainder with its 4-lane half.
template <class L, class Body>
inline void forGroups(int begin, int end, Body&& body) {
    int n = begin;
    for (; n + L::width <= end; n += L::width) body(L{}, n);
    for (; n + 4 <= end; n += 4) body(typename L::Half{}, n);
}

template <class Engine>
struct WorkArea {
    alignas(64) float work[Engine::workFloats > 2 * paddedLength ? Engine::workFloats : 2 * paddedLength];
    float* re() { return work; }
    float* im() { return work + paddedLength; }
    void clearPadding() {
        for (int n = fftLength; n < paddedLength; ++n) {
            work[n] = 0.0f;
            work[paddedLength + n] = 0.0f;
        }
    }
};

// Outputs 4k .. 4k + width - 1 stored (rounded) as they are.
struct StoreNatural {
    Complex* dst;
    template <class M>
    void put(int k, const CV<typename M::V>& y) {
        M::storeComplex(dst + 4 * k, y.re, y.im);
    }
};

template <class L, class Engine>
void fft(const FastTransformPlan& plan, const Complex* src, Complex* dst) {
    WorkArea<Engine> area;
    float* re = area.re();
    float* im = area.im();
    forGroups<L>(0, fftLength, [&](auto lanes, int n) {
        using M = decltype(lanes);
        typename M::V xr, xi;
        M::loadComplex(src + n, xr, xi);
        M::store(re + n, xr);
        M::store(im + n, xi);
    });
    area.clearPadding();
    StoreNatural emit{dst};
    Engine::run(re, im, area.work, emit, plan);
}

// The input at index (1764 - m) mod 1764, times the float 1/1764, becomes
// input m of the forward transform: values n .. n + 3 go reversed to
// m = 1764 - n - 3 .. 1764 - n, and index 1764 collects m = 0. xr and xi
// hold floats; each product is rounded to float as it is stored.
template <class M>
inline void storeReversedScaled(float* re, float* im, int n, typename M::V xr, typename M::V xi) {
    const typename M::V scale = M::set1(1.0f / 1764.0f);
    M::store(re + fftLength - n - (M::width - 1), M::reverse(xr * scale));
    M::store(im + fftLength - n - (M::width - 1), M::reverse(xi * scale));
}

template <class Engine>
inline void finishReversed(WorkArea<Engine>& area) {
    area.re()[0] = area.re()[fftLength];
    area.im()[0] = area.im()[fftLength];
    area.clearPadding();
}

template <class L, class Engine>
void inverseFft(const FastTransformPlan& plan, const Complex* src, Complex* dst) {
    WorkArea<Engine> area;
    float* re = area.re();
    float* im = area.im();
    forGroups<L>(0, fftLength, [&](auto lanes, int n) {
        using M = decltype(lanes);
        typename M::V xr, xi;
        M::loadComplex(src + n, xr, xi);
        storeReversedScaled<M>(re, im, n, xr, xi);
    });
    finishReversed(area);
    StoreNatural emit{dst};
    Engine::run(re, im, area.work, emit, plan);
}

// complexProduct (rounded) for the few bins handled one at a time; a
// template on the lanes type, so that each unit keeps its own copy.
template <class L>
inline Complex productOf(Complex a, float wr, float wi) {
    return toFloat({static_cast<double>(a.re) * wr - static_cast<double>(a.im) * wi,
                    static_cast<double>(a.im) * wr + static_cast<double>(a.re) * wi});
}

// Analysis: z[n] * invRoots7056[2n + 1], kept split for the separation.
struct StoreAnalysisSpectrum {
    float* zRe;
    float* zIm;
    const FastTransformPlan& plan;
    template <class M>
    void put(int k, const CV<typename M::V>& y) {
        const int n = 4 * k;
        const CV<typename M::V> z =
            rotate(narrowCV(y), M::load(plan.analysisPostRe + n), M::load(plan.analysisPostIm + n));
        M::store(zRe + n, z.re);
        M::store(zIm + n, z.im);
    }
};

template <class L, class Engine>
void analyze(const FastTransformPlan& plan, const Complex* frame, Complex* left, Complex* right) {
    WorkArea<Engine> area;
    float* re = area.re();
    float* im = area.im();
    // Window (stored), rotate by invRoots3528[n] (stored), then the inverse
    // transform's reversal and scale.
    forGroups<L>(0, fftLength, [&](auto lanes, int n) {
        using M = decltype(lanes);
        using V = typename M::V;
        V fr, fi;
        M::loadComplex(frame + n, fr, fi);
        const V w = M::load(plan.window + n);
        const CV<V> windowed = {narrow(fr * w), narrow(fi * w)};
        const CV<V> y = narrowCV(rotate(windowed, M::load(plan.analysisPreRe + n), M::load(plan.analysisPreIm + n)));
        storeReversedScaled<M>(re, im, n, y.re, y.im);
    });
    finishReversed(area);

    alignas(64) float spectrum[2 * paddedLength];
    float* zRe = spectrum;
    float* zIm = spectrum + paddedLength;
    StoreAnalysisSpectrum emit{zRe, zIm, plan};
    Engine::run(re, im, area.work, emit, plan);

    // Separation of the pair (k, 1763 - k) (stored) and the rotation by
    // e^(-i pi (2k+1)/4).
    forGroups<L>(0, 880, [&](auto lanes, int k) {
        using M = decltype(lanes);
        using V = typename M::V;
        const V half = M::set1(0.5f);
        const int mirror = fftLength - k - M::width;  // q holds indices 1763 - k, 1762 - k, ...
        const CV<V> p = {M::load(zRe + k), M::load(zIm + k)};
        const CV<V> q = {M::reverse(M::load(zRe + mirror)), M::reverse(M::load(zIm + mirror))};
        const CV<V> first = {narrow(half * (p.im + q.im)), narrow(half * (q.re - p.re))};
        const CV<V> second = {narrow(half * (-p.re - q.re)), narrow(half * (q.im - p.im))};
        const CV<V> l = rotate(first, M::load(plan.analysisTurnRe), M::load(plan.analysisTurnIm));
        const CV<V> r = rotate(second, M::load(plan.analysisTurnRe), M::load(plan.analysisTurnIm));
        M::storeComplex(left + k, l.re, l.im);
        M::storeComplex(right + k, r.re, r.im);
    });
    for (int k = 880; k < 882; ++k) {
        const Complex p = {zRe[k], zIm[k]};
        const Complex q = {zRe[1763 - k], zIm[1763 - k]};
        const Complex first = toFloat({0.5 * (static_cast<double>(p.im) + q.im), 0.5 * (static_cast<double>(q.re) - p.re)});
        const Complex second =
            toFloat({0.5 * (-static_cast<double>(p.re) - q.re), 0.5 * (static_cast<double>(q.im) - p.im)});
        left[k] = productOf<L>(first, plan.analysisTurnRe[k % 4], plan.analysisTurnIm[k % 4]);
        right[k] = productOf<L>(second, plan.analysisTurnRe[k % 4], plan.analysisTurnIm[k % 4]);
    }
}

// Synthesis: t = Y[n] * roots3528[n] (not stored), then the window.
struct StoreWindowed {
    Complex* out;
    const FastTransformPlan& plan;
    template <class M>
    void put(int k, const CV<typename M::V>& y) {
        const int n = 4 * k;
        const CV<typename M::V> t =
            rotate(narrowCV(y), M::load(plan.synthesisPostRe + n), M::load(plan.synthesisPostIm + n));
        const typename M::V w = M::load(plan.window + n);
        M::storeComplex(out + n, t.re * w, t.im * w);
    }
};

// The same, added into an accumulator: acc[n] = acc[n] + windowed value,
// which is what an overlap-add of the stored windowed frame computes; that
// sum of two floats is formed in float arithmetic (the same bits, see D::FV
// in lanes.h).
struct AddWindowed {
    Complex* acc;
    const FastTransformPlan& plan;
    template <class M>
    void put(int k, const CV<typename M::V>& y) {
        const int n = 4 * k;
        const CV<typename M::V> t =
            rotate(narrowCV(y), M::load(plan.synthesisPostRe + n), M::load(plan.synthesisPostIm + n));
        const typename M::V w = M::load(plan.window + n);
        M::addToComplex(acc + n, t.re * w, t.im * w);
    }
};

template <class L, class Engine, class Emit>
void synthesizeInto(const FastTransformPlan& plan, const Complex* left, const Complex* right, Emit& emit) {
    WorkArea<Engine> area;
    float* re = area.re();
    float* im = area.im();
    // Rotate both bins by e^(+i pi (2k+1)/4), merge into the pair (k, 1763 - k),
    // then rotate each by roots7056[2n + 1]; every step stored.
    forGroups<L>(0, 880, [&](auto lanes, int k) {
        using M = decltype(lanes);
        using V = typename M::V;
        CV<V> l, r;
        M::loadComplex(left + k, l.re, l.im);
        M::loadComplex(right + k, r.re, r.im);
        // a and b are stored (rounded to float); each part of p and q is
        // one sum of two of those floats, formed in float arithmetic (the
        // same bits, see D::FV in lanes.h).
        using FV = typename M::FV;
        const CV<V> wideA = rotate(l, M::load(plan.synthesisTurnRe), M::load(plan.synthesisTurnIm));
        const CV<V> wideB = rotate(r, M::load(plan.synthesisTurnRe), M::load(plan.synthesisTurnIm));
        const FV aRe = M::toFloats(wideA.re), aIm = M::toFloats(wideA.im);
        const FV bRe = M::toFloats(wideB.re), bIm = M::toFloats(wideB.im);
        const CV<V> p = {M::widen(-bRe - aIm), M::widen(aRe - bIm)};
        const CV<V> q = {M::widen(aIm - bRe), M::widen(aRe + bIm)};
        const CV<V> zp = rotate(p, M::load(plan.synthesisPreRe + k), M::load(plan.synthesisPreIm + k));
        const int mirror = fftLength - k - M::width;  // q holds indices 1763 - k, 1762 - k, ...
        const CV<V> zq = rotate(CV<V>{M::reverse(q.re), M::reverse(q.im)}, M::load(plan.synthesisPreRe + mirror),
                                M::load(plan.synthesisPreIm + mirror));
        M::store(re + k, zp.re);
        M::store(im + k, zp.im);
        M::store(re + mirror, zq.re);
        M::store(im + mirror, zq.im);
    });
    for (int k = 880; k < 882; ++k) {
        const Complex a = productOf<L>(left[k], plan.synthesisTurnRe[k % 4], plan.synthesisTurnIm[k % 4]);
        const Complex b = productOf<L>(right[k], plan.synthesisTurnRe[k % 4], plan.synthesisTurnIm[k % 4]);
        const Complex pk = toFloat({-static_cast<double>(b.re) - a.im, static_cast<double>(a.re) - b.im});
        const Complex qk = toFloat({static_cast<double>(a.im) - b.re, static_cast<double>(a.re) + b.im});
        const Complex p = productOf<L>(pk, plan.synthesisPreRe[k], plan.synthesisPreIm[k]);
        const int n = 1763 - k;
        const Complex q = productOf<L>(qk, plan.synthesisPreRe[n], plan.synthesisPreIm[n]);
        re[k] = p.re;
        im[k] = p.im;
        re[n] = q.re;
        im[n] = q.im;
    }
    area.clearPadding();
    Engine::run(re, im, area.work, emit, plan);
}

template <class L, class Engine>
void synthesize(const FastTransformPlan& plan, const Complex* left, const Complex* right, Complex* out) {
    StoreWindowed emit{out, plan};
    synthesizeInto<L, Engine>(plan, left, right, emit);
}

template <class L, class Engine>
void synthesizeAdd(const FastTransformPlan& plan, const Complex* left, const Complex* right,
                   Complex* accumulator) {
    AddWindowed emit{accumulator, plan};
    synthesizeInto<L, Engine>(plan, left, right, emit);
}

}  // namespace fastcore
