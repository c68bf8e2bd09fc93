// WaveWriter0: creates a WAV file and fills in its size fields when it is
// closed.
#pragma once

#include <cstdint>

#include "formats/riff_chunk.h"
#include "formats/wave_format.h"
#include "streams/file_writer_sa.h"

// Creates a WAV file: a 44-byte header whose RIFF and data sizes are 0 until
// close() (or destruction) fills them in. The caller appends sample bytes
// with output.write and nothing else.
class WaveWriter0 {
public:
    // The most sample bytes a file can hold: the RIFF size field, which is
    // the data size plus 36, must fit in 32 bits.
    static constexpr int64_t maxDataBytes = 0xFFFFFFFFLL - 36;

    // fileName is a narrow byte string; the file is created or truncated.
    WaveWriter0(const char* fileName, WaveFormat writtenFormat);
    // Runs close() unless it was called.
    ~WaveWriter0();

    // Patches the data and RIFF sizes and closes the file. True only when the
    // file was created, the header and every sample byte accepted by
    // output.write reached the file, and the data fits the size fields.
    // Later calls return the same outcome.
    bool close();

    // Sample bytes appended so far (the cursor's distance past the header;
    // no flush, so it is cheap to ask after every block).
    int64_t sampleBytes() const;

    // True when byteCount more sample bytes still fit under maxDataBytes.
    bool canAppend(int64_t byteCount) const;

    FileWriterSA output;   // buffered with streamBufferSize bytes
    bool error;            // the file could not be created or a header step failed
    WaveFormat format;     // the format written
    ChunkMark riffChunk;
    ChunkMark dataChunk;

private:
    bool opened;
    bool closed;
    bool closeResult;
};
