// WaveFormat: the 16-byte body of a WAV file's "fmt " chunk (format tag,
// channels, rate, byte rate, block size, sample bits).
#pragma once

#include <cstdint>

#include "streams/storage_reader.h"
#include "streams/storage_writer.h"

// The body of a "fmt " chunk (the first 16 bytes of it). Stored field by
// field in little-endian order.
struct WaveFormat {
    uint16_t formatTag;  // 1 = PCM
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t byteRate;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
};

static_assert(sizeof(WaveFormat) == 16, "WaveFormat is a 16-byte record");

// The one format read and written: PCM, 2 channels, 44100 Hz, 176400 bytes/s,
// block 4, 16 bits.
extern const WaveFormat referenceFormat;

// Reads the six fields in order, one read of the field's size each, and
// stops at the first short read. Fields not read in full are 0. True when
// all 16 bytes were read.
bool readFormat(StorageReader& input, WaveFormat& format);

// Writes the six fields in order, one write each, stopping at the first
// short write. True when all 16 bytes were written.
bool writeFormat(StorageWriter& output, const WaveFormat& format);

// True when all six fields are equal.
bool sameFormat(const WaveFormat& a, const WaveFormat& b);
