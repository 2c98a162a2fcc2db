#include "support/x_driver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
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

// Ended, but left for waitForExit to collect.
bool hasEnded(pid_t program) {
    siginfo_t info{};
    return waitid(P_PID, id_t(program), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid == program;
}

} // namespace

std::string xdotool(const std::string& display, const std::string& arguments) {
    std::string output;
    const std::string command = "DISPLAY='" + display + "' xdotool " + arguments + " 2>/dev/null";
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        pclose(pipe);
    }
    return output;
}

std::string testDisplay() {
    std::ifstream file(std::string(TEST_XVFB_DIR) + "/display");
    if (int number = -1; file >> number) return ":" + std::to_string(number);
    const char* display = std::getenv("DISPLAY");
    return display ? display : "";
}

unsigned long findWindow(const std::string& display, const std::string& search) {
    return std::strtoul(xdotool(display, "search --onlyvisible " + search).c_str(), nullptr, 10);
}

unsigned long waitForWindow(const std::string& display, const std::string& title, pid_t program,
                            int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline && !(program > 0 && hasEnded(program))) {
        if (const unsigned long window = findWindow(display, "--name '^" + title + "$'"))
            return window;
        std::this_thread::sleep_for(kPollInterval);
    }
    return 0;
}

void pressKeys(const std::string& display, unsigned long window, const std::string& keys) {
    xdotool(display, "windowfocus --sync " + std::to_string(window) + " key " + keys);
}

void requestClose(const std::string& display, unsigned long window) {
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection, window, False, NoEventMask, &event);
    XCloseDisplay(connection);
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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

ShowProcess startShow(const std::string& dir, const std::string& display, const std::string& exe,
                      const std::string& environment, const std::string& arguments) {
    const pid_t pid = startProgram(
        dir, display, environment + " '" + exe + "' " + arguments + " > show.log 2>&1");
    return {pid, waitForWindow(display, "Config", pid)};
}

std::vector<uint8_t> grabWindow(const std::string& display, unsigned long window) {
    std::vector<uint8_t> rgb;
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr) return rgb;
    XWindowAttributes attributes{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(connection, window, &attributes)) {
        image = XGetImage(connection, window, 0, 0, unsigned(attributes.width),
                          unsigned(attributes.height), AllPlanes, ZPixmap);
    }
    for (int y = 0; image && y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            rgb.insert(rgb.end(), {uint8_t((pixel & image->red_mask) >> 16),
                                   uint8_t((pixel & image->green_mask) >> 8),
                                   uint8_t(pixel & image->blue_mask)});
        }
    }
    if (image) XDestroyImage(image);
    XCloseDisplay(connection);
    return rgb;
}
