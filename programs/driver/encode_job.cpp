#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>

#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "driver/conversion_jobs.h"
#include "driver/file_names.h"
#include "driver/job_output.h"
#include "driver/refusal.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "formats/container_format.h"
#include "formats/wave_reader.h"
#include "transform/frame_sizes.h"

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

void writeFrameCount(std::ofstream& output, int32_t frameCount)
{
    uint8_t header[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{codecParameters, frameCount}, header);
    output.seekp(containerHeaderSize - 4);
    output.write(reinterpret_cast<const char*>(header + containerHeaderSize - 4), 4);
    output.seekp(0, std::ios::end);
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

    std::ofstream output(destination.temporaryName(), std::ios::binary | std::ios::trunc);
    uint8_t header[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{codecParameters, frameCount}, header);
    output.write(reinterpret_cast<const char*>(header), containerHeaderSize);

    Elb1764 codec(codecParameters, encoderTuning);
    uint8_t sampleBytes[blockBytes];
    int16_t samples[blockSamples];
    uint8_t packet[packetBufferSize];
    int64_t totalBytes = 0;
    int32_t framesWritten = 0;

    for (int32_t i = 0; i < frameCount; ++i) {
        if (wave.input.read(sampleBytes, blockBytes) != blockBytes) {
            // The file shrank after its length was taken: keep what was
            // coded and make the header say so.
            damaged = true;
            writeFrameCount(output, framesWritten);
            break;
        }
        samplesFromBytes(sampleBytes, samples, blockSamples);
        codec.pushSamples(samples);

        da_BinWriter writer(packet, packetBufferSize);
        codec.analyzeAndEncode(writer);
        writer.writeBits(0, (8 - writer.bitPosition % 8) % 8);
        if (writer.overflowed()) {
            // Cannot happen with a parameter block that passes the limits;
            // never store a clipped packet.
            damaged = true;
            writeFrameCount(output, framesWritten);
            break;
        }
        const int packetBytes = writer.bitPosition / 8;
        output.write(reinterpret_cast<const char*>(packet), packetBytes);
        totalBytes += packetBytes;
        ++framesWritten;

        const int64_t percent = (100 * static_cast<int64_t>(i + 1)) / frameCount;
        const int64_t bitrate = static_cast<int64_t>(static_cast<double>(totalBytes) * 400.0 / (i + 1));
        std::cout << percent << " % [ avg bitrate " << bitrate << " ]" << '\r';
    }
    std::cout << std::endl << "done." << std::endl;

    output.close();
    const bool written = !output.fail();
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
