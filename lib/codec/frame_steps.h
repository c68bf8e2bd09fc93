// LiteralSteps and FastSteps: the two step sets Elb1764's frame skeleton runs
// a frame with, the literal rendering of each step and its fast form.
#pragma once

#include <cstdint>

#include "base/complex.h"
#include "codec/band_edges.h"
#include "codec/elb1764.h"
#include "codec/fast_path_data.h"

// The stereo spectra from the mono one in three passes: the gain and the
// spread into both spectra, the balance of each balance band, the turn of
// each phase band.
template <class Steps>
void stereoInPasses(Steps& steps, const CodecParameters& p, float* y, int gainCode, const int* balanceCodes,
                    const int* phaseCodes, Complex* left, Complex* right) {
    steps.spreadWithGain(y, gainCode, left, right);
    for (int i = 0; i < p.balanceBands; ++i) {
        const int start = steps.balanceEdge(i);
        steps.applyBandBalance(left + start, right + start, steps.balanceEdge(i + 1) - start, balanceCodes[i]);
    }
    for (int i = 0; i < p.phaseBands; ++i) {
        const int start = steps.phaseEdge(i);
        steps.rotateBandPhase(left + start, right + start, steps.phaseEdge(i + 1) - start, phaseCodes[i]);
    }
}

// The literal steps: each keeps its definition's expressions and order,
// band edges included.
struct LiteralSteps {
    Elb1764& codec;

    int phaseEdge(int i) const { return bandEdge(i, codec.parameters.phaseBands, codec.parameters.phaseBins); }
    int balanceEdge(int i) const { return bandEdge(i, codec.parameters.balanceBands, codec.parameters.balanceBins); }
    int noiseEdge(int i) const { return bandEdge(i, codec.parameters.noiseBands, codec.parameters.noiseBins); }
    float noiseExponent(int, int start) const {
        return static_cast<float>(static_cast<double>(start) * codec.tuning.noiseNormExponentSlope +
                                  codec.tuning.noiseNormExponent);
    }

    int encodeBandPhase(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy) {
        return codec.encodeBandPhase(a, b, n, prevAngle, prevEnergy);
    }
    int searchBandPhase(const Complex* a, const Complex* b, int n, float& energy) const {
        return codec.searchBandPhase(a, b, n, energy);
    }
    int measureBandBalance(const Complex* a, const Complex* b, int n) const { return codec.measureBandBalance(a, b, n); }
    int normalizeGain(float* x, int n) const { return codec.normalizeGain(x, n); }
    void extractTones(float* x, int* codes, int* bins) { codec.extractTones(x, codes, bins); }
    int measureBandNoise(const float* xb, int n, float exponent) const { return codec.measureBandNoise(xb, n, exponent); }

    // Y and both spectra start cleared.
    void prepareMono(float* y, Complex* left, Complex* right) const {
        for (int k = 0; k < blockLength; ++k) {
            y[k] = 0.0f;
            left[k] = Complex{0.0f, 0.0f};
            right[k] = Complex{0.0f, 0.0f};
        }
    }
    void fillBandNoise(float* yb, int n, int code) { codec.fillBandNoise(yb, n, code); }
    // The noise of each band in turn, codes[i] its level code.
    void fillNoise(float* y, const int* codes) {
        for (int i = 0; i < codec.parameters.noiseBands; ++i) {
            const int start = noiseEdge(i);
            fillBandNoise(y + start, noiseEdge(i + 1) - start, codes[i]);
        }
    }
    double nextNoise() { return codec.nextNoise(); }
    void placeTones(float* y, const int* codes, const int* bins) const { codec.placeTones(y, codes, bins); }
    void applyGain(float* y, int code) const { codec.applyGain(y, code); }
    // The gain on Y, then Y as the real part of both spectra.
    void spreadWithGain(float* y, int code, Complex* left, Complex* right) const {
        codec.applyGain(y, code);
        for (int k = 0; k < blockLength; ++k) {
            left[k] = Complex{y[k], 0.0f};
            right[k] = Complex{y[k], 0.0f};
        }
    }
    void applyBandBalance(Complex* a, Complex* b, int n, int code) const { codec.applyBandBalance(a, b, n, code); }
    void rotateBandPhase(Complex* a, Complex* b, int n, int code) const { codec.rotateBandPhase(a, b, n, code); }
    void stereoFromMono(float* y, int gainCode, const int* balanceCodes, const int* phaseCodes, Complex* left,
                        Complex* right) {
        stereoInPasses(*this, codec.parameters, y, gainCode, balanceCodes, phaseCodes, left, right);
    }
};

// The fast steps: the same results from tables made once per codec, vector
// kernels and fused loops.
struct FastSteps {
    Elb1764& codec;

    int phaseEdge(int i) const { return codec.fast->phaseEdges[static_cast<std::size_t>(i)]; }
    int balanceEdge(int i) const { return codec.fast->balanceEdges[static_cast<std::size_t>(i)]; }
    int noiseEdge(int i) const { return codec.fast->noiseEdges[static_cast<std::size_t>(i)]; }
    float noiseExponent(int i, int) const { return codec.fast->noiseExponents[static_cast<std::size_t>(i)]; }

    int encodeBandPhase(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy) {
        return codec.encodeBandPhaseFast(a, b, n, prevAngle, prevEnergy);
    }
    int searchBandPhase(const Complex* a, const Complex* b, int n, float& energy) {
        return codec.searchBandPhaseFast(a, b, n, energy);
    }
    int measureBandBalance(const Complex* a, const Complex* b, int n) const {
        return codec.measureBandBalanceFast(a, b, n);
    }
    int normalizeGain(float* x, int n) const { return codec.normalizeGainFast(x, n); }
    void extractTones(float* x, int* codes, int* bins) { codec.extractTonesFast(x, codes, bins); }
    int measureBandNoise(const float* xb, int n, float exponent) const {
        return codec.measureBandNoiseFast(xb, n, exponent);
    }

    // The noise bands tile 0..noiseBins-1 and write every bin there; only the
    // bins above start cleared (the spectra are written whole later).
    void prepareMono(float* y, Complex*, Complex*) const {
        for (int k = codec.parameters.noiseBins; k < blockLength; ++k) y[k] = 0.0f;
    }
    void fillNoise(float* y, const int* codes) { codec.fillNoiseFast(y, codes); }
    void placeTones(float* y, const int* codes, const int* bins) const { codec.placeTonesFast(y, codes, bins); }
    // One pass: the gain on Y and Y into both spectra.
    void spreadWithGain(float* y, int code, Complex* left, Complex* right) const {
        codec.spreadWithGainFast(y, code, left, right);
    }
    void applyBandBalance(Complex* a, Complex* b, int n, int code) const { codec.applyBandBalanceFast(a, b, n, code); }
    void rotateBandPhase(Complex* a, Complex* b, int n, int code) const { codec.rotateBandPhaseFast(a, b, n, code); }
    // The spread and the balance in one pass where the balance bands tile
    // the spectrum from bin 0, else the three passes of the fast steps.
    void stereoFromMono(float* y, int gainCode, const int* balanceCodes, const int* phaseCodes, Complex* left,
                        Complex* right) {
        if (!codec.stereoFromMonoFast(y, gainCode, balanceCodes, phaseCodes, left, right))
            stereoInPasses(*this, codec.parameters, y, gainCode, balanceCodes, phaseCodes, left, right);
    }
};
