#include "streams/byte_sink.h"
#include "streams/byte_source.h"
#include "streams/scratch_files.h"

#include <functional>

namespace {

// A caller's storage behind the function sinks and sources: a byte vector
// with a cursor, and a budget of bytes after which write stores short.
struct CallerStore {
    Bytes bytes;
    size_t cursor = 0;
    size_t budget = SIZE_MAX;
};

size_t storeWrite(void* user, const void* source, size_t count)
{
    CallerStore& store = *static_cast<CallerStore*>(user);
    const size_t n = std::min(count, store.budget);
    store.budget -= n;
    if (store.bytes.size() < store.cursor + n) store.bytes.resize(store.cursor + n);
    std::copy_n(static_cast<const uint8_t*>(source), n, store.bytes.begin() + static_cast<ptrdiff_t>(store.cursor));
    store.cursor += n;
    return n;
}

int storeSeek(void* user, uint64_t offset)
{
    CallerStore& store = *static_cast<CallerStore*>(user);
    if (offset > store.bytes.size()) return -1;
    store.cursor = static_cast<size_t>(offset);
    return 0;
}

int64_t storeRead(void* user, void* destination, size_t count)
{
    CallerStore& store = *static_cast<CallerStore*>(user);
    const size_t n = std::min(count, store.bytes.size() - store.cursor);
    std::copy_n(store.bytes.begin() + static_cast<ptrdiff_t>(store.cursor), n, static_cast<uint8_t*>(destination));
    store.cursor += n;
    return static_cast<int64_t>(n);
}

// The container writer's pattern: a header, packets appended behind it, then
// a field inside the header rewritten. Every seekable sink must end with the
// same bytes.
TEST(ByteSink, HeaderPacketsAndRewriteGiveTheSameBytesOnEverySink)
{
    const Bytes header = patternBytes(76, 1), first = patternBytes(300, 2), second = patternBytes(5, 3);
    const Bytes patch = {9, 8, 7, 6};
    Bytes expected;
    for (const Bytes* part : {&header, &first, &second})
        for (uint8_t byte : *part) expected.push_back(byte);
    std::copy(patch.begin(), patch.end(), expected.begin() + 72);

    ScratchDir dir;
    const std::string fileName = dir.file("sink.bin");
    CallerStore store;
    struct Case {
        const char* what;
        ByteSink* sink;
        std::function<Bytes()> stored;  // what ended up stored, after the sink is done
    };
    MemoryByteSink memory;
    FileByteSink file(fileName.c_str());
    CallbackByteSink callback(ByteSinkFunctions{storeWrite, storeSeek}, &store);
    const Case cases[] = {
        {"memory", &memory, [&] { return memory.bytes(); }},
        {"file", &file,
         [&] {
             EXPECT_EQ(file.size(), static_cast<int64_t>(expected.size()));
             EXPECT_TRUE(file.close());
             return readWholeFile(fileName);
         }},
        {"callbacks", &callback, [&] { return store.bytes; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteSink& sink = *c.sink;
        ASSERT_TRUE(sink.canSeek());
        EXPECT_EQ(sink.writeAt(0, header.data(), header.size()), header.size());
        EXPECT_EQ(sink.writeAt(76, first.data(), first.size()), first.size());
        EXPECT_EQ(sink.writeAt(376, second.data(), second.size()), second.size());
        EXPECT_EQ(sink.writeAt(72, patch.data(), patch.size()), patch.size());
        EXPECT_TRUE(sink.flush());
        EXPECT_FALSE(sink.failed());
        EXPECT_EQ(c.stored(), expected);
    }
}

// A sink that failed once stores nothing more and says so at flush, so a
// writer that checks only at the end never reports a cut file as written.
TEST(ByteSink, OneFailureStaysAndFlushReportsIt)
{
    const Bytes block = patternBytes(64);
    struct Case {
        const char* what;
        size_t budget;          // bytes the caller's write accepts
        bool seekable;
        uint64_t secondOffset;  // where the second write goes
        size_t firstStored, secondStored;
    };
    const Case cases[] = {
        {"short write", 40, true, 64, 40, 0},
        {"refused write", 0, true, 64, 0, 0},
        {"rewrite without a seek function", SIZE_MAX, false, 0, 64, 0},
        {"seek past the end the caller refuses", SIZE_MAX, true, 1000, 64, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CallerStore store;
        store.budget = c.budget;
        CallbackByteSink sink(ByteSinkFunctions{storeWrite, c.seekable ? storeSeek : nullptr}, &store);
        EXPECT_EQ(sink.writeAt(0, block.data(), block.size()), c.firstStored);
        EXPECT_EQ(sink.writeAt(c.secondOffset, block.data(), block.size()), c.secondStored);
        EXPECT_TRUE(sink.failed());
        EXPECT_FALSE(sink.flush());
        // Nothing after the failure reaches the caller.
        const size_t before = store.bytes.size();
        EXPECT_EQ(sink.writeAt(before, block.data(), block.size()), 0u);
        EXPECT_EQ(store.bytes.size(), before);
    }
}

TEST(ByteSink, FileFailuresShowAsFailedNotWritten)
{
    ScratchDir dir;
    const Bytes block = patternBytes(4096);
    {
        FileByteSink sink(dir.file("missing-folder/out.bin").c_str());
        EXPECT_FALSE(sink.opened());
        EXPECT_TRUE(sink.failed());
        EXPECT_EQ(sink.writeAt(0, block.data(), block.size()), 0u);
        EXPECT_FALSE(sink.close());
    }
    if (haveDevFull()) {
        // The C library buffers, so the full disk may show only at flush or
        // close: either way the sink must not call the file written.
        FileByteSink sink("/dev/full");
        ASSERT_TRUE(sink.opened());
        for (int i = 0; i < 64; ++i) sink.writeAt(static_cast<uint64_t>(i) * block.size(), block.data(), block.size());
        EXPECT_FALSE(sink.close());
        EXPECT_TRUE(sink.failed());
    }
    {
        // A closed sink stores nothing.
        FileByteSink sink(dir.file("closed.bin").c_str());
        EXPECT_TRUE(sink.close());
        EXPECT_EQ(sink.writeAt(0, block.data(), block.size()), 0u);
        EXPECT_EQ(sink.size(), -1);
        EXPECT_EQ(readWholeFile(dir.file("closed.bin")).size(), 0u);
    }
}

// Every source reads the same bytes by offset, in any order, and says where
// the data ends.
TEST(ByteSource, EverySourceReadsTheSameBytesByOffset)
{
    const Bytes data = patternBytes(1000, 5);
    ScratchDir dir;
    writeWholeFile(dir.file("source.bin"), data);
    CallerStore store;
    store.bytes = data;
    FileByteSource file(dir.file("source.bin").c_str());
    MemoryByteSource memory(data.data(), data.size());
    CallbackByteSource callback(ByteSourceFunctions{storeRead, storeSeek}, &store);
    struct Case {
        const char* what;
        ByteSource* source;
        int64_t size;  // -1 where the source cannot tell
    };
    const Case cases[] = {
        {"file", &file, 1000},
        {"memory", &memory, 1000},
        {"callbacks", &callback, -1},
    };
    const std::pair<uint64_t, size_t> reads[] = {{500, 100}, {0, 10}, {990, 50}, {1000, 4}, {123, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.source->size(), c.size);
        for (const auto& [offset, count] : reads) {
            Bytes got(count);
            size_t have = 0;
            for (;;) {  // a source may return fewer bytes: ask again until it gives none
                const int64_t n = c.source->readAt(offset + have, got.data() + have, count - have);
                ASSERT_GE(n, 0);
                if (n == 0) break;
                have += static_cast<size_t>(n);
                if (have == count) break;
            }
            const size_t present = offset >= data.size() ? 0 : std::min(count, data.size() - offset);
            EXPECT_EQ(have, present) << "at " << offset;
            got.resize(have);
            EXPECT_EQ(got, Bytes(data.begin() + static_cast<ptrdiff_t>(std::min<uint64_t>(offset, 1000)),
                                 data.begin() + static_cast<ptrdiff_t>(std::min<uint64_t>(offset, 1000) + present)));
        }
    }
}

}  // namespace
