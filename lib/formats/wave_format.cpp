#include "formats/wave_format.h"

#include "base/little_endian.h"

const WaveFormat referenceFormat = {1, 2, 44100, 176400, 4, 16};

namespace {

bool read16(StorageReader& input, uint16_t& field)
{
    uint8_t bytes[2] = {0, 0};
    if (input.read(bytes, 2) != 2)
        return false;
    field = getLe16(bytes);
    return true;
}

bool read32(StorageReader& input, uint32_t& field)
{
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (input.read(bytes, 4) != 4)
        return false;
    field = getLe32(bytes);
    return true;
}

bool write16(StorageWriter& output, uint16_t field)
{
    uint8_t bytes[2];
    putLe16(bytes, field);
    return output.write(bytes, 2) == 2;
}

bool write32(StorageWriter& output, uint32_t field)
{
    uint8_t bytes[4];
    putLe32(bytes, field);
    return output.write(bytes, 4) == 4;
}

}  // namespace

bool readFormat(StorageReader& input, WaveFormat& format)
{
    format = WaveFormat{0, 0, 0, 0, 0, 0};
    return read16(input, format.formatTag) && read16(input, format.channels) &&
           read32(input, format.sampleRate) && read32(input, format.byteRate) &&
           read16(input, format.blockAlign) && read16(input, format.bitsPerSample);
}

bool writeFormat(StorageWriter& output, const WaveFormat& format)
{
    return write16(output, format.formatTag) && write16(output, format.channels) &&
           write32(output, format.sampleRate) && write32(output, format.byteRate) &&
           write16(output, format.blockAlign) && write16(output, format.bitsPerSample);
}

bool sameFormat(const WaveFormat& a, const WaveFormat& b)
{
    return a.formatTag == b.formatTag && a.channels == b.channels && a.sampleRate == b.sampleRate &&
           a.byteRate == b.byteRate && a.blockAlign == b.blockAlign &&
           a.bitsPerSample == b.bitsPerSample;
}
