#include "streams/byte_window.h"

#include <cstring>

ByteWindow::ByteWindow(ByteSource& source, int capacity)
    : source(source), buffer(static_cast<size_t>(capacity))
{
}

const uint8_t* ByteWindow::view(uint64_t offset, int want, int& count)
{
    count = 0;
    const size_t wanted = static_cast<size_t>(want > 0 ? want : 0);
    if (offset < start || offset > start + length) {
        start = offset;
        length = 0;
        endSeen = false;
    } else if (offset + wanted > start + length && !endSeen) {
        // Keep the bytes from offset on, at the front.
        const size_t skip = static_cast<size_t>(offset - start);
        std::memmove(buffer.data(), buffer.data() + skip, length - skip);
        start = offset;
        length -= skip;
    }
    while (offset + wanted > start + length && !endSeen && length < buffer.size()) {
        const int64_t got = source.readAt(start + length, buffer.data() + length, buffer.size() - length);
        if (got < 0) {
            length = 0;  // nothing cached survives a failure
            endSeen = false;
            return nullptr;
        }
        if (got == 0) endSeen = true;
        length += static_cast<size_t>(got);
    }
    const uint64_t held = start + length - offset;
    count = static_cast<int>(held < wanted ? held : wanted);
    return buffer.data() + (offset - start);
}
