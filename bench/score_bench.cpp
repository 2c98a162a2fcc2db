// The show's score saved in the live mode: the music file made from nothing
// (an empty cache), and made again after a one-note edit in one section with
// the parts of the last render kept (the target: within 3 s on this machine,
// the other core busy). The tracks alone, without the Ogg Vorbis encoding,
// show where the rest of the time goes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "content/makeshow/makeshow_music.h"
#include "content/synth/part_cache.h"

namespace {

namespace fs = std::filesystem;

// One note of the breakdown's lead, played in no other section: D5 to E5.
constexpr const char* kPatternOfTheEdit = "pattern breaklead";
constexpr const char* kBeforeEdit = "C5 - - - D5";
constexpr const char* kAfterEdit = "C5 - - - E5";

struct Scores {
    fs::path folder, original, edited, scratch;
};

std::string readText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// The show's score and the same with one note changed, in a folder of their
// own with the show folder (where the cache goes) inside.
Scores makeScores() {
    Scores scores;
    scores.folder = fs::temp_directory_path() / ("score_bench_" + std::to_string(getpid()));
    fs::create_directories(scores.folder / "show");
    scores.original = scores.folder / "score.txt";
    scores.edited = scores.folder / "edited.txt";
    scores.scratch = scores.folder / "show" / "makeshow.music.part";
    std::string text = readText(SCORE_BENCH_FILE);
    writeText(scores.original, text);
    const size_t at = text.find(kBeforeEdit, text.find(kPatternOfTheEdit));
    if (text.find(kPatternOfTheEdit) == std::string::npos || at == std::string::npos) {
        std::fprintf(stderr, "score_bench: %s no longer holds \"%s\" in %s\n", SCORE_BENCH_FILE,
                     kBeforeEdit, kPatternOfTheEdit);
        std::abort();
    }
    text.replace(at, std::string(kBeforeEdit).size(), kAfterEdit);
    writeText(scores.edited, text);
    return scores;
}

fs::path cacheOf(const Scores& scores) {
    return scores.folder / "show" / kMusicCacheFolder;
}

void renderOrAbort(const fs::path& score, const Scores& scores, MusicSummary& summary) {
    std::vector<uint8_t> ogg;
    const std::string error =
        renderMusicFile(score.string(), scores.scratch.string(), ogg, summary);
    if (!error.empty()) {
        std::fprintf(stderr, "score_bench: %s\n", error.c_str());
        std::abort();
    }
    benchmark::DoNotOptimize(ogg.data());
}

void musicFileFromNothing(benchmark::State& state) {
    const Scores scores = makeScores();
    MusicSummary summary;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(cacheOf(scores));
        state.ResumeTiming();
        renderOrAbort(scores.original, scores, summary);
    }
    state.counters["parts made"] = summary.partsMade;
    fs::remove_all(scores.folder);
}
// The encoder runs on a thread of its own: wall time is what the ear waits
// for, the CPU time that of the whole process.
BENCHMARK(musicFileFromNothing)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Each round saves the other version of the score: one note changed. With
// an argument of 1, another thread keeps a core busy meanwhile, as a
// picture being rebuilt would.
void musicFileAfterOneNoteEdit(benchmark::State& state) {
    std::atomic<bool> stop = false;
    std::thread busy;
    if (state.range(0) == 1)
        busy = std::thread([&] {
            for (volatile uint64_t spin = 0; !stop.load(std::memory_order_relaxed);)
                spin = spin + 1;
        });
    const Scores scores = makeScores();
    MusicSummary summary;
    renderOrAbort(scores.original, scores, summary);
    bool edited = false;
    for (auto _ : state) {
        edited = !edited;
        renderOrAbort(edited ? scores.edited : scores.original, scores, summary);
    }
    state.counters["parts made"] = summary.partsMade;
    state.counters["parts reused"] = summary.partsReused;
    fs::remove_all(scores.folder);
    stop = true;
    if (busy.joinable()) busy.join();
}
BENCHMARK(musicFileAfterOneNoteEdit)
    ->ArgName("busy core")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

synth::Score parsed(const fs::path& path) {
    synth::Score score;
    if (synth::parseScore(readText(path), score)) std::abort();
    return score;
}

// The same edit, the track only: what is left is the encoding.
void trackAfterOneNoteEdit(benchmark::State& state) {
    const Scores scores = makeScores();
    const synth::Score versions[] = {parsed(scores.original), parsed(scores.edited)};
    const std::string cache = cacheOf(scores).string();
    synth::PartCacheReport report;
    benchmark::DoNotOptimize(synth::renderWithPartCache(versions[0], cache, report).samples.data());
    size_t round = 0;
    for (auto _ : state) {
        const synth::Score& score = versions[++round % 2];
        benchmark::DoNotOptimize(synth::renderWithPartCache(score, cache, report).samples.data());
    }
    state.counters["parts made"] = report.made;
    fs::remove_all(scores.folder);
}
BENCHMARK(trackAfterOneNoteEdit)->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

BENCHMARK_MAIN();
