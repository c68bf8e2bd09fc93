// Arbitrary bytes as a .wav file: the WAV reader on its own (header walk,
// then every sample byte read back through its stream), then the encode job,
// then the decode job on whatever the encoder wrote.
//
// Properties besides the sanitizers' checks:
// - the reader never delivers more bytes than the file holds after the
//   first sample byte;
// - the encode job converts exactly the files the reader accepts in the
//   reference format, and creates nothing for the others; the survey behind
//   the refusal diagnostics accepts the same files;
// - its container holds one packet per whole block present, and decodes
//   intact to exactly that many blocks.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/conversion_jobs.h"
#include "formats/container_format.h"
#include "formats/wave_reader.h"
#include "formats/wave_survey.h"
#include "fuzz_support.h"
#include "base/frame_sizes.h"

namespace {

// Inputs are cut to this length: a header and a handful of blocks, so one
// run stays in the milliseconds.
constexpr size_t maxInputBytes = 256 + 6 * blockBytes;

struct Paths {
    std::string input;
    std::string container;
    std::string decoded;
};

const Paths& paths()
{
    static const Paths p = [] {
        const std::string dir = fuzz::scratchDirectory();
        return Paths{dir + "/input.wav", dir + "/input.q58", dir + "/input.q58.wav"};
    }();
    return p;
}

struct ReaderView {
    bool accepted = false;       // header walked and the reference format
    uint64_t blocksPresent = 0;  // whole blocks in the data chunk that the file really holds
};

ReaderView inspectWithReader(const std::string& path, const uint8_t* data, size_t size)
{
    ReaderView view;
    WaveReader0 wave(path.c_str());
    if (wave.error)
        return view;
    const int64_t start = wave.dataChunk.dataStart;
    FUZZ_CHECK(start >= 28 && static_cast<uint64_t>(start) <= size);
    FUZZ_CHECK(wave.input.position() == start);

    // Read the rest of the file in uneven pieces; compare with the input.
    static uint8_t buffer[4099];
    uint64_t delivered = 0;
    int piece = 1;
    for (;;) {
        const int got = wave.input.read(buffer, piece);
        FUZZ_CHECK(got >= 0 && got <= piece);
        for (int i = 0; i < got; ++i)
            FUZZ_CHECK(buffer[i] == data[static_cast<size_t>(start) + delivered + static_cast<uint64_t>(i)]);
        delivered += static_cast<uint64_t>(got);
        if (got < piece)
            break;
        piece = piece * 3 % 4099 + 1;
    }
    FUZZ_CHECK(delivered == size - static_cast<uint64_t>(start));

    view.accepted = sameFormat(wave.format, referenceFormat);
    const uint64_t present = std::min<uint64_t>(wave.dataChunk.size, delivered);
    view.blocksPresent = present / blockBytes;
    return view;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietConsole();
    fuzz::initConverter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size = std::min(size, maxInputBytes);
    const Paths& p = paths();
    std::remove(p.container.c_str());
    std::remove(p.decoded.c_str());
    fuzz::writeFile(p.input, data, size);

    const ReaderView view = inspectWithReader(p.input, data, size);
    const JobOutcome encoded = encodeFile(p.input, p.container);
    // The survey that explains refusals accepts exactly what the reader does.
    FUZZ_CHECK((surveyWave(p.input).verdict == WaveVerdict::accepted) == view.accepted);
    if (!view.accepted) {
        FUZZ_CHECK(encoded == JobOutcome::skipped);
        FUZZ_CHECK(!fuzz::fileExists(p.container));
        return 0;
    }
    FUZZ_CHECK(encoded != JobOutcome::skipped);

    const std::vector<uint8_t> container = fuzz::readFile(p.container);
    FUZZ_CHECK(container.size() >= static_cast<size_t>(containerHeaderSize));
    ContainerHeader header{};
    FUZZ_CHECK(decodeContainerHeader(container.data(), header));
    FUZZ_CHECK(header.frameCount >= 0 && static_cast<uint64_t>(header.frameCount) == view.blocksPresent);
    // Every packet holds at least the 8-bit gain code and at most 1024 bytes.
    FUZZ_CHECK(container.size() >= containerHeaderSize + view.blocksPresent);
    FUZZ_CHECK(container.size() <= containerHeaderSize + static_cast<size_t>(packetBufferSize) * view.blocksPresent);

    // Whatever the encoder writes decodes intact, frame for frame.
    const JobOutcome decoded = decodeFile(p.container, p.decoded);
    FUZZ_CHECK(decoded == JobOutcome::converted);
    FUZZ_CHECK(fuzz::checkDecodedWave(p.decoded) == view.blocksPresent * blockBytes);
    return 0;
}
