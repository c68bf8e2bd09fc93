#pragma once

// Reference material for the public API tests, made once per test program:
// a generated recording of an uneven length, the .q58 the converter makes of
// it and the WAV samples the converter decodes that file to.

#include <cstdint>
#include <string>
#include <vector>

#include "driver/cli_harness.h"

struct ApiMaterial {
    std::vector<int16_t> input;      // interleaved, 150 blocks and 300 sample frames
    std::string q58Path;             // what `q58 in.wav` wrote
    std::vector<uint8_t> q58Bytes;
    std::vector<int16_t> decoded;    // interleaved samples of `q58 in.q58`'s WAV
    uint64_t decodedFrames() const { return decoded.size() / 2; }
    const ScratchDir& scratch() const;
};

const ApiMaterial& apiMaterial();

// Interleaved samples of a 44-byte-header WAV file's bytes.
std::vector<int16_t> wavSamples(const std::vector<uint8_t>& wav);
