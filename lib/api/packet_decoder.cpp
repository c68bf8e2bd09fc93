// The C API's packet decoder: the container header's parameters and one
// Elb1764, fed packets the caller has framed. Each packet is measured before
// it is decoded, so that a packet cut short or damaged changes nothing.

#include <algorithm>
#include <memory>
#include <new>

#include "api/float_samples.h"
#include "api/header_parameter.h"
#include "api/header_status.h"
#include "base/frame_sizes.h"
#include "bits/bin_reader.h"
#include "codec/elb1764.h"
#include "codec/noise_generator.h"
#include "formats/container_format.h"
#include "formats/packet_walk.h"
#include "q58.h"

struct q58_packet_decoder {
    ContainerHeader header{};
    std::unique_ptr<Elb1764> codec;
    uint32_t next = 0;     // the index of the packet decoded next
    bool priming = false;  // the next packet only fills the overlap (after a reset above 0)
};

namespace {

std::unique_ptr<Elb1764> freshCodec(const ContainerHeader& header)
{
    return std::make_unique<Elb1764>(header.parameters, defaultEncoderTuning);
}

// The bytes a decoder looks at: never more than the largest packet, as the
// file decoder's reader.
int lookahead(size_t size)
{
    return static_cast<int>(std::min(size, static_cast<size_t>(packetBufferSize)));
}

// The length of the packet at data, or the reason there is none. Data that
// ends inside the fields is asking for more, unless it already holds the
// largest packet there can be.
int measure(const ContainerHeader& header, const uint8_t* data, size_t size, int& packetBytes)
{
    if (size == 0) return Q58_NEED_MORE_DATA;
    const PacketExtent extent = measurePacket(header.parameters, data, lookahead(size));
    switch (extent.check) {
        case PacketCheck::intact: packetBytes = extent.bytes; return Q58_OK;
        case PacketCheck::nonZeroPadding: return Q58_ERROR_DAMAGED;
        case PacketCheck::pastEnd: return size >= static_cast<size_t>(packetBufferSize) ? Q58_ERROR_DAMAGED : Q58_NEED_MORE_DATA;
    }
    return Q58_ERROR_DAMAGED;
}

// Decodes one packet into block (blockSamples values). On Q58_OK *frames is
// blockLength, or 0 for a packet that only primed the overlap.
int decodePacket(q58_packet_decoder& decoder, const void* data, size_t size, size_t* consumed, int16_t* block,
                 size_t* frames)
{
    *consumed = 0;
    *frames = 0;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    int packetBytes = 0;
    const int measured = measure(decoder.header, bytes, size, packetBytes);
    if (measured != Q58_OK) return measured;
    // The packet lies whole inside the bytes with zero padding, so decoding
    // it cannot fail: the codec only changes from here on.
    da_BinReader reader(bytes, lookahead(size));
    decoder.codec->decodeAndSynthesize(reader);
    if (decoder.priming) {
        int16_t dropped[blockSamples];
        decoder.codec->popSamples(dropped);
        decoder.priming = false;
    } else {
        decoder.codec->popSamples(block);
        *frames = blockLength;
    }
    *consumed = static_cast<size_t>(packetBytes);
    ++decoder.next;
    return Q58_OK;
}

bool decodeArgumentsValid(const q58_packet_decoder* decoder, const void* data, size_t size, const size_t* consumed,
                          const void* interleaved, const size_t* frames)
{
    return decoder != nullptr && consumed != nullptr && interleaved != nullptr && frames != nullptr &&
           (data != nullptr || size == 0);
}

}  // namespace

q58_packet_decoder* q58_packet_decoder_open(const void* header, size_t size, int* status)
{
    try {
        if (header == nullptr && size > 0) {
            tell(status, Q58_ERROR_INVALID_ARGUMENT);
            return nullptr;
        }
        std::unique_ptr<q58_packet_decoder> decoder(new q58_packet_decoder());
        const int count = static_cast<int>(std::min(size, static_cast<size_t>(containerHeaderSize)));
        const int opened = headerStatus(checkContainerHeader(static_cast<const uint8_t*>(header), count, decoder->header));
        if (opened != Q58_OK) {
            tell(status, opened);
            return nullptr;
        }
        decoder->codec = freshCodec(decoder->header);
        tell(status, Q58_OK);
        return decoder.release();
    } catch (...) {
        tell(status, Q58_ERROR_OUT_OF_MEMORY);
        return nullptr;
    }
}

void q58_packet_decoder_close(q58_packet_decoder* decoder)
{
    delete decoder;
}

uint32_t q58_packet_decoder_packet_count(const q58_packet_decoder* decoder)
{
    if (decoder == nullptr || decoder->header.frameCount < 0) return 0;
    return static_cast<uint32_t>(decoder->header.frameCount);
}

int q58_packet_decoder_parameter(const q58_packet_decoder* decoder, int parameter, double* value)
{
    if (decoder == nullptr || value == nullptr) return Q58_ERROR_INVALID_ARGUMENT;
    return headerParameter(decoder->header.parameters, parameter, value);
}

int q58_packet_decoder_measure(const q58_packet_decoder* decoder, const void* data, size_t size, size_t* packet_bytes)
{
    if (decoder == nullptr || packet_bytes == nullptr || (data == nullptr && size > 0))
        return Q58_ERROR_INVALID_ARGUMENT;
    int bytes = 0;
    const int measured = measure(decoder->header, static_cast<const uint8_t*>(data), size, bytes);
    if (measured == Q58_OK) *packet_bytes = static_cast<size_t>(bytes);
    return measured;
}

int q58_packet_decoder_decode_s16(q58_packet_decoder* decoder, const void* data, size_t size, size_t* consumed,
                                  int16_t* interleaved, size_t* frames)
{
    if (!decodeArgumentsValid(decoder, data, size, consumed, interleaved, frames)) return Q58_ERROR_INVALID_ARGUMENT;
    return decodePacket(*decoder, data, size, consumed, interleaved, frames);
}

int q58_packet_decoder_decode_float(q58_packet_decoder* decoder, const void* data, size_t size, size_t* consumed,
                                    float* interleaved, size_t* frames)
{
    if (!decodeArgumentsValid(decoder, data, size, consumed, interleaved, frames)) return Q58_ERROR_INVALID_ARGUMENT;
    int16_t block[blockSamples];
    const int result = decodePacket(*decoder, data, size, consumed, block, frames);
    samplesToFloat(block, interleaved, 2 * *frames);
    return result;
}

int q58_packet_decoder_reset(q58_packet_decoder* decoder, uint32_t packet_index)
{
    if (decoder == nullptr) return Q58_ERROR_INVALID_ARGUMENT;
    try {
        // Packet packet_index - 1 primes the overlap from a generator state
        // that depends on the packet number alone: every packet draws
        // noiseBins values, whatever its codes.
        std::unique_ptr<Elb1764> restarted = freshCodec(decoder->header);
        const int64_t draws = static_cast<int64_t>(packet_index) * decoder->header.parameters.noiseBins;
        restarted->setNoiseGenerator(noiseGeneratorAfterDraws(draws));
        decoder->codec = std::move(restarted);
        decoder->next = packet_index;
        decoder->priming = packet_index > 0;
        return Q58_OK;
    } catch (...) {
        return Q58_ERROR_OUT_OF_MEMORY;
    }
}

uint32_t q58_packet_decoder_next_packet(const q58_packet_decoder* decoder)
{
    return decoder ? decoder->next : 0;
}
