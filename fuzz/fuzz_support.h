#pragma once

// Shared set-up of the fuzz targets: the process-wide state the converter
// expects (transform tables, working parameter blocks), quiet console
// streams, and scratch files for the targets that drive whole jobs.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/working_parameters.h"
#include "transform/transform_tables.h"

namespace fuzz {

// A property of the code under test does not hold: report and crash, so that
// libFuzzer saves the input.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(fuzz::diagnostics(), "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                         #condition);                                                          \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Where the targets' own findings go: the real standard error, even after
// quietConsole() has diverted the converter's messages.
inline FILE*& diagnosticsSlot()
{
    static FILE* stream = stderr;
    return stream;
}
inline FILE* diagnostics() { return diagnosticsSlot(); }

// The jobs print a line per file and a progress line per frame, and report
// problems on stderr: at thousands of runs a second that would drown the
// fuzzer's own output. Standard output is dropped; the C stderr stream the
// jobs print through is pointed at /dev/null. The sanitizers and libFuzzer
// write to file descriptor 2 directly, so their reports still arrive.
inline void quietConsole()
{
    std::cout.rdbuf(nullptr);
    std::cout.setstate(std::ios::badbit);
    if (FILE* sink = std::fopen("/dev/null", "w")) {
        diagnosticsSlot() = fdopen(dup(fileno(stderr)), "w");
        if (!diagnosticsSlot())
            diagnosticsSlot() = stderr;
        stderr = sink;  // glibc: the stream pointer is an ordinary variable
    }
}

// What every converter process does before its first job.
inline void initConverter()
{
    loadWorkingParameters();
}

// A directory for this process's scratch files: in memory when /dev/shm
// exists, so that the file round trips of the job targets stay cheap.
inline std::string scratchDirectory()
{
    const char* base = std::getenv("Q58_FUZZ_SCRATCH");
    std::string root = base ? base : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    const std::string dir = root + "/q58-fuzz-" + std::to_string(getpid());
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    FUZZ_CHECK(!error);
    return dir;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good());
}

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline uint32_t le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// The WAV files the decode job writes: the canonical 44-byte header in the
// reference format, data size = what follows it, a whole number of blocks.
// Returns the number of sample bytes.
inline uint64_t checkDecodedWave(const std::string& path)
{
    const std::vector<uint8_t> wav = readFile(path);
    FUZZ_CHECK(wav.size() >= 44);
    static const uint8_t header[36] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                       'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0,
                                       0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
    for (size_t i = 0; i < 36; ++i)
        if (i < 4 || i >= 8)
            FUZZ_CHECK(wav[i] == header[i]);
    FUZZ_CHECK(wav[36] == 'd' && wav[37] == 'a' && wav[38] == 't' && wav[39] == 'a');
    const uint64_t dataBytes = wav.size() - 44;
    FUZZ_CHECK(le32(wav, 40) == dataBytes);
    FUZZ_CHECK(le32(wav, 4) == dataBytes + 36);
    FUZZ_CHECK(dataBytes % 3528 == 0);
    return dataBytes;
}

}  // namespace fuzz
