// The decoder's noise generator: its sequence, its range and its behaviour
// once the draw counter passes 2^31.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/frame_steps.h"
#include "decoder_test_support.h"

namespace {

// Reference arithmetic, independent of the codec's: the state update in
// plain uint64, the signed readings by copying the bit patterns.
struct ReferenceDraw {
    uint64_t x;
    int32_t r;
    double u;
};

ReferenceDraw referenceDraw(uint64_t state, int32_t counter)
{
    uint64_t counterBits;
    const int64_t widened = counter;
    std::memcpy(&counterBits, &widened, sizeof counterBits);
    ReferenceDraw d;
    d.x = state * (state + 1) + counterBits;
    const uint32_t middle = static_cast<uint32_t>((d.x >> 16) & 0xFFFFFFFFu);
    std::memcpy(&d.r, &middle, sizeof d.r);
    d.u = (d.r / 4294967296.0 + 0.5) * 4.0 - 2.0;
    return d;
}

int64_t asSigned(uint64_t bits)
{
    int64_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint64_t asUnsigned(int64_t value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// r recovered from u: u = r / 2^30 exactly in double.
int64_t rOf(double u) { return static_cast<int64_t>(u * 1073741824.0); }

}  // namespace

TEST(NoiseGenerator, FreshCodecStartsAtZero)
{
    CodecProbe codec;
    EXPECT_EQ(codec.noiseCounter, 0);
    EXPECT_EQ(codec.noiseState, 0);
}

TEST(NoiseGenerator, FirstStatesAndDraws)
{
    CodecProbe codec;
    const std::vector<int64_t> states = {0, 1, 4, 23, 556, 309697, 95912541512LL};
    const std::vector<int64_t> rs = {0, 0, 0, 0, 0, 4, 1463509, 709664080};
    std::vector<double> us;
    for (std::size_t i = 0; i < rs.size(); ++i) {
        us.push_back(LiteralSteps{codec}.nextNoise());
        if (i < states.size()) {
            EXPECT_EQ(codec.noiseState, states[i]) << "after draw " << i + 1;
        }
        EXPECT_EQ(codec.noiseCounter, static_cast<int32_t>(i + 1));
        EXPECT_EQ(rOf(us[i]), rs[i]) << "draw " << i + 1;
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(us[i], 0.0, 4e-9) << i;
    }
    EXPECT_NEAR(us[6], 0.001363, 5e-7);
    EXPECT_NEAR(us[7], 0.660926, 5e-7);
}

TEST(NoiseGenerator, StaysInsideItsRangeAndLooksUniform)
{
    CodecProbe codec;
    const int draws = 200000;
    int buckets[4] = {0, 0, 0, 0};
    double sum = 0.0;
    for (int i = 0; i < draws; ++i) {
        const double u = LiteralSteps{codec}.nextNoise();
        ASSERT_GE(u, -2.0);
        ASSERT_LT(u, 2.0);
        sum += u;
        ++buckets[static_cast<int>((u + 2.0))];  // [-2,-1), [-1,0), [0,1), [1,2)
    }
    EXPECT_NEAR(sum / draws, 0.0, 0.02);
    for (int b : buckets) {
        EXPECT_NEAR(b, draws / 4, draws / 40);
    }
}

TEST(NoiseGenerator, CounterWrapsPastTwoToTheThirtyOneDeterministically)
{
    // After some 17 hours of audio the counter passes INT32_MAX; it must wrap
    // to INT32_MIN (sign-extended into the next state) and go on.
    for (const int64_t start : {int64_t{0}, int64_t{95912541512LL}, int64_t{-1}, int64_t{INT64_MIN},
                                int64_t{0x7edcba9876543210LL}}) {
        CodecProbe codec;
        codec.noiseState = start;
        codec.noiseCounter = INT32_MAX - 2;

        uint64_t state = asUnsigned(start);
        int64_t counter = INT32_MAX - 2;  // tracked wide, folded back by hand
        for (int step = 0; step < 6; ++step) {
            const int32_t counter32 = static_cast<int32_t>(counter > INT32_MAX ? counter - 4294967296LL : counter);
            const ReferenceDraw expected = referenceDraw(state, counter32);
            const double u = LiteralSteps{codec}.nextNoise();
            EXPECT_EQ(u, expected.u) << "step " << step;
            EXPECT_EQ(codec.noiseState, asSigned(expected.x)) << "step " << step;
            state = expected.x;
            ++counter;
            const int64_t expectedCounter = counter > INT32_MAX ? counter - 4294967296LL : counter;
            EXPECT_EQ(codec.noiseCounter, expectedCounter) << "step " << step;
        }
        EXPECT_EQ(codec.noiseCounter, INT32_MIN + 3);
    }
}

TEST(NoiseGenerator, NegativeCounterIsSignExtendedIntoTheState)
{
    CodecProbe codec;
    codec.noiseState = 5;
    codec.noiseCounter = -1;
    LiteralSteps{codec}.nextNoise();
    // 5 * 6 + (-1) = 29: the counter enters as a 64-bit -1, not as 2^32 - 1.
    EXPECT_EQ(codec.noiseState, 29);
    EXPECT_EQ(codec.noiseCounter, 0);
}

TEST(NoiseGenerator, TwoCodecsDrawTheSameSequence)
{
    CodecProbe a;
    CodecProbe b;
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(LiteralSteps{a}.nextNoise(), LiteralSteps{b}.nextNoise()) << i;
    }
}
