#pragma once

#include "base/complex.h"

// Complex lapped transform of a sine-windowed stereo frame: 1764 stereo
// sample frames (left in re, right in im) to a left and a right spectrum of
// 882 bins, and back. Synthesis of an analysis gives w[n]^2 times the frame,
// so overlap-adding consecutive windows rebuilds the signal.
void analyzeFrame(const Complex* frame, Complex* left, Complex* right);
void synthesizeFrame(const Complex* left, const Complex* right, Complex* out);

// Separates the transform of two real signals packed as re/im (n points)
// into their two half spectra, and the exact inverse.
void splitSpectra(const Complex* z, Complex* first, Complex* second, int n);
void mergeSpectra(const Complex* first, const Complex* second, Complex* z, int n);
