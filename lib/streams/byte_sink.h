// ByteSink: bytes written by offset to a file, a memory block or a caller's
// functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Bytes stored by offset, the writing twin of ByteSource: a file, a growing
// memory block or a caller's functions. Writers keep their own offsets, so
// a header can be rewritten once the data behind it is known.
//
// A sink that fails stays failed: it stores nothing more, and flush()
// reports the failure, so a writer may check once at the end.
class ByteSink {
public:
    virtual ~ByteSink() = default;

    // Stores count bytes at offset, overwriting or extending what is there.
    // Returns the bytes stored: count, or fewer when the sink failed on the
    // way (0 when it had failed before, or cannot reach offset).
    virtual size_t writeAt(uint64_t offset, const uint8_t* source, size_t count) = 0;

    // Pushes what is buffered towards its destination. False when that or
    // any earlier store failed.
    virtual bool flush() = 0;

    // False when only forward, gapless writing works (offset must be where
    // the last write ended).
    virtual bool canSeek() const = 0;

    // True once a store or a flush has failed.
    virtual bool failed() const = 0;
};

// A file created (or truncated) for binary writing, buffered by the C
// library.
class FileByteSink : public ByteSink {
public:
    // How the file is opened: created or truncated, or an existing file
    // opened for update with its contents kept.
    enum class Opening { create, update };
    // fileName is a narrow byte string; opened() tells whether that worked.
    explicit FileByteSink(const char* fileName, Opening opening = Opening::create);
    ~FileByteSink() override;
    FileByteSink(const FileByteSink&) = delete;
    FileByteSink& operator=(const FileByteSink&) = delete;

    bool opened() const { return file != nullptr; }
    size_t writeAt(uint64_t offset, const uint8_t* source, size_t count) override;
    bool flush() override;
    bool canSeek() const override { return true; }
    bool failed() const override { return broken; }
    // The file's length as the system reports it (what was flushed); -1 when
    // the file is not open or the sink failed.
    int64_t size();
    // Flushes, then cuts the file to length bytes (or extends it with
    // zeros). False, and the sink failed, when that did not work.
    bool truncate(uint64_t length);
    // Flushes and closes the file. False when anything written was lost.
    bool close();

private:
    std::FILE* file;
    uint64_t position = 0;  // where the next fwrite stores
    uint64_t writebackFrom = 0;  // position when the system was last asked to write the file out
    bool positionKnown = true;
    bool broken;
};

// A memory block that grows as bytes are stored; a gap left by a write past
// the end reads as zeros.
class MemoryByteSink : public ByteSink {
public:
    size_t writeAt(uint64_t offset, const uint8_t* source, size_t count) override;
    bool flush() override { return !broken; }
    bool canSeek() const override { return true; }
    bool failed() const override { return broken; }

    const std::vector<uint8_t>& bytes() const { return stored; }

private:
    std::vector<uint8_t> stored;
    bool broken = false;
};

// A caller's write function and, optionally, its seek function. write
// returns the bytes it stored (anything less than asked is a failure); seek
// returns 0 when the next write stores at offset. Without seek only forward,
// gapless writing works.
struct ByteSinkFunctions {
    size_t (*write)(void* user, const void* source, size_t count);
    int (*seek)(void* user, uint64_t offset);
};

class CallbackByteSink : public ByteSink {
public:
    CallbackByteSink(const ByteSinkFunctions& functions, void* user) : functions(functions), user(user) {}

    size_t writeAt(uint64_t offset, const uint8_t* source, size_t count) override;
    bool flush() override { return !broken; }
    bool canSeek() const override { return functions.seek != nullptr; }
    bool failed() const override { return broken; }

private:
    ByteSinkFunctions functions;
    void* user;
    uint64_t position = 0;
    bool broken = false;
};
