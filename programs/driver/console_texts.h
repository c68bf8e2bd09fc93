// Every fixed text the converter writes: the console lines of a job on
// standard output and the diagnostics on standard error. The texts
// themselves are in console_texts.cpp; scripts read them, so they stay
// byte for byte as they are.
#pragma once

#include <cstdint>
#include <string>

// Standard output -----------------------------------------------------------

// The line that starts a job, once its input has been accepted:
// "encoding : 'IN' to : 'OUT'" or "decoding : 'IN' to : 'OUT'".
std::string encodingLine(const std::string& inputName, const std::string& outputName);
std::string decodingLine(const std::string& inputName, const std::string& outputName);

// The progress line after a frame, written over in place: a carriage return
// follows each one. The encoder adds the average bitrate so far.
std::string encodingProgress(int64_t percent, int64_t bitrate);
std::string decodingProgress(int64_t percent);

// What ends a job's console lines. The encoder leaves its last progress
// line standing; the decoder writes over its own.
extern const char* const encodingDone;
extern const char* const decodingDone;

// Standard error ------------------------------------------------------------

// One diagnostic line naming the file: "q58: 'NAME': PROBLEM".
void reportProblem(const std::string& fileName, const std::string& problem);

// Refused inputs, when the survey that explains refusals finds nothing to
// say (the reader and the survey apply the same rule, so only if they ever
// disagree).
extern const char* const waveHeaderUnreadable;
extern const char* const containerUnreadable;

// A container header that was read but must not reach the decoder.
extern const char* const containerHeaderIncomplete;
extern const char* const containerHeaderUndecodable;

// Damage met while decoding; the frames before it are still decoded.
extern const char* const framePaddingDamaged;    // a frame with non-zero padding
extern const char* const frameRunsPastEnd;       // the last frame runs past the end of the file
extern const char* const containerReadFailed;    // reading stopped with an error
extern const char* const containerEndsEarly;     // fewer frames than the header says
extern const char* const waveSizeLimitReached;   // the decoded audio would not fit a WAV file
extern const char* const bytesAfterLastFrame;    // the file goes on after its last frame

// Damage met while encoding.
extern const char* const waveDataCutShort;       // the data chunk claims more than the file holds
std::string waveUnfinished(uint64_t bytesAfterChunk);  // a data chunk of size 0 with bytes after it
extern const char* const waveEndedEarly;         // the file shrank while it was encoded

// The job's output.
// The output name leads to the input file itself (a link): refused before
// anything is opened for writing.
extern const char* const outputIsInput;
// The temporary file could not be created, or the name may not be replaced.
std::string outputNotCreated(const std::string& reason);
// Writing the temporary file failed (full disk, size limit, I/O error).
extern const char* const outputNotWritten;
// The finished file could not be synced or renamed into place.
std::string outputNotPlaced(const std::string& reason);

// Memory ran out during a job; the next name is still converted.
extern const char* const outOfMemory;
