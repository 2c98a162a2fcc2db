#include "common/progress_bar.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBarWidth = 30;
constexpr auto kTerminalInterval = std::chrono::milliseconds(100);
constexpr auto kLogInterval = std::chrono::seconds(10);
constexpr int64_t kLogSteps = 10; // a log line at every tenth at least
constexpr int64_t kPercent = 100;
constexpr int64_t kSecondsPerMinute = 60;

std::string clockText(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld",
                  static_cast<long long>(seconds / kSecondsPerMinute),
                  static_cast<long long>(seconds % kSecondsPerMinute));
    return text;
}

// "0:41 left" from the pace so far; "" before the first step.
std::string timeLeft(const ProgressBar& bar, Clock::time_point now) {
    if (bar.done == 0 || bar.done >= bar.total) return "";
    const double elapsed = std::chrono::duration<double>(now - bar.start).count();
    const double left = elapsed * double(bar.total - bar.done) / double(bar.done);
    return clockText(static_cast<int64_t>(left + 0.5)) + " left";
}

void show(ProgressBar& bar, Clock::time_point now) {
    const int64_t total = bar.total > 0 ? bar.total : 1;
    const std::string left = timeLeft(bar, now);
    if (bar.terminal) {
        const int filled = static_cast<int>(bar.done * kBarWidth / total);
        std::string line = "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
                           "] " + std::to_string(bar.done * kPercent / total) + "% " +
                           std::to_string(bar.done) + "/" + std::to_string(bar.total) + " frames";
        if (!left.empty()) line += ", " + left;
        line += "\033[K"; // clear what a longer earlier line left
        std::fputs(line.c_str(), stderr);
    } else {
        std::fprintf(stderr, "%lld/%lld frames%s%s\n", static_cast<long long>(bar.done),
                     static_cast<long long>(bar.total), left.empty() ? "" : ", ", left.c_str());
    }
    std::fflush(stderr);
    bar.lastShown = now;
    bar.lastShownDone = bar.done;
}

} // namespace

ProgressBar startProgress(int64_t total) {
    ProgressBar bar;
    bar.total = total;
    bar.terminal = isatty(STDERR_FILENO) == 1;
    bar.start = bar.lastShown = Clock::now();
    if (bar.terminal) show(bar, bar.start);
    return bar;
}

void advanceProgress(ProgressBar& bar) {
    ++bar.done;
    const Clock::time_point now = Clock::now();
    if (bar.terminal) {
        if (now - bar.lastShown >= kTerminalInterval) show(bar, now);
        return;
    }
    const int64_t total = bar.total > 0 ? bar.total : 1;
    const bool newStep = bar.done * kLogSteps / total != bar.lastShownDone * kLogSteps / total;
    if (newStep || now - bar.lastShown >= kLogInterval) show(bar, now);
}

void finishProgress(ProgressBar& bar) {
    if (bar.lastShownDone != bar.done) show(bar, Clock::now());
    if (bar.terminal) std::fputs("\n", stderr);
}

void abandonProgress(ProgressBar& bar) {
    if (bar.terminal) std::fputs("\n", stderr);
}
