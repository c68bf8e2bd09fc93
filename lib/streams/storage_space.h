// StorageSpace: the interface of a random-access byte store seen through a
// cursor.
#pragma once

#include <cstdint>

// A random-access byte store seen through a cursor. Offsets and sizes are
// 64-bit so that stores beyond 2 GiB (a WAV file may approach 4 GiB) work.
//
// Interfaces in this folder own nothing and are never deleted through a
// pointer to them: the destructor is protected and non-virtual.
class StorageSpace {
public:
    // The cursor: the offset of the next byte read or written.
    virtual int64_t position() = 0;
    // Moves the cursor and returns the new value. Performs no I/O; a cursor
    // outside the store makes the next transfer fail (read) or store there
    // (write).
    virtual int64_t setPosition(int64_t newPosition) = 0;
    // Length of the store as the underlying file reports it; -1 when the
    // store is unusable.
    virtual int64_t size() = 0;

protected:
    ~StorageSpace() = default;
};
