// The encode job: NAME.wav (16-bit PCM stereo 44100 Hz) into a .q58 container.

#include <algorithm>
#include <optional>
#include <thread>

#include "driver/console_texts.h"
#include "driver/conversion_loop.h"
#include "driver/input_checks.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "base/frame_sizes.h"
#include "formats/container_writer.h"
#include "formats/wave_reader.h"
#include "streams/byte_sink.h"

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

// Files of at least this many frames (one second) are coded on two threads
// when the machine has two. Starting and joining the worker takes about
// 10 us and each frame's hand-over a few more, against about 100 us of work
// per frame, so the pipeline pays for itself after a few frames; below a
// second the most it could save is a couple of milliseconds, and a batch of
// such short files stays on one thread.
constexpr int32_t twoThreadFrames = 50;

class Encoding final : public Conversion {
public:
    Encoding(std::string inputName, std::string outputName, int threads)
        : Conversion(std::move(inputName), std::move(outputName)), requestedThreads(threads)
    {
    }

private:
    const int requestedThreads;  // 0: decided by the machine and the file's length
    std::optional<WaveReader0> wave;
    int32_t frames = 0;
    std::optional<FileByteSink> output;
    std::optional<ContainerWriter> container;  // writes through output
    // Blocks are read and queued up to readAhead frames past the one being
    // written, so that on two threads they are analyzed meanwhile.
    int readAhead = 0;
    int32_t blocksQueued = 0;
    bool inputEnded = false;  // a block could not be read in full
    uint8_t sampleBytes[blockBytes];
    int16_t samples[blockSamples];

    int threadsFor(int32_t frameCount) const
    {
        if (requestedThreads != 0)
            return requestedThreads;
        return std::thread::hardware_concurrency() >= 2 && frameCount >= twoThreadFrames ? 2 : 1;
    }

    JobOutcome refuse() override { return refuseWave(inputName); }

    std::optional<JobOutcome> openInput() override
    {
        wave.emplace(inputName.c_str());
        if (wave->error || !sameFormat(wave->format, referenceFormat))
            return refuse();
        // The length is taken before anything is printed: what the input
        // holds from here on decides the frame count.
        const DataExtent extent = measureData(*wave);
        frames = extent.frameCount;
        if (extent.cutShort)
            noteDamage(waveDataCutShort);
        if (extent.unfinished > 0)
            noteDamage(waveUnfinished(extent.unfinished));
        return std::nullopt;
    }

    int32_t frameCount() const override { return frames; }

    void openOutput(const std::string& temporaryName) override
    {
        output.emplace(temporaryName.c_str());
        container.emplace(*output, codecParameters, encoderTuning, frames, threadsFor(frames));
        readAhead = container->encoderThreads() == 2 ? container->queueCapacity() - 1 : 0;
    }

    bool convertFrame(int32_t index) override
    {
        // The blocks are read in order, whatever the read-ahead, and a short
        // read ends the job at the frame of that block.
        while (!inputEnded && blocksQueued < frames && blocksQueued <= index + readAhead) {
            if (wave->input.read(sampleBytes, blockBytes) != blockBytes) {
                inputEnded = true;
                break;
            }
            samplesFromBytes(sampleBytes, samples, blockSamples);
            container->queueBlock(samples);
            ++blocksQueued;
        }
        // The file shrank after its length was taken, or (never with a
        // parameter block that passes the limits) a frame overflowed its
        // packet: keep what was coded; finish() makes the header say so.
        if (index >= blocksQueued || container->writeQueuedBlock() == 0) {
            noteDamage(waveEndedEarly);
            return false;
        }
        return true;
    }

    bool finish() override
    {
        container->finish();
        return output->close();
    }

    std::string startLine() const override { return encodingLine(inputName, outputName); }

    std::string progressLine(int32_t converted) const override
    {
        const int64_t totalBytes = container->packetBytesWritten();
        const int64_t percent = (100 * static_cast<int64_t>(converted)) / frames;
        const int64_t bitrate = static_cast<int64_t>(static_cast<double>(totalBytes) * 400.0 / converted);
        return encodingProgress(percent, bitrate);
    }

    const char* doneLine() const override { return encodingDone; }
};

}  // namespace

JobOutcome encodeFile(std::string inputName, std::string outputName)
{
    return encodeFileWithThreads(std::move(inputName), std::move(outputName), 0);
}

JobOutcome encodeFileWithThreads(std::string inputName, std::string outputName, int threads)
{
    return Encoding(std::move(inputName), std::move(outputName), threads).run();
}
