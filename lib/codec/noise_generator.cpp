#include "codec/noise_generator.h"

#include "codec/noise_checkpoints.h"

NoiseGeneratorState advanceNoiseGenerator(NoiseGeneratorState start, int64_t draws)
{
    // The same arithmetic as a draw in the frame decoder: unsigned, modulo
    // 2^64, the counter sign-extended before it is added.
    uint64_t state = static_cast<uint64_t>(start.state);
    uint32_t counter = static_cast<uint32_t>(start.counter);
    for (int64_t i = 0; i < draws; ++i) {
        noiseStep(state, counter);
    }
    return NoiseGeneratorState{wrapToInt32(counter), wrapToInt64(state)};
}

namespace {

// The table entry noiseGeneratorAfterDraws starts from.
int64_t checkpointBelow(int64_t draws)
{
    if (draws <= 0) return 0;
    const int64_t entry = draws >> noiseCheckpointShift;
    return entry < noiseCheckpointCount ? entry : noiseCheckpointCount - 1;
}

}  // namespace

NoiseGeneratorState noiseGeneratorAfterDraws(int64_t draws)
{
    if (draws <= 0) return NoiseGeneratorState{0, 0};
    const int64_t entry = checkpointBelow(draws);
    const int64_t reached = entry * noiseCheckpointStep;
    // The counter after reached draws, reached read as a wrapping int32
    // (reached is at most 2^31, whose reading is INT32_MIN).
    const NoiseGeneratorState start{wrapToInt32(static_cast<uint32_t>(reached)),
                                    wrapToInt64(noiseCheckpointStates[entry])};
    return advanceNoiseGenerator(start, draws - reached);
}

int64_t noiseGeneratorStepsAfterDraws(int64_t draws)
{
    if (draws <= 0) return 0;
    return draws - checkpointBelow(draws) * noiseCheckpointStep;
}
