// The table of noise generator checkpoints must hold exactly what running the
// recurrence gives, and reaching a draw count through it must equal drawing.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "codec/noise_checkpoints.h"
#include "codec/noise_generator.h"

namespace {

// Entry k with the counter it implies (k * step as a wrapping int32).
NoiseGeneratorState entry(int k)
{
    const uint32_t counter = static_cast<uint32_t>(static_cast<int64_t>(k) * noiseCheckpointStep);
    return NoiseGeneratorState{static_cast<int32_t>(counter), static_cast<int64_t>(noiseCheckpointStates[k])};
}

void expectSame(const NoiseGeneratorState& got, const NoiseGeneratorState& expected, const std::string& what)
{
    EXPECT_EQ(got.counter, expected.counter) << what;
    EXPECT_EQ(got.state, expected.state) << what;
}

TEST(NoiseCheckpoints, EachEntryFollowsFromTheOneBeforeByTheRecurrence)
{
    expectSame(entry(0), NoiseGeneratorState{0, 0}, "entry 0");
    // Entry 1 from the start, the last one (counter wrapped to INT32_MIN),
    // and seeded random ones, each from its predecessor.
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(2, noiseCheckpointCount - 2);
    int entries[8] = {1, noiseCheckpointCount - 1};
    for (int i = 2; i < 8; ++i) entries[i] = pick(random);
    for (int k : entries) {
        expectSame(advanceNoiseGenerator(entry(k - 1), noiseCheckpointStep), entry(k),
                   "entry " + std::to_string(k) + ", seed " + std::to_string(seed));
    }
    EXPECT_EQ(entry(noiseCheckpointCount - 1).counter, INT32_MIN);
}

TEST(NoiseCheckpoints, ReachingADrawCountEqualsDrawing)
{
    const int64_t step = noiseCheckpointStep;
    const int64_t tableEnd = step * (noiseCheckpointCount - 1);  // 2^31
    struct Case {
        int64_t from;   // 0: draw everything from the start; else reach this count through the table
        int64_t draws;  // then draw these
    };
    const Case cases[] = {
        {0, 0},                    // the start
        {0, 1},                    // inside the first step
        {0, step - 1},             // the last count before entry 1
        {0, step},                 // entry 1 itself
        {0, 3 * step + 777},       // past a few entries
        {0, 180000LL * 704},       // the end of an hour at the default parameters, drawn all the way
        {5 * step - 3, 10},        // across an entry
        {tableEnd - 5, 10},        // across the end of the table, into the fallback
        {tableEnd + 12345, 4000},  // beyond the table
    };
    for (const Case& c : cases) {
        const NoiseGeneratorState base = c.from == 0 ? NoiseGeneratorState{0, 0} : noiseGeneratorAfterDraws(c.from);
        expectSame(noiseGeneratorAfterDraws(c.from + c.draws), advanceNoiseGenerator(base, c.draws),
                   "after " + std::to_string(c.from) + " + " + std::to_string(c.draws) + " draws");
    }
    EXPECT_LT(noiseGeneratorStepsAfterDraws(tableEnd - 1), step);
    EXPECT_EQ(noiseGeneratorStepsAfterDraws(tableEnd + 5), 5);
}

}  // namespace
