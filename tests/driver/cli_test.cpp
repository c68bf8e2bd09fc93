// End-to-end tests of the q58 command line: the real executable, real files,
// standard output compared byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> silentPacket = {0xff, 0x9f, 0x4d, 0x08, 0x1f, 0x3c, 0xf4, 0xde,
                                           0x7b, 0x2f, 0x8e, 0x38, 0xe2, 0x88, 0x23, 0x8e};

const std::vector<uint8_t> emptyContainer = {
    0x71, 0x35, 0x38, 0x00, 0x20, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
    0x60, 0x00, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0xC0, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,
    0xC0, 0x02, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00,
    0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

const std::vector<uint8_t> emptyWave = {
    0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
    0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1,
    0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};

std::vector<uint8_t> silentContainer(int32_t frames, int32_t claimedFrames)
{
    std::vector<uint8_t> c = emptyContainer;
    putLe32(c, 72, static_cast<uint32_t>(claimedFrames));
    for (int i = 0; i < frames; ++i)
        c.insert(c.end(), silentPacket.begin(), silentPacket.end());
    return c;
}

std::string encodeLine(const std::string& in, const std::string& out)
{
    return "encoding : '" + in + "' to : '" + out + "'\n";
}

std::string decodeLine(const std::string& in, const std::string& out)
{
    return "decoding : '" + in + "' to : '" + out + "'\n";
}

bool exists(const ScratchDir& dir, const std::string& name) { return fs::exists(dir.path() / name); }

}  // namespace

TEST(CommandLine, NoArgumentsDoesNothing)
{
    ScratchDir dir;
    const CliResult r = dir.runQ58({});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CommandLine, OutputNamesFollowTheSuffix)
{
    ScratchDir dir;
    fs::create_directories(dir.path() / "audio");
    const auto wav = makeWav(silence(882));
    for (const char* name : {"song.wav", ".wav", "a.q58.wav", "audio/take 1.wav"})
        writeFileBytes(dir.file(name), wav);
    const CliResult r = dir.runQ58({"song.wav", ".wav", "a.q58.wav", "audio/take 1.wav"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(exists(dir, "song.q58"));
    EXPECT_TRUE(exists(dir, ".q58"));
    EXPECT_TRUE(exists(dir, "a.q58.q58"));
    EXPECT_TRUE(exists(dir, "audio/take 1.q58"));

    fs::copy_file(dir.path() / "song.q58", dir.path() / "a.wav.q58");
    const CliResult d = dir.runQ58({"a.wav.q58"});
    EXPECT_EQ(d.out, decodeLine("a.wav.q58", "a.wav.q58.wav") + "100 %\rdone.\n");
    EXPECT_TRUE(exists(dir, "a.wav.q58.wav"));
}

TEST(CommandLine, OtherNamesAreIgnoredSilently)
{
    ScratchDir dir;
    const auto wav = makeWav(silence(882));
    for (const char* name : {"TRACK.WAV", "track.Wav", "foowav", "wav", "x.Q58", "b.txt"})
        writeFileBytes(dir.file(name), wav);
    const CliResult r = dir.runQ58({"TRACK.WAV", "track.Wav", "foowav", "wav", "x.Q58", "b.txt", "--help", "-h"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 6);
}

TEST(CommandLine, NamesAreHandledInOrder)
{
    ScratchDir dir;
    writeFileBytes(dir.file("a.wav"), makeWav(silence(882)));
    writeFileBytes(dir.file("b.txt"), {1, 2, 3});
    writeFileBytes(dir.file("c.q58"), silentContainer(1, 1));
    const CliResult r = dir.runQ58({"a.wav", "b.txt", "c.q58"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, encodeLine("a.wav", "a.q58") + "100 % [ avg bitrate 6400 ]\r\ndone.\n" +
                         decodeLine("c.q58", "c.q58.wav") + "100 %\rdone.\n");

    // a.wav a.q58: the second name decodes what the first just wrote.
    const CliResult chain = dir.runQ58({"a.wav", "a.q58", "a.wav"});
    EXPECT_EQ(chain.out, encodeLine("a.wav", "a.q58") + "100 % [ avg bitrate 6400 ]\r\ndone.\n" +
                             decodeLine("a.q58", "a.q58.wav") + "100 %\rdone.\n" + encodeLine("a.wav", "a.q58") +
                             "100 % [ avg bitrate 6400 ]\r\ndone.\n");
    EXPECT_EQ(readFileBytes(dir.file("a.q58.wav")).size(), 44u + 3528u);
}

TEST(EncodeJob, ShortInputGivesTheEmptyContainer)
{
    ScratchDir dir;
    writeFileBytes(dir.file("e.wav"), makeWav(silence(881)));
    const CliResult r = dir.runQ58({"e.wav"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, encodeLine("e.wav", "e.q58") + "\ndone.\n");
    EXPECT_EQ(readFileBytes(dir.file("e.q58")), emptyContainer);

    const CliResult d = dir.runQ58({"e.q58"});
    EXPECT_EQ(d.exitStatus, 0);
    EXPECT_EQ(d.out, decodeLine("e.q58", "e.q58.wav") + "done.\n");
    EXPECT_EQ(readFileBytes(dir.file("e.q58.wav")), emptyWave);
}

TEST(EncodeJob, SilenceGivesTheSixteenBytePacketPerFrame)
{
    ScratchDir dir;
    writeFileBytes(dir.file("s.wav"), makeWav(silence(3 * 882)));
    const CliResult r = dir.runQ58({"s.wav"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, encodeLine("s.wav", "s.q58") +
                         "33 % [ avg bitrate 6400 ]\r66 % [ avg bitrate 6400 ]\r100 % [ avg bitrate 6400 ]\r\ndone.\n");
    EXPECT_EQ(readFileBytes(dir.file("s.q58")), silentContainer(3, 3));
}

TEST(EncodeJob, TrailingPartialBlockIsDropped)
{
    ScratchDir dir;
    writeFileBytes(dir.file("t.wav"), makeWav(chordSignal(10 * 882 + 100)));
    const CliResult r = dir.runQ58({"t.wav", "t.q58"});
    EXPECT_EQ(r.exitStatus, 0);
    const auto container = readFileBytes(dir.file("t.q58"));
    ASSERT_GE(container.size(), 76u);
    EXPECT_EQ(getLe32(container, 72), 10u);
    const auto decoded = readFileBytes(dir.file("t.q58.wav"));
    EXPECT_EQ(decoded.size(), 44u + 10u * 3528u);
    EXPECT_EQ(getLe32(decoded, 40), 10u * 3528u);
    EXPECT_EQ(getLe32(decoded, 4), 36u + 10u * 3528u);
}

TEST(EncodeJob, WaveHeaderVariants)
{
    ScratchDir dir;
    const auto samples = chordSignal(4 * 882, 7);
    const auto canonical = makeWav(samples);
    writeFileBytes(dir.file("canonical.wav"), canonical);

    // A format chunk of 18 bytes (zero extension size) is read the same way.
    auto extended = canonical;
    putLe32(extended, 16, 18);
    extended.insert(extended.begin() + 36, {0, 0});
    putLe32(extended, 4, getLe32(extended, 4) + 2);
    writeFileBytes(dir.file("extended.wav"), extended);

    // Anything between the format and the data chunk, or another format, is refused.
    auto withList = canonical;
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    withList.insert(withList.begin() + 36, list.begin(), list.end());
    writeFileBytes(dir.file("list.wav"), withList);
    writeFileBytes(dir.file("mono.wav"), makeWav(samples, 1));
    writeFileBytes(dir.file("48k.wav"), makeWav(samples, 2, 48000));
    auto rifx = canonical;
    rifx[3] = 'X';
    writeFileBytes(dir.file("rifx.wav"), rifx);
    writeFileBytes(dir.file("tiny.wav"), std::vector<uint8_t>(canonical.begin(), canonical.begin() + 11));

    const CliResult r =
        dir.runQ58({"canonical.wav", "extended.wav", "list.wav", "mono.wav", "48k.wav", "rifx.wav", "tiny.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 5) << r.err;  // one line per refused name
    EXPECT_EQ(readFileBytes(dir.file("canonical.q58")), readFileBytes(dir.file("extended.q58")));
    for (const char* skipped : {"list.q58", "mono.q58", "48k.q58", "rifx.q58", "tiny.q58"})
        EXPECT_FALSE(exists(dir, skipped)) << skipped;
}

TEST(EncodeJob, WaveCutShortEncodesTheBlocksPresent)
{
    ScratchDir dir;
    auto wav = makeWav(chordSignal(10 * 882));
    wav.resize(44 + 4 * 3528 + 1000);  // the data chunk still claims 10 blocks
    writeFileBytes(dir.file("cut.wav"), wav);
    const CliResult r = dir.runQ58({"cut.wav", "cut.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("'cut.wav': the data chunk claims more bytes than the file holds"), std::string::npos)
        << r.err;
    const auto container = readFileBytes(dir.file("cut.q58"));
    EXPECT_EQ(getLe32(container, 72), 4u);
    EXPECT_EQ(readFileBytes(dir.file("cut.q58.wav")).size(), 44u + 4u * 3528u);
}

TEST(DecodeJob, IntactPacketsAndProgress)
{
    ScratchDir dir;
    writeFileBytes(dir.file("five.q58"), silentContainer(5, 5));
    const CliResult r = dir.runQ58({"five.q58"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, decodeLine("five.q58", "five.q58.wav") + "20 %\r40 %\r60 %\r80 %\r100 %\rdone.\n");
    const auto wav = readFileBytes(dir.file("five.q58.wav"));
    ASSERT_EQ(wav.size(), 44u + 17640u);
    EXPECT_EQ(getLe32(wav, 40), 17640u);
    EXPECT_EQ(getLe32(wav, 4), 36u + 17640u);
}

TEST(DecodeJob, FilesWithoutTheMagicAreRefused)
{
    ScratchDir dir;
    writeFileBytes(dir.file("wave.q58"), makeWav(silence(882)));
    auto almost = silentContainer(1, 1);
    almost[3] = '!';
    writeFileBytes(dir.file("almost.q58"), almost);
    writeFileBytes(dir.file("short.q58"), {0x71, 0x35, 0x38});
    const CliResult r = dir.runQ58({"wave.q58", "almost.q58", "short.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    EXPECT_FALSE(exists(dir, "wave.q58.wav"));
    EXPECT_FALSE(exists(dir, "almost.q58.wav"));
    EXPECT_FALSE(exists(dir, "short.q58.wav"));
}

TEST(DecodeJob, HostileOrIncompleteHeadersAreRejectedBeforeAnyOutput)
{
    ScratchDir dir;
    auto noBands = silentContainer(1, 1);
    putLe32(noBands, 52, 0);  // noiseBands
    writeFileBytes(dir.file("nobands.q58"), noBands);
    auto hugeGain = silentContainer(1, 1);
    putLe32(hugeGain, 12, 31);  // gainBits
    writeFileBytes(dir.file("gain.q58"), hugeGain);
    writeFileBytes(dir.file("cut.q58"), std::vector<uint8_t>(emptyContainer.begin(), emptyContainer.begin() + 40));
    writeFileBytes(dir.file("good.q58"), silentContainer(1, 1));

    const CliResult r = dir.runQ58({"nobands.q58", "gain.q58", "cut.q58", "good.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, decodeLine("good.q58", "good.q58.wav") + "100 %\rdone.\n");
    for (const char* name : {"nobands.q58", "gain.q58", "cut.q58"}) {
        EXPECT_NE(r.err.find(name), std::string::npos) << name;
        EXPECT_FALSE(exists(dir, std::string(name) + ".wav")) << name;
    }
    EXPECT_EQ(r.err.find("good.q58"), std::string::npos);
}

TEST(DecodeJob, TruncatedFilesStopAtTheLastWholePacket)
{
    ScratchDir dir;
    auto cut = silentContainer(5, 5);
    cut.resize(76 + 3 * 16 + 7);
    writeFileBytes(dir.file("cut.q58"), cut);
    writeFileBytes(dir.file("liar.q58"), silentContainer(5, 0x7FFFFFFF));

    const CliResult r = dir.runQ58({"cut.q58", "liar.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, decodeLine("cut.q58", "cut.q58.wav") + "20 %\r40 %\r60 %\rdone.\n" +
                         decodeLine("liar.q58", "liar.q58.wav") + "0 %\r0 %\r0 %\r0 %\r0 %\rdone.\n");
    EXPECT_EQ(getLe32(readFileBytes(dir.file("cut.q58.wav")), 40), 3u * 3528u);
    EXPECT_EQ(getLe32(readFileBytes(dir.file("liar.q58.wav")), 40), 5u * 3528u);
    EXPECT_NE(r.err.find("cut.q58"), std::string::npos);
    EXPECT_NE(r.err.find("liar.q58"), std::string::npos);
}

TEST(DecodeJob, SameNameTwiceIsProcessedTwice)
{
    ScratchDir dir;
    writeFileBytes(dir.file("x.q58"), silentContainer(1, 1));
    const CliResult r = dir.runQ58({"x.q58", "x.q58"});
    EXPECT_EQ(r.out, decodeLine("x.q58", "x.q58.wav") + "100 %\rdone.\n" + decodeLine("x.q58", "x.q58.wav") +
                         "100 %\rdone.\n");
    EXPECT_EQ(readFileBytes(dir.file("x.q58.wav")).size(), 44u + 3528u);
}

TEST(OutputFailures, AreReportedAndTheRunGoesOn)
{
    ScratchDir dir;
    const auto wav = makeWav(silence(2 * 882));
    writeFileBytes(dir.file("dir.wav"), wav);
    fs::create_directory(dir.path() / "dir.q58");
    writeFileBytes(dir.file("ok.wav"), wav);
    const CliResult r = dir.runQ58({"dir.wav", "ok.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("dir.q58"), std::string::npos);
    // The output cannot be created: the job stops after its first line,
    // with no progress and no "done.".
    EXPECT_EQ(r.out, encodeLine("dir.wav", "dir.q58") + encodeLine("ok.wav", "ok.q58") + "50 % [ avg bitrate 6400 ]\r100 % [ avg bitrate 6400 ]\r\ndone.\n");
    EXPECT_EQ(readFileBytes(dir.file("ok.q58")).size(), 76u + 32u);
}

TEST(OutputFailures, FullDeviceIsReported)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    ScratchDir dir;
    writeFileBytes(dir.file("full.wav"), makeWav(silence(2 * 882)));
    fs::create_symlink("/dev/full", dir.path() / "full.q58");
    writeFileBytes(dir.file("fine.q58"), silentContainer(2, 2));
    fs::create_symlink("/dev/full", dir.path() / "fine.q58.wav");
    writeFileBytes(dir.file("next.q58"), silentContainer(1, 1));

    const CliResult r = dir.runQ58({"full.wav", "fine.q58", "next.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("full.q58"), std::string::npos);
    EXPECT_NE(r.err.find("fine.q58.wav"), std::string::npos);
    EXPECT_EQ(r.err.find("next.q58"), std::string::npos);
    EXPECT_EQ(readFileBytes(dir.file("next.q58.wav")).size(), 44u + 3528u);
}

TEST(InputKinds, DirectoriesAndPipesAreNotInputs)
{
    ScratchDir dir;
    fs::create_directory(dir.path() / "folder.wav");
    fs::create_directory(dir.path() / "folder.q58");
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
    const std::string fifo2 = dir.file("pipe.q58");
    ASSERT_EQ(std::system(("mkfifo '" + fifo2 + "'").c_str()), 0);
    writeFileBytes(dir.file("after.wav"), makeWav(silence(882)));

    // A pipe opened for reading would block forever; the run must not wait.
    const CliResult r = dir.runQ58({"folder.wav", "folder.q58", "pipe.wav", "pipe.q58", "after.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 4) << r.err;
    EXPECT_EQ(r.out, encodeLine("after.wav", "after.q58") + "100 % [ avg bitrate 6400 ]\r\ndone.\n");
    EXPECT_FALSE(exists(dir, "folder.q58.wav"));
    EXPECT_FALSE(exists(dir, "pipe.q58.wav"));
}
