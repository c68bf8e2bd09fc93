#include <gtest/gtest.h>

#include <thread>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "tests/transform/transform_test_support.h"
#include "transform/fft1764.h"
#include "transform/transform_tables.h"

namespace {

using Transform = void (*)(const Complex*, Complex*, int, int);

// Textbook O(N^2) DFT in double precision, exact angles.
std::vector<std::complex<double>> directDft(const std::vector<Complex>& x, int sign) {
    const int n = static_cast<int>(x.size());
    const double pi = 3.14159265358979323846;
    std::vector<std::complex<double>> out(n);
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (int m = 0; m < n; ++m) {
            const double angle = sign * 2.0 * pi * static_cast<double>((static_cast<long long>(m) * k) % n) / n;
            sum += std::complex<double>(x[m].re, x[m].im) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

// Largest error relative to the largest output magnitude.
double relativeError(const std::vector<Complex>& actual, const std::vector<std::complex<double>>& expected) {
    double worst = 0.0, largest = 0.0;
    for (size_t k = 0; k < expected.size(); ++k) {
        worst = std::max(worst, distance(actual[k], expected[k]));
        largest = std::max(largest, std::abs(expected[k]));
    }
    return worst / largest;
}

uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

struct Sized {
    const char* name;
    Transform transform;
    int size;
};

const Sized allTransforms[] = {
    {"dft3", dft3, 3},     {"dft4", dft4, 4},       {"dft7", dft7, 7},         {"dft9", dft9, 9},
    {"dft49", dft49, 49}, {"dft441", dft441, 441}, {"fft1764", fft1764, 1764},
};

}  // namespace

using Dft = ::testing::Test;

TEST_F(Dft, EveryTransformMatchesTheDirectSum) {
    std::mt19937 rng(11);
    for (const auto& t : allTransforms) {
        for (int trial = 0; trial < 3; ++trial) {
            const std::vector<Complex> x = randomComplex(rng, t.size, 1000.0f);
            const std::vector<Complex> input = x;
            std::vector<Complex> y(t.size);
            t.transform(x.data(), y.data(), 1, 1);
            EXPECT_LT(relativeError(y, directDft(x, -1)), 1e-5) << t.name;
            for (int m = 0; m < t.size; ++m)
                ASSERT_TRUE(x[m].re == input[m].re && x[m].im == input[m].im) << t.name << " changed its input";
        }
    }
}

// The kernels sum in double and round once per output: each input below
// adds half an ulp of 1 (or a little more), which a float running sum would
// lose, while the double sum carries output 0 up to 1 + 2^-23.
TEST_F(Dft, KernelSumsRunInDouble) {
    const float half = std::ldexp(1.0f, -24);
    const struct {
        Transform transform;
        std::vector<float> re;
    } cases[] = {
        {dft3, {1.0f, half, std::ldexp(1.0f, -48)}},  // x1 + x2 just above half an ulp
        {dft4, {1.0f, half, half, 0.0f}},              // (x0 + x2) + (x1 + x3)
        {dft7, {1.0f, half, half, 0.0f, 0.0f, 0.0f, 0.0f}},  // x0 + S1 + S2 + S3
    };
    for (const auto& c : cases) {
        std::vector<Complex> x;
        for (float v : c.re) x.push_back({v, 0.0f});
        std::vector<Complex> y(x.size());
        c.transform(x.data(), y.data(), 1, 1);
        EXPECT_EQ(floatBits(y[0].re), floatBits(1.0f + 2.0f * half)) << x.size();
    }
}

TEST_F(Dft, StridesPickInputsAndPlaceOutputs) {
    std::mt19937 rng(12);
    for (const auto& t : allTransforms) {
        const int srcStride = 3, dstStride = 2;
        std::vector<Complex> spread = randomComplex(rng, t.size * srcStride, 1.0f);
        std::vector<Complex> out(t.size * dstStride, Complex{7.0f, 7.0f});
        t.transform(spread.data(), out.data(), srcStride, dstStride);
        std::vector<Complex> x(t.size), y(t.size);
        for (int m = 0; m < t.size; ++m) x[m] = spread[m * srcStride];
        for (int k = 0; k < t.size; ++k) {
            y[k] = out[k * dstStride];
            ASSERT_EQ(out[k * dstStride + 1].re, 7.0f) << t.name << " wrote between its outputs";
        }
        EXPECT_LT(relativeError(y, directDft(x, -1)), 1e-5) << t.name;
    }
}

TEST_F(Dft, ImpulseConstantAndPureTone) {
    std::vector<Complex> x(1764, Complex{0.0f, 0.0f}), y(1764);
    x[0] = {1.0f, 0.0f};
    fft1764(x.data(), y.data(), 1, 1);
    for (int k = 0; k < 1764; ++k) {
        ASSERT_NEAR(y[k].re, 1.0f, 1e-6) << k;
        ASSERT_NEAR(y[k].im, 0.0f, 1e-6) << k;
    }

    std::fill(x.begin(), x.end(), Complex{1.0f, 0.0f});
    fft1764(x.data(), y.data(), 1, 1);
    EXPECT_NEAR(y[0].re, 1764.0f, 1e-3);
    EXPECT_NEAR(y[0].im, 0.0f, 1e-3);
    for (int k = 1; k < 1764; ++k) ASSERT_LT(magnitude(y[k]), 1e-3) << k;

    const double pi = 3.14159265358979323846;
    for (int m = 0; m < 1764; ++m) {
        const std::complex<double> e = std::polar(1.0, 2.0 * pi * 5.0 * m / 1764.0);
        x[m] = {static_cast<float>(e.real()), static_cast<float>(e.imag())};
    }
    fft1764(x.data(), y.data(), 1, 1);
    EXPECT_LT(distance(y[5], 1764.0), 2e-3);
    for (int k = 0; k < 1764; ++k) {
        if (k != 5) {
            ASSERT_LT(magnitude(y[k]), 2e-3) << k;
        }
    }
}

TEST_F(Dft, InverseOfAnImpulseIsAScaledPositiveExponential) {
    std::vector<Complex> x(1764, Complex{0.0f, 0.0f}), y(1764);
    x[0] = {1.0f, 0.0f};
    inverseFft1764(x.data(), y.data(), 1, 1);
    for (int k = 0; k < 1764; ++k) ASSERT_EQ(floatBits(y[k].re), 0x3A149B93u) << "scale is 1/1764 as a float";

    x[0] = {0.0f, 0.0f};
    x[5] = {1.0f, 0.0f};
    inverseFft1764(x.data(), y.data(), 1, 1);
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < 1764; ++k)
        ASSERT_LT(distance(y[k], std::polar(1.0 / 1764.0, 2.0 * pi * 5.0 * k / 1764.0)), 1e-9) << k;
}

TEST_F(Dft, InverseMatchesTheDirectSumAndUndoesTheForward) {
    std::mt19937 rng(13);
    const std::vector<Complex> x = randomComplex(rng, 1764, 30000.0f);
    std::vector<Complex> y(1764), back(1764);

    inverseFft1764(x.data(), y.data(), 1, 1);
    auto expected = directDft(x, +1);
    for (auto& e : expected) e /= 1764.0;
    EXPECT_LT(relativeError(y, expected), 1e-5);

    fft1764(x.data(), y.data(), 1, 1);
    inverseFft1764(y.data(), back.data(), 1, 1);
    double worst = 0.0;
    for (int m = 0; m < 1764; ++m)
        worst = std::max(worst, distance(back[m], std::complex<double>(x[m].re, x[m].im)));
    EXPECT_LT(worst / 30000.0, 1e-5);
}

// The one table object of the process.
const TransformTables& shared = transformTables();

using Tables = ::testing::Test;

TEST_F(Tables, PiEntersAsTheNearestFloat) {
    EXPECT_EQ(floatBits(singlePi), 0x40490FDBu);
    EXPECT_EQ(floatBits(twoPi), 0x40C90FDBu);
    // With pi taken as a double these would round to -0.5 and a different window.
    EXPECT_EQ(shared.roots3[1].re, -0.50000006f);
    EXPECT_NEAR(shared.roots3[1].im, -0.86602539f, 1e-8);
    EXPECT_NEAR(shared.sineWindow[0], 0.00089047, 1e-8);
}

TEST_F(Tables, RootTablesHoldThePowersOfTheirRoot) {
    const double pi = 3.14159265358979323846;
    struct Named { const Complex* table; int n; int sign; };
    const Named tables[] = {{shared.roots3, 3, -1},       {shared.roots7, 7, -1},       {shared.roots9, 9, -1},
                            {shared.roots49, 49, -1},     {shared.roots441, 441, -1},   {shared.roots1764, 1764, -1},
                            {shared.roots3528, 3528, -1}, {shared.roots7056, 7056, -1}, {shared.invRoots3528, 3528, +1},
                            {shared.invRoots7056, 7056, +1}};
    for (const auto& t : tables) {
        for (int k = 0; k < t.n; ++k)
            ASSERT_LT(distance(t.table[k], std::polar(1.0, t.sign * 2.0 * pi * k / t.n)), 1e-6) << t.n << " " << k;
    }
    EXPECT_EQ(zeroComplex.re, 0.0f);
    EXPECT_EQ(zeroComplex.im, 0.0f);
}

TEST_F(Tables, SineWindowHalvesArePowerComplementary) {
    for (int k = 0; k < 882; ++k) {
        const double a = shared.sineWindow[k], b = shared.sineWindow[k + 882];
        ASSERT_NEAR(a * a + b * b, 1.0, 2e-7) << k;
        // Symmetric up to the float pi's offset from pi (about 9e-8).
        ASSERT_NEAR(shared.sineWindow[k], shared.sineWindow[1763 - k], 1.5e-7) << k;
    }
}

TEST(RootOfUnity, DirectionScaleAndPeriod) {
    Complex a, b;
    rootOfUnity(0, 17, 2.5f, a);
    EXPECT_EQ(a.re, 2.5f);
    EXPECT_EQ(a.im, 0.0f);
    rootOfUnity(1, 4, 2.0f, a);
    EXPECT_NEAR(a.re, 0.0f, 1e-6);
    EXPECT_NEAR(a.im, 2.0f, 1e-6);
    for (int k : {1, 3, 5, 11}) {
        rootOfUnity(k, 16, 1.0f, a);
        rootOfUnity(-k, 16, 1.0f, b);
        EXPECT_EQ(a.re, b.re);
        EXPECT_EQ(a.im, -b.im);
        rootOfUnity(k + 16, 16, 1.0f, b);
        EXPECT_NEAR(a.re, b.re, 1e-6);
        EXPECT_NEAR(a.im, b.im, 1e-6);
    }
    rootOfUnity(3, 0, 1.5f, a);  // no roots of order 0: left unrotated
    EXPECT_EQ(a.re, 1.5f);
    EXPECT_EQ(a.im, 0.0f);
}

TEST(RootOfUnity, TablesAreBuiltFromIt) {
    Complex* table = makeRootTable(-1, 3.0f, 12);
    for (int k = 0; k < 12; ++k) {
        Complex expected;
        rootOfUnity(-k, 12, 3.0f, expected);
        EXPECT_EQ(table[k].re, expected.re);
        EXPECT_EQ(table[k].im, expected.im);
    }
    delete[] table;
    EXPECT_EQ(makeRootTable(1, 1.0f, 0), nullptr);
    EXPECT_EQ(makeSineWindow(-1), nullptr);
    float* window = makeSineWindow(2);  // sin(pi/4), sin(3pi/4)
    EXPECT_NEAR(window[0], 0.70710678f, 1e-7);
    EXPECT_NEAR(window[1], 0.70710678f, 1e-7);
    delete[] window;
}

TEST(TableLifecycle, OneObjectBuiltOnceWhicheverThreadAsksFirst) {
    // Codecs on several threads may ask for the tables at the same moment.
    const TransformTables* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = &transformTables(); });
    for (auto& thread : threads) thread.join();
    for (const TransformTables* tables : seen) EXPECT_EQ(tables, &transformTables());
    std::vector<Complex> x(1764, Complex{0.0f, 0.0f}), y(1764);
    x[0] = {1.0f, 0.0f};
    fft1764(x.data(), y.data(), 1, 1);
    EXPECT_NEAR(y[100].re, 1.0f, 1e-6);
}
