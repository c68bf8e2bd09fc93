#include "driver/refusal.h"

#include "formats/container_survey.h"
#include "formats/wave_survey.h"

JobOutcome refuseWave(const std::string& inputName)
{
    const WaveSurvey survey = surveyWave(inputName);
    // The reader and the survey apply the same rule; should they ever
    // disagree, the user still learns that the file was not converted.
    const std::string reason = survey.verdict == WaveVerdict::accepted ? "not converted: the WAV header could not be read"
                                                                       : waveRefusalText(inputName, survey);
    reportProblem(inputName.c_str(), reason.c_str());
    return JobOutcome::skipped;
}

JobOutcome refuseContainer(const std::string& inputName)
{
    const std::string reason = containerRefusalReason(inputName);
    reportProblem(inputName.c_str(), reason.empty() ? "not decoded: the container could not be read" : reason.c_str());
    return JobOutcome::skipped;
}
