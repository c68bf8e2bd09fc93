// The fast transforms in plain C++: four double lanes as an array, every
// operation a loop over the lanes. Same schedule and same bits as the SIMD
// variants; used where no SIMD variant is built or available.

#include "transform/fast_transform_core.h"
#include "transform/fast_transform_kernels.h"

namespace {

struct Quad {
    double lane[4];
};

inline Quad operator+(const Quad& a, const Quad& b) {
    Quad r;
    for (int i = 0; i < 4; ++i) r.lane[i] = a.lane[i] + b.lane[i];
    return r;
}
inline Quad operator-(const Quad& a, const Quad& b) {
    Quad r;
    for (int i = 0; i < 4; ++i) r.lane[i] = a.lane[i] - b.lane[i];
    return r;
}
inline Quad operator*(const Quad& a, const Quad& b) {
    Quad r;
    for (int i = 0; i < 4; ++i) r.lane[i] = a.lane[i] * b.lane[i];
    return r;
}
inline Quad operator-(const Quad& a) {
    Quad r;
    for (int i = 0; i < 4; ++i) r.lane[i] = -a.lane[i];
    return r;
}
inline Quad narrow(const Quad& a) {
    Quad r;
    for (int i = 0; i < 4; ++i) r.lane[i] = static_cast<float>(a.lane[i]);
    return r;
}

struct PortableLanes {
    using V = Quad;
    using Half = PortableLanes;
    static constexpr int width = 4;
    static V load(const float* p) { return loadu(p); }
    static V loadu(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
    static void store(float* p, const V& v) { storeu(p, v); }
    static void storeu(float* p, const V& v) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<float>(v.lane[i]);
    }
    static V set1(float x) { return {{x, x, x, x}}; }
    static V zero() { return set1(0.0f); }
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
};

const FastTransformKernels portableKernels = {
    fastcore::fft<PortableLanes, fastcore::QuadEngine<PortableLanes>>,
    fastcore::inverseFft<PortableLanes, fastcore::QuadEngine<PortableLanes>>,
    fastcore::analyze<PortableLanes, fastcore::QuadEngine<PortableLanes>>,
    fastcore::synthesize<PortableLanes, fastcore::QuadEngine<PortableLanes>>,
    fastcore::synthesizeAdd<PortableLanes, fastcore::QuadEngine<PortableLanes>>,
};

}  // namespace

const FastTransformKernels* portableTransformKernels() { return &portableKernels; }
