// CodecParameters: the parameter block that fixes a .q58 file's bit layout and
// is stored in its header; EncoderTuning: the encoder's own settings, never
// stored.
#pragma once

#include <cstdint>

// The parameter block that fixes a file's bit layout. Stored verbatim
// (17 little-endian 32-bit values) in every container header.
struct CodecParameters {
    int32_t gainLevelMin;   // lower end of the frame gain range, level units
    int32_t gainLevelMax;   // upper end of the frame gain range
    int32_t gainBits;       // the gain code has 2^gainBits values
    int32_t levelRange;     // tone and noise levels span -levelRange..0
    int32_t phaseBins;      // phase bands cover bins 0..phaseBins-1
    int32_t phaseBands;
    int32_t phaseBits;      // 2^phaseBits phase codes per turn
    int32_t balanceBins;
    int32_t balanceBands;
    int32_t balanceBits;
    float balanceScale;     // width factor of the balance mapping
    int32_t noiseBins;
    int32_t noiseBands;
    int32_t noiseBits;
    int32_t toneBins;       // tones lie in bins 0..toneBins-1
    int32_t toneCount;      // tones per frame, always exactly this many
    int32_t toneBits;       // lowest bit: sign; upper toneBits-1 bits: level
};

// Encoder-only settings; never stored, so changing them never breaks files.
struct EncoderTuning {
    int32_t phaseSearchSteps;      // trial angles over half a turn
    int32_t phaseSlewRange;        // extra angle movement per frame, scaled by energy change
    int32_t phaseSlewMin;          // angle movement per frame at steady energy
    float balanceNormExponent;     // p of the p-norm in the balance measure
    float noiseNormExponent;       // power-mean exponent of the noise measure at bin 0
    float noiseNormExponentSlope;  // added to that exponent per bin of a band's first bin
    float maskingDecay;            // base of the tone masking spread
};

static_assert(sizeof(CodecParameters) == 68, "CodecParameters is a 68-byte record");
static_assert(sizeof(EncoderTuning) == 28, "EncoderTuning is a 28-byte record");

extern const CodecParameters defaultCodecParameters;
extern const EncoderTuning defaultEncoderTuning;

// Number of codes of a bits-wide field. The exponent is kept inside what an
// int can hold, so that a stray block read from a file never shifts out of
// range (the parameter limits keep bits in 1..30).
inline int codesOf(int bits) { return 1 << (bits < 0 ? 0 : bits > 30 ? 30 : bits); }
