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

#include "tests/transform/transform_test_support.h"
#include "transform/fast_fft1764.h"
#include "transform/fast_filter_bank.h"
#include "transform/transform_tables.h"
#include "transform/fft1764.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "simd/kernels.h"

namespace {

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

// Runs the body once per instruction-set variant.
class FastTransform : public ::testing::Test, public ::testing::WithParamInterface<InstructionSet> {
protected:
    void SetUp() override {
        if (!instructionSetAvailable(GetParam())) GTEST_SKIP() << instructionSetName(GetParam()) << " not available here";
    }
    const TransformKernels& kernels() const { return simdKernels(GetParam())->transform; }
};

TEST_P(FastTransform, ForwardFftHasTheReferenceBits) {
    for (const Case& c : inputCases(windowLength, 41)) {
        Signal expected(windowLength), actual(windowLength, Complex{7.0f, 7.0f});
        fft1764(c.values.data(), expected.data(), 1, 1);
        fastFft1764(kernels(), c.values.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, c.name);
    }
}

TEST_P(FastTransform, InverseFftHasTheReferenceBits) {
    for (const Case& c : inputCases(windowLength, 42)) {
        Signal expected(windowLength), actual(windowLength, Complex{7.0f, 7.0f});
        inverseFft1764(c.values.data(), expected.data(), 1, 1);
        fastInverseFft1764(kernels(), c.values.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, c.name);
    }
}

TEST_P(FastTransform, TransformsMayWorkInPlace) {
    std::mt19937 rng(43);
    const Signal x = randomComplex(rng, windowLength, 30000.0f);
    Signal expected(windowLength);
    Signal inPlace = x;
    fft1764(x.data(), expected.data(), 1, 1);
    fastFft1764(kernels(), inPlace.data(), inPlace.data());
    EXPECT_SAME_BITS(expected, inPlace, "forward");
    inPlace = x;
    inverseFft1764(x.data(), expected.data(), 1, 1);
    fastInverseFft1764(kernels(), inPlace.data(), inPlace.data());
    EXPECT_SAME_BITS(expected, inPlace, "inverse");
}

TEST_P(FastTransform, AnalysisHasTheReferenceBits) {
    for (const Case& c : inputCases(windowLength, 44)) {
        Signal left(blockLength), right(blockLength);
        Signal fastLeft(blockLength, Complex{7.0f, 7.0f}), fastRight(blockLength, Complex{7.0f, 7.0f});
        analyzeFrame(c.values.data(), left.data(), right.data());
        fastAnalyzeFrame(kernels(), c.values.data(), fastLeft.data(), fastRight.data());
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
        fastSynthesizeFrame(kernels(), left.data(), right.data(), actual.data());
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
        fastSynthesizeFrameAdd(kernels(), left.data(), right.data(), actual.data());
        EXPECT_SAME_BITS(expected, actual, spectra[i].name + " onto " + start.name);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, FastTransform,
                         ::testing::Values(InstructionSet::portable, InstructionSet::sse2, InstructionSet::avx2, InstructionSet::avx512),
                         [](const ::testing::TestParamInfo<InstructionSet>& info) { return std::string(instructionSetName(info.param)); });

TEST(InstructionSets, PortableIsAlwaysThereAndTheBestIsAvailable) {
    EXPECT_TRUE(instructionSetAvailable(InstructionSet::portable));
    EXPECT_TRUE(instructionSetAvailable(bestInstructionSet()));
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_TRUE(instructionSetAvailable(InstructionSet::sse2)) << "SSE2 is part of every x86-64 processor";
    EXPECT_NE(bestInstructionSet(), InstructionSet::portable);
#endif
    const std::vector<InstructionSet> sets = availableInstructionSets();
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.front(), InstructionSet::portable);
    EXPECT_EQ(sets.back(), bestInstructionSet());
}

// The fast kernels skip the multiplications by the real part of W^0 and
// read their factors from the plan; both are only exact if the plan holds
// the table values and W^0 is exactly (1, +0).
TEST(FastTransformPlan, HoldsTheTableValuesAndAnExactUnitRoot) {
    for (int n : {9, 49, 441, 1764}) {
        Complex one;
        rootOfUnity(0, n, 1.0f, one);
        EXPECT_EQ(one.re, 1.0f);
        EXPECT_FALSE(std::signbit(one.im));
        EXPECT_EQ(one.im, 0.0f);
    }
    const TransformTables& tables = transformTables();
    const FastTransformPlan& plan = tables.fast;
    for (int p = 1; p <= 3; ++p) {
        for (int q = 0; q < 441; ++q) {
            ASSERT_EQ(plan.radix4Re[p - 1][q], tables.roots1764[p * q].re) << p << " " << q;
            ASSERT_EQ(plan.radix4Im[p - 1][q], tables.roots1764[p * q].im) << p << " " << q;
        }
    }
    for (int q = 0; q < 49; ++q) {
        for (int p = 0; p < 9; ++p) ASSERT_EQ(plan.stage441Im[q][p], tables.roots441[(p * q) % 441].im) << p << " " << q;
    }
    for (int n = 0; n < windowLength; ++n) {
        ASSERT_EQ(plan.window[n], tables.sineWindow[n]);
        ASSERT_EQ(plan.analysisPostIm[n], tables.invRoots7056[2 * n + 1].im);
        ASSERT_EQ(plan.synthesisPreRe[n], tables.roots7056[2 * n + 1].re);
    }
}

}  // namespace
