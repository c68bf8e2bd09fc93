// ByteWindow: a read-ahead buffer that shows a packet's worth of a ByteSource
// at any offset.
#pragma once

#include <cstdint>
#include <vector>

#include "streams/byte_source.h"

// A read-ahead buffer over a ByteSource that shows the bytes at any offset,
// up to a packet's worth at a time. Moving forward keeps what is buffered;
// moving elsewhere refills. Sources are read in large pieces, so a caller's
// read function sees a few calls per second of audio, not one per packet.
class ByteWindow {
public:
    explicit ByteWindow(ByteSource& source, int capacity = 1 << 16);

    // Makes up to want bytes from offset visible (fewer only where the
    // data ends) and returns them; count receives how many. nullptr when
    // the source failed.
    const uint8_t* view(uint64_t offset, int want, int& count);

private:
    ByteSource& source;
    std::vector<uint8_t> buffer;
    uint64_t start = 0;   // offset of buffer[0]
    size_t length = 0;    // bytes held from start
    bool endSeen = false; // the source had nothing after start + length
};
