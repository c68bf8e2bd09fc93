#include "api_material.h"

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
