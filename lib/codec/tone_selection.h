// Tone selection: how the encoder picks a frame's tones; MaskingScratch holds
// the working arrays of its masking curve.
#pragma once

// Masking curve of v[0..n-1]: each magnitude spread to its neighbours with a
// decay that reaches further at higher bins. Writes n floats to out.
void spreadMasking(const float* v, int n, float scale, float decay, float* out);

// The n-th largest (n = 0 is the maximum) of count values, duplicates counted.
// Requires count > n. Exact for every input.
float nthLargest(const float* values, int count, int n);

// ---- allocation-free forms used by the frame encoder ----

// Working arrays of spreadMasking, each with room for at least n entries.
struct MaskingScratch {
    float* forward;
    float* backward;
    double* factors;
};

// spreadMasking with caller-provided working arrays; the same result.
void spreadMasking(const float* v, int n, float scale, float decay, float* out,
                   const MaskingScratch& scratch);

// Decay of the masking spread from bin i-1 to bin i (i >= 1):
// decay^(warp(i) - warp(i-1)) with warp(i) = 5 * i^(1/4) rounded to float.
double maskingStepFactor(int i, float decay);

// nthLargest with a caller-provided working area of at least count floats;
// the same result, values untouched. Both forms clamp n into 0..count-1,
// return 0 for count <= 0, and rank a NaN below every number.
float nthLargest(const float* values, int count, int n, float* scratch);

// The bins chosen by their ratings: every bin rated above threshold (the
// rating of the total-th best, so there are fewer than total of them), then
// bins rated exactly at it from the lowest up until total are chosen. Once
// every remaining bin is needed it is taken, so exactly total bins (at most
// count) are written to chosen in ascending order whatever the ratings (even
// NaN). Returns how many were written.
int pickRatedBins(const float* ratings, int count, int total, float threshold, int* chosen);
