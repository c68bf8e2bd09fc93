#include "formats/wave_reader.h"
#include "wave_bytes.h"

namespace {

Bytes readSamples(WaveReader0& wave, int count)
{
    Bytes bytes(static_cast<size_t>(count));
    bytes.resize(static_cast<size_t>(wave.input.read(bytes.data(), count)));
    return bytes;
}

TEST(WaveReader0, AcceptedHeadersLeaveTheCursorAtTheSamples)
{
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    for (int extra : {0, 2}) {  // canonical, and a format chunk of 18 bytes
        WaveLayout layout;
        layout.fmtExtraBytes = extra;
        layout.samples = patternBytes(3528 + 8);
        writeWholeFile(name, waveFile(layout));
        WaveReader0 wave(name.c_str());
        ASSERT_FALSE(wave.error);
        EXPECT_TRUE(sameFormat(wave.format, referenceFormat));
        EXPECT_EQ(wave.dataChunk.dataStart, 44 + extra);
        EXPECT_EQ(wave.dataChunk.size, layout.samples.size());
        EXPECT_EQ(readSamples(wave, 3536), layout.samples);
    }
}

TEST(WaveReader0, UnexpectedLayoutsAreRejected)
{
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    std::vector<WaveLayout> layouts(7);
    layouts[0].chunkBeforeData = "LIST";
    layouts[1].chunkBeforeData = "fact";
    layouts[2].riffTag = "RIFX";
    layouts[3].riffTag = "RF64";
    layouts[4].formTag = "wave";
    layouts[5].formTag = "AVI ";
    layouts[6].samples = patternBytes(4);
    for (size_t i = 0; i < layouts.size(); ++i) {
        Bytes bytes = waveFile(layouts[i]);
        if (i == 6)
            bytes[16] = 2;  // format chunk declares 2 bytes: "data" is not where it must be
        writeWholeFile(name, bytes);
        EXPECT_TRUE(WaveReader0(name.c_str()).error) << i;
    }
    EXPECT_TRUE(WaveReader0(dir.file("absent.wav").c_str()).error);
}

TEST(WaveReader0, EveryTruncatedHeaderIsRejected)
{
    ScratchDir dir;
    const std::string name = dir.file("cut.wav");
    WaveLayout layout;
    layout.samples = patternBytes(8);
    const Bytes whole = waveFile(layout);
    for (int length = 0; length <= 44; ++length) {
        writeWholeFile(name, Bytes(whole.begin(), whole.begin() + length));
        EXPECT_EQ(WaveReader0(name.c_str()).error, length < 44) << length;
    }
}

TEST(WaveReader0, FormatThatCannotBeReadInFullIsRejected)
{
    // "fmt " declares 2 bytes and is followed by an empty data chunk and the
    // end of the file, so the 16 format bytes do not exist.
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    Bytes bytes = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'A', 'V', 'E'};
    appendChunk(bytes, "fmt ", {1, 0});
    appendChunk(bytes, "data", {});
    writeWholeFile(name, bytes);
    EXPECT_TRUE(WaveReader0(name.c_str()).error);
}

TEST(WaveReader0, OtherFormatsAreParsedAndTheRiffSizeIsIgnored)
{
    ScratchDir dir;
    const std::string name = dir.file("in.wav");
    WaveLayout mono, eightBit, rate48k;
    mono.channels = 1, mono.byteRate = 88200, mono.blockAlign = 2;
    eightBit.bits = 8, eightBit.byteRate = 88200, eightBit.blockAlign = 2;
    rate48k.sampleRate = 48000, rate48k.byteRate = 192000;
    for (const WaveLayout& layout : {mono, eightBit, rate48k}) {
        Bytes bytes = waveFile(layout);
        bytes[4] = bytes[5] = bytes[6] = bytes[7] = 0xFF;  // wrong RIFF size
        writeWholeFile(name, bytes);
        WaveReader0 wave(name.c_str());
        ASSERT_FALSE(wave.error);
        EXPECT_FALSE(sameFormat(wave.format, referenceFormat));
        EXPECT_EQ(wave.format.channels, layout.channels);
        EXPECT_EQ(wave.format.sampleRate, layout.sampleRate);
        EXPECT_EQ(wave.format.byteRate, layout.byteRate);
        EXPECT_EQ(wave.format.blockAlign, layout.blockAlign);
        EXPECT_EQ(wave.format.bitsPerSample, layout.bits);
    }
}

TEST(WaveReader0, DataNearTheFourGibibyteLimitIsReachable)
{
    SKIP_WITHOUT_SPARSE_FILES();
    ScratchDir dir;
    const std::string name = dir.file("huge.wav");
    Bytes header = waveFile(WaveLayout());
    header[40] = 0x00, header[41] = header[42] = header[43] = 0xFF;  // 0xFFFFFF00 bytes
    writeSparseFile(name, {{0, header}, {44 + int64_t{0xFFFFFF00} - 4, {1, 2, 3, 4}}});
    WaveReader0 wave(name.c_str());
    ASSERT_FALSE(wave.error);
    EXPECT_EQ(wave.dataChunk.size, 0xFFFFFF00u);
    wave.input.setPosition(wave.dataChunk.dataStart + wave.dataChunk.size - 4);
    EXPECT_EQ(readSamples(wave, 5), (Bytes{1, 2, 3, 4}));
}

}  // namespace
