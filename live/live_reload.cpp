#include "live/live_reload.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "live/events.h"
#include "live/file_watch.h"
#include "live/rebuild.h"
#include "live/worker.h"
#include "platform/window.h"
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
    // A rebuild for each saved source, all running at once; those stopped by
    // a newer save of their source wait here for their threads to end.
    std::map<std::string, std::unique_ptr<SourceRebuild>> rebuilds;
    std::vector<std::unique_ptr<SourceRebuild>> stoppedRebuilds;
    // The file a source's failed rebuild put its error under (the source, a
    // source it reads, or an output of the show folder), mended once it builds.
    std::map<std::string, std::string> rebuildErrors;
    std::set<std::string> sourcesChanged; // waiting for their rebuild to start
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
    ScriptWarnings warnings;    // the script's, as last read
    std::string scriptWarnings; // "script.sqx:LINE: warning: ..." lines
    // The scene file whose reload failed on a picture not there yet.
    std::string scenesAwaitingPicture;
};

namespace {

// From the background: a paused loop waiting for input is woken to install it.
void finish(LiveReload& reload, std::function<void(LiveReload&, Target&)> step) {
    {
        const std::lock_guard<std::mutex> guard(reload.doneLock);
        reload.done.push_back(std::move(step));
    }
    wakeInputWait();
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

// New timelines are in place: the show takes what the script says now.
void takeScript(LiveReload& reload, Target& target, MusicSettings music, ScenePlacements placements,
                const ScriptWarnings& warnings, const std::string& file) {
    const bool newMusic =
        music.musicFile != target.music.musicFile || music.musicStart != target.music.musicStart;
    if (!newMusic && music.musicEnd == 0) music.musicEnd = musicLength();
    target.music = music;
    target.placements = std::move(placements);
    target.outcome.scriptChanged = true;
    setScriptWarnings(reload, warnings);
    reloaded(reload, file);
    if (newMusic && target.music.musicFile) reopenTheMusic(reload, target);
}

void reloadTheScript(LiveReload& reload, Target& target) {
    MusicSettings music;
    ScenePlacements placements;
    ScriptWarnings warnings;
    const ShowError error = reloadScript(music, placements, &warnings);
    if (error) {
        const std::string where = error.line > 0
                                      ? std::string(kScriptFile) + ":" + std::to_string(error.line)
                                      : kScriptFile;
        return reportError(reload, kScriptFile, where + ": " + error.message);
    }
    takeScript(reload, target, std::move(music), std::move(placements), warnings, kScriptFile);
}

// A saved scene or track file: the whole set is read again, and the script
// placed on it. A picture the new set names that does not load yet (makeshow
// may copy the scene file before it has built the picture) makes it wait:
// the set is read again when a picture file comes. (`file` by value: it may
// be the name waiting, which this clears.)
void reloadTheScenes(LiveReload& reload, Target& target, const std::string file) {
    // What the script says now: a set whose scenes keep their slots leaves it so.
    MusicSettings music = target.music;
    ScenePlacements placements = target.placements;
    ScriptWarnings warnings = reload.warnings;
    const ShowError error = reloadScenes(music, placements, &warnings);
    reload.scenesAwaitingPicture.clear();
    if (error && error.module == kTextureModule) {
        reload.scenesAwaitingPicture = file;
        return reportError(reload, file, error.message);
    }
    if (error) return reportError(reload, file, error.message);
    takeScript(reload, target, std::move(music), std::move(placements), warnings, file);
}

// A saved picture: every loaded picture it is part of (the file itself or
// its alpha companion) is decoded again off the render thread, then put
// into its texture between frames; one that does not read changes none.
void decodePictures(LiveReload& reload, const std::string& file,
                    std::vector<scenes::PictureEntry> pictures) {
    postJob(reload.decoder, [&reload, file, pictures = std::move(pictures)] {
        auto decoded = std::make_shared<std::vector<std::unique_ptr<Texture>>>(pictures.size());
        ShowError error;
        for (size_t i = 0; i < pictures.size() && !error; ++i)
            error = decodeShowPicture(pictures[i], (*decoded)[i]);
        finish(reload, [file, pictures, decoded, error](LiveReload& reload, Target& target) {
            if (error) return reportError(reload, file, pictureProblem(file, error));
            for (size_t i = 0; i < pictures.size(); ++i)
                replacePixels(*showPicture(pictures[i]), std::move(*(*decoded)[i]));
            target.outcome.pictureChanged = true;
            reloaded(reload, file);
        });
    });
}

void rebuilt(LiveReload& reload, const std::string& source, const RebuildResult& result) {
    if (!result.ok) {
        std::string file = source;
        const std::string text =
            sourceError(result.message, reload.assetsDir, reload.showDir, file);
        reload.rebuildErrors[source] = file;
        return reportError(reload, file, text, true);
    }
    std::set<std::string> files = {source};
    if (const auto failed = reload.rebuildErrors.find(source);
        failed != reload.rebuildErrors.end()) {
        files.insert(failed->second);
        reload.rebuildErrors.erase(failed);
    }
    for (const std::string& file : files) {
        if (std::any_of(reload.errors.begin(), reload.errors.end(),
                        [&](const auto& error) { return error.source && error.file == file; }))
            mend(reload, file);
    }
}

// Each changed source rebuilds on its own, beside the others; a source saved
// again while its rebuild runs starts over, since that rebuild is stale.
void startRebuild(LiveReload& reload) {
    std::erase_if(reload.stoppedRebuilds, [](const auto& rebuild) {
        if (!rebuild->finished) return false;
        joinSourceRebuild(*rebuild);
        return true;
    });
    std::erase_if(reload.rebuilds, [](const auto& entry) {
        if (!entry.second->finished) return false;
        joinSourceRebuild(*entry.second);
        return true;
    });
    for (const std::string& source : reload.sourcesChanged) {
        printEvent("rebuild %s", source.c_str());
        if (const auto running = reload.rebuilds.find(source); running != reload.rebuilds.end()) {
            stopSourceRebuild(*running->second);
            reload.stoppedRebuilds.push_back(std::move(running->second));
            reload.rebuilds.erase(running);
        }
        const RebuildRequest request{reload.makeshow, reload.showDir, reload.assetsDir, source};
        reload.rebuilds[source] =
            startSourceRebuild(request, [&reload, source](const RebuildResult& result) {
                finish(reload, [source, result](LiveReload& reload, Target&) {
                    rebuilt(reload, source, result);
                });
            });
    }
    reload.sourcesChanged.clear();
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
    if (file.starts_with("scenes/") && (file.ends_with(".scene") || file.ends_with(".tracks")))
        return reloadTheScenes(reload, target, file);
    if (target.music.musicFile && file == *target.music.musicFile)
        return reopenTheMusic(reload, target);
    if (std::vector<scenes::PictureEntry> pictures = showPicturesFor(file); !pictures.empty())
        return decodePictures(reload, file, std::move(pictures));
    if (!reload.scenesAwaitingPicture.empty() && file.starts_with("data/") &&
        file.ends_with(".hwl"))
        reloadTheScenes(reload, target, reload.scenesAwaitingPicture);
}

} // namespace

LiveReload* startLiveReload(const std::string& showDir, const std::string& assetsDir) {
    auto* reload = new LiveReload;
    reload->showDir = showDir;
    reload->assetsDir = assetsDir;
    reload->makeshow = makeshowExecutable();
    watchFolder(reload->watch, showDir, true);
    if (const char* why = sourceRebuildsUnavailable(); why && !assetsDir.empty()) {
        std::fprintf(stderr, "indahouse: %s\n", why);
        reload->assetsDir.clear();
    } else if (!assetsDir.empty()) {
        watchFolder(reload->watch, assetsDir, true);
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(assetsDir, error)) {
            if (entry.is_regular_file(error))
                reload->sourcesKnown.insert(inside(entry.path().string(), assetsDir));
        }
    }
    // A saved file wakes a paused loop at once, instead of at its next look.
    startFileWatch(reload->watch, wakeInputWait);
    startWorker(reload->decoder);
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

void setScriptWarnings(LiveReload& reload, const ScriptWarnings& warnings) {
    reload.warnings = warnings;
    reload.scriptWarnings.clear();
    for (const ScriptWarning& warning : warnings) {
        const std::string where =
            warning.line > 0 ? std::string(kScriptFile) + ":" + std::to_string(warning.line)
                             : kScriptFile;
        if (!reload.scriptWarnings.empty()) reload.scriptWarnings += '\n';
        reload.scriptWarnings += where + ": warning: " + warning.message;
    }
}

std::string reloadMessage(const LiveReload& reload) {
    const std::string error = reload.errors.empty() ? "" : reload.errors.back().text;
    if (error.empty() || reload.scriptWarnings.empty()) return error + reload.scriptWarnings;
    return error + '\n' + reload.scriptWarnings;
}

void stopLiveReload(LiveReload* reload) {
    if (!reload) return;
    for (const auto& [source, rebuild] : reload->rebuilds) stopSourceRebuild(*rebuild);
    for (const auto& [source, rebuild] : reload->rebuilds) joinSourceRebuild(*rebuild);
    for (const auto& rebuild : reload->stoppedRebuilds) joinSourceRebuild(*rebuild);
    stopWorker(reload->decoder);
    closeFileWatch(reload->watch);
    delete reload;
}
