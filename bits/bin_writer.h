#pragma once

#include <cstdint>

// Appends bits to a caller-owned byte array. Bit i lives in byte i/8 at the
// bit of value 2^(i%8); multi-bit values go most significant bit first.
// The writer knows the array's length: bits past it are not stored, but
// bitPosition still counts them and overflowed() turns true for good.
class da_BinWriter {
public:
    da_BinWriter(uint8_t* data, int capacityBytes);

    uint8_t* data;
    int bitPosition;

    // Bits count-1..0 of value (count <= 31; count <= 0 writes nothing).
    void writeBits(int value, int count);

    // Integer and array codings (see bits/codings.h for the free helpers).
    void writeBounded(int range, int value);
    void writeSubset(const int* positions, int low, int high, int count);
    int writeSumSplit(const int* values, int maxValue, int count);
    void writeCyclicArray(int* values, int count, int modulus);

    bool overflowed() const { return overflow; }
    int capacityBits() const { return capacity; }

private:
    int capacity;  // in bits
    bool overflow;
};
