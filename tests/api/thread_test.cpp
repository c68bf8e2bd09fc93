// Two decoders and two encoders working at once on two threads give what
// each gives alone. Built under ThreadSanitizer by tools/library-check.sh.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "api_material.h"
#include "q58.h"

namespace {

struct Work {
    std::vector<int16_t> decoded;
    int decodeStatus = -1;
    int encodeStatus = -1;
    std::vector<uint8_t> encoded;
};

void decodeAndEncode(const std::string& output, Work& work)
{
    const ApiMaterial& m = apiMaterial();
    q58_decoder* decoder = q58_decoder_open_file(m.q58Path.c_str(), nullptr);
    q58_encoder* encoder = q58_encoder_open_file(output.c_str(), nullptr);
    if (!decoder || !encoder) return;
    std::vector<int16_t> chunk(2 * 1000);
    const size_t inputFrames = m.input.size() / 2;
    // Interleave the two so that both run while the other thread does the same.
    for (size_t done = 0;; done += 1000) {
        const size_t got = q58_decoder_read_s16(decoder, chunk.data(), 1000);
        work.decoded.insert(work.decoded.end(), chunk.begin(), chunk.begin() + static_cast<long>(2 * got));
        if (done < inputFrames)
            q58_encoder_write_s16(encoder, m.input.data() + 2 * done, std::min<size_t>(1000, inputFrames - done));
        if (got < 1000 && done >= inputFrames) break;
    }
    work.decodeStatus = q58_decoder_status(decoder);
    q58_decoder_close(decoder);
    work.encodeStatus = q58_encoder_close(encoder);
    work.encoded = readFileBytes(output);
}

TEST(LibraryThreads, TwoDecodersAndTwoEncodersAtOnceAreIndependent)
{
    const ApiMaterial& m = apiMaterial();
    Work first, second;
    // Both threads start before either has opened anything, so the
    // library's one-time set-up runs under contention.
    std::thread a(decodeAndEncode, m.scratch().file("thread-a.q58"), std::ref(first));
    std::thread b(decodeAndEncode, m.scratch().file("thread-b.q58"), std::ref(second));
    a.join();
    b.join();
    for (const Work* work : {&first, &second}) {
        EXPECT_EQ(work->decodeStatus, Q58_END_OF_STREAM);
        EXPECT_TRUE(work->decoded == m.decoded);
        EXPECT_EQ(work->encodeStatus, Q58_OK);
        EXPECT_TRUE(work->encoded == m.q58Bytes);
    }
}

}  // namespace
