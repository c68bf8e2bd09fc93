#include "driver/conversion_loop.h"

#include <iostream>
#include <new>

#include "driver/console_texts.h"
#include "driver/input_checks.h"
#include "streams/replacing_file.h"

Conversion::Conversion(std::string input, std::string output)
    : inputName(std::move(input)), outputName(std::move(output))
{
}

Conversion::~Conversion() = default;

void Conversion::noteDamage(std::string problem) { damage.push_back(std::move(problem)); }

JobOutcome Conversion::run()
{
    if (!isRegularFile(inputName))
        return refuse();
    if (const std::optional<JobOutcome> ended = openInput())
        return *ended;
    if (sameFile(inputName, outputName)) {
        reportProblem(outputName, outputIsInput);
        return JobOutcome::failed;
    }

    std::cout << startLine() << std::endl;

    destination.emplace(outputName);
    if (!destination->ok()) {
        reportProblem(outputName, outputNotCreated(destination->problem()));
        return JobOutcome::failed;
    }
    openOutput(destination->temporaryName());

    const int32_t frames = frameCount();
    for (int32_t converted = 0; converted < frames;) {
        if (!convertFrame(converted))
            break;
        ++converted;
        std::cout << progressLine(converted) << '\r';
    }
    std::cout << doneLine() << std::endl;

    // A file that could not be written in full is never put in place.
    const bool written = finish();
    if (!written)
        destination->abandon();
    const bool placed = written && destination->commit();

    for (const std::string& problem : damage)
        reportProblem(inputName, problem);
    if (!written)
        reportProblem(outputName, outputNotWritten);
    else if (!placed)
        reportProblem(outputName, outputNotPlaced(destination->problem()));
    return (placed && !damaged()) ? JobOutcome::converted : JobOutcome::failed;
}

JobOutcome runGuarded(JobOutcome (*job)(std::string, std::string), const std::string& inputName,
                      const std::string& outputName)
{
    try {
        return job(inputName, outputName);
    } catch (const std::bad_alloc&) {
        // The job's objects are gone by now, its temporary file with them,
        // so the memory it held is free for the next name.
        reportProblem(inputName, outOfMemory);
        return JobOutcome::failed;
    }
}
