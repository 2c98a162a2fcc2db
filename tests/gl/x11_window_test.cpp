// The window layer on a real X server. Run by ctest under Xvfb with an
// 800 x 600 screen (see tests/CMakeLists.txt); skipped without a display.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "gl_support.h"
#include "runtime/fatal_error.h"

namespace {

constexpr int32_t kScreenWidth = 800;
constexpr int32_t kScreenHeight = 600;
constexpr const char* kTitle = "kiln x11 test";

// Runs a command and returns its standard output.
std::string run(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        pclose(pipe);
    }
    return output;
}

bool haveXdotool() {
    return !run("command -v xdotool").empty();
}

class X11Window : public testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
        setenv("SDL_VIDEODRIVER", "x11", 1);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    void TearDown() override { closeWindow(); }
};

} // namespace

TEST_F(X11Window, WindowedClientAreaIsTheRequestedSizeAtTenTen) {
    createWindow(kTitle, 320, 240, 32, false);
    const DrawableSize size = drawableSize();
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 240);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr);
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 10);
    EXPECT_EQ(SDL_GetWindowFlags(window) & (SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN), 0u);
    EXPECT_STREQ(SDL_GetWindowTitle(window), kTitle);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_EQ(doubleBuffered, GL_TRUE);
    EXPECT_GE(glInteger(GL_DEPTH_BITS), 16);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), SDL_FALSE);

    // A swapped frame reaches the window: what was drawn into the back buffer.
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    uint8_t pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(319, 239, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[1], 255); // the top-right corner is inside the drawable
    swapBuffers();
}

TEST_F(X11Window, TheWindowClassIsKilnGL) {
    if (!haveXdotool()) GTEST_SKIP() << "needs xdotool";
    createWindow(kTitle, 64, 48, 32, false);
    EXPECT_NE(run("xdotool search --class '^kilnGL$'"), "");
}

TEST_F(X11Window, EscapeFromTheKeyboardEndsTheShowOtherKeysDoNot) {
    if (!haveXdotool()) GTEST_SKIP() << "needs xdotool";
    createWindow(kTitle, 64, 48, 32, false);
    SDL_PumpEvents();
    const std::string id = run(std::string("xdotool search --name '^") + kTitle + "$' | head -1");
    ASSERT_NE(id, "");
    const std::string window = id.substr(0, id.find('\n'));
    run("xdotool windowfocus --sync " + window + " key a key space");
    for (int i = 0; i < 200; ++i) pumpWindowMessage();
    EXPECT_TRUE(windowActive());

    run("xdotool key Escape");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (windowActive() && std::chrono::steady_clock::now() < deadline) {
        pumpWindowMessage();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(windowActive());
    EXPECT_EQ(drawableSize().width, 64); // still there until closeWindow
}

TEST_F(X11Window, FullScreenInTheScreensModeCoversItAndHidesTheCursor) {
    for (int32_t depth : {32, 16}) {
        createWindow(kTitle, kScreenWidth, kScreenHeight, depth, true);
        const DrawableSize size = drawableSize();
        EXPECT_EQ(size.width, kScreenWidth) << depth;
        EXPECT_EQ(size.height, kScreenHeight) << depth;
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
    EXPECT_EQ(readBytes("error.txt"),
              errorReport("kglWinAPI", "Screen resolution is not supported by your gfx card!"));
}
