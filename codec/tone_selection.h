#pragma once

// Masking curve of v[0..n-1]: each magnitude spread to its neighbours with a
// decay that reaches further at higher bins. Writes n floats to out.
void spreadMasking(const float* v, int n, float scale, float decay, float* out);

// The n-th largest (n = 0 is the maximum) of count values, duplicates counted.
// Requires count > n. Exact for every input.
float nthLargest(const float* values, int count, int n);
