#include "show/show_setup.h"

#include <cstdio>

#include "sequencing/music.h"
#include "sequencing/timeline.h"
#include "show/loading_screen.h"
#include "show/scenes.h"
#include "show/show_state.h"

static_assert(kSpectrumSize == kMusicSpectrumSize, "the frame's spectrum copy is the music's");

namespace {

enum class AlphaSource {
    None,      // plain: the picture as it is
    Companion, // alpha from the "_alpha" file's blue channel
    OwnBlue,   // alpha from the picture's own blue channel
};

struct TextureEntry {
    const char* file;
    AlphaSource alpha;
    int32_t components;
    bool mipmapped;
};

// In loading order; the index is TextureIndex.
constexpr TextureEntry kTextureTable[kTextureCount] = {
    {"data/quopple1.hwl", AlphaSource::Companion, 4, false},
    {"data/vesk1.hwl", AlphaSource::Companion, 4, false},
    {"data/ombrit1.hwl", AlphaSource::Companion, 4, false},
    {"data/quopple2.hwl", AlphaSource::Companion, 4, false},
    {"data/ombrit2.hwl", AlphaSource::Companion, 4, false},
    {"data/vesk2.hwl", AlphaSource::Companion, 4, false},
    {"data/ppl1.hwl", AlphaSource::Companion, 4, false},
    {"data/ppl2.hwl", AlphaSource::Companion, 4, false},
    {"data/ppl3.hwl", AlphaSource::Companion, 4, false},
    {"data/grass.hwl", AlphaSource::Companion, 4, false},
    {"data/bplogo.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/standup.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/sucks.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/whoops.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/move.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/love.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/seeyou.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/speakers.hwl", AlphaSource::Companion, 4, false},
    {"data/floor.hwl", AlphaSource::None, 3, true},
    {"data/background.hwl", AlphaSource::None, 3, false},
};

// Loading groups: textures [first, end) then the progress shown after them.
struct LoadingStep {
    int first, end;
    double progress;
};
constexpr LoadingStep kTextureSteps[] = {
    {0, 3, 0.3}, {3, 6, 0.4}, {6, 10, 0.5}, {10, 14, 0.6}, {14, 20, 0.7},
};

constexpr int32_t kParticleCount = 100;
constexpr double kProgressStarted = 0.1;
constexpr double kProgressParticles = 0.2;
constexpr double kProgressCamera = 0.9;
constexpr double kProgressDone = 1.0;

ShowError failure(std::string module, std::string message, std::string detail = "") {
    return ShowError{std::move(module), std::move(message), std::move(detail)};
}

ShowError loadTexture(int index) {
    const TextureEntry& entry = kTextureTable[index];
    TextureResult colour = createTexture(entry.file, entry.components, entry.mipmapped);
    if (!colour.ok()) return failure(colour.module, colour.message);
    Texture& texture = *colour.texture;
    if (entry.alpha == AlphaSource::Companion) {
        TextureResult mask = createTexture(hwl::alphaCompanionName(entry.file), 4, false);
        if (!mask.ok()) return failure(mask.module, mask.message);
        setAlpha(texture.image, 255);
        if (!copyAlpha(texture.image, mask.texture->image)) {
            return failure(kTextureModule, kTextureLoadFailed,
                           std::string(entry.file) + ": the alpha companion differs in size");
        }
        texture.upload();
    } else if (entry.alpha == AlphaSource::OwnBlue) {
        setAlpha(texture.image, 255);
        copyAlpha(texture.image, texture.image);
        texture.upload();
    }
    textures[index] = std::move(colour.texture);
    return {};
}

} // namespace

ShowError loadShow(MusicSettings& music, MusicStart start, ScenePlacements* placements) {
    TextureResult loading = initLoadingScreen(settings.screenWidth, settings.screenHeight);
    if (!loading.ok()) return failure(loading.module, loading.message);
    const Texture& picture = *loading.texture;
    drawLoadingProgress(picture, kProgressStarted);

    ParticleResult particles = createParticleSystem(kParticleCount);
    if (!particles.ok()) return failure(particles.module, particles.message);
    particleSystem = std::move(particles.system);
    drawLoadingProgress(picture, kProgressParticles);

    for (const LoadingStep& step : kTextureSteps) {
        for (int i = step.first; i < step.end; ++i) {
            if (ShowError error = loadTexture(i)) return error;
        }
        drawLoadingProgress(picture, step.progress);
    }

    camera = createCamera(0, 0, 0, 0, 0, -1, 0, 1, 0);
    setActive(camera, true);
    drawLoadingProgress(picture, kProgressCamera);

    registerScenes();
    TimelineError timelineError;
    timelineSlots[1] = createTimeline(kTimelineName, kTimelineLength, &timelineError);
    if (timelineError) return failure(timelineError.module, timelineError.message);
    if (TimelineError error = loadScript(kScriptFile, music, placements)) {
        return failure(error.module, error.message, error.detail);
    }
    if (music.musicFile && start != MusicStart::None) {
        const MusicError error = startMusic(start == MusicStart::WithSound, music);
        if (error) return failure(error.module, error.message, error.detail);
        if (!error.detail.empty()) std::fprintf(stderr, "%s\n", error.detail.c_str());
    }
    drawLoadingProgress(picture, kProgressDone);
    return {};
}

void releaseShow() {
    releaseSlots();
    for (auto& texture : textures) texture.reset();
    particleSystem.reset();
}

int32_t showEndTime(const MusicSettings& music) {
    if (music.musicFile && music.musicEnd != 0) return music.musicEnd;
    return kTimelineLength;
}
