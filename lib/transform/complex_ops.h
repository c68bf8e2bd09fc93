#pragma once

#include "transform/complex.h"

// Complex product a*b in float, each component rounded once:
// re = a.re*b.re - a.im*b.im, im = a.im*b.re + a.re*b.im.
inline Complex complexProduct(Complex a, Complex b) {
    Complex r;
    r.re = a.re * b.re - a.im * b.im;
    r.im = a.im * b.re + a.re * b.im;
    return r;
}
