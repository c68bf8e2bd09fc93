#include "formats/container_writer.h"

#include "bits/bin_writer.h"
#include "codec/elb1764.h"

ContainerWriter::ContainerWriter(std::ostream& output, const CodecParameters& parameters,
                                 const EncoderTuning& tuning, int32_t expectedFrames)
    : output(output), parameters(parameters), codec(std::make_unique<Elb1764>(parameters, tuning)),
      headerFrames(expectedFrames)
{
    uint8_t header[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{parameters, expectedFrames}, header);
    output.write(reinterpret_cast<const char*>(header), containerHeaderSize);
}

ContainerWriter::~ContainerWriter() = default;

int ContainerWriter::writeBlock(const int16_t* block)
{
    if (frames == INT32_MAX) return 0;
    codec->pushSamples(block);
    uint8_t packet[packetBufferSize];
    da_BinWriter writer(packet, packetBufferSize);
    codec->analyzeAndEncode(writer);
    writer.writeBits(0, (8 - writer.bitPosition % 8) % 8);
    // Never store a clipped packet.
    if (writer.overflowed()) return 0;
    const int packetBytes = writer.bitPosition / 8;
    output.write(reinterpret_cast<const char*>(packet), packetBytes);
    totalBytes += packetBytes;
    ++frames;
    return packetBytes;
}

bool ContainerWriter::finish()
{
    if (frames != headerFrames) {
        uint8_t header[containerHeaderSize];
        encodeContainerHeader(ContainerHeader{parameters, frames}, header);
        output.seekp(containerHeaderSize - 4);
        output.write(reinterpret_cast<const char*>(header + containerHeaderSize - 4), 4);
        output.seekp(0, std::ios::end);
        headerFrames = frames;
    }
    output.flush();
    return static_cast<bool>(output);
}
