#include "formats/packet_walk.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "bits/bin_reader.h"
#include "formats/container_format.h"
#include "base/frame_sizes.h"

namespace {

// Every count of a decodable block is at most the spectrum length, which
// also bounds these arrays.
int clampedCount(int count)
{
    return std::min(std::max(count, 0), blockLength);
}

// Reads bits in da_BinReader's order (byte by byte, least significant bit of
// a byte first; a value's first bit most significant) from a 64-bit buffer
// that is refilled 8 bytes at a time, for the walk alone: it keeps no
// overflow flag, since the walk only needs to know where the fields end, and
// bits past the array read as 0 as they do for da_BinReader. The position is
// 64 bits wide; a decodable block keeps it below 2^14 bits, far from where
// da_BinReader's int would saturate.
class WalkReader {
public:
    WalkReader(const uint8_t* data, int bytes) : data(data), bytes(bytes) {}

    // Bits read so far.
    long long position() const { return 8 * nextByte - held; }

    // The next count bits (0..31), first bit most significant.
    uint32_t read(int count)
    {
        if (count <= 0) return 0;
        if (held < 32) refill();
        const uint32_t value = static_cast<uint32_t>(buffer >> (64 - count));
        buffer <<= count;
        held -= count;
        return value;
    }

    // da_BinReader::readBounded, bit for bit, without branching on the
    // bits: the length - 1 low bits and the one that may follow them are
    // taken together, and the second is kept only when low < spare. A range
    // of 1 reads nothing this way too.
    int readBounded(int range)
    {
        if (range < 1) return range == INT_MIN ? INT_MIN : range - 1;
        if (held < 32) refill();
        const int length = bitLengthOf(range);
        const uint64_t power = uint64_t{1} << (length - 1);
        const uint64_t spare = static_cast<uint64_t>(range) - power;
        const uint64_t top = buffer >> (64 - length);  // length <= 31 bits
        const uint64_t low = top >> 1;
        const uint64_t extra = low < spare ? 1u : 0u;
        const uint64_t mirrored = low + power * (top & extra);
        const int taken = length - 1 + static_cast<int>(extra);
        buffer <<= taken;
        held -= taken;
        return static_cast<int>(static_cast<uint64_t>(range) - 1 - mirrored);
    }

    // The reads of da_BinReader::readCyclicArray; the values are not formed.
    void skipCyclicArray(int count, int modulus)
    {
        if (count <= 0 || modulus < 1) return;
        const long long maxValue = static_cast<long long>(modulus) - 1;
        const int total = readBounded(clampToInt(count * maxValue + 1));
        // da_BinReader::readSumSplit limits the total to [0, count * maxValue].
        const long long sum = std::min(std::max<long long>(total, 0), maxValue * count);
        skipSumSplit(maxValue, count, sum);
    }

    // The reads of da_BinReader::readSubset, in the same order (a pivot,
    // then the part below it, then the part above), the parts above waiting
    // on a stack: a count of at most 882 halves at most 10 times.
    void skipSubset(long long low, long long high, int count)
    {
        struct Part {
            long long low;
            long long high;
            int count;
        };
        Part pending[16];
        int depth = 0;
        for (;;) {
            // With one choice for the pivot, every part below has one
            // choice too: the positions are packed and nothing is read.
            const long long choices = (high - low + 1) - count + 1;
            if (count > 0 && choices > 1) {
                const int middle = count / 2;
                const long long pivot = low + middle + readBounded(clampToInt(choices));
                pending[depth++] = Part{pivot + 1, high, count - middle - 1};
                high = pivot - 1;
                count = middle;
                continue;
            }
            if (depth == 0) return;
            --depth;
            low = pending[depth].low;
            high = pending[depth].high;
            count = pending[depth].count;
        }
    }

private:
    // Tops the buffer up to at least 56 bits. The 8 bytes from nextByte go
    // in right after the bits held; only the whole bytes among them count
    // as held, and the part of a byte that also lands in the buffer is the
    // same bits the next refill puts there again.
    void refill()
    {
        uint64_t word = 0;
        if (nextByte + 8 <= bytes) {
            const uint8_t* b = data + nextByte;
            word = static_cast<uint64_t>(b[0]) << 56 | static_cast<uint64_t>(b[1]) << 48
                 | static_cast<uint64_t>(b[2]) << 40 | static_cast<uint64_t>(b[3]) << 32
                 | static_cast<uint64_t>(b[4]) << 24 | static_cast<uint64_t>(b[5]) << 16
                 | static_cast<uint64_t>(b[6]) << 8 | static_cast<uint64_t>(b[7]);
        } else {
            for (int i = 0; i < 8; ++i) {
                const long long at = nextByte + i;
                word = word << 8 | (at < bytes ? data[at] : 0u);
            }
        }
        // Reversing the bits inside every byte puts the stream in order from
        // the top bit down.
        word = (word >> 1 & 0x5555555555555555u) | (word & 0x5555555555555555u) << 1;
        word = (word >> 2 & 0x3333333333333333u) | (word & 0x3333333333333333u) << 2;
        word = (word >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (word & 0x0F0F0F0F0F0F0F0Fu) << 4;
        buffer |= word >> held;
        const int whole = (63 - held) >> 3;
        nextByte += whole;
        held += 8 * whole;
    }

    // Number of base-2 digits of a positive int: the exponent of its value
    // as a double, which holds every int exactly.
    static int bitLengthOf(int v)
    {
        const double asDouble = v;
        uint64_t bits;
        std::memcpy(&bits, &asDouble, sizeof bits);
        return static_cast<int>(bits >> 52) - 1022;
    }

    static int clampToInt(long long v)
    {
        if (v > INT_MAX) return INT_MAX;
        if (v < INT_MIN) return INT_MIN;
        return static_cast<int>(v);
    }

    // The reads of da_BinReader::readSumSplitRange, in the same order (a
    // node, then its first half, then its second), with the pending second
    // halves on a stack instead of the call stack: a count of at most 882
    // halves at most 10 times.
    void skipSumSplit(long long maxValue, int count, long long total)
    {
        struct Part {
            int count;
            long long total;
        };
        Part pending[16];
        int depth = 0;
        for (;;) {
            // A count of 1, or a total of 0 or of count * maxValue, fixes
            // every value: every split below has a single choice and reads
            // nothing.
            if (count > 1 && total != 0 && total != maxValue * count) {
                const int half = count / 2;
                const long long hi = std::min(total, maxValue * half);
                const long long lo = std::max(0LL, total - maxValue * (count - half));
                const long long left = lo + readBounded(clampToInt(hi - lo + 1));
                pending[depth++] = Part{count - half, total - left};
                count = half;
                total = left;
                continue;
            }
            if (depth == 0) return;
            --depth;
            count = pending[depth].count;
            total = pending[depth].total;
        }
    }

    const uint8_t* data;
    long long bytes;
    uint64_t buffer = 0;     // the next bits from the top down; below the held ones, 0 or the bits that follow
    int held = 0;            // bits of buffer that are the next ones
    long long nextByte = 0;  // the byte after those held
};

}  // namespace

PacketExtent measurePacket(const CodecParameters& p, const uint8_t* data, int available)
{
    const int bytes = std::min(std::max(available, 0), packetBufferSize);
    WalkReader in(data, bytes);

    // The six fields, in frame order, as measurePacketReference reads them.
    in.readBounded(codesOf(p.gainBits));
    in.skipCyclicArray(clampedCount(p.phaseBands), codesOf(p.phaseBits));
    in.skipCyclicArray(clampedCount(p.balanceBands), codesOf(p.balanceBits));
    in.skipCyclicArray(clampedCount(p.noiseBands), codesOf(p.noiseBits));
    in.skipCyclicArray(clampedCount(p.toneCount), codesOf(p.toneBits));
    in.skipSubset(0, p.toneBins - 1, clampedCount(p.toneCount));

    const int padding = static_cast<int>((8 - in.position() % 8) % 8);
    if (in.read(padding) > 0) {
        return PacketExtent{PacketCheck::nonZeroPadding, 0};
    }
    // da_BinReader overflows exactly when a bit past the array was read.
    if (in.position() > 8LL * bytes) {
        return PacketExtent{PacketCheck::pastEnd, 0};
    }
    return PacketExtent{PacketCheck::intact, static_cast<int>(in.position() / 8)};
}

PacketExtent measurePacketReference(const CodecParameters& p, const uint8_t* data, int available)
{
    da_BinReader in(data, std::min(std::max(available, 0), packetBufferSize));
    int codes[blockLength];
    int bins[blockLength];

    // The six fields, in frame order; the values are not needed, only
    // where they end.
    in.readBounded(codesOf(p.gainBits));
    in.readCyclicArray(codes, clampedCount(p.phaseBands), codesOf(p.phaseBits));
    in.readCyclicArray(codes, clampedCount(p.balanceBands), codesOf(p.balanceBits));
    in.readCyclicArray(codes, clampedCount(p.noiseBands), codesOf(p.noiseBits));
    in.readCyclicArray(codes, clampedCount(p.toneCount), codesOf(p.toneBits));
    in.readSubset(bins, 0, p.toneBins - 1, clampedCount(p.toneCount));

    const int padding = (8 - in.bitPosition % 8) % 8;
    if (in.readBits(padding) > 0) {
        return PacketExtent{PacketCheck::nonZeroPadding, 0};
    }
    if (in.overflowed()) {
        return PacketExtent{PacketCheck::pastEnd, 0};
    }
    return PacketExtent{PacketCheck::intact, in.bitPosition / 8};
}
