#include "formats/wave_reader.h"
#include "formats/wave_writer.h"
#include "wave_bytes.h"

namespace {

const Bytes emptyReferenceWave = {
    0x52, 0x49, 0x46, 0x46, 0x24, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
    0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1,
    0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00};

TEST(WaveWriter0, NoSamplesGiveTheBareHeader)
{
    ScratchDir dir;
    const std::string name = dir.file("out.wav");
    WaveWriter0 wave(name.c_str(), referenceFormat);
    EXPECT_FALSE(wave.error);
    EXPECT_EQ(wave.sampleBytes(), 0);
    EXPECT_TRUE(wave.close());
    EXPECT_EQ(readWholeFile(name), emptyReferenceWave);
}

TEST(WaveWriter0, BlocksSetDataAndRiffSizes)
{
    ScratchDir dir;
    const std::string name = dir.file("out.wav");
    for (uint32_t blocks : {1u, 3u}) {
        const Bytes samples = patternBytes(3528 * static_cast<int>(blocks));
        {
            WaveWriter0 wave(name.c_str(), referenceFormat);  // closed by the destructor
            for (uint32_t b = 0; b < blocks; ++b)
                ASSERT_EQ(wave.output.write(samples.data() + 3528 * b, 3528), 3528);
            EXPECT_EQ(wave.sampleBytes(), 3528 * blocks);
        }
        Bytes expected = emptyReferenceWave;
        expected.insert(expected.end(), samples.begin(), samples.end());
        const Bytes file = readWholeFile(name);
        EXPECT_EQ(le32At(file, 4), 36 + 3528 * blocks);
        EXPECT_EQ(le32At(file, 40), 3528 * blocks);
        std::copy(file.begin() + 4, file.begin() + 8, expected.begin() + 4);
        std::copy(file.begin() + 40, file.begin() + 44, expected.begin() + 40);
        EXPECT_EQ(file, expected);
    }
}

TEST(WaveWriter0, WrittenFileReadsBackWithTheGivenFormat)
{
    ScratchDir dir;
    const std::string name = dir.file("out.wav");
    const WaveFormat mono8{1, 1, 8000, 8000, 1, 8};
    const Bytes samples = patternBytes(1001);  // odd: no pad byte is added
    {
        WaveWriter0 wave(name.c_str(), mono8);
        wave.output.write(samples.data(), 1001);
    }
    WaveReader0 back(name.c_str());
    ASSERT_FALSE(back.error);
    EXPECT_TRUE(sameFormat(back.format, mono8));
    Bytes readBack(1002);
    EXPECT_EQ(back.input.read(readBack.data(), 1002), 1001);
    EXPECT_EQ(Bytes(readBack.begin(), readBack.end() - 1), samples);
}

TEST(WaveWriter0, DataUpToTheRiffLimitIsPatchedAndOneByteMoreIsReported)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("huge.wav");
    for (int64_t over : {0, 1}) {
        WaveWriter0 wave(name.c_str(), referenceFormat);
        EXPECT_TRUE(wave.canAppend(WaveWriter0::maxDataBytes));
        EXPECT_FALSE(wave.canAppend(WaveWriter0::maxDataBytes + 1));
        // Hop over a hole instead of writing 4 GiB of samples.
        wave.output.setPosition(44 + WaveWriter0::maxDataBytes + over - 1);
        const uint8_t last = 0x42;
        ASSERT_EQ(wave.output.write(&last, 1), 1);
        EXPECT_EQ(wave.sampleBytes(), WaveWriter0::maxDataBytes + over);
        EXPECT_FALSE(wave.canAppend(1));
        EXPECT_EQ(wave.close(), over == 0);
        const Bytes header = readBytesAt(name, 0, 44);
        if (over == 0) {
            EXPECT_EQ(le32At(header, 4), 0xFFFFFFFFu);
            EXPECT_EQ(le32At(header, 40), 0xFFFFFFFFu - 36);
        }
    }
}

TEST(WaveWriter0, UnusableOutputIsReported)
{
    ScratchDir dir;
    const std::string name = dir.file("no-such-dir/out.wav");
    WaveWriter0 wave(name.c_str(), referenceFormat);
    EXPECT_TRUE(wave.error);
    const Bytes block(3528, 1);
    EXPECT_EQ(wave.output.write(block.data(), 3528), 3528);  // taken and dropped
    EXPECT_EQ(wave.sampleBytes(), 3528);
    EXPECT_FALSE(wave.close());
    EXPECT_FALSE(std::filesystem::exists(name));

    if (haveDevFull()) {
        WaveWriter0 full("/dev/full", referenceFormat);
        EXPECT_TRUE(full.error);  // the header's first flush fails
        EXPECT_FALSE(full.close());
    }
}

}  // namespace
