// Cost of the frame encoder and its parts on music-like spectra: the whole
// encodeFrame, the phase search alone (encodeBandPhase over the phase bands),
// the tone choice, the noise and balance measures; and the packet sizes of a
// few generated signals. Each stage runs on the reference path (literal
// steps) and the fast path (same bits); the fast phase search and tone choice
// also per vector-kernel variant (portable, sse2, avx2, avx512, where the
// processor has them).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bits/bin_writer.h"
#include "codec/band_edges.h"
#include "simd/kernels.h"
#include "codec/codec_parameters.h"
#include "codec/elb1764.h"
#include "codec/frame_steps.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979323846;
constexpr int benchFrames = 50;  // one second

using Signal = std::vector<int16_t>;  // interleaved stereo, whole blocks

int16_t toSample(double v) { return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0))); }

// A few harmonic voices changing note every quarter second, each panned and
// slightly delayed between the channels, a noise burst on every half second
// and a quiet noise floor.
Signal musicLike(int blocks, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double scale[] = {110.0, 123.47, 130.81, 146.83, 164.81, 174.61, 196.0, 220.0};
    struct Voice {
        double pan;
        double delay;  // samples, right against left
        double octave;
    };
    const Voice voices[] = {{0.3, 4.0, 1.0}, {0.7, -9.0, 2.0}, {0.5, 0.0, 4.0}};
    const int samples = blocks * blockLength;
    Signal s(2 * static_cast<std::size_t>(samples));
    const int noteLength = static_cast<int>(sampleRate / 4);
    std::vector<double> f0(3 * (samples / noteLength + 1));
    for (double& f : f0) f = scale[rng() % 8];
    for (int n = 0; n < samples; ++n) {
        double channel[2] = {0.0, 0.0};
        const int note = n / noteLength;
        const double t = static_cast<double>(n % noteLength) / sampleRate;
        const double envelope = std::exp(-4.0 * t) * std::min(1.0, t * 200.0);
        for (int v = 0; v < 3; ++v) {
            const double f = f0[static_cast<std::size_t>(3 * note + v)] * voices[v].octave;
            for (int side = 0; side < 2; ++side) {
                const double at = n - (side == 1 ? voices[v].delay : 0.0);
                double x = 0.0;
                for (int h = 1; h <= 12 && h * f < 16000.0; ++h)
                    x += std::sin(2.0 * pi * h * f * at / sampleRate) / std::pow(h, 1.2);
                const double gain = side == 0 ? 1.0 - voices[v].pan : voices[v].pan;
                channel[side] += 4000.0 * envelope * gain * x;
            }
        }
        const double burst = (n % (2 * noteLength)) < 2000 ? 3000.0 * std::exp(-(n % (2 * noteLength)) / 400.0) : 0.0;
        for (int side = 0; side < 2; ++side) channel[side] += (burst + 30.0) * normal(rng);
        s[2 * static_cast<std::size_t>(n)] = toSample(channel[0]);
        s[2 * static_cast<std::size_t>(n) + 1] = toSample(channel[1]);
    }
    return s;
}

Signal whiteNoise(int blocks, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0.0, 6000.0);
    Signal s(static_cast<std::size_t>(blocks) * blockSamples);
    for (int16_t& v : s) v = toSample(normal(rng));
    return s;
}

Signal pureTone(int blocks) {
    Signal s(static_cast<std::size_t>(blocks) * blockSamples);
    for (int n = 0; n < blocks * blockLength; ++n) {
        const double x = 10000.0 * std::sin(2.0 * pi * 440.0 * n / sampleRate);
        s[2 * static_cast<std::size_t>(n)] = s[2 * static_cast<std::size_t>(n) + 1] = toSample(x);
    }
    return s;
}

// Analysis spectra of consecutive windows of a signal, as the encoder sees them.
struct SpectrumPair {
    std::vector<Complex> left = std::vector<Complex>(blockLength);
    std::vector<Complex> right = std::vector<Complex>(blockLength);
};

std::vector<SpectrumPair> analyzeSignal(const Signal& s) {
    const int blocks = static_cast<int>(s.size() / blockSamples);
    std::vector<SpectrumPair> frames(static_cast<std::size_t>(blocks));
    std::vector<Complex> window(windowLength, Complex{0.0f, 0.0f});
    for (int b = 0; b < blocks; ++b) {
        std::copy(window.begin() + blockLength, window.end(), window.begin());
        for (int n = 0; n < blockLength; ++n) {
            const std::size_t at = 2 * (static_cast<std::size_t>(b) * blockLength + static_cast<std::size_t>(n));
            window[static_cast<std::size_t>(blockLength + n)] = Complex{static_cast<float>(s[at]), static_cast<float>(s[at + 1])};
        }
        analyzeFrame(window.data(), frames[static_cast<std::size_t>(b)].left.data(),
                     frames[static_cast<std::size_t>(b)].right.data());
    }
    return frames;
}

const std::vector<SpectrumPair>& musicSpectra() {
    static const std::vector<SpectrumPair> frames = [] {
        return analyzeSignal(musicLike(benchFrames, 1));
    }();
    return frames;
}

// Exposes the encoder's own steps on the state a frame would leave them.
class ProbeCodec : public Elb1764 {
public:
    ProbeCodec() : Elb1764(defaultCodecParameters, defaultEncoderTuning) {}

    // Steps 1 to 4 of a frame on copies of the spectra: the normalised mono
    // spectrum that the tone choice reads.
    std::vector<float> monoAfterGain(const SpectrumPair& frame) {
        std::vector<Complex> left = frame.left;
        std::vector<Complex> right = frame.right;
        const CodecParameters& p = parameters;
        for (int i = 0; i < p.phaseBands; ++i) {
            const int start = bandEdge(i, p.phaseBands, p.phaseBins);
            const int n = bandEdge(i + 1, p.phaseBands, p.phaseBins) - start;
            encodeBandPhase(left.data() + start, right.data() + start, n, prevBandAngle[i], prevBandEnergy[i]);
        }
        std::vector<float> x(blockLength);
        for (int k = 0; k < blockLength; ++k) x[static_cast<std::size_t>(k)] = left[static_cast<std::size_t>(k)].re + right[static_cast<std::size_t>(k)].re;
        normalizeGain(x.data(), std::max(p.noiseBins, p.toneBins));
        return x;
    }
};

void copyFrame(const SpectrumPair& from, Complex* left, Complex* right) {
    std::copy(from.left.begin(), from.left.end(), left);
    std::copy(from.right.begin(), from.right.end(), right);
}

// The copy every benchmark below makes per frame, for reference.
void BM_SpectrumCopy(benchmark::State& state) {
    const std::vector<SpectrumPair>& frames = musicSpectra();
    std::vector<Complex> left(blockLength), right(blockLength);
    std::size_t i = 0;
    for (auto _ : state) {
        copyFrame(frames[i], left.data(), right.data());
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        i = (i + 1) % frames.size();
    }
}
BENCHMARK(BM_SpectrumCopy);

// Argument 0: the reference path, 1: the fast path.
CodecPath pathOf(const benchmark::State& state) { return state.range(0) ? CodecPath::fast : CodecPath::reference; }

// The codec options of a run: the fast path on the instruction set given by
// the argument (an InstructionSet), or nothing where the processor lacks it.
bool selectLevel(benchmark::State& state, int64_t level, CodecOptions& options) {
    const InstructionSet chosen = static_cast<InstructionSet>(level);
    if (!instructionSetAvailable(chosen)) {
        state.SkipWithError("not available on this processor");
        return false;
    }
    state.SetLabel(instructionSetName(chosen));
    options = {CodecPath::fast, chosen};
    return true;
}

void BM_EncodeFrame(benchmark::State& state) {
    const std::vector<SpectrumPair>& frames = musicSpectra();
    auto codec = std::make_unique<Elb1764>(defaultCodecParameters, defaultEncoderTuning, CodecOptions{pathOf(state)});
    state.SetLabel(state.range(0) ? "fast" : "reference");
    std::vector<Complex> left(blockLength), right(blockLength);
    std::vector<uint8_t> packet(1024);
    std::size_t i = 0;
    long long bits = 0;
    for (auto _ : state) {
        copyFrame(frames[i], left.data(), right.data());
        da_BinWriter out(packet.data(), 1024);
        codec->encodeFrame(left.data(), right.data(), out);
        bits += out.bitPosition;
        benchmark::DoNotOptimize(packet.data());
        i = (i + 1) % frames.size();
    }
    state.counters["bits/frame"] = benchmark::Counter(static_cast<double>(bits), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EncodeFrame)->ArgName("fast")->Arg(0)->Arg(1);

// The phase search alone: encodeBandPhase over every phase band of a frame,
// reference form, then the fast form per kernel variant.
template <bool fast>
void phaseSearchBench(benchmark::State& state, CodecOptions options = {}) {
    const std::vector<SpectrumPair>& frames = musicSpectra();
    auto codec = std::make_unique<Elb1764>(defaultCodecParameters, defaultEncoderTuning, options);
    const CodecParameters& p = defaultCodecParameters;
    std::vector<int32_t> angle(static_cast<std::size_t>(p.phaseBands), 0);
    std::vector<float> energy(static_cast<std::size_t>(p.phaseBands), 0.0f);
    std::vector<Complex> left(blockLength), right(blockLength);
    std::size_t i = 0;
    for (auto _ : state) {
        copyFrame(frames[i], left.data(), right.data());
        for (int band = 0; band < p.phaseBands; ++band) {
            const int start = bandEdge(band, p.phaseBands, p.phaseBins);
            const int n = bandEdge(band + 1, p.phaseBands, p.phaseBins) - start;
            Complex* a = left.data() + start;
            Complex* b = right.data() + start;
            int32_t& prevAngle = angle[static_cast<std::size_t>(band)];
            float& prevEnergy = energy[static_cast<std::size_t>(band)];
            benchmark::DoNotOptimize(fast ? FastSteps{*codec}.encodeBandPhase(a, b, n, prevAngle, prevEnergy)
                                          : LiteralSteps{*codec}.encodeBandPhase(a, b, n, prevAngle, prevEnergy));
        }
        i = (i + 1) % frames.size();
    }
}

void BM_PhaseSearch(benchmark::State& state) { phaseSearchBench<false>(state); }
BENCHMARK(BM_PhaseSearch);

void BM_PhaseSearchFast(benchmark::State& state) {
    CodecOptions options;
    if (!selectLevel(state, state.range(0), options)) return;
    phaseSearchBench<true>(state, options);
}
BENCHMARK(BM_PhaseSearchFast)->ArgName("level")->DenseRange(0, 3);

// Normalised mono spectra as the tone choice receives them.
const std::vector<std::vector<float>>& monoSpectra() {
    static const std::vector<std::vector<float>> monos = [] {
        ProbeCodec probe;
        std::vector<std::vector<float>> out;
        for (const SpectrumPair& frame : musicSpectra()) out.push_back(probe.monoAfterGain(frame));
        return out;
    }();
    return monos;
}

template <bool fast>
void extractTonesBench(benchmark::State& state, CodecOptions options = {}) {
    const std::vector<std::vector<float>>& monos = monoSpectra();
    auto codec = std::make_unique<Elb1764>(defaultCodecParameters, defaultEncoderTuning, options);
    std::vector<float> x(blockLength);
    std::vector<int> codes(static_cast<std::size_t>(defaultCodecParameters.toneCount));
    std::vector<int> bins(codes.size());
    std::size_t i = 0;
    for (auto _ : state) {
        std::copy(monos[i].begin(), monos[i].end(), x.begin());
        if (fast)
            FastSteps{*codec}.extractTones(x.data(), codes.data(), bins.data());
        else
            LiteralSteps{*codec}.extractTones(x.data(), codes.data(), bins.data());
        benchmark::DoNotOptimize(bins.data());
        i = (i + 1) % monos.size();
    }
}

void BM_ExtractTones(benchmark::State& state) { extractTonesBench<false>(state); }
BENCHMARK(BM_ExtractTones);

void BM_ExtractTonesFast(benchmark::State& state) {
    CodecOptions options;
    if (!selectLevel(state, state.range(0), options)) return;
    extractTonesBench<true>(state, options);
}
BENCHMARK(BM_ExtractTonesFast)->ArgName("level")->DenseRange(0, 3);

// The noise measure over every noise band of a frame (tones already
// removed); argument 1 for the fast form.
void BM_MeasureBandNoise(benchmark::State& state) {
    auto codec = std::make_unique<Elb1764>(defaultCodecParameters, defaultEncoderTuning);
    std::vector<std::vector<float>> residuals = monoSpectra();
    std::vector<int> codes(static_cast<std::size_t>(defaultCodecParameters.toneCount));
    std::vector<int> bins(codes.size());
    for (std::vector<float>& x : residuals) LiteralSteps{*codec}.extractTones(x.data(), codes.data(), bins.data());
    const CodecParameters& p = defaultCodecParameters;
    const bool fast = state.range(0) != 0;
    state.SetLabel(fast ? "fast" : "reference");
    std::size_t i = 0;
    for (auto _ : state) {
        const std::vector<float>& x = residuals[i];
        for (int band = 0; band < p.noiseBands; ++band) {
            const int start = bandEdge(band, p.noiseBands, p.noiseBins);
            const int n = bandEdge(band + 1, p.noiseBands, p.noiseBins) - start;
            benchmark::DoNotOptimize(fast ? FastSteps{*codec}.measureBandNoise(x.data() + start, n, 0.5f)
                                          : LiteralSteps{*codec}.measureBandNoise(x.data() + start, n, 0.5f));
        }
        i = (i + 1) % residuals.size();
    }
}
BENCHMARK(BM_MeasureBandNoise)->ArgName("fast")->Arg(0)->Arg(1);

// The balance measure over every balance band of a frame.
void BM_MeasureBandBalance(benchmark::State& state) {
    const std::vector<SpectrumPair>& frames = musicSpectra();
    auto codec = std::make_unique<Elb1764>(defaultCodecParameters, defaultEncoderTuning);
    const CodecParameters& p = defaultCodecParameters;
    const bool fast = state.range(0) != 0;
    state.SetLabel(fast ? "fast" : "reference");
    std::size_t i = 0;
    for (auto _ : state) {
        const SpectrumPair& frame = frames[i];
        for (int band = 0; band < p.balanceBands; ++band) {
            const int start = bandEdge(band, p.balanceBands, p.balanceBins);
            const int n = bandEdge(band + 1, p.balanceBands, p.balanceBins) - start;
            const Complex* a = frame.left.data() + start;
            const Complex* b = frame.right.data() + start;
            benchmark::DoNotOptimize(fast ? FastSteps{*codec}.measureBandBalance(a, b, n) : LiteralSteps{*codec}.measureBandBalance(a, b, n));
        }
        i = (i + 1) % frames.size();
    }
}
BENCHMARK(BM_MeasureBandBalance)->ArgName("fast")->Arg(0)->Arg(1);

// Whole-signal encoding through the frame buffers; reports the average
// packet (bytes per frame, padded) and the bit rate at 50 frames a second.
void encodeSignalBench(benchmark::State& state, const Signal& signal) {
    const int blocks = static_cast<int>(signal.size() / blockSamples);
    std::vector<uint8_t> packet(1024);
    double bytes = 0.0;
    int frames = 0;
    for (auto _ : state) {
        auto codec = std::make_unique<Elb1764>(defaultCodecParameters, defaultEncoderTuning);
        bytes = 0.0;
        frames = 0;
        for (int b = 0; b < blocks; ++b) {
            da_BinWriter out(packet.data(), 1024);
            codec->pushSamples(signal.data() + static_cast<std::size_t>(b) * blockSamples);
            codec->analyzeAndEncode(out);
            bytes += (out.bitPosition + 7) / 8;
            ++frames;
        }
    }
    state.counters["bytes/frame"] = bytes / frames;
    state.counters["kbit/s"] = bytes / frames * 8.0 * 50.0 / 1000.0;
}

void BM_PacketSizeMusicLike(benchmark::State& state) { encodeSignalBench(state, musicLike(benchFrames, 2)); }
void BM_PacketSizeWhiteNoise(benchmark::State& state) { encodeSignalBench(state, whiteNoise(benchFrames, 3)); }
void BM_PacketSizePureTone(benchmark::State& state) { encodeSignalBench(state, pureTone(benchFrames)); }
void BM_PacketSizeSilence(benchmark::State& state) { encodeSignalBench(state, Signal(benchFrames * blockSamples, 0)); }
BENCHMARK(BM_PacketSizeMusicLike)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacketSizeWhiteNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacketSizePureTone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacketSizeSilence)->Unit(benchmark::kMillisecond);

}  // namespace
