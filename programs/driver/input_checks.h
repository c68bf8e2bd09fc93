// What the jobs check about an input before they open it, and the line that
// says why an input is refused.
#pragma once

#include <string>

#include "driver/conversion_jobs.h"

// True when name is a regular file (following links). Directories, pipes and
// devices are never inputs: opening a pipe for reading would wait forever for
// a writer.
bool isRegularFile(const std::string& name);

// One line on standard error saying why an input is not converted (missing,
// unreadable, not the kind of file its suffix promises, another layout or
// format, with commands that make an accepted copy). Both return
// JobOutcome::skipped: nothing went to standard output, no file was created.
JobOutcome refuseWave(const std::string& inputName);
JobOutcome refuseContainer(const std::string& inputName);
