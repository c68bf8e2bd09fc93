// Arbitrary bytes as a .q58 file through the whole decode job: header and
// parameter checks, the packet window, frame decoding, synthesis and the
// WAV output. Besides the sanitizers' checks, the job's outcome must agree
// with what it left behind:
// - skipped (no magic) creates no output;
// - a rejected header creates no output;
// - otherwise the output is a complete WAV file of whole blocks, and a job
//   that reports success decoded every frame the header promised and every
//   byte of the file (the same file with one byte more is damaged);
// - the packet walk of q58info agrees with the decoder on where damage starts.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/conversion_jobs.h"
#include "formats/container_format.h"
#include "formats/container_survey.h"
#include "fuzz_support.h"
#include "base/frame_sizes.h"

namespace {

// Frames one input may decode: keeps every run in the milliseconds whatever
// frame count the header claims.
constexpr uint64_t maxFrames = 6;

struct Paths {
    std::string input;
    std::string output;
};

const Paths& paths()
{
    static const Paths p = [] {
        const std::string dir = fuzz::scratchDirectory();
        return Paths{dir + "/input.q58", dir + "/input.q58.wav"};
    }();
    return p;
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
    const Paths& p = paths();
    std::remove(p.output.c_str());
    fuzz::writeFile(p.input, data, size);

    const JobOutcome outcome = decodeFileWithLimit(p.input, p.output, maxFrames * blockBytes);

    const bool hasMagic = size >= 4 && std::memcmp(data, containerMagic, 4) == 0;
    if (!hasMagic) {
        FUZZ_CHECK(outcome == JobOutcome::skipped);
        FUZZ_CHECK(!fuzz::fileExists(p.output));
        return 0;
    }
    FUZZ_CHECK(outcome != JobOutcome::skipped);
    if (!fuzz::fileExists(p.output)) {
        // Only a header the job refused leaves no output.
        FUZZ_CHECK(outcome == JobOutcome::failed);
        return 0;
    }
    const uint64_t dataBytes = fuzz::checkDecodedWave(p.output);
    FUZZ_CHECK(dataBytes <= maxFrames * blockBytes);

    ContainerHeader header{};
    FUZZ_CHECK(size >= static_cast<size_t>(containerHeaderSize) && decodeContainerHeader(data, header));
    const uint64_t promised = header.frameCount > 0 ? static_cast<uint64_t>(header.frameCount) : 0;
    FUZZ_CHECK(dataBytes <= promised * blockBytes);
    // Each frame takes at least one byte of the file.
    FUZZ_CHECK(dataBytes / blockBytes <= size - containerHeaderSize);
    // The packet walk behind q58info finds damage exactly where the decoder
    // stops (when the frame limit above did not stop it first).
    if (promised <= maxFrames) {
        const ContainerSurvey survey = surveyContainer(p.input);
        FUZZ_CHECK((survey.verdict == ContainerVerdict::intact) == (outcome == JobOutcome::converted));
        if (survey.verdict == ContainerVerdict::damaged)
            FUZZ_CHECK(static_cast<uint64_t>(survey.framesIntact) * blockBytes == dataBytes);
    }
    if (outcome != JobOutcome::converted)
        return 0;

    // Success means every promised frame is in the file and every byte of
    // the file belongs to a frame: a byte more after the last frame (a
    // frame count damaged to a smaller value looks just like that) must not
    // pass as an intact file.
    FUZZ_CHECK(dataBytes == promised * blockBytes);
    std::vector<uint8_t> longer(data, data + size);
    longer.push_back(0);
    fuzz::writeFile(p.input, longer.data(), longer.size());
    std::remove(p.output.c_str());
    FUZZ_CHECK(decodeFileWithLimit(p.input, p.output, maxFrames * blockBytes) == JobOutcome::failed);
    FUZZ_CHECK(fuzz::checkDecodedWave(p.output) == dataBytes);
    return 0;
}
