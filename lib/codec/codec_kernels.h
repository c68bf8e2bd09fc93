// CodecKernels: the table of vector kernels behind the codec's fast path, one
// table per instruction set.
#pragma once

// Vector kernels of the codec's fast path, one set per instruction set.
// Every variant gives exactly the bits of the scalar expressions it replaces
// (the reference steps in frame_encoder.cpp and tone_selection.cpp); they
// differ only in speed.
//
// How the bits stay the same: the lanes never hold neighbouring terms of one
// sum. A phase-search lane holds one trial angle and runs through the bins
// in order, so each angle's score is accumulated exactly as the scalar loop
// does it; a masking or rating lane holds one bin, whose value depends on
// nothing else. Each scalar step is one IEEE operation in double (+, -, *,
// sqrt, all correctly rounded, the same in a lane as in a scalar register)
// or one rounding to float (a conversion, the same in both too). No fused
// multiply-add is used.

#include "base/complex.h"

enum class CodecSimdLevel {
    portable,  // plain C++
    sse2,      // two doubles per register, the x86-64 baseline
    avx2,      // four doubles, chosen at run time
    avx512,    // eight doubles, chosen at run time
};

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
    // nearBound[k] (see fast_frame_encoder.cpp for what these bound). The
    // float roots raRe.. are padded with zeros to a multiple of 16.
    void (*approximatePhaseTrials)(const Complex* a, const Complex* b, int n, const float* farFrom,
                                   const float* farBound, const float* nearBound, const float* raRe,
                                   const float* raIm, const float* rbRe, const float* rbIm, int count,
                                   float* approx, float* bound);
    // Last step of the masking spread: s[i] = hyp(s[i], hyp(forward[i], backward[i])),
    // each hypotenuse rounded to float.
    void (*combineMasking)(float* s, const float* forward, const float* backward, int n);
    // Tone ratings: q[k] = |x[k]| / (s[k] + 0.0001), in double, rounded to float.
    void (*rateBins)(const float* x, const float* s, float* q, int n);
};

const char* codecSimdLevelName(CodecSimdLevel level);
// Whether this build contains the variant and the processor can run it.
bool codecSimdLevelAvailable(CodecSimdLevel level);
// The fastest available variant.
CodecSimdLevel bestCodecSimdLevel();
// The variant the fast path uses now (the best one unless a test chose another).
CodecSimdLevel activeCodecSimdLevel();
// Makes the fast path use the given variant, process-wide; false and no
// change when it is not available. A hook for tests and benchmarks.
bool selectCodecSimdLevel(CodecSimdLevel level);
const CodecKernels& activeCodecKernels();

// Each variant, or nullptr where this build does not contain it.
const CodecKernels* portableCodecKernels();
const CodecKernels* sse2CodecKernels();
const CodecKernels* avx2CodecKernels();
const CodecKernels* avx512CodecKernels();
