#include "driver/decode_worker.h"

#include <algorithm>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "base/frame_sizes.h"
#include "streams/byte_sink.h"
#include "streams/byte_source.h"

namespace {

// Blocks gathered before one write: about the size the main thread's writer
// hands to the file at a time.
constexpr int blocksPerWrite = 64;
// Frames the main thread waits for at a time once it has caught up with the
// worker: waking it for every frame cost more than the frame on some systems.
constexpr int64_t catchUpFrames = 64;

}  // namespace

SecondHalfDecoder::SecondHalfDecoder(const std::string& inputName, const std::string& outputFile,
                                     uint64_t dataStart, int64_t first, int64_t frameCount, uint64_t maxDataBytes)
    : inputName(inputName),
      outputFile(outputFile),
      dataStart(dataStart),
      firstFrame(first),
      frameCount(frameCount),
      maxDataBytes(maxDataBytes),
      decodedThrough(first)
{
#ifndef _WIN32
    // The signals that remove the temporary file go to the main thread: the
    // worker starts with them blocked (a new thread inherits the mask).
    sigset_t interrupting, previous;
    sigemptyset(&interrupting);
    sigaddset(&interrupting, SIGINT);
    sigaddset(&interrupting, SIGTERM);
    sigaddset(&interrupting, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &interrupting, &previous);
    worker = std::thread([this] { run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#else
    worker = std::thread([this] { run(); });
#endif
}

SecondHalfDecoder::~SecondHalfDecoder() { stop(); }

void SecondHalfDecoder::stop()
{
    stopRequested.store(true, std::memory_order_relaxed);
    if (worker.joinable())
        worker.join();
}

SecondHalfDecoder::Frame SecondHalfDecoder::waitFor(int64_t index)
{
    std::unique_lock<std::mutex> held(lock);
    if (decodedThrough <= index && !ended) {
        wanted = std::min(index + catchUpFrames, frameCount);
        changed.wait(held, [&] { return decodedThrough >= wanted || ended; });
        wanted = 0;
    }
    if (decodedThrough > index)
        return Frame{Step::decoded, BlockRead::block};
    if (failure)
        std::rethrow_exception(failure);
    return endStep;
}

void SecondHalfDecoder::publish(int64_t through)
{
    bool wake;
    {
        std::lock_guard<std::mutex> held(lock);
        decodedThrough = through;
        wake = wanted != 0 && through >= wanted;
    }
    if (wake)
        changed.notify_one();
}

void SecondHalfDecoder::end(int64_t frame, Step step, BlockRead damage)
{
    {
        std::lock_guard<std::mutex> held(lock);
        ended = true;
        endFrame = frame;
        endStep = Frame{step, damage};
    }
    changed.notify_one();
}

void SecondHalfDecoder::run()
{
    try {
        decodeFrames();
    } catch (...) {
        {
            std::lock_guard<std::mutex> held(lock);
            failure = std::current_exception();
            ended = true;
            endFrame = decodedThrough;
        }
        changed.notify_one();
    }
}

void SecondHalfDecoder::decodeFrames()
{
    FileByteSource source(inputName.c_str());
    ContainerReader container(source, encoderTuning);
    // Any trouble on the way to the first frame leaves all of it to the
    // main thread, which meets that trouble (if it is damage) as one
    // thread does.
    if (!source.opened() || container.readHeader() != HeaderCheck::usable ||
        container.seek(firstFrame) != BlockRead::block) {
        end(firstFrame, Step::handedBack);
        return;
    }
    FileByteSink output(outputFile.c_str(), FileByteSink::Opening::update);
    if (!output.opened()) {
        end(firstFrame, Step::handedBack);
        return;
    }

    std::vector<uint8_t> pending(static_cast<size_t>(blocksPerWrite) * blockBytes);
    int pendingBlocks = 0;
    int64_t pendingFirst = firstFrame;
    const auto writePending = [&] {
        const size_t bytes = static_cast<size_t>(pendingBlocks) * blockBytes;
        const uint64_t at = dataStart + static_cast<uint64_t>(pendingFirst) * blockBytes;
        if (bytes > 0 && output.writeAt(at, pending.data(), bytes) != bytes)
            writesComplete = false;
        pendingFirst += pendingBlocks;
        pendingBlocks = 0;
    };

    int16_t samples[blockSamples];
    int64_t frame = firstFrame;
    for (; frame < frameCount && !stopRequested.load(std::memory_order_relaxed); ++frame) {
        const BlockRead result = container.readBlock(samples);
        if (result != BlockRead::block) {
            end(frame, Step::damaged, result);
            break;
        }
        if (static_cast<uint64_t>(frame + 1) * blockBytes > maxDataBytes) {
            end(frame, Step::sizeLimit);
            break;
        }
        samplesToBytes(samples, pending.data() + static_cast<size_t>(pendingBlocks) * blockBytes, blockSamples);
        if (++pendingBlocks == blocksPerWrite)
            writePending();
        publish(frame + 1);
    }
    if (frame == frameCount)
        trailingBytes = container.bytesAfterLastFrame();
    // Always: the blocks published are in the file once the thread ends.
    writePending();
    if (!output.close())
        writesComplete = false;
}
