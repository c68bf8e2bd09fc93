// Level scale, quantiser, magnitudes and band partition shared by the
// encoder and the decoder.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "codec/band_edges.h"
#include "codec/codec_parameters.h"
#include "codec/level_scale.h"

namespace {

std::vector<int> edges(int count, int bins)
{
    std::vector<int> e;
    for (int i = 0; i <= count; ++i) {
        e.push_back(bandEdge(i, count, bins));
    }
    return e;
}

}  // namespace

TEST(LevelScale, WholeOctavesAreExactPowersOfTwoAsFloats)
{
    // 6 level units per octave: the decoder stores these as floats, and
    // they must land on the powers of two exactly (1/6 is not exact in binary).
    for (int octave = -20; octave <= 20; ++octave) {
        EXPECT_EQ(static_cast<float>(fromLevel(6.0 * octave)), std::ldexp(1.0f, octave)) << octave;
    }
    EXPECT_NEAR(fromLevel(32.0), 40.3174736, 1e-6);  // the default gain floor
    EXPECT_NEAR(fromLevel(3.0), std::sqrt(2.0), 1e-15);
}

TEST(LevelScale, ToLevelGivesTheFloorForSilenceAndTinyAmplitudes)
{
    EXPECT_EQ(toLevel(0.0, -96.0), -96.0);
    EXPECT_EQ(toLevel(-5.0, -96.0), -96.0);
    EXPECT_EQ(toLevel(1e-30, 32.0), 32.0);
    // At the floor's own amplitude the floor wins; just above it, the logarithm.
    const double atFloor = fromLevel(-96.0);
    EXPECT_EQ(toLevel(atFloor, -96.0), -96.0);
    EXPECT_EQ(toLevel(atFloor, 10.0), 10.0);  // below a higher floor
    const double above = atFloor * (1.0 + 1e-9);
    const double level = toLevel(above, -96.0);
    EXPECT_GT(level, -96.0);
    EXPECT_NEAR(level, -96.0 + 6.0 * 1e-9 / std::log(2.0), 1e-12);
    EXPECT_NEAR(toLevel(1.0, -96.0), 0.0, 1e-15);
    EXPECT_NEAR(toLevel(2.0, -96.0), 6.0, 1e-14);
    EXPECT_NEAR(toLevel(1024.0, 32.0), 60.0, 1e-12);
}

TEST(LevelScale, ToLevelInvertsFromLevel)
{
    for (double level = -90.0; level <= 120.0; level += 7.25) {
        EXPECT_NEAR(toLevel(fromLevel(level), -96.0), level, 1e-12) << level;
    }
}

TEST(Quantizer, ClampsBothEndsAndSendsNaNToTheTop)
{
    EXPECT_EQ(quantize(200.0f, 32.0f, 128.0f, 8), 255);
    EXPECT_EQ(quantize(-5.0f, 32.0f, 128.0f, 8), 0);
    EXPECT_EQ(quantize(std::numeric_limits<float>::quiet_NaN(), 32.0f, 128.0f, 8), 255);
    EXPECT_EQ(quantize(std::numeric_limits<float>::infinity(), 0.0f, 1.0f, 5), 31);
    EXPECT_EQ(quantize(-std::numeric_limits<float>::infinity(), 0.0f, 1.0f, 5), 0);
    EXPECT_EQ(quantize(std::numeric_limits<float>::quiet_NaN(), 0.0f, -96.0f, 4), 15);
}

TEST(Quantizer, DownwardRangeMapsLoudToZero)
{
    // Tone levels: 0 (or louder) is code 0, -96 (or quieter) is 15.
    EXPECT_EQ(quantize(0.0f, 0.0f, -96.0f, 4), 0);
    EXPECT_EQ(quantize(12.0f, 0.0f, -96.0f, 4), 0);
    EXPECT_EQ(quantize(-96.0f, 0.0f, -96.0f, 4), 15);
    EXPECT_EQ(quantize(-300.0f, 0.0f, -96.0f, 4), 15);
    // Steps of 6.4 level units; half a step rounds up.
    EXPECT_EQ(quantize(-3.1f, 0.0f, -96.0f, 4), 0);
    EXPECT_EQ(quantize(-3.3f, 0.0f, -96.0f, 4), 1);
    EXPECT_EQ(quantize(-48.0f, 0.0f, -96.0f, 4), 8);  // t = 0.5, 7.5 rounds up
}

TEST(Quantizer, RoundsHalfUp)
{
    EXPECT_EQ(quantize(0.5f, 0.0f, 1.0f, 5), 16);  // centre balance: 15.5 -> 16
    EXPECT_EQ(quantize(80.0f, 32.0f, 128.0f, 8), 128);  // 127.5 -> 128
    EXPECT_EQ(quantize(0.5f, 0.0f, 1.0f, 1), 1);
    EXPECT_EQ(quantize(0.49f, 0.0f, 1.0f, 1), 0);
}

TEST(Quantizer, DequantizeHitsTheEndsAndEveryCodeComesBack)
{
    EXPECT_EQ(dequantize(0, 32.0f, 128.0f, 8), 32.0);
    EXPECT_EQ(dequantize(255, 32.0f, 128.0f, 8), 128.0);
    EXPECT_EQ(dequantize(15, 0.0f, -96.0f, 4), -96.0);
    EXPECT_DOUBLE_EQ(dequantize(16, 0.0f, 1.0f, 5), 16.0 / 31.0);
    EXPECT_DOUBLE_EQ(dequantize(10, -96.0f, 0.0f, 5), -96.0 + 96.0 * 10 / 31.0);
    for (int bits = 1; bits <= 12; ++bits) {
        for (int code = 0; code < (1 << bits); ++code) {
            const float forward = static_cast<float>(dequantize(code, -96.0f, 0.0f, bits));
            const float backward = static_cast<float>(dequantize(code, 0.0f, -96.0f, bits));
            ASSERT_EQ(quantize(forward, -96.0f, 0.0f, bits), code) << bits;
            ASSERT_EQ(quantize(backward, 0.0f, -96.0f, bits), code) << bits;
        }
    }
}

// A level reaches quantize as the double toLevel gives. This one lies just
// above the rounding point between noise codes 17 and 18; rounded to float
// first it would fall below it.
TEST(Quantizer, TakesTheLevelUnrounded)
{
    const double level = toLevel(0x1.05c9e4p-7f, -96.0);
    ASSERT_GT(level, -96.0 + 96.0 * 17.5 / 31.0);
    EXPECT_EQ(quantize(level, -96.0f, 0.0f, 5), 18);
    EXPECT_EQ(quantize(static_cast<double>(static_cast<float>(level)), -96.0f, 0.0f, 5), 17);
}

TEST(Quantizer, ThirtyBitCodesStayInsideInt)
{
    EXPECT_EQ(quantize(1.0f, 0.0f, 1.0f, 30), (1 << 30) - 1);
    EXPECT_EQ(dequantize((1 << 30) - 1, 0.0f, 1.0f, 30), 1.0);
}

TEST(Hypotenuse, MagnitudesOfExactTriangles)
{
    EXPECT_EQ(hypotenuse(3.0f, 4.0f), 5.0);
    EXPECT_EQ(hypotenuse(-3.0f, -4.0f), 5.0);
    EXPECT_EQ(hypotenuse(0.0f, 0.0f), 0.0);
    EXPECT_EQ(hypotenuse(0.0f, -2.5f), 2.5);
}

TEST(Hypotenuse, OnlyTheFirstSquareIsRoundedToFloat)
{
    // (1 + 2^-13)^2 = 1 + 2^-12 + 2^-26 loses its last term as a float.
    const float a = 1.0f + std::ldexp(1.0f, -13);
    EXPECT_EQ(hypotenuse(a, 0.0f), std::sqrt(1.0 + std::ldexp(1.0, -12)));
    EXPECT_NE(hypotenuse(a, 0.0f), static_cast<double>(a));
    // The second square is formed in double and keeps it.
    EXPECT_EQ(hypotenuse(0.0f, a), static_cast<double>(a));
}

TEST(BandEdges, DefaultFamilies)
{
    const CodecParameters& p = defaultCodecParameters;
    EXPECT_EQ(edges(p.phaseBands, p.phaseBins), (std::vector<int>{0, 38, 151, 338, 600}));
    EXPECT_EQ(edges(p.balanceBands, p.balanceBins), (std::vector<int>{0, 44, 177, 396, 704}));
    EXPECT_EQ(edges(p.noiseBands, p.noiseBins),
              (std::vector<int>{0, 1, 4, 8, 14, 21, 29, 39, 50, 62, 75, 90, 106, 123, 142, 162, 184,
                                206, 230, 255, 282, 310, 339, 370, 402, 435, 469, 505, 542, 580, 620, 661, 704}));
}

TEST(BandEdges, EveryBandHasABinAndTheFamilyCoversTheRange)
{
    std::vector<int> binCounts;
    for (int bins = 1; bins <= 40; ++bins) {
        binCounts.push_back(bins);
    }
    for (int bins : {63, 64, 100, 257, 599, 600, 704, 881, 882}) {
        binCounts.push_back(bins);
    }
    for (int bins : binCounts) {
        for (int count = 1; count <= bins; ++count) {
            ASSERT_EQ(bandEdge(0, count, bins), 0);
            ASSERT_EQ(bandEdge(count, count, bins), bins);
            int previous = 0;
            for (int i = 1; i <= count; ++i) {
                const int edge = bandEdge(i, count, bins);
                ASSERT_GT(edge, previous) << "bins " << bins << " count " << count << " i " << i;
                previous = edge;
            }
        }
    }
}

TEST(BandEdges, WidthsGrowWithTheBandIndex)
{
    const std::vector<int> e = edges(32, 704);
    for (std::size_t i = 2; i < e.size(); ++i) {
        EXPECT_GE(e[i] - e[i - 1], e[i - 1] - e[i - 2]) << i;
    }
}
