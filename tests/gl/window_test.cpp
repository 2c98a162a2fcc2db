// The window layer on SDL's offscreen driver and on a real X server (the
// shared Xvfb, one mode of 800 x 600; skipped without a display), and the
// fatal-error report. Death tests run the program again for their
// statement: nothing forks a GL process.
#include <SDL.h>

#include "gl_fixture.h"
#include "platform/fatal_error.h"
#include "support/x_driver.h"

namespace {

class WindowTest : public testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override { closeWindow(); }
};

class FatalError : public WindowTest {
  protected:
    ScratchDirectory scratch;
};

constexpr const char* kTitle = "kiln x11 test";

class X11Window : public WindowTest {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
        setenv("SDL_VIDEODRIVER", "x11", 1);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

// A key press, the close request or quit.
SDL_Event sdlEvent(Uint32 type, SDL_Keycode key = 0) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_KEYDOWN) event.key.state = SDL_PRESSED, event.key.keysym.sym = key;
    if (type == SDL_WINDOWEVENT) event.window.event = SDL_WINDOWEVENT_CLOSE;
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
        createWindow("kiln test", c.width, c.height, c.depth, c.fullScreen);
        EXPECT_TRUE(windowActive());
        EXPECT_EQ(drawableSize().width, c.width);
        EXPECT_EQ(drawableSize().height, c.height);
        EXPECT_TRUE(glInteger(GL_RED_BITS) >= c.redBlue && glInteger(GL_GREEN_BITS) >= c.green &&
                    glInteger(GL_BLUE_BITS) >= c.redBlue && glInteger(GL_DEPTH_BITS) >= 16);
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), c.fullScreen ? SDL_DISABLE : SDL_ENABLE);
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
    for (const SDL_Event& ending :
         {sdlEvent(SDL_KEYDOWN, SDLK_ESCAPE), sdlEvent(SDL_WINDOWEVENT), sdlEvent(SDL_QUIT)}) {
        SCOPED_TRACE(ending.type);
        createWindow("kiln test", 64, 48, 32, false);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); // what the driver queued at creation
        for (SDL_Event pushed :
             {sdlEvent(SDL_KEYDOWN, SDLK_a), sdlEvent(SDL_KEYDOWN, SDLK_RETURN), ending})
            ASSERT_EQ(SDL_PushEvent(&pushed), 1);
        pumpWindowMessage();
        pumpWindowMessage();
        EXPECT_TRUE(windowActive());
        pumpWindowMessage();
        EXPECT_FALSE(windowActive());
        EXPECT_EQ(drawableSize().width, 64);
        EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
        closeWindow();
    }
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

// Keys under X: the show's run in tests/makeshow.
TEST_F(X11Window, WindowedAtTenTenWithItsTitleAndClass) {
    createWindow(kTitle, 320, 240, 32, false);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr);
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_TRUE(x == 10 && y == 10) << x << ", " << y;
    EXPECT_EQ(SDL_GetWindowFlags(window) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN), 0u);
    EXPECT_EQ(glInteger(GL_DOUBLEBUFFER), GL_TRUE);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), SDL_FALSE);
    swapBuffers();
    SDL_PumpEvents();
    const std::string display = std::getenv("DISPLAY");
    const unsigned long id = waitForWindow(display, kTitle, 0, 10);
    ASSERT_NE(id, 0u) << "no window titled " << kTitle;
    EXPECT_EQ(findWindow(display, "--class '^kilnGL$'"), id);
}

// The screen's one mode is taken, at either depth; any other is refused.
TEST_F(X11Window, FullScreenCoversTheScreenInItsModeAndRefusesAnyOther) {
    createWindow(kTitle, 800, 600, 16, true);
    EXPECT_EQ(drawableSize().width, 800);
    EXPECT_EQ(drawableSize().height, 600);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    closeWindow();
    ScratchDirectory scratch;
    EXPECT_EXIT(createWindow(kTitle, 640, 480, 32, true), testing::ExitedWithCode(1),
                "Screen resolution is not supported by your gfx card!");
    EXPECT_EQ(readFile("error.txt"),
              errorReport("kglWinAPI", "Screen resolution is not supported by your gfx card!"));
}
