// Drives programs on the test run's X server as a user would: start a
// program in the background, wait for its window by title, type keys and
// click (xdotool), ask the window to close as a window manager's close box
// does, and collect the exit code.
//
//   const std::string display = testDisplay();
//   const pid_t pid = startProgram(dir, display, "'" + exe + "' > out.txt 2>&1");
//   const unsigned long window = waitForWindow(display, "Config", pid);
//   pressKeys(display, window, "Return");
//   EXPECT_EQ(waitForExit(pid), 0);
#pragma once

#include <string>
#include <sys/types.h>

// ":N" of the run's shared Xvfb while it runs (its number is in
// TEST_XVFB_DIR/display, see tests/support/shared_xvfb.sh), else $DISPLAY,
// else "".
std::string testDisplay();

// Runs `commandLine` with /bin/sh in `dir` on `display`, in the background
// and in a process group of its own. Returns its process id (-1 on failure).
pid_t startProgram(const std::string& dir, const std::string& display,
                   const std::string& commandLine);

// Waits for a mapped window whose title is exactly `title` (no regular
// expression characters); its id, or 0 when `program` ended first or the
// wait timed out.
unsigned long waitForWindow(const std::string& display, const std::string& title, pid_t program,
                            int timeoutSeconds = 60);

// Whether a mapped window titled exactly `title` exists.
bool windowShown(const std::string& display, const std::string& title);

// Focuses the window, then types the keys (xdotool names, e.g. "Tab Return").
bool pressKeys(const std::string& display, unsigned long window, const std::string& keys);

// Clicks the left button at (x, y) pixels inside the window.
bool clickAt(const std::string& display, unsigned long window, int x, int y);

// Sends the window the close request a window manager sends for its close box.
bool requestClose(const std::string& display, unsigned long window);

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
};
// The window's position on the screen and its size, in pixels.
WindowRect windowRect(const std::string& display, unsigned long window);

// Waits for the program to end: its exit code, or -1 when it did not exit
// normally within the time (it is then killed with its process group).
// waitForExit(program, 0) ends a program that is still running.
int waitForExit(pid_t program, int timeoutSeconds = 180);
