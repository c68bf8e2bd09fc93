// What q58 does to files that are already there, end to end: outputs that
// lead back to the input, links, pipes and directories under the output
// name, a file-size limit, a console that goes away, an unfinished WAV.
// Every case also checks that no temporary file is left behind.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace fs = std::filesystem;

namespace {

bool mentions(const std::string& text, const std::string& name) { return text.find("'" + name + "'") != std::string::npos; }

// Temporary files of a job, anywhere under the scratch directory.
std::vector<std::string> temporaries(const ScratchDir& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.path().filename().string().find(".part-") != std::string::npos)
            found.push_back(entry.path().string());
    return found;
}

// What a run in a clean directory makes of these bytes: the reference for
// an output that must be complete and correct.
std::vector<uint8_t> cleanOutput(const std::string& inputName, const std::vector<uint8_t>& input,
                                 const std::string& outputName)
{
    ScratchDir clean;
    writeFileBytes(clean.file(inputName), input);
    clean.runQ58({inputName});
    return readFileBytes(clean.file(outputName));
}

const std::vector<uint8_t> oldBytes = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

struct Inputs {
    std::vector<uint8_t> song = makeWav(chordSignal(3 * 882, 3));
    std::vector<uint8_t> small = makeWav(silence(882));
    std::vector<uint8_t> songQ58 = cleanOutput("song.wav", song, "song.q58");
    std::vector<uint8_t> songDecoded = cleanOutput("song.q58", songQ58, "song.q58.wav");
    std::vector<uint8_t> smallQ58 = cleanOutput("small.wav", small, "small.q58");
};

const Inputs& inputs()
{
    static const Inputs made;
    return made;
}

std::string encodeLine(const std::string& in, const std::string& out)
{
    return "encoding : '" + in + "' to : '" + out + "'\n";
}

}  // namespace

TEST(ExistingFiles, AreReplacedWholeOrLeftAsTheyWere)
{
    const Inputs& in = inputs();
    using Setup = std::function<void(const ScratchDir&)>;
    using Check = std::function<void(const ScratchDir&, const CliResult&)>;
    struct Case {
        const char* what;
        Setup setup;
        std::vector<std::string> arguments;
        LaunchOptions options;
        int status;
        std::vector<std::string> named;  // on standard error
        Check check;
    };
    const auto songAndSmall = [&](const ScratchDir& d) {
        writeFileBytes(d.file("song.wav"), in.song);
        writeFileBytes(d.file("small.wav"), in.small);
        writeFileBytes(d.file("song.q58"), in.songQ58);
    };
    const Case cases[] = {
        {"output is a symbolic link to the input: refused, the run goes on",
         [&](const ScratchDir& d) {
             writeFileBytes(d.file("song.wav"), in.song);
             writeFileBytes(d.file("small.wav"), in.small);
             fs::create_symlink("song.wav", d.file("song.q58"));
         },
         {"song.wav", "small.wav"}, {}, 1, {"song.q58"},
         [&](const ScratchDir& d, const CliResult& r) {
             EXPECT_EQ(readFileBytes(d.file("song.wav")), in.song);
             EXPECT_TRUE(fs::is_symlink(d.file("song.q58")));
             EXPECT_EQ(readFileBytes(d.file("small.q58")), in.smallQ58);
             EXPECT_EQ(r.out.rfind(encodeLine("small.wav", "small.q58"), 0), 0u) << r.out;
         }},
        {"output is a hard link to the input: refused",
         [&](const ScratchDir& d) {
             writeFileBytes(d.file("song.q58"), in.songQ58);
             fs::create_hard_link(d.file("song.q58"), d.file("song.q58.wav"));
         },
         {"song.q58"}, {}, 1, {"song.q58.wav"},
         [&](const ScratchDir& d, const CliResult& r) {
             EXPECT_EQ(readFileBytes(d.file("song.q58")), in.songQ58);
             EXPECT_EQ(r.out, "");
         }},
        {"output is a link to another file: that file is replaced, the link stays",
         [&](const ScratchDir& d) {
             writeFileBytes(d.file("song.wav"), in.song);
             fs::create_directory(d.file("real"));
             writeFileBytes(d.file("real/kept.q58"), oldBytes);
             fs::create_symlink("real/kept.q58", d.file("song.q58"));
         },
         {"song.wav"}, {}, 0, {},
         [&](const ScratchDir& d, const CliResult&) {
             EXPECT_TRUE(fs::is_symlink(d.file("song.q58")));
             EXPECT_EQ(readFileBytes(d.file("real/kept.q58")), in.songQ58);
         }},
        {"an existing longer output is replaced whole",
         [&](const ScratchDir& d) {
             songAndSmall(d);
             writeFileBytes(d.file("song.q58.wav"), std::vector<uint8_t>(in.songDecoded.size() + 999, 0xAA));
         },
         {"song.q58"}, {}, 0, {},
         [&](const ScratchDir& d, const CliResult&) {
             EXPECT_EQ(readFileBytes(d.file("song.q58.wav")), in.songDecoded);
         }},
        {"output is a pipe: the job stops after its first line, nothing hangs",
         [&](const ScratchDir& d) {
             writeFileBytes(d.file("song.wav"), in.song);
             writeFileBytes(d.file("small.wav"), in.small);
             ASSERT_EQ(::mkfifo(d.file("song.q58").c_str(), 0644), 0);
         },
         {"song.wav", "small.wav"}, {}, 1, {"song.q58"},
         [&](const ScratchDir& d, const CliResult& r) {
             EXPECT_TRUE(fs::is_fifo(d.file("song.q58")));
             EXPECT_EQ(r.out, encodeLine("song.wav", "song.q58") + encodeLine("small.wav", "small.q58") +
                                  "100 % [ avg bitrate 6400 ]\r\ndone.\n");
         }},
        {"output is a directory: the job stops after its first line",
         [&](const ScratchDir& d) {
             songAndSmall(d);
             fs::create_directory(d.file("song.q58.wav"));
         },
         {"song.q58"}, {}, 1, {"song.q58.wav"},
         [&](const ScratchDir& d, const CliResult& r) {
             EXPECT_TRUE(fs::is_directory(d.file("song.q58.wav")));
             EXPECT_EQ(r.out, "decoding : 'song.q58' to : 'song.q58.wav'\n");
         }},
        {"output over the file-size limit: the old file stays, the run goes on",
         [&](const ScratchDir& d) {
             songAndSmall(d);
             writeFileBytes(d.file("song.q58.wav"), oldBytes);
         },
         {"song.q58", "small.wav"}, LaunchOptions{4096, 0, false}, 1, {"song.q58.wav"},
         [&](const ScratchDir& d, const CliResult& r) {
             EXPECT_EQ(readFileBytes(d.file("song.q58.wav")), oldBytes);
             EXPECT_EQ(readFileBytes(d.file("small.q58")), in.smallQ58);
             EXPECT_FALSE(mentions(r.err, "small.q58"));
         }},
        {"encoding over the file-size limit: the old file stays",
         [&](const ScratchDir& d) {
             songAndSmall(d);
             writeFileBytes(d.file("song.q58"), oldBytes);
         },
         {"song.wav", "small.wav"}, LaunchOptions{in.songQ58.size() - 1, 0, false}, 1, {"song.q58"},
         [&](const ScratchDir& d, const CliResult&) {
             EXPECT_EQ(readFileBytes(d.file("song.q58")), oldBytes);
             EXPECT_EQ(readFileBytes(d.file("small.q58")), in.smallQ58);
         }},
        {"the console goes away: every file is still converted",
         [&](const ScratchDir& d) {
             songAndSmall(d);
             fs::rename(d.file("song.q58"), d.file("copy.q58"));
         },
         {"song.wav", "copy.q58", "small.wav"}, LaunchOptions{0, 0, true}, 0, {},
         [&](const ScratchDir& d, const CliResult&) {
             EXPECT_EQ(readFileBytes(d.file("song.q58")), in.songQ58);
             EXPECT_EQ(readFileBytes(d.file("copy.q58.wav")), in.songDecoded);
             EXPECT_EQ(readFileBytes(d.file("small.q58")), in.smallQ58);
         }},
        {"a 0-byte data chunk with samples after it: empty container, reported",
         [&](const ScratchDir& d) {
             auto unfinished = in.song;
             putLe32(unfinished, 4, 36);
             putLe32(unfinished, 40, 0);
             writeFileBytes(d.file("song.wav"), unfinished);
         },
         {"song.wav"}, {}, 1, {"song.wav"},
         [&](const ScratchDir& d, const CliResult& r) {
             const auto container = readFileBytes(d.file("song.q58"));
             ASSERT_EQ(container.size(), 76u);
             EXPECT_EQ(getLe32(container, 72), 0u);
             EXPECT_TRUE(std::equal(container.begin(), container.end() - 4, in.songQ58.begin()));
             EXPECT_NE(r.err.find(" " + std::to_string(in.song.size() - 44) + " bytes"), std::string::npos) << r.err;
             EXPECT_EQ(r.out, encodeLine("song.wav", "song.q58") + "\ndone.\n");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        c.setup(dir);
        const CliResult r = RunningQ58(dir, c.arguments, c.options).finish();
        EXPECT_EQ(r.exitStatus, c.status) << r.err;
        for (const std::string& name : c.named)
            EXPECT_TRUE(mentions(r.err, name)) << r.err;
        if (c.named.empty()) {
            EXPECT_EQ(r.err, "");
        }
        EXPECT_EQ(temporaries(dir), std::vector<std::string>{});
        c.check(dir, r);
    }
}
