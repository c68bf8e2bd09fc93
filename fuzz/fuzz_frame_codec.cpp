// Arbitrary stereo sample blocks through the frame codec in memory: one
// Elb1764 encodes block after block (pushSamples, analyzeAndEncode) into a
// 1024-byte packet buffer, and two fresh decoders take every packet from an
// array of exactly its length: one through decodeFrame alone, so that its
// spectra and fields can be inspected, one through decodeAndSynthesize and
// popSamples as the decode job does.
//
// The first byte picks the set-up: bit 0 takes a parameter block from the
// next 68 bytes (used when the decoder would accept it from a file), bit 1
// reads one byte per sample scaled to full range instead of raw 16-bit
// little-endian samples, which reaches the rails with fewer bytes.
//
// Properties: no packet overflows its buffer or exceeds the bound the
// parameter block promises; the decoder reads exactly the bits written
// (padding zero), gets back the codes the encoder sent, and produces finite
// spectra, finite overlap sums and samples that are those sums truncated
// and limited to 16 bits.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/parameter_limits.h"
#include "formats/container_format.h"
#include "fuzz_support.h"

namespace {

constexpr int maxBlocks = 5;

// Elb1764 with its frame fields and buffers open for inspection.
class OpenCodec : public Elb1764 {
public:
    using Elb1764::Elb1764;
    const int* sentPhaseCodes() const { return encoderPhaseCodes; }
    const int* sentBalanceCodes() const { return encoderBalanceCodes; }
    const int* sentNoiseCodes() const { return encoderNoiseCodes; }
    const int* sentToneCodes() const { return encoderToneCodes; }
    const int* sentToneBins() const { return encoderToneBins; }
    const std::vector<int>& readPhaseCodes() const { return decodedPhaseCodes; }
    const std::vector<int>& readBalanceCodes() const { return decodedBalanceCodes; }
    const std::vector<int>& readNoiseCodes() const { return decodedNoiseCodes; }
    const std::vector<int>& readToneCodes() const { return decodedToneCodes; }
    const std::vector<int>& readToneBins() const { return decodedToneBins; }
    const Complex* overlap() const { return overlapBuffer; }
};

void checkSameCodes(const int* sent, const std::vector<int>& read, int count)
{
    for (int i = 0; i < count; ++i)
        FUZZ_CHECK(sent[i] == read[static_cast<size_t>(i)]);
}

int16_t expectedSample(float value)
{
    if (value >= 32767.0f)
        return 32767;
    if (value <= -32768.0f)
        return -32768;
    return static_cast<int16_t>(static_cast<int>(value));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initConverter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;

    CodecParameters parameters = defaultCodecParameters;
    if ((mode & 1) != 0 && size >= sizeof(CodecParameters)) {
        CodecParameters candidate;
        std::memcpy(&candidate, data, sizeof candidate);
        // An encoder needs at least one tone to choose; the decoder alone
        // also takes toneCount 0.
        if (codecParametersDecodable(candidate) && candidate.toneCount >= 1)
            parameters = candidate;
        data += sizeof candidate;
        size -= sizeof candidate;
    }

    const bool byteSamples = (mode & 2) != 0;
    const size_t bytesPerBlock = byteSamples ? blockSamples : blockBytes;
    const int blocks = static_cast<int>(std::min<size_t>(maxBlocks, (size + bytesPerBlock - 1) / bytesPerBlock));
    std::vector<int16_t> samples(static_cast<size_t>(std::max(blocks, 1)) * blockSamples, 0);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (byteSamples && i < size)
            samples[i] = static_cast<int16_t>(data[i] * 257 - 32768);  // 0 -> -32768, 255 -> 32767
        else if (!byteSamples && 2 * i + 1 < size)
            samples[i] = static_cast<int16_t>(static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
    }

    OpenCodec encoder(parameters, defaultEncoderTuning);
    OpenCodec inspector(parameters, defaultEncoderTuning);
    OpenCodec decoder(parameters, defaultEncoderTuning);
    const long long frameBound = worstCaseFrameBits(parameters);
    const int spectrumTop = std::max(parameters.noiseBins, parameters.toneBins);

    for (int b = 0; b < std::max(blocks, 1); ++b) {
        FUZZ_CHECK(encoder.pushSamples(samples.data() + static_cast<size_t>(b) * blockSamples));
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[packetBufferSize]);
        da_BinWriter writer(buffer.get(), packetBufferSize);
        FUZZ_CHECK(encoder.analyzeAndEncode(writer));
        const int frameBits = writer.bitPosition;
        FUZZ_CHECK(!writer.overflowed());
        FUZZ_CHECK(frameBits > 0 && frameBits <= frameBound && frameBound <= 8 * packetBufferSize);
        writer.writeBits(0, (8 - frameBits % 8) % 8);
        const int packetBytes = writer.bitPosition / 8;

        // The decoders see exactly the packet.
        std::unique_ptr<uint8_t[]> packet(new uint8_t[static_cast<size_t>(packetBytes)]);
        std::memcpy(packet.get(), buffer.get(), static_cast<size_t>(packetBytes));

        da_BinReader fields(packet.get(), packetBytes);
        Complex left[blockLength];
        Complex right[blockLength];
        inspector.decodeFrame(fields, left, right);
        FUZZ_CHECK(fields.bitPosition == frameBits && !fields.overflowed());
        FUZZ_CHECK(fields.readBits((8 - frameBits % 8) % 8) == 0);
        checkSameCodes(encoder.sentPhaseCodes(), inspector.readPhaseCodes(), parameters.phaseBands);
        checkSameCodes(encoder.sentBalanceCodes(), inspector.readBalanceCodes(), parameters.balanceBands);
        checkSameCodes(encoder.sentNoiseCodes(), inspector.readNoiseCodes(), parameters.noiseBands);
        checkSameCodes(encoder.sentToneCodes(), inspector.readToneCodes(), parameters.toneCount);
        checkSameCodes(encoder.sentToneBins(), inspector.readToneBins(), parameters.toneCount);
        for (int k = 0; k < blockLength; ++k) {
            FUZZ_CHECK(std::isfinite(left[k].re) && std::isfinite(left[k].im));
            FUZZ_CHECK(std::isfinite(right[k].re) && std::isfinite(right[k].im));
            if (k >= spectrumTop)  // nothing is coded up there
                FUZZ_CHECK(left[k].re == 0.0f && left[k].im == 0.0f && right[k].re == 0.0f && right[k].im == 0.0f);
        }

        da_BinReader job(packet.get(), packetBytes);
        FUZZ_CHECK(decoder.decodeAndSynthesize(job));
        FUZZ_CHECK(job.bitPosition == frameBits && !job.overflowed());
        int16_t expected[blockSamples];
        for (int n = 0; n < blockLength; ++n) {
            const Complex v = decoder.overlap()[n];
            FUZZ_CHECK(std::isfinite(v.re) && std::isfinite(v.im));
            expected[2 * n] = expectedSample(v.re);
            expected[2 * n + 1] = expectedSample(v.im);
        }
        for (int n = blockLength; n < windowLength; ++n)
            FUZZ_CHECK(std::isfinite(decoder.overlap()[n].re) && std::isfinite(decoder.overlap()[n].im));
        int16_t decoded[blockSamples];
        FUZZ_CHECK(decoder.popSamples(decoded));
        FUZZ_CHECK(std::memcmp(decoded, expected, sizeof decoded) == 0);
    }
    return 0;
}
