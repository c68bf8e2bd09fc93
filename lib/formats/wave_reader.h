// WaveReader0: opens a WAV file and walks its header up to the first sample
// byte.
#pragma once

#include "formats/riff_chunk.h"
#include "formats/wave_format.h"
#include "streams/file_reader_sa.h"

// Opens a WAV file and walks its header in a fixed order: "RIFF", "WAVE",
// "fmt ", "data", nothing searched for and nothing skipped except the part
// of the format chunk beyond 16 bytes. On success input's cursor stands at
// the first sample byte and the caller reads the samples from input.
// The reader does not judge the format: compare it with referenceFormat.
class WaveReader0 {
public:
    // fileName is a narrow byte string.
    explicit WaveReader0(const char* fileName);

    FileReaderSA input;   // buffered with streamBufferSize bytes
    bool error;           // file not opened, header cut short, or chunks out of order
    WaveFormat format;    // meaningful only when error is false
    ChunkInfo dataChunk;  // meaningful only when error is false
};
