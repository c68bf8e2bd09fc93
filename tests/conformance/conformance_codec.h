// The conformance suite's view of the codec: which path and vector width
// runs, encoding an input into a whole .q58 container in memory, decoding a
// container back to PCM, the PCM hash and the manifest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codec/codec_parameters.h"
#include "conformance/conformance_inputs.h"

class Elb1764;

namespace conformance {

// Instruction-set widths of the fast path. The transform has no AVX-512
// variant: at that width it runs its widest one (see transformLevelName).
enum class Width { portable, sse2, avx2, avx512 };

// Literal: the reference filter bank and the reference codec steps, the
// codec's definition. Fast: the fast filter bank and codec steps with the
// vector kernels of one width.
struct Path {
    bool literal;
    Width width;  // ignored when literal
};

// "literal", or "fast_avx2" and so on: a test name part and message text.
std::string pathName(const Path& path);
// "transform avx2, codec avx512" for a fast path, "reference steps" for the literal one.
std::string pathDetail(const Path& path);
// The literal path, then the fast path at every width this build and
// processor run.
std::vector<Path> availablePaths();

// ---- the one place that chooses a path (see conformance_codec.cpp) ----
// A codec object running on path, with these parameters and the default tuning.
std::unique_ptr<Elb1764> makeCodec(const Path& path, const CodecParameters& parameters);

// A whole container as the converter writes it: the 76-byte header (magic,
// the built-in parameter block, the frame count) and one packet per whole
// block of the input, each padded with zero bits to a whole byte.
struct Encoded {
    std::vector<uint8_t> bytes;
    std::vector<std::size_t> packetStarts;  // offset of each frame's packet in bytes
    std::string problem;                    // empty, or why encoding stopped
};
Encoded encodeContainer(const Signal& input, const Path& path);

// The container's frames decoded through the codec, delayed by one block as
// the converter's output is: one block of PCM per packet.
struct Decoded {
    Signal samples;
    int32_t headerFrames = -1;
    std::string problem;  // empty, or the damage that stopped decoding
};
Decoded decodeContainer(const std::vector<uint8_t>& container, const Path& path);

// FNV-1a, 64 bits, over the samples as 16-bit little-endian bytes: the hash
// of the data chunk of the NAME.q58.wav file that q58 NAME.q58 writes.
uint64_t pcmHash(const Signal& samples);
uint64_t bytesHash(const uint8_t* data, std::size_t size);
std::string hex64(uint64_t value);

// One line of vectors/expected.txt.
struct Expected {
    int32_t frames;
    uint64_t hash;
};
// name -> entry; throws std::runtime_error with the line on a malformed manifest.
std::map<std::string, Expected> readManifest(const std::string& path);
// The manifest's text for the given entries, in recipe order.
std::string manifestText(const std::vector<std::pair<std::string, Expected>>& entries);

std::vector<uint8_t> readFile(const std::string& path);  // empty when missing
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace conformance
