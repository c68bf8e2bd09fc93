// FileWriterSA: a file writer that gathers writes in one large buffer and lets
// the caller go back and patch earlier bytes.
#pragma once

#include <cstdint>

#include "streams/byte_sink.h"
#include "streams/file_sa_buffer.h"
#include "streams/storage_writer.h"

// Writes a file through one large buffer holding a single run of pending
// bytes. Appending at the end only fills the run; the file is touched when
// the run is full, when position() is asked, when a write does not continue
// the run, and at close. While the file takes bytes, a run that reaches
// writeThroughSize is also handed over early: the same few hundred kilobytes
// of buffer are then reused while hot, instead of touching megabytes of fresh
// memory (whose first-touch page faults cost more than decoding the audio).
// The capacity still bounds what stays pending once the file refuses bytes.
// Because a run is always flushed before a byte that does not continue it is
// stored, every byte lands at the offset the cursor had when it was written,
// and the caller may move back and patch earlier bytes (chunk sizes) while
// later ones are still buffered.
constexpr int writeThroughSize = 1 << 18;

class FileWriterSA : public StorageWriter, protected FileSABuffer {
public:
    // Creates or truncates fileName (a narrow byte string) for binary output.
    // failed() tells whether that succeeded.
    FileWriterSA(const char* fileName, int capacity);
    // Runs close() unless it was called.
    ~FileWriterSA();

    FileWriterSA(const FileWriterSA&) = delete;
    FileWriterSA& operator=(const FileWriterSA&) = delete;

    // Stores up to count bytes at the cursor and advances it by the number
    // accepted. A byte is refused (and the write stops) when the run cannot
    // take it even after a flush, or when the cursor is negative.
    int write(const uint8_t* source, int count) override;

    // Flushes, then returns the cursor (pending bytes count as written).
    int64_t position() override;
    // Moves the cursor; no flush, no file access.
    int64_t setPosition(int64_t newPosition) override;
    // Length of what has been flushed so far, -1 when the file never opened
    // or has failed. Pending bytes are not counted.
    int64_t size() override;

    // True when the last write fell short, the file did not open, or the
    // file has refused bytes.
    bool failed() const;

    // Flushes the pending run and closes the file. Returns true only when
    // the file opened and every byte ever accepted reached it: false after
    // any flush that left bytes out, a failed close, or bytes still pending.
    // Later calls report the same outcome (false if bytes were accepted
    // since).
    bool close();

    // The cursor without the flush that position() performs.
    int64_t cursorPosition() const { return cursor; }

    // The pending run, for inspection.
    const FileSABuffer& pending() const { return *this; }

private:
    bool runOpenForAppending() const { return start + length == cursor && length < capacity; }
    void flush();

    FileByteSink file;
    int64_t cursor;
    bool good;
    bool opened;
    bool bytesLost;  // sticky: some flush or the close could not get bytes into the file
    bool closed;
};
