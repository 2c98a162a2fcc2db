// The window layer on SDL2. The only file of the show that includes SDL.
#include "platform/window.h"

#if defined(__SANITIZE_ADDRESS__)
#define WINDOW_CHECKS_LEAKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WINDOW_CHECKS_LEAKS 1
#endif
#endif
#ifdef WINDOW_CHECKS_LEAKS
#include <sanitizer/lsan_interface.h>
#endif

#include <SDL.h>
#include <cstdio>

#include "platform/fatal_error.h"

namespace {

constexpr int kWindowedX = 10;
constexpr int kWindowedY = 10;
constexpr int kDepthBufferBits = 16;
constexpr int kHighColourDepth = 16; // 5-6-5 bits; any other depth gets 8 bits a channel
constexpr int kHighColourRedBlueBits = 5;
constexpr int kHighColourGreenBits = 6;
constexpr int kTrueColourChannelBits = 8;
// What wakeInputWait posts; nothing else in the show uses SDL's user events.
constexpr Uint32 kWakeEvent = SDL_USEREVENT;

// Window state, one window per process.
struct WindowState {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool videoStarted = false;
    bool active = false;
    bool pointerMotion = false; // the live mode asked for it
};
WindowState state;

[[noreturn]] void fail(const char* message) {
    // The report holds only the fixed texts; SDL's own reason helps on a terminal.
    std::fprintf(stderr, "%s: %s\n", kWindowModule, SDL_GetError());
    fatalError(kWindowModule, message);
}

bool depthMatches(Uint32 format, int32_t colourDepth) {
    const int bits = SDL_BITSPERPIXEL(format);
    // SDL counts a 32-bit mode without alpha as 24 bits; 15-bit modes are
    // what some drivers call 16-bit.
    if (colourDepth == kHighColourDepth) return bits == 15 || bits == 16;
    return bits >= 24;
}

// The display mode width x height, preferably at the colour depth asked for.
// Today's displays rarely switch depth, so a mode of the right size at
// another depth is taken too: the depth still goes into the pixel format.
// A display that lists no real modes (a headless driver) has nothing to
// switch and takes any size.
bool findDisplayMode(int32_t width, int32_t height, int32_t colourDepth, SDL_DisplayMode& found,
                     bool& switchMode) {
    bool anyRealMode = false;
    switchMode = false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        if (mode.w > 0 && mode.h > 0) anyRealMode = true;
        if (mode.w != width || mode.h != height) continue;
        if (depthMatches(mode.format, colourDepth)) {
            found = mode;
            switchMode = true;
            return true;
        }
        if (!switchMode) found = mode;
        switchMode = true;
    }
    return switchMode || !anyRealMode;
}

void requestPixelFormat(int32_t colourDepth) {
    const bool highColour = colourDepth == kHighColourDepth;
    const int redBlue = highColour ? kHighColourRedBlueBits : kTrueColourChannelBits;
    const int green = highColour ? kHighColourGreenBits : kTrueColourChannelBits;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, redBlue);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, redBlue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, kDepthBufferBits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// Brings up SDL's video under the window class name; the counterpart of
// registering the class.
bool startVideo() {
    SDL_SetMainReady(); // the show's main is a plain main, not SDL's
#ifdef _WIN32
    constexpr Uint32 kRedrawOnResize = 0x0001 | 0x0002; // CS_VREDRAW | CS_HREDRAW
    if (SDL_RegisterApp(kWindowClassName, kRedrawOnResize, nullptr) != 0) return false;
#endif
    // X11 and Wayland take the window class from these; a user's own setting wins.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", kWindowClassName, 0);
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", kWindowClassName, 0);
    SDL_SetHint(SDL_HINT_APP_NAME, kWindowClassName);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    state.videoStarted = true;
    // The loop handles one event per frame; pointer motion and text input
    // would pile up in front of Escape, so they are never queued.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_EventState(SDL_TEXTINPUT, SDL_IGNORE);
    SDL_EventState(SDL_TEXTEDITING, SDL_IGNORE);
    return true;
}

} // namespace

void createWindow(const std::string& title, int32_t width, int32_t height, int32_t colourDepth,
                  bool fullScreen) {
    if (!startVideo()) fail("Could not register kglWindow!");

    SDL_DisplayMode mode{};
    bool switchMode = false;
    if (fullScreen && !findDisplayMode(width, height, colourDepth, mode, switchMode)) {
        SDL_SetError("no display mode %dx%d", int(width), int(height));
        fail("Screen resolution is not supported by your gfx card!");
    }

    requestPixelFormat(colourDepth);
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (fullScreen) flags |= SDL_WINDOW_FULLSCREEN;
    const int x = fullScreen ? 0 : kWindowedX;
    const int y = fullScreen ? 0 : kWindowedY;
    state.window = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
    if (state.window == nullptr) fail("Could not create kglWindow!");
    state.active = true;

    if (fullScreen) {
        if (switchMode && SDL_SetWindowDisplayMode(state.window, &mode) != 0)
            fail("Screen resolution is not supported by your gfx card!");
        SDL_ShowCursor(SDL_DISABLE);
    }
    // The screen saver and monitor power-down stay off while the show runs.
    SDL_DisableScreenSaver();

    state.context = SDL_GL_CreateContext(state.window);
    if (state.context == nullptr || SDL_GL_MakeCurrent(state.window, state.context) != 0)
        fail("Could not initialise kglWindow!");
}

void closeWindow() {
#ifdef WINDOW_CHECKS_LEAKS
    // The sanitizer build looks for leaks here, once the program has freed
    // what it owns and while the GL driver is still loaded: at exit the
    // driver is gone, and its own allocations show frames that can no longer
    // be named, so they could not be told from ours. Once per process.
    if (state.videoStarted) __lsan_do_leak_check();
#endif
    if (state.context != nullptr) {
        SDL_GL_MakeCurrent(state.window, nullptr);
        SDL_GL_DeleteContext(state.context);
    }
    if (state.window != nullptr) {
        SDL_ShowCursor(SDL_ENABLE);
        SDL_DestroyWindow(state.window); // leaves full screen: the desktop mode returns
    }
    if (state.videoStarted) {
        SDL_EnableScreenSaver();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        // Last one out (the sound may still use SDL) shuts the rest of SDL down.
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
#ifdef _WIN32
        SDL_UnregisterApp();
#endif
    }
    state = WindowState{};
}

bool windowActive() {
    return state.active;
}

void pumpWindowMessage() {
    SDL_Event event;
    if (SDL_PollEvent(&event) == 0) return;
    switch (event.type) {
    case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE) state.active = false;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) state.active = false;
        break;
    case SDL_QUIT: // also Ctrl+C on a terminal
        state.active = false;
        break;
    default:
        break;
    }
}

namespace {

InputKey keyOf(SDL_Keycode code) {
    switch (code) {
    case SDLK_SPACE:
        return InputKey::Space;
    case SDLK_LEFT:
        return InputKey::Left;
    case SDLK_RIGHT:
        return InputKey::Right;
    case SDLK_PAGEUP:
        return InputKey::PageUp;
    case SDLK_PAGEDOWN:
        return InputKey::PageDown;
    case SDLK_HOME:
        return InputKey::Home;
    case SDLK_l:
        return InputKey::L;
    case SDLK_h:
        return InputKey::H;
    default:
        return InputKey::Other;
    }
}

// Whether `event` is one for the live mode; fills `input` if so.
bool translateInput(const SDL_Event& event, InputEvent& input) {
    switch (event.type) {
    case SDL_KEYDOWN:
        input.kind = InputKind::Key;
        input.key = keyOf(event.key.keysym.sym);
        input.shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
        return input.key != InputKey::Other;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event.button.button != SDL_BUTTON_LEFT) return false;
        input.kind =
            event.type == SDL_MOUSEBUTTONDOWN ? InputKind::ButtonDown : InputKind::ButtonUp;
        input.x = event.button.x;
        input.y = event.button.y;
        return true;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_LEAVE) {
            input = {InputKind::Hover, InputKey::Other, false, -1, -1};
            return true;
        }
        input.kind = InputKind::Redraw;
        return event.window.event == SDL_WINDOWEVENT_EXPOSED ||
               event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
               event.window.event == SDL_WINDOWEVENT_RESTORED;
    case SDL_MOUSEMOTION:
        input.kind =
            (event.motion.state & SDL_BUTTON_LMASK) != 0 ? InputKind::Drag : InputKind::Hover;
        input.x = event.motion.x;
        input.y = event.motion.y;
        return true;
    default:
        return false;
    }
}

} // namespace

bool pollInput(InputEvent& input) {
    if (!state.pointerMotion) {
        SDL_EventState(SDL_MOUSEMOTION, SDL_ENABLE);
        state.pointerMotion = true;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        const bool escape = event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE;
        const bool close = event.type == SDL_QUIT || (event.type == SDL_WINDOWEVENT &&
                                                      event.window.event == SDL_WINDOWEVENT_CLOSE);
        if (escape || close) state.active = false;
        input = InputEvent{};
        if (translateInput(event, input)) return true;
    }
    return false;
}

void waitForInput(int32_t timeoutMs) {
    SDL_WaitEventTimeout(nullptr, timeoutMs);
}

void wakeInputWait() {
    // SDL's queue is safe from any thread, and refuses events while video is
    // down. Wake-ups are no input, so one waiting is enough.
    if (SDL_HasEvent(kWakeEvent)) return;
    SDL_Event event{};
    event.type = kWakeEvent;
    SDL_PushEvent(&event);
}

void swapBuffers() {
    if (state.window != nullptr) SDL_GL_SwapWindow(state.window);
}

DrawableSize drawableSize() {
    DrawableSize size;
    if (state.window != nullptr) {
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(state.window, &width, &height);
        size = {width, height};
    }
    return size;
}
