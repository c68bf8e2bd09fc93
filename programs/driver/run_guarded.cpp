#include <new>

#include "driver/conversion_jobs.h"

JobOutcome runGuarded(JobOutcome (*job)(std::string, std::string), const std::string& inputName,
                      const std::string& outputName)
{
    try {
        return job(inputName, outputName);
    } catch (const std::bad_alloc&) {
        // The job's objects are gone by now, its temporary file with them,
        // so the memory it held is free for the next name.
        reportProblem(inputName.c_str(), "not enough memory to convert this file; nothing written");
        return JobOutcome::failed;
    }
}
