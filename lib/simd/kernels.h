// SimdKernels: the fast transform and codec kernels of one instruction set,
// as a table of functions.
#pragma once

#include <cstdint>

#include "base/complex.h"
#include "simd/instruction_set.h"

struct FastTransformPlan;

// The fast 1764-point transforms and the filter bank; each output float has
// exactly the bits of the literal transform (lib/transform) for the same
// input. plan holds the factors in the order the kernels read them.
struct TransformKernels {
    // fft1764 and inverseFft1764 with unit strides; src and dst may be the same array.
    void (*fft)(const FastTransformPlan& plan, const Complex* src, Complex* dst);
    void (*inverseFft)(const FastTransformPlan& plan, const Complex* src, Complex* dst);
    // analyzeFrame and synthesizeFrame; the input may not overlap the outputs.
    void (*analyze)(const FastTransformPlan& plan, const Complex* frame, Complex* left, Complex* right);
    void (*synthesize)(const FastTransformPlan& plan, const Complex* left, const Complex* right, Complex* out);
    // Synthesis added into an overlap-add accumulator of 1764 values, with the
    // bits of synthesize followed by acc[n] = acc[n] + out[n] (re and im).
    void (*synthesizeAdd)(const FastTransformPlan& plan, const Complex* left, const Complex* right,
                          Complex* accumulator);
};

// Vector kernels of the codec's fast path. Every variant gives exactly the
// bits of the scalar expressions it replaces (the literal steps in
// lib/codec/frame_encoder.cpp and tone_selection.cpp).
//
// How the bits stay the same: the lanes never hold neighbouring terms of one
// sum. A phase-search lane holds one trial angle and runs through the bins
// in order, so each angle's score is accumulated exactly as the scalar loop
// does it; a masking or rating lane holds one bin, whose value depends on
// nothing else. Each scalar step is one IEEE operation in double (+, -, *,
// sqrt, all correctly rounded, the same in a lane as in a scalar register)
// or one rounding to float (a conversion, the same in both too). No fused
// multiply-add is used.
struct CodecKernels {
    // Scores of trial angles j = 0..count-1 of the phase search over one band
    // of n bins. band holds per bin a.re, a.im, b.re, b.im as doubles; the
    // four root arrays hold ra = e^(-2 pi i j / M) and rb = e^(+2 pi i j / M)
    // as doubles (copies of the float roots), padded with zeros to a multiple
    // of 8 entries. scores gets count floats (room for that padding too).
    void (*scorePhaseTrials)(const double* band, int n, const double* raRe, const double* raIm,
                             const double* rbRe, const double* rbIm, int count, float* scores);
    // Per bin of a phase band given as four float arrays: the magnitudes
    // hypotenuse(ar, ai) and hypotenuse(br, bi) rounded to float (the band
    // energy's terms, bit for bit), and the error bounds of the first pass
    // below, from size = |ar| + |ai| + |br| + |bi| (scaled up by 1 + 2^-50)
    // and root = sqrt(size) (likewise): farFrom = 2^-10 size + 2^-60,
    // farBound = farScale root + 2^-41, nearBound = nearScale root + 2^-35,
    // each scaled by 1 + 2^-20 and rounded to float. Returns false when a
    // size is above 2^60 or not a number (the bounds are then meaningless).
    bool (*prepareBand)(const float* ar, const float* ai, const float* br, const float* bi, int n,
                        double farScale, double nearScale, float* magnitudeA, float* magnitudeB, float* farFrom,
                        float* farBound, float* nearBound);
    // The cheap first pass of the phase search: for trial angles j =
    // 0..count-1, approx[j] = the score computed in float arithmetic, and
    // bound[j] = the float sum over the bins of farBound[k] where the
    // float magnitude of the trial's sum is at least farFrom[k], else
    // nearBound[k] (see lib/codec/fast_frame_encoder.cpp for what these
    // bound). The float roots raRe.. are padded with zeros to a multiple of 16.
    void (*approximatePhaseTrials)(const Complex* a, const Complex* b, int n, const float* farFrom,
                                   const float* farBound, const float* nearBound, const float* raRe,
                                   const float* raIm, const float* rbRe, const float* rbIm, int count,
                                   float* approx, float* bound);
    // 0 where that pass takes its two roots per term exactly (correctly
    // rounded); else e > 0: each root comes from an estimate of 1/sqrt within
    // relative error e, and the caller widens its bounds for that.
    double rootEstimateError;
    // Last step of the masking spread: s[i] = hyp(s[i], hyp(forward[i], backward[i])),
    // each hypotenuse rounded to float.
    void (*combineMasking)(float* s, const float* forward, const float* backward, int n);
    // Tone ratings: q[k] = |x[k]| / (s[k] + 0.0001), in double, rounded to float.
    void (*rateBins)(const float* x, const float* s, float* q, int n);
    // The terms of the balance measure: per bin, mid = (a + b) 0.5 and
    // side = (a - b) 0.5 (each part), u = g side + mid and v = mid - g side,
    // all rounded to float; magnitudeU[k] = hypotenuse(u) and magnitudeV[k]
    // = hypotenuse(v) in double, not rounded.
    void (*balanceMagnitudes)(const Complex* a, const Complex* b, int n, float g, double* magnitudeU,
                              double* magnitudeV);

    // The decoder's steps (the literal ones in lib/codec/frame_decoder.cpp
    // and homosoundwork1764.cpp):
    // out[i] = x[i] as a 16-bit sample: NaN gives 0, the value is limited to
    // [-32768, 32767] and truncated toward zero.
    void (*toSamples)(const float* x, int n, int16_t* out);
    // a[k] = a[k] turnA and b[k] = b[k] turnB, each product in double from
    // the floats, each part rounded to float.
    void (*rotateBands)(Complex* a, Complex* b, int n, Complex turnA, Complex turnB);
    // The same for bins whose imaginary parts are all +0, with the same bits;
    // false, writing nothing, for runs it leaves to rotateBands (a real part
    // not finite or nonzero below 2^-100, a turn's part beyond 1).
    bool (*turnRealBands)(Complex* a, Complex* b, int n, Complex turnA, Complex turnB);
    // The stereo balance of the real parts (the imaginary parts stay as they
    // are): sum = a + b, p = sum towardLeft, q = sum towardRight,
    // mid = (p + q) 0.5, side = (p - q) / sideScale, a = mid + side,
    // b = mid - side; in double, every named value rounded to float.
    void (*balanceBands)(Complex* a, Complex* b, int n, float towardLeft, float towardRight, double sideScale);
    // Noise values: out[k] = 0 + ((draws[k] / 2^32 + 0.5) 4 - 2) amplitudes[k],
    // in double, rounded to float.
    void (*noiseValues)(const int32_t* draws, int n, const float* amplitudes, float* out);
    // Both spectra over a run of n bins from the mono spectrum y, in one
    // pass: value = gain y[k], a[k] = b[k] = (value, 0), then when balanced
    // the balance of balanceBands; the same bits as those steps.
    void (*spreadBalanced)(const float* y, int n, float gain, bool balanced, float towardLeft, float towardRight,
                           double sideScale, Complex* a, Complex* b);
};

struct SimdKernels {
    InstructionSet set;
    TransformKernels transform;
    CodecKernels codec;
};

// The kernels of one instruction set, or nullptr where this build does not
// contain them or the processor cannot run them. The tables are constant.
const SimdKernels* simdKernels(InstructionSet set);
// The kernels of bestInstructionSet().
const SimdKernels& bestSimdKernels();
