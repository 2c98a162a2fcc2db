#include "show/show_directory.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "show/x_driver.h"

// The GL drivers, loaded and unloaded by SDL, leave allocations that the leak
// checker cannot attribute; the engine's own leaks are checked by the unit
// and GL tests, so the show program's runs skip that check.
const char* const kChildSanitizer = "ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0";

namespace {

// The centre of the dialog's Music box in pixels: its dialog units (12, 82,
// 53 x 8) at 1.5 pixels across and 1.625 down.
constexpr int kMusicBoxX = (2 * 12 + 53) * 3 / 4;
constexpr int kMusicBoxY = (2 * 82 + 8) * 13 / 16;

int runThroughDialog(const std::string& dir, const std::string& environment, bool music) {
    const char* exe = std::getenv("TEST_SHOW_EXE");
    const std::string display = testDisplay();
    if (!exe || display.empty()) return -1;
    const pid_t show = startProgram(dir, display,
                                    std::string(kChildSanitizer) + " " + environment + " '" + exe +
                                        "' > show.log 2>&1");
    // Enter on the dialog is "Go!".
    if (const unsigned long dialog = waitForWindow(display, "Config", show)) {
        if (!music) clickAt(display, dialog, kMusicBoxX, kMusicBoxY);
        pressKeys(display, dialog, "Return");
    }
    return waitForExit(show);
}

} // namespace

int runShow(const std::string& dir, const std::string& environment) {
    return runThroughDialog(dir, environment, true);
}

int runShowWithoutMusic(const std::string& dir, const std::string& environment) {
    return runThroughDialog(dir, environment, false);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
