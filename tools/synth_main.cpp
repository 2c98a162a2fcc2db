// scoreplay: renders a score with our synthesizer to a sound file.
//
//   scoreplay SCORE OUT.ogg [--quality Q] [--rate R] [--cache FOLDER]
//   scoreplay SCORE OUT.wav|OUT.flac
//   scoreplay SCORE --sections
//
// With --cache, the parts of the track are kept in FOLDER, and a render
// after an edit makes again only the parts the edit reached (the same
// samples as without).
//
// The name's extension picks the format: Ogg Vorbis, 32-bit float WAV or
// 24-bit FLAC; any other name is refused before the score is rendered.
// Every failure ends with one line on stderr and a non-zero exit code.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "content/synth/part_cache.h"
#include "content/synth/synth.h"

namespace {

constexpr int kExitFailure = 1;
constexpr double kMsPerSecond = 1000;

int fail(const std::string& message) {
    std::fprintf(stderr, "scoreplay: %s\n", message.c_str());
    return kExitFailure;
}

bool readText(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return !file.bad();
}

double decibels(double value) {
    return value > 0 ? 20 * std::log10(value) : -INFINITY;
}

void printSections(const synth::Score& score) {
    std::printf("tempo %g, a bar is %.3f ms\n", score.tempo, synth::barMs(score));
    std::printf("%-16s %6s %6s %10s %10s\n", "section", "bar", "bars", "start ms", "end ms");
    for (const synth::Section& section : score.sections)
        std::printf("%-16s %6d %6d %10.3f %10.3f\n", section.name.c_str(), section.startBar,
                    section.bars, synth::barStartMs(score, section.startBar),
                    synth::barStartMs(score, section.startBar + section.bars));
    std::printf("length %.3f ms\n", synth::scoreLengthMs(score));
}

void printLevels(const synth::Track& track) {
    double peak = 0, power = 0;
    for (const float sample : track.samples) {
        peak = std::max(peak, double(std::fabs(sample)));
        power += double(sample) * sample;
    }
    const double rms = track.samples.empty() ? 0 : std::sqrt(power / double(track.samples.size()));
    std::printf("%lld frames (%.3f s), peak %.2f dBFS, RMS %.2f dBFS\n",
                static_cast<long long>(track.frames()), double(track.frames()) / track.rate,
                decibels(peak), decibels(rms));
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"scoreplay: renders a score with our synthesizer to Ogg Vorbis, WAV or FLAC"};
    std::string scorePath, outPath;
    double quality = 0.6;
    int32_t rate = synth::kDefaultRate;
    bool sections = false;
    std::string cache;
    app.add_option("score", scorePath, "the score, a text file")->required();
    app.add_option("out", outPath, "the sound file to write: .ogg, .wav (float) or .flac");
    app.add_option("--quality", quality, "Ogg Vorbis quality, 0 to 1")->check(CLI::Range(0.0, 1.0));
    app.add_option("--rate", rate, "frames a second")->check(CLI::Range(8000, 48000));
    app.add_flag("--sections", sections, "print the sections' bars and times and stop");
    app.add_option("--cache", cache, "a folder to keep the parts of the track in between renders");
    CLI11_PARSE(app, argc, argv);

    std::string text;
    if (!readText(scorePath, text)) return fail(scorePath + ": cannot read the score");
    synth::Score score;
    if (auto error = synth::parseScore(text, score))
        return fail(scorePath + ": " + synth::formatScoreError(*error));
    if (sections) {
        printSections(score);
        return 0;
    }
    if (outPath.empty()) return fail("name a file to write, or ask for --sections");
    if (std::string trouble = synth::checkTrackFileName(outPath); !trouble.empty())
        return fail(trouble);

    const auto began = std::chrono::steady_clock::now();
    synth::PartCacheReport parts;
    const synth::Track track = cache.empty()
                                   ? synth::renderParsedScore(score, rate)
                                   : synth::renderWithPartCache(score, cache, parts, rate);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (!parts.trouble.empty()) std::fprintf(stderr, "scoreplay: %s\n", parts.trouble.c_str());
    const std::string trouble = synth::writeTrackFile(outPath, track.samples, track.rate, quality);
    if (!trouble.empty()) return fail(trouble);
    std::printf("%s: rendered in %.0f ms, ", outPath.c_str(), seconds * kMsPerSecond);
    if (!cache.empty()) std::printf("%d of %d parts made, ", parts.made, parts.made + parts.reused);
    printLevels(track);
    return 0;
}
