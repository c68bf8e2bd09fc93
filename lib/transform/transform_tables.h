#pragma once

#include "base/complex.h"

// pi and 2*pi enter every angle as 32-bit floats.
extern const float singlePi;  // 3.14159274f
extern float twoPi;           // 2 * singlePi, set during static initialisation

// Shared read-only tables, built once by initTransformTables() and freed by
// releaseTransformTables(). rootsN[k] = e^(-2 pi i k / N), invRootsN[k] = e^(+2 pi i k / N).
extern Complex* zeroComplex;
extern Complex* roots3;
extern Complex* roots7;
extern Complex* roots9;
extern Complex* roots49;
extern Complex* roots441;
extern Complex* roots1764;
extern Complex* roots3528;
extern Complex* roots7056;
extern Complex* invRoots3528;
extern Complex* invRoots7056;
extern float* sineWindow;  // 1764 entries: sin((2k+1) pi / 3528)

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

// Builds every table above; a second call while they exist does nothing.
void initTransformTables();
// Frees every table and resets the pointers to nullptr; harmless when called
// again or before initTransformTables.
void releaseTransformTables();
