// NoiseGeneratorState: the counter and state of the decoder's pseudo-random
// noise generator between draws.
#pragma once

#include <cstdint>

// The state of the decoder's noise generator between draws: the draw counter
// and the 64-bit state of x -> x * (x + 1) + counter (modulo 2^64).
struct NoiseGeneratorState {
    int32_t counter;
    int64_t state;
};

// Runs draws steps of the generator's recurrence and nothing else (no noise
// value is formed). Each decoded frame makes exactly noiseBins draws, so a
// seek index reaches the state at any frame this way without synthesis; the
// map is quadratic, so there is no shortcut past the steps themselves.
NoiseGeneratorState advanceNoiseGenerator(NoiseGeneratorState start, int64_t draws);
