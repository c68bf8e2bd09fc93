#include <iostream>

#include "driver/conversion_jobs.h"
#include "driver/file_names.h"
#include "driver/job_output.h"
#include "driver/refusal.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "formats/container_reader.h"
#include "formats/wave_writer.h"
#include "base/frame_sizes.h"

namespace {

// The diagnostic for a frame the container reader could not decode.
const char* damageOf(BlockRead result)
{
    switch (result) {
        case BlockRead::nonZeroPadding: return "a frame is damaged (non-zero padding); decoded the frames before it";
        case BlockRead::pastEnd: return "the last frame runs past the end of the file; decoded the frames before it";
        case BlockRead::readFailed: return "the file could not be read to its end; decoded the frames before the failure";
        default: return "the file ends before its last frame; decoded the frames present";
    }
}

}  // namespace

uint64_t maxWaveDataBytes()
{
    // RIFF size = 36 + data size must fit 32 bits; keep whole blocks.
    return (UINT64_C(0xFFFFFFFF) - 36) / blockBytes * blockBytes;
}

JobOutcome decodeFile(std::string inputName, std::string outputName)
{
    return decodeFileWithLimit(std::move(inputName), std::move(outputName), maxWaveDataBytes());
}

JobOutcome decodeFileWithLimit(std::string inputName, std::string outputName, uint64_t maxDataBytes)
{
    if (!isRegularFile(inputName))
        return refuseContainer(inputName);
    FileByteSource input(inputName.c_str());
    ContainerReader container(input, encoderTuning);
    const HeaderCheck check = container.readHeader();
    if (check == HeaderCheck::notContainer || check == HeaderCheck::readFailed)
        return refuseContainer(inputName);

    // The whole header is checked before any output exists: a damaged or
    // hostile parameter block must never reach the decoder.
    if (check == HeaderCheck::incomplete) {
        reportProblem(inputName.c_str(), "the container header is incomplete; not decoded");
        return JobOutcome::failed;
    }
    if (check == HeaderCheck::undecodable) {
        reportProblem(inputName.c_str(), "the container header holds parameters this decoder cannot use safely; not decoded");
        return JobOutcome::failed;
    }
    const ContainerHeader& stored = container.header();

    if (sameFile(inputName, outputName)) {
        reportProblem(outputName.c_str(), sameFileProblem);
        return JobOutcome::failed;
    }

    std::cout << "decoding : '" << inputName << "' to : '" << outputName << "'" << std::endl;

    JobOutput destination(outputName);
    if (!destination.ok()) {
        reportCreationProblem(outputName, destination.problem());
        return JobOutcome::failed;
    }
    WaveWriter0 wave(destination.temporaryName().c_str(), referenceFormat);
    bool outputFailed = wave.error;

    int16_t samples[blockSamples];
    uint8_t sampleBytes[blockBytes];
    const char* damage = nullptr;
    uint64_t dataBytes = 0;

    for (int32_t i = 0; i < stored.frameCount; ++i) {
        const BlockRead result = container.readBlock(samples);
        if (result != BlockRead::block) {
            damage = damageOf(result);
            break;
        }
        if (dataBytes + blockBytes > maxDataBytes) {
            damage = "the decoded audio would exceed the 4 GiB limit of a WAV file; stopped there";
            break;
        }
        samplesToBytes(samples, sampleBytes, blockSamples);
        if (wave.output.write(sampleBytes, blockBytes) != blockBytes)
            outputFailed = true;
        dataBytes += blockBytes;

        std::cout << (100 * static_cast<int64_t>(i + 1)) / stored.frameCount << " %" << '\r';
    }
    // A file ends right after its last packet: more bytes mean damage (for
    // instance a frame count that shrank), not something to drop silently.
    if (!damage && container.bytesAfterLastFrame())
        damage = "the file goes on after its last frame; those bytes were not decoded";
    std::cout << "done." << std::endl;

    if (!wave.close())
        outputFailed = true;
    // What a damaged input let decode is still put in place: it is all the
    // user can recover. A file that could not be written in full never is.
    if (outputFailed)
        destination.abandon();
    const bool placed = !outputFailed && destination.commit();

    if (damage)
        reportProblem(inputName.c_str(), damage);
    if (outputFailed)
        reportWriteProblem(outputName);
    else if (!placed)
        reportPlacementProblem(outputName, destination.problem());
    return (damage || !placed) ? JobOutcome::failed : JobOutcome::converted;
}
