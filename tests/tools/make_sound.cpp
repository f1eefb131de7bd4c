// make_sound OUT.wav: synthesises the stitch player's looping sound, a sewing machine running at
// 800 stitches a minute, and writes it as a 16-bit mono 44.1 kHz WAV file.
//
// One loop is 600 ms: eight needle strokes 75 ms apart over the hum of the motor.
// - Motor: a 120 Hz tone with its 2nd, 3rd and 5th harmonics (72 whole periods per loop), its
//   loudness swelling a little with each stroke (8 whole periods per loop), plus a quiet band
//   of filtered noise for the whir of the belt.
// - Needle stroke: a short "tick" (a 2.4 kHz and a 3.7 kHz ring decaying in a few milliseconds,
//   started by a burst of noise) and, 20 ms later, a softer low "thunk" (190 Hz, 30 ms decay)
//   as the take-up lever comes back.
// Every component repeats a whole number of times per loop and the decaying parts are added
// around the loop (a tail that runs past the end continues at the start), so the loop has no
// seam. The noise comes from a fixed-seed generator: the file is the same on every run.
#include "VDLError.h"
#include "VDLFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 44100;
constexpr double kLoopSeconds = 0.6;
constexpr int kStrokes = 8;
constexpr double kMotorHz = 120.0;

// A small deterministic noise source (xorshift), values in -1..1.
struct Noise {
    uint32_t state = 0x2545F491u;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

void appendLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> wavFile(const std::vector<double>& samples) {
    std::vector<uint8_t> out;
    const uint32_t dataSize = uint32_t(samples.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    appendLE(out, 36 + dataSize, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    appendLE(out, 16, 4);        // fmt chunk size
    appendLE(out, 1, 2);         // PCM
    appendLE(out, 1, 2);         // mono
    appendLE(out, kRate, 4);     // sample rate
    appendLE(out, kRate * 2, 4); // byte rate
    appendLE(out, 2, 2);         // block align
    appendLE(out, 16, 2);        // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    appendLE(out, dataSize, 4);
    for (double s : samples) {
        const auto v = int16_t(std::lround(std::clamp(s, -1.0, 1.0) * 32767.0));
        appendLE(out, uint16_t(v), 2);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sound OUT.wav\n");
        return 2;
    }
    const int n = int(std::lround(kLoopSeconds * kRate));
    const int strokeSpacing = n / kStrokes;
    std::vector<double> s(size_t(n), 0.0);
    Noise noise;

    // Motor hum, swelling with each stroke; a one-pole low-passed noise for the whir, run twice
    // around the loop so the filter has settled when the samples are kept.
    double lowpass = 0;
    std::vector<double> whir(static_cast<size_t>(n), 0.0);
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < n; ++i) {
            lowpass += 0.06 * (noise.next() - lowpass);
            whir[size_t(i)] = lowpass;
        }
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double swell = 1.0 + 0.25 * std::sin(2 * kPi * kStrokes * t / kLoopSeconds);
        const double hum = 0.50 * std::sin(2 * kPi * kMotorHz * t) + 0.25 * std::sin(2 * kPi * 2 * kMotorHz * t + 0.7) +
                           0.12 * std::sin(2 * kPi * 3 * kMotorHz * t + 1.9) +
                           0.06 * std::sin(2 * kPi * 5 * kMotorHz * t + 0.3);
        s[size_t(i)] = 0.22 * swell * hum + 0.35 * whir[size_t(i)];
    }

    // Needle strokes: tick, then the thunk of the lever; tails wrap around the loop.
    for (int k = 0; k < kStrokes; ++k) {
        const int start = k * strokeSpacing;
        const int tickLength = kRate / 40;  // 25 ms
        for (int i = 0; i < tickLength; ++i) {
            const double t = double(i) / kRate;
            const double ring = 0.6 * std::sin(2 * kPi * 2400 * t) + 0.4 * std::sin(2 * kPi * 3700 * t);
            const double burst = i < kRate / 1000 ? noise.next() * (1.0 - double(i) / (kRate / 1000)) : 0.0;
            s[size_t((start + i) % n)] += 0.55 * std::exp(-t / 0.004) * ring + 0.45 * burst;
        }
        const int thunkStart = start + kRate / 50;  // 20 ms later
        const int thunkLength = kRate / 8;
        for (int i = 0; i < thunkLength; ++i) {
            const double t = double(i) / kRate;
            s[size_t((thunkStart + i) % n)] += 0.35 * std::exp(-t / 0.030) * std::sin(2 * kPi * 190 * t);
        }
    }

    // Peak at -6 dBFS.
    double peak = 0;
    for (double v : s) peak = std::max(peak, std::abs(v));
    for (double& v : s) v *= 0.5 / peak;

    VDLError error;
    if (!VDLWriteFileAtomically(argv[1], wavFile(s), &error)) {
        std::fprintf(stderr, "make_sound: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
