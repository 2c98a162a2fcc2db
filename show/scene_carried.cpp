#include "show/scene_carried.h"

namespace scenes {

namespace {

struct Walk {
    const SceneSet& set;
    bool cameraAlwaysOn; // no "camera off" anywhere: "view" always loads
    std::vector<BlockEffects> effects;
    std::vector<bool> known; // effects[b] worked out: a piece once, however often included
};

const BlockEffects& effectsOf(Walk& walk, int32_t block);

// The part now holds a value made from nothing carried (a constant, the play
// time, the spectrum).
void set(CarriedEffect& effect, Carried part) {
    effect.written |= carriedBit(part);
    effect.after[part] = 0;
}

// The part now holds a value made from `from` as they stood just before.
void derive(CarriedEffect& effect, Carried part, CarriedMask from) {
    effect.written |= carriedBit(part);
    effect.after[part] = from;
}

void walkBlock(Walk& walk, int32_t block, CarriedEffect& effect, bool& onceMayRun) {
    for (const Step& step : walk.set.blocks[size_t(block)].steps) {
        switch (step.kind) {
        case StepKind::Identity:
            set(effect, kCarriedModelView); // the current matrix is always the model-view
            break;
        case StepKind::Texturing:
            set(effect, kCarriedTexturing);
            break;
        case StepKind::Blend:
            set(effect, kCarriedBlend);
            break;
        case StepKind::Colour:
            set(effect, kCarriedColour);
            break;
        case StepKind::Picture:
            set(effect, kCarriedPicture);
            break;
        case StepKind::Quads:
        case StepKind::Grid:
            if (step.count > 0) set(effect, kCarriedTexCoord);
            break;
        case StepKind::Plain:
            break;
        case StepKind::Tufts:
            // Every tuft has texture coordinates, the last one's (0, 0); a
            // show without its particle system never gets to draw.
            set(effect, kCarriedTexCoord);
            break;
        case StepKind::Include: {
            const BlockEffects& piece = effectsOf(walk, step.argument);
            const bool runsOnce = onceMayRun && piece.hasOnce;
            effect = then(effect, runsOnce ? piece.onceRuns : piece.onceSkipped);
            if (runsOnce) onceMayRun = false;
            break;
        }
        case StepKind::View:
            set(effect, kCarriedStoredView);
            if (walk.cameraAlwaysOn) {
                set(effect, kCarriedProjection);
                set(effect, kCarriedModelView);
            } else { // loaded only while the camera is on
                const CarriedMask on = effect.after[kCarriedCameraOn];
                derive(effect, kCarriedProjection, on | effect.after[kCarriedProjection]);
                derive(effect, kCarriedModelView, on | effect.after[kCarriedModelView]);
            }
            break;
        case StepKind::Camera:
            set(effect, kCarriedCameraOn);
            set(effect, kCarriedModelView);
            if (step.argument) {
                set(effect, kCarriedProjection); // the neutral view
            } else {
                derive(effect, kCarriedProjection, effect.after[kCarriedStoredView]);
            }
            break;
        case StepKind::Scatter:
            derive(effect, kCarriedGrass, effect.after[kCarriedGrass]);
            break;
        case StepKind::Once:
            if (onceMayRun) {
                onceMayRun = false; // the marker is set before its steps run
                walkBlock(walk, step.argument, effect, onceMayRun);
            }
            break;
        }
    }
}

bool cameraAlwaysOn(const SceneSet& set) {
    for (const StepBlock& block : set.blocks) {
        for (const Step& step : block.steps) {
            if (step.kind == StepKind::Camera && !step.argument) return false;
        }
    }
    return true;
}

// The reader refuses pieces that include each other in a circle, so this
// ends, and it works each block out once.
const BlockEffects& effectsOf(Walk& walk, int32_t block) {
    BlockEffects& effects = walk.effects[size_t(block)];
    if (walk.known[size_t(block)]) return effects;
    for (const Step& step : walk.set.blocks[size_t(block)].steps) {
        if (step.kind == StepKind::Once ||
            (step.kind == StepKind::Include && effectsOf(walk, step.argument).hasOnce))
            effects.hasOnce = true;
    }
    bool never = false, first = true;
    effects.onceSkipped = noCarriedEffect();
    walkBlock(walk, block, effects.onceSkipped, never);
    effects.onceRuns = noCarriedEffect();
    walkBlock(walk, block, effects.onceRuns, first);
    walk.known[size_t(block)] = true;
    return effects;
}

} // namespace

CarriedEffect noCarriedEffect() {
    CarriedEffect effect;
    for (uint32_t k = 0; k < kCarriedCount; ++k) effect.after[k] = carriedBit(Carried(k));
    return effect;
}

CarriedEffect unknownCarriedEffect() {
    CarriedEffect effect;
    effect.written = kAllCarried;
    effect.after.fill(kAllCarried);
    return effect;
}

CarriedEffect then(const CarriedEffect& first, const CarriedEffect& second) {
    CarriedEffect both;
    both.written = first.written | second.written;
    for (uint32_t k = 0; k < kCarriedCount; ++k)
        both.after[k] = dependencies(first, second.after[k]);
    return both;
}

CarriedMask dependencies(const CarriedEffect& effect, CarriedMask needed) {
    CarriedMask from = 0;
    for (uint32_t k = 0; k < kCarriedCount; ++k) {
        if (needed & carriedBit(Carried(k))) from |= effect.after[k];
    }
    return from;
}

std::vector<BlockEffects> blockEffects(const SceneSet& set) {
    Walk walk{set, cameraAlwaysOn(set), std::vector<BlockEffects>(set.blocks.size()),
              std::vector<bool>(set.blocks.size())};
    for (size_t b = 0; b < set.blocks.size(); ++b) effectsOf(walk, int32_t(b));
    return std::move(walk.effects);
}

} // namespace scenes
