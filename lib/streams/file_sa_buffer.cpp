#include "streams/file_sa_buffer.h"

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define Q58_SANITIZED_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define Q58_SANITIZED_BUILD 1
#endif

#if defined(__linux__) && !defined(Q58_SANITIZED_BUILD)
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#define Q58_HUGE_PAGE_BUFFERS 1
#endif

namespace {

#ifdef Q58_HUGE_PAGE_BUFFERS
// A window of several megabytes is filled by one read into memory that was
// never touched, and a page fault per 4 KiB page made up about a sixth of
// an encode's time on a virtual machine. Large windows therefore sit on 2 MiB
// boundaries and ask the kernel for huge pages (where it grants them only
// on request); without them the memory is ordinary and still correct.
constexpr std::size_t hugePageBytes = std::size_t{1} << 21;

bool wantsHugePages(int capacity, FileSABuffer::Pages pages)
{
    return pages == FileSABuffer::Pages::hugeWhenLarge && static_cast<std::size_t>(capacity) >= hugePageBytes;
}

uint8_t* allocate(int capacity, bool huge)
{
    if (!huge)
        return new uint8_t[capacity];
    const std::size_t bytes = (static_cast<std::size_t>(capacity) + hugePageBytes - 1) / hugePageBytes * hugePageBytes;
    void* block = std::aligned_alloc(hugePageBytes, bytes);
    if (block == nullptr)
        throw std::bad_alloc();  // as new would
    madvise(block, bytes, MADV_HUGEPAGE);  // a refusal leaves ordinary pages
    return static_cast<uint8_t*>(block);
}

void release(uint8_t* data, bool huge)
{
    if (huge)
        std::free(data);
    else
        delete[] data;
}
#else
// Sanitizers and other systems: ordinary memory, so that a sanitizer sees
// the buffer as it sees every other allocation.
bool wantsHugePages(int, FileSABuffer::Pages) { return false; }
uint8_t* allocate(int capacity, bool) { return new uint8_t[capacity]; }
void release(uint8_t* data, bool) { delete[] data; }
#endif

}  // namespace

FileSABuffer::FileSABuffer(int capacity, Pages pages)
    // A negative capacity is treated as 0: a buffer that can hold nothing.
    : data(nullptr),
      capacity(capacity > 0 ? capacity : 0),
      onHugePages(wantsHugePages(this->capacity, pages)),
      start(0),
      length(0)
{
    data = allocate(this->capacity, onHugePages);
}

FileSABuffer::~FileSABuffer()
{
    release(data, onHugePages);
}
