#include "show/frame_replay.h"

#include <GL/gl.h>

#include <algorithm>

#include "sequencing/timeline.h"
#include "show/grass_field.h"
#include "show/scene_interpreter.h"
#include "show/show_frame.h"
#include "show/show_state.h"

namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;

// A slot that does something: not the empty callback and not outside the table.
bool isCallback(Callback callback) {
    return callback != nullptr && callback != noOp;
}

// The callbacks the frame at `t` runs, in the order stepTimelines runs them.
int callbacksAt(int32_t t, Callback* out) {
    int count = 0;
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        const Timeline* timeline = timelineSlots[i];
        if (!timeline || t > timeline->length) continue;
        for (Callback callback : {timeline->startTable[t], timeline->drawTable[t]})
            if (isCallback(callback)) out[count++] = callback;
    }
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        const Timeline* timeline = timelineSlots[i];
        if (timeline && t <= timeline->length && isCallback(timeline->afterSwapTable[t]))
            out[count++] = timeline->afterSwapTable[t];
    }
    return count;
}

constexpr int kMaxFrameCallbacks = 3 * kTimelineSlotCount;

// What a frame hands on (scene_carried.h), from its callbacks; the first
// once-only block among them runs when `onceMayRun`, which it then clears.
struct FrameEffects {
    Callback callbacks[kMaxFrameCallbacks];
    int count = -1;
    scenes::CarriedEffect effect;

    const scenes::CarriedEffect& at(int32_t t, bool& onceMayRun) {
        const bool setupFrame = onceMayRun;
        Callback now[kMaxFrameCallbacks];
        const int n = callbacksAt(t, now);
        // Frames of one placement run the same callbacks: worked out once.
        if (!setupFrame && n == count && std::equal(now, now + n, callbacks)) return effect;
        effect = scenes::noCarriedEffect();
        for (int k = 0; k < n; ++k)
            effect = then(effect, callbackCarriedEffect(now[k], onceMayRun));
        std::copy(now, now + n, callbacks);
        count = setupFrame ? -1 : n; // a set-up frame's effect is its own
        return effect;
    }
};

bool runsOnce(int32_t t) {
    Callback now[kMaxFrameCallbacks];
    const int n = callbacksAt(t, now);
    return std::any_of(now, now + n, callbackRunsOnce);
}

int32_t gridTime(int64_t k, int32_t fps) {
    return static_cast<int32_t>(captureFrameTime(0, k, fps));
}

} // namespace

int64_t captureFrameTime(int64_t from, int64_t n, int32_t fps) {
    return from + n * kMillisecondsPerSecond / fps;
}

int64_t captureFrameCount(int64_t from, int64_t to, int32_t fps) {
    if (to <= from) return 0;
    // Frame n is inside while n x 1000 / fps < to - from: n < (to - from) x fps / 1000.
    return ((to - from) * fps + kMillisecondsPerSecond - 1) / kMillisecondsPerSecond;
}

std::vector<int32_t> leadUpTimes(int32_t firstTime, int32_t fps, LeadUp mode) {
    // Grid frames 0 .. before-1 lie below firstTime.
    const int64_t before = captureFrameCount(0, firstTime, fps);
    std::vector<int32_t> times;
    if (mode == LeadUp::Full) {
        for (int64_t k = 0; k < before; ++k) times.push_back(gridTime(k, fps));
        return times;
    }
    // Frames past every timeline's end run nothing: the search stops there,
    // however far beyond it firstTime lies.
    int32_t longest = 0;
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        if (timelineSlots[i]) longest = std::max(longest, timelineSlots[i]->length);
    }
    const int64_t held = std::min(before, captureFrameCount(0, int64_t(longest) + 1, fps));
    // The set-up: the first frame with a once-only block, when none ran yet.
    const Timeline* onceTimeline = timelineSlots[kOnceTimeline];
    int64_t setup = -1;
    if (onceTimeline && onceTimeline->setupMarker != kSetupDone) {
        for (int64_t k = 0; k < held && setup < 0; ++k) {
            if (runsOnce(gridTime(k, fps))) setup = k;
        }
    }
    // From the last frame back: a frame matters when it may change a part
    // of the state that the frames after it still see; then the parts its
    // result depends on are the ones to look for further back.
    scenes::CarriedMask needed = scenes::kAllCarried;
    FrameEffects frames;
    std::vector<int32_t> reversed;
    for (int64_t k = held - 1; k >= 0 && needed != 0; --k) {
        bool onceMayRun = k == setup;
        const scenes::CarriedEffect& effect = frames.at(gridTime(k, fps), onceMayRun);
        if ((effect.written & needed) == 0) continue;
        reversed.push_back(gridTime(k, fps));
        needed = dependencies(effect, needed);
    }
    times.assign(reversed.rbegin(), reversed.rend());
    return times;
}

void replayCarriedState(const std::vector<int32_t>& leadUp, Callback present, Callback afterEach,
                        const std::function<const float*(int32_t)>& spectrumAt) {
    // Only the state these frames leave counts, never their pictures: they
    // are drawn into one pixel, which spares the renderer nearly all its work.
    // The show never scissors, so only the box and the switch are put back.
    const GLboolean scissored = glIsEnabled(GL_SCISSOR_TEST);
    GLint box[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    for (const int32_t t : leadUp) {
        showFrame(t, spectrumAt ? spectrumAt(t) : nullptr, present);
        if (afterEach) afterEach();
    }
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissored) glDisable(GL_SCISSOR_TEST);
}

void drawStillFrame(int32_t time, const float* spectrumNow, Callback present) {
    const Camera savedCamera = camera;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    for (const GLenum stack : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(stack);
        glPushMatrix();
    }
    showFrame(time, spectrumNow, present);
    for (const GLenum stack : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(stack);
        glPopMatrix();
    }
    glPopAttrib(); // the matrix mode too
    camera = savedCamera;
}
