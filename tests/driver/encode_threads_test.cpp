// The encode job on two threads against one: for every input below the
// outcome, the console lines and the output file are the same byte for byte,
// on generated music, silence, inputs of less than a block and
// damaged WAV files, and when the output stops growing at a file-size limit.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "driver/conversion_jobs.h"
#include "driver/working_parameters.h"

namespace {

struct JobRun {
    JobOutcome outcome;
    std::string out;
    std::string err;
    std::vector<uint8_t> output;  // empty when no output file was left
};

// The encode job on in.wav in dir, with the output at the given size limit
// (0: none); the output is read and removed afterwards.
JobRun encodeWith(const ScratchDir& dir, int threads, uint64_t sizeLimit)
{
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (sizeLimit > 0) {
        const rlimit limited{sizeLimit, before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    JobRun run{encodeFileWithThreads(dir.file("in.wav"), dir.file("in.q58"), threads), "", "", {}};
    run.out = ::testing::internal::GetCapturedStdout();
    run.err = ::testing::internal::GetCapturedStderr();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    if (std::filesystem::exists(dir.file("in.q58"))) {
        run.output = readFileBytes(dir.file("in.q58"));
        std::filesystem::remove(dir.file("in.q58"));
    }
    return run;
}

// 40 s of q58_make_sample's music, made once.
std::vector<uint8_t> generatedMusic(const ScratchDir& dir)
{
    static const std::vector<uint8_t> made = [&] {
        const CliResult run = dir.run(Q58_MAKE_SAMPLE_EXE, {dir.file("made.wav"), "40"});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        return readFileBytes(dir.file("made.wav"));
    }();
    return made;
}

std::vector<uint8_t> truncated(std::vector<uint8_t> wav, size_t bytes)
{
    wav.resize(bytes);
    return wav;
}

std::vector<uint8_t> withDataSize(std::vector<uint8_t> wav, uint32_t dataBytes)
{
    putLe32(wav, 40, dataBytes);
    return wav;
}

struct Case {
    const char* name;
    std::function<std::vector<uint8_t>(const ScratchDir&)> input;
    uint64_t sizeLimit;
    JobOutcome outcome;
};

const Case cases[] = {
    {"music, 40 s", generatedMusic, 0, JobOutcome::converted},
    {"silence, 20 s", [](const ScratchDir&) { return makeWav(silence(20 * 44100)); }, 0, JobOutcome::converted},
    {"less than a block", [](const ScratchDir&) { return makeWav(chordSignal(500)); }, 0, JobOutcome::converted},
    {"partial last block", [](const ScratchDir&) { return makeWav(chordSignal(7 * 882 + 100)); }, 0,
     JobOutcome::converted},
    {"data cut short",
     [](const ScratchDir&) { return truncated(makeWav(chordSignal(300 * 882)), 44 + 200 * 882 * 4 + 100); }, 0,
     JobOutcome::failed},
    {"data size left at 0", [](const ScratchDir&) { return withDataSize(makeWav(chordSignal(300 * 882)), 0); }, 0,
     JobOutcome::failed},
    // The limit applies to the captured console output too (about 55 kB), which stays below it.
    {"output at a size limit", generatedMusic, 80000, JobOutcome::failed},
};

TEST(EncodeThreads, TwoThreadsGiveTheOutcomeLinesAndFileOfOne)
{
    loadWorkingParameters();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        writeFileBytes(dir.file("in.wav"), c.input(dir));
        const JobRun one = encodeWith(dir, 1, c.sizeLimit);
        const JobRun two = encodeWith(dir, 2, c.sizeLimit);
        EXPECT_EQ(one.outcome, c.outcome) << one.err;
        EXPECT_EQ(two.outcome, one.outcome);
        EXPECT_TRUE(two.out == one.out) << "standard output differs; sizes " << two.out.size() << " and "
                                        << one.out.size();
        EXPECT_EQ(two.err, one.err);
        EXPECT_EQ(two.output.size(), one.output.size());
        EXPECT_TRUE(two.output == one.output);
    }
}

}  // namespace
