#include "live/live_reload.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "live/events.h"
#include "live/file_watch.h"
#include "live/rebuild.h"
#include "live/worker.h"
#include "sequencing/music.h"
#include "show/show_setup.h"
#include "show/show_state.h"
#include "show/show_textures.h"

namespace {

struct Target {
    MusicSettings& music;
    ScenePlacements& placements;
    ReloadOutcome outcome;
};

} // namespace

struct LiveReload {
    std::string showDir;
    std::string assetsDir;
    std::string makeshow;
    FileWatch watch;
    Worker decoder; // pictures, one after another, in the order they changed
    Worker builder; // makeshow runs
    std::atomic<pid_t> child{0};
    bool rebuilding = false;
    std::set<std::string> sourcesChanged; // waiting for the next rebuild
    std::set<std::string> sourcesKnown;   // files under the assets folder, ever seen

    // Finished work, for the render thread.
    std::mutex doneLock;
    std::vector<std::function<void(LiveReload&, Target&)>> done;

    // Files in error, oldest first, with their line.
    struct FileError {
        std::string file; // in the show directory, or a source
        std::string text;
        bool source = false;
    };
    std::vector<FileError> errors;
};

namespace {

void finish(LiveReload& reload, std::function<void(LiveReload&, Target&)> step) {
    const std::lock_guard<std::mutex> guard(reload.doneLock);
    reload.done.push_back(std::move(step));
}

void reportError(LiveReload& reload, const std::string& file, const std::string& text,
                 bool source = false) {
    printEvent("error %s", text.c_str());
    std::erase_if(reload.errors, [&](const auto& error) { return error.file == file; });
    reload.errors.push_back({file, text, source});
}

void mend(LiveReload& reload, const std::string& file) {
    if (std::erase_if(reload.errors, [&](const auto& error) { return error.file == file; }) > 0)
        printEvent("mended %s", file.c_str());
}

void reloaded(LiveReload& reload, const std::string& file) {
    printEvent("reload %s", file.c_str());
    mend(reload, file);
}

// A name relative to `folder`, or empty when the path is not inside it.
std::string inside(const std::string& path, const std::string& folder) {
    const std::string prefix = folder + "/";
    return !folder.empty() && path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : "";
}

// Editors' scratch files and backups, never sources.
bool isScratch(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const auto endsWith = [&](const char* end) {
        const std::string tail = end;
        return base.size() >= tail.size() &&
               base.compare(base.size() - tail.size(), tail.size(), tail) == 0;
    };
    return base.empty() || base[0] == '.' || base[0] == '#' || endsWith("~") || endsWith(".swp") ||
           endsWith(".tmp") || endsWith(".part");
}

void reopenTheMusic(LiveReload& reload, Target& target) {
    const std::string file = target.music.musicFile.value_or("");
    const MusicError error = reopenMusic(target.music);
    if (error)
        return reportError(reload, file, file + ": " + error.message + " (" + error.detail + ")");
    target.outcome.musicChanged = true;
    reloaded(reload, file);
}

void reloadTheScript(LiveReload& reload, Target& target) {
    MusicSettings music;
    ScenePlacements placements;
    const ShowError error = reloadScript(music, placements);
    if (error) {
        const std::string where = error.line > 0
                                      ? std::string(kScriptFile) + ":" + std::to_string(error.line)
                                      : kScriptFile;
        return reportError(reload, kScriptFile, where + ": " + error.message);
    }
    const bool newMusic =
        music.musicFile != target.music.musicFile || music.musicStart != target.music.musicStart;
    if (!newMusic && music.musicEnd == 0) music.musicEnd = musicLength();
    target.music = music;
    target.placements = std::move(placements);
    target.outcome.scriptChanged = true;
    reloaded(reload, kScriptFile);
    if (newMusic && target.music.musicFile) reopenTheMusic(reload, target);
}

void decodeTexture(LiveReload& reload, const std::string& file, int index) {
    postJob(reload.decoder, [&reload, file, index] {
        auto decoded = std::make_shared<std::unique_ptr<Texture>>();
        const ShowError error = decodeShowTexture(index, *decoded);
        finish(reload, [file, index, decoded, error](LiveReload& reload, Target&) {
            if (error) return reportError(reload, file, file + ": " + error.message);
            replacePixels(*textures[index], std::move(**decoded));
            reloaded(reload, file);
        });
    });
}

void startRebuild(LiveReload& reload) {
    if (reload.rebuilding || reload.sourcesChanged.empty()) return;
    for (const std::string& source : reload.sourcesChanged)
        printEvent("rebuild %s", source.c_str());
    const std::string first = *reload.sourcesChanged.begin();
    reload.sourcesChanged.clear();
    reload.rebuilding = true;
    postJob(reload.builder, [&reload, first] {
        const RebuildResult result =
            runMakeshow(reload.makeshow, reload.showDir, reload.assetsDir, &reload.child);
        finish(reload, [first, result](LiveReload& reload, Target&) {
            reload.rebuilding = false;
            if (!result.ok) {
                std::string source = first;
                const std::string text =
                    sourceError(result.message, reload.assetsDir, reload.showDir, source);
                return reportError(reload, source, text, true);
            }
            // Built: every source in error reads again.
            std::vector<std::string> sources;
            for (const auto& error : reload.errors) {
                if (error.source) sources.push_back(error.file);
            }
            for (const std::string& source : sources) mend(reload, source);
        });
    });
}

void takeChange(LiveReload& reload, Target& target, const std::string& path) {
    if (const std::string source = inside(path, reload.assetsDir); !source.empty()) {
        // A file that came and went (a tool's temporary file) is no source;
        // one that was there and went is, and its rebuild says what is missing.
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) reload.sourcesKnown.insert(source);
        if (!isScratch(source) && reload.sourcesKnown.count(source))
            reload.sourcesChanged.insert(source);
        return;
    }
    const std::string file = inside(path, reload.showDir);
    if (file.empty()) return;
    if (file == kScriptFile) return reloadTheScript(reload, target);
    if (target.music.musicFile && file == *target.music.musicFile)
        return reopenTheMusic(reload, target);
    if (const int index = showTextureFor(file); index >= 0) decodeTexture(reload, file, index);
}

} // namespace

LiveReload* startLiveReload(const std::string& showDir, const std::string& assetsDir) {
    auto* reload = new LiveReload;
    reload->showDir = showDir;
    reload->assetsDir = assetsDir;
    reload->makeshow = makeshowExecutable();
    watchFolder(reload->watch, showDir, true);
    if (!assetsDir.empty()) {
        watchFolder(reload->watch, assetsDir, true);
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(assetsDir, error)) {
            if (entry.is_regular_file(error))
                reload->sourcesKnown.insert(inside(entry.path().string(), assetsDir));
        }
    }
    startWorker(reload->decoder);
    startWorker(reload->builder);
    return reload;
}

ReloadOutcome pollLiveReload(LiveReload& reload, MusicSettings& music,
                             ScenePlacements& placements) {
    Target target{music, placements, {}};
    for (const std::string& path : settledChanges(reload.watch)) takeChange(reload, target, path);
    std::vector<std::function<void(LiveReload&, Target&)>> steps;
    {
        const std::lock_guard<std::mutex> guard(reload.doneLock);
        steps.swap(reload.done);
    }
    for (auto& step : steps) step(reload, target);
    startRebuild(reload);
    return target.outcome;
}

std::string reloadMessage(const LiveReload& reload) {
    return reload.errors.empty() ? "" : reload.errors.back().text;
}

void stopLiveReload(LiveReload* reload) {
    if (!reload) return;
    if (const pid_t child = reload->child.load(); child > 0) kill(child, SIGTERM);
    stopWorker(reload->builder);
    stopWorker(reload->decoder);
    closeFileWatch(reload->watch);
    delete reload;
}
