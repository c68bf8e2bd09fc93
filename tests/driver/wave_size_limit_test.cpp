// The decode job stops before the WAV file would pass the 4 GiB its size
// fields can describe. The limit is lowered through decodeFileWithLimit so
// that its boundary is met with a few blocks instead of gigabytes.

#include <gtest/gtest.h>

#include <string>

#include "cli_harness.h"
#include "driver/conversion_jobs.h"
#include "driver/working_parameters.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

TEST(WaveSizeLimit, TheRealLimitIsTheLastWholeBlockUnderFourGibibytes)
{
    const uint64_t limit = maxWaveDataBytes();
    EXPECT_EQ(limit % blockBytes, 0u);
    EXPECT_LE(36 + limit, UINT64_C(0xFFFFFFFF));
    EXPECT_GT(36 + limit + blockBytes, UINT64_C(0xFFFFFFFF));
}

TEST(WaveSizeLimit, BlocksUpToTheLimitAreWrittenAndNoMore)
{
    loadWorkingParameters();
    ScratchDir dir;
    constexpr uint64_t frames = 4;
    writeFileBytes(dir.file("s.wav"), makeWav(silence(frames * 882)));
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(encodeFile(dir.file("s.wav"), dir.file("s.q58")), JobOutcome::converted);
    ::testing::internal::GetCapturedStdout();

    struct Case {
        uint64_t limit;
        uint64_t blocksWritten;  // the stop comes when the next block would pass the limit
    };
    const Case cases[] = {
        {frames * blockBytes, frames},
        {frames * blockBytes + blockBytes - 1, frames},
        {frames * blockBytes - 1, frames - 1},
        {(frames - 1) * blockBytes, frames - 1},
        {blockBytes - 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const JobOutcome outcome = decodeFileWithLimit(dir.file("s.q58"), dir.file("s.q58.wav"), c.limit);
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string err = ::testing::internal::GetCapturedStderr();
        const bool stopped = c.blocksWritten < frames;
        EXPECT_EQ(outcome, stopped ? JobOutcome::failed : JobOutcome::converted);
        EXPECT_EQ(err.find("4 GiB") != std::string::npos, stopped) << err;
        EXPECT_NE(out.find("done."), std::string::npos);
        const auto wav = readFileBytes(dir.file("s.q58.wav"));
        ASSERT_EQ(wav.size(), 44 + c.blocksWritten * blockBytes);
        EXPECT_EQ(getLe32(wav, 40), c.blocksWritten * blockBytes);
    }
}
