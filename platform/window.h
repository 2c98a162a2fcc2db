// The show's one window with its OpenGL context, windowed or full screen.
//
//   createWindow("title", 800, 600, 32, true); // context current on return
//   while (windowActive()) {
//       pumpWindowMessage();                    // one waiting event per frame
//       ... draw ...
//       swapBuffers();
//   }
//   closeWindow();                              // context, window, display mode
//
// Every failure of createWindow goes to fatalError under kWindowModule and
// does not return. This header is the whole platform surface the rest of the
// system sees; only window.cpp knows about SDL.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kWindowModule = "kglWinAPI";
// The window class name; SDL has no classes, so it becomes the application
// name (the X11 WM_CLASS) or, on Windows, the registered class.
inline constexpr const char* kWindowClassName = "kilnGL";

// Opens the window, double-buffered with a 16-bit depth buffer and
// `colourDepth` (16 or 32) colour bits, drawing into width x height pixels.
// Windowed: caption and system menu, client area at (10, 10). Full screen:
// the display mode width x height, cursor hidden. Marks the window active.
void createWindow(const std::string& title, int32_t width, int32_t height, int32_t colourDepth,
                  bool fullScreen);

// Releases the context and the window, restores the desktop's display mode
// and shows the cursor. Safe to call at any time, also twice.
void closeWindow();

// True from createWindow until Escape is pressed or the window is closed or
// released; nothing else clears it.
bool windowActive();

// Handles at most one waiting window event and never waits: Escape and a
// close request clear windowActive() (the window stays until closeWindow),
// every other event does nothing.
void pumpWindowMessage();

// The live mode's input: keys and the mouse. It takes every waiting event
// in turn, and pointer motion is reported once the first call has been made
// (the show itself never asks, so motion never queues in front of Escape).
// Escape and a close request clear windowActive() as pumpWindowMessage does.
// Hover: the pointer moved with no button held (x = y = -1: it left the
// window). Redraw: the window was uncovered or resized, so its picture must
// be drawn again.
enum class InputKind { Key, ButtonDown, Drag, ButtonUp, Hover, Redraw };
enum class InputKey { Other, Space, Left, Right, PageUp, PageDown, Home, L, H };
struct InputEvent {
    InputKind kind = InputKind::Key;
    InputKey key = InputKey::Other; // for Key
    bool shift = false;             // for Key
    int32_t x = 0, y = 0;           // window pixels from the top left, for the mouse
};
// False when no event waits.
bool pollInput(InputEvent& event);
// Sleeps until an event waits or `timeoutMs` have passed, whichever is first
// (a negative timeout: until an event waits): a paused live mode rests here
// instead of drawing the same picture again.
void waitForInput(int32_t timeoutMs);
// From any thread: ends the waitForInput in progress, or the next one, at
// once; pollInput takes the wake-up without reporting it. Calls that come
// before the wait has ended give one wake-up. Does nothing without a window.
void wakeInputWait();

// Presents the frame drawn into the back buffer.
void swapBuffers();

// Pixels the context draws into (0 x 0 without a window).
struct DrawableSize {
    int32_t width = 0;
    int32_t height = 0;
};
DrawableSize drawableSize();
