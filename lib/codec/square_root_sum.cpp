#include "codec/square_root_sum.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

double withBits(uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace

float sumOfSquareRootsAsPow(const float* x, int n)
{
    float sum = 0.0f;
    for (int k = 0; k < n; ++k) {
        const double m = std::fabs(static_cast<double>(x[k]));
        const double s = std::sqrt(m);
        // Positive finite doubles are ordered as their bit patterns, so the
        // neighbours are one pattern below and above (also across a power
        // of two, where the spacing changes).
        if (s > 0.0 && s < HUGE_VAL) {
            uint64_t bits;
            std::memcpy(&bits, &s, sizeof bits);
            // float(sum + y) never decreases as y grows: equal at both
            // neighbours means equal at every value between them.
            const float low = static_cast<float>(sum + withBits(bits - 1));
            const float high = static_cast<float>(sum + withBits(bits + 1));
            if (low == high) {
                sum = low;
                continue;
            }
        }
        sum = static_cast<float>(sum + std::pow(m, 0.5));
    }
    return sum;
}
