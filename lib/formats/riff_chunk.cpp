#include "formats/riff_chunk.h"

#include "base/little_endian.h"

const ChunkId riffId = {{'R', 'I', 'F', 'F'}};
const ChunkId waveId = {{'W', 'A', 'V', 'E'}};
const ChunkId fmtId = {{'f', 'm', 't', ' '}};
const ChunkId dataId = {{'d', 'a', 't', 'a'}};

namespace {

const ChunkId noId = {{0, 0, 0, 0}};

// Identifier then size, each with one write; the size only if the whole
// identifier went out.
bool writeHeader(StorageWriter& output, const ChunkId& id, uint32_t size)
{
    if (output.write(id.bytes, 4) != 4)
        return false;
    uint8_t sizeBytes[4];
    putLe32(sizeBytes, size);
    return output.write(sizeBytes, 4) == 4;
}

}  // namespace

ChunkInfo readChunk(StorageReader& input)
{
    ChunkInfo chunk{noId, 0, 0};
    bool complete = input.read(chunk.id.bytes, 4) == 4;
    if (complete) {
        uint8_t sizeBytes[4] = {0, 0, 0, 0};
        complete = input.read(sizeBytes, 4) == 4;
        chunk.size = getLe32(sizeBytes);
    }
    chunk.dataStart = input.position();
    if (!complete)
        chunk.id = noId;  // a header cut short must not pass for any chunk
    return chunk;
}

bool readId(StorageReader& input, ChunkId& id)
{
    id = noId;
    for (int i = 0; i < 4; ++i) {
        if (input.read(&id.bytes[i], 1) != 1) {
            id.bytes[i] = 0;  // whatever a failed read left there
            return false;
        }
    }
    return true;
}

bool writeId(StorageWriter& output, const ChunkId& id)
{
    for (int i = 0; i < 4; ++i) {
        if (output.write(&id.bytes[i], 1) != 1)
            return false;
    }
    return true;
}

ChunkMark beginChunk(StorageWriter& output, const ChunkId& id)
{
    ChunkMark mark{id, 0, 0};
    mark.headerStart = output.position();
    writeHeader(output, id, 0);
    mark.dataStart = output.position();
    return mark;
}

bool endChunk(StorageWriter& output, const ChunkMark& mark)
{
    const int64_t end = output.position();
    const int64_t bodySize = end - mark.dataStart;
    const bool fits = bodySize >= 0 && bodySize <= maxChunkBodySize;
    const uint32_t sizeField = fits ? static_cast<uint32_t>(bodySize)
                                    : (bodySize < 0 ? 0u : 0xFFFFFFFFu);
    output.setPosition(mark.headerStart);
    const bool written = writeHeader(output, mark.id, sizeField);
    output.setPosition(end);
    return written && fits;
}
