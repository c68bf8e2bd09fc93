#pragma once

// The codec's fixed sizes: a block of 882 stereo sample frames (1/50 s at
// 44100 Hz), analysed together with the block before it through a
// 1764-frame window.
constexpr int blockLength = 882;            // stereo sample frames per block, bins per spectrum
constexpr int windowLength = 1764;          // stereo sample frames per analysis window
constexpr int blockSamples = 2 * blockLength;  // int16 values per block (left, right interleaved)
constexpr int blockBytes = 2 * blockSamples;   // 3528 bytes per block
