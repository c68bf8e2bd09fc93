// The conformance vectors: the .q58 bit stream frozen as stored files. For
// every input of conformance_inputs.cpp, on the literal path and on the fast
// path at every vector width this build and processor run, encoding must give
// vectors/NAME.q58 byte for byte, and decoding vectors/NAME.q58 must give PCM
// with the hash in vectors/expected.txt. The q58 converter itself is held to
// the same files. See README.md in this folder before changing anything here.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "conformance/conformance_codec.h"
#include "conformance/conformance_inputs.h"
#include "formats/container_format.h"
#include "base/frame_sizes.h"

using namespace conformance;

namespace {

std::string vectorPath(const std::string& name) { return conformanceDir() + "/vectors/" + name + ".q58"; }
std::string manifestPath() { return conformanceDir() + "/vectors/expected.txt"; }

// Where two containers first differ, in words: the byte offset and the
// frame (by the packet boundaries of the one just encoded).
std::string firstDifference(const Encoded& encoded, const std::vector<uint8_t>& stored) {
    const std::vector<uint8_t>& bytes = encoded.bytes;
    std::size_t at = 0;
    while (at < bytes.size() && at < stored.size() && bytes[at] == stored[at]) ++at;
    std::string where = "first difference at byte offset " + std::to_string(at);
    if (at < static_cast<std::size_t>(containerHeaderSize)) {
        where += at < 4 ? " (header: magic)" : at < containerHeaderSize - 4 ? " (header: parameter block field " +
                                                                                   std::to_string((at - 4) / 4) + ")"
                                                                             : " (header: frame count)";
    } else {
        std::size_t frame = 0;
        while (frame + 1 < encoded.packetStarts.size() && encoded.packetStarts[frame + 1] <= at) ++frame;
        if (!encoded.packetStarts.empty())
            where += " (frame " + std::to_string(frame) + ", byte " + std::to_string(at - encoded.packetStarts[frame]) +
                     " of its packet as encoded in-process)";
    }
    if (at < bytes.size() && at < stored.size())
        where += ": encoded " + std::to_string(bytes[at]) + ", stored " + std::to_string(stored[at]);
    else
        where += at < bytes.size() ? ": the stored file ends there" : ": the encoded container ends there";
    return where + "; " + std::to_string(bytes.size()) + " bytes encoded, " + std::to_string(stored.size()) +
           " stored";
}

// The first block where two decodings differ, or -1.
long firstDifferingFrame(const Signal& a, const Signal& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<long>(i / blockSamples);
    return a.size() == b.size() ? -1 : static_cast<long>(n / blockSamples);
}

Expected expectedFor(const std::string& name) {
    const std::map<std::string, Expected> manifest = readManifest(manifestPath());
    const auto found = manifest.find(name);
    if (found == manifest.end()) throw std::runtime_error(manifestPath() + " has no line for '" + name + "'");
    return found->second;
}

// Runs make() and returns "" or the reason it threw, for a failure message.
template <typename T, typename F>
std::string attempt(T& out, F make) {
    try {
        out = make();
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

struct Case {
    std::string vector;
    Path path;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.vector << " on " << pathName(c.path); }

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Recipe& recipe : recipes())
        for (const Path& path : availablePaths()) cases.push_back({recipe.name, path});
    return cases;
}

class Conformance : public ::testing::TestWithParam<Case> {
protected:
    std::string what() const {
        return "vector '" + GetParam().vector + "', path " + pathName(GetParam().path) + " (" +
               pathDetail(GetParam().path) + ")";
    }
};

TEST_P(Conformance, EncodesToTheStoredContainer) {
    const Recipe& recipe = *findRecipe(GetParam().vector);
    Signal input;
    ASSERT_EQ(attempt(input, [&] { return makeInput(recipe); }), "") << what();
    const std::vector<uint8_t> stored = readFile(vectorPath(recipe.name));
    ASSERT_FALSE(stored.empty()) << what() << ": cannot read " << vectorPath(recipe.name);
    const Encoded encoded = encodeContainer(input, GetParam().path);
    ASSERT_EQ(encoded.problem, "") << what();
    ASSERT_TRUE(encoded.bytes == stored) << what() << ": the encoded container differs from "
                                         << vectorPath(recipe.name) << ", " << firstDifference(encoded, stored);
}

TEST_P(Conformance, DecodesTheStoredContainerToTheExpectedPcm) {
    const std::string& name = GetParam().vector;
    Expected expected{};
    ASSERT_EQ(attempt(expected, [&] { return expectedFor(name); }), "") << what();
    const std::vector<uint8_t> stored = readFile(vectorPath(name));
    ASSERT_FALSE(stored.empty()) << what() << ": cannot read " << vectorPath(name);
    const Decoded decoded = decodeContainer(stored, GetParam().path);
    ASSERT_EQ(decoded.problem, "") << what() << ": decoding " << vectorPath(name);
    ASSERT_EQ(decoded.headerFrames, expected.frames) << what() << ": the header's frame count against expected.txt";
    ASSERT_EQ(decoded.samples.size(), static_cast<std::size_t>(expected.frames) * blockSamples) << what();
    const uint64_t hash = pcmHash(decoded.samples);
    if (hash == expected.hash) return;
    std::string hint;
    if (!GetParam().path.literal) {
        const Decoded literal = decodeContainer(stored, Path{true, Width::portable});
        const long frame = firstDifferingFrame(decoded.samples, literal.samples);
        hint = pcmHash(literal.samples) == expected.hash ? "; the literal path decodes to the expected hash"
                                                         : "; the literal path does not decode to it either";
        hint += frame >= 0 ? ", and this path first differs from it in frame " + std::to_string(frame)
                           : ", and this path decodes exactly as it does";
    }
    FAIL() << what() << ": the PCM decoded from " << vectorPath(name) << " has FNV-1a 64 " << hex64(hash)
           << ", expected.txt says " << hex64(expected.hash) << hint;
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.vector + "_" + pathName(info.param.path);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Conformance, ::testing::ValuesIn(allCases()), caseName);

// The table, the manifest and the stored files agree with one another.
TEST(ConformanceManifest, ListsEveryInputWithItsFrameCountAndStoredContainer) {
    std::map<std::string, Expected> manifest;
    ASSERT_EQ(attempt(manifest, [] { return readManifest(manifestPath()); }), "");
    EXPECT_EQ(manifest.size(), recipes().size()) << manifestPath() << " against the table of inputs";
    std::size_t storedBytes = 0;
    for (const Recipe& recipe : recipes()) {
        SCOPED_TRACE(recipe.name);
        ASSERT_EQ(manifest.count(recipe.name), 1u) << manifestPath() << " has no line for '" << recipe.name << "'";
        Signal input;
        ASSERT_EQ(attempt(input, [&] { return makeInput(recipe); }), "");
        if (recipe.frames > 0) {
            EXPECT_EQ(input.size(), 2 * static_cast<std::size_t>(recipe.frames));
        }
        EXPECT_EQ(manifest[recipe.name].frames, static_cast<int32_t>(input.size() / blockSamples))
            << "the manifest's frames are the input's whole blocks";
        const std::vector<uint8_t> stored = readFile(vectorPath(recipe.name));
        ASSERT_GE(stored.size(), static_cast<std::size_t>(containerHeaderSize)) << vectorPath(recipe.name);
        ContainerHeader header{};
        ASSERT_TRUE(decodeContainerHeader(stored.data(), header)) << vectorPath(recipe.name);
        EXPECT_EQ(header.frameCount, manifest[recipe.name].frames) << vectorPath(recipe.name);
        EXPECT_EQ(std::memcmp(&header.parameters, &defaultCodecParameters, sizeof(CodecParameters)), 0)
            << vectorPath(recipe.name) << " carries another parameter block than the built-in one";
        storedBytes += stored.size() + (recipe.storedFile ? 2 * input.size() + 44 : 0);
    }
    EXPECT_LT(storedBytes, 1000000u) << "the stored inputs and vectors should stay well under 1 MB";
}

#ifndef _WIN32
// The converter writes the same bytes: q58 NAME.wav gives vectors/NAME.q58
// and q58 NAME.q58 a NAME.q58.wav whose samples have the manifest's hash.
class ConformanceConverter : public ::testing::TestWithParam<std::string> {
protected:
};

std::vector<uint8_t> waveFile(const Signal& s) {
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
    const uint32_t dataBytes = static_cast<uint32_t>(2 * s.size());
    tag("RIFF");
    u32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u32(0x00020001u);  // PCM, 2 channels
    u32(44100);
    u32(44100 * 4);
    u32(0x00100004u);  // 4 bytes per frame, 16 bits
    tag("data");
    u32(dataBytes);
    for (int16_t v : s) {
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF));
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return b;
}

TEST_P(ConformanceConverter, WritesTheStoredContainerAndDecodesItToTheExpectedPcm) {
    namespace fs = std::filesystem;
    const std::string name = GetParam();
    Signal input;
    ASSERT_EQ(attempt(input, [&] { return makeInput(*findRecipe(name)); }), "");
    Expected expected{};
    ASSERT_EQ(attempt(expected, [&] { return expectedFor(name); }), "");
    const fs::path dir = fs::temp_directory_path() / ("q58-conformance-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string base = (dir / name).string();
    ASSERT_TRUE(writeFile(base + ".wav", waveFile(input)));
    const std::string command = "cd '" + dir.string() + "' && '" Q58_EXE "' '" + name + ".wav' '" + name +
                                ".q58' >q58.log 2>&1";
    const int status = std::system(command.c_str());
    const std::vector<uint8_t> log = readFile((dir / "q58.log").string());
    EXPECT_EQ(status, 0) << command << "\n" << std::string(log.begin(), log.end());
    const std::vector<uint8_t> written = readFile(base + ".q58");
    const std::vector<uint8_t> stored = readFile(vectorPath(name));
    Encoded asWritten = encodeContainer(input, Path{true, Width::portable});  // for the packet boundaries
    asWritten.bytes = written;
    EXPECT_TRUE(written == stored) << "q58 " << name << ".wav differs from " << vectorPath(name) << ", "
                                   << firstDifference(asWritten, stored);
    const std::vector<uint8_t> wave = readFile(base + ".q58.wav");
    ASSERT_EQ(wave.size(), 44 + static_cast<std::size_t>(expected.frames) * blockBytes) << base << ".q58.wav";
    EXPECT_EQ(hex64(bytesHash(wave.data() + 44, wave.size() - 44)), hex64(expected.hash))
        << "the samples of q58 " << name << ".q58 against expected.txt";
    fs::remove_all(dir);
}

std::vector<std::string> allNames() {
    std::vector<std::string> names;
    for (const Recipe& recipe : recipes()) names.push_back(recipe.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Vectors, ConformanceConverter, ::testing::ValuesIn(allNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });
#endif

// Rewrites the vectors, only when asked: Q58_WRITE_CONFORMANCE=DIR writes
// DIR/NAME.q58 for every input and DIR/expected.txt, from the literal path,
// after checking that the fast path at the widest width agrees with it.
// See README.md: this is for a deliberate format change only.
class ConformanceWriter : public ::testing::Test {
protected:
};

TEST_F(ConformanceWriter, WritesTheVectorsWhenAsked) {
    const char* dir = std::getenv("Q58_WRITE_CONFORMANCE");
    if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "set Q58_WRITE_CONFORMANCE=DIR to write the vectors there";
    const Path literal{true, Width::portable};
    const Path fastest = availablePaths().back();
    std::vector<std::pair<std::string, Expected>> entries;
    for (const Recipe& recipe : recipes()) {
        Signal input;
        ASSERT_EQ(attempt(input, [&] { return makeInput(recipe); }), "") << recipe.name;
        const Encoded encoded = encodeContainer(input, literal);
        ASSERT_EQ(encoded.problem, "") << recipe.name;
        const Encoded fast = encodeContainer(input, fastest);
        ASSERT_TRUE(fast.bytes == encoded.bytes) << recipe.name << ": the fast path (" << pathDetail(fastest)
                                                 << ") disagrees with the literal one, "
                                                 << firstDifference(fast, encoded.bytes);
        const Decoded decoded = decodeContainer(encoded.bytes, literal);
        ASSERT_EQ(decoded.problem, "") << recipe.name;
        const Decoded fastDecoded = decodeContainer(encoded.bytes, fastest);
        ASSERT_TRUE(fastDecoded.samples == decoded.samples) << recipe.name << ": the fast path decodes otherwise";
        const std::string file = std::string(dir) + "/" + recipe.name + ".q58";
        ASSERT_TRUE(writeFile(file, encoded.bytes)) << file;
        entries.push_back({recipe.name, Expected{decoded.headerFrames, pcmHash(decoded.samples)}});
        std::printf("%s: %zu bytes, %d frames, pcm %s\n", file.c_str(), encoded.bytes.size(), decoded.headerFrames,
                    hex64(pcmHash(decoded.samples)).c_str());
    }
    const std::string text = manifestText(entries);
    ASSERT_TRUE(writeFile(std::string(dir) + "/expected.txt", std::vector<uint8_t>(text.begin(), text.end())));
}

}  // namespace
