// The fast path of Elb1764 against the reference path: identical packets,
// identical decoded spectra and samples, on generated material through the
// whole in-memory pipeline, under every vector-kernel variant this machine
// runs; and step by step on inputs chosen to break a careless reordering
// (ties, silent bands, huge and tiny values, odd band lengths, other
// parameter blocks).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/frame_steps.h"
#include "codec/encoder_test_support.h"
#include "codec/fast_path_data.h"
#include "codec/level_scale.h"
#include "codec/parameter_limits.h"
#include "codec/tone_selection.h"
#include "simd/kernels.h"

using namespace encoder_test;

namespace {

constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979323846;

using Signal = std::vector<int16_t>;  // interleaved stereo, whole blocks

int16_t clampSample(double v) { return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0))); }

Signal makeSignal(int blocks, const std::function<void(int, double&, double&)>& at) {
    Signal s(static_cast<std::size_t>(blocks) * blockSamples);
    for (int n = 0; n < blocks * blockLength; ++n) {
        double left = 0.0;
        double right = 0.0;
        at(n, left, right);
        s[2 * static_cast<std::size_t>(n)] = clampSample(left);
        s[2 * static_cast<std::size_t>(n) + 1] = clampSample(right);
    }
    return s;
}

struct Material {
    std::string name;
    Signal signal;
};

// About nine seconds in all, each piece with its own character.
std::vector<Material> variedMaterial() {
    std::vector<Material> m;
    // Chords with harmonics changing every quarter second, panned voices, a
    // little noise.
    m.push_back({"chords", makeSignal(75, [](int n, double& l, double& r) {
                     static std::mt19937 rng(11);
                     static std::normal_distribution<double> hiss(0.0, 40.0);
                     const double roots[] = {130.81, 146.83, 164.81, 196.0, 220.0};
                     const double f0 = roots[(n / 11025) % 5];
                     const double t = n / sampleRate;
                     double a = 0.0;
                     double b = 0.0;
                     for (int v = 0; v < 3; ++v) {
                         const double f = f0 * (v == 0 ? 1.0 : v == 1 ? 1.25 : 1.5);
                         for (int h = 1; h <= 8; ++h) {
                             const double x = std::sin(2.0 * pi * f * h * t + v) / (h * h);
                             a += x * (1.0 - 0.3 * v);
                             b += x * (0.4 + 0.3 * v);
                         }
                     }
                     const double envelope = std::exp(-3.0 * ((n % 11025) / sampleRate));
                     l = 6000.0 * envelope * a + hiss(rng);
                     r = 6000.0 * envelope * b + hiss(rng);
                 })});
    m.push_back({"noise", makeSignal(50, [](int, double& l, double& r) {
                     static std::mt19937 rng(12);
                     static std::normal_distribution<double> normal(0.0, 5000.0);
                     l = normal(rng);
                     r = 0.5 * l + normal(rng) * 0.5;
                 })});
    m.push_back({"tones", makeSignal(50, [](int n, double& l, double& r) {
                     const double t = n / sampleRate;
                     l = 9000.0 * std::sin(2.0 * pi * 440.0 * t) + 3000.0 * std::sin(2.0 * pi * 5012.5 * t);
                     r = 9000.0 * std::sin(2.0 * pi * 440.0 * t + 1.0) + 200.0 * std::sin(2.0 * pi * 12000.0 * t);
                 })});
    m.push_back({"square", makeSignal(50, [](int n, double& l, double& r) {
                     l = (n / 50) % 2 ? 20000.0 : -20000.0;  // 441 Hz, odd harmonics up the spectrum
                     r = (n / 173) % 2 ? 32767.0 : -32768.0;  // full scale
                 })});
    m.push_back({"silence then burst", makeSignal(50, [](int n, double& l, double& r) {
                     static std::mt19937 rng(13);
                     static std::normal_distribution<double> normal(0.0, 12000.0);
                     l = r = 0.0;
                     if (n > 20 * blockLength + 300 && n < 22 * blockLength) l = r = normal(rng);
                     if (n > 35 * blockLength) l = 15000.0 * std::sin(2.0 * pi * 1000.0 * n / sampleRate);
                 })});
    m.push_back({"stereo phase offsets", makeSignal(60, [](int n, double& l, double& r) {
                     const double t = n / sampleRate;
                     const double lag = 0.4 + 2.0 * std::sin(2.0 * pi * 0.5 * t);  // a phase that drifts
                     l = r = 0.0;
                     for (int h = 1; h <= 10; ++h) {
                         const double f = 180.0 * h * 1.01;
                         l += 2500.0 / h * std::sin(2.0 * pi * f * t);
                         r += 2500.0 / h * std::sin(2.0 * pi * f * t + lag * h);
                     }
                 })});
    m.push_back({"left only", makeSignal(40, [](int n, double& l, double& r) {
                     const double t = n / sampleRate;
                     l = 8000.0 * std::sin(2.0 * pi * (300.0 + 2000.0 * t) * t);  // a sweep
                     r = 0.0;
                 })});
    m.push_back({"quiet", makeSignal(25, [](int n, double& l, double& r) {
                     l = (n % 7) - 3;  // a few units: frames near the gain floor
                     r = (n % 5) == 0 ? 1.0 : 0.0;
                 })});
    return m;
}

const std::vector<Material>& material() {
    static const std::vector<Material> m = variedMaterial();
    return m;
}

struct PipelineRun {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<std::vector<Complex>> spectra;  // per frame: left then right, 2 x 882
    Signal samples;
};

// Encodes with one path and decodes with the same path, as the two jobs do.
PipelineRun runPipeline(const Signal& signal, CodecPath path, InstructionSet set = bestInstructionSet()) {
    PipelineRun run;
    const CodecOptions options{path, set};
    Elb1764 encoder(defaultCodecParameters, defaultEncoderTuning, options);
    const int blocks = static_cast<int>(signal.size() / blockSamples);
    for (int b = 0; b < blocks; ++b) {
        std::vector<uint8_t> packet(1024, 0);
        da_BinWriter out(packet.data(), 1024);
        encoder.pushSamples(signal.data() + static_cast<std::size_t>(b) * blockSamples);
        encoder.analyzeAndEncode(out);
        out.writeBits(0, (8 - out.bitPosition % 8) % 8);
        packet.resize(static_cast<std::size_t>(out.bitPosition / 8));
        run.packets.push_back(packet);
    }
    // Spectra straight from decodeFrame, samples through the frame buffers.
    Elb1764 spectra(defaultCodecParameters, defaultEncoderTuning, options);
    Elb1764 decoder(defaultCodecParameters, defaultEncoderTuning, options);
    int16_t block[blockSamples];
    for (const std::vector<uint8_t>& packet : run.packets) {
        std::vector<Complex> both(2 * blockLength);
        da_BinReader in(packet.data(), static_cast<int>(packet.size()));
        spectra.decodeFrame(in, both.data(), both.data() + blockLength);
        run.spectra.push_back(both);
        da_BinReader again(packet.data(), static_cast<int>(packet.size()));
        decoder.decodeAndSynthesize(again);
        decoder.popSamples(block);
        run.samples.insert(run.samples.end(), block, block + blockSamples);
    }
    return run;
}

void expectSameRun(const PipelineRun& reference, const PipelineRun& fast, const std::string& what) {
    ASSERT_EQ(reference.packets.size(), fast.packets.size()) << what;
    for (std::size_t i = 0; i < reference.packets.size(); ++i) {
        ASSERT_EQ(reference.packets[i].size(), fast.packets[i].size()) << what << ", frame " << i;
        ASSERT_EQ(std::memcmp(reference.packets[i].data(), fast.packets[i].data(), reference.packets[i].size()), 0)
            << what << ", packet of frame " << i;
        ASSERT_EQ(std::memcmp(reference.spectra[i].data(), fast.spectra[i].data(), 2 * blockLength * sizeof(Complex)), 0)
            << what << ", decoded spectra of frame " << i;
    }
    ASSERT_EQ(reference.samples.size(), fast.samples.size()) << what;
    EXPECT_EQ(std::memcmp(reference.samples.data(), fast.samples.data(), reference.samples.size() * sizeof(int16_t)), 0)
        << what << ": decoded samples";
}

using FastPath = ::testing::Test;

// ---- the whole pipeline ----

TEST_F(FastPath, PacketsSpectraAndSamplesMatchTheReferenceUnderEveryKernelVariant) {
    const std::vector<InstructionSet> levels = availableInstructionSets();
    ASSERT_FALSE(levels.empty());
    EXPECT_TRUE(instructionSetAvailable(InstructionSet::portable));
    for (const Material& m : material()) {
        const PipelineRun reference = runPipeline(m.signal, CodecPath::reference);
        for (InstructionSet level : levels) {
            expectSameRun(reference, runPipeline(m.signal, CodecPath::fast, level),
                          m.name + " (" + instructionSetName(level) + ")");
        }
    }
}

TEST_F(FastPath, TheFastPathIsTheDefaultAndIsChosenPerCodec) {
    Elb1764 a(defaultCodecParameters, defaultEncoderTuning);
    Elb1764 b(defaultCodecParameters, defaultEncoderTuning, {CodecPath::reference});
    EXPECT_EQ(a.codecPath(), CodecPath::fast);
    EXPECT_EQ(a.instructionSet(), bestInstructionSet());
    EXPECT_EQ(b.codecPath(), CodecPath::reference);
}

// The phase history and the noise generator evolve alike on both paths, so
// every frame leaves the two codecs of each side in the same state.
TEST_F(FastPath, BothPathsCarryTheSameStateFromFrameToFrame) {
    const Signal& signal = material()[0].signal;
    Elb1764 encoders[2] = {{defaultCodecParameters, defaultEncoderTuning, {CodecPath::reference}},
                           {defaultCodecParameters, defaultEncoderTuning}};
    Elb1764 decoders[2] = {{defaultCodecParameters, defaultEncoderTuning, {CodecPath::reference}},
                           {defaultCodecParameters, defaultEncoderTuning}};
    const int blocks = static_cast<int>(signal.size() / blockSamples);
    for (int b = 0; b < blocks; ++b) {
        std::vector<uint8_t> packets[2];
        std::vector<Complex> spectra[2];
        for (int i = 0; i < 2; ++i) {
            packets[i].assign(1024, 0);
            da_BinWriter out(packets[i].data(), 1024);
            encoders[i].pushSamples(signal.data() + static_cast<std::size_t>(b) * blockSamples);
            encoders[i].analyzeAndEncode(out);
            packets[i].resize(static_cast<std::size_t>((out.bitPosition + 7) / 8));
            spectra[i].assign(2 * blockLength, Complex{});
            da_BinReader in(packets[0].data(), static_cast<int>(packets[0].size()));
            decoders[i].decodeFrame(in, spectra[i].data(), spectra[i].data() + blockLength);
        }
        ASSERT_EQ(packets[0], packets[1]) << "frame " << b;
        ASSERT_EQ(std::memcmp(spectra[0].data(), spectra[1].data(), spectra[0].size() * sizeof(Complex)), 0)
            << "frame " << b;
        const NoiseGeneratorState g0 = decoders[0].noiseGenerator(), g1 = decoders[1].noiseGenerator();
        ASSERT_TRUE(g0.counter == g1.counter && g0.state == g1.state) << "frame " << b;
    }
}

// Other parameter blocks: more and narrower bands, wider codes (beyond what
// the tables hold, so the fast path computes those values per use), another
// search grid and other tuning.
TEST_F(FastPath, OtherParameterBlocksAndTuningsGiveTheReferenceBits) {
    CodecParameters wide = defaultCodecParameters;
    wide.phaseBands = 9;
    wide.phaseBits = 13;
    wide.balanceBands = 7;
    wide.noiseBits = 13;
    wide.noiseBands = 20;
    wide.toneBits = 14;
    wide.gainBits = 13;
    wide.toneCount = 12;
    CodecParameters narrow = defaultCodecParameters;
    narrow.phaseBins = 37;
    narrow.phaseBands = 37;  // one bin per band
    narrow.toneBins = 40;
    narrow.toneCount = 40;  // every tone bin taken
    narrow.noiseBins = 882;
    narrow.balanceBins = 882;
    EncoderTuning odd = defaultEncoderTuning;
    odd.phaseSearchSteps = 13;  // not a multiple of any lane count
    odd.phaseSlewRange = 7;
    odd.noiseNormExponent = 1.5f;
    odd.noiseNormExponentSlope = 0.001f;
    odd.balanceNormExponent = 2.0f;
    odd.maskingDecay = 0.6f;
    EncoderTuning single = defaultEncoderTuning;
    single.phaseSearchSteps = 1;
    EncoderTuning fine = defaultEncoderTuning;
    fine.phaseSearchSteps = 5000;  // more trial angles than the tables take

    struct Case {
        const char* name;
        CodecParameters parameters;
        EncoderTuning tuning;
    };
    const Case cases[] = {{"wide codes", wide, odd}, {"narrow bands", narrow, single},
                          {"fine grid", defaultCodecParameters, fine}};
    const Signal& signal = material()[5].signal;
    for (const Case& c : cases) {
        ASSERT_TRUE(codecParametersDecodable(c.parameters)) << c.name;
        for (InstructionSet level : availableInstructionSets()) {
            const CodecOptions onLevel{CodecPath::fast, level};
            Elb1764 reference(c.parameters, c.tuning, {CodecPath::reference});
            Elb1764 fast(c.parameters, c.tuning, onLevel);
            const bool fineGrid = c.tuning.phaseSearchSteps > FastPathData::maxTabledTrials;
            if (fineGrid && level != bestInstructionSet()) continue;  // no kernel runs: once is enough
            const int blocks = fineGrid ? 4 : 24;
            for (int b = 0; b < blocks; ++b) {
                std::vector<uint8_t> packets[2] = {std::vector<uint8_t>(1024, 0), std::vector<uint8_t>(1024, 0)};
                Elb1764* codecs[2] = {&reference, &fast};
                int bits[2] = {};
                for (int i = 0; i < 2; ++i) {
                    da_BinWriter out(packets[i].data(), 1024);
                    codecs[i]->pushSamples(signal.data() + static_cast<std::size_t>(b) * blockSamples);
                    codecs[i]->analyzeAndEncode(out);
                    bits[i] = out.bitPosition;
                }
                ASSERT_EQ(bits[0], bits[1]) << c.name << ", frame " << b;
                ASSERT_EQ(packets[0], packets[1]) << c.name << " (" << instructionSetName(level) << "), frame " << b;
                std::vector<Complex> spectra[2] = {std::vector<Complex>(2 * blockLength),
                                                   std::vector<Complex>(2 * blockLength)};
                for (int i = 0; i < 2; ++i) {
                    da_BinReader in(packets[0].data(), 1024);
                    codecs[i]->decodeFrame(in, spectra[i].data(), spectra[i].data() + blockLength);
                }
                ASSERT_EQ(std::memcmp(spectra[0].data(), spectra[1].data(), spectra[0].size() * sizeof(Complex)), 0)
                    << c.name << ", decoded frame " << b;
            }
        }
    }
}

std::vector<std::pair<std::string, std::vector<float>>> adversarialMonoSpectra();

// ---- the decoder on any bits ----

TEST_F(FastPath, DecodingRandomBytesGivesTheReferenceSpectra) {
    CodecParameters tight = defaultCodecParameters;
    tight.balanceScale = 0.3f;
    tight.toneBins = 882;
    tight.noiseBins = 500;  // bins above the noise bands stay silent
    for (const CodecParameters& p : {defaultCodecParameters, tight}) {
        Elb1764 reference(p, defaultEncoderTuning, {CodecPath::reference});
        Elb1764 fast(p, defaultEncoderTuning);
        
        std::mt19937 rng(21);
        std::vector<uint8_t> bytes(1024);
        for (int frame = 0; frame < 200; ++frame) {
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
            if (frame % 10 == 0) std::fill(bytes.begin(), bytes.end(), frame % 20 ? 0xFF : 0x00);
            std::vector<Complex> a(2 * blockLength, Complex{7.0f, 7.0f});
            std::vector<Complex> b(2 * blockLength, Complex{-7.0f, 7.0f});
            da_BinReader inA(bytes.data(), 1024);
            da_BinReader inB(bytes.data(), 1024);
            reference.decodeFrame(inA, a.data(), a.data() + blockLength);
            fast.decodeFrame(inB, b.data(), b.data() + blockLength);
            ASSERT_EQ(inA.bitPosition, inB.bitPosition) << "frame " << frame;
            ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(Complex)), 0) << "frame " << frame;
        }
    }
}

// A parameter block the decoder refuses: both paths leave silence and read nothing.
TEST_F(FastPath, AnUnusableBlockLeavesSilenceOnBothPaths) {
    CodecParameters broken = defaultCodecParameters;
    broken.noiseBands = 0;
    for (CodecPath path : {CodecPath::reference, CodecPath::fast}) {
        Elb1764 codec(broken, defaultEncoderTuning, {path});
        
        std::vector<uint8_t> bytes(1024, 0xA5);
        std::vector<Complex> spectra(2 * blockLength, Complex{1.0f, 2.0f});
        da_BinReader in(bytes.data(), 1024);
        codec.decodeFrame(in, spectra.data(), spectra.data() + blockLength);
        EXPECT_EQ(in.bitPosition, 0);
        for (const Complex& c : spectra) ASSERT_TRUE(c.re == 0.0f && c.im == 0.0f);
        da_BinWriter out(bytes.data(), 1024);
        std::vector<Complex> left(blockLength, Complex{1.0f, 0.0f}), right(blockLength, Complex{0.0f, 1.0f});
        codec.encodeFrame(left.data(), right.data(), out);
        EXPECT_EQ(out.bitPosition, 0);
    }
    // Its step functions, called on their own, still agree.
    Elb1764 codec(broken, defaultEncoderTuning);
    for (const auto& [name, spectrum] : adversarialMonoSpectra()) {
        std::vector<float> x1 = spectrum, x2 = spectrum;
        std::vector<int> codes1(32), bins1(32), codes2(32), bins2(32);
        ASSERT_EQ(LiteralSteps{codec}.normalizeGain(x1.data(), 704), FastSteps{codec}.normalizeGain(x2.data(), 704)) << name;
        LiteralSteps{codec}.extractTones(x1.data(), codes1.data(), bins1.data());
        FastSteps{codec}.extractTones(x2.data(), codes2.data(), bins2.data());
        ASSERT_EQ(codes1, codes2) << name;
        ASSERT_EQ(bins1, bins2) << name;
        ASSERT_EQ(LiteralSteps{codec}.measureBandNoise(x1.data() + 50, 40, 0.5f), FastSteps{codec}.measureBandNoise(x2.data() + 50, 40, 0.5f));
    }
    std::vector<Complex> a(38, Complex{3.0f, -1.0f}), b(38, Complex{0.5f, 2.0f}), a2 = a, b2 = b;
    int32_t angle1 = 7, angle2 = 7;
    float energy1 = 1.0f, energy2 = 1.0f;
    EXPECT_EQ(LiteralSteps{codec}.encodeBandPhase(a.data(), b.data(), 38, angle1, energy1),
              FastSteps{codec}.encodeBandPhase(a2.data(), b2.data(), 38, angle2, energy2));
    EXPECT_EQ(angle1, angle2);
    EXPECT_EQ(std::memcmp(a.data(), a2.data(), a.size() * sizeof(Complex)), 0);
}

// ---- step by step ----

// Literal scores of the phase search, for the kernel comparison.
std::vector<float> referenceScores(const std::vector<Complex>& a, const std::vector<Complex>& b, int steps) {
    std::vector<float> scores(static_cast<std::size_t>(steps));
    for (int j = 0; j < steps; ++j) {
        Complex ra;
        Complex rb;
        rootOfUnity(-j, 2 * steps, 1.0f, ra);
        rootOfUnity(j, 2 * steps, 1.0f, rb);
        float score = 0.0f;
        for (std::size_t k = 0; k < a.size(); ++k) {
            Complex z = {0.0f, 0.0f};
            z.re = static_cast<float>(static_cast<double>(a[k].re) * ra.re - static_cast<double>(a[k].im) * ra.im + z.re);
            z.im = static_cast<float>(static_cast<double>(a[k].re) * ra.im + static_cast<double>(a[k].im) * ra.re + z.im);
            z.re = static_cast<float>(static_cast<double>(b[k].re) * rb.re - static_cast<double>(b[k].im) * rb.im + z.re);
            z.im = static_cast<float>(static_cast<double>(b[k].re) * rb.im + static_cast<double>(b[k].im) * rb.re + z.im);
            score = static_cast<float>(score + std::sqrt(hypotenuse(z.re, z.im)));
        }
        scores[static_cast<std::size_t>(j)] = score;
    }
    return scores;
}

bool sameBits(float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; }

struct Band {
    std::string name;
    std::vector<Complex> a;
    std::vector<Complex> b;
};

std::vector<Band> adversarialBands() {
    std::vector<Band> bands;
    std::mt19937 rng(31);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    auto random = [&](int n, float scale) {
        Band band{"random", std::vector<Complex>(static_cast<std::size_t>(n)), std::vector<Complex>(static_cast<std::size_t>(n))};
        for (int k = 0; k < n; ++k) {
            band.a[static_cast<std::size_t>(k)] = {scale * normal(rng), scale * normal(rng)};
            band.b[static_cast<std::size_t>(k)] = {scale * normal(rng), scale * normal(rng)};
        }
        return band;
    };
    for (int n : {1, 2, 3, 7, 38, 113, 262}) {
        bands.push_back(random(n, 1000.0f));
        bands.back().name = "random " + std::to_string(n);
    }
    bands.push_back({"all zero", std::vector<Complex>(38, Complex{0.0f, 0.0f}), std::vector<Complex>(38, Complex{0.0f, 0.0f})});
    bands.push_back({"signed zeros", std::vector<Complex>(38, Complex{-0.0f, 0.0f}), std::vector<Complex>(38, Complex{0.0f, -0.0f})});
    // Equal channels: every score is near the others' mirror image; one
    // channel silent: every angle scores (nearly) the same.
    Band equal = random(38, 300.0f);
    equal.name = "equal channels";
    equal.b = equal.a;
    bands.push_back(equal);
    Band oneSided = random(113, 50.0f);
    oneSided.name = "right silent";
    std::fill(oneSided.b.begin(), oneSided.b.end(), Complex{0.0f, 0.0f});
    bands.push_back(oneSided);
    // Real, equal constants: exact ties between mirrored angles.
    bands.push_back({"real constants", std::vector<Complex>(64, Complex{1.0f, 0.0f}), std::vector<Complex>(64, Complex{1.0f, 0.0f})});
    Band huge = random(38, 1e36f);  // squares overflow float: infinite scores
    huge.name = "huge";
    bands.push_back(huge);
    Band large = random(38, 1e18f);  // squares near the top of the float range
    large.name = "large";
    bands.push_back(large);
    Band tiny = random(38, 1e-41f);  // subnormal parts and squares that underflow
    tiny.name = "tiny";
    bands.push_back(tiny);
    Band spiky = random(262, 1.0f);
    spiky.name = "one loud bin";
    spiky.a[100] = {3e5f, -2e5f};
    spiky.b[100] = {-1e5f, 4e5f};
    bands.push_back(spiky);
    return bands;
}

TEST_F(FastPath, EveryKernelVariantScoresTrialAnglesLikeTheLiteralLoop) {
    for (InstructionSet level : availableInstructionSets()) {
        for (const Band& band : adversarialBands()) {
            for (int steps : {1, 2, 3, 8, 13, 16, 17, 96}) {
                const std::vector<float> expected = referenceScores(band.a, band.b, steps);
                const int padded = (steps + 7) / 8 * 8;
                std::vector<double> raRe(padded, 0.0), raIm(padded, 0.0), rbRe(padded, 0.0), rbIm(padded, 0.0);
                for (int j = 0; j < steps; ++j) {
                    Complex ra;
                    Complex rb;
                    rootOfUnity(-j, 2 * steps, 1.0f, ra);
                    rootOfUnity(j, 2 * steps, 1.0f, rb);
                    raRe[j] = ra.re;
                    raIm[j] = ra.im;
                    rbRe[j] = rb.re;
                    rbIm[j] = rb.im;
                }
                std::vector<double> lanes;
                for (std::size_t k = 0; k < band.a.size(); ++k)
                    lanes.insert(lanes.end(), {band.a[k].re, band.a[k].im, band.b[k].re, band.b[k].im});
                std::vector<float> scores(static_cast<std::size_t>(padded), -1.0f);
                simdKernels(level)->codec.scorePhaseTrials(lanes.data(), static_cast<int>(band.a.size()), raRe.data(),
                                                      raIm.data(), rbRe.data(), rbIm.data(), steps, scores.data());
                for (int j = 0; j < steps; ++j)
                    ASSERT_TRUE(sameBits(scores[j], expected[static_cast<std::size_t>(j)]))
                        << instructionSetName(level) << ", " << band.name << ", " << steps << " steps, angle " << j
                        << ": " << scores[j] << " vs " << expected[static_cast<std::size_t>(j)];
            }
        }
    }
}

// The balance measure's per-bin terms, as the literal measure writes them.
void literalBalanceTerms(const Complex& a, const Complex& b, float g, double& u, double& v) {
    const float midRe = static_cast<float>((static_cast<double>(a.re) + b.re) * 0.5);
    const float sideRe = static_cast<float>((static_cast<double>(a.re) - b.re) * 0.5);
    const float midIm = static_cast<float>((static_cast<double>(a.im) + b.im) * 0.5);
    const float sideIm = static_cast<float>((static_cast<double>(a.im) - b.im) * 0.5);
    const float uRe = static_cast<float>(static_cast<double>(g) * sideRe + midRe);
    const float vRe = static_cast<float>(static_cast<double>(midRe) - static_cast<double>(g) * sideRe);
    const float uIm = static_cast<float>(static_cast<double>(g) * sideIm + midIm);
    const float vIm = static_cast<float>(static_cast<double>(midIm) - static_cast<double>(g) * sideIm);
    u = hypotenuse(uRe, uIm);
    v = hypotenuse(vRe, vIm);
}

TEST_F(FastPath, EveryKernelVariantGivesTheBalanceTermsOfTheLiteralMeasure) {
    for (InstructionSet level : availableInstructionSets()) {
        for (const Band& band : adversarialBands()) {
            const int size = static_cast<int>(band.a.size());
            // Whole vectors, a remainder of every length, and one bin.
            for (int n : {1, 3, 4, 5, 8, 9, 15, 17, size}) {
                if (n > size) continue;
                for (float g : {1.0f / 3.0f, 1.0f, 0.1f}) {
                    std::vector<double> u(static_cast<std::size_t>(n), -1.0), v(static_cast<std::size_t>(n), -1.0);
                    simdKernels(level)->codec.balanceMagnitudes(band.a.data(), band.b.data(), n, g, u.data(), v.data());
                    for (int k = 0; k < n; ++k) {
                        double expectedU, expectedV;
                        literalBalanceTerms(band.a[static_cast<std::size_t>(k)], band.b[static_cast<std::size_t>(k)], g,
                                            expectedU, expectedV);
                        ASSERT_EQ(std::memcmp(&u[static_cast<std::size_t>(k)], &expectedU, sizeof(double)), 0)
                            << instructionSetName(level) << ", " << band.name << ", n " << n << ", bin " << k;
                        ASSERT_EQ(std::memcmp(&v[static_cast<std::size_t>(k)], &expectedV, sizeof(double)), 0)
                            << instructionSetName(level) << ", " << band.name << ", n " << n << ", bin " << k;
                    }
                }
            }
        }
    }
}

// The decoder's stereo kernels take single float operations in float
// arithmetic and turn real bins in float lanes; on every variant they must
// give the bits of the double forms, for values from zeros of both signs
// and subnormals to infinities and NaNs.
TEST_F(FastPath, EveryKernelVariantSpreadsAndTurnsLikeTheDoubleForms) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Values {
        const char* name;
        std::vector<float> y;
        bool turnable;  // every spread value inside the range the float turn takes
    };
    std::mt19937 rng(58);
    std::uniform_real_distribution<float> ordinary(-3.0f, 3.0f);
    std::vector<float> random(37);
    for (float& v : random) v = ordinary(rng);
    const std::vector<Values> rows = {
        {"ordinary", random, true},
        {"signed zeros and small normals", {0.0f, -0.0f, 0x1p-90f, -0x1p-90f, 1.0f, -0.0f, 0x1p-95f}, true},
        {"tiny values whose products underflow", {-0x1p-140f, 0x1p-148f, -0x1p-120f, 0x1p-126f, -0x1p-149f}, false},
        {"huge values", {0x1p126f, -0x1.fffffep127f, 0x1p100f}, false},
        {"infinities and NaNs", {inf, -inf, nan, 1.0f, -nan}, false},
    };
    const auto bitsEqual = [](const std::vector<Complex>& x, const std::vector<Complex>& y) {
        return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(Complex)) == 0;
    };
    // The turns of a 6-bit phase code, the identity, quarter turns and one
    // with a part just above 1 (no valid table holds it; the float turn must
    // leave it to rotateBands).
    std::vector<std::pair<Complex, Complex>> turns;
    for (int code : {0, 1, 7, 16, 31, 32, 48, 63}) {
        Complex a, b;
        rootOfUnity(code, 64, 1.0f, a);
        rootOfUnity(-code, 64, 1.0f, b);
        turns.push_back({a, b});
    }
    turns.push_back({Complex{0.0f, -1.0f}, Complex{-1.0f, 0.0f}});
    turns.push_back({Complex{1.0000001f, 0.0f}, Complex{0.5f, -0.5f}});
    for (InstructionSet level : availableInstructionSets()) {
        const CodecKernels& kernels = simdKernels(level)->codec;
        for (const Values& row : rows) {
            const int n = static_cast<int>(row.y.size());
            for (const bool balanced : {false, true}) {
                for (const float towardRight : {0.0f, 0.3f, 0.5f, 1.0f}) {
                    const float towardLeft = 1.0f - towardRight;
                    const double sideScale = 2.0 * static_cast<double>(1.0f / 1.5f);
                    const float gain = 0.75f;
                    std::vector<Complex> a(row.y.size()), b(row.y.size()), wantA(row.y.size()), wantB(row.y.size());
                    kernels.spreadBalanced(row.y.data(), n, gain, balanced, towardLeft, towardRight, sideScale,
                                           a.data(), b.data());
                    for (int k = 0; k < n; ++k) {
                        const float value = gain * row.y[static_cast<std::size_t>(k)];
                        float left = value, right = value;
                        if (balanced) {
                            const float sum = static_cast<float>(static_cast<double>(value) + value);
                            const float p = static_cast<float>(static_cast<double>(sum) * towardLeft);
                            const float q = static_cast<float>(static_cast<double>(sum) * towardRight);
                            const float mid = static_cast<float>((static_cast<double>(p) + q) * 0.5);
                            const float side = static_cast<float>((static_cast<double>(p) - q) / sideScale);
                            left = static_cast<float>(static_cast<double>(mid) + side);
                            right = static_cast<float>(static_cast<double>(mid) - side);
                        }
                        wantA[static_cast<std::size_t>(k)] = Complex{left, 0.0f};
                        wantB[static_cast<std::size_t>(k)] = Complex{right, 0.0f};
                    }
                    const std::string where = std::string(instructionSetName(level)) + ", " + row.name +
                                              (balanced ? ", balanced " : ", spread ") + std::to_string(towardRight);
                    ASSERT_TRUE(bitsEqual(a, wantA)) << where;
                    ASSERT_TRUE(bitsEqual(b, wantB)) << where;
                    for (std::size_t t = 0; t < turns.size(); ++t) {
                        std::vector<Complex> turnedA = a, turnedB = b, rotatedA = a, rotatedB = b;
                        const bool took = kernels.turnRealBands(turnedA.data(), turnedB.data(), n, turns[t].first,
                                                                turns[t].second);
                        kernels.rotateBands(rotatedA.data(), rotatedB.data(), n, turns[t].first, turns[t].second);
                        const bool turnInRange = t + 1 < turns.size();
                        // The turnable rows keep a margin above 2^-100 that
                        // the balance (which can shrink a part by some 5) keeps.
                        if (row.turnable && turnInRange) {
                            ASSERT_TRUE(took) << where << ", turn " << t;
                        }
                        if (!turnInRange) {
                            ASSERT_FALSE(took) << where << ", turn " << t;
                        }
                        if (took) {
                            ASSERT_TRUE(bitsEqual(turnedA, rotatedA)) << where << ", turn " << t;
                            ASSERT_TRUE(bitsEqual(turnedB, rotatedB)) << where << ", turn " << t;
                        } else {
                            ASSERT_TRUE(bitsEqual(turnedA, a)) << where << ", turn " << t << ": wrote";
                        }
                    }
                }
            }
        }
    }
}

// Opens the fast path's working data: how many angles the last search scored exactly.
class SearchProbe : public Elb1764 {
public:
    explicit SearchProbe(CodecOptions options = {}) : Elb1764(defaultCodecParameters, defaultEncoderTuning, options) {}
    int exactTrials() const { return fast->lastExactTrials; }
    const FastPathData& data() const { return *fast; }
};

// The first pass's promise, bin by bin: on every kernel variant (exact roots
// or root estimates), each trial's float term lies within that bin's bound
// of the reference's term. One-bin bands of many sizes and shapes: random,
// one channel silent, and the two channels turned so that some trial angle
// adds them in phase (the largest sums, where relative errors weigh most).
TEST_F(FastPath, FirstPassTermsStayWithinTheirBoundOnEveryKernelVariant) {
    const SearchProbe codec;
    const FastPathData& tables = codec.data();
    const int steps = defaultEncoderTuning.phaseSearchSteps;
    std::mt19937 rng(73);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (InstructionSet level : availableInstructionSets()) {
        const CodecKernels& kernels = simdKernels(level)->codec;
        const PhaseBoundScales scales = phaseBoundScales(kernels.rootEstimateError);
        for (int exponent : {-140, -60, -20, 0, 10, 40, 57}) {
            for (int shape = 0; shape < 3; ++shape) {
                for (int trial = 0; trial < 40; ++trial) {
                    const float size = std::ldexp(1.0f, exponent);
                    const Complex a{size * uniform(rng), size * uniform(rng)};
                    Complex b{size * uniform(rng), size * uniform(rng)};
                    if (shape == 1) b = {0.0f, 0.0f};
                    if (shape == 2) {
                        Complex turn;
                        rootOfUnity(2 * trial, 2 * steps, 1.0f, turn);
                        b = {static_cast<float>(static_cast<double>(a.re) * turn.re - static_cast<double>(a.im) * turn.im),
                             static_cast<float>(static_cast<double>(a.re) * turn.im + static_cast<double>(a.im) * turn.re)};
                    }
                    float magnitudeA, magnitudeB, farFrom, farBound, nearBound;
                    ASSERT_TRUE(kernels.prepareBand(&a.re, &a.im, &b.re, &b.im, 1, scales.far, scales.near,
                                                    &magnitudeA, &magnitudeB, &farFrom, &farBound, &nearBound));
                    std::vector<float> approx(tables.trialRaReF.size()), bound(tables.trialRaReF.size());
                    kernels.approximatePhaseTrials(&a, &b, 1, &farFrom, &farBound, &nearBound,
                                                   tables.trialRaReF.data(), tables.trialRaImF.data(),
                                                   tables.trialRbReF.data(), tables.trialRbImF.data(), steps,
                                                   approx.data(), bound.data());
                    const std::vector<float> exact = referenceScores({a}, {b}, steps);
                    for (std::size_t j = 0; j < static_cast<std::size_t>(steps); ++j) {
                        const double off = std::fabs(static_cast<double>(approx[j]) - exact[j]);
                        ASSERT_LE(off, static_cast<double>(bound[j]) + scales.perBin)
                            << instructionSetName(level) << ", 2^" << exponent << ", shape " << shape << ", angle "
                            << j << ": " << approx[j] << " vs " << exact[j];
                    }
                }
            }
        }
    }
}

TEST_F(FastPath, FastBandPhaseMatchesTheReferenceForEveryHistory) {
    for (InstructionSet level : availableInstructionSets()) {
        const CodecOptions onLevel{CodecPath::fast, level};
        Elb1764 reference(defaultCodecParameters, defaultEncoderTuning, onLevel);
        Elb1764 fast(defaultCodecParameters, defaultEncoderTuning, onLevel);
        for (const Band& band : adversarialBands()) {
            for (int32_t history : {0, 5, 95, 96, 150, 191}) {
                for (float energy : {0.0f, 1.0f, 1e30f}) {
                    std::vector<Complex> refA = band.a, refB = band.b, fastA = band.a, fastB = band.b;
                    int32_t refAngle = history, fastAngle = history;
                    float refEnergy = energy, fastEnergy = energy;
                    const int n = static_cast<int>(band.a.size());
                    const int refCode = LiteralSteps{reference}.encodeBandPhase(refA.data(), refB.data(), n, refAngle, refEnergy);
                    const int fastCode = FastSteps{fast}.encodeBandPhase(fastA.data(), fastB.data(), n, fastAngle, fastEnergy);
                    const std::string what = std::string(instructionSetName(level)) + ", " + band.name;
                    ASSERT_EQ(refCode, fastCode) << what;
                    ASSERT_EQ(refAngle, fastAngle) << what;
                    ASSERT_TRUE(sameBits(refEnergy, fastEnergy)) << what;
                    ASSERT_EQ(std::memcmp(refA.data(), fastA.data(), refA.size() * sizeof(Complex)), 0) << what;
                    ASSERT_EQ(std::memcmp(refB.data(), fastB.data(), refB.size() * sizeof(Complex)), 0) << what;
                }
            }
        }
    }
}

// Bands built to put the reference's choice on a knife edge: two channels
// one angle apart, the angle exactly between two trial angles (so that the
// two best scores agree in exact arithmetic and only rounding picks one), or
// a hair off it, or off a trial angle; with noise, with bins of very
// different sizes, at many band lengths. The pruned search must choose what
// the reference chooses every time.
TEST_F(FastPath, PrunedSearchAgreesOnKnifeEdgeBands) {
    for (InstructionSet level : availableInstructionSets()) {
        const CodecOptions onLevel{CodecPath::fast, level};
        std::mt19937 rng(61);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        std::uniform_int_distribution<int> lengths(1, 600);
        SearchProbe reference(onLevel);
        SearchProbe fast(onLevel);
        long exactTotal = 0;
        int searches = 0;
        for (int trial = 0; trial < 600; ++trial) {
            const int n = trial < 4 ? 600 : lengths(rng);
            const int kind = trial % 6;
            // Inter-channel angle in fine steps; 2 fine steps per trial step.
            double steps = 2.0 * (trial % 96) + (kind == 0 ? 1.0 : kind == 1 ? 1.0 + 1e-6 * uniform(rng) : 0.0);
            if (kind == 4) steps = 192.0 * (0.5 + 0.5 * uniform(rng));
            const double angle = 2.0 * pi * steps / 192.0;
            std::vector<Complex> a(static_cast<std::size_t>(n)), b(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k) {
                const float size = kind == 3 ? std::ldexp(1.0f, static_cast<int>(40 * uniform(rng))) : 1000.0f;
                const float re = size * uniform(rng);
                const float im = size * uniform(rng);
                a[static_cast<std::size_t>(k)] = {re, im};
                const double c = std::cos(angle), s = std::sin(angle);
                b[static_cast<std::size_t>(k)] = {static_cast<float>(re * c - im * s), static_cast<float>(re * s + im * c)};
                if (kind == 2 || kind == 5) {
                    const float noise = kind == 2 ? 0.1f : 300.0f;
                    b[static_cast<std::size_t>(k)].re += noise * uniform(rng);
                    b[static_cast<std::size_t>(k)].im += noise * uniform(rng);
                }
            }
            std::vector<Complex> a2 = a, b2 = b;
            int32_t angle1 = trial % 192, angle2 = angle1;
            float energy1 = 0.0f, energy2 = 0.0f;
            const int code1 = LiteralSteps{reference}.encodeBandPhase(a.data(), b.data(), n, angle1, energy1);
            const int code2 = FastSteps{fast}.encodeBandPhase(a2.data(), b2.data(), n, angle2, energy2);
            ASSERT_EQ(code1, code2) << instructionSetName(level) << ", band " << trial << " (kind " << kind << ", " << n
                                    << " bins)";
            ASSERT_EQ(angle1, angle2) << "band " << trial;
            ASSERT_EQ(std::memcmp(a.data(), a2.data(), a.size() * sizeof(Complex)), 0) << "band " << trial;
            exactTotal += fast.exactTrials();
            ++searches;
        }
        // The first pass does rule angles out: on these bands far fewer than all
        // 96 are scored exactly on average.
        EXPECT_LT(exactTotal, 20L * searches) << instructionSetName(level);
    }
}

// A clean band: one inter-channel angle, no noise. Only the angles next to
// the peak can survive the first pass; a band with one silent channel (all
// angles equal) and a band with a non-finite value are scored in full.
TEST_F(FastPath, FirstPassKeepsOnlyTheAnglesNearThePeak) {
    SearchProbe codec;
    std::vector<Complex> a(262), b(262), silent(262, Complex{0.0f, 0.0f});
    fillTurnedBand(a.data(), b.data(), 262, 17, 192, 500.0f);
    for (std::size_t k = 0; k < a.size(); ++k) {
        a[k].re *= 1.0f + 0.01f * static_cast<float>(k % 7);
        b[k].re *= 1.0f + 0.01f * static_cast<float>(k % 7);
    }
    int32_t angle = 0;
    float energy = 0.0f;
    std::vector<Complex> a1 = a, b1 = b;
    FastSteps{codec}.encodeBandPhase(a1.data(), b1.data(), 262, angle, energy);
    EXPECT_GE(codec.exactTrials(), 1);
    EXPECT_LE(codec.exactTrials(), 4);
    std::vector<Complex> a2 = a;
    FastSteps{codec}.encodeBandPhase(a2.data(), silent.data(), 262, angle, energy);
    EXPECT_EQ(codec.exactTrials(), 96);
    std::vector<Complex> a3 = a, b3 = b;
    a3[100].re = std::numeric_limits<float>::infinity();
    FastSteps{codec}.encodeBandPhase(a3.data(), b3.data(), 262, angle, energy);
    EXPECT_EQ(codec.exactTrials(), 96);
}

// The rotation by code from the tables against the one computing its roots,
// for every code either way round.
TEST_F(FastPath, TabledPhaseTurnsEqualComputedOnes) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::mt19937 rng(41);
    std::uniform_real_distribution<float> any(-1e4f, 1e4f);
    std::vector<Complex> a(19), b(19);
    for (int code = -64; code < 64; ++code) {
        for (std::size_t k = 0; k < a.size(); ++k) {
            a[k] = {any(rng), any(rng)};
            b[k] = {any(rng), any(rng)};
        }
        std::vector<Complex> a2 = a, b2 = b;
        LiteralSteps{codec}.rotateBandPhase(a.data(), b.data(), 19, code);
        FastSteps{codec}.rotateBandPhase(a2.data(), b2.data(), 19, code);
        ASSERT_EQ(std::memcmp(a.data(), a2.data(), a.size() * sizeof(Complex)), 0) << code;
        ASSERT_EQ(std::memcmp(b.data(), b2.data(), b.size() * sizeof(Complex)), 0) << code;
    }
}

std::vector<std::pair<std::string, std::vector<float>>> adversarialMonoSpectra() {
    std::vector<std::pair<std::string, std::vector<float>>> spectra;
    std::mt19937 rng(51);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    std::vector<float> x(blockLength, 0.0f);
    spectra.push_back({"zero", x});
    x[300] = -0.75f;
    spectra.push_back({"one bin", x});
    x[0] = 1.0f;
    x[599] = 2.0f;
    spectra.push_back({"edge bins", x});
    std::fill(x.begin(), x.end(), 0.25f);
    spectra.push_back({"flat (every rating tied)", x});
    for (std::size_t k = 0; k < x.size(); ++k) x[k] = (k % 40 == 0) ? 0.5f : 0.01f;
    spectra.push_back({"comb (ties at the threshold)", x});
    for (float& v : x) v = normal(rng);
    spectra.push_back({"random", x});
    for (float& v : x) v = normal(rng) * 1e35f;
    spectra.push_back({"huge", x});
    for (float& v : x) v = normal(rng) * 1e-40f;
    spectra.push_back({"subnormal", x});
    for (std::size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(std::pow(0.97, static_cast<double>(k))) * ((k % 2) ? -1.0f : 1.0f);
    spectra.push_back({"falling", x});
    return spectra;
}

TEST_F(FastPath, FastToneChoiceMatchesTheReference) {
    EncoderTuning tunings[2] = {defaultEncoderTuning, defaultEncoderTuning};
    tunings[1].maskingDecay = 0.3f;
    CodecParameters few = defaultCodecParameters;
    few.toneCount = 1;
    few.toneBins = 7;
    for (InstructionSet level : availableInstructionSets()) {
        const CodecOptions onLevel{CodecPath::fast, level};
        for (const CodecParameters& p : {defaultCodecParameters, few}) {
            for (const EncoderTuning& t : tunings) {
                Elb1764 codec(p, t, onLevel);
                for (const auto& [name, spectrum] : adversarialMonoSpectra()) {
                    std::vector<float> x1 = spectrum, x2 = spectrum;
                    std::vector<int> codes1(blockLength, -1), bins1(blockLength, -1), codes2(blockLength, -1),
                        bins2(blockLength, -1);
                    LiteralSteps{codec}.extractTones(x1.data(), codes1.data(), bins1.data());
                    FastSteps{codec}.extractTones(x2.data(), codes2.data(), bins2.data());
                    const std::string what = std::string(instructionSetName(level)) + ", " + name;
                    ASSERT_EQ(codes1, codes2) << what;
                    ASSERT_EQ(bins1, bins2) << what;
                    ASSERT_EQ(std::memcmp(x1.data(), x2.data(), x1.size() * sizeof(float)), 0) << what;
                }
            }
        }
    }
}

TEST_F(FastPath, FastGainNoiseAndBalanceMeasuresMatchTheReference) {
    EncoderTuning t = defaultEncoderTuning;
    t.balanceNormExponent = 0.7f;
    for (const EncoderTuning& tuning : {defaultEncoderTuning, t}) {
        Elb1764 codec(defaultCodecParameters, tuning);
        for (const auto& [name, spectrum] : adversarialMonoSpectra()) {
            for (float scale : {1.0f, 40.0f, 1e4f, 3e6f}) {
                std::vector<float> x1(spectrum), x2(spectrum);
                for (std::size_t k = 0; k < x1.size(); ++k) x1[k] = x2[k] = spectrum[k] * scale;
                ASSERT_EQ(LiteralSteps{codec}.normalizeGain(x1.data(), 704), FastSteps{codec}.normalizeGain(x2.data(), 704)) << name;
                ASSERT_EQ(std::memcmp(x1.data(), x2.data(), x1.size() * sizeof(float)), 0) << name;
                for (int start : {0, 1, 39, 300, 620}) {
                    for (int n : {1, 4, 84}) {
                        for (float exponent : {0.5f, 1.0f, 2.5f}) {
                            ASSERT_EQ(LiteralSteps{codec}.measureBandNoise(x1.data() + start, n, exponent),
                                      FastSteps{codec}.measureBandNoise(x1.data() + start, n, exponent))
                                << name << ", bins " << start << "+" << n;
                        }
                    }
                }
            }
        }
        for (const Band& band : adversarialBands()) {
            const int n = static_cast<int>(band.a.size());
            ASSERT_EQ(LiteralSteps{codec}.measureBandBalance(band.a.data(), band.b.data(), n),
                      FastSteps{codec}.measureBandBalance(band.a.data(), band.b.data(), n))
                << band.name;
        }
    }
}

// The tables hold what the reference expressions give for every code.
TEST_F(FastPath, TablesHoldTheReferenceValues) {
    const CodecParameters& p = defaultCodecParameters;
    const FastPathData data(p, defaultEncoderTuning, true, true);
    ASSERT_EQ(data.noiseEdges.size(), 33u);
    EXPECT_EQ(data.noiseEdges[1], 1);
    EXPECT_EQ(data.phaseEdges, (std::vector<int>{0, 38, 151, 338, 600}));
    EXPECT_EQ(data.balanceEdges, (std::vector<int>{0, 44, 177, 396, 704}));
    ASSERT_EQ(data.encoderGains.size(), 256u);
    ASSERT_EQ(data.decoderGains.size(), 256u);
    ASSERT_EQ(data.noiseAmplitudes.size(), 32u);
    ASSERT_EQ(data.toneAmplitudes.size(), 16u);
    // Both sides store the dequantized level as a float before fromLevel;
    // passing the double on gives other bits for most codes.
    int gainsOffTheDoubleReading = 0;
    for (int code = 0; code < 256; ++code) {
        const float level = static_cast<float>(dequantize(code, 32.0f, 128.0f, 8));
        EXPECT_TRUE(sameBits(data.encoderGains[code], static_cast<float>(fromLevel(level)))) << code;
        EXPECT_TRUE(sameBits(data.encoderGains[code], encoderGainOf(p, code))) << code;
        EXPECT_TRUE(sameBits(data.decoderGains[code], static_cast<float>(fromLevel(level)))) << code;
        if (!sameBits(data.decoderGains[code], static_cast<float>(fromLevel(dequantize(code, 32.0f, 128.0f, 8)))))
            ++gainsOffTheDoubleReading;
    }
    EXPECT_GT(gainsOffTheDoubleReading, 100);
    int noiseOffTheDoubleReading = 0;
    for (int code = 0; code < 32; ++code) {
        const float level = static_cast<float>(dequantize(code, -96.0f, 0.0f, 5));
        EXPECT_TRUE(sameBits(data.noiseAmplitudes[code], static_cast<float>(fromLevel(level)))) << code;
        if (!sameBits(data.noiseAmplitudes[code], static_cast<float>(fromLevel(dequantize(code, -96.0f, 0.0f, 5)))))
            ++noiseOffTheDoubleReading;
    }
    EXPECT_GT(noiseOffTheDoubleReading, 10);
    for (int code = 0; code < 16; ++code) {
        const float level = static_cast<float>(dequantize(code, 0.0f, -96.0f, 4));
        EXPECT_TRUE(sameBits(data.toneAmplitudes[code], static_cast<float>(fromLevel(level)))) << code;
    }
    EXPECT_FLOAT_EQ(data.noiseAmplitudes[0], 1.0f / 65536.0f);
    EXPECT_FLOAT_EQ(data.toneAmplitudes[0], 1.0f);
    EXPECT_DOUBLE_EQ(data.noiseFloorAmplitude, fromLevel(-96.0));
    ASSERT_EQ(data.maskingFactors.size(), 600u);
    for (int i = 1; i < 600; ++i) EXPECT_EQ(data.maskingFactors[i], maskingStepFactor(i, 0.85f)) << i;
    ASSERT_EQ(data.trialRaRe.size(), 96u);
    for (int j = 0; j < 96; ++j) {
        Complex ra;
        Complex rb;
        rootOfUnity(-j, 192, 1.0f, ra);
        rootOfUnity(j, 192, 1.0f, rb);
        EXPECT_EQ(data.trialRaRe[j], ra.re) << j;
        EXPECT_EQ(data.trialRaIm[j], ra.im) << j;
        EXPECT_EQ(data.trialRbRe[j], rb.re) << j;
        EXPECT_EQ(data.trialRbIm[j], rb.im) << j;
    }
    // A block too wide for tables gets none; the per-use values are the same expressions.
    CodecParameters wide = p;
    wide.noiseBits = 20;
    const FastPathData wideData(wide, defaultEncoderTuning, true, true);
    EXPECT_TRUE(wideData.noiseAmplitudes.empty());
    EXPECT_FALSE(wideData.decoderGains.empty());
    // Nothing is built for a side that cannot work.
    const FastPathData none(p, defaultEncoderTuning, false, false);
    EXPECT_TRUE(none.noiseEdges.empty());
    EXPECT_TRUE(none.trialRaRe.empty());
}

TEST_F(FastPath, KernelVariantsAreChosenOnlyWhereAvailable) {
    EXPECT_TRUE(instructionSetAvailable(bestInstructionSet()));
    EXPECT_EQ(bestSimdKernels().set, bestInstructionSet());
    for (InstructionSet set : {InstructionSet::portable, InstructionSet::sse2, InstructionSet::avx2, InstructionSet::avx512}) {
        const Elb1764 codec(defaultCodecParameters, defaultEncoderTuning, {CodecPath::fast, set});
        if (instructionSetAvailable(set)) {
            ASSERT_NE(simdKernels(set), nullptr) << instructionSetName(set);
            EXPECT_EQ(simdKernels(set)->set, set);
            EXPECT_EQ(codec.instructionSet(), set);
        } else {
            EXPECT_EQ(simdKernels(set), nullptr) << instructionSetName(set);
            EXPECT_EQ(codec.instructionSet(), InstructionSet::portable) << "an unavailable set runs the portable kernels";
        }
    }
    EXPECT_STREQ(instructionSetName(InstructionSet::avx512), "avx512");
}

}  // namespace
