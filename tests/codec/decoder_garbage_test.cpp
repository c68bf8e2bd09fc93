// The decoder fed with bits that are no frame at all: random packets under
// the default block and under random blocks that pass the limits. Whatever
// the bits, it must stay inside its arrays (the sanitizer build checks the
// memory side), keep every value finite, leave the uncoded bins at zero and
// take no more bits than the worst case of the block.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "bits/bin_reader.h"
#include "codec/parameter_limits.h"
#include "decoder_test_support.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

constexpr int windowBytes = 1024;

void fillRandom(std::vector<uint8_t>& bytes, std::mt19937& random, int style)
{
    for (auto& b : bytes) {
        switch (style) {
        case 0: b = static_cast<uint8_t>(random()); break;
        case 1: b = 0x00; break;
        case 2: b = 0xFF; break;
        default: b = (random() % 8 == 0) ? static_cast<uint8_t>(random()) : 0x00; break;  // mostly zero
        }
    }
}

// Decodes one frame of garbage and checks everything a frame must satisfy.
void decodeGarbage(Elb1764& codec, const CodecParameters& p, const std::vector<uint8_t>& window,
                   std::vector<Complex>& left, std::vector<Complex>& right, int& bitsTaken)
{
    da_BinReader in(window.data(), static_cast<int>(window.size()));
    codec.decodeFrame(in, left.data(), right.data());
    bitsTaken = in.bitPosition;
    ASSERT_LE(in.bitPosition, worstCaseFrameBits(p));
    ASSERT_FALSE(in.overflowed());
    const int coded = std::max(p.noiseBins, p.toneBins);
    for (int k = 0; k < blockLength; ++k) {
        ASSERT_TRUE(std::isfinite(left[k].re) && std::isfinite(left[k].im)) << k;
        ASSERT_TRUE(std::isfinite(right[k].re) && std::isfinite(right[k].im)) << k;
        if (k >= coded) {
            ASSERT_EQ(left[k].re, 0.0f) << k;
            ASSERT_EQ(right[k].re, 0.0f) << k;
        }
        if (k >= p.phaseBins) {
            ASSERT_EQ(left[k].im, 0.0f) << k;
            ASSERT_EQ(right[k].im, 0.0f) << k;
        }
    }
}

// A block with every field drawn from a range that straddles the limits.
CodecParameters randomBlock(std::mt19937& random)
{
    auto pick = [&random](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    CodecParameters p;
    p.gainLevelMin = pick(-650, 650);
    p.gainLevelMax = pick(-650, 650);
    if (pick(0, 1) == 0 && p.gainLevelMin > p.gainLevelMax) {
        std::swap(p.gainLevelMin, p.gainLevelMax);
    }
    p.gainBits = pick(0, 32);
    p.levelRange = pick(-5, 650);
    p.phaseBins = pick(0, 900);
    p.phaseBands = pick(-1, std::min(60, std::max(p.phaseBins, 0) + 1));
    p.phaseBits = pick(0, 12);
    p.balanceBins = pick(0, 900);
    p.balanceBands = pick(-1, std::min(60, std::max(p.balanceBins, 0) + 1));
    p.balanceBits = pick(0, 12);
    const float scales[] = {1.5f, -1.5f, 0.0f, 256.0f, 300.0f, 1e-6f, 0.001f,
                            std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    p.balanceScale = scales[pick(0, 8)];
    p.noiseBins = pick(0, 900);
    p.noiseBands = pick(-1, std::min(100, std::max(p.noiseBins, 0) + 1));
    p.noiseBits = pick(0, 12);
    p.toneBins = pick(0, 900);
    p.toneCount = pick(-1, std::min(100, std::max(p.toneBins, 0) + 1));
    p.toneBits = pick(0, 12);
    return p;
}

}  // namespace

TEST(DecoderGarbage, RandomPacketsUnderTheDefaultBlock)
{
    std::mt19937 random(20240611);
    CodecProbe codec;
    std::vector<uint8_t> window(windowBytes);
    std::vector<Complex> left(blockLength);
    std::vector<Complex> right(blockLength);
    long long longest = 0;
    for (int i = 0; i < 4000; ++i) {
        fillRandom(window, random, i % 4);
        int bits = 0;
        decodeGarbage(codec, defaultCodecParameters, window, left, right, bits);
        if (testing::Test::HasFatalFailure()) {
            FAIL() << "packet " << i;
        }
        longest = std::max<long long>(longest, bits);
        // Whatever the bits, the codes stay inside their alphabets and the
        // tone bins strictly increase inside the tone range.
        ASSERT_GE(codec.decodedGainCode, 0);
        ASSERT_LT(codec.decodedGainCode, 256);
        for (int c : codec.decodedPhaseCodes) ASSERT_TRUE(c >= 0 && c < 64);
        for (int c : codec.decodedBalanceCodes) ASSERT_TRUE(c >= 0 && c < 32);
        for (int c : codec.decodedNoiseCodes) ASSERT_TRUE(c >= 0 && c < 32);
        for (int c : codec.decodedToneCodes) ASSERT_TRUE(c >= 0 && c < 32);
        for (int j = 0; j < 32; ++j) {
            ASSERT_GE(codec.decodedToneBins[j], j == 0 ? 0 : codec.decodedToneBins[j - 1] + 1);
            ASSERT_LT(codec.decodedToneBins[j], 600);
        }
    }
    // The bound is an upper bound, and not a loose one.
    EXPECT_LE(longest, worstCaseFrameBits(defaultCodecParameters));
    EXPECT_GT(longest, worstCaseFrameBits(defaultCodecParameters) / 2);
}

TEST(DecoderGarbage, RandomPacketsUnderRandomBlocks)
{
    std::mt19937 random(77);
    std::vector<uint8_t> window(windowBytes);
    std::vector<Complex> left(blockLength);
    std::vector<Complex> right(blockLength);
    int accepted = 0;
    int rejected = 0;
    for (int i = 0; i < 3000; ++i) {
        const CodecParameters p = randomBlock(random);
        CodecProbe codec(p);
        if (!codecParametersDecodable(p)) {
            ++rejected;
            ASSERT_FALSE(codec.decoderUsable);
            fillRandom(window, random, 0);
            da_BinReader in(window.data(), windowBytes);
            codec.decodeFrame(in, left.data(), right.data());
            ASSERT_EQ(in.bitPosition, 0);
            continue;
        }
        ++accepted;
        for (int frame = 0; frame < 6; ++frame) {
            fillRandom(window, random, frame % 4);
            int bits = 0;
            decodeGarbage(codec, p, window, left, right, bits);
            if (testing::Test::HasFatalFailure()) {
                FAIL() << "block " << i << " frame " << frame;
            }
        }
    }
    // Both kinds must have been exercised.
    EXPECT_GT(accepted, 200);
    EXPECT_GT(rejected, 200);
}

TEST(DecoderGarbage, LoudestAcceptedBlockSynthesisesToFiniteSamples)
{
    // The largest gain, full-level noise, the widest balance and a phase
    // turn that spreads each value over both components: the decoded
    // spectra and the synthesised window must still be finite floats.
    CodecParameters p = defaultCodecParameters;
    p.gainLevelMin = 599;
    p.gainLevelMax = 600;
    p.levelRange = 1;
    p.balanceScale = -256.0f;
    ASSERT_TRUE(codecParametersDecodable(p));
    CodecProbe codec(p);
    FrameCodes f = uniformFrame(p, 255, 8, 0, 31, 0);
    std::vector<uint8_t> packet;
    writeFrame(p, f, packet);
    std::vector<Complex> left(blockLength);
    std::vector<Complex> right(blockLength);
    std::vector<Complex> window(windowLength);
    double largest = 0.0;
    for (int frame = 0; frame < 20; ++frame) {
        da_BinReader in(packet.data(), static_cast<int>(packet.size()));
        codec.decodeFrame(in, left.data(), right.data());
        synthesizeFrame(left.data(), right.data(), window.data());
        for (int n = 0; n < windowLength; ++n) {
            ASSERT_TRUE(std::isfinite(window[n].re) && std::isfinite(window[n].im)) << n;
            largest = std::max(largest, static_cast<double>(std::fabs(window[n].re)));
        }
    }
    EXPECT_GT(largest, 1e30);  // it really was loud
}
