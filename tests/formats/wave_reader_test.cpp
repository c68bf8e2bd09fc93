#include "formats/wave_reader.h"
#include "formats/wave_survey.h"
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

// Odd-sized chunks before, inside and after the part q58 reads. The reader
// takes no pad byte after "fmt " (it looks for "data" at the declared end of
// the format body); the survey's listing honours pad bytes everywhere else.
// Whatever the layout, the survey accepts exactly what the reader accepts.
TEST(WaveReader0, OddSizedChunksAroundTheFormatChunkAreJudgedAlikeByTheSurvey)
{
    struct Piece {
        const char* id;
        int size;  // body bytes; "fmt " gets the reference format in its first 16
        bool pad;  // a pad byte follows an odd body
    };
    struct Case {
        const char* what;
        std::vector<Piece> pieces;
        WaveVerdict verdict;
        const char* reasonPart;          // "" for accepted
        std::vector<int64_t> offsets;    // the survey's chunk offsets after "RIFF"; empty: not checked
    };
    const Case cases[] = {
        {"odd LIST before fmt", {{"LIST", 3, true}, {"fmt ", 16, false}, {"data", 8, false}},
         WaveVerdict::layout, "the \"LIST\" chunk stands before \"fmt \"", {12, 24, 48}},
        {"two odd chunks before fmt", {{"LIST", 1, true}, {"junk", 5, true}, {"fmt ", 16, false}, {"data", 8, false}},
         WaveVerdict::layout, "the \"LIST\" and \"junk\" chunks stand before", {12, 22, 36, 60}},
        {"odd fmt with its pad byte", {{"fmt ", 17, true}, {"data", 8, false}},
         WaveVerdict::layout, "odd size (17) and a pad byte", {12, 38}},
        {"odd fmt without a pad byte", {{"fmt ", 17, false}, {"data", 8, false}}, WaveVerdict::accepted, "", {}},
        {"odd chunk between fmt and data", {{"fmt ", 16, false}, {"junk", 5, true}, {"data", 8, false}},
         WaveVerdict::layout, "the \"junk\" chunk stands between \"fmt \" and \"data\"", {12, 36, 50}},
        {"odd data, then an odd chunk", {{"fmt ", 16, false}, {"data", 3, true}, {"LIST", 5, true}},
         WaveVerdict::accepted, "", {12, 36, 48}},
        {"odd chunk after data without its pad", {{"fmt ", 16, false}, {"data", 8, false}, {"LIST", 3, false}},
         WaveVerdict::accepted, "", {12, 36, 52}},
    };
    ScratchDir dir;
    const std::string name = dir.file("odd.wav");
    const Bytes format = waveFile(WaveLayout());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes chunks;
        for (const Piece& piece : c.pieces) {
            Bytes body = patternBytes(piece.size);
            if (std::string(piece.id) == "fmt ")
                std::copy(format.begin() + 20, format.begin() + 36, body.begin());
            appendChunk(chunks, piece.id, body);
            if (piece.pad && piece.size % 2 == 1)
                chunks.push_back(0);
        }
        Bytes file = {'R', 'I', 'F', 'F'};
        appendLe(file, static_cast<uint32_t>(4 + chunks.size()), 4);
        file.insert(file.end(), {'W', 'A', 'V', 'E'});
        file.insert(file.end(), chunks.begin(), chunks.end());
        writeWholeFile(name, file);

        const WaveSurvey survey = surveyWave(name);
        EXPECT_EQ(survey.verdict, c.verdict) << survey.reason;
        EXPECT_NE(survey.reason.find(c.reasonPart), std::string::npos) << survey.reason;
        EXPECT_EQ(WaveReader0(name.c_str()).error, survey.verdict != WaveVerdict::accepted);
        if (!c.offsets.empty()) {
            std::vector<int64_t> offsets;
            for (size_t i = 1; i < survey.chunks.size(); ++i)
                offsets.push_back(survey.chunks[i].offset);
            EXPECT_EQ(offsets, c.offsets);
        }
    }
}

}  // namespace
