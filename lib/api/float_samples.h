// Float output of the C API: the int16 samples the s16 functions give, each
// divided by 32768.
#pragma once

#include <cstddef>
#include <cstdint>

// Every int16 value divided by 32768 is exact in a float (a power-of-two
// scale of at most 16 significant bits), so the float read holds the same
// information as the s16 read and converts back without loss.
inline void samplesToFloat(const int16_t* from, float* to, size_t count)
{
    for (size_t i = 0; i < count; ++i) to[i] = static_cast<float>(static_cast<double>(from[i]) / 32768.0);
}
