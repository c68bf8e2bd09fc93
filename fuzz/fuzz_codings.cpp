// The bit writer and reader and the codings built on them, three ways,
// chosen by the first byte:
// 0: round trip. Values that satisfy each coding's preconditions are written
//    with writeBits, writeBounded, writeSubset, writeSumSplit and
//    writeCyclicArray, then read back by a reader over exactly the bytes
//    written: every value comes back, every read ends where its write ended,
//    and nothing overflows.
// 1: hostile reading. Arbitrary bytes, in an array of exactly their length,
//    are read with every reader operation and arbitrary arguments: nothing
//    is touched outside the array (AddressSanitizer sees any overrun), the
//    results keep the ranges the reader promises, and overflowed() turns
//    true exactly when the position passes the end.
// 2: hostile writing. Every writer operation with arbitrary arguments into
//    an array of arbitrary length: nothing is written outside it, the
//    caller's arrays are left alone, and overflowed() turns true exactly
//    when the position passes the end.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "fuzz_support.h"

namespace {

constexpr int maxOperations = 48;
constexpr int maxArrayCount = 96;

enum class Op { bits, bounded, subset, sumSplit, cyclicArray, count };

Op nextOp(FuzzedDataProvider& in)
{
    return static_cast<Op>(in.ConsumeIntegralInRange<int>(0, static_cast<int>(Op::count) - 1));
}

// One operation of the round trip: what was written and where it ended.
struct Written {
    Op op;
    int count = 0;
    int value = 0;  // writeBits value, writeBounded value, writeSumSplit total
    int range = 0;  // writeBounded range, writeSumSplit maxValue, writeCyclicArray modulus
    int low = 0;
    int high = 0;
    std::vector<int> values;  // positions or array values
    int endPosition = 0;
};

Written writeOne(FuzzedDataProvider& in, da_BinWriter& out)
{
    Written w;
    w.op = nextOp(in);
    switch (w.op) {
    case Op::bits: {
        w.count = in.ConsumeIntegralInRange<int>(0, 40);
        const int usable = std::min(w.count, 31);
        w.value = usable == 0 ? 0 : in.ConsumeIntegralInRange<int>(0, static_cast<int>((1LL << usable) - 1));
        out.writeBits(w.value, w.count);
        break;
    }
    case Op::bounded:
        w.range = in.ConsumeIntegralInRange<int>(1, INT_MAX);
        w.value = in.ConsumeIntegralInRange<int>(0, w.range - 1);
        out.writeBounded(w.range, w.value);
        break;
    case Op::subset: {
        const long long span = in.ConsumeIntegralInRange<long long>(0, 5000);
        w.low = in.ConsumeIntegral<int>();
        if (w.low > INT_MAX - span)
            w.low = static_cast<int>(INT_MAX - span);
        w.high = static_cast<int>(w.low + span - 1);
        const int wanted = static_cast<int>(std::min<long long>(span, in.ConsumeIntegralInRange<int>(0, maxArrayCount)));
        for (int i = 0; i < wanted; ++i)
            w.values.push_back(static_cast<int>(w.low + in.ConsumeIntegralInRange<long long>(0, span - 1)));
        std::sort(w.values.begin(), w.values.end());
        w.values.erase(std::unique(w.values.begin(), w.values.end()), w.values.end());
        w.count = static_cast<int>(w.values.size());
        out.writeSubset(w.values.data(), w.low, w.high, w.count);
        break;
    }
    case Op::sumSplit: {
        w.count = in.ConsumeIntegralInRange<int>(1, maxArrayCount);
        w.range = in.ConsumeIntegralInRange<int>(0, INT_MAX / w.count);  // the total fits an int
        for (int i = 0; i < w.count; ++i)
            w.values.push_back(in.ConsumeIntegralInRange<int>(0, w.range));
        w.value = out.writeSumSplit(w.values.data(), w.range, w.count);
        long long sum = 0;
        for (int v : w.values)
            sum += v;
        FUZZ_CHECK(w.value == sum);
        break;
    }
    case Op::cyclicArray: {
        w.count = in.ConsumeIntegralInRange<int>(1, maxArrayCount);
        // The total's range count * (modulus - 1) + 1 must be an int.
        w.range = in.ConsumeIntegralInRange<int>(1, static_cast<int>((INT_MAX - 1) / w.count + 1));
        for (int i = 0; i < w.count; ++i)
            w.values.push_back(in.ConsumeIntegralInRange<int>(0, w.range - 1));
        std::vector<int> copy = w.values;
        out.writeCyclicArray(copy.data(), w.count, w.range);
        FUZZ_CHECK(copy == w.values);
        break;
    }
    case Op::count:
        break;
    }
    w.endPosition = out.bitPosition;
    return w;
}

void readBackOne(const Written& w, da_BinReader& in)
{
    switch (w.op) {
    case Op::bits:
        FUZZ_CHECK(in.readBits(w.count) == w.value);
        break;
    case Op::bounded:
        FUZZ_CHECK(in.readBounded(w.range) == w.value);
        break;
    case Op::subset: {
        std::unique_ptr<int[]> positions(new int[static_cast<size_t>(std::max(w.count, 1))]);
        in.readSubset(positions.get(), w.low, w.high, w.count);
        FUZZ_CHECK(std::equal(w.values.begin(), w.values.end(), positions.get()));
        break;
    }
    case Op::sumSplit: {
        std::unique_ptr<int[]> values(new int[static_cast<size_t>(w.count)]);
        in.readSumSplit(values.get(), w.range, w.count, w.value);
        FUZZ_CHECK(std::equal(w.values.begin(), w.values.end(), values.get()));
        break;
    }
    case Op::cyclicArray: {
        std::unique_ptr<int[]> values(new int[static_cast<size_t>(w.count)]);
        in.readCyclicArray(values.get(), w.count, w.range);
        FUZZ_CHECK(std::equal(w.values.begin(), w.values.end(), values.get()));
        break;
    }
    case Op::count:
        break;
    }
    FUZZ_CHECK(in.bitPosition == w.endPosition);
}

void roundTrip(FuzzedDataProvider& in)
{
    // Large enough for maxOperations of the longest codes.
    static uint8_t scratch[1 << 16];
    da_BinWriter out(scratch, sizeof scratch);
    std::vector<Written> written;
    const int operations = in.ConsumeIntegralInRange<int>(1, maxOperations);
    for (int i = 0; i < operations && in.remaining_bytes() > 0; ++i)
        written.push_back(writeOne(in, out));
    FUZZ_CHECK(!out.overflowed());

    // The reader sees exactly the bytes written.
    const size_t bytes = static_cast<size_t>((out.bitPosition + 7) / 8);
    std::unique_ptr<uint8_t[]> packet(new uint8_t[bytes]);
    std::memcpy(packet.get(), scratch, bytes);
    da_BinReader reader(packet.get(), static_cast<int>(bytes));
    for (const Written& w : written)
        readBackOne(w, reader);
    FUZZ_CHECK(!reader.overflowed());
    FUZZ_CHECK(reader.bitPosition == out.bitPosition);
}

// An int array of exactly count entries (at least one, so that the pointer is
// valid for a count of 0 or less) filled with arbitrary values.
std::unique_ptr<int[]> arbitraryArray(FuzzedDataProvider& in, int count)
{
    const size_t n = static_cast<size_t>(std::max(count, 1));
    std::unique_ptr<int[]> values(new int[n]);
    for (size_t i = 0; i < n; ++i)
        values[i] = in.ConsumeIntegral<int>();
    return values;
}

int arbitraryInt(FuzzedDataProvider& in)
{
    // Mostly small values, where the codings have their cases; sometimes any.
    return in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-4, 1100);
}

long long advanced(long long position, long long count) { return std::min<long long>(INT_MAX, position + std::max(count, 0LL)); }

void hostileReading(FuzzedDataProvider& in)
{
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, 300);
    const std::vector<uint8_t> bits = in.ConsumeBytes<uint8_t>(length);
    std::unique_ptr<uint8_t[]> array(new uint8_t[bits.size()]);
    if (!bits.empty())
        std::memcpy(array.get(), bits.data(), bits.size());
    da_BinReader reader(array.get(), static_cast<int>(bits.size()));
    FUZZ_CHECK(reader.capacityBits() == static_cast<int>(8 * bits.size()));

    while (in.remaining_bytes() > 0) {
        const long long before = reader.bitPosition;
        switch (nextOp(in)) {
        case Op::bits: {
            const int count = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, 40);
            const int value = reader.readBits(count);
            FUZZ_CHECK(value >= 0);
            if (count > 0 && count < 31)
                FUZZ_CHECK(value < (1 << count));
            FUZZ_CHECK(reader.bitPosition == advanced(before, count));
            break;
        }
        case Op::bounded: {
            const int range = arbitraryInt(in);
            const int value = reader.readBounded(range);
            if (range > 1)
                FUZZ_CHECK(value >= 0 && value < range);
            else
                FUZZ_CHECK(value == (range == INT_MIN ? INT_MIN : range - 1));
            break;
        }
        case Op::subset: {
            const int count = in.ConsumeIntegralInRange<int>(-3, maxArrayCount);
            const int low = arbitraryInt(in);
            const int high = arbitraryInt(in);
            std::unique_ptr<int[]> positions(new int[static_cast<size_t>(std::max(count, 1))]);
            reader.readSubset(positions.get(), low, high, count);
            if (count > 0 && count <= static_cast<long long>(high) - low + 1) {
                for (int i = 0; i < count; ++i) {
                    FUZZ_CHECK(positions[i] >= low && positions[i] <= high);
                    if (i > 0)
                        FUZZ_CHECK(positions[i] > positions[i - 1]);
                }
            }
            break;
        }
        case Op::sumSplit: {
            const int count = in.ConsumeIntegralInRange<int>(-3, maxArrayCount);
            const int maxValue = arbitraryInt(in);
            const int total = arbitraryInt(in);
            std::unique_ptr<int[]> values(new int[static_cast<size_t>(std::max(count, 1))]);
            reader.readSumSplit(values.get(), maxValue, count, total);
            if (count > 0) {
                const long long limit = std::max(maxValue, 0);
                const long long expected = std::min<long long>(std::max(total, 0), limit * count);
                long long sum = 0;
                for (int i = 0; i < count; ++i) {
                    FUZZ_CHECK(values[i] >= 0 && values[i] <= limit);
                    sum += values[i];
                }
                FUZZ_CHECK(sum == expected);
            }
            break;
        }
        case Op::cyclicArray: {
            const int count = in.ConsumeIntegralInRange<int>(-3, maxArrayCount);
            const int modulus = arbitraryInt(in);
            std::unique_ptr<int[]> values(new int[static_cast<size_t>(std::max(count, 1))]);
            reader.readCyclicArray(values.get(), count, modulus);
            for (int i = 0; i < count; ++i)
                FUZZ_CHECK(modulus < 1 ? values[i] == 0 : (values[i] >= 0 && values[i] < modulus));
            break;
        }
        case Op::count:
            break;
        }
        FUZZ_CHECK(reader.bitPosition >= before);
        FUZZ_CHECK(reader.overflowed() == (reader.bitPosition > reader.capacityBits()));
    }
}

void hostileWriting(FuzzedDataProvider& in)
{
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, 300);
    std::unique_ptr<uint8_t[]> array(new uint8_t[length]);
    std::memset(array.get(), 0xA5, length);
    da_BinWriter writer(array.get(), static_cast<int>(length));

    while (in.remaining_bytes() > 0) {
        const long long before = writer.bitPosition;
        switch (nextOp(in)) {
        case Op::bits: {
            const int value = arbitraryInt(in);
            const int count = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange<int>(-2, 40);
            writer.writeBits(value, count);
            FUZZ_CHECK(writer.bitPosition == advanced(before, count));
            break;
        }
        case Op::bounded: {
            const int range = arbitraryInt(in);
            writer.writeBounded(range, arbitraryInt(in));
            break;
        }
        case Op::subset: {
            const int count = in.ConsumeIntegralInRange<int>(-3, maxArrayCount);
            const int low = arbitraryInt(in);
            const int high = arbitraryInt(in);
            std::unique_ptr<int[]> positions = arbitraryArray(in, count);
            writer.writeSubset(positions.get(), low, high, count);
            break;
        }
        case Op::sumSplit: {
            const int count = in.ConsumeIntegralInRange<int>(-3, maxArrayCount);
            const int maxValue = arbitraryInt(in);
            std::unique_ptr<int[]> values = arbitraryArray(in, count);
            writer.writeSumSplit(values.get(), maxValue, count);
            break;
        }
        case Op::cyclicArray: {
            const int count = in.ConsumeIntegralInRange<int>(-3, maxArrayCount);
            const int modulus = arbitraryInt(in);
            std::unique_ptr<int[]> values = arbitraryArray(in, count);
            const std::vector<int> before(values.get(), values.get() + std::max(count, 1));
            writer.writeCyclicArray(values.get(), count, modulus);
            FUZZ_CHECK(std::equal(before.begin(), before.end(), values.get()));
            break;
        }
        case Op::count:
            break;
        }
        FUZZ_CHECK(writer.bitPosition >= before);
        FUZZ_CHECK(writer.overflowed() == (writer.bitPosition > writer.capacityBits()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        roundTrip(in);
        break;
    case 1:
        hostileReading(in);
        break;
    default:
        hostileWriting(in);
        break;
    }
    return 0;
}
