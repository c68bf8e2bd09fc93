// Gathering the C API encoders' input, in any chunk size, into blocks of 882
// sample frames.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/frame_sizes.h"
#include "formats/container_writer.h"
#include "q58.h"

// Copies frames sample frames from interleaved into block (which holds
// filled of them already) and has writer code the block each time it is
// full. Returns Q58_OK, or at once the first failure: Q58_ERROR_TOO_LONG
// when the header could count no more packets, Q58_ERROR_IO when the writer
// or its stream failed. The frames after that block are not taken.
inline int feedBlocks(ContainerWriter& writer, int16_t* block, int& filled, const int16_t* interleaved, size_t frames)
{
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min(static_cast<size_t>(blockLength - filled), frames - done);
        std::memcpy(block + 2 * filled, interleaved + 2 * done, n * 2 * sizeof(int16_t));
        filled += static_cast<int>(n);
        done += n;
        if (filled == blockLength) {
            filled = 0;
            if (writer.framesWritten() == INT32_MAX) return Q58_ERROR_TOO_LONG;
            if (writer.writeBlock(block) == 0 || writer.streamFailed()) return Q58_ERROR_IO;
        }
    }
    return Q58_OK;
}
