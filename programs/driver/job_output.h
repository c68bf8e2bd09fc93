// JobOutput: a conversion job's output file, put in place only once complete
// and removed if a signal interrupts the job.
#pragma once

#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

#include "streams/replacing_file.h"

// Sets up how q58 meets signals, once, before the first job:
// - SIGINT, SIGTERM and SIGHUP remove the temporary file of the job under
//   way (see JobOutput) and then end the process by that same signal, so
//   that the caller sees the conventional status. A signal that was ignored
//   when q58 started (nohup, a background job) stays ignored.
// - SIGPIPE and SIGXFSZ are ignored: a console that goes away or a file over
//   the size limit become ordinary write errors, so the conversions go on
//   and the job that met the limit fails with a diagnostic.
void installSignalHandling();

// A job's output file, written under a temporary name and put in place by
// commit() (see ReplacingFile). While it exists, an interruption by signal
// removes the temporary file before the process ends, so that neither a
// partial file nor a stray temporary one is left, and a file already under
// the final name keeps its contents.
class JobOutput {
public:
    explicit JobOutput(const std::string& finalName);
    ~JobOutput();

    JobOutput(const JobOutput&) = delete;
    JobOutput& operator=(const JobOutput&) = delete;

    bool ok() const { return file.ok(); }
    std::string problem() const { return file.problem(); }
    const std::string& temporaryName() const { return file.temporaryName(); }

    // Puts the finished file in place; false (temporary file removed) when
    // it could not be synced or renamed.
    bool commit();
    // Removes the temporary file; the final name keeps what it had.
    void abandon();

private:
    // Blocks the interrupting signals from construction until release(), so
    // that the temporary file cannot be created without being tracked.
    class HeldSignals {
    public:
        HeldSignals();
        ~HeldSignals() { release(); }
        HeldSignals(const HeldSignals&) = delete;
        HeldSignals& operator=(const HeldSignals&) = delete;
        void release();

    private:
        bool held = false;
#ifndef _WIN32
        sigset_t previous;  // the mask to restore
#endif
    };

    HeldSignals creating;  // declared first: held while file is constructed
    ReplacingFile file;
};
