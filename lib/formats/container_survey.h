// ContainerSurvey: what a look at a file named as a .q58 finds (header,
// packets intact or where damage starts), for the diagnostics and q58info.
#pragma once

#include <cstdint>
#include <string>

#include "formats/container_format.h"

// A look at a file named as a .q58 container: its header and, walking every
// packet without synthesis, whether the frames are intact and where damage
// starts. Shared by q58's refusal diagnostics and by q58info.

enum class ContainerVerdict {
    intact,      // every packet intact and nothing after the last one
    damaged,     // usable header, but a packet is damaged, missing or followed by stray bytes
    unusable,    // the header is incomplete or holds parameters the decoder cannot use
    notOurs,     // not a q58 container at all (no magic)
    unreadable,  // the name cannot be opened as a regular file
};

struct ContainerSurvey {
    ContainerVerdict verdict = ContainerVerdict::unreadable;
    std::string reason;            // one clause, empty when intact
    int64_t fileSize = -1;
    bool headerComplete = false;   // all 76 header bytes present with the magic
    ContainerHeader header{};      // as stored, meaningful when headerComplete
    int64_t framesIntact = 0;      // packets from the first on that are intact
    int64_t packetBytes = 0;       // bytes of those packets
    int smallestPacket = 0;        // over the intact packets; 0 when there are none
    int largestPacket = 0;
    int64_t damageFrame = -1;      // first frame that is damaged or missing (frameCount for stray bytes)
    int64_t damageOffset = -1;     // byte offset in the file where that frame starts
};

ContainerSurvey surveyContainer(const std::string& fileName);

// Why decoding refuses this file before writing anything, in one clause;
// empty when the magic is there.
std::string containerRefusalReason(const std::string& fileName);
