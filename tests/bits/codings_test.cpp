#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "bits/codings.h"

namespace {

std::string streamBits(const uint8_t* data, int count) {
    std::string bits;
    for (int i = 0; i < count; ++i) bits += ((data[i / 8] >> (i % 8)) & 1) ? '1' : '0';
    return bits;
}

// The bits one writeBounded call produces, in stream order.
std::string boundedCode(int range, int value) {
    uint8_t buffer[8] = {};
    da_BinWriter writer(buffer, 8);
    writer.writeBounded(range, value);
    return streamBits(buffer, writer.bitPosition);
}

std::vector<int> randomSubset(std::mt19937& rng, int low, int high, int count) {
    std::vector<int> all;
    for (int p = low; p <= high; ++p) all.push_back(p);
    std::shuffle(all.begin(), all.end(), rng);
    std::vector<int> subset(all.begin(), all.begin() + count);
    std::sort(subset.begin(), subset.end());
    return subset;
}

int uniform(std::mt19937& rng, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
}

}  // namespace

TEST(BitLength, CountsBinaryDigits) {
    EXPECT_EQ(bitLength(INT_MIN), 0);
    EXPECT_EQ(bitLength(-1), 0);
    EXPECT_EQ(bitLength(0), 0);
    EXPECT_EQ(bitLength(1), 1);
    EXPECT_EQ(bitLength(2), 2);
    EXPECT_EQ(bitLength(3), 2);
    EXPECT_EQ(bitLength(4), 3);
    EXPECT_EQ(bitLength(255), 8);
    EXPECT_EQ(bitLength(256), 9);
    EXPECT_EQ(bitLength(INT_MAX), 31);
}

TEST(Bounded, CodeTableForSmallRanges) {
    const std::vector<std::vector<std::string>> expected = {
        {"1", "0"},
        {"01", "1", "00"},
        {"001", "11", "10", "01", "000"},
        {"011", "001", "11", "10", "010", "000"},
        {"111", "110", "101", "100", "011", "010"},
    };
    const int ranges[] = {2, 3, 5, 6, 8};
    for (int r = 0; r < 5; ++r)
        for (size_t v = 0; v < expected[r].size(); ++v)
            EXPECT_EQ(boundedCode(ranges[r], static_cast<int>(v)), expected[r][v])
                << "range " << ranges[r] << " value " << v;
    EXPECT_EQ(boundedCode(8, 7), "000");
}

TEST(Bounded, PowerOfTwoRangeSendsTheComplement) {
    EXPECT_EQ(boundedCode(256, 0), "11111111");
    EXPECT_EQ(boundedCode(256, 200), "00110111");
    for (int v = 0; v < 256; ++v) {
        uint8_t buffer[1] = {};
        da_BinWriter writer(buffer, 1);
        writer.writeBounded(256, v);
        ASSERT_EQ(writer.bitPosition, 8);
        da_BinReader reader(buffer, 1);
        ASSERT_EQ(reader.readBounded(256), v);
    }
}

TEST(Bounded, TrivialRangesSpendNoBits) {
    EXPECT_EQ(boundedCode(1, 0), "");
    EXPECT_EQ(boundedCode(0, 0), "");
    EXPECT_EQ(boundedCode(-9, 3), "");
    uint8_t buffer[1] = {0xFF};
    da_BinReader reader(buffer, 1);
    EXPECT_EQ(reader.readBounded(1), 0);
    EXPECT_EQ(reader.readBounded(0), -1);
    EXPECT_EQ(reader.readBounded(-4), -5);
    EXPECT_EQ(reader.readBounded(INT_MIN), INT_MIN);
    EXPECT_EQ(reader.bitPosition, 0);
}

TEST(Bounded, RandomRangesRoundTripWithinBitLengthBits) {
    std::mt19937 rng(7);
    std::vector<uint8_t> buffer(8192);
    std::vector<std::pair<int, int>> sent;
    da_BinWriter writer(buffer.data(), static_cast<int>(buffer.size()));
    for (int i = 0; i < 2000; ++i) {
        int range;
        switch (i % 4) {
            case 0: range = uniform(rng, 1, 40); break;
            case 1: range = uniform(rng, 1, 5000); break;
            case 2: range = 1 << uniform(rng, 0, 30); break;
            default: range = uniform(rng, 1, INT_MAX); break;
        }
        const int value = uniform(rng, 0, range - 1);
        const int before = writer.bitPosition;
        writer.writeBounded(range, value);
        const int used = writer.bitPosition - before;
        const int length = bitLength(range);
        ASSERT_TRUE(range == 1 ? used == 0 : (used == length - 1 || used == length)) << range;
        sent.emplace_back(range, value);
    }
    EXPECT_FALSE(writer.overflowed());
    da_BinReader reader(buffer.data(), static_cast<int>(buffer.size()));
    for (const auto& s : sent) ASSERT_EQ(reader.readBounded(s.first), s.second) << s.first;
    EXPECT_EQ(reader.bitPosition, writer.bitPosition);
}

TEST(Subset, WorkedExample) {
    uint8_t buffer[2] = {};
    da_BinWriter writer(buffer, 2);
    const int positions[] = {2, 5, 9};
    writer.writeSubset(positions, 0, 9, 3);
    EXPECT_EQ(streamBits(buffer, writer.bitPosition), "0111000");
    da_BinReader reader(buffer, 2);
    int back[3] = {};
    reader.readSubset(back, 0, 9, 3);
    EXPECT_EQ(std::vector<int>(back, back + 3), std::vector<int>({2, 5, 9}));
    EXPECT_EQ(reader.bitPosition, 7);
}

TEST(Subset, FullAndEmptySetsSpendNoBits) {
    uint8_t buffer[2] = {0xFF, 0xFF};
    da_BinWriter writer(buffer, 2);
    const int all[] = {4, 5, 6, 7, 8};
    writer.writeSubset(all, 4, 8, 5);
    writer.writeSubset(all, 4, 8, 0);
    EXPECT_EQ(writer.bitPosition, 0);

    da_BinReader reader(buffer, 2);
    int back[5] = {-1, -1, -1, -1, -1};
    reader.readSubset(back, 4, 8, 5);
    EXPECT_EQ(std::vector<int>(back, back + 5), std::vector<int>({4, 5, 6, 7, 8}));
    int untouched[1] = {-1};
    reader.readSubset(untouched, 4, 8, 0);
    EXPECT_EQ(untouched[0], -1);
    EXPECT_EQ(reader.bitPosition, 0);
}

TEST(Subset, RandomSetsRoundTrip) {
    std::mt19937 rng(99);
    std::vector<uint8_t> buffer(1 << 16);
    struct Sent { int low, high; std::vector<int> positions; };
    std::vector<Sent> sent;
    da_BinWriter writer(buffer.data(), static_cast<int>(buffer.size()));
    for (int i = 0; i < 600; ++i) {
        const int low = uniform(rng, -200, 200);
        const int high = low + uniform(rng, 0, i % 3 == 0 ? 10 : 300);
        const int count = uniform(rng, 0, high - low + 1);
        sent.push_back({low, high, randomSubset(rng, low, high, count)});
        writer.writeSubset(sent.back().positions.data(), low, high, count);
    }
    ASSERT_FALSE(writer.overflowed());
    da_BinReader reader(buffer.data(), static_cast<int>(buffer.size()));
    for (const auto& s : sent) {
        std::vector<int> back(s.positions.size());
        reader.readSubset(back.data(), s.low, s.high, static_cast<int>(back.size()));
        ASSERT_EQ(back, s.positions);
    }
    EXPECT_EQ(reader.bitPosition, writer.bitPosition);
}

TEST(SumSplit, RandomArraysRoundTripAndReturnTheirTotal) {
    std::mt19937 rng(5);
    std::vector<uint8_t> buffer(1 << 16);
    struct Sent { int maxValue, total; std::vector<int> values; };
    std::vector<Sent> sent;
    da_BinWriter writer(buffer.data(), static_cast<int>(buffer.size()));
    for (int i = 0; i < 600; ++i) {
        const int maxValue = uniform(rng, 0, i % 2 ? 3 : 1000);
        std::vector<int> values(uniform(rng, 1, 48));
        int total = 0;
        for (int& v : values) total += (v = uniform(rng, 0, maxValue));
        if (i % 10 == 0) std::fill(values.begin(), values.end(), maxValue), total = maxValue * static_cast<int>(values.size());
        ASSERT_EQ(writer.writeSumSplit(values.data(), maxValue, static_cast<int>(values.size())), total);
        sent.push_back({maxValue, total, values});
    }
    da_BinReader reader(buffer.data(), static_cast<int>(buffer.size()));
    for (const auto& s : sent) {
        std::vector<int> back(s.values.size());
        reader.readSumSplit(back.data(), s.maxValue, static_cast<int>(back.size()), s.total);
        ASSERT_EQ(back, s.values);
    }
    EXPECT_EQ(reader.bitPosition, writer.bitPosition);
}

TEST(SumSplit, ForcedSumsSpendNoBitsAndCountZeroStoresNothing) {
    uint8_t buffer[4] = {};
    da_BinWriter writer(buffer, 4);
    const int zeros[6] = {};
    const int full[5] = {7, 7, 7, 7, 7};
    EXPECT_EQ(writer.writeSumSplit(zeros, 7, 6), 0);
    EXPECT_EQ(writer.writeSumSplit(full, 7, 5), 35);
    EXPECT_EQ(writer.bitPosition, 0);

    da_BinReader reader(buffer, 4);
    int back[5] = {};
    reader.readSumSplit(back, 7, 5, 35);
    EXPECT_EQ(std::vector<int>(back, back + 5), std::vector<int>(full, full + 5));
    int untouched[1] = {42};
    reader.readSumSplit(untouched, 7, 0, 3);
    EXPECT_EQ(untouched[0], 42);
    EXPECT_EQ(reader.bitPosition, 0);
}

TEST(CyclicDeltas, FoldSmallStepsToSmallCodesAndUnfoldExactly) {
    // Differences 0..7 modulo 8 fold to 0, 2, 4, 6, 7, 5, 3, 1.
    const int expected[8] = {0, 2, 4, 6, 7, 5, 3, 1};
    for (int d = 0; d < 8; ++d) {
        int pair[2] = {(3 + d) % 8, 3};
        toCyclicDeltas(pair, 2, 8);
        EXPECT_EQ(pair[0], expected[d]) << d;
        EXPECT_EQ(pair[1], 3);
        fromCyclicDeltas(pair, 2, 8);
        EXPECT_EQ(pair[0], (3 + d) % 8);
    }
    std::mt19937 rng(3);
    for (int modulus : {1, 2, 3, 8, 17, 64, 1024}) {
        std::vector<int> values(33);
        for (int& v : values) v = uniform(rng, 0, modulus - 1);
        std::vector<int> work = values;
        toCyclicDeltas(work.data(), 33, modulus);
        for (int v : work) ASSERT_TRUE(v >= 0 && v < modulus);
        fromCyclicDeltas(work.data(), 33, modulus);
        ASSERT_EQ(work, values);
    }
}

TEST(CyclicArray, WorkedExampleAndArrayUnchanged) {
    uint8_t buffer[2] = {};
    da_BinWriter writer(buffer, 2);
    int values[4] = {3, 1, 0, 7};
    writer.writeCyclicArray(values, 4, 8);
    EXPECT_EQ(writer.bitPosition, 14);
    EXPECT_EQ(buffer[0], 0x8B);
    EXPECT_EQ(buffer[1], 0x31);
    EXPECT_EQ(streamBits(buffer, 14), "11010001100011");
    EXPECT_EQ(std::vector<int>(values, values + 4), std::vector<int>({3, 1, 0, 7}));

    da_BinReader reader(buffer, 2);
    int back[4] = {};
    reader.readCyclicArray(back, 4, 8);
    EXPECT_EQ(std::vector<int>(back, back + 4), std::vector<int>({3, 1, 0, 7}));
    EXPECT_EQ(reader.bitPosition, 14);
}

TEST(CyclicArray, SpendsBitsOnlyOnUnforcedSums) {
    // Four equal values: total 5, then only two pairs' first elements.
    uint8_t actual[4] = {}, expected[4] = {};
    da_BinWriter writer(actual, 4);
    int equal[4] = {5, 5, 5, 5};
    writer.writeCyclicArray(equal, 4, 8);
    da_BinWriter reference(expected, 4);
    reference.writeBounded(29, 5);
    reference.writeBounded(6, 0);
    reference.writeBounded(6, 0);
    EXPECT_EQ(writer.bitPosition, reference.bitPosition);
    EXPECT_EQ(streamBits(actual, writer.bitPosition), streamBits(expected, reference.bitPosition));

    // A single element is just a bounded value of its modulus.
    for (int v = 0; v < 16; ++v) {
        uint8_t single[2] = {}, bounded[2] = {};
        da_BinWriter a(single, 2), b(bounded, 2);
        int one[1] = {v};
        a.writeCyclicArray(one, 1, 16);
        b.writeBounded(16, v);
        ASSERT_EQ(a.bitPosition, b.bitPosition);
        ASSERT_EQ(streamBits(single, a.bitPosition), streamBits(bounded, b.bitPosition));
    }
}

TEST(CyclicArray, RandomArraysRoundTripMixedWithOtherFields) {
    std::mt19937 rng(2024);
    std::vector<uint8_t> buffer(1 << 16);
    struct Sent { int modulus, marker; std::vector<int> values; };
    std::vector<Sent> sent;
    da_BinWriter writer(buffer.data(), static_cast<int>(buffer.size()));
    for (int i = 0; i < 800; ++i) {
        const int modulus = i % 3 == 0 ? uniform(rng, 1, 100) : 1 << uniform(rng, 0, 12);
        std::vector<int> values(uniform(rng, 1, 40));
        int base = uniform(rng, 0, modulus - 1);
        for (int& v : values) {
            // Mostly small steps, as phase angles are, with the odd jump.
            base = (base + (i % 2 ? uniform(rng, -2, 2) + modulus : uniform(rng, 0, modulus - 1))) % modulus;
            v = base;
        }
        const std::vector<int> copy = values;
        writer.writeCyclicArray(values.data(), static_cast<int>(values.size()), modulus);
        ASSERT_EQ(values, copy);
        const int marker = uniform(rng, 0, 7);
        writer.writeBits(marker, 3);
        sent.push_back({modulus, marker, values});
    }
    ASSERT_FALSE(writer.overflowed());
    da_BinReader reader(buffer.data(), static_cast<int>(buffer.size()));
    for (const auto& s : sent) {
        std::vector<int> back(s.values.size());
        reader.readCyclicArray(back.data(), static_cast<int>(back.size()), s.modulus);
        ASSERT_EQ(back, s.values);
        ASSERT_EQ(reader.readBits(3), s.marker);
    }
    EXPECT_EQ(reader.bitPosition, writer.bitPosition);
}

// Whatever the bits, readers given sane arguments return values that obey
// the coding's constraints, and never touch memory past the array.
TEST(DamagedInput, ReadersStayWithinTheirRanges) {
    std::mt19937 rng(77);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> garbage(uniform(rng, 0, 24));
        for (auto& b : garbage) b = static_cast<uint8_t>(rng());
        da_BinReader reader(garbage.data(), static_cast<int>(garbage.size()));

        const int low = uniform(rng, -1000, 1000);
        const int high = low + uniform(rng, 0, 2000);
        const int count = uniform(rng, 0, std::min(high - low + 1, 64));
        std::vector<int> positions(count);
        reader.readSubset(positions.data(), low, high, count);
        for (int i = 0; i < count; ++i) {
            ASSERT_GE(positions[i], low);
            ASSERT_LE(positions[i], high);
            if (i > 0) {
                ASSERT_LT(positions[i - 1], positions[i]);
            }
        }

        const int maxValue = uniform(rng, 0, 500);
        std::vector<int> values(uniform(rng, 1, 40));
        const int total = uniform(rng, 0, maxValue * static_cast<int>(values.size()));
        reader.readSumSplit(values.data(), maxValue, static_cast<int>(values.size()), total);
        long long sum = 0;
        for (int v : values) {
            ASSERT_GE(v, 0);
            ASSERT_LE(v, maxValue);
            sum += v;
        }
        ASSERT_EQ(sum, total);

        const int modulus = uniform(rng, 1, 4096);
        reader.readCyclicArray(values.data(), static_cast<int>(values.size()), modulus);
        for (int v : values) ASSERT_TRUE(v >= 0 && v < modulus);
    }
}

TEST(DamagedInput, HostileArgumentsAreHandledWithoutOverflow) {
    uint8_t garbage[16];
    for (int i = 0; i < 16; ++i) garbage[i] = static_cast<uint8_t>(0x5A ^ (i * 37));
    da_BinReader reader(garbage, 16);

    int positions[8];
    reader.readSubset(positions, INT_MIN, INT_MAX, 8);  // span beyond int
    for (int i = 1; i < 8; ++i) EXPECT_LT(positions[i - 1], positions[i]);
    reader.readSubset(positions, 10, 12, 8);  // more elements than places
    for (int i = 1; i < 8; ++i) EXPECT_LT(positions[i - 1], positions[i]);
    EXPECT_EQ(positions[0], 10);

    int values[6];
    reader.readSumSplit(values, INT_MAX, 6, INT_MAX);
    long long sum = 0;
    for (int v : values) sum += v;
    EXPECT_EQ(sum, INT_MAX);
    reader.readSumSplit(values, 10, 6, -50);  // impossible total: limited to 0
    for (int v : values) EXPECT_EQ(v, 0);
    reader.readSumSplit(values, 10, 6, 1000);  // limited to 60
    for (int v : values) EXPECT_EQ(v, 10);
    reader.readSumSplit(values, -3, 6, 9);
    for (int v : values) EXPECT_EQ(v, 0);

    reader.readCyclicArray(values, 6, INT_MAX);
    for (int v : values) EXPECT_GE(v, 0);
    reader.readCyclicArray(values, 6, 0);
    for (int v : values) EXPECT_EQ(v, 0);
    reader.readCyclicArray(values, 6, INT_MIN);
    for (int v : values) EXPECT_EQ(v, 0);

    uint8_t out[64] = {};
    da_BinWriter writer(out, 64);
    const int unsorted[4] = {INT_MAX, INT_MIN, 0, INT_MAX};
    writer.writeSubset(unsorted, INT_MIN, INT_MAX, 4);
    writer.writeSumSplit(unsorted, INT_MAX, 4);
    int cyclic[4] = {INT_MIN, INT_MAX, -1, 5};
    writer.writeCyclicArray(cyclic, 4, 8);
    EXPECT_EQ(std::vector<int>(cyclic, cyclic + 4), std::vector<int>({INT_MIN, INT_MAX, -1, 5}));
    writer.writeCyclicArray(cyclic, 4, INT_MIN);
    EXPECT_FALSE(writer.overflowed());
}

// The codings read their fields from a window of the stream refilled as
// they go, and field by field wherever the window cannot be loaded. Both
// readings must give the same values, position and overflow flag from any
// start: well inside the array, where fields straddle the last whole word,
// across the end, past it, from negative and saturated positions.
TEST(FieldWindow, WindowedReadsEqualFieldByFieldReads) {
    struct Case {
        int bytes;
        int start;  // bit position both readers start from
    };
    const Case cases[] = {
        {0, 0},    {1, 0},     {7, 0},     {8, 0},     {9, 3},    {16, 0},
        {16, 60},  {17, 64},   {24, 130},  {33, 190},  {40, 250}, {100, 0},
        {100, 700}, {100, 780}, {100, 801}, {64, -13}, {64, 512}, {64, INT_MAX - 40},
    };
    // One coding call, the same for both readers.
    struct Call {
        int kind;  // 0 bounded, 1 subset, 2 sum split, 3 cyclic array
        int count, low, high, maxValue, total, modulus, range;
    };
    std::mt19937 rng(1764);
    for (const Case& c : cases) {
        std::vector<uint8_t> data(static_cast<std::size_t>(c.bytes));
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        for (int trial = 0; trial < 20; ++trial) {
            da_BinReader windowed(data.data(), c.bytes);
            da_BinReader byField(data.data(), c.bytes);
            byField.fieldWindow = false;
            windowed.bitPosition = byField.bitPosition = c.start;
            for (int step = 0; step < 12; ++step) {
                Call call{};
                call.kind = uniform(rng, 0, 3);
                call.count = uniform(rng, 0, step == 0 ? 2048 : 40);  // one deep call per run
                call.low = uniform(rng, -50, 50);
                call.high = call.low + call.count + uniform(rng, -1, 900);
                call.count = std::min(call.count, call.high - call.low + 1);
                call.maxValue = uniform(rng, 0, 300);
                call.total = uniform(rng, -5, call.maxValue * call.count + 5);
                call.modulus = uniform(rng, 1, 1 << uniform(rng, 0, 30));
                call.range = uniform(rng, -2, INT_MAX >> uniform(rng, 0, 30));
                std::vector<int> valuesW(2049, -7), valuesF(2049, -7);
                int boundedW = 0, boundedF = 0;
                const auto run = [&call](da_BinReader& reader, std::vector<int>& values, int& bounded) {
                    if (call.kind == 0) bounded = reader.readBounded(call.range);
                    if (call.kind == 1) reader.readSubset(values.data(), call.low, call.high, call.count);
                    if (call.kind == 2) reader.readSumSplit(values.data(), call.maxValue, call.count, call.total);
                    if (call.kind == 3) reader.readCyclicArray(values.data(), call.count, call.modulus);
                };
                run(windowed, valuesW, boundedW);
                run(byField, valuesF, boundedF);
                const std::string where = std::to_string(c.bytes) + " bytes from " + std::to_string(c.start) +
                                          ", step " + std::to_string(step) + ", kind " + std::to_string(call.kind);
                ASSERT_EQ(boundedW, boundedF) << where;
                ASSERT_EQ(valuesW, valuesF) << where;
                ASSERT_EQ(windowed.bitPosition, byField.bitPosition) << where;
                ASSERT_EQ(windowed.overflowed(), byField.overflowed()) << where;
            }
        }
    }
}
