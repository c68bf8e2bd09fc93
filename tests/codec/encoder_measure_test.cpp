// The encoder's per-band and per-frame measures: left/right balance, frame
// gain and noise level.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "codec/elb1764.h"
#include "codec/frame_steps.h"
#include "codec/encoder_test_support.h"
#include "codec/level_scale.h"

using namespace encoder_test;

namespace {

class EncoderMeasure : public ::testing::Test {};

std::vector<Complex> randomBand(int n, float spread, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal(0.0f, spread);
    std::vector<Complex> band(n);
    for (Complex& c : band) c = Complex{normal(rng), normal(rng)};
    return band;
}

std::vector<Complex> scaled(const std::vector<Complex>& band, float factor) {
    std::vector<Complex> out = band;
    for (Complex& c : out) c = Complex{c.re * factor, c.im * factor};
    return out;
}

}  // namespace

// ---- balance ----

TEST_F(EncoderMeasure, BalanceOfEqualOrSilentChannelsIsCentre) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const std::vector<Complex> band = randomBand(44, 1000.0f, 1);
    EXPECT_EQ(LiteralSteps{codec}.measureBandBalance(band.data(), band.data(), 44), 16);
    const std::vector<Complex> silent(44, Complex{0.0f, 0.0f});
    EXPECT_EQ(LiteralSteps{codec}.measureBandBalance(silent.data(), silent.data(), 44), 16);
}

TEST_F(EncoderMeasure, BalanceOfOneSilentChannelIsNearASixthFromTheEdge) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const std::vector<Complex> band = randomBand(133, 1000.0f, 2);
    const std::vector<Complex> silent(133, Complex{0.0f, 0.0f});
    // Silent right: ratio near 1/6, code round(31/6) = 5; silent left: 5/6, 26.
    EXPECT_EQ(LiteralSteps{codec}.measureBandBalance(band.data(), silent.data(), 133), 5);
    EXPECT_EQ(LiteralSteps{codec}.measureBandBalance(silent.data(), band.data(), 133), 26);
}

TEST_F(EncoderMeasure, BalanceMirrorsWhenChannelsSwap) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const std::vector<Complex> band = randomBand(219, 500.0f, 3);
    for (float factor : {0.05f, 0.3f, 0.5f, 0.8f, 1.25f, 2.0f, 7.0f}) {
        const std::vector<Complex> other = scaled(band, factor);
        const int code = LiteralSteps{codec}.measureBandBalance(band.data(), other.data(), 219);
        const int swapped = LiteralSteps{codec}.measureBandBalance(other.data(), band.data(), 219);
        EXPECT_EQ(code + swapped, 31) << "factor " << factor;
        EXPECT_EQ(code < 16, factor < 1.0f) << "factor " << factor;
    }
}

TEST_F(EncoderMeasure, DecodedBalanceRestoresTheChannelRatio) {
    // The decoder's mapping of the measured code gives back the left/right
    // ratio of the band, to within one code step.
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const std::vector<Complex> band = randomBand(100, 2000.0f, 4);
    for (float rightFactor : {0.3f, 0.5f, 0.7f, 1.0f, 1.4f, 2.0f, 3.0f}) {
        const std::vector<Complex> right = scaled(band, rightFactor);
        const int code = LiteralSteps{codec}.measureBandBalance(band.data(), right.data(), 100);
        // Right/left ratio a decoder makes of a balance code.
        auto decodedRatio = [&codec](int balanceCode) {
            Complex a{1.0f, 0.0f};
            Complex b{1.0f, 0.0f};
            LiteralSteps{codec}.applyBandBalance(&a, &b, 1, balanceCode);
            return static_cast<double>(b.re) / a.re;
        };
        ASSERT_GT(code, 0);
        ASSERT_LT(code, 31);
        // The true ratio lies within a code step of the decoded one, and the
        // decoded one is within 20 %.
        EXPECT_GT(rightFactor, decodedRatio(code - 1)) << "factor " << rightFactor;
        EXPECT_LT(rightFactor, decodedRatio(code + 1)) << "factor " << rightFactor;
        EXPECT_NEAR(decodedRatio(code) / rightFactor, 1.0, 0.2) << "factor " << rightFactor;
    }
}

// ---- frame gain ----

TEST_F(EncoderMeasure, QuietFramesGetGainCodeZero) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const float floorAmplitude = static_cast<float>(fromLevel(32.0));
    for (float peak : {0.0f, 1.0f, 40.0f, floorAmplitude, -floorAmplitude}) {
        std::vector<float> x(704, 0.0f);
        x[300] = peak;
        x[5] = peak * 0.5f;
        EXPECT_EQ(LiteralSteps{codec}.normalizeGain(x.data(), 704), 0) << "peak " << peak;
        // Still divided by the gain of code 0, about 40.3.
        EXPECT_FLOAT_EQ(x[300], peak / floorAmplitude);
    }
}

TEST_F(EncoderMeasure, GainBringsTheLoudestBinNearOne) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::mt19937 rng(5);
    // Levels 33..127: inside the gain range, one code step is 96/255 level
    // units, so the normalised peak is within half a step of level 0.
    std::uniform_real_distribution<double> level(33.0, 127.0);
    const double halfStep = std::pow(2.0, 0.5 * 96.0 / 255.0 / 6.0);
    for (int i = 0; i < 200; ++i) {
        const float peak = static_cast<float>(std::pow(2.0, level(rng) / 6.0));
        std::vector<float> x(704, 0.0f);
        const int at = static_cast<int>(rng() % 704);
        x[at] = (i % 2) ? peak : -peak;
        x[(at + 1) % 704] = peak * 0.25f;
        const int code = LiteralSteps{codec}.normalizeGain(x.data(), 704);
        EXPECT_GT(code, 0);
        EXPECT_LT(code, 255);
        EXPECT_LE(std::fabs(x[at]), halfStep * 1.0001);
        EXPECT_GE(std::fabs(x[at]), 1.0 / halfStep / 1.0001);
    }
}

TEST_F(EncoderMeasure, GainSaturatesAndOnlyScalesTheMeasuredBins) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<float> x(882, 1.0f);
    x[10] = 3.0e9f;  // level 189, beyond the top of the range
    EXPECT_EQ(LiteralSteps{codec}.normalizeGain(x.data(), 704), 255);
    EXPECT_EQ(x[703], 1.0f / static_cast<float>(fromLevel(128.0)));
    for (int k = 704; k < 882; ++k) EXPECT_EQ(x[k], 1.0f);
}

// ---- noise level ----

TEST_F(EncoderMeasure, NoiseLevelOfFlatBands) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const std::vector<float> silent(40, 0.0f);
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(silent.data(), 40, 0.5f), 0);
    const std::vector<float> full(40, -1.0f);
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(full.data(), 40, 0.5f), 31);
    const std::vector<float> loud(40, 8.0f);
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(loud.data(), 40, 0.5f), 31);
    // Level -48 is the middle of -96..0: 15.5 rounds up.
    const std::vector<float> half(40, 1.0f / 256.0f);
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(half.data(), 40, 0.5f), 16);
    // At or below 2^-16 of the gain: the floor.
    const std::vector<float> tiny(40, 1.0f / 65536.0f);
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(tiny.data(), 40, 0.5f), 0);
}

TEST_F(EncoderMeasure, NoiseLevelIsAPowerMeanOfTheMagnitudes) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const std::vector<float> oneOfFour = {0.0f, -1.0f, 0.0f, 0.0f};
    // Exponent 1/2: (1/4)^2 = 1/16, level -24, code round(0.75 * 31) = 23.
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(oneOfFour.data(), 4, 0.5f), 23);
    // Exponent 1: 1/4, level -12, code round(0.875 * 31) = 27.
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(oneOfFour.data(), 4, 1.0f), 27);
    // Exponent 2: 1/2, level -6, code round(0.9375 * 31) = 29.
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(oneOfFour.data(), 4, 2.0f), 29);
    // A single-bin band is its own level: 2^-4 is level -24 again.
    const float single = -0.0625f;
    EXPECT_EQ(LiteralSteps{codec}.measureBandNoise(&single, 1, 0.5f), 23);
}
