// Compares what two builds of q58 produced from the same input (used by
// tools/windows-check.sh to hold the Windows build to the Linux one).
//
//   compare_outputs wav A.wav B.wav MAXDIFF
//       Both files must be 16-bit PCM WAV files with identical bytes outside
//       the sample data and the same number of samples; every sample of B
//       must be within MAXDIFF of the same sample of A.
//   compare_outputs console LINUX.txt WINDOWS.txt
//       WINDOWS must be LINUX with every line feed written as CR LF, as a
//       Windows text-mode stream does; a bare CR (the progress lines) stays.
//
// Prints one line saying what was compared and exits with 0 when the files
// agree, 1 when they do not and 2 when a file cannot be read or parsed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool readWhole(const char* name, std::vector<uint8_t>& bytes)
{
    std::ifstream file(name, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Where the samples of a RIFF/WAVE file lie; bitsPerSample from "fmt ".
struct DataChunk {
    size_t start = 0;
    size_t length = 0;
    int bitsPerSample = 0;
};

bool findData(const std::vector<uint8_t>& b, DataChunk& data)
{
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return false;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const uint32_t size = le32(b, at + 4);
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16 && at + 8 + 16 <= b.size())
            data.bitsPerSample = b[at + 8 + 14] | b[at + 8 + 15] << 8;
        if (std::memcmp(b.data() + at, "data", 4) == 0) {
            data.start = at + 8;
            data.length = std::min<size_t>(size, b.size() - data.start);
            return data.bitsPerSample == 16;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
    }
    return false;
}

int compareWav(const char* nameA, const char* nameB, long maxDifference)
{
    std::vector<uint8_t> a, b;
    DataChunk dataA, dataB;
    if (!readWhole(nameA, a) || !findData(a, dataA)) {
        std::printf("cannot read '%s' as a 16-bit WAV file\n", nameA);
        return 2;
    }
    if (!readWhole(nameB, b) || !findData(b, dataB)) {
        std::printf("cannot read '%s' as a 16-bit WAV file\n", nameB);
        return 2;
    }
    if (a.size() != b.size() || dataA.start != dataB.start || dataA.length != dataB.length) {
        std::printf("'%s' and '%s' differ in size: %zu and %zu bytes, %zu and %zu data bytes\n", nameA, nameB,
                    a.size(), b.size(), dataA.length, dataB.length);
        return 1;
    }
    const size_t dataEnd = dataA.start + dataA.length;
    if (std::memcmp(a.data(), b.data(), dataA.start) != 0 ||
        std::memcmp(a.data() + dataEnd, b.data() + dataEnd, a.size() - dataEnd) != 0) {
        std::printf("'%s' and '%s' differ outside their samples\n", nameA, nameB);
        return 1;
    }
    const size_t samples = dataA.length / 2;
    size_t differing = 0;
    long largest = 0;
    size_t firstDiffering = 0;
    for (size_t i = 0; i < samples; ++i) {
        const size_t at = dataA.start + 2 * i;
        const long sampleA = static_cast<int16_t>(a[at] | a[at + 1] << 8);
        const long sampleB = static_cast<int16_t>(b[at] | b[at + 1] << 8);
        const long difference = std::labs(sampleA - sampleB);
        if (difference != 0 && differing++ == 0)
            firstDiffering = i;
        if (difference > largest)
            largest = difference;
    }
    std::printf("%zu samples, %zu differ (first at %zu), largest difference %ld (allowed %ld)\n", samples,
                differing, differing ? firstDiffering : 0, largest, maxDifference);
    return largest <= maxDifference ? 0 : 1;
}

std::string printable(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    std::string text;
    for (size_t i = from; i < bytes.size() && i < from + count; ++i) {
        const uint8_t c = bytes[i];
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c < 0x20 || c == 0x7F)
            text += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        else
            text += static_cast<char>(c);
    }
    return text;
}

int compareConsole(const char* linuxName, const char* windowsName)
{
    std::vector<uint8_t> linuxOutput, windowsOutput;
    if (!readWhole(linuxName, linuxOutput) || !readWhole(windowsName, windowsOutput)) {
        std::printf("cannot read '%s' or '%s'\n", linuxName, windowsName);
        return 2;
    }
    std::vector<uint8_t> expected;
    size_t lineFeeds = 0;
    for (const uint8_t c : linuxOutput) {
        if (c == '\n') {
            expected.push_back('\r');
            ++lineFeeds;
        }
        expected.push_back(c);
    }
    if (expected == windowsOutput) {
        std::printf("console output agrees: %zu bytes, %zu line ends written as CR LF\n", linuxOutput.size(),
                    lineFeeds);
        return 0;
    }
    size_t at = 0;
    while (at < expected.size() && at < windowsOutput.size() && expected[at] == windowsOutput[at])
        ++at;
    const size_t from = at > 24 ? at - 24 : 0;
    std::printf("console output differs at byte %zu: expected \"%s\", got \"%s\"\n", at,
                printable(expected, from, 60).c_str(), printable(windowsOutput, from, 60).c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "wav") == 0)
        return compareWav(argv[2], argv[3], std::strtol(argv[4], nullptr, 10));
    if (argc == 4 && std::strcmp(argv[1], "console") == 0)
        return compareConsole(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s wav A.wav B.wav MAXDIFF | console LINUX.txt WINDOWS.txt\n", argv[0]);
    return 2;
}
