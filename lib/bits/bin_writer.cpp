#include "bits/bin_writer.h"

#include <cstdint>

#include "bits/bit_cursor.h"

da_BinWriter::da_BinWriter(uint8_t* data, int capacityBytes)
    : data(data), bitPosition(0), capacity(bitcursor::capacityInBits(capacityBytes)), overflow(false) {}

// Counts above 31 cannot address bits of an int value: the value's bits from
// 31 up are taken as 0 (they are for any non-negative value), so such a call
// writes count - 31 zero bits followed by the low 31 bits of the value.
// A negative value writes count zero bits.
void da_BinWriter::writeBits(int value, int count) {
    if (count <= 0) return;
    const uint32_t bits = value < 0 ? 0u : static_cast<uint32_t>(value);
    if (count > 31) {
        writeZeroRun(count - 31);
        count = 31;
    }
    if (bitcursor::fits(bitPosition, count, capacity)) {
        // Common case: the whole value lands inside the array.
        for (int i = count - 1; i >= 0; --i) {
            const int index = bitPosition++;
            const uint8_t mask = static_cast<uint8_t>(1u << (index & 7));
            if ((bits >> i) & 1u)
                data[index >> 3] |= mask;
            else
                data[index >> 3] &= static_cast<uint8_t>(~mask);
        }
        return;
    }
    for (int i = count - 1; i >= 0; --i) {
        const int index = bitPosition;
        if (index >= 0 && index < capacity) {
            const uint8_t mask = static_cast<uint8_t>(1u << (index & 7));
            if ((bits >> i) & 1u)
                data[index >> 3] |= mask;
            else
                data[index >> 3] &= static_cast<uint8_t>(~mask);
        } else {
            overflow = true;
        }
        if (!bitcursor::advance(bitPosition, 1)) overflow = true;
    }
}

// Clears count bits from bitPosition on; only the part inside the array is
// touched, so even a huge count costs at most the array's length.
void da_BinWriter::writeZeroRun(int count) {
    const long long start = bitPosition;
    const long long end = start + count;
    if (start < 0 || end > capacity) overflow = true;
    const long long from = start < 0 ? 0 : start;
    const long long to = end < capacity ? end : capacity;
    for (long long index = from; index < to; ++index)
        data[index >> 3] &= static_cast<uint8_t>(~(1u << (index & 7)));
    if (!bitcursor::advance(bitPosition, count)) overflow = true;
}
