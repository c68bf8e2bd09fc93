// The packet-level API against the converter: packets pushed in any byte
// chunking decode to the converter's samples, measuring frames the file
// exactly, a decode that cannot finish changes nothing, a reset to any
// packet index plays on sample-exactly (also past the noise generator's
// first checkpoint), and the packet encoder's header and packets are the
// converter's file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api_material.h"
#include "q58.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A file long enough to reach past the noise generator's first checkpoint
// (between packets 186 and 187), made and decoded by the converter.
struct LongMaterial {
    Bytes q58;
    std::vector<int16_t> decoded;
};

const LongMaterial& longMaterial()
{
    static const LongMaterial material = [] {
        ScratchDir dir;
        writeFileBytes(dir.file("long.wav"), makeWav(chordSignal(400 * Q58_FRAMES_PER_PACKET + 11, 3)));
        LongMaterial m;
        if (dir.runQ58({"long.wav"}).exitStatus == 0 && dir.runQ58({"long.q58"}).exitStatus == 0) {
            m.q58 = readFileBytes(dir.file("long.q58"));
            m.decoded = wavSamples(readFileBytes(dir.file("long.q58.wav")));
        }
        return m;
    }();
    return material;
}

struct PacketDecoderDeleter {
    void operator()(q58_packet_decoder* d) const { q58_packet_decoder_close(d); }
};
using PacketDecoder = std::unique_ptr<q58_packet_decoder, PacketDecoderDeleter>;

PacketDecoder openPacketDecoder(const Bytes& file)
{
    int status = -1;
    PacketDecoder decoder(q58_packet_decoder_open(file.data(), file.size(), &status));
    EXPECT_EQ(status, Q58_OK);
    return decoder;
}

// The byte offset of every packet, and the end, found by measuring alone.
std::vector<size_t> packetOffsets(const q58_packet_decoder* decoder, const Bytes& file)
{
    std::vector<size_t> offsets{Q58_HEADER_BYTES};
    while (offsets.back() < file.size()) {
        size_t bytes = 0;
        const int measured = q58_packet_decoder_measure(decoder, file.data() + offsets.back(),
                                                        file.size() - offsets.back(), &bytes);
        if (measured != Q58_OK) {
            ADD_FAILURE() << "measure gave " << measured << " at byte " << offsets.back();
            break;
        }
        offsets.push_back(offsets.back() + bytes);
    }
    return offsets;
}

// Pushes the packets from byte `from` on in chunks of `chunk` bytes, the way
// a framework that does not frame them would: bytes are gathered until a
// packet decodes. Gives every sample frame decoded.
template <typename Sample, typename Decode>
std::vector<Sample> pushFrom(q58_packet_decoder* decoder, const Bytes& file, size_t from, size_t chunk, Decode decode)
{
    std::vector<Sample> out;
    Bytes pending;
    Sample block[2 * Q58_FRAMES_PER_PACKET];
    size_t next = from;
    while (next < file.size() || !pending.empty()) {
        const size_t take = std::min(chunk, file.size() - next);
        pending.insert(pending.end(), file.begin() + static_cast<long>(next), file.begin() + static_cast<long>(next + take));
        next += take;
        for (;;) {
            size_t consumed = 99, frames = 99;
            const int status = decode(decoder, pending.data(), pending.size(), &consumed, block, &frames);
            if (status == Q58_NEED_MORE_DATA && next < file.size()) {
                EXPECT_EQ(consumed, 0u);
                EXPECT_EQ(frames, 0u);
                break;
            }
            if (status != Q58_OK) {
                ADD_FAILURE() << "decode gave " << status << " with " << pending.size() << " bytes pending";
                return out;
            }
            out.insert(out.end(), block, block + 2 * frames);
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(consumed));
            if (pending.empty()) break;
        }
    }
    return out;
}

std::vector<int16_t> pushS16(q58_packet_decoder* decoder, const Bytes& file, size_t from, size_t chunk)
{
    return pushFrom<int16_t>(decoder, file, from, chunk, q58_packet_decoder_decode_s16);
}

std::vector<float> asFloats(const std::vector<int16_t>& samples)
{
    std::vector<float> floats;
    for (int16_t s : samples) floats.push_back(static_cast<float>(s) / 32768.0f);
    return floats;
}

TEST(PacketDecoderApi, PushedInAnyChunkingGivesTheConverterSamples)
{
    const ApiMaterial& m = apiMaterial();
    const std::vector<float> decodedFloats = asFloats(m.decoded);
    for (size_t chunk : {size_t{1}, size_t{97}, size_t{Q58_MAX_PACKET_BYTES}, size_t{5000}, m.q58Bytes.size()}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunk) + " bytes");
        PacketDecoder s16 = openPacketDecoder(m.q58Bytes);
        ASSERT_NE(s16, nullptr);
        EXPECT_EQ(q58_packet_decoder_packet_count(s16.get()), m.decodedFrames() / Q58_FRAMES_PER_PACKET);
        EXPECT_TRUE(pushS16(s16.get(), m.q58Bytes, Q58_HEADER_BYTES, chunk) == m.decoded);
        EXPECT_EQ(q58_packet_decoder_next_packet(s16.get()), m.decodedFrames() / Q58_FRAMES_PER_PACKET);

        PacketDecoder f32 = openPacketDecoder(m.q58Bytes);
        EXPECT_TRUE(pushFrom<float>(f32.get(), m.q58Bytes, Q58_HEADER_BYTES, chunk,
                                    q58_packet_decoder_decode_float) == decodedFloats);
    }
}

TEST(PacketDecoderApi, MeasuringFramesTheFileAndAsksForMoreOnlyInsideAPacket)
{
    const ApiMaterial& m = apiMaterial();
    PacketDecoder decoder = openPacketDecoder(m.q58Bytes);
    const std::vector<size_t> offsets = packetOffsets(decoder.get(), m.q58Bytes);
    ASSERT_EQ(offsets.size(), m.decodedFrames() / Q58_FRAMES_PER_PACKET + 1);
    EXPECT_EQ(offsets.back(), m.q58Bytes.size());
    for (size_t i = 0; i + 1 < offsets.size(); ++i) {
        const size_t length = offsets[i + 1] - offsets[i];
        ASSERT_LE(length, size_t{Q58_MAX_PACKET_BYTES});
        size_t bytes = 12345;
        // Exactly the packet's bytes suffice; one fewer never does.
        ASSERT_EQ(q58_packet_decoder_measure(decoder.get(), m.q58Bytes.data() + offsets[i], length, &bytes), Q58_OK);
        EXPECT_EQ(bytes, length);
        bytes = 12345;
        ASSERT_EQ(q58_packet_decoder_measure(decoder.get(), m.q58Bytes.data() + offsets[i], length - 1, &bytes),
                  Q58_NEED_MORE_DATA)
            << "packet " << i;
        EXPECT_EQ(bytes, 12345u) << "a failed measure wrote its result";
    }
    // Measuring changed nothing: the decoder still decodes from packet 0.
    EXPECT_EQ(q58_packet_decoder_next_packet(decoder.get()), 0u);
    EXPECT_TRUE(pushS16(decoder.get(), m.q58Bytes, Q58_HEADER_BYTES, 4096) == m.decoded);
}

TEST(PacketDecoderApi, StatusesAtTheEdgesOfItsContract)
{
    const ApiMaterial& m = apiMaterial();
    const Bytes& file = m.q58Bytes;
    Bytes wrongMagic(file.begin(), file.begin() + Q58_HEADER_BYTES);
    wrongMagic[0] ^= 0x20;
    struct Open {
        const char* what;
        const void* header;
        size_t size;
        int status;
    } opens[] = {
        {"NULL with a size", nullptr, 76, Q58_ERROR_INVALID_ARGUMENT},
        {"no bytes", file.data(), 0, Q58_ERROR_NOT_Q58},
        {"three bytes of the magic", file.data(), 3, Q58_ERROR_NOT_Q58},
        {"another magic", wrongMagic.data(), wrongMagic.size(), Q58_ERROR_NOT_Q58},
        {"the magic and part of the header", file.data(), Q58_HEADER_BYTES - 1, Q58_ERROR_DAMAGED},
        {"exactly the header", file.data(), Q58_HEADER_BYTES, Q58_OK},
    };
    for (const Open& open : opens) {
        SCOPED_TRACE(open.what);
        int status = -1;
        PacketDecoder decoder(q58_packet_decoder_open(open.header, open.size, &status));
        EXPECT_EQ(status, open.status);
        EXPECT_EQ(decoder != nullptr, open.status == Q58_OK);
    }

    PacketDecoder decoder = openPacketDecoder(file);
    const std::vector<size_t> offsets = packetOffsets(decoder.get(), file);
    double toneCount = 0;
    EXPECT_EQ(q58_packet_decoder_parameter(decoder.get(), Q58_PARAMETER_TONE_COUNT, &toneCount), Q58_OK);
    EXPECT_EQ(toneCount, 32.0);
    EXPECT_EQ(q58_packet_decoder_parameter(decoder.get(), -1, &toneCount), Q58_ERROR_INVALID_ARGUMENT);

    // A packet whose padding is not zero, and bytes that end inside a
    // packet: nothing is consumed, and the decoder goes on as if the call
    // had not been made. Bits fill each byte from its lowest bit, so the
    // padding is the last byte's top bits; a packet that ends on a whole
    // byte has none, so the damage is planted where setting the top bit is
    // reported as damage.
    const size_t first = offsets[1] - offsets[0];
    int16_t block[2 * Q58_FRAMES_PER_PACKET];
    size_t consumed = 7, frames = 7, bytes = 0;
    int damagedPackets = 0;
    for (size_t i = 0; i + 1 < offsets.size(); ++i) {
        Bytes damaged(file.begin() + static_cast<long>(offsets[i]), file.begin() + static_cast<long>(offsets[i + 1]));
        if (damaged.empty() || (damaged.back() & 0x80)) continue;
        damaged.back() |= 0x80;
        if (q58_packet_decoder_measure(decoder.get(), damaged.data(), damaged.size(), &bytes) != Q58_ERROR_DAMAGED)
            continue;
        ++damagedPackets;
        EXPECT_EQ(q58_packet_decoder_decode_s16(decoder.get(), damaged.data(), damaged.size(), &consumed, block, &frames),
                  Q58_ERROR_DAMAGED);
        EXPECT_EQ(consumed, 0u);
        EXPECT_EQ(frames, 0u);
    }
    EXPECT_GT(damagedPackets, 10) << "padding bits set were not reported";
    EXPECT_EQ(q58_packet_decoder_decode_s16(decoder.get(), file.data() + offsets[0], first - 1, &consumed, block, &frames),
              Q58_NEED_MORE_DATA);
    EXPECT_EQ(q58_packet_decoder_decode_s16(decoder.get(), nullptr, 0, &consumed, block, &frames), Q58_NEED_MORE_DATA);
    EXPECT_EQ(q58_packet_decoder_decode_s16(decoder.get(), nullptr, 5, &consumed, block, &frames),
              Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_packet_decoder_decode_s16(decoder.get(), file.data(), 5, &consumed, nullptr, &frames),
              Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_packet_decoder_measure(decoder.get(), file.data(), 5, nullptr), Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_packet_decoder_next_packet(decoder.get()), 0u);
    EXPECT_TRUE(pushS16(decoder.get(), file, Q58_HEADER_BYTES, 333) == m.decoded);

    // Bytes that are no packet at all are damage, never a request for more
    // once there are as many as the largest packet.
    const Bytes ones(Q58_MAX_PACKET_BYTES, 0xff);
    EXPECT_EQ(q58_packet_decoder_measure(decoder.get(), ones.data(), ones.size(), &bytes), Q58_ERROR_DAMAGED);

    EXPECT_EQ(q58_packet_decoder_reset(nullptr, 0), Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_packet_decoder_packet_count(nullptr), 0u);
    q58_packet_decoder_close(nullptr);
}

TEST(PacketDecoderApi, ResetToAnyPacketPlaysOnSampleExactly)
{
    const LongMaterial& m = longMaterial();
    ASSERT_FALSE(m.q58.empty()) << "the converter failed on the long material";
    PacketDecoder decoder = openPacketDecoder(m.q58);
    const std::vector<size_t> offsets = packetOffsets(decoder.get(), m.q58);
    const size_t packets = offsets.size() - 1;
    ASSERT_EQ(packets * Q58_FRAMES_PER_PACKET * 2, m.decoded.size());
    const size_t n = Q58_FRAMES_PER_PACKET;
    // Sample frames to play from: the file's start and its first packets,
    // packet edges, the packets either side of the first checkpoint, the
    // last packet, and a jump backwards after all of them.
    const size_t targets[] = {0, 1, n - 1, n, n + 1, 2 * n + 5, 186 * n, 186 * n + 881, 187 * n + 1, 250 * n + 444,
                              (packets - 1) * n + 3, 5 * n + 6};
    for (size_t target : targets) {
        SCOPED_TRACE("from sample frame " + std::to_string(target));
        // The recipe the header gives: from the start for the first two
        // packets, else from the packet before, which only primes.
        const size_t p = target / n;
        const uint32_t start = p < 2 ? 0 : static_cast<uint32_t>(p - 1);
        const size_t firstGiven = p < 2 ? 0 : n * p;
        ASSERT_EQ(q58_packet_decoder_reset(decoder.get(), start), Q58_OK);
        EXPECT_EQ(q58_packet_decoder_next_packet(decoder.get()), start);
        const std::vector<int16_t> played = pushS16(decoder.get(), m.q58, offsets[start], 2500);
        const size_t skip = 2 * (target - firstGiven);
        ASSERT_EQ(played.size(), m.decoded.size() - 2 * firstGiven);
        EXPECT_TRUE(std::equal(played.begin() + static_cast<long>(skip), played.end(),
                               m.decoded.begin() + static_cast<long>(2 * target)));
        EXPECT_EQ(q58_packet_decoder_next_packet(decoder.get()), packets);
    }
}

// Everything a packet encoder gives its callback.
struct Received {
    Bytes bytes;
    std::vector<uint32_t> indexes;
    size_t refuseAt = SIZE_MAX;  // the packet index the callback fails on
};

int receive(void* user, const void* packet, size_t size, uint32_t index)
{
    Received& r = *static_cast<Received*>(user);
    if (index == r.refuseAt) return 1;
    const uint8_t* p = static_cast<const uint8_t*>(packet);
    r.bytes.insert(r.bytes.end(), p, p + size);
    r.indexes.push_back(index);
    return 0;
}

TEST(PacketEncoderApi, HeaderAndPacketsMakeTheConverterFileInAnyChunkSize)
{
    const ApiMaterial& m = apiMaterial();
    const size_t frames = m.input.size() / 2;
    const size_t packets = frames / Q58_FRAMES_PER_PACKET;
    for (size_t chunk : {size_t{1}, size_t{881}, size_t{882}, size_t{883}, frames}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunk) + " sample frames");
        Received r;
        int status = -1;
        q58_packet_encoder* encoder = q58_packet_encoder_open(receive, &r, &status);
        ASSERT_NE(encoder, nullptr);
        ASSERT_EQ(status, Q58_OK);
        Bytes header(Q58_HEADER_BYTES);
        ASSERT_EQ(q58_packet_encoder_header(encoder, header.data()), Q58_OK);
        EXPECT_EQ(header[72] | header[73] | header[74] | header[75], 0) << "a header before any packet counts none";
        for (size_t done = 0; done < frames; done += chunk) {
            const size_t take = std::min(chunk, frames - done);
            ASSERT_EQ(q58_packet_encoder_write_s16(encoder, m.input.data() + 2 * done, take), Q58_OK);
            // Every whole block written is a packet given before the call returns.
            ASSERT_EQ(q58_packet_encoder_packet_count(encoder), (done + take) / Q58_FRAMES_PER_PACKET);
            ASSERT_EQ(r.indexes.size(), (done + take) / Q58_FRAMES_PER_PACKET);
        }
        ASSERT_EQ(q58_packet_encoder_header(encoder, header.data()), Q58_OK);
        q58_packet_encoder_close(encoder);
        header.insert(header.end(), r.bytes.begin(), r.bytes.end());
        EXPECT_TRUE(header == m.q58Bytes);
        for (size_t i = 0; i < r.indexes.size(); ++i) ASSERT_EQ(r.indexes[i], i);
        EXPECT_EQ(r.indexes.size(), packets);
    }
}

TEST(PacketEncoderApi, ACallbackThatFailsStopsTheEncoder)
{
    const ApiMaterial& m = apiMaterial();
    Received r;
    r.refuseAt = 3;
    int status = -1;
    EXPECT_EQ(q58_packet_encoder_open(nullptr, &r, &status), nullptr);
    EXPECT_EQ(status, Q58_ERROR_INVALID_ARGUMENT);
    q58_packet_encoder* encoder = q58_packet_encoder_open(receive, &r, nullptr);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(q58_packet_encoder_write_s16(encoder, m.input.data(), 10 * Q58_FRAMES_PER_PACKET), Q58_ERROR_IO);
    EXPECT_EQ(q58_packet_encoder_write_s16(encoder, m.input.data(), Q58_FRAMES_PER_PACKET), Q58_ERROR_IO);
    EXPECT_EQ(r.indexes.size(), 3u) << "packets were given after the callback failed";
    EXPECT_EQ(q58_packet_encoder_packet_count(encoder), 3u);
    EXPECT_EQ(q58_packet_encoder_write_s16(nullptr, m.input.data(), 1), Q58_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(q58_packet_encoder_header(encoder, nullptr), Q58_ERROR_INVALID_ARGUMENT);
    q58_packet_encoder_close(encoder);
    q58_packet_encoder_close(nullptr);
}

TEST(DecoderApi, FloatReadsAreTheS16ReadsOver32768)
{
    const ApiMaterial& m = apiMaterial();
    q58_decoder* decoder = q58_decoder_open_memory(m.q58Bytes.data(), m.q58Bytes.size(), nullptr);
    ASSERT_NE(decoder, nullptr);
    std::vector<float> floats;
    std::vector<float> buffer;
    for (size_t i = 0;; ++i) {
        const size_t want = (i % 3 == 0) ? 1 : (i % 3 == 1 ? 1000 : 2900);
        buffer.assign(2 * want, 0.0f);
        const size_t got = q58_decoder_read_float(decoder, buffer.data(), want);
        floats.insert(floats.end(), buffer.begin(), buffer.begin() + static_cast<long>(2 * got));
        if (got < want) break;
    }
    EXPECT_TRUE(floats == asFloats(m.decoded));
    EXPECT_EQ(q58_decoder_position(decoder), m.decodedFrames());
    EXPECT_EQ(q58_decoder_status(decoder), Q58_END_OF_STREAM);
    q58_decoder_close(decoder);
}

}  // namespace
