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
    // Large buffers go on huge pages where the system grants them, for a
    // reader whose window is filled whole; a writer that hands its bytes
    // over a few hundred kilobytes at a time touches only those, so its
    // buffer stays on ordinary pages (a huge page is zeroed whole on its
    // first touch).
    enum class Pages { hugeWhenLarge, ordinary };
    explicit FileSABuffer(int capacity, Pages pages = Pages::hugeWhenLarge);
    ~FileSABuffer();

    FileSABuffer(const FileSABuffer&) = delete;
    FileSABuffer& operator=(const FileSABuffer&) = delete;

    uint8_t* data;   // capacity bytes, owned, not initialised
    int capacity;
    bool onHugePages;  // how data was allocated
    int64_t start;   // file offset of data[0]
    int length;      // meaningful bytes at the front of data
};
