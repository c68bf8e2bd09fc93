// Integer and array codings on top of da_BinWriter / da_BinReader.
//
// Every range, sum and position is worked out in 64 bits, so arguments that
// break a coding's preconditions (or counts read from a damaged stream) give
// a useless code but never an int overflow, a division by zero or a runaway
// recursion: the recursive codings halve their count at every level.

#include "bits/codings.h"

#include <climits>
#include <cstddef>
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
    int length = 0;
    for (unsigned v = n > 0 ? static_cast<unsigned>(n) : 0u; v != 0; v >>= 1) ++length;
    return length;
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

int da_BinReader::readBounded(int range) {
    if (range <= 1) return range == INT_MIN ? INT_MIN : range - 1;
    const int length = bitLength(range);
    const long long power = 1LL << (length - 1);
    const long long spare = range - power;
    const long long low = readBits(length - 1);
    const long long mirrored = low < spare ? low + power * readBits(1) : low;
    return static_cast<int>(range - 1 - mirrored);
}

void da_BinReader::readSubset(int* positions, int low, int high, int count) {
    readSubsetRange(positions, low, high, count);
}

// Each pivot is read from a range that leaves room for the elements on both
// sides, so whatever the bits, the positions come out strictly increasing
// and inside [low, high] (given 0 <= count <= high - low + 1).
void da_BinReader::readSubsetRange(int* positions, long long low, long long high, int count) {
    if (count <= 0) return;
    const int middle = count / 2;
    const long long choices = (high - low + 1) - count + 1;
    // More elements than places: nothing to read, the elements are packed
    // from low upwards like a full range.
    const long long offset = choices > 1 ? readBounded(clampToInt(choices)) : 0;
    const long long pivot = low + middle + offset;
    positions[middle] = clampToInt(pivot);
    readSubsetRange(positions, low, pivot - 1, middle);
    readSubsetRange(positions + middle + 1, pivot + 1, high, count - middle - 1);
}

void da_BinReader::readSumSplit(int* values, int maxValue, int count, int total) {
    if (count <= 0) return;
    const long long limit = maxValue > 0 ? maxValue : 0;
    const long long sum = minOf(maxOf(total, 0), limit * count);
    readSumSplitRange(values, limit, count, sum);
}

// With 0 <= total <= count * maxValue every split keeps both halves inside
// their own bounds, so the values end up in [0, maxValue] whatever the bits.
void da_BinReader::readSumSplitRange(int* values, long long maxValue, int count, long long total) {
    if (count <= 1) {
        values[0] = static_cast<int>(total);
        return;
    }
    const int half = count / 2;
    const long long hi = minOf(total, maxValue * half);
    const long long lo = maxOf(0, total - maxValue * (count - half));
    const long long left = lo + readBounded(clampToInt(hi - lo + 1));
    readSumSplitRange(values, maxValue, half, left);
    readSumSplitRange(values + half, maxValue, count - half, total - left);
}

void da_BinReader::readCyclicArray(int* values, int count, int modulus) {
    if (count <= 0) return;
    if (modulus < 1) {
        for (int i = 0; i < count; ++i) values[i] = 0;
        return;
    }
    const long long maxValue = static_cast<long long>(modulus) - 1;
    const int total = readBounded(clampToInt(count * maxValue + 1));
    readSumSplit(values, static_cast<int>(maxValue), count, total);
    fromCyclicDeltas(values, count, modulus);
}
