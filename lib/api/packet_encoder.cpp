// The C API's packet encoder: the file encoder's ContainerWriter over a sink
// that hands each packet to the caller instead of storing it, with the
// header made on request for the packets given so far.

#include <memory>

#include "api/block_feed.h"
#include "base/frame_sizes.h"
#include "formats/container_format.h"
#include "formats/container_writer.h"
#include "q58.h"
#include "streams/byte_sink.h"

namespace {

// A ContainerWriter stores the header at offset 0 first, then each packet
// in one store behind it; the header is made apart (the caller asks for it),
// so its stores are taken and dropped and each later store is one packet.
class PacketCallbackSink : public ByteSink {
public:
    PacketCallbackSink(q58_packet_callback onPacket, void* user) : onPacket(onPacket), user(user) {}

    size_t writeAt(uint64_t offset, const uint8_t* source, size_t count) override
    {
        if (broken) return 0;
        if (offset < static_cast<uint64_t>(containerHeaderSize)) return count;
        if (onPacket(user, source, count, packets) != 0) {
            broken = true;
            return 0;
        }
        ++packets;
        return count;
    }
    bool flush() override { return !broken; }
    bool canSeek() const override { return true; }
    bool failed() const override { return broken; }

    uint32_t packetsGiven() const { return packets; }

private:
    q58_packet_callback onPacket;
    void* user;
    uint32_t packets = 0;  // packets the callback took
    bool broken = false;
};

}  // namespace

struct q58_packet_encoder {
    q58_packet_encoder(q58_packet_callback onPacket, void* user)
        : sink(onPacket, user), writer(sink, defaultCodecParameters, defaultEncoderTuning)
    {
    }

    PacketCallbackSink sink;
    ContainerWriter writer;  // the blocks the converter codes with, so the packets match
    int16_t block[blockSamples];
    int filled = 0;  // sample frames waiting in block
    int status = Q58_OK;
};

q58_packet_encoder* q58_packet_encoder_open(q58_packet_callback on_packet, void* user, int* status)
{
    try {
        if (on_packet == nullptr) {
            if (status) *status = Q58_ERROR_INVALID_ARGUMENT;
            return nullptr;
        }
        q58_packet_encoder* encoder = new q58_packet_encoder(on_packet, user);
        if (status) *status = Q58_OK;
        return encoder;
    } catch (...) {
        if (status) *status = Q58_ERROR_OUT_OF_MEMORY;
        return nullptr;
    }
}

int q58_packet_encoder_write_s16(q58_packet_encoder* encoder, const int16_t* interleaved, size_t frames)
{
    if (encoder == nullptr || (interleaved == nullptr && frames > 0)) return Q58_ERROR_INVALID_ARGUMENT;
    if (encoder->status != Q58_OK) return encoder->status;
    try {
        return encoder->status = feedBlocks(encoder->writer, encoder->block, encoder->filled, interleaved, frames);
    } catch (...) {
        return encoder->status = Q58_ERROR_OUT_OF_MEMORY;
    }
}

int q58_packet_encoder_header(const q58_packet_encoder* encoder, void* header)
{
    if (encoder == nullptr || header == nullptr) return Q58_ERROR_INVALID_ARGUMENT;
    const ContainerHeader made{defaultCodecParameters, static_cast<int32_t>(encoder->sink.packetsGiven())};
    encodeContainerHeader(made, static_cast<uint8_t*>(header));
    return Q58_OK;
}

uint32_t q58_packet_encoder_packet_count(const q58_packet_encoder* encoder)
{
    return encoder ? encoder->sink.packetsGiven() : 0;
}

void q58_packet_encoder_close(q58_packet_encoder* encoder)
{
    delete encoder;
}
