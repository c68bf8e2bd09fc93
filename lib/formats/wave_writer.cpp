#include "formats/wave_writer.h"

WaveWriter0::WaveWriter0(const char* fileName, WaveFormat writtenFormat)
    : output(fileName, streamBufferSize),
      error(output.failed()),
      format(writtenFormat),
      // Where the header would put them; kept when the file cannot be
      // created, so that sampleBytes() still counts from offset 44.
      riffChunk{riffId, 8, 0},
      dataChunk{dataId, 44, 36},
      opened(!error),
      closed(false),
      closeResult(false)
{
    if (error) {
        output.setPosition(dataChunk.dataStart);
        return;
    }
    riffChunk = beginChunk(output, riffId);
    error = error || output.failed();
    writeId(output, waveId);
    error = error || output.failed();
    const ChunkMark fmt = beginChunk(output, fmtId);
    error = error || output.failed();
    writeFormat(output, format);
    error = error || output.failed();
    endChunk(output, fmt);
    error = error || output.failed();
    dataChunk = beginChunk(output, dataId);
    error = error || output.failed();
}

WaveWriter0::~WaveWriter0()
{
    if (!closed)
        close();
}

bool WaveWriter0::close()
{
    if (closed) {
        closeResult = closeResult && output.close();
        return closeResult;
    }
    closed = true;
    bool sizesWritten = false;
    if (opened) {
        const bool dataDone = endChunk(output, dataChunk);
        const bool riffDone = endChunk(output, riffChunk);
        sizesWritten = dataDone && riffDone;
    }
    const bool everythingWritten = output.close();
    closeResult = opened && !error && sizesWritten && everythingWritten;
    return closeResult;
}

int64_t WaveWriter0::sampleBytes() const
{
    return output.cursorPosition() - dataChunk.dataStart;
}

bool WaveWriter0::canAppend(int64_t byteCount) const
{
    return byteCount >= 0 && sampleBytes() <= maxDataBytes - byteCount;
}
