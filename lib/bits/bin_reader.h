// da_BinReader: reads values bit by bit from a byte array, in the order
// da_BinWriter wrote them, with the codec's integer and array codings.
#pragma once

#include <cstdint>

// Reads back what da_BinWriter wrote. The reader knows the array's length:
// bits past it read as 0 without touching memory, and overflowed() turns
// true for good. bitPosition still advances by every count read, and
// saturates at INT_MAX (which also counts as an overflow).
class da_BinReader {
public:
    da_BinReader(const uint8_t* data, int capacityBytes);

    const uint8_t* data;
    int bitPosition;

    // The next count bits, first bit most significant (count <= 0 reads
    // nothing and returns 0). A count above 31 consumes count-31 bits that
    // are dropped and returns the 31 bits after them.
    int readBits(int count);
    // The same reading taken one bit at a time: the plain form readBits
    // must agree with at every position, count and array length.
    int readBitsOneByOne(int count);

    // Reading twins of the da_BinWriter codings. On damaged data they still
    // return values inside the ranges their arguments allow: readBounded in
    // [0, range), readSubset strictly increasing positions in [low, high]
    // when 0 <= count <= high - low + 1, readSumSplit values in
    // [0, maxValue] summing to total when 0 <= total <= count * maxValue.
    int readBounded(int range);
    // readBounded as two readBits calls, the low bits and the extra bit
    // some values take: the plain form of every coding's field reads.
    int readBoundedByBits(int range);
    void readSubset(int* positions, int low, int high, int count);
    // Stores nothing for count <= 0; a total outside [0, count * maxValue]
    // is limited to that range first.
    void readSumSplit(int* values, int maxValue, int count, int total);
    void readCyclicArray(int* values, int count, int modulus);

    // True (the default): the codings read their fields from a 64-bit window
    // of the stream refilled as they go. False: field by field through
    // readBoundedByBits. Both give the same values, positions and flags.
    bool fieldWindow = true;

    bool overflowed() const { return overflow; }
    int capacityBits() const { return capacity; }

private:
    void skipBits(int count);
    template <class Read>
    void readFields(Read read);

    int capacity;  // in bits
    bool overflow;
};
