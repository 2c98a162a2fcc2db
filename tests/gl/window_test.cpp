// The window layer on SDL's offscreen driver: context, sizes and the
// message pump. The X11 cases live in x11_window_test.cpp.
#include <SDL.h>

#include "gl_support.h"

namespace {

void pushKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void pushCloseRequest() {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// Drains whatever the driver queued at creation, so pushed events come next.
void drainEvents() {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

class WindowTest : public testing::Test {
  protected:
    void SetUp() override { useOffscreenDriver(); }
    void TearDown() override { closeWindow(); }
};

} // namespace

TEST_F(WindowTest, CreateMakesACurrentContextOfTheRequestedSize) {
    EXPECT_FALSE(windowActive());
    createWindow("kiln test", 200, 150, 32, false);
    EXPECT_TRUE(windowActive());
    EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
    const DrawableSize size = drawableSize();
    EXPECT_EQ(size.width, 200);
    EXPECT_EQ(size.height, 150);
    EXPECT_GE(glInteger(GL_DEPTH_BITS), 16);
    EXPECT_GE(glInteger(GL_RED_BITS), 8);
    EXPECT_GE(glInteger(GL_GREEN_BITS), 8);
    EXPECT_GE(glInteger(GL_BLUE_BITS), 8);
    // The immediate-mode pipeline the show draws with is there.
    glBegin(GL_QUADS);
    glEnd();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(WindowTest, HighColourAsksForAtLeastFiveSixFive) {
    createWindow("kiln test", 64, 48, 16, false);
    EXPECT_GE(glInteger(GL_RED_BITS), 5);
    EXPECT_GE(glInteger(GL_GREEN_BITS), 6);
    EXPECT_GE(glInteger(GL_BLUE_BITS), 5);
    EXPECT_GE(glInteger(GL_DEPTH_BITS), 16);
}

TEST_F(WindowTest, FullScreenTakesTheSizeAndHidesTheCursor) {
    // The offscreen driver lists no real display modes, so any size is taken.
    createWindow("kiln test", 96, 72, 32, true);
    EXPECT_EQ(drawableSize().width, 96);
    EXPECT_EQ(drawableSize().height, 72);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(WindowTest, PumpHandlesOneEventAndOnlyEscapeOrCloseEndTheShow) {
    createWindow("kiln test", 64, 48, 32, false);
    drainEvents();
    pushKey(SDLK_a);
    pushKey(SDLK_RETURN);
    pushKey(SDLK_ESCAPE);
    pumpWindowMessage(); // a
    pumpWindowMessage(); // Return
    EXPECT_TRUE(windowActive());
    pumpWindowMessage(); // Escape
    EXPECT_FALSE(windowActive());
    // The window and its context stay until closeWindow: the frame can finish.
    EXPECT_EQ(drawableSize().width, 64);
    EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr);
    pumpWindowMessage(); // nothing waiting: returns at once
    EXPECT_FALSE(windowActive());
}

TEST_F(WindowTest, CloseRequestOrQuitEndTheShow) {
    createWindow("kiln test", 64, 48, 32, false);
    drainEvents();
    pushCloseRequest();
    pumpWindowMessage();
    EXPECT_FALSE(windowActive());
    closeWindow();

    createWindow("kiln test", 64, 48, 32, false);
    drainEvents();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    pumpWindowMessage();
    EXPECT_FALSE(windowActive());
}

TEST_F(WindowTest, CloseReleasesEverythingAndMayRunTwice) {
    closeWindow(); // before any window: nothing to do
    createWindow("kiln test", 64, 48, 32, false);
    closeWindow();
    EXPECT_FALSE(windowActive());
    EXPECT_EQ(drawableSize().width, 0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    closeWindow();
    swapBuffers(); // without a window: nothing
    // A new window after the old one is released.
    createWindow("kiln test", 32, 24, 32, false);
    EXPECT_TRUE(windowActive());
    EXPECT_EQ(drawableSize().width, 32);
}
