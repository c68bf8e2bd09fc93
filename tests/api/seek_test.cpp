// Seeking through the public API: after a seek to any sample frame, reading
// gives exactly the samples a straight decode gives there, whatever was read
// or sought before (forward, backward, far, near, within a packet).

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "api_material.h"
#include "callback_input.h"
#include "q58.h"

namespace {

// Seeks to each position in turn and compares a read of `span` frames (fewer
// at the end) with the converter's samples.
void checkSeeks(q58_decoder* decoder, const std::vector<uint64_t>& positions, size_t span, const std::string& trace)
{
    const ApiMaterial& m = apiMaterial();
    std::vector<int16_t> buffer(2 * span);
    for (uint64_t position : positions) {
        SCOPED_TRACE(trace + ", seek to " + std::to_string(position));
        ASSERT_EQ(q58_decoder_seek(decoder, position), Q58_OK);
        EXPECT_EQ(q58_decoder_position(decoder), position);
        const uint64_t expected = std::min<uint64_t>(span, m.decodedFrames() - position);
        ASSERT_EQ(q58_decoder_read_s16(decoder, buffer.data(), span), expected);
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(2 * expected),
                               m.decoded.begin() + static_cast<long>(2 * position)));
        EXPECT_EQ(q58_decoder_status(decoder), position + expected == m.decodedFrames() ? Q58_END_OF_STREAM : Q58_OK);
    }
}

TEST(DecoderSeek, ReadsAfterASeekEqualAStraightDecode)
{
    const ApiMaterial& m = apiMaterial();
    const uint64_t length = m.decodedFrames();
    const uint64_t packet = Q58_FRAMES_PER_PACKET;
    // Edges: first and last frame, packet edges on both sides, the end,
    // and a checkpoint of the index (every 16 packets) on both sides.
    const std::vector<uint64_t> edges = {0, 1, packet - 1, packet, packet + 1, 16 * packet - 1, 16 * packet,
                                         17 * packet + 5, length - packet, length - 1, length};

    const unsigned seed = std::random_device{}();
    std::mt19937_64 random(seed);
    std::vector<uint64_t> randomPoints;
    for (int i = 0; i < 40; ++i) randomPoints.push_back(random() % (length + 1));
    const std::string seedNote = "seed " + std::to_string(seed);

    for (size_t span : {1u, 881u, 2000u}) {
        // A fresh decoder each time: the first seeks build the index, the
        // later ones use it.
        q58_decoder* decoder = q58_decoder_open_memory(m.q58Bytes.data(), m.q58Bytes.size(), nullptr);
        ASSERT_NE(decoder, nullptr);
        std::vector<uint64_t> backward(edges.rbegin(), edges.rend());
        checkSeeks(decoder, backward, span, "backward from the end, span " + std::to_string(span));
        checkSeeks(decoder, edges, span, "forward, span " + std::to_string(span));
        checkSeeks(decoder, randomPoints, span, seedNote + ", span " + std::to_string(span));
        q58_decoder_close(decoder);
    }

    // Through the caller's functions, with reads in between.
    CallbackInput input;
    input.bytes = &m.q58Bytes;
    input.largestRead = 100;
    const q58_io_callbacks io = CallbackInput::seekable();
    q58_decoder* decoder = q58_decoder_open_callbacks(&io, &input, nullptr);
    ASSERT_NE(decoder, nullptr);
    checkSeeks(decoder, randomPoints, 1000, seedNote + ", callbacks");
    q58_decoder_close(decoder);
}

}  // namespace
