#include "streams/file_writer_sa.h"

#include <algorithm>
#include <cstring>

FileWriterSA::FileWriterSA(const char* fileName, int capacity)
    : FileSABuffer(capacity),
      file(fileName, std::ios::out | std::ios::binary | std::ios::trunc),
      cursor(0),
      good(file.is_open()),
      opened(file.is_open()),
      bytesLost(false),
      closed(false)
{
}

FileWriterSA::~FileWriterSA()
{
    if (!closed)
        close();
}

void FileWriterSA::flush()
{
    if (length == 0) {
        // Nothing to write: just restart the run at the cursor. Skipping the
        // file here keeps a cursor parked outside the file from failing the
        // stream.
        start = cursor;
        return;
    }
    int accepted = 0;
    if (!file.fail()) {
        file.seekp(static_cast<std::streamoff>(start), std::ios::beg);
        file.write(reinterpret_cast<const char*>(data), length);
        // Push the bytes past the stream's own buffer now, so that a full
        // device is noticed here and not at some later, unrelated write.
        file.flush();
        if (!file.fail()) {
            const std::streamoff reached = file.tellp();
            if (reached >= 0)
                accepted = static_cast<int>(std::clamp<int64_t>(reached - start, 0, length));
        }
    }
    if (accepted == length) {
        // The next run begins at the cursor, wherever it has been moved to.
        start = cursor;
        length = 0;
        return;
    }
    // Keep the bytes the file did not take; the run keeps its end.
    std::memmove(data, data + accepted, static_cast<size_t>(length - accepted));
    start += accepted;
    length -= accepted;
    // A failed stream is never cleared, so what it refused will not reach
    // the file.
    if (file.fail())
        bytesLost = true;
}

int FileWriterSA::write(const uint8_t* source, int count)
{
    good = true;
    int accepted = 0;
    while (accepted < count) {
        if (cursor < 0) {
            good = false;  // no file offset to store at
            break;
        }
        if (!runOpenForAppending()) {
            flush();
            if (!runOpenForAppending()) {
                good = false;
                break;
            }
        }
        const int chunk = std::min(count - accepted, capacity - length);
        std::memcpy(data + length, source + accepted, static_cast<size_t>(chunk));
        length += chunk;
        cursor += chunk;
        accepted += chunk;
        if (length >= writeThroughSize && !file.fail())
            flush();
    }
    return accepted;
}

int64_t FileWriterSA::position()
{
    flush();
    return cursor;
}

int64_t FileWriterSA::setPosition(int64_t newPosition)
{
    cursor = newPosition;
    return cursor;
}

int64_t FileWriterSA::size()
{
    if (!file.is_open() || file.fail())
        return -1;
    file.seekp(0, std::ios::end);
    const std::streamoff end = file.tellp();
    return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool FileWriterSA::failed() const
{
    return !good || file.fail();
}

bool FileWriterSA::close()
{
    if (!closed) {
        closed = true;
        flush();
        if (file.is_open()) {
            file.close();
            if (file.fail())
                bytesLost = true;
        }
    }
    return opened && !bytesLost && length == 0;
}
