// The scene files' cost, on the show directory the build made, at 800 x 600
// on this machine's renderer (SDL's offscreen driver):
//
//   ReadDefaultSet  reading and checking the built-in set (target: 5 ms)
//   Frame           a whole frame, drawn and finished (frames a second: its
//                   inverse)
//   Submit          the frame's draw with rasterising cut to one pixel: what
//                   is left is evaluating and handing the quads to GL
//                   (target: under 0.2 ms of CPU)
//
// Measured in one run against the scenes compiled in C++ that the files
// replaced, before those were removed: frames 86.1 ms interpreted, 91.4 ms
// compiled (the same within the noise); submission 87.3 us of CPU
// interpreted, 82.8 us compiled.
//
//   scene_bench [SHOWDIR]     default: the build's showdir
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/window.h"
#include "show/default_scenes.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace {

constexpr int32_t kWidth = 800, kHeight = 600, kColourDepth = 32;
// Frames spread over every scene.
constexpr int32_t kTimes[] = {1000,  16000,  33000,  47500,  61000, 78000,
                              95000, 110000, 120000, 127000, 136000};

MusicSettings music;
ScenePlacements placements;

void ReadDefaultSet(benchmark::State& state) {
    for (auto _ : state) {
        scenes::SceneSet set;
        benchmark::DoNotOptimize(readSceneSet(defaultSceneFiles(), set));
    }
}
BENCHMARK(ReadDefaultSet)->Unit(benchmark::kMillisecond);

void Frame(benchmark::State& state) {
    size_t next = 0;
    for (auto _ : state) {
        showFrame(kTimes[next++ % std::size(kTimes)], nullptr, swapBuffers);
        glFinish(); // the offscreen swap does not wait for the picture
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(Frame)->Unit(benchmark::kMillisecond)->UseRealTime();

void Submit(benchmark::State& state) {
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    size_t next = 0;
    for (auto _ : state) {
        showFrame(kTimes[next++ % std::size(kTimes)], nullptr, nullptr);
        glFinish();
    }
    glDisable(GL_SCISSOR_TEST);
}
BENCHMARK(Submit)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string dir = argc > 1 ? argv[1] : SCENE_BENCH_SHOW_DIR;
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "scene_bench: %s: %s (run makeshow first)\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    settings = Settings{kWidth, kHeight, kColourDepth, false, false};
    createWindow("scene_bench", kWidth, kHeight, kColourDepth, false);
    if (ShowError failure = loadShow(music, MusicStart::None, &placements)) {
        std::fprintf(stderr, "scene_bench: %s: %s\n", failure.module.c_str(),
                     failure.message.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    releaseShow();
    closeWindow();
    return 0;
}
