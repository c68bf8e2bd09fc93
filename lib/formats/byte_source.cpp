#include "formats/byte_source.h"

#include <algorithm>
#include <cstring>

namespace {

// 64-bit file positions on every platform.
bool seekFile(std::FILE* file, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

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

int64_t MemoryByteSource::readAt(uint64_t offset, uint8_t* destination, size_t count)
{
    if (offset >= size) return 0;
    const size_t n = std::min(count, static_cast<size_t>(size - offset));
    std::memcpy(destination, data + offset, n);
    return static_cast<int64_t>(n);
}
