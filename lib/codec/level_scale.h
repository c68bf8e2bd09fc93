#pragma once

#include "base/complex.h"

// Level scale: level = 6 * log2(amplitude).
double fromLevel(double level);               // 2^(level/6); callers store it as float
double toLevel(double amplitude, double floor);  // floor when fromLevel(floor) >= amplitude
// toLevel with fromLevel(floor) supplied by the caller (computed once per codec).
double toLevelAbove(double amplitude, double floor, double floorAmplitude);

// Uniform quantiser of x from [lo, hi] (lo may exceed hi) onto 0..2^bits-1,
// NaN maps to the top code, and its inverse. x is taken as it is: a level
// from toLevel arrives as a double and is not rounded to float first.
int quantize(double x, float lo, float hi, int bits);
double dequantize(int code, float lo, float hi, int bits);

// sqrt(a*a + b*b) with a*a rounded to float and the root in double.
double hypotenuse(float a, float b);
