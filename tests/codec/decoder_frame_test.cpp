// Whole frames through decodeFrame and roundTripFrame.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bits/bin_reader.h"
#include "codec/band_edges.h"
#include "codec/frame_steps.h"
#include "codec/level_scale.h"
#include "decoder_test_support.h"
#include "base/frame_sizes.h"

namespace {

// The first frame of all-zero spectra under the default parameters.
const std::vector<uint8_t> silentPacket = {0xff, 0x9f, 0x4d, 0x08, 0x1f, 0x3c, 0xf4, 0xde,
                                           0x7b, 0x2f, 0x8e, 0x38, 0xe2, 0x88, 0x23, 0x8e};

struct Spectra {
    std::vector<Complex> left = std::vector<Complex>(blockLength);
    std::vector<Complex> right = std::vector<Complex>(blockLength);
};

// Decodes one frame from packet; returns the bits it took.
int decodeInto(Elb1764& codec, const std::vector<uint8_t>& packet, Spectra& s)
{
    da_BinReader in(packet.data(), static_cast<int>(packet.size()));
    codec.decodeFrame(in, s.left.data(), s.right.data());
    return in.bitPosition;
}

bool sameBits(const std::vector<Complex>& a, const std::vector<Complex>& b)
{
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(Complex)) == 0;
}

const float floorGain = static_cast<float>(std::pow(2.0, 32.0 / 6.0));  // gain code 0

}  // namespace

TEST(DecodeFrame, SilentPacketTakesExactly128BitsAndGivesItsCodes)
{
    CodecProbe codec;
    std::vector<uint8_t> packet = silentPacket;
    packet.resize(1024, 0xA5);  // whatever follows the packet must not be read
    Spectra s;
    EXPECT_EQ(decodeInto(codec, packet, s), 128);
    EXPECT_EQ(codec.decodedGainCode, 0);
    EXPECT_EQ(codec.decodedPhaseCodes, std::vector<int>(4, 0));
    EXPECT_EQ(codec.decodedBalanceCodes, std::vector<int>(4, 16));
    EXPECT_EQ(codec.decodedNoiseCodes, std::vector<int>(32, 0));
    EXPECT_EQ(codec.decodedToneCodes, std::vector<int>(32, 30));
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(codec.decodedToneBins[j], j);
    }
}

TEST(DecodeFrame, SilentPacketSpectra)
{
    CodecProbe codec;
    Spectra s;
    decodeInto(codec, silentPacket, s);

    CodecProbe generator;  // the same draws, one per noise bin in bin order
    const float leftFactor = 1.0f - 1.5f / 31.0f;
    const float rightFactor = 1.0f + 1.5f / 31.0f;
    for (int k = 0; k < blockLength; ++k) {
        // Phase code 0 everywhere and no imaginary parts from the mono spectrum.
        ASSERT_EQ(s.left[k].im, 0.0f) << k;
        ASSERT_EQ(s.right[k].im, 0.0f) << k;
        if (k >= 704) {
            ASSERT_EQ(s.left[k].re, 0.0f) << k;
            ASSERT_EQ(s.right[k].re, 0.0f) << k;
            continue;
        }
        const double u = LiteralSteps{generator}.nextNoise();
        // Tones (code 30: +2^-16) replace the noise of bins 0..31; the rest
        // is noise at 2^-16, all times the frame gain.
        const float y = k < 32 ? floorGain * std::ldexp(1.0f, -16)
                               : floorGain * static_cast<float>(u * std::ldexp(1.0, -16));
        ASSERT_NEAR(s.left[k].re, y * leftFactor, 1e-6f * std::fabs(y)) << k;
        ASSERT_NEAR(s.right[k].re, y * rightFactor, 1e-6f * std::fabs(y)) << k;
    }
    EXPECT_EQ(codec.noiseCounter, 704);  // noiseBins draws per frame
}

TEST(DecodeFrame, SameStreamTwiceWithFreshCodecsGivesIdenticalSpectra)
{
    std::mt19937 random(1234);
    std::vector<std::vector<uint8_t>> packets = {silentPacket};
    for (int i = 0; i < 20; ++i) {
        std::vector<uint8_t> p(200);
        for (auto& byte : p) {
            byte = static_cast<uint8_t>(random());
        }
        packets.push_back(p);
    }
    packets.push_back(silentPacket);

    CodecProbe first;
    CodecProbe second;
    std::vector<Spectra> firstRun;
    for (const auto& p : packets) {
        Spectra s;
        decodeInto(first, p, s);
        firstRun.push_back(s);
    }
    for (std::size_t i = 0; i < packets.size(); ++i) {
        Spectra s;
        decodeInto(second, packets[i], s);
        EXPECT_TRUE(sameBits(s.left, firstRun[i].left)) << i;
        EXPECT_TRUE(sameBits(s.right, firstRun[i].right)) << i;
    }
    // The generator moves on: the same packet later gives other noise.
    EXPECT_FALSE(sameBits(firstRun.front().left, firstRun.back().left));
}

TEST(DecodeFrame, ToneSignLevelAndGain)
{
    const CodecParameters& p = defaultCodecParameters;
    FrameCodes f = uniformFrame(p, 255, 0, 16, 0, 30);
    f.toneCodes[3] = 1;   // bin 3: level 0, negative
    f.toneCodes[4] = 0;   // bin 4: level 0, positive
    f.toneBins.back() = 599;  // the highest tone bin
    f.toneCodes.back() = 2;   // level -6.4
    std::vector<uint8_t> packet;
    writeFrame(p, f, packet);

    CodecProbe codec;
    Spectra s;
    decodeInto(codec, packet, s);
    const float gain = static_cast<float>(std::pow(2.0, 128.0 / 6.0));
    const float leftFactor = 1.0f - 1.5f / 31.0f;
    EXPECT_FLOAT_EQ(s.left[3].re, -gain * leftFactor);
    EXPECT_FLOAT_EQ(s.left[4].re, gain * leftFactor);
    EXPECT_FLOAT_EQ(s.left[0].re, gain * std::ldexp(1.0f, -16) * leftFactor);
    EXPECT_FLOAT_EQ(s.left[599].re, gain * static_cast<float>(std::pow(2.0, -6.4 / 6.0)) * leftFactor);
}

TEST(DecodeFrame, BalancePerBandAndPhaseOnlyInsideThePhaseBins)
{
    const CodecParameters& p = defaultCodecParameters;
    FrameCodes f = uniformFrame(p, 40, 0, 16, 31, 30);
    f.balance = {0, 31, 10, 21};
    f.phase = {16, 0, 32, 8};
    std::vector<uint8_t> packet;
    writeFrame(p, f, packet);

    CodecProbe codec;
    Spectra s;
    decodeInto(codec, packet, s);

    const int phaseEdges[5] = {0, 38, 151, 338, 600};
    const double pi = 3.14159265358979323846;
    for (int k = 32; k < 704; ++k) {  // noise bins, full level
        const int band = k < 44 ? 0 : (k < 177 ? 1 : (k < 396 ? 2 : 3));
        const double bias = 1.0 - 2.0 * f.balance[band] / 31.0;
        const double leftScale = 1.0 + 1.5 * bias;
        const double rightScale = 1.0 - 1.5 * bias;
        // Undo the phase turn to recover the real balanced values.
        double angle = 0.0;
        for (int i = 0; i < 4; ++i) {
            if (k >= phaseEdges[i] && k < phaseEdges[i + 1]) {
                angle = 2.0 * pi * f.phase[i] / 64.0;
            }
        }
        const double lMag = std::hypot(s.left[k].re, s.left[k].im);
        const double rMag = std::hypot(s.right[k].re, s.right[k].im);
        if (k >= 600) {
            ASSERT_EQ(s.left[k].im, 0.0f) << k;
            ASSERT_EQ(s.right[k].im, 0.0f) << k;
        }
        // Left turned by +angle, right by -angle from a real value.
        const double lRe = s.left[k].re * std::cos(angle) + s.left[k].im * std::sin(angle);
        const double rRe = s.right[k].re * std::cos(angle) - s.right[k].im * std::sin(angle);
        ASSERT_NEAR(std::fabs(lRe), lMag, 1e-5 * (lMag + 1e-3)) << k;
        ASSERT_NEAR(std::fabs(rRe), rMag, 1e-5 * (rMag + 1e-3)) << k;
        // Both channels come from the same mono value: their ratio is the balance.
        if (std::fabs(rightScale) > 1e-3 && std::fabs(rRe) > 1e-3) {
            ASSERT_NEAR(lRe / rRe, leftScale / rightScale, 1e-4 * std::fabs(leftScale / rightScale) + 1e-4) << k;
        }
    }
}

TEST(DecodeFrame, QuietestNoiseIsTwoToTheMinusSixteenOfTheGain)
{
    const CodecParameters& p = defaultCodecParameters;
    FrameCodes f = uniformFrame(p, 100, 0, 16, 0, 30);
    std::vector<uint8_t> packet;
    writeFrame(p, f, packet);
    CodecProbe codec;
    CodecProbe generator;
    Spectra s;
    decodeInto(codec, packet, s);
    const float gain = static_cast<float>(fromLevel(32.0 + 96.0 * 100 / 255.0));
    double largest = 0.0;
    for (int k = 0; k < 704; ++k) {
        const double u = LiteralSteps{generator}.nextNoise();
        if (k < 32) {
            continue;
        }
        const double y = s.left[k].re / (1.0 - 1.5 / 31.0);
        ASSERT_NEAR(y, gain * u * std::ldexp(1.0, -16), 4e-6 * gain * std::ldexp(1.0, -16)) << k;
        largest = std::max(largest, std::fabs(y));
    }
    // Not silence: the noise reaches close to twice its amplitude.
    EXPECT_GT(largest, 1.9 * gain * std::ldexp(1.0, -16));
}

TEST(DecodeFrame, OutputsAreOverwrittenNotAccumulated)
{
    CodecProbe a;
    CodecProbe b;
    Spectra clean;
    Spectra dirty;
    for (int k = 0; k < blockLength; ++k) {
        dirty.left[k] = Complex{1e20f, -3.0f};
        dirty.right[k] = Complex{std::nanf(""), 5.0f};
    }
    decodeInto(a, silentPacket, clean);
    decodeInto(b, silentPacket, dirty);
    EXPECT_TRUE(sameBits(clean.left, dirty.left));
    EXPECT_TRUE(sameBits(clean.right, dirty.right));
}

TEST(DecodeFrame, FrameWithoutTonesIsAllNoise)
{
    CodecParameters p = defaultCodecParameters;
    p.toneCount = 0;
    CodecProbe codec(p);
    ASSERT_TRUE(codec.decoderUsable);
    FrameCodes f = uniformFrame(p, 0, 0, 16, 31, 0);
    std::vector<uint8_t> packet;
    const int bits = writeFrame(p, f, packet);
    Spectra s;
    EXPECT_EQ(decodeInto(codec, packet, s), bits);
    CodecProbe generator;
    for (int k = 0; k < 704; ++k) {
        const float y = floorGain * static_cast<float>(LiteralSteps{generator}.nextNoise());
        ASSERT_NEAR(s.left[k].re, y * (1.0f - 1.5f / 31.0f), 1e-6f * std::fabs(y) + 1e-6f) << k;
    }
}

TEST(DecodeFrame, BlockOutsideTheLimitsDecodesToSilenceAndReadsNothing)
{
    CodecParameters p = defaultCodecParameters;
    p.noiseBins = 2000;
    CodecProbe codec(p);
    EXPECT_FALSE(codec.decoderUsable);
    Spectra s;
    for (int k = 0; k < blockLength; ++k) {
        s.left[k] = Complex{1.0f, 1.0f};
        s.right[k] = Complex{1.0f, 1.0f};
    }
    EXPECT_EQ(decodeInto(codec, silentPacket, s), 0);
    for (int k = 0; k < blockLength; ++k) {
        ASSERT_EQ(s.left[k].re, 0.0f);
        ASSERT_EQ(s.left[k].im, 0.0f);
        ASSERT_EQ(s.right[k].re, 0.0f);
        ASSERT_EQ(s.right[k].im, 0.0f);
    }
    EXPECT_EQ(codec.noiseCounter, 0);
}

namespace {

// Stands in for the frame encoder: writes the silent packet plus a few
// extra bits, so that the round trip sees a frame that is not whole bytes.
class ScriptedCodec : public CodecProbe {
public:
    explicit ScriptedCodec(int extraBits) : extra(extraBits) {}
    void encodeFrame(Complex*, Complex*, da_BinWriter& out) override
    {
        ++encodeCalls;
        for (int i = 0; i < 128; ++i) {
            out.writeBits((silentPacket[i / 8] >> (i % 8)) & 1, 1);
        }
        out.writeBits(0, extra);
    }
    int extra;
    int encodeCalls = 0;
};

}  // namespace

TEST(RoundTripFrame, CountsWholeBytesAndDecodesWhatWasWritten)
{
    for (const int extra : {0, 1, 7, 8, 13}) {
        ScriptedCodec codec(extra);
        Spectra s;
        for (int k = 0; k < blockLength; ++k) {
            s.left[k] = Complex{3.0f, 4.0f};
            s.right[k] = Complex{-1.0f, 2.0f};
        }
        const int expectedBits = (128 + extra + 7) / 8 * 8;
        EXPECT_EQ(codec.roundTripFrame(s.left.data(), s.right.data()), expectedBits);
        EXPECT_EQ(codec.roundTripFrame(s.left.data(), s.right.data()), expectedBits);
        EXPECT_EQ(codec.encodeCalls, 2);
        EXPECT_EQ(codec.framesCounted, 2);
        EXPECT_EQ(codec.bitsCounted, 2 * expectedBits);
        EXPECT_EQ(codec.decodedToneCodes, std::vector<int>(32, 30));

        // The spectra are what a decoder makes of the packet, here its
        // second frame (the generator is shared with decodeFrame).
        CodecProbe decoder;
        Spectra expected;
        decodeInto(decoder, silentPacket, expected);
        decodeInto(decoder, silentPacket, expected);
        EXPECT_TRUE(sameBits(s.left, expected.left));
        EXPECT_TRUE(sameBits(s.right, expected.right));
    }
}
