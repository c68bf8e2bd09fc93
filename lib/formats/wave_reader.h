// WaveReader0: opens a WAV file and walks its header up to the first sample
// byte. walkWaveHeader: that walk, shared with the WAV survey.
#pragma once

#include "formats/riff_chunk.h"
#include "formats/wave_format.h"
#include "streams/file_reader_sa.h"

// What the header walk found.
struct WaveHeader {
    bool complete;        // "RIFF", "WAVE", "fmt " with a full format body, then "data"
    WaveFormat format;    // as read; fields not read are 0
    ChunkInfo dataChunk;  // meaningful only when complete
};

// The one place that decides whether q58 can read a WAV header. Walks from
// the cursor in a fixed order: "RIFF", "WAVE", "fmt ", "data", nothing
// searched for and nothing skipped except the part of the format chunk
// beyond 16 bytes (a format chunk declared shorter still has 16 read, and
// "data" must follow at its declared end, with no pad byte). When complete,
// the cursor stands at the first sample byte. The format is not judged:
// compare it with referenceFormat.
WaveHeader walkWaveHeader(StorageReader& input);

// Opens a WAV file and walks its header; on success the caller reads the
// samples from input.
class WaveReader0 {
public:
    // fileName is a narrow byte string.
    explicit WaveReader0(const char* fileName);

    FileReaderSA input;   // buffered with streamBufferSize bytes
    bool error;           // file not opened, header cut short, or chunks out of order
    WaveFormat format;    // meaningful only when error is false
    ChunkInfo dataChunk;  // meaningful only when error is false
};
