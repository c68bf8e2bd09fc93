// The codec's vector kernels written once over the lane vocabulary of
// lanes.h (D a double-lanes type, F a float-lanes type), so that every
// instruction-set variant comes from the same source. Bits: see kernels.h.
// Every expression below is the scalar reference expression with one lane
// per independent value, in the same order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/complex_ops.h"

namespace codeckernels {

// Scores of `groups` groups of D::width consecutive trial angles; a lane per
// angle, the bins in order.
template <class D, int groups>
inline void scoreTrialGroups(const double* band, int n, const double* raRe, const double* raIm,
                             const double* rbRe, const double* rbIm, float* scores) {
    using V = typename D::V;
    constexpr int w = D::width;
    V rar[groups], rai[groups], rbr[groups], rbi[groups], score[groups];
    for (int g = 0; g < groups; ++g) {
        rar[g] = D::load(raRe + g * w);
        rai[g] = D::load(raIm + g * w);
        rbr[g] = D::load(rbRe + g * w);
        rbi[g] = D::load(rbIm + g * w);
        score[g] = D::zero();
    }
    for (int k = 0; k < n; ++k) {
        const double* bin = band + 4 * k;
        const V ur = D::set1(bin[0]);
        const V ui = D::set1(bin[1]);
        const V vr = D::set1(bin[2]);
        const V vi = D::set1(bin[3]);
        for (int g = 0; g < groups; ++g) {
            // z = a ra + b rb in four steps, each rounded to float. The
            // reference adds its starting zero to the first two steps; that
            // can only turn a -0 into +0, and the sign of a zero in z never
            // reaches the score (it is squared), so the addition is left out.
            V zr = narrow((ur * rar[g]) - (ui * rai[g]));
            V zi = narrow((ur * rai[g]) + (ui * rar[g]));
            zr = narrow(((vr * rbr[g]) - (vi * rbi[g])) + zr);
            zi = narrow(((vr * rbi[g]) + (vi * rbr[g])) + zi);
            // hypotenuse(zr, zi): zr*zr is a float product; the double square
            // of a float is exact, so rounding it to float gives those bits.
            const V magnitude = D::sqrt(narrow(zr * zr) + (zi * zi));
            score[g] = narrow(score[g] + D::sqrt(magnitude));
        }
    }
    for (int g = 0; g < groups; ++g) D::store(scores + g * w, score[g]);
}

// Two groups at a time keep the pipelines busy; an odd group runs alone.
template <class D>
inline void scorePhaseTrials(const double* band, int n, const double* raRe, const double* raIm,
                             const double* rbRe, const double* rbIm, int count, float* scores) {
    constexpr int w = D::width;
    if constexpr (w == 8) {
        // The pruned search mostly leaves one to four angles: half-width
        // lanes take half the square root throughput for them.
        if (count <= 4) {
            scoreTrialGroups<typename D::Half, 1>(band, n, raRe, raIm, rbRe, rbIm, scores);
            return;
        }
    }
    int j = 0;
    for (; j + 2 * w <= count; j += 2 * w)
        scoreTrialGroups<D, 2>(band, n, raRe + j, raIm + j, rbRe + j, rbIm + j, scores + j);
    for (; j < count; j += w)  // the root arrays are padded with zeros
        scoreTrialGroups<D, 1>(band, n, raRe + j, raIm + j, rbRe + j, rbIm + j, scores + j);
}

// The approximate pass on float lanes (a lanes type F like D, over floats,
// with F::atLeast(x, limit, then, otherwise) selecting per lane). No lane
// result needs to match anything bit for bit here: the caller only relies on
// the error bounds of plain float arithmetic (each operation correctly
// rounded, each root estimate within F::rootEstimateError), whatever the
// order of the lanes.
template <class F, int groups>
inline void approximateTrialGroups(const Complex* a, const Complex* b, int n, const float* farFrom,
                                   const float* farBound, const float* nearBound, const float* raRe,
                                   const float* raIm, const float* rbRe, const float* rbIm, float* approx,
                                   float* bound) {
    using V = typename F::V;
    constexpr int w = F::width;
    V c1[groups], s1[groups], c2[groups], s2[groups], sum[groups], error[groups];
    for (int g = 0; g < groups; ++g) {
        c1[g] = F::load(raRe + g * w);
        s1[g] = F::load(raIm + g * w);
        c2[g] = F::load(rbRe + g * w);
        s2[g] = F::load(rbIm + g * w);
        sum[g] = F::zero();
        error[g] = F::zero();
    }
    for (int k = 0; k < n; ++k) {
        const V a1 = F::set1(a[k].re);
        const V a2 = F::set1(a[k].im);
        const V b1 = F::set1(b[k].re);
        const V b2 = F::set1(b[k].im);
        const V limit = F::set1(farFrom[k]);
        const V far = F::set1(farBound[k]);
        const V near = F::set1(nearBound[k]);
        for (int g = 0; g < groups; ++g) {
            const V zr = ((b1 * c2[g]) - (b2 * s2[g])) + ((a1 * c1[g]) - (a2 * s1[g]));
            const V zi = ((b1 * s2[g]) + (b2 * c2[g])) + ((a1 * s1[g]) + (a2 * c1[g]));
            const V squared = (zr * zr) + (zi * zi);
            V magnitude, term;
            if constexpr (F::rootEstimateError > 0.0) {
                // Two estimates in place of two roots: squared^(-1/2), then
                // its own inverse root, squared^(1/4). A zero square gives
                // the magnitude 0 inf = NaN, which selects the near bound,
                // as the exact magnitude 0 does (farFrom is positive).
                const V inverse = F::inverseRootEstimate(squared);
                magnitude = squared * inverse;
                term = F::inverseRootEstimate(inverse);
            } else {
                magnitude = F::sqrt(squared);
                term = F::sqrt(magnitude);
            }
            sum[g] = sum[g] + term;
            error[g] = error[g] + F::atLeast(magnitude, limit, far, near);
        }
    }
    for (int g = 0; g < groups; ++g) {
        F::store(approx + g * w, sum[g]);
        F::store(bound + g * w, error[g]);
    }
}

template <class F>
inline void approximatePhaseTrials(const Complex* a, const Complex* b, int n, const float* farFrom,
                                   const float* farBound, const float* nearBound, const float* raRe,
                                   const float* raIm, const float* rbRe, const float* rbIm, int count,
                                   float* approx, float* bound) {
    constexpr int w = F::width;
    int j = 0;
    for (; j + 2 * w <= count; j += 2 * w)
        approximateTrialGroups<F, 2>(a, b, n, farFrom, farBound, nearBound, raRe + j, raIm + j, rbRe + j, rbIm + j,
                                     approx + j, bound + j);
    for (; j < count; j += w)
        approximateTrialGroups<F, 1>(a, b, n, farFrom, farBound, nearBound, raRe + j, raIm + j, rbRe + j, rbIm + j,
                                     approx + j, bound + j);
}

// hypotenuse(a, b) of float lanes: float(a*a) + b*b in double, then the root.
template <class D>
inline typename D::V hypotenuseLanes(typename D::V a, typename D::V b) {
    return D::sqrt(narrow(a * a) + (b * b));
}

// One bin of balanceMagnitudes; the lanes below repeat it expression by expression.
template <class D>
inline void balanceBin(Complex a, Complex b, double g, double& magnitudeU, double& magnitudeV) {
    const float midRe = static_cast<float>((static_cast<double>(a.re) + b.re) * 0.5);
    const float sideRe = static_cast<float>((static_cast<double>(a.re) - b.re) * 0.5);
    const float midIm = static_cast<float>((static_cast<double>(a.im) + b.im) * 0.5);
    const float sideIm = static_cast<float>((static_cast<double>(a.im) - b.im) * 0.5);
    const float uRe = static_cast<float>(g * sideRe + midRe);
    const float vRe = static_cast<float>(midRe - g * sideRe);
    const float uIm = static_cast<float>(g * sideIm + midIm);
    const float vIm = static_cast<float>(midIm - g * sideIm);
    const float uReSquared = uRe * uRe;
    const float vReSquared = vRe * vRe;
    magnitudeU = std::sqrt(uReSquared + static_cast<double>(uIm) * uIm);
    magnitudeV = std::sqrt(vReSquared + static_cast<double>(vIm) * vIm);
}

template <class D>
inline void balanceMagnitudes(const Complex* a, const Complex* b, int n, float g, double* magnitudeU,
                              double* magnitudeV) {
    using V = typename D::V;
    constexpr int w = D::width;
    const V half = D::set1(0.5);
    const V gain = D::set1(static_cast<double>(g));
    int k = 0;
    for (; k + w <= n; k += w) {
        V ar, ai, br, bi;
        D::loadComplex(a + k, ar, ai);
        D::loadComplex(b + k, br, bi);
        const V midRe = narrow((ar + br) * half);
        const V sideRe = narrow((ar - br) * half);
        const V midIm = narrow((ai + bi) * half);
        const V sideIm = narrow((ai - bi) * half);
        const V uRe = narrow((gain * sideRe) + midRe);
        const V vRe = narrow(midRe - (gain * sideRe));
        const V uIm = narrow((gain * sideIm) + midIm);
        const V vIm = narrow(midIm - (gain * sideIm));
        D::store(magnitudeU + k, hypotenuseLanes<D>(uRe, uIm));
        D::store(magnitudeV + k, hypotenuseLanes<D>(vRe, vIm));
    }
    for (; k < n; ++k) balanceBin<D>(a[k], b[k], g, magnitudeU[k], magnitudeV[k]);
}

// Scalar form of one bin of prepareBand; false when the size is out of range.
// (A template on the lanes type, as every helper here, so that each kernel
// source keeps its own copy, built for its own instruction set.)
template <class D>
inline bool prepareBin(float ar, float ai, float br, float bi, double farScale, double nearScale,
                       float& magnitudeA, float& magnitudeB, float& farFrom, float& farBound, float& nearBound) {
    const double roundUp = 1.0 + 1.0 / 1048576.0;  // 1 + 2^-20
    const double guard = 1.0 + 1.0 / 1125899906842624.0;  // 1 + 2^-50
    const float aSquared = ar * ar;
    const float bSquared = br * br;
    magnitudeA = static_cast<float>(std::sqrt(aSquared + static_cast<double>(ai) * ai));
    magnitudeB = static_cast<float>(std::sqrt(bSquared + static_cast<double>(bi) * bi));
    const double size = (std::fabs(static_cast<double>(ar)) + std::fabs(static_cast<double>(ai)) +
                         std::fabs(static_cast<double>(br)) + std::fabs(static_cast<double>(bi))) * guard;
    const double root = std::sqrt(size) * guard;
    farFrom = static_cast<float>((size * (1.0 / 1024.0) + 0x1p-60) * roundUp);
    farBound = static_cast<float>((farScale * root + 0x1p-41) * roundUp);
    nearBound = static_cast<float>((nearScale * root + 0x1p-35) * roundUp);
    return size <= 0x1p60;
}

template <class D>
inline bool prepareBand(const float* ar, const float* ai, const float* br, const float* bi, int n, double farScale,
                        double nearScale, float* magnitudeA, float* magnitudeB, float* farFrom, float* farBound,
                        float* nearBound) {
    using V = typename D::V;
    constexpr int w = D::width;
    const V roundUp = D::set1(1.0 + 1.0 / 1048576.0);
    const V guard = D::set1(1.0 + 1.0 / 1125899906842624.0);
    const V fromScale = D::set1(1.0 / 1024.0);
    const V fromFloor = D::set1(0x1p-60);
    const V far = D::set1(farScale);
    const V farFloor = D::set1(0x1p-41);
    const V near = D::set1(nearScale);
    const V nearFloor = D::set1(0x1p-35);
    bool inRange = true;
    int k = 0;
    for (; k + w <= n; k += w) {
        const V a1 = D::load(ar + k);
        const V a2 = D::load(ai + k);
        const V b1 = D::load(br + k);
        const V b2 = D::load(bi + k);
        D::store(magnitudeA + k, hypotenuseLanes<D>(a1, a2));
        D::store(magnitudeB + k, hypotenuseLanes<D>(b1, b2));
        const V size = (((D::abs(a1) + D::abs(a2)) + D::abs(b1)) + D::abs(b2)) * guard;
        const V root = D::sqrt(size) * guard;
        D::store(farFrom + k, (((size * fromScale) + fromFloor) * roundUp));
        D::store(farBound + k, (((far * root) + farFloor) * roundUp));
        D::store(nearBound + k, (((near * root) + nearFloor) * roundUp));
        inRange = D::allAtMost(size, 0x1p60) && inRange;
    }
    for (; k < n; ++k)
        inRange = prepareBin<D>(ar[k], ai[k], br[k], bi[k], farScale, nearScale, magnitudeA[k], magnitudeB[k],
                             farFrom[k], farBound[k], nearBound[k]) &&
                  inRange;
    return inRange;
}

template <class D>
inline void combineMasking(float* s, const float* forward, const float* backward, int n) {
    constexpr int w = D::width;
    int i = 0;
    for (; i + w <= n; i += w) {
        const auto spreads = narrow(hypotenuseLanes<D>(D::load(forward + i), D::load(backward + i)));
        D::store(s + i, hypotenuseLanes<D>(D::load(s + i), spreads));
    }
    for (; i < n; ++i) {
        const double f = forward[i];
        const double b = backward[i];
        const float spreads = static_cast<float>(std::sqrt(static_cast<float>(f * f) + b * b));
        const double x = s[i];
        s[i] = static_cast<float>(std::sqrt(static_cast<float>(x * x) + static_cast<double>(spreads) * spreads));
    }
}

template <class D>
inline void rateBins(const float* x, const float* s, float* q, int n) {
    constexpr int w = D::width;
    const auto offset = D::set1(0.0001);
    int k = 0;
    for (; k + w <= n; k += w)
        D::store(q + k, (D::abs(D::load(x + k)) / (D::load(s + k) + offset)));
    for (; k < n; ++k)
        q[k] = static_cast<float>(std::fabs(static_cast<double>(x[k])) / (static_cast<double>(s[k]) + 0.0001));
}

// One sample as the literal conversion makes it: NaN (the only value that
// differs from itself) to 0, then the limits, then truncation toward zero.
template <class F>
inline int16_t sampleOf(float value) {
    float limited = value == value ? value : 0.0f;
    limited = limited > -32768.0f ? limited : -32768.0f;
    limited = limited < 32767.0f ? limited : 32767.0f;
    return static_cast<int16_t>(static_cast<int>(limited));
}

// The same selections per lane: x >= x fails only for NaN; x >= -32768
// keeps what x > -32768 keeps and equals the limit otherwise; x >= 32767
// gives the limit exactly where x < 32767 fails.
template <class F>
inline void toSamples(const float* x, int n, int16_t* out) {
    using V = typename F::V;
    constexpr int w = F::width;
    const V zero = F::zero();
    const V low = F::set1(-32768.0f);
    const V high = F::set1(32767.0f);
    int i = 0;
    for (; i + w <= n; i += w) {
        V v = F::load(x + i);
        v = F::atLeast(v, v, v, zero);
        v = F::atLeast(v, low, v, low);
        v = F::atLeast(v, high, high, v);
        F::storeSamples(out + i, v);
    }
    for (; i < n; ++i) out[i] = sampleOf<F>(x[i]);
}

template <class D>
inline void rotateBands(Complex* a, Complex* b, int n, Complex turnA, Complex turnB) {
    using V = typename D::V;
    constexpr int w = D::width;
    const V ar = D::set1(turnA.re);
    const V ai = D::set1(turnA.im);
    const V br = D::set1(turnB.re);
    const V bi = D::set1(turnB.im);
    int k = 0;
    for (; k + w <= n; k += w) {
        V re, im;
        D::loadComplex(a + k, re, im);
        D::storeComplex(a + k, (re * ar) - (im * ai), (im * ar) + (re * ai));
        D::loadComplex(b + k, re, im);
        D::storeComplex(b + k, (re * br) - (im * bi), (im * br) + (re * bi));
    }
    for (; k < n; ++k) {
        a[k] = complexProduct(a[k], turnA);
        b[k] = complexProduct(b[k], turnB);
    }
}

// rotateBands for bins whose imaginary parts are +0 (as the spread leaves
// them), in float arithmetic: with im = 0 each part is one product of two
// floats, exact in double, plus a signed zero, so the double form rounds
// to the float product, which is what float arithmetic gives, zero signs
// included, except where a nonzero product underflows to a zero (whose sign
// then meets that of the other zero) or a part is not finite. Returns false,
// writing nothing, unless every real part is 0 or of a magnitude in
// [2^-100, 2^127] (with turns of magnitude at most 1 no product underflows);
// the caller then takes rotateBands.
template <class F>
inline bool turnRealBands(Complex* a, Complex* b, int n, Complex turnA, Complex turnB) {
    // On the magnitudes' bit patterns, which order like the magnitudes
    // (NaNs above infinity): 2^-100 is 27 << 23, 2^127 is 254 << 23.
    constexpr uint32_t lowest = 27u << 23, highest = 254u << 23;
    uint32_t outside = 0;
    for (int k = 0; k < n; ++k) {
        uint32_t l, r;
        std::memcpy(&l, &a[k].re, sizeof l);
        std::memcpy(&r, &b[k].re, sizeof r);
        l &= 0x7FFFFFFFu;
        r &= 0x7FFFFFFFu;
        outside |= (l != 0) & (l - lowest > highest - lowest);
        outside |= (r != 0) & (r - lowest > highest - lowest);
    }
    const bool turnsSmall = std::fabs(turnA.re) <= 1.0f && std::fabs(turnA.im) <= 1.0f &&
                            std::fabs(turnB.re) <= 1.0f && std::fabs(turnB.im) <= 1.0f;
    if (outside != 0 || !turnsSmall) return false;
    const float zero = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float l = a[k].re;
        const float r = b[k].re;
        a[k] = Complex{l * turnA.re - zero * turnA.im, zero * turnA.re + l * turnA.im};
        b[k] = Complex{r * turnB.re - zero * turnB.im, zero * turnB.re + r * turnB.im};
    }
    return true;
}

// The stereo balance in the literal form, bin by bin. It has no explicit
// lanes: the compiler's loop vectoriser (which keeps every IEEE operation
// and rounding) turns it into vector code for each kernel source's
// instruction set, and a version on the lanes measured no faster, as the
// five roundings to float per bin and the interleaved parts dominate either
// way. A template on the lanes type, so that each kernel source keeps its
// own copy, built for its instruction set.
template <class D>
inline void balanceBands(Complex* a, Complex* b, int n, float towardLeft, float towardRight, double sideScale) {
    for (int k = 0; k < n; ++k) {
        const float sum = static_cast<float>(static_cast<double>(a[k].re) + b[k].re);
        const float p = static_cast<float>(static_cast<double>(sum) * towardLeft);
        const float q = static_cast<float>(static_cast<double>(sum) * towardRight);
        const float mid = static_cast<float>((static_cast<double>(p) + q) * 0.5);
        const float side = static_cast<float>((static_cast<double>(p) - q) / sideScale);
        a[k].re = static_cast<float>(static_cast<double>(mid) + side);
        b[k].re = static_cast<float>(static_cast<double>(mid) - side);
    }
}

// draws[k] / 2^32 is a product with 2^-32 here: scaling a 32-bit integer by
// a power of two is exact either way. Each bin has its own amplitude, so
// that one call covers every band and only the frame's last bins run scalar.
template <class D>
inline void noiseValues(const int32_t* draws, int n, const float* amplitudes, float* out) {
    using V = typename D::V;
    constexpr int w = D::width;
    const V unit = D::set1(1.0 / 4294967296.0);
    const V half = D::set1(0.5);
    const V four = D::set1(4.0);
    const V two = D::set1(2.0);
    const V zero = D::zero();
    int k = 0;
    for (; k + w <= n; k += w) {
        const V u = (((D::load(draws + k) * unit) + half) * four) - two;
        D::store(out + k, zero + (u * D::load(amplitudes + k)));
    }
    for (; k < n; ++k) {
        const double u = (draws[k] / 4294967296.0 + 0.5) * 4.0 - 2.0;
        out[k] = static_cast<float>(0.0f + u * amplitudes[k]);
    }
}

// Both spectra over a run of bins from the mono spectrum, in one pass: the
// gain, then where balanced the balance of balanceBands, every bin written
// whole (the imaginary parts 0). Like balanceBands, a plain loop that the
// compiler's vectoriser turns into vector code for each instruction set;
// writing whole bins lets it store whole vectors, where the balance alone,
// which keeps the imaginary parts, stores every real part on its own.
//
// Each step that is one product or one sum of two floats runs in float
// arithmetic, with the bits of the double form (see D::FV in lanes.h; NaNs
// and infinities included); mid and side take two operations each and stay
// in double.
template <class D>
inline void spreadBalanced(const float* y, int n, float gain, bool balanced, float towardLeft, float towardRight,
                           double sideScale, Complex* a, Complex* b) {
    if (!balanced) {
        for (int k = 0; k < n; ++k) {
            const float value = gain * y[k];
            a[k] = Complex{value, 0.0f};
            b[k] = Complex{value, 0.0f};
        }
        return;
    }
    for (int k = 0; k < n; ++k) {
        const float value = gain * y[k];
        const float sum = value + value;
        const float p = sum * towardLeft;
        const float q = sum * towardRight;
        const double wideP = p, wideQ = q;
        const float mid = static_cast<float>((wideP + wideQ) * 0.5);
        const float side = static_cast<float>((wideP - wideQ) / sideScale);
        a[k] = Complex{mid + side, 0.0f};
        b[k] = Complex{mid - side, 0.0f};
    }
}

}  // namespace codeckernels
