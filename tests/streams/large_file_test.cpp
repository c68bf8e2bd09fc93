// Offsets beyond 2^31 and 2^32 on sparse files: the holes cost no disk space
// and the tests touch only a few kilobytes.

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "streams/file_reader_sa.h"
#include "streams/file_writer_sa.h"
#include "streams/scratch_files.h"

namespace {

const int64_t past2g = 3 * gibibyte + 5;      // above 2^31
const int64_t past4g = 5 * gibibyte + 11;     // above 2^32

TEST(LargeFile, ReaderReachesBytesPast2And4GiB)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("sparse.bin");
    writeSparseFile(name, {{past2g, {'A', 'B', 'C', 'D'}}, {past4g, {'W', 'X', 'Y', 'Z'}}});

    FileReaderSA reader(name.c_str(), 1024);
    EXPECT_EQ(reader.size(), past4g + 4);

    uint8_t bytes[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(reader.setPosition(past2g - 2), past2g - 2);
    ASSERT_EQ(reader.read(bytes, 6), 6);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6), (std::vector<uint8_t>{0, 0, 'A', 'B', 'C', 'D'}));
    EXPECT_EQ(reader.position(), past2g + 4);
    EXPECT_EQ(reader.window().start, past2g - 2);

    // Crossing the end of the file past 4 GiB.
    bytes[3] = 0xAA;
    reader.setPosition(past4g + 2);
    EXPECT_EQ(reader.read(bytes, 4), 2);
    EXPECT_EQ(bytes[0], 'Y');
    EXPECT_EQ(bytes[1], 'Z');
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 0xAA);
    EXPECT_EQ(reader.position(), past4g + 4);

    // Offsets that differ only above bit 31 or 32 are different places.
    reader.setPosition(past4g - (1LL << 32));
    uint8_t low = 0xAA;
    ASSERT_EQ(reader.read(&low, 1), 1);
    EXPECT_EQ(low, 0);
}

TEST(LargeFile, WriterStoresAndPatchesPast2And4GiB)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("sparse.bin");
    FileWriterSA writer(name.c_str(), 64);
    const uint8_t head[] = {'h', 'e', 'a', 'd'};
    ASSERT_EQ(writer.write(head, 4), 4);

    writer.setPosition(past2g);
    const uint8_t middle[] = {'m', 'i', 'd'};
    ASSERT_EQ(writer.write(middle, 3), 3);
    writer.setPosition(past4g);
    const uint8_t tail[] = {'t', 'a', 'i', 'l'};
    ASSERT_EQ(writer.write(tail, 4), 4);
    EXPECT_EQ(writer.position(), past4g + 4);
    EXPECT_EQ(writer.size(), past4g + 4);

    // Patch an earlier byte while the end is pending, as chunk headers are.
    writer.setPosition(past4g + 4);
    const uint8_t more[] = {'!'};
    ASSERT_EQ(writer.write(more, 1), 1);
    writer.setPosition(past2g + 1);
    const uint8_t patch[] = {'I'};
    ASSERT_EQ(writer.write(patch, 1), 1);
    writer.setPosition(past4g + 5);
    EXPECT_TRUE(writer.close());

    EXPECT_EQ(readBytesAt(name, 0, 4), (std::vector<uint8_t>{'h', 'e', 'a', 'd'}));
    EXPECT_EQ(readBytesAt(name, past2g, 3), (std::vector<uint8_t>{'m', 'I', 'd'}));
    EXPECT_EQ(readBytesAt(name, past4g, 6), (std::vector<uint8_t>{'t', 'a', 'i', 'l', '!'}));
    EXPECT_EQ(readBytesAt(name, past4g - (1LL << 32), 1), (std::vector<uint8_t>{0}));
}

}  // namespace
