#include "formats/packet_walk.h"

#include <algorithm>

#include "bits/bin_reader.h"
#include "formats/container_format.h"
#include "transform/frame_sizes.h"

namespace {

// Number of codes of a bits-wide field; a decodable block keeps bits in 1..30.
int codesOf(int bits)
{
    return 1 << std::min(std::max(bits, 0), 30);
}

// Every count of a decodable block is at most the spectrum length, which
// also bounds these arrays.
int clampedCount(int count)
{
    return std::min(std::max(count, 0), blockLength);
}

}  // namespace

PacketExtent measurePacket(const CodecParameters& p, const uint8_t* data, int available)
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
