// noiseCheckpointStates: a table of the decoder's noise generator state at
// evenly spaced draw counts from its start, shared by every file.
#pragma once

#include <cstdint>

// The generator starts at counter 0, state 0 for every file, and its state
// after D draws depends on D alone (not on the codec parameters), so a table
// of states every noiseCheckpointStep draws lets a seek reach the state after
// any D draws with at most noiseCheckpointStep - 1 steps of the recurrence.
// Entry k is the state after k * noiseCheckpointStep draws (the counter there
// is that count as a wrapping int32), for draw counts up to 2^31: 180 000
// frames of an hour at 704 draws per frame make about 2^27 draws, so the
// table covers some 17 hours at the default parameters. The step of 2^17
// keeps the table at 128 KiB while the steps left after it take about 0.2 ms
// at most, less than decoding the two packets a seek decodes anyway.
//
// Made by tools/make_noise_checkpoints.cpp (see there to regenerate).
constexpr int noiseCheckpointShift = 17;
constexpr int64_t noiseCheckpointStep = int64_t{1} << noiseCheckpointShift;
constexpr int noiseCheckpointCount = (1 << (31 - noiseCheckpointShift)) + 1;

extern const uint64_t noiseCheckpointStates[noiseCheckpointCount];
