#include "show/scene_interpreter.h"

#include <GL/gl.h>

#include <array>
#include <utility>

#include "sequencing/timeline.h"
#include "show/grass_field.h"
#include "show/scene_carried.h"
#include "show/show_state.h"

using namespace scenes;

static_assert(kSpectrumBins == kSpectrumSize, "expressions read the frame's spectrum");

namespace {

struct Installed {
    SceneSet set;
    std::vector<BlockEffects> effects; // by block
    std::vector<const Texture*> pictures;
    std::vector<double> trackValues;
    bool tracksKnown = false; // trackValues hold the tracks at tracksAt
    int32_t tracksAt = 0;
};

Installed* installed = nullptr;
ScenePlacements placementsNow;

float valueAt(const Installed& on, int32_t index, const ExpressionInputs& in) {
    return float(evaluate(on.set.pool, on.set.values[size_t(index)], in));
}

void texturedCorners(const Installed& on, const Step& step, const ExpressionInputs& in) {
    for (int32_t v = step.first; v < step.first + step.count; v += 5) {
        glTexCoord2f(valueAt(on, v, in), valueAt(on, v + 1, in));
        glVertex3f(valueAt(on, v + 2, in), valueAt(on, v + 3, in), valueAt(on, v + 4, in));
    }
}

void drawCorners(const Installed& on, const Step& step, const ExpressionInputs& in) {
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    if (step.kind == StepKind::Quads) {
        texturedCorners(on, step, in);
    } else if (step.kind == StepKind::Grid) {
        ExpressionInputs cell = in;
        for (int32_t row = 0; row < step.rows; ++row) {
            for (int32_t column = 0; column < step.argument; ++column) {
                cell.index = column;
                cell.row = row;
                texturedCorners(on, step, cell);
            }
        }
    } else {
        for (int32_t v = step.first; v < step.first + step.count; v += 3)
            glVertex3f(valueAt(on, v, in), valueAt(on, v + 1, in), valueAt(on, v + 2, in));
    }
    glEnd();
}

void runBlock(const Installed& on, int32_t block, const ExpressionInputs& in) {
    for (const Step& step : on.set.blocks[size_t(block)].steps) {
        const auto value = [&](int32_t k) { return valueAt(on, step.first + k, in); };
        switch (step.kind) {
        case StepKind::Identity:
            glLoadIdentity();
            break;
        case StepKind::Texturing:
            step.argument ? glEnable(GL_TEXTURE_2D) : glDisable(GL_TEXTURE_2D);
            break;
        case StepKind::Blend:
            glBlendFunc(GL_SRC_ALPHA, step.argument ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
            break;
        case StepKind::Colour:
            glColor4f(value(0), value(1), value(2), value(3));
            break;
        case StepKind::Picture: {
            const Texture* texture = on.pictures[size_t(step.argument)];
            glBindTexture(GL_TEXTURE_2D, texture ? texture->textureName : 0);
            break;
        }
        case StepKind::Quads:
        case StepKind::Grid:
        case StepKind::Plain:
            drawCorners(on, step, in);
            break;
        case StepKind::Include:
            runBlock(on, step.argument, in);
            break;
        case StepKind::Tufts:
            drawGrassField();
            break;
        case StepKind::View:
            setView(camera, value(0), value(1), value(2), value(3), value(4), value(5), value(6),
                    value(7), value(8));
            apply(camera);
            break;
        case StepKind::Camera:
            setActive(camera, step.argument != 0);
            break;
        case StepKind::Scatter:
            if (particleSystem) scatterGrass(*particleSystem);
            break;
        case StepKind::Once: {
            Timeline* timeline = timelineSlots[kOnceTimeline];
            if (!timeline || timeline->setupMarker == kSetupDone) break;
            timeline->setupMarker = kSetupDone;
            runBlock(on, step.argument, in);
            break;
        }
        }
    }
}

// When the placement of `scene` that holds the play time began: on the
// lowest timeline, the latest placement written (it wins there).
int32_t placementStart(const std::string& scene) {
    int32_t start = 0, timeline = kTimelineSlotCount + 1;
    for (const ScenePlacement& p : placementsNow) {
        const int32_t last = std::max(p.end, p.start + kStartWindow);
        if (p.scene != scene || playTime < p.start || playTime > last || p.timeline > timeline)
            continue;
        timeline = p.timeline;
        start = p.start;
    }
    return start;
}

enum class Part { Start, Draw, After };

void runScene(size_t slot, Part part) {
    if (!installed || slot >= installed->set.scenes.size()) return;
    Installed& on = *installed;
    const SceneEntry& scene = on.set.scenes[slot];
    const int32_t block = part == Part::Start  ? scene.start
                          : part == Part::Draw ? scene.draw
                                               : scene.after;
    if (block < 0) return;
    // Once a frame, whichever of its callbacks comes first.
    if (!on.tracksKnown || on.tracksAt != playTime) {
        for (size_t k = 0; k < on.set.tracks.size(); ++k)
            on.trackValues[k] = trackValue(on.set.tracks[k], double(playTime));
        on.tracksKnown = true;
        on.tracksAt = playTime;
    }
    ExpressionInputs in;
    in.time = playTime;
    in.since = double(playTime - placementStart(scene.name));
    in.spectrum = spectrum.data();
    in.tracks = on.trackValues.data();
    runBlock(on, block, in);
}

// Timelines hold plain functions: one per slot and part.
template <size_t kSlot> void startSlot() {
    runScene(kSlot, Part::Start);
}
template <size_t kSlot> void drawSlot() {
    runScene(kSlot, Part::Draw);
}
template <size_t kSlot> void afterSlot() {
    runScene(kSlot, Part::After);
}

template <size_t... kSlots>
constexpr std::array<std::array<Callback, 3>, sizeof...(kSlots)>
slotCallbacks(std::index_sequence<kSlots...>) {
    return {{{startSlot<kSlots>, drawSlot<kSlots>, afterSlot<kSlots>}...}};
}

constexpr auto kSlotCallbacks = slotCallbacks(std::make_index_sequence<kMaxSceneCount>());

// The installed set's block a callback runs: -1 for none, -2 for a
// function that is not one of the interpreter's.
int32_t callbackBlock(Callback callback) {
    for (size_t slot = 0; slot < kSlotCallbacks.size(); ++slot) {
        for (size_t part = 0; part < kSlotCallbacks[slot].size(); ++part) {
            if (kSlotCallbacks[slot][part] != callback) continue;
            if (!installed || slot >= installed->set.scenes.size()) return -1;
            const SceneEntry& scene = installed->set.scenes[slot];
            return part == 0 ? scene.start : part == 1 ? scene.draw : scene.after;
        }
    }
    return -2;
}

} // namespace

void installSceneSet(SceneSet set, std::vector<const Texture*> pictures) {
    releaseSceneSet();
    installed = new Installed{std::move(set), {}, std::move(pictures), {}, false, 0};
    installed->effects = blockEffects(installed->set);
    installed->trackValues.assign(installed->set.tracks.size(), 0);
    for (Scene*& slot : sceneSlots) {
        destroyScene(slot);
        slot = nullptr;
    }
    const std::vector<SceneEntry>& entries = installed->set.scenes;
    for (size_t k = 0; k < entries.size() && k < kMaxSceneCount; ++k) {
        const SceneEntry& entry = entries[k];
        const auto& [start, draw, after] = kSlotCallbacks[k];
        sceneSlots[k + 1] =
            createScene(entry.name, entry.start >= 0 ? start : nullptr,
                        entry.draw >= 0 ? draw : nullptr, entry.after >= 0 ? after : nullptr);
    }
}

CarriedEffect callbackCarriedEffect(Callback callback, bool& onceMayRun) {
    const int32_t block = callbackBlock(callback);
    if (block == -2) return unknownCarriedEffect();
    if (block < 0) return noCarriedEffect();
    const BlockEffects& effects = installed->effects[size_t(block)];
    if (!onceMayRun || !effects.hasOnce) return effects.onceSkipped;
    onceMayRun = false;
    return effects.onceRuns;
}

bool callbackRunsOnce(Callback callback) {
    const int32_t block = callbackBlock(callback);
    return block >= 0 && installed->effects[size_t(block)].hasOnce;
}

void setScenePlacements(ScenePlacements placements) {
    placementsNow = std::move(placements);
}

const SceneSet* installedSceneSet() {
    return installed ? &installed->set : nullptr;
}

void releaseSceneSet() {
    delete installed;
    installed = nullptr;
}
