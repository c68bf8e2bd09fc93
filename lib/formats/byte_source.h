// ByteSource: bytes read by offset from a file, a memory block or a caller's
// functions, for the container reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Read-only bytes addressed by offset: a file, a memory block or a caller's
// functions. The container reader keeps its own offsets, so that a seek
// index can walk ahead while the decoding position stays where it is.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Reads up to count bytes starting at offset into destination. Returns
    // the bytes read (possibly fewer than count; 0 only at or past the end
    // of the data), or -1 when the source fails or cannot reach offset.
    virtual int64_t readAt(uint64_t offset, uint8_t* destination, size_t count) = 0;

    // False when only forward, gapless reading works.
    virtual bool canSeek() const = 0;
};

// A file opened for binary reading. Reads are buffered by the C library;
// the file position moves only when a read does not continue the last one.
class FileByteSource : public ByteSource {
public:
    // fileName is a narrow byte string; opened() tells whether that worked.
    explicit FileByteSource(const char* fileName);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    bool opened() const { return file != nullptr; }
    int64_t readAt(uint64_t offset, uint8_t* destination, size_t count) override;
    bool canSeek() const override { return true; }

private:
    std::FILE* file;
    uint64_t position = 0;  // where the next fread starts
    bool positionKnown = true;
};

// A memory block the caller keeps alive and unchanged.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data(data), size(size) {}
    int64_t readAt(uint64_t offset, uint8_t* destination, size_t count) override;
    bool canSeek() const override { return true; }

private:
    const uint8_t* data;
    size_t size;
};
