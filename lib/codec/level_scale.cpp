#include "codec/level_scale.h"

#include <cmath>

double fromLevel(double level)
{
    return std::pow(2.0, level * (1.0 / 6.0));
}

double toLevel(double amplitude, double floor)
{
    return toLevelAbove(amplitude, floor, fromLevel(floor));
}

double toLevelAbove(double amplitude, double floor, double floorAmplitude)
{
    // Zero, negative and tiny amplitudes never reach the logarithm.
    if (floorAmplitude >= amplitude) {
        return floor;
    }
    return 6.0 * (std::log(amplitude) / std::log(2.0));
}

int quantize(double x, float lo, float hi, int bits)
{
    // The position within the range is held as a float; the subtraction and
    // division run wider and are rounded once.
    float t = static_cast<float>((x - lo) / (static_cast<double>(hi) - lo));
    if (!(t <= 1.0f)) {  // also catches NaN, which goes to the top code
        t = 1.0f;
    }
    if (t < 0.0f) {
        t = 0.0f;
    }
    const double top = std::ldexp(1.0, bits) - 1.0;
    return static_cast<int>(std::floor(static_cast<double>(t) * top + 0.5));
}

double dequantize(int code, float lo, float hi, int bits)
{
    const double top = std::ldexp(1.0, bits) - 1.0;
    return lo + (code / top) * (static_cast<double>(hi) - lo);
}

double hypotenuse(float a, float b)
{
    const float aSquared = a * a;  // rounded to float before the sum
    return std::sqrt(aSquared + static_cast<double>(b) * b);
}
