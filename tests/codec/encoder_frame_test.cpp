// Whole-frame behaviour of Elb1764::encodeFrame: the packet layout, the codes
// of known spectra, what it does to the spectra it is given, and refusal of
// parameter blocks it cannot encode.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/band_edges.h"
#include "codec/elb1764.h"
#include "codec/encoder_test_support.h"

using namespace encoder_test;

namespace {

class EncoderFrame : public ::testing::Test {};

std::vector<Complex> zeros() { return std::vector<Complex>(blockLength, Complex{0.0f, 0.0f}); }

}  // namespace

TEST_F(EncoderFrame, AllZeroFirstFrameIsTheKnown16BytePacket) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    int bits = 0;
    const std::vector<uint8_t> packet = encodePacket(codec, zeros(), zeros(), &bits);
    EXPECT_EQ(bits, 128);
    const std::vector<uint8_t> expected = {0xff, 0x9f, 0x4d, 0x08, 0x1f, 0x3c, 0xf4, 0xde,
                                           0x7b, 0x2f, 0x8e, 0x38, 0xe2, 0x88, 0x23, 0x8e};
    EXPECT_EQ(packet, expected);

    // Field lengths 8, 8, 17, 10, 35 and 50 bits.
    const FrameFields f = readFrame(packet, defaultCodecParameters);
    const int ends[6] = {8, 16, 33, 43, 78, 128};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.fieldEnd[i], ends[i]) << "field " << i;
}

TEST_F(EncoderFrame, AllZeroSpectraGiveNeutralCodes) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // Twice: silence leaves the phase history at its start, so the second
    // frame is the same as the first.
    for (int frame = 0; frame < 2; ++frame) {
        const FrameFields f = readFrame(encodePacket(codec, zeros(), zeros()), defaultCodecParameters);
        EXPECT_EQ(f.gainCode, 0);
        EXPECT_EQ(f.phaseCodes, std::vector<int>(4, 0));
        EXPECT_EQ(f.balanceCodes, std::vector<int>(4, 16));
        EXPECT_EQ(f.noiseCodes, std::vector<int>(32, 0));
        EXPECT_EQ(f.toneCodes, std::vector<int>(32, 30));
        for (int j = 0; j < 32; ++j) EXPECT_EQ(f.toneBins[j], j);
    }
}

TEST_F(EncoderFrame, LoneLeftBinGivesGainToneBalanceAndNoiseOfThatBin) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<Complex> left = zeros();
    left[100] = Complex{1000.0f, 0.0f};
    const FrameFields f = readFrame(encodePacket(codec, left, zeros()), defaultCodecParameters);

    // Level 6 log2(1000) = 59.79 on 32..128 in 255 steps.
    EXPECT_EQ(f.gainCode, 74);
    // One channel alone: every trial angle scores the same, the first wins.
    EXPECT_EQ(f.phaseCodes, std::vector<int>(4, 0));
    // Bin 100 lies in balance band 1 (44..176): all left, ratio near 1/6.
    EXPECT_EQ(f.balanceCodes, (std::vector<int>{16, 5, 16, 16}));
    // The bin is a tone at about the frame gain (level code 0, positive);
    // the other places go to the lowest of the equally rated silent bins.
    std::vector<int> expectedBins;
    for (int k = 0; k < 31; ++k) expectedBins.push_back(k);
    expectedBins.push_back(100);
    EXPECT_EQ(f.toneBins, expectedBins);
    EXPECT_EQ(f.toneCodes[31], 0);
    for (int j = 0; j < 31; ++j) EXPECT_EQ(f.toneCodes[j], 30);
    // With the tone removed every noise band is silent.
    EXPECT_EQ(f.noiseCodes, std::vector<int>(32, 0));
}

TEST_F(EncoderFrame, NoiseLevelsDescribeWhatTheTonesLeave) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // 32 louder bins, all above bin 600 where no tones can be: bin 100 of
    // the first-phase band is left for the noise measure. The tones fall on
    // the silent lowest bins.
    std::vector<Complex> left = zeros();
    std::vector<Complex> right = zeros();
    for (int k = 620; k < 652; ++k) left[k] = right[k] = Complex{500.0f, 0.0f};
    left[640] = right[640] = Complex{2000.0f, 0.0f};  // the frame peak
    left[100] = right[100] = Complex{500.0f, 0.0f};
    const FrameFields f = readFrame(encodePacket(codec, left, right), defaultCodecParameters);

    // Peak of the mono sum 4000: level 71.79, code floor(0.4145 * 255 + 0.5).
    EXPECT_EQ(f.gainCode, 106);
    // Tones: bin 100 outrates every silent bin and is taken.
    EXPECT_EQ(f.toneBins[31], 100);
    // Noise band 11 (bins 90..105) is empty after the tone is removed; band
    // 30 (620..660) holds 31 bins of 1000 and one of 4000 (bin 640) over 41
    // bins; relative to the gain G = 2^((32 + 96*106/255)/6).
    const double gain = std::pow(2.0, (32.0 + 96.0 * 106 / 255) / 6.0);
    double rootSum = 31 * std::sqrt(1000.0 / gain) + std::sqrt(4000.0 / gain);
    const double mean = std::pow(rootSum / 41.0, 2.0);
    const double level = 6.0 * std::log2(mean);
    const int expectedCode = static_cast<int>(std::floor((level + 96.0) / 96.0 * 31.0 + 0.5));
    EXPECT_EQ(f.noiseCodes[11], 0);
    EXPECT_EQ(f.noiseCodes[30], expectedCode);
    EXPECT_EQ(f.noiseCodes[31], 0);  // 661..703: silent
}

TEST_F(EncoderFrame, IdenticalChannelsAreCentredAndInPhase) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    uint32_t seed = 99;
    std::vector<Complex> spectrum = zeros();
    for (Complex& c : spectrum) {
        seed = seed * 1664525u + 1013904223u;
        c.re = static_cast<float>(static_cast<int32_t>(seed)) * 1e-6f;
        seed = seed * 1664525u + 1013904223u;
        c.im = static_cast<float>(static_cast<int32_t>(seed)) * 1e-6f;
    }
    for (int frame = 0; frame < 3; ++frame) {
        const FrameFields f = readFrame(encodePacket(codec, spectrum, spectrum), defaultCodecParameters);
        EXPECT_EQ(f.phaseCodes, std::vector<int>(4, 0));
        EXPECT_EQ(f.balanceCodes, std::vector<int>(4, 16));
    }
}

TEST_F(EncoderFrame, TurnsEachPhaseBandBySentAngleAndLeavesTheRest) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<Complex> left = zeros();
    std::vector<Complex> right = zeros();
    // Band 0 (bins 0..37): channels 2 x 15 fine steps apart (15/192 turn
    // each way), which is code 5 of 64.
    fillTurnedBand(left.data(), right.data(), 38, 15, 192, 100.0f);
    // Above the phase bands: arbitrary values that must come back untouched.
    for (int k = 600; k < blockLength; ++k) {
        left[k] = Complex{static_cast<float>(k), -1.5f};
        right[k] = Complex{0.25f, static_cast<float>(-k)};
    }
    const std::vector<Complex> leftBefore = left;
    const std::vector<Complex> rightBefore = right;

    std::vector<uint8_t> buffer(1024);
    da_BinWriter out(buffer.data(), 1024);
    codec.encodeFrame(left.data(), right.data(), out);

    const FrameFields f = readFrame(buffer, defaultCodecParameters);
    EXPECT_EQ(f.phaseCodes[0], 5);
    // Left turned back, right forward by the sent angle: both now real, equal.
    for (int k = 0; k < 38; ++k) {
        EXPECT_NEAR(left[k].re, 100.0f, 1e-3f);
        EXPECT_NEAR(left[k].im, 0.0f, 1e-3f);
        EXPECT_NEAR(right[k].re, 100.0f, 1e-3f);
        EXPECT_NEAR(right[k].im, 0.0f, 1e-3f);
    }
    for (int k = 600; k < blockLength; ++k) {
        EXPECT_EQ(left[k].re, leftBefore[k].re);
        EXPECT_EQ(left[k].im, leftBefore[k].im);
        EXPECT_EQ(right[k].re, rightBefore[k].re);
        EXPECT_EQ(right[k].im, rightBefore[k].im);
    }
}

TEST_F(EncoderFrame, FramesStayWithinWorstCaseForExtremeSpectra) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // Alternating huge and tiny bins of both signs and random phases make
    // the codes jump from band to band and from frame to frame.
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (int frame = 0; frame < 20; ++frame) {
        std::vector<Complex> left = zeros();
        std::vector<Complex> right = zeros();
        for (int k = 0; k < blockLength; ++k) {
            const float scale = (k + frame) % 3 == 0 ? 3.0e7f : 1.0e-3f;
            left[k] = Complex{scale * (next() - 0.5f), scale * (next() - 0.5f)};
            right[k] = Complex{scale * (next() - 0.5f), scale * (next() - 0.5f)};
        }
        std::vector<uint8_t> buffer(1024);
        da_BinWriter out(buffer.data(), 1024);
        codec.encodeFrame(left.data(), right.data(), out);
        EXPECT_FALSE(out.overflowed());
        EXPECT_LE(out.bitPosition, 8192);
        da_BinReader in(buffer.data(), 1024);
        readFrame(in, defaultCodecParameters);
        EXPECT_EQ(in.bitPosition, out.bitPosition);
    }
}

TEST_F(EncoderFrame, RefusesBlocksOutsideTheLimitsWithoutWriting) {
    CodecParameters tooWide = defaultCodecParameters;
    tooWide.phaseBins = 900;  // past the 882 bins of a spectrum
    EncoderTuning noSearch = defaultEncoderTuning;
    noSearch.phaseSearchSteps = 0;
    struct Case {
        CodecParameters parameters;
        EncoderTuning tuning;
    };
    for (const Case& c : {Case{tooWide, defaultEncoderTuning}, Case{defaultCodecParameters, noSearch}}) {
        Elb1764 codec(c.parameters, c.tuning);
        std::vector<Complex> left(blockLength, Complex{1.0f, 2.0f});
        std::vector<Complex> right(blockLength, Complex{-3.0f, 0.5f});
        std::vector<uint8_t> buffer(1024);
        da_BinWriter out(buffer.data(), 1024);
        codec.encodeFrame(left.data(), right.data(), out);
        EXPECT_EQ(out.bitPosition, 0);
        EXPECT_EQ(left[10].re, 1.0f);
        EXPECT_EQ(right[10].im, 0.5f);
    }
}
