// OutputStream: the interface of anything bytes can be written to.
#pragma once

#include <cstdint>

// A sink for bytes.
class OutputStream {
public:
    // Stores up to length bytes from source and returns how many were
    // accepted; anything less than length means the request failed part-way.
    virtual int write(const uint8_t* source, int length) = 0;

protected:
    ~OutputStream() = default;
};
