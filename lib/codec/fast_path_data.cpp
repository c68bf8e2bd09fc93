#include "codec/fast_path_data.h"

#include <algorithm>

#include "codec/band_edges.h"
#include "codec/level_scale.h"
#include "codec/tone_selection.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

std::vector<int> edgesOf(int count, int bins) {
    std::vector<int> edges(static_cast<std::size_t>(count) + 1);
    for (int i = 0; i <= count; ++i) edges[static_cast<std::size_t>(i)] = bandEdge(i, count, bins);
    return edges;
}

// Values of every code of a bits-wide field, or nothing when there are too many.
template <class ValueOf>
std::vector<float> tableOf(int bits, ValueOf valueOf) {
    std::vector<float> table;
    if (bits < 0 || bits > 30 || (1 << bits) > FastPathData::maxTabledCodes) return table;
    table.resize(static_cast<std::size_t>(1) << bits);
    for (int code = 0; code < (1 << bits); ++code) table[static_cast<std::size_t>(code)] = valueOf(code);
    return table;
}

}  // namespace

float encoderGainOf(const CodecParameters& p, int code) {
    const float levelMin = static_cast<float>(p.gainLevelMin);
    const float levelMax = static_cast<float>(p.gainLevelMax);
    const float gainLevel = static_cast<float>(dequantize(code, levelMin, levelMax, p.gainBits));
    return static_cast<float>(fromLevel(gainLevel));
}

float decoderGainOf(const CodecParameters& p, int code) {
    const float level = static_cast<float>(
        dequantize(code, static_cast<float>(p.gainLevelMin), static_cast<float>(p.gainLevelMax), p.gainBits));
    return static_cast<float>(fromLevel(level));
}

float noiseAmplitudeOf(const CodecParameters& p, int code) {
    const float level = static_cast<float>(dequantize(code, -static_cast<float>(p.levelRange), 0.0f, p.noiseBits));
    return static_cast<float>(fromLevel(level));
}

float toneAmplitudeOf(const CodecParameters& p, int levelCode) {
    const float level =
        static_cast<float>(dequantize(levelCode, 0.0f, -static_cast<float>(p.levelRange), p.toneBits - 1));
    return static_cast<float>(fromLevel(level));
}

FastPathData::FastPathData(const CodecParameters& p, const EncoderTuning& tuning, bool encoderBlocks,
                           bool decoderBlocks) {
    // The toLevel floors are cheap and harmless for any block; the step
    // functions may be called on their own, even for a codec that cannot code.
    noiseFloorAmplitude = fromLevel(static_cast<float>(-p.levelRange));
    gainFloorAmplitude = fromLevel(static_cast<float>(p.gainLevelMin));
    if (!encoderBlocks && !decoderBlocks) return;
    phaseEdges = edgesOf(p.phaseBands, p.phaseBins);
    balanceEdges = edgesOf(p.balanceBands, p.balanceBins);
    noiseEdges = edgesOf(p.noiseBands, p.noiseBins);
    if (p.phaseBits <= 12) {
        const int codes = 1 << p.phaseBits;
        codeTurn.resize(static_cast<std::size_t>(codes));
        codeTurnBack.resize(static_cast<std::size_t>(codes));
        for (int c = 0; c < codes; ++c) {
            rootOfUnity(c, codes, 1.0f, codeTurn[static_cast<std::size_t>(c)]);
            rootOfUnity(-c, codes, 1.0f, codeTurnBack[static_cast<std::size_t>(c)]);
        }
    }

    if (decoderBlocks) {
        decoderGains = tableOf(p.gainBits, [&p](int code) { return decoderGainOf(p, code); });
        noiseAmplitudes = tableOf(p.noiseBits, [&p](int code) { return noiseAmplitudeOf(p, code); });
        toneAmplitudes = tableOf(p.toneBits - 1, [&p](int code) { return toneAmplitudeOf(p, code); });
        noiseBinAmplitudes.assign(static_cast<std::size_t>(std::max(p.noiseBins, 1)), 0.0f);
        noiseBinDraws.assign(static_cast<std::size_t>(std::max(p.noiseBins, 1)), 0);
        noiseDraws = NoiseDraws(p.noiseBins);
        const auto inOrder = [](const std::vector<int>& edges) {
            if (edges.empty() || edges.front() != 0 || edges.back() > blockLength) return false;
            for (std::size_t i = 1; i < edges.size(); ++i)
                if (edges[i] < edges[i - 1]) return false;
            return true;
        };
        stereoRunsUsable = inOrder(balanceEdges);
        phaseRunsUsable = inOrder(phaseEdges);
    }
    if (!encoderBlocks) return;

    const int steps = tuning.phaseSearchSteps;
    if (steps >= 1 && steps <= maxTabledTrials) {
        const std::size_t padded = static_cast<std::size_t>((steps + 7) / 8 * 8);
        trialRaRe.assign(padded, 0.0);
        trialRaIm.assign(padded, 0.0);
        trialRbRe.assign(padded, 0.0);
        trialRbIm.assign(padded, 0.0);
        for (int j = 0; j < steps; ++j) {
            Complex ra;
            Complex rb;
            rootOfUnity(-j, 2 * steps, 1.0f, ra);
            rootOfUnity(j, 2 * steps, 1.0f, rb);
            trialRaRe[static_cast<std::size_t>(j)] = ra.re;
            trialRaIm[static_cast<std::size_t>(j)] = ra.im;
            trialRbRe[static_cast<std::size_t>(j)] = rb.re;
            trialRbIm[static_cast<std::size_t>(j)] = rb.im;
        }
        trialScores.assign(padded, 0.0f);
        bandLanes.assign(4 * static_cast<std::size_t>(blockLength), 0.0);

        const std::size_t paddedFloat = static_cast<std::size_t>((steps + 15) / 16 * 16);
        trialRaReF.assign(paddedFloat, 0.0f);
        trialRaImF.assign(paddedFloat, 0.0f);
        trialRbReF.assign(paddedFloat, 0.0f);
        trialRbImF.assign(paddedFloat, 0.0f);
        for (int j = 0; j < steps; ++j) {
            trialRaReF[static_cast<std::size_t>(j)] = static_cast<float>(trialRaRe[static_cast<std::size_t>(j)]);
            trialRaImF[static_cast<std::size_t>(j)] = static_cast<float>(trialRaIm[static_cast<std::size_t>(j)]);
            trialRbReF[static_cast<std::size_t>(j)] = static_cast<float>(trialRbRe[static_cast<std::size_t>(j)]);
            trialRbImF[static_cast<std::size_t>(j)] = static_cast<float>(trialRbIm[static_cast<std::size_t>(j)]);
        }
        for (std::vector<float>* v : {&bandAre, &bandAim, &bandBre, &bandBim, &magnitudeA, &magnitudeB})
            v->assign(static_cast<std::size_t>(blockLength), 0.0f);
        farFrom.assign(static_cast<std::size_t>(blockLength), 0.0f);
        farBound.assign(static_cast<std::size_t>(blockLength), 0.0f);
        nearBound.assign(static_cast<std::size_t>(blockLength), 0.0f);
        approxScores.assign(paddedFloat, 0.0f);
        approxBounds.assign(paddedFloat, 0.0f);
        candidates.assign(padded, 0);
        candidateRaRe.assign(padded, 0.0);
        candidateRaIm.assign(padded, 0.0);
        candidateRbRe.assign(padded, 0.0);
        candidateRbIm.assign(padded, 0.0);
    }

    const int toneBins = std::min<int>(p.toneBins, blockLength);
    maskingFactors.assign(static_cast<std::size_t>(std::max(toneBins, 1)), 0.0);
    for (int i = 1; i < toneBins; ++i)
        maskingFactors[static_cast<std::size_t>(i)] = maskingStepFactor(i, tuning.maskingDecay);

    noiseExponents.resize(static_cast<std::size_t>(p.noiseBands));
    for (int i = 0; i < p.noiseBands; ++i)
        noiseExponents[static_cast<std::size_t>(i)] = static_cast<float>(
            static_cast<double>(noiseEdges[static_cast<std::size_t>(i)]) * tuning.noiseNormExponentSlope +
            tuning.noiseNormExponent);
    encoderGains = tableOf(p.gainBits, [&p](int code) { return encoderGainOf(p, code); });
}

bool FastPathData::tabledTurns(int code, Complex& turnA, Complex& turnB) const {
    const int codes = static_cast<int>(codeTurn.size());
    if (codes == 0 || code <= -codes || code >= codes) return false;
    const std::size_t index = static_cast<std::size_t>(code >= 0 ? code : -code);
    turnA = code >= 0 ? codeTurn[index] : codeTurnBack[index];
    turnB = code >= 0 ? codeTurnBack[index] : codeTurn[index];
    return true;
}
