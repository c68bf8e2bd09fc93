// Signals arriving during a batch of twenty conversions, some of them over
// existing outputs. Wherever SIGINT, SIGTERM or SIGHUP lands (once or
// repeated), every output must afterwards hold either what it held before
// (or not exist) or exactly what an uninterrupted run writes, no temporary
// file may remain, and the process must end by that signal. A signal that
// was ignored when q58 started stays ignored: the batch completes.
//
// A long encode prints more progress than the output pipe and q58's console
// buffer hold together (about 8 KiB); the other jobs are short, to keep the
// batch quick. Each row stops the run in a long job, or in the job just
// before one: once the test has read that line of job k, the run cannot
// have put any later job's output in place.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace fs = std::filesystem;

namespace {

struct BatchFile {
    std::string input;
    std::string output;
    bool hasOldOutput;
};

// The jobs in order: e a short encode, L a long encode, d a short decode.
constexpr char layout[] = "eLedeeLeeedLeeedLedL";
constexpr int batchSize = sizeof layout - 1;

bool isDecode(int index) { return layout[index] == 'd'; }
bool isLong(int index) { return index < batchSize && layout[index] == 'L'; }

std::vector<BatchFile> batchFiles()
{
    std::vector<BatchFile> files;
    for (int i = 0; i < batchSize; ++i) {
        const std::string stem = (isDecode(i) ? "d" : "e") + std::to_string(100 + i).substr(1);
        files.push_back(isDecode(i) ? BatchFile{stem + ".q58", stem + ".q58.wav", i % 3 == 1}
                                    : BatchFile{stem + ".wav", stem + ".q58", i % 3 == 1});
    }
    return files;
}

// An earlier output: its own name, so that no two are alike.
std::vector<uint8_t> oldContent(const BatchFile& file)
{
    const std::string text = "old " + file.output;
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The inputs and what one uninterrupted run of the whole batch writes,
// made once for all the rows.
struct Batch {
    ScratchDir dir;
    std::vector<BatchFile> files = batchFiles();
    std::vector<std::string> arguments;
    std::vector<std::vector<uint8_t>> completeOutputs;
    CliResult completeRun;

    Batch()
    {
        const std::vector<int16_t> chord = chordSignal(400 * 882);
        for (int i = 0; i < batchSize; ++i) {
            // One recording, started at a different block for each file:
            // 400 blocks for a long job, 30 for a short one.
            std::vector<int16_t> samples = chord;
            std::rotate(samples.begin(), samples.begin() + 2 * 882 * i, samples.end());
            samples.resize(2 * 882 * (isLong(i) ? 400 : 30));
            if (isDecode(i)) {
                const std::string wav = files[i].input.substr(0, 3) + ".wav";
                writeFileBytes(dir.file(wav), makeWav(samples));
                const CliResult made = dir.runQ58({wav});
                EXPECT_EQ(made.exitStatus, 0) << made.err;
                fs::remove(dir.path() / wav);
            } else {
                writeFileBytes(dir.file(files[i].input), makeWav(samples));
            }
            arguments.push_back(files[i].input);
        }
        completeRun = dir.runQ58(arguments);
        EXPECT_EQ(completeRun.exitStatus, 0) << completeRun.err;
        for (const BatchFile& file : files)
            completeOutputs.push_back(readFileBytes(dir.file(file.output)));
    }

    // Outputs as before a run: the old ones in place, the others absent,
    // and no temporary file a failed row left.
    void resetOutputs() const
    {
        for (const std::string& name : temporaries())
            fs::remove(dir.path() / name);
        for (const BatchFile& file : files) {
            fs::remove(dir.path() / file.output);
            if (file.hasOldOutput)
                writeFileBytes(dir.file(file.output), oldContent(file));
        }
    }

    bool holdsOld(int index) const
    {
        const BatchFile& file = files[index];
        if (!file.hasOldOutput)
            return !fs::exists(dir.path() / file.output);
        return readFileBytes(dir.file(file.output)) == oldContent(file);
    }

    bool holdsNew(int index) const { return readFileBytes(dir.file(files[index].output)) == completeOutputs[index]; }

    std::vector<std::string> temporaries() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string().find(".part-") != std::string::npos)
                found.push_back(entry.path().filename().string());
        return found;
    }
};

enum class Moment { started, halfway, done };  // in job k: its first line, 10 frames in, its last line

struct Row {
    const char* name;
    int job;
    Moment moment;
    std::vector<int> sent;
    std::vector<int> ignored;  // by the parent, before q58 starts
    int endingSignal;          // 0: the batch completes
};

std::string rowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

// Reads q58's output up to the chosen moment of job k.
void advanceTo(RunningQ58& run, const Batch& batch, int job, Moment moment)
{
    const std::string start = (isDecode(job) ? "decoding : '" : "encoding : '") + batch.files[job].input + "'";
    for (std::string line = run.readLine(); line.rfind(start, 0) != 0; line = run.readLine())
        ASSERT_NE(line, "") << "the output ended before " << start;
    for (int frames = 0; moment == Moment::halfway && frames < 10; ++frames)
        ASSERT_NE(run.readLine('\r'), "");
    if (moment != Moment::done)
        return;
    for (std::string line; line.size() < 6 || line.compare(line.size() - 6, 6, "done.\n") != 0;) {
        line = run.readLine();
        ASSERT_NE(line, "");
    }
}

class SignalInBatch : public ::testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite() { batch = std::make_unique<Batch>(); }
    static void TearDownTestSuite() { batch.reset(); }
    static std::unique_ptr<Batch> batch;
};

std::unique_ptr<Batch> SignalInBatch::batch;

}  // namespace

TEST_P(SignalInBatch, LeavesEachOutputOldOrCompleteAndNoTemporaryFile)
{
    const Row& row = GetParam();
    ASSERT_EQ(batch->completeRun.exitStatus, 0);
    const bool holdsTheRun = isLong(row.job + 1) || (isLong(row.job) && row.moment != Moment::done);
    ASSERT_TRUE(holdsTheRun || row.endingSignal == 0)
        << "a row must stop the run where the next job's output cannot be put in place yet";
    batch->resetOutputs();
    LaunchOptions options;
    options.ignoredSignals = row.ignored;
    RunningQ58 run(batch->dir, batch->arguments, options);
    advanceTo(run, *batch, row.job, row.moment);
    for (int s : row.sent)
        run.sendSignal(s);
    const CliResult r = run.finish();

    EXPECT_EQ(r.endingSignal, row.endingSignal);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(batch->temporaries(), std::vector<std::string>{});
    if (row.endingSignal == 0) {
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_EQ(r.out, batch->completeRun.out);
    }
    for (int i = 0; i < batchSize; ++i) {
        SCOPED_TRACE(batch->files[i].output);
        if (row.endingSignal == 0 || i < row.job)
            EXPECT_TRUE(batch->holdsNew(i));
        else if (i > row.job)
            EXPECT_TRUE(batch->holdsOld(i));
        else
            EXPECT_TRUE(batch->holdsOld(i) || batch->holdsNew(i));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SignalInBatch,
    ::testing::Values(Row{"IntAtTheFirstJob", 0, Moment::started, {SIGINT}, {}, SIGINT},
                      Row{"TermHalfwayThroughAnEncode", 6, Moment::halfway, {SIGTERM}, {}, SIGTERM},
                      Row{"HupAsADecodeEnds", 10, Moment::done, {SIGHUP}, {}, SIGHUP},
                      Row{"IntHalfwayThroughADecode", 18, Moment::halfway, {SIGINT}, {}, SIGINT},
                      Row{"TermAsAnEncodeEnds", 5, Moment::done, {SIGTERM}, {}, SIGTERM},
                      Row{"HupAtTheLastJob", 19, Moment::started, {SIGHUP}, {}, SIGHUP},
                      Row{"IntThreeTimes", 11, Moment::halfway, {SIGINT, SIGINT, SIGINT}, {}, SIGINT},
                      Row{"TermTwiceAsADecodeStarts", 15, Moment::started, {SIGTERM, SIGTERM}, {}, SIGTERM},
                      Row{"HupTwiceAsAJobEnds", 15, Moment::done, {SIGHUP, SIGHUP}, {}, SIGHUP},
                      Row{"IgnoredIntChangesNothing", 6, Moment::halfway, {SIGINT}, {SIGINT}, 0},
                      Row{"IgnoredTermTwiceChangesNothing", 10, Moment::started, {SIGTERM, SIGTERM}, {SIGTERM}, 0},
                      Row{"HupUnderNohupChangesNothing", 14, Moment::done, {SIGHUP}, {SIGHUP}, 0},
                      Row{"TermStillEndsARunUnderNohup", 16, Moment::halfway, {SIGTERM}, {SIGHUP}, SIGTERM}),
    rowName);
