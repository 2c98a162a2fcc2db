// The show program: settings, window, loading, the frame loop, teardown.
// It takes no command-line options and reads everything relative to the
// working directory.
#include <array>
#include <cstdint>
#include <cstdio>

#include "runtime/fatal_error.h"
#include "runtime/window.h"
#include "sequencing/music.h"
#include "show/config_dialog.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace {

constexpr const char* kWindowTitle = "Zorvath in da house!";
// The show stops with the first frame later than this before the end time.
constexpr int32_t kEndMargin = 100;

[[noreturn]] void report(const ShowError& error) {
    if (!error.detail.empty()) std::fprintf(stderr, "%s\n", error.detail.c_str());
    fatalError(error.module, error.message);
}

} // namespace

int main() {
    // `settings` starts with the defaults; the dialog edits them in place.
    switch (runConfigDialog(settings)) {
    case DialogOutcome::kGo:
        break;
    case DialogOutcome::kCancel:
        return 0;
    case DialogOutcome::kNoDisplay:
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
    } while (windowActive() && playTime <= endTime - kEndMargin);

    if (music.musicFile) stopMusic();
    releaseShow();
    closeWindow();
    return 0;
}
