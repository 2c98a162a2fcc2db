// The window layer on SDL's offscreen driver and on a real X server (run by
// ctest on the shared Xvfb, whose one mode is 800 x 600; skipped without a
// display), and the fatal-error report that ends the show. Death tests run
// the test program again for their statement: nothing forks a GL process.
#include <SDL.h>

#include <chrono>
#include <thread>

#include "gl_fixture.h"
#include "runtime/fatal_error.h"
#include "show/x_driver.h"

namespace {

class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        useOffscreenDriver();
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override { closeWindow(); }
};

SDL_Event keyDown(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    return event;
}

} // namespace

// The offscreen driver lists no real display modes, so any full-screen size
// is taken. Each window is closed completely, and a new one can follow.
TEST_F(WindowTest, CreateMakesACurrentContextOfTheSizeAndBitsAskedForAndCloseReleasesIt) {
    closeWindow(); // before any window: nothing to do
    const struct {
        int32_t width, height, depth;
        bool fullScreen;
        GLint redBlue, green;
    } cases[] = {{200, 150, 32, false, 8, 8}, {64, 48, 16, false, 5, 6}, {96, 72, 32, true, 8, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        EXPECT_FALSE(windowActive());
        createWindow("kiln test", c.width, c.height, c.depth, c.fullScreen);
        EXPECT_TRUE(windowActive());
        EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
        EXPECT_EQ(drawableSize().width, c.width);
        EXPECT_EQ(drawableSize().height, c.height);
        EXPECT_GE(glInteger(GL_RED_BITS), c.redBlue);
        EXPECT_GE(glInteger(GL_GREEN_BITS), c.green);
        EXPECT_GE(glInteger(GL_BLUE_BITS), c.redBlue);
        EXPECT_GE(glInteger(GL_DEPTH_BITS), 16);
        if (c.fullScreen) {
            EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
        }
        glBegin(GL_QUADS); // the immediate-mode pipeline the show draws with
        glEnd();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        closeWindow();
        EXPECT_FALSE(windowActive());
        EXPECT_EQ(drawableSize().width, 0);
        EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
        closeWindow();
        swapBuffers(); // without a window: nothing
    }
}

// One event per call. The window and its context stay until closeWindow, so
// the frame can finish.
TEST_F(WindowTest, PumpHandlesOneEventAndOnlyEscapeCloseOrQuitEndTheShow) {
    SDL_Event close{}, quit{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    quit.type = SDL_QUIT;
    for (const SDL_Event& ending : {keyDown(SDLK_ESCAPE), close, quit}) {
        SCOPED_TRACE(ending.type);
        createWindow("kiln test", 64, 48, 32, false);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); // what the driver queued at creation
        for (SDL_Event event : {keyDown(SDLK_a), keyDown(SDLK_RETURN), ending})
            ASSERT_EQ(SDL_PushEvent(&event), 1);
        pumpWindowMessage();
        pumpWindowMessage();
        EXPECT_TRUE(windowActive());
        pumpWindowMessage();
        EXPECT_FALSE(windowActive());
        EXPECT_EQ(drawableSize().width, 64);
        EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
        pumpWindowMessage(); // nothing waiting: returns at once
        closeWindow();
    }
}

namespace {

class FatalError : public WindowTest {
  protected:
    ScratchDirectory scratch;
};

} // namespace

TEST_F(FatalError, ReportIsFourLinesEndedByCarriageReturnLineFeed) {
    constexpr const char* kHeading = "Sorry, but the following module had something to say:";
    EXPECT_EQ(errorReport("kglTexture", "Could not load Texture"),
              std::string(kHeading) + "\r\n\r\nkglTexture\r\nCould not load Texture\r\n");
    EXPECT_EQ(errorReport("", ""), std::string(kHeading) + "\r\n\r\n\r\n\r\n");
}

TEST_F(FatalError, ReplacesAnOlderReportReleasesTheWindowAndExitsWithOne) {
    writeBytes("error.txt", std::vector<uint8_t>(4000, 'x'));
    EXPECT_EXIT(
        {
            createWindow("kiln test", 64, 48, 32, false);
            fatalError("kglParticle", "Too many Particles initialized");
        },
        testing::ExitedWithCode(1),
        "following module had something to say:\n\nkglParticle\nToo many Particles initialized");
    EXPECT_EQ(readFile("error.txt"), errorReport("kglParticle", "Too many Particles initialized"));
}

TEST_F(FatalError, AReportThatCannotBeWrittenStillEndsTheShowOnStderr) {
    fs::create_directory("error.txt"); // a directory cannot be opened as a file
    EXPECT_EXIT(fatalError("kglWinAPI", "Could not create kglWindow!"), testing::ExitedWithCode(1),
                "could not write error.txt: .*\n(.|\n)*kglWinAPI\nCould not create kglWindow!");
}

namespace {

constexpr const char* kTitle = "kiln x11 test";

class X11Window : public WindowTest {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
        setenv("SDL_VIDEODRIVER", "x11", 1);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

} // namespace

TEST_F(X11Window, WindowedAtTenTenWithItsTitleAndClassAndOnlyEscapeEndsTheShow) {
    createWindow(kTitle, 320, 240, 32, false);
    EXPECT_EQ(drawableSize().width, 320);
    EXPECT_EQ(drawableSize().height, 240);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr);
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 10);
    EXPECT_EQ(SDL_GetWindowFlags(window) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN), 0u);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_EQ(doubleBuffered, GL_TRUE);
    EXPECT_GE(glInteger(GL_DEPTH_BITS), 16);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), SDL_FALSE);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    uint8_t pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(319, 239, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[1], 255); // the top-right corner is inside the drawable
    swapBuffers();

    const std::string display = std::getenv("DISPLAY");
    SDL_PumpEvents();
    const unsigned long id = waitForWindow(display, kTitle, 0, 10);
    ASSERT_NE(id, 0u) << "no window titled " << kTitle;
    EXPECT_EQ(findWindow(display, "--class '^kilnGL$'"), id);
    pressKeys(display, id, "a space");
    for (int i = 0; i < 200; ++i) pumpWindowMessage();
    EXPECT_TRUE(windowActive());
    pressKeys(display, id, "Escape");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (windowActive() && std::chrono::steady_clock::now() < deadline) {
        pumpWindowMessage();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(windowActive());
    EXPECT_EQ(drawableSize().width, 320); // still there until closeWindow
}

TEST_F(X11Window, FullScreenInTheScreensModeCoversItAndHidesTheCursor) {
    for (int32_t depth : {32, 16}) {
        createWindow(kTitle, 800, 600, depth, true);
        EXPECT_EQ(drawableSize().width, 800) << depth;
        EXPECT_EQ(drawableSize().height, 600) << depth;
        SDL_Window* window = SDL_GL_GetCurrentWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u) << depth;
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE) << depth;
        closeWindow();
    }
}

TEST_F(X11Window, FullScreenInAModeTheScreenLacksIsRefused) {
    ScratchDirectory scratch;
    EXPECT_EXIT(createWindow(kTitle, 640, 480, 32, true), testing::ExitedWithCode(1),
                "Screen resolution is not supported by your gfx card!");
    EXPECT_EQ(readFile("error.txt"),
              errorReport("kglWinAPI", "Screen resolution is not supported by your gfx card!"));
}
