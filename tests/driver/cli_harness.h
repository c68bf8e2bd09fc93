#pragma once

// Runs the real q58 executable in a scratch directory and captures its
// standard output, standard error and exit status byte for byte.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct CliResult {
    int exitStatus = -1;
    int endingSignal = 0;  // the signal that ended the process; 0 when it exited
    std::string out;
    std::string err;
};

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string file(const std::string& name) const { return (root / name).string(); }

    // Runs q58 with the given arguments (each quoted for the shell) inside the directory.
    CliResult runQ58(const std::vector<std::string>& arguments) const;
    // The same for any program, q58info for one.
    CliResult run(const std::string& program, const std::vector<std::string>& arguments) const;

private:
    std::filesystem::path root;
};

// How a launched q58 meets its surroundings.
struct LaunchOptions {
    LaunchOptions(uint64_t fileSize = 0, uint64_t addressSpace = 0, bool readerGone = false)
        : fileSizeLimit(fileSize), addressSpaceLimit(addressSpace), stdoutReaderGone(readerGone)
    {
    }
    uint64_t fileSizeLimit = 0;     // RLIMIT_FSIZE in bytes; 0 for none
    uint64_t addressSpaceLimit = 0; // RLIMIT_AS in bytes; 0 for none
    bool stdoutReaderGone = false;  // standard output is a pipe nobody reads
    int creationMask = -1;          // the file-creation mask q58 starts with; -1 keeps the test's
    std::string program;            // what to run instead of q58; empty for q58
    std::vector<std::string> environment;  // NAME=VALUE entries added to (or replacing in) the test's own
    std::vector<int> ignoredSignals;       // set to SIG_IGN before the program starts, as nohup does
};

// q58 started in a scratch directory with its standard output on a pipe
// that holds only a few kilobytes: a run stops at its next progress line
// until the test reads on, so a test can act while a job is under way.
class RunningQ58 {
public:
    RunningQ58(const ScratchDir& dir, const std::vector<std::string>& arguments, const LaunchOptions& options = {});
    ~RunningQ58();
    RunningQ58(const RunningQ58&) = delete;
    RunningQ58& operator=(const RunningQ58&) = delete;

    // Standard output up to and including the next line feed (or the given
    // end, '\r' for one progress line).
    std::string readLine(char end = '\n');
    void sendSignal(int signalNumber) const;
    // Reads the rest of the output and waits for the end. The exit status
    // of a run ended by a signal is 128 + the signal, as a shell reports it.
    CliResult finish();

private:
    int pid = -1;
    int outFd = -1;
    std::string out;
    std::string errPath;
};

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A canonical 44-byte-header WAV of the given format holding these samples.
std::vector<uint8_t> makeWav(const std::vector<int16_t>& samples, uint16_t channels = 2,
                             uint32_t sampleRate = 44100, uint16_t bitsPerSample = 16);
void putLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
uint32_t getLe32(const std::vector<uint8_t>& bytes, size_t offset);

// Deterministic stereo test material: frames of interleaved left/right.
std::vector<int16_t> silence(size_t frames);
std::vector<int16_t> chordSignal(size_t frames, uint32_t seed = 1);
