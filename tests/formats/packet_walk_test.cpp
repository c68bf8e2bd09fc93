// Packet lengths found by reading the frame fields alone must match what the
// encoder wrote, and a walk must notice damage the way the decoder does.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "formats/container_format.h"
#include "formats/packet_walk.h"
#include "transform/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

struct Packets {
    std::vector<uint8_t> bytes;  // back to back, as in a container
    std::vector<int> lengths;
    std::vector<int> paddingBits;
};

// A few frames of a chord with a slow left/right swing, so that packet
// lengths vary and some end on a byte boundary by chance.
Packets encodeFrames(int frames)
{
    initTransformTables();
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    Packets out;
    int16_t block[blockSamples];
    for (int f = 0; f < frames; ++f) {
        for (int n = 0; n < blockLength; ++n) {
            const double t = (f * blockLength + n) / 44100.0;
            const double chord = 6000 * std::sin(2 * 3.14159265 * 220 * t) + 3000 * std::sin(2 * 3.14159265 * 331 * t)
                                 + 1500 * std::sin(2 * 3.14159265 * 1234 * t * (1 + 0.1 * f));
            block[2 * n] = static_cast<int16_t>(chord * (0.5 + 0.5 * std::sin(f * 0.7)));
            block[2 * n + 1] = static_cast<int16_t>(chord * (0.5 - 0.4 * std::cos(f * 0.3)));
        }
        uint8_t packet[packetBufferSize];
        da_BinWriter writer(packet, packetBufferSize);
        codec.pushSamples(block);
        codec.analyzeAndEncode(writer);
        out.paddingBits.push_back((8 - writer.bitPosition % 8) % 8);
        writer.writeBits(0, out.paddingBits.back());
        out.lengths.push_back(writer.bitPosition / 8);
        out.bytes.insert(out.bytes.end(), packet, packet + writer.bitPosition / 8);
    }
    return out;
}

TEST(PacketWalk, FindsEveryPacketEndAndTheDamageADecoderWouldFind)
{
    const Packets packets = encodeFrames(12);
    size_t offset = 0;
    for (int length : packets.lengths) {
        const int available = static_cast<int>(packets.bytes.size() - offset);
        const PacketExtent extent = measurePacket(defaultCodecParameters, packets.bytes.data() + offset, available);
        ASSERT_EQ(extent.check, PacketCheck::intact);
        ASSERT_EQ(extent.bytes, length);
        offset += static_cast<size_t>(length);
    }
    EXPECT_EQ(offset, packets.bytes.size());

    // The first packet with padding bits: its last byte's top bit is padding.
    size_t start = 0;
    size_t index = 0;
    while (index < packets.lengths.size() && packets.paddingBits[index] == 0) {
        start += static_cast<size_t>(packets.lengths[index++]);
    }
    ASSERT_LT(index, packets.lengths.size());
    const int length = packets.lengths[index];
    const std::vector<uint8_t> packet(packets.bytes.begin() + static_cast<long>(start),
                                      packets.bytes.begin() + static_cast<long>(start) + length);
    struct Case {
        const char* what;
        int available;
        bool setPaddingBit;
        PacketCheck expected;
    };
    const Case cases[] = {
        {"whole packet", length, false, PacketCheck::intact},
        {"one byte short", length - 1, false, PacketCheck::pastEnd},
        {"nothing at all", 0, false, PacketCheck::pastEnd},
        {"a padding bit set", length, true, PacketCheck::nonZeroPadding},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = packet;
        if (c.setPaddingBit) {
            bytes.back() |= 0x80;
        }
        EXPECT_EQ(measurePacket(defaultCodecParameters, bytes.data(), c.available).check, c.expected) << c.what;
    }
}

}  // namespace
