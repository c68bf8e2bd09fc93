// Tone selection: rates every bin of the normalised mono spectrum against a
// masking curve spread from its neighbours, takes the toneCount best-rated
// bins as tones and removes them from the spectrum.

#include <algorithm>
#include <cmath>
#include <vector>

#include "codec/level_scale.h"
#include "codec/tone_selection.h"

namespace {

// Absolute value of a float: sqrt(x*x) in double, which is exactly fabs.
double magnitudeOf(float x) { return std::fabs(static_cast<double>(x)); }

// Position of bin i on the warped frequency scale of the masking spread.
float warpedBin(int i) { return static_cast<float>(5.0 * std::sqrt(std::sqrt(static_cast<double>(i)))); }

double stepFactor(float warpHere, float warpBefore, float decay) {
    return std::pow(static_cast<double>(decay), static_cast<double>(warpHere) - warpBefore);
}

// Total order for the exact fallback: larger first, NaN after every number.
bool ranksAbove(float a, float b) {
    if (std::isnan(a)) return false;
    return std::isnan(b) || a > b;
}

}  // namespace

double maskingStepFactor(int i, float decay) { return stepFactor(warpedBin(i), warpedBin(i - 1), decay); }

void spreadMasking(const float* v, int n, float scale, float decay, float* out, const MaskingScratch& scratch) {
    if (n <= 0) return;
    float* s = out;
    float* forward = scratch.forward;
    float* backward = scratch.backward;
    double* factor = scratch.factors;

    // 1. The scaled magnitudes themselves.
    for (int k = 0; k < n; ++k) s[k] = static_cast<float>(scale * magnitudeOf(v[k]));

    // 2. Decay between neighbouring bins, once per bin for both passes.
    float warpBefore = warpedBin(0);
    for (int i = 1; i < n; ++i) {
        const float warpHere = warpedBin(i);
        factor[i] = stepFactor(warpHere, warpBefore, decay);
        warpBefore = warpHere;
    }

    // 3. Forward pass: each bin plus the decayed spread from below.
    forward[0] = 0.0f;
    for (int i = 1; i < n; ++i) {
        const float spread = static_cast<float>(factor[i] * forward[i - 1]);
        forward[i] = static_cast<float>(hypotenuse(s[i], spread));
    }

    // 4. Backward pass: each bin plus the decayed spread from above.
    backward[n - 1] = 0.0f;
    for (int i = n - 2; i >= 0; --i) {
        const float spread = static_cast<float>(factor[i + 1] * backward[i + 1]);
        backward[i] = static_cast<float>(hypotenuse(s[i], spread));
    }

    // 5. Power sum of the bin and both spreads.
    for (int i = 0; i < n; ++i) {
        const float spreads = static_cast<float>(hypotenuse(forward[i], backward[i]));
        s[i] = static_cast<float>(hypotenuse(s[i], spreads));
    }
}

void spreadMasking(const float* v, int n, float scale, float decay, float* out) {
    if (n <= 0) return;
    std::vector<float> forward(n);
    std::vector<float> backward(n);
    std::vector<double> factors(n);
    spreadMasking(v, n, scale, decay, out, MaskingScratch{forward.data(), backward.data(), factors.data()});
}

float nthLargest(const float* values, int count, int n, float* scratch) {
    if (count <= 0) return 0.0f;
    n = std::clamp(n, 0, count - 1);

    // Mean-pivot selection: split the working set at its mean and keep only
    // the side that holds the answer, in index order.
    float* set = scratch;
    std::copy(values, values + count, set);
    int size = count;
    for (;;) {
        if (size == 1) return set[0];

        float sum = 0.0f;
        for (int i = 0; i < size; ++i) sum = static_cast<float>(static_cast<double>(sum) + set[i]);
        const float mean = static_cast<float>(static_cast<double>(sum) / size);

        int greater = 0;
        int equal = 0;
        int lower = 0;
        for (int i = 0; i < size; ++i) {
            if (set[i] > mean)
                ++greater;
            else if (set[i] == mean)
                ++equal;
            else if (set[i] < mean)
                ++lower;
        }

        // The rounded mean can lie outside the set (equal values whose float
        // mean differs from them, a sum that overflowed, values packed within
        // rounding of each other), or be NaN. Then the split does not shrink
        // the set and an exact selection takes over.
        if (greater + equal + lower != size || greater == size || lower == size) {
            std::nth_element(set, set + n, set + size, ranksAbove);
            return set[n];
        }

        // Keep one side in place; remove_if is stable, so index order holds.
        if (greater > n) {
            size = static_cast<int>(std::remove_if(set, set + size, [mean](float x) { return !(x > mean); }) - set);
        } else if (greater + equal > n) {
            return mean;
        } else {
            size = static_cast<int>(std::remove_if(set, set + size, [mean](float x) { return !(x < mean); }) - set);
            n -= greater + equal;
        }
    }
}

float nthLargest(const float* values, int count, int n) {
    if (count <= 0) return 0.0f;
    std::vector<float> scratch(count);
    return nthLargest(values, count, n, scratch.data());
}

int pickRatedBins(const float* ratings, int count, int total, float threshold, int* chosen) {
    int above = 0;
    for (int k = 0; k < count; ++k)
        if (ratings[k] > threshold) ++above;
    int tiesLeft = total - above;
    int taken = 0;
    for (int k = 0; k < count && taken < total; ++k) {
        bool take = ratings[k] > threshold;
        if (!take && ratings[k] == threshold && tiesLeft > 0) {
            take = true;
            --tiesLeft;
        }
        if (!take && total - taken >= count - k) take = true;
        if (take) chosen[taken++] = k;
    }
    return taken;
}
