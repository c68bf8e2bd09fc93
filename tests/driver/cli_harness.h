#pragma once

// Runs the real q58 executable in a scratch directory and captures its
// standard output, standard error and exit status byte for byte.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct CliResult {
    int exitStatus = -1;
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
