// ContainerWriter: encodes blocks of 882 stereo sample frames into a .q58
// container on a byte sink.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/codec_parameters.h"
#include "formats/container_format.h"
#include "streams/byte_sink.h"

class Elb1764;
class EncoderPipeline;

// Writes a container to a seekable byte sink: the header, then one
// packet per block of 882 stereo sample frames (1764 int16, left and right
// interleaved) coded by a fresh Elb1764 exactly as the converter's encode job
// does, and at the end the frame count patched to the packets written.
class ContainerWriter {
public:
    // Writes the header at once, with expectedFrames as its frame count.
    // encoderThreads 2 codes on two threads (see codec/encoder_pipeline.h),
    // with the same packets.
    ContainerWriter(ByteSink& output, const CodecParameters& parameters, const EncoderTuning& tuning,
                    int32_t expectedFrames = 0, int encoderThreads = 1);
    ~ContainerWriter();
    ContainerWriter(const ContainerWriter&) = delete;
    ContainerWriter& operator=(const ContainerWriter&) = delete;

    // Codes one block and appends its packet. Returns the packet's bytes,
    // or 0 when nothing was stored: the frame count is already at its
    // largest, the frame did not fit the packet buffer (which a parameter
    // block that passes the limits never causes), or blocks queued by
    // queueBlock still wait.
    int writeBlock(const int16_t* block);

    // writeBlock in two steps, so that on two threads later blocks are
    // analyzed while an earlier one is written: queueBlock hands a block to
    // the coder (false when queueCapacity() blocks wait already);
    // writeQueuedBlock codes the oldest waiting block and appends its packet,
    // returning what writeBlock returns for it (0 also when none waits).
    bool queueBlock(const int16_t* block);
    int writeQueuedBlock();
    int queueCapacity() const;
    int encoderThreads() const;

    // Makes the header's frame count equal framesWritten() when it differs
    // and flushes. False when the sink has failed.
    bool finish();

    int32_t framesWritten() const { return frames; }
    int64_t packetBytesWritten() const { return totalBytes; }
    bool streamFailed() const { return output.failed(); }

private:
    ByteSink& output;
    CodecParameters parameters;
    std::unique_ptr<Elb1764> codec;
    std::unique_ptr<EncoderPipeline> pipeline;  // drives codec
    int32_t headerFrames;
    int32_t frames = 0;
    int64_t totalBytes = 0;
};
