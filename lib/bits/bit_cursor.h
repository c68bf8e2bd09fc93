#pragma once

#include <climits>

// Shared bookkeeping of da_BinWriter and da_BinReader: array length in bits
// and a position that moves past the end without ever overflowing int.
namespace bitcursor {

// Array length in bits; negative lengths count as empty, huge ones are capped
// so that the bit count still fits an int.
inline int capacityInBits(int capacityBytes) {
    if (capacityBytes <= 0) return 0;
    if (capacityBytes > INT_MAX / 8) return (INT_MAX / 8) * 8;
    return capacityBytes * 8;
}

// True when bits [position, position + count) all lie inside [0, capacity).
inline bool fits(int position, int count, int capacity) {
    return position >= 0 && position <= capacity && count <= capacity - position;
}

// Moves position on by count (count >= 0). Saturates at INT_MAX and reports
// that as an overflow, so a runaway caller cannot wrap the position around.
inline bool advance(int& position, int count) {
    if (position > INT_MAX - count) {
        position = INT_MAX;
        return false;
    }
    position += count;
    return true;
}

}  // namespace bitcursor
