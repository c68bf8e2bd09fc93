// ContainerReader: decodes a .q58 container from a ByteSource into blocks of
// 882 stereo sample frames, and seeks to any frame.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/codec_parameters.h"
#include "streams/byte_source.h"
#include "streams/byte_window.h"
#include "formats/container_format.h"
#include "formats/packet_index.h"

class Elb1764;

// What one step of a container reader found. Anything but block leaves the
// reader where it was (the next call tries the same frame again).
enum class BlockRead {
    block,           // one block of 882 stereo sample frames decoded
    end,             // every frame the header counts has been read
    noBytesLeft,     // the data ends before the frame's packet starts
    nonZeroPadding,  // the packet's padding has a bit set: damaged data
    pastEnd,         // the packet runs past the end of the data
    readFailed,      // the source failed
};

// Reads a container from a byte source: the header, then one block of 882
// stereo sample frames (1764 int16, left and right interleaved) per packet,
// decoded through a fresh Elb1764 exactly as the converter's decode job does,
// and seeks to any frame. Seeking walks the packets in between without
// synthesis and keeps what it finds in a PacketIndex, so going back, or
// forward to a place seen before, is cheap.
class ContainerReader {
public:
    // tuning is only carried by the codec object; decoding never reads it.
    explicit ContainerReader(ByteSource& source, const EncoderTuning& tuning = defaultEncoderTuning);
    ~ContainerReader();
    ContainerReader(const ContainerReader&) = delete;
    ContainerReader& operator=(const ContainerReader&) = delete;

    // Reads and judges the header; call once, before anything else.
    HeaderCheck readHeader();
    // Meaningful once readHeader returned usable (or, for the parameters, undecodable).
    const ContainerHeader& header() const { return stored; }
    // Frames the header counts (a negative count counts as 0).
    int64_t frameCount() const { return stored.frameCount > 0 ? stored.frameCount : 0; }
    // The frame the next readBlock decodes.
    int64_t nextFrame() const { return frame; }

    // Decodes the next frame into block (blockSamples values).
    BlockRead readBlock(int16_t* block);

    // Makes frame (0..frameCount) the next one readBlock returns, with the
    // codec in the state straight decoding leaves there: the noise generator
    // from the index and the overlap of frame - 1, decoded and synthesised
    // again. With firstBlock, frame (then below frameCount) is also decoded
    // into it, and the next readBlock returns frame + 1. block on success;
    // on failure nothing changes, firstBlock included.
    BlockRead seek(int64_t frame, int16_t* firstBlock = nullptr);

    // After the last frame: true when the data goes on past the packets.
    bool bytesAfterLastFrame();

private:
    // Finds the start of frame target (at most frameCount - 1) by walking
    // packets from the nearest known place, extending the index.
    BlockRead walkTo(int64_t target, PacketIndex::Place& place);
    // Decodes the packet at offset into block through codec.
    BlockRead decodeAt(Elb1764& codec, ByteWindow& window, uint64_t offset, int16_t* block, int& packetBytes);
    std::unique_ptr<Elb1764> freshCodec() const;

    EncoderTuning tuning;
    ContainerHeader stored{};
    bool usable = false;
    ByteWindow window;      // for decoding
    ByteWindow walkWindow;  // for the index walk, so a walk leaves decoding where it was
    std::unique_ptr<PacketIndex> index;
    std::unique_ptr<Elb1764> codec;
    int64_t frame = 0;      // next frame to decode
    uint64_t offset = 0;    // where its packet starts
    bool restoreFirst = false;  // a failed step left the codec mid-frame; re-seek before decoding
};
