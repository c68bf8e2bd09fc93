#include <algorithm>
#include <iostream>

#include "driver/conversion_jobs.h"
#include "driver/file_names.h"
#include "driver/job_output.h"
#include "driver/refusal.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "formats/container_writer.h"
#include "streams/byte_sink.h"
#include "formats/wave_reader.h"
#include "base/frame_sizes.h"

namespace {

// What the data chunk really holds after its start.
struct DataExtent {
    int32_t frameCount = 0;     // whole blocks, and the packets to write
    bool cutShort = false;      // the chunk claims more than the file holds
    uint64_t unfinished = 0;    // bytes after a data chunk that claims 0
};

// Whole blocks the data chunk really holds: the smaller of what its size
// field claims and what the file contains after its start, so that a
// recording cut short still gives a header whose frame count matches the
// packets written. A size of 0 with bytes after it is what a WAV writer
// leaves when it never got to fill in the size: only the 0 is trusted, but
// the bytes are counted for the diagnostic.
DataExtent measureData(WaveReader0& wave)
{
    DataExtent extent;
    const uint64_t claimed = wave.dataChunk.size;
    const int64_t fileLength = wave.input.size();
    const int64_t present = fileLength - wave.dataChunk.dataStart;
    const uint64_t presentBytes = present > 0 ? static_cast<uint64_t>(present) : 0;
    const uint64_t available = std::min<uint64_t>(claimed, presentBytes);
    extent.cutShort = available < claimed;
    if (claimed == 0)
        extent.unfinished = presentBytes;
    const uint64_t blocks = available / wave.format.blockAlign / blockLength;
    extent.frameCount = static_cast<int32_t>(std::min<uint64_t>(blocks, INT32_MAX));
    return extent;
}

}  // namespace

JobOutcome encodeFile(std::string inputName, std::string outputName)
{
    if (!isRegularFile(inputName))
        return refuseWave(inputName);
    WaveReader0 wave(inputName.c_str());
    if (wave.error || !sameFormat(wave.format, referenceFormat))
        return refuseWave(inputName);
    if (sameFile(inputName, outputName)) {
        reportProblem(outputName.c_str(), sameFileProblem);
        return JobOutcome::failed;
    }

    // The length is taken before anything is printed: what the input holds
    // from here on decides the frame count.
    const DataExtent extent = measureData(wave);

    std::cout << "encoding : '" << inputName << "' to : '" << outputName << "'" << std::endl;

    JobOutput destination(outputName);
    if (!destination.ok()) {
        reportCreationProblem(outputName, destination.problem());
        return JobOutcome::failed;
    }

    const int32_t frameCount = extent.frameCount;
    bool damaged = false;

    FileByteSink output(destination.temporaryName().c_str());
    ContainerWriter container(output, codecParameters, encoderTuning, frameCount);
    uint8_t sampleBytes[blockBytes];
    int16_t samples[blockSamples];

    for (int32_t i = 0; i < frameCount; ++i) {
        // The file shrank after its length was taken, or (never with a
        // parameter block that passes the limits) a frame overflowed its
        // packet: keep what was coded; finish() makes the header say so.
        if (wave.input.read(sampleBytes, blockBytes) != blockBytes) {
            damaged = true;
            break;
        }
        samplesFromBytes(sampleBytes, samples, blockSamples);
        if (container.writeBlock(samples) == 0) {
            damaged = true;
            break;
        }

        const int64_t totalBytes = container.packetBytesWritten();
        const int64_t percent = (100 * static_cast<int64_t>(i + 1)) / frameCount;
        const int64_t bitrate = static_cast<int64_t>(static_cast<double>(totalBytes) * 400.0 / (i + 1));
        std::cout << percent << " % [ avg bitrate " << bitrate << " ]" << '\r';
    }
    container.finish();
    std::cout << std::endl << "done." << std::endl;

    const bool written = output.close();
    if (!written)
        destination.abandon();
    const bool placed = written && destination.commit();

    if (extent.cutShort)
        reportProblem(inputName.c_str(), "the data chunk claims more bytes than the file holds; encoded the whole blocks present");
    if (extent.unfinished > 0)
        reportProblem(inputName.c_str(), ("the WAV file looks unfinished: its data chunk says 0 bytes but " +
                                          std::to_string(extent.unfinished) + " bytes follow it; encoded nothing")
                                             .c_str());
    if (damaged)
        reportProblem(inputName.c_str(), "the input ended before its data chunk did; encoded what was there");
    if (!written)
        reportWriteProblem(outputName);
    else if (!placed)
        reportPlacementProblem(outputName, destination.problem());
    if (!placed)
        return JobOutcome::failed;
    return (damaged || extent.cutShort || extent.unfinished > 0) ? JobOutcome::failed : JobOutcome::converted;
}
