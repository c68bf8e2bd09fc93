#include "streams/file_writer_sa.h"

#include <algorithm>
#include <cstring>

FileWriterSA::FileWriterSA(const char* fileName, int capacity)
    : FileSABuffer(capacity, Pages::ordinary),
      file(fileName),
      cursor(0),
      good(file.opened()),
      opened(file.opened()),
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
    // Push the bytes past the C library's buffer now, so that a full device
    // is noticed here and not at some later, unrelated write. A run counts
    // as written only when all of it went out and the flush succeeded.
    const bool written = start >= 0 &&
                         file.writeAt(static_cast<uint64_t>(start), data, static_cast<size_t>(length)) ==
                             static_cast<size_t>(length) &&
                         file.flush();
    if (written) {
        // The next run begins at the cursor, wherever it has been moved to.
        start = cursor;
        length = 0;
        return;
    }
    // Keep the run: a failed file stays failed, so what it refused will
    // not reach the file.
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
        if (length >= writeThroughSize && !file.failed())
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
    return file.size();
}

bool FileWriterSA::failed() const
{
    return !good || file.failed();
}

bool FileWriterSA::close()
{
    if (!closed) {
        closed = true;
        flush();
        if (opened && !file.close())
            bytesLost = true;
    }
    return opened && !bytesLost && length == 0;
}
