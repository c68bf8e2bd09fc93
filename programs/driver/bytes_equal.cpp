#include "driver/conversion_jobs.h"

bool bytesEqual(const uint8_t* a, const uint8_t* b, int n)
{
    for (int i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}
