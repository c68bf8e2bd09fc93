// Fast path of the frame decoder: the spectra of decodeFrameReference
// (frame_decoder.cpp) bit for bit. Band edges, the amplitude of every code and
// the turn of every phase code come from tables made with the codec by the
// reference expressions; the noise generator runs in local variables; each
// per-bin expression is the reference's, in the same order.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "codec/elb1764.h"
#include "codec/fast_path_data.h"
#include "base/finite_check.h"
#include "codec/level_scale.h"
#include "codec/noise_generator.h"

namespace {

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

// A code's value from its table, or by the same expression where the table
// does not reach (a field too wide for a table; no valid frame has other codes).
template <class ValueOf>
inline float tabled(const std::vector<float>& table, int code, ValueOf valueOf) {
    return code >= 0 && code < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(code)] : valueOf(code);
}

}  // namespace

void Elb1764::decodeFrameFast(da_BinReader& in, Complex* left, Complex* right) {
    float* y = decodedMono;
    if (!decoderUsable) {
        for (int k = 0; k < blockLength; ++k) {
            y[k] = 0.0f;
            left[k] = Complex{0.0f, 0.0f};
            right[k] = Complex{0.0f, 0.0f};
        }
        return;
    }
    const CodecParameters& p = parameters;
    const FastPathData& f = *fast;

    decodedGainCode = in.readBounded(codesOf(p.gainBits));
    in.readCyclicArray(decodedPhaseCodes.data(), p.phaseBands, codesOf(p.phaseBits));
    in.readCyclicArray(decodedBalanceCodes.data(), p.balanceBands, codesOf(p.balanceBits));
    in.readCyclicArray(decodedNoiseCodes.data(), p.noiseBands, codesOf(p.noiseBits));
    in.readCyclicArray(decodedToneCodes.data(), p.toneCount, codesOf(p.toneBits));
    in.readSubset(decodedToneBins.data(), 0, p.toneBins - 1, p.toneCount);

    // Noise: noiseBins draws in bin order over the noise bands, which tile
    // 0..noiseBins-1; the rest of Y is 0. Each bin is 0 + u a, as when Y is
    // cleared first.
    uint64_t state = static_cast<uint64_t>(noiseState);
    uint32_t counter = static_cast<uint32_t>(noiseCounter);
    for (int i = 0; i < p.noiseBands; ++i) {
        const int code = decodedNoiseCodes[at(i)];
        const float amplitude = tabled(f.noiseAmplitudes, code, [&p](int c) { return noiseAmplitudeOf(p, c); });
        const int end = f.noiseEdges[at(i + 1)];
        for (int k = f.noiseEdges[at(i)]; k < end; ++k) {
            const double u = noiseValue(noiseStep(state, counter));
            y[k] = static_cast<float>(0.0f + u * amplitude);
        }
    }
    noiseState = wrapToInt64(state);
    noiseCounter = wrapToInt32(counter);
    for (int k = p.noiseBins; k < blockLength; ++k) y[k] = 0.0f;

    // Tones replace the noise of their bins.
    for (int j = 0; j < p.toneCount; ++j) {
        const int bin = decodedToneBins[at(j)];
        if (bin < 0 || bin >= blockLength) continue;
        const int code = decodedToneCodes[at(j)];
        const float amplitude = tabled(f.toneAmplitudes, code / 2, [&p](int c) { return toneAmplitudeOf(p, c); });
        // Rounding is symmetric, so the rounded negative is the negated rounding.
        y[bin] = (code % 2 != 0) ? -amplitude : amplitude;
    }

    // Gain, and both channels as the real spectrum Y.
    const float gain = tabled(f.decoderGains, decodedGainCode, [&p](int c) { return decoderGainOf(p, c); });
    for (int k = 0; k < blockLength; ++k) {
        const float value = gain * y[k];
        y[k] = value;
        left[k] = Complex{value, 0.0f};
        right[k] = Complex{value, 0.0f};
    }

    // Balance per band.
    const float halfWidth = 1.0f / p.balanceScale;
    const double sideScale = 2.0 * halfWidth;
    for (int i = 0; i < p.balanceBands; ++i) {
        const int code = decodedBalanceCodes[at(i)];
        const float towardRight = static_cast<float>(dequantize(code, 0.0f, 1.0f, p.balanceBits));
        const float towardLeft = 1.0f - towardRight;
        const int end = f.balanceEdges[at(i + 1)];
        for (int k = f.balanceEdges[at(i)]; k < end; ++k) {
            // Single float operations round as the reference's double ones
            // do; the side's difference stays double, as there.
            const float sum = left[k].re + right[k].re;
            const float pl = sum * towardLeft;
            const float qr = sum * towardRight;
            const float mid = static_cast<float>((static_cast<double>(pl) + qr) * 0.5);
            const float side = static_cast<float>((static_cast<double>(pl) - qr) / sideScale);
            left[k].re = mid + side;
            right[k].re = mid - side;
        }
    }

    // Phase per band.
    for (int i = 0; i < p.phaseBands; ++i) {
        const int start = f.phaseEdges[at(i)];
        rotateBandPhaseFast(left + start, right + start, f.phaseEdges[at(i + 1)] - start, decodedPhaseCodes[at(i)]);
    }
    Q58_ASSERT_FINITE(left, blockLength);
    Q58_ASSERT_FINITE(right, blockLength);
}
