#pragma once

// Builds RIFF/WAVE files byte by byte for the format tests, independently of
// the code under test.

#include <cstdint>
#include <string>
#include <vector>

inline void appendLe16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

inline void appendLe32(std::vector<uint8_t>& out, uint32_t value)
{
    appendLe16(out, value & 0xFFFF);
    appendLe16(out, value >> 16);
}

inline void appendText(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

struct FmtFields {
    uint32_t formatTag = 1;
    uint32_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t byteRate = 176400;
    uint32_t blockAlign = 4;
    uint32_t bitsPerSample = 16;
};

// A "fmt " body: the 16 standard bytes followed by extraBytes zero bytes.
inline std::vector<uint8_t> fmtBody(const FmtFields& f, int extraBytes = 0)
{
    std::vector<uint8_t> body;
    appendLe16(body, f.formatTag);
    appendLe16(body, f.channels);
    appendLe32(body, f.sampleRate);
    appendLe32(body, f.byteRate);
    appendLe16(body, f.blockAlign);
    appendLe16(body, f.bitsPerSample);
    body.insert(body.end(), static_cast<size_t>(extraBytes), 0);
    return body;
}

inline void appendChunk(std::vector<uint8_t>& out, const std::string& id, const std::vector<uint8_t>& body)
{
    appendText(out, id);
    appendLe32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

struct WaveLayout {
    std::string riffTag = "RIFF";
    std::string formTag = "WAVE";
    FmtFields format;
    int fmtExtraBytes = 0;
    std::string chunkBeforeData;  // e.g. "LIST" or "fact"; empty for none
    std::vector<uint8_t> samples;
    bool correctRiffSize = true;
    uint32_t riffSize = 0;        // used when correctRiffSize is false
};

inline std::vector<uint8_t> waveFile(const WaveLayout& layout)
{
    std::vector<uint8_t> chunks;
    appendChunk(chunks, "fmt ", fmtBody(layout.format, layout.fmtExtraBytes));
    if (!layout.chunkBeforeData.empty())
        appendChunk(chunks, layout.chunkBeforeData, {'a', 'b', 'c', 'd'});
    appendChunk(chunks, "data", layout.samples);

    std::vector<uint8_t> file;
    appendText(file, layout.riffTag);
    appendLe32(file, layout.correctRiffSize ? static_cast<uint32_t>(4 + chunks.size()) : layout.riffSize);
    appendText(file, layout.formTag);
    file.insert(file.end(), chunks.begin(), chunks.end());
    return file;
}
