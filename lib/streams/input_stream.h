// InputStream: the interface of anything bytes can be read from.
#pragma once

#include <cstdint>

// A source of bytes.
class InputStream {
public:
    // Copies up to length bytes to destination and returns how many were
    // delivered; anything less than length means the request failed part-way.
    // A length of 0 or less delivers nothing and returns 0.
    virtual int read(uint8_t* destination, int length) = 0;

protected:
    ~InputStream() = default;
};
