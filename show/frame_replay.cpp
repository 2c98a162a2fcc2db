#include "show/frame_replay.h"

#include <GL/gl.h>

#include <algorithm>

#include "sequencing/timeline.h"
#include "show/show_frame.h"
#include "show/show_state.h"

namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;

// A slot that does something: not the empty callback and not outside the table.
bool isCallback(Callback callback) {
    return callback != nullptr && callback != noOp;
}

bool runsStart(int32_t t) {
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        const Timeline* timeline = timelineSlots[i];
        if (timeline && t <= timeline->length && isCallback(timeline->startTable[t])) return true;
    }
    return false;
}

// The frames that set the blend function and the camera.
bool drawsScene(int32_t t) {
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        const Timeline* timeline = timelineSlots[i];
        if (timeline && t <= timeline->length &&
            (isCallback(timeline->drawTable[t]) || isCallback(timeline->afterSwapTable[t]))) {
            return true;
        }
    }
    return false;
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
    int64_t setup = -1; // the first frame that runs a start callback
    for (int64_t k = 0; k < held && setup < 0; ++k) {
        if (runsStart(gridTime(k, fps))) setup = k;
    }
    int64_t lastDraw = -1; // the last frame that draws a scene
    for (int64_t k = held - 1; k >= 0 && lastDraw < 0; --k) {
        if (drawsScene(gridTime(k, fps))) lastDraw = k;
    }
    // A frame that draws a scene sets the blend function and the camera
    // whatever the frames before it left, so the frames before lastDraw
    // matter only through the set-up; after it, only frames that run a
    // start callback do anything.
    if (setup >= 0 && (lastDraw < 0 || setup < lastDraw)) times.push_back(gridTime(setup, fps));
    for (int64_t k = lastDraw >= 0 ? lastDraw : setup + 1; k < held; ++k) {
        if (k == lastDraw || runsStart(gridTime(k, fps))) times.push_back(gridTime(k, fps));
    }
    return times;
}

void replayCarriedState(const std::vector<int32_t>& leadUp, Callback present, Callback afterEach) {
    // Only the state these frames leave counts, never their pictures: they
    // are drawn into one pixel, which spares the renderer nearly all its work.
    // The show never scissors, so only the box and the switch are put back.
    const GLboolean scissored = glIsEnabled(GL_SCISSOR_TEST);
    GLint box[4] = {};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    for (const int32_t t : leadUp) {
        showFrame(t, nullptr, present);
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
