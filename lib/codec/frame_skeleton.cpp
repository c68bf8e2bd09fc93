// The frame skeleton of Elb1764: the band loops and the order of a frame's
// six fields, written once and run with either step set (frame_steps.h).
// Encoding: phase per band, balance per band, the mono spectrum, the gain,
// the tones, noise per band, then the fields gain, phases, balances, noise
// levels, tone levels, tone bins. Decoding reads the same fields and
// rebuilds the spectra in the reverse order of the measures.

#include <algorithm>

#include "base/finite_check.h"
#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/frame_steps.h"

template <class Steps>
void Elb1764::encodeFrameWith(Steps steps, Complex* left, Complex* right, da_BinWriter& out) {
    // A block outside the limits would index past the spectra or the working
    // arrays; such a codec writes nothing rather than a frame nobody can read.
    if (!encoderUsable) return;
    searchPhasesWith(steps, left, right, encoderPhaseBest, encoderPhaseEnergy);
    encodeSearchedWith(steps, left, right, encoderPhaseBest, encoderPhaseEnergy, out);
}

// 1a. The phase search of each band, on this frame's spectra alone (the
//     bands do not overlap, so searching all before turning any changes
//     nothing).
template <class Steps>
void Elb1764::searchPhasesWith(Steps steps, const Complex* left, const Complex* right, int* best, float* energy) {
    const CodecParameters& p = parameters;
    for (int i = 0; i < p.phaseBands; ++i) {
        const int start = steps.phaseEdge(i);
        const int n = steps.phaseEdge(i + 1) - start;
        best[i] = steps.searchBandPhase(left + start, right + start, n, energy[i]);
    }
}

template <class Steps>
void Elb1764::encodeSearchedWith(Steps steps, Complex* left, Complex* right, const int* best, const float* energy,
                                 da_BinWriter& out) {
    const CodecParameters& p = parameters;

    // 1b. Phase per band: the angle chosen after the last frame's, and each
    //     band of left and right turned by it.
    for (int i = 0; i < p.phaseBands; ++i) {
        const int start = steps.phaseEdge(i);
        const int n = steps.phaseEdge(i + 1) - start;
        encoderPhaseCodes[i] = settleBandAngle(best[i], energy[i], prevBandAngle[i], prevBandEnergy[i]);
        steps.rotateBandPhase(left + start, right + start, n, -encoderPhaseCodes[i]);
    }

    // 2. Balance per band, measured on the turned spectra.
    for (int i = 0; i < p.balanceBands; ++i) {
        const int start = steps.balanceEdge(i);
        const int n = steps.balanceEdge(i + 1) - start;
        encoderBalanceCodes[i] = steps.measureBandBalance(left + start, right + start, n);
    }

    // 3. Mono spectrum: the real part of the aligned sum.
    float* x = encoderMono;
    for (int k = 0; k < blockLength; ++k) x[k] = static_cast<float>(static_cast<double>(left[k].re) + right[k].re);

    // 4. Frame gain; x becomes relative to it.
    const int gainCode = steps.normalizeGain(x, std::max(p.noiseBins, p.toneBins));
    Q58_ASSERT_FINITE(x, blockLength);

    // 5. Tones, removed from x.
    steps.extractTones(x, encoderToneCodes, encoderToneBins);

    // 6. Noise level per band of what is left.
    for (int i = 0; i < p.noiseBands; ++i) {
        const int start = steps.noiseEdge(i);
        const int n = steps.noiseEdge(i + 1) - start;
        encoderNoiseCodes[i] = steps.measureBandNoise(x + start, n, steps.noiseExponent(i, start));
    }

    // 7. The six fields, in frame order.
    out.writeBounded(1 << p.gainBits, gainCode);
    out.writeCyclicArray(encoderPhaseCodes, p.phaseBands, 1 << p.phaseBits);
    out.writeCyclicArray(encoderBalanceCodes, p.balanceBands, 1 << p.balanceBits);
    out.writeCyclicArray(encoderNoiseCodes, p.noiseBands, 1 << p.noiseBits);
    out.writeCyclicArray(encoderToneCodes, p.toneCount, 1 << p.toneBits);
    out.writeSubset(encoderToneBins, 0, p.toneBins - 1, p.toneCount);
}

template <class Steps>
void Elb1764::decodeFrameWith(Steps steps, da_BinReader& in, Complex* left, Complex* right) {
    float* y = decodedMono;
    // A block outside the limits describes no frame this decoder can take
    // apart safely; leave silence and read nothing.
    if (!decoderUsable) {
        LiteralSteps{*this}.prepareMono(y, left, right);
        return;
    }
    const CodecParameters& p = parameters;

    // The six fields, in frame order.
    decodedGainCode = in.readBounded(codesOf(p.gainBits));
    in.readCyclicArray(decodedPhaseCodes.data(), p.phaseBands, codesOf(p.phaseBits));
    in.readCyclicArray(decodedBalanceCodes.data(), p.balanceBands, codesOf(p.balanceBits));
    in.readCyclicArray(decodedNoiseCodes.data(), p.noiseBands, codesOf(p.noiseBits));
    in.readCyclicArray(decodedToneCodes.data(), p.toneCount, codesOf(p.toneBits));
    in.readSubset(decodedToneBins.data(), 0, p.toneBins - 1, p.toneCount);

    // Every frame draws exactly noiseBins values, in bin order.
    steps.prepareMono(y, left, right);
    steps.fillNoise(y, decodedNoiseCodes.data());
    steps.placeTones(y, decodedToneCodes.data(), decodedToneBins.data());
    steps.stereoFromMono(y, decodedGainCode, decodedBalanceCodes.data(), decodedPhaseCodes.data(), left, right);
    Q58_ASSERT_FINITE(left, blockLength);
    Q58_ASSERT_FINITE(right, blockLength);
}

void Elb1764::encodeFrame(Complex* left, Complex* right, da_BinWriter& out) {
    if (path == CodecPath::fast)
        encodeFrameWith(FastSteps{*this}, left, right, out);
    else
        encodeFrameWith(LiteralSteps{*this}, left, right, out);
}

bool Elb1764::encodeAhead(const int16_t* block, EncoderFrameRecord& record) {
    if (!pushSamples(block)) return false;
    analyzeWindow(record.left, record.right);
    if (!encoderUsable) return true;
    if (path == CodecPath::fast)
        searchPhasesWith(FastSteps{*this}, record.left, record.right, record.phaseBest, record.phaseEnergy);
    else
        searchPhasesWith(LiteralSteps{*this}, record.left, record.right, record.phaseBest, record.phaseEnergy);
    return true;
}

void Elb1764::encodeBehind(EncoderFrameRecord& record, da_BinWriter& out) {
    if (!encoderUsable) return;
    if (path == CodecPath::fast)
        encodeSearchedWith(FastSteps{*this}, record.left, record.right, record.phaseBest, record.phaseEnergy, out);
    else
        encodeSearchedWith(LiteralSteps{*this}, record.left, record.right, record.phaseBest, record.phaseEnergy, out);
}

void Elb1764::decodeFrame(da_BinReader& in, Complex* left, Complex* right) {
    if (path == CodecPath::fast)
        decodeFrameWith(FastSteps{*this}, in, left, right);
    else
        decodeFrameWith(LiteralSteps{*this}, in, left, right);
}
