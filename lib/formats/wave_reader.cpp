#include "formats/wave_reader.h"

WaveHeader walkWaveHeader(StorageReader& input)
{
    WaveHeader header{false, {0, 0, 0, 0, 0, 0}, {{{0, 0, 0, 0}}, 0, 0}};
    const ChunkInfo riff = readChunk(input);
    ChunkId form;
    readId(input, form);
    const ChunkInfo fmt = readChunk(input);
    if (riff.id != riffId || form != waveId || fmt.id != fmtId)
        return header;
    const bool formatComplete = readFormat(input, header.format);
    input.setPosition(fmt.dataStart + static_cast<int64_t>(fmt.size));
    header.dataChunk = readChunk(input);
    header.complete = formatComplete && header.dataChunk.id == dataId;
    return header;
}

WaveReader0::WaveReader0(const char* fileName)
    : input(fileName, streamBufferSize),
      error(input.failed()),
      format{0, 0, 0, 0, 0, 0},
      dataChunk{{{0, 0, 0, 0}}, 0, 0}
{
    if (error)
        return;
    const WaveHeader header = walkWaveHeader(input);
    error = !header.complete;
    format = header.format;
    dataChunk = header.dataChunk;
}
