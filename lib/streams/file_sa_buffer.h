// FileSABuffer: the buffer record of FileReaderSA and FileWriterSA, a block of
// bytes standing for a range of file offsets.
#pragma once

#include <cstdint>

// Capacity the WAV reader and writer give their file buffers: an ordinary
// input file is fetched by one read, an output written in a few writes.
constexpr int streamBufferSize = 10000000;

// A window of bytes that stands for file offsets start .. start+length-1.
// The reader keeps the bytes loaded from the file in it, the writer the one
// run of bytes still waiting to be written.
struct FileSABuffer {
    explicit FileSABuffer(int capacity);
    ~FileSABuffer();

    FileSABuffer(const FileSABuffer&) = delete;
    FileSABuffer& operator=(const FileSABuffer&) = delete;

    uint8_t* data;   // capacity bytes, owned, not initialised
    int capacity;
    int64_t start;   // file offset of data[0]
    int length;      // meaningful bytes at the front of data
};
