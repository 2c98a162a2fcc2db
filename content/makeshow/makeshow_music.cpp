#include "content/makeshow/makeshow_music.h"

#include <cstdio>
#include <filesystem>

#include "content/makeshow/makeshow_files.h"
#include "content/synth/part_cache.h"
#include "content/synth/synth.h"

namespace {

constexpr double kBytesPerKiB = 1024.0;

std::string readScore(const std::string& scorePath, synth::Score& score) {
    std::vector<uint8_t> bytes;
    if (std::string error = readFileBytes(scorePath, bytes); !error.empty()) return error;
    const std::string text(bytes.begin(), bytes.end());
    if (const auto error = synth::parseScore(text, score))
        return scorePath + ": " + synth::formatScoreError(*error);
    return "";
}

} // namespace

std::string renderMusicFile(const std::string& scorePath, const std::string& scratchFile,
                            std::vector<uint8_t>& ogg, MusicSummary& summary) {
    synth::Score score;
    if (std::string error = readScore(scorePath, score); !error.empty()) return error;
    const std::filesystem::path beside = std::filesystem::path(scratchFile).parent_path();
    synth::PartCacheReport parts;
    synth::Track track;
    std::string error = synth::writeOggWithPartCache(score, (beside / kMusicCacheFolder).string(),
                                                     scratchFile, parts, track);
    if (error.empty()) error = readFileBytes(scratchFile, ogg);
    std::remove(scratchFile.c_str());
    if (!error.empty()) return error;
    summary.seconds = double(track.frames()) / track.rate;
    summary.rate = track.rate;
    summary.barMs = synth::barMs(score);
    summary.partsMade = parts.made;
    summary.partsReused = parts.reused;
    summary.cacheTrouble = parts.trouble;
    return "";
}

std::string readBarLength(const std::string& scorePath, double& barMs) {
    synth::Score score;
    if (std::string error = readScore(scorePath, score); !error.empty()) return error;
    barMs = synth::barMs(score);
    return "";
}

std::string describeMusic(const std::string& path, size_t bytes, const MusicSummary& summary) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "%-24s %.2f s, %d Hz stereo, %.1f KiB, bar %g ms, %d of %d parts rendered",
                  path.c_str(), summary.seconds, summary.rate, double(bytes) / kBytesPerKiB,
                  summary.barMs, summary.partsMade, summary.partsMade + summary.partsReused);
    std::string text = line;
    if (!summary.cacheTrouble.empty()) text += " (not cached: " + summary.cacheTrouble + ")";
    return text;
}
