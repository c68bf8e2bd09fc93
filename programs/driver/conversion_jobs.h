// The converter's two jobs, as main() and the tests run them.
#pragma once

#include <cstdint>
#include <string>

// What a conversion job did with its input. A skipped input (unknown format,
// unreadable, no magic) gets one line on standard error and nothing else;
// the other two print their console lines, and failed means a diagnostic
// went to standard error.
enum class JobOutcome {
    skipped,    // input refused: one stderr line, nothing on stdout, no output created
    converted,  // output complete and intact
    failed,     // output could not be written in full, or the input was damaged
};

// Encodes NAME.wav (16-bit PCM stereo 44100 Hz) into a .q58 container, on
// two threads when the machine has two and the file is long enough.
JobOutcome encodeFile(std::string inputName, std::string outputName);

// encodeFile on the given number of threads (1 or 2; 0 decides as
// encodeFile does). The output, console lines and outcome are the same
// whatever the number.
JobOutcome encodeFileWithThreads(std::string inputName, std::string outputName, int threads);

// Decodes a .q58 container into a WAV file.
JobOutcome decodeFile(std::string inputName, std::string outputName);

// The RIFF size field is 32 bits: the data chunk may hold at most this many
// bytes (a whole number of blocks) before the file would pass 4 GiB.
uint64_t maxWaveDataBytes();

// decodeFile with a lower bound on the sample bytes it may write, so the
// 4 GiB stop can be exercised without writing gigabytes.
JobOutcome decodeFileWithLimit(std::string inputName, std::string outputName, uint64_t maxDataBytes);

// The threads a decode job uses by default: 2 where the machine has at least
// two hardware threads, else 1.
int decodeThreads();

// The first frame a second decoding thread takes of a file of frames frames;
// frames itself when the file is too short to be worth a second thread.
int32_t decodeSplitFrame(int32_t frames);

// decodeFileWithLimit on up to threads threads (1 or 2; more count as 2). A
// second thread decodes the later part of a long file; the output, the
// console lines and the outcome are those of one thread in every case.
JobOutcome decodeFileWithThreads(std::string inputName, std::string outputName, uint64_t maxDataBytes, int threads);

// Runs job (encodeFile or decodeFile) on the two names. Running out of
// memory ends that job only: a diagnostic naming the input, the job counts
// as failed, and the caller goes on with the next name.
JobOutcome runGuarded(JobOutcome (*job)(std::string, std::string), const std::string& inputName,
                      const std::string& outputName);
