// The decode job: a .q58 container into a WAV file.

#include <optional>

#include "driver/console_texts.h"
#include "driver/conversion_loop.h"
#include "driver/input_checks.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "base/frame_sizes.h"
#include "formats/container_reader.h"
#include "formats/wave_writer.h"
#include "streams/byte_source.h"

namespace {

// The diagnostic for a frame the container reader could not decode.
const char* damageOf(BlockRead result)
{
    switch (result) {
        case BlockRead::nonZeroPadding: return framePaddingDamaged;
        case BlockRead::pastEnd: return frameRunsPastEnd;
        case BlockRead::readFailed: return containerReadFailed;
        default: return containerEndsEarly;
    }
}

class Decoding final : public Conversion {
public:
    Decoding(std::string inputName, std::string outputName, uint64_t maxDataBytes)
        : Conversion(std::move(inputName), std::move(outputName)), maxDataBytes(maxDataBytes)
    {
    }

private:
    const uint64_t maxDataBytes;
    std::optional<FileByteSource> input;
    std::optional<ContainerReader> container;  // reads from input
    std::optional<WaveWriter0> wave;
    bool outputFailed = false;
    uint64_t dataBytes = 0;
    int16_t samples[blockSamples];
    uint8_t sampleBytes[blockBytes];

    JobOutcome refuse() override { return refuseContainer(inputName); }

    std::optional<JobOutcome> openInput() override
    {
        input.emplace(inputName.c_str());
        container.emplace(*input, encoderTuning);
        const HeaderCheck check = container->readHeader();
        if (check == HeaderCheck::notContainer || check == HeaderCheck::readFailed)
            return refuse();
        // The whole header is checked before any output exists: a damaged or
        // hostile parameter block must never reach the decoder.
        if (check == HeaderCheck::incomplete) {
            reportProblem(inputName, containerHeaderIncomplete);
            return JobOutcome::failed;
        }
        if (check == HeaderCheck::undecodable) {
            reportProblem(inputName, containerHeaderUndecodable);
            return JobOutcome::failed;
        }
        return std::nullopt;
    }

    int32_t frameCount() const override { return container->header().frameCount; }

    void openOutput(const std::string& temporaryName) override
    {
        wave.emplace(temporaryName.c_str(), referenceFormat);
        outputFailed = wave->error;
    }

    bool convertFrame(int32_t) override
    {
        const BlockRead result = container->readBlock(samples);
        if (result != BlockRead::block) {
            noteDamage(damageOf(result));
            return false;
        }
        if (dataBytes + blockBytes > maxDataBytes) {
            noteDamage(waveSizeLimitReached);
            return false;
        }
        samplesToBytes(samples, sampleBytes, blockSamples);
        // A failed write does not stop the job: the decoder reads on, and
        // the output is dropped at the end.
        if (wave->output.write(sampleBytes, blockBytes) != blockBytes)
            outputFailed = true;
        dataBytes += blockBytes;
        return true;
    }

    bool finish() override
    {
        // A file ends right after its last packet: more bytes mean damage
        // (for instance a frame count that shrank), not something to drop
        // silently.
        if (!damaged() && container->bytesAfterLastFrame())
            noteDamage(bytesAfterLastFrame);
        const bool closed = wave->close();
        return closed && !outputFailed;
    }

    std::string startLine() const override { return decodingLine(inputName, outputName); }

    std::string progressLine(int32_t converted) const override
    {
        return decodingProgress((100 * static_cast<int64_t>(converted)) / frameCount());
    }

    const char* doneLine() const override { return decodingDone; }
};

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
    return Decoding(std::move(inputName), std::move(outputName), maxDataBytes).run();
}
