#include "streams/file_reader_sa.h"

#include <algorithm>
#include <cstring>

FileReaderSA::FileReaderSA(const char* fileName, int capacity)
    : FileSABuffer(capacity),
      file(fileName, std::ios::in | std::ios::binary),
      cursor(0),
      good(file.is_open())
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
    // Forget an end-of-file or failure left by an earlier refill; a file
    // that never opened still delivers nothing.
    file.clear();
    start = cursor;
    length = 0;
    if (cursor < 0 || !file.is_open())
        return;
    file.seekg(static_cast<std::streamoff>(cursor), std::ios::beg);
    if (file.fail())
        return;
    file.read(reinterpret_cast<char*>(data), capacity);
    length = static_cast<int>(std::max<std::streamsize>(file.gcount(), 0));
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
    if (!file.is_open())
        return -1;
    // Every refill positions the file itself, so moving it here is harmless.
    file.clear();
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    file.clear();
    return end < 0 ? -1 : static_cast<int64_t>(end);
}
