// SecondHalfDecoder: the frames from a split point to the end of a .q58
// file, decoded on a thread of its own while the decode job decodes the
// frames before it, written straight to their place in the WAV file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "formats/container_reader.h"

class SecondHalfDecoder {
public:
    // What decoding one frame came to, as the one-thread job would see it.
    enum class Step {
        decoded,    // the block is in the file (or was handed to it)
        damaged,    // the container reader stopped here with damage
        sizeLimit,  // the block would take the data past maxDataBytes
        handedBack, // the worker could not start at first: decode from here on yourself
    };
    struct Frame {
        Step step;
        BlockRead damage;  // for damaged
    };

    // Starts the thread: it opens inputName on a reader of its own, seeks to
    // frame first, decodes first..frameCount-1 and writes block i at
    // dataStart + i * blockBytes of outputFile (which exists: it is opened
    // for update, not created). maxDataBytes is the job's limit on the
    // sample bytes.
    SecondHalfDecoder(const std::string& inputName, const std::string& outputFile, uint64_t dataStart,
                      int64_t first, int64_t frameCount, uint64_t maxDataBytes);
    // Stops the thread and waits for it.
    ~SecondHalfDecoder();

    SecondHalfDecoder(const SecondHalfDecoder&) = delete;
    SecondHalfDecoder& operator=(const SecondHalfDecoder&) = delete;

    int64_t first() const { return firstFrame; }

    // Waits until the worker has dealt with frame index (first or later,
    // asked in order, none after one that was not decoded) and says how.
    // Rethrows what the worker threw there (out of memory).
    Frame waitFor(int64_t index);

    // Stops the worker at its next frame and waits for it to end; its
    // file is closed by then. Later calls do nothing.
    void stop();

    // Once stopped: true when every block the worker handed to the file
    // reached it.
    bool allWritten() const { return writesComplete; }
    // Once stopped, after the worker decoded up to the last frame: whether
    // the data goes on past the last packet.
    bool bytesAfterLastFrame() const { return trailingBytes; }

private:
    void run();
    void decodeFrames();
    void publish(int64_t decodedThrough);
    void end(int64_t frame, Step step, BlockRead damage = BlockRead::block);

    const std::string inputName;
    const std::string outputFile;
    const uint64_t dataStart;
    const int64_t firstFrame;
    const int64_t frameCount;
    const uint64_t maxDataBytes;

    std::atomic<bool> stopRequested{false};
    std::mutex lock;
    std::condition_variable changed;
    // Guarded by lock: the frames before decodedThrough are decoded; once
    // ended, frame endFrame got endStep (or the thread threw failure).
    int64_t decodedThrough;
    int64_t wanted = 0;  // what waitFor waits for decodedThrough to reach (0: nobody waits)
    bool ended = false;
    int64_t endFrame = -1;
    Frame endStep{Step::decoded, BlockRead::block};
    std::exception_ptr failure;

    // Written by the thread, read after join.
    bool writesComplete = true;
    bool trailingBytes = false;

    std::thread worker;  // last: started once everything above exists
};
