#include "formats/packet_index.h"

#include <cstddef>

PacketIndex::PacketIndex(uint64_t firstOffset) : front{0, firstOffset, NoiseGeneratorState{0, 0}, true}
{
    checkpoints.push_back(front);
}

PacketIndex::Place PacketIndex::nearestAtOrBefore(int64_t frame) const
{
    if (frame >= front.frame) return front;
    const int64_t slot = frame < 0 ? 0 : frame / checkpointInterval;
    return checkpoints[static_cast<std::size_t>(slot)];
}

void PacketIndex::advanceFrontier(int packetBytes, const NoiseGeneratorState& noiseAfter)
{
    front.frame += 1;
    front.offset += static_cast<uint64_t>(packetBytes);
    front.noise = noiseAfter;
    front.noiseKnown = true;
    if (front.frame % checkpointInterval == 0) checkpoints.push_back(front);
}

void PacketIndex::advanceFrontier(int packetBytes)
{
    front.frame += 1;
    front.offset += static_cast<uint64_t>(packetBytes);
    front.noise = NoiseGeneratorState{0, 0};
    front.noiseKnown = false;
    if (front.frame % checkpointInterval == 0) checkpoints.push_back(front);
}

void PacketIndex::learnNoise(int64_t frame, const NoiseGeneratorState& noise)
{
    if (frame < 0 || frame > front.frame) return;
    if (frame == front.frame) {
        front.noise = noise;
        front.noiseKnown = true;
    }
    if (frame % checkpointInterval == 0) {
        Place& checkpoint = checkpoints[static_cast<std::size_t>(frame / checkpointInterval)];
        checkpoint.noise = noise;
        checkpoint.noiseKnown = true;
    }
}
