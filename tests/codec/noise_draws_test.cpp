// Whatever chain or buffer a frame's noise draws come from, they must be the
// recurrence's draws from the frame's own state, and the generator must end
// where stepping would leave it.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/noise_checkpoints.h"
#include "codec/noise_draws.h"
#include "codec/noise_generator.h"

namespace {

struct Seek {
    int beforeFrame;           // set the generator before this frame
    NoiseGeneratorState to;
};

TEST(NoiseDraws, EveryFrameGetsTheRecurrencesDrawsFromItsOwnState) {
    const int64_t step = noiseCheckpointStep;
    const int64_t tableEnd = int64_t{1} << 31;
    const NoiseGeneratorState offPath{0, 1};  // no checkpoint's state follows from this one
    struct Case {
        const char* name;
        int frameDraws;
        NoiseGeneratorState start;
        int frames;
        std::vector<Seek> seeks;
        bool buffers;  // whether some frames must come from the buffer
    };
    const Case cases[] = {
        {"from the start, 704 a frame", 704, {0, 0}, 600, {}, true},
        {"frame ends on every checkpoint", 1024, {0, 0}, 400, {}, true},
        {"the shortest frames with two chains", 64, {0, 0}, 5000, {}, true},
        {"shorter frames, one chain", 63, {0, 0}, 5000, {}, false},
        {"a state off the table's path", 704, offPath, 600, {}, false},
        {"seek while the second chain fills", 704, noiseGeneratorAfterDraws(step - 30000), 400,
         {{10, noiseGeneratorAfterDraws(5 * step + 77)}}, true},
        {"seek while frames come from the buffer", 704, {0, 0}, 500,
         {{200, noiseGeneratorAfterDraws(1000)}, {260, noiseGeneratorAfterDraws(3 * step - 5000)}}, true},
        {"a state off the path while filling", 704, noiseGeneratorAfterDraws(step - 20000), 100,
         {{5, NoiseGeneratorState{static_cast<int32_t>(step - 20000 + 5 * 704), 12345}}}, false},
        {"the last checkpoint before the counter wraps", 704, noiseGeneratorAfterDraws(tableEnd - step - 40000),
         300, {}, true},
        {"past the table's end", 704, noiseGeneratorAfterDraws(tableEnd - 3 * 704 - 5), 20, {}, false},
    };
    for (const Case& c : cases) {
        NoiseDraws draws(c.frameDraws);
        NoiseGeneratorState generator = c.start;
        NoiseGeneratorState expected = c.start;
        std::size_t nextSeek = 0;
        std::vector<int32_t> got(static_cast<std::size_t>(c.frameDraws));
        for (int frame = 0; frame < c.frames; ++frame) {
            if (nextSeek < c.seeks.size() && c.seeks[nextSeek].beforeFrame == frame) {
                generator = expected = c.seeks[nextSeek].to;
                ++nextSeek;
            }
            std::vector<int32_t> want;
            uint64_t state = static_cast<uint64_t>(expected.state);
            uint32_t counter = static_cast<uint32_t>(expected.counter);
            for (int k = 0; k < c.frameDraws; ++k)
                want.push_back(wrapToInt32(static_cast<uint32_t>(noiseStep(state, counter) >> 16)));
            expected = NoiseGeneratorState{wrapToInt32(counter), wrapToInt64(state)};

            // The stretches handed out must cover the frame once, in order,
            // each written when handed.
            int covered = 0;
            bool inOrder = true;
            draws.take(generator, got.data(), [&](int start, int count) {
                inOrder = inOrder && start == covered && count > 0;
                for (int k = start; k < start + count; ++k) inOrder = inOrder && got[k] == want[k];
                covered = start + count;
            });
            const std::string where = std::string(c.name) + ", frame " + std::to_string(frame);
            ASSERT_TRUE(inOrder) << where;
            ASSERT_EQ(covered, c.frameDraws) << where;
            ASSERT_EQ(got, want) << where;
            ASSERT_EQ(generator.counter, expected.counter) << where;
            ASSERT_EQ(generator.state, expected.state) << where;
        }
        EXPECT_EQ(draws.framesFromBuffer() > 0, c.buffers) << c.name;
    }
}

}  // namespace
