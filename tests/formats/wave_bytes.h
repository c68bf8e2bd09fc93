#pragma once

// Builds RIFF/WAVE files byte by byte, independently of the code under test.

#include <string>

#include "streams/scratch_files.h"

inline void appendLe(Bytes& out, uint32_t value, int byteCount)
{
    for (int i = 0; i < byteCount; ++i)
        out.push_back(static_cast<uint8_t>((value >> (8 * i)) & 0xFF));
}

inline void appendChunk(Bytes& out, const std::string& id, const Bytes& body)
{
    out.insert(out.end(), id.begin(), id.end());
    appendLe(out, static_cast<uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
}

inline uint32_t le32At(const Bytes& bytes, size_t offset)
{
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

struct WaveLayout {
    std::string riffTag = "RIFF", formTag = "WAVE";
    uint32_t formatTag = 1, channels = 2, sampleRate = 44100, byteRate = 176400, blockAlign = 4, bits = 16;
    int fmtExtraBytes = 0;
    std::string chunkBeforeData;  // e.g. "LIST"; empty for none
    Bytes samples;
};

inline Bytes waveFile(const WaveLayout& w)
{
    Bytes fmt;
    appendLe(fmt, w.formatTag, 2);
    appendLe(fmt, w.channels, 2);
    appendLe(fmt, w.sampleRate, 4);
    appendLe(fmt, w.byteRate, 4);
    appendLe(fmt, w.blockAlign, 2);
    appendLe(fmt, w.bits, 2);
    fmt.insert(fmt.end(), static_cast<size_t>(w.fmtExtraBytes), 0);
    Bytes chunks;
    appendChunk(chunks, "fmt ", fmt);
    if (!w.chunkBeforeData.empty())
        appendChunk(chunks, w.chunkBeforeData, {'a', 'b', 'c', 'd'});
    appendChunk(chunks, "data", w.samples);

    Bytes file(w.riffTag.begin(), w.riffTag.end());
    appendLe(file, static_cast<uint32_t>(4 + chunks.size()), 4);
    file.insert(file.end(), w.formTag.begin(), w.formTag.end());
    file.insert(file.end(), chunks.begin(), chunks.end());
    return file;
}
