#pragma once

#include <string>

#include "driver/job_outcome.h"

// One line on standard error saying why an input is not converted (missing,
// unreadable, not the kind of file its suffix promises, another layout or
// format, with commands that make an accepted copy). Both return
// JobOutcome::skipped: nothing went to standard output, no file was created.
JobOutcome refuseWave(const std::string& inputName);
JobOutcome refuseContainer(const std::string& inputName);
