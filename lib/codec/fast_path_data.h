// FastPathData: the tables Elb1764's fast path computes once per codec from
// its parameter blocks.
#pragma once

// What the fast path of Elb1764 computes once per codec instead of once per
// frame or band: everything that depends only on the parameter blocks. Each
// entry is made by the very expression the reference step evaluates, so it
// holds the same bits. Also the fast path's working arrays, so that a frame
// takes nothing from the heap.

#include <cstdint>
#include <vector>

#include "codec/codec_parameters.h"
#include "codec/noise_draws.h"
#include "base/complex.h"

struct FastPathData {
    // Tables of per-code values are made when a field has at most this many
    // codes; a wider field (allowed up to 30 bits) computes its values per
    // use with the same expressions.
    static constexpr int maxTabledCodes = 1 << 12;
    // Phase searches with more trial angles than this run the reference search.
    static constexpr int maxTabledTrials = 1 << 12;

    // encoderBlocks / decoderBlocks: whether the codec can encode / decode
    // with these blocks at all; nothing is built for a side that cannot.
    FastPathData(const CodecParameters& parameters, const EncoderTuning& tuning, bool encoderBlocks,
                 bool decoderBlocks);

    // Band edges e(0)..e(count) of the three band families.
    std::vector<int> phaseEdges;
    std::vector<int> balanceEdges;
    std::vector<int> noiseEdges;

    // Phase search: the trial rotations ra = e^(-2 pi i j / M) and rb = e^(+2 pi i j / M)
    // as doubles, zero-padded to a multiple of 8; empty when there are too many.
    std::vector<double> trialRaRe, trialRaIm, trialRbRe, trialRbIm;
    // Turns of a phase code c: codeTurn[c] = e^(2 pi i c / S), codeTurnBack[c] = e^(-2 pi i c / S).
    std::vector<Complex> codeTurn, codeTurnBack;
    // The turns of code for the two channels, rootOfUnity(code) and
    // rootOfUnity(-code), when the tables hold them.
    bool tabledTurns(int code, Complex& turnA, Complex& turnB) const;

    // Masking decay from bin i-1 to bin i (entry i >= 1) over the tone bins.
    std::vector<double> maskingFactors;
    // fromLevel of the floors that toLevel compares against.
    double noiseFloorAmplitude = 0.0;  // fromLevel(-levelRange)
    double gainFloorAmplitude = 0.0;   // fromLevel(gainLevelMin)
    // Per-band noise exponents of the encoder.
    std::vector<float> noiseExponents;

    // Amplitudes of every code, as each step computes them; empty when too many.
    std::vector<float> encoderGains;     // normalizeGain: fromLevel(float level)
    std::vector<float> decoderGains;     // applyGain
    std::vector<float> noiseAmplitudes;  // fillBandNoise
    std::vector<float> toneAmplitudes;   // placeTones, per level code (code div 2), unsigned

    // The same rotations as floats, zero-padded to a multiple of 16, for the
    // approximate first pass of the search.
    std::vector<float> trialRaReF, trialRaImF, trialRbReF, trialRbImF;

    // Whether the balance edges run in order from 0 inside the spectrum, so
    // that the balance bands and the bins above them tile it (the decoder's
    // one-pass spread and balance).
    bool stereoRunsUsable = false;
    // The same for the phase edges: the phase bands are then disjoint.
    bool phaseRunsUsable = false;

    // Working arrays.
    std::vector<float> noiseBinAmplitudes;  // the decoder's noise amplitude of each noise bin
    std::vector<int32_t> noiseBinDraws;     // the decoder's draws of a frame, one per noise bin
    NoiseDraws noiseDraws;                  // where those draws come from
    std::vector<double> bandLanes;    // 4 doubles per bin: a.re, a.im, b.re, b.im
    std::vector<float> trialScores;   // one per trial angle, padded
    // Phase search first pass: per bin the error bounds, per trial the float
    // score and its bound; the trials that can still win, their rotations
    // gathered for the exact kernel, and their exact scores.
    std::vector<float> bandAre, bandAim, bandBre, bandBim;  // the band's floats, one array per part
    std::vector<float> magnitudeA, magnitudeB;               // the energy's terms
    std::vector<float> farFrom, farBound, nearBound;
    std::vector<float> approxScores, approxBounds;
    std::vector<int> candidates;
    std::vector<double> candidateRaRe, candidateRaIm, candidateRbRe, candidateRbIm;
    // How many trial angles the last fast phase search scored exactly (all of
    // them when it could not prune); for tests and benchmarks.
    int lastExactTrials = 0;
};

// The scales of the phase search's first-pass bounds, for kernels whose
// pass estimates roots within rootEstimateError (0: exact roots): per bin,
// farBound = far root + 2^-41 and nearBound = near root + 2^-35 bound how far
// the pass's term can be from the exact one, give or take perBin
// (root = sqrt(|a.re| + |a.im| + |b.re| + |b.im|); see fast_frame_encoder.cpp).
struct PhaseBoundScales {
    double far;
    double near;
    double perBin;
};
PhaseBoundScales phaseBoundScales(double rootEstimateError);

// The per-code values, by the expressions of the reference steps; the
// tables above hold these.
float encoderGainOf(const CodecParameters& parameters, int code);
float decoderGainOf(const CodecParameters& parameters, int code);
float noiseAmplitudeOf(const CodecParameters& parameters, int code);
float toneAmplitudeOf(const CodecParameters& parameters, int levelCode);
