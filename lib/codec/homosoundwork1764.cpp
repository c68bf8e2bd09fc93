#include "codec/homosoundwork1764.h"

#include <cmath>
#include <cstring>

#include "base/finite_check.h"
#include "transform/fast_filter_bank.h"
#include "transform/filter_bank.h"
#include "transform/transform_tables.h"

namespace {

// Truncates toward zero and limits to the 16-bit range. The limits are
// applied to the float first, since converting an out-of-range float to an
// integer is undefined; NaN gives 0. The fast path's toSamples kernel makes
// the same selections in vector lanes.
int16_t toSample(float value) {
    float limited = value == value ? value : 0.0f;  // only NaN differs from itself
    limited = limited > -32768.0f ? limited : -32768.0f;
    limited = limited < 32767.0f ? limited : 32767.0f;
    return static_cast<int16_t>(static_cast<int>(limited));
}

const SimdKernels& kernelsFor(InstructionSet set) {
    const SimdKernels* kernels = simdKernels(set);
    return kernels != nullptr ? *kernels : *simdKernels(InstructionSet::portable);
}

}  // namespace

homosoundwork1764::homosoundwork1764(CodecOptions options)
    : path(options.path), kernels(kernelsFor(options.instructionSet)), needInput(true), outputReady(false) {
    // The shared tables are built (once per process) with the first codec,
    // so that no frame waits for them or takes memory for them.
    transformTables();
    for (int n = 0; n < windowLength; ++n) {
        inputWindow[n] = {0.0f, 0.0f};
        overlapBuffer[n] = {0.0f, 0.0f};
    }
}

// The newest block moves to the older half, the new one fills the newer half.
bool homosoundwork1764::pushSamples(const int16_t* block) {
    if (!needInput) return false;
    needInput = false;
    for (int n = 0; n < blockLength; ++n) {
        inputWindow[n] = inputWindow[n + blockLength];
        inputWindow[n + blockLength] = {static_cast<float>(block[2 * n]), static_cast<float>(block[2 * n + 1])};
    }
    return true;
}

bool homosoundwork1764::analyzeAndEncode(da_BinWriter& writer) {
    Complex left[blockLength];
    Complex right[blockLength];
    if (!analyzeWindow(left, right)) return false;
    encodeFrame(left, right, writer);
    return true;
}

bool homosoundwork1764::analyzeWindow(Complex* left, Complex* right) {
    if (needInput) return false;
    needInput = true;
    if (path == CodecPath::fast) {
        fastAnalyzeFrame(kernels.transform, inputWindow, left, right);
    } else {
        analyzeFrame(inputWindow, left, right);
    }
    Q58_ASSERT_FINITE(left, blockLength);
    Q58_ASSERT_FINITE(right, blockLength);
    return true;
}

bool homosoundwork1764::decodeAndSynthesize(da_BinReader& reader) {
    if (outputReady) return false;
    outputReady = true;
    // Cleared so that a decoder that gives up early on damaged data leaves
    // silence rather than stack garbage.
    Complex left[blockLength] = {};
    Complex right[blockLength] = {};
    decodeFrame(reader, left, right);
    if (path == CodecPath::fast) {
        fastSynthesizeFrameAdd(kernels.transform, left, right, overlapBuffer);  // the same sums, without the frame in between
    } else {
        Complex windowed[windowLength];
        synthesizeFrame(left, right, windowed);
        for (int n = 0; n < windowLength; ++n) {
            overlapBuffer[n].re = overlapBuffer[n].re + windowed[n].re;
            overlapBuffer[n].im = overlapBuffer[n].im + windowed[n].im;
        }
    }
    Q58_ASSERT_FINITE(overlapBuffer, windowLength);
    return true;
}

// Emits the completed first half and shifts the tail down, clearing the top.
bool homosoundwork1764::popSamples(int16_t* block) {
    if (!outputReady) return false;
    // The halves do not overlap, and all-zero bytes are the float +0.0.
    if (path == CodecPath::fast) {
        kernels.codec.toSamples(&overlapBuffer[0].re, 2 * blockLength, block);  // re, im interleaved as the samples
    } else {
        for (int n = 0; n < blockLength; ++n) {
            block[2 * n] = toSample(overlapBuffer[n].re);
            block[2 * n + 1] = toSample(overlapBuffer[n].im);
        }
    }
    std::memcpy(overlapBuffer, overlapBuffer + blockLength, blockLength * sizeof(Complex));
    std::memset(overlapBuffer + blockLength, 0, blockLength * sizeof(Complex));
    outputReady = false;
    return true;
}
