#include "driver/job_outcome.h"

#include <cstdio>

void reportProblem(const char* fileName, const char* problem)
{
    std::fprintf(stderr, "q58: '%s': %s\n", fileName, problem);
    std::fflush(stderr);
}
