// Elb1764: the q58 frame codec, which turns the left and right spectra of one
// 882-sample frame into a bit packet (gain, tones, noise levels, stereo phase
// and balance) and back.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/codec_parameters.h"
#include "codec/noise_generator.h"
#include "codec/homosoundwork1764.h"

struct FastPathData;

// One frame between the two halves of its encoding (Elb1764::encodeAhead and
// encodeBehind): its spectra and, per phase band, what the search found.
struct EncoderFrameRecord {
    Complex left[blockLength];
    Complex right[blockLength];
    int phaseBest[blockLength];       // the best trial angle of each phase band
    float phaseEnergy[blockLength];   // the energy of each phase band
};

// The parametric stereo frame codec. Per frame: a gain, toneCount tones,
// noiseBands noise levels for one mono spectrum, and per band an
// inter-channel phase and a left/right balance.
class Elb1764 : public homosoundwork1764 {
public:
    Elb1764(CodecParameters parameters, EncoderTuning tuning, CodecOptions options = {});
    ~Elb1764() override;

    void encodeFrame(Complex* left, Complex* right, da_BinWriter& out) override;
    void decodeFrame(da_BinReader& in, Complex* left, Complex* right) override;
    int roundTripFrame(Complex* left, Complex* right) override;

    // pushSamples and analyzeAndEncode in two halves, for a pipeline that runs
    // them on two threads. encodeAhead takes the next block and does the
    // work that depends on it alone: the analysis and the phase search of
    // each band, into record. encodeBehind does the rest and writes the
    // frame: the choice of each band's angle (which follows the angles of
    // the frames before), the turns, the balances, the mono spectrum's
    // fields. Each half runs on its own working arrays and state, so one
    // thread may run encodeAhead for a later block while another runs
    // encodeBehind for an earlier record; each half must take the frames in
    // block order. Together they give the packets of pushSamples and
    // analyzeAndEncode. encodeAhead returns false, changing nothing, when a
    // pushed block is still waiting for analyzeAndEncode.
    bool encodeAhead(const int16_t* block, EncoderFrameRecord& record);
    void encodeBehind(EncoderFrameRecord& record, da_BinWriter& out);

    const CodecParameters& codecParameters() const { return parameters; }
    const EncoderTuning& encoderTuning() const { return tuning; }

    // The decoder's noise generator between frames (codec/noise_generator.cpp).
    // A seek sets it to what straight decoding up to the target frame leaves.
    NoiseGeneratorState noiseGenerator() const;
    void setNoiseGenerator(const NoiseGeneratorState& generator);

protected:
    // The frame steps. Each exists twice, as a literal rendering of its
    // definition and as a fast form with the same results; a frame runs one
    // set, chosen by the codec's path, through the one frame skeleton
    // (codec/frame_skeleton.cpp; the step sets are in codec/frame_steps.h).
    friend struct LiteralSteps;
    friend struct FastSteps;

    // ---- frame encoder steps (codec/frame_encoder.cpp) ----
    int encodeBandPhase(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy);
    // Steps 1 and 2 of encodeBandPhase: returns the best trial angle, sets the band's energy.
    int searchBandPhase(const Complex* a, const Complex* b, int n, float& energy) const;
    int measureBandBalance(const Complex* a, const Complex* b, int n) const;
    int normalizeGain(float* x, int n) const;
    int measureBandNoise(const float* xb, int n, float exponent) const;
    // ---- tone selection (codec/tone_selection.cpp) ----
    void extractTones(float* x, int* codes, int* bins);
    // ---- frame decoder steps (codec/frame_decoder.cpp) ----
    void fillBandNoise(float* yb, int n, int code);
    void placeTones(float* y, const int* codes, const int* bins) const;
    void applyGain(float* y, int code) const;
    void applyBandBalance(Complex* a, Complex* b, int n, int code) const;
    double nextNoise();  // one draw of the noise generator, uniform in [-2, 2)
    // ---- shared ----
    void rotateBandPhase(Complex* a, Complex* b, int n, int code) const;

    // ---- fast forms of the steps, same results (codec/fast_frame_encoder.cpp,
    //      codec/fast_frame_decoder.cpp); only for parameter blocks the codec can use ----
    int encodeBandPhaseFast(Complex* a, Complex* b, int n, int32_t& prevAngle, float& prevEnergy);
    int searchBandPhaseFast(const Complex* a, const Complex* b, int n, float& energy);
    int measureBandBalanceFast(const Complex* a, const Complex* b, int n) const;
    int normalizeGainFast(float* x, int n) const;
    int measureBandNoiseFast(const float* xb, int n, float exponent) const;
    void extractTonesFast(float* x, int* codes, int* bins);
    // The noise of every band, codes[i] the level code of band i.
    void fillNoiseFast(float* y, const int* codes);
    void placeTonesFast(float* y, const int* codes, const int* bins) const;
    void spreadWithGainFast(float* y, int code, Complex* left, Complex* right) const;
    void applyBandBalanceFast(Complex* a, Complex* b, int n, int code) const;
    void rotateBandPhaseFast(Complex* a, Complex* b, int n, int code) const;
    // spreadWithGain and every band's balance in one pass over the spectra,
    // then every band's turn; false, writing nothing, where the balance
    // edges do not run in order from 0 inside the spectrum.
    bool stereoFromMonoFast(const float* y, int gainCode, const int* balanceCodes, const int* phaseCodes,
                            Complex* left, Complex* right) const;

    // The frame skeleton: the band loops and the order of the six fields,
    // written once for both step sets.
    template <class Steps>
    void encodeFrameWith(Steps steps, Complex* left, Complex* right, da_BinWriter& out);
    // The frame skeleton in two halves: the phase search of every band
    // (steps 1 and 2 of the phase), then everything else.
    template <class Steps>
    void searchPhasesWith(Steps steps, const Complex* left, const Complex* right, int* best, float* energy);
    template <class Steps>
    void encodeSearchedWith(Steps steps, Complex* left, Complex* right, const int* best, const float* energy,
                            da_BinWriter& out);
    template <class Steps>
    void decodeFrameWith(Steps steps, da_BinReader& in, Complex* left, Complex* right);

    // Steps 3 to 6 of the phase of one band, shared by both paths: the half
    // turn nearer the last angle, the slew limit, the history; returns the code.
    int settleBandAngle(int best, float energy, int32_t& prevAngle, float& prevEnergy) const;

    CodecParameters parameters;
    EncoderTuning tuning;
    int32_t noiseCounter;
    int64_t noiseState;
    int32_t framesCounted;
    float* prevBandEnergy;   // phaseBands entries
    int32_t* prevBandAngle;  // phaseBands entries, fine grid 0..2*phaseSearchSteps-1
    int32_t bitsCounted;

    // ---- encoder working arrays, sized at construction (owned by frame_encoder.cpp) ----
    // ENCODER-SCRATCH-BEGIN
    // Fixed capacity: every bin count is at most blockLength, so no band,
    // tone or code array can be longer. Kept here so that encoding a frame
    // never touches the heap.
    float encoderMono[blockLength];         // mono spectrum X, divided by the frame gain
    int encoderPhaseCodes[blockLength];     // one per phase band
    int encoderPhaseBest[blockLength];      // one per phase band: the search's best trial angle
    float encoderPhaseEnergy[blockLength];  // one per phase band: its energy
    int encoderBalanceCodes[blockLength];   // one per balance band
    int encoderNoiseCodes[blockLength];     // one per noise band
    int encoderToneCodes[blockLength];      // one per tone, in bin order
    int encoderToneBins[blockLength];       // strictly increasing
    float toneMasking[blockLength];         // masking curve S of the tone choice
    float toneRatings[blockLength];         // Q = |X| / (S + 0.0001)
    float maskingForward[blockLength];      // forward spread pass
    float maskingBackward[blockLength];     // backward spread pass
    double maskingFactors[blockLength];     // decay from bin i-1 to bin i
    float selectionScratch[blockLength];    // working set of nthLargest
    // Whether the blocks keep every frame inside the spectra, these arrays
    // and the packet; decided once while the codec is built (the check
    // itself allocates), encodeFrame writes nothing when false.
    static bool encoderSettingsUsable(const CodecParameters& parameters, const EncoderTuning& tuning);
    bool encoderUsable = encoderSettingsUsable(parameters, tuning);
    // ENCODER-SCRATCH-END

    // ---- decoder working arrays, sized at construction (owned by frame_decoder.cpp) ----
    // DECODER-SCRATCH-BEGIN
    // False when the parameter block fails codecParametersDecodable: the
    // arrays below are then minimal and decodeFrame only clears the spectra.
    bool decoderUsable;
    int decodedGainCode;
    std::vector<int> decodedPhaseCodes;    // phaseBands entries (at least 1)
    std::vector<int> decodedBalanceCodes;  // balanceBands entries (at least 1)
    std::vector<int> decodedNoiseCodes;    // noiseBands entries (at least 1)
    std::vector<int> decodedToneCodes;     // toneCount entries (at least 1)
    std::vector<int> decodedToneBins;      // toneCount entries (at least 1)
    float decodedMono[blockLength];        // the mono spectrum Y
    // DECODER-SCRATCH-END

    // ---- fast path: tables and working arrays, built with the codec ----
    std::unique_ptr<FastPathData> fast;
};

// Circular distance between angles a and b on a grid of m steps.
int angleDistance(int a, int b, int m);
// 0 for equal energies, 1 when energy rises from or falls to 0.
double energyChange(float previous, float current);
