// Offsets past 2^31 and 2^32 on sparse files: cheap, a few kilobytes touched.

#include "streams/file_reader_sa.h"
#include "streams/file_writer_sa.h"
#include "streams/scratch_files.h"

namespace {

const int64_t past2g = 3 * gibibyte + 5;
const int64_t past4g = 5 * gibibyte + 11;

TEST(LargeFile, ReaderReachesBytesPast2And4GiB)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("sparse.bin");
    writeSparseFile(name, {{past2g, {'A', 'B', 'C', 'D'}}, {past4g, {'W', 'X', 'Y', 'Z'}}});
    FileReaderSA reader(name.c_str(), 1024);
    EXPECT_EQ(reader.size(), past4g + 4);

    uint8_t b[6];
    reader.setPosition(past2g - 2);
    ASSERT_EQ(reader.read(b, 6), 6);
    EXPECT_EQ(Bytes(b, b + 6), (Bytes{0, 0, 'A', 'B', 'C', 'D'}));
    EXPECT_EQ(reader.position(), past2g + 4);

    reader.setPosition(past4g + 2);
    EXPECT_EQ(reader.read(b, 4), 2);
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{'Y', 'Z', 0}));
    EXPECT_EQ(reader.position(), past4g + 4);
}

TEST(LargeFile, WriterStoresAndPatchesPast2And4GiB)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("sparse.bin");
    FileWriterSA writer(name.c_str(), 64);
    const uint8_t mid[] = {'m', 'i', 'd'}, tail[] = {'t', 'a', 'i', 'l'}, patch[] = {'I'};
    writer.setPosition(past2g);
    ASSERT_EQ(writer.write(mid, 3), 3);
    writer.setPosition(past4g);
    ASSERT_EQ(writer.write(tail, 4), 4);  // still pending when the patch comes
    writer.setPosition(past2g + 1);
    ASSERT_EQ(writer.write(patch, 1), 1);
    writer.setPosition(past4g + 4);
    EXPECT_EQ(writer.position(), past4g + 4);
    EXPECT_EQ(writer.size(), past4g + 4);
    EXPECT_TRUE(writer.close());

    EXPECT_EQ(readBytesAt(name, past2g, 3), (Bytes{'m', 'I', 'd'}));
    EXPECT_EQ(readBytesAt(name, past4g, 5), (Bytes{'t', 'a', 'i', 'l'}));
    EXPECT_EQ(readBytesAt(name, past4g - (int64_t{1} << 32), 1), (Bytes{0}));  // not wrapped
}

}  // namespace
