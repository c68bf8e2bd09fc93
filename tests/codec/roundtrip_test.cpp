// Sample blocks through the whole codec in memory: pushSamples and
// analyzeAndEncode into one packet per block, then a fresh codec's
// decodeAndSynthesize and popSamples. The decoded signal is one block late.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "codec/elb1764.h"
#include "codec/encoder_test_support.h"
#include "transform/filter_bank.h"

using namespace encoder_test;

namespace {

constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979323846;

class RoundTrip : public ::testing::Test {};

// Interleaved stereo samples, a whole number of blocks.
using Signal = std::vector<int16_t>;

int16_t clampSample(double v) { return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0))); }

Signal makeSignal(int blocks, const std::function<double(int)>& left, const std::function<double(int)>& right) {
    Signal s(static_cast<std::size_t>(blocks) * blockSamples);
    for (int n = 0; n < blocks * blockLength; ++n) {
        s[2 * static_cast<std::size_t>(n)] = clampSample(left(n));
        s[2 * static_cast<std::size_t>(n) + 1] = clampSample(right(n));
    }
    return s;
}

// Frequency of the centre of bin k.
double binCentre(int k) { return (k + 0.5) * 25.0; }

struct Encoded {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<int> bits;
    bool overflowed = false;
};

Encoded encodeSignal(const Signal& signal, const CodecParameters& parameters = defaultCodecParameters) {
    Encoded e;
    Elb1764 codec(parameters, defaultEncoderTuning);
    const int blocks = static_cast<int>(signal.size() / blockSamples);
    for (int b = 0; b < blocks; ++b) {
        std::vector<uint8_t> buffer(1024, 0);
        da_BinWriter out(buffer.data(), 1024);
        EXPECT_TRUE(codec.pushSamples(signal.data() + static_cast<std::size_t>(b) * blockSamples));
        EXPECT_TRUE(codec.analyzeAndEncode(out));
        e.overflowed = e.overflowed || out.overflowed();
        e.bits.push_back(out.bitPosition);
        out.writeBits(0, (8 - out.bitPosition % 8) % 8);
        buffer.resize(static_cast<std::size_t>(out.bitPosition / 8));
        e.packets.push_back(buffer);
    }
    return e;
}

struct Decoded {
    Signal samples;
    std::vector<int> bitsRead;
};

Decoded decodePackets(const Encoded& e, const CodecParameters& parameters = defaultCodecParameters) {
    Decoded d;
    Elb1764 codec(parameters, defaultEncoderTuning);
    int16_t block[blockSamples];
    for (const std::vector<uint8_t>& packet : e.packets) {
        da_BinReader in(packet.data(), static_cast<int>(packet.size()));
        EXPECT_TRUE(codec.decodeAndSynthesize(in));
        d.bitsRead.push_back(in.bitPosition);
        EXPECT_TRUE(codec.popSamples(block));
        d.samples.insert(d.samples.end(), block, block + blockSamples);
    }
    return d;
}

// Correlation of one channel over blocks [first, last) with e^(-i w n):
// amplitude and phase of the component at frequency f.
std::complex<double> component(const Signal& s, int channel, int first, int last, double f) {
    std::complex<double> sum = 0.0;
    const double w = 2.0 * pi * f / sampleRate;
    int count = 0;
    for (int n = first * blockLength; n < last * blockLength; ++n, ++count)
        sum += static_cast<double>(s[2 * static_cast<std::size_t>(n) + channel]) * std::polar(1.0, -w * n);
    return sum * (2.0 / count);
}

double energy(const Signal& s, int channel, int first, int last) {
    double e = 0.0;
    for (int n = first * blockLength; n < last * blockLength; ++n) {
        const double v = s[2 * static_cast<std::size_t>(n) + channel];
        e += v * v;
    }
    return e;
}

// Share of a channel's energy within +-2 bins of bin k0, measured with the
// codec's own analysis over the blocks [first, last).
double shareNearBin(const Signal& s, int channel, int first, int last, int k0) {
    double near = 0.0;
    double total = 0.0;
    std::vector<Complex> frame(windowLength);
    std::vector<Complex> left(blockLength), right(blockLength);
    for (int b = first; b + 1 < last; ++b) {
        for (int n = 0; n < windowLength; ++n) {
            const std::size_t at = 2 * (static_cast<std::size_t>(b) * blockLength + static_cast<std::size_t>(n));
            frame[static_cast<std::size_t>(n)] = Complex{static_cast<float>(s[at]), static_cast<float>(s[at + 1])};
        }
        analyzeFrame(frame.data(), left.data(), right.data());
        const std::vector<Complex>& spectrum = channel == 0 ? left : right;
        for (int k = 0; k < blockLength; ++k) {
            const double p = std::norm(std::complex<double>(spectrum[static_cast<std::size_t>(k)].re,
                                                            spectrum[static_cast<std::size_t>(k)].im));
            total += p;
            if (std::abs(k - k0) <= 2) near += p;
        }
    }
    return total > 0.0 ? near / total : 0.0;
}

void expectWellFormed(const Encoded& e, const Decoded& d) {
    EXPECT_FALSE(e.overflowed);
    ASSERT_EQ(e.bits.size(), d.bitsRead.size());
    for (std::size_t i = 0; i < e.bits.size(); ++i) {
        EXPECT_LE(e.bits[i], 8192) << "frame " << i;
        EXPECT_EQ(d.bitsRead[i], e.bits[i]) << "frame " << i;
    }
}

}  // namespace

TEST_F(RoundTrip, PureToneIsSentAsToneAndDecodesAtItsFrequency) {
    const int k0 = 40;
    const double f = binCentre(k0);
    const auto tone = [f](int n) { return 8000.0 * std::cos(2.0 * pi * f * n / sampleRate + 0.3); };
    const Signal input = makeSignal(12, tone, tone);
    const Encoded e = encodeSignal(input);
    const Decoded d = decodePackets(e);
    expectWellFormed(e, d);

    for (std::size_t frame = 1; frame < e.packets.size(); ++frame) {
        const FrameFields fields = readFrame(e.packets[frame], defaultCodecParameters);
        const auto at = std::find(fields.toneBins.begin(), fields.toneBins.end(), k0);
        ASSERT_NE(at, fields.toneBins.end()) << "frame " << frame;
    }
    // Decoded blocks 2..11 are input blocks 1..10.
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_GT(shareNearBin(d.samples, channel, 2, 12, k0), 0.9) << "channel " << channel;
        const double amplitude = std::abs(component(d.samples, channel, 2, 12, f));
        EXPECT_GT(amplitude, 8000.0 * 0.5) << "channel " << channel;
        EXPECT_LT(amplitude, 8000.0 * 1.5) << "channel " << channel;
    }
}

TEST_F(RoundTrip, LeftOnlySignalStaysLeft) {
    std::mt19937 rng(31);
    std::normal_distribution<double> normal(0.0, 3000.0);
    std::vector<double> noise(12 * blockLength);
    for (double& v : noise) v = normal(rng);
    const Signal input = makeSignal(12, [&noise](int n) { return noise[static_cast<std::size_t>(n)]; },
                                    [](int) { return 0.0; });
    const Encoded e = encodeSignal(input);
    const Decoded d = decodePackets(e);
    expectWellFormed(e, d);
    for (std::size_t frame = 1; frame < e.packets.size(); ++frame) {
        const FrameFields fields = readFrame(e.packets[frame], defaultCodecParameters);
        for (int band = 0; band < 4; ++band) EXPECT_LE(fields.balanceCodes[band], 6) << "frame " << frame;
    }
    const double left = energy(d.samples, 0, 2, 12);
    const double right = energy(d.samples, 1, 2, 12);
    EXPECT_GT(left, 0.0);
    EXPECT_LT(right, left * 0.01);
}

TEST_F(RoundTrip, EqualChannelsAreCentredAndInPhase) {
    std::mt19937 rng(37);
    std::normal_distribution<double> normal(0.0, 3000.0);
    std::vector<double> noise(8 * blockLength);
    for (double& v : noise) v = normal(rng);
    const auto same = [&noise](int n) { return noise[static_cast<std::size_t>(n)]; };
    const Encoded e = encodeSignal(makeSignal(8, same, same));
    const Decoded d = decodePackets(e);
    expectWellFormed(e, d);
    for (std::size_t frame = 0; frame < e.packets.size(); ++frame) {
        const FrameFields fields = readFrame(e.packets[frame], defaultCodecParameters);
        EXPECT_EQ(fields.phaseCodes, std::vector<int>(4, 0)) << "frame " << frame;
        // The analysis gives the two channels spectra equal only to within
        // rounding, and the centre ratio 1/2 is exactly the quantiser's
        // rounding point between codes 15 and 16 (15.5): either is centred
        // to within half a step.
        for (int code : fields.balanceCodes) {
            EXPECT_TRUE(code == 15 || code == 16) << "frame " << frame << " code " << code;
        }
    }
    // Decoded channels differ by at most the half step's 1.5/31 each way.
    double sum = 0.0;
    double difference = 0.0;
    for (int n = 2 * blockLength; n < 8 * blockLength; ++n) {
        const double l = d.samples[2 * static_cast<std::size_t>(n)];
        const double r = d.samples[2 * static_cast<std::size_t>(n) + 1];
        sum += (l + r) * (l + r);
        difference += (l - r) * (l - r);
    }
    EXPECT_GT(sum, 0.0);
    EXPECT_LT(difference, sum * 0.01);
}

TEST_F(RoundTrip, InterChannelPhaseOffsetGetsTheMatchingCode) {
    // Left leads by phi and right lags by phi at the centre of bin 60 (phase
    // band 1): the band needs a turn of -phi, code -5 of 64 up to a half
    // turn (which the tone's sign carries).
    const int k0 = 60;
    const double f = binCentre(k0);
    const double phi = 2.0 * pi * 5.0 / 64.0;
    const Signal input = makeSignal(
        10, [&](int n) { return 6000.0 * std::cos(2.0 * pi * f * n / sampleRate + phi); },
        [&](int n) { return 6000.0 * std::cos(2.0 * pi * f * n / sampleRate - phi); });
    const Encoded e = encodeSignal(input);
    const Decoded d = decodePackets(e);
    expectWellFormed(e, d);
    for (std::size_t frame = 1; frame < e.packets.size(); ++frame) {
        const FrameFields fields = readFrame(e.packets[frame], defaultCodecParameters);
        EXPECT_EQ(fields.phaseCodes[1] % 32, 27) << "frame " << frame;
    }
    // The decoded channels keep their phase difference of 2 phi.
    const std::complex<double> left = component(d.samples, 0, 2, 10, f);
    const std::complex<double> right = component(d.samples, 1, 2, 10, f);
    const double difference = std::arg(left / right);
    EXPECT_NEAR(difference, 2.0 * phi, 0.1);
}

TEST_F(RoundTrip, SilenceStaysSilent) {
    const Signal input = makeSignal(6, [](int) { return 0.0; }, [](int) { return 0.0; });
    const Encoded e = encodeSignal(input);
    const Decoded d = decodePackets(e);
    expectWellFormed(e, d);
    for (std::size_t frame = 0; frame < e.packets.size(); ++frame) EXPECT_EQ(e.packets[frame].size(), 16u);
    for (int16_t v : d.samples) EXPECT_LE(std::abs(static_cast<int>(v)), 1);
}

TEST_F(RoundTrip, ExtremeSignalsStayWithinThePacketAndDecodeExactly) {
    std::mt19937 rng(41);
    std::uniform_int_distribution<int> full(-32768, 32767);
    std::vector<double> white(16 * blockLength * 2);
    for (double& v : white) v = full(rng);
    struct Case {
        const char* name;
        std::function<double(int)> left;
        std::function<double(int)> right;
        bool coded;  // false: all energy lies above bin 703, which is not sent
    };
    const std::vector<Case> cases = {
        {"square waves", [](int n) { return (n / 50) % 2 ? 32767.0 : -32768.0; },
         [](int n) { return (n / 7) % 2 ? -32768.0 : 32767.0; }, true},
        {"DC at the top rail", [](int) { return 32767.0; }, [](int) { return 32767.0; }, true},
        {"DC at the bottom rail", [](int) { return -32768.0; }, [](int) { return -32768.0; }, true},
        {"DC at opposite rails", [](int) { return 32767.0; }, [](int) { return -32768.0; }, true},
        {"white noise", [&white](int n) { return white[2 * static_cast<std::size_t>(n)]; },
         [&white](int n) { return white[2 * static_cast<std::size_t>(n) + 1]; }, true},
        {"alternating rails", [](int n) { return n % 2 ? 32767.0 : -32768.0; },
         [](int n) { return n % 2 ? -32768.0 : 32767.0; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Encoded e = encodeSignal(makeSignal(16, c.left, c.right));
        const Decoded d = decodePackets(e);
        expectWellFormed(e, d);
        // The codec carries the level: not silent after the lead-in, unless
        // everything lies at the top of the spectrum (alternating rails are
        // the highest frequency there is).
        const double decoded = energy(d.samples, 0, 2, 16) + energy(d.samples, 1, 2, 16);
        if (c.coded) {
            EXPECT_GT(decoded, 0.0);
        } else {
            EXPECT_LT(decoded, 2.0 * 14 * blockLength);
        }
    }
}

TEST_F(RoundTrip, EncodingIsDeterministic) {
    std::mt19937 rng(43);
    std::normal_distribution<double> normal(0.0, 5000.0);
    std::vector<double> noise(8 * blockLength * 2);
    for (double& v : noise) v = normal(rng);
    const Signal input = makeSignal(8, [&](int n) { return noise[2 * static_cast<std::size_t>(n)] + 4000.0 * std::sin(n * 0.05); },
                                    [&](int n) { return noise[2 * static_cast<std::size_t>(n) + 1]; });
    const Encoded first = encodeSignal(input);
    const Encoded second = encodeSignal(input);
    EXPECT_EQ(first.packets, second.packets);
    EXPECT_EQ(decodePackets(first).samples, decodePackets(second).samples);
}

TEST_F(RoundTrip, RoundTripFrameReportsWholeBytesOfTheSameFrame) {
    std::mt19937 rng(47);
    std::normal_distribution<float> normal(0.0f, 800.0f);
    Elb1764 roundTrip(defaultCodecParameters, defaultEncoderTuning);
    Elb1764 encoder(defaultCodecParameters, defaultEncoderTuning);
    for (int frame = 0; frame < 10; ++frame) {
        std::vector<Complex> left(blockLength), right(blockLength);
        for (int k = 0; k < blockLength; ++k) {
            const float scale = frame % 3 == 0 ? 0.0f : 1.0f / (1.0f + static_cast<float>(k) * 0.02f);
            left[k] = Complex{normal(rng) * scale, normal(rng) * scale};
            right[k] = Complex{normal(rng) * scale, normal(rng) * scale};
        }
        int bits = 0;
        encodePacket(encoder, left, right, &bits);
        const int reported = roundTrip.roundTripFrame(left.data(), right.data());
        EXPECT_EQ(reported % 8, 0);
        EXPECT_EQ(reported, (bits + 7) / 8 * 8) << "frame " << frame;
        // The spectra now hold the decoder's output: nothing above bin 703.
        for (int k = 704; k < blockLength; ++k) {
            EXPECT_EQ(left[k].re, 0.0f);
            EXPECT_EQ(right[k].im, 0.0f);
        }
    }
}

TEST_F(RoundTrip, WhiteNoiseKeepsItsLevel) {
    std::mt19937 rng(53);
    std::normal_distribution<double> normal(0.0, 4000.0);
    std::vector<double> noise(12 * blockLength * 2);
    for (double& v : noise) v = normal(rng);
    const Signal input = makeSignal(12, [&](int n) { return noise[2 * static_cast<std::size_t>(n)]; },
                                    [&](int n) { return noise[2 * static_cast<std::size_t>(n) + 1]; });
    const Decoded d = decodePackets(encodeSignal(input));
    // Input blocks 1..10 against decoded blocks 2..11. Above bin 703 nothing
    // is coded (about a fifth of white noise's energy), and the noise level
    // is a power mean, so the decoded level is lower but of the same order.
    for (int channel = 0; channel < 2; ++channel) {
        const double ratio = energy(d.samples, channel, 2, 12) / energy(input, channel, 1, 11);
        EXPECT_GT(ratio, 0.25) << "channel " << channel;
        EXPECT_LT(ratio, 2.0) << "channel " << channel;
    }
}
