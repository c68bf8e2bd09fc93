// Fast path of the frame encoder and the tone choice. Each step gives the
// bits of its reference form (frame_encoder.cpp, tone_selection.cpp); what
// changes is where the work happens:
// - the phase search scores several trial angles side by side in vector
//   lanes, each lane running through the bins in their order
//   (codec_kernels.h), on trial rotations computed once per codec;
// - band edges, per-code amplitudes, the masking decay factors and the
//   amplitude of each toLevel floor come from tables made with the codec by
//   the reference expressions (fast_path_data.h);
// - the masking spread runs its forward and backward passes in one loop (two
//   independent chains) and its last step and the ratings in vector lanes,
//   one bin per lane.
// Every float store and every double operation of the reference is kept, in
// the same order within each dependent chain.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bits/bin_writer.h"
#include "codec/codec_kernels.h"
#include "codec/elb1764.h"
#include "codec/fast_path_data.h"
#include "codec/finite_check.h"
#include "codec/level_scale.h"
#include "codec/tone_selection.h"

namespace {

// hypotenuse() of level_scale.cpp, inline.
inline double hypotenuseOf(float a, float b) {
    const float aSquared = a * a;
    return std::sqrt(aSquared + static_cast<double>(b) * b);
}

inline double magnitudeOf(float x) { return std::fabs(static_cast<double>(x)); }

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

}  // namespace

void Elb1764::encodeFrameFast(Complex* left, Complex* right, da_BinWriter& out) {
    if (!encoderUsable) return;
    const CodecParameters& p = parameters;
    const FastPathData& f = *fast;

    // 1. Phase per band.
    for (int i = 0; i < p.phaseBands; ++i) {
        const int start = f.phaseEdges[at(i)];
        const int n = f.phaseEdges[at(i + 1)] - start;
        encoderPhaseCodes[i] =
            encodeBandPhaseFast(left + start, right + start, n, prevBandAngle[i], prevBandEnergy[i]);
    }

    // 2. Balance per band.
    for (int i = 0; i < p.balanceBands; ++i) {
        const int start = f.balanceEdges[at(i)];
        const int n = f.balanceEdges[at(i + 1)] - start;
        encoderBalanceCodes[i] = measureBandBalanceFast(left + start, right + start, n);
    }

    // 3. Mono spectrum.
    float* x = encoderMono;
    for (int k = 0; k < blockLength; ++k)
        x[k] = static_cast<float>(static_cast<double>(left[k].re) + right[k].re);

    // 4.-6. Gain, tones, noise.
    const int gainCode = normalizeGainFast(x, std::max(p.noiseBins, p.toneBins));
    Q58_ASSERT_FINITE(x, blockLength);
    extractTonesFast(x, encoderToneCodes, encoderToneBins);
    for (int i = 0; i < p.noiseBands; ++i) {
        const int start = f.noiseEdges[at(i)];
        const int n = f.noiseEdges[at(i + 1)] - start;
        encoderNoiseCodes[i] = measureBandNoiseFast(x + start, n, f.noiseExponents[at(i)]);
    }

    // 7. The six fields, in frame order.
    out.writeBounded(1 << p.gainBits, gainCode);
    out.writeCyclicArray(encoderPhaseCodes, p.phaseBands, 1 << p.phaseBits);
    out.writeCyclicArray(encoderBalanceCodes, p.balanceBands, 1 << p.balanceBits);
    out.writeCyclicArray(encoderNoiseCodes, p.noiseBands, 1 << p.noiseBits);
    out.writeCyclicArray(encoderToneCodes, p.toneCount, 1 << p.toneBits);
    out.writeSubset(encoderToneBins, 0, p.toneBins - 1, p.toneCount);
}

int Elb1764::encodeBandPhaseFast(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy) {
    FastPathData& f = *fast;
    const int steps = tuning.phaseSearchSteps;
    // Too many trial angles for tables: the reference search.
    if (f.trialRaRe.empty() || n > blockLength) return encodeBandPhase(a, b, n, prevAngle, prevEnergy);

    // 1. Band energy, in bin order; the bins go to the lanes' layout meanwhile.
    float energy = 0.0f;
    double* lanes = f.bandLanes.data();
    for (int k = 0; k < n; ++k) {
        const float magnitudeA = static_cast<float>(hypotenuseOf(a[k].re, a[k].im));
        const float magnitudeB = static_cast<float>(hypotenuseOf(b[k].re, b[k].im));
        energy = static_cast<float>(static_cast<double>(energy) + magnitudeA + magnitudeB);
        lanes[4 * k] = a[k].re;
        lanes[4 * k + 1] = a[k].im;
        lanes[4 * k + 2] = b[k].re;
        lanes[4 * k + 3] = b[k].im;
    }

    // 2. Every trial angle's score, then the first best in ascending order.
    float* scores = f.trialScores.data();
    activeCodecKernels().scorePhaseTrials(lanes, n, f.trialRaRe.data(), f.trialRaIm.data(), f.trialRbRe.data(),
                                          f.trialRbIm.data(), steps, scores);
    int best = 0;
    float bestScore = 0.0f;
    for (int j = 0; j < steps; ++j) {
        if (bestScore < scores[j]) {
            best = j;
            bestScore = scores[j];
        }
    }

    // 3.-7.
    const int code = settleBandAngle(best, energy, prevAngle, prevEnergy);
    rotateBandPhaseFast(a, b, n, -code);
    return code;
}

void Elb1764::rotateBandPhaseFast(Complex* a, Complex* b, int n, int code) const {
    const FastPathData& f = *fast;
    const int codes = static_cast<int>(f.codeTurn.size());
    if (codes == 0 || code <= -codes || code >= codes) {
        rotateBandPhase(a, b, n, code);
        return;
    }
    // rootOfUnity(code) for a and rootOfUnity(-code) for b, from the tables.
    const Complex turnA = code >= 0 ? f.codeTurn[at(code)] : f.codeTurnBack[at(-code)];
    const Complex turnB = code >= 0 ? f.codeTurnBack[at(code)] : f.codeTurn[at(-code)];
    for (int k = 0; k < n; ++k) {
        const Complex oldA = a[k];
        a[k].re = oldA.re * turnA.re - oldA.im * turnA.im;
        a[k].im = oldA.re * turnA.im + oldA.im * turnA.re;
        const Complex oldB = b[k];
        b[k].re = oldB.re * turnB.re - oldB.im * turnB.im;
        b[k].im = oldB.re * turnB.im + oldB.im * turnB.re;
    }
}

int Elb1764::measureBandBalanceFast(const Complex* a, const Complex* b, int n) const {
    const float g = static_cast<float>(1.0 / static_cast<double>(parameters.balanceScale));
    const double p = tuning.balanceNormExponent;
    float sumU = 0.0f;
    float sumV = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float midRe = static_cast<float>((static_cast<double>(a[k].re) + b[k].re) * 0.5);
        const float sideRe = static_cast<float>((static_cast<double>(a[k].re) - b[k].re) * 0.5);
        const float midIm = static_cast<float>((static_cast<double>(a[k].im) + b[k].im) * 0.5);
        const float sideIm = static_cast<float>((static_cast<double>(a[k].im) - b[k].im) * 0.5);
        const float uRe = static_cast<float>(static_cast<double>(g) * sideRe + midRe);
        const float vRe = static_cast<float>(static_cast<double>(midRe) - static_cast<double>(g) * sideRe);
        const float uIm = static_cast<float>(static_cast<double>(g) * sideIm + midIm);
        const float vIm = static_cast<float>(static_cast<double>(midIm) - static_cast<double>(g) * sideIm);
        sumU = static_cast<float>(sumU + std::pow(hypotenuseOf(uRe, uIm), p));
        sumV = static_cast<float>(sumV + std::pow(hypotenuseOf(vRe, vIm), p));
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
    const int code = quantize(static_cast<float>(level), levelMin, levelMax, p.gainBits);
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
    for (int k = 0; k < n; ++k) sum = static_cast<float>(sum + std::pow(magnitudeOf(xb[k]), c));
    const float mean = n > 0 ? static_cast<float>(std::pow(static_cast<double>(sum) / n, 1.0 / c)) : 0.0f;
    const double level = toLevelAbove(mean, floorLevel, fast->noiseFloorAmplitude);
    return quantize(static_cast<float>(level), floorLevel, 0.0f, parameters.noiseBits);
}

void Elb1764::extractTonesFast(float* x, int* codes, int* bins) {
    const FastPathData& f = *fast;
    const int binCount = std::min<int>(parameters.toneBins, blockLength);
    const int toneTotal = std::min<int>(parameters.toneCount, binCount);
    if (toneTotal <= 0) return;
    const float floorLevel = static_cast<float>(-parameters.levelRange);
    const CodecKernels& kernels = activeCodecKernels();

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
    kernels.combineMasking(s, forward, backward, binCount);

    // 2. Ratings.
    kernels.rateBins(x, s, toneRatings, binCount);

    // 3. Threshold: the same selection as the reference.
    const float threshold = nthLargest(toneRatings, binCount, toneTotal - 1, selectionScratch);

    // 4. The scan of extractTones.
    int above = 0;
    for (int k = 0; k < binCount; ++k)
        if (toneRatings[k] > threshold) ++above;
    int tiesLeft = toneTotal - above;
    int taken = 0;
    for (int k = 0; k < binCount && taken < toneTotal; ++k) {
        bool take = toneRatings[k] > threshold;
        if (!take && toneRatings[k] == threshold && tiesLeft > 0) {
            take = true;
            --tiesLeft;
        }
        if (!take && toneTotal - taken >= binCount - k) take = true;
        if (!take) continue;
        const double level = toLevelAbove(magnitudeOf(x[k]), floorLevel, f.noiseFloorAmplitude);
        const int levelCode = quantize(static_cast<float>(level), 0.0f, floorLevel, parameters.toneBits - 1);
        bins[taken] = k;
        codes[taken] = 2 * levelCode + (x[k] < 0.0f ? 1 : 0);
        x[k] = 0.0f;
        ++taken;
    }
}
