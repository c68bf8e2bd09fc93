#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "formats/container_format.h"

namespace {

// The built-in parameter block, spelled out here rather than taken from the
// codec so that this test stands on its own.
CodecParameters builtInParameters()
{
    CodecParameters p;
    p.gainLevelMin = 32;
    p.gainLevelMax = 128;
    p.gainBits = 8;
    p.levelRange = 96;
    p.phaseBins = 600;
    p.phaseBands = 4;
    p.phaseBits = 6;
    p.balanceBins = 704;
    p.balanceBands = 4;
    p.balanceBits = 5;
    p.balanceScale = 1.5f;
    p.noiseBins = 704;
    p.noiseBands = 32;
    p.noiseBits = 5;
    p.toneBins = 600;
    p.toneCount = 32;
    p.toneBits = 5;
    return p;
}

// Every field different, some negative, the float with a full mantissa.
CodecParameters unusualParameters()
{
    CodecParameters p;
    p.gainLevelMin = -1;
    p.gainLevelMax = INT32_MAX;
    p.gainBits = INT32_MIN;
    p.levelRange = 0x01020304;
    p.phaseBins = -600;
    p.phaseBands = 5;
    p.phaseBits = 6;
    p.balanceBins = 7;
    p.balanceBands = 8;
    p.balanceBits = 9;
    p.balanceScale = -0.1f;
    p.noiseBins = 10;
    p.noiseBands = 11;
    p.noiseBits = 12;
    p.toneBins = 13;
    p.toneCount = 14;
    p.toneBits = 0x7F6E5D4C;
    return p;
}

bool sameParameters(const CodecParameters& a, const CodecParameters& b)
{
    uint32_t scaleA, scaleB;
    std::memcpy(&scaleA, &a.balanceScale, 4);
    std::memcpy(&scaleB, &b.balanceScale, 4);
    return a.gainLevelMin == b.gainLevelMin && a.gainLevelMax == b.gainLevelMax && a.gainBits == b.gainBits &&
           a.levelRange == b.levelRange && a.phaseBins == b.phaseBins && a.phaseBands == b.phaseBands &&
           a.phaseBits == b.phaseBits && a.balanceBins == b.balanceBins && a.balanceBands == b.balanceBands &&
           a.balanceBits == b.balanceBits && scaleA == scaleB && a.noiseBins == b.noiseBins &&
           a.noiseBands == b.noiseBands && a.noiseBits == b.noiseBits && a.toneBins == b.toneBins &&
           a.toneCount == b.toneCount && a.toneBits == b.toneBits;
}

TEST(ContainerHeader, BuiltInParametersWithNoFramesEncodeToTheKnownBytes)
{
    const std::vector<uint8_t> expected = {
        0x71, 0x35, 0x38, 0x00, 0x20, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
        0x60, 0x00, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
        0xC0, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,
        0xC0, 0x02, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00,
        0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    ASSERT_EQ(expected.size(), static_cast<size_t>(containerHeaderSize));
    uint8_t bytes[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{builtInParameters(), 0}, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + containerHeaderSize), expected);
}

TEST(ContainerHeader, FieldsLandInOrderAsLittleEndianWords)
{
    uint8_t bytes[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{unusualParameters(), -2}, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes + 4, bytes + 8), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::vector<uint8_t>(bytes + 8, bytes + 12), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(std::vector<uint8_t>(bytes + 12, bytes + 16), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x80}));
    EXPECT_EQ(std::vector<uint8_t>(bytes + 16, bytes + 20), (std::vector<uint8_t>{0x04, 0x03, 0x02, 0x01}));
    // -0.1f is 0xBDCCCCCD.
    EXPECT_EQ(std::vector<uint8_t>(bytes + 44, bytes + 48), (std::vector<uint8_t>{0xCD, 0xCC, 0xCC, 0xBD}));
    EXPECT_EQ(std::vector<uint8_t>(bytes + 68, bytes + 72), (std::vector<uint8_t>{0x4C, 0x5D, 0x6E, 0x7F}));
    EXPECT_EQ(std::vector<uint8_t>(bytes + 72, bytes + 76), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(ContainerHeader, DecodeGivesBackWhatWasEncoded)
{
    for (const ContainerHeader& original :
         {ContainerHeader{builtInParameters(), 0}, ContainerHeader{builtInParameters(), 123456},
          ContainerHeader{unusualParameters(), INT32_MIN}, ContainerHeader{unusualParameters(), -1}}) {
        uint8_t bytes[containerHeaderSize];
        encodeContainerHeader(original, bytes);
        ContainerHeader decoded{};
        ASSERT_TRUE(decodeContainerHeader(bytes, decoded));
        EXPECT_TRUE(sameParameters(decoded.parameters, original.parameters));
        EXPECT_EQ(decoded.frameCount, original.frameCount);
    }
}

TEST(ContainerHeader, AnyWrongMagicByteIsRejectedAndLeavesTheRecordAlone)
{
    uint8_t bytes[containerHeaderSize];
    encodeContainerHeader(ContainerHeader{builtInParameters(), 9}, bytes);
    for (int i = 0; i < 4; ++i) {
        uint8_t damaged[containerHeaderSize];
        std::memcpy(damaged, bytes, containerHeaderSize);
        damaged[i] ^= (i == 3) ? 0x20 : 0x01;  // byte 3: "q58 " instead of "q58\0"
        ContainerHeader out{unusualParameters(), 77};
        EXPECT_FALSE(decodeContainerHeader(damaged, out)) << i;
        EXPECT_TRUE(sameParameters(out.parameters, unusualParameters()));
        EXPECT_EQ(out.frameCount, 77);
    }
}

}  // namespace
