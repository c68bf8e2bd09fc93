#include "conformance/conformance_inputs.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace conformance {
namespace {

// Integer arithmetic only below: no floating point, no libm, no
// implementation-defined conversions (every value stored is in int16 range,
// every division has operands whose signs make truncation well defined).

constexpr int block = 882;  // stereo sample frames per coded frame

void put(Signal& s, int n, int left, int right) {
    s[2 * static_cast<std::size_t>(n)] = static_cast<int16_t>(left);
    s[2 * static_cast<std::size_t>(n) + 1] = static_cast<int16_t>(right);
}
int frameCountOf(const Signal& s) { return static_cast<int>(s.size() / 2); }

// The 32-bit linear congruential generator of Numerical Recipes.
struct Lcg {
    uint32_t state;
    explicit Lcg(uint32_t seed) : state(seed) {}
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
    int fullScale() { return static_cast<int>(next() >> 16) - 32768; }  // -32768..32767, uniform
};

// Triangle wave from a 32-bit phase: -amplitude..amplitude (amplitude <= 32767).
int triangle(uint32_t phase, int amplitude) {
    const int64_t t = phase >> 16;                       // 0..65535
    const int64_t rise = t < 32768 ? t : 65535 - t;      // 0..32767 and back
    return static_cast<int>((2 * rise - 32767) * amplitude / 32767);
}

// 2^32 * f / 44100 for a whole frequency f in Hz: a phase increment.
uint32_t increment(uint32_t hertz) { return static_cast<uint32_t>((uint64_t{hertz} << 32) / 44100u); }

void silence(Signal& s) {
    for (int n = 0; n < frameCountOf(s); ++n) put(s, n, 0, 0);
}

// Less than one block: the container has a header and no packet at all.
void shortNoise(Signal& s) {
    Lcg rng(5);
    for (int n = 0; n < frameCountOf(s); ++n) put(s, n, rng.fullScale() / 4, rng.fullScale() / 4);
}

// Both rails: left flips between +32767 and -32768 every sample (all energy
// at the top bin), right is a full-scale 441 Hz square wave.
void rails(Signal& s) {
    for (int n = 0; n < frameCountOf(s); ++n) put(s, n, n % 2 ? -32768 : 32767, (n / 50) % 2 ? 32767 : -32768);
}

// One full-scale sample in silence, inside the fourth block; the input ends
// with part of a block, which is not coded.
void impulse(Signal& s) {
    silence(s);
    put(s, 3000, 32767, 32767);
}

// Full-scale white noise, independent in the two channels.
void whiteNoise(Signal& s) {
    Lcg rng(1);
    for (int n = 0; n < frameCountOf(s); ++n) {
        const int left = rng.fullScale();
        put(s, n, left, rng.fullScale());
    }
}

// A 441 Hz triangle with some noise, in the left channel only for the first
// half second and in the right only after it (the switch falls mid-block).
void leftThenRight(Signal& s) {
    Lcg rng(2);
    uint32_t phase = 0;
    const uint32_t step = increment(441);
    for (int n = 0; n < frameCountOf(s); ++n) {
        const int x = triangle(phase, 12000) + rng.fullScale() / 8;
        phase += step;
        if (n < 25 * block + 441)
            put(s, n, x, 0);
        else
            put(s, n, 0, x);
    }
}

// The two channels out of phase (right = -left): two triangles (220 and
// 3300 Hz) and a little noise, never beyond +-32767 so that -left fits.
void antiPhase(Signal& s) {
    Lcg rng(3);
    uint32_t low = 0;
    uint32_t high = 0x40000000u;
    for (int n = 0; n < frameCountOf(s); ++n) {
        const int x = triangle(low, 16000) + triangle(high, 6000) + rng.fullScale() / 32;
        low += increment(220);
        high += increment(3300);
        put(s, n, x, -x);
    }
}

// A triangle sweeping from 50 Hz up to about 10 kHz, its increment growing
// by a fixed integer step each sample; the right channel a quarter turn
// behind the left and at half its level.
void chirp(Signal& s) {
    uint32_t phase = 0;
    uint32_t step = increment(50);
    const uint32_t growth = (increment(10000) - increment(50)) / static_cast<uint32_t>(frameCountOf(s));
    for (int n = 0; n < frameCountOf(s); ++n) {
        put(s, n, triangle(phase, 20000), triangle(phase - 0x40000000u, 10000));
        phase += step;
        step += growth;
    }
}

// Noise of one least significant bit: each sample -1, 0 or +1.
void quietNoise(Signal& s) {
    Lcg rng(4);
    for (int n = 0; n < frameCountOf(s); ++n) {
        const int left = static_cast<int>(rng.next() >> 30) % 3 - 1;
        put(s, n, left, static_cast<int>(rng.next() >> 30) % 3 - 1);
    }
}

const std::vector<Recipe> table = {
    // name, frames, stored file, generator, purpose
    {"music", 0, "inputs/music.wav", nullptr,
     "2 s of q58_make_sample music.wav 2: tones, noise, panning and reverb, as the converter usually meets"},
    {"silence", 5 * block, nullptr, silence, "digital silence: the lowest gain code, empty bands"},
    {"short", 500, nullptr, shortNoise, "500 frames, less than one block: a header and no packet"},
    {"rails", 25 * block, nullptr, rails, "+32767/-32768 square waves, an exact multiple of the block: the top gain"},
    {"impulse", 10 * block + 123, nullptr, impulse, "a single full-scale sample in silence; a partial last block"},
    {"noise", 50 * block, nullptr, whiteNoise, "full-scale white noise, independent channels: noise bands, random phase"},
    {"left_right", 50 * block, nullptr, leftThenRight,
     "left only, then right only (switching mid-block): the balance extremes"},
    {"anti_phase", 30 * block, nullptr, antiPhase, "right = -left: an inter-channel phase of half a turn"},
    {"chirp", 75 * block, nullptr, chirp, "an integer-stepped triangle chirp 50 Hz to 10 kHz, right a quarter turn behind"},
    {"quiet", 25 * block, nullptr, quietNoise, "+-1 LSB noise: frames near the gain floor"},
};

Signal readStoredWave(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open the stored input " + path);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](std::size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto tag = [&](std::size_t at, const char* t) { return std::string(bytes.begin() + at, bytes.begin() + at + 4) == t; };
    // The layout q58_make_sample writes, and the only one q58 reads.
    if (bytes.size() < 44 || !tag(0, "RIFF") || !tag(8, "WAVE") || !tag(12, "fmt ") || u32(16) != 16 ||
        u16(20) != 1 || u16(22) != 2 || u32(24) != 44100 || u16(34) != 16 || !tag(36, "data"))
        throw std::runtime_error(path + " is not a 44-byte-header 16-bit stereo 44100 Hz PCM WAV file");
    const uint32_t dataBytes = u32(40);
    if (dataBytes % 4 != 0 || bytes.size() - 44 < dataBytes)
        throw std::runtime_error(path + ": the data chunk size does not match the file");
    Signal s(dataBytes / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const uint32_t u = u16(44 + 2 * i);
        s[i] = static_cast<int16_t>(u >= 0x8000u ? static_cast<int>(u) - 0x10000 : static_cast<int>(u));
    }
    return s;
}

}  // namespace

const std::vector<Recipe>& recipes() { return table; }

const Recipe* findRecipe(const std::string& name) {
    for (const Recipe& r : table)
        if (name == r.name) return &r;
    return nullptr;
}

std::string conformanceDir() {
    const char* overridden = std::getenv("Q58_CONFORMANCE_DIR");
    if (overridden != nullptr && *overridden != '\0') return overridden;
    return Q58_CONFORMANCE_DIR;
}

Signal makeInput(const Recipe& recipe) {
    if (recipe.storedFile != nullptr) return readStoredWave(conformanceDir() + "/" + recipe.storedFile);
    Signal s(2 * static_cast<std::size_t>(recipe.frames));
    recipe.generate(s);
    return s;
}

}  // namespace conformance
