#pragma once

#include <gtest/gtest.h>

#include <cmath>
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
