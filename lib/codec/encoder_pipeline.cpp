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
    {
        std::lock_guard<std::mutex> held(lock);
        ++pushed;
    }
    workArrived.notify_one();
    return true;
}

bool EncoderPipeline::pop(da_BinWriter& out)
{
    if (popped == pushed) return false;
    Slot& slot = slots[popped % ringSize];
    if (worker.joinable()) {
        std::unique_lock<std::mutex> held(lock);
        workAnalyzed.wait(held, [this] { return analyzed > popped; });
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
        workArrived.wait(held, [this] { return stopping || analyzed < pushed; });
        if (stopping) return;
        Slot& slot = slots[analyzed % ringSize];
        held.unlock();
        slot.taken = codec.encodeAhead(slot.block, slot.record);
        held.lock();
        ++analyzed;
        workAnalyzed.notify_one();
    }
}
