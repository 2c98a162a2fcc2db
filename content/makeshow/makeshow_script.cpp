#include "content/makeshow/makeshow_script.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "sequencing/scene.h"
#include "sequencing/script.h"
#include "sequencing/timeline.h"
#include "show/show_setup.h"

namespace {

constexpr int kShowTimeline = 1;
// Script times are whole milliseconds; a bar line may fall between two.
constexpr double kBarLineToleranceMs = 0.5;

// Registers stand-ins for the show's scenes and timeline for as long as it
// lives, so the show's own reader can place them.
struct ShowRegistry {
    explicit ShowRegistry(const std::vector<std::string>& names) {
        for (size_t k = 0; k < names.size() && k < size_t(kSceneSlotCount); ++k)
            sceneSlots[k + 1] = createScene(names[k], noOp, noOp, noOp);
        timelineSlots[kShowTimeline] = createTimeline(kTimelineName, kTimelineLength);
    }
    ~ShowRegistry() { releaseSlots(); }
    ShowRegistry(const ShowRegistry&) = delete;
    ShowRegistry& operator=(const ShowRegistry&) = delete;
};

// A music file the show finds in its own folder: a plain relative name
// that stays inside it.
bool staysInFolder(const std::string& file) {
    if (file.empty() || file[0] == '/') return false;
    size_t start = 0;
    while (start <= file.size()) {
        const size_t slash = std::min(file.find('/', start), file.size());
        const std::string_view part = std::string_view(file).substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

} // namespace

std::string checkShowScript(std::string_view text, const std::string& name,
                            const std::vector<std::string>& sceneNames, ScriptSummary& summary) {
    summary = {};
    MusicSettings music;
    // Printed once the script is accepted: a refused one gets its one line.
    ScriptWarnings warnings;
    ScenePlacements placements;
    {
        const ShowRegistry registry(sceneNames);
        if (const TimelineError error = loadScriptText(text, music, name, &placements, &warnings))
            return error.detail.empty() ? name + ": " + error.message
                                        : error.detail + ": " + error.message;
    }
    if (!music.musicFile) return name + ": no \"@music\" line names the music file";
    if (!staysInFolder(*music.musicFile))
        return name + ": the music file \"" + *music.musicFile +
               "\" must be a relative name inside the show folder";
    summary.musicFile = *music.musicFile;
    summary.musicEnd = music.musicEnd;

    std::set<std::string> scenes;
    for (const ScenePlacement& placement : placements) {
        const bool first = summary.placements.empty();
        summary.firstStart =
            first ? placement.start : std::min(summary.firstStart, placement.start);
        summary.lastEnd = first ? placement.end : std::max(summary.lastEnd, placement.end);
        summary.placements.push_back({placement.scene, placement.start, placement.end});
        scenes.insert(placement.scene);
    }
    summary.scenes = int(scenes.size());
    printScriptWarnings(name, warnings);
    return "";
}

std::string describeScript(const std::string& path, const ScriptSummary& summary) {
    return path + "  " + std::to_string(summary.placements.size()) + " placements of " +
           std::to_string(summary.scenes) + " scenes, " + std::to_string(summary.firstStart) +
           " to " + std::to_string(summary.lastEnd) + " ms, music " + summary.musicFile;
}

std::vector<std::string> offBarLines(const ScriptSummary& summary, double barMs) {
    std::vector<std::string> lines;
    if (!(barMs > 0)) return lines;
    auto offGrid = [&](int32_t t) {
        const double bars = t / barMs;
        return std::abs(bars - std::round(bars)) * barMs > kBarLineToleranceMs;
    };
    for (const ScriptPlacement& p : summary.placements) {
        if (p.start != summary.firstStart && offGrid(p.start))
            lines.push_back(p.scene + " starts at " + std::to_string(p.start) + " ms");
        if (p.end != summary.lastEnd && offGrid(p.end + 1))
            lines.push_back(p.scene + " ends at " + std::to_string(p.end) + " ms");
    }
    return lines;
}
