// The codec's vector kernels in plain C++: four doubles per "register", held
// in an array. Built everywhere; the fallback where no SIMD variant exists.

#include <cmath>

#include "codec/codec_kernels.h"
#include "codec/codec_kernels_core.h"

namespace {

struct PortableLanes {
    static constexpr int width = 4;
    struct V {
        double x[width];
    };
    template <class F>
    static V map(F f) {
        V r;
        for (int i = 0; i < width; ++i) r.x[i] = f(i);
        return r;
    }
    static V set1(double v) { return map([v](int) { return v; }); }
    static V zero() { return set1(0.0); }
    static V load(const double* p) { return map([p](int i) { return p[i]; }); }
    static V add(V a, V b) { return map([&](int i) { return a.x[i] + b.x[i]; }); }
    static V sub(V a, V b) { return map([&](int i) { return a.x[i] - b.x[i]; }); }
    static V mul(V a, V b) { return map([&](int i) { return a.x[i] * b.x[i]; }); }
    static V div(V a, V b) { return map([&](int i) { return a.x[i] / b.x[i]; }); }
    static V sqrt(V a) { return map([&](int i) { return std::sqrt(a.x[i]); }); }
    static V abs(V a) { return map([&](int i) { return std::fabs(a.x[i]); }); }
    static V toFloat(V a) { return map([&](int i) { return static_cast<double>(static_cast<float>(a.x[i])); }); }
    static V loadFloats(const float* p) { return map([p](int i) { return static_cast<double>(p[i]); }); }
    static void storeFloats(float* p, V a) {
        for (int i = 0; i < width; ++i) p[i] = static_cast<float>(a.x[i]);
    }
    static bool allAtMost(V a, double limit) {
        bool all = true;
        for (int i = 0; i < width; ++i) all = all && a.x[i] <= limit;
        return all;
    }
};

struct PortableFloatLanes {
    static constexpr int width = 4;
    struct V {
        float x[width];
    };
    template <class Fn>
    static V map(Fn f) {
        V r;
        for (int i = 0; i < width; ++i) r.x[i] = f(i);
        return r;
    }
    static V set1(float v) { return map([v](int) { return v; }); }
    static V zero() { return set1(0.0f); }
    static V load(const float* p) { return map([p](int i) { return p[i]; }); }
    static V add(V a, V b) { return map([&](int i) { return a.x[i] + b.x[i]; }); }
    static V sub(V a, V b) { return map([&](int i) { return a.x[i] - b.x[i]; }); }
    static V mul(V a, V b) { return map([&](int i) { return a.x[i] * b.x[i]; }); }
    static V sqrt(V a) { return map([&](int i) { return std::sqrt(a.x[i]); }); }
    static V atLeast(V x, V limit, V then, V otherwise) {
        return map([&](int i) { return x.x[i] >= limit.x[i] ? then.x[i] : otherwise.x[i]; });
    }
    static void store(float* p, V a) {
        for (int i = 0; i < width; ++i) p[i] = a.x[i];
    }
};

void scorePhaseTrials(const double* band, int n, const double* raRe, const double* raIm, const double* rbRe,
                      const double* rbIm, int count, float* scores) {
    codeckernels::scorePhaseTrials<PortableLanes>(band, n, raRe, raIm, rbRe, rbIm, count, scores);
}

bool prepareBand(const float* ar, const float* ai, const float* br, const float* bi, int n, double farScale,
                 double nearScale, float* magnitudeA, float* magnitudeB, float* farFrom, float* farBound,
                 float* nearBound) {
    return codeckernels::prepareBand<PortableLanes>(ar, ai, br, bi, n, farScale, nearScale, magnitudeA, magnitudeB, farFrom,
                                         farBound, nearBound);
}

void approximatePhaseTrials(const Complex* a, const Complex* b, int n, const float* farFrom, const float* farBound,
                            const float* nearBound, const float* raRe, const float* raIm, const float* rbRe,
                            const float* rbIm, int count, float* approx, float* bound) {
    codeckernels::approximatePhaseTrials<PortableFloatLanes>(a, b, n, farFrom, farBound, nearBound, raRe, raIm, rbRe, rbIm, count,
                                             approx, bound);
}

void combineMasking(float* s, const float* forward, const float* backward, int n) {
    codeckernels::combineMasking<PortableLanes>(s, forward, backward, n);
}

void rateBins(const float* x, const float* s, float* q, int n) { codeckernels::rateBins<PortableLanes>(x, s, q, n); }

const CodecKernels kernels = {scorePhaseTrials, prepareBand, approximatePhaseTrials, combineMasking, rateBins};

}  // namespace

const CodecKernels* portableCodecKernels() { return &kernels; }
