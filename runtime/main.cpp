// The show program: settings, window, loading, the frame loop, teardown.
// Without options it is the show and reads everything relative to the
// working directory; with --live it is the show's live mode (live/), which
// skips the dialog and plays in a window that can pause, seek and loop.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "live/live_options.h"
#include "live/live_show.h"
#include "platform/fatal_error.h"
#include "platform/program_start.h"
#include "platform/window.h"
#include "sequencing/music.h"
#include "show/config_dialog.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace {

constexpr const char* kWindowTitle = "Zorvath in da house!";
constexpr const char* kLiveWindowTitle = "Zorvath in da house! - live";
constexpr int32_t kLiveColourDepth = 32;

// A show directory holds the script or the pictures; a folder with
// neither (the repository's root, say) is not one.
bool inShowFolder() {
    std::error_code ignored;
    return std::filesystem::is_regular_file("script.sqx", ignored) ||
           std::filesystem::is_directory("data", ignored);
}

[[noreturn]] void report(const ShowError& error) {
    if (!error.detail.empty()) std::fprintf(stderr, "%s\n", error.detail.c_str());
    // The report names a file; started in the wrong folder, say the way out.
    if (!inShowFolder()) {
        std::fprintf(stderr, "indahouse: this folder holds no show (no script.sqx and data/): "
                             "run makeshow, then start the show in the folder it made, e.g. "
                             "cd build/showdir && ../runtime/indahouse\n");
    }
    fatalError(error.module, error.message);
}

// The live mode's: a script error in the form of its event lines
// (script.sqx:LINE: ...), and a folder that holds no show gets no error.txt
// and a way out that names the live command.
[[noreturn]] void reportLive(ShowError error) {
    if (error.line > 0) {
        std::fprintf(stderr, "%s:%d: %s\n", kScriptFile, error.line, error.message.c_str());
        error.detail.clear();
    }
    if (inShowFolder()) report(error);
    if (!error.detail.empty()) std::fprintf(stderr, "%s\n", error.detail.c_str());
    std::fprintf(stderr, "indahouse: %s: %s\n", error.module.c_str(), error.message.c_str());
    std::fprintf(stderr, "indahouse: this folder holds no show (no script.sqx and data/): make one "
                         "with makeshow SHOWDIR, then start the live mode on it: "
                         "indahouse --live --dir SHOWDIR\n");
    closeWindow();
    std::exit(kFatalExitCode);
}

int playShow() {
    // `settings` starts with the defaults; the dialog edits them in place.
    switch (runConfigDialog(settings)) {
    case DialogOutcome::kGo:
        break;
    case DialogOutcome::kCancel:
        return 0;
    case DialogOutcome::kNoDisplay:
        std::fprintf(stderr, "indahouse: no display to show the window on; to render the show "
                             "to a video instead: build/tools/capture build/showdir --size "
                             "640x480 --fps 30 --video show.mp4\n");
        fatalError(kConfigDialogModule, kConfigDialogFailure);
    }

    createWindow(kWindowTitle, settings.screenWidth, settings.screenHeight, settings.colourDepth,
                 settings.fullScreen);

    // Loading ends with the music started; the play time is its position.
    MusicSettings music;
    const MusicStart start = settings.music ? MusicStart::WithSound : MusicStart::Silent;
    if (ShowError error = loadShow(music, start)) report(error);
    enableSpectrum();
    const int32_t endTime = showEndTime(music);

    std::array<float, kSpectrumSize> frameSpectrum{};
    do {
        pumpWindowMessage();
        const int32_t time = musicTime();
        readSpectrum(frameSpectrum.data());
        showFrame(time, frameSpectrum.data(), swapBuffers);
    } while (windowActive() && playTime <= endTime - kShowEndMargin);

    if (music.musicFile) stopMusic();
    releaseShow();
    closeWindow();
    return 0;
}

int playLive(int argc, char** argv) {
    LiveOptions options;
    if (int code = parseLiveOptions(argc, argv, options); code >= 0) return code;
    settings = Settings{options.width, options.height, kLiveColourDepth, false, !options.mute};
    createWindow(kLiveWindowTitle, settings.screenWidth, settings.screenHeight,
                 settings.colourDepth, settings.fullScreen);

    MusicSettings music;
    ScenePlacements placements;
    ScriptWarnings warnings;
    if (ShowError error = loadShow(music, MusicStart::None, &placements, &warnings))
        reportLive(error);
    // Started after loading, for runLiveShow to hold until its first frame.
    const MusicStart start = settings.music ? MusicStart::WithSound : MusicStart::Silent;
    if (ShowError error = startShowMusic(music, start)) reportLive(error);
    enableSpectrum();
    runLiveShow(music, placements, options, warnings);

    if (music.musicFile) stopMusic();
    releaseShow();
    closeWindow();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    startProgram(argc, argv);
    return argc > 1 ? playLive(argc, argv) : playShow();
}
