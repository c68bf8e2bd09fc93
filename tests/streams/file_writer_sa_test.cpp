#include <cstdint>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "streams/file_writer_sa.h"
#include "streams/scratch_files.h"

namespace {

int writeVector(FileWriterSA& writer, const std::vector<uint8_t>& bytes)
{
    return writer.write(bytes.data(), static_cast<int>(bytes.size()));
}

TEST(FileWriterSA, PendingBytesCountInPositionButNotInSize)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 1000);
    EXPECT_FALSE(writer.failed());

    const std::vector<uint8_t> three = {1, 2, 3};
    EXPECT_EQ(writeVector(writer, three), 3);
    EXPECT_EQ(writer.cursorPosition(), 3);
    EXPECT_EQ(writer.size(), 0);  // still buffered
    EXPECT_EQ(writer.position(), 3);
    EXPECT_EQ(writer.size(), 3);  // position() flushed them
    EXPECT_EQ(writer.pending().length, 0);
    EXPECT_EQ(writer.pending().start, 3);
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), three);
}

TEST(FileWriterSA, WriteBeyondTheEndExtendsTheFile)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    {
        FileWriterSA writer(name.c_str(), 1000);
        EXPECT_EQ(writer.setPosition(100), 100);
        const uint8_t byte = 0x5A;
        EXPECT_EQ(writer.write(&byte, 1), 1);
        EXPECT_EQ(writer.position(), 101);
    }  // the destructor closes
    const std::vector<uint8_t> content = readWholeFile(name);
    ASSERT_EQ(content.size(), 101u);
    EXPECT_EQ(content.back(), 0x5A);
}

TEST(FileWriterSA, PatchInsideAPendingRunLandsAtItsOffset)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    const std::vector<uint8_t> original = patternBytes(200);
    {
        FileWriterSA writer(name.c_str(), 1000);
        ASSERT_EQ(writer.write(original.data(), 100), 100);
        ASSERT_EQ(writer.position(), 100);
        ASSERT_EQ(writer.write(original.data() + 100, 100), 100);  // pending run 100..199
        writer.setPosition(150);
        const uint8_t patch = 88;
        EXPECT_EQ(writer.write(&patch, 1), 1);
        writer.setPosition(200);
    }
    std::vector<uint8_t> expected = original;
    expected[150] = 88;
    EXPECT_EQ(readWholeFile(name), expected);
}

TEST(FileWriterSA, LaterWritesReplaceEarlierOnesAndAppendingResumesAtTheEnd)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 1000);
    writeVector(writer, {'A', 'B', 'C', 'D'});
    writer.setPosition(1);
    writeVector(writer, {'x'});
    writer.setPosition(0);
    writeVector(writer, {'y'});
    writer.setPosition(4);
    writeVector(writer, {'E', 'F'});
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), (std::vector<uint8_t>{'y', 'x', 'C', 'D', 'E', 'F'}));
}

TEST(FileWriterSA, SmallBufferWritesInCapacitySizedPieces)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    const std::vector<uint8_t> original = patternBytes(10);
    FileWriterSA writer(name.c_str(), 4);
    EXPECT_EQ(writeVector(writer, original), 10);
    EXPECT_FALSE(writer.failed());
    EXPECT_EQ(writer.size(), 8);  // two full runs of 4 went out
    EXPECT_EQ(writer.pending().length, 2);
    EXPECT_EQ(writer.pending().start, 8);
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), original);
}

TEST(FileWriterSA, WriteOfNothingSucceeds)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 4);
    const uint8_t byte = 1;
    EXPECT_EQ(writer.write(&byte, 0), 0);
    EXPECT_FALSE(writer.failed());
    EXPECT_EQ(writer.write(&byte, -3), 0);
    EXPECT_FALSE(writer.failed());
    EXPECT_EQ(writer.position(), 0);
    EXPECT_TRUE(writer.close());
    EXPECT_TRUE(readWholeFile(name).empty());
}

TEST(FileWriterSA, NegativeCursorRefusesBytesWithoutSpoilingTheFile)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 16);
    writeVector(writer, {1, 2});
    writer.setPosition(-1);
    EXPECT_EQ(writeVector(writer, {9, 9}), 0);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.position(), -1);  // flushing with the cursor outside is harmless
    writer.setPosition(2);
    EXPECT_EQ(writeVector(writer, {3}), 1);
    EXPECT_FALSE(writer.failed());
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(name), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(FileWriterSA, CloseReportsBytesAcceptedAfterIt)
{
    ScratchDir dir;
    const std::string name = dir.file("out.bin");
    FileWriterSA writer(name.c_str(), 16);
    writeVector(writer, {1, 2, 3});
    EXPECT_TRUE(writer.close());
    EXPECT_TRUE(writer.close());  // asking again gives the same answer
    writeVector(writer, {4});     // taken into the buffer, but the file is gone
    EXPECT_FALSE(writer.close());
    EXPECT_EQ(readWholeFile(name), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(FileWriterSA, UnopenableFileFailsAndNeverReportsSuccess)
{
    ScratchDir dir;
    const std::string name = dir.file("no-such-dir/out.bin");
    FileWriterSA writer(name.c_str(), 4);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.size(), -1);
    // Bytes are still taken until the buffer is full.
    EXPECT_EQ(writeVector(writer, {1, 2, 3}), 3);
    EXPECT_EQ(writeVector(writer, {4, 5}), 1);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.cursorPosition(), 4);
    EXPECT_FALSE(writer.close());
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(FileWriterSA, UnopenableFileWithNothingWrittenStillReportsFailure)
{
    ScratchDir dir;
    FileWriterSA writer(dir.file("no-such-dir/out.bin").c_str(), 4);
    EXPECT_FALSE(writer.close());
}

bool haveDevFull()
{
    std::error_code ignored;
    return std::filesystem::exists("/dev/full", ignored);
}

TEST(FileWriterSA, FullDeviceMakesCloseFail)
{
    if (!haveDevFull())
        GTEST_SKIP() << "no /dev/full here";
    FileWriterSA writer("/dev/full", 16);
    ASSERT_FALSE(writer.failed());
    EXPECT_EQ(writeVector(writer, {1, 2, 3}), 3);  // buffered, so accepted
    EXPECT_FALSE(writer.close());
    EXPECT_TRUE(writer.failed());
}

TEST(FileWriterSA, FullDeviceRefusesBytesOnceTheBufferIsFull)
{
    if (!haveDevFull())
        GTEST_SKIP() << "no /dev/full here";
    FileWriterSA writer("/dev/full", 4);
    EXPECT_EQ(writeVector(writer, patternBytes(10)), 4);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.cursorPosition(), 4);
    EXPECT_EQ(writer.pending().length, 4);  // kept, not silently dropped
    EXPECT_EQ(writeVector(writer, {1}), 0);
}

TEST(FileWriterSA, FullDeviceFailureIsStickyAcrossPositionCalls)
{
    if (!haveDevFull())
        GTEST_SKIP() << "no /dev/full here";
    // position() flushes: the loss happens there, long before close().
    FileWriterSA writer("/dev/full", 64);
    writeVector(writer, {1, 2, 3});
    writer.position();
    EXPECT_TRUE(writer.failed());
    EXPECT_FALSE(writer.close());
}

}  // namespace
