#include "codec/codec_parameters.h"

// The built-in blocks. The encode job builds its codec from both; the decode
// job takes the CodecParameters stored in the file instead of the first.
const CodecParameters defaultCodecParameters = {
    32,    // gainLevelMin
    128,   // gainLevelMax
    8,     // gainBits
    96,    // levelRange
    600,   // phaseBins
    4,     // phaseBands
    6,     // phaseBits
    704,   // balanceBins
    4,     // balanceBands
    5,     // balanceBits
    1.5f,  // balanceScale
    704,   // noiseBins
    32,    // noiseBands
    5,     // noiseBits
    600,   // toneBins
    32,    // toneCount
    5,     // toneBits
};

const EncoderTuning defaultEncoderTuning = {
    96,     // phaseSearchSteps
    95,     // phaseSlewRange
    1,      // phaseSlewMin
    1.0f,   // balanceNormExponent
    0.5f,   // noiseNormExponent
    0.0f,   // noiseNormExponentSlope
    0.85f,  // maskingDecay
};
