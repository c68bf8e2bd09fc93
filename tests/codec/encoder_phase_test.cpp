// The inter-channel phase of one band: angle arithmetic, the search, the
// half-turn choice, the slew limit and the history it keeps.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/elb1764.h"
#include "codec/frame_steps.h"
#include "codec/encoder_test_support.h"

using namespace encoder_test;

namespace {

constexpr int fineGrid = 192;  // 2 x phaseSearchSteps with the default tuning
constexpr int bandLength = 38;

class EncoderPhase : public ::testing::Test {};

// One band whose channels differ by 2 x step fine steps, run through
// encodeBandPhase with the given history; returns the code.
struct BandRun {
    int code;
    int32_t angle;
    float energy;
    std::vector<Complex> a;
    std::vector<Complex> b;
};

BandRun runBand(Elb1764& codec, int step, int32_t prevAngle, float prevEnergy, float scale = 1.0f) {
    BandRun run{0, prevAngle, prevEnergy, std::vector<Complex>(bandLength), std::vector<Complex>(bandLength)};
    fillTurnedBand(run.a.data(), run.b.data(), bandLength, step, fineGrid, scale);
    run.code = LiteralSteps{codec}.encodeBandPhase(run.a.data(), run.b.data(), bandLength, run.angle, run.energy);
    return run;
}

EncoderTuning slewTuning(int32_t range, int32_t minimum) {
    EncoderTuning t = defaultEncoderTuning;
    t.phaseSlewRange = range;
    t.phaseSlewMin = minimum;
    return t;
}

}  // namespace

TEST(AngleDistance, IsTheShorterWayRoundForAnyIntegers) {
    EXPECT_EQ(angleDistance(0, 0, 192), 0);
    EXPECT_EQ(angleDistance(0, 191, 192), 1);
    EXPECT_EQ(angleDistance(191, 0, 192), 1);
    EXPECT_EQ(angleDistance(10, 106, 192), 96);
    EXPECT_EQ(angleDistance(5, -2, 192), 7);
    EXPECT_EQ(angleDistance(189, -2, 192), 1);
    EXPECT_EQ(angleDistance(0, 385, 192), 1);
    EXPECT_EQ(angleDistance(3, 193, 192), 2);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> any(-1000, 1000);
    for (int i = 0; i < 1000; ++i) {
        const int a = any(rng);
        const int b = any(rng);
        const int d = angleDistance(a, b, 192);
        EXPECT_EQ(d, angleDistance(b, a, 192));
        EXPECT_GE(d, 0);
        EXPECT_LE(d, 96);
        EXPECT_EQ(d, angleDistance(a + 192, b - 384, 192));
    }
}

TEST(EnergyChange, IsZeroWhenSteadyAndOneFromOrToSilence) {
    EXPECT_EQ(energyChange(0.0f, 0.0f), 1.0f);
    EXPECT_EQ(energyChange(0.0f, 5.0f), 1.0f);
    EXPECT_EQ(energyChange(5.0f, 0.0f), 1.0f);
    EXPECT_EQ(energyChange(3.0f, 3.0f), 0.0f);
    EXPECT_EQ(energyChange(1.0f, 2.0f), 0.25f);
    EXPECT_EQ(energyChange(2.0f, 1.0f), 0.25f);
    EXPECT_EQ(energyChange(4.0f, 3.0f), 0.0625f);
    EXPECT_FLOAT_EQ(energyChange(10.0f, 1.0f), 0.81f);
}

TEST_F(EncoderPhase, EqualChannelsNeedNoTurn) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::mt19937 rng(3);
    std::normal_distribution<float> normal(0.0f, 100.0f);
    std::vector<Complex> a(bandLength);
    for (Complex& c : a) c = Complex{normal(rng), normal(rng)};
    std::vector<Complex> b = a;
    int32_t angle = 0;
    float energy = 0.0f;
    EXPECT_EQ(LiteralSteps{codec}.encodeBandPhase(a.data(), b.data(), bandLength, angle, energy), 0);
    EXPECT_EQ(angle, 0);
}

TEST_F(EncoderPhase, FirstFrameFindsTheOffsetNearestTheStartAngle) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // The search covers half a turn; of the two equivalent angles the one
    // nearer angle 0 is kept (the lower on a tie at a quarter turn).
    for (int step = 0; step < fineGrid; step += 3) {
        const int folded = step % 96;
        const int expectedAngle = folded <= 48 ? folded : folded + 96;
        const BandRun run = runBand(codec, step, 0, 0.0f);
        EXPECT_EQ(run.angle, expectedAngle) << "step " << step;
        EXPECT_EQ(run.code, expectedAngle / 3) << "step " << step;
        // History: the band energy, two unit magnitudes per bin.
        EXPECT_NEAR(run.energy, 2.0f * bandLength, 1e-3f);
        // The band is aligned afterwards: left and right agree.
        for (int k = 0; k < bandLength; ++k) {
            EXPECT_NEAR(run.a[k].re, run.b[k].re, 1e-5f);
            EXPECT_NEAR(run.a[k].im, run.b[k].im, 1e-5f);
        }
    }
}

TEST_F(EncoderPhase, FirstFrameWithEnergyMayLandAnywhere) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // From angle 100, offset 30: 126 is nearer than 30, and 26 steps away.
    BandRun run = runBand(codec, 30, 100, 0.0f);
    EXPECT_EQ(run.angle, 126);
    EXPECT_EQ(run.code, 42);
    // From angle 0, offset 90: 186 is 6 steps away round the back.
    run = runBand(codec, 90, 0, 0.0f);
    EXPECT_EQ(run.angle, 186);
    EXPECT_EQ(run.code, 62);
}

TEST_F(EncoderPhase, SteadyEnergyMovesOneFineStepPerFrame) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // Learn the band's energy, then start from angle 0 with that history.
    const float energy = runBand(codec, 30, 0, 0.0f).energy;
    int32_t angle = 0;
    for (int frame = 1; frame <= 35; ++frame) {
        const BandRun run = runBand(codec, 30, angle, energy);
        EXPECT_EQ(run.energy, energy);
        EXPECT_EQ(run.angle, std::min(frame, 30)) << "frame " << frame;
        EXPECT_EQ(run.code, run.angle / 3);
        angle = run.angle;
    }
}

TEST_F(EncoderPhase, HalvedEnergyWidensTheWindowByTheSquaredChange) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    const float energy = runBand(codec, 45, 0, 0.0f).energy;
    // (1 - 1/2)^2 = 1/4: trunc(0.25 * 95 + 1) = 24 steps towards 45.
    EXPECT_EQ(runBand(codec, 45, 0, 2.0f * energy).angle, 24);
    // The same change the other way round: towards 156 (= -36) from 0.
    EXPECT_EQ(runBand(codec, 60, 0, 0.5f * energy).angle, 192 - 24);
}

TEST_F(EncoderPhase, SlewRangeScalesTheEnergyChange) {
    Elb1764 codec(defaultCodecParameters, slewTuning(40, 1));
    const float energy = runBand(codec, 45, 0, 0.0f).energy;
    // A fourfold rise: (1 - 1/4)^2 = 0.5625, trunc(0.5625 * 40 + 1) = 23.
    EXPECT_EQ(runBand(codec, 45, 0, 0.25f * energy).angle, 23);
    // Steady: one step.
    EXPECT_EQ(runBand(codec, 45, 0, energy).angle, 1);
}

TEST_F(EncoderPhase, WindowWrapsRoundZeroToTheNearestPosition) {
    // Window of 3 fine steps each way.
    Elb1764 codec(defaultCodecParameters, slewTuning(0, 3));
    // From 1, target 189 (nearer than 93): positions -2..4, and -2 (= 190)
    // is one step from 189.
    BandRun run = runBand(codec, 189, 1, 0.0f);
    EXPECT_EQ(run.angle, 190);
    EXPECT_EQ(run.code, 63);
    // From 190, target 2: positions 187..193, and 193 (= 1) is nearest.
    run = runBand(codec, 2, 190, 0.0f);
    EXPECT_EQ(run.angle, 1);
    EXPECT_EQ(run.code, 0);
}

TEST_F(EncoderPhase, HalfTurnTieKeepsTheSearchResult) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // 10 and 106 are both 48 steps from 58: keep 10.
    EXPECT_EQ(runBand(codec, 10, 58, 0.0f).angle, 10);
    // From 59, 106 is nearer (47 against 49).
    EXPECT_EQ(runBand(codec, 10, 59, 0.0f).angle, 106);
}

TEST_F(EncoderPhase, SilentBandKeepsAngleZeroFromTheStart) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<Complex> a(bandLength, Complex{0.0f, 0.0f});
    std::vector<Complex> b = a;
    int32_t angle = 0;
    float energy = 0.0f;
    EXPECT_EQ(LiteralSteps{codec}.encodeBandPhase(a.data(), b.data(), bandLength, angle, energy), 0);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(energy, 0.0f);
}

TEST_F(EncoderPhase, CodeFollowsTheCodecsPhaseResolution) {
    // 4 phase bits: 16 codes per turn, each 12 fine steps.
    CodecParameters coarse = defaultCodecParameters;
    coarse.phaseBits = 4;
    Elb1764 codec(coarse, defaultEncoderTuning);
    const BandRun run = runBand(codec, 40, 0, 0.0f);
    EXPECT_EQ(run.angle, 40);
    EXPECT_EQ(run.code, 3);  // 16 * 40 div 192
}

TEST_F(EncoderPhase, ScaledBandGivesSameAngle) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    for (float scale : {1.0e-20f, 1.0e-3f, 3.0e4f, 1.0e12f}) {
        const BandRun run = runBand(codec, 21, 0, 0.0f, scale);
        EXPECT_EQ(run.angle, 21) << "scale " << scale;
    }
}
