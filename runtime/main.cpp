// The show program: settings, window, loading, the frame loop, teardown.
// It takes no command-line options and reads everything relative to the
// working directory.
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "runtime/fatal_error.h"
#include "runtime/window.h"
#include "show/config_dialog.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace {

constexpr const char* kWindowTitle = "Zorvath in da house!";
// The show stops with the first frame later than this before the end time.
constexpr int32_t kEndMargin = 100;

// Until the music drives the show, its clock runs from the first frame.
class ShowClock {
  public:
    ShowClock() : start_(std::chrono::steady_clock::now()) {}
    int32_t milliseconds() const {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        return static_cast<int32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

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

    MusicSettings music;
    if (ShowError error = loadShow(music)) report(error);
    const int32_t endTime = showEndTime(music);

    const ShowClock clock;
    do {
        pumpWindowMessage();
        showFrame(clock.milliseconds(), nullptr, swapBuffers);
    } while (windowActive() && playTime <= endTime - kEndMargin);

    releaseShow();
    closeWindow();
    return 0;
}
