// Cost of decoding one frame (bits to spectra), of synthesising it, and of
// the whole per-frame decode step (decode, synthesis, overlap-add, pop).
// The frame decode runs on the reference path (argument 0) and on the fast
// path (argument 1), which gives the same spectra.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "codec/codec_parameters.h"
#include "codec/elb1764.h"
#include "transform/filter_bank.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace {

constexpr int packetBytes = 1024;

// The first frame of silence under the default parameters.
const std::vector<uint8_t> silentPacket = {0xff, 0x9f, 0x4d, 0x08, 0x1f, 0x3c, 0xf4, 0xde,
                                           0x7b, 0x2f, 0x8e, 0x38, 0xe2, 0x88, 0x23, 0x8e};

// A second of something like music: a chord with harmonics, a moving melody
// panned right, and a little broadband noise, as 16-bit stereo blocks.
std::vector<int16_t> musicLikeBlocks(int blocks)
{
    const double pi = 3.14159265358979323846;
    std::vector<int16_t> samples(static_cast<std::size_t>(blocks) * blockSamples);
    uint32_t lcg = 1u;
    for (std::size_t n = 0; n < samples.size() / 2; ++n) {
        const double t = static_cast<double>(n) / 44100.0;
        double chord = 0.0;
        for (const double f : {220.0, 277.18, 329.63}) {
            for (int h = 1; h <= 5; ++h) {
                chord += std::sin(2.0 * pi * f * h * t) / (h * h);
            }
        }
        const double melodyFrequency = 880.0 * std::pow(2.0, std::floor(t * 4.0) / 12.0);
        const double melody = std::sin(2.0 * pi * melodyFrequency * t + 0.3 * std::sin(2.0 * pi * 5.0 * t));
        lcg = lcg * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(lcg >> 8) / 8388608.0 - 1.0) * 0.05;
        const double left = 3000.0 * chord + 2000.0 * melody * 0.3 + 3000.0 * hiss;
        const double right = 3000.0 * chord + 2000.0 * melody + 3000.0 * hiss;
        samples[2 * n] = static_cast<int16_t>(left);
        samples[2 * n + 1] = static_cast<int16_t>(right);
    }
    return samples;
}

// Packets of the music-like signal as the encode job would make them.
std::vector<std::vector<uint8_t>> musicLikePackets(int blocks)
{
    const std::vector<int16_t> samples = musicLikeBlocks(blocks);
    Elb1764 encoder(defaultCodecParameters, defaultEncoderTuning);
    std::vector<std::vector<uint8_t>> packets;
    for (int b = 0; b < blocks; ++b) {
        std::vector<uint8_t> packet(packetBytes, 0);
        da_BinWriter out(packet.data(), packetBytes);
        encoder.pushSamples(samples.data() + static_cast<std::size_t>(b) * blockSamples);
        encoder.analyzeAndEncode(out);
        packets.push_back(packet);
    }
    return packets;
}

void windowOf(const std::vector<uint8_t>& packet, std::vector<uint8_t>& window)
{
    window.assign(packetBytes, 0);
    std::copy(packet.begin(), packet.end(), window.begin());
}

CodecPath pathOf(benchmark::State& state)
{
    state.SetLabel(state.range(0) ? "fast" : "reference");
    return state.range(0) ? CodecPath::fast : CodecPath::reference;
}

void BM_DecodeSilentFrame(benchmark::State& state)
{
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning, {pathOf(state)});
    std::vector<uint8_t> window;
    windowOf(silentPacket, window);
    std::vector<Complex> left(blockLength), right(blockLength);
    for (auto _ : state) {
        da_BinReader in(window.data(), packetBytes);
        codec.decodeFrame(in, left.data(), right.data());
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecodeSilentFrame)->ArgName("fast")->Arg(0)->Arg(1);

void BM_DecodeMusicFrame(benchmark::State& state)
{
    const std::vector<std::vector<uint8_t>> packets = musicLikePackets(100);
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning, {pathOf(state)});
    std::vector<Complex> left(blockLength), right(blockLength);
    std::size_t next = 0;
    long long bits = 0;
    for (auto _ : state) {
        da_BinReader in(packets[next].data(), packetBytes);
        codec.decodeFrame(in, left.data(), right.data());
        bits += in.bitPosition;
        next = (next + 1) % packets.size();
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
    state.counters["bits/frame"] = benchmark::Counter(static_cast<double>(bits) / state.iterations());
}
BENCHMARK(BM_DecodeMusicFrame)->ArgName("fast")->Arg(0)->Arg(1);

void BM_SynthesizeDecodedFrame(benchmark::State& state)
{
    const std::vector<std::vector<uint8_t>> packets = musicLikePackets(10);
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<Complex> left(blockLength), right(blockLength), out(windowLength);
    da_BinReader in(packets[5].data(), packetBytes);
    codec.decodeFrame(in, left.data(), right.data());
    for (auto _ : state) {
        synthesizeFrame(left.data(), right.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SynthesizeDecodedFrame);

// What the decode job spends per frame in the codec: decodeFrame,
// synthesis and overlap-add, and the 16-bit output block.
void BM_DecodeAndSynthesizeMusic(benchmark::State& state)
{
    const std::vector<std::vector<uint8_t>> packets = musicLikePackets(100);
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning, {pathOf(state)});
    std::vector<int16_t> block(blockSamples);
    std::size_t next = 0;
    for (auto _ : state) {
        da_BinReader in(packets[next].data(), packetBytes);
        codec.decodeAndSynthesize(in);
        codec.popSamples(block.data());
        next = (next + 1) % packets.size();
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    // 50 frames per second of audio.
    state.counters["x realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) / 50.0,
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeAndSynthesizeMusic)->ArgName("fast")->Arg(0)->Arg(1);

}  // namespace
