#include "driver/console_texts.h"

#include <cstdio>

std::string encodingLine(const std::string& inputName, const std::string& outputName)
{
    return "encoding : '" + inputName + "' to : '" + outputName + "'";
}

std::string decodingLine(const std::string& inputName, const std::string& outputName)
{
    return "decoding : '" + inputName + "' to : '" + outputName + "'";
}

std::string encodingProgress(int64_t percent, int64_t bitrate)
{
    return std::to_string(percent) + " % [ avg bitrate " + std::to_string(bitrate) + " ]";
}

std::string decodingProgress(int64_t percent) { return std::to_string(percent) + " %"; }

const char* const encodingDone = "\ndone.";
const char* const decodingDone = "done.";

void reportProblem(const std::string& fileName, const std::string& problem)
{
    std::fprintf(stderr, "q58: '%s': %s\n", fileName.c_str(), problem.c_str());
    std::fflush(stderr);
}

const char* const waveHeaderUnreadable = "not converted: the WAV header could not be read";
const char* const containerUnreadable = "not decoded: the container could not be read";

const char* const containerHeaderIncomplete = "the container header is incomplete; not decoded";
const char* const containerHeaderUndecodable =
    "the container header holds parameters this decoder cannot use safely; not decoded";

const char* const framePaddingDamaged = "a frame is damaged (non-zero padding); decoded the frames before it";
const char* const frameRunsPastEnd = "the last frame runs past the end of the file; decoded the frames before it";
const char* const containerReadFailed = "the file could not be read to its end; decoded the frames before the failure";
const char* const containerEndsEarly = "the file ends before its last frame; decoded the frames present";
const char* const waveSizeLimitReached = "the decoded audio would exceed the 4 GiB limit of a WAV file; stopped there";
const char* const bytesAfterLastFrame = "the file goes on after its last frame; those bytes were not decoded";

const char* const waveDataCutShort =
    "the data chunk claims more bytes than the file holds; encoded the whole blocks present";

std::string waveUnfinished(uint64_t bytesAfterChunk)
{
    return "the WAV file looks unfinished: its data chunk says 0 bytes but " + std::to_string(bytesAfterChunk) +
           " bytes follow it; encoded nothing";
}

const char* const waveEndedEarly = "the input ended before its data chunk did; encoded what was there";

const char* const outputIsInput = "is the input file itself (through a link); not converted, the file is left as it is";

std::string outputNotCreated(const std::string& reason) { return "cannot be written: " + reason + "; nothing converted"; }

const char* const outputNotWritten = "could not be written in full; a file already under this name was left as it was";

std::string outputNotPlaced(const std::string& reason)
{
    return "could not be put in place: " + reason + "; a file already under this name was left as it was";
}

const char* const outOfMemory = "not enough memory to convert this file; nothing written";
