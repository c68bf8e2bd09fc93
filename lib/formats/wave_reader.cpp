#include "formats/wave_reader.h"

WaveReader0::WaveReader0(const char* fileName)
    : input(fileName, streamBufferSize),
      error(input.failed()),
      format{0, 0, 0, 0, 0, 0},
      dataChunk{{{0, 0, 0, 0}}, 0, 0}
{
    if (error)
        return;

    const ChunkInfo riff = readChunk(input);
    ChunkId form;
    readId(input, form);
    const ChunkInfo fmt = readChunk(input);
    if (riff.id != riffId || form != waveId || fmt.id != fmtId) {
        error = true;
        return;
    }

    // A format chunk shorter than 16 bytes still has 16 read; the cursor then
    // goes to the chunk's declared end, where "data" must follow.
    const bool formatComplete = readFormat(input, format);
    input.setPosition(fmt.dataStart + static_cast<int64_t>(fmt.size));
    dataChunk = readChunk(input);
    error = !formatComplete || dataChunk.id != dataId;
}
