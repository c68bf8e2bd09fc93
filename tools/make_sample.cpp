// Writes a deterministic stereo music-like WAV (16-bit PCM, 44100 Hz) so the
// project can demonstrate and benchmark itself without committing anyone's
// recording. The material is meant to load the encoder the way a mixed pop
// recording does: many simultaneous partials (a detuned saw pad, a piano-like
// arpeggio with stretched partials, bass and a vibrato lead), broadband noise
// (kick, snare, hi-hats, a hiss floor), every instrument panned to its own
// place, and a stereo reverb whose two channels are decorrelated, so that the
// channels differ in level and phase from band to band. Sections alternate
// between sparse and dense, and the level sits where mastered music sits
// (about -14 dBFS RMS, peaks softly limited).
//
// Usage: q58_make_sample OUT.wav [seconds]   (default 5 seconds)

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

constexpr int sampleRate = 44100;
constexpr double pi = 3.14159265358979323846;
constexpr double beat = 0.5;  // 120 beats per minute

double noteFrequency(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

struct Lcg {
    uint32_t state;
    explicit Lcg(uint32_t seed) : state(seed) {}
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 8388608.0 - 1.0;
    }
};

// Equal-power pan: position -1 (left) .. 1 (right).
void addPanned(double value, double position, double& left, double& right)
{
    const double angle = (position + 1.0) * pi / 4.0;
    left += value * std::cos(angle);
    right += value * std::sin(angle);
}

// A struck note: partials stretched like a piano string's, each decaying
// faster the higher it is.
double struck(double t, double frequency, int partials, double stretch, double brightness)
{
    if (t < 0.0)
        return 0.0;
    const double attack = std::min(1.0, t * 400.0);
    double sum = 0.0, weight = 1.0;
    for (int h = 1; h <= partials; ++h) {
        const double f = frequency * h * std::sqrt(1.0 + stretch * h * h);
        if (f > 16000.0)
            break;
        sum += std::sin(2.0 * pi * f * t) * weight * std::exp(-t * (1.2 + h * 0.9));
        weight *= brightness;
    }
    return attack * sum;
}

// A sustained band-limited sawtooth with slow vibrato, from its phase.
double saw(double phase, double frequency)
{
    double sum = 0.0;
    for (int h = 1; h <= 12 && frequency * h < 12000.0; ++h)
        sum += std::sin(phase * h) / h;
    return sum;
}

// One-pole filters for shaping noise.
struct OnePole {
    double state = 0.0;
    double lowpass(double x, double a) { return state += a * (x - state); }
};

// Schroeder reverb, one per channel with different delays, so the two tails
// are decorrelated.
class Reverb {
public:
    explicit Reverb(const int (&combDelays)[4], const int (&allpassDelays)[2])
    {
        for (int i = 0; i < 4; ++i)
            combs[i].assign(static_cast<size_t>(combDelays[i]), 0.0);
        for (int i = 0; i < 2; ++i)
            allpasses[i].assign(static_cast<size_t>(allpassDelays[i]), 0.0);
    }

    double process(double x)
    {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            std::vector<double>& line = combs[i];
            double& slot = line[combAt[i]];
            const double out = slot;
            damp[i] += 0.35 * (out - damp[i]);
            slot = x + 0.80 * damp[i];
            combAt[i] = (combAt[i] + 1) % line.size();
            sum += out;
        }
        for (int i = 0; i < 2; ++i) {
            std::vector<double>& line = allpasses[i];
            double& slot = line[allpassAt[i]];
            const double delayed = slot;
            slot = sum + 0.5 * delayed;
            sum = delayed - 0.5 * slot;
            allpassAt[i] = (allpassAt[i] + 1) % line.size();
        }
        return sum * 0.25;
    }

private:
    std::vector<double> combs[4], allpasses[2];
    size_t combAt[4] = {0, 0, 0, 0}, allpassAt[2] = {0, 0};
    double damp[4] = {0, 0, 0, 0};
};

void putLe(std::ofstream& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.wav [seconds]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const long frames = static_cast<long>(seconds * sampleRate);
    if (frames < 0 || frames > 4L * 3600 * sampleRate) {
        std::fprintf(stderr, "seconds out of range\n");
        return 2;
    }

    // I vi IV V in C, voiced with four notes; bass roots; a lead line.
    const int chords[4][4] = {{48, 55, 64, 67}, {45, 52, 60, 64}, {41, 48, 57, 65}, {43, 50, 59, 62}};
    const int bass[4] = {36, 33, 29, 31};
    const int arpeggio[8] = {0, 2, 3, 1, 2, 3, 0, 3};  // chord tone per eighth, an octave up
    const int melody[16] = {76, 79, 81, 79, 76, 74, 72, 74, 76, 76, 74, 72, 71, 72, 74, 79};
    const double padPan[4] = {-0.7, -0.25, 0.25, 0.7};

    std::vector<double> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    Lcg noiseL(12345u), noiseR(67890u), noiseC(24680u);
    OnePole hatL, hatR, snareTone, hissL, hissR;
    const int combsL[4] = {1557, 1617, 1491, 1422}, combsR[4] = {1580, 1640, 1514, 1445};
    const int allpassL[2] = {225, 556}, allpassR[2] = {248, 579};
    Reverb reverbL(combsL, allpassL), reverbR(combsR, allpassR);
    double padPhase[4][2] = {};
    double leadPhase = 0.0;

    for (long n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / sampleRate;
        const int bar = static_cast<int>(t / (4 * beat));
        const int chord = bar % 4;
        const bool dense = (bar / 8) % 2 == 1;  // sections of 8 bars alternate
        const double inBar = std::fmod(t, 4 * beat);
        const double inBeat = std::fmod(t, beat);
        const int beatInBar = static_cast<int>(inBar / beat);
        const double inEighth = std::fmod(t, beat / 2);
        const int eighth = static_cast<int>(inBar / (beat / 2));
        double l = 0.0, r = 0.0;

        // Pad: two detuned saws per chord note, slow vibrato, spread wide.
        for (int v = 0; v < 4; ++v) {
            for (int d = 0; d < 2; ++d) {
                const double f = noteFrequency(chords[chord][v] + 12 + (d ? 0.06 : -0.06)) *
                                 (1.0 + 0.002 * std::sin(2.0 * pi * (4.7 + v * 0.3) * t));
                padPhase[v][d] = std::fmod(padPhase[v][d] + 2.0 * pi * f / sampleRate, 2.0 * pi);
                addPanned(0.035 * saw(padPhase[v][d], f), padPan[v] * (d ? 1.0 : 0.6), l, r);
            }
        }

        // Arpeggio: struck notes on every eighth, moving across the image.
        const double arpFrequency = noteFrequency(chords[chord][arpeggio[eighth]] + 24);
        addPanned(0.16 * struck(inEighth, arpFrequency, 10, 0.0004, 0.7), std::sin(2.0 * pi * t / 7.0) * 0.6, l, r);
        // The previous note rings on under the new one.
        if (n > 0 && t >= beat / 2)
            addPanned(0.10 * struck(inEighth + beat / 2, noteFrequency(chords[chord][arpeggio[(eighth + 7) % 8]] + 24), 6,
                                    0.0004, 0.6),
                      std::sin(2.0 * pi * (t - beat / 2) / 7.0) * 0.6, l, r);

        // Bass: a struck root on every beat, centred.
        addPanned(0.38 * struck(inBeat, noteFrequency(bass[chord]), 6, 0.0001, 0.55), 0.0, l, r);

        // Lead in dense sections: sixteen notes over two bars, with vibrato.
        if (dense) {
            const int step = static_cast<int>(std::fmod(t, 8 * beat) / (beat / 2)) % 16;
            const double inStep = std::fmod(t, beat / 2);
            const double f = noteFrequency(melody[step]) * (1.0 + 0.004 * std::sin(2.0 * pi * 5.5 * t));
            leadPhase = std::fmod(leadPhase + 2.0 * pi * f / sampleRate, 2.0 * pi);
            const double envelope = std::min(1.0, inStep * 60.0) * (0.6 + 0.4 * std::exp(-inStep * 6.0));
            double lead = 0.0;
            for (int h = 1; h <= 7; ++h)
                lead += std::sin(leadPhase * h) * std::pow(0.55, h - 1);
            addPanned(0.12 * envelope * lead, 0.35, l, r);
        }

        // Kick on beats 1 and 3: a falling sine.
        if (beatInBar % 2 == 0) {
            const double k = inBeat;
            const double sweep = 45.0 * k + (120.0 - 45.0) * (1.0 - std::exp(-k * 30.0)) / 30.0;
            addPanned(0.55 * std::sin(2.0 * pi * sweep) * std::exp(-k * 9.0), 0.0, l, r);
        }
        // Snare on 2 and 4: a tone and a noise burst, slightly wide.
        if (beatInBar % 2 == 1) {
            const double s = inBeat;
            const double body = std::sin(2.0 * pi * 185.0 * s) * std::exp(-s * 25.0);
            const double rattle = snareTone.lowpass(noiseC.next(), 0.55) * std::exp(-s * 14.0);
            addPanned(0.22 * body, 0.0, l, r);
            l += 0.20 * rattle + 0.05 * noiseL.next() * std::exp(-s * 14.0);
            r += 0.20 * rattle + 0.05 * noiseR.next() * std::exp(-s * 14.0);
        }
        // Hi-hats on every eighth (sixteenths in dense sections), high-passed noise, one per side.
        const double hatPeriod = dense ? beat / 4 : beat / 2;
        const double inHat = std::fmod(t, hatPeriod);
        const double open = (eighth == 7) ? 4.0 : 1.0;
        const double hatEnvelope = std::exp(-inHat * 60.0 / open) * (static_cast<int>(t / hatPeriod) % 2 ? 0.05 : 0.08);
        const double nl = noiseL.next(), nr = noiseR.next();
        l += hatEnvelope * (nl - hatL.lowpass(nl, 0.35)) * 0.8;
        r += hatEnvelope * (nr - hatR.lowpass(nr, 0.35)) * 1.2;

        // Reverb send, decorrelated per side, and a faint hiss floor.
        const double send = 0.5 * (l + r);
        l += 0.6 * reverbL.process(send) + 0.0015 * hissL.lowpass(noiseL.next(), 0.5);
        r += 0.6 * reverbR.process(send) + 0.0015 * hissR.lowpass(noiseR.next(), 0.5);

        left[static_cast<size_t>(n)] = l;
        right[static_cast<size_t>(n)] = r;
    }

    // Early reflections from each side into the other, at different delays,
    // as a room adds them: the channels' phase difference then turns with
    // frequency instead of staying at zero.
    const long delayToLeft = static_cast<long>(0.0071 * sampleRate), delayToRight = static_cast<long>(0.0113 * sampleRate);
    for (long n = frames - 1; n >= 0; --n) {
        const size_t i = static_cast<size_t>(n);
        const double fromRight = n >= delayToLeft ? right[static_cast<size_t>(n - delayToLeft)] : 0.0;
        const double fromLeft = n >= delayToRight ? left[static_cast<size_t>(n - delayToRight)] : 0.0;
        left[i] += 0.3 * fromRight;
        right[i] += 0.3 * fromLeft;
    }

    // Bring the whole piece to about -14 dBFS RMS, then limit the peaks softly.
    double energy = 0.0;
    for (long n = 0; n < frames; ++n)
        energy += left[static_cast<size_t>(n)] * left[static_cast<size_t>(n)] +
                  right[static_cast<size_t>(n)] * right[static_cast<size_t>(n)];
    const double rms = frames > 0 ? std::sqrt(energy / (2.0 * static_cast<double>(frames))) : 0.0;
    const double gain = rms > 0.0 ? 0.2 / rms : 1.0;

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    const uint32_t dataBytes = static_cast<uint32_t>(frames) * 4u;
    out.write("RIFF", 4);
    putLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, 2, 2);
    putLe(out, sampleRate, 4);
    putLe(out, sampleRate * 4, 4);
    putLe(out, 4, 2);
    putLe(out, 16, 2);
    out.write("data", 4);
    putLe(out, dataBytes, 4);
    for (long n = 0; n < frames; ++n) {
        for (double v : {left[static_cast<size_t>(n)], right[static_cast<size_t>(n)]}) {
            const double limited = std::tanh(v * gain * 1.1) / 1.1 * 32000.0;
            putLe(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(limited))), 2);
        }
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
