#pragma once

#include <cstdint>

// Reads back what da_BinWriter wrote. The reader knows the array's length:
// bits past it read as 0 without touching memory, and overflowed() turns
// true for good.
class da_BinReader {
public:
    da_BinReader(const uint8_t* data, int capacityBytes);

    const uint8_t* data;
    int bitPosition;

    // The next count bits, first bit most significant (count <= 31; count <= 0 reads nothing).
    int readBits(int count);

    int readBounded(int range);
    void readSubset(int* positions, int low, int high, int count);
    void readSumSplit(int* values, int maxValue, int count, int total);
    void readCyclicArray(int* values, int count, int modulus);

    bool overflowed() const { return overflow; }

private:
    int capacity;  // in bits
    bool overflow;
};
