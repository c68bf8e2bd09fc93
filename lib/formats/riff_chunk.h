// ChunkId, ChunkInfo, ChunkMark: a RIFF chunk's 4-byte identifier, a chunk
// header that was read, and a chunk being written.
#pragma once

#include <cstdint>

#include "streams/storage_reader.h"
#include "streams/storage_writer.h"

// A RIFF chunk identifier: 4 raw bytes, compared byte for byte.
struct ChunkId {
    uint8_t bytes[4];
};

inline bool operator==(const ChunkId& a, const ChunkId& b)
{
    return a.bytes[0] == b.bytes[0] && a.bytes[1] == b.bytes[1] && a.bytes[2] == b.bytes[2] &&
           a.bytes[3] == b.bytes[3];
}

inline bool operator!=(const ChunkId& a, const ChunkId& b)
{
    return !(a == b);
}

// "RIFF", "WAVE", "fmt " (trailing blank) and "data".
extern const ChunkId riffId;
extern const ChunkId waveId;
extern const ChunkId fmtId;
extern const ChunkId dataId;

// The largest body a chunk's 32-bit size field can describe.
constexpr int64_t maxChunkBodySize = 0xFFFFFFFFLL;

// A chunk header that was read.
struct ChunkInfo {
    ChunkId id;         // all zero when the header could not be read in full
    int64_t dataStart;  // offset of the body's first byte
    uint32_t size;      // the size field as read
};

// A chunk being written, to be completed by endChunk.
struct ChunkMark {
    ChunkId id;
    int64_t dataStart;    // offset just after the 8-byte header
    int64_t headerStart;  // offset of the header's first byte
};

// Reads an 8-byte chunk header at the cursor. A header cut short yields an
// all-zero id, which matches none of the identifiers above.
ChunkInfo readChunk(StorageReader& input);

// Reads 4 identifier bytes one at a time, stopping at the first that fails;
// bytes not read are 0. True when all 4 were read.
bool readId(StorageReader& input, ChunkId& id);

// Writes a chunk header with size 0 at the cursor and returns its mark.
ChunkMark beginChunk(StorageWriter& output, const ChunkId& id);

// Rewrites the header of mark with the number of bytes written since
// beginChunk and puts the cursor back at the end. True when the header was
// written in full and the size fits its 32-bit field (otherwise the field
// holds 0xFFFFFFFF).
bool endChunk(StorageWriter& output, const ChunkMark& mark);

// Writes 4 identifier bytes one at a time, stopping at the first refused.
// True when all 4 were written.
bool writeId(StorageWriter& output, const ChunkId& id);
