#include "codec/noise_generator.h"

#include "codec/elb1764.h"

namespace {

// Two's-complement readings of the wrapped unsigned values.
int32_t wrapToInt32(uint32_t bits)
{
    if (bits <= static_cast<uint32_t>(INT32_MAX)) return static_cast<int32_t>(bits);
    return -static_cast<int32_t>(~bits) - 1;
}

int64_t wrapToInt64(uint64_t bits)
{
    if (bits <= static_cast<uint64_t>(INT64_MAX)) return static_cast<int64_t>(bits);
    return -static_cast<int64_t>(~bits) - 1;
}

}  // namespace

NoiseGeneratorState advanceNoiseGenerator(NoiseGeneratorState start, int64_t draws)
{
    // The same arithmetic as a draw in the frame decoder: unsigned, modulo
    // 2^64, the counter sign-extended before it is added.
    uint64_t state = static_cast<uint64_t>(start.state);
    uint32_t counter = static_cast<uint32_t>(start.counter);
    for (int64_t i = 0; i < draws; ++i) {
        state = state * (state + 1u) + static_cast<uint64_t>(static_cast<int64_t>(wrapToInt32(counter)));
        counter += 1u;
    }
    return NoiseGeneratorState{wrapToInt32(counter), wrapToInt64(state)};
}

NoiseGeneratorState Elb1764::noiseGenerator() const
{
    return NoiseGeneratorState{noiseCounter, noiseState};
}

void Elb1764::setNoiseGenerator(const NoiseGeneratorState& generator)
{
    noiseCounter = generator.counter;
    noiseState = generator.state;
}
