// da_BinWriter: packs values bit by bit into a byte array (each byte filled
// from its lowest bit, each value highest bit first), with the codec's integer
// and array codings.
#pragma once

#include <cstdint>

// Appends bits to a caller-owned byte array. Bit i lives in byte i/8 at the
// bit of value 2^(i%8); multi-bit values go most significant bit first.
// The writer knows the array's length: bits past it are not stored, but
// bitPosition still counts them and overflowed() turns true for good.
// bitPosition saturates at INT_MAX (which also counts as an overflow).
class da_BinWriter {
public:
    da_BinWriter(uint8_t* data, int capacityBytes);

    uint8_t* data;
    int bitPosition;

    // Bits count-1..0 of value; count <= 0 writes nothing, a negative value
    // writes count zero bits. A count above 31 writes count-31 zero bits and
    // then the low 31 bits of the value.
    void writeBits(int value, int count);

    // Integer and array codings (see bits/codings.h for the free helpers).
    // Arguments that break a coding's preconditions give a code that does not
    // read back, never undefined behaviour.
    void writeBounded(int range, int value);
    void writeSubset(const int* positions, int low, int high, int count);
    int writeSumSplit(const int* values, int maxValue, int count);
    // values is left untouched (it is read, never rewritten).
    void writeCyclicArray(int* values, int count, int modulus);

    bool overflowed() const { return overflow; }
    int capacityBits() const { return capacity; }

private:
    void writeZeroRun(int count);
    void writeSubsetRange(const int* positions, long long low, long long high, int count);

    int capacity;  // in bits
    bool overflow;
};
