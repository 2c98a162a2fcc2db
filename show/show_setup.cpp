#include "show/show_setup.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/open_file.h"
#include "sequencing/music.h"
#include "sequencing/timeline.h"
#include "show/loading_screen.h"
#include "show/scene_folder.h"
#include "show/scene_interpreter.h"
#include "show/show_state.h"
#include "show/show_textures.h"

static_assert(kSpectrumSize == kMusicSpectrumSize, "the frame's spectrum copy is the music's");

namespace {

// Loading groups: the pictures up to `end` of the show's twenty, then the
// progress shown after them. A set of another size is loaded in the same
// five groups, their ends scaled to its count.
struct LoadingStep {
    size_t end;
    double progress;
};
constexpr LoadingStep kPictureSteps[] = {
    {3, 0.3}, {6, 0.4}, {10, 0.5}, {14, 0.6}, {20, 0.7},
};
constexpr size_t kStepPictures = 20;

// The end of a group for a set of `count` pictures, rounded half up.
size_t groupEnd(const LoadingStep& step, size_t count) {
    return (count * step.end * 2 + kStepPictures) / (kStepPictures * 2);
}

constexpr int32_t kParticleCount = 100;
constexpr double kProgressStarted = 0.1;
constexpr double kProgressParticles = 0.2;
constexpr double kProgressCamera = 0.9;
constexpr double kProgressDone = 1.0;

ShowError failure(std::string module, std::string message, std::string detail = "") {
    return ShowError{std::move(module), std::move(message), std::move(detail)};
}

constexpr const char* kSceneModule = "kglScenes";
constexpr const char* kSceneFolder = "scenes";

// The textures of a set's pictures, all loaded.
std::vector<const Texture*> pictureTextures(const scenes::SceneSet& set) {
    std::vector<const Texture*> pictures;
    for (const scenes::PictureEntry& picture : set.pictures)
        pictures.push_back(showPicture(picture));
    return pictures;
}

// The scene set the show folder has, or the built-in one, checked whole.
ShowError readShowScenes(scenes::SceneSet& set) {
    std::vector<scenes::SceneSource> files;
    bool own = false;
    if (const std::string problem = readSceneFolder(kSceneFolder, files, own); !problem.empty())
        return failure(kSceneModule, problem);
    const scenes::SceneSetError error = readSceneSet(files, set);
    if (error) return ShowError{kSceneModule, error.text(), "", error.line};
    return {};
}

// Whether `next` has the scenes of `now` in the same slots with the same
// parts: the timelines, which hold slots, then place it as the script would.
bool sameSlots(const scenes::SceneSet& now, const scenes::SceneSet& next) {
    const auto same = [](const scenes::SceneEntry& a, const scenes::SceneEntry& b) {
        return a.name == b.name && (a.start < 0) == (b.start < 0) && (a.draw < 0) == (b.draw < 0) &&
               (a.after < 0) == (b.after < 0);
    };
    return std::equal(now.scenes.begin(), now.scenes.end(), next.scenes.begin(), next.scenes.end(),
                      same);
}

} // namespace

ShowError startShowMusic(MusicSettings& music, MusicStart start) {
    if (!music.musicFile || start == MusicStart::None) return {};
    const MusicError error = startMusic(start == MusicStart::WithSound, music);
    if (error) return failure(error.module, error.message, error.detail);
    if (!error.detail.empty()) std::fprintf(stderr, "%s\n", error.detail.c_str());
    return {};
}

ShowError loadShow(MusicSettings& music, MusicStart start, ScenePlacements* placements,
                   ScriptWarnings* warnings) {
    TextureResult loading = initLoadingScreen(settings.screenWidth, settings.screenHeight);
    if (!loading.ok()) return failure(loading.module, loading.message);
    const Texture& picture = *loading.texture;
    drawLoadingProgress(picture, kProgressStarted);

    ParticleResult particles = createParticleSystem(kParticleCount);
    if (!particles.ok()) return failure(particles.module, particles.message);
    particleSystem = std::move(particles.system);
    drawLoadingProgress(picture, kProgressParticles);

    scenes::SceneSet set;
    if (ShowError error = readShowScenes(set)) return error;
    releaseShowPictures();
    size_t next = 0;
    for (const LoadingStep& step : kPictureSteps) {
        for (const size_t end = groupEnd(step, set.pictures.size()); next < end; ++next) {
            if (ShowError error = loadShowPicture(set.pictures[next])) return error;
        }
        drawLoadingProgress(picture, step.progress);
    }

    camera = createCamera(0, 0, 0, 0, 0, -1, 0, 1, 0);
    setActive(camera, true);
    drawLoadingProgress(picture, kProgressCamera);

    std::vector<const Texture*> pictures = pictureTextures(set);
    installSceneSet(std::move(set), std::move(pictures));
    TimelineError timelineError;
    timelineSlots[1] = createTimeline(kTimelineName, kTimelineLength, &timelineError);
    if (timelineError) return failure(timelineError.module, timelineError.message);
    ScriptWarnings found;
    ScenePlacements placed;
    if (TimelineError error = loadScript(kScriptFile, music, &placed, &found)) {
        return ShowError{error.module, error.message, error.detail, error.line};
    }
    setScenePlacements(placed);
    if (placements) *placements = std::move(placed);
    printScriptWarnings(kScriptFile, found);
    if (warnings) *warnings = found;
    if (ShowError error = startShowMusic(music, start)) return error;
    drawLoadingProgress(picture, kProgressDone);
    return {};
}

ShowError reloadScript(MusicSettings& music, ScenePlacements& placements,
                       ScriptWarnings* warnings) {
    Timeline* previous[kTimelineSlotCount + 1];
    std::copy(std::begin(timelineSlots), std::end(timelineSlots), previous);
    std::fill(std::begin(timelineSlots), std::end(timelineSlots), nullptr);
    auto keep = [&](bool keepPrevious) {
        Timeline** gone = keepPrevious ? timelineSlots : previous;
        for (int i = 0; i <= kTimelineSlotCount; ++i) destroyTimeline(gone[i]);
        if (keepPrevious) std::copy(std::begin(previous), std::end(previous), timelineSlots);
    };
    TimelineError error;
    timelineSlots[1] = createTimeline(kTimelineName, kTimelineLength, &error);
    MusicSettings newMusic;
    ScenePlacements newPlacements;
    ScriptWarnings found;
    if (!error) error = loadScript(kScriptFile, newMusic, &newPlacements, &found);
    printScriptWarnings(kScriptFile, found);
    if (warnings) *warnings = found;
    if (error) {
        keep(true);
        return ShowError{error.module, error.message, error.detail, error.line};
    }
    if (previous[1]) timelineSlots[1]->setupMarker = previous[1]->setupMarker;
    keep(false);
    music = std::move(newMusic);
    setScenePlacements(newPlacements);
    placements = std::move(newPlacements);
    return {};
}

ShowError reloadScenes(MusicSettings& music, ScenePlacements& placements,
                       ScriptWarnings* warnings) {
    scenes::SceneSet set;
    if (ShowError error = readShowScenes(set)) return error;
    // A picture the set names for the first time loads now; what is loaded
    // stays, so that the previous set can come back.
    for (const scenes::PictureEntry& picture : set.pictures) {
        if (ShowError error = loadShowPicture(picture))
            return ShowError{error.module,
                             scenes::SceneSetError{picture.listedIn, picture.line, picture.column,
                                                   pictureProblem(picture.file, error)}
                                 .text(),
                             error.detail};
    }
    const scenes::SceneSet* current = installedSceneSet();
    // An edit inside the scenes: the timelines stay (fresh ones cost more
    // than the rest of the reload), and the script is not read again.
    if (current && sameSlots(*current, set)) {
        std::vector<const Texture*> pictures = pictureTextures(set);
        installSceneSet(std::move(set), std::move(pictures));
        return {};
    }
    scenes::SceneSet previous = current ? *current : scenes::SceneSet{};
    std::vector<const Texture*> previousPictures = pictureTextures(previous);
    std::vector<const Texture*> pictures = pictureTextures(set);
    installSceneSet(std::move(set), std::move(pictures));
    // The timelines hold the scenes by their slots: placed again by name.
    if (ShowError error = reloadScript(music, placements, warnings)) {
        installSceneSet(std::move(previous), std::move(previousPictures));
        error.message = std::string(kScriptFile) +
                        (error.line > 0 ? ":" + std::to_string(error.line) : "") + ": " +
                        error.message;
        return error;
    }
    return {};
}

void releaseShow() {
    releaseSlots();
    releaseSceneSet();
    releaseShowPictures();
    particleSystem.reset();
}

int32_t showEndTime(const MusicSettings& music) {
    if (music.musicFile && music.musicEnd != 0) return music.musicEnd;
    return kTimelineLength;
}
