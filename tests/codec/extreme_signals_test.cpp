// Signals at the edges of the 16-bit range through the whole codec in
// memory: full-scale square waves down to the Nyquist-rate alternation, DC
// at both rails, full-scale white noise, a lone click, and a full-scale
// burst after a long digital silence. Every stage is watched: the analysis
// spectra, the encoder's normalised mono spectrum, the packet, the decoded
// spectra and the synthesis overlap must stay finite, the decoder must read
// exactly the bits written, and every output sample must be its synthesis
// value truncated and limited to 16 bits (never wrapped around).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/encoder_test_support.h"

using namespace encoder_test;

namespace {

bool allFinite(const Complex* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i].re) || !std::isfinite(values[i].im))
            return false;
    return true;
}

bool allFinite(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

// Elb1764 that checks every spectrum passing through it.
class WatchedCodec : public Elb1764 {
public:
    WatchedCodec() : Elb1764(defaultCodecParameters, defaultEncoderTuning) {}

    void encodeFrame(Complex* left, Complex* right, da_BinWriter& out) override
    {
        analysisFinite = analysisFinite && allFinite(left, blockLength) && allFinite(right, blockLength);
        Elb1764::encodeFrame(left, right, out);
        monoFinite = monoFinite && allFinite(encoderMono, blockLength);
    }

    void decodeFrame(da_BinReader& in, Complex* left, Complex* right) override
    {
        Elb1764::decodeFrame(in, left, right);
        decodedFinite = decodedFinite && allFinite(left, blockLength) && allFinite(right, blockLength);
    }

    const Complex* overlap() const { return overlapBuffer; }

    bool analysisFinite = true;
    bool monoFinite = true;
    bool decodedFinite = true;
};

// The sample a synthesis value must become: truncated toward zero, limited
// to the 16-bit range.
int16_t limitedSample(float value)
{
    if (value >= 32767.0f)
        return 32767;
    if (value <= -32768.0f)
        return -32768;
    return static_cast<int16_t>(std::trunc(value));
}

using Signal = std::vector<int16_t>;  // interleaved left, right; whole blocks

Signal makeSignal(int blocks, const std::function<int16_t(int)>& left, const std::function<int16_t(int)>& right)
{
    Signal s(static_cast<size_t>(blocks) * blockSamples);
    for (int n = 0; n < blocks * blockLength; ++n) {
        s[2 * static_cast<size_t>(n)] = left(n);
        s[2 * static_cast<size_t>(n) + 1] = right(n);
    }
    return s;
}

// Full-scale square wave of the given period in samples (2: alternation at
// the Nyquist rate), starting at the top rail.
std::function<int16_t(int)> square(int period, bool inverted = false)
{
    return [period, inverted](int n) -> int16_t {
        const bool high = (n % period) < period / 2;
        return high != inverted ? 32767 : -32768;
    };
}

std::function<int16_t(int)> constant(int16_t value)
{
    return [value](int) { return value; };
}

struct Outcome {
    Signal decoded;       // one block late, as the codec delivers it
    int clampedHigh = 0;  // samples limited at the rails
    int clampedLow = 0;
    int maxFrameBits = 0;
};

// Encodes block after block and decodes each packet at once with a second
// codec, checking each stage as it goes.
Outcome roundTrip(const Signal& input)
{
    Outcome result;
    WatchedCodec encoder;
    WatchedCodec decoder;
    const int blocks = static_cast<int>(input.size() / blockSamples);
    for (int b = 0; b < blocks; ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        std::vector<uint8_t> buffer(1024, 0);
        da_BinWriter out(buffer.data(), static_cast<int>(buffer.size()));
        EXPECT_TRUE(encoder.pushSamples(input.data() + static_cast<size_t>(b) * blockSamples));
        EXPECT_TRUE(encoder.analyzeAndEncode(out));
        const int frameBits = out.bitPosition;
        EXPECT_FALSE(out.overflowed());
        EXPECT_LE(frameBits, 8192);
        result.maxFrameBits = std::max(result.maxFrameBits, frameBits);
        out.writeBits(0, (8 - frameBits % 8) % 8);

        // The decoder gets an array of exactly the packet's length.
        const std::vector<uint8_t> packet(buffer.begin(), buffer.begin() + out.bitPosition / 8);
        da_BinReader in(packet.data(), static_cast<int>(packet.size()));
        EXPECT_TRUE(decoder.decodeAndSynthesize(in));
        EXPECT_EQ(in.bitPosition, frameBits);
        EXPECT_FALSE(in.overflowed());
        EXPECT_TRUE(allFinite(decoder.overlap(), windowLength));

        int16_t expected[blockSamples];
        for (int n = 0; n < blockLength; ++n) {
            expected[2 * n] = limitedSample(decoder.overlap()[n].re);
            expected[2 * n + 1] = limitedSample(decoder.overlap()[n].im);
            for (float v : {decoder.overlap()[n].re, decoder.overlap()[n].im}) {
                result.clampedHigh += v > 32767.0f;
                result.clampedLow += v < -32768.0f;
            }
        }
        int16_t block[blockSamples];
        EXPECT_TRUE(decoder.popSamples(block));
        EXPECT_TRUE(std::equal(block, block + blockSamples, expected));
        result.decoded.insert(result.decoded.end(), block, block + blockSamples);
    }
    EXPECT_TRUE(encoder.analysisFinite);
    EXPECT_TRUE(encoder.monoFinite);
    EXPECT_TRUE(decoder.decodedFinite);
    return result;
}

// Largest magnitude of the decoded samples of blocks [first, last).
int peak(const Signal& s, int first, int last)
{
    int m = 0;
    for (size_t i = static_cast<size_t>(first) * blockSamples; i < static_cast<size_t>(last) * blockSamples; ++i)
        m = std::max(m, std::abs(static_cast<int>(s[i])));
    return m;
}

// Mean of one channel over blocks [first, last).
double mean(const Signal& s, int channel, int first, int last)
{
    double sum = 0.0;
    for (int n = first * blockLength; n < last * blockLength; ++n)
        sum += s[2 * static_cast<size_t>(n) + static_cast<size_t>(channel)];
    return sum / ((last - first) * blockLength);
}

class ExtremeSignals : public ::testing::Test {};

}  // namespace

TEST_F(ExtremeSignals, FullScaleSquareWavesOfEveryPeriod)
{
    // Period 2 is the alternation at the Nyquist rate; 1764 is one period
    // per analysis window.
    for (int period : {2, 4, 6, 16, 50, 101, 882, 1764}) {
        SCOPED_TRACE("period " + std::to_string(period));
        const Outcome o = roundTrip(makeSignal(8, square(period), square(period, true)));
        if (period > 2) {
            // The fundamental lies below 17.6 kHz and is coded: the output is
            // far from silent once the onset has passed.
            EXPECT_GT(peak(o.decoded, 2, 8), 2000);
        } else {
            // At the Nyquist rate nothing lies in the coded range: after the
            // onset (a step, which has low frequencies) the output is
            // nearly silent rather than noise from an overflowed level.
            EXPECT_LT(peak(o.decoded, 2, 8), 64);
        }
    }
}

TEST_F(ExtremeSignals, DirectCurrentAtBothRailsKeepsItsSign)
{
    // A sample wrapped around at the limits would flip sign: a positive DC
    // must decode to a clearly positive mean, a negative one to a negative.
    const Outcome top = roundTrip(makeSignal(8, constant(32767), constant(32767)));
    const Outcome bottom = roundTrip(makeSignal(8, constant(-32768), constant(-32768)));
    const Outcome apart = roundTrip(makeSignal(8, constant(32767), constant(-32768)));
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_GT(mean(top.decoded, channel, 3, 8), 8000.0) << channel;
        EXPECT_LT(mean(bottom.decoded, channel, 3, 8), -8000.0) << channel;
    }
    EXPECT_GT(mean(apart.decoded, 0, 3, 8) - mean(apart.decoded, 1, 3, 8), 8000.0);
}

TEST_F(ExtremeSignals, RailToRailAlternationInAndOutOfPhase)
{
    // -32768, 32767, -32768, ...: after the onset all energy lies at the very
    // top of the spectrum, which is not coded, so the decoder must give
    // (nearly) silence, not noise from an overflowed level.
    const auto alternate = [](int n) -> int16_t { return n % 2 ? 32767 : -32768; };
    const auto opposite = [](int n) -> int16_t { return n % 2 ? -32768 : 32767; };
    const Outcome same = roundTrip(makeSignal(8, alternate, alternate));
    const Outcome mirrored = roundTrip(makeSignal(8, alternate, opposite));
    EXPECT_LT(peak(same.decoded, 2, 8), 64);
    EXPECT_LT(peak(mirrored.decoded, 2, 8), 64);
}

TEST_F(ExtremeSignals, FullScaleWhiteNoise)
{
    std::mt19937 random(1764);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<int16_t> left(12 * blockLength), right(12 * blockLength);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<int16_t>(any(random));
        right[i] = static_cast<int16_t>(any(random));
    }
    const Outcome o = roundTrip(makeSignal(12, [&](int n) { return left[static_cast<size_t>(n)]; },
                                           [&](int n) { return right[static_cast<size_t>(n)]; }));
    EXPECT_GT(peak(o.decoded, 2, 12), 8000);
    // Noise this loud uses the largest frames there are; they still fit.
    EXPECT_GT(o.maxFrameBits, 16 * 8);
}

TEST_F(ExtremeSignals, SingleClickInSilence)
{
    // One full-scale sample on the left in block 4. The frames that see it
    // are the windows holding block 4 (decoded blocks 4 and 5); the rest
    // stays silent.
    const int clickAt = 4 * blockLength + 300;
    const Outcome o = roundTrip(makeSignal(10, [clickAt](int n) -> int16_t { return n == clickAt ? 32767 : 0; },
                                           constant(0)));
    EXPECT_LE(peak(o.decoded, 0, 4), 1);
    EXPECT_GT(peak(o.decoded, 4, 7), 0);
    EXPECT_LE(peak(o.decoded, 7, 10), 1);
}

TEST_F(ExtremeSignals, FullScaleBurstAfterLongSilence)
{
    // 100 blocks (2 s) of digital silence, 5 blocks of full-scale square
    // wave, then silence again: the long silence leaves no state that turns
    // the burst into garbage, and the codec returns to silence afterwards.
    const int silentBlocks = 100;
    const int burstBlocks = 5;
    const int begin = silentBlocks * blockLength;
    const int end = (silentBlocks + burstBlocks) * blockLength;
    const auto burst = [begin, end](int n) -> int16_t {
        if (n < begin || n >= end)
            return 0;
        return (n / 40) % 2 ? 32767 : -32768;
    };
    const Outcome o = roundTrip(makeSignal(silentBlocks + burstBlocks + 6, burst, burst));
    EXPECT_LE(peak(o.decoded, 0, silentBlocks), 1);
    EXPECT_GT(peak(o.decoded, silentBlocks + 2, silentBlocks + burstBlocks), 16000);
    EXPECT_LE(peak(o.decoded, silentBlocks + burstBlocks + 3, silentBlocks + burstBlocks + 6), 1);
    // A full-scale square wave overshoots the rails after synthesis: those
    // samples are limited, not wrapped (the comparison in roundTrip checks
    // every one of them).
    EXPECT_GT(o.clampedHigh + o.clampedLow, 0);
}
