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

// The state after draws draws from the generator's start (counter 0, state
// 0), where every file's decoding starts: from the nearest entry of
// noiseCheckpointStates at or below draws, then advanceNoiseGenerator for
// the rest (fewer than noiseCheckpointStep steps up to 2^31 draws; beyond
// the table, from its last entry). draws <= 0 gives the start.
NoiseGeneratorState noiseGeneratorAfterDraws(int64_t draws);

// How many steps of the recurrence noiseGeneratorAfterDraws(draws) runs, so
// that a caller who knows the state a few draws earlier can take the shorter
// way.
int64_t noiseGeneratorStepsAfterDraws(int64_t draws);
