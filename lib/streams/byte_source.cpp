#include "streams/byte_source.h"

#include <algorithm>
#include <cstring>

#include "streams/file_offsets.h"

FileByteSource::FileByteSource(const char* fileName) : file(std::fopen(fileName, "rb")) {}

FileByteSource::~FileByteSource()
{
    if (file) std::fclose(file);
}

int64_t FileByteSource::readAt(uint64_t offset, uint8_t* destination, size_t count)
{
    if (!file) return -1;
    if (!positionKnown || offset != position) {
        positionKnown = false;
        if (!seekFile(file, offset)) return -1;
        position = offset;
        positionKnown = true;
    }
    const size_t got = std::fread(destination, 1, count, file);
    position += got;
    if (got < count && std::ferror(file)) {
        std::clearerr(file);
        positionKnown = false;
        return -1;
    }
    std::clearerr(file);  // the end of the file is not sticky: a later read at an earlier offset works
    return static_cast<int64_t>(got);
}

int64_t FileByteSource::size()
{
    if (!file) return -1;
    // The next read seeks again.
    positionKnown = false;
    return fileLength(file);
}

int64_t MemoryByteSource::readAt(uint64_t offset, uint8_t* destination, size_t count)
{
    if (offset >= length) return 0;
    const size_t n = std::min(count, static_cast<size_t>(length - offset));
    std::memcpy(destination, data + offset, n);
    return static_cast<int64_t>(n);
}

int64_t CallbackByteSource::readAt(uint64_t offset, uint8_t* destination, size_t count)
{
    if (!positionKnown || offset != position) {
        if (functions.seek == nullptr) return -1;
        // A seek that fails may still have moved the input: until one
        // works, every read seeks first.
        positionKnown = false;
        if (functions.seek(user, offset) != 0) return -1;
        position = offset;
        positionKnown = true;
    }
    // One call: the caller's function may return fewer bytes, and the
    // window asks again for what it still needs.
    const int64_t got = functions.read(user, destination, count);
    if (got < 0 || static_cast<uint64_t>(got) > count) {
        positionKnown = false;  // where the failed read left the input is unknown
        return -1;
    }
    position += static_cast<uint64_t>(got);
    return got;
}
