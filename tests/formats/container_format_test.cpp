#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "formats/container_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Spelled out here rather than taken from the codec, so this test stands alone.
const CodecParameters builtIn = {32, 128, 8, 96, 600, 4, 6, 704, 4, 5, 1.5f, 704, 32, 5, 600, 32, 5};
const CodecParameters unusual = {-1, INT32_MAX, INT32_MIN, 0x01020304, 5, 6, 7, 8, 9, 10, -0.1f,
                                 11, 12, 13, 14, 15, 0x7F6E5D4C};

Bytes encode(const ContainerHeader& header)
{
    uint8_t bytes[containerHeaderSize];
    encodeContainerHeader(header, bytes);
    return Bytes(bytes, bytes + containerHeaderSize);
}

TEST(ContainerHeader, BuiltInParametersWithNoFramesEncodeToTheKnownBytes)
{
    const Bytes expected = {
        0x71, 0x35, 0x38, 0x00, 0x20, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
        0x60, 0x00, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
        0xC0, 0x02, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F,
        0xC0, 0x02, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00,
        0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(encode(ContainerHeader{builtIn, 0}), expected);
}

TEST(ContainerHeader, FieldsAreLittleEndianWordsInOrder)
{
    const Bytes bytes = encode(ContainerHeader{unusual, -2});
    EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 20),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0x80, 4, 3, 2, 1}));
    EXPECT_EQ(Bytes(bytes.begin() + 44, bytes.begin() + 48), (Bytes{0xCD, 0xCC, 0xCC, 0xBD}));  // -0.1f
    EXPECT_EQ(Bytes(bytes.begin() + 68, bytes.end()), (Bytes{0x4C, 0x5D, 0x6E, 0x7F, 0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(ContainerHeader, DecodeGivesBackWhatWasEncoded)
{
    for (const ContainerHeader& original : {ContainerHeader{builtIn, 123456}, ContainerHeader{unusual, INT32_MIN}}) {
        const Bytes bytes = encode(original);
        ContainerHeader decoded{};
        ASSERT_TRUE(decodeContainerHeader(bytes.data(), decoded));
        EXPECT_EQ(decoded.frameCount, original.frameCount);
        EXPECT_EQ(decoded.parameters.gainBits, original.parameters.gainBits);
        EXPECT_EQ(decoded.parameters.balanceScale, original.parameters.balanceScale);
        EXPECT_EQ(decoded.parameters.toneBits, original.parameters.toneBits);
        EXPECT_EQ(encode(decoded), bytes);  // and every other field with them
    }
}

TEST(ContainerHeader, AnyWrongMagicByteIsRejectedAndLeavesTheRecordAlone)
{
    for (int i = 0; i < 4; ++i) {
        Bytes bytes = encode(ContainerHeader{builtIn, 9});
        bytes[static_cast<size_t>(i)] ^= (i == 3) ? 0x20 : 0x01;  // byte 3: "q58 " instead of "q58\0"
        ContainerHeader out{unusual, 77};
        EXPECT_FALSE(decodeContainerHeader(bytes.data(), out)) << i;
        EXPECT_EQ(out.frameCount, 77);
        EXPECT_EQ(out.parameters.gainLevelMin, -1);
    }
}

}  // namespace
