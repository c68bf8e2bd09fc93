#pragma once

// Helpers shared by the encoder, tone-selection and round-trip tests: the
// transform tables, default codecs, and a frame reader that records where
// each field of a packet ends.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bits/bin_reader.h"
#include "codec/codec_parameters.h"
#include "codec/elb1764.h"
#include "transform/transform_tables.h"

namespace encoder_test {


// The six fields of one frame as a decoder would read them, plus the bit
// position after each field.
struct FrameFields {
    int gainCode = 0;
    std::vector<int> phaseCodes;
    std::vector<int> balanceCodes;
    std::vector<int> noiseCodes;
    std::vector<int> toneCodes;
    std::vector<int> toneBins;
    int fieldEnd[6] = {};
};

inline FrameFields readFrame(da_BinReader& in, const CodecParameters& p) {
    FrameFields f;
    f.phaseCodes.resize(p.phaseBands);
    f.balanceCodes.resize(p.balanceBands);
    f.noiseCodes.resize(p.noiseBands);
    f.toneCodes.resize(p.toneCount);
    f.toneBins.resize(p.toneCount);
    f.gainCode = in.readBounded(1 << p.gainBits);
    f.fieldEnd[0] = in.bitPosition;
    in.readCyclicArray(f.phaseCodes.data(), p.phaseBands, 1 << p.phaseBits);
    f.fieldEnd[1] = in.bitPosition;
    in.readCyclicArray(f.balanceCodes.data(), p.balanceBands, 1 << p.balanceBits);
    f.fieldEnd[2] = in.bitPosition;
    in.readCyclicArray(f.noiseCodes.data(), p.noiseBands, 1 << p.noiseBits);
    f.fieldEnd[3] = in.bitPosition;
    in.readCyclicArray(f.toneCodes.data(), p.toneCount, 1 << p.toneBits);
    f.fieldEnd[4] = in.bitPosition;
    in.readSubset(f.toneBins.data(), 0, p.toneBins - 1, p.toneCount);
    f.fieldEnd[5] = in.bitPosition;
    return f;
}

inline FrameFields readFrame(const std::vector<uint8_t>& packet, const CodecParameters& p) {
    da_BinReader in(packet.data(), static_cast<int>(packet.size()));
    return readFrame(in, p);
}

// Encodes one pair of spectra (copied, the encoder turns them) into a packet
// padded to whole bytes, as the encode job stores it.
inline std::vector<uint8_t> encodePacket(Elb1764& codec, std::vector<Complex> left, std::vector<Complex> right,
                                         int* bitsOut = nullptr) {
    std::vector<uint8_t> buffer(1024, 0);
    da_BinWriter out(buffer.data(), static_cast<int>(buffer.size()));
    codec.encodeFrame(left.data(), right.data(), out);
    if (bitsOut) *bitsOut = out.bitPosition;
    out.writeBits(0, (8 - out.bitPosition % 8) % 8);
    buffer.resize(static_cast<std::size_t>(out.bitPosition / 8));
    return buffer;
}

// A band whose left bins are e^(+i alpha) and right bins e^(-i alpha),
// alpha = 2 pi step / grid: the channels differ by the angle 2 alpha.
inline void fillTurnedBand(Complex* a, Complex* b, int n, int step, int grid, float scale = 1.0f) {
    Complex r;
    rootOfUnity(step, grid, scale, r);
    for (int k = 0; k < n; ++k) {
        a[k] = r;
        b[k] = Complex{r.re, -r.im};
    }
}

}  // namespace encoder_test
