#include "api_material.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

std::unique_ptr<ScratchDir> scratchDir;

ApiMaterial make()
{
    scratchDir = std::make_unique<ScratchDir>();
    ApiMaterial m;
    m.input = chordSignal(150 * 882 + 300, 7);
    writeFileBytes(scratchDir->file("in.wav"), makeWav(m.input));
    if (scratchDir->runQ58({"in.wav"}).exitStatus != 0 || scratchDir->runQ58({"in.q58"}).exitStatus != 0)
        throw std::runtime_error("the converter failed on the test material");
    m.q58Path = scratchDir->file("in.q58");
    m.q58Bytes = readFileBytes(m.q58Path);
    m.decoded = wavSamples(readFileBytes(scratchDir->file("in.q58.wav")));
    return m;
}

}  // namespace

const ScratchDir& ApiMaterial::scratch() const { return *scratchDir; }

const ApiMaterial& apiMaterial()
{
    static const ApiMaterial material = make();
    return material;
}

std::vector<int16_t> wavSamples(const std::vector<uint8_t>& wav)
{
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < wav.size(); i += 2)
        samples.push_back(static_cast<int16_t>(static_cast<uint16_t>(wav[i] | (wav[i + 1] << 8))));
    return samples;
}

std::vector<int16_t> readAll(q58_decoder* decoder, const std::vector<size_t>& chunks)
{
    std::vector<int16_t> out;
    std::vector<int16_t> buffer;
    for (size_t i = 0;; ++i) {
        const size_t want = chunks[i % chunks.size()];
        buffer.assign(2 * want, 0);
        const size_t got = q58_decoder_read_s16(decoder, buffer.data(), want);
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<long>(2 * got));
        if (got < want) break;
    }
    return out;
}

StraightDecode straightDecode(const std::vector<uint8_t>& q58Bytes)
{
    StraightDecode straight;
    q58_decoder* decoder = q58_decoder_open_memory(q58Bytes.data(), q58Bytes.size(), nullptr);
    if (decoder == nullptr) throw std::runtime_error("the straight decode cannot open its bytes");
    const size_t length = static_cast<size_t>(q58_decoder_length(decoder));
    straight.samples.resize(2 * length);
    straight.samples.resize(2 * q58_decoder_read_s16(decoder, straight.samples.data(), length + 1));
    straight.endStatus = q58_decoder_status(decoder);
    q58_decoder_close(decoder);
    return straight;
}

void expectStraightRead(q58_decoder* decoder, const StraightDecode& straight, size_t frames)
{
    const uint64_t from = q58_decoder_position(decoder);
    ASSERT_LE(from, straight.frames()) << "position past the straight decode";
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(frames, straight.frames() - from));
    std::vector<int16_t> buffer(2 * frames);
    ASSERT_EQ(q58_decoder_read_s16(decoder, buffer.data(), frames), expected) << "read from " << from;
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(2 * expected),
                           straight.samples.begin() + static_cast<long>(2 * from)))
        << "samples differ from the straight decode, read from " << from;
    EXPECT_EQ(q58_decoder_position(decoder), from + expected);
    const int status = expected < frames ? straight.endStatus
                       : from + expected == q58_decoder_length(decoder) ? Q58_END_OF_STREAM
                                                                         : Q58_OK;
    EXPECT_EQ(q58_decoder_status(decoder), status) << "after reading from " << from;
}
