// The frame buffers move blocks through the filter bank identically on both
// paths and every instruction set: the spectra a codec is handed, the samples
// it plays back and what the codec proper writes do not depend on them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/codec_parameters.h"
#include "codec/elb1764.h"
#include "codec/homosoundwork1764.h"
#include "tests/transform/transform_test_support.h"

namespace {

// A codec without coding that records every spectrum it is given and, when
// decoding, hands back a perturbed copy (as a decoder's noise filling would).
class RecordingCodec : public homosoundwork1764 {
public:
    explicit RecordingCodec(CodecOptions options) : homosoundwork1764(options) {}
    std::vector<Signal> analysed;
    size_t decoded = 0;

    void encodeFrame(Complex* left, Complex* right, da_BinWriter& out) override {
        analysed.emplace_back(left, left + blockLength);
        analysed.emplace_back(right, right + blockLength);
        out.writeBits(1, 1);
    }
    void decodeFrame(da_BinReader& in, Complex* left, Complex* right) override {
        in.readBits(1);
        const Signal& l = analysed[2 * decoded];
        const Signal& r = analysed[2 * decoded + 1];
        for (int k = 0; k < blockLength; ++k) {
            left[k] = {l[k].re * 1.0625f, l[k].im};
            right[k] = {r[k].re, r[k].im - 0.75f};
        }
        ++decoded;
    }
    int roundTripFrame(Complex*, Complex*) override { return 0; }
    const Complex* overlap() const { return overlapBuffer; }
};

// Six seconds of stereo material: tones, a sweep, noise, silence, clipping
// square waves and isolated clicks.
std::vector<int16_t> generatedMaterial(int blocks) {
    std::mt19937 rng(47);
    std::normal_distribution<double> noise(0.0, 3000.0);
    std::vector<int16_t> samples(static_cast<size_t>(blocks) * blockSamples);
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const int section = static_cast<int>(t);  // one second each
        double l = 0.0, r = 0.0;
        switch (section % 6) {
            case 0: l = 12000.0 * std::sin(2 * pi * 440.0 * t); r = 9000.0 * std::sin(2 * pi * 1234.5 * t + 1.0); break;
            case 1: l = r = 15000.0 * std::sin(2 * pi * (100.0 + 8000.0 * t * t) * t); break;
            case 2: l = noise(rng); r = 0.5 * noise(rng); break;
            case 3: break;  // silence
            case 4: l = std::sin(2 * pi * 60.0 * t) > 0 ? 40000.0 : -40000.0; r = -l; break;
            default: l = (i % 5000 == 0) ? 32767.0 : 0.0; r = (i % 7919 == 0) ? -32768.0 : 0.0; break;
        }
        auto clip = [](double v) { return static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, std::round(v)))); };
        samples[2 * i] = clip(l);
        samples[2 * i + 1] = clip(r);
    }
    return samples;
}

struct PipelineRun {
    std::vector<Signal> spectra;
    std::vector<int16_t> output;
    Signal finalOverlap;
};

PipelineRun runPipeline(CodecOptions options, const std::vector<int16_t>& input) {
    RecordingCodec codec(options);
    PipelineRun run;
    uint8_t packet[8] = {};
    std::vector<int16_t> block(blockSamples);
    for (size_t at = 0; at < input.size(); at += blockSamples) {
        da_BinWriter writer(packet, sizeof packet);
        EXPECT_TRUE(codec.pushSamples(input.data() + at));
        EXPECT_TRUE(codec.analyzeAndEncode(writer));
        da_BinReader reader(packet, sizeof packet);
        EXPECT_TRUE(codec.decodeAndSynthesize(reader));
        EXPECT_TRUE(codec.popSamples(block.data()));
        run.output.insert(run.output.end(), block.begin(), block.end());
    }
    run.spectra = codec.analysed;
    run.finalOverlap.assign(codec.overlap(), codec.overlap() + windowLength);
    return run;
}

}  // namespace

using FastFrameBuffers = ::testing::Test;

TEST_F(FastFrameBuffers, FastIsTheDefaultPath) { EXPECT_EQ(RecordingCodec({}).codecPath(), CodecPath::fast); }

TEST_F(FastFrameBuffers, BothPathsGiveTheSameSpectraAndSamplesOnEveryVariant) {
    const int blocks = 300;  // six seconds
    const std::vector<int16_t> input = generatedMaterial(blocks);
    const PipelineRun reference = runPipeline({CodecPath::reference}, input);
    ASSERT_EQ(reference.spectra.size(), 2u * blocks);
    ASSERT_EQ(reference.output.size(), input.size());
    // The material is really there: loud blocks decode to loud blocks.
    int loud = 0;
    for (int16_t s : reference.output) loud += std::abs(s) > 8000;
    EXPECT_GT(loud, 10000);

    for (InstructionSet level : availableInstructionSets()) {
        const PipelineRun fast = runPipeline({CodecPath::fast, level}, input);
        ASSERT_EQ(fast.spectra.size(), reference.spectra.size());
        for (size_t f = 0; f < fast.spectra.size(); ++f) {
            ASSERT_EQ(firstDifference(reference.spectra[f], fast.spectra[f]), -1)
                << instructionSetName(level) << " spectrum " << f << ": " << describe(reference.spectra[f], fast.spectra[f]);
        }
        EXPECT_TRUE(fast.output == reference.output) << instructionSetName(level);
        EXPECT_SAME_BITS(reference.finalOverlap, fast.finalOverlap, instructionSetName(level));
    }
}

namespace {

// The codec proper: what the encoder writes and what the decoder plays back
// do not depend on the path.
struct CodecRun {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<int16_t> samples;
};

CodecRun encodeAndDecode(CodecOptions options, const std::vector<int16_t>& input) {
    constexpr int packetBytes = 1024;
    CodecRun run;
    Elb1764 encoder(defaultCodecParameters, defaultEncoderTuning, options);
    for (size_t at = 0; at < input.size(); at += blockSamples) {
        std::vector<uint8_t> packet(packetBytes, 0);
        da_BinWriter writer(packet.data(), packetBytes);
        EXPECT_TRUE(encoder.pushSamples(input.data() + at));
        EXPECT_TRUE(encoder.analyzeAndEncode(writer));
        packet.resize(static_cast<size_t>(writer.bitPosition + 7) / 8);
        run.packets.push_back(packet);
    }
    Elb1764 decoder(defaultCodecParameters, defaultEncoderTuning, options);
    std::vector<int16_t> block(blockSamples);
    for (const auto& packet : run.packets) {
        std::vector<uint8_t> window(packetBytes, 0);
        std::copy(packet.begin(), packet.end(), window.begin());
        da_BinReader reader(window.data(), packetBytes);
        EXPECT_TRUE(decoder.decodeAndSynthesize(reader));
        EXPECT_TRUE(decoder.popSamples(block.data()));
        run.samples.insert(run.samples.end(), block.begin(), block.end());
    }
    return run;
}

}  // namespace

TEST_F(FastFrameBuffers, TheCodecWritesAndPlaysTheSameOnEveryVariant) {
    const int blocks = 250;  // five seconds
    const std::vector<int16_t> input = generatedMaterial(blocks);
    const CodecRun reference = encodeAndDecode({CodecPath::reference}, input);
    ASSERT_EQ(reference.packets.size(), static_cast<size_t>(blocks));
    size_t bytes = 0;
    for (const auto& p : reference.packets) bytes += p.size();
    EXPECT_GT(bytes, 16u * blocks) << "the material is more than silence";

    for (InstructionSet level : availableInstructionSets()) {
        const CodecRun fast = encodeAndDecode({CodecPath::fast, level}, input);
        ASSERT_EQ(fast.packets.size(), reference.packets.size());
        for (size_t f = 0; f < fast.packets.size(); ++f)
            ASSERT_TRUE(fast.packets[f] == reference.packets[f]) << instructionSetName(level) << " packet " << f;
        EXPECT_TRUE(fast.samples == reference.samples) << instructionSetName(level);
    }
}
