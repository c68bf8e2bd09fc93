#include "formats/container_format.h"

#include <cstring>
#include <limits>

#include "base/little_endian.h"
#include "base/wrapping.h"
#include "codec/parameter_limits.h"

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559,
              "balanceScale is stored as an IEEE-754 single");

namespace {

uint32_t floatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatFromBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Walks the header's 4-byte slots in order.
class SlotWriter {
public:
    explicit SlotWriter(uint8_t* out) : next(out) {}
    void put(int32_t value) { putBits(static_cast<uint32_t>(value)); }
    void put(float value) { putBits(floatBits(value)); }
    void putBits(uint32_t bits)
    {
        putLe32(next, bits);
        next += 4;
    }

private:
    uint8_t* next;
};

class SlotReader {
public:
    explicit SlotReader(const uint8_t* in) : next(in) {}
    void get(int32_t& value) { value = wrapToInt32(getBits()); }
    void get(float& value) { value = floatFromBits(getBits()); }
    uint32_t getBits()
    {
        const uint32_t bits = getLe32(next);
        next += 4;
        return bits;
    }

private:
    const uint8_t* next;
};

// Visits the parameter fields in their stored order.
template <typename Record, typename Visitor>
void visitParameters(Record& p, Visitor& v)
{
    v(p.gainLevelMin);
    v(p.gainLevelMax);
    v(p.gainBits);
    v(p.levelRange);
    v(p.phaseBins);
    v(p.phaseBands);
    v(p.phaseBits);
    v(p.balanceBins);
    v(p.balanceBands);
    v(p.balanceBits);
    v(p.balanceScale);
    v(p.noiseBins);
    v(p.noiseBands);
    v(p.noiseBits);
    v(p.toneBins);
    v(p.toneCount);
    v(p.toneBits);
}

}  // namespace

void encodeContainerHeader(const ContainerHeader& header, uint8_t out[containerHeaderSize])
{
    std::memcpy(out, containerMagic, 4);
    SlotWriter slots(out + 4);
    auto put = [&slots](auto value) { slots.put(value); };
    visitParameters(header.parameters, put);
    slots.put(header.frameCount);
}

bool decodeContainerHeader(const uint8_t in[containerHeaderSize], ContainerHeader& out)
{
    if (std::memcmp(in, containerMagic, 4) != 0)
        return false;
    ContainerHeader header{};
    SlotReader slots(in + 4);
    auto get = [&slots](auto& value) { slots.get(value); };
    visitParameters(header.parameters, get);
    slots.get(header.frameCount);
    out = header;
    return true;
}

HeaderCheck checkContainerHeader(const uint8_t* bytes, int count, ContainerHeader& header)
{
    uint8_t full[containerHeaderSize] = {};
    const int held = count < 0 ? 0 : (count > containerHeaderSize ? containerHeaderSize : count);
    if (held > 0) std::memcpy(full, bytes, static_cast<size_t>(held));
    if (held < 4 || std::memcmp(full, containerMagic, 4) != 0) return HeaderCheck::notContainer;
    if (held < containerHeaderSize) return HeaderCheck::incomplete;
    decodeContainerHeader(full, header);
    // A damaged or hostile parameter block must never reach the decoder.
    if (!codecParametersDecodable(header.parameters)) return HeaderCheck::undecodable;
    return HeaderCheck::usable;
}
