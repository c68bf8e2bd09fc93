#include <limits>

#include "streams/file_reader_sa.h"
#include "streams/scratch_files.h"

namespace {

TEST(FileReaderSA, SmallFileIsFetchedWholeAndThenServedFromTheWindow)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const Bytes original = patternBytes(100);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 1000);
    EXPECT_FALSE(reader.failed());

    uint8_t b[10];
    ASSERT_EQ(reader.read(b, 4), 4);
    EXPECT_EQ(reader.window().length, 100);
    // Change the file behind the reader's back: reads inside the window
    // still see the old bytes, so they touched no file.
    writeWholeFile(name, Bytes(100, 0xEE));
    EXPECT_EQ(reader.setPosition(50), 50);
    ASSERT_EQ(reader.read(b, 10), 10);
    EXPECT_EQ(Bytes(b, b + 10), Bytes(original.begin() + 50, original.begin() + 60));
    EXPECT_EQ(reader.position(), 60);
}

TEST(FileReaderSA, ShortReadsAtTheEndAndTheirRecovery)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const Bytes original = patternBytes(10);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 64);

    uint8_t b[10];
    ASSERT_EQ(reader.read(b, 10), 10);  // exactly to the last byte
    EXPECT_FALSE(reader.failed());
    b[0] = 0xAA;
    EXPECT_EQ(reader.read(b, 1), 0);
    EXPECT_EQ(b[0], 0);
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.read(b, 0), 0);  // an empty read clears the failure
    EXPECT_FALSE(reader.failed());

    // Four bytes asked, two left: the third is cleared, the fourth kept.
    std::fill(b, b + 4, 0xAA);
    reader.setPosition(8);
    EXPECT_EQ(reader.read(b, 4), 2);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{original[8], original[9], 0, 0xAA}));
    EXPECT_TRUE(reader.failed());
    EXPECT_EQ(reader.position(), 10);

    reader.setPosition(3);
    ASSERT_EQ(reader.read(b, 1), 1);
    EXPECT_EQ(b[0], original[3]);
    EXPECT_FALSE(reader.failed());
}

TEST(FileReaderSA, SmallWindowRefillsAtTheCursorThatMissed)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const Bytes original = patternBytes(10);
    writeWholeFile(name, original);
    FileReaderSA whole(name.c_str(), 4);
    uint8_t all[10];
    EXPECT_EQ(whole.read(all, 10), 10);
    EXPECT_EQ(Bytes(all, all + 10), original);

    FileReaderSA reader(name.c_str(), 4);
    std::vector<int64_t> starts;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(reader.read(all, 1), 1);
        EXPECT_EQ(all[0], original[static_cast<size_t>(i)]);
        if (starts.empty() || starts.back() != reader.window().start)
            starts.push_back(reader.window().start);
    }
    EXPECT_EQ(starts, (std::vector<int64_t>{0, 4, 8}));
    reader.setPosition(1);  // below the window: reload from 1, unaligned
    ASSERT_EQ(reader.read(all, 1), 1);
    EXPECT_EQ(all[0], original[1]);
    EXPECT_EQ(reader.window().start, 1);
}

TEST(FileReaderSA, CursorOutsideTheFileFailsCleanly)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    writeWholeFile(name, patternBytes(16));
    FileReaderSA reader(name.c_str(), 8);
    for (int64_t cursor : {int64_t{-1}, std::numeric_limits<int64_t>::min(), int64_t{16}, int64_t{1} << 40,
                           std::numeric_limits<int64_t>::max()}) {
        uint8_t b[2] = {0xAA, 0xAA};
        reader.setPosition(4);
        ASSERT_EQ(reader.read(b, 1), 1);  // a loaded window a bad index could reach into
        reader.setPosition(cursor);
        EXPECT_EQ(reader.read(b, 2), 0) << cursor;
        EXPECT_EQ(b[0], 0);
        EXPECT_TRUE(reader.failed());
        EXPECT_EQ(reader.position(), cursor);
    }
}

TEST(FileReaderSA, SizeIsTheFileLengthOrMinusOneWithoutAFile)
{
    ScratchDir dir;
    const std::string name = dir.file("in.bin");
    const Bytes original = patternBytes(23);
    writeWholeFile(name, original);
    FileReaderSA reader(name.c_str(), 4);
    uint8_t b[3];
    ASSERT_EQ(reader.read(b, 2), 2);
    EXPECT_EQ(reader.size(), 23);
    ASSERT_EQ(reader.read(b, 3), 3);  // continues at the cursor, across a refill
    EXPECT_EQ(b[2], original[4]);

    FileReaderSA missing(dir.file("absent.bin").c_str(), 4);
    EXPECT_TRUE(missing.failed());
    EXPECT_EQ(missing.size(), -1);
    b[0] = 0xAA;
    EXPECT_EQ(missing.read(b, 2), 0);
    EXPECT_EQ(b[0], 0);
}

}  // namespace
