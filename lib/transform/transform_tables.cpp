#include "transform/transform_tables.h"

#include <cmath>

#include "transform/fast_transform_plan.h"

// pi as the float nearest to it (bit pattern 0x40490FDB); 2*pi is its exact
// double (0x40C90FDB), fixed by constant initialisation before main runs.
const float singlePi = 3.14159274f;
float twoPi = 2.0f * singlePi;

Complex* zeroComplex = nullptr;
Complex* roots3 = nullptr;
Complex* roots7 = nullptr;
Complex* roots9 = nullptr;
Complex* roots49 = nullptr;
Complex* roots441 = nullptr;
Complex* roots1764 = nullptr;
Complex* roots3528 = nullptr;
Complex* roots7056 = nullptr;
Complex* invRoots3528 = nullptr;
Complex* invRoots7056 = nullptr;
float* sineWindow = nullptr;

// The angle is formed in double from the float 2*pi (multiply, then divide),
// so every table entry depends only on k, n and that float. n = 0 has no
// roots; it gives the unrotated (scale, 0) instead of dividing by zero.
void rootOfUnity(int k, int n, float scale, Complex& out) {
    if (n == 0) {
        out.re = scale;
        out.im = 0.0f;
        return;
    }
    const double angle = static_cast<double>(k) * static_cast<double>(twoPi) / static_cast<double>(n);
    out.re = static_cast<float>(static_cast<double>(scale) * std::cos(angle));
    out.im = static_cast<float>(static_cast<double>(scale) * std::sin(angle));
}

// A negative sign turns clockwise (roots), any other sign counterclockwise.
Complex* makeRootTable(int sign, float scale, int n) {
    if (n <= 0) return nullptr;
    Complex* table = new Complex[n];
    for (int k = 0; k < n; ++k) rootOfUnity(sign < 0 ? -k : k, n, scale, table[k]);
    return table;
}

float* makeSineWindow(int n) {
    if (n <= 0) return nullptr;
    float* window = new float[n];
    for (int k = 0; k < n; ++k) {
        const double angle = static_cast<double>(2 * static_cast<long long>(k) + 1) *
                             static_cast<double>(singlePi) / (2.0 * static_cast<double>(n));
        window[k] = static_cast<float>(std::sin(angle));
    }
    return window;
}

// Building twice keeps the tables already there; they never change.
void initTransformTables() {
    if (zeroComplex != nullptr) return;
    zeroComplex = new Complex{0.0f, 0.0f};
    roots3 = makeRootTable(-1, 1.0f, 3);
    roots7 = makeRootTable(-1, 1.0f, 7);
    roots9 = makeRootTable(-1, 1.0f, 9);
    roots49 = makeRootTable(-1, 1.0f, 49);
    roots441 = makeRootTable(-1, 1.0f, 441);
    roots1764 = makeRootTable(-1, 1.0f, 1764);
    roots3528 = makeRootTable(-1, 1.0f, 3528);
    roots7056 = makeRootTable(-1, 1.0f, 7056);
    invRoots3528 = makeRootTable(+1, 1.0f, 3528);
    invRoots7056 = makeRootTable(+1, 1.0f, 7056);
    sineWindow = makeSineWindow(1764);
    // The fast transforms' plan is derived from these tables; building it
    // here keeps its allocations out of the first frame a codec transforms.
    fastTransformPlan();
}

namespace {
template <typename T>
void freeArray(T*& table) {
    delete[] table;
    table = nullptr;
}
}  // namespace

void releaseTransformTables() {
    delete zeroComplex;
    zeroComplex = nullptr;
    freeArray(roots3);
    freeArray(roots7);
    freeArray(roots9);
    freeArray(roots49);
    freeArray(roots441);
    freeArray(roots1764);
    freeArray(roots3528);
    freeArray(roots7056);
    freeArray(invRoots3528);
    freeArray(invRoots7056);
    freeArray(sineWindow);
}
