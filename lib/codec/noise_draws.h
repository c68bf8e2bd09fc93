// NoiseDraws: the decoder's noise draws a frame at a time, with the
// generator's serial recurrence run as two independent chains where the
// checkpoint table allows.
#pragma once

// Each draw is one multiply and one add on the state before it, so a frame's
// draws take that chain's latency however idle the rest of the core is. The
// state after any checkpoint's draw count is in noiseCheckpointStates, so a
// second chain can start from the next checkpoint ahead and run in the same
// loop as the frame's own: two independent chains take the time of one. Its
// draws wait in a buffer, with the state at every frame end the buffer
// holds. When the frame's own chain reaches the checkpoint with exactly the
// tabled counter and state, the following frames copy their draws from the
// buffer and take its state at their end, without a step.
//
// A frame whose generator state matches no buffered frame start (a state
// set by a caller off the table's path, a seek, a different draw count)
// simply runs its own chain: every frame gets the draws the recurrence gives
// from its own state, and the generator moves exactly as far.

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/noise_generator.h"

class NoiseDraws {
public:
    // Chunk of draws handed to the caller at a time while a chain runs.
    static constexpr int chunkDraws = 64;
    // Draws the second chain buffers at most: half a checkpoint step, which
    // already makes every other stretch of that length free (a second chain
    // starts as soon as the next checkpoint is this close).
    static constexpr int aheadCapacity = 1 << 16;

    // Disabled: every take() runs the frame's own chain.
    NoiseDraws() = default;
    // For frames of frameDraws draws each; frames shorter than a chunk run
    // their own chain only (their draws cost next to nothing).
    explicit NoiseDraws(int frameDraws);

    // Writes the frameDraws draws that follow generator (each the bits
    // noiseValue reads from its step's result) into draws, moves generator
    // past them, and calls use(start, count) for every stretch as soon as it
    // is written, so that the caller's work on one stretch overlaps the steps
    // of the next.
    template <class Use>
    void take(NoiseGeneratorState& generator, int32_t* draws, Use use);

    // How many frames took their draws from the buffer so far (for tests).
    int64_t framesFromBuffer() const { return buffered; }

private:
    struct Mark {
        int position;  // draws of the buffer before it
        NoiseGeneratorState state;  // the generator there
    };

    // The frame's draws from the buffer when generator is the state at the
    // buffer's next frame start.
    bool fromBuffer(NoiseGeneratorState& generator, int32_t* draws);
    // Starts the second chain when the next checkpoint is near enough.
    void startAhead(const NoiseGeneratorState& generator);
    // The frame's own chain has reached the checkpoint after produced draws
    // of this frame, in state reached: the rest of the frame from the buffer
    // when that state is the tabled one.
    bool finishFromBuffer(const NoiseGeneratorState& reached, int produced, int32_t* draws,
                          NoiseGeneratorState& generator);
    void drop();

    static uint64_t signedCounter(uint32_t counter) {
        return static_cast<uint64_t>(static_cast<int64_t>(wrapToInt32(counter)));
    }

    int frameDraws = 0;
    bool twoChains = false;
    // The second chain's draws: left uninitialised, so that a decoder whose
    // file never comes near a checkpoint touches none of its pages.
    std::unique_ptr<int32_t[]> ahead;
    std::vector<Mark> marks;     // the second chain's state at every frame end it reached
    // Filling: the second chain runs from checkpoint aheadFrom (a draw
    // count) and has made filled draws; the frame's own chain started
    // aheadFrom - ownStart draws before it, at a frame start.
    bool filling = false;
    int64_t aheadFrom = 0;
    int64_t ownStart = 0;
    int filled = 0;
    int nextMark = 0;  // buffer position of the next frame end
    uint64_t aheadState = 0;
    uint32_t aheadCounter = 0;
    uint64_t aheadSum = 0;
    // Serving: frames come from the buffer, the next one from marks[served].
    bool serving = false;
    std::size_t served = 0;
    int64_t buffered = 0;
};

template <class Use>
void NoiseDraws::take(NoiseGeneratorState& generator, int32_t* draws, Use use) {
    const int n = frameDraws;
    if (n == 0) return;
    if (fromBuffer(generator, draws)) {
        use(0, n);
        return;
    }
    startAhead(generator);
    // The chain of each step: x = state (state + 1) + counter modulo 2^64,
    // computed as state^2 + sum with sum = state + counter carried from the
    // step before, so that the next state waits for one multiply and one
    // addition and the sum for the step after is formed beside it.
    uint64_t state = static_cast<uint64_t>(generator.state);
    uint32_t counter = static_cast<uint32_t>(generator.counter);
    uint64_t sum = state + signedCounter(counter);
    int done = 0;
    while (done < n) {
        int count = n - done < chunkDraws ? n - done : chunkDraws;
        if (!filling) {
            for (int k = 0; k < count; ++k) {
                state = state * state + sum;
                counter += 1u;
                sum = state + signedCounter(counter);
                draws[done + k] = wrapToInt32(static_cast<uint32_t>(state >> 16));
            }
        } else {
            // Both chains a step at a time, the chunk cut at the checkpoint
            // and at the second chain's next frame end.
            const int64_t toCheckpoint = aheadFrom - (ownStart + filled);
            if (toCheckpoint < count) count = static_cast<int>(toCheckpoint);
            int k = 0;
            while (k < count) {
                int segment = count - k;
                if (nextMark - filled < segment) segment = nextMark - filled;
                uint64_t state2 = aheadState;
                uint32_t counter2 = aheadCounter;
                uint64_t sum2 = aheadSum;
                int32_t* out2 = ahead.get() + filled;
                for (int i = 0; i < segment; ++i) {
                    state = state * state + sum;
                    state2 = state2 * state2 + sum2;
                    counter += 1u;
                    counter2 += 1u;
                    sum = state + signedCounter(counter);
                    sum2 = state2 + signedCounter(counter2);
                    draws[done + k + i] = wrapToInt32(static_cast<uint32_t>(state >> 16));
                    out2[i] = wrapToInt32(static_cast<uint32_t>(state2 >> 16));
                }
                aheadState = state2;
                aheadCounter = counter2;
                aheadSum = sum2;
                filled += segment;
                k += segment;
                if (filled == nextMark) {
                    marks.push_back(Mark{filled, NoiseGeneratorState{wrapToInt32(counter2), wrapToInt64(state2)}});
                    nextMark += n;
                }
            }
        }
        use(done, count);
        done += count;
        if (filling && ownStart + filled == aheadFrom) {
            const NoiseGeneratorState reached{wrapToInt32(counter), wrapToInt64(state)};
            if (finishFromBuffer(reached, done, draws, generator)) {
                if (done < n) use(done, n - done);
                return;
            }
        }
    }
    generator = NoiseGeneratorState{wrapToInt32(counter), wrapToInt64(state)};
}
