#include "show/x_driver.h"

#include <X11/Xlib.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

std::string xdotool(const std::string& display, const std::string& arguments) {
    return "DISPLAY='" + display + "' xdotool " + arguments + " > /dev/null 2>&1";
}

// Ended, but left for waitForExit to collect.
bool hasEnded(pid_t program) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(program), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid == program;
}

unsigned long findWindow(const std::string& display, const std::string& title) {
    const std::string command = "DISPLAY='" + display + "' xdotool search --onlyvisible --name '^" +
                                title + "$' 2>/dev/null";
    std::FILE* search = popen(command.c_str(), "r");
    if (search == nullptr) return 0;
    unsigned long window = 0;
    if (std::fscanf(search, "%lu", &window) != 1) window = 0;
    pclose(search);
    return window;
}

} // namespace

std::string testDisplay() {
    std::ifstream file(std::string(TEST_XVFB_DIR) + "/display");
    if (int number = -1; file >> number) return ":" + std::to_string(number);
    const char* display = std::getenv("DISPLAY");
    return display ? display : "";
}

pid_t startProgram(const std::string& dir, const std::string& display,
                   const std::string& commandLine) {
    const std::string script = "cd '" + dir + "' && " + commandLine;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        setenv("DISPLAY", display.c_str(), 1);
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

unsigned long waitForWindow(const std::string& display, const std::string& title, pid_t program,
                            int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline && !hasEnded(program)) {
        if (const unsigned long window = findWindow(display, title)) return window;
        std::this_thread::sleep_for(kPollInterval);
    }
    return 0;
}

bool windowShown(const std::string& display, const std::string& title) {
    return findWindow(display, title) != 0;
}

bool pressKeys(const std::string& display, unsigned long window, const std::string& keys) {
    const std::string id = std::to_string(window);
    return std::system(xdotool(display, "windowfocus --sync " + id + " key " + keys).c_str()) == 0;
}

bool clickAt(const std::string& display, unsigned long window, int x, int y) {
    const std::string arguments = "mousemove --window " + std::to_string(window) + " " +
                                  std::to_string(x) + " " + std::to_string(y) + " click 1";
    return std::system(xdotool(display, arguments).c_str()) == 0;
}

bool requestClose(const std::string& display, unsigned long window) {
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(connection, window, False, NoEventMask, &event) != 0;
    XCloseDisplay(connection);
    return sent;
}

WindowRect windowRect(const std::string& display, unsigned long window) {
    WindowRect rect;
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr) return rect;
    XWindowAttributes attributes{};
    Window child = 0;
    if (XGetWindowAttributes(connection, window, &attributes)) {
        XTranslateCoordinates(connection, window, attributes.root, 0, 0, &rect.x, &rect.y, &child);
        rect.width = attributes.width;
        rect.height = attributes.height;
    }
    XCloseDisplay(connection);
    return rect;
}

int waitForExit(pid_t program, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (waitpid(program, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(-program, SIGKILL);
            waitpid(program, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
