// Replays stored inputs through the conversion jobs in this process, so that
// the sanitizer build of the test suite checks them on every run:
// - tests/data/regressions/: inputs that once made a job misbehave;
// - fuzz/corpus/container_decoder and fuzz/corpus/wave_encoder: the fuzzers'
//   seeds, intact and damaged files made by the project's own tools.
// A .q58 file goes through decodeFileWithLimit, a .wav file through
// encodeFile and then its container through decodeFile. Each outcome must
// agree with what the job left behind: no output for a skipped input, a
// complete WAV file of whole blocks otherwise, every promised frame when the
// job reports success, and an encoder output that always decodes intact.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "driver/conversion_jobs.h"
#include "driver/working_parameters.h"
#include "formats/container_format.h"
#include "formats/container_survey.h"
#include "formats/wave_survey.h"
#include "base/frame_sizes.h"
#include "transform/transform_tables.h"

namespace fs = std::filesystem;

namespace {

// More than any stored input holds, so that none is cut by the limit.
constexpr uint64_t frameLimit = 64;

std::vector<fs::path> inputsIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

const fs::path dataDir = Q58_TEST_DATA_DIR;
const fs::path corpusDir = dataDir.parent_path().parent_path() / "fuzz" / "corpus";

// The decode job's WAV output: canonical header, sizes matching the file,
// whole blocks. Returns the number of sample bytes.
uint64_t decodedDataBytes(const std::string& path)
{
    const std::vector<uint8_t> wav = readFileBytes(path);
    EXPECT_GE(wav.size(), 44u);
    if (wav.size() < 44)
        return 0;
    const uint64_t dataBytes = wav.size() - 44;
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    EXPECT_EQ(getLe32(wav, 40), dataBytes);
    EXPECT_EQ(getLe32(wav, 4), dataBytes + 36);
    EXPECT_EQ(dataBytes % blockBytes, 0u);
    return dataBytes;
}

void replayContainer(const fs::path& input, const ScratchDir& dir)
{
    const std::vector<uint8_t> bytes = readFileBytes(input.string());
    const std::string output = dir.file("replay.q58.wav");
    fs::remove(output);
    const JobOutcome outcome = decodeFileWithLimit(input.string(), output, frameLimit * blockBytes);
    // The packet walk sees damage where the decoder does.
    const ContainerSurvey survey = surveyContainer(input.string());
    const ContainerVerdict surveyed = survey.verdict;
    EXPECT_EQ(surveyed == ContainerVerdict::notOurs, outcome == JobOutcome::skipped);
    if (outcome == JobOutcome::converted) {
        EXPECT_EQ(surveyed, ContainerVerdict::intact);
    }
    if (surveyed == ContainerVerdict::damaged || surveyed == ContainerVerdict::unusable) {
        EXPECT_EQ(outcome, JobOutcome::failed);
    }

    ContainerHeader header{};
    const bool magic = bytes.size() >= 4 && std::memcmp(bytes.data(), containerMagic, 4) == 0;
    if (!magic) {
        EXPECT_EQ(outcome, JobOutcome::skipped);
        EXPECT_FALSE(fs::exists(output));
        return;
    }
    EXPECT_NE(outcome, JobOutcome::skipped);
    if (!fs::exists(output)) {
        EXPECT_EQ(outcome, JobOutcome::failed);  // header refused before any output
        return;
    }
    ASSERT_GE(bytes.size(), static_cast<size_t>(containerHeaderSize));
    ASSERT_TRUE(decodeContainerHeader(bytes.data(), header));
    const uint64_t promised = header.frameCount > 0 ? static_cast<uint64_t>(header.frameCount) : 0;
    const uint64_t dataBytes = decodedDataBytes(output);
    EXPECT_LE(dataBytes, promised * blockBytes);
    if (surveyed == ContainerVerdict::damaged && promised <= frameLimit) {
        EXPECT_EQ(static_cast<uint64_t>(survey.framesIntact) * blockBytes, dataBytes);
    }
    if (outcome != JobOutcome::converted)
        return;
    EXPECT_EQ(dataBytes, promised * blockBytes);
    // Intact means every byte belongs to a frame: one byte more is damage.
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    const std::string longerInput = dir.file("longer.q58");
    writeFileBytes(longerInput, longer);
    EXPECT_EQ(decodeFileWithLimit(longerInput, output, frameLimit * blockBytes), JobOutcome::failed);
    EXPECT_EQ(decodedDataBytes(output), dataBytes);
}

void replayWave(const fs::path& input, const ScratchDir& dir)
{
    const std::string container = dir.file("replay.q58");
    const std::string decoded = dir.file("replay.q58.wav");
    fs::remove(container);
    fs::remove(decoded);
    const JobOutcome encoded = encodeFile(input.string(), container);
    // The survey behind the diagnostics and q58info accepts what the job accepts.
    EXPECT_EQ(surveyWave(input.string()).verdict == WaveVerdict::accepted, encoded != JobOutcome::skipped);
    if (encoded == JobOutcome::skipped) {
        EXPECT_FALSE(fs::exists(container));
        return;
    }
    const std::vector<uint8_t> bytes = readFileBytes(container);
    ASSERT_GE(bytes.size(), static_cast<size_t>(containerHeaderSize));
    ContainerHeader header{};
    ASSERT_TRUE(decodeContainerHeader(bytes.data(), header));
    ASSERT_GE(header.frameCount, 0);
    EXPECT_EQ(decodeFile(container, decoded), JobOutcome::converted);
    EXPECT_EQ(decodedDataBytes(decoded), static_cast<uint64_t>(header.frameCount) * blockBytes);
}

class StoredInputs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        loadWorkingParameters();
    }

    // Replays every .q58 and .wav file of folder; returns how many.
    static int replayFolder(const fs::path& folder)
    {
        ScratchDir dir;
        int replayed = 0;
        for (const fs::path& input : inputsIn(folder)) {
            SCOPED_TRACE(input.string());
            if (input.extension() == ".q58") {
                replayContainer(input, dir);
                ++replayed;
            } else if (input.extension() == ".wav") {
                replayWave(input, dir);
                ++replayed;
            }
        }
        return replayed;
    }
};

}  // namespace

TEST_F(StoredInputs, RegressionInputsBehave)
{
    EXPECT_GT(replayFolder(dataDir / "regressions"), 0) << "no inputs in " << (dataDir / "regressions");
}

TEST_F(StoredInputs, FuzzSeedContainersBehave)
{
    EXPECT_GT(replayFolder(corpusDir / "container_decoder"), 5);
}

TEST_F(StoredInputs, FuzzSeedWavesBehave)
{
    EXPECT_GT(replayFolder(corpusDir / "wave_encoder"), 5);
}
