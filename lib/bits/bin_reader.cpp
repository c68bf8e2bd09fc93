#include "bits/bin_reader.h"

#include <cstdint>

#include "bits/bit_cursor.h"

da_BinReader::da_BinReader(const uint8_t* data, int capacityBytes)
    : data(data), bitPosition(0), capacity(bitcursor::capacityInBits(capacityBytes)), overflow(false) {}

namespace {

// Eight bytes from p as one number, the first byte lowest: bit i of the
// result is stream bit i counted from p. The compiler makes this one load.
uint64_t loadLowFirst64(const uint8_t* p) {
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = (word << 8) | p[i];
    return word;
}

uint32_t reverseBits32(uint32_t x) {
    x = ((x >> 1) & 0x55555555u) | ((x & 0x55555555u) << 1);
    x = ((x >> 2) & 0x33333333u) | ((x & 0x33333333u) << 2);
    x = ((x >> 4) & 0x0F0F0F0Fu) | ((x & 0x0F0F0F0Fu) << 4);
    x = ((x >> 8) & 0x00FF00FFu) | ((x & 0x00FF00FFu) << 8);
    return (x >> 16) | (x << 16);
}

}  // namespace

// Mirror of da_BinWriter::writeBits: for a count above 31 the first count - 31
// bits are consumed and dropped, and the last 31 bits form the result, so a
// value written with any count reads back with the same count.
//
// Away from the end of the array the bits come from one 64-bit word: the
// stream stores each byte's bits lowest first while the value is read first
// bit most significant, so the count bits taken from the word are reversed.
// readBitsOneByOne is the bit-at-a-time reading it must equal.
int da_BinReader::readBits(int count) {
    if (count <= 0) return 0;
    if (count > 31) {
        skipBits(count - 31);
        count = 31;
    }
    // 7 bits of offset plus 31 read lie inside the 8 bytes loaded.
    if (bitPosition >= 0 && (bitPosition >> 3) <= (capacity >> 3) - 8) {
        const uint64_t word = loadLowFirst64(data + (bitPosition >> 3)) >> (bitPosition & 7);
        const uint32_t taken = static_cast<uint32_t>(word) & ((1u << count) - 1u);
        bitPosition += count;
        return static_cast<int>(reverseBits32(taken) >> (32 - count));
    }
    return readBitsOneByOne(count);
}

int da_BinReader::readBitsOneByOne(int count) {
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
