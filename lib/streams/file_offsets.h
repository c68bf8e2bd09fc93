// 64-bit positions in C library files on every platform.
#pragma once

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

inline bool seekFile(std::FILE* file, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The file's length; leaves the position at the end. -1 when unknown.
inline int64_t fileLength(std::FILE* file)
{
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(_ftelli64(file));
#else
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(ftello(file));
#endif
}

// Cuts a flushed file to length bytes, or extends it with zeros.
inline bool truncateFile(std::FILE* file, uint64_t length)
{
    if (length > static_cast<uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
    return _chsize_s(_fileno(file), static_cast<long long>(length)) == 0;
#else
    return ftruncate(fileno(file), static_cast<off_t>(length)) == 0;
#endif
}
