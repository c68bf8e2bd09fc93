#include "driver/working_parameters.h"

CodecParameters codecParameters;
EncoderTuning encoderTuning;

void loadWorkingParameters()
{
    codecParameters = defaultCodecParameters;
    encoderTuning = defaultEncoderTuning;
}
