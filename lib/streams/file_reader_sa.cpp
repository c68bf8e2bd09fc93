#include "streams/file_reader_sa.h"

#include <algorithm>
#include <cstring>

FileReaderSA::FileReaderSA(const char* fileName, int capacity)
    : FileSABuffer(capacity),
      file(fileName),
      cursor(0),
      good(file.opened())
{
}

int64_t FileReaderSA::setPosition(int64_t newPosition)
{
    cursor = newPosition;
    return cursor;
}

bool FileReaderSA::inWindow(int64_t offset) const
{
    // A loaded window always starts at a non-negative offset, so once
    // offset >= start the difference cannot overflow.
    return length > 0 && offset >= start && offset - start < length;
}

void FileReaderSA::refill()
{
    // A failed read leaves an empty window, so the next read tries again
    // at the same offset; a file that never opened delivers nothing.
    start = cursor;
    length = 0;
    if (cursor < 0 || !file.opened())
        return;
    const int64_t got = file.readAt(static_cast<uint64_t>(cursor), data, static_cast<size_t>(capacity));
    length = got > 0 ? static_cast<int>(got) : 0;
}

int FileReaderSA::read(uint8_t* destination, int count)
{
    good = true;
    int delivered = 0;
    while (delivered < count) {
        if (!inWindow(cursor))
            refill();
        if (!inWindow(cursor)) {
            good = false;
            destination[delivered] = 0;
            break;
        }
        // Copy as much of the request as the window holds from the cursor on;
        // the byte after it triggers a refill at exactly that offset.
        const int64_t offset = cursor - start;
        const int available = length - static_cast<int>(offset);
        const int chunk = std::min(count - delivered, available);
        std::memcpy(destination + delivered, data + offset, static_cast<size_t>(chunk));
        delivered += chunk;
        cursor += chunk;
    }
    return delivered;
}

int64_t FileReaderSA::size()
{
    return file.size();
}
