#include "formats/container_reader.h"

#include <algorithm>

#include "bits/bin_reader.h"
#include "codec/elb1764.h"
#include "formats/packet_walk.h"
#include "base/frame_sizes.h"

ContainerReader::ContainerReader(ByteSource& source, const EncoderTuning& tuning)
    : tuning(tuning), window(source), walkWindow(source)
{
}

ContainerReader::~ContainerReader() = default;

HeaderCheck ContainerReader::readHeader()
{
    int count = 0;
    const uint8_t* view = window.view(0, containerHeaderSize, count);
    if (view == nullptr) return HeaderCheck::readFailed;
    const HeaderCheck check = checkContainerHeader(view, count, stored);
    if (check != HeaderCheck::usable) return check;
    usable = true;
    index = std::make_unique<PacketIndex>(containerHeaderSize);
    codec = freshCodec();
    frame = 0;
    offset = containerHeaderSize;
    return HeaderCheck::usable;
}

std::unique_ptr<Elb1764> ContainerReader::freshCodec() const
{
    return std::make_unique<Elb1764>(stored.parameters, tuning);
}

BlockRead ContainerReader::decodeAt(Elb1764& decoder, ByteWindow& bytes, uint64_t at, int16_t* block, int& packetBytes)
{
    int count = 0;
    const uint8_t* view = bytes.view(at, packetBufferSize, count);
    if (view == nullptr) return BlockRead::readFailed;
    if (count == 0) return BlockRead::noBytesLeft;
    // Only bytes that really came from the data are offered, so a packet
    // that runs past the end shows up as an overflow of the bit reader.
    da_BinReader reader(view, count);
    decoder.decodeAndSynthesize(reader);
    const int padding = (8 - reader.bitPosition % 8) % 8;
    if (reader.readBits(padding) > 0) return BlockRead::nonZeroPadding;
    if (reader.overflowed()) return BlockRead::pastEnd;
    decoder.popSamples(block);
    packetBytes = reader.bitPosition / 8;
    return BlockRead::block;
}

BlockRead ContainerReader::readBlock(int16_t* block)
{
    if (!usable || frame >= frameCount()) return BlockRead::end;
    if (restoreFirst) {
        const BlockRead restored = seek(frame);
        if (restored != BlockRead::block) return restored;
    }
    int packetBytes = 0;
    const BlockRead result = decodeAt(*codec, window, offset, block, packetBytes);
    if (result != BlockRead::block) {
        restoreFirst = true;
        return result;
    }
    if (frame == index->frontier().frame) index->advanceFrontier(packetBytes, codec->noiseGenerator());
    offset += static_cast<uint64_t>(packetBytes);
    ++frame;
    return BlockRead::block;
}

BlockRead ContainerReader::walkTo(int64_t target, PacketIndex::Place& place)
{
    place = index->nearestAtOrBefore(target);
    const PacketIndex::Place start = place;
    while (place.frame < target) {
        int count = 0;
        const uint8_t* view = walkWindow.view(place.offset, packetBufferSize, count);
        if (view == nullptr) return BlockRead::readFailed;
        if (count == 0) return BlockRead::noBytesLeft;
        const PacketExtent extent = measurePacket(stored.parameters, view, count);
        if (extent.check == PacketCheck::nonZeroPadding) return BlockRead::nonZeroPadding;
        if (extent.check == PacketCheck::pastEnd) return BlockRead::pastEnd;
        if (place.frame == index->frontier().frame) index->advanceFrontier(extent.bytes);
        place = PacketIndex::Place{place.frame + 1, place.offset + static_cast<uint64_t>(extent.bytes),
                                   NoiseGeneratorState{0, 0}, false};
    }
    // Every frame draws noiseBins values, whatever its codes, so the state at
    // a frame is the one after frame * noiseBins draws from the start, which
    // the table of generator checkpoints reaches in fewer than 2^17 steps.
    // From a known start the walk goes on by drawing when that is shorter.
    // Otherwise the index checkpoint at or before the target gets its state
    // from the table and keeps it (or the start, when that lies after it),
    // so that later seeks near the target pay only the frames after it.
    const int64_t drawsPerFrame = stored.parameters.noiseBins;
    const int64_t walkedDraws = (place.frame - start.frame) * drawsPerFrame;
    if (start.noiseKnown && walkedDraws <= noiseGeneratorStepsAfterDraws(place.frame * drawsPerFrame)) {
        place.noise = advanceNoiseGenerator(start.noise, walkedDraws);
    } else {
        const int64_t checkpoint = place.frame - place.frame % PacketIndex::checkpointInterval;
        const int64_t anchor = std::max(checkpoint, start.frame);
        const NoiseGeneratorState anchorNoise = noiseGeneratorAfterDraws(anchor * drawsPerFrame);
        index->learnNoise(anchor, anchorNoise);
        place.noise = advanceNoiseGenerator(anchorNoise, (place.frame - anchor) * drawsPerFrame);
    }
    place.noiseKnown = true;
    index->learnNoise(place.frame, place.noise);
    return BlockRead::block;
}

BlockRead ContainerReader::seek(int64_t target, int16_t* firstBlock)
{
    if (!usable || target < 0 || target > frameCount()) return BlockRead::end;
    if (firstBlock != nullptr && target == frameCount()) return BlockRead::end;
    // Everything is done on a new codec and local offsets and kept only
    // once every packet needed is decoded: a failure leaves the reader as it was.
    std::unique_ptr<Elb1764> restarted = freshCodec();
    uint64_t at = containerHeaderSize;
    int16_t block[blockSamples];
    int packetBytes = 0;
    if (target > 0) {
        // Block target is the tail of frame target - 1 plus the head of
        // frame target: decode frame target - 1 into an empty overlap
        // buffer, from the generator state straight decoding has there,
        // and drop its block.
        PacketIndex::Place place{};
        const BlockRead walked = walkTo(target - 1, place);
        if (walked != BlockRead::block) return walked;
        restarted->setNoiseGenerator(place.noise);
        const BlockRead decoded = decodeAt(*restarted, window, place.offset, block, packetBytes);
        if (decoded != BlockRead::block) return decoded;
        if (place.frame == index->frontier().frame) index->advanceFrontier(packetBytes, restarted->noiseGenerator());
        at = place.offset + static_cast<uint64_t>(packetBytes);
    }
    int64_t next = target;
    if (firstBlock != nullptr) {
        const BlockRead decoded = decodeAt(*restarted, window, at, block, packetBytes);
        if (decoded != BlockRead::block) return decoded;
        if (target == index->frontier().frame) index->advanceFrontier(packetBytes, restarted->noiseGenerator());
        std::copy(block, block + blockSamples, firstBlock);
        at += static_cast<uint64_t>(packetBytes);
        next = target + 1;
    }
    codec = std::move(restarted);
    frame = next;
    offset = at;
    restoreFirst = false;
    return BlockRead::block;
}

bool ContainerReader::bytesAfterLastFrame()
{
    int count = 0;
    const uint8_t* view = window.view(offset, 1, count);
    return view != nullptr && count > 0;
}
