// Writes a deterministic stereo music-like WAV (16-bit PCM, 44100 Hz) so the
// project can demonstrate and benchmark itself without committing anyone's
// recording: a chord progression on a plucked pad, a bass line, a melody with
// harmonics, hi-hat noise and a short cross-channel echo for stereo width.
//
// Usage: q58_make_sample OUT.wav [seconds]   (default 5 seconds)

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

constexpr int sampleRate = 44100;
constexpr double pi = 3.14159265358979323846;

double noteFrequency(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// A plucked note: a few harmonics with a decaying envelope.
double pluck(double t, double frequency, double brightness)
{
    if (t < 0.0)
        return 0.0;
    const double attack = std::min(1.0, t * 200.0);
    double sum = 0.0;
    for (int h = 1; h <= 6; ++h)
        sum += std::sin(2.0 * pi * frequency * h * t) * std::pow(brightness, h - 1) * std::exp(-t * (1.5 + h * 0.8));
    return attack * sum;
}

struct Lcg {
    uint32_t state = 12345u;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 8388608.0 - 1.0;
    }
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

    const int chords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
    const int bass[4] = {36, 33, 29, 31};
    const int melody[16] = {72, 74, 76, 79, 77, 76, 74, 72, 69, 71, 72, 74, 76, 74, 71, 67};
    const double beat = 0.5;  // 120 beats per minute

    std::vector<double> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    Lcg noise;
    double hatEnvelope = 0.0;
    for (long n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / sampleRate;
        const int bar = static_cast<int>(t / (4 * beat)) % 4;
        const double inBar = std::fmod(t, 4 * beat);
        const double inBeat = std::fmod(t, beat);
        const int step = static_cast<int>(t / (beat / 2)) % 16;
        const double inStep = std::fmod(t, beat / 2);

        double pad = 0.0;
        for (int v = 0; v < 3; ++v)
            pad += pluck(inBar - 0.02 * v, noteFrequency(chords[bar][v]), 0.45);
        const double bassNote = pluck(inBeat, noteFrequency(bass[bar]), 0.6);
        const double lead = pluck(inStep, noteFrequency(melody[step]), 0.35) * 0.8;

        if (inStep < 1.0 / sampleRate)
            hatEnvelope = (step % 2) ? 0.5 : 0.25;
        hatEnvelope *= 0.9985;
        const double hat = noise.next() * hatEnvelope;

        left[static_cast<size_t>(n)] = 0.30 * pad + 0.45 * bassNote + 0.20 * lead + 0.10 * hat;
        right[static_cast<size_t>(n)] = 0.22 * pad + 0.45 * bassNote + 0.32 * lead + 0.14 * hat;
    }
    // A short echo from each channel into the other widens the image and
    // gives the channels a frequency-dependent phase difference.
    const long delay = static_cast<long>(0.011 * sampleRate);
    for (long n = frames - 1; n >= delay; --n) {
        const size_t i = static_cast<size_t>(n), j = static_cast<size_t>(n - delay);
        const double l = left[i] + 0.35 * right[j];
        const double r = right[i] + 0.35 * left[j];
        left[i] = l;
        right[i] = r;
    }

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
            const double limited = std::tanh(v * 0.9) * 26000.0;  // soft limit well inside 16 bits
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
