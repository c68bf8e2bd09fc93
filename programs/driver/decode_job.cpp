#include <cstring>
#include <fstream>
#include <iostream>

#include "bits/bin_reader.h"
#include "codec/elb1764.h"
#include "codec/parameter_limits.h"
#include "driver/conversion_jobs.h"
#include "driver/file_names.h"
#include "driver/job_output.h"
#include "driver/refusal.h"
#include "driver/sample_bytes.h"
#include "driver/working_parameters.h"
#include "formats/container_format.h"
#include "formats/wave_writer.h"
#include "transform/frame_sizes.h"

namespace {

// Reads up to n bytes; returns how many arrived.
int readUpTo(std::ifstream& input, uint8_t* destination, int n)
{
    if (n <= 0 || !input)
        return 0;
    input.read(reinterpret_cast<char*>(destination), n);
    return static_cast<int>(input.gcount());
}

// Sliding window over the packets: the unread tail of the last fill moves
// to the front and the window is topped up from the file. Only bytes that
// really came from the file are offered to the bit reader, so a packet that
// runs past the end of the file shows up as a reader overflow instead of
// being decoded from invented bytes.
class PacketWindow {
public:
    explicit PacketWindow(std::ifstream& input) : input(input) { std::memset(bytes, 0, sizeof bytes); }

    // Tops the window up; false when the file has no byte left for a packet.
    bool refill()
    {
        std::memmove(bytes, bytes + consumed, static_cast<size_t>(valid));
        consumed = 0;
        valid += readUpTo(input, bytes + valid, packetBufferSize - valid);
        std::memset(bytes + valid, 0, static_cast<size_t>(packetBufferSize - valid));
        return valid > 0;
    }

    da_BinReader reader() const { return da_BinReader(bytes, valid); }

    // The packet read by reader took this many whole bytes.
    void consume(int packetBytes)
    {
        consumed = packetBytes;
        valid -= packetBytes;
    }

    // True when the file holds bytes that no packet has taken: the rest of
    // the window, or more of the file. A file ends right after its last
    // packet, so after the last frame this means damage (for instance a
    // frame count that shrank), not something to drop without a word.
    bool bytesLeft()
    {
        return valid > 0 || (input && input.peek() != std::ifstream::traits_type::eof());
    }

private:
    std::ifstream& input;
    uint8_t bytes[packetBufferSize];
    int valid = 0;     // bytes from the file, starting at the front after refill
    int consumed = 0;  // bytes of the last packet, moved out at the next refill
};

}  // namespace

uint64_t maxWaveDataBytes()
{
    // RIFF size = 36 + data size must fit 32 bits; keep whole blocks.
    return (UINT64_C(0xFFFFFFFF) - 36) / blockBytes * blockBytes;
}

JobOutcome decodeFile(std::string inputName, std::string outputName)
{
    return decodeFileWithLimit(std::move(inputName), std::move(outputName), maxWaveDataBytes());
}

JobOutcome decodeFileWithLimit(std::string inputName, std::string outputName, uint64_t maxDataBytes)
{
    if (!isRegularFile(inputName))
        return refuseContainer(inputName);
    std::ifstream input(inputName, std::ios::binary);
    uint8_t header[containerHeaderSize] = {};
    const int headerBytes = readUpTo(input, header, containerHeaderSize);
    if (headerBytes < 4 || !bytesEqual(header, containerMagic, 4))
        return refuseContainer(inputName);

    // The whole header is checked before any output exists: a damaged or
    // hostile parameter block must never reach the decoder.
    ContainerHeader stored{};
    if (headerBytes < containerHeaderSize || !decodeContainerHeader(header, stored)) {
        reportProblem(inputName.c_str(), "the container header is incomplete; not decoded");
        return JobOutcome::failed;
    }
    if (!codecParametersDecodable(stored.parameters)) {
        reportProblem(inputName.c_str(), "the container header holds parameters this decoder cannot use safely; not decoded");
        return JobOutcome::failed;
    }

    if (sameFile(inputName, outputName)) {
        reportProblem(outputName.c_str(), sameFileProblem);
        return JobOutcome::failed;
    }

    std::cout << "decoding : '" << inputName << "' to : '" << outputName << "'" << std::endl;

    JobOutput destination(outputName);
    if (!destination.ok()) {
        reportCreationProblem(outputName, destination.problem());
        return JobOutcome::failed;
    }
    WaveWriter0 wave(destination.temporaryName().c_str(), referenceFormat);
    bool outputFailed = wave.error;

    Elb1764 codec(stored.parameters, encoderTuning);
    PacketWindow window(input);
    int16_t samples[blockSamples];
    uint8_t sampleBytes[blockBytes];
    const char* damage = nullptr;
    uint64_t dataBytes = 0;

    for (int32_t i = 0; i < stored.frameCount; ++i) {
        if (!window.refill()) {
            damage = "the file ends before its last frame; decoded the frames present";
            break;
        }
        da_BinReader reader = window.reader();
        codec.decodeAndSynthesize(reader);
        const int padding = (8 - reader.bitPosition % 8) % 8;
        if (reader.readBits(padding) > 0) {
            damage = "a frame is damaged (non-zero padding); decoded the frames before it";
            break;
        }
        if (reader.overflowed()) {
            damage = "the last frame runs past the end of the file; decoded the frames before it";
            break;
        }
        window.consume(reader.bitPosition / 8);

        codec.popSamples(samples);
        if (dataBytes + blockBytes > maxDataBytes) {
            damage = "the decoded audio would exceed the 4 GiB limit of a WAV file; stopped there";
            break;
        }
        samplesToBytes(samples, sampleBytes, blockSamples);
        if (wave.output.write(sampleBytes, blockBytes) != blockBytes)
            outputFailed = true;
        dataBytes += blockBytes;

        std::cout << (100 * static_cast<int64_t>(i + 1)) / stored.frameCount << " %" << '\r';
    }
    if (!damage && window.bytesLeft())
        damage = "the file goes on after its last frame; those bytes were not decoded";
    std::cout << "done." << std::endl;

    if (!wave.close())
        outputFailed = true;
    // What a damaged input let decode is still put in place: it is all the
    // user can recover. A file that could not be written in full never is.
    if (outputFailed)
        destination.abandon();
    const bool placed = !outputFailed && destination.commit();

    if (damage)
        reportProblem(inputName.c_str(), damage);
    if (outputFailed)
        reportWriteProblem(outputName);
    else if (!placed)
        reportPlacementProblem(outputName, destination.problem());
    return (damage || !placed) ? JobOutcome::failed : JobOutcome::converted;
}
