// Outputs whose last steps fail: the call that syncs, closes or renames the
// temporary file returns EIO or ENOSPC (through the failing_calls_shim
// preload library). q58 encoding and decoding and the library encoder must
// each leave a file already under the output name byte for byte as it was
// (or no file at all), remove the temporary file and report the failure:
// q58 with exit status 1 and one line naming the output, the library with
// Q58_ERROR_IO.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "cli_harness.h"
#include "include/q58.h"

namespace fs = std::filesystem;

namespace {

struct Job {
    const char* label;
    std::string program;                // empty for q58
    std::vector<std::string> arguments;
    std::string output;
    int failureStatus;
};

const Job jobs[] = {
    {"encode", "", {"in.wav"}, "in.q58", 1},
    {"decode", "", {"in.q58"}, "in.q58.wav", 1},
    {"library", Q58_ENCODE_FILE_EXE, {"lib.q58", "8820"}, "lib.q58", Q58_ERROR_IO},
};

const char* const calls[] = {"fsync", "close", "fclose", "rename"};
const char* const errnoNames[] = {"EIO", "ENOSPC"};

// in.wav, and in.q58 made from it by an ordinary run.
void makeInputs(const ScratchDir& dir)
{
    writeFileBytes(dir.file("in.wav"), makeWav(chordSignal(3 * 882, 8)));
    const CliResult r = dir.runQ58({"in.wav"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
}

// The job run with the shim making call fail with errnoName for the names
// holding failingPath.
CliResult runFailing(const ScratchDir& dir, const Job& job, const std::string& call, const std::string& errnoName,
                     const std::string& failingPath)
{
    LaunchOptions options;
    options.program = job.program;
    const char* asan = std::getenv("ASAN_OPTIONS");
    // A sanitizer runtime would otherwise refuse a library loaded before it.
    options.environment = {std::string("LD_PRELOAD=") + Q58_FAILING_CALLS_SHIM, "Q58_FAIL_CALL=" + call,
                           "Q58_FAIL_ERRNO=" + errnoName, "Q58_FAIL_PATH=" + failingPath,
                           std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"};
    return RunningQ58(dir, job.arguments, options).finish();
}

std::vector<std::string> temporaryFiles(const ScratchDir& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().find(".part-") != std::string::npos)
            found.push_back(entry.path().filename().string());
    return found;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        found.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return found;
}

using Row = std::tuple<const Job*, const char*, const char*, bool>;  // job, call, errno, old output

class FailingCall : public ::testing::TestWithParam<Row> {};

std::string rowName(const ::testing::TestParamInfo<Row>& info)
{
    const auto& [job, call, errnoName, old] = info.param;
    return std::string(job->label) + "_" + call + "_" + errnoName + (old ? "_OverOldOutput" : "_NoOldOutput");
}

}  // namespace

TEST_P(FailingCall, LeavesTheOldOutputAndNoTemporaryFile)
{
    const auto& [job, call, errnoName, old] = GetParam();
    ScratchDir dir;
    makeInputs(dir);
    const std::vector<uint8_t> oldBytes = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    if (old)
        writeFileBytes(dir.file(job->output), oldBytes);
    else
        fs::remove(dir.path() / job->output);

    const CliResult r = runFailing(dir, *job, call, errnoName, ".part-");
    EXPECT_EQ(r.endingSignal, 0);
    EXPECT_EQ(r.exitStatus, job->failureStatus) << r.err;
    EXPECT_EQ(fs::exists(dir.path() / job->output), old);
    if (old) {
        EXPECT_EQ(readFileBytes(dir.file(job->output)), oldBytes);
    }
    EXPECT_EQ(temporaryFiles(dir), std::vector<std::string>{});
    const std::vector<std::string> errLines = lines(r.err);
    ASSERT_EQ(errLines.size(), 1u) << r.err;
    EXPECT_NE(errLines[0].find("'" + job->output + "'"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Calls, FailingCall,
                         ::testing::Combine(::testing::Values(&jobs[0], &jobs[1], &jobs[2]), ::testing::ValuesIn(calls),
                                            ::testing::ValuesIn(errnoNames), ::testing::Bool()),
                         rowName);

// The same runs with the failure aimed at another name: the preloaded
// library changes nothing else, so the failures above are the call's.
TEST(FailingCall, CallsForOtherNamesPassThrough)
{
    for (const Job& job : jobs) {
        SCOPED_TRACE(job.label);
        ScratchDir dir;
        makeInputs(dir);
        LaunchOptions options;
        options.program = job.program;
        const CliResult plain = RunningQ58(dir, job.arguments, options).finish();
        ASSERT_EQ(plain.exitStatus, 0) << plain.err;
        const std::vector<uint8_t> expected = readFileBytes(dir.file(job.output));
        fs::remove(dir.path() / job.output);
        for (const char* call : calls) {
            const CliResult r = runFailing(dir, job, call, "EIO", "no-such-name");
            EXPECT_EQ(r.exitStatus, 0) << call << ": " << r.err;
            EXPECT_EQ(r.err, "") << call;
            EXPECT_EQ(readFileBytes(dir.file(job.output)), expected) << call;
        }
    }
}
