// PacketIndex: where a container's packets start, every 16 frames, and the
// noise generator's state there once known, so that a decoder can seek.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/noise_generator.h"

// Where a container's packets start, kept for every checkpointInterval-th
// frame up to the furthest frame reached so far (the frontier), and what the
// decoder's noise generator holds there where that is known. A packet walk
// learns offsets only: the generator state at a frame follows from the frame
// number alone (noiseGeneratorAfterDraws), so it is worked out when a seek
// needs it and remembered then. Together these let a decoder restart at any
// frame with the state straight decoding would have there.
class PacketIndex {
public:
    static constexpr int checkpointInterval = 16;

    // Decoding state at the start of one frame.
    struct Place {
        int64_t frame;
        uint64_t offset;            // the frame's packet starts here
        NoiseGeneratorState noise;  // before the frame's draws; meaningful when noiseKnown
        bool noiseKnown;
    };

    // firstOffset: where packet 0 starts; the generator starts at zero.
    explicit PacketIndex(uint64_t firstOffset);

    // The furthest frame whose start is known.
    const Place& frontier() const { return front; }

    // The known place nearest before or at frame: a checkpoint, or the
    // frontier when frame lies beyond it.
    Place nearestAtOrBefore(int64_t frame) const;

    // Moves the frontier over its frame, whose packet took packetBytes and
    // whose draws left the generator at noiseAfter.
    void advanceFrontier(int packetBytes, const NoiseGeneratorState& noiseAfter);
    // The same for a walk, which does not run the generator.
    void advanceFrontier(int packetBytes);

    // Remembers noise, the generator state at the start of frame, when
    // that frame is a checkpoint or the frontier.
    void learnNoise(int64_t frame, const NoiseGeneratorState& noise);

private:
    std::vector<Place> checkpoints;  // entry i is frame i * checkpointInterval
    Place front;
};
