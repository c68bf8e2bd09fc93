#pragma once

// Reference material for the public API tests, made once per test program:
// a generated recording of an uneven length, the .q58 the converter makes of
// it and the WAV samples the converter decodes that file to.

#include <cstdint>
#include <string>
#include <vector>

#include "driver/cli_harness.h"
#include "q58.h"

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

// Reads everything, cycling through the given chunk sizes, until a read
// returns fewer sample frames than asked.
std::vector<int16_t> readAll(q58_decoder* decoder, const std::vector<size_t>& chunks);

// What decoding some bytes from the start in one read gives: the samples and
// the status that read ended with (Q58_END_OF_STREAM, or the damage).
struct StraightDecode {
    std::vector<int16_t> samples;
    int endStatus = -1;
    uint64_t frames() const { return samples.size() / 2; }
};
StraightDecode straightDecode(const std::vector<uint8_t>& q58Bytes);

// Reads up to `frames` sample frames and expects exactly what the straight
// decode holds from the decoder's position on, with the position moving by
// what was read and the status the contract gives there: a short read ends
// with the straight decode's end status; otherwise Q58_END_OF_STREAM at the
// length, Q58_OK before it.
void expectStraightRead(q58_decoder* decoder, const StraightDecode& straight, size_t frames);
