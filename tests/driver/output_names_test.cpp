// The names and permission bits q58 gives its outputs, end to end: names at
// and over the 255-byte limit in a batch, and the modes of new and replaced
// outputs under several umasks.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "streams/file_modes.h"
#include "streams/long_names.h"

namespace fs = std::filesystem;

namespace {

// What q58 makes of one WAV under short names: the bytes every output of
// the same input must hold, whatever its name.
struct Reference {
    std::vector<uint8_t> wav = makeWav(chordSignal(882, 5));
    std::vector<uint8_t> q58;
    std::vector<uint8_t> decoded;
    Reference()
    {
        ScratchDir dir;
        writeFileBytes(dir.file("ref.wav"), wav);
        dir.runQ58({"ref.wav"});
        dir.runQ58({"ref.q58"});
        q58 = readFileBytes(dir.file("ref.q58"));
        decoded = readFileBytes(dir.file("ref.q58.wav"));
    }
};

const Reference& reference()
{
    static const Reference made;
    return made;
}

std::vector<std::string> namesIn(const ScratchDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Lines of standard error that name this file.
size_t linesNaming(const std::string& err, const std::string& name)
{
    std::istringstream lines(err);
    size_t count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.find("'" + name + "'") != std::string::npos;
    return count;
}

}  // namespace

TEST(OutputNames, LongAndOddNamesAreWrittenWholeOrRefusedOneByOne)
{
    const Reference& ref = reference();
    ASSERT_FALSE(ref.q58.empty() || ref.decoded.empty());
    struct Row {
        std::string what, wav, q58, decoded;
        bool decodedFits;  // NAME.q58.wav is 4 bytes longer than NAME.wav
    };
    std::vector<Row> rows;
    std::vector<std::string> wavs, q58s, expected;
    ScratchDir dir;
    for (const NameStyle& style : nameStyles())
        for (const size_t length : {240, 248, 251, 252, 253, 255}) {
            const std::string wav = nameOfLength(length, style.lead, style.unit, ".wav");
            const std::string stem = wav.substr(0, wav.size() - 4);
            rows.push_back({std::string(style.what) + ", " + std::to_string(length) + " bytes", wav, stem + ".q58",
                            stem + ".q58.wav", length + 4 <= longestName});
            writeFileBytes(dir.file(wav), ref.wav);
            wavs.push_back(wav);
            q58s.push_back(stem + ".q58");
            expected.insert(expected.end(), {wav, stem + ".q58"});
            if (rows.back().decodedFits)
                expected.push_back(stem + ".q58.wav");
        }
    std::sort(expected.begin(), expected.end());

    const CliResult encoded = dir.runQ58(wavs);
    EXPECT_EQ(encoded.exitStatus, 0) << encoded.err;
    EXPECT_EQ(encoded.err, "");
    const CliResult decoded = dir.runQ58(q58s);
    const bool anyTooLong = std::any_of(rows.begin(), rows.end(), [](const Row& r) { return !r.decodedFits; });
    EXPECT_EQ(decoded.exitStatus, anyTooLong ? 1 : 0);
    EXPECT_EQ(static_cast<size_t>(std::count(decoded.err.begin(), decoded.err.end(), '\n')),
              static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const Row& r) { return !r.decodedFits; })))
        << decoded.err;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(readFileBytes(dir.file(row.q58)), ref.q58);
        EXPECT_EQ(linesNaming(decoded.err, row.decoded), row.decodedFits ? 0u : 1u);
        if (row.decodedFits) {
            EXPECT_EQ(readFileBytes(dir.file(row.decoded)), ref.decoded);
        }
    }
    EXPECT_EQ(namesIn(dir), expected);
}

TEST(OutputModes, NewOutputsFollowTheUmaskAndReplacedOnesKeepTheirMode)
{
    const Reference& ref = reference();
    ASSERT_FALSE(ref.q58.empty() || ref.decoded.empty());
    constexpr int brandNew = -1;
    for (const int mask : {022, 077, 002, 027, 007})
        for (const int oldMode : {brandNew, 0600, 0640, 0664, 0755}) {
            SCOPED_TRACE("umask " + octal(mask) + (oldMode == brandNew ? ", new outputs" : ", replacing mode " + octal(oldMode)));
            ScratchDir dir;
            writeFileBytes(dir.file("a.wav"), ref.wav);
            writeFileBytes(dir.file("b.q58"), ref.q58);
            if (oldMode != brandNew)
                for (const char* output : {"a.q58", "b.q58.wav"}) {
                    writeFileBytes(dir.file(output), {'o', 'l', 'd'});
                    ::chmod(dir.file(output).c_str(), static_cast<mode_t>(oldMode));
                }
            LaunchOptions options;
            options.creationMask = mask;
            const CliResult r = RunningQ58(dir, {"a.wav", "b.q58"}, options).finish();
            EXPECT_EQ(r.exitStatus, 0) << r.err;
            const mode_t expectedMode = static_cast<mode_t>(oldMode != brandNew ? oldMode : 0666 & ~mask);
            EXPECT_EQ(modeOf(dir.file("a.q58")), expectedMode);
            EXPECT_EQ(modeOf(dir.file("b.q58.wav")), expectedMode);
            EXPECT_EQ(readFileBytes(dir.file("a.q58")), ref.q58);
            EXPECT_EQ(readFileBytes(dir.file("b.q58.wav")), ref.decoded);
            EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"a.q58", "a.wav", "b.q58", "b.q58.wav"}));
        }
}
