#include "formats/container_writer.h"

#include "bits/bin_writer.h"
#include "codec/elb1764.h"
#include "codec/encoder_pipeline.h"

ContainerWriter::ContainerWriter(ByteSink& output, const CodecParameters& parameters,
                                 const EncoderTuning& tuning, int32_t expectedFrames, int encoderThreads)
    : output(output), parameters(parameters), codec(std::make_unique<Elb1764>(parameters, tuning)),
      pipeline(std::make_unique<EncoderPipeline>(*codec, encoderThreads)), headerFrames(expectedFrames)
{
    uint8_t header[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{parameters, expectedFrames}, header);
    output.writeAt(0, header, containerHeaderSize);
}

ContainerWriter::~ContainerWriter() = default;

int ContainerWriter::writeBlock(const int16_t* block)
{
    if (frames == INT32_MAX) return 0;
    // Not while queued blocks wait: this one would come out before them.
    if (pipeline->queued() > 0 || !queueBlock(block)) return 0;
    return writeQueuedBlock();
}

bool ContainerWriter::queueBlock(const int16_t* block) { return pipeline->push(block); }

int ContainerWriter::queueCapacity() const { return EncoderPipeline::ringSize; }

int ContainerWriter::encoderThreads() const { return pipeline->threads(); }

int ContainerWriter::writeQueuedBlock()
{
    uint8_t packet[packetBufferSize];
    da_BinWriter writer(packet, packetBufferSize);
    if (!pipeline->pop(writer) || frames == INT32_MAX) return 0;
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
