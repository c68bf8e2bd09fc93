// ByteSource: bytes read by offset from a file, a memory block or a caller's
// functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Read-only bytes addressed by offset: a file, a memory block or a caller's
// functions. Readers keep their own offsets, so that a seek index can walk
// ahead while the decoding position stays where it is, and a survey can look
// anywhere without disturbing anyone.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Reads up to count bytes starting at offset into destination. Returns
    // the bytes read (possibly fewer than count; 0 only at or past the end
    // of the data), or -1 when the source fails or cannot reach offset.
    virtual int64_t readAt(uint64_t offset, uint8_t* destination, size_t count) = 0;

    // False when only forward, gapless reading works.
    virtual bool canSeek() const = 0;

    // The length of the data when the source knows it, else -1.
    virtual int64_t size() { return -1; }
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
    // The file's length as the system reports it now; -1 when not opened.
    int64_t size() override;

private:
    std::FILE* file;
    uint64_t position = 0;  // where the next fread starts
    bool positionKnown = true;
};

// A memory block the caller keeps alive and unchanged.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data(data), length(size) {}
    int64_t readAt(uint64_t offset, uint8_t* destination, size_t count) override;
    bool canSeek() const override { return true; }
    int64_t size() override { return static_cast<int64_t>(length); }

private:
    const uint8_t* data;
    size_t length;
};

// A caller's read function and, optionally, its seek function. read returns
// the bytes it delivered (fewer is fine, 0 at the end) or a negative value on
// failure; seek returns 0 when the next read starts at offset. Without seek
// only forward, gapless reading works.
struct ByteSourceFunctions {
    int64_t (*read)(void* user, void* destination, size_t count);
    int (*seek)(void* user, uint64_t offset);
};

class CallbackByteSource : public ByteSource {
public:
    CallbackByteSource(const ByteSourceFunctions& functions, void* user) : functions(functions), user(user) {}

    int64_t readAt(uint64_t offset, uint8_t* destination, size_t count) override;
    bool canSeek() const override { return functions.seek != nullptr; }

private:
    ByteSourceFunctions functions;
    void* user;
    uint64_t position = 0;
    bool positionKnown = true;
};
