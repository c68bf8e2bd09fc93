// The kernel table of one instruction set, instantiated from the templated
// cores; included by each kernel source inside its target region, after its
// lanes header.
#pragma once

#include "simd/codec_core.h"
#include "simd/kernels.h"
#include "simd/transform_core.h"

namespace {

// Q: width-4 double lanes for the transforms; D, F: double and float lanes
// for the codec kernels.
template <class Q>
constexpr TransformKernels transformKernelsOf() {
    using Engine = fastcore::QuadEngine<Q>;
    return {fastcore::fft<Q, Engine>, fastcore::inverseFft<Q, Engine>, fastcore::analyze<Q, Engine>,
            fastcore::synthesize<Q, Engine>, fastcore::synthesizeAdd<Q, Engine>};
}

// W: width-8 double lanes, the transforms on the eight-lane engine.
template <class W>
constexpr TransformKernels wideTransformKernelsOf() {
    using Engine = fastcore::OctEngine<W>;
    return {fastcore::fft<W, Engine>, fastcore::inverseFft<W, Engine>, fastcore::analyze<W, Engine>,
            fastcore::synthesize<W, Engine>, fastcore::synthesizeAdd<W, Engine>};
}

template <class D, class F>
constexpr CodecKernels codecKernelsOf() {
    return {codeckernels::scorePhaseTrials<D>, codeckernels::prepareBand<D>, codeckernels::approximatePhaseTrials<F>,
            F::rootEstimateError,
            codeckernels::combineMasking<D>, codeckernels::rateBins<D>,   codeckernels::balanceMagnitudes<D>,
            codeckernels::toSamples<F>,
            codeckernels::rotateBands<D>,    codeckernels::turnRealBands<F>, codeckernels::balanceBands<D>,
            codeckernels::noiseValues<D>,
            codeckernels::spreadBalanced<D>};
}

}  // namespace
