// Encoding a frame takes nothing from the heap once the codec is built: the
// working arrays live in the codec object. Counted by replacing the global
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
class EncoderAllocation : public encoder_test::WithTables {};
}  // namespace

TEST_F(EncoderAllocation, EncodingFramesDoesNotAllocate) {
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
