#include "conformance/conformance_codec.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "formats/container_format.h"
#include "base/frame_sizes.h"
#include "simd/instruction_set.h"

namespace conformance {
namespace {

const Width allWidths[] = {Width::portable, Width::sse2, Width::avx2, Width::avx512};

const char* widthName(Width w) {
    switch (w) {
        case Width::portable: return "portable";
        case Width::sse2: return "sse2";
        case Width::avx2: return "avx2";
        case Width::avx512: return "avx512";
    }
    return "unknown";
}

// The instruction set of a width; the codec falls back to the portable
// kernels where the processor lacks it, so only available ones are run.
InstructionSet instructionSetOf(Width w) {
    const InstructionSet sets[] = {InstructionSet::portable, InstructionSet::sse2, InstructionSet::avx2,
                                   InstructionSet::avx512};
    return sets[static_cast<int>(w)];
}

}  // namespace

std::string pathName(const Path& path) {
    return path.literal ? std::string("literal") : std::string("fast_") + widthName(path.width);
}

std::string pathDetail(const Path& path) {
    if (path.literal) return "reference filter bank and reference codec steps";
    return std::string("fast path, ") + instructionSetName(instructionSetOf(path.width));
}

std::vector<Path> availablePaths() {
    std::vector<Path> paths = {{true, Width::portable}};
    for (Width w : allWidths)
        if (instructionSetAvailable(instructionSetOf(w))) paths.push_back({false, w});
    return paths;
}

// Everything in this suite that chooses how the codec computes goes through here.
std::unique_ptr<Elb1764> makeCodec(const Path& path, const CodecParameters& parameters) {
    const CodecOptions options{path.literal ? CodecPath::reference : CodecPath::fast, instructionSetOf(path.width)};
    return std::make_unique<Elb1764>(parameters, defaultEncoderTuning, options);
}

// What the converter's encode job does (ContainerWriter): the header with the
// number of whole blocks, then per block pushSamples and analyzeAndEncode
// into a packetBufferSize buffer, padded to a whole byte. The first packet
// codes the window of a silent block and the first input block (the lapped
// transform's one-block delay); samples after the last whole block are not
// coded.
Encoded encodeContainer(const Signal& input, const Path& path) {
    Encoded result;
    const int32_t frames = static_cast<int32_t>(input.size() / blockSamples);
    result.bytes.resize(containerHeaderSize);
    encodeContainerHeader(ContainerHeader{defaultCodecParameters, frames}, result.bytes.data());
    const std::unique_ptr<Elb1764> codec = makeCodec(path, defaultCodecParameters);
    for (int32_t f = 0; f < frames; ++f) {
        uint8_t packet[packetBufferSize] = {};
        da_BinWriter writer(packet, packetBufferSize);
        if (!codec->pushSamples(input.data() + static_cast<std::size_t>(f) * blockSamples) ||
            !codec->analyzeAndEncode(writer)) {
            result.problem = "the codec refused the block of frame " + std::to_string(f);
            return result;
        }
        writer.writeBits(0, (8 - writer.bitPosition % 8) % 8);
        if (writer.overflowed()) {
            result.problem = "the packet of frame " + std::to_string(f) + " overflowed the packet buffer";
            return result;
        }
        result.packetStarts.push_back(result.bytes.size());
        result.bytes.insert(result.bytes.end(), packet, packet + writer.bitPosition / 8);
    }
    return result;
}

// What the converter's decode job does (ContainerReader): the codec built
// from the header's parameter block, per packet decodeAndSynthesize on at
// most packetBufferSize bytes, zero padding to the byte, popSamples.
Decoded decodeContainer(const std::vector<uint8_t>& container, const Path& path) {
    Decoded result;
    ContainerHeader header{};
    if (container.size() < static_cast<std::size_t>(containerHeaderSize) ||
        !decodeContainerHeader(container.data(), header)) {
        result.problem = "no container header";
        return result;
    }
    result.headerFrames = header.frameCount;
    const std::unique_ptr<Elb1764> codec = makeCodec(path, header.parameters);
    std::size_t offset = containerHeaderSize;
    int16_t block[blockSamples];
    for (int32_t f = 0; f < header.frameCount; ++f) {
        const std::size_t left = container.size() - offset;
        if (left == 0) {
            result.problem = "the file ends before the packet of frame " + std::to_string(f);
            return result;
        }
        da_BinReader reader(container.data() + offset, static_cast<int>(std::min<std::size_t>(left, packetBufferSize)));
        codec->decodeAndSynthesize(reader);
        const int padding = (8 - reader.bitPosition % 8) % 8;
        if (reader.readBits(padding) != 0) {
            result.problem = "non-zero padding after the packet of frame " + std::to_string(f);
            return result;
        }
        if (reader.overflowed()) {
            result.problem = "the packet of frame " + std::to_string(f) + " runs past the end of the file";
            return result;
        }
        codec->popSamples(block);
        result.samples.insert(result.samples.end(), block, block + blockSamples);
        offset += static_cast<std::size_t>(reader.bitPosition / 8);
    }
    if (offset != container.size())
        result.problem = std::to_string(container.size() - offset) + " bytes follow the last packet";
    return result;
}

uint64_t bytesHash(const uint8_t* data, std::size_t size) {
    uint64_t h = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001b3u;
    }
    return h;
}

uint64_t pcmHash(const Signal& samples) {
    std::vector<uint8_t> bytes(2 * samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const uint16_t u = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
    return bytesHash(bytes.data(), bytes.size());
}

std::string hex64(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::map<std::string, Expected> readManifest(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open the manifest " + path);
    std::map<std::string, Expected> entries;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, hash, extra;
        long long frames = -1;
        if (!(fields >> name >> frames >> hash) || (fields >> extra) || frames < 0 || hash.size() != 16 ||
            hash.find_first_not_of("0123456789abcdef") != std::string::npos || entries.count(name))
            throw std::runtime_error(path + ":" + std::to_string(number) + ": not 'NAME FRAMES HASH': " + line);
        entries[name] = Expected{static_cast<int32_t>(frames), std::stoull(hash, nullptr, 16)};
    }
    return entries;
}

std::string manifestText(const std::vector<std::pair<std::string, Expected>>& entries) {
    std::string text =
        "# The q58 conformance vectors (see ../README.md). Rewritten only by a deliberate\n"
        "# format change, never to make a failing test pass.\n"
        "# NAME FRAMES HASH: NAME.q58 holds FRAMES packets; HASH is the FNV-1a 64 of the\n"
        "# PCM it decodes to, 16-bit little-endian samples (the data chunk of NAME.q58.wav).\n";
    for (const auto& [name, expected] : entries)
        text += name + " " + std::to_string(expected.frames) + " " + hex64(expected.hash) + "\n";
    return text;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace conformance
