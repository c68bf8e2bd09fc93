// The fast transforms must give exactly the bits of the reference ones:
// the encoder's packets depend on every bit of the analysed spectra.
// Every comparison is a memcmp over the float arrays, for every
// instruction-set variant this machine can run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "codec/codec_parameters.h"
#include "codec/elb1764.h"
#include "tests/transform/transform_test_support.h"
#include "transform/fast_fft1764.h"
#include "transform/fast_filter_bank.h"
#include "transform/fast_transform_plan.h"
#include "transform/fft1764.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "transform/homosoundwork1764.h"
#include "transform/simd_level.h"

namespace {

using Signal = std::vector<Complex>;

// First float (index into the float view) whose bits differ, or -1.
long firstDifference(const Signal& a, const Signal& b) {
    if (a.size() != b.size()) return 0;
    if (std::memcmp(a.data(), b.data(), a.size() * sizeof(Complex)) == 0) return -1;
    const auto* x = reinterpret_cast<const uint32_t*>(a.data());
    const auto* y = reinterpret_cast<const uint32_t*>(b.data());
    for (size_t i = 0; i < 2 * a.size(); ++i)
        if (x[i] != y[i]) return static_cast<long>(i);
    return -1;
}

std::string describeFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    char text[64];
    std::snprintf(text, sizeof text, "%.9g (0x%08" PRIX32 ")", static_cast<double>(f), bits);
    return text;
}

std::string describe(const Signal& expected, const Signal& actual) {
    const long i = firstDifference(expected, actual);
    if (i < 0) return "identical";
    const float* e = &expected[0].re;
    const float* a = &actual[0].re;
    return "float " + std::to_string(i) + ": expected " + describeFloat(e[i]) + ", got " + describeFloat(a[i]);
}

#define EXPECT_SAME_BITS(expected, actual, what) \
    EXPECT_EQ(firstDifference(expected, actual), -1) << (what) << ": " << describe(expected, actual)

// Named inputs of one transform length, chosen to reach every corner of the
// arithmetic: wide exponent ranges, full-scale integers, exact zeros of
// both signs (the sign of a zero result depends on operand order),
// impulses that leave most butterflies zero, and subnormal values.
struct Case {
    std::string name;
    Signal values;
};

std::vector<Case> inputCases(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Case> cases;
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> exponent(-30.0f, 30.0f);
    auto varied = [&] { return unit(rng) * std::pow(10.0f, exponent(rng)); };

    for (int trial = 0; trial < 4; ++trial) cases.push_back({"uniform " + std::to_string(trial), randomComplex(rng, n, 1000.0f)});
    Signal wide(n);
    for (auto& c : wide) c = {varied(), varied()};
    cases.push_back({"magnitudes 1e-30..1e30", wide});
    Signal pcm(n);
    for (auto& c : pcm) c = {static_cast<float>(sample(rng)), static_cast<float>(sample(rng))};
    cases.push_back({"int16 random", pcm});
    Signal fullScale(n);
    for (int i = 0; i < n; ++i) fullScale[i] = {i % 2 ? 32767.0f : -32768.0f, i % 3 ? -32768.0f : 32767.0f};
    cases.push_back({"int16 full scale", fullScale});
    cases.push_back({"zeros", Signal(n, Complex{0.0f, 0.0f})});
    cases.push_back({"negative zeros", Signal(n, Complex{-0.0f, -0.0f})});
    Signal mixedZeros(n);
    for (auto& c : mixedZeros) c = {unit(rng) < 0 ? -0.0f : 0.0f, unit(rng) < 0 ? -0.0f : 0.0f};
    cases.push_back({"zeros of both signs", mixedZeros});
    for (int at : {0, 1, 3, 440, 441, 882, n - 1}) {
        if (at >= n) continue;
        Signal impulse(n, Complex{0.0f, 0.0f});
        impulse[at] = {1.0f, -0.0f};
        cases.push_back({"impulse at " + std::to_string(at), impulse});
    }
    Signal sparse(n, Complex{0.0f, -0.0f});
    for (int i = 0; i < 12; ++i) sparse[rng() % n] = {varied(), -varied()};
    cases.push_back({"sparse", sparse});
    cases.push_back({"constant", Signal(n, Complex{12345.0f, -0.5f})});
    Signal tiny(n);
    const float smallest = std::numeric_limits<float>::denorm_min();
    for (auto& c : tiny) c = {smallest * static_cast<float>(sample(rng)), 1e-38f * unit(rng)};
    cases.push_back({"subnormal", tiny});
    Signal tone(n);
    for (int i = 0; i < n; ++i)
        tone[i] = {static_cast<float>(20000.0 * std::cos(0.0731 * i)), static_cast<float>(-300.0 * std::sin(0.5 * i))};
    cases.push_back({"tones", tone});
    return cases;
}

// Runs the body once per instruction-set variant, restoring the default.
class FastTransform : public ::testing::Test, public ::testing::WithParamInterface<SimdLevel> {
protected:
    void SetUp() override {
        if (!simdLevelAvailable(GetParam())) GTEST_SKIP() << simdLevelName(GetParam()) << " not available here";
        ASSERT_TRUE(selectSimdLevel(GetParam()));
    }
    void TearDown() override { selectSimdLevel(bestSimdLevel()); }
};

TEST_P(FastTransform, ForwardFftHasTheReferenceBits) {
    for (const Case& c : inputCases(windowLength, 41)) {
        Signal expected(windowLength), actual(windowLength, Complex{7.0f, 7.0f});
        fft1764(c.values.data(), expected.data(), 1, 1);
        fastFft1764(c.values.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, c.name);
    }
}

TEST_P(FastTransform, InverseFftHasTheReferenceBits) {
    for (const Case& c : inputCases(windowLength, 42)) {
        Signal expected(windowLength), actual(windowLength, Complex{7.0f, 7.0f});
        inverseFft1764(c.values.data(), expected.data(), 1, 1);
        fastInverseFft1764(c.values.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, c.name);
    }
}

TEST_P(FastTransform, TransformsMayWorkInPlace) {
    std::mt19937 rng(43);
    const Signal x = randomComplex(rng, windowLength, 30000.0f);
    Signal expected(windowLength);
    Signal inPlace = x;
    fft1764(x.data(), expected.data(), 1, 1);
    fastFft1764(inPlace.data(), inPlace.data());
    EXPECT_SAME_BITS(expected, inPlace, "forward");
    inPlace = x;
    inverseFft1764(x.data(), expected.data(), 1, 1);
    fastInverseFft1764(inPlace.data(), inPlace.data());
    EXPECT_SAME_BITS(expected, inPlace, "inverse");
}

TEST_P(FastTransform, AnalysisHasTheReferenceBits) {
    for (const Case& c : inputCases(windowLength, 44)) {
        Signal left(blockLength), right(blockLength);
        Signal fastLeft(blockLength, Complex{7.0f, 7.0f}), fastRight(blockLength, Complex{7.0f, 7.0f});
        analyzeFrame(c.values.data(), left.data(), right.data());
        fastAnalyzeFrame(c.values.data(), fastLeft.data(), fastRight.data());
        EXPECT_SAME_BITS(left, fastLeft, c.name + " left");
        EXPECT_SAME_BITS(right, fastRight, c.name + " right");
    }
}

// Spectra as the decoder makes them: analysed signals, arbitrary bins,
// single bins (one at each end and the middle pair, which the fast path
// handles outside its groups of four) and silence.
TEST_P(FastTransform, SynthesisHasTheReferenceBits) {
    std::vector<Case> spectra = inputCases(blockLength, 45);
    for (const Case& c : inputCases(windowLength, 46)) {
        Signal left(blockLength), right(blockLength);
        analyzeFrame(c.values.data(), left.data(), right.data());
        spectra.push_back({"analysis of " + c.name, left});
        spectra.push_back({"right analysis of " + c.name, right});
    }
    for (int bin : {0, 3, 879, 880, 881}) {
        Signal single(blockLength, Complex{0.0f, 0.0f});
        single[bin] = {0.25f, -3.0f};
        spectra.push_back({"bin " + std::to_string(bin), single});
    }
    for (size_t i = 0; i < spectra.size(); ++i) {
        const Signal& left = spectra[i].values;
        const Signal& right = spectra[(i * 7 + 3) % spectra.size()].values;
        Signal expected(windowLength), actual(windowLength, Complex{7.0f, 7.0f});
        synthesizeFrame(left.data(), right.data(), expected.data());
        fastSynthesizeFrame(left.data(), right.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, spectra[i].name);
    }
}

// The fused overlap-add: synthesis then acc = acc + frame, per float, for
// accumulators holding silence, signed zeros, earlier frames and tiny values.
TEST_P(FastTransform, SynthesisAddedIntoAnAccumulatorHasTheReferenceBits) {
    const std::vector<Case> spectra = inputCases(blockLength, 48);
    const std::vector<Case> accumulators = inputCases(windowLength, 49);
    for (size_t i = 0; i < spectra.size(); ++i) {
        const Signal& left = spectra[i].values;
        const Signal& right = spectra[(i + 5) % spectra.size()].values;
        const Case& start = accumulators[(i * 3) % accumulators.size()];
        Signal frame(windowLength);
        synthesizeFrame(left.data(), right.data(), frame.data());
        Signal expected = start.values;
        for (int n = 0; n < windowLength; ++n) {
            expected[n].re = expected[n].re + frame[n].re;
            expected[n].im = expected[n].im + frame[n].im;
        }
        Signal actual = start.values;
        fastSynthesizeFrameAdd(left.data(), right.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, spectra[i].name + " onto " + start.name);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, FastTransform,
                         ::testing::Values(SimdLevel::portable, SimdLevel::sse2, SimdLevel::avx2),
                         [](const ::testing::TestParamInfo<SimdLevel>& info) { return std::string(simdLevelName(info.param)); });

TEST(SimdLevelSelection, PortableIsAlwaysThereAndTheBestIsTheDefault) {
    EXPECT_TRUE(simdLevelAvailable(SimdLevel::portable));
    EXPECT_TRUE(simdLevelAvailable(bestSimdLevel()));
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_TRUE(simdLevelAvailable(SimdLevel::sse2)) << "SSE2 is part of every x86-64 processor";
    EXPECT_NE(bestSimdLevel(), SimdLevel::portable);
#endif
    EXPECT_EQ(activeSimdLevel(), bestSimdLevel());
    ASSERT_TRUE(selectSimdLevel(SimdLevel::portable));
    EXPECT_EQ(activeSimdLevel(), SimdLevel::portable);
    for (SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2}) {
        if (!simdLevelAvailable(level)) {
            EXPECT_FALSE(selectSimdLevel(level));
            EXPECT_EQ(activeSimdLevel(), SimdLevel::portable) << "a refused selection changes nothing";
        }
    }
    ASSERT_TRUE(selectSimdLevel(bestSimdLevel()));
}

// The fast kernels skip the multiplications by the real part of W^0 and
// read their factors from the plan; both are only exact if the plan holds
// the table values and W^0 is exactly (1, +0).
TEST(FastTransformPlan, HoldsTheTableValuesAndAnExactUnitRoot) {
    initTransformTables();
    for (int n : {9, 49, 441, 1764}) {
        Complex one;
        rootOfUnity(0, n, 1.0f, one);
        EXPECT_EQ(one.re, 1.0f);
        EXPECT_FALSE(std::signbit(one.im));
        EXPECT_EQ(one.im, 0.0f);
    }
    const FastTransformPlan& plan = fastTransformPlan();
    for (int p = 1; p <= 3; ++p) {
        for (int q = 0; q < 441; ++q) {
            ASSERT_EQ(plan.radix4Re[p - 1][q], roots1764[p * q].re) << p << " " << q;
            ASSERT_EQ(plan.radix4Im[p - 1][q], roots1764[p * q].im) << p << " " << q;
        }
    }
    for (int q = 0; q < 49; ++q) {
        for (int p = 0; p < 9; ++p) ASSERT_EQ(plan.stage441Im[q][p], roots441[(p * q) % 441].im) << p << " " << q;
    }
    for (int n = 0; n < windowLength; ++n) {
        ASSERT_EQ(plan.window[n], sineWindow[n]);
        ASSERT_EQ(plan.analysisPostIm[n], invRoots7056[2 * n + 1].im);
        ASSERT_EQ(plan.synthesisPreRe[n], roots7056[2 * n + 1].re);
    }
}

// A codec without coding that records every spectrum it is given and, when
// decoding, hands back a perturbed copy (as a decoder's noise filling would).
class RecordingCodec : public homosoundwork1764 {
public:
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

PipelineRun runPipeline(TransformPath path, const std::vector<int16_t>& input) {
    homosoundwork1764::setTransformPath(path);
    RecordingCodec codec;
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
    homosoundwork1764::setTransformPath(TransformPath::fast);
    return run;
}

}  // namespace

using FastFrameBuffers = ::testing::Test;

TEST_F(FastFrameBuffers, FastIsTheDefaultPath) { EXPECT_EQ(homosoundwork1764::transformPath(), TransformPath::fast); }

TEST_F(FastFrameBuffers, BothPathsGiveTheSameSpectraAndSamplesOnEveryVariant) {
    const int blocks = 300;  // six seconds
    const std::vector<int16_t> input = generatedMaterial(blocks);
    const PipelineRun reference = runPipeline(TransformPath::reference, input);
    ASSERT_EQ(reference.spectra.size(), 2u * blocks);
    ASSERT_EQ(reference.output.size(), input.size());
    // The material is really there: loud blocks decode to loud blocks.
    int loud = 0;
    for (int16_t s : reference.output) loud += std::abs(s) > 8000;
    EXPECT_GT(loud, 10000);

    for (SimdLevel level : {SimdLevel::portable, SimdLevel::sse2, SimdLevel::avx2}) {
        if (!selectSimdLevel(level)) continue;
        const PipelineRun fast = runPipeline(TransformPath::fast, input);
        ASSERT_EQ(fast.spectra.size(), reference.spectra.size());
        for (size_t f = 0; f < fast.spectra.size(); ++f) {
            ASSERT_EQ(firstDifference(reference.spectra[f], fast.spectra[f]), -1)
                << simdLevelName(level) << " spectrum " << f << ": " << describe(reference.spectra[f], fast.spectra[f]);
        }
        EXPECT_TRUE(fast.output == reference.output) << simdLevelName(level);
        EXPECT_SAME_BITS(reference.finalOverlap, fast.finalOverlap, simdLevelName(level));
    }
    selectSimdLevel(bestSimdLevel());
}

namespace {

// The codec proper: what the encoder writes and what the decoder plays back
// do not depend on the path.
struct CodecRun {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<int16_t> samples;
};

CodecRun encodeAndDecode(TransformPath path, const std::vector<int16_t>& input) {
    homosoundwork1764::setTransformPath(path);
    constexpr int packetBytes = 1024;
    CodecRun run;
    Elb1764 encoder(defaultCodecParameters, defaultEncoderTuning);
    for (size_t at = 0; at < input.size(); at += blockSamples) {
        std::vector<uint8_t> packet(packetBytes, 0);
        da_BinWriter writer(packet.data(), packetBytes);
        EXPECT_TRUE(encoder.pushSamples(input.data() + at));
        EXPECT_TRUE(encoder.analyzeAndEncode(writer));
        packet.resize(static_cast<size_t>(writer.bitPosition + 7) / 8);
        run.packets.push_back(packet);
    }
    Elb1764 decoder(defaultCodecParameters, defaultEncoderTuning);
    std::vector<int16_t> block(blockSamples);
    for (const auto& packet : run.packets) {
        std::vector<uint8_t> window(packetBytes, 0);
        std::copy(packet.begin(), packet.end(), window.begin());
        da_BinReader reader(window.data(), packetBytes);
        EXPECT_TRUE(decoder.decodeAndSynthesize(reader));
        EXPECT_TRUE(decoder.popSamples(block.data()));
        run.samples.insert(run.samples.end(), block.begin(), block.end());
    }
    homosoundwork1764::setTransformPath(TransformPath::fast);
    return run;
}

}  // namespace

TEST_F(FastFrameBuffers, TheCodecWritesAndPlaysTheSameOnEveryVariant) {
    const int blocks = 250;  // five seconds
    const std::vector<int16_t> input = generatedMaterial(blocks);
    const CodecRun reference = encodeAndDecode(TransformPath::reference, input);
    ASSERT_EQ(reference.packets.size(), static_cast<size_t>(blocks));
    size_t bytes = 0;
    for (const auto& p : reference.packets) bytes += p.size();
    EXPECT_GT(bytes, 16u * blocks) << "the material is more than silence";

    for (SimdLevel level : {SimdLevel::portable, SimdLevel::sse2, SimdLevel::avx2}) {
        if (!selectSimdLevel(level)) continue;
        const CodecRun fast = encodeAndDecode(TransformPath::fast, input);
        ASSERT_EQ(fast.packets.size(), reference.packets.size());
        for (size_t f = 0; f < fast.packets.size(); ++f)
            ASSERT_TRUE(fast.packets[f] == reference.packets[f]) << simdLevelName(level) << " packet " << f;
        EXPECT_TRUE(fast.samples == reference.samples) << simdLevelName(level);
    }
    selectSimdLevel(bestSimdLevel());
}
