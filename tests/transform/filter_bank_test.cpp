#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/transform/transform_test_support.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

const double pi = 3.14159265358979323846;

struct Spectra {
    std::vector<Complex> left = std::vector<Complex>(blockLength);
    std::vector<Complex> right = std::vector<Complex>(blockLength);
};

Spectra analyze(const std::vector<Complex>& frame) {
    Spectra s;
    analyzeFrame(frame.data(), s.left.data(), s.right.data());
    return s;
}

double largest(const std::vector<Complex>& v) {
    double m = 0.0;
    for (const auto& c : v) m = std::max(m, magnitude(c));
    return m;
}

std::vector<Complex> randomSamples(std::mt19937& rng, float amplitude) {
    return randomComplex(rng, windowLength, amplitude);
}

}  // namespace

using FilterBank = ::testing::Test;

TEST_F(FilterBank, SilenceStaysSilent) {
    const std::vector<Complex> zeros(windowLength, Complex{0.0f, 0.0f});
    const Spectra s = analyze(zeros);
    EXPECT_EQ(largest(s.left), 0.0);
    EXPECT_EQ(largest(s.right), 0.0);
    std::vector<Complex> out(windowLength, Complex{1.0f, 1.0f});
    synthesizeFrame(s.left.data(), s.right.data(), out.data());
    EXPECT_EQ(largest(out), 0.0);
}

TEST_F(FilterBank, ConstantChannelLandsInTheFirstBin) {
    const float a = 1000.0f;
    std::vector<Complex> frame(windowLength, Complex{a, 0.0f});
    const Spectra s = analyze(frame);
    EXPECT_NEAR(s.left[0].re, a / (2.0 * std::sqrt(2.0)), 1e-3);
    EXPECT_NEAR(s.left[0].im, -a / (2.0 * std::sqrt(2.0)), 1e-3);
    for (int k = 1; k < blockLength; ++k) ASSERT_LT(magnitude(s.left[k]), 1e-3) << k;
    EXPECT_LT(largest(s.right), 1e-3);
}

// A cosine centred on bin k0 gives A/pi there, A/(3 pi) and A/(15 pi) one
// and two bins away, whatever its phase: the window's spectrum.
TEST_F(FilterBank, CosineAtABinCentreHasTheWindowShape) {
    const double a = 1000.0;
    for (int k0 : {37, 200, 640}) {
        for (double phase : {0.0, 0.7, 2.1, -1.3}) {
            std::vector<Complex> frame(windowLength);
            for (int n = 0; n < windowLength; ++n) {
                const double x = a * std::cos(2.0 * pi * (k0 + 0.5) * 25.0 * n / 44100.0 + phase);
                frame[n] = {static_cast<float>(x), 0.0f};
            }
            const Spectra s = analyze(frame);
            const double tolerance = 2e-3 * a / pi;
            EXPECT_NEAR(magnitude(s.left[k0]), a / pi, tolerance) << k0 << " " << phase;
            EXPECT_NEAR(magnitude(s.left[k0 - 1]), a / (3 * pi), tolerance) << k0 << " " << phase;
            EXPECT_NEAR(magnitude(s.left[k0 + 1]), a / (3 * pi), tolerance) << k0 << " " << phase;
            EXPECT_NEAR(magnitude(s.left[k0 - 2]), a / (15 * pi), tolerance) << k0 << " " << phase;
            EXPECT_NEAR(magnitude(s.left[k0 + 2]), a / (15 * pi), tolerance) << k0 << " " << phase;
            EXPECT_LT(magnitude(s.left[k0 + 20]), 0.01 * a / pi);
        }
    }
}

// The closed form: X[k] = (-1)^(k+1)/1764 * sum w[n] x[n] e^(i beta),
// beta = (pi/882)(n + 441.5)(k + 0.5).
TEST_F(FilterBank, AnalysisMatchesTheLappedTransformSum) {
    std::mt19937 rng(21);
    const std::vector<Complex> frame = randomSamples(rng, 20000.0f);
    const Spectra s = analyze(frame);
    double worst = 0.0;
    for (int k = 0; k < blockLength; k += 7) {
        std::complex<double> left = 0.0, right = 0.0;
        for (int n = 0; n < windowLength; ++n) {
            const double w = std::sin((2 * n + 1) * pi / 3528.0);
            const std::complex<double> turn = std::polar(1.0, pi / 882.0 * (n + 441.5) * (k + 0.5));
            left += w * static_cast<double>(frame[n].re) * turn;
            right += w * static_cast<double>(frame[n].im) * turn;
        }
        const double sign = (k % 2 == 0) ? -1.0 : 1.0;
        worst = std::max(worst, distance(s.left[k], sign * left / 1764.0));
        worst = std::max(worst, distance(s.right[k], sign * right / 1764.0));
    }
    EXPECT_LT(worst, 1e-5 * largest(s.left) + 1e-5 * largest(s.right));
}

TEST_F(FilterBank, ChannelsAreSeparated) {
    std::mt19937 rng(22);
    std::vector<Complex> frame = randomSamples(rng, 30000.0f);
    std::vector<Complex> leftOnly = frame, rightOnly = frame, swapped = frame;
    for (int n = 0; n < windowLength; ++n) {
        leftOnly[n].im = 0.0f;
        rightOnly[n].re = 0.0f;
        swapped[n] = {frame[n].im, frame[n].re};
    }
    const Spectra both = analyze(frame), l = analyze(leftOnly), r = analyze(rightOnly), sw = analyze(swapped);
    const double scale = largest(both.left) + largest(both.right);
    EXPECT_LT(largest(l.right), 1e-6 * scale);
    EXPECT_LT(largest(r.left), 1e-6 * scale);
    double worst = 0.0;
    for (int k = 0; k < blockLength; ++k) {
        worst = std::max(worst, distance(sw.left[k], {both.right[k].re, both.right[k].im}));
        worst = std::max(worst, distance(sw.right[k], {both.left[k].re, both.left[k].im}));
        worst = std::max(worst, distance(l.left[k], {both.left[k].re, both.left[k].im}));
        worst = std::max(worst, distance(r.right[k], {both.right[k].re, both.right[k].im}));
    }
    EXPECT_LT(worst, 1e-6 * scale);
}

TEST_F(FilterBank, MergeUndoesSplit) {
    std::mt19937 rng(23);
    const std::vector<Complex> z = randomComplex(rng, windowLength, 100.0f);
    std::vector<Complex> first(blockLength), second(blockLength), back(windowLength);
    splitSpectra(z.data(), first.data(), second.data(), windowLength);
    mergeSpectra(first.data(), second.data(), back.data(), windowLength);
    for (int k = 0; k < windowLength; ++k) {
        ASSERT_NEAR(back[k].re, z[k].re, 1e-4) << k;
        ASSERT_NEAR(back[k].im, z[k].im, 1e-4) << k;
    }
}

// Synthesis of an analysis is the frame times the squared window, so the
// overlapping halves of consecutive windows add back to the signal.
TEST_F(FilterBank, SynthesisOfAnalysisIsTheSquaredWindow) {
    std::mt19937 rng(24);
    const std::vector<Complex> frame = randomSamples(rng, 32768.0f);
    const Spectra s = analyze(frame);
    std::vector<Complex> out(windowLength);
    synthesizeFrame(s.left.data(), s.right.data(), out.data());
    for (int n = 0; n < windowLength; ++n) {
        const double w2 = static_cast<double>(transformTables().sineWindow[n]) * transformTables().sineWindow[n];
        ASSERT_NEAR(out[n].re, w2 * frame[n].re, 0.05) << n;
        ASSERT_NEAR(out[n].im, w2 * frame[n].im, 0.05) << n;
    }
}

TEST_F(FilterBank, SynthesisMatchesTheInverseSum) {
    std::mt19937 rng(25);
    Spectra s;
    for (int k = 0; k < blockLength; ++k) {
        s.left[k] = randomComplex(rng, 1, 100.0f)[0];
        s.right[k] = randomComplex(rng, 1, 100.0f)[0];
    }
    std::vector<Complex> out(windowLength);
    synthesizeFrame(s.left.data(), s.right.data(), out.data());
    double worst = 0.0;
    for (int n = 0; n < windowLength; n += 11) {
        double left = 0.0, right = 0.0;
        for (int k = 0; k < blockLength; ++k) {
            const double beta = pi / 882.0 * (n + 441.5) * (k + 0.5);
            const double sign = (k % 2 == 0) ? -1.0 : 1.0;
            left += sign * (s.left[k].re * std::cos(beta) + s.left[k].im * std::sin(beta));
            right += sign * (s.right[k].re * std::cos(beta) + s.right[k].im * std::sin(beta));
        }
        const double w = std::sin((2 * n + 1) * pi / 3528.0);
        worst = std::max(worst, std::fabs(out[n].re - 2.0 * w * left));
        worst = std::max(worst, std::fabs(out[n].im - 2.0 * w * right));
    }
    EXPECT_LT(worst, 0.05);
}
