// Cost of one 1764-point FFT and of one analysis and one synthesis frame.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "transform/fft1764.h"
#include "transform/filter_bank.h"
#include "transform/frame_sizes.h"
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
    initTransformTables();
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
    initTransformTables();
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
    initTransformTables();
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

}  // namespace
