#pragma once

// Builds the transform tables and settles the instruction-set choices once
// per process, however many threads open decoders and encoders at the same
// time. Afterwards everything global the codec reads is constant.
void prepareLibrary();
