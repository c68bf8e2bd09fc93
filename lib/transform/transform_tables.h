// TransformTables: the roots of unity and the sine window of the 1764-point
// transforms, and the fast transforms' plan made from them; one constant
// object, built on first use.
#pragma once

#include "base/complex.h"
#include "simd/transform_plan.h"

// pi and 2*pi enter every angle as 32-bit floats: pi as the float nearest to
// it (bit pattern 0x40490FDB), 2*pi its exact double (0x40C90FDB).
constexpr float singlePi = 3.14159274f;
constexpr float twoPi = 2.0f * singlePi;
// The complex zero that sums start from.
constexpr Complex zeroComplex = {0.0f, 0.0f};

// rootsN[k] = e^(-2 pi i k / N), invRootsN[k] = e^(+2 pi i k / N).
struct TransformTables {
    TransformTables();

    Complex roots3[3];
    Complex roots7[7];
    Complex roots9[9];
    Complex roots49[49];
    Complex roots441[441];
    Complex roots1764[1764];
    Complex roots3528[3528];
    Complex roots7056[7056];
    Complex invRoots3528[3528];
    Complex invRoots7056[7056];
    float sineWindow[1764];  // sin((2k+1) pi / 3528)
    // The same values in the order the fast kernels read them.
    FastTransformPlan fast;
};

// The one table object of the process: built by the first call (from any
// thread; later calls wait for it), never changed, freed at exit.
const TransformTables& transformTables();

// out = scale * e^(2 pi i k / n); negative k turns the other way. The angle
// k * twoPi / n is formed in double, cos/sin in double, results stored as
// float. n = 0 gives (scale, 0).
void rootOfUnity(int k, int n, float scale, Complex& out);
// New array (caller owns, delete[]) whose entry k is rootOfUnity(sign*k, n, scale)
// (sign < 0 counts as -1, anything else as +1); nullptr for n <= 0.
Complex* makeRootTable(int sign, float scale, int n);
// New array (caller owns, delete[]) whose entry k is sin((2k+1) pi / (2n)),
// pi being singlePi; nullptr for n <= 0.
float* makeSineWindow(int n);
