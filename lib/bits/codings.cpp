// Integer and array codings on top of da_BinWriter / da_BinReader.
//
// Every range, sum and position is worked out in 64 bits, so arguments that
// break a coding's preconditions (or counts read from a damaged stream) give
// a useless code but never an int overflow, a division by zero or a runaway
// recursion: the recursive codings halve their count at every level.

#include "bits/codings.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"

namespace {

long long floorMod(long long a, long long m) {
    const long long r = a % m;
    return r < 0 ? r + m : r;
}

long long floorDiv(long long a, long long m) {
    return (a - floorMod(a, m)) / m;
}

int clampToInt(long long v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

long long minOf(long long a, long long b) { return a < b ? a : b; }
long long maxOf(long long a, long long b) { return a > b ? a : b; }

// (current - next) mod modulus, folded so that small steps up and down both
// become small codes: 0, 1, 2, ... -> 0, 2, 4, ... and -1, -2, ... -> 1, 3, ...
long long foldDelta(long long current, long long next, long long modulus) {
    const long long d = floorMod(current - next, modulus);
    return 2 * d < modulus ? 2 * d : 2 * (modulus - 1 - d) + 1;
}

long long unfoldDelta(long long code, long long next, long long modulus) {
    const long long d = code % 2 == 0 ? code / 2 : modulus - 1 - (code - 1) / 2;
    return floorMod(d + next, modulus);
}

// Sums of the leading values: the sum over [begin, end) is at(end) -
// at(begin), so that the sum split, which needs the sum of every range it
// halves, reads each value once instead of once per level. Short arrays
// (every frame field) stay on the stack.
class PrefixSums {
public:
    template <typename Values>
    PrefixSums(const Values& values, int count) {
        const size_t entries = static_cast<size_t>(count > 0 ? count : 0) + 1;
        if (entries > onStack) heap.resize(entries);
        sums = entries > onStack ? heap.data() : local;
        sums[0] = 0;
        for (int i = 0; i < count; ++i) sums[i + 1] = sums[i] + values(i);
    }
    long long sum(int begin, int end) const { return sums[end] - sums[begin]; }

private:
    static constexpr size_t onStack = 513;
    long long local[onStack];
    std::vector<long long> heap;
    long long* sums;
};

long long writeSumSplitOf(da_BinWriter& out, const PrefixSums& prefix, int begin, int count, long long maxValue) {
    if (count <= 0) return 0;
    const long long total = prefix.sum(begin, begin + count);
    if (count == 1) return total;
    const int half = count / 2;
    const long long left = prefix.sum(begin, begin + half);
    // Bounds of the first half's sum once the total is known.
    const long long hi = minOf(total, maxValue * half);
    const long long lo = maxOf(0, total - maxValue * (count - half));
    out.writeBounded(clampToInt(hi - lo + 1), clampToInt(left - lo));
    writeSumSplitOf(out, prefix, begin, half, maxValue);
    writeSumSplitOf(out, prefix, begin + half, count - half, maxValue);
    return total;
}

}  // namespace

int bitLength(int n) {
    if (n <= 0) return 0;
#if defined(__GNUC__)
    return 32 - __builtin_clz(static_cast<unsigned>(n));
#else
    int length = 0;
    for (unsigned v = static_cast<unsigned>(n); v != 0; v >>= 1) ++length;
    return length;
#endif
}

void toCyclicDeltas(int* values, int count, int modulus) {
    if (modulus < 1) return;
    // Forward order: each successor is still the original value when used.
    for (int i = 0; i + 1 < count; ++i)
        values[i] = static_cast<int>(foldDelta(values[i], values[i + 1], modulus));
}

void fromCyclicDeltas(int* values, int count, int modulus) {
    if (modulus < 1) return;
    // Backward order: each successor has been restored already.
    for (int i = count - 2; i >= 0; --i)
        values[i] = static_cast<int>(unfoldDelta(values[i], values[i + 1], modulus));
}

// --- writing ---------------------------------------------------------------

// The value is sent mirrored (w = range - 1 - value) in bitLength(range) - 1
// low bits, plus one more bit for the 2r codes that need it.
void da_BinWriter::writeBounded(int range, int value) {
    if (range <= 1) return;
    const int length = bitLength(range);
    const long long power = 1LL << (length - 1);
    const long long spare = range - power;
    const long long mirrored = static_cast<long long>(range) - 1 - value;
    const long long low = floorMod(mirrored, power);
    writeBits(static_cast<int>(low), length - 1);
    if (low < spare) {
        const long long high = floorDiv(mirrored, power);
        writeBits(high > 0 ? static_cast<int>(high & 1) : 0, 1);
    }
}

void da_BinWriter::writeSubset(const int* positions, int low, int high, int count) {
    writeSubsetRange(positions, low, high, count);
}

// Pre-order: the middle element's place, then the lower part, then the upper.
void da_BinWriter::writeSubsetRange(const int* positions, long long low, long long high, int count) {
    const long long span = high - low + 1;
    if (count <= 0 || span <= count) return;  // empty, or every position taken
    const int middle = count / 2;
    const long long pivot = positions[middle];
    writeBounded(clampToInt(span - count + 1), clampToInt(pivot - low - middle));
    writeSubsetRange(positions, low, pivot - 1, middle);
    writeSubsetRange(positions + middle + 1, pivot + 1, high, count - middle - 1);
}

int da_BinWriter::writeSumSplit(const int* values, int maxValue, int count) {
    const auto at = [values](int i) -> long long { return values[i]; };
    return clampToInt(writeSumSplitOf(*this, PrefixSums(at, count), 0, count, maxValue));
}

void da_BinWriter::writeCyclicArray(int* values, int count, int modulus) {
    if (count <= 0 || modulus < 1) return;
    const long long lastIndex = count - 1;
    const auto folded = [values, lastIndex, modulus](int i) -> long long {
        return i < lastIndex ? foldDelta(values[i], values[i + 1], modulus) : values[i];
    };
    const long long maxValue = static_cast<long long>(modulus) - 1;
    const PrefixSums prefix(folded, count);
    const long long total = prefix.sum(0, count);
    writeBounded(clampToInt(count * maxValue + 1), clampToInt(total));
    writeSumSplitOf(*this, prefix, 0, count, maxValue);
}

// --- reading ---------------------------------------------------------------

namespace {

// Reads the codings' fields through da_BinReader::readBoundedByBits, one
// field at a time: the plain form the windowed reading must agree with.
struct FieldsByBits {
    // The recursive codings below, literally: the reference for the walks.
    static constexpr bool walksParts = false;
    da_BinReader& in;
    int readBounded(int range) { return in.readBoundedByBits(range); }
    void finish() {}
};

// Eight bytes from p with stream bit i at bit 63 - i: the bytes first one
// highest, each byte's bits reversed (the stream stores a byte's bits lowest
// first). The compiler makes the gathering one load and a byte swap.
uint64_t loadStreamOrder64(const uint8_t* p) {
    uint64_t x = 0;
    for (int i = 0; i < 8; ++i) x = (x << 8) | p[i];
    x = ((x >> 1) & 0x5555555555555555u) | ((x & 0x5555555555555555u) << 1);
    x = ((x >> 2) & 0x3333333333333333u) | ((x & 0x3333333333333333u) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((x & 0x0F0F0F0F0F0F0F0Fu) << 4);
    return x;
}

// Reads the fields of one coding call from a 64-bit window of the stream
// held in a register, refilled only when a field would run past it, instead
// of eight fresh bytes per field. Where the window cannot be loaded (within
// eight bytes of the end, or from a position outside the array) each field
// is read by da_BinReader::readBoundedByBits itself, so the values, the
// position and the overflow flag come out exactly as reading field by field
// gives them. finish() hands the position back to the reader.
class FieldWindow {
public:
    // The codings walk their parts with a stack of their own, so that the
    // window stays in registers.
    static constexpr bool walksParts = true;

    explicit FieldWindow(da_BinReader& in)
        : in(in), position(in.bitPosition), lastWholeByte((in.capacityBits() >> 3) - 8) {}

    int readBounded(int range) {
        if (range <= 1) return range == INT_MIN ? INT_MIN : range - 1;
        const int length = bitLength(range);  // 2..31
        if (static_cast<long long>(position) - windowStart + length > 64 && !refill()) return readByBits(range);
        const uint64_t power = uint64_t{1} << (length - 1);
        const uint64_t spare = static_cast<uint64_t>(range) - power;
        // The next length bits, first bit most significant: the length - 1
        // low bits and the bit that follows them.
        const uint64_t top = (window << (position - windowStart)) >> (64 - length);
        const uint64_t low = top >> 1;
        // Whether the field takes its extra bit depends on the data: no
        // branch to mispredict.
        const uint64_t extra = low < spare ? 1u : 0u;
        const uint64_t mirrored = low + power * (top & extra);
        position += length - 1 + static_cast<int>(extra);
        return static_cast<int>(static_cast<uint64_t>(range) - 1 - mirrored);
    }

    void finish() { in.bitPosition = position; }

private:
    // Loads the 8 bytes from the byte of position when they lie inside the
    // array (the test readBits makes for its word reads): at least 57 bits
    // from position, more than any field takes.
    bool refill() {
        if (position < 0 || (position >> 3) > lastWholeByte) return false;
        windowStart = position & ~7;
        window = loadStreamOrder64(in.data + (position >> 3));
        return true;
    }

    int readByBits(int range) {
        in.bitPosition = position;
        const int value = in.readBoundedByBits(range);
        position = in.bitPosition;
        return value;
    }

    da_BinReader& in;
    int position;
    const int lastWholeByte;
    // Stream bits windowStart.. windowStart + 63, the first at bit 63. The
    // start value makes the first field refill.
    uint64_t window = 0;
    int windowStart = INT_MIN / 2;
};

// Each pivot is read from a range that leaves room for the elements on both
// sides, so whatever the bits, the positions come out strictly increasing
// and inside [low, high] (given 0 <= count <= high - low + 1).
template <class Fields>
void readSubsetRange(Fields& fields, int* positions, long long low, long long high, int count) {
    if (count <= 0) return;
    const int middle = count / 2;
    const long long choices = (high - low + 1) - count + 1;
    // More elements than places: nothing to read, the elements are packed
    // from low upwards like a full range.
    const long long offset = choices > 1 ? fields.readBounded(clampToInt(choices)) : 0;
    const long long pivot = low + middle + offset;
    positions[middle] = clampToInt(pivot);
    readSubsetRange(fields, positions, low, pivot - 1, middle);
    readSubsetRange(fields, positions + middle + 1, pivot + 1, high, count - middle - 1);
}

// With 0 <= total <= count * maxValue every split keeps both halves inside
// their own bounds, so the values end up in [0, maxValue] whatever the bits.
template <class Fields>
void readSumSplitRange(Fields& fields, int* values, long long maxValue, int count, long long total) {
    if (count <= 1) {
        values[0] = static_cast<int>(total);
        return;
    }
    const int half = count / 2;
    const long long hi = minOf(total, maxValue * half);
    const long long lo = maxOf(0, total - maxValue * (count - half));
    const long long left = lo + fields.readBounded(clampToInt(hi - lo + 1));
    readSumSplitRange(fields, values, maxValue, half, left);
    readSumSplitRange(fields, values + half, maxValue, count - half, total - left);
}

// readSubsetRange's reads and results in the same order (a pivot, the part
// below it, the part above), with the parts above waiting on a stack. A
// part with a single choice for its pivot has a single choice everywhere
// below it: its positions are packed from low up and nothing is read.
template <class Fields>
void readSubsetParts(Fields& fields, int* positions, long long low, long long high, int count) {
    struct Part {
        int* positions;
        long long low;
        long long high;
        int count;
    };
    Part pending[32];  // one per halving of an int count
    int depth = 0;
    for (;;) {
        if (count > 0) {
            const long long choices = (high - low + 1) - count + 1;
            if (choices > 1) {
                const int middle = count / 2;
                const long long pivot = low + middle + fields.readBounded(clampToInt(choices));
                positions[middle] = clampToInt(pivot);
                pending[depth++] = Part{positions + middle + 1, pivot + 1, high, count - middle - 1};
                high = pivot - 1;
                count = middle;
                continue;
            }
            for (int i = 0; i < count; ++i) positions[i] = clampToInt(low + i);
        }
        if (depth == 0) return;
        --depth;
        positions = pending[depth].positions;
        low = pending[depth].low;
        high = pending[depth].high;
        count = pending[depth].count;
    }
}

// readSumSplitRange's reads and results in the same order (a split, its
// first half, its second), with the second halves waiting on a stack. A
// total of 0 or of count * maxValue fixes every value below it: each split
// there has a single choice and nothing is read.
template <class Fields>
void readSumSplitParts(Fields& fields, int* values, long long maxValue, int count, long long total) {
    struct Part {
        int* values;
        int count;
        long long total;
    };
    Part pending[32];  // one per halving of an int count
    int depth = 0;
    for (;;) {
        if (count > 1 && total != 0 && total != maxValue * count) {
            const int half = count / 2;
            const long long hi = minOf(total, maxValue * half);
            const long long lo = maxOf(0, total - maxValue * (count - half));
            const long long left = lo + fields.readBounded(clampToInt(hi - lo + 1));
            pending[depth++] = Part{values + half, count - half, total - left};
            count = half;
            total = left;
            continue;
        }
        if (count == 1) {
            values[0] = static_cast<int>(total);
        } else {
            const int fixed = total == 0 ? 0 : static_cast<int>(maxValue);
            for (int i = 0; i < count; ++i) values[i] = fixed;
        }
        if (depth == 0) return;
        --depth;
        values = pending[depth].values;
        count = pending[depth].count;
        total = pending[depth].total;
    }
}

template <class Fields>
void readSumSplitOf(Fields& fields, int* values, int maxValue, int count, int total) {
    if (count <= 0) return;
    const long long limit = maxValue > 0 ? maxValue : 0;
    const long long sum = minOf(maxOf(total, 0), limit * count);
    if constexpr (Fields::walksParts)
        readSumSplitParts(fields, values, limit, count, sum);
    else
        readSumSplitRange(fields, values, limit, count, sum);
}

template <class Fields>
void readSubsetOf(Fields& fields, int* positions, int low, int high, int count) {
    if constexpr (Fields::walksParts)
        readSubsetParts(fields, positions, low, high, count);
    else
        readSubsetRange(fields, positions, low, high, count);
}

template <class Fields>
void readCyclicArrayOf(Fields& fields, int* values, int count, int modulus) {
    if (count <= 0) return;
    if (modulus < 1) {
        for (int i = 0; i < count; ++i) values[i] = 0;
        return;
    }
    const long long maxValue = static_cast<long long>(modulus) - 1;
    const int total = fields.readBounded(clampToInt(count * maxValue + 1));
    readSumSplitOf(fields, values, static_cast<int>(maxValue), count, total);
    // The split leaves every value in [0, modulus), so each unfolded step d
    // and each restored successor lie there too, and their sum wraps at
    // most once: a subtraction where fromCyclicDeltas takes a remainder,
    // with the same result.
    const int m = modulus;
    for (int i = count - 2; i >= 0; --i) {
        const int code = values[i];
        const int d = (code & 1) == 0 ? code >> 1 : m - 1 - (code >> 1);
        const long long sum = static_cast<long long>(d) + values[i + 1];
        values[i] = static_cast<int>(sum >= m ? sum - m : sum);
    }
}

}  // namespace

int da_BinReader::readBoundedByBits(int range) {
    if (range <= 1) return range == INT_MIN ? INT_MIN : range - 1;
    const int length = bitLength(range);
    const long long power = 1LL << (length - 1);
    const long long spare = range - power;
    const long long low = readBits(length - 1);
    const long long mirrored = low < spare ? low + power * readBits(1) : low;
    return static_cast<int>(range - 1 - mirrored);
}

// The codings read through a field window unless the reader is set to read
// field by field (fieldWindow false), the form they must agree with.
template <class Read>
void da_BinReader::readFields(Read read) {
    if (fieldWindow) {
        FieldWindow fields(*this);
        read(fields);
        fields.finish();
    } else {
        FieldsByBits fields{*this};
        read(fields);
    }
}

int da_BinReader::readBounded(int range) {
    int value = 0;
    readFields([&](auto& fields) { value = fields.readBounded(range); });
    return value;
}

void da_BinReader::readSubset(int* positions, int low, int high, int count) {
    readFields([&](auto& fields) { readSubsetOf(fields, positions, low, high, count); });
}

void da_BinReader::readSumSplit(int* values, int maxValue, int count, int total) {
    readFields([&](auto& fields) { readSumSplitOf(fields, values, maxValue, count, total); });
}

void da_BinReader::readCyclicArray(int* values, int count, int modulus) {
    readFields([&](auto& fields) { readCyclicArrayOf(fields, values, count, modulus); });
}
