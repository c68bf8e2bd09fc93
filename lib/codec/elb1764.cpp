#include "codec/elb1764.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "codec/fast_path_data.h"
#include "base/wrapping.h"
#include "codec/parameter_limits.h"
#include "base/complex_ops.h"
#include "transform/transform_tables.h"

namespace {

// Scratch buffer of roundTripFrame: far more than any frame that passes the
// parameter limits can take.
constexpr int roundTripBufferBytes = 10240;

}  // namespace

Elb1764::Elb1764(CodecParameters codecBlock, EncoderTuning tuningBlock, CodecOptions options)
    : homosoundwork1764(options),
      parameters(codecBlock),
      tuning(tuningBlock),
      noiseCounter(0),
      noiseState(0),
      framesCounted(0),
      prevBandEnergy(nullptr),
      prevBandAngle(nullptr),
      bitsCounted(0),
      decoderUsable(codecParametersDecodable(codecBlock)),
      decodedGainCode(0)
{
    // One entry per phase band. At least one, so that a block without phase
    // bands makes no zero-length array; at most one per bin, like every
    // other per-band array of the codec, so that a hostile block read from a
    // file cannot make the constructor ask for gigabytes (such a block fails
    // codecParametersDecodable and must not be coded with anyway).
    const int phaseEntries = std::max(1, std::min<int>(parameters.phaseBands, blockLength));
    prevBandEnergy = new float[phaseEntries]();
    prevBandAngle = new int32_t[phaseEntries]();

    // The decoder's working arrays live as long as the codec, so that
    // decoding a frame takes nothing from the heap.
    const auto scratchEntries = [this](int32_t count) -> std::size_t {
        return decoderUsable ? static_cast<std::size_t>(std::max(1, count)) : 1u;
    };
    decodedPhaseCodes.assign(scratchEntries(parameters.phaseBands), 0);
    decodedBalanceCodes.assign(scratchEntries(parameters.balanceBands), 0);
    decodedNoiseCodes.assign(scratchEntries(parameters.noiseBands), 0);
    decodedToneCodes.assign(scratchEntries(parameters.toneCount), 0);
    decodedToneBins.assign(scratchEntries(parameters.toneCount), 0);
    std::fill(decodedMono, decodedMono + blockLength, 0.0f);

    // The fast path's tables, for whichever side these blocks allow.
    fast = std::make_unique<FastPathData>(parameters, tuning, encoderUsable, decoderUsable);
}

Elb1764::~Elb1764()
{
    delete[] prevBandEnergy;
    delete[] prevBandAngle;
}

int Elb1764::roundTripFrame(Complex* left, Complex* right)
{
    uint8_t scratch[roundTripBufferBytes] = {};
    da_BinWriter writer(scratch, roundTripBufferBytes);
    da_BinReader reader(scratch, roundTripBufferBytes);

    encodeFrame(left, right, writer);
    decodeFrame(reader, left, right);

    // Whole bytes, as a packet would be stored. The writer's position
    // saturates at INT_MAX, so round in 64 bits and stay inside int.
    const long long padded = (static_cast<long long>(writer.bitPosition) + 7) / 8 * 8;
    const int bits = static_cast<int>(std::min<long long>(padded, INT_MAX - 7));

    // Running totals wrap instead of overflowing on very long runs.
    bitsCounted = wrapToInt32(static_cast<uint32_t>(bitsCounted) + static_cast<uint32_t>(bits));
    framesCounted = wrapToInt32(static_cast<uint32_t>(framesCounted) + 1u);
    return bits;
}

void Elb1764::rotateBandPhase(Complex* a, Complex* b, int n, int code) const
{
    const int steps = codesOf(parameters.phaseBits);
    Complex turnA;
    Complex turnB;
    rootOfUnity(code, steps, 1.0f, turnA);
    rootOfUnity(-code, steps, 1.0f, turnB);
    // Products and sum in double, each new part rounded to float once.
    for (int k = 0; k < n; ++k) {
        a[k] = complexProduct(a[k], turnA);
        b[k] = complexProduct(b[k], turnB);
    }
}

NoiseGeneratorState Elb1764::noiseGenerator() const
{
    return NoiseGeneratorState{noiseCounter, noiseState};
}

void Elb1764::setNoiseGenerator(const NoiseGeneratorState& generator)
{
    noiseCounter = generator.counter;
    noiseState = generator.state;
}
