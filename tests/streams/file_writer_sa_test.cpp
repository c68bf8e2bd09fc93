#include "streams/file_writer_sa.h"
#include "streams/scratch_files.h"

namespace {

int put(FileWriterSA& writer, const Bytes& bytes)
{
    return writer.write(bytes.data(), static_cast<int>(bytes.size()));
}

TEST(FileWriterSA, PendingBytesCountInPositionButNotInSize)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 1000);
    EXPECT_EQ(put(writer, {1, 2, 3}), 3);
    EXPECT_EQ(writer.size(), 0);
    EXPECT_EQ(writer.position(), 3);
    EXPECT_EQ(writer.size(), 3);
    EXPECT_EQ(put(writer, {}), 0);
    EXPECT_FALSE(writer.failed());
    EXPECT_TRUE(writer.close());
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), (Bytes{1, 2, 3}));
}

TEST(FileWriterSA, WriteBeyondTheEndExtendsTheFile)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    {
        FileWriterSA writer(name.c_str(), 1000);
        writer.setPosition(100);
        EXPECT_EQ(put(writer, {0x5A}), 1);
    }  // closed by the destructor
    const Bytes content = readWholeFile(name);
    ASSERT_EQ(content.size(), 101u);
    EXPECT_EQ(content.back(), 0x5A);
}

TEST(FileWriterSA, PatchInsideAPendingRunLandsAtItsOffset)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    const Bytes original = patternBytes(200);
    {
        FileWriterSA writer(name.c_str(), 1000);
        ASSERT_EQ(writer.write(original.data(), 100), 100);
        ASSERT_EQ(writer.position(), 100);
        ASSERT_EQ(writer.write(original.data() + 100, 100), 100);  // pending run 100..199
        writer.setPosition(150);
        EXPECT_EQ(put(writer, {88}), 1);
        writer.setPosition(200);
    }
    Bytes expected = original;
    expected[150] = 88;
    EXPECT_EQ(readWholeFile(name), expected);
}

TEST(FileWriterSA, SmallBufferWritesInCapacitySizedPieces)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    const Bytes original = patternBytes(10);
    FileWriterSA writer(name.c_str(), 4);
    EXPECT_EQ(put(writer, original), 10);
    EXPECT_EQ(writer.size(), 8);  // two full runs went out, two bytes pending
    EXPECT_EQ(writer.pending().length, 2);
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), original);
}

TEST(FileWriterSA, NegativeCursorRefusesBytesWithoutSpoilingTheFile)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 16);
    put(writer, {1, 2});
    writer.setPosition(-1);
    EXPECT_EQ(put(writer, {9}), 0);
    EXPECT_TRUE(writer.failed());
    writer.setPosition(2);
    EXPECT_EQ(put(writer, {3}), 1);
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), (Bytes{1, 2, 3}));
}

TEST(FileWriterSA, UnopenableFileFailsAndCloseSaysSo)
{
    ScratchDir dir;
    const std::string name = dir.file("no-such-dir/out.bin");
    FileWriterSA writer(name.c_str(), 4);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.size(), -1);
    EXPECT_EQ(put(writer, {1, 2, 3}), 3);  // taken until the buffer is full
    EXPECT_EQ(put(writer, {4, 5}), 1);
    EXPECT_FALSE(writer.close());
    EXPECT_FALSE(FileWriterSA(name.c_str(), 4).close());  // even with nothing written
}

TEST(FileWriterSA, FullDeviceIsReported)
{
    if (!haveDevFull())
        GTEST_SKIP() << "no /dev/full here";
    FileWriterSA buffered("/dev/full", 16);
    EXPECT_EQ(put(buffered, {1, 2, 3}), 3);  // accepted into the buffer...
    EXPECT_FALSE(buffered.close());          // ...but never reached the file

    FileWriterSA small("/dev/full", 4);
    EXPECT_EQ(put(small, patternBytes(10)), 4);  // the fifth byte needs a flush that fails
    EXPECT_TRUE(small.failed());
    EXPECT_EQ(small.pending().length, 4);
    EXPECT_FALSE(small.close());
}

TEST(FileWriterSA, LongAppendsGoOutEarlyAndPatchesStillLand)
{
    // A run in a large buffer is handed to the file once it reaches the
    // write-through size, so the pending bytes stay few; a header patched
    // afterwards (the WAV writer's size fields) still lands at its offset.
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    const Bytes original = patternBytes(3 * writeThroughSize + 1234);
    {
        FileWriterSA writer(name.c_str(), streamBufferSize);
        ASSERT_EQ(writer.write(original.data(), 8), 8);
        for (size_t at = 8; at < original.size(); at += 3528) {
            const int count = static_cast<int>(std::min<size_t>(3528, original.size() - at));
            ASSERT_EQ(writer.write(original.data() + at, count), count);
            EXPECT_LT(writer.pending().length, writeThroughSize);
        }
        EXPECT_GT(writer.size() + writeThroughSize, static_cast<int64_t>(original.size()));
        EXPECT_EQ(writer.position(), static_cast<int64_t>(original.size()));
        writer.setPosition(4);
        EXPECT_EQ(put(writer, {0xAA, 0xBB}), 2);
        writer.setPosition(static_cast<int64_t>(original.size()));
        EXPECT_TRUE(writer.close());
    }
    Bytes expected = original;
    expected[4] = 0xAA;
    expected[5] = 0xBB;
    EXPECT_EQ(readWholeFile(name), expected);
}

TEST(FileWriterSA, AFullDeviceStillFillsTheWholeBufferBeforeRefusing)
{
    // Early hand-over stops once the file refuses bytes: what it refused
    // stays pending and the buffer takes bytes up to its capacity.
    if (!haveDevFull())
        GTEST_SKIP() << "no /dev/full here";
    const int capacity = 2 * writeThroughSize;
    const Bytes bytes = patternBytes(capacity + 10);
    FileWriterSA writer("/dev/full", capacity);
    EXPECT_EQ(writer.write(bytes.data(), static_cast<int>(bytes.size())), capacity);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.pending().length, capacity);
    EXPECT_FALSE(writer.close());
}

}  // namespace
