// Encoding on two threads (EncoderPipeline) gives the packets of the one-thread
// encoder, block for block: every conformance input on every path, and
// minutes of varied material and of silence on the fast path. tools/library-check.sh
// also runs this group under ThreadSanitizer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/frame_sizes.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/encoder_pipeline.h"
#include "conformance/conformance_codec.h"
#include "conformance/conformance_inputs.h"
#include "formats/container_format.h"

using namespace conformance;

namespace {

using Packets = std::vector<std::vector<uint8_t>>;

// The packets of a one-thread container (encodeContainer), one per frame.
Packets packetsOf(const Encoded& encoded) {
    Packets packets;
    for (std::size_t f = 0; f < encoded.packetStarts.size(); ++f) {
        const std::size_t end =
            f + 1 < encoded.packetStarts.size() ? encoded.packetStarts[f + 1] : encoded.bytes.size();
        packets.emplace_back(encoded.bytes.begin() + static_cast<long>(encoded.packetStarts[f]),
                             encoded.bytes.begin() + static_cast<long>(end));
    }
    return packets;
}

// The input through an EncoderPipeline on `threads` threads, keeping `lead`
// blocks queued ahead of the one written as long as the input lasts.
Packets pipelinePackets(const Signal& input, const Path& path, int threads, int lead) {
    const std::unique_ptr<Elb1764> codec = makeCodec(path, defaultCodecParameters);
    EncoderPipeline pipeline(*codec, threads);
    EXPECT_EQ(pipeline.threads(), threads);
    const std::size_t frames = input.size() / blockSamples;
    Packets packets;
    std::size_t pushed = 0;
    while (packets.size() < frames) {
        while (pushed < frames && pushed < packets.size() + static_cast<std::size_t>(lead)) {
            EXPECT_TRUE(pipeline.push(input.data() + pushed * blockSamples));
            ++pushed;
        }
        uint8_t packet[packetBufferSize] = {};
        da_BinWriter writer(packet, packetBufferSize);
        EXPECT_TRUE(pipeline.pop(writer));
        writer.writeBits(0, (8 - writer.bitPosition % 8) % 8);
        packets.emplace_back(packet, packet + writer.bitPosition / 8);
    }
    uint8_t spare[packetBufferSize];
    da_BinWriter nothingLeft(spare, packetBufferSize);
    EXPECT_FALSE(pipeline.pop(nothingLeft));
    return packets;
}

// Every conformance input in turn, each pass louder or softer and with the
// channels swapped every other pass, until the frames are made: sudden
// changes of phase, level and balance from frame to frame, minutes long.
Signal medley(std::size_t frames) {
    std::vector<Signal> parts;
    for (const Recipe& recipe : recipes()) parts.push_back(makeInput(recipe));
    const int shifts[] = {0, 2, -1, 4, 1, -3};
    Signal out;
    for (int pass = 0; out.size() < 2 * frames; ++pass) {
        const int shift = shifts[pass % 6];
        const bool swap = pass % 2 == 1;
        for (const Signal& part : parts) {
            for (std::size_t i = 0; i + 1 < part.size() && out.size() < 2 * frames; i += 2) {
                for (int c = 0; c < 2; ++c) {
                    const int v = part[i + static_cast<std::size_t>(swap ? 1 - c : c)];
                    const int scaled = shift >= 0 ? v / (1 << shift) : v * (1 << -shift);
                    out.push_back(static_cast<int16_t>(std::clamp(scaled, -32768, 32767)));
                }
            }
        }
    }
    return out;
}

struct Case {
    std::string name;
    Path path;
    int threads;
    int lead;  // blocks queued ahead, 1..EncoderPipeline::ringSize
};
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name << " on " << pathName(c.path) << ", " << c.threads << " threads, " << c.lead << " ahead";
}

Signal inputOf(const std::string& name) {
    if (name == "medley_3min") return medley(3 * 60 * 44100);
    if (name == "medley_20s") return medley(20 * 44100);
    if (name == "silence_1min") return Signal(2 * 60 * 44100, 0);
    return makeInput(*findRecipe(name));
}

std::vector<Case> cases() {
    std::vector<Case> all;
    const int ring = EncoderPipeline::ringSize;
    for (const Recipe& recipe : recipes())
        for (const Path& path : availablePaths()) all.push_back({recipe.name, path, 2, ring});
    const Path fastest = availablePaths().back();
    for (const char* name : {"medley_3min", "silence_1min"}) all.push_back({name, fastest, 2, ring});
    all.push_back({"medley_20s", fastest, 2, 1});
    all.push_back({"music", fastest, 1, ring});
    all.push_back({"music", fastest, 2, 2});
    // Either side of the batch the worker waits for before it wakes.
    all.push_back({"music", fastest, 2, EncoderPipeline::wakeBatch - 1});
    all.push_back({"music", fastest, 2, EncoderPipeline::wakeBatch});
    all.push_back({"music", fastest, 2, EncoderPipeline::wakeBatch + 1});
    return all;
}

class EncoderThreads : public ::testing::TestWithParam<Case> {};

TEST_P(EncoderThreads, GiveThePacketsOfOneThread) {
    const Case& c = GetParam();
    const Signal input = inputOf(c.name);
    const Encoded reference = encodeContainer(input, c.path);
    ASSERT_EQ(reference.problem, "");
    const Packets expected = packetsOf(reference);
    const Packets packets = pipelinePackets(input, c.path, c.threads, c.lead);
    ASSERT_EQ(packets.size(), expected.size());
    for (std::size_t f = 0; f < packets.size(); ++f)
        ASSERT_TRUE(packets[f] == expected[f]) << "first differing packet: frame " << f;
}

INSTANTIATE_TEST_SUITE_P(AllInputs, EncoderThreads, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const Case& c = info.param;
                             return c.name + "_" + pathName(c.path) + "_" + std::to_string(c.threads) + "threads_" +
                                    std::to_string(c.lead) + "ahead";
                         });

}  // namespace
