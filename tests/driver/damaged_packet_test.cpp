// A container whose third packet has a padding bit set: decoding stops after
// the second frame, the WAV file is completed with two blocks, "done." is
// printed and the damage is reported.

#include <gtest/gtest.h>

#include <cstring>

#include "bits/bin_reader.h"
#include "cli_harness.h"
#include "codec/elb1764.h"
#include "transform/transform_tables.h"

namespace {

struct PacketSpan {
    size_t firstByte;
    int bits;
};

// Finds the packets of a container by decoding each frame, as a decoder does.
std::vector<PacketSpan> splitPackets(const std::vector<uint8_t>& container)
{
    CodecParameters parameters{};
    std::memcpy(&parameters, container.data() + 4, sizeof parameters);
    Elb1764 codec(parameters, defaultEncoderTuning);
    Complex left[882], right[882];
    std::vector<PacketSpan> spans;
    size_t at = 76;
    for (uint32_t i = 0; i < getLe32(container, 72); ++i) {
        da_BinReader reader(container.data() + at, static_cast<int>(container.size() - at));
        codec.decodeFrame(reader, left, right);
        spans.push_back({at, reader.bitPosition});
        at += static_cast<size_t>((reader.bitPosition + 7) / 8);
    }
    return spans;
}

}  // namespace

TEST(DecodeJob, PaddingErrorInTheThirdPacketStopsThere)
{
    ScratchDir dir;
    std::vector<uint8_t> container;
    std::vector<PacketSpan> spans;
    for (uint32_t seed = 1; seed < 40; ++seed) {
        writeFileBytes(dir.file("m.wav"), makeWav(chordSignal(5 * 882, seed)));
        ASSERT_EQ(dir.runQ58({"m.wav"}).exitStatus, 0);
        container = readFileBytes(dir.file("m.q58"));
        spans = splitPackets(container);
        if (spans[2].bits % 8 != 0)
            break;
    }
    ASSERT_NE(spans[2].bits % 8, 0) << "no generated input left padding in its third packet";
    const size_t total = 76 + [&] {
        size_t s = 0;
        for (const auto& p : spans)
            s += static_cast<size_t>((p.bits + 7) / 8);
        return s;
    }();
    ASSERT_EQ(container.size(), total);  // packets back to back, nothing after them

    // The last padding bit of packet 3: the top bit of its last byte.
    container[spans[2].firstByte + static_cast<size_t>(spans[2].bits / 8)] |= 0x80;
    writeFileBytes(dir.file("bad.q58"), container);
    const CliResult r = dir.runQ58({"bad.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "decoding : 'bad.q58' to : 'bad.q58.wav'\n20 %\r40 %\rdone.\n");
    EXPECT_NE(r.err.find("bad.q58"), std::string::npos);
    const auto wav = readFileBytes(dir.file("bad.q58.wav"));
    ASSERT_EQ(wav.size(), 44u + 2u * 3528u);
    EXPECT_EQ(getLe32(wav, 40), 2u * 3528u);
}
