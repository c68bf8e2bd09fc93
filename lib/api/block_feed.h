// Gathering the C API encoders' input, in any chunk size, into blocks of 882
// sample frames.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/frame_sizes.h"
#include "q58.h"

// Copies frames sample frames from interleaved into block (which holds
// filled of them already) and calls writeBlock() each time it is full.
// Returns Q58_OK, or the first status other than Q58_OK that writeBlock
// returns, at once: the frames after that block are not taken.
template <typename WriteBlock>
int feedBlocks(int16_t* block, int& filled, const int16_t* interleaved, size_t frames, WriteBlock writeBlock)
{
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min(static_cast<size_t>(blockLength - filled), frames - done);
        std::memcpy(block + 2 * filled, interleaved + 2 * done, n * 2 * sizeof(int16_t));
        filled += static_cast<int>(n);
        done += n;
        if (filled == blockLength) {
            filled = 0;
            const int written = writeBlock();
            if (written != Q58_OK) return written;
        }
    }
    return Q58_OK;
}
