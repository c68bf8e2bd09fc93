#include "streams/byte_sink.h"

#include <cstring>

#if defined(__linux__)
#include <fcntl.h>
#endif

#include "streams/file_offsets.h"

namespace {

// Flushed bytes after which the system is asked to start writing them to
// the device.
constexpr uint64_t writebackBytes = uint64_t{1} << 20;

}  // namespace

FileByteSink::FileByteSink(const char* fileName, Opening opening)
    : file(std::fopen(fileName, opening == Opening::update ? "r+b" : "wb")), broken(file == nullptr)
{
}

FileByteSink::~FileByteSink()
{
    if (file) std::fclose(file);
}

size_t FileByteSink::writeAt(uint64_t offset, const uint8_t* source, size_t count)
{
    if (broken || file == nullptr || count == 0) return 0;
    if (!positionKnown || offset != position) {
        // Flush first, so that a failure of the bytes written so far is
        // seen as this sink's failure and not lost in the seek.
        if (std::fflush(file) != 0 || !seekFile(file, offset)) {
            broken = true;
            return 0;
        }
        position = offset;
        positionKnown = true;
    }
    const size_t stored = std::fwrite(source, 1, count, file);
    position += stored;
    if (stored < count || std::ferror(file)) broken = true;
    return stored;
}

bool FileByteSink::flush()
{
    if (!broken && file != nullptr && std::fflush(file) != 0) broken = true;
#if defined(__linux__)
    // A large output otherwise stays in the page cache until the sync that
    // comes before it replaces its target, which then waits for all of it
    // (some 40 ms for ten minutes of audio): started as the bytes come, the
    // device writes while the converter works, and the sync waits for the
    // last stretch only. Only a hint: a failure shows at the sync.
    if (!broken && file != nullptr && position - writebackFrom >= writebackBytes) {
        ::sync_file_range(fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
        writebackFrom = position;
    }
#endif
    return !broken;
}

int64_t FileByteSink::size()
{
    if (file == nullptr || !flush()) return -1;
    positionKnown = false;  // the next write seeks again
    return fileLength(file);
}

bool FileByteSink::truncate(uint64_t length)
{
    if (file == nullptr || !flush()) return false;
    if (!truncateFile(file, length)) broken = true;
    positionKnown = false;
    return !broken;
}

bool FileByteSink::close()
{
    if (!file) return false;
    flush();
    if (std::fclose(file) != 0) broken = true;
    file = nullptr;
    return !broken;
}

size_t MemoryByteSink::writeAt(uint64_t offset, const uint8_t* source, size_t count)
{
    if (broken || count == 0) return 0;
    if (offset > SIZE_MAX - count) {
        broken = true;
        return 0;
    }
    const size_t end = static_cast<size_t>(offset) + count;
    try {
        if (stored.size() < end) stored.resize(end);
    } catch (...) {
        broken = true;
        return 0;
    }
    std::memcpy(stored.data() + offset, source, count);
    return count;
}

size_t CallbackByteSink::writeAt(uint64_t offset, const uint8_t* source, size_t count)
{
    if (broken || count == 0) return 0;
    if (offset != position) {
        if (functions.seek == nullptr || functions.seek(user, offset) != 0) {
            broken = true;
            return 0;
        }
        position = offset;
    }
    const size_t stored = functions.write(user, source, count);
    if (stored != count) {
        broken = true;
        return stored < count ? stored : 0;
    }
    position += count;
    return count;
}
