#pragma once

#include "codec/codec_parameters.h"

// Process-wide working copies of the built-in parameter blocks, filled once
// at start-up and read by both jobs.
extern CodecParameters codecParameters;
extern EncoderTuning encoderTuning;

void loadWorkingParameters();
