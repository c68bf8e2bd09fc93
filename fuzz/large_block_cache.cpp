// Global operator new and delete for the fuzz targets that run whole jobs.
//
// Each job's WAV reader or writer allocates a buffer of streamBufferSize
// (10 MB). Under AddressSanitizer a block that large is mapped afresh for
// every allocation and its shadow poisoned page by page when it is freed,
// which costs about 10 ms a time on this kind of machine: more than the job
// itself, and the fuzzer would manage a few dozen runs a second. Here large
// blocks are kept mapped between runs instead: a freed one is poisoned by
// hand (any later access is still reported, as use-after-poison) and handed
// out again to the next request of the same size. Everything else goes
// straight to malloc and free, which AddressSanitizer checks as usual.

#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

constexpr std::size_t largeBlock = std::size_t{1} << 20;
constexpr int cacheSlots = 4;

struct Slot {
    void* block;
    std::size_t size;
};

Slot cache[cacheSlots];
int cached = 0;

void* allocate(std::size_t size, bool nothrow)
{
    if (size >= largeBlock) {
        for (int i = 0; i < cached; ++i) {
            if (cache[i].size == size) {
                void* block = cache[i].block;
                cache[i] = cache[--cached];
                ASAN_UNPOISON_MEMORY_REGION(block, size);
                return block;
            }
        }
    }
    for (;;) {
        if (void* block = std::malloc(size != 0 ? size : 1))
            return block;
        std::new_handler handler = std::get_new_handler();
        if (!handler) {
            if (nothrow)
                return nullptr;
            throw std::bad_alloc();
        }
        handler();
    }
}

void* allocateAligned(std::size_t size, std::align_val_t alignment, bool nothrow)
{
    void* block = nullptr;
    const std::size_t align = static_cast<std::size_t>(alignment) < sizeof(void*) ? sizeof(void*)
                                                                                  : static_cast<std::size_t>(alignment);
    if (posix_memalign(&block, align, size != 0 ? size : 1) == 0)
        return block;
    if (nothrow)
        return nullptr;
    throw std::bad_alloc();
}

void release(void* block)
{
    if (!block)
        return;
    const std::size_t size = malloc_usable_size(block);
    if (size >= largeBlock && cached < cacheSlots) {
        ASAN_POISON_MEMORY_REGION(block, size);
        cache[cached++] = Slot{block, size};
        return;
    }
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size, false); }
void* operator new[](std::size_t size) { return allocate(size, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, true); }
void* operator new(std::size_t size, std::align_val_t a) { return allocateAligned(size, a, false); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocateAligned(size, a, false); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocateAligned(size, a, true); }
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocateAligned(size, a, true); }

void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { std::free(block); }
