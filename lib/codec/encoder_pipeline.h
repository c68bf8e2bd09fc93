// EncoderPipeline: encodes blocks through an Elb1764 with the two halves of
// each frame (Elb1764::encodeAhead, encodeBehind) on one thread or on two.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/frame_sizes.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"

// A queue of up to ringSize blocks between push and pop. With two threads a
// worker runs encodeAhead for each block pushed, in order, while the caller
// runs encodeBehind for the blocks before it in pop; with one thread push
// runs encodeAhead itself. The two threads hand work over in batches of
// wakeBatch blocks: waking a sleeping thread costs more than a frame's
// worth of work on some systems, and handing over one block at a time woke
// one of them for nearly every frame. Either way pop gives, block for block, the packet
// that pushSamples and analyzeAndEncode give. push and pop are for one
// calling thread; the codec must not be used otherwise while the pipeline
// lives.
class EncoderPipeline {
public:
    static constexpr int ringSize = 64;
    static constexpr int wakeBatch = 16;

    // threads: 2 starts the worker (one thread when the system cannot start
    // it); any other value runs everything on the caller's thread.
    EncoderPipeline(Elb1764& codec, int threads);
    ~EncoderPipeline();
    EncoderPipeline(const EncoderPipeline&) = delete;
    EncoderPipeline& operator=(const EncoderPipeline&) = delete;

    int threads() const { return worker.joinable() ? 2 : 1; }
    int queued() const { return static_cast<int>(pushed - popped); }

    // Queues one block (blockSamples values); false when ringSize blocks
    // are queued.
    bool push(const int16_t* block);
    // Writes the frame of the oldest queued block to out and removes it from
    // the queue; false when none is queued.
    bool pop(da_BinWriter& out);

private:
    struct Slot {
        int16_t block[blockSamples];
        EncoderFrameRecord record;
        bool taken = false;  // whether the codec took the block (set with the record)
    };

    void runWorker();

    Elb1764& codec;
    std::unique_ptr<Slot[]> slots;
    // Counts of blocks. pushed and popped change only on the caller's
    // thread, analyzed only on the worker's; with a worker, pushed, analyzed
    // and stopping change under the lock (popped is the caller's alone).
    uint64_t pushed = 0;
    uint64_t analyzed = 0;
    uint64_t popped = 0;
    bool stopping = false;
    // Under the lock: the worker sleeps on workArrived; the caller sleeps on
    // workAnalyzed until analyzed reaches callerTarget (0: not waiting).
    bool workerIdle = false;
    uint64_t callerTarget = 0;
    std::mutex lock;
    std::condition_variable workArrived;   // pushed or stopping changed
    std::condition_variable workAnalyzed;  // analyzed changed
    std::thread worker;
};
