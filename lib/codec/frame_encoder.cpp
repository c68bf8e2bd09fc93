// Frame encoder of Elb1764: measures a stereo pair of spectra (inter-channel
// phase and left/right balance per band, frame gain, tones, noise levels) and
// writes the six fields of a frame.
//
// Rounding: every value the format defines as a 32-bit float is stored in a
// float variable; everything in between is evaluated in double. Each
// accumulation runs in bin order, one float store per step, so that the
// encoder's decisions do not depend on the compiler or the target.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bits/bin_writer.h"
#include "codec/band_edges.h"
#include "codec/elb1764.h"
#include "base/finite_check.h"
#include "codec/level_scale.h"
#include "codec/parameter_limits.h"
#include "codec/tone_selection.h"
#include "transform/transform_tables.h"

namespace {

// Absolute value of a float. The codec defines it as sqrt(x*x) in double;
// the square of a float is exact in double and so is its root, which makes
// that identical to fabs for every float.
double magnitudeOf(float x) { return std::fabs(static_cast<double>(x)); }

// Remainder in 0..m-1 for any integer a and m > 0.
long long floorMod(long long a, long long m) {
    const long long r = a % m;
    return r < 0 ? r + m : r;
}

// The phase search grid must have at least two steps per turn and stay small
// enough for int arithmetic on angles.
constexpr int32_t maxPhaseSearchSteps = 1 << 20;

}  // namespace

// The frame layout is only well defined, and the fixed working arrays only
// large enough, for parameter blocks the decoder accepts.
bool Elb1764::encoderSettingsUsable(const CodecParameters& parameters, const EncoderTuning& tuning) {
    return codecParametersDecodable(parameters) && tuning.phaseSearchSteps >= 1 &&
           tuning.phaseSearchSteps <= maxPhaseSearchSteps;
}

int angleDistance(int a, int b, int m) {
    if (m <= 0) return 0;
    const long long forward = floorMod(static_cast<long long>(b) - a, m);
    const long long backward = floorMod(static_cast<long long>(a) - b, m);
    return static_cast<int>(std::min(forward, backward));
}

// The drop is stored as a float; its square is not, it goes on in double.
double energyChange(float previous, float current) {
    const float hi = std::max(previous, current);
    const float lo = std::min(previous, current);
    if (!(hi > 0.0f)) return 1.0;
    const float drop = static_cast<float>(1.0 - static_cast<double>(lo) / hi);
    return static_cast<double>(drop) * drop;
}

int Elb1764::encodeBandPhase(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy) {
    const int steps = tuning.phaseSearchSteps;
    if (steps < 1 || steps > maxPhaseSearchSteps) return 0;  // no usable grid to search on
    float energy = 0.0f;
    const int best = searchBandPhase(a, b, n, energy);

    // 3.-6. Half-turn choice, slew limit, history and code.
    const int code = settleBandAngle(best, energy, prevAngle, prevEnergy);

    // 7. Align the band: left turns back by the angle, right forward.
    rotateBandPhase(a, b, n, -code);
    return code;
}

// Steps 1 and 2 of the phase of a band, which look at this band alone: its
// energy, and the trial angle that aligns the channels best.
int Elb1764::searchBandPhase(const Complex* a, const Complex* b, int n, float& bandEnergy) const {
    const int steps = tuning.phaseSearchSteps;  // K: trial angles over half a turn
    if (steps < 1 || steps > maxPhaseSearchSteps) return 0;  // no usable grid to search on
    const int grid = 2 * steps;  // M: fine steps per turn

    // 1. Band energy: sum of both channels' magnitudes.
    float energy = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float magnitudeA = static_cast<float>(hypotenuse(a[k].re, a[k].im));
        const float magnitudeB = static_cast<float>(hypotenuse(b[k].re, b[k].im));
        energy = static_cast<float>(energy + (static_cast<double>(magnitudeA) + magnitudeB));
    }

    // 2. Search the half turn for the angle that best aligns the channels:
    //    left turned back by the angle plus right turned forward by it, scored
    //    by the sum of square roots of the bin magnitudes.
    int best = 0;
    float bestScore = 0.0f;
    for (int j = 0; j < steps; ++j) {
        Complex ra;
        Complex rb;
        rootOfUnity(-j, grid, 1.0f, ra);
        rootOfUnity(j, grid, 1.0f, rb);
        float score = 0.0f;
        for (int k = 0; k < n; ++k) {
            const Complex& u = a[k];
            const Complex& v = b[k];
            Complex z = zeroComplex;
            z.re = static_cast<float>(static_cast<double>(u.re) * ra.re - static_cast<double>(u.im) * ra.im + z.re);
            z.im = static_cast<float>(static_cast<double>(u.re) * ra.im + static_cast<double>(u.im) * ra.re + z.im);
            z.re = static_cast<float>(static_cast<double>(v.re) * rb.re - static_cast<double>(v.im) * rb.im + z.re);
            z.im = static_cast<float>(static_cast<double>(v.re) * rb.im + static_cast<double>(v.im) * rb.re + z.im);
            score = static_cast<float>(score + std::sqrt(hypotenuse(z.re, z.im)));
        }
        if (bestScore < score) {
            best = j;
            bestScore = score;
        }
    }
    bandEnergy = energy;
    return best;
}

int Elb1764::settleBandAngle(int best, float energy, int32_t& prevAngle, float& prevEnergy) const {
    // 3. An extra half turn only negates the sum: take whichever of the two
    //    equivalent angles is nearer the last frame's, best on a tie.
    const int steps = tuning.phaseSearchSteps;
    const int grid = 2 * steps;
    const int previous = prevAngle;
    if (angleDistance(best, previous, grid) > angleDistance(best + steps, previous, grid))
        best = (best + steps) % grid;

    // 4. Slew limit: the angle may move further the more the energy changed.
    //    Clamped before conversion; any window of at least a half turn each
    //    way reaches best itself, so clamping at the grid changes nothing.
    const double change = energyChange(prevEnergy, energy);
    const double reach = change * tuning.phaseSlewRange + tuning.phaseSlewMin;
    int window;
    if (!(reach < grid))
        window = grid;
    else if (!(reach > -1.0))
        window = -1;  // an empty window: the angle falls back to 0
    else
        window = static_cast<int>(reach);  // truncation toward zero
    int result = 0;
    int bestDistance = grid;
    for (int t = -window; t <= window; ++t) {
        const int candidate = previous + t;
        const int distance = angleDistance(best, candidate, grid);
        if (distance < bestDistance) {
            bestDistance = distance;
            result = static_cast<int>(floorMod(candidate, grid));
        }
    }

    // 5. History for the next frame.
    prevEnergy = energy;
    prevAngle = result;

    // 6. The fine angle in code steps.
    return static_cast<int>((static_cast<long long>(1) << parameters.phaseBits) * result / grid);
}

int Elb1764::measureBandBalance(const Complex* a, const Complex* b, int n) const {
    const float g = static_cast<float>(1.0 / static_cast<double>(parameters.balanceScale));
    const double p = tuning.balanceNormExponent;

    // Mid/side per float (real and imaginary parts alike), then two weighted
    // mixes: U leans to the left channel, V to the right. Their p-norms over
    // the band give the ratio.
    auto mix = [g](float left, float right, float& u, float& v) {
        const float mid = static_cast<float>((static_cast<double>(left) + right) * 0.5);
        const float side = static_cast<float>((static_cast<double>(left) - right) * 0.5);
        u = static_cast<float>(static_cast<double>(g) * side + mid);
        v = static_cast<float>(static_cast<double>(mid) - static_cast<double>(g) * side);
    };
    float sumU = 0.0f;
    float sumV = 0.0f;
    for (int k = 0; k < n; ++k) {
        Complex u;
        Complex v;
        mix(a[k].re, b[k].re, u.re, v.re);
        mix(a[k].im, b[k].im, u.im, v.im);
        sumU = static_cast<float>(sumU + std::pow(hypotenuse(u.re, u.im), p));
        sumV = static_cast<float>(sumV + std::pow(hypotenuse(v.re, v.im), p));
    }
    const float normU = static_cast<float>(std::pow(static_cast<double>(sumU), 1.0 / p));
    const float normV = static_cast<float>(std::pow(static_cast<double>(sumV), 1.0 / p));
    const float ratio = static_cast<float>((static_cast<double>(normV) + 1.0) /
                                           (static_cast<double>(normU) + normV + 2.0));
    return quantize(ratio, 0.0f, 1.0f, parameters.balanceBits);
}

int Elb1764::normalizeGain(float* x, int n) const {
    const CodecParameters& p = parameters;
    const float levelMin = static_cast<float>(p.gainLevelMin);
    const float levelMax = static_cast<float>(p.gainLevelMax);

    float peak = 0.0f;
    for (int k = 0; k < n; ++k) {
        const float magnitude = static_cast<float>(magnitudeOf(x[k]));
        if (magnitude >= peak) peak = magnitude;
    }
    const double level = toLevel(peak, levelMin);
    const int code = quantize(level, levelMin, levelMax, p.gainBits);
    const float gainLevel = static_cast<float>(dequantize(code, levelMin, levelMax, p.gainBits));
    const float gain = static_cast<float>(fromLevel(gainLevel));
    if (gain > 0.0f) {
        for (int k = 0; k < n; ++k) x[k] = static_cast<float>(static_cast<double>(x[k]) / gain);
    }
    return code;
}

int Elb1764::measureBandNoise(const float* xb, int n, float exponent) const {
    const double c = exponent;
    const float floorLevel = static_cast<float>(-parameters.levelRange);

    // Power mean of the band's magnitudes (tone bins are already zero).
    float sum = 0.0f;
    for (int k = 0; k < n; ++k) sum = static_cast<float>(sum + std::pow(magnitudeOf(xb[k]), c));
    // An empty band (impossible within the parameter limits) counts as silent.
    const float mean = n > 0 ? static_cast<float>(std::pow(static_cast<double>(sum) / n, 1.0 / c)) : 0.0f;
    const double level = toLevel(mean, floorLevel);
    return quantize(level, floorLevel, 0.0f, parameters.noiseBits);
}

// The tone choice: masking curve, ratings, threshold, then the scan.
void Elb1764::extractTones(float* x, int* codes, int* bins) {
    // Fixed working arrays hold at most blockLength bins.
    const int binCount = std::min<int>(parameters.toneBins, blockLength);
    const int toneTotal = std::min<int>(parameters.toneCount, binCount);
    if (toneTotal <= 0) return;
    const float floorLevel = static_cast<float>(-parameters.levelRange);

    // 1. Masking curve of the spectrum.
    spreadMasking(x, binCount, 1.0f, tuning.maskingDecay, toneMasking,
                  MaskingScratch{maskingForward, maskingBackward, maskingFactors});

    // 2. Each bin rated against the masking around it.
    for (int k = 0; k < binCount; ++k)
        toneRatings[k] = static_cast<float>(magnitudeOf(x[k]) / (toneMasking[k] + 0.0001));

    // 3. The rating of the toneTotal-th best bin.
    const float threshold = nthLargest(toneRatings, binCount, toneTotal - 1, selectionScratch);

    // 4. Every bin rated above the threshold is a tone (there are fewer than
    //    toneTotal of them); bins rated exactly at it fill the remaining
    //    places from the lowest bin up. Once every remaining bin is needed
    //    it is taken, so exactly toneTotal bins are chosen whatever the
    //    ratings (even NaN).
    const int taken = pickRatedBins(toneRatings, binCount, toneTotal, threshold, bins);
    for (int t = 0; t < taken; ++t) {
        const int k = bins[t];
        const double level = toLevel(magnitudeOf(x[k]), floorLevel);
        const int levelCode = quantize(level, 0.0f, floorLevel, parameters.toneBits - 1);
        codes[t] = 2 * levelCode + (x[k] < 0.0f ? 1 : 0);
        x[k] = 0.0f;
    }
}
