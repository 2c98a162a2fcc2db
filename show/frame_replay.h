// Frames taken out of the show's order: which play times the capture tool
// renders, and the replay of the state the frames before a time hand over,
// which capture's first frame and the live mode's seek share.
//
// Which play times the capture tool renders. Frame n of a capture from
// `from` shows play time from + floor(n x 1000 / fps); the frames run up to,
// not including, `to`.
//
//   const int64_t count = captureFrameCount(from, to, fps);
//   for (int32_t t : leadUpTimes(from, fps, LeadUp::Short)) render(t);   // state only
//   for (int64_t n = 0; n < count; ++n) render(captureFrameTime(from, n, fps)); // kept
//
// The lead-up runs before the first kept frame so that it starts from the
// state a full run would hand it. Frames pass on a little state: the blend
// function and camera view left by the last frame that drew a scene, and
// the stage's one-time set-up (grass field, set-up marker), done by the first
// frame that runs a start callback. The lead-up follows the show's own frame
// grid, floor(k x 1000 / fps) from play time 0, so a frame captured on its
// own matches the same frame of a whole-show capture.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sequencing/scene.h"

// Frames per second the clock may step at: at most one frame per millisecond.
constexpr int32_t kMaxCaptureFps = 1000;

// from + floor(n x 1000 / fps).
int64_t captureFrameTime(int64_t from, int64_t n, int32_t fps);

// How many frames fall in [from, to): 0 when to <= from.
int64_t captureFrameCount(int64_t from, int64_t to, int32_t fps);

enum class LeadUp {
    // The first frame that runs a start callback, then the frames from the
    // last one that draws a scene: a few frames with the same result.
    Short,
    // Every frame of the grid from play time 0: slow, for checking Short.
    Full,
};

// The play times to run, in order, before a capture whose first frame is at
// `firstTime`, chosen from the callbacks the registered timelines hold
// (timelineSlots). Every time is below `firstTime`.
std::vector<int32_t> leadUpTimes(int32_t firstTime, int32_t fps, LeadUp mode);

// The frame rate whose grid the replay follows: capture's default, so that
// a seek in the live mode shows what `capture --at` shows.
constexpr int32_t kReplayFps = 60;

// Runs the lead-up frames `leadUp` (leadUpTimes for a time) through
// showFrame, drawn into a single pixel, presenting each with `present` (may
// be null), then `afterEach` (may be null). Each frame hears
// `spectrumAt(time)` (512 values; silence when it or its result is null),
// as a scene's camera may follow the music. Afterwards the next frame at
// that time starts from the state the show's own frames would have handed it.
void replayCarriedState(const std::vector<int32_t>& leadUp, Callback present,
                        Callback afterEach = nullptr,
                        const std::function<const float*(int32_t)>& spectrumAt = {});

// Draws the frame at `time` and then puts back the state it hands on (the
// camera, the matrices, the blend function and every other GL setting), so
// that drawing it again gives the same picture: a paused show.
void drawStillFrame(int32_t time, const float* spectrumNow, Callback present);
