// Decoding a long file on two threads gives what one thread gives: the same
// WAV bytes (or the same missing output), the same standard output and
// standard error, and the same outcome, for intact files and for files that
// are damaged, cut short or stopped by the size limit before, at and after
// the frame where the second thread starts, and for outputs the system
// refuses to let grow.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "driver/conversion_jobs.h"
#include "driver/working_parameters.h"
#include "base/frame_sizes.h"
#include "formats/container_format.h"
#include "formats/packet_walk.h"

namespace {

// Chords in six keys, each followed by a few seconds of silence, encoded
// once: three minutes for the run that must still be decoding the first part
// when the test cuts the input (its console output outgrows the pipe), 42
// seconds (2100 frames, twice the length from which a second thread starts)
// for the table, short enough for the sanitizer builds' time limit.
struct LongMaterial {
    ScratchDir dir;
    std::vector<uint8_t> container;
    std::vector<size_t> packetStarts;  // frame i's packet starts at packetStarts[i]
    int32_t frames = 0;
    int32_t split = 0;
};

const LongMaterial* makeMaterial(uint32_t chordSeconds, uint32_t pauseSeconds)
{
    loadWorkingParameters();
    auto* m = new LongMaterial;
    std::vector<int16_t> samples;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const std::vector<int16_t> chord = chordSignal(chordSeconds * 44100, seed);
        const std::vector<int16_t> pause = silence(pauseSeconds * 44100 + 123 * seed);
        samples.insert(samples.end(), chord.begin(), chord.end());
        samples.insert(samples.end(), pause.begin(), pause.end());
    }
    writeFileBytes(m->dir.file("m.wav"), makeWav(samples));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(encodeFile(m->dir.file("m.wav"), m->dir.file("m.q58")), JobOutcome::converted);
    ::testing::internal::GetCapturedStdout();
    m->container = readFileBytes(m->dir.file("m.q58"));
    ContainerHeader header{};
    EXPECT_TRUE(decodeContainerHeader(m->container.data(), header));
    m->frames = header.frameCount;
    m->split = decodeSplitFrame(m->frames);
    size_t at = containerHeaderSize;
    for (int32_t i = 0; i < m->frames; ++i) {
        m->packetStarts.push_back(at);
        const int available = static_cast<int>(std::min<size_t>(packetBufferSize, m->container.size() - at));
        at += static_cast<size_t>(measurePacket(header.parameters, m->container.data() + at, available).bytes);
    }
    return m;
}

const LongMaterial& longMaterial()
{
    static const LongMaterial* material = makeMaterial(25, 5);
    return *material;
}

const LongMaterial& tableMaterial()
{
    static const LongMaterial* material = makeMaterial(5, 2);
    return *material;
}

// Sets a padding bit in the first packet from frame on that has one, so
// that decoding stops there with damage.
void damagePacketFrom(const LongMaterial& m, std::vector<uint8_t>& container, int32_t frame)
{
    ContainerHeader header{};
    decodeContainerHeader(container.data(), header);
    for (int32_t i = frame; i + 1 < m.frames; ++i) {
        const size_t start = m.packetStarts[i];
        const size_t last = m.packetStarts[i + 1] - 1;
        container[last] ^= 1;
        const int available = static_cast<int>(m.packetStarts[i + 1] - start);
        if (measurePacket(header.parameters, container.data() + start, available).check == PacketCheck::nonZeroPadding)
            return;
        container[last] ^= 1;
    }
    ADD_FAILURE() << "no packet with padding from frame " << frame;
}

// A soft limit on the size of files the process writes, with SIGXFSZ
// ignored so that a write past it fails instead of ending the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes)
    {
        if (bytes == 0)
            return;
        active = true;
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit lowered = previous;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        if (!active)
            return;
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    bool active = false;
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

struct DecodeRun {
    JobOutcome outcome;
    std::string out;
    std::string err;
    bool outputExists;
    std::vector<uint8_t> wav;
};

// Decodes in.q58 into in.q58.wav on the given threads, from a clean start.
DecodeRun decodeWith(const ScratchDir& dir, uint64_t maxDataBytes, uint64_t fileSizeLimit, int threads)
{
    const std::string output = dir.file("in.q58.wav");
    std::filesystem::remove(output);
    DecodeRun run{};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    {
        FileSizeLimit limit(fileSizeLimit);
        run.outcome = decodeFileWithThreads(dir.file("in.q58"), output, maxDataBytes, threads);
    }
    run.out = ::testing::internal::GetCapturedStdout();
    run.err = ::testing::internal::GetCapturedStderr();
    run.outputExists = std::filesystem::exists(output);
    if (run.outputExists)
        run.wav = readFileBytes(output);
    return run;
}

}  // namespace

TEST(TwoThreadDecode, GivesWhatOneThreadGives)
{
    const LongMaterial& m = tableMaterial();
    ASSERT_GT(m.split, 0);
    ASSERT_LT(m.split, m.frames) << "the material is too short for a second thread";
    const uint64_t wavBytes = 44 + static_cast<uint64_t>(m.frames) * blockBytes;
    const auto blocks = [](int64_t count) { return static_cast<uint64_t>(count) * blockBytes; };
    using Edit = std::function<void(std::vector<uint8_t>&)>;
    const Edit intact = [](std::vector<uint8_t>&) {};
    const auto damageAt = [&m](int32_t frame) { return Edit([&m, frame](auto& c) { damagePacketFrom(m, c, frame); }); };
    const auto cutAt = [&](int32_t frame) {
        return Edit([&m, frame](auto& c) { c.resize(m.packetStarts[frame] + 3); });
    };

    struct Case {
        const char* name;
        Edit edit;
        uint64_t maxDataBytes;
        uint64_t fileSizeLimit;  // 0: none
        bool oneThreadFails;     // the edit or limit does reach the output
    };
    const uint64_t noLimit = maxWaveDataBytes();
    const Case cases[] = {
        {"intact", intact, noLimit, 0, false},
        {"damage in the first half", damageAt(m.split / 3), noLimit, 0, true},
        {"damage just before the split", damageAt(m.split - 1), noLimit, 0, true},
        {"damage at the split", damageAt(m.split), noLimit, 0, true},
        {"damage in the second half", damageAt(m.split + (m.frames - m.split) / 2), noLimit, 0, true},
        {"cut in the first half", cutAt(m.split / 2), noLimit, 0, true},
        {"cut in the second half", cutAt(m.frames - 100), noLimit, 0, true},
        {"bytes after the last packet", [](auto& c) { c.push_back(0); }, noLimit, 0, true},
        {"size limit in the first half", intact, blocks(m.split / 4) + 5, 0, true},
        {"size limit just before the split", intact, blocks(m.split - 1), 0, true},
        {"size limit at the split", intact, blocks(m.split), 0, true},
        {"size limit in the second half", intact, blocks(m.frames - 7), 0, true},
        {"output refused past half the file", intact, noLimit, wavBytes / 2, true},
        {"output refused past half the file, damage before", damageAt(m.split / 3), noLimit, wavBytes / 2, true},
        {"size limit keeps the output under what the system allows", intact, blocks(m.split / 4), wavBytes / 2,
         true},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> container = m.container;
        c.edit(container);
        writeFileBytes(dir.file("in.q58"), container);
        const DecodeRun one = decodeWith(dir, c.maxDataBytes, c.fileSizeLimit, 1);
        const DecodeRun two = decodeWith(dir, c.maxDataBytes, c.fileSizeLimit, 2);
        EXPECT_EQ(one.outcome == JobOutcome::failed, c.oneThreadFails) << one.err;
        EXPECT_EQ(two.outcome, one.outcome);
        EXPECT_EQ(two.out, one.out);
        EXPECT_EQ(two.err, one.err);
        EXPECT_EQ(two.outputExists, one.outputExists);
        EXPECT_EQ(two.wav.size(), one.wav.size());
        EXPECT_TRUE(two.wav == one.wav);
    }
}

// The input cut short while q58 runs, once the second thread has written
// everything from the split on and the first, held up by a full standard
// output, is still before the cut: the first thread meets the end of the
// data before the split, and what the second wrote past it must go. The
// result is what one thread makes of the cut file.
TEST(TwoThreadDecode, InputCutBehindTheSecondThread)
{
    const LongMaterial& m = longMaterial();
    const uint64_t wavBytes = 44 + static_cast<uint64_t>(m.frames) * blockBytes;
    const auto temporarySize = [](const ScratchDir& dir) -> uint64_t {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().rfind(".in.q58.wav.", 0) == 0)
                return entry.file_size();
        return 0;
    };
    for (const int32_t cutFrame : {m.split - 1, m.split - 40}) {
        SCOPED_TRACE(cutFrame);
        ScratchDir dir;
        writeFileBytes(dir.file("in.q58"), m.container);
        RunningQ58 run(dir, {"in.q58"});
        for (int waited = 0; temporarySize(dir) < wavBytes && waited < 120000; waited += 10)
            usleep(10000);
        ASSERT_EQ(temporarySize(dir), wavBytes) << "the second thread did not write its part";
        std::filesystem::resize_file(dir.file("in.q58"), m.packetStarts[cutFrame] + 3);
        const CliResult two = run.finish();

        const std::string prefix = dir.path().string() + "/";
        std::filesystem::rename(dir.file("in.q58.wav"), dir.file("two.wav"));
        const DecodeRun one = decodeWith(dir, maxWaveDataBytes(), 0, 1);
        EXPECT_EQ(one.outcome, JobOutcome::failed);
        EXPECT_EQ(two.exitStatus, 1);
        const auto relative = [&prefix](std::string text) {
            for (size_t at; (at = text.find(prefix)) != std::string::npos;)
                text.erase(at, prefix.size());
            return text;
        };
        EXPECT_EQ(two.out, relative(one.out));
        EXPECT_EQ(two.err, relative(one.err));
        EXPECT_EQ(readFileBytes(dir.file("two.wav")).size(), one.wav.size());
        EXPECT_TRUE(readFileBytes(dir.file("two.wav")) == one.wav);
    }
}
