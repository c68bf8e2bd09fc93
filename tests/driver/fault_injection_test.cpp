// Faults injected around the real q58 executable: an output directory that
// refuses new files, inputs removed or truncated between two runs. Each
// case checks the outcome a user relies on: a diagnostic on standard error
// naming the file, exit status 1 for a job that started and failed or met
// damaged input (0 when an input is passed over silently), the other names
// of the command line still processed, and nothing written anywhere but the
// expected output files.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace fs = std::filesystem;

namespace {

// Every regular file under the scratch directory with its contents, so that
// a run can be checked for files it should not have created or touched.
using Listing = std::map<std::string, std::vector<uint8_t>>;

Listing listing(const ScratchDir& dir)
{
    Listing files;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), dir.path()).string()] = readFileBytes(entry.path().string());
        else if (entry.is_directory())
            files[fs::relative(entry.path(), dir.path()).string() + "/"] = {};
    }
    return files;
}

// The names whose presence or contents differ between two listings.
std::vector<std::string> changedNames(const Listing& before, const Listing& after)
{
    std::vector<std::string> changed;
    for (const auto& [name, bytes] : after) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != bytes)
            changed.push_back(name);
    }
    for (const auto& [name, bytes] : before)
        if (after.find(name) == after.end())
            changed.push_back(name);
    return changed;
}

std::string encodeLine(const std::string& in, const std::string& out)
{
    return "encoding : '" + in + "' to : '" + out + "'\n";
}

std::string decodeLine(const std::string& in, const std::string& out)
{
    return "decoding : '" + in + "' to : '" + out + "'\n";
}

bool mentions(const std::string& text, const std::string& name) { return text.find("'" + name + "'") != std::string::npos; }

// A directory in which no new file can be created. Permission bits do that
// for an ordinary user; root ignores them, so for root the directory is
// made immutable instead (ext2/3/4, XFS, Btrfs), which stops root as well.
// usable() is false when neither works here.
class ReadOnlyDirectory {
public:
    explicit ReadOnlyDirectory(fs::path where) : path(std::move(where))
    {
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        if (!refusesNewFiles())
            immutable = setImmutable(true);
        readOnly = refusesNewFiles();
    }

    ~ReadOnlyDirectory()
    {
        if (immutable)
            setImmutable(false);
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    }

    ReadOnlyDirectory(const ReadOnlyDirectory&) = delete;
    ReadOnlyDirectory& operator=(const ReadOnlyDirectory&) = delete;

    bool usable() const { return readOnly; }

private:
    bool refusesNewFiles() const
    {
        const fs::path probe = path / ".probe";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            return true;
        ::close(fd);
        ::unlink(probe.c_str());
        return false;
    }

    bool setImmutable(bool on) const
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    fs::path path;
    bool immutable = false;
    bool readOnly = false;
};

// Encodes name (a WAV in the scratch directory) with a first, intact run.
void encodeIntact(const ScratchDir& dir, const std::string& name)
{
    const CliResult r = dir.runQ58({name});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    ASSERT_EQ(r.err, "");
}

}  // namespace

TEST(FaultInjection, OutputsIntoAReadOnlyDirectoryFailAndTheRunGoesOn)
{
    ScratchDir dir;
    fs::create_directory(dir.path() / "locked");
    writeFileBytes(dir.file("locked/in.wav"), makeWav(chordSignal(2 * 882)));
    writeFileBytes(dir.file("ok.wav"), makeWav(silence(882)));
    // A container to decode into the locked directory: made by a first run.
    writeFileBytes(dir.file("src.wav"), makeWav(chordSignal(2 * 882, 5)));
    encodeIntact(dir, "src.wav");
    fs::copy_file(dir.path() / "src.q58", dir.path() / "locked/other.q58");

    ReadOnlyDirectory locked(dir.path() / "locked");
    if (!locked.usable())
        GTEST_SKIP() << "cannot make a directory that refuses new files here (no permission bits or immutable flag)";

    const Listing before = listing(dir);
    const CliResult r = dir.runQ58({"locked/in.wav", "locked/other.q58", "ok.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    // Both jobs started (they print their first line, then stop at once)
    // and say which output they could not create.
    EXPECT_TRUE(mentions(r.err, "locked/in.q58")) << r.err;
    EXPECT_TRUE(mentions(r.err, "locked/other.q58.wav")) << r.err;
    EXPECT_EQ(r.out.rfind(encodeLine("locked/in.wav", "locked/in.q58"), 0), 0u) << r.out;
    EXPECT_NE(r.out.find(decodeLine("locked/other.q58", "locked/other.q58.wav")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(encodeLine("ok.wav", "ok.q58")), std::string::npos) << r.out;
    EXPECT_FALSE(mentions(r.err, "ok.wav"));
    EXPECT_FALSE(mentions(r.err, "ok.q58"));
    // The only new file is the one of the job that could write.
    EXPECT_EQ(changedNames(before, listing(dir)), std::vector<std::string>{"ok.q58"});
    EXPECT_EQ(readFileBytes(dir.file("ok.q58")).size(), 76u + 16u);
}

TEST(FaultInjection, InputsRemovedBetweenRunsAreRefusedAndOldOutputsStay)
{
    ScratchDir dir;
    writeFileBytes(dir.file("a.wav"), makeWav(chordSignal(3 * 882, 2)));
    writeFileBytes(dir.file("b.wav"), makeWav(chordSignal(2 * 882, 3)));
    const CliResult first = dir.runQ58({"a.wav", "b.wav", "a.q58"});
    ASSERT_EQ(first.exitStatus, 0) << first.err;

    // The second run names the same files after a.wav and a.q58 are gone.
    fs::remove(dir.path() / "a.wav");
    fs::rename(dir.path() / "a.q58", dir.path() / "kept.bin");
    const Listing before = listing(dir);
    const CliResult r = dir.runQ58({"a.wav", "a.q58", "b.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(mentions(r.err, "a.wav") && mentions(r.err, "a.q58")) << r.err;
    // Exactly the lines b.wav got in the first run.
    const size_t bStart = first.out.find(encodeLine("b.wav", "b.q58"));
    const size_t bEnd = first.out.find(decodeLine("a.q58", "a.q58.wav"));
    ASSERT_NE(bStart, std::string::npos);
    ASSERT_NE(bEnd, std::string::npos);
    EXPECT_EQ(r.out, first.out.substr(bStart, bEnd - bStart));
    // b.q58 is rewritten with the same bytes; a.q58.wav from the first run
    // is left as it was, and nothing else appears.
    EXPECT_EQ(changedNames(before, listing(dir)), std::vector<std::string>{});
    EXPECT_EQ(readFileBytes(dir.file("a.q58.wav")).size(), 44u + 3u * 3528u);
}

TEST(FaultInjection, WaveTruncatedBetweenRunsEncodesTheWholeBlocksLeft)
{
    ScratchDir dir;
    const auto wav = makeWav(chordSignal(6 * 882, 9));
    writeFileBytes(dir.file("song.wav"), wav);
    writeFileBytes(dir.file("next.wav"), makeWav(silence(882)));
    encodeIntact(dir, "song.wav");
    const auto intact = readFileBytes(dir.file("song.q58"));
    ASSERT_EQ(getLe32(intact, 72), 6u);

    // Cut in the middle of the fourth block; the header still claims six.
    std::vector<uint8_t> cut(wav.begin(), wav.begin() + 44 + 3 * 3528 + 1500);
    writeFileBytes(dir.file("song.wav"), cut);
    const Listing before = listing(dir);
    const CliResult r = dir.runQ58({"song.wav", "next.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(mentions(r.err, "song.wav")) << r.err;
    EXPECT_FALSE(mentions(r.err, "next.wav")) << r.err;
    EXPECT_NE(r.out.find(encodeLine("next.wav", "next.q58")), std::string::npos);
    EXPECT_EQ(changedNames(before, listing(dir)), (std::vector<std::string>{"next.q58", "song.q58"}));

    // The new container holds exactly the three whole blocks, each packet
    // the same as in the first run's: it decodes intact to three blocks.
    const auto container = readFileBytes(dir.file("song.q58"));
    EXPECT_EQ(getLe32(container, 72), 3u);
    ASSERT_LT(container.size(), intact.size());
    EXPECT_TRUE(std::equal(container.begin(), container.begin() + 72, intact.begin()));
    EXPECT_TRUE(std::equal(container.begin() + 76, container.end(), intact.begin() + 76));
    const CliResult d = dir.runQ58({"song.q58"});
    EXPECT_EQ(d.exitStatus, 0) << d.err;
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(getLe32(readFileBytes(dir.file("song.q58.wav")), 40), 3u * 3528u);

    // Cut inside the header: no longer a WAV file, refused with a reason;
    // the container of the previous run stays as it was.
    writeFileBytes(dir.file("song.wav"), std::vector<uint8_t>(wav.begin(), wav.begin() + 30));
    const Listing beforeHeaderCut = listing(dir);
    const CliResult h = dir.runQ58({"song.wav"});
    EXPECT_EQ(h.exitStatus, 1);
    EXPECT_EQ(h.out, "");
    EXPECT_TRUE(mentions(h.err, "song.wav")) << h.err;
    EXPECT_EQ(changedNames(beforeHeaderCut, listing(dir)), std::vector<std::string>{});
}

TEST(FaultInjection, ContainerTruncatedBetweenRunsKeepsTheIntactFrames)
{
    ScratchDir dir;
    writeFileBytes(dir.file("song.wav"), makeWav(chordSignal(5 * 882, 4)));
    encodeIntact(dir, "song.wav");
    const auto container = readFileBytes(dir.file("song.q58"));
    fs::copy_file(dir.path() / "song.q58", dir.path() / "full.q58");
    const CliResult full = dir.runQ58({"full.q58"});
    ASSERT_EQ(full.exitStatus, 0) << full.err;
    const auto fullWav = readFileBytes(dir.file("full.q58.wav"));
    ASSERT_EQ(fullWav.size(), 44u + 5u * 3528u);
    writeFileBytes(dir.file("next.q58"), std::vector<uint8_t>(container.begin(), container.end()));

    // Frame sizes vary, so the cut is placed by looking at where the packets
    // end: a decode of the whole file with the last 1..n bytes removed must
    // give exactly the frames that are still complete, never a frame made up
    // from missing bytes.
    const size_t packetBytes = container.size() - 76;
    ASSERT_GE(packetBytes, 5u * 2u);
    const size_t cutAt = 76 + packetBytes / 2;  // somewhere inside the third packet or so
    writeFileBytes(dir.file("song.q58"), std::vector<uint8_t>(container.begin(), container.begin() + cutAt));

    const Listing before = listing(dir);
    const CliResult r = dir.runQ58({"song.q58", "next.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(mentions(r.err, "song.q58")) << r.err;
    EXPECT_FALSE(mentions(r.err, "next.q58")) << r.err;
    EXPECT_NE(r.out.find(decodeLine("next.q58", "next.q58.wav")), std::string::npos);
    EXPECT_EQ(changedNames(before, listing(dir)), (std::vector<std::string>{"next.q58.wav", "song.q58.wav"}));

    // What was written is a complete WAV file whose blocks are exactly the
    // first blocks of the intact decode.
    const auto cutWav = readFileBytes(dir.file("song.q58.wav"));
    ASSERT_GE(cutWav.size(), 44u);
    const uint32_t dataBytes = getLe32(cutWav, 40);
    EXPECT_EQ(dataBytes, cutWav.size() - 44);
    EXPECT_EQ(getLe32(cutWav, 4), dataBytes + 36);
    EXPECT_EQ(dataBytes % 3528, 0u);
    EXPECT_LT(dataBytes, 5u * 3528u);
    EXPECT_GE(dataBytes, 1u * 3528u);
    EXPECT_TRUE(std::equal(cutWav.begin() + 44, cutWav.end(), fullWav.begin() + 44));
    EXPECT_EQ(readFileBytes(dir.file("next.q58.wav")), fullWav);

    // Cut inside the header: reported, nothing written, the WAV file of the
    // previous run left alone.
    writeFileBytes(dir.file("song.q58"), std::vector<uint8_t>(container.begin(), container.begin() + 50));
    const Listing beforeHeaderCut = listing(dir);
    const CliResult h = dir.runQ58({"song.q58", "next.q58"});
    EXPECT_EQ(h.exitStatus, 1);
    EXPECT_TRUE(mentions(h.err, "song.q58")) << h.err;
    EXPECT_EQ(h.out, decodeLine("next.q58", "next.q58.wav") + "20 %\r40 %\r60 %\r80 %\r100 %\rdone.\n");
    EXPECT_EQ(changedNames(beforeHeaderCut, listing(dir)), std::vector<std::string>{});
}

TEST(FaultInjection, ContainerGoingOnAfterItsLastFrameIsReported)
{
    // A frame count damaged to a smaller value, or bytes appended to an
    // intact file: the frames the header promises are decoded, but the rest
    // of the file is audio nobody hears, so the job says so.
    ScratchDir dir;
    writeFileBytes(dir.file("song.wav"), makeWav(chordSignal(5 * 882, 6)));
    encodeIntact(dir, "song.wav");
    const auto container = readFileBytes(dir.file("song.q58"));
    fs::copy_file(dir.path() / "song.q58", dir.path() / "next.q58");
    const CliResult intact = dir.runQ58({"song.q58"});
    ASSERT_EQ(intact.exitStatus, 0) << intact.err;
    const auto fullWav = readFileBytes(dir.file("song.q58.wav"));

    auto shrunk = container;
    putLe32(shrunk, 72, 3);
    writeFileBytes(dir.file("song.q58"), shrunk);
    auto appended = container;
    appended.push_back(0);
    writeFileBytes(dir.file("tail.q58"), appended);

    const Listing before = listing(dir);
    const CliResult r = dir.runQ58({"song.q58", "tail.q58", "next.q58"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(mentions(r.err, "song.q58")) << r.err;
    EXPECT_TRUE(mentions(r.err, "tail.q58")) << r.err;
    EXPECT_FALSE(mentions(r.err, "next.q58")) << r.err;
    EXPECT_EQ(r.out, decodeLine("song.q58", "song.q58.wav") + "33 %\r66 %\r100 %\rdone.\n" +
                         decodeLine("tail.q58", "tail.q58.wav") + "20 %\r40 %\r60 %\r80 %\r100 %\rdone.\n" +
                         decodeLine("next.q58", "next.q58.wav") + "20 %\r40 %\r60 %\r80 %\r100 %\rdone.\n");
    EXPECT_EQ(changedNames(before, listing(dir)),
              (std::vector<std::string>{"next.q58.wav", "song.q58.wav", "tail.q58.wav"}));

    // The frames decoded are the intact file's, and complete.
    const auto shrunkWav = readFileBytes(dir.file("song.q58.wav"));
    ASSERT_EQ(shrunkWav.size(), 44u + 3u * 3528u);
    EXPECT_EQ(getLe32(shrunkWav, 40), 3u * 3528u);
    EXPECT_TRUE(std::equal(shrunkWav.begin() + 44, shrunkWav.end(), fullWav.begin() + 44));
    EXPECT_EQ(readFileBytes(dir.file("tail.q58.wav")), fullWav);
    EXPECT_EQ(readFileBytes(dir.file("next.q58.wav")), fullWav);
}

namespace {

std::vector<std::string> temporaries(const ScratchDir& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().find(".part-") != std::string::npos)
            found.push_back(entry.path().filename().string());
    return found;
}

// Waits until count temporary files exist: the jobs are under way.
bool awaitTemporaries(const ScratchDir& dir, size_t count)
{
    for (int i = 0; i < 10000; ++i) {
        if (temporaries(dir).size() >= count)
            return true;
        ::usleep(1000);
    }
    return false;
}

// Long enough that a run blocks on its output pipe long before its end:
// more frames than the pipe and the console buffer hold progress lines.
constexpr size_t longBlocks = 3000;

// long.wav (silence) and its container long.q58, made by an intact run.
void makeLongInputs(const ScratchDir& dir)
{
    writeFileBytes(dir.file("long.wav"), makeWav(silence(longBlocks * 882)));
    encodeIntact(dir, "long.wav");
}

const std::vector<uint8_t> oldOutput = {'o', 'l', 'd'};

}  // namespace

TEST(FaultInjection, InterruptedRunsKeepTheOldOutputAndLeaveNoTemporaryFile)
{
    ScratchDir dir;
    makeLongInputs(dir);
    struct Case {
        int signalNumber;
        const char* input;
        const char* output;
        bool temporaryLeft;  // SIGKILL cannot be handled: only the old file is safe
    };
    for (const Case& c : {Case{SIGINT, "long.wav", "long.q58", false}, Case{SIGTERM, "long.q58", "long.q58.wav", false},
                          Case{SIGHUP, "long.wav", "long.q58", false}, Case{SIGKILL, "long.q58", "long.q58.wav", true}}) {
        SCOPED_TRACE(std::string(c.input) + " signal " + std::to_string(c.signalNumber));
        const auto input = readFileBytes(dir.file(c.input));
        const auto old = readFileBytes(dir.file(c.output));
        RunningQ58 run(dir, {c.input});
        EXPECT_NE(run.readLine(), "");
        ASSERT_TRUE(awaitTemporaries(dir, 1));
        run.sendSignal(c.signalNumber);
        const CliResult r = run.finish();
        EXPECT_EQ(r.exitStatus, 128 + c.signalNumber);
        EXPECT_EQ(r.out.find("done."), std::string::npos);
        EXPECT_EQ(readFileBytes(dir.file(c.output)), old);
        EXPECT_EQ(readFileBytes(dir.file(c.input)), input);
        EXPECT_EQ(temporaries(dir).size(), c.temporaryLeft ? 1u : 0u);
        for (const auto& name : temporaries(dir))
            fs::remove(dir.path() / name);
    }
}

TEST(FaultInjection, TwoRunsWritingOneOutputLeaveOneCompleteFile)
{
    ScratchDir dir;
    makeLongInputs(dir);
    const CliResult intact = dir.runQ58({"long.q58"});
    ASSERT_EQ(intact.exitStatus, 0);
    const auto expected = std::map<std::string, std::vector<uint8_t>>{
        {"long.q58", readFileBytes(dir.file("long.q58"))}, {"long.q58.wav", readFileBytes(dir.file("long.q58.wav"))}};
    for (const char* input : {"long.wav", "long.q58"}) {
        SCOPED_TRACE(input);
        const std::string output = std::string(input) == "long.wav" ? "long.q58" : "long.q58.wav";
        writeFileBytes(dir.file(output), oldOutput);
        // Both runs are past their first line, with their temporary files
        // open, before either may go on.
        RunningQ58 first(dir, {input});
        RunningQ58 second(dir, {input});
        EXPECT_NE(first.readLine(), "");
        EXPECT_NE(second.readLine(), "");
        ASSERT_TRUE(awaitTemporaries(dir, 2));
        const CliResult a = first.finish();
        const CliResult b = second.finish();
        EXPECT_EQ(a.exitStatus, 0) << a.err;
        EXPECT_EQ(b.exitStatus, 0) << b.err;
        EXPECT_EQ(readFileBytes(dir.file(output)), expected.at(output));
        EXPECT_EQ(temporaries(dir), std::vector<std::string>{});
    }
}

TEST(FaultInjection, WaveShrinkingDuringARunGetsItsFrameCountPatched)
{
    // The reader holds the first streamBufferSize bytes; the file is cut
    // while the run waits on its output, so the block that crosses the end
    // of that window finds nothing more. The frame count written at the
    // start must then be corrected to the packets really written.
    ScratchDir dir;
    makeLongInputs(dir);
    const auto intact = readFileBytes(dir.file("long.q58"));
    const size_t windowBytes = 10000000;
    ASSERT_GT(readFileBytes(dir.file("long.wav")).size(), windowBytes);
    const uint32_t blocksInWindow = static_cast<uint32_t>((windowBytes - 44) / 3528);

    RunningQ58 run(dir, {"long.wav", "next.wav"});
    writeFileBytes(dir.file("next.wav"), makeWav(silence(882)));
    EXPECT_EQ(run.readLine(), encodeLine("long.wav", "long.q58"));
    ASSERT_TRUE(awaitTemporaries(dir, 1));
    fs::resize_file(dir.path() / "long.wav", windowBytes / 2);
    const CliResult r = run.finish();
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(mentions(r.err, "long.wav")) << r.err;
    EXPECT_NE(r.err.find("ended before its data chunk did"), std::string::npos) << r.err;
    EXPECT_FALSE(mentions(r.err, "next.wav")) << r.err;
    const auto container = readFileBytes(dir.file("long.q58"));
    EXPECT_EQ(getLe32(container, 72), blocksInWindow);
    const size_t packets = 76 + blocksInWindow * 16;  // silence: 16 bytes a frame
    ASSERT_EQ(container.size(), packets);
    EXPECT_TRUE(std::equal(container.begin() + 76, container.end(), intact.begin() + 76));
    EXPECT_NE(r.out.find(encodeLine("next.wav", "next.q58")), std::string::npos);
}

TEST(FaultInjection, RunningOutOfMemoryEndsOnlyThatJob)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves far more address space than any limit here";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the address sanitizer reserves far more address space than any limit here";
#endif
#endif
    ScratchDir dir;
    writeFileBytes(dir.file("a.wav"), makeWav(silence(2 * 882)));
    encodeIntact(dir, "a.wav");
    fs::rename(dir.path() / "a.q58", dir.path() / "b.q58");
    writeFileBytes(dir.file("a.q58"), oldOutput);
    writeFileBytes(dir.file("b.q58.wav"), oldOutput);
    writeFileBytes(dir.file("other.txt"), oldOutput);

    // The least address space in which q58 starts, builds its tables and
    // passes over a name: a job then cannot have its 10 MB buffers.
    uint64_t low = 1 << 20, high = 1 << 30;
    ASSERT_EQ(RunningQ58(dir, {"other.txt"}, LaunchOptions{0, high, false}).finish().exitStatus, 0);
    while (high - low > (1 << 20)) {
        const uint64_t middle = (low + high) / 2;
        (RunningQ58(dir, {"other.txt"}, LaunchOptions{0, middle, false}).finish().exitStatus == 0 ? high : low) = middle;
    }
    const Listing before = listing(dir);
    const CliResult r = RunningQ58(dir, {"a.wav", "b.q58"}, LaunchOptions{0, high + (2 << 20), false}).finish();
    EXPECT_EQ(r.exitStatus, 1);  // not killed, not aborted
    EXPECT_TRUE(mentions(r.err, "a.wav")) << r.err;
    EXPECT_TRUE(mentions(r.err, "b.q58")) << r.err;
    EXPECT_NE(r.err.find("memory"), std::string::npos) << r.err;
    EXPECT_EQ(changedNames(before, listing(dir)), std::vector<std::string>{});
}

TEST(FaultInjection, AnOutputNameTakenDuringARunIsLeftAlone)
{
    // A directory appears under the output name while the job runs: the
    // finished file cannot be renamed over it, so the job fails, says so,
    // and leaves no temporary file.
    ScratchDir dir;
    makeLongInputs(dir);
    RunningQ58 run(dir, {"long.wav"});
    EXPECT_NE(run.readLine(), "");
    ASSERT_TRUE(awaitTemporaries(dir, 1));
    fs::remove(dir.path() / "long.q58");
    fs::create_directory(dir.path() / "long.q58");
    const CliResult r = run.finish();
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("'long.q58': could not be put in place"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_directory(dir.path() / "long.q58"));
    EXPECT_EQ(temporaries(dir), std::vector<std::string>{});
}
