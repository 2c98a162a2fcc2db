// The two shared effects. Each reads a mono send and adds its stereo return
// to the interleaved master. They keep their state between calls, so a track
// can be fed to them stretch after stretch, in order, with the same result
// as in one go.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "content/synth/dsp.h"

namespace synth {

// Delay line with a fixed length, read before it is written.
struct Line {
    std::vector<double> buffer;
    size_t position = 0;

    explicit Line(size_t length);
    double read() const { return buffer[position]; }
    void write(double value) {
        buffer[position] = value;
        if (++position == buffer.size()) position = 0;
    }
};

// Schroeder allpass: smears a click into a short burst without colouring it.
struct Allpass {
    Line line;
    double gain;

    double process(double input) {
        const double delayed = line.read();
        const double stored = input + gain * delayed;
        line.write(stored);
        return delayed - gain * stored;
    }
};

// Echoes that bounce between left and right, each darker than the last.
struct PingPongDelay {
    PingPongDelay(double delayFrames, double feedback, double rate);
    void add(std::span<const float> send, std::span<float> master);

    Line left, right;
    OnePole lowCut, highCut;
    double feedback;
};

// A room: eight feedback delay lines mixed by a Householder matrix, their
// lengths and decay time growing with size, their highs damped.
struct Reverb {
    static constexpr size_t kLines = 8;
    static constexpr size_t kDiffusers = 2;

    Reverb(double size, double damping, double rate);
    void add(std::span<const float> send, std::span<float> master);

    std::vector<Line> lines;
    std::array<double, kLines> gains{};
    std::array<OnePole, kLines> dampers{};
    Line preDelay;
    std::vector<Allpass> diffusers;
    OnePole lowCut;
};

} // namespace synth
