#pragma once

#include <cstdint>

// WAV sample data is little-endian whatever the host: convert explicitly.
inline void samplesFromBytes(const uint8_t* bytes, int16_t* samples, int count)
{
    for (int i = 0; i < count; ++i) {
        const uint16_t u = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        samples[i] = static_cast<int16_t>(u >= 0x8000u ? static_cast<int>(u) - 0x10000 : static_cast<int>(u));
    }
}

inline void samplesToBytes(const int16_t* samples, uint8_t* bytes, int count)
{
    for (int i = 0; i < count; ++i) {
        const uint16_t u = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
}
