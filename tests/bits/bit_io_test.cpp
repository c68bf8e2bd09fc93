#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"

namespace {

// The first count bits of data in stream order, as '0'/'1'.
std::string streamBits(const uint8_t* data, int count) {
    std::string bits;
    for (int i = 0; i < count; ++i) bits += ((data[i / 8] >> (i % 8)) & 1) ? '1' : '0';
    return bits;
}

// A short array with guard bytes on both sides, to catch stray accesses.
struct GuardedArray {
    static constexpr int guard = 8;
    static constexpr uint8_t guardValue = 0xA5;
    std::vector<uint8_t> memory;
    int size;

    GuardedArray(int size, uint8_t fill) : memory(size + 2 * guard, guardValue), size(size) {
        for (int i = 0; i < size; ++i) memory[guard + i] = fill;
    }
    uint8_t* data() { return memory.data() + guard; }
    bool guardsIntact() const {
        for (int i = 0; i < guard; ++i)
            if (memory[i] != guardValue || memory[guard + size + i] != guardValue) return false;
        return true;
    }
};

}  // namespace

TEST(BitLayout, ValuesGoMostSignificantFirstIntoBytesFromTheLowBitUp) {
    uint8_t byte[1] = {0};
    da_BinWriter writer(byte, 1);
    writer.writeBits(5, 3);
    writer.writeBits(2, 2);
    EXPECT_EQ(byte[0], 0x0D);
    EXPECT_EQ(writer.bitPosition, 5);
    EXPECT_EQ(streamBits(byte, 5), "10110");

    da_BinReader reader(byte, 1);
    EXPECT_EQ(reader.readBits(3), 5);
    EXPECT_EQ(reader.readBits(2), 2);
    EXPECT_EQ(reader.bitPosition, 5);

    uint8_t other[1] = {0};
    da_BinWriter second(other, 1);
    second.writeBits(6, 3);
    EXPECT_EQ(other[0], 0x03);
    second.writeBits(1, 1);
    EXPECT_EQ(other[0], 0x0B);
}

TEST(BitLayout, WritingSetsAndClearsEveryBitItPassesAndNothingBeyond) {
    uint8_t bytes[2] = {0xFF, 0xFF};
    da_BinWriter writer(bytes, 2);
    writer.writeBits(0, 8);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0xFF);

    writer.bitPosition = 0;
    writer.writeBits(9, 3);  // only the low three bits of 9 (001)
    EXPECT_EQ(streamBits(bytes, 3), "001");
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[1], 0xFF);
}

TEST(BitLayout, ZeroOrNegativeCountsAndNegativeValues) {
    uint8_t bytes[1] = {0xFF};
    da_BinWriter writer(bytes, 1);
    writer.writeBits(1, 0);
    writer.writeBits(1, -4);
    EXPECT_EQ(writer.bitPosition, 0);
    writer.writeBits(-1, 5);  // a negative value writes zero bits
    EXPECT_EQ(writer.bitPosition, 5);
    EXPECT_EQ(bytes[0], 0xE0);

    da_BinReader reader(bytes, 1);
    EXPECT_EQ(reader.readBits(0), 0);
    EXPECT_EQ(reader.readBits(-7), 0);
    EXPECT_EQ(reader.bitPosition, 0);
    EXPECT_FALSE(reader.overflowed());
}

TEST(BitLayout, CountsAboveThirtyOneCarryLeadingZeros) {
    uint8_t bytes[9] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    da_BinWriter writer(bytes, 9);
    writer.writeBits(INT_MAX, 40);
    EXPECT_EQ(writer.bitPosition, 40);
    EXPECT_EQ(streamBits(bytes, 40), std::string(9, '0') + std::string(31, '1'));
    writer.writeBits(0x12345678, 31);

    da_BinReader reader(bytes, 9);
    EXPECT_EQ(reader.readBits(40), INT_MAX);
    EXPECT_EQ(reader.readBits(31), 0x12345678);
    EXPECT_EQ(reader.bitPosition, 71);
    EXPECT_FALSE(writer.overflowed());
    EXPECT_FALSE(reader.overflowed());
}

TEST(BitLayout, RandomFieldsReadBackInOrder) {
    std::mt19937 rng(1234);
    std::vector<uint8_t> buffer(4096);
    std::vector<std::pair<int, int>> fields;  // value, count
    da_BinWriter writer(buffer.data(), static_cast<int>(buffer.size()));
    int expectedPosition = 0;
    for (int i = 0; i < 800; ++i) {
        const int count = static_cast<int>(rng() % 32);
        const int value = count == 0 ? 0 : static_cast<int>(rng() & ((count == 31) ? 0x7FFFFFFFu : ((1u << count) - 1)));
        fields.emplace_back(value, count);
        writer.writeBits(value, count);
        expectedPosition += count;
        ASSERT_EQ(writer.bitPosition, expectedPosition);
    }
    da_BinReader reader(buffer.data(), static_cast<int>(buffer.size()));
    for (const auto& field : fields) ASSERT_EQ(reader.readBits(field.second), field.first);
    EXPECT_EQ(reader.bitPosition, writer.bitPosition);
}

TEST(BitBounds, WritesPastTheEndStoreNothingButStillCount) {
    GuardedArray array(2, 0x00);
    da_BinWriter writer(array.data(), 2);
    writer.writeBits(0x3FF, 10);
    EXPECT_FALSE(writer.overflowed());
    writer.writeBits(0x3F, 6);  // exactly fills the array
    EXPECT_FALSE(writer.overflowed());
    writer.writeBits(0x7FFF, 15);
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(writer.bitPosition, 31);
    EXPECT_EQ(array.data()[0], 0xFF);
    EXPECT_EQ(array.data()[1], 0xFF);
    EXPECT_TRUE(array.guardsIntact());

    writer.bitPosition = 0;  // the flag stays set
    writer.writeBits(0, 1);
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(array.data()[0], 0xFE);
}

TEST(BitBounds, AWriteStraddlingTheEndKeepsTheBitsThatFit) {
    GuardedArray array(1, 0x00);
    da_BinWriter writer(array.data(), 1);
    writer.writeBits(0, 6);
    writer.writeBits(7, 3);  // two bits fit, one does not
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(writer.bitPosition, 9);
    EXPECT_EQ(array.data()[0], 0xC0);
    EXPECT_TRUE(array.guardsIntact());
}

TEST(BitBounds, ReadsPastTheEndYieldZerosAndSetTheFlag) {
    GuardedArray array(2, 0xFF);
    da_BinReader reader(array.data(), 2);
    EXPECT_EQ(reader.readBits(12), 0xFFF);
    EXPECT_FALSE(reader.overflowed());
    EXPECT_EQ(reader.readBits(8), 0xF0);  // four real bits, four beyond the end
    EXPECT_TRUE(reader.overflowed());
    EXPECT_EQ(reader.bitPosition, 20);
    EXPECT_EQ(reader.readBits(31), 0);
    EXPECT_EQ(reader.bitPosition, 51);

    reader.bitPosition = 0;
    EXPECT_EQ(reader.readBits(4), 0xF);
    EXPECT_TRUE(reader.overflowed());  // sticky
}

TEST(BitBounds, HugeCountsAndPositionsSaturateInsteadOfWrapping) {
    GuardedArray array(2, 0xFF);
    da_BinWriter writer(array.data(), 2);
    writer.writeBits(1, INT_MAX);
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(writer.bitPosition, INT_MAX);
    EXPECT_EQ(array.data()[0], 0x00);
    EXPECT_EQ(array.data()[1], 0x00);
    writer.writeBits(5, 20);
    EXPECT_EQ(writer.bitPosition, INT_MAX);
    EXPECT_TRUE(array.guardsIntact());

    GuardedArray source(2, 0xFF);
    da_BinReader reader(source.data(), 2);
    reader.readBits(INT_MAX);
    EXPECT_EQ(reader.bitPosition, INT_MAX);
    EXPECT_EQ(reader.readBits(8), 0);
    EXPECT_EQ(reader.bitPosition, INT_MAX);
    EXPECT_TRUE(reader.overflowed());
}

TEST(BitBounds, NegativePositionsAndEmptyArraysNeverTouchMemory) {
    GuardedArray array(1, 0x00);
    da_BinWriter writer(array.data(), 1);
    writer.bitPosition = -3;
    writer.writeBits(7, 5);  // positions -3..1: only bits 0 and 1 are inside
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(writer.bitPosition, 2);
    EXPECT_EQ(array.data()[0], 0x03);
    EXPECT_TRUE(array.guardsIntact());

    da_BinWriter empty(array.data(), -5);
    EXPECT_EQ(empty.capacityBits(), 0);
    empty.writeBits(0, 4);
    EXPECT_TRUE(empty.overflowed());
    EXPECT_EQ(array.data()[0], 0x03);

    da_BinReader reader(array.data(), 0);
    EXPECT_EQ(reader.readBits(3), 0);
    EXPECT_TRUE(reader.overflowed());
}

// readBits takes whole words away from the end of the array; it must give
// what reading one bit at a time gives, at every start offset and count,
// near the end, past it, from negative and saturated positions.
TEST(BitWords, WordReadsEqualBitByBitReads) {
    std::mt19937 random(58);
    std::uniform_int_distribution<int> byteValue(0, 255);
    std::uniform_int_distribution<int> countOf(-2, 40);
    const int starts[] = {0, -9, 5, 63, INT_MAX - 40};
    for (int bytes : {0, 1, 7, 8, 9, 15, 16, 17, 33, 100}) {
        std::vector<uint8_t> data(bytes);
        for (auto& b : data) b = static_cast<uint8_t>(byteValue(random));
        for (int start : starts) {
            da_BinReader words(data.data(), bytes);
            da_BinReader single(data.data(), bytes);
            words.bitPosition = single.bitPosition = start;
            for (int step = 0; step < 200; ++step) {
                const int count = countOf(random);
                ASSERT_EQ(words.readBits(count), single.readBitsOneByOne(count))
                    << bytes << " bytes, start " << start << ", step " << step << ", count " << count;
                ASSERT_EQ(words.bitPosition, single.bitPosition);
                ASSERT_EQ(words.overflowed(), single.overflowed());
            }
        }
    }
}
