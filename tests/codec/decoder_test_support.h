#pragma once

// Helpers shared by the decoder tests: a codec with its state in reach, and
// a writer for hand-made frames.

#include <cstdint>
#include <vector>

#include "bits/bin_writer.h"
#include "codec/codec_parameters.h"
#include "codec/elb1764.h"

// Opens the decoder's state and working arrays to the tests.
class CodecProbe : public Elb1764 {
public:
    using Elb1764::Elb1764;
    explicit CodecProbe(const CodecParameters& p = defaultCodecParameters) : Elb1764(p, defaultEncoderTuning) {}

    using Elb1764::bitsCounted;
    using Elb1764::decodedBalanceCodes;
    using Elb1764::decodedGainCode;
    using Elb1764::decodedNoiseCodes;
    using Elb1764::decodedPhaseCodes;
    using Elb1764::decodedToneBins;
    using Elb1764::decodedToneCodes;
    using Elb1764::decoderUsable;
    using Elb1764::framesCounted;
    using Elb1764::noiseCounter;
    using Elb1764::noiseState;
    using Elb1764::prevBandAngle;
    using Elb1764::prevBandEnergy;
};

// The codes of one frame, in the order of the frame layout.
struct FrameCodes {
    int gain = 0;
    std::vector<int> phase;
    std::vector<int> balance;
    std::vector<int> noise;
    std::vector<int> toneCodes;
    std::vector<int> toneBins;
};

// Codes of a frame under p with every field at a given value: tones in the
// lowest bins.
inline FrameCodes uniformFrame(const CodecParameters& p, int gain, int phase, int balance, int noise, int tone)
{
    FrameCodes f;
    f.gain = gain;
    f.phase.assign(p.phaseBands, phase);
    f.balance.assign(p.balanceBands, balance);
    f.noise.assign(p.noiseBands, noise);
    f.toneCodes.assign(p.toneCount, tone);
    for (int j = 0; j < p.toneCount; ++j) {
        f.toneBins.push_back(j);
    }
    return f;
}

inline int codesOfBits(int bits) { return 1 << bits; }

// Writes f as one frame under p; returns the frame's length in bits.
inline int writeFrame(const CodecParameters& p, FrameCodes f, std::vector<uint8_t>& packet)
{
    packet.assign(1024, 0);
    da_BinWriter out(packet.data(), static_cast<int>(packet.size()));
    out.writeBounded(codesOfBits(p.gainBits), f.gain);
    out.writeCyclicArray(f.phase.data(), p.phaseBands, codesOfBits(p.phaseBits));
    out.writeCyclicArray(f.balance.data(), p.balanceBands, codesOfBits(p.balanceBits));
    out.writeCyclicArray(f.noise.data(), p.noiseBands, codesOfBits(p.noiseBits));
    out.writeCyclicArray(f.toneCodes.data(), p.toneCount, codesOfBits(p.toneBits));
    out.writeSubset(f.toneBins.data(), 0, p.toneBins - 1, p.toneCount);
    return out.bitPosition;
}
