// Every .wav or .q58 name that q58 does not convert gets exactly one line on
// standard error naming it and the reason, nothing on standard output, no
// file, and exit status 1.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace fs = std::filesystem;

namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<uint8_t> withChunk(std::vector<uint8_t> wav, size_t at, const char* id)
{
    std::vector<uint8_t> chunk = {static_cast<uint8_t>(id[0]), static_cast<uint8_t>(id[1]),
                                  static_cast<uint8_t>(id[2]), static_cast<uint8_t>(id[3]), 4, 0, 0, 0, 1, 2, 3, 4};
    wav.insert(wav.begin() + static_cast<long>(at), chunk.begin(), chunk.end());
    putLe32(wav, 4, getLe32(wav, 4) + 12);
    return wav;
}

std::vector<uint8_t> floatWav()
{
    auto wav = makeWav(silence(882 * 2));  // 2 float frames' worth of bytes
    put16(wav, 20, 3);
    putLe32(wav, 28, 44100 * 8);
    put16(wav, 32, 8);
    put16(wav, 34, 32);
    return wav;
}

// WAVE_FORMAT_EXTENSIBLE holding 24-bit PCM, as 24-bit FLAC decoders write it:
// a 40-byte "fmt " chunk whose 22-byte extension gives the valid bits, the
// channel mask and the whole sub-format GUID, so that ffmpeg and sox read it.
std::vector<uint8_t> extensibleWav()
{
    auto wav = makeWav(silence(882));  // 3528 data bytes: 588 frames of 6 bytes
    // KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00AA00389B71, as stored.
    const uint8_t subtypePcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::vector<uint8_t> extension(24, 0);
    put16(extension, 0, 22);          // cbSize: the extension's size
    put16(extension, 2, 24);          // valid bits per sample
    putLe32(extension, 4, 3);         // channel mask: front left and right
    std::copy(subtypePcm, subtypePcm + 16, extension.begin() + 8);
    wav.insert(wav.begin() + 36, extension.begin(), extension.end());
    putLe32(wav, 16, 40);
    put16(wav, 20, 0xFFFE);
    putLe32(wav, 28, 44100 * 6);
    put16(wav, 32, 6);
    put16(wav, 34, 24);
    putLe32(wav, 4, getLe32(wav, 4) + 24);
    return wav;
}

struct Refusal {
    const char* name;
    std::vector<uint8_t> bytes;   // written unless makeFolder or missing
    bool missing;
    bool makeFolder;
    std::vector<std::string> says;  // pieces the line must contain
    bool offersCommands;
};

std::vector<Refusal> refusals()
{
    const auto good = makeWav(silence(882));
    auto rifx = good;
    rifx[3] = 'X';
    return {
        {"missing.wav", {}, true, false, {"cannot open", "No such file or directory"}, false},
        {"missing.q58", {}, true, false, {"cannot open", "No such file or directory"}, false},
        {"folder.wav", {}, false, true, {"cannot open", "Is a directory"}, false},
        {"folder.q58", {}, false, true, {"cannot open", "Is a directory"}, false},
        {"text.wav", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, false, false, {"not a RIFF/WAVE file"}, false},
        {"rifx.wav", rifx, false, false, {"\"RIFX\""}, false},
        {"list.wav", withChunk(good, 36, "LIST"), false, false, {"\"LIST\" chunk", "between \"fmt \" and \"data\""}, true},
        {"fact.wav", withChunk(good, 36, "fact"), false, false, {"\"fact\" chunk", "between"}, true},
        {"junk.wav", withChunk(good, 12, "JUNK"), false, false, {"\"JUNK\" chunk", "before \"fmt \""}, true},
        {"mono.wav", makeWav(silence(441), 1), false, false, {"another format", "1 channel"}, true},
        {"22k.wav", makeWav(silence(882), 2, 22050), false, false, {"another format", "22050 Hz"}, true},
        {"8bit.wav", makeWav(silence(441), 2, 44100, 8), false, false, {"another format", "8-bit PCM"}, true},
        {"float.wav", floatWav(), false, false, {"another format", "32-bit IEEE float"}, true},
        {"ext.wav", extensibleWav(), false, false, {"WAVE_FORMAT_EXTENSIBLE", "24-bit PCM"}, true},
        {"wave.q58", good, false, false, {"not a q58 container", "RIFF"}, false},
        {"short.q58", {0x71, 0x35, 0x38}, false, false, {"not a q58 container", "only 3 bytes"}, false},
        {"text.q58", {'h', 'e', 'l', 'l', 'o'}, false, false, {"not a q58 container", "68 65 6C 6C"}, false},
    };
}

std::vector<std::string> names(const ScratchDir& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    return found;
}

// The two commands the line offers, split off after "with: " and "  or: ".
std::vector<std::string> offeredCommands(const std::string& line)
{
    const size_t with = line.find("with: ");
    const size_t orAt = line.find("  or: ");
    if (with == std::string::npos || orAt == std::string::npos)
        return {};
    std::string second = line.substr(orAt + 6);
    if (!second.empty() && second.back() == '\n')
        second.pop_back();
    return {line.substr(with + 6, orAt - with - 6), second};
}

bool toolInstalled(const char* tool)
{
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

TEST(Diagnostics, EachRefusedNameGetsOneLineWithItsReason)
{
    for (const Refusal& row : refusals()) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        if (row.makeFolder)
            fs::create_directory(dir.path() / row.name);
        else if (!row.missing)
            writeFileBytes(dir.file(row.name), row.bytes);
        const auto before = names(dir);

        const CliResult r = dir.runQ58({row.name});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(names(dir), before);  // nothing created
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("q58: '" + std::string(row.name) + "': ", 0), 0u) << r.err;
        for (const std::string& piece : row.says)
            EXPECT_NE(r.err.find(piece), std::string::npos) << piece << " in " << r.err;

        const std::vector<std::string> commands = offeredCommands(r.err);
        if (!row.offersCommands) {
            EXPECT_TRUE(commands.empty()) << r.err;
            continue;
        }
        ASSERT_EQ(commands.size(), 2u) << r.err;
        const std::string stem = std::string(row.name).substr(0, std::string(row.name).size() - 4);
        EXPECT_EQ(commands[0], "ffmpeg -i " + std::string(row.name) +
                                   " -ar 44100 -ac 2 -c:a pcm_s16le -fflags +bitexact -map_metadata -1 " + stem +
                                   "-pcm16.wav");
        EXPECT_EQ(commands[1].rfind("sox " + std::string(row.name) + " ", 0), 0u) << commands[1];
    }
}

TEST(Diagnostics, RefusalsSetTheStatusAndLeaveTheOtherNamesAlone)
{
    ScratchDir dir;
    writeFileBytes(dir.file("good.wav"), makeWav(silence(882)));
    writeFileBytes(dir.file("mono.wav"), makeWav(silence(441), 1));
    writeFileBytes(dir.file("notes.txt"), {1, 2, 3});
    const CliResult mixed = dir.runQ58({"mono.wav", "good.wav", "notes.txt", "gone.q58"});
    EXPECT_EQ(mixed.exitStatus, 1);
    EXPECT_EQ(mixed.out, "encoding : 'good.wav' to : 'good.q58'\n100 % [ avg bitrate 6400 ]\r\ndone.\n");
    EXPECT_EQ(std::count(mixed.err.begin(), mixed.err.end(), '\n'), 2) << mixed.err;
    EXPECT_EQ(mixed.err.find("notes.txt"), std::string::npos);

    // Names with other suffixes never touch the status.
    const CliResult others = dir.runQ58({"good.wav", "notes.txt", "absent.txt", "--version"});
    EXPECT_EQ(others.exitStatus, 0);
    EXPECT_EQ(others.err, "");
}

// The commands offered must really make a copy q58 accepts. Runs only where
// ffmpeg or sox is already installed.
TEST(Diagnostics, OfferedCommandsMakeAnAcceptedCopy)
{
    const bool ffmpeg = toolInstalled("ffmpeg");
    const bool sox = toolInstalled("sox");
    if (!ffmpeg && !sox)
        GTEST_SKIP() << "neither ffmpeg nor sox is installed";
    for (const Refusal& row : refusals()) {
        if (!row.offersCommands)
            continue;
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        writeFileBytes(dir.file(row.name), row.bytes);
        const std::vector<std::string> commands = offeredCommands(dir.runQ58({row.name}).err);
        ASSERT_EQ(commands.size(), 2u);
        const std::string copy = std::string(row.name).substr(0, std::string(row.name).size() - 4) + "-pcm16.wav";
        for (size_t i = 0; i < 2; ++i) {
            if ((i == 0 && !ffmpeg) || (i == 1 && !sox))
                continue;
            fs::remove(dir.path() / copy);
            const std::string run = "cd '" + dir.path().string() + "' && " + commands[i] + " >/dev/null 2>&1";
            ASSERT_EQ(std::system(run.c_str()), 0) << commands[i];
            const CliResult r = dir.runQ58({copy});
            EXPECT_EQ(r.exitStatus, 0) << commands[i] << ": " << r.err;
        }
    }
}
