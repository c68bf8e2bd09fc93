// Per-frame work (encoding, decoding and the transforms around them) takes
// nothing from the heap once the codec is built: the working arrays live in
// the codec object. Counted by replacing the global
// allocation functions of this test program (they only count and forward).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "codec/elb1764.h"
#include "codec/encoder_test_support.h"

namespace {
std::atomic<long> heapAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
    heapAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// GCC cannot see that this operator new is the malloc above and takes the
// free below for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {
class PerFrameAllocation : public ::testing::Test {};
}  // namespace

TEST_F(PerFrameAllocation, EncodingFramesDoesNotAllocate) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<Complex> left(blockLength), right(blockLength);
    std::vector<uint8_t> packet(1024);
    uint32_t seed = 5;
    const long before = heapAllocations.load();
    for (int frame = 0; frame < 8; ++frame) {
        for (int k = 0; k < blockLength; ++k) {
            seed = seed * 1664525u + 1013904223u;
            const float v = static_cast<float>(static_cast<int32_t>(seed)) * 1e-5f;
            left[k] = Complex{v, -0.5f * v};
            right[k] = Complex{0.25f * v, frame % 2 ? v : 0.0f};
        }
        da_BinWriter out(packet.data(), 1024);
        codec.encodeFrame(left.data(), right.data(), out);
        ASSERT_GT(out.bitPosition, 0);
    }
    EXPECT_EQ(heapAllocations.load(), before);
}

TEST_F(PerFrameAllocation, WholeEncodeAndDecodeStepsDoNotAllocateOnEitherPath) {
    // The jobs' per-frame work: push, analyse and encode, decode and
    // synthesise, pop; a codec and its buffers are built once per job.
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast path" : "reference path");
        const CodecOptions options{fast ? CodecPath::fast : CodecPath::reference};
        Elb1764 encoder(defaultCodecParameters, defaultEncoderTuning, options);
        Elb1764 decoder(defaultCodecParameters, defaultEncoderTuning, options);
        std::vector<int16_t> block(2 * blockLength), out(2 * blockLength);
        std::vector<uint8_t> packet(1024);
        uint32_t seed = 11;
        int packetsDecoded = 0;
        const long before = heapAllocations.load();
        for (int frame = 0; frame < 12; ++frame) {
            for (size_t i = 0; i < block.size(); ++i) {
                seed = seed * 1664525u + 1013904223u;
                block[i] = static_cast<int16_t>(static_cast<int32_t>(seed) >> (frame < 6 ? 18 : 16));
            }
            ASSERT_TRUE(encoder.pushSamples(block.data()));
            da_BinWriter writer(packet.data(), 1024);
            ASSERT_TRUE(encoder.analyzeAndEncode(writer));
            da_BinReader reader(packet.data(), 1024);
            ASSERT_TRUE(decoder.decodeAndSynthesize(reader));
            ASSERT_TRUE(decoder.popSamples(out.data()));
            ++packetsDecoded;
        }
        EXPECT_EQ(heapAllocations.load(), before);
        EXPECT_EQ(packetsDecoded, 12);
    }
}
