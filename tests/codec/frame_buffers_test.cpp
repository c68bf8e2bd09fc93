#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/transform/transform_test_support.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "codec/homosoundwork1764.h"

namespace {

// A codec without coding: encodeFrame keeps the spectra and writes one
// marker byte, decodeFrame reads the byte and hands the kept spectra back.
class PassThroughCodec : public homosoundwork1764 {
public:
    using homosoundwork1764::homosoundwork1764;
    std::vector<Complex> keptLeft = std::vector<Complex>(blockLength, Complex{0.0f, 0.0f});
    std::vector<Complex> keptRight = std::vector<Complex>(blockLength, Complex{0.0f, 0.0f});
    int encodeCalls = 0;
    int decodeCalls = 0;
    int lastMarker = -1;

    void encodeFrame(Complex* left, Complex* right, da_BinWriter& out) override {
        ++encodeCalls;
        keptLeft.assign(left, left + blockLength);
        keptRight.assign(right, right + blockLength);
        out.writeBits(0xA5, 8);
    }
    void decodeFrame(da_BinReader& in, Complex* left, Complex* right) override {
        ++decodeCalls;
        lastMarker = in.readBits(8);
        for (int k = 0; k < blockLength; ++k) {
            left[k] = keptLeft[k];
            right[k] = keptRight[k];
        }
    }
    int roundTripFrame(Complex*, Complex*) override { return 0; }

    // Test access to the buffers.
    const Complex* window() const { return inputWindow; }
    Complex* overlap() { return overlapBuffer; }
    bool waitsForInput() const { return needInput; }
    bool hasOutput() const { return outputReady; }
    void markOutputReady() { outputReady = true; }
};

std::vector<int16_t> randomBlock(std::mt19937& rng) {
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<int16_t> block(blockSamples);
    for (auto& s : block) s = static_cast<int16_t>(sample(rng));
    return block;
}

bool sameWindow(const Complex* a, const std::vector<Complex>& b) {
    for (int n = 0; n < windowLength; ++n)
        if (a[n].re != b[n].re || a[n].im != b[n].im) return false;
    return true;
}

// The samples popSamples makes of an overlap buffer filled with values.
std::vector<int16_t> popped(CodecOptions options, const std::vector<float>& values) {
    PassThroughCodec codec(options);
    float* overlap = &codec.overlap()[0].re;
    for (int i = 0; i < blockSamples; ++i) overlap[i] = values[static_cast<std::size_t>(i)];
    codec.markOutputReady();
    std::vector<int16_t> out(blockSamples, 99);
    EXPECT_TRUE(codec.popSamples(out.data()));
    return out;
}

}  // namespace

using FrameBuffers = ::testing::Test;

TEST_F(FrameBuffers, StartEmptyWaitingForInput) {
    PassThroughCodec codec;
    EXPECT_TRUE(codec.waitsForInput());
    EXPECT_FALSE(codec.hasOutput());
    for (int n = 0; n < windowLength; ++n) {
        ASSERT_EQ(codec.window()[n].re, 0.0f);
        ASSERT_EQ(codec.window()[n].im, 0.0f);
        ASSERT_EQ(codec.overlap()[n].re, 0.0f);
        ASSERT_EQ(codec.overlap()[n].im, 0.0f);
    }
}

TEST_F(FrameBuffers, PushedBlocksSlideThroughTheWindowAndAreAnalysed) {
    std::mt19937 rng(31);
    PassThroughCodec codec;
    const std::vector<int16_t> b0 = randomBlock(rng), b1 = randomBlock(rng);
    uint8_t packet[16];
    da_BinWriter writer(packet, 16);

    ASSERT_TRUE(codec.pushSamples(b0.data()));
    std::vector<Complex> expected(windowLength, Complex{0.0f, 0.0f});
    for (int n = 0; n < blockLength; ++n)
        expected[blockLength + n] = {static_cast<float>(b0[2 * n]), static_cast<float>(b0[2 * n + 1])};
    EXPECT_TRUE(sameWindow(codec.window(), expected));

    ASSERT_TRUE(codec.analyzeAndEncode(writer));
    EXPECT_EQ(codec.encodeCalls, 1);
    EXPECT_EQ(writer.bitPosition, 8) << "encodeFrame gets the caller's writer";
    std::vector<Complex> left(blockLength), right(blockLength);
    analyzeFrame(expected.data(), left.data(), right.data());
    for (int k = 0; k < blockLength; ++k) {
        ASSERT_EQ(codec.keptLeft[k].re, left[k].re);
        ASSERT_EQ(codec.keptRight[k].im, right[k].im);
    }

    ASSERT_TRUE(codec.pushSamples(b1.data()));
    for (int n = 0; n < blockLength; ++n) {
        expected[n] = expected[blockLength + n];
        expected[blockLength + n] = {static_cast<float>(b1[2 * n]), static_cast<float>(b1[2 * n + 1])};
    }
    EXPECT_TRUE(sameWindow(codec.window(), expected));
}

TEST_F(FrameBuffers, AnalysisThenSynthesisReturnsTheInputOneBlockLate) {
    std::mt19937 rng(32);
    PassThroughCodec codec;
    std::vector<std::vector<int16_t>> blocks;
    for (int i = 0; i < 6; ++i) blocks.push_back(randomBlock(rng));
    blocks[2].assign(blockSamples, 32767);  // full-scale block: no wrap-around
    blocks[3].assign(blockSamples, -32768);
    uint8_t packet[16] = {};
    std::vector<int16_t> out(blockSamples);

    for (size_t t = 0; t < blocks.size(); ++t) {
        da_BinWriter writer(packet, 16);
        ASSERT_TRUE(codec.pushSamples(blocks[t].data()));
        ASSERT_TRUE(codec.analyzeAndEncode(writer));
        da_BinReader reader(packet, 16);
        ASSERT_TRUE(codec.decodeAndSynthesize(reader));
        EXPECT_EQ(codec.lastMarker, 0xA5);
        ASSERT_TRUE(codec.popSamples(out.data()));
        for (int i = 0; i < blockSamples; ++i) {
            const int expected = t == 0 ? 0 : blocks[t - 1][i];
            ASSERT_LE(std::abs(out[i] - expected), 1) << "block " << t << " sample " << i;
        }
    }
}

TEST_F(FrameBuffers, OutOfTurnStepsRefuseAndChangeNothing) {
    std::mt19937 rng(33);
    PassThroughCodec codec;
    uint8_t packet[16] = {};
    da_BinWriter writer(packet, 16);
    da_BinReader reader(packet, 16);
    std::vector<int16_t> out(blockSamples, 1234);

    EXPECT_FALSE(codec.analyzeAndEncode(writer)) << "nothing pushed yet";
    EXPECT_EQ(codec.encodeCalls, 0);
    EXPECT_EQ(writer.bitPosition, 0);
    EXPECT_FALSE(codec.popSamples(out.data())) << "nothing decoded yet";
    EXPECT_EQ(out[0], 1234);

    const std::vector<int16_t> b0 = randomBlock(rng), b1 = randomBlock(rng);
    ASSERT_TRUE(codec.pushSamples(b0.data()));
    const std::vector<Complex> before(codec.window(), codec.window() + windowLength);
    EXPECT_FALSE(codec.pushSamples(b1.data()));
    EXPECT_TRUE(sameWindow(codec.window(), before));
    EXPECT_FALSE(codec.waitsForInput());

    ASSERT_TRUE(codec.analyzeAndEncode(writer));
    EXPECT_FALSE(codec.analyzeAndEncode(writer));
    EXPECT_EQ(codec.encodeCalls, 1);

    ASSERT_TRUE(codec.decodeAndSynthesize(reader));
    const std::vector<Complex> overlap(codec.overlap(), codec.overlap() + windowLength);
    EXPECT_FALSE(codec.decodeAndSynthesize(reader));
    EXPECT_EQ(codec.decodeCalls, 1);
    EXPECT_EQ(reader.bitPosition, 8);
    EXPECT_TRUE(sameWindow(codec.overlap(), overlap));

    ASSERT_TRUE(codec.popSamples(out.data()));
    std::vector<int16_t> again(blockSamples, 4321);
    EXPECT_FALSE(codec.popSamples(again.data()));
    EXPECT_EQ(again[0], 4321);
    EXPECT_EQ(again[blockSamples - 1], 4321);
}

TEST_F(FrameBuffers, PopTruncatesAndLimitsEveryValue) {
    PassThroughCodec codec;
    const float inf = std::numeric_limits<float>::infinity();
    const float cases[][2] = {
        {40000.0f, 32767},  {-40000.0f, -32768}, {1.9f, 1},         {-1.9f, -1},
        {32767.9f, 32767},  {-32768.9f, -32768}, {-0.5f, 0},        {inf, 32767},
        {-inf, -32768},     {3.0e9f, 32767},     {-3.0e9f, -32768}, {32766.5f, 32766},
    };
    const int count = sizeof cases / sizeof cases[0];
    Complex* overlap = codec.overlap();
    for (int i = 0; i < count; ++i) overlap[i] = {cases[i][0], -cases[i][0]};
    overlap[count] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN()};
    overlap[blockLength + 3] = {5.0f, -6.0f};  // tail of the window
    codec.markOutputReady();

    std::vector<int16_t> out(blockSamples, 99);
    ASSERT_TRUE(codec.popSamples(out.data()));
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(out[2 * i], static_cast<int16_t>(cases[i][1])) << cases[i][0];
        const float negated = -cases[i][0];
        const int expectedRight = negated >= 32767.0f ? 32767 : negated <= -32768.0f ? -32768 : static_cast<int>(negated);
        EXPECT_EQ(out[2 * i + 1], expectedRight) << negated;
    }
    EXPECT_EQ(out[2 * count], 0);
    EXPECT_EQ(out[2 * count + 1], 0);
    EXPECT_EQ(out[2 * count + 2], 0) << "untouched entries are silence";

    // The tail moved down and the upper half is cleared.
    EXPECT_EQ(overlap[3].re, 5.0f);
    EXPECT_EQ(overlap[3].im, -6.0f);
    EXPECT_EQ(overlap[blockLength + 3].re, 0.0f);
    EXPECT_FALSE(codec.hasOutput());
}

// Every vector variant of the conversion gives the literal loop's samples
// (the reference path) where the rounding and the limits decide: each row's
// values repeat over the whole block, so that each meets every lane of
// every width and the scalar tail.
TEST_F(FrameBuffers, EveryKernelVariantPopsTheLiteralSamplesOfExtremeValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float big = std::numeric_limits<float>::max();
    auto below = [inf](float x) { return std::nextafter(x, -inf); };
    auto above = [inf](float x) { return std::nextafter(x, inf); };
    const struct {
        std::string name;
        std::vector<float> values;
    } rows[] = {
        {"at and around -32768", {-32768.0f, below(-32768.0f), above(-32768.0f), -32769.0f, -32767.5f}},
        {"at and around 32767", {32767.0f, below(32767.0f), above(32767.0f), 32768.0f, 32767.5f, 32766.5f}},
        {"halfway and near zero", {0.5f, -0.5f, 1.5f, -1.5f, 2.5f, -2.5f, 0.0f, -0.0f, tiny, -tiny, below(1.0f), -below(1.0f)}},
        {"far out of range", {65535.5f, -65536.0f, 3.0e9f, -3.0e9f, 1.0e30f, -1.0e30f, big, -big, inf, -inf}},
        {"not a number", {nan, -nan, 12.75f, nan, -12.75f}},
    };
    for (const auto& row : rows) {
        std::vector<float> values(blockSamples);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = row.values[i % row.values.size()];
        const std::vector<int16_t> literal = popped({CodecPath::reference, InstructionSet::portable}, values);
        for (InstructionSet set : availableInstructionSets()) {
            const std::vector<int16_t> fast = popped({CodecPath::fast, set}, values);
            std::size_t i = 0;
            while (i < fast.size() && fast[i] == literal[i]) ++i;
            EXPECT_EQ(i, fast.size()) << row.name << " (" << instructionSetName(set) << "): sample " << i << " of "
                                      << (i < values.size() ? values[i] : 0.0f) << " differs";
        }
    }
}
