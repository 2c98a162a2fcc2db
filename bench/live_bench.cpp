// The live mode's two speeds on the show directory makeshow built, at
// 800 x 600 on this machine's renderer (SDL's offscreen driver):
//
//   SeekToFrame   from a seek to a time until its first frame is drawn:
//                 the replay of the state the frames before it hand over,
//                 the music's seek and the frame itself (target: 50 ms)
//   PlayingFrame  one frame while the music plays (frames a second: its
//                 inverse)
//
//   live_bench [SHOWDIR]     default: the build's showdir
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/window.h"
#include "sequencing/music.h"
#include "show/frame_replay.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace {

constexpr int32_t kWidth = 800, kHeight = 600, kColourDepth = 32;
// Seek targets spread over the show, inside and between placements.
constexpr int32_t kSeekTargets[] = {1000, 16000, 33000, 47500, 61000, 78000, 95000, 120000};

std::array<float, kSpectrumSize> frameSpectrum{};

void drawFrame(int32_t time) {
    readSpectrum(frameSpectrum.data());
    showFrame(time, frameSpectrum.data(), swapBuffers);
    glFinish(); // the offscreen swap does not wait for the picture
}

void SeekToFrame(benchmark::State& state) {
    size_t next = 0;
    for (auto _ : state) {
        const int32_t target = kSeekTargets[next++ % std::size(kSeekTargets)];
        replayCarriedState(leadUpTimes(target, kReplayFps, LeadUp::Short), nullptr);
        seekMusic(target);
        drawFrame(musicTime());
    }
}
BENCHMARK(SeekToFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void PlayingFrame(benchmark::State& state) {
    seekMusic(kSeekTargets[2]);
    for (auto _ : state) drawFrame(musicTime());
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PlayingFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string dir = argc > 1 ? argv[1] : LIVE_BENCH_SHOW_DIR;
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "live_bench: %s: %s (run makeshow first)\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    settings = Settings{kWidth, kHeight, kColourDepth, false, false};
    createWindow("live_bench", kWidth, kHeight, kColourDepth, false);
    MusicSettings music;
    if (ShowError failure = loadShow(music, MusicStart::Silent)) {
        std::fprintf(stderr, "live_bench: %s: %s\n", failure.module.c_str(),
                     failure.message.c_str());
        return 1;
    }
    enableSpectrum();
    benchmark::RunSpecifiedBenchmarks();
    if (music.musicFile) stopMusic();
    releaseShow();
    closeWindow();
    return 0;
}
