#include <string>

#include "driver/conversion_jobs.h"
#include "driver/job_output.h"
#include "driver/working_parameters.h"

namespace {

// True when name ends with suffix, byte for byte (case-sensitive).
bool endsWith(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

// q58 NAME.wav ... NAME.q58 ...: encodes each .wav into NAME.q58 and decodes
// each .q58 into NAME.q58.wav, in the order given. Any other name is passed
// over. Exit status 1 when a .wav or .q58 name was refused, a job failed or
// met a damaged input, else 0.
int main(int argc, char** argv)
{
    loadWorkingParameters();
    if (argc < 2)
        return 0;

    installSignalHandling();
    bool anyFailed = false;
    for (int a = 1; a < argc; ++a) {
        const std::string name = argv[a];
        if (endsWith(name, ".wav"))
            anyFailed |= runGuarded(encodeFile, name, name.substr(0, name.size() - 4) + ".q58") != JobOutcome::converted;
        if (endsWith(name, ".q58"))
            anyFailed |= runGuarded(decodeFile, name, name + ".wav") != JobOutcome::converted;
    }
    return anyFailed ? 1 : 0;
}
