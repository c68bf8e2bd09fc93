// The C API's status for what checking a container header found, and the
// optional status out-parameter of its open functions.
#pragma once

#include "formats/container_format.h"
#include "q58.h"

inline int headerStatus(HeaderCheck check)
{
    switch (check) {
        case HeaderCheck::usable: return Q58_OK;
        case HeaderCheck::notContainer: return Q58_ERROR_NOT_Q58;
        case HeaderCheck::incomplete: return Q58_ERROR_DAMAGED;
        case HeaderCheck::undecodable: return Q58_ERROR_UNSUPPORTED;
        case HeaderCheck::readFailed: return Q58_ERROR_IO;
    }
    return Q58_ERROR_IO;
}

// Stores value at status unless status is NULL.
inline void tell(int* status, int value)
{
    if (status) *status = value;
}
