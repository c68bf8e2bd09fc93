// Fast forms of the frame decoder's steps: the spectra of the literal steps
// (frame_decoder.cpp) bit for bit. The amplitude of every code and the turn
// of every phase code come from tables made with the codec by the literal
// expressions; the noise generator runs in local variables; each per-bin
// expression is the literal one, in the same order.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "codec/elb1764.h"
#include "codec/fast_path_data.h"
#include "base/finite_check.h"
#include "codec/level_scale.h"
#include "codec/noise_generator.h"

namespace {

// A code's value from its table, or by the same expression where the table
// does not reach (a field too wide for a table; no valid frame has other codes).
template <class ValueOf>
inline float tabled(const std::vector<float>& table, int code, ValueOf valueOf) {
    return code >= 0 && code < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(code)] : valueOf(code);
}

}  // namespace

// The noise of every band at once: the bands tile bins 0..noiseBins-1 and
// draw in bin order, so the frame's draws are those of the bands one after
// another. Each bin gets its band's amplitude, and one kernel call makes
// every bin 0 + u a (as when Y is cleared first), vector lanes running
// across band edges.
void Elb1764::fillNoiseFast(float* y, const int* codes) {
    const CodecParameters& p = parameters;
    FastPathData& f = *fast;
    float* amplitudes = f.noiseBinAmplitudes.data();
    for (int i = 0; i < p.noiseBands; ++i) {
        const float amplitude =
            tabled(f.noiseAmplitudes, codes[i], [&p](int c) { return noiseAmplitudeOf(p, c); });
        std::fill(amplitudes + f.noiseEdges[static_cast<std::size_t>(i)],
                  amplitudes + f.noiseEdges[static_cast<std::size_t>(i) + 1], amplitude);
    }
    // The draws come a chunk at a time, and the kernel call for one chunk
    // overlaps the generator's serial steps for the next.
    int32_t* draws = f.noiseBinDraws.data();
    NoiseGeneratorState generator{noiseCounter, noiseState};
    f.noiseDraws.take(generator, draws, [&](int start, int count) {
        kernels.codec.noiseValues(draws + start, count, amplitudes + start, y + start);
    });
    noiseCounter = generator.counter;
    noiseState = generator.state;
}

// Tones replace the noise of their bins.
void Elb1764::placeTonesFast(float* y, const int* codes, const int* bins) const {
    const CodecParameters& p = parameters;
    for (int j = 0; j < p.toneCount; ++j) {
        const int bin = bins[j];
        if (bin < 0 || bin >= blockLength) continue;
        const int code = codes[j];
        const float amplitude = tabled(fast->toneAmplitudes, code / 2, [&p](int c) { return toneAmplitudeOf(p, c); });
        // Rounding is symmetric, so the rounded negative is the negated rounding.
        y[bin] = (code % 2 != 0) ? -amplitude : amplitude;
    }
}

void Elb1764::spreadWithGainFast(float* y, int code, Complex* left, Complex* right) const {
    const CodecParameters& p = parameters;
    const float gain = tabled(fast->decoderGains, code, [&p](int c) { return decoderGainOf(p, c); });
    for (int k = 0; k < blockLength; ++k) {
        const float value = gain * y[k];
        y[k] = value;
        left[k] = Complex{value, 0.0f};
        right[k] = Complex{value, 0.0f};
    }
}

void Elb1764::applyBandBalanceFast(Complex* a, Complex* b, int n, int code) const {
    const float towardRight = static_cast<float>(dequantize(code, 0.0f, 1.0f, parameters.balanceBits));
    const float towardLeft = 1.0f - towardRight;
    const float halfWidth = 1.0f / parameters.balanceScale;
    kernels.codec.balanceBands(a, b, n, towardLeft, towardRight, 2.0 * halfWidth);
}

// The gain, the spread and the balance in one pass over the spectra, a
// kernel call per balance band and one for the bins above them; then the
// turn of each phase band.
bool Elb1764::stereoFromMonoFast(const float* y, int gainCode, const int* balanceCodes, const int* phaseCodes,
                                 Complex* left, Complex* right) const {
    const CodecParameters& p = parameters;
    const FastPathData& f = *fast;
    if (!f.stereoRunsUsable) return false;
    const float gain = tabled(f.decoderGains, gainCode, [&p](int c) { return decoderGainOf(p, c); });
    const float halfWidth = 1.0f / p.balanceScale;
    const double sideScale = 2.0 * halfWidth;
    for (int i = 0; i < p.balanceBands; ++i) {
        const int start = f.balanceEdges[static_cast<std::size_t>(i)];
        const int end = f.balanceEdges[static_cast<std::size_t>(i) + 1];
        const float towardRight = static_cast<float>(dequantize(balanceCodes[i], 0.0f, 1.0f, p.balanceBits));
        const float towardLeft = 1.0f - towardRight;
        kernels.codec.spreadBalanced(y + start, end - start, gain, true, towardLeft, towardRight, sideScale,
                                     left + start, right + start);
    }
    const int above = f.balanceEdges.back();
    kernels.codec.spreadBalanced(y + above, blockLength - above, gain, false, 0.0f, 0.0f, sideScale, left + above,
                                 right + above);
    // The spread left every imaginary part +0; phase bands overlap only
    // when their edges do not run in order, and then a second turn would
    // meet parts that are not.
    for (int i = 0; i < p.phaseBands; ++i) {
        const int start = f.phaseEdges[static_cast<std::size_t>(i)];
        const int n = f.phaseEdges[static_cast<std::size_t>(i) + 1] - start;
        Complex turnA, turnB;
        if (!f.phaseRunsUsable || !f.tabledTurns(phaseCodes[i], turnA, turnB) ||
            !kernels.codec.turnRealBands(left + start, right + start, n, turnA, turnB))
            rotateBandPhaseFast(left + start, right + start, n, phaseCodes[i]);
    }
    return true;
}
