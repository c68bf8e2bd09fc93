#pragma once

#include "codec/codec_parameters.h"

// True when a parameter block read from a file can be decoded safely: every
// index stays inside the spectra, every integer stays inside int32, every bit
// count is one da_BinReader can take, and the largest frame it can describe
// fits the decoder's 8192-bit packet window.
bool codecParametersDecodable(const CodecParameters& parameters);

// Upper bound on the bits of one frame under these parameters.
long long worstCaseFrameBits(const CodecParameters& parameters);
