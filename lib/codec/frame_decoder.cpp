// Frame decoder: reads the six fields of a frame and rebuilds both spectra
// as band noise, tones on top, the frame gain, and per band a left/right
// balance and an inter-channel phase.

#include <algorithm>
#include <cstdint>

#include "codec/band_edges.h"
#include "codec/elb1764.h"
#include "base/finite_check.h"
#include "codec/level_scale.h"
#include "codec/noise_generator.h"

double Elb1764::nextNoise()
{
    uint64_t state = static_cast<uint64_t>(noiseState);
    uint32_t counter = static_cast<uint32_t>(noiseCounter);
    const uint64_t x = noiseStep(state, counter);
    noiseCounter = wrapToInt32(counter);
    noiseState = wrapToInt64(state);
    return noiseValue(x);
}

void Elb1764::fillBandNoise(float* yb, int n, int code)
{
    // The dequantized level is stored as a float before it becomes an amplitude.
    const float level =
        static_cast<float>(dequantize(code, -static_cast<float>(parameters.levelRange), 0.0f, parameters.noiseBits));
    const float amplitude = static_cast<float>(fromLevel(level));
    for (int k = 0; k < n; ++k) {
        yb[k] = static_cast<float>(yb[k] + nextNoise() * amplitude);
    }
}

void Elb1764::placeTones(float* y, const int* codes, const int* bins) const
{
    for (int j = 0; j < parameters.toneCount; ++j) {
        const int bin = bins[j];
        // readSubset keeps bins inside 0..toneBins-1; this guard only keeps
        // a direct caller with a bad list from writing outside the spectrum.
        if (bin < 0 || bin >= blockLength) {
            continue;
        }
        const int code = codes[j];
        const double sign = (code % 2 != 0) ? -1.0 : 1.0;  // the lowest bit is the sign
        const float level = static_cast<float>(
            dequantize(code / 2, 0.0f, -static_cast<float>(parameters.levelRange), parameters.toneBits - 1));
        y[bin] = static_cast<float>(fromLevel(level) * sign);  // a tone replaces the bin's noise
    }
}

void Elb1764::applyGain(float* y, int code) const
{
    const float level = static_cast<float>(dequantize(code, static_cast<float>(parameters.gainLevelMin),
                                                      static_cast<float>(parameters.gainLevelMax), parameters.gainBits));
    const float gain = static_cast<float>(fromLevel(level));
    for (int k = 0; k < blockLength; ++k) {
        y[k] = gain * y[k];
    }
}

void Elb1764::applyBandBalance(Complex* a, Complex* b, int n, int code) const
{
    const float towardRight = static_cast<float>(dequantize(code, 0.0f, 1.0f, parameters.balanceBits));
    const float towardLeft = 1.0f - towardRight;
    const float halfWidth = 1.0f / parameters.balanceScale;
    // Only the real parts carry anything at this point; the imaginary parts
    // are 0 and stay so. s, p, q, m, d and the results are stored as floats;
    // the difference p - q is not, it meets the division in double.
    for (int k = 0; k < n; ++k) {
        const float sum = static_cast<float>(static_cast<double>(a[k].re) + b[k].re);
        const float p = static_cast<float>(static_cast<double>(sum) * towardLeft);
        const float q = static_cast<float>(static_cast<double>(sum) * towardRight);
        const float mid = static_cast<float>((static_cast<double>(p) + q) * 0.5);
        const float side = static_cast<float>((static_cast<double>(p) - q) / (2.0 * halfWidth));
        a[k].re = static_cast<float>(static_cast<double>(mid) + side);
        b[k].re = static_cast<float>(static_cast<double>(mid) - side);
    }
}
