// The decoder's building blocks one at a time: band noise, tones, gain,
// balance and phase turn, and the state of a new codec.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codec/frame_steps.h"
#include "codec/level_scale.h"
#include "decoder_test_support.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

const float twoToMinus16 = std::ldexp(1.0f, -16);

void expectComplexNear(const Complex& actual, float re, float im, float tolerance)
{
    EXPECT_NEAR(actual.re, re, tolerance);
    EXPECT_NEAR(actual.im, im, tolerance);
}

}  // namespace

TEST(CodecState, NewCodecHasClearHistoryAndCounters)
{
    CodecProbe codec;
    for (int i = 0; i < defaultCodecParameters.phaseBands; ++i) {
        EXPECT_EQ(codec.prevBandAngle[i], 0);
        EXPECT_EQ(codec.prevBandEnergy[i], 0.0f);
    }
    EXPECT_EQ(codec.framesCounted, 0);
    EXPECT_EQ(codec.bitsCounted, 0);
    EXPECT_TRUE(codec.decoderUsable);
    EXPECT_EQ(codec.decodedPhaseCodes.size(), 4u);
    EXPECT_EQ(codec.decodedNoiseCodes.size(), 32u);
    EXPECT_EQ(codec.decodedToneBins.size(), 32u);
}

TEST(CodecState, BlocksWithoutBandsOrWithAbsurdCountsStillBuild)
{
    for (const int bands : {0, -7, INT32_MIN, INT32_MAX}) {
        CodecParameters p = defaultCodecParameters;
        p.phaseBands = bands;
        p.noiseBands = bands;
        p.toneCount = bands;
        CodecProbe codec(p);
        EXPECT_FALSE(codec.decoderUsable);
        EXPECT_EQ(codec.prevBandAngle[0], 0);  // at least one entry exists
        EXPECT_EQ(codec.prevBandEnergy[0], 0.0f);
    }
}

TEST(DecoderSteps, BandNoiseUsesOneDrawPerBinAtTheBandLevel)
{
    CodecProbe codec;
    CodecProbe reference;
    std::vector<float> y(40, 0.0f);
    LiteralSteps{codec}.fillBandNoise(y.data(), 8, 0);  // code 0: level -96, amplitude 2^-16
    LiteralSteps{codec}.fillBandNoise(y.data() + 8, 32, 31);  // code 31: level 0, amplitude 1
    for (int k = 0; k < 40; ++k) {
        const double u = LiteralSteps{reference}.nextNoise();
        const double amplitude = k < 8 ? twoToMinus16 : 1.0;
        EXPECT_EQ(y[k], static_cast<float>(u * amplitude)) << k;
    }
    EXPECT_EQ(codec.noiseCounter, 40);
    // Draws 7 and 8 of a fresh generator, at 2^-16.
    EXPECT_NEAR(y[6], 0.001363 * twoToMinus16, 1e-6 * twoToMinus16);
    EXPECT_NEAR(y[7], 0.660926 * twoToMinus16, 1e-6 * twoToMinus16);
}

TEST(DecoderSteps, BandNoiseAddsToWhatTheBandHolds)
{
    CodecProbe codec;
    CodecProbe reference;
    std::vector<float> y(3, 0.25f);
    LiteralSteps{codec}.fillBandNoise(y.data(), 3, 31);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(y[k], static_cast<float>(0.25f + LiteralSteps{reference}.nextNoise())) << k;
    }
}

TEST(DecoderSteps, ToneCodesCarryLevelAndSign)
{
    CodecProbe codec;
    CodecParameters p = defaultCodecParameters;
    std::vector<float> y(blockLength, 7.0f);
    std::vector<int> codes(p.toneCount);
    std::vector<int> bins(p.toneCount);
    for (int j = 0; j < p.toneCount; ++j) {
        codes[j] = j;  // level codes 0..15, each with both signs
        bins[j] = 3 * j + 1;
    }
    LiteralSteps{codec}.placeTones(y.data(), codes.data(), bins.data());
    for (int j = 0; j < p.toneCount; ++j) {
        const float magnitude = static_cast<float>(std::pow(2.0, -(j / 2) * 96.0 / 15.0 / 6.0));
        const float expected = (j % 2 == 1) ? -magnitude : magnitude;
        EXPECT_FLOAT_EQ(y[bins[j]], expected) << j;
        // Tones replace the bin, their neighbours keep what they held.
        EXPECT_EQ(y[bins[j] + 1], 7.0f);
    }
    EXPECT_EQ(y[bins[1]], -1.0f);                              // code 1: level 0, negative
    EXPECT_EQ(y[0], 7.0f);
}

TEST(DecoderSteps, QuietestPositiveToneIsTwoToTheMinusSixteen)
{
    CodecProbe codec;
    std::vector<float> y(blockLength, 0.0f);
    std::vector<int> codes(32, 30);
    std::vector<int> bins(32);
    for (int j = 0; j < 32; ++j) {
        bins[j] = j + 500;
    }
    LiteralSteps{codec}.placeTones(y.data(), codes.data(), bins.data());
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(y[500 + j], twoToMinus16);
    }
}

TEST(DecoderSteps, GainScalesEveryBin)
{
    CodecProbe codec;
    std::vector<float> y(blockLength);
    for (int k = 0; k < blockLength; ++k) {
        y[k] = static_cast<float>(k % 7) - 3.0f;
    }
    std::vector<float> original = y;
    LiteralSteps{codec}.applyGain(y.data(), 0);
    const float floorGain = static_cast<float>(std::pow(2.0, 32.0 / 6.0));
    for (int k = 0; k < blockLength; ++k) {
        EXPECT_EQ(y[k], floorGain * original[k]);
    }
    y = original;
    LiteralSteps{codec}.applyGain(y.data(), 255);  // level 128: 2^(64/3), about 2642246
    EXPECT_FLOAT_EQ(y[0], -3.0f * 2642245.95f);
    EXPECT_FLOAT_EQ(y[blockLength - 1], original[blockLength - 1] * 2642245.95f);
}

TEST(DecoderSteps, BalanceNearCentreLeavesBothChannelsAtTheMono)
{
    // b = 1/2 is not a code of any width (2^bits - 1 is odd); with 20 bits
    // the nearest code is within 1e-6 of it.
    CodecParameters p = defaultCodecParameters;
    p.balanceBits = 20;
    CodecProbe codec(p);
    std::vector<Complex> a = {{1.0f, 0.0f}, {-2.5f, 0.0f}, {0.0f, 0.0f}};
    std::vector<Complex> b = a;
    LiteralSteps{codec}.applyBandBalance(a.data(), b.data(), 3, 1 << 19);
    for (int k = 0; k < 3; ++k) {
        const float y = k == 0 ? 1.0f : (k == 1 ? -2.5f : 0.0f);
        expectComplexNear(a[k], y, 0.0f, 1e-5f);
        expectComplexNear(b[k], y, 0.0f, 1e-5f);
    }
}

TEST(DecoderSteps, BalanceAtOneSixthAndFiveSixthsSilencesOneChannel)
{
    CodecParameters p = defaultCodecParameters;
    p.balanceBits = 20;
    CodecProbe codec(p);
    const int top = (1 << 20) - 1;
    const int oneSixth = static_cast<int>(std::lround(top / 6.0));
    const int fiveSixths = static_cast<int>(std::lround(top * 5.0 / 6.0));
    std::vector<Complex> a = {{3.0f, 0.0f}};
    std::vector<Complex> b = a;
    LiteralSteps{codec}.applyBandBalance(a.data(), b.data(), 1, oneSixth);  // with balanceScale 1.5
    expectComplexNear(a[0], 6.0f, 0.0f, 1e-4f);
    expectComplexNear(b[0], 0.0f, 0.0f, 1e-4f);
    a = {{3.0f, 0.0f}};
    b = a;
    LiteralSteps{codec}.applyBandBalance(a.data(), b.data(), 1, fiveSixths);
    expectComplexNear(a[0], 0.0f, 0.0f, 1e-4f);
    expectComplexNear(b[0], 6.0f, 0.0f, 1e-4f);
}

TEST(DecoderSteps, BalanceCodeSixteenLeansSlightlyRight)
{
    CodecProbe codec;
    std::vector<Complex> a(5);
    for (int k = 0; k < 5; ++k) {
        a[k] = Complex{static_cast<float>(k) - 1.5f, 0.0f};
    }
    std::vector<Complex> b = a;
    const std::vector<Complex> y = a;
    LiteralSteps{codec}.applyBandBalance(a.data(), b.data(), 5, 16);
    for (int k = 0; k < 5; ++k) {
        EXPECT_FLOAT_EQ(a[k].re, y[k].re * (1.0f - 1.5f / 31.0f)) << k;
        EXPECT_FLOAT_EQ(b[k].re, y[k].re * (1.0f + 1.5f / 31.0f)) << k;
        EXPECT_EQ(a[k].im, 0.0f);
        EXPECT_EQ(b[k].im, 0.0f);
    }
}

TEST(DecoderSteps, BalanceFollowsTheMappingForEveryCodeAndScale)
{
    for (const float scale : {1.5f, 0.5f, -1.0f, 4.0f}) {
        CodecParameters p = defaultCodecParameters;
        p.balanceScale = scale;
        CodecProbe codec(p);
        for (int code = 0; code < 32; ++code) {
            const double bias = 1.0 - 2.0 * code / 31.0;
            Complex a{0.75f, 0.0f};
            Complex b{0.75f, 0.0f};
            LiteralSteps{codec}.applyBandBalance(&a, &b, 1, code);
            EXPECT_NEAR(a.re, 0.75 * (1.0 + scale * bias), 1e-5) << scale << " " << code;
            EXPECT_NEAR(b.re, 0.75 * (1.0 - scale * bias), 1e-5) << scale << " " << code;
            // Mirrored codes swap the channels.
            Complex c{0.75f, 0.0f};
            Complex d{0.75f, 0.0f};
            LiteralSteps{codec}.applyBandBalance(&c, &d, 1, 31 - code);
            EXPECT_NEAR(c.re, b.re, 1e-6);
            EXPECT_NEAR(d.re, a.re, 1e-6);
        }
    }
}

TEST(DecoderSteps, PhaseQuarterTurnMultipliesLeftByIAndRightByMinusI)
{
    CodecProbe codec;
    std::vector<Complex> a = {{1.0f, 0.0f}, {0.3f, 0.7f}, {-2.0f, 0.5f}};
    std::vector<Complex> b = a;
    const std::vector<Complex> original = a;
    LiteralSteps{codec}.rotateBandPhase(a.data(), b.data(), 3, 16);  // 16 of 64 codes: a quarter turn
    for (int k = 0; k < 3; ++k) {
        expectComplexNear(a[k], -original[k].im, original[k].re, 1e-6f);
        expectComplexNear(b[k], original[k].im, -original[k].re, 1e-6f);
    }
}

TEST(DecoderSteps, PhaseCodeZeroIsExactAndOppositeCodesUndoEachOther)
{
    CodecProbe codec;
    std::vector<Complex> a = {{1.25f, -0.5f}, {0.3f, 0.7f}};
    std::vector<Complex> b = {{-4.0f, 2.0f}, {0.0f, 1.0f}};
    const std::vector<Complex> originalA = a;
    const std::vector<Complex> originalB = b;
    LiteralSteps{codec}.rotateBandPhase(a.data(), b.data(), 2, 0);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(a[k].re, originalA[k].re);
        EXPECT_EQ(a[k].im, originalA[k].im);
        EXPECT_EQ(b[k].re, originalB[k].re);
        EXPECT_EQ(b[k].im, originalB[k].im);
    }
    for (int code = 1; code < 64; code += 5) {
        LiteralSteps{codec}.rotateBandPhase(a.data(), b.data(), 2, -code);  // what the encoder applies
        LiteralSteps{codec}.rotateBandPhase(a.data(), b.data(), 2, code);   // what the decoder applies
        for (int k = 0; k < 2; ++k) {
            expectComplexNear(a[k], originalA[k].re, originalA[k].im, 1e-5f);
            expectComplexNear(b[k], originalB[k].re, originalB[k].im, 1e-5f);
        }
    }
}

// Each turned part is one rounding of a double sum of double products, on
// both paths; rounding the products to float first gives other bits here.
TEST(DecoderSteps, PhaseTurnRoundsEachPartOnce)
{
    CodecProbe codec;
    Complex turn;
    rootOfUnity(5, 64, 1.0f, turn);
    const Complex x = {0x1.024dd2p+0f, 0x1.2cbfb2p-2f};
    const float re = static_cast<float>(static_cast<double>(x.re) * turn.re - static_cast<double>(x.im) * turn.im);
    const float im = static_cast<float>(static_cast<double>(x.re) * turn.im + static_cast<double>(x.im) * turn.re);
    const float productsFirst = x.re * turn.re - x.im * turn.im;
    ASSERT_NE(re, productsFirst);
    for (bool fast : {false, true}) {
        Complex a = x;
        Complex b = {x.re, -x.im};
        if (fast)
            FastSteps{codec}.rotateBandPhase(&a, &b, 1, 5);
        else
            LiteralSteps{codec}.rotateBandPhase(&a, &b, 1, 5);
        EXPECT_EQ(a.re, re) << fast;
        EXPECT_EQ(a.im, im) << fast;
        EXPECT_EQ(b.re, re) << fast;  // the mirror image turned the other way
        EXPECT_EQ(b.im, -im) << fast;
    }
}

// s, p, q, m and d are stored as floats, the difference p - q is not.
TEST(DecoderSteps, BalanceDividesTheUnroundedDifference)
{
    CodecProbe codec;  // balanceScale 1.5
    const float y = 0x1.005bcp+0f;
    const float towardRight = static_cast<float>(dequantize(3, 0.0f, 1.0f, 5));
    const float towardLeft = 1.0f - towardRight;
    const float h = 1.0f / 1.5f;
    const float p = (y + y) * towardLeft;
    const float q = (y + y) * towardRight;
    const float m = (p + q) * 0.5f;
    const float d = static_cast<float>((static_cast<double>(p) - q) / (2.0 * h));
    ASSERT_NE(d, (p - q) / (2.0f * h));
    Complex a = {y, 0.0f};
    Complex b = {y, 0.0f};
    LiteralSteps{codec}.applyBandBalance(&a, &b, 1, 3);
    EXPECT_EQ(a.re, m + d);
    EXPECT_EQ(b.re, m - d);
}

TEST(DecoderSteps, PhaseTurnsBySteps)
{
    CodecProbe codec;
    for (int code = 0; code < 64; ++code) {
        Complex a{1.0f, 0.0f};
        Complex b{1.0f, 0.0f};
        LiteralSteps{codec}.rotateBandPhase(&a, &b, 1, code);
        const double angle = 2.0 * 3.14159265358979323846 * code / 64.0;
        EXPECT_NEAR(a.re, std::cos(angle), 1e-6) << code;
        EXPECT_NEAR(a.im, std::sin(angle), 1e-6) << code;
        EXPECT_NEAR(b.re, std::cos(angle), 1e-6) << code;
        EXPECT_NEAR(b.im, -std::sin(angle), 1e-6) << code;
    }
}
