#include "formats/container_writer.h"

#include "bits/bin_writer.h"
#include "codec/elb1764.h"

ContainerWriter::ContainerWriter(ByteSink& output, const CodecParameters& parameters,
                                 const EncoderTuning& tuning, int32_t expectedFrames)
    : output(output), parameters(parameters), codec(std::make_unique<Elb1764>(parameters, tuning)),
      headerFrames(expectedFrames)
{
    uint8_t header[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{parameters, expectedFrames}, header);
    output.writeAt(0, header, containerHeaderSize);
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
    // Packets follow the header back to back.
    output.writeAt(static_cast<uint64_t>(containerHeaderSize + totalBytes), packet, static_cast<size_t>(packetBytes));
    totalBytes += packetBytes;
    ++frames;
    return packetBytes;
}

bool ContainerWriter::finish()
{
    if (frames != headerFrames) {
        uint8_t header[containerHeaderSize];
        encodeContainerHeader(ContainerHeader{parameters, frames}, header);
        output.writeAt(containerHeaderSize - 4, header + containerHeaderSize - 4, 4);
        headerFrames = frames;
    }
    return output.flush();
}
