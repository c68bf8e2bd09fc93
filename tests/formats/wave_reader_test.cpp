#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/wave_reader.h"
#include "streams/scratch_files.h"
#include "wave_bytes.h"

namespace {

// Reads the sample bytes that follow the header through the reader's stream.
std::vector<uint8_t> readSamples(WaveReader0& wave, int count)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    const int got = wave.input.read(bytes.data(), count);
    bytes.resize(static_cast<size_t>(got));
    return bytes;
}

TEST(WaveReader0, CanonicalHeaderIsAcceptedAndLeavesTheCursorAtTheSamples)
{
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    WaveLayout layout;
    layout.samples = patternBytes(3528 * 2 + 8);
    writeWholeFile(name, waveFile(layout));

    WaveReader0 wave(name.c_str());
    ASSERT_FALSE(wave.error);
    EXPECT_TRUE(sameFormat(wave.format, referenceFormat));
    EXPECT_TRUE(wave.dataChunk.id == dataId);
    EXPECT_EQ(wave.dataChunk.dataStart, 44);
    EXPECT_EQ(wave.dataChunk.size, layout.samples.size());
    EXPECT_EQ(wave.input.position(), 44);
    EXPECT_EQ(readSamples(wave, static_cast<int>(layout.samples.size())), layout.samples);
}

TEST(WaveReader0, LongerFormatChunkIsSkippedToTheData)
{
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    WaveLayout layout;
    layout.fmtExtraBytes = 2;  // cbSize field of an extended format
    layout.samples = patternBytes(40);
    writeWholeFile(name, waveFile(layout));

    WaveReader0 wave(name.c_str());
    ASSERT_FALSE(wave.error);
    EXPECT_TRUE(sameFormat(wave.format, referenceFormat));
    EXPECT_EQ(wave.dataChunk.dataStart, 46);
    EXPECT_EQ(readSamples(wave, 40), layout.samples);
}

TEST(WaveReader0, AnyChunkBetweenFormatAndDataIsRejected)
{
    ScratchDir dir;
    for (const char* intruder : {"LIST", "fact", "JUNK"}) {
        const std::string name = dir.file("in.wav");
        WaveLayout layout;
        layout.chunkBeforeData = intruder;
        layout.samples = patternBytes(16);
        writeWholeFile(name, waveFile(layout));
        WaveReader0 wave(name.c_str());
        EXPECT_TRUE(wave.error) << intruder;
    }
}

TEST(WaveReader0, OtherContainersAndMisspelledIdsAreRejected)
{
    ScratchDir dir;
    struct Case {
        std::string riff, form;
    };
    for (const Case& c : {Case{"RIFX", "WAVE"}, Case{"RF64", "WAVE"}, Case{"riff", "WAVE"},
                          Case{"RIFF", "AVI "}, Case{"RIFF", "wave"}}) {
        const std::string name = dir.file("in.wav");
        WaveLayout layout;
        layout.riffTag = c.riff;
        layout.formTag = c.form;
        layout.samples = patternBytes(8);
        writeWholeFile(name, waveFile(layout));
        WaveReader0 wave(name.c_str());
        EXPECT_TRUE(wave.error) << c.riff << " " << c.form;
    }
}

TEST(WaveReader0, OtherPcmFormatsAreParsedButDifferFromTheReference)
{
    ScratchDir dir;
    FmtFields mono;
    mono.channels = 1, mono.byteRate = 88200, mono.blockAlign = 2;
    FmtFields eightBit;
    eightBit.bitsPerSample = 8, eightBit.byteRate = 88200, eightBit.blockAlign = 2;
    FmtFields rate48k;
    rate48k.sampleRate = 48000, rate48k.byteRate = 192000;
    FmtFields floatingPoint;
    floatingPoint.formatTag = 3;

    for (const FmtFields& f : {mono, eightBit, rate48k, floatingPoint}) {
        const std::string name = dir.file("in.wav");
        WaveLayout layout;
        layout.format = f;
        layout.samples = patternBytes(12);
        writeWholeFile(name, waveFile(layout));
        WaveReader0 wave(name.c_str());
        ASSERT_FALSE(wave.error);
        EXPECT_EQ(wave.format.formatTag, f.formatTag);
        EXPECT_EQ(wave.format.channels, f.channels);
        EXPECT_EQ(wave.format.sampleRate, f.sampleRate);
        EXPECT_EQ(wave.format.byteRate, f.byteRate);
        EXPECT_EQ(wave.format.blockAlign, f.blockAlign);
        EXPECT_EQ(wave.format.bitsPerSample, f.bitsPerSample);
        EXPECT_FALSE(sameFormat(wave.format, referenceFormat));
    }
}

TEST(WaveReader0, RiffSizeFieldIsIgnored)
{
    ScratchDir dir;
    for (uint32_t riffSize : {0u, 1u, 0xFFFFFFFFu}) {
        const std::string name = dir.file("in.wav");
        WaveLayout layout;
        layout.correctRiffSize = false;
        layout.riffSize = riffSize;
        layout.samples = patternBytes(20);
        writeWholeFile(name, waveFile(layout));
        WaveReader0 wave(name.c_str());
        ASSERT_FALSE(wave.error) << riffSize;
        EXPECT_EQ(wave.dataChunk.size, 20u);
        EXPECT_EQ(readSamples(wave, 20), layout.samples);
    }
}

TEST(WaveReader0, EveryTruncatedHeaderIsRejectedWithoutHarm)
{
    ScratchDir dir;
    WaveLayout layout;
    layout.samples = patternBytes(8);
    const std::vector<uint8_t> whole = waveFile(layout);
    for (size_t length = 0; length <= 44; ++length) {
        const std::string name = dir.file("cut.wav");
        writeWholeFile(name, std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(length)));
        WaveReader0 wave(name.c_str());
        EXPECT_EQ(wave.error, length < 44) << "length " << length;
    }
}

TEST(WaveReader0, DataSizeLargerThanTheFileIsReportedAsStored)
{
    // The reader takes the size as stored; short sample reads show the rest.
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    WaveLayout layout;
    layout.samples = patternBytes(10);
    std::vector<uint8_t> bytes = waveFile(layout);
    bytes[40] = 0x00, bytes[41] = 0x10, bytes[42] = 0x00, bytes[43] = 0x00;  // claims 4096
    writeWholeFile(name, bytes);
    WaveReader0 wave(name.c_str());
    ASSERT_FALSE(wave.error);
    EXPECT_EQ(wave.dataChunk.size, 4096u);
    std::vector<uint8_t> block(3528, 0xAA);
    EXPECT_EQ(wave.input.read(block.data(), 3528), 10);
    EXPECT_EQ(block[10], 0);
    EXPECT_TRUE(wave.input.failed());
}

TEST(WaveReader0, FormatThatCannotBeReadInFullIsRejected)
{
    // A format chunk declaring 2 bytes, directly followed by an empty data
    // chunk and the end of the file: the 16 format bytes are not there.
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    std::vector<uint8_t> bytes;
    appendText(bytes, "RIFF");
    appendLe32(bytes, 22);
    appendText(bytes, "WAVE");
    appendChunk(bytes, "fmt ", {1, 0});
    appendChunk(bytes, "data", {});
    writeWholeFile(name, bytes);
    WaveReader0 wave(name.c_str());
    EXPECT_TRUE(wave.error);
}

TEST(WaveReader0, MissingFileSetsError)
{
    ScratchDir dir;
    WaveReader0 wave(dir.file("absent.wav").c_str());
    EXPECT_TRUE(wave.error);
}

TEST(WaveReader0, DataNearTheFourGibibyteLimitIsReachable)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("huge.wav");
    const uint32_t dataSize = 0xFFFFFF00u;  // far past 2^31
    WaveLayout layout;
    std::vector<uint8_t> header = waveFile(layout);  // 44 bytes with empty data
    header[40] = 0x00, header[41] = 0xFF, header[42] = 0xFF, header[43] = 0xFF;
    writeSparseFile(name, {{0, header}, {44 + int64_t{dataSize} - 4, {1, 2, 3, 4}}});

    WaveReader0 wave(name.c_str());
    ASSERT_FALSE(wave.error);
    EXPECT_EQ(wave.dataChunk.size, dataSize);
    EXPECT_EQ(wave.input.size(), 44 + int64_t{dataSize});
    wave.input.setPosition(wave.dataChunk.dataStart + wave.dataChunk.size - 4);
    EXPECT_EQ(readSamples(wave, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

}  // namespace
