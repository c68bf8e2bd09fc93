// Conversion: the steps both jobs take, written once. An encode or decode job
// derives from it and fills in only what depends on the formats: how to open
// and check the input, how to open the writer, how to convert one frame and
// how to finish the output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver/conversion_jobs.h"
#include "driver/job_output.h"

class Conversion {
public:
    Conversion(std::string inputName, std::string outputName);
    virtual ~Conversion();

    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Converts the input into the output, in this order:
    // 1. refuses an input that is not a regular file or that openInput()
    //    rejects: one line on standard error, nothing else;
    // 2. refuses an output name that leads to the input itself;
    // 3. prints the start line and creates the output under a temporary
    //    name (see JobOutput), then converts frame after frame, a progress
    //    line each, until the input has no more or stops the job;
    // 4. prints the done line, finishes the output and puts it in place
    //    when all of it was written, even after damage in the input: what
    //    was converted is all the user can recover;
    // 5. reports the damage noted, in order, then what went wrong with the
    //    output.
    JobOutcome run();

protected:
    const std::string inputName;
    const std::string outputName;

    // The diagnostic for an input that is not converted; returns skipped.
    virtual JobOutcome refuse() = 0;
    // Opens the input (a regular file) and checks it. Returns the outcome
    // when the job ends here, its diagnostic given; nothing to go on.
    virtual std::optional<JobOutcome> openInput() = 0;
    // The frames the input holds, once it is open.
    virtual int32_t frameCount() const = 0;
    // Opens the writer on the output's temporary file.
    virtual void openOutput(const std::string& temporaryName) = 0;
    // Converts the frame at index; false, with the damage noted, when the
    // input ends the job there.
    virtual bool convertFrame(int32_t index) = 0;
    // Finishes and closes the output; false when not all of it reached the
    // file. May note damage found at the end of the input.
    virtual bool finish() = 0;

    // The console lines: the one that starts the job, the progress line
    // after converted frames and the one that ends the job.
    virtual std::string startLine() const = 0;
    virtual std::string progressLine(int32_t converted) const = 0;
    virtual const char* doneLine() const = 0;

    // Damage in the input: the job fails, and each problem gets a line
    // naming the input once the output has been dealt with.
    void noteDamage(std::string problem);
    bool damaged() const { return !damage.empty(); }

private:
    std::vector<std::string> damage;
    // A base-class member, so that the job's writer is closed before the
    // temporary file is removed.
    std::optional<JobOutput> destination;
};
