#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/riff_chunk.h"
#include "formats/wave_format.h"
#include "streams/file_reader_sa.h"
#include "streams/file_writer_sa.h"
#include "streams/scratch_files.h"

namespace {

ChunkId idOf(const char (&text)[5])
{
    return ChunkId{{static_cast<uint8_t>(text[0]), static_cast<uint8_t>(text[1]), static_cast<uint8_t>(text[2]),
                    static_cast<uint8_t>(text[3])}};
}

TEST(ChunkId, ConstantsHoldTheFourIdentifiers)
{
    EXPECT_TRUE(riffId == idOf("RIFF"));
    EXPECT_TRUE(waveId == idOf("WAVE"));
    EXPECT_TRUE(fmtId == idOf("fmt "));
    EXPECT_TRUE(dataId == idOf("data"));
    // Every byte takes part in the comparison, case included.
    EXPECT_TRUE(dataId != idOf("Data"));
    EXPECT_TRUE(dataId != idOf("datA"));
    EXPECT_TRUE(fmtId != idOf("fmt\0"));
}

TEST(ReadChunk, HeaderCutShortMatchesNoIdentifier)
{
    ScratchDir dir;
    const std::string name = dir.file("chunk.bin");
    // Full identifier, size cut to 2 bytes: must not pass for "data".
    writeWholeFile(name, {'d', 'a', 't', 'a', 0x10, 0x00});
    {
        FileReaderSA input(name.c_str(), 64);
        const ChunkInfo chunk = readChunk(input);
        EXPECT_TRUE(chunk.id != dataId);
        EXPECT_TRUE(chunk.id == (ChunkId{{0, 0, 0, 0}}));
    }
    // Identifier cut to 3 bytes.
    writeWholeFile(name, {'R', 'I', 'F'});
    {
        FileReaderSA input(name.c_str(), 64);
        const ChunkInfo chunk = readChunk(input);
        EXPECT_TRUE(chunk.id == (ChunkId{{0, 0, 0, 0}}));
    }
    // Complete header: identifier, little-endian size, body offset.
    writeWholeFile(name, {'x', 'x', 'd', 'a', 't', 'a', 0x04, 0x03, 0x02, 0x81});
    {
        FileReaderSA input(name.c_str(), 64);
        input.setPosition(2);
        const ChunkInfo chunk = readChunk(input);
        EXPECT_TRUE(chunk.id == dataId);
        EXPECT_EQ(chunk.size, 0x81020304u);
        EXPECT_EQ(chunk.dataStart, 10);
    }
}

TEST(ReadId, StopsAtTheFirstMissingByteAndZeroesTheRest)
{
    ScratchDir dir;
    const std::string name = dir.file("id.bin");
    writeWholeFile(name, {'W', 'A'});
    FileReaderSA input(name.c_str(), 64);
    ChunkId id{{0xAA, 0xAA, 0xAA, 0xAA}};
    EXPECT_FALSE(readId(input, id));
    EXPECT_TRUE(id == (ChunkId{{'W', 'A', 0, 0}}));
    EXPECT_EQ(input.position(), 2);
}

TEST(ReadFormat, ReadsLittleEndianFieldsAndReportsAShortRecord)
{
    ScratchDir dir;
    const std::string name = dir.file("fmt.bin");
    writeWholeFile(name, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10});
    {
        FileReaderSA input(name.c_str(), 64);
        WaveFormat format;
        EXPECT_TRUE(readFormat(input, format));
        EXPECT_EQ(format.formatTag, 0x0201);
        EXPECT_EQ(format.channels, 0x0403);
        EXPECT_EQ(format.sampleRate, 0x08070605u);
        EXPECT_EQ(format.byteRate, 0x0C0B0A09u);
        EXPECT_EQ(format.blockAlign, 0x0E0D);
        EXPECT_EQ(format.bitsPerSample, 0x100F);
    }
    {
        FileReaderSA input(name.c_str(), 64);
        input.setPosition(3);  // 13 bytes left: blockAlign is cut short
        WaveFormat format;
        EXPECT_FALSE(readFormat(input, format));
        EXPECT_EQ(format.formatTag, 0x0504);
        EXPECT_EQ(format.byteRate, 0x0F0E0D0Cu);
        EXPECT_EQ(format.blockAlign, 0);
        EXPECT_EQ(format.bitsPerSample, 0);
        EXPECT_EQ(input.position(), 16);
    }
}

TEST(BeginEndChunk, SizeCountsTheBodyAndWritingContinuesAtTheEnd)
{
    ScratchDir dir;
    const std::string name = dir.file("chunks.bin");
    {
        FileWriterSA output(name.c_str(), 1000);
        const uint8_t lead[] = {0xEE, 0xEE};
        output.write(lead, 2);
        const ChunkMark mark = beginChunk(output, idOf("abcd"));
        EXPECT_EQ(mark.headerStart, 2);
        EXPECT_EQ(mark.dataStart, 10);
        const std::vector<uint8_t> body = patternBytes(300);
        output.write(body.data(), 300);
        EXPECT_TRUE(endChunk(output, mark));
        EXPECT_EQ(output.position(), 310);
        const uint8_t after = 0x77;
        output.write(&after, 1);
        EXPECT_TRUE(output.close());
    }
    const std::vector<uint8_t> file = readWholeFile(name);
    ASSERT_EQ(file.size(), 311u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 2, file.begin() + 10),
              (std::vector<uint8_t>{'a', 'b', 'c', 'd', 0x2C, 0x01, 0x00, 0x00}));
    EXPECT_EQ(file[310], 0x77);
}

TEST(EndChunk, ReportsABodyTooLargeForItsSizeField)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("big.bin");
    FileWriterSA output(name.c_str(), 64);
    const ChunkMark mark = beginChunk(output, idOf("data"));
    output.setPosition(mark.dataStart + maxChunkBodySize);
    const uint8_t last = 1;
    output.write(&last, 1);  // the body is now one byte over
    EXPECT_FALSE(endChunk(output, mark));
    EXPECT_TRUE(output.close());
    EXPECT_EQ(readBytesAt(name, 4, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
}

}  // namespace
