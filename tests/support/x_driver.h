// Drives programs on the test run's X server as a user would, with xdotool
// (its search arguments and key names) and, for the close box, Xlib.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// xdotool's output for `arguments` on `display`.
std::string xdotool(const std::string& display, const std::string& arguments);
// ":N" of the run's shared Xvfb (see tests/support/shared_xvfb.sh), else $DISPLAY.
std::string testDisplay();
// The first mapped window that `search` finds (e.g. "--class '^kilnGL$'"), or 0.
unsigned long findWindow(const std::string& display, const std::string& search);
// Waits for a window titled exactly `title` while `program` (unless 0) runs; 0 if none came.
unsigned long waitForWindow(const std::string& display, const std::string& title, pid_t program,
                            int timeoutSeconds = 60);
void pressKeys(const std::string& display, unsigned long window, const std::string& keys);
// The close request a window manager sends for its close box.
void requestClose(const std::string& display, unsigned long window);
// The exit code, or -1 (the process group then killed) when none came in time.
int waitForExit(pid_t program, int timeoutSeconds = 180);
std::string readFile(const std::string& path); // "" when missing

// Runs the shell `commandLine` in `dir` on `display`, in a process group of its own, with leak
// checks off (see startShow).
pid_t startProgram(const std::string& dir, const std::string& display,
                   const std::string& commandLine);
// The window's pixels as RGB bytes, top row first (a 24-bit TrueColor screen as Xvfb's).
std::vector<uint8_t> grabWindow(const std::string& display, unsigned long window);

inline constexpr const char* kShowTitle = "Zorvath in da house!";
struct ShowProcess {
    pid_t pid = -1;
    unsigned long dialog = 0; // its configuration dialog, 0 if none showed
};
// Starts the show program `exe` (or the dialog probe) in `dir`, in a process group of its own,
// with `environment` and `arguments`, its output in show.log; waits for its dialog. Leak checks
// are off: the GL drivers leave allocations the checker cannot attribute.
ShowProcess startShow(const std::string& dir, const std::string& display, const std::string& exe,
                      const std::string& environment = "", const std::string& arguments = "");
