// Complex lapped transform of a stereo window through one complex FFT:
// left samples ride in the real parts, right samples in the imaginary parts,
// and the two channel spectra are separated by conjugate symmetry.
// Every array element is stored as a float after each step; the expressions
// in between are evaluated in double from float operands.

#include "transform/filter_bank.h"

#include "base/complex_ops.h"
#include "transform/fft1764.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

// e^(-i pi (2k+1)/4) for analysis (conjugate for synthesis): index
// (1764k + 882) mod 7056 of the 7056-point tables.
int quarterTurnIndex(int k) {
    return (windowLength * (k % 4) + blockLength) % (4 * windowLength);
}

// One conjugate pair (z[k], z[n-1-k]) of the packed transform to bin k of
// the two channel spectra, and back.
void splitPair(Complex p, Complex q, Complex& first, Complex& second) {
    first = toFloat({0.5 * (static_cast<double>(p.im) + q.im), 0.5 * (static_cast<double>(q.re) - p.re)});
    second = toFloat({0.5 * (-static_cast<double>(p.re) - q.re), 0.5 * (static_cast<double>(q.im) - p.im)});
}

void mergePair(Complex a, Complex b, Complex& p, Complex& q) {
    p = toFloat({-static_cast<double>(b.re) - a.im, static_cast<double>(a.re) - b.im});
    q = toFloat({static_cast<double>(a.im) - b.re, static_cast<double>(a.re) + b.im});
}

}  // namespace

void splitSpectra(const Complex* z, Complex* first, Complex* second, int n) {
    for (int k = 0; k < n / 2; ++k) splitPair(z[k], z[n - 1 - k], first[k], second[k]);
}

void mergeSpectra(const Complex* first, const Complex* second, Complex* z, int n) {
    for (int k = 0; k < n / 2; ++k) mergePair(first[k], second[k], z[k], z[n - 1 - k]);
}

void analyzeFrame(const Complex* frame, Complex* left, Complex* right) {
    const TransformTables& tables = transformTables();
    Complex y[windowLength];
    Complex z[windowLength];
    for (int n = 0; n < windowLength; ++n) {
        // The windowed sample is stored in y[n] before it is turned.
        const double w = tables.sineWindow[n];
        const Complex windowed = toFloat({frame[n].re * w, frame[n].im * w});
        y[n] = complexProduct(windowed, tables.invRoots3528[n]);
    }
    inverseFft1764(y, z, 1, 1);
    for (int k = 0; k < windowLength; ++k) z[k] = complexProduct(z[k], tables.invRoots7056[2 * k + 1]);
    splitSpectra(z, left, right, windowLength);
    for (int k = 0; k < blockLength; ++k) {
        const Complex r = tables.roots7056[quarterTurnIndex(k)];
        left[k] = complexProduct(left[k], r);
        right[k] = complexProduct(right[k], r);
    }
}

void synthesizeFrame(const Complex* left, const Complex* right, Complex* out) {
    const TransformTables& tables = transformTables();
    Complex z[windowLength];
    Complex y[windowLength];
    // Rotating and merging bin by bin needs no spectrum-sized scratch.
    for (int k = 0; k < blockLength; ++k) {
        const Complex r = tables.invRoots7056[quarterTurnIndex(k)];
        const Complex a = complexProduct(left[k], r);
        const Complex b = complexProduct(right[k], r);
        mergePair(a, b, z[k], z[windowLength - 1 - k]);
    }
    for (int n = 0; n < windowLength; ++n) z[n] = complexProduct(z[n], tables.roots7056[2 * n + 1]);
    fft1764(z, y, 1, 1);
    for (int n = 0; n < windowLength; ++n) {
        // t is not stored: the turned value meets the window in double.
        const WideComplex t = wideProduct(y[n], tables.roots3528[n]);
        const double w = tables.sineWindow[n];
        out[n] = toFloat({t.re * w, t.im * w});
    }
}
