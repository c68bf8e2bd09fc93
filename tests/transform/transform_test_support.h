#pragma once

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <complex>
#include <random>
#include <vector>

#include "base/complex.h"
#include "transform/transform_tables.h"


inline std::vector<Complex> randomComplex(std::mt19937& rng, int n, float amplitude) {
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    std::vector<Complex> x(n);
    for (auto& c : x) c = {value(rng), value(rng)};
    return x;
}

inline double magnitude(Complex c) { return std::hypot(static_cast<double>(c.re), static_cast<double>(c.im)); }

inline double distance(Complex a, std::complex<double> b) {
    return std::abs(std::complex<double>(a.re, a.im) - b);
}

using Signal = std::vector<Complex>;

// First float (index into the float view) whose bits differ, or -1.
inline long firstDifference(const Signal& a, const Signal& b) {
    if (a.size() != b.size()) return 0;
    if (std::memcmp(a.data(), b.data(), a.size() * sizeof(Complex)) == 0) return -1;
    const auto* x = reinterpret_cast<const uint32_t*>(a.data());
    const auto* y = reinterpret_cast<const uint32_t*>(b.data());
    for (size_t i = 0; i < 2 * a.size(); ++i)
        if (x[i] != y[i]) return static_cast<long>(i);
    return -1;
}

inline std::string describeFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    char text[64];
    std::snprintf(text, sizeof text, "%.9g (0x%08" PRIX32 ")", static_cast<double>(f), bits);
    return text;
}

inline std::string describe(const Signal& expected, const Signal& actual) {
    const long i = firstDifference(expected, actual);
    if (i < 0) return "identical";
    const float* e = &expected[0].re;
    const float* a = &actual[0].re;
    return "float " + std::to_string(i) + ": expected " + describeFloat(e[i]) + ", got " + describeFloat(a[i]);
}

#define EXPECT_SAME_BITS(expected, actual, what) \
    EXPECT_EQ(firstDifference(expected, actual), -1) << (what) << ": " << describe(expected, actual)
