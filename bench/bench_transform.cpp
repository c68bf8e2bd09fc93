// Cost of one 1764-point FFT and of one analysis and one synthesis frame,
// reference path and fast path (each instruction-set variant) side by side.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "transform/fast_fft1764.h"
#include "transform/fast_filter_bank.h"
#include "transform/fft1764.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "codec/homosoundwork1764.h"
#include "simd/kernels.h"
#include "transform/transform_tables.h"

namespace {

std::vector<Complex> noise(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-32768.0f, 32767.0f);
    std::vector<Complex> x(n);
    for (auto& c : x) c = {value(rng), value(rng)};
    return x;
}

void BM_Fft1764(benchmark::State& state) {
    const std::vector<Complex> x = noise(windowLength, 1);
    std::vector<Complex> y(windowLength);
    for (auto _ : state) {
        fft1764(x.data(), y.data(), 1, 1);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Fft1764);

void BM_AnalyzeFrame(benchmark::State& state) {
    const std::vector<Complex> frame = noise(windowLength, 2);
    std::vector<Complex> left(blockLength), right(blockLength);
    for (auto _ : state) {
        analyzeFrame(frame.data(), left.data(), right.data());
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_AnalyzeFrame);

void BM_SynthesizeFrame(benchmark::State& state) {
    const std::vector<Complex> frame = noise(windowLength, 3);
    std::vector<Complex> left(blockLength), right(blockLength), out(windowLength);
    analyzeFrame(frame.data(), left.data(), right.data());
    for (auto _ : state) {
        synthesizeFrame(left.data(), right.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SynthesizeFrame);

void BM_InverseFft1764(benchmark::State& state) {
    const std::vector<Complex> x = noise(windowLength, 4);
    std::vector<Complex> y(windowLength);
    for (auto _ : state) {
        inverseFft1764(x.data(), y.data(), 1, 1);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_InverseFft1764);

// The fast path on one instruction-set variant; skipped where it cannot run.
const TransformKernels* useVariant(benchmark::State& state, InstructionSet level) {
    if (const SimdKernels* kernels = simdKernels(level)) return &kernels->transform;
    state.SkipWithError("variant not available on this processor");
    return nullptr;
}

void BM_FastFft1764(benchmark::State& state, InstructionSet level) {
    const TransformKernels* kernels = useVariant(state, level);
    if (kernels == nullptr) return;
    const std::vector<Complex> x = noise(windowLength, 1);
    std::vector<Complex> y(windowLength);
    for (auto _ : state) {
        fastFft1764(*kernels, x.data(), y.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}

void BM_FastInverseFft1764(benchmark::State& state, InstructionSet level) {
    const TransformKernels* kernels = useVariant(state, level);
    if (kernels == nullptr) return;
    const std::vector<Complex> x = noise(windowLength, 4);
    std::vector<Complex> y(windowLength);
    for (auto _ : state) {
        fastInverseFft1764(*kernels, x.data(), y.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}

void BM_FastAnalyzeFrame(benchmark::State& state, InstructionSet level) {
    const TransformKernels* kernels = useVariant(state, level);
    if (kernels == nullptr) return;
    const std::vector<Complex> frame = noise(windowLength, 2);
    std::vector<Complex> left(blockLength), right(blockLength);
    for (auto _ : state) {
        fastAnalyzeFrame(*kernels, frame.data(), left.data(), right.data());
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
}

void BM_FastSynthesizeFrame(benchmark::State& state, InstructionSet level) {
    const TransformKernels* kernels = useVariant(state, level);
    if (kernels == nullptr) return;
    const std::vector<Complex> frame = noise(windowLength, 3);
    std::vector<Complex> left(blockLength), right(blockLength), out(windowLength);
    analyzeFrame(frame.data(), left.data(), right.data());
    for (auto _ : state) {
        fastSynthesizeFrame(*kernels, left.data(), right.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// Synthesis plus overlap-add: a windowed frame added afterwards (as the
// reference path does) against the fused form the fast path uses.
void BM_FastSynthesisOverlapAdd(benchmark::State& state) {
    const TransformKernels* kernels = &bestSimdKernels().transform;
    const std::vector<Complex> frame = noise(windowLength, 3);
    std::vector<Complex> left(blockLength), right(blockLength), windowed(windowLength);
    std::vector<Complex> accumulator(windowLength, Complex{0.0f, 0.0f});
    analyzeFrame(frame.data(), left.data(), right.data());
    const bool fused = state.range(0) == 1;
    for (auto _ : state) {
        if (fused) {
            fastSynthesizeFrameAdd(*kernels, left.data(), right.data(), accumulator.data());
        } else {
            fastSynthesizeFrame(*kernels, left.data(), right.data(), windowed.data());
            for (int n = 0; n < windowLength; ++n) {
                accumulator[n].re = accumulator[n].re + windowed[n].re;
                accumulator[n].im = accumulator[n].im + windowed[n].im;
            }
        }
        benchmark::DoNotOptimize(accumulator.data());
        benchmark::ClobberMemory();
        if (accumulator[0].re > 1e30f) std::fill(accumulator.begin(), accumulator.end(), Complex{0.0f, 0.0f});
    }
}
BENCHMARK(BM_FastSynthesisOverlapAdd)->ArgName("fused")->Arg(0)->Arg(1);

// Names such as BM_FastFft1764/sse2, registered for every variant.
const bool fastVariantsRegistered = [] {
    for (InstructionSet level : {InstructionSet::portable, InstructionSet::sse2, InstructionSet::avx2, InstructionSet::avx512}) {
        const std::string suffix = std::string("/") + instructionSetName(level);
        benchmark::RegisterBenchmark(("BM_FastFft1764" + suffix).c_str(), BM_FastFft1764, level);
        benchmark::RegisterBenchmark(("BM_FastInverseFft1764" + suffix).c_str(), BM_FastInverseFft1764, level);
        benchmark::RegisterBenchmark(("BM_FastAnalyzeFrame" + suffix).c_str(), BM_FastAnalyzeFrame, level);
        benchmark::RegisterBenchmark(("BM_FastSynthesizeFrame" + suffix).c_str(), BM_FastSynthesizeFrame, level);
    }
    return true;
}();

// The frame steps around the transforms, with a codec that codes nothing:
// encode = pushSamples + analyzeAndEncode, decode = decodeAndSynthesize +
// popSamples, on the reference path (arg 0) and the fast path (arg 1).
class NullCodec : public homosoundwork1764 {
public:
    explicit NullCodec(CodecOptions options) : homosoundwork1764(options) {}
    std::vector<Complex> spectrum = noise(blockLength, 5);
    void encodeFrame(Complex* left, Complex*, da_BinWriter&) override { benchmark::DoNotOptimize(left); }
    void decodeFrame(da_BinReader&, Complex* left, Complex* right) override {
        std::copy(spectrum.begin(), spectrum.end(), left);
        std::copy(spectrum.begin(), spectrum.end(), right);
    }
    int roundTripFrame(Complex*, Complex*) override { return 0; }
};

CodecPath pathOf(const benchmark::State& state) {
    return state.range(0) == 0 ? CodecPath::reference : CodecPath::fast;
}

void BM_EncodeStep(benchmark::State& state) {
    NullCodec codec({pathOf(state)});
    std::vector<int16_t> block(blockSamples);
    std::mt19937 rng(6);
    for (auto& s : block) s = static_cast<int16_t>(rng());
    uint8_t packet[8];
    for (auto _ : state) {
        da_BinWriter writer(packet, sizeof packet);
        codec.pushSamples(block.data());
        codec.analyzeAndEncode(writer);
    }
}
BENCHMARK(BM_EncodeStep)->Arg(0)->Arg(1);

void BM_DecodeStep(benchmark::State& state) {
    NullCodec codec({pathOf(state)});
    std::vector<int16_t> block(blockSamples);
    uint8_t packet[8] = {};
    for (auto _ : state) {
        da_BinReader reader(packet, sizeof packet);
        codec.decodeAndSynthesize(reader);
        codec.popSamples(block.data());
        benchmark::DoNotOptimize(block.data());
    }
}
BENCHMARK(BM_DecodeStep)->Arg(0)->Arg(1);

}  // namespace
