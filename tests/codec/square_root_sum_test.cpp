// The noise measure's sqrt form of its power sum against the pow loop it
// replaces: equal bits on sums that round cleanly, on sums that land on a
// float rounding tie (where only pow decides), and on zeros, subnormals,
// infinities and NaN; and the premise, that pow(x, 0.5) is sqrt(x) or a
// neighbour of it, over a spread of every float exponent and mantissa.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "codec/square_root_sum.h"

namespace {

float powLoop(const std::vector<float>& x)
{
    float sum = 0.0f;
    for (float v : x) sum = static_cast<float>(sum + std::pow(std::fabs(static_cast<double>(v)), 0.5));
    return sum;
}

uint32_t bitsOf(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

TEST(SquareRootSum, GivesThePowLoopsBits)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float tiny = std::numeric_limits<float>::denorm_min();
    // 1 + sqrt(2^-48) = 1 + 2^-24 is halfway between two floats: the two
    // neighbours of sqrt round apart, and pow's exact 2^-24 rounds to even.
    const float tieAfterOne = std::ldexp(1.0f, -48);
    const struct {
        const char* what;
        std::vector<float> x;
    } rows[] = {
        {"empty", {}},
        {"zeros of both signs", {0.0f, -0.0f, 0.0f}},
        {"subnormals", {tiny, -tiny, 3 * tiny, std::numeric_limits<float>::min()}},
        {"a tie after one", {1.0f, tieAfterOne}},
        {"a tie after a large sum", {16777216.0f * 16777216.0f, 1.0f, 4096.0f * 4096.0f * 4096.0f * 4096.0f}},
        // 0.5 + 2^-23 (or 3 * 2^-23) plus sqrt(4 + 2^-8 + 2^-20) = 2 + 2^-10
        // is halfway between two floats of [2, 4), so exactly, and the two
        // neighbours of the root fall either side: pow decides.
        {"a tie that only pow decides, rounding down", {0.25f, std::ldexp(1.0f, -46), 4.0f + 0x1.001p-8f}},
        {"a tie that only pow decides, rounding up", {0.25f, 9 * std::ldexp(1.0f, -46), 4.0f + 0x1.001p-8f}},
        {"an infinity", {1.0f, inf, 2.0f}},
        {"a NaN", {1.0f, nan, 2.0f}},
        {"the largest float", {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max()}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(bitsOf(sumOfSquareRootsAsPow(row.x.data(), static_cast<int>(row.x.size()))), bitsOf(powLoop(row.x)));
    }

    // Band-sized runs of spectra at every scale, and runs built to sit on
    // rounding ties: each term a square whose root is half a float step of
    // the sum so far.
    std::mt19937 random(58);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    int ties = 0;
    for (int run = 0; run < 4000; ++run) {
        std::vector<float> x(1 + run % 120);
        const int scale = run % 60 - 40;
        for (float& v : x) v = std::ldexp(unit(random), scale);
        if (run % 4 == 0) {
            float sum = powLoop({x[0]});
            for (size_t k = 1; k < x.size(); ++k) {
                const float step = std::nextafter(sum, inf) - sum;
                const float half = step / 2;
                x[k] = half * half;  // exact when half is a power of two above the subnormals
                ties += x[k] > 0;
                sum = static_cast<float>(sum + std::pow(static_cast<double>(x[k]), 0.5));
            }
        }
        ASSERT_EQ(bitsOf(sumOfSquareRootsAsPow(x.data(), static_cast<int>(x.size()))), bitsOf(powLoop(x)))
            << "run " << run << " of " << x.size() << " terms at scale 2^" << scale;
    }
    EXPECT_GT(ties, 1000);
}

TEST(SquareRootSum, PowOfAHalfIsTheSquareRootOrANeighbour)
{
    // Every 509th float pattern (a prime stride, so every exponent and
    // mantissa pattern is visited): the premise of the sqrt form.
    for (uint32_t bits = 1; bits < 0x7f800000u; bits += 509) {
        float f;
        std::memcpy(&f, &bits, sizeof f);
        const double x = f;
        const double p = std::pow(x, 0.5);
        const double s = std::sqrt(x);
        ASSERT_TRUE(p == s || p == std::nextafter(s, 0.0) || p == std::nextafter(s, HUGE_VAL))
            << "pow(" << std::hexfloat << x << ", 0.5) = " << p << ", sqrt = " << s;
    }
}

}  // namespace
