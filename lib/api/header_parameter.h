// The header parameters by the C API's names (enum q58_parameter).
#pragma once

#include "codec/codec_parameters.h"
#include "q58.h"

// Stores parameter's value at value: Q58_OK, or Q58_ERROR_INVALID_ARGUMENT
// for an unknown parameter.
inline int headerParameter(const CodecParameters& p, int parameter, double* value)
{
    const int32_t fields[] = {p.gainLevelMin, p.gainLevelMax, p.gainBits, p.levelRange, p.phaseBins,
                              p.phaseBands, p.phaseBits, p.balanceBins, p.balanceBands, p.balanceBits,
                              0, p.noiseBins, p.noiseBands, p.noiseBits, p.toneBins, p.toneCount, p.toneBits};
    if (parameter < 0 || parameter > Q58_PARAMETER_TONE_BITS) return Q58_ERROR_INVALID_ARGUMENT;
    *value = parameter == Q58_PARAMETER_BALANCE_SCALE ? static_cast<double>(p.balanceScale) : fields[parameter];
    return Q58_OK;
}
