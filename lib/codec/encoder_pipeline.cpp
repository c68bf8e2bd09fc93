#include "codec/encoder_pipeline.h"

#include <algorithm>
#include <system_error>

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

EncoderPipeline::EncoderPipeline(Elb1764& codec, int threads) : codec(codec), slots(new Slot[ringSize])
{
    if (threads != 2) return;
#ifndef _WIN32
    // The worker starts with every signal blocked, so that the handlers of
    // the program (which may hold signals back on its own thread while it
    // changes what they act on) always run on the calling thread.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    const bool blocked = pthread_sigmask(SIG_SETMASK, &all, &previous) == 0;
#endif
    try {
        worker = std::thread(&EncoderPipeline::runWorker, this);
    } catch (const std::system_error&) {
        // No thread to be had: everything runs on this one.
    }
#ifndef _WIN32
    if (blocked) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
}

EncoderPipeline::~EncoderPipeline()
{
    if (!worker.joinable()) return;
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
    }
    workArrived.notify_one();
    worker.join();
}

bool EncoderPipeline::push(const int16_t* block)
{
    if (queued() == ringSize) return false;
    Slot& slot = slots[pushed % ringSize];
    if (!worker.joinable()) {
        slot.taken = codec.encodeAhead(block, slot.record);
        ++pushed;
        return true;
    }
    // The slot is free: the worker finished with it before its frame was
    // popped, and it takes the next one only after this count moves.
    std::copy(block, block + blockSamples, slot.block);
    bool wake;
    {
        std::lock_guard<std::mutex> held(lock);
        ++pushed;
        wake = workerIdle && pushed - analyzed >= wakeBatch;
    }
    if (wake) workArrived.notify_one();
    return true;
}

bool EncoderPipeline::pop(da_BinWriter& out)
{
    if (popped == pushed) return false;
    Slot& slot = slots[popped % ringSize];
    if (worker.joinable()) {
        std::unique_lock<std::mutex> held(lock);
        if (analyzed <= popped) {
            // Wait for a batch (or what is queued), not for one block, so
            // that a worker behind does not wake this thread every frame.
            callerTarget = popped + std::min<uint64_t>(wakeBatch, pushed - popped);
            if (workerIdle) workArrived.notify_one();
            workAnalyzed.wait(held, [this] { return analyzed >= callerTarget; });
            callerTarget = 0;
        }
    }
    // A block the codec refused (a block pushed to it directly was still
    // waiting) gives an empty packet.
    if (slot.taken) codec.encodeBehind(slot.record, out);
    // The worker never reads this count: the slot stays free until push
    // hands it over again under the lock.
    ++popped;
    return true;
}

void EncoderPipeline::runWorker()
{
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        // Once it has caught up, the worker sleeps until a batch of blocks
        // waits, or fewer when the caller waits for them (the last blocks
        // of the input); awake, it works until it has caught up again.
        if (analyzed == pushed) {
            workerIdle = true;
            workArrived.wait(held, [this] {
                return stopping || pushed - analyzed >= wakeBatch || (callerTarget != 0 && analyzed < pushed);
            });
            workerIdle = false;
        }
        if (stopping) return;
        Slot& slot = slots[analyzed % ringSize];
        held.unlock();
        slot.taken = codec.encodeAhead(slot.block, slot.record);
        held.lock();
        ++analyzed;
        if (callerTarget != 0 && analyzed >= callerTarget) workAnalyzed.notify_one();
    }
}
