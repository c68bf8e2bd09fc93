#pragma once

#include "base/complex.h"

// A complex value held in double while an expression is evaluated; the
// codec's arithmetic runs in double from float operands and rounds to float
// only where a value is stored.
struct WideComplex {
    double re;
    double im;
};

// Complex product a*b in double from float operands, not rounded:
// re = a.re*b.re - a.im*b.im, im = a.im*b.re + a.re*b.im.
inline WideComplex wideProduct(Complex a, Complex b) {
    return {static_cast<double>(a.re) * b.re - static_cast<double>(a.im) * b.im,
            static_cast<double>(a.im) * b.re + static_cast<double>(a.re) * b.im};
}

// Each component rounded to float once.
inline Complex toFloat(WideComplex z) { return {static_cast<float>(z.re), static_cast<float>(z.im)}; }

// The product as it is stored: evaluated in double, each component rounded once.
inline Complex complexProduct(Complex a, Complex b) { return toFloat(wideProduct(a, b)); }
