#include "bits/bin_reader.h"

#include <cstdint>

#include "bits/bit_cursor.h"

da_BinReader::da_BinReader(const uint8_t* data, int capacityBytes)
    : data(data), bitPosition(0), capacity(bitcursor::capacityInBits(capacityBytes)), overflow(false) {}

// Mirror of da_BinWriter::writeBits: for a count above 31 the first count - 31
// bits are consumed and dropped, and the last 31 bits form the result, so a
// value written with any count reads back with the same count.
int da_BinReader::readBits(int count) {
    if (count <= 0) return 0;
    if (count > 31) {
        skipBits(count - 31);
        count = 31;
    }
    uint32_t result = 0;
    if (bitcursor::fits(bitPosition, count, capacity)) {
        for (int i = 0; i < count; ++i) {
            const int index = bitPosition++;
            result = (result << 1) | ((data[index >> 3] >> (index & 7)) & 1u);
        }
        return static_cast<int>(result);
    }
    // Near or past the end: bits outside the array read as 0.
    for (int i = 0; i < count; ++i) {
        const int index = bitPosition;
        uint32_t bit = 0;
        if (index >= 0 && index < capacity)
            bit = (data[index >> 3] >> (index & 7)) & 1u;
        else
            overflow = true;
        result = (result << 1) | bit;
        if (!bitcursor::advance(bitPosition, 1)) overflow = true;
    }
    return static_cast<int>(result);
}

void da_BinReader::skipBits(int count) {
    if (!bitcursor::fits(bitPosition, count, capacity)) overflow = true;
    if (!bitcursor::advance(bitPosition, count)) overflow = true;
}
