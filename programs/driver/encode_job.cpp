#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>

#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "driver/conversion_jobs.h"
#include "driver/file_names.h"
#include "driver/refusal.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "formats/container_format.h"
#include "formats/wave_reader.h"
#include "transform/frame_sizes.h"

namespace {

// Number of whole blocks the data chunk really holds: the smaller of what
// its size field claims and what the file contains after its start, so that
// a recording cut short still gives a header whose frame count matches the
// packets written.
int32_t countWholeBlocks(WaveReader0& wave, bool& cutShort)
{
    const uint64_t claimed = wave.dataChunk.size;
    const int64_t fileLength = wave.input.size();
    const int64_t present = fileLength - wave.dataChunk.dataStart;
    const uint64_t available = present > 0 ? std::min<uint64_t>(claimed, static_cast<uint64_t>(present)) : 0;
    cutShort = available < claimed;
    const uint64_t blocks = available / wave.format.blockAlign / blockLength;
    return static_cast<int32_t>(std::min<uint64_t>(blocks, INT32_MAX));
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

    std::cout << "encoding : '" << inputName << "' to : '" << outputName << "'" << std::endl;

    bool cutShort = false;
    const int32_t frameCount = countWholeBlocks(wave, cutShort);
    bool damaged = false;

    std::ofstream output(outputName, std::ios::binary | std::ios::trunc);
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
    if (cutShort)
        reportProblem(inputName.c_str(), "the data chunk claims more bytes than the file holds; encoded the whole blocks present");
    if (damaged)
        reportProblem(inputName.c_str(), "the input ended before its data chunk did; encoded what was there");
    if (!output) {
        reportProblem(outputName.c_str(), "could not create or fully write this file");
        return JobOutcome::failed;
    }
    return (damaged || cutShort) ? JobOutcome::failed : JobOutcome::converted;
}
