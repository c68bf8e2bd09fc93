#include "formats/packet_index.h"

#include <cstddef>

PacketIndex::PacketIndex(uint64_t firstOffset) : front{0, firstOffset, NoiseGeneratorState{0, 0}}
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
    if (front.frame % checkpointInterval == 0) checkpoints.push_back(front);
}
