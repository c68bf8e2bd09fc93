#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/wave_reader.h"
#include "formats/wave_writer.h"
#include "streams/scratch_files.h"

namespace {

const std::vector<uint8_t> emptyReferenceWave = {
    0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45,
    0x66, 0x6D, 0x74, 0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00,
    0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00,
    0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};

uint32_t le32At(const std::vector<uint8_t>& bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

TEST(WaveWriter0, NoSamplesGiveTheBareHeader)
{
    ScratchDir dir;
    const std::string name = dir.file("out.wav");
    {
        WaveWriter0 wave(name.c_str(), referenceFormat);
        EXPECT_FALSE(wave.error);
        EXPECT_EQ(wave.output.cursorPosition(), 44);
        EXPECT_EQ(wave.sampleBytes(), 0);
        EXPECT_TRUE(wave.close());
    }
    EXPECT_EQ(readWholeFile(name), emptyReferenceWave);
}

TEST(WaveWriter0, HeaderSizesAreZeroUntilClosedButTheFormatIsComplete)
{
    ScratchDir dir;
    const std::string name = dir.file("out.wav");
    WaveWriter0 wave(name.c_str(), referenceFormat);
    wave.output.position();  // push the header out without closing
    std::vector<uint8_t> expected = emptyReferenceWave;
    expected[4] = 0;  // RIFF size still 0
    EXPECT_EQ(readWholeFile(name), expected);
}

TEST(WaveWriter0, BlocksSetDataAndRiffSizes)
{
    ScratchDir dir;
    for (int blocks : {1, 3}) {
        const std::string name = dir.file("out.wav");
        const std::vector<uint8_t> samples = patternBytes(3528 * blocks, blocks);
        {
            // Closed by the destructor this time.
            WaveWriter0 wave(name.c_str(), referenceFormat);
            for (int b = 0; b < blocks; ++b)
                ASSERT_EQ(wave.output.write(samples.data() + 3528 * b, 3528), 3528);
            EXPECT_EQ(wave.sampleBytes(), 3528 * blocks);
        }
        const std::vector<uint8_t> file = readWholeFile(name);
        ASSERT_EQ(file.size(), 44u + 3528u * static_cast<unsigned>(blocks));
        EXPECT_EQ(le32At(file, 4), 36u + 3528u * static_cast<unsigned>(blocks));
        EXPECT_EQ(le32At(file, 40), 3528u * static_cast<unsigned>(blocks));
        EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 4), std::vector<uint8_t>(emptyReferenceWave.begin(), emptyReferenceWave.begin() + 4));
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + 8, file.begin() + 40),
                  std::vector<uint8_t>(emptyReferenceWave.begin() + 8, emptyReferenceWave.begin() + 40));
        EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.end()), samples);
    }
}

TEST(WaveWriter0, WrittenFileReadsBackWithTheGivenFormat)
{
    ScratchDir dir;
    const std::string name = dir.file("out.wav");
    const WaveFormat mono8{1, 1, 8000, 8000, 1, 8};
    const std::vector<uint8_t> samples = patternBytes(1001);  // odd on purpose: no pad byte is added
    {
        WaveWriter0 wave(name.c_str(), mono8);
        wave.output.write(samples.data(), 1001);
        EXPECT_TRUE(wave.close());
    }
    WaveReader0 back(name.c_str());
    ASSERT_FALSE(back.error);
    EXPECT_TRUE(sameFormat(back.format, mono8));
    EXPECT_EQ(back.dataChunk.size, 1001u);
    std::vector<uint8_t> readBack(1001);
    EXPECT_EQ(back.input.read(readBack.data(), 1001), 1001);
    EXPECT_EQ(readBack, samples);
}

TEST(WaveWriter0, CanAppendGuardsTheRiffSizeLimit)
{
    ScratchDir dir;
    WaveWriter0 wave(dir.file("out.wav").c_str(), referenceFormat);
    EXPECT_EQ(WaveWriter0::maxDataBytes + 36, 0xFFFFFFFFLL);
    EXPECT_TRUE(wave.canAppend(0));
    EXPECT_TRUE(wave.canAppend(WaveWriter0::maxDataBytes));
    EXPECT_FALSE(wave.canAppend(WaveWriter0::maxDataBytes + 1));
    EXPECT_FALSE(wave.canAppend(-1));
    const std::vector<uint8_t> block(3528, 0);
    wave.output.write(block.data(), 3528);
    EXPECT_TRUE(wave.canAppend(WaveWriter0::maxDataBytes - 3528));
    EXPECT_FALSE(wave.canAppend(WaveWriter0::maxDataBytes - 3527));
}

TEST(WaveWriter0, DataUpToTheLimitIsPatchedAndOneByteMoreIsReported)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    for (int64_t over : {0, 1}) {
        const std::string name = dir.file("huge.wav");
        bool closed = false;
        {
            WaveWriter0 wave(name.c_str(), referenceFormat);
            // Skip ahead over a hole instead of writing 4 GiB of samples.
            wave.output.setPosition(44 + WaveWriter0::maxDataBytes + over - 1);
            const uint8_t last = 0x42;
            ASSERT_EQ(wave.output.write(&last, 1), 1);
            EXPECT_EQ(wave.sampleBytes(), WaveWriter0::maxDataBytes + over);
            EXPECT_EQ(wave.canAppend(1), false);
            closed = wave.close();
        }
        const std::vector<uint8_t> header = readBytesAt(name, 0, 44);
        ASSERT_EQ(header.size(), 44u);
        if (over == 0) {
            EXPECT_TRUE(closed);
            EXPECT_EQ(le32At(header, 4), 0xFFFFFFFFu);
            EXPECT_EQ(le32At(header, 40), static_cast<uint32_t>(WaveWriter0::maxDataBytes));
        } else {
            EXPECT_FALSE(closed);  // the RIFF size cannot describe this file
        }
        EXPECT_EQ(readBytesAt(name, 44 + WaveWriter0::maxDataBytes + over - 1, 2), (std::vector<uint8_t>{0x42}));
    }
}

TEST(WaveWriter0, UnopenableFileSetsErrorAndCloseFails)
{
    ScratchDir dir;
    const std::string name = dir.file("no-such-dir/out.wav");
    {
        WaveWriter0 wave(name.c_str(), referenceFormat);
        EXPECT_TRUE(wave.error);
        EXPECT_EQ(wave.sampleBytes(), 0);
        const std::vector<uint8_t> block(3528, 1);
        EXPECT_EQ(wave.output.write(block.data(), 3528), 3528);  // taken and dropped
        EXPECT_EQ(wave.sampleBytes(), 3528);
        EXPECT_FALSE(wave.close());
        EXPECT_FALSE(wave.close());
    }
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(WaveWriter0, FullDeviceIsReported)
{
    std::error_code ignored;
    if (!std::filesystem::exists("/dev/full", ignored))
        GTEST_SKIP() << "no /dev/full here";
    WaveWriter0 wave("/dev/full", referenceFormat);
    EXPECT_TRUE(wave.error);  // the header's first flush fails
    EXPECT_FALSE(wave.close());
}

}  // namespace
