// Fast path of the frame encoder and the tone choice. Each step gives the
// bits of its reference form (frame_encoder.cpp, tone_selection.cpp); what
// changes is where the work happens:
// - the phase search scores several trial angles side by side in vector
//   lanes, each lane running through the bins in their order
//   (simd/kernels.h), on trial rotations computed once per codec;
// - band edges, per-code amplitudes, the masking decay factors and the
//   amplitude of each toLevel floor come from tables made with the codec by
//   the reference expressions (fast_path_data.h);
// - the noise measure's power sum at the default exponent 0.5 takes sqrt
//   in place of pow wherever that provably gives the same float sum
//   (square_root_sum.h);
// - the masking spread runs its forward and backward passes in one loop (two
//   independent chains) and its last step and the ratings in vector lanes,
//   one bin per lane.
// Every float store and every double operation of the reference is kept, in
// the same order within each dependent chain.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bits/bin_writer.h"
#include "simd/kernels.h"
#include "codec/elb1764.h"
#include "codec/fast_path_data.h"
#include "base/finite_check.h"
#include "codec/level_scale.h"
#include "codec/square_root_sum.h"
#include "codec/tone_selection.h"
#include "base/complex_ops.h"

namespace {

// hypotenuse() of level_scale.cpp, inline.
inline double hypotenuseOf(float a, float b) {
    const float aSquared = a * a;
    return std::sqrt(aSquared + static_cast<double>(b) * b);
}

inline double magnitudeOf(float x) { return std::fabs(static_cast<double>(x)); }

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

}  // namespace

PhaseBoundScales phaseBoundScales(double rootEstimateError) {
    constexpr double u = 1.0 / 16777216.0;  // 2^-24
    const double estimate = 1.51 * rootEstimateError;
    return {373.0 * u + estimate, 2.0 * std::sqrt(10.0 * u) + 2.1 * u + estimate,
            rootEstimateError > 0.0 ? std::ldexp(1.0, -49) : 0.0};
}

// The search, then the choice and the turn of the reference.
int Elb1764::encodeBandPhaseFast(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy) {
    // Too many trial angles for tables: the reference search.
    if (fast->trialRaRe.empty() || n > blockLength) return encodeBandPhase(a, b, n, prevAngle, prevEnergy);
    float energy = 0.0f;
    const int best = searchBandPhaseFast(a, b, n, energy);
    // 3.-7.
    const int code = settleBandAngle(best, energy, prevAngle, prevEnergy);
    rotateBandPhaseFast(a, b, n, -code);
    return code;
}

// The search of a band with the angles' exact scores, choosing among
// them as the reference does: the first strictly best, from best 0 at score 0.
//
// When there are enough trial angles, a cheap first pass in float arithmetic
// rules out every angle that provably cannot be the reference's choice, and
// only the rest are scored exactly. The proof, per bin k of a band, with
// u = 2^-24, L = |a.re| + |a.im| + |b.re| + |b.im| and z the exact
// a ra + b rb of a trial (|z| <= 1.0001 L; every root part is within [-1, 1]):
// - The reference rounds z four times (double then float): each part is off
//   by at most 2.001 u L + 2^-149, so its magnitude r is off |z| by at most
//   3.43 u L + 2^-73 after the rounded square, sum and root.
// - The float pass rounds each product and sum once: each part is off by at
//   most 3.001 u L, its magnitude r' off |z| by at most 6.36 u L + 2^-73.
// - Both terms are square roots of these magnitudes: with D = 10 u L + 2^-72
//   (at least the sum of the two errors above), the terms differ by at most
//   2 sqrt(D) + 2.1 u sqrt(L) (|sqrt p - sqrt q| <= sqrt |p - q|, plus the
//   rounding of each root): nearBound. Where r' >= T = 2^-10 L + 2^-60 we
//   know |z| >= 0.75 T, and |sqrt p - sqrt q| <= |p - q| / sqrt q gives
//   D / sqrt(0.75 T) + 2.1 u sqrt(L) <= 373 u sqrt(L) + 2^-41: farBound.
//   Each bound is rounded up to a float (scaled by 1 + 2^-20 first).
// - Both scores are sums of n nonnegative terms rounded after each addition,
//   each rounding within u (1.0001 u for the reference's double then float)
//   of the partial sum, which never exceeds the final one; so with
//   c = 1.02 n u, true sums within c of the computed ones (plus 2^-140 per
//   bin for subnormal partial sums). With A the float score and E the float
//   sum of the chosen bounds, the reference score S satisfies
//   ((A - E) - c (A + E) - x) / (1 + c) <= S <= ((A + E) (1 + c) + x) / (1 - c),
//   x = 2n 2^-140, each side widened by 2^-40 (A + E + x) for its own
//   double rounding (exact differences of floats, a few roundings of 2^-53).
// - Where the first pass estimates its roots (kernels' rootEstimateError
//   0 < e <= 2^-14: y = (1/sqrt s)(1 + e1), term = (1/sqrt y)(1 + e2), s
//   the rounded square sum), its term is sqrt(rho) (1 + d) with rho = sqrt s
//   exactly and |d| <= (1 + e) / sqrt(1 - e) - 1 <= 1.5001 e. rho obeys
//   the bound on r' above, so rho <= 1.0002 L + 2^-73 and the extra error
//   is at most 1.51 e sqrt(L) + 2^-49 per bin: 1.51 e is added to both
//   scales, and 2^-49 per bin to the sums' absolute widening x. Its
//   magnitude s y (rounded) is rho within a factor (1 + e)(1 + u), so
//   reaching T still means |z| >= 0.75 T.
// An angle whose upper end lies below the largest lower end scores strictly
// less than some other angle, so it is never the first best: only angles
// reaching that lower end are scored exactly, in ascending order. Bands with
// a value that is not finite or above 2^60 (where float squares could
// overflow) are scored exactly throughout.
int Elb1764::searchBandPhaseFast(const Complex* a, const Complex* b, int n, float& bandEnergy) {
    FastPathData& f = *fast;
    const int steps = tuning.phaseSearchSteps;
    if (f.trialRaRe.empty() || n > blockLength) return searchBandPhase(a, b, n, bandEnergy);

    constexpr double u = 1.0 / 16777216.0;  // 2^-24
    const CodecKernels& vector = kernels.codec;

    // 1. The bins in the exact kernel's layout and in separate parts; their
    //    magnitudes and error bounds; the band energy, in bin order.
    double* lanes = f.bandLanes.data();
    for (int k = 0; k < n; ++k) {
        lanes[4 * k] = f.bandAre[at(k)] = a[k].re;
        lanes[4 * k + 1] = f.bandAim[at(k)] = a[k].im;
        lanes[4 * k + 2] = f.bandBre[at(k)] = b[k].re;
        lanes[4 * k + 3] = f.bandBim[at(k)] = b[k].im;
    }
    const PhaseBoundScales scales = phaseBoundScales(vector.rootEstimateError);
    const bool inRange = vector.prepareBand(f.bandAre.data(), f.bandAim.data(), f.bandBre.data(), f.bandBim.data(), n,
                                             scales.far, scales.near, f.magnitudeA.data(),
                                             f.magnitudeB.data(), f.farFrom.data(), f.farBound.data(),
                                             f.nearBound.data());
    float energy = 0.0f;
    for (int k = 0; k < n; ++k)
        energy = static_cast<float>(energy + (static_cast<double>(f.magnitudeA[at(k)]) + f.magnitudeB[at(k)]));
    const bool prunable = inRange && steps >= 16;

    float* scores = f.trialScores.data();
    int best = 0;
    float bestScore = 0.0f;
    bool searched = false;
    if (prunable) {
        // 2a. Float scores and their bounds; the largest lower end.
        float* approx = f.approxScores.data();
        float* bound = f.approxBounds.data();
        vector.approximatePhaseTrials(a, b, n, f.farFrom.data(), f.farBound.data(), f.nearBound.data(),
                                       f.trialRaReF.data(), f.trialRaImF.data(), f.trialRbReF.data(),
                                       f.trialRbImF.data(), steps, approx, bound);
        const double c = 1.02 * n * u;
        const double tiny = n * (2.0 * std::ldexp(1.0, -140) + scales.perBin);
        const double widen = std::ldexp(1.0, -40);
        auto upperEnd = [&](int j) {
            const double sum = static_cast<double>(approx[j]) + bound[j];
            const double upper = (sum * (1.0 + c) + tiny) / (1.0 - c);
            return upper + std::fabs(upper) * widen;
        };
        double largestLower = -1.0;
        bool finite = true;
        for (int j = 0; j < steps; ++j) {
            // A - E may cancel: widen by the size of the operands, not of the result.
            const double size = static_cast<double>(approx[j]) + bound[j];
            const double lower = (static_cast<double>(approx[j]) - bound[j] - c * size - tiny) / (1.0 + c);
            largestLower = std::max(largestLower, lower - (size + tiny) * widen);
            finite = finite && std::isfinite(lower);
        }
        // 2b. The angles that can still win, their exact scores in ascending order.
        int count = 0;
        if (finite) {
            for (int j = 0; j < steps; ++j) {
                if (upperEnd(j) < largestLower) continue;
                f.candidates[at(count)] = j;
                f.candidateRaRe[at(count)] = f.trialRaRe[at(j)];
                f.candidateRaIm[at(count)] = f.trialRaIm[at(j)];
                f.candidateRbRe[at(count)] = f.trialRbRe[at(j)];
                f.candidateRbIm[at(count)] = f.trialRbIm[at(j)];
                ++count;
            }
        }
        if (finite && count <= steps / 2) {
            for (int i = count; i < (count + 7) / 8 * 8; ++i)
                f.candidateRaRe[at(i)] = f.candidateRaIm[at(i)] = f.candidateRbRe[at(i)] = f.candidateRbIm[at(i)] = 0.0;
            vector.scorePhaseTrials(lanes, n, f.candidateRaRe.data(), f.candidateRaIm.data(), f.candidateRbRe.data(),
                                     f.candidateRbIm.data(), count, scores);
            for (int i = 0; i < count; ++i) {
                if (bestScore < scores[i]) {
                    best = f.candidates[at(i)];
                    bestScore = scores[i];
                }
            }
            f.lastExactTrials = count;
            searched = true;
        }
    }
    if (!searched) {
        // 2. Every trial angle's score, then the first best in ascending order.
        vector.scorePhaseTrials(lanes, n, f.trialRaRe.data(), f.trialRaIm.data(), f.trialRbRe.data(),
                                 f.trialRbIm.data(), steps, scores);
        for (int j = 0; j < steps; ++j) {
            if (bestScore < scores[j]) {
                best = j;
                bestScore = scores[j];
            }
        }
        f.lastExactTrials = steps;
    }
    bandEnergy = energy;
    return best;
}

void Elb1764::rotateBandPhaseFast(Complex* a, Complex* b, int n, int code) const {
    Complex turnA, turnB;
    if (!fast->tabledTurns(code, turnA, turnB)) {
        rotateBandPhase(a, b, n, code);
        return;
    }
    kernels.codec.rotateBands(a, b, n, turnA, turnB);
}

int Elb1764::measureBandBalanceFast(const Complex* a, const Complex* b, int n) const {
    const float g = static_cast<float>(1.0 / static_cast<double>(parameters.balanceScale));
    const double p = tuning.balanceNormExponent;
    const bool unitExponent = p == 1.0;
    float sumU = 0.0f;
    float sumV = 0.0f;
    // The per-bin terms in vector lanes, then the two sums in bin order.
    double magnitudesU[blockLength];
    double magnitudesV[blockLength];
    for (int begin = 0; begin < n; begin += blockLength) {
        const int count = std::min(n - begin, blockLength);
        kernels.codec.balanceMagnitudes(a + begin, b + begin, count, g, magnitudesU, magnitudesV);
        for (int k = 0; k < count; ++k) {
            const double magnitudeU = magnitudesU[k];
            const double magnitudeV = magnitudesV[k];
            // The default exponent is 1, where the power is the magnitude
            // itself (pow returns an exactly representable result exactly):
            // skip the two calls that otherwise dominate this measure.
            if (unitExponent) {
                sumU = static_cast<float>(sumU + magnitudeU);
                sumV = static_cast<float>(sumV + magnitudeV);
            } else {
                sumU = static_cast<float>(sumU + std::pow(magnitudeU, p));
                sumV = static_cast<float>(sumV + std::pow(magnitudeV, p));
            }
        }
    }
    const float normU = static_cast<float>(std::pow(static_cast<double>(sumU), 1.0 / p));
    const float normV = static_cast<float>(std::pow(static_cast<double>(sumV), 1.0 / p));
    const float ratio = static_cast<float>((static_cast<double>(normV) + 1.0) /
                                           (static_cast<double>(normU) + normV + 2.0));
    return quantize(ratio, 0.0f, 1.0f, parameters.balanceBits);
}

int Elb1764::normalizeGainFast(float* x, int n) const {
    const CodecParameters& p = parameters;
    const FastPathData& f = *fast;
    const float levelMin = static_cast<float>(p.gainLevelMin);
    const float levelMax = static_cast<float>(p.gainLevelMax);

    float peak = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float magnitude = static_cast<float>(magnitudeOf(x[k]));
        if (magnitude >= peak) peak = magnitude;
    }
    const double level = toLevelAbove(peak, levelMin, f.gainFloorAmplitude);
    const int code = quantize(level, levelMin, levelMax, p.gainBits);
    const float gain = f.encoderGains.empty() ? encoderGainOf(p, code) : f.encoderGains[at(code)];
    if (gain > 0.0f) {
        for (int k = 0; k < n; ++k) x[k] = static_cast<float>(static_cast<double>(x[k]) / gain);
    }
    return code;
}

int Elb1764::measureBandNoiseFast(const float* xb, int n, float exponent) const {
    const double c = exponent;
    const float floorLevel = static_cast<float>(-parameters.levelRange);
    float sum = 0.0f;
    if (c == 0.5) {
        // The default exponent: sqrt in place of all but a few pow calls.
        sum = sumOfSquareRootsAsPow(xb, n);
    } else {
        for (int k = 0; k < n; ++k) sum = static_cast<float>(sum + std::pow(magnitudeOf(xb[k]), c));
    }
    const float mean = n > 0 ? static_cast<float>(std::pow(static_cast<double>(sum) / n, 1.0 / c)) : 0.0f;
    const double level = toLevelAbove(mean, floorLevel, fast->noiseFloorAmplitude);
    return quantize(level, floorLevel, 0.0f, parameters.noiseBits);
}

void Elb1764::extractTonesFast(float* x, int* codes, int* bins) {
    const FastPathData& f = *fast;
    const int binCount = std::min<int>(parameters.toneBins, blockLength);
    const int toneTotal = std::min<int>(parameters.toneCount, binCount);
    if (toneTotal <= 0) return;
    // No decay table for a codec that cannot encode: the reference form.
    if (static_cast<int>(f.maskingFactors.size()) < binCount) {
        extractTones(x, codes, bins);
        return;
    }
    const float floorLevel = static_cast<float>(-parameters.levelRange);
    const CodecKernels& vector = kernels.codec;

    // 1. Masking curve: the magnitudes (scale 1), then both spreads in one
    //    loop, then the power sum of each bin and its two spreads.
    float* s = toneMasking;
    float* forward = maskingForward;
    float* backward = maskingBackward;
    const double* factor = f.maskingFactors.data();
    for (int k = 0; k < binCount; ++k) s[k] = static_cast<float>(1.0 * magnitudeOf(x[k]));
    forward[0] = 0.0f;
    backward[binCount - 1] = 0.0f;
    for (int step = 1; step < binCount; ++step) {
        const int i = step;
        const float spreadUp = static_cast<float>(factor[i] * forward[i - 1]);
        forward[i] = static_cast<float>(hypotenuseOf(s[i], spreadUp));
        const int j = binCount - 1 - step;
        const float spreadDown = static_cast<float>(factor[j + 1] * backward[j + 1]);
        backward[j] = static_cast<float>(hypotenuseOf(s[j], spreadDown));
    }
    vector.combineMasking(s, forward, backward, binCount);

    // 2. Ratings.
    vector.rateBins(x, s, toneRatings, binCount);

    // 3. Threshold: the same selection as the reference.
    const float threshold = nthLargest(toneRatings, binCount, toneTotal - 1, selectionScratch);

    // 4. The scan of extractTones.
    const int taken = pickRatedBins(toneRatings, binCount, toneTotal, threshold, bins);
    for (int t = 0; t < taken; ++t) {
        const int k = bins[t];
        const double level = toLevelAbove(magnitudeOf(x[k]), floorLevel, f.noiseFloorAmplitude);
        const int levelCode = quantize(level, 0.0f, floorLevel, parameters.toneBits - 1);
        codes[t] = 2 * levelCode + (x[k] < 0.0f ? 1 : 0);
        x[k] = 0.0f;
    }
}
