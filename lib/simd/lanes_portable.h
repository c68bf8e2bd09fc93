// Portable lanes: four doubles or four floats in an array, every operation a
// loop over the lanes; the same schedule and bits as the vector variants.
#pragma once

#include <cmath>
#include <cstdint>

#include "base/complex.h"

namespace {

template <class T>
struct Array4 {
    T lane[4];
};

template <class T, class F>
inline Array4<T> map4(F f) {
    Array4<T> r;
    for (int i = 0; i < 4; ++i) r.lane[i] = f(i);
    return r;
}

template <class T>
inline Array4<T> operator+(const Array4<T>& a, const Array4<T>& b) {
    return map4<T>([&](int i) { return a.lane[i] + b.lane[i]; });
}
template <class T>
inline Array4<T> operator-(const Array4<T>& a, const Array4<T>& b) {
    return map4<T>([&](int i) { return a.lane[i] - b.lane[i]; });
}
template <class T>
inline Array4<T> operator*(const Array4<T>& a, const Array4<T>& b) {
    return map4<T>([&](int i) { return a.lane[i] * b.lane[i]; });
}
template <class T>
inline Array4<T> operator/(const Array4<T>& a, const Array4<T>& b) {
    return map4<T>([&](int i) { return a.lane[i] / b.lane[i]; });
}
template <class T>
inline Array4<T> operator-(const Array4<T>& a) {
    return map4<T>([&](int i) { return -a.lane[i]; });
}
inline Array4<double> narrow(const Array4<double>& a) {
    return map4<double>([&](int i) { return static_cast<double>(static_cast<float>(a.lane[i])); });
}

struct Doubles {
    using V = Array4<double>;
    using FV = Array4<float>;
    using Half = Doubles;
    static constexpr int width = 4;
    static V set1(double x) { return map4<double>([x](int) { return x; }); }
    static V zero() { return set1(0.0); }
    static V load(const double* p) { return map4<double>([p](int i) { return p[i]; }); }
    static V load(const float* p) { return map4<double>([p](int i) { return static_cast<double>(p[i]); }); }
    static V load(const int32_t* p) { return map4<double>([p](int i) { return static_cast<double>(p[i]); }); }
    static FV toFloats(const V& v) { return map4<float>([&](int i) { return static_cast<float>(v.lane[i]); }); }
    static V widen(const FV& v) { return map4<double>([&](int i) { return static_cast<double>(v.lane[i]); }); }
    static void store(float* p, const V& v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<float>(v.lane[i]);
    }
    static void store(double* p, const V& v) {
        for (int i = 0; i < 4; ++i) p[i] = v.lane[i];
    }
    static V sqrt(const V& a) { return map4<double>([&](int i) { return std::sqrt(a.lane[i]); }); }
    static V abs(const V& a) { return map4<double>([&](int i) { return std::fabs(a.lane[i]); }); }
    static bool allAtMost(const V& a, double limit) {
        bool all = true;
        for (int i = 0; i < 4; ++i) all = all && a.lane[i] <= limit;
        return all;
    }
    static V reverse(const V& v) { return {{v.lane[3], v.lane[2], v.lane[1], v.lane[0]}}; }
    static void transpose(V& a, V& b, V& c, V& d) {
        V* rows[4] = {&a, &b, &c, &d};
        for (int i = 0; i < 4; ++i) {
            for (int j = i + 1; j < 4; ++j) {
                const double t = rows[i]->lane[j];
                rows[i]->lane[j] = rows[j]->lane[i];
                rows[j]->lane[i] = t;
            }
        }
    }
    static void loadComplex(const Complex* src, V& re, V& im) {
        for (int i = 0; i < 4; ++i) {
            re.lane[i] = src[i].re;
            im.lane[i] = src[i].im;
        }
    }
    static void storeComplex(Complex* dst, const V& re, const V& im) {
        for (int i = 0; i < 4; ++i) dst[i] = {static_cast<float>(re.lane[i]), static_cast<float>(im.lane[i])};
    }
    static void addToComplex(Complex* dst, const V& re, const V& im) {
        for (int i = 0; i < 4; ++i) {
            dst[i].re = dst[i].re + static_cast<float>(re.lane[i]);
            dst[i].im = dst[i].im + static_cast<float>(im.lane[i]);
        }
    }
};

struct Floats {
    using V = Array4<float>;
    static constexpr int width = 4;
    static V set1(float x) { return map4<float>([x](int) { return x; }); }
    static V zero() { return set1(0.0f); }
    static V load(const float* p) { return map4<float>([p](int i) { return p[i]; }); }
    static void store(float* p, const V& v) {
        for (int i = 0; i < 4; ++i) p[i] = v.lane[i];
    }
    static V sqrt(const V& a) { return map4<float>([&](int i) { return std::sqrt(a.lane[i]); }); }
    static constexpr double rootEstimateError = 0.0;
    static V atLeast(const V& x, const V& limit, const V& then, const V& otherwise) {
        return map4<float>([&](int i) { return x.lane[i] >= limit.lane[i] ? then.lane[i] : otherwise.lane[i]; });
    }
    static void storeSamples(int16_t* p, const V& v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<int16_t>(static_cast<int>(v.lane[i]));
    }
};

}  // namespace
