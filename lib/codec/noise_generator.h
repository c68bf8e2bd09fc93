// NoiseGeneratorState: the counter and state of the decoder's pseudo-random
// noise generator between draws.
#pragma once

#include <cstdint>

#include "base/wrapping.h"

// The state of the decoder's noise generator between draws: the draw counter
// and the 64-bit state of x -> x * (x + 1) + counter (modulo 2^64).
struct NoiseGeneratorState {
    int32_t counter;
    int64_t state;
};

// One step of the recurrence on the unsigned images of the state and the
// counter: x = state * (state + 1) + counter modulo 2^64, the counter
// sign-extended (its int32 reading), then the counter moves on (wrapping
// after 2^31 draws, some 17 hours of audio). Returns x, the new state.
inline uint64_t noiseStep(uint64_t& state, uint32_t& counter) {
    const uint64_t x = state * (state + 1u) + static_cast<uint64_t>(static_cast<int64_t>(wrapToInt32(counter)));
    state = x;
    counter += 1u;
    return x;
}

// The draw a step gives: bits 16..47 of x as a signed 32-bit value, mapped
// onto [-2, 2).
inline double noiseValue(uint64_t x) {
    const int32_t r = wrapToInt32(static_cast<uint32_t>(x >> 16));
    return (r / 4294967296.0 + 0.5) * 4.0 - 2.0;
}

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
