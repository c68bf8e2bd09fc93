// The inputs of the conformance vectors: one stored WAV file and signals
// generated here with integer arithmetic only, so that every C library and
// every target (the Windows build runs under wine) makes the same samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace conformance {

using Signal = std::vector<int16_t>;  // interleaved stereo: left, right, left, ...

struct Recipe {
    const char* name;        // the vector's name: vectors/NAME.q58, NAME in expected.txt
    int frames;              // stereo sample frames made (0: the stored file decides)
    const char* storedFile;  // relative to the conformance folder, or nullptr
    void (*generate)(Signal& signal);  // fills all 2 * frames values (nullptr for a stored input)
    const char* purpose;     // what edge of the coder it exercises
};

// Every input, in manifest order.
const std::vector<Recipe>& recipes();
const Recipe* findRecipe(const std::string& name);

// The folder holding inputs/, vectors/ and this suite's README: the
// environment variable Q58_CONFORMANCE_DIR when set, else the source folder
// compiled in (Q58_CONFORMANCE_DIR).
std::string conformanceDir();

// The input's samples. Throws std::runtime_error (with the reason) when a
// stored file is missing or not the 16-bit stereo 44100 Hz WAV it should be.
Signal makeInput(const Recipe& recipe);

}  // namespace conformance
