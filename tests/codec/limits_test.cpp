// Which parameter blocks a decoder accepts from a file, and the worst-case
// frame length it is judged by.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "codec/codec_parameters.h"
#include "codec/parameter_limits.h"

namespace {

using Change = std::function<void(CodecParameters&)>;

struct NamedChange {
    std::string name;
    Change change;
};

CodecParameters changed(const Change& change)
{
    CodecParameters p = defaultCodecParameters;
    change(p);
    return p;
}

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

}  // namespace

TEST(ParameterLimits, DefaultBlockIsDecodable)
{
    EXPECT_TRUE(codecParametersDecodable(defaultCodecParameters));
}

TEST(ParameterLimits, WorstCaseOfTheDefaultBlock)
{
    // Per field, the most bits each readBounded of the field can take:
    // gain 8; phase 8 + (7 + 6 + 6) = 27; balance 7 + (6 + 5 + 5) = 23;
    // noise and tone codes 10 + 181 = 191 each (sum split over 32 values:
    // 9 + 2*8 + 4*7 + 8*6 + 16*5); tone bins 32 pivots of at most 10 bits.
    EXPECT_EQ(worstCaseFrameBits(defaultCodecParameters), 8 + 27 + 23 + 191 + 191 + 320);
    // The silent first frame (128 bits) is well inside it.
    EXPECT_GT(worstCaseFrameBits(defaultCodecParameters), 128);
}

TEST(ParameterLimits, WorstCaseGrowsWithEveryField)
{
    const long long base = worstCaseFrameBits(defaultCodecParameters);
    const std::vector<Change> bigger = {
        [](CodecParameters& p) { p.gainBits = 9; },
        [](CodecParameters& p) { p.phaseBands = 5; },
        [](CodecParameters& p) { p.phaseBits = 7; },
        [](CodecParameters& p) { p.balanceBands = 6; },
        [](CodecParameters& p) { p.balanceBits = 6; },
        [](CodecParameters& p) { p.noiseBands = 33; },
        [](CodecParameters& p) { p.noiseBits = 6; },
        [](CodecParameters& p) { p.toneCount = 33; },
        [](CodecParameters& p) { p.toneBits = 6; },
        [](CodecParameters& p) { p.toneBins = 1100; },  // 1069 places need an 11th bit
    };
    for (std::size_t i = 0; i < bigger.size(); ++i) {
        EXPECT_GT(worstCaseFrameBits(changed(bigger[i])), base) << i;
    }
}

TEST(ParameterLimits, VariantsOfTheDefaultBlockAreDecodable)
{
    const std::vector<NamedChange> variants = {
        {"16 noise bands", [](CodecParameters& p) { p.noiseBands = 16; }},
        {"16 tones", [](CodecParameters& p) { p.toneCount = 16; }},
        {"no tones", [](CodecParameters& p) { p.toneCount = 0; }},
        {"one tone", [](CodecParameters& p) { p.toneCount = 1; }},
        {"every bin coded", [](CodecParameters& p) { p.noiseBins = p.balanceBins = p.phaseBins = p.toneBins = 882; }},
        {"one band each", [](CodecParameters& p) { p.phaseBands = p.balanceBands = p.noiseBands = 1; }},
        {"one bin, one band", [](CodecParameters& p) { p.phaseBins = p.phaseBands = 1; }},
        {"as many bands as bins", [](CodecParameters& p) { p.phaseBins = p.phaseBands = 40; }},
        {"smallest fields", [](CodecParameters& p) { p.gainBits = p.phaseBits = p.balanceBits = p.noiseBits = 1; p.toneBits = 2; }},
        {"30-bit gain", [](CodecParameters& p) { p.gainBits = 30; }},
        {"30-bit phase in one band", [](CodecParameters& p) { p.phaseBands = 1; p.phaseBits = 30; }},
        {"12-bit fields", [](CodecParameters& p) { p.phaseBits = p.balanceBits = p.noiseBits = p.toneBits = 12; }},
        {"negative balance scale", [](CodecParameters& p) { p.balanceScale = -1.5f; }},
        {"widest balance scale", [](CodecParameters& p) { p.balanceScale = 256.0f; }},
        {"narrowest balance scale", [](CodecParameters& p) { p.balanceScale = 1.0f / 65536.0f; }},
        {"widest gain range", [](CodecParameters& p) { p.gainLevelMin = -600; p.gainLevelMax = 600; }},
        {"one-step gain range", [](CodecParameters& p) { p.gainLevelMin = 10; p.gainLevelMax = 11; }},
        {"narrowest level range", [](CodecParameters& p) { p.levelRange = 1; }},
        {"widest level range", [](CodecParameters& p) { p.levelRange = 600; }},
    };
    for (const auto& v : variants) {
        EXPECT_TRUE(codecParametersDecodable(changed(v.change))) << v.name;
    }
}

TEST(ParameterLimits, EachHostileFieldIsRejected)
{
    const std::vector<NamedChange> hostile = {
        {"phase bins 0", [](CodecParameters& p) { p.phaseBins = 0; }},
        {"phase bins 883", [](CodecParameters& p) { p.phaseBins = 883; }},
        {"balance bins 883", [](CodecParameters& p) { p.balanceBins = 883; }},
        {"noise bins 883", [](CodecParameters& p) { p.noiseBins = 883; }},
        {"tone bins 883", [](CodecParameters& p) { p.toneBins = 883; }},
        {"tone bins 0", [](CodecParameters& p) { p.toneBins = 0; p.toneCount = 0; }},
        {"negative noise bins", [](CodecParameters& p) { p.noiseBins = -704; }},
        {"phase bands 0", [](CodecParameters& p) { p.phaseBands = 0; }},
        {"balance bands 0", [](CodecParameters& p) { p.balanceBands = 0; }},
        {"noise bands 0", [](CodecParameters& p) { p.noiseBands = 0; }},
        {"negative phase bands", [](CodecParameters& p) { p.phaseBands = -4; }},
        {"more phase bands than bins", [](CodecParameters& p) { p.phaseBands = 601; }},
        {"more noise bands than bins", [](CodecParameters& p) { p.noiseBins = 10; p.noiseBands = 11; }},
        {"huge band count", [](CodecParameters& p) { p.balanceBands = INT32_MAX; }},
        {"negative tone count", [](CodecParameters& p) { p.toneCount = -1; }},
        {"more tones than tone bins", [](CodecParameters& p) { p.toneBins = 20; p.toneCount = 21; }},
        {"gain bits 0", [](CodecParameters& p) { p.gainBits = 0; }},
        {"gain bits 31", [](CodecParameters& p) { p.gainBits = 31; }},
        {"phase bits 0", [](CodecParameters& p) { p.phaseBits = 0; }},
        {"phase bits 31", [](CodecParameters& p) { p.phaseBands = 1; p.phaseBits = 31; }},
        {"balance bits 0", [](CodecParameters& p) { p.balanceBits = 0; }},
        {"noise bits negative", [](CodecParameters& p) { p.noiseBits = -3; }},
        {"tone bits 1", [](CodecParameters& p) { p.toneBits = 1; }},
        {"tone bits 64", [](CodecParameters& p) { p.toneBits = 64; }},
        {"cyclic range beyond int32", [](CodecParameters& p) { p.phaseBands = 4; p.phaseBits = 30; }},
        {"balance scale NaN", [](CodecParameters& p) { p.balanceScale = nan; }},
        {"balance scale +inf", [](CodecParameters& p) { p.balanceScale = inf; }},
        {"balance scale -inf", [](CodecParameters& p) { p.balanceScale = -inf; }},
        {"balance scale 0", [](CodecParameters& p) { p.balanceScale = 0.0f; }},
        {"balance scale -0", [](CodecParameters& p) { p.balanceScale = -0.0f; }},
        {"balance scale denormal", [](CodecParameters& p) { p.balanceScale = 1e-40f; }},
        {"balance scale too narrow", [](CodecParameters& p) { p.balanceScale = 1e-6f; }},
        {"balance scale too wide", [](CodecParameters& p) { p.balanceScale = 257.0f; }},
        {"empty gain range", [](CodecParameters& p) { p.gainLevelMax = p.gainLevelMin; }},
        {"reversed gain range", [](CodecParameters& p) { p.gainLevelMin = 128; p.gainLevelMax = 32; }},
        {"gain level above 600", [](CodecParameters& p) { p.gainLevelMax = 601; }},
        {"gain level below -600", [](CodecParameters& p) { p.gainLevelMin = -601; }},
        {"gain level INT32_MIN", [](CodecParameters& p) { p.gainLevelMin = INT32_MIN; }},
        {"level range 0", [](CodecParameters& p) { p.levelRange = 0; }},
        {"negative level range", [](CodecParameters& p) { p.levelRange = -96; }},
        {"level range 601", [](CodecParameters& p) { p.levelRange = 601; }},
        {"frame beyond 8192 bits", [](CodecParameters& p) { p.noiseBands = 704; p.noiseBits = 16; }},
        {"too many tones for the window", [](CodecParameters& p) { p.toneBins = 882; p.toneCount = 800; }},
    };
    for (const auto& h : hostile) {
        EXPECT_FALSE(codecParametersDecodable(changed(h.change))) << h.name;
    }
}

TEST(ParameterLimits, FrameWindowIsTheDividingLine)
{
    // Grow the tone count under otherwise generous fields: blocks are
    // accepted exactly while their worst case fits 8192 bits.
    CodecParameters p = defaultCodecParameters;
    p.toneBins = 882;
    p.toneBits = 12;
    bool crossed = false;
    for (int tones = 1; tones <= 882; ++tones) {
        p.toneCount = tones;
        const bool fits = worstCaseFrameBits(p) <= 8192;
        ASSERT_EQ(codecParametersDecodable(p), fits) << tones;
        if (!fits) {
            crossed = true;
        }
    }
    EXPECT_TRUE(crossed);
}

TEST(ParameterLimits, WorstCaseOfAbsurdBlocksIsComputedWithoutTrouble)
{
    CodecParameters p;
    p.gainLevelMin = INT32_MIN;
    p.gainLevelMax = INT32_MAX;
    p.gainBits = INT32_MAX;
    p.levelRange = INT32_MIN;
    p.phaseBins = INT32_MAX;
    p.phaseBands = INT32_MAX;
    p.phaseBits = INT32_MAX;
    p.balanceBins = INT32_MIN;
    p.balanceBands = INT32_MIN;
    p.balanceBits = INT32_MIN;
    p.balanceScale = nan;
    p.noiseBins = INT32_MAX;
    p.noiseBands = INT32_MAX;
    p.noiseBits = 31;
    p.toneBins = INT32_MAX;
    p.toneCount = INT32_MAX;
    p.toneBits = INT32_MAX;
    EXPECT_GT(worstCaseFrameBits(p), 8192);
    EXPECT_FALSE(codecParametersDecodable(p));
    p.phaseBands = p.noiseBands = p.toneCount = -1;
    p.gainBits = -1;
    EXPECT_GE(worstCaseFrameBits(p), 0);
    EXPECT_FALSE(codecParametersDecodable(p));
}
