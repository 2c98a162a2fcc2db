// Quality of the music clock: a looping tune plays while the play time is
// polled every ~2 ms, as a fast frame loop would, for a given time per
// output (20 s unless a number of seconds is given):
//
//   jitter     standard deviation of (play-time step - wall-clock step)
//   steps      the largest play-time step between polls, and the worst
//              difference from the wall's step
//   backwards  polls whose play time was below the one before
//   drift      play time against wall time, least-squares slope, ms a minute
//
// Each is given for the whole milliseconds the show sees and for the
// unrounded clock. Outputs: the silent output, SDL's dummy and disk
// drivers as the show uses them (on the monotonic clock, since their pace
// is only roughly timed), and the same drivers with the clock made to follow
// their consumption, as it follows a sound card. For those the drift against
// the frames the device took is given too. Last, the cost of one spectrum.
//
// A plain program rather than a Google Benchmark: it measures one long run
// per output, not a repeated operation.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr double kTuneSeconds = 5;
constexpr double kToneHz = 440;
constexpr double kSettleSeconds = 2; // start-up left out of the figures
constexpr auto kPollPeriod = std::chrono::milliseconds(2);
constexpr int kSpectrumCalls = 20000;
constexpr double kMsPerMinute = 60000;

// A 16-bit mono WAV file, written by hand: the bench needs no decoder.
void writeTune(const std::string& path) {
    const auto frames = uint32_t(kTuneSeconds * kRate);
    std::vector<int16_t> samples(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        samples[i] = int16_t(8000 * std::sin(2 * std::numbers::pi * kToneHz * i / kRate));
    }
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t dataBytes = frames * 2;
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << u32(36 + dataBytes) << "WAVEfmt " << u32(16) << u16(1) << u16(1) << u32(kRate)
        << u32(kRate * 2) << u16(2) << u16(16) << "data" << u32(dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

struct Poll {
    double wallMs;
    double playMs;   // unrounded
    double deviceMs; // frames the output took since play, in ms
};

struct Figures {
    double jitterMs = 0, largestStepMs = 0, worstStepErrorMs = 0, driftMsPerMinute = 0;
    int backwards = 0;
};

double slope(const std::vector<Poll>& polls, double Poll::*x, double Poll::*y) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Poll& p : polls) sx += p.*x, sy += p.*y, sxx += p.*x * p.*x, sxy += p.*x * p.*y;
    const double n = double(polls.size());
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

Figures measure(const std::vector<Poll>& polls, bool rounded) {
    Figures f;
    auto play = [&](const Poll& p) { return rounded ? std::floor(p.playMs) : p.playMs; };
    double sum = 0, sumSquares = 0;
    for (size_t i = 1; i < polls.size(); ++i) {
        const double step = play(polls[i]) - play(polls[i - 1]);
        const double error = step - (polls[i].wallMs - polls[i - 1].wallMs);
        sum += error;
        sumSquares += error * error;
        f.largestStepMs = std::max(f.largestStepMs, step);
        f.worstStepErrorMs = std::max(f.worstStepErrorMs, std::abs(error));
        if (step < 0) ++f.backwards;
    }
    const double n = double(polls.size() - 1);
    f.jitterMs = std::sqrt(std::max(0.0, sumSquares / n - (sum / n) * (sum / n)));
    f.driftMsPerMinute = (slope(polls, &Poll::wallMs, &Poll::playMs) - 1) * kMsPerMinute;
    return f;
}

void report(const char* what, const Figures& f) {
    std::printf("  %-10s jitter %.3f ms, largest step %.2f ms (worst vs wall %.2f ms), "
                "backwards %d, drift %+.2f ms/min\n",
                what, f.jitterMs, f.largestStepMs, f.worstStepErrorMs, f.backwards,
                f.driftMsPerMinute);
}

void spectrumCost() {
    soundDspSetActive(soundGetSpectrumUnit(), true);
    const auto start = Clock::now();
    float sink = 0;
    for (int i = 0; i < kSpectrumCalls; ++i) sink += soundGetSpectrum()[i % kSoundSpectrumSize];
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    std::printf("  spectrum: %.2f us a call (%d calls, checksum %g)\n", us / kSpectrumCalls,
                kSpectrumCalls, double(sink));
    soundDspSetActive(soundGetSpectrumUnit(), false);
}

struct Output {
    const char* name;
    int32_t output;
    const char* sdlDriver; // null: leave SDL_AUDIODRIVER alone
    bool followDevice;
};

bool run(const Output& o, const std::string& tune, double seconds, bool withSpectrum) {
    if (o.sdlDriver) setenv("SDL_AUDIODRIVER", o.sdlDriver, 1);
    soundForceDeviceClock(o.followDevice);
    soundSetOutput(o.output);
    if (!soundInit(kRate, 16, 0)) {
        std::printf("%s: cannot start: %s\n", o.name, soundGetErrorDetail());
        return false;
    }
    SoundStream* stream = soundStreamOpen(tune.c_str(), kSoundLoopNormal, 0, 0);
    if (!stream) {
        std::printf("%s: cannot open the tune: %s\n", o.name, soundGetErrorDetail());
        soundClose();
        return false;
    }
    const int64_t mixedAtPlay = soundOutputFramesMixed();
    const auto start = Clock::now();
    soundStreamPlay(kSoundFreeChannel, stream);
    std::vector<Poll> polls;
    polls.reserve(size_t(seconds * 1000));
    for (;;) {
        std::this_thread::sleep_for(kPollPeriod);
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double play = soundStreamGetTimePrecise(stream);
        const double device = double(soundOutputFramesMixed() - mixedAtPlay) * 1000 / kRate;
        if (wall >= kSettleSeconds * 1000) polls.push_back({wall, play, device});
        if (wall >= (kSettleSeconds + seconds) * 1000) break;
    }
    std::printf("%s (output \"%s\", %zu polls over %.0f s)\n", o.name, soundOutputName(),
                polls.size(), seconds);
    report("whole ms", measure(polls, true));
    report("unrounded", measure(polls, false));
    if (o.followDevice) {
        std::printf("  the device took frames at %+.2f ms/min against the wall; the clock "
                    "follows it within %+.2f ms/min\n",
                    (slope(polls, &Poll::wallMs, &Poll::deviceMs) - 1) * kMsPerMinute,
                    (slope(polls, &Poll::deviceMs, &Poll::playMs) - 1) * kMsPerMinute);
    }
    if (withSpectrum) spectrumCost();
    soundClose();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: music_clock_bench [seconds per output]\n");
        return 2;
    }
    const std::string tune = "music_clock_bench_tune.wav";
    writeTune(tune);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    const Output outputs[] = {
        {"silent output", kSoundOutputNoSound, nullptr, false},
        {"SDL dummy driver, as the show uses it", kSoundOutputDevice, "dummy", false},
        {"SDL dummy driver, following the device", kSoundOutputDevice, "dummy", true},
        {"SDL disk driver, following the device", kSoundOutputDevice, "disk", true},
    };
    bool all = true;
    for (const Output& o : outputs) all = run(o, tune, seconds, &o == &outputs[0]) && all;
    std::remove(tune.c_str());
    return all ? 0 : 1;
}
