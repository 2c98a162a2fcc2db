// The live mode's two speeds on the show directory makeshow built, at
// 800 x 600 on this machine's renderer (SDL's offscreen driver):
//
//   SeekToFrame   from a seek to a time until its first frame is drawn:
//                 the replay of the state the frames before it hand over,
//                 the music's seek and the frame itself (target: 50 ms)
//   PlayingFrame  one frame while the music plays (frames a second: its
//                 inverse)
//   SaveToFrame   from the moment a scene file is saved (renamed into place,
//                 or written in place) until the frame that shows it is
//                 drawn, paused and playing: the loop's wait, the file
//                 watch, the scene set's reload and the frame (target:
//                 under 100 ms every time; min, median and max per case)
//
//   live_bench [SHOWDIR]     default: the build's showdir
//
// The show directory is used through a copy of its scenes/ beside links to
// the rest, so that the saves never touch it.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "live/live_reload.h"
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

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kSavedScene = "scenes/show.scene";
constexpr int kSaves = 25;
// A save comes at a random moment of the loop's wait or frame.
constexpr int kLeastGapMs = 20, kMostGapMs = 90;
// Paused, with the music decoded, the live mode waits until input comes or
// the reload wakes it.
constexpr int32_t kUntilWoken = -1;

struct ShowFiles {
    MusicSettings music;
    ScenePlacements placements;
    std::string scene; // the saved file's first version
};

std::string readText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Saves the scene file as editors do: a scratch file renamed over it, or
// the file itself truncated and written again. Returns when the save is done.
Clock::time_point saveScene(const std::string& text, bool inPlace) {
    const std::string target = kSavedScene;
    const std::string written = inPlace ? target : "scenes/.show.scene.tmp";
    std::ofstream(written, std::ios::binary | std::ios::trunc) << text;
    if (!inPlace) fs::rename(written, target);
    return Clock::now();
}

// The live mode's loop (live_show.cpp) around one save: paused it rests in
// the same wait, playing it draws frame after frame; the save is taken up
// between frames, the carried state replayed for the new scenes, and the
// frame drawn.
double saveToFrame(ShowFiles& show, LiveReload& reload, bool playing, bool inPlace, int save,
                   std::mt19937& random) {
    const int gapMs = std::uniform_int_distribution<int>(kLeastGapMs, kMostGapMs)(random);
    std::atomic<int64_t> savedAt{0};
    std::thread saver([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        const std::string text = show.scene + "# save " + std::to_string(save) + "\n";
        savedAt = saveScene(text, inPlace).time_since_epoch().count();
    });
    while (true) {
        if (!playing) waitForInput(kUntilWoken);
        InputEvent input;
        while (pollInput(input)) {
        }
        const ReloadOutcome outcome = pollLiveReload(reload, show.music, show.placements);
        const int32_t time = musicTime();
        if (outcome.scriptChanged)
            replayCarriedState(leadUpTimes(time, kReplayFps, LeadUp::Short), nullptr);
        if (playing) {
            drawFrame(time);
        } else if (outcome.scriptChanged) {
            drawStillFrame(time, frameSpectrum.data(), swapBuffers);
            glFinish();
        }
        if (outcome.scriptChanged) break;
    }
    const Clock::time_point drawnAt = Clock::now();
    saver.join();
    return std::chrono::duration<double, std::milli>(drawnAt.time_since_epoch() -
                                                     Clock::duration(savedAt.load()))
        .count();
}

void SaveToFrame(benchmark::State& state, ShowFiles& show, bool playing, bool inPlace) {
    LiveReload* reload = startLiveReload(fs::current_path().string(), "");
    seekMusic(kSeekTargets[2]);
    // The picture is on screen before the first save, as in the live mode.
    replayCarriedState(leadUpTimes(musicTime(), kReplayFps, LeadUp::Short), nullptr);
    drawFrame(musicTime());
    pauseMusic(!playing);
    std::mt19937 random(7);
    std::vector<double> latencies;
    for (auto _ : state) {
        const double ms =
            saveToFrame(show, *reload, playing, inPlace, int(latencies.size()), random);
        latencies.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    pauseMusic(true);
    stopLiveReload(reload);
    saveScene(show.scene, true);
    std::sort(latencies.begin(), latencies.end());
    state.counters["min_ms"] = latencies.front();
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
}

void registerSaves(ShowFiles& show) {
    for (const bool playing : {false, true}) {
        for (const bool inPlace : {false, true}) {
            const std::string name = std::string("SaveToFrame/") +
                                     (playing ? "playing" : "paused") +
                                     (inPlace ? "/in_place" : "/renamed");
            benchmark::RegisterBenchmark(name.c_str(),
                                         [&show, playing, inPlace](benchmark::State& state) {
                                             SaveToFrame(state, show, playing, inPlace);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(kSaves);
        }
    }
}

// A folder that stands for the show directory: its scenes/ copied, the rest
// linked. Empty on failure.
std::string showCopy(const std::string& dir) {
    std::string pattern = (fs::temp_directory_path() / "live_bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "";
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const fs::path to = fs::path(pattern) / entry.path().filename();
        if (entry.path().filename() == "scenes")
            fs::copy(entry.path(), to, fs::copy_options::recursive, error);
        else
            fs::create_symlink(fs::absolute(entry.path()), to, error);
        if (error) return "";
    }
    return pattern;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string dir = argc > 1 ? argv[1] : LIVE_BENCH_SHOW_DIR;
    const std::string copy = showCopy(dir);
    std::error_code error;
    std::filesystem::current_path(copy, error);
    if (copy.empty() || error || !fs::exists(kSavedScene)) {
        std::fprintf(stderr, "live_bench: %s: no show directory with %s (run makeshow first)\n",
                     dir.c_str(), kSavedScene);
        if (!copy.empty()) fs::remove_all(copy, error);
        return 1;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    settings = Settings{kWidth, kHeight, kColourDepth, false, false};
    createWindow("live_bench", kWidth, kHeight, kColourDepth, false);
    ShowFiles show;
    show.scene = readText(kSavedScene);
    if (ShowError failure = loadShow(show.music, MusicStart::Silent, &show.placements)) {
        std::fprintf(stderr, "live_bench: %s: %s\n", failure.module.c_str(),
                     failure.message.c_str());
        fs::remove_all(copy, error);
        return 1;
    }
    enableSpectrum();
    registerSaves(show);
    benchmark::RunSpecifiedBenchmarks();
    if (show.music.musicFile) stopMusic();
    releaseShow();
    closeWindow();
    fs::remove_all(copy, error);
    return 0;
}
