// Complex: a pair of 32-bit floats (re, im), also used as one left/right pair
// of stereo samples.
#pragma once

// A pair of 32-bit floats. An array of n Complex is 2n consecutive floats
// (re, im, re, im, ...), which the filter bank uses as interleaved stereo
// samples: left in re, right in im.
struct Complex {
    float re;
    float im;
};

static_assert(sizeof(Complex) == 2 * sizeof(float), "Complex must be two packed floats");
