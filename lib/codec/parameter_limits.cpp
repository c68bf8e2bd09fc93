// Which parameter blocks a decoder can take from a file, and how long a
// frame under a block can be.
//
// The limits, and why:
// - bins of every family (phase, balance, noise, tone) in 1..882: every
//   band and every tone lies inside the 882 bins of a spectrum;
// - each band count in 1..its bins: every band has at least one bin (the
//   warped edges are then strictly increasing), and the cyclic-array coding
//   needs at least one value;
// - toneCount in 0..toneBins: the subset coding needs no more positions
//   than places. A frame without tones is a sound layout for the decoder
//   (both tone fields are then empty); the encoder's tone choice needs at
//   least one tone, so an encoder must not be configured with 0;
// - gainBits, phaseBits, balanceBits, noiseBits in 1..30 and toneBits in
//   2..30: every field has at least two codes (a tone needs a sign bit and
//   at least one level bit, or its level step divides by zero), and 2^bits
//   must be an int32;
// - each cyclic array's total range count * (2^bits - 1) + 1 fits an int32,
//   so it is a range readBounded takes (it reads at most 31 bits at once);
// - gainLevelMin < gainLevelMax, both within +-maxLevel, and levelRange in
//   1..maxLevel: see maxLevel below; an empty level range would make the
//   encoder's quantiser divide by zero;
// - balanceScale finite with magnitude in [2^-16, 256]: the decoder divides
//   by 1/balanceScale, so neither it nor its reciprocal may be 0 or
//   infinite, and the upper end bounds the amplification (below);
// - the longest frame the block can describe fits the decode job's packet
//   window of 1024 bytes (8192 bits), which is also what the encode job's
//   packet buffer holds.
//
// Finite output: with these limits the frame gain is at most 2^100, band
// noise is below 2 and a tone at most 1 before the gain, the balance scales
// by at most 1 + 256 < 2^8.01 and the phase turn keeps magnitudes, so every
// decoded bin stays below about 2^110 and the synthesis (a sum over 882 bins
// and two overlapping windows, a factor below 2^13) stays below 2^123, well
// inside float range. Sample values above 16 bits are limited by popSamples.

#include "codec/parameter_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>

#include "base/frame_sizes.h"

namespace {

// The decode job's packet window, in bits (1024 bytes).
constexpr long long decoderWindowBits = 8192;

// Level values are sixths of an octave: 600 units is a factor 2^100, which
// leaves the rest of float range as headroom for the decoder's arithmetic.
constexpr int32_t maxLevel = 600;

constexpr int32_t maxFieldBits = 30;
constexpr float minBalanceScale = 1.0f / 65536.0f;
constexpr float maxBalanceScale = 256.0f;

bool within(int32_t value, int32_t lowest, int32_t highest)
{
    return value >= lowest && value <= highest;
}

int bitLengthOf(long long n)
{
    int length = 0;
    for (; n > 0; n >>= 1) {
        ++length;
    }
    return length;
}

// Most bits readBounded(range) takes: c - 1, plus one for some values when
// the range is not a power of two.
long long boundedBits(long long range)
{
    if (range <= 1) {
        return 0;
    }
    const int length = bitLengthOf(range);
    const long long power = 1LL << (length - 1);
    return range > power ? length : length - 1;
}

// Most bits of a sum split of count values, each at most maxValue. A node
// with count values codes its first half's sum within a range of at most
// maxValue * (count / 2) + 1 values. The halving produces only about two
// distinct counts per level, so the cost per count is remembered.
long long sumSplitBits(long long count, long long maxValue, std::map<long long, long long>& known)
{
    if (count <= 1) {
        return 0;
    }
    const auto found = known.find(count);
    if (found != known.end()) {
        return found->second;
    }
    const long long half = count / 2;
    const long long bits = boundedBits(maxValue * half + 1) + sumSplitBits(half, maxValue, known)
                         + sumSplitBits(count - half, maxValue, known);
    known[count] = bits;
    return bits;
}

// Codes of a field up to 31 bits wide, for the size bounds.
long long wideCodesOf(int32_t bits)
{
    return 1LL << std::min<int32_t>(std::max<int32_t>(bits, 0), 31);
}

long long cyclicArrayBits(int32_t count, int32_t bits)
{
    if (count <= 0) {
        return 0;
    }
    const long long maxValue = wideCodesOf(bits) - 1;
    std::map<long long, long long> known;
    return boundedBits(count * maxValue + 1) + sumSplitBits(count, maxValue, known);
}

// Every pivot of the subset coding is read from at most as many places as
// the top one has: span - count + 1.
long long subsetBits(int32_t count, int32_t span)
{
    if (count <= 0) {
        return 0;
    }
    return static_cast<long long>(count) * boundedBits(static_cast<long long>(span) - count + 1);
}

bool bandFamilyFits(int32_t bins, int32_t bands)
{
    return within(bins, 1, blockLength) && within(bands, 1, bins);
}

bool cyclicRangeFits(int32_t count, int32_t bits)
{
    return static_cast<long long>(count) * (wideCodesOf(bits) - 1) + 1 <= INT32_MAX;
}

}  // namespace

long long worstCaseFrameBits(const CodecParameters& p)
{
    return boundedBits(wideCodesOf(p.gainBits))
         + cyclicArrayBits(p.phaseBands, p.phaseBits)
         + cyclicArrayBits(p.balanceBands, p.balanceBits)
         + cyclicArrayBits(p.noiseBands, p.noiseBits)
         + cyclicArrayBits(p.toneCount, p.toneBits)
         + subsetBits(p.toneCount, p.toneBins);
}

bool codecParametersDecodable(const CodecParameters& p)
{
    if (!bandFamilyFits(p.phaseBins, p.phaseBands) || !bandFamilyFits(p.balanceBins, p.balanceBands)
        || !bandFamilyFits(p.noiseBins, p.noiseBands)) {
        return false;
    }
    if (!within(p.toneBins, 1, blockLength) || !within(p.toneCount, 0, p.toneBins)) {
        return false;
    }
    if (!within(p.gainBits, 1, maxFieldBits) || !within(p.phaseBits, 1, maxFieldBits)
        || !within(p.balanceBits, 1, maxFieldBits) || !within(p.noiseBits, 1, maxFieldBits)
        || !within(p.toneBits, 2, maxFieldBits)) {
        return false;
    }
    if (!cyclicRangeFits(p.phaseBands, p.phaseBits) || !cyclicRangeFits(p.balanceBands, p.balanceBits)
        || !cyclicRangeFits(p.noiseBands, p.noiseBits) || !cyclicRangeFits(p.toneCount, p.toneBits)) {
        return false;
    }
    if (!within(p.gainLevelMin, -maxLevel, maxLevel) || !within(p.gainLevelMax, -maxLevel, maxLevel)
        || p.gainLevelMin >= p.gainLevelMax || !within(p.levelRange, 1, maxLevel)) {
        return false;
    }
    const float scale = std::fabs(p.balanceScale);
    if (!(scale >= minBalanceScale && scale <= maxBalanceScale)) {  // NaN fails too
        return false;
    }
    return worstCaseFrameBits(p) <= decoderWindowBits;
}
