// q58info on good, damaged and refused files, and its options.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "q58_version.h"

namespace {

bool has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

std::string field(const char* name, long long value) { return "\"" + std::string(name) + "\": " + std::to_string(value); }

// A container of five silent frames, written by q58 itself.
std::vector<uint8_t> fiveSilentFrames(const ScratchDir& dir)
{
    writeFileBytes(dir.file("five.wav"), makeWav(silence(5 * 882)));
    EXPECT_EQ(dir.runQ58({"five.wav"}).exitStatus, 0);
    return readFileBytes(dir.file("five.q58"));
}

}  // namespace

TEST(Q58info, IntactContainerFacts)
{
    ScratchDir dir;
    writeFileBytes(dir.file("music.wav"), makeWav(chordSignal(40 * 882, 5)));
    ASSERT_EQ(dir.runQ58({"music.wav"}).exitStatus, 0);
    const auto bytes = readFileBytes(dir.file("music.q58"));
    const long long packetBytes = static_cast<long long>(bytes.size()) - 76;

    const CliResult text = dir.run(Q58INFO_EXE, {"music.q58"});
    EXPECT_EQ(text.exitStatus, 0) << text.err;
    for (const char* name : {"gainLevelMin", "gainLevelMax", "gainBits", "levelRange", "phaseBins", "phaseBands",
                             "phaseBits", "balanceBins", "balanceBands", "balanceBits", "balanceScale", "noiseBins",
                             "noiseBands", "noiseBits", "toneBins", "toneCount", "toneBits", "frameCount"})
        EXPECT_TRUE(has(text.out, "  " + std::string(name) + " ")) << name;
    EXPECT_TRUE(has(text.out, "0:00:00.800"));

    const CliResult json = dir.run(Q58INFO_EXE, {"--json", "music.q58"});
    EXPECT_EQ(json.exitStatus, 0);
    EXPECT_TRUE(has(json.out, "\"status\": \"intact\"")) << json.out;
    EXPECT_TRUE(has(json.out, field("frames", 40)));
    EXPECT_TRUE(has(json.out, field("framesIntact", 40)));
    EXPECT_TRUE(has(json.out, field("fileSize", static_cast<long long>(bytes.size()))));
    EXPECT_TRUE(has(json.out, field("averageBitrate", packetBytes * 400 / 40)));
    EXPECT_TRUE(has(json.out, "\"damageFrame\": null"));
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
}

TEST(Q58info, SilentPacketSizesAndBitrates)
{
    ScratchDir dir;
    fiveSilentFrames(dir);
    const CliResult r = dir.run(Q58INFO_EXE, {"--json", "five.q58"});
    EXPECT_EQ(r.exitStatus, 0);
    for (const std::string& piece : {field("smallestPacket", 16), field("largestPacket", 16),
                                     field("averageBitrate", 6400), field("peakBitrate", 6400),
                                     std::string("\"duration\": \"0:00:00.100\"")})
        EXPECT_TRUE(has(r.out, piece)) << piece << " in " << r.out;
}

TEST(Q58info, DamageIsLocatedByFrameAndOffset)
{
    ScratchDir dir;
    const auto intact = fiveSilentFrames(dir);
    ASSERT_EQ(intact.size(), 76u + 5u * 16u);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        long long frame, offset;
    };
    auto cut = intact;
    cut.resize(76 + 2 * 16 + 5);
    auto claimsMore = intact;
    putLe32(claimsMore, 72, 7);
    auto stray = intact;
    stray.push_back(0);
    const Case cases[] = {
        {"cut.q58", cut, 2, 76 + 2 * 16},
        {"more.q58", claimsMore, 5, 76 + 5 * 16},
        {"stray.q58", stray, 5, 76 + 5 * 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFileBytes(dir.file(c.name), c.bytes);
        const CliResult r = dir.run(Q58INFO_EXE, {"--json", c.name});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_TRUE(has(r.out, "\"status\": \"damaged\"")) << r.out;
        EXPECT_TRUE(has(r.out, field("damageFrame", c.frame))) << r.out;
        EXPECT_TRUE(has(r.out, field("damageOffset", c.offset))) << r.out;
        EXPECT_TRUE(has(r.out, field("framesIntact", c.frame))) << r.out;
    }

    // A header cut short is unusable; one good file among bad ones still gives 1.
    writeFileBytes(dir.file("header.q58"), std::vector<uint8_t>(intact.begin(), intact.begin() + 40));
    const CliResult h = dir.run(Q58INFO_EXE, {"five.q58", "header.q58"});
    EXPECT_EQ(h.exitStatus, 1);
    EXPECT_TRUE(has(h.out, "unusable"));
}

TEST(Q58info, RefusedWaveShowsChunksReasonAndCommands)
{
    ScratchDir dir;
    auto wav = makeWav(silence(882));
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    wav.insert(wav.begin() + 36, list.begin(), list.end());
    writeFileBytes(dir.file("tagged.wav"), wav);
    writeFileBytes(dir.file("plain.wav"), makeWav(silence(882)));

    const CliResult r = dir.run(Q58INFO_EXE, {"--json", "tagged.wav", "plain.wav"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    const std::string tagged = r.out.substr(0, r.out.find('\n'));
    const std::string plain = r.out.substr(r.out.find('\n') + 1);
    EXPECT_TRUE(has(tagged, "\"accepted\": false"));
    EXPECT_TRUE(has(tagged, "{\"id\": \"fmt \", \"offset\": 12, \"size\": 16}, {\"id\": \"LIST\", \"offset\": 36, "
                            "\"size\": 4}, {\"id\": \"data\", \"offset\": 48, \"size\": 3528}"))
        << tagged;
    EXPECT_TRUE(has(tagged, "ffmpeg -i tagged.wav "));
    EXPECT_TRUE(has(plain, "\"accepted\": true"));
    EXPECT_FALSE(has(plain, "ffmpeg"));

    // The reason is the one q58 gives.
    const CliResult q = dir.runQ58({"tagged.wav"});
    const size_t at = q.err.find("': ") + 3;
    const std::string text = dir.run(Q58INFO_EXE, {"tagged.wav"}).out;
    EXPECT_TRUE(has(text, " " + q.err.substr(at, q.err.find(';', at) - at) + "\n")) << q.err << text;
}

TEST(Q58info, Options)
{
    ScratchDir dir;
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // a piece of standard output; empty: output must be empty
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: q58 NAME.wav|NAME.q58 ..."},
        {{"--help"}, 0, "q58info [--json] FILE ..."},
        {{}, 1, ""},
        {{"--colour"}, 1, ""},
        {{"absent.q58"}, 1, "No such file or directory"},
    };
    for (const Case& c : cases) {
        const CliResult r = dir.run(Q58INFO_EXE, c.arguments);
        EXPECT_EQ(r.exitStatus, c.status) << c.arguments.size();
        if (c.out.empty())
            EXPECT_EQ(r.out, "");
        else
            EXPECT_TRUE(has(r.out, c.out)) << r.out;
    }
    EXPECT_EQ(dir.run(Q58INFO_EXE, {"--version"}).out, std::string("q58 ") + Q58_VERSION_STRING + "\n");
}

// Names carry any bytes but NUL and '/'. The text report shows control
// characters and pieces that are not UTF-8 as '?' and keeps its lines; the
// JSON escapes control characters and puts U+FFFD for each piece that is not
// UTF-8. Valid UTF-8 passes unchanged.
TEST(Q58info, OddNamesKeepTheLayout)
{
    ScratchDir dir;
    auto wav = makeWav(silence(882));
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    wav.insert(wav.begin() + 36, list.begin(), list.end());
    writeFileBytes(dir.file("plain.wav"), wav);
    const CliResult plainText = dir.run(Q58INFO_EXE, {"plain.wav"});
    const auto lines = [](const std::string& out) { return std::count(out.begin(), out.end(), '\n'); };

    struct Case {
        const char* name;
        const char* text;  // the name as the text report shows it
        const char* json;  // the name as a JSON string, without the quotes
    };
    const Case cases[] = {
        {"say \"hi\".wav", "say \"hi\".wav", "say \\\"hi\\\".wav"},
        {"back\\slash.wav", "back\\slash.wav", "back\\\\slash.wav"},
        {"two\nlines.wav", "two?lines.wav", "two\\u000alines.wav"},
        {"tab\there.wav", "tab?here.wav", "tab\\u0009here.wav"},
        {"del\x7f.wav", "del?.wav", "del\\u007f.wav"},
        {"csi\xc2\x9b.wav", "csi?.wav", "csi\\u009b.wav"},
        {"latin\xe9.wav", "latin?.wav", "latin\\ufffd.wav"},
        {"cut\xe2\x82.wav", "cut?.wav", "cut\\ufffd.wav"},
        {"overlong\xc0\xaf.wav", "overlong??.wav", "overlong\\ufffd\\ufffd.wav"},
        {"surrogate\xed\xa0\x80.wav", "surrogate???.wav", "surrogate\\ufffd\\ufffd\\ufffd.wav"},
        {"\xc3\x9cnic\xc3\xb8" "de \xe9\x9f\xb3\xe6\xa5\xbd \xf0\x9f\x8e\xb5.wav",
         "\xc3\x9cnic\xc3\xb8" "de \xe9\x9f\xb3\xe6\xa5\xbd \xf0\x9f\x8e\xb5.wav",
         "\xc3\x9cnic\xc3\xb8" "de \xe9\x9f\xb3\xe6\xa5\xbd \xf0\x9f\x8e\xb5.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        writeFileBytes(dir.file(c.name), wav);
        const CliResult text = dir.run(Q58INFO_EXE, {c.name});
        EXPECT_EQ(text.exitStatus, plainText.exitStatus);
        EXPECT_EQ(lines(text.out), lines(plainText.out)) << text.out;
        EXPECT_TRUE(has(text.out, "  " + std::string(c.text) + "\n")) << text.out;
        EXPECT_TRUE(std::none_of(text.out.begin(), text.out.end(), [](char b) {
            const auto c = static_cast<unsigned char>(b);
            return (c < 0x20 && c != '\n') || c == 0x7f;
        })) << text.out;

        const CliResult json = dir.run(Q58INFO_EXE, {"--json", c.name});
        EXPECT_EQ(lines(json.out), 1) << json.out;
        EXPECT_TRUE(has(json.out, "{\"file\": \"" + std::string(c.json) + "\", ")) << json.out;
    }
}
