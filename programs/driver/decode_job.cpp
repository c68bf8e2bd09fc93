// The decode job: a .q58 container into a WAV file.

#include <memory>
#include <optional>
#include <thread>

#include "driver/console_texts.h"
#include "driver/conversion_loop.h"
#include "driver/decode_worker.h"
#include "driver/input_checks.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "base/frame_sizes.h"
#include "formats/container_reader.h"
#include "formats/wave_writer.h"
#include "streams/byte_sink.h"
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
    Decoding(std::string inputName, std::string outputName, uint64_t maxDataBytes, int threads)
        : Conversion(std::move(inputName), std::move(outputName)), maxDataBytes(maxDataBytes), threads(threads)
    {
    }

private:
    const uint64_t maxDataBytes;
    const int threads;
    std::string temporaryName;
    std::optional<FileByteSource> input;
    std::optional<ContainerReader> container;  // reads from input
    std::optional<WaveWriter0> wave;
    bool outputFailed = false;
    uint64_t dataBytes = 0;
    int16_t samples[blockSamples];
    uint8_t sampleBytes[blockBytes];
    // Decodes the frames from its first() on while this thread decodes the
    // ones before; reset when it hands its frames back. Declared last, so
    // that its thread has stopped before the writer closes.
    std::unique_ptr<SecondHalfDecoder> secondHalf;

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

    void openOutput(const std::string& temporary) override
    {
        temporaryName = temporary;
        wave.emplace(temporaryName.c_str(), referenceFormat);
        outputFailed = wave->error;
        const int32_t frames = frameCount();
        const int32_t split = decodeSplitFrame(frames);
        if (threads >= 2 && split < frames && !outputFailed)
            secondHalf = std::make_unique<SecondHalfDecoder>(inputName, temporaryName, dataStart(), split, frames,
                                                             maxDataBytes);
    }

    uint64_t dataStart() const { return static_cast<uint64_t>(wave->dataChunk.dataStart); }

    bool convertFrame(int32_t index) override
    {
        if (secondHalf && index >= secondHalf->first()) {
            const SecondHalfDecoder::Frame frame = secondHalf->waitFor(index);
            switch (frame.step) {
                case SecondHalfDecoder::Step::decoded:
                    dataBytes += blockBytes;
                    return true;
                case SecondHalfDecoder::Step::damaged:
                    noteDamage(damageOf(frame.damage));
                    return false;
                case SecondHalfDecoder::Step::sizeLimit:
                    noteDamage(waveSizeLimitReached);
                    return false;
                case SecondHalfDecoder::Step::handedBack:
                    secondHalf.reset();
                    break;
            }
        }
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
        bool trailing = false;
        if (secondHalf) {
            secondHalf->stop();
            const uint64_t end = dataStart() + dataBytes;
            if (dataBytes / blockBytes < static_cast<uint64_t>(secondHalf->first())) {
                // Stopped before the second half: what the worker wrote lies
                // past the end of the data and goes, whether or not it
                // reached the file.
                FileByteSink file(temporaryName.c_str(), FileByteSink::Opening::update);
                if (!file.truncate(end) || !file.close())
                    outputFailed = true;
            } else {
                // The header's sizes follow the writer's cursor.
                wave->output.setPosition(static_cast<int64_t>(end));
                if (!secondHalf->allWritten())
                    outputFailed = true;
                trailing = secondHalf->bytesAfterLastFrame();
            }
        } else {
            trailing = container->bytesAfterLastFrame();
        }
        // A file ends right after its last packet: more bytes mean damage
        // (for instance a frame count that shrank), not something to drop
        // silently.
        if (!damaged() && trailing)
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

// A second thread pays off from about this many frames (20 s) on (see
// docs/performance.md): on an idle machine it already decodes 20 s 1.67x
// faster and 10 s 1.5x, but 2 s slower, and on a busy machine it only adds
// its own open, header and walk (about 5 % more CPU), so short files stay on
// one thread.
constexpr int32_t framesForTwoThreads = 1000;

int32_t decodeSplitFrame(int32_t frames)
{
    if (frames < framesForTwoThreads)
        return frames;
    // Before its first frame the worker walks the packets without
    // synthesis, which takes a small fraction of decoding them; the split
    // gives the two threads equal work:
    // split * decode = split * walk + (frames - split) * decode.
    constexpr double walkPerDecode = 0.04;  // measured: walking a packet / decoding it
    return static_cast<int32_t>(frames / (2.0 - walkPerDecode));
}

int decodeThreads()
{
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

JobOutcome decodeFile(std::string inputName, std::string outputName)
{
    return decodeFileWithThreads(std::move(inputName), std::move(outputName), maxWaveDataBytes(), decodeThreads());
}

JobOutcome decodeFileWithLimit(std::string inputName, std::string outputName, uint64_t maxDataBytes)
{
    return decodeFileWithThreads(std::move(inputName), std::move(outputName), maxDataBytes, decodeThreads());
}

JobOutcome decodeFileWithThreads(std::string inputName, std::string outputName, uint64_t maxDataBytes, int threads)
{
    return Decoding(std::move(inputName), std::move(outputName), maxDataBytes, threads).run();
}
