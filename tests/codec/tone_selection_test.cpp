// Tone selection: the masking spread, the exact selection of the threshold
// and the choice and coding of the tones.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "codec/elb1764.h"
#include "codec/frame_steps.h"
#include "codec/encoder_test_support.h"
#include "codec/tone_selection.h"

using namespace encoder_test;

namespace {

class ToneSelection : public ::testing::Test {};

// The n-th largest by sorting.
float sortedReference(std::vector<float> values, int n) {
    std::sort(values.begin(), values.end(), std::greater<float>());
    return values[static_cast<std::size_t>(n)];
}

void expectExactSelection(const std::vector<float>& values, const char* what) {
    const int count = static_cast<int>(values.size());
    std::vector<float> scratch(values.size());
    for (int n = 0; n < count; ++n) {
        const float expected = sortedReference(values, n);
        EXPECT_EQ(nthLargest(values.data(), count, n), expected) << what << ", n " << n;
        EXPECT_EQ(nthLargest(values.data(), count, n, scratch.data()), expected) << what << ", n " << n;
    }
}

// Level code of a tone of amplitude a (relative to the frame gain), from
// the level scale: 6 log2 a over 0..-96 in 15 steps.
int expectedLevelCode(double a) {
    const double level = 6.0 * std::log2(a);
    const double t = std::clamp(level / -96.0, 0.0, 1.0);
    return static_cast<int>(std::floor(t * 15.0 + 0.5));
}

}  // namespace

// ---- masking spread ----

TEST(MaskingSpread, StepFactorsReachFurtherAtHigherBins) {
    EXPECT_NEAR(maskingStepFactor(1, 0.85f), 0.4437, 5e-5);
    EXPECT_NEAR(maskingStepFactor(10, 0.85f), 0.9631, 5e-5);
    EXPECT_NEAR(maskingStepFactor(100, 0.85f), 0.9936, 5e-5);
    EXPECT_NEAR(maskingStepFactor(599, 0.85f), 0.9983, 5e-5);
    for (int i = 2; i < 600; ++i) EXPECT_GT(maskingStepFactor(i, 0.85f), maskingStepFactor(i - 1, 0.85f));
    EXPECT_EQ(maskingStepFactor(37, 1.0f), 1.0);
}

TEST(MaskingSpread, LoneBinCountsThreeTimesInsideAndTwiceAtTheEnds) {
    const int n = 600;
    for (int at : {0, 1, 250, 598, 599}) {
        std::vector<float> v(n, 0.0f);
        v[at] = -0.75f;
        std::vector<float> s(n);
        spreadMasking(v.data(), n, 1.0f, 0.85f, s.data());
        const double own = (at == 0 || at == n - 1) ? std::sqrt(2.0) : std::sqrt(3.0);
        EXPECT_NEAR(s[at], own * 0.75, 1e-6) << "bin " << at;
        // Neighbours see the decayed magnitude once, from one side only. The
        // passes start from 0 at either end, so the first and last bins
        // spread nowhere.
        const bool spreadsUp = at > 0 && at + 1 < n;
        const bool spreadsDown = at > 0 && at < n - 1;
        if (spreadsUp) {
            const double up1 = maskingStepFactor(at + 1, 0.85f) * 0.75;
            EXPECT_NEAR(s[at + 1], up1, 1e-6) << "bin " << at;
            if (at + 2 < n) {
                EXPECT_NEAR(s[at + 2], up1 * maskingStepFactor(at + 2, 0.85f), 1e-6) << "bin " << at;
            }
        }
        if (spreadsDown) {
            EXPECT_NEAR(s[at - 1], maskingStepFactor(at, 0.85f) * 0.75, 1e-6) << "bin " << at;
        }
        if (at == 0) {
            EXPECT_EQ(s[1], 0.0f);
        }
        if (at == n - 1) {
            EXPECT_EQ(s[n - 2], 0.0f);
        }
        for (int k = 0; k < n; ++k) {
            if (std::abs(k - at) > 1) {
                EXPECT_LT(s[k], 0.75f) << "bin " << at << " k " << k;
            }
        }
    }
}

TEST(MaskingSpread, ScalesLinearlyAndMatchesTheScratchForm) {
    std::mt19937 rng(11);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    const int n = 600;
    std::vector<float> v(n);
    for (float& x : v) x = normal(rng);
    std::vector<float> one(n), two(n), withScratch(n), forward(n), backward(n);
    std::vector<double> factors(n);
    spreadMasking(v.data(), n, 1.0f, 0.85f, one.data());
    spreadMasking(v.data(), n, 2.0f, 0.85f, two.data());
    spreadMasking(v.data(), n, 1.0f, 0.85f, withScratch.data(),
                  MaskingScratch{forward.data(), backward.data(), factors.data()});
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(two[k], 2.0f * one[k], 1e-5f * one[k]);
        EXPECT_EQ(withScratch[k], one[k]);
        EXPECT_GE(one[k], std::fabs(v[k]));
    }
}

// ---- exact selection ----

TEST(NthLargest, MatchesASortOverManyRandomSets) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> sizes(1, 700);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_int_distribution<int> smallInts(-3, 3);
    std::exponential_distribution<float> heavy(0.01f);
    for (int set = 0; set < 400; ++set) {
        const int count = sizes(rng);
        std::vector<float> values(static_cast<std::size_t>(count));
        for (float& x : values) {
            switch (set % 4) {
                case 0: x = normal(rng); break;
                case 1: x = static_cast<float>(smallInts(rng)) * 0.1f; break;  // many duplicates
                case 2: x = heavy(rng) * heavy(rng) * heavy(rng); break;      // wide range
                default: x = std::abs(normal(rng)) < 0.5f ? 0.0f : normal(rng);  // ties at zero
            }
        }
        std::vector<float> scratch(values.size());
        const std::vector<float> before = values;
        for (int n : {0, count - 1, count / 2, static_cast<int>(rng() % count)}) {
            const float expected = sortedReference(values, n);
            EXPECT_EQ(nthLargest(values.data(), count, n), expected) << "set " << set << " n " << n;
            EXPECT_EQ(nthLargest(values.data(), count, n, scratch.data()), expected) << "set " << set << " n " << n;
        }
        EXPECT_EQ(values, before);
    }
}

TEST(NthLargest, AllEqualSetsWhoseMeanRoundsAway) {
    // Float means of equal values can differ from them.
    expectExactSelection(std::vector<float>(3, 0.1f), "3 x 0.1");
    expectExactSelection(std::vector<float>(7, 1e-8f), "7 x 1e-8");
    expectExactSelection(std::vector<float>(600, 0.1f), "600 x 0.1");
    expectExactSelection(std::vector<float>(5, 16777216.0f), "5 x 2^24");
    expectExactSelection(std::vector<float>(41, 16777218.0f), "41 x 2^24+2");
    expectExactSelection(std::vector<float>(1, -2.5f), "single");
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> any(-1e6f, 1e6f);
    for (int count = 2; count <= 60; ++count) expectExactSelection(std::vector<float>(count, any(rng)), "equal");
}

TEST(NthLargest, NearlyEqualSetsAndLargeMagnitudes) {
    // Neighbouring floats near 2^24, where the running sum rounds coarsely.
    std::vector<float> close;
    for (int i = 0; i < 30; ++i) close.push_back(16777216.0f + 2.0f * static_cast<float>(i % 3));
    expectExactSelection(close, "near 2^24");
    std::vector<float> ulps;
    float x = 0.1f;
    for (int i = 0; i < 25; ++i) {
        ulps.push_back(x);
        if (i % 4 == 3) x = std::nextafter(x, 1.0f);
    }
    expectExactSelection(ulps, "ulps apart");
    // Sums overflow to infinity.
    expectExactSelection({FLT_MAX, FLT_MAX, 1.0f}, "overflow");
    expectExactSelection({FLT_MAX, FLT_MAX, FLT_MAX}, "equal max");
    expectExactSelection({-FLT_MAX, -FLT_MAX, 3.0f, -FLT_MAX}, "negative overflow");
    const float inf = std::numeric_limits<float>::infinity();
    expectExactSelection({inf, 1.0f, 2.0f}, "infinity");
    expectExactSelection({inf, -inf, 0.0f, 5.0f}, "both infinities");
    expectExactSelection({std::numeric_limits<float>::denorm_min(), 0.0f, std::numeric_limits<float>::denorm_min()},
                         "denormals");
}

TEST(NthLargest, NaNRanksLowestAndNeverHangs) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> values = {1.0f, nan, 3.0f, nan, 2.0f};
    EXPECT_EQ(nthLargest(values.data(), 5, 0), 3.0f);
    EXPECT_EQ(nthLargest(values.data(), 5, 1), 2.0f);
    EXPECT_EQ(nthLargest(values.data(), 5, 2), 1.0f);
    EXPECT_TRUE(std::isnan(nthLargest(values.data(), 5, 3)));
    EXPECT_TRUE(std::isnan(nthLargest(values.data(), 5, 4)));
}

TEST(NthLargest, OutOfRangeRequestsAreClamped) {
    const std::vector<float> values = {4.0f, -1.0f, 9.0f};
    EXPECT_EQ(nthLargest(values.data(), 3, 7), -1.0f);
    EXPECT_EQ(nthLargest(values.data(), 3, -2), 9.0f);
    EXPECT_EQ(nthLargest(values.data(), 0, 0), 0.0f);
}

// ---- tone choice ----

TEST_F(ToneSelection, SilentSpectrumGivesTheLowestBinsAtTheFloor) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::vector<float> x(882, 0.0f);
    std::vector<int> codes(32), bins(32);
    LiteralSteps{codec}.extractTones(x.data(), codes.data(), bins.data());
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(bins[j], j);
        EXPECT_EQ(codes[j], 30);
    }
}

TEST_F(ToneSelection, TakesTheBestRatedBinsAndRemovesThem) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> level(-100.0, 6.0);
    for (int trial = 0; trial < 20; ++trial) {
        // 32 isolated bins (at least 3 apart) over silence.
        std::vector<float> x(882, 0.0f);
        std::vector<int> chosen;
        for (int k = 5 + static_cast<int>(rng() % 4); static_cast<int>(chosen.size()) < 32; k += 3 + static_cast<int>(rng() % 14))
            chosen.push_back(k);
        ASSERT_LT(chosen.back(), 600);
        for (int k : chosen) {
            const float a = static_cast<float>(std::pow(2.0, level(rng) / 6.0));
            x[k] = (rng() % 2) ? a : -a;
        }
        for (int k = 600; k < 882; ++k) x[k] = 0.5f;  // beyond the tone bins: ignored, untouched
        const std::vector<float> before = x;
        std::vector<int> codes(32), bins(32);
        LiteralSteps{codec}.extractTones(x.data(), codes.data(), bins.data());
        EXPECT_EQ(bins, chosen);
        for (int j = 0; j < 32; ++j) {
            const float v = before[static_cast<std::size_t>(chosen[j])];
            EXPECT_EQ(codes[j] % 2, v < 0.0f ? 1 : 0);
            EXPECT_EQ(codes[j] / 2, expectedLevelCode(std::fabs(v))) << "amplitude " << v;
            EXPECT_EQ(x[static_cast<std::size_t>(chosen[j])], 0.0f);
        }
        for (int k = 600; k < 882; ++k) EXPECT_EQ(x[k], 0.5f);
    }
}

TEST_F(ToneSelection, LevelCodeLimitsAndSign) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // Widely spaced so that each is its own best-rated bin.
    const std::vector<int> at = {20, 60, 100, 140, 180, 220, 260, 300};
    const std::vector<float> value = {1.0f, 5.0f, -3.0f, 1.0f / 65536.0f, 1e-9f, -1.0f / 131072.0f, -0.5f, 0.25f};
    // Level -6 is level code round(0.9375) = 1, level -12 is round(1.875) = 2.
    const std::vector<int> expected = {0, 0, 1, 30, 30, 31, 2 * 1 + 1, 2 * 2};
    std::vector<float> x(882, 0.0f);
    for (std::size_t i = 0; i < at.size(); ++i) x[static_cast<std::size_t>(at[i])] = value[i];
    std::vector<int> codes(32), bins(32);
    LiteralSteps{codec}.extractTones(x.data(), codes.data(), bins.data());
    for (std::size_t i = 0; i < at.size(); ++i) {
        const auto j = std::find(bins.begin(), bins.end(), at[i]) - bins.begin();
        ASSERT_LT(j, 32) << "bin " << at[i];
        EXPECT_EQ(codes[static_cast<std::size_t>(j)], expected[i]) << "value " << value[i];
    }
}

TEST_F(ToneSelection, LoneBinRatingUsesItsOwnMasking) {
    // Rated against sqrt(3) |X| inside, sqrt(2) |X| at an end: with the
    // tiny offset 0.0001 a loud lone bin rates just under 1/sqrt(3) and a
    // quiet one lower. The better-rated of two lone bins is the tone when
    // only one place is free.
    CodecParameters oneTone = defaultCodecParameters;
    oneTone.toneCount = 1;
    Elb1764 codec(oneTone, defaultEncoderTuning);
    int code = 0;
    int bin = 0;
    // Interior bin 300 at 1.0 against end bin 0 at 1.0: the end bin rates
    // 1/sqrt(2) against 1/sqrt(3).
    std::vector<float> x(882, 0.0f);
    x[0] = 1.0f;
    x[300] = 1.0f;
    LiteralSteps{codec}.extractTones(x.data(), &code, &bin);
    EXPECT_EQ(bin, 0);
    // Two interior bins: the offset favours the louder one, however slightly.
    std::fill(x.begin(), x.end(), 0.0f);
    x[200] = 1e-4f;
    x[400] = 1e-2f;
    LiteralSteps{codec}.extractTones(x.data(), &code, &bin);
    EXPECT_EQ(bin, 400);
    EXPECT_EQ(x[400], 0.0f);
    EXPECT_EQ(x[200], 1e-4f);
}

TEST_F(ToneSelection, RatedBinsWinOverTiesAndTiesGoFromTheLowestBin) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    // Five tones high up, everything else silent: the 27 other places go to
    // the silent bins tied at rating 0, lowest first.
    std::vector<float> x(882, 0.0f);
    const std::vector<int> loud = {350, 400, 450, 500, 599};
    for (int k : loud) x[static_cast<std::size_t>(k)] = 0.3f;
    std::vector<int> codes(32), bins(32);
    LiteralSteps{codec}.extractTones(x.data(), codes.data(), bins.data());
    for (int j = 0; j < 27; ++j) {
        EXPECT_EQ(bins[j], j);
        EXPECT_EQ(codes[j], 30);
    }
    for (int j = 27; j < 32; ++j) EXPECT_EQ(bins[j], loud[static_cast<std::size_t>(j - 27)]);
}

TEST_F(ToneSelection, AlwaysExactlyTheToneCountInIncreasingBins) {
    Elb1764 codec(defaultCodecParameters, defaultEncoderTuning);
    std::mt19937 rng(23);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    for (int trial = 0; trial < 30; ++trial) {
        std::vector<float> x(882);
        for (float& v : x) v = (trial % 3 == 0 && rng() % 2) ? 0.0f : normal(rng);
        if (trial % 5 == 1) std::fill(x.begin() + 10, x.begin() + 300, 0.02f);  // a plateau of ties
        const std::vector<float> before = x;
        std::vector<int> codes(32, -1), bins(32, -1);
        LiteralSteps{codec}.extractTones(x.data(), codes.data(), bins.data());
        for (int j = 0; j < 32; ++j) {
            EXPECT_GE(bins[j], 0);
            EXPECT_LT(bins[j], 600);
            if (j > 0) {
                EXPECT_GT(bins[j], bins[j - 1]);
            }
            EXPECT_GE(codes[j], 0);
            EXPECT_LT(codes[j], 32);
        }
        // Exactly the chosen bins were cleared.
        int cleared = 0;
        for (int k = 0; k < 882; ++k)
            if (x[k] != before[k]) ++cleared;
        int nonzeroChosen = 0;
        for (int k : bins)
            if (before[static_cast<std::size_t>(k)] != 0.0f) ++nonzeroChosen;
        EXPECT_EQ(cleared, nonzeroChosen);
    }
}
