// ContainerHeader: the 76-byte header of a .q58 file (magic, parameter block,
// frame count) and its byte encoding.
#pragma once

#include <cstdint>

#include "codec/codec_parameters.h"

// The first 4 bytes of every compressed file: "q58" and a zero byte.
inline constexpr uint8_t containerMagic[4] = {0x71, 0x35, 0x38, 0x00};

// Largest packet; the encoder assembles each packet in a buffer this size
// and the decoder never looks further ahead.
constexpr int packetBufferSize = 1024;

// Magic, the 17 parameter fields and the frame count, 4 bytes each.
constexpr int containerHeaderSize = 76;

struct ContainerHeader {
    CodecParameters parameters;
    int32_t frameCount;
};

// Magic, then the 17 parameter fields in order (little-endian; balanceScale
// as its IEEE-754 bit pattern), then frameCount.
void encodeContainerHeader(const ContainerHeader& header, uint8_t out[containerHeaderSize]);

// False when the magic differs (out untouched); otherwise fills out with the
// fields as stored. Whether the parameters are usable is judged elsewhere.
bool decodeContainerHeader(const uint8_t in[containerHeaderSize], ContainerHeader& out);

// What the first bytes of a file say about it as a container.
enum class HeaderCheck {
    usable,        // magic, parameters and frame count read; the parameters are decodable
    notContainer,  // fewer than 4 bytes, or not the magic
    incomplete,    // the magic, but the header is cut short
    undecodable,   // a parameter block this decoder cannot use safely
    readFailed,    // the source failed
};

// The one judgement of a header, for the decoder and for the survey: bytes
// holds the first count (0..containerHeaderSize) bytes of the file. header
// receives the fields as stored whenever all of them are there.
HeaderCheck checkContainerHeader(const uint8_t* bytes, int count, ContainerHeader& header);
