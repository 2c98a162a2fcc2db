#include "live/live_show.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "live/events.h"
#include "live/live_reload.h"
#include "live/loudness_job.h"
#include "live/overlay.h"
#include "live/placements.h"
#include "platform/open_file.h"
#include "platform/window.h"
#include "sequencing/music.h"
#include "sequencing/music_spectrum.h"
#include "show/frame_replay.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace {

constexpr int32_t kStepMs = 1000;
constexpr int32_t kBigStepMs = 10000;
constexpr auto kFpsWindow = std::chrono::milliseconds(500);
// Paused and unchanged, the loop rests until input comes or a saved file,
// finished background work or the decoded music wakes it.
constexpr int32_t kUntilWoken = -1;

using Clock = std::chrono::steady_clock;

struct LiveState {
    const ScenePlacements* placements = nullptr;
    int32_t endTime = 0;  // the show's end
    int32_t lastTime = 0; // the latest time the show plays
    bool paused = false;
    bool overlayVisible = true;
    bool redraw = true; // something the paused picture shows may have changed
    bool looping = false;
    ScenePlacement loop;
    bool dragging = false;
    int32_t pendingSeek = -1; // a click or drag on the strip, applied once per frame
    Overlay* overlay = nullptr;
    OverlayView view;
    OverlayView drawn; // what the last paused picture showed
    // What paused and sought frames hear: the music at their time, as
    // capture has it; silence until the music is decoded.
    MusicSpectrum heard = makeMusicSpectrum(nullptr);
    // Frames per second, counted over a short window.
    Clock::time_point fpsStart = Clock::now();
    int32_t fpsFrames = 0;
    // Over the whole session, for the end line.
    int64_t playedFrames = 0;
    double playedSeconds = 0;
};

// stepTimelines takes a plain function for the present step, so the
// overlay's state is left here for it.
LiveState* presentState = nullptr;

void presentWithOverlay() {
    const LiveState& live = *presentState;
    if (live.overlay && live.overlayVisible) drawOverlay(*live.overlay, live.view);
    swapBuffers();
}

const char* sceneAt(const LiveState& live, int32_t time) {
    const int i = placementAt(*live.placements, time);
    return i >= 0 ? (*live.placements)[size_t(i)].scene.c_str() : "-";
}

// Rebuilds the state the show's frames before `time` hand over, as capture
// does before its first frame.
void replayTo(LiveState& live, int32_t time) {
    replayCarriedState(leadUpTimes(time, kReplayFps, LeadUp::Short), nullptr, nullptr,
                       [&](int32_t t) { return spectrumAt(live.heard, t); });
}

// Once the music is decoded, the paused picture is drawn again from the
// state its lead-up hands over with the music heard.
void takeDecodedMusic(LiveState& live, const LoudnessJob& job) {
    std::shared_ptr<const MusicWave> wave = readyWave(job);
    if (!wave || wave == live.heard.wave) return;
    live.heard.wave = std::move(wave);
    if (live.paused) replayTo(live, musicTime());
    live.redraw = true;
}

// Ends the frame-rate window in progress, adding it to the session's count.
void closeFpsWindow(LiveState& live, Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - live.fpsStart).count();
    live.playedFrames += live.fpsFrames;
    live.playedSeconds += seconds;
    if (seconds > 0) live.view.fps = live.fpsFrames / seconds;
    live.fpsFrames = 0;
    live.fpsStart = now;
}

void stopLooping(LiveState& live) {
    live.looping = false;
    printEvent("loop off");
}

// The state the frames before `target` hand over is rebuilt first (as
// capture does), then the music moves, so sound and picture start together.
void seekTo(LiveState& live, int32_t target) {
    const int32_t time = std::clamp(target, 0, live.lastTime);
    if (live.looping && (time < live.loop.start || time > live.loop.end)) stopLooping(live);
    replayTo(live, time);
    seekMusic(time);
    printEvent("seek %d %s", time, sceneAt(live, time));
}

void togglePause(LiveState& live) {
    // Play at the end starts the show again.
    if (live.paused && musicTime() >= live.lastTime) seekTo(live, 0);
    // A paused stretch is no frame rate.
    if (!live.paused) closeFpsWindow(live, Clock::now());
    live.paused = !live.paused;
    pauseMusic(live.paused);
    live.fpsStart = Clock::now();
    live.fpsFrames = 0;
    const int32_t time = musicTime();
    // The paused picture is the one capture and a seek show for this time.
    if (live.paused) replayTo(live, time);
    printEvent(live.paused ? "pause %d" : "play %d", time);
}

void toggleLoop(LiveState& live) {
    if (live.looping) return stopLooping(live);
    const int i = placementAt(*live.placements, musicTime());
    if (i < 0) return;
    live.loop = (*live.placements)[size_t(i)];
    live.looping = true;
    printEvent("loop on %s %d %d", live.loop.scene.c_str(), live.loop.start, live.loop.end);
}

void handleKey(LiveState& live, const InputEvent& input) {
    const int32_t now = musicTime();
    const int32_t step = input.shift ? kBigStepMs : kStepMs;
    switch (input.key) {
    case InputKey::Space:
        return togglePause(live);
    case InputKey::Left:
        return seekTo(live, now - step);
    case InputKey::Right:
        return seekTo(live, now + step);
    case InputKey::PageUp:
        return seekTo(live, previousPlacementStart(*live.placements, now));
    case InputKey::PageDown:
        return seekTo(live, nextPlacementStart(*live.placements, now, live.lastTime));
    case InputKey::Home:
        return seekTo(live, 0);
    case InputKey::L:
        return toggleLoop(live);
    case InputKey::H:
        live.overlayVisible = !live.overlayVisible;
        return;
    case InputKey::Other:
        return;
    }
}

void handleMouse(LiveState& live, const InputEvent& input) {
    const StripArea strip = timelineStrip(live.view.width, live.view.height);
    const bool over = live.overlay && live.overlayVisible && insideStrip(strip, input.x, input.y);
    live.view.hoverX = over && input.kind == InputKind::Hover ? input.x : -1;
    if (input.kind == InputKind::ButtonDown) {
        live.dragging = live.overlay && live.overlayVisible && insideStrip(strip, input.x, input.y);
    }
    if (live.dragging && input.kind != InputKind::ButtonUp) {
        live.pendingSeek = stripTime(strip, input.x, live.endTime);
    }
    if (input.kind == InputKind::ButtonUp) live.dragging = false;
}

void handleInput(LiveState& live) {
    InputEvent input;
    while (pollInput(input)) {
        // The pointer resting elsewhere than on the strip changes nothing.
        live.redraw = live.redraw || input.kind != InputKind::Hover;
        if (input.kind == InputKind::Key) {
            handleKey(live, input);
        } else if (input.kind != InputKind::Redraw) {
            handleMouse(live, input);
        }
    }
    if (live.pendingSeek >= 0) {
        seekTo(live, live.pendingSeek);
        live.pendingSeek = -1;
    }
}

// The play time of this frame: the loop goes round, and the end pauses.
int32_t frameTime(LiveState& live) {
    int32_t time = musicTime();
    if (live.looping && time > std::min(live.loop.end, live.lastTime - 1)) {
        seekTo(live, live.loop.start);
        time = musicTime();
    } else if (!live.paused && time >= live.lastTime) {
        closeFpsWindow(live, Clock::now());
        live.paused = true;
        pauseMusic(true);
        replayTo(live, time);
        printEvent("pause %d", time);
    }
    return time;
}

void countFrame(LiveState& live) {
    ++live.fpsFrames;
    const Clock::time_point now = Clock::now();
    if (now - live.fpsStart >= kFpsWindow) closeFpsWindow(live, now);
}

void updateView(LiveState& live, int32_t time, const LoudnessJob& loudness) {
    const DrawableSize size = drawableSize();
    OverlayView& view = live.view;
    view.width = size.width;
    view.height = size.height;
    view.timeMs = time;
    view.endMs = std::max(live.endTime, 1);
    view.placements = live.placements;
    view.current = placementAt(*live.placements, time);
    view.paused = live.paused;
    view.looping = live.looping;
    view.loudness = readyLoudness(loudness);
    view.loudnessStepMs = kLoudnessStepMs;
}

// Whether the paused picture for `now` is the one already on screen.
bool sameStill(const OverlayView& now, const OverlayView& drawn) {
    return now.timeMs == drawn.timeMs && now.width == drawn.width && now.height == drawn.height &&
           now.current == drawn.current && now.paused == drawn.paused &&
           now.looping == drawn.looping && now.loudness == drawn.loudness &&
           now.message == drawn.message && now.hoverX == drawn.hoverX;
}

// After the script changed: the end, and the state carried into the frame
// at `time` rebuilt for the new placements.
void takeNewScript(LiveState& live, const MusicSettings& music, int32_t time) {
    live.endTime = showEndTime(music);
    live.lastTime = std::max(0, live.endTime - kShowEndMargin);
    replayTo(live, std::min(time, live.lastTime));
}

// The time the session starts from: --at, or the show's last frame when
// --at lies past it.
int32_t startTime(const LiveState& live, int32_t at) {
    if (at <= live.lastTime) return at;
    std::fprintf(stderr,
                 "indahouse: --at %d is past the show's end: starting at its last frame, %d\n", at,
                 live.lastTime);
    return live.lastTime;
}

} // namespace

void runLiveShow(MusicSettings music, ScenePlacements placements, const LiveOptions& options,
                 const ScriptWarnings& warnings) {
    // The clock stands until the first frame is ready, so that `play T`
    // names the time the music starts from.
    pauseMusic(true);
    LiveState live;
    live.placements = &placements;
    const OverlayResult made = createOverlay();
    if (!made.overlay) std::fprintf(stderr, "indahouse: no overlay: %s\n", made.error.c_str());
    live.overlay = made.overlay;
    takeNewScript(live, music, 0);
    const int32_t start = startTime(live, options.at);
    seekMusic(start);
    if (start > 0) replayTo(live, start);
    LoudnessJob loudness = startLoudness(music, live.endTime, wakeInputWait);
    LiveReload* reload = startLiveReload(utf8Name(std::filesystem::current_path()), options.assets);
    setScriptWarnings(*reload, warnings);
    presentState = &live;

    std::array<float, kSpectrumSize> frameSpectrum{};
    live.view.message = reloadMessage(*reload);
    updateView(live, start, loudness);
    drawStillFrame(start, spectrumAt(live.heard, start), presentWithOverlay);
    printEvent("play %d", start);
    if (start < live.lastTime && !options.paused) {
        pauseMusic(false);
    } else { // asked to, or at the end: paused there, as the show's end pauses
        live.paused = true;
        printEvent("pause %d", start);
    }
    live.fpsStart = Clock::now();
    while (true) {
        // Paused with nothing new: wait for input instead of drawing the same picture.
        if (live.paused && !live.redraw) waitForInput(kUntilWoken);
        handleInput(live);
        if (!windowActive()) break;
        const ReloadOutcome outcome = pollLiveReload(*reload, music, placements);
        const int32_t endBefore = live.endTime;
        if (outcome.scriptChanged) takeNewScript(live, music, musicTime());
        // Measured again only for other music or a longer strip.
        if (outcome.musicChanged || live.endTime > endBefore) {
            endLoudness(loudness);
            loudness = startLoudness(music, live.endTime, wakeInputWait);
        }
        if (outcome.scriptChanged || outcome.musicChanged || outcome.pictureChanged)
            live.redraw = true;
        // Other music: silence until it is decoded, never the old music's spectrum.
        if (outcome.musicChanged) live.heard.wave.reset();
        takeDecodedMusic(live, loudness);
        live.view.message = reloadMessage(*reload);
        const int32_t time = frameTime(live);
        readSpectrum(frameSpectrum.data());
        updateView(live, time, loudness);
        if (!live.paused) {
            showFrame(time, frameSpectrum.data(), presentWithOverlay);
            countFrame(live);
        } else if (live.redraw || !sameStill(live.view, live.drawn)) {
            drawStillFrame(time, spectrumAt(live.heard, time), presentWithOverlay);
            live.drawn = live.view;
        }
        live.redraw = false;
    }
    if (!live.paused) closeFpsWindow(live, Clock::now());
    printEvent("end %d %.1f fps", playTime,
               live.playedSeconds > 0 ? double(live.playedFrames) / live.playedSeconds : 0.0);
    endLoudness(loudness);
    stopLiveReload(reload);
    presentState = nullptr;
    destroyOverlay(live.overlay);
}
