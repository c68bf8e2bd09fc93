#include "driver/input_checks.h"

#include "driver/console_texts.h"
#include "formats/container_survey.h"
#include "formats/wave_survey.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <filesystem>
#endif

bool isRegularFile(const std::string& name)
{
#ifdef _WIN32
    // The C runtime reads narrow names in the process code page (UTF-8 under
    // q58's manifest), as the file streams that open the file next do.
    // MinGW's std::filesystem::path would convert the bytes without regard
    // for that code page and miss every name outside ASCII.
    struct _stat64 info;
    return _stat64(name.c_str(), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
#else
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(name), error);
#endif
}

JobOutcome refuseWave(const std::string& inputName)
{
    const WaveSurvey survey = surveyWave(inputName);
    // The reader and the survey apply the same rule; should they ever
    // disagree, the user still learns that the file was not converted.
    reportProblem(inputName, survey.verdict == WaveVerdict::accepted ? waveHeaderUnreadable
                                                                     : waveRefusalText(inputName, survey));
    return JobOutcome::skipped;
}

JobOutcome refuseContainer(const std::string& inputName)
{
    const std::string reason = containerRefusalReason(inputName);
    reportProblem(inputName, reason.empty() ? containerUnreadable : reason);
    return JobOutcome::skipped;
}
