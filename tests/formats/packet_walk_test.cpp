// Packet lengths found by reading the frame fields alone must match what the
// encoder wrote, and a walk must notice damage the way the decoder does.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/parameter_limits.h"
#include "formats/container_format.h"
#include "formats/packet_walk.h"
#include "base/frame_sizes.h"
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

// The walk's fast reading must find exactly what the bit-by-bit reference
// finds (the check and the byte count) for every input: real packets whole,
// cut short and with a padding bit set, and seeded random bytes of every
// kind, under parameter blocks whose fields hit the codings' edge cases.
TEST(PacketWalk, FastWalkAgreesWithTheReferenceOnEveryInput)
{
    const Packets packets = encodeFrames(24);
    CodecParameters wide = defaultCodecParameters;  // wide fields, long sum splits
    wide.gainBits = 30;
    wide.noiseBits = 20;
    wide.noiseBands = 100;
    wide.toneCount = 200;
    wide.toneBits = 9;
    CodecParameters sparse = defaultCodecParameters;  // one band each, no tones, all tone bins
    sparse.phaseBands = 1;
    sparse.balanceBands = 1;
    sparse.noiseBands = 1;
    sparse.toneCount = 0;
    sparse.gainBits = 1;
    CodecParameters packed = defaultCodecParameters;  // every tone bin taken: the subset reads nothing
    packed.toneBins = 40;
    packed.toneCount = 40;
    packed.phaseBits = 1;

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    // Random bytes: uniform, mostly zero (sums of 0, packed fields) and
    // mostly set (sums at their maximum), at lengths up to past the window.
    struct RandomKind {
        const char* what;
        int zeroPercent;
        int setPercent;
    };
    const RandomKind kinds[] = {{"uniform", 0, 0}, {"mostly zero", 90, 0}, {"mostly set", 0, 90}};

    struct Block {
        const char* what;
        const CodecParameters* parameters;
    };
    const Block blocks[] = {{"default", &defaultCodecParameters}, {"wide", &wide}, {"sparse", &sparse},
                            {"packed", &packed}};
    int intact = 0;
    int pastEnd = 0;
    int damaged = 0;
    for (const Block& block : blocks) {
        ASSERT_TRUE(codecParametersDecodable(*block.parameters)) << block.what;
        const auto agree = [&](const uint8_t* data, int available, const std::string& what) {
            const PacketExtent fast = measurePacket(*block.parameters, data, available);
            const PacketExtent reference = measurePacketReference(*block.parameters, data, available);
            EXPECT_EQ(fast.check, reference.check) << block.what << ", " << what << ", seed " << seed;
            EXPECT_EQ(fast.bytes, reference.bytes) << block.what << ", " << what << ", seed " << seed;
            intact += reference.check == PacketCheck::intact;
            pastEnd += reference.check == PacketCheck::pastEnd;
            damaged += reference.check == PacketCheck::nonZeroPadding;
        };
        // Real packets from each start, every cut of them, and with the top
        // bit of their last byte set.
        size_t start = 0;
        for (size_t i = 0; i < packets.lengths.size(); ++i) {
            const int length = packets.lengths[i];
            std::vector<uint8_t> rest(packets.bytes.begin() + static_cast<long>(start), packets.bytes.end());
            for (int cut = 0; cut <= length; ++cut) agree(rest.data(), cut, "packet " + std::to_string(i) + " cut");
            agree(rest.data(), static_cast<int>(rest.size()), "packet " + std::to_string(i) + " and the rest");
            rest[static_cast<size_t>(length) - 1] |= 0x80;
            agree(rest.data(), length, "packet " + std::to_string(i) + " with its top bit set");
            start += static_cast<size_t>(length);
        }
        for (const RandomKind& kind : kinds) {
            for (int trial = 0; trial < 300; ++trial) {
                std::vector<uint8_t> bytes(static_cast<size_t>(random() % 1100));
                for (uint8_t& b : bytes) {
                    const int roll = static_cast<int>(random() % 100);
                    b = roll < kind.zeroPercent ? 0 : roll < kind.zeroPercent + kind.setPercent ? 0xFF
                                                                                                : static_cast<uint8_t>(random());
                }
                agree(bytes.data(), static_cast<int>(bytes.size()), std::string(kind.what) + " bytes");
            }
        }
    }
    // The inputs reached every outcome.
    EXPECT_GT(intact, 0);
    EXPECT_GT(pastEnd, 0);
    EXPECT_GT(damaged, 0);
}

}  // namespace
