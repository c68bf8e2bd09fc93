// PacketExtent: where one packet of a container ends, found from its frame
// fields without decoding any audio.
#pragma once

#include <cstdint>

#include "codec/codec_parameters.h"

// Finds where one packet of a container ends by reading its frame fields,
// without rebuilding spectra or synthesising audio: what an inspector or a
// seek index needs to walk a whole file quickly.

enum class PacketCheck {
    intact,          // the fields and zero padding lie inside the bytes given
    nonZeroPadding,  // a padding bit after the fields is set: the data is damaged
    pastEnd,         // the fields run past the bytes given (a file cut short)
};

struct PacketExtent {
    PacketCheck check;
    int bytes;  // whole bytes the packet takes, padding included; meaningful when intact
};

// Reads one frame's six fields from data[0..available) and checks its
// padding. available is capped at packetBufferSize, the most a decoder looks
// ahead. The parameters must pass codecParametersDecodable.
//
// Two forms, with the same result for every input: measurePacketReference
// reads the fields through da_BinReader, bit by bit, exactly as the decoder
// does; measurePacket, which the index walk and the survey use, takes the
// bits from a 64-bit buffer and skips the parts of the codings whose values
// are already fixed (they read nothing), in well under half the time.
PacketExtent measurePacket(const CodecParameters& parameters, const uint8_t* data, int available);
PacketExtent measurePacketReference(const CodecParameters& parameters, const uint8_t* data, int available);
