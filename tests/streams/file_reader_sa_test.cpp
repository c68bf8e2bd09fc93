#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "streams/file_reader_sa.h"
#include "streams/scratch_files.h"

namespace {

TEST(FileReaderSA, SmallFileIsFetchedWholeAndLaterReadsComeFromTheWindow)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const std::vector<uint8_t> original = patternBytes(100);
    writeWholeFile(name, original);

    FileReaderSA reader(name.c_str(), 1000);
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(reader.window().length, 0);  // nothing read at construction

    uint8_t first[4];
    ASSERT_EQ(reader.read(first, 4), 4);
    EXPECT_EQ(reader.window().start, 0);
    EXPECT_EQ(reader.window().length, 100);

    // Change the file behind the reader's back: reads inside the window must
    // still see the old bytes, which proves they touch no file.
    writeWholeFile(name, std::vector<uint8_t>(100, 0xEE));
    uint8_t later[10];
    EXPECT_EQ(reader.setPosition(50), 50);
    ASSERT_EQ(reader.read(later, 10), 10);
    EXPECT_EQ(std::vector<uint8_t>(later, later + 10), std::vector<uint8_t>(original.begin() + 50, original.begin() + 60));
    EXPECT_EQ(reader.position(), 60);
}

TEST(FileReaderSA, ReadingToTheLastByteSucceedsAndOneMoreFails)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const std::vector<uint8_t> original = patternBytes(10);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 64);

    uint8_t all[10];
    ASSERT_EQ(reader.read(all, 10), 10);
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(std::vector<uint8_t>(all, all + 10), original);

    uint8_t one = 0xAA;
    EXPECT_EQ(reader.read(&one, 1), 0);
    EXPECT_EQ(one, 0);
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.position(), 10);

    // A read of nothing succeeds and clears the failure; so does a negative count.
    EXPECT_EQ(reader.read(&one, 0), 0);
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(reader.read(&one, 1), 0);
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.read(&one, -5), 0);
    EXPECT_FALSE(reader.failed());
}

TEST(FileReaderSA, ReadCrossingTheEndDeliversWhatThereIsAndStopsAtTheEnd)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const std::vector<uint8_t> original = patternBytes(10);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 64);

    uint8_t four[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    reader.setPosition(8);
    EXPECT_EQ(reader.read(four, 4), 2);
    EXPECT_EQ(four[0], original[8]);
    EXPECT_EQ(four[1], original[9]);
    EXPECT_EQ(four[2], 0);     // the failing index is cleared
    EXPECT_EQ(four[3], 0xAA);  // the rest is left alone
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.position(), 10);

    // A later read inside the file works again.
    reader.setPosition(3);
    uint8_t one = 0;
    EXPECT_EQ(reader.read(&one, 1), 1);
    EXPECT_EQ(one, original[3]);
    EXPECT_FALSE(reader.failed());
}

TEST(FileReaderSA, SmallWindowRefillsExactlyAtTheCursorThatMissed)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const std::vector<uint8_t> original = patternBytes(10);
    writeWholeFile(name, original);

    {
        // One request of 10 bytes through a 4-byte window: refills at 0, 4, 8.
        FileReaderSA reader(name.c_str(), 4);
        uint8_t all[10];
        EXPECT_EQ(reader.read(all, 10), 10);
        EXPECT_EQ(std::vector<uint8_t>(all, all + 10), original);
        EXPECT_EQ(reader.window().start, 8);
        EXPECT_EQ(reader.window().length, 2);
    }
    {
        // Byte by byte, recording each window start.
        FileReaderSA reader(name.c_str(), 4);
        std::vector<int64_t> starts;
        for (int i = 0; i < 10; ++i) {
            uint8_t b = 0;
            ASSERT_EQ(reader.read(&b, 1), 1);
            EXPECT_EQ(b, original[static_cast<size_t>(i)]);
            if (starts.empty() || starts.back() != reader.window().start)
                starts.push_back(reader.window().start);
        }
        EXPECT_EQ(starts, (std::vector<int64_t>{0, 4, 8}));

        // Moving back below the window reloads from the new cursor, unaligned.
        reader.setPosition(1);
        uint8_t b = 0;
        ASSERT_EQ(reader.read(&b, 1), 1);
        EXPECT_EQ(b, original[1]);
        EXPECT_EQ(reader.window().start, 1);
        EXPECT_EQ(reader.window().length, 4);
    }
}

TEST(FileReaderSA, CursorOutsideTheFileFailsCleanly)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const std::vector<uint8_t> original = patternBytes(16);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 8);

    const int64_t outside[] = {-1, -9, std::numeric_limits<int64_t>::min(), 16, 17, 1LL << 40,
                               std::numeric_limits<int64_t>::max() - 1, std::numeric_limits<int64_t>::max()};
    for (int64_t cursor : outside) {
        // Load a window first so a wrong index computation would read from it.
        reader.setPosition(4);
        uint8_t warm = 0;
        ASSERT_EQ(reader.read(&warm, 1), 1);

        uint8_t bytes[3] = {0xAA, 0xAA, 0xAA};
        reader.setPosition(cursor);
        EXPECT_EQ(reader.read(bytes, 3), 0) << cursor;
        EXPECT_EQ(bytes[0], 0) << cursor;
        EXPECT_EQ(bytes[1], 0xAA) << cursor;
        EXPECT_TRUE(reader.failed()) << cursor;
        EXPECT_EQ(reader.position(), cursor);
    }
    reader.setPosition(15);
    uint8_t last = 0;
    EXPECT_EQ(reader.read(&last, 1), 1);
    EXPECT_EQ(last, original[15]);
}

TEST(FileReaderSA, MissingFileFailsFromTheStart)
{
    ScratchDir dir;
    FileReaderSA reader(dir.file("absent.bin").c_str(), 16);
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.size(), -1);
    uint8_t bytes[2] = {0xAA, 0xAA};
    EXPECT_EQ(reader.read(bytes, 2), 0);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0xAA);
    EXPECT_EQ(reader.position(), 0);
}

TEST(FileReaderSA, SizeReportsTheFileLengthWithoutDisturbingReads)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const std::vector<uint8_t> original = patternBytes(23);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 4);

    uint8_t bytes[3];
    ASSERT_EQ(reader.read(bytes, 2), 2);
    EXPECT_EQ(reader.size(), 23);
    EXPECT_EQ(reader.position(), 2);
    // The next read must continue from the cursor, across a refill.
    ASSERT_EQ(reader.read(bytes, 3), 3);
    EXPECT_EQ(bytes[0], original[2]);
    EXPECT_EQ(bytes[2], original[4]);

    // size() after a failed read (end-of-file state on the stream) still works.
    reader.setPosition(30);
    EXPECT_EQ(reader.read(bytes, 1), 0);
    EXPECT_EQ(reader.size(), 23);
}

TEST(FileReaderSA, EmptyFileDeliversNothing)
{
    ScratchDir dir;
    const std::string name = dir.file("empty.bin");
    writeWholeFile(name, {});
    FileReaderSA reader(name.c_str(), 16);
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(reader.size(), 0);
    uint8_t b = 0xAA;
    EXPECT_EQ(reader.read(&b, 1), 0);
    EXPECT_EQ(b, 0);
    EXPECT_TRUE(reader.failed());
}

}  // namespace
