// homosoundwork1764: the abstract frame codec, which owns the analysis input
// window and the synthesis overlap buffer and moves blocks of 882 stereo
// sample frames through them.
#pragma once

#include <cstdint>

#include "base/complex.h"
#include "base/frame_sizes.h"
#include "bits/bin_reader.h"
#include "bits/bin_writer.h"
#include "simd/kernels.h"

// Which implementation runs a codec's steps, filter bank included. Both give
// the same packets, spectra and samples bit for bit: the reference one is
// the literal rendering of each step, kept beside the fast one so that tests
// hold the two together; the fast one reorders independent work into vector
// lanes and precomputes what depends only on the parameter blocks.
enum class CodecPath { reference, fast };

// How one codec object runs, fixed when it is built. An instruction set this
// build or processor cannot run gives the portable kernels.
struct CodecOptions {
    CodecPath path = CodecPath::fast;
    InstructionSet instructionSet = bestInstructionSet();
};

// Abstract frame codec: owns the analysis input window and the synthesis
// overlap buffer and moves sample blocks through them. A derived codec
// supplies the frame coding itself.
//
// Encoder, per block: pushSamples, then analyzeAndEncode.
// Decoder, per frame: decodeAndSynthesize, then popSamples.
// Each step returns false and changes nothing when called out of turn.
class homosoundwork1764 {
public:
    explicit homosoundwork1764(CodecOptions options = {});
    virtual ~homosoundwork1764() = default;
    homosoundwork1764(const homosoundwork1764&) = delete;
    homosoundwork1764& operator=(const homosoundwork1764&) = delete;

    // Writes one frame for the two spectra (which it may change).
    virtual void encodeFrame(Complex* left, Complex* right, da_BinWriter& out) = 0;
    // Reads one frame and overwrites all 882 bins of both spectra.
    virtual void decodeFrame(da_BinReader& in, Complex* left, Complex* right) = 0;
    // Encodes then decodes one frame in place; returns the bits spent, rounded up to bytes.
    virtual int roundTripFrame(Complex* left, Complex* right) = 0;

    bool pushSamples(const int16_t* block);
    bool analyzeAndEncode(da_BinWriter& writer);
    bool decodeAndSynthesize(da_BinReader& reader);
    bool popSamples(int16_t* block);

    CodecPath codecPath() const { return path; }
    InstructionSet instructionSet() const { return kernels.set; }

protected:
    // The analysis half of analyzeAndEncode: the window's two spectra, or
    // false (nothing changed) when called out of turn.
    bool analyzeWindow(Complex* left, Complex* right);

    const CodecPath path;
    const SimdKernels& kernels;
    Complex inputWindow[windowLength];    // [0, 882): previous block, [882, 1764): newest block
    Complex overlapBuffer[windowLength];  // [0, 882): block being completed, rest: tail of last window
    bool needInput;
    bool outputReady;
};
