// The synthesizer on the show's score: reading it, rendering its 137 s (the
// target is a few seconds on one core) and encoding the result.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "content/synth/synth.h"

namespace {

std::string showScore() {
    std::ifstream file(SYNTH_SCORE_FILE);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

synth::Score parsedShowScore() {
    synth::Score score;
    if (synth::parseScore(showScore(), score)) std::abort();
    return score;
}

void parseShowScore(benchmark::State& state) {
    const std::string text = showScore();
    for (auto _ : state) {
        synth::Score score;
        benchmark::DoNotOptimize(synth::parseScore(text, score));
    }
}
BENCHMARK(parseShowScore)->Unit(benchmark::kMicrosecond);

void renderShowScore(benchmark::State& state) {
    const synth::Score score = parsedShowScore();
    for (auto _ : state) benchmark::DoNotOptimize(synth::renderParsedScore(score).samples.data());
}
BENCHMARK(renderShowScore)->Unit(benchmark::kMillisecond)->Iterations(3);

void encodeShowTrack(benchmark::State& state) {
    const synth::Track track = synth::renderParsedScore(parsedShowScore());
    const std::string path = "synth_bench_track.ogg";
    for (auto _ : state) {
        if (!synth::writeOggVorbis(path, track.samples, track.rate).empty()) std::abort();
    }
    std::remove(path.c_str());
}
BENCHMARK(encodeShowTrack)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
