// FileReaderSA: a file reader that serves many small reads from one large
// buffer (SA: the buffered file streams of this folder).
#pragma once

#include <cstdint>

#include "streams/byte_source.h"
#include "streams/file_sa_buffer.h"
#include "streams/storage_reader.h"

// Reads a file through one large window so that thousands of small requests
// (header fields, 3528-byte sample blocks) cost a single file read per
// window. The window is refilled starting exactly at the cursor that missed
// it; bytes beyond the loaded length are never delivered.
class FileReaderSA : public StorageReader, protected FileSABuffer {
public:
    // Opens fileName (a narrow byte string) for binary input. Reads nothing
    // yet; failed() tells whether the open succeeded.
    FileReaderSA(const char* fileName, int capacity);

    // Delivers up to count bytes from the cursor on and advances the cursor
    // by the number delivered. At the first byte that cannot be delivered
    // (end of file, cursor outside the file, unusable file) it stores a 0 in
    // destination at that index, leaves the rest untouched and stops.
    int read(uint8_t* destination, int count) override;

    int64_t position() override { return cursor; }
    int64_t setPosition(int64_t newPosition) override;
    // The file's length, -1 when it never opened. Leaves cursor and window
    // as they are.
    int64_t size() override;

    // True when the file did not open (right after construction) or when the
    // last read fell short.
    bool failed() const { return !good; }

    // The current window, for inspection.
    const FileSABuffer& window() const { return *this; }

private:
    bool inWindow(int64_t offset) const;
    void refill();

    FileByteSource file;
    int64_t cursor;
    bool good;
};
