// The public C API against the converter: decoding in uneven chunks from
// every kind of input gives the converter's WAV samples, encoding in uneven
// chunks gives the converter's file, and every documented status shows up
// where the header says it does.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "api_material.h"
#include "callback_input.h"
#include "q58.h"

namespace {

struct Opened {
    const char* source;
    std::function<q58_decoder*(int*)> open;
};

const std::vector<size_t> unevenChunks[] = {{1}, {881, 882, 883}, {4096}, {7, 1000, 13, 1764}};

TEST(DecoderApi, DecodesInUnevenChunksExactlyTheConverterSamplesFromEveryInput)
{
    const ApiMaterial& m = apiMaterial();
    static CallbackInput input;
    const Opened inputs[] = {
        {"file", [&](int* s) { return q58_decoder_open_file(m.q58Path.c_str(), s); }},
        {"memory", [&](int* s) { return q58_decoder_open_memory(m.q58Bytes.data(), m.q58Bytes.size(), s); }},
        {"short-reading forward-only callbacks", [&](int* s) {
             input = CallbackInput{};
             input.bytes = &m.q58Bytes;
             input.largestRead = 333;
             const q58_io_callbacks io = CallbackInput::forwardOnly();
             return q58_decoder_open_callbacks(&io, &input, s);
         }},
    };
    for (const Opened& opened : inputs) {
        for (const auto& chunks : unevenChunks) {
            SCOPED_TRACE(std::string(opened.source) + ", first chunk " + std::to_string(chunks[0]));
            int status = -1;
            q58_decoder* decoder = opened.open(&status);
            ASSERT_NE(decoder, nullptr);
            EXPECT_EQ(status, Q58_OK);
            EXPECT_EQ(q58_decoder_length(decoder), m.decodedFrames());
            EXPECT_EQ(q58_decoder_packet_count(decoder), m.decodedFrames() / Q58_FRAMES_PER_PACKET);
            EXPECT_TRUE(readAll(decoder, chunks) == m.decoded);
            EXPECT_EQ(q58_decoder_status(decoder), Q58_END_OF_STREAM);
            EXPECT_EQ(q58_decoder_position(decoder), m.decodedFrames());
            int16_t more[2];
            EXPECT_EQ(q58_decoder_read_s16(decoder, more, 1), 0u);
            EXPECT_EQ(q58_decoder_status(decoder), Q58_END_OF_STREAM);
            q58_decoder_close(decoder);
        }
    }
}

TEST(EncoderApi, WritesTheConverterFileInAnyChunkSizeAndReplacesOnlyWhenComplete)
{
    const ApiMaterial& m = apiMaterial();
    const std::string path = m.scratch().file("api.q58");
    const size_t frames = m.input.size() / 2;
    for (const auto& chunks : unevenChunks) {
        SCOPED_TRACE("first chunk " + std::to_string(chunks[0]));
        writeFileBytes(path, {1, 2, 3});  // an older file the encoder must replace
        int status = -1;
        q58_encoder* encoder = q58_encoder_open_file(path.c_str(), &status);
        ASSERT_NE(encoder, nullptr);
        ASSERT_EQ(status, Q58_OK);
        for (size_t done = 0, i = 0; done < frames; ++i) {
            const size_t n = std::min(chunks[i % chunks.size()], frames - done);
            ASSERT_EQ(q58_encoder_write_s16(encoder, m.input.data() + 2 * done, n), Q58_OK);
            done += n;
        }
        EXPECT_EQ(readFileBytes(path), (std::vector<uint8_t>{1, 2, 3})) << "replaced before close";
        EXPECT_EQ(q58_encoder_close(encoder), Q58_OK);
        EXPECT_TRUE(readFileBytes(path) == m.q58Bytes);
    }

    // Discarding leaves the older file, and no temporary file behind.
    q58_encoder* encoder = q58_encoder_open_file(path.c_str(), nullptr);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(q58_encoder_write_s16(encoder, m.input.data(), 2000), Q58_OK);
    q58_encoder_discard(encoder);
    EXPECT_TRUE(readFileBytes(path) == m.q58Bytes);
    size_t leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m.scratch().path()))
        leftovers += entry.path().filename().string().rfind("api.q58.", 0) == 0;
    EXPECT_EQ(leftovers, 0u);
}

// A copy of the converter's file with one change.
std::vector<uint8_t> changed(std::function<void(std::vector<uint8_t>&)> change)
{
    std::vector<uint8_t> bytes = apiMaterial().q58Bytes;
    change(bytes);
    return bytes;
}

TEST(DecoderApi, OpenReportsWhyAFileCannotBeDecoded)
{
    const ApiMaterial& m = apiMaterial();
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        int status;
    } cases[] = {
        {"empty", {}, Q58_ERROR_NOT_Q58},
        {"a WAV file", readFileBytes(m.scratch().file("in.q58.wav")), Q58_ERROR_NOT_Q58},
        {"magic with a non-zero fourth byte", changed([](auto& b) { b[3] = 1; }), Q58_ERROR_NOT_Q58},
        {"header cut short", changed([](auto& b) { b.resize(75); }), Q58_ERROR_DAMAGED},
        {"gainBits 0", changed([](auto& b) { b[12] = 0; }), Q58_ERROR_UNSUPPORTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int status = -1;
        EXPECT_EQ(q58_decoder_open_memory(c.bytes.data(), c.bytes.size(), &status), nullptr);
        EXPECT_EQ(status, c.status);
    }
    int status = -1;
    EXPECT_EQ(q58_decoder_open_file(m.scratch().file("missing.q58").c_str(), &status), nullptr);
    EXPECT_EQ(status, Q58_ERROR_IO);
    EXPECT_EQ(q58_decoder_open_file(nullptr, &status), nullptr);
    EXPECT_EQ(status, Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_decoder_open_callbacks(nullptr, nullptr, &status), nullptr);
    EXPECT_EQ(status, Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_encoder_open_file(m.scratch().file("no-such-folder/x.q58").c_str(), &status), nullptr);
    EXPECT_EQ(status, Q58_ERROR_IO);
    EXPECT_EQ(q58_decoder_status(nullptr), Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_encoder_close(nullptr), Q58_ERROR_INVALID_ARGUMENT);

    // Every status has its own text; the version is the header's.
    std::vector<std::string> texts;
    for (int s = Q58_OK; s <= Q58_NEED_MORE_DATA; ++s) texts.push_back(q58_status_string(s));
    texts.push_back(q58_status_string(1000));
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
    EXPECT_EQ(std::string(q58_version_string()), std::to_string(Q58_VERSION_MAJOR) + "." +
                                                     std::to_string(Q58_VERSION_MINOR) + "." +
                                                     std::to_string(Q58_VERSION_PATCH));
}

// The first packet's length, found by the decoder itself: a file cut one
// byte into the second packet fails there.
TEST(DecoderApi, DamageStopsReadingAtTheBlockTheConverterStopsAt)
{
    const ApiMaterial& m = apiMaterial();
    const size_t block = 2 * Q58_FRAMES_PER_PACKET;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t blocksDelivered;
    } cases[] = {
        // The last byte of a packet always holds its last bit or padding;
        // setting its top bit damages that packet: here the final one.
        {"padding bit set in the last packet", changed([](auto& b) { b.back() |= 0x80; }), 150 - 1},
        {"file cut inside the last packet", changed([](auto& b) { b.pop_back(); }), 150 - 1},
        {"frame count beyond the packets", changed([](auto& b) { b[72] += 1; }), 150},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        q58_decoder* decoder = q58_decoder_open_memory(c.bytes.data(), c.bytes.size(), nullptr);
        ASSERT_NE(decoder, nullptr);
        const std::vector<int16_t> got = readAll(decoder, {1000});
        EXPECT_EQ(q58_decoder_status(decoder), Q58_ERROR_DAMAGED);
        EXPECT_EQ(got.size(), c.blocksDelivered * block);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), m.decoded.begin()));
        // Reading again meets the same damage; seeking past it fails and
        // changes nothing; seeking before it works.
        int16_t more[2];
        EXPECT_EQ(q58_decoder_read_s16(decoder, more, 1), 0u);
        EXPECT_EQ(q58_decoder_status(decoder), Q58_ERROR_DAMAGED);
        EXPECT_EQ(q58_decoder_seek(decoder, q58_decoder_length(decoder)), Q58_ERROR_DAMAGED);
        EXPECT_EQ(q58_decoder_position(decoder), got.size() / 2);
        EXPECT_EQ(q58_decoder_seek(decoder, 5), Q58_OK);
        EXPECT_EQ(q58_decoder_read_s16(decoder, more, 1), 1u);
        EXPECT_EQ(more[0], m.decoded[10]);
        q58_decoder_close(decoder);
    }
}

TEST(DecoderApi, FailingCallbacksGiveIoStatusAndTheDecoderRecovers)
{
    const ApiMaterial& m = apiMaterial();
    for (int failingCall : {0, 1, 5}) {
        SCOPED_TRACE("read call " + std::to_string(failingCall) + " fails");
        CallbackInput input;
        input.bytes = &m.q58Bytes;
        input.largestRead = 1000;
        input.failReadCall = failingCall;
        const q58_io_callbacks io = CallbackInput::seekable();
        int status = -1;
        q58_decoder* decoder = q58_decoder_open_callbacks(&io, &input, &status);
        if (failingCall == 0) {
            EXPECT_EQ(decoder, nullptr);
            EXPECT_EQ(status, Q58_ERROR_IO);
            continue;
        }
        ASSERT_NE(decoder, nullptr);
        std::vector<int16_t> got = readAll(decoder, {500});
        EXPECT_EQ(q58_decoder_status(decoder), Q58_ERROR_IO);
        // The failure was transient: reading on continues exactly.
        const std::vector<int16_t> rest = readAll(decoder, {500});
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(q58_decoder_status(decoder), Q58_END_OF_STREAM);
        EXPECT_TRUE(got == m.decoded);
        q58_decoder_close(decoder);
    }

    // A failing seek changes nothing; without seek, seeking is refused.
    CallbackInput input;
    input.bytes = &m.q58Bytes;
    const q58_io_callbacks io = CallbackInput::seekable();
    q58_decoder* decoder = q58_decoder_open_callbacks(&io, &input, nullptr);
    ASSERT_NE(decoder, nullptr);
    int16_t first[2 * 100];
    ASSERT_EQ(q58_decoder_read_s16(decoder, first, 100), 100u);
    input.failSeekCall = input.seeks;
    EXPECT_EQ(q58_decoder_seek(decoder, 100000), Q58_ERROR_IO);
    EXPECT_EQ(q58_decoder_position(decoder), 100u);
    int16_t next[2];
    ASSERT_EQ(q58_decoder_read_s16(decoder, next, 1), 1u);
    EXPECT_EQ(next[0], m.decoded[200]);
    EXPECT_EQ(q58_decoder_seek(decoder, m.decodedFrames() + 1), Q58_ERROR_INVALID_ARGUMENT);
    q58_decoder_close(decoder);

    CallbackInput forward;
    forward.bytes = &m.q58Bytes;
    const q58_io_callbacks noSeek = CallbackInput::forwardOnly();
    decoder = q58_decoder_open_callbacks(&noSeek, &forward, nullptr);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(q58_decoder_seek(decoder, 0), Q58_ERROR_UNSEEKABLE);
    q58_decoder_close(decoder);
}

}  // namespace
