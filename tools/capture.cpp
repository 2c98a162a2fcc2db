// capture: renders the show of a show directory at a fixed frame rate, to
// numbered PNG frames, to one PNG, or to a video with the show's music, with
// no dialog and no audio device. It loads the show as the show program does
// and runs the same frame function; only the clock (from + n x 1000 / fps
// milliseconds) and the present step (which reads the picture back) differ.
//
//   capture SHOWDIR --out frames/                 the whole show, 800 x 600, 60 fps
//   capture SHOWDIR --from 12000 --to 14000 --video part.mp4 --size 640x480
//   capture SHOWDIR --at 70000 --out frame.png
#include <CLI/CLI.hpp>

#include <GL/gl.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/png_io.h"
#include "common/progress_bar.h"
#include "content/capture/sound_track.h"
#include "content/capture/video_encoder.h"
#include "platform/window.h"
#include "sequencing/music_spectrum.h"
#include "show/frame_replay.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kWindowTitle = "capture";
constexpr int32_t kColourDepth = 32;
constexpr int32_t kDefaultFps = 60;
constexpr int kRgbChannels = 3;

struct Options {
    std::string showDir;
    std::string out;
    std::string video;
    std::string size = "800x600";
    int32_t fps = kDefaultFps;
    int32_t from = 0;
    int32_t to = 0;
    int32_t at = 0;
    bool toGiven = false;
    bool single = false; // --at
    bool fullLeadUp = false;
    int32_t width = 0;
    int32_t height = 0;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "capture: %s\n", message.c_str());
    return 1;
}

// Ctrl+C or SIGTERM: the signal, set by the handler and read between
// frames, so that the capture stops cleanly with what it has written.
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) {
    stopSignal = signal;
}

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The usual exit status of a program ended by a signal.
constexpr int kSignalExitBase = 128;

bool endsWithPng(const std::string& name) {
    const std::string ext = fs::path(name).extension().string();
    return ext.size() == 4 && std::tolower(ext[1]) == 'p' && std::tolower(ext[2]) == 'n' &&
           std::tolower(ext[3]) == 'g';
}

// "137113 ms (2:17.113)".
std::string playTimeText(int64_t ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld ms (%lld:%02lld.%03lld)", static_cast<long long>(ms),
                  static_cast<long long>(ms / 60000), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

// One picture read back from the frame just drawn, top row first.
struct Grab {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rows;
    std::vector<uint8_t> bottomUp; // as OpenGL returns it
};

// stepTimelines takes a plain function for the present step, so the
// picture's destination is left here for it.
Grab* grabTarget = nullptr;

// Reads the back buffer before the swap (the front buffer of an offscreen
// or covered window need not hold the picture), then presents as the show does.
void grabAndPresent() {
    Grab& grab = *grabTarget;
    const size_t rowBytes = size_t(grab.width) * kRgbChannels;
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, grab.width, grab.height, GL_RGB, GL_UNSIGNED_BYTE, grab.bottomUp.data());
    for (int32_t y = 0; y < grab.height; ++y) {
        std::copy_n(&grab.bottomUp[size_t(grab.height - 1 - y) * rowBytes], rowBytes,
                    &grab.rows[size_t(y) * rowBytes]);
    }
    swapBuffers();
}

std::string framePath(const std::string& dir, int64_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
    return (fs::path(dir) / name).string();
}

PngError writeFrame(const std::string& file, const Grab& grab) {
    PngImage image;
    image.width = grab.width;
    image.height = grab.height;
    image.channels = kRgbChannels;
    image.pixels = grab.rows;
    return writePng(file, image);
}

// Parses the command line into `options`; a non-negative result ends the
// program with that code (help, or a mistake already reported).
int parseCommandLine(int argc, char** argv, Options& options) {
    CLI::App app{"capture: renders a show directory's show at a fixed frame rate to PNG frames, "
                 "one PNG or a video, without the dialog and without sound output. The play time "
                 "of frame n is FROM + n x 1000 / FPS milliseconds (whole milliseconds); frames "
                 "run up to, not including, TO."};
    app.footer("A frame taken with --at T (or the first frame of a range) starts from the state "
               "that the show's frames before it at the same FPS hand over (blend function, "
               "camera, grass set-up), so it matches the frame at T of a capture from 0.");
    app.add_option("SHOWDIR", options.showDir, "folder holding script.sqx, the music and data/")
        ->required();
    app.add_option("--out", options.out,
                   "folder for frame_000000.png, frame_000001.png, ...; with --at, the PNG file");
    CLI::Option* video = app.add_option(
        "--video", options.video,
        "video file (.mp4: H.264 and AAC) encoded by ffmpeg, with the script's music");
    app.add_option("--size", options.size, "picture size WxH")->default_str("800x600");
    app.add_option("--fps", options.fps, "frames per second")
        ->check(CLI::Range(1, kMaxCaptureFps))
        ->default_str(std::to_string(kDefaultFps));
    CLI::Option* from = app.add_option("--from", options.from, "first play time, ms (default 0)")
                            ->check(CLI::NonNegativeNumber);
    CLI::Option* to =
        app.add_option("--to", options.to, "end of the range, ms (default: the show's end time)")
            ->check(CLI::NonNegativeNumber);
    CLI::Option* at =
        app.add_option("--at", options.at, "render the one frame at this play time, ms")
            ->check(CLI::NonNegativeNumber)
            ->excludes(from)
            ->excludes(to);
    video->excludes(at);
    app.add_flag("--full-lead-up", options.fullLeadUp,
                 "run every frame from play time 0 before the first one kept, instead of the "
                 "few that set the state it starts from (same pictures, slower; for checking)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        return fail(error.what());
    }
    options.toGiven = to->count() > 0;
    options.single = at->count() > 0;
    if (!parseScreenSize(options.size, options.width, options.height)) {
        return fail("--size " + options.size + ": expected WxH, sides 1 to " +
                    std::to_string(kMaxScreenSide));
    }
    if (options.out.empty() && options.video.empty()) {
        return fail("nothing to write: give --out, --video or both");
    }
    if (options.single && options.out.empty()) return fail("--at needs --out FILE.png");
    if (options.toGiven && options.to <= options.from) {
        return fail("nothing to capture: --from " + std::to_string(options.from) +
                    " is not before --to " + std::to_string(options.to));
    }
    if (options.single) {
        const bool folder = options.out.back() == '/' || fs::is_directory(options.out);
        if (folder || !endsWithPng(options.out)) {
            return fail("--out " + options.out + ": --at writes one PNG picture; give a file " +
                        "name ending in .png");
        }
        const fs::path parent = fs::absolute(options.out).parent_path();
        if (!fs::is_directory(parent)) return fail("--out " + options.out + ": no such folder");
    } else if (!options.out.empty() && endsWithPng(options.out)) {
        return fail("--out " + options.out + ": a range writes numbered PNG frames into a " +
                    "folder; give a folder name, or --at T for one picture");
    }
    return -1;
}

// The end of a whole-show capture, as the show has it: the "@music" end
// time, the music's length for an end of 0 (where the format does not say,
// the timeline's length, as without music).
std::string showEnd(MusicSettings music, int64_t& end) {
    if (music.musicFile && music.musicEnd == 0) {
        int64_t length = 0;
        if (std::string error = musicLengthMs(music, length); !error.empty()) return error;
        music.musicEnd = static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX));
    }
    end = showEndTime(music);
    return {};
}

// A file in the temporary folder, removed with this object.
struct TemporaryFile {
    std::string path;
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

std::string makeTemporaryFile(const std::string& suffix, TemporaryFile& file) {
    std::string name = (fs::temp_directory_path() / ("capture-XXXXXX" + suffix)).string();
    const int fd = mkstemps(name.data(), int(suffix.size()));
    if (fd < 0) return "cannot make a temporary file: " + std::string(std::strerror(errno));
    close(fd);
    file.path = name;
    return {};
}

// The video's sound: the script's music under the frames' play times, as
// long as the frames last. None without music.
std::string prepareSoundTrack(const MusicSettings& music, int64_t from, int64_t frames, int32_t fps,
                              TemporaryFile& track) {
    if (!music.musicFile) return {};
    if (std::string error = makeTemporaryFile(".wav", track); !error.empty()) return error;
    const int64_t soundFrames = (frames * kSoundTrackRate + fps / 2) / fps;
    return writeSoundTrack(music, from, soundFrames, track.path);
}

// Where a stop by signal leaves the outputs, for the last line.
std::string stoppedText(const Options& options, const std::string& out, int64_t written,
                        int64_t count) {
    std::string text = std::string("stopped by ") + (stopSignal == SIGINT ? "Ctrl+C" : "SIGTERM") +
                       " after " + std::to_string(written) + " of " + std::to_string(count) +
                       " frames";
    if (!out.empty() && !options.single && written > 0)
        text += ": frame_000000.png to " +
                fs::path(framePath(out, written - 1)).filename().string() + " are in " +
                options.out;
    if (!options.video.empty())
        text += written > 0 ? "; " + options.video + " holds them" : "; no video written";
    return text;
}

// Runs the lead-up, then the kept frames into the outputs.
int renderFrames(const Options& options, const MusicSettings& music, const std::string& out,
                 const std::string& videoFile) {
    int64_t end = 0;
    if (std::string error = showEnd(music, end); !error.empty()) return fail(error);
    int64_t from = options.from, to = options.toGiven ? options.to : end;
    if (options.single) {
        from = options.at;
        to = from + 1;
    }
    // Past the end nothing draws: a time there is a mistake, not hours of black.
    if (from >= end) {
        return fail(std::string(options.single ? "--at " : "--from ") + std::to_string(from) +
                    ": past the show's end at " + playTimeText(end));
    }
    if (to > end) {
        std::fprintf(stderr, "capture: --to %lld is past the show's end: capturing up to %s\n",
                     static_cast<long long>(to), playTimeText(end).c_str());
        to = end;
    }
    const int64_t count = captureFrameCount(from, to, options.fps);
    if (count == 0) {
        return fail("nothing to capture from " + std::to_string(from) + " to " +
                    std::to_string(to) + " ms");
    }
    if (!options.single && !out.empty()) {
        std::error_code error;
        fs::create_directories(out, error);
        if (error || !fs::is_directory(out)) return fail(options.out + ": cannot make the folder");
    }
    const std::vector<int32_t> leadUp = leadUpTimes(
        static_cast<int32_t>(from), options.fps, options.fullLeadUp ? LeadUp::Full : LeadUp::Short);

    // Every frame, the lead-up's too, hears the music as the show would at its time.
    MusicWave wave;
    if (std::string error = decodeMusicWave(music, static_cast<int32_t>(to), wave); !error.empty())
        return fail(error);
    MusicSpectrum heard = makeMusicSpectrum(std::make_shared<const MusicWave>(std::move(wave)));

    VideoEncoder video;
    TemporaryFile soundTrack;
    if (!videoFile.empty()) {
        if (std::string error = prepareSoundTrack(music, from, count, options.fps, soundTrack);
            !error.empty()) {
            return fail(error);
        }
        const VideoSettings videoSettings{videoFile, options.width, options.height, options.fps,
                                          soundTrack.path};
        if (std::string error = startVideo(video, videoSettings); !error.empty())
            return fail(error);
    }

    replayCarriedState(leadUp, swapBuffers, nullptr,
                       [&](int32_t t) { return spectrumAt(heard, t); });
    // The bar counts the frames written, not the lead-up's.
    ProgressBar progress = startProgress(count);
    const size_t frameBytes = size_t(options.width) * size_t(options.height) * kRgbChannels;
    Grab grab{options.width, options.height, std::vector<uint8_t>(frameBytes),
              std::vector<uint8_t>(frameBytes)};
    grabTarget = &grab;
    int64_t written = 0;
    for (; written < count && !stopSignal; ++written) {
        const auto time = static_cast<int32_t>(captureFrameTime(from, written, options.fps));
        showFrame(time, spectrumAt(heard, time), grabAndPresent);
        if (!out.empty()) {
            const std::string file = options.single ? out : framePath(out, written);
            if (PngError error = writeFrame(file, grab)) {
                abandonProgress(progress);
                abandonVideo(video);
                return fail(error.message);
            }
        }
        if (!videoFile.empty()) {
            if (std::string error = writeVideoFrame(video, grab.rows.data()); !error.empty()) {
                abandonProgress(progress);
                return fail(error);
            }
        }
        advanceProgress(progress);
    }
    grabTarget = nullptr;
    if (stopSignal) {
        abandonProgress(progress);
        // Frames already in the video make a shorter, complete one.
        if (!videoFile.empty()) {
            if (written > 0) {
                if (std::string error = finishVideo(video); !error.empty()) return fail(error);
            } else {
                abandonVideo(video);
            }
        }
        fail(stoppedText(options, out, written, count));
        return kSignalExitBase + stopSignal;
    }
    finishProgress(progress);
    if (!videoFile.empty()) {
        if (std::string error = finishVideo(video); !error.empty()) return fail(error);
    }
    return 0;
}

int capture(const Options& options) {
    std::error_code error;
    // Output paths are taken from where the tool was started; the show
    // itself reads everything relative to its folder.
    const fs::path showDir = fs::absolute(options.showDir, error);
    if (error || !fs::is_directory(showDir)) return fail(options.showDir + ": not a folder");
    const std::string out = options.out.empty() ? "" : fs::absolute(options.out).string();
    const std::string video = options.video.empty() ? "" : fs::absolute(options.video).string();
    if (!video.empty() && !fs::is_directory(fs::path(video).parent_path())) {
        return fail(options.video + ": no such folder");
    }

    // Nothing appears on a screen: SDL's offscreen driver draws into a
    // buffer of its own, with or without an X server. A driver the user
    // names wins (x11 under Xvfb gives the same pixels).
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    // The window library would turn Ctrl+C into a quit event; the frame
    // loop watches the signals itself.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
    settings = Settings{options.width, options.height, kColourDepth, false, false};
    createWindow(kWindowTitle, options.width, options.height, kColourDepth, false);
    catchStopSignals();
    const DrawableSize drawable = drawableSize();
    if (drawable.width != options.width || drawable.height != options.height) {
        closeWindow();
        return fail("the drawing surface is " + std::to_string(drawable.width) + "x" +
                    std::to_string(drawable.height) + ", not " + options.size);
    }
    fs::current_path(showDir, error);
    if (error) {
        closeWindow();
        return fail(options.showDir + ": " + error.message());
    }

    MusicSettings music;
    int result = 0;
    if (ShowError failure = loadShow(music)) {
        std::string message = options.showDir + ": " + failure.module + ": " + failure.message;
        if (!failure.detail.empty()) message += " (" + failure.detail + ")";
        result = fail(message);
    } else {
        result = renderFrames(options, music, out, video);
    }
    releaseShow();
    closeWindow();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (int code = parseCommandLine(argc, argv, options); code >= 0) return code;
    return capture(options);
}
