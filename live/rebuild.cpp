#include "live/rebuild.h"

#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/open_file.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* kToolName = "makeshow";
constexpr const char* kToolPrefix = "makeshow: ";
constexpr const char* kWarningPrefix = "makeshow: warning: ";
// The full search after a draft yields to the show and to other drafts.
constexpr int kBackgroundNice = 10;
// Sources that make no picture: no draft for them.
constexpr const char* kScript = "script.sqx";
constexpr const char* kScore = "music/score.txt";
constexpr const char* kScenes = "scenes/";

#ifndef _WIN32
// Everything the child writes on stderr.
std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) text.append(buffer, size_t(got));
    }
    return text;
}

// The last line that is makeshow's reason for failing.
std::string failureLine(const std::string& errors) {
    std::string found;
    size_t begin = 0;
    while (begin < errors.size()) {
        size_t end = errors.find('\n', begin);
        if (end == std::string::npos) end = errors.size();
        const std::string line = errors.substr(begin, end - begin);
        if (line.rfind(kToolPrefix, 0) == 0 && line.rfind(kWarningPrefix, 0) != 0)
            found = line.substr(std::strlen(kToolPrefix));
        begin = end + 1;
    }
    return found.empty() ? "makeshow failed" : found;
}
#endif

} // namespace

#ifdef _WIN32

const char* sourceRebuildsUnavailable() {
    return "--assets: rebuilding sources needs makeshow, a Linux tool; watching the show "
           "folder only";
}

std::string makeshowExecutable() {
    return kToolName;
}

RebuildResult runMakeshow(const std::string& executable, const std::string&, const std::string&,
                          const std::vector<std::string>&, RebuildChild&, bool) {
    return {false, executable + ": " + sourceRebuildsUnavailable()};
}

void stopRebuildChild(RebuildChild& child) {
    child.stopped = true;
}

#else

const char* sourceRebuildsUnavailable() {
    return nullptr;
}

std::string makeshowExecutable() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path beside = self.parent_path().parent_path() / "tools" / kToolName;
        if (fs::exists(beside, error)) return beside.string();
    }
    return kToolName;
}

RebuildResult runMakeshow(const std::string& executable, const std::string& showDir,
                          const std::string& assetsDir, const std::vector<std::string>& arguments,
                          RebuildChild& child, bool background) {
    if (child.stopped) return {false, "stopped"};
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return {false, std::string("pipe: ") + strerror(errno)};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    std::vector<std::string> words = {executable, showDir, "--assets", assetsDir};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return {false, executable + ": " + strerror(spawned)};
    }
    if (background) setpriority(PRIO_PROCESS, id_t(pid), kBackgroundNice);
    child.pid = pid;
    // A stop that came while it started: stopRebuildChild saw no process.
    if (child.stopped) kill(pid, SIGTERM);
    const std::string errors = readAll(pipeEnds[0]);
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    child.pid = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {true, ""};
    return {false, failureLine(errors)};
}

void stopRebuildChild(RebuildChild& child) {
    child.stopped = true;
    if (const pid_t pid = child.pid; pid > 0) kill(pid, SIGTERM);
}

#endif

namespace {

// Moves `text` past `word` if it starts with it.
bool skipText(std::string_view& text, std::string_view word) {
    if (!text.starts_with(word)) return false;
    text.remove_prefix(word.size());
    return true;
}

// Moves the digits `text` starts with (one at least) into `digits`.
bool takeDigits(std::string_view& text, std::string_view& digits) {
    size_t count = 0;
    while (count < text.size() && text[count] >= '0' && text[count] <= '9') ++count;
    if (count == 0) return false;
    digits = text.substr(0, count);
    text.remove_prefix(count);
    return true;
}

// When a source was last written and how long it is; a missing one has none.
using SourceStamp = std::pair<fs::file_time_type, uintmax_t>;

SourceStamp sourceStamp(const RebuildRequest& request) {
    const fs::path path = utf8Path(request.assetsDir) / utf8Path(request.source);
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(path, error);
    if (error) return {};
    const uintmax_t size = fs::file_size(path, error);
    return {written, error ? 0 : size};
}

} // namespace

std::unique_ptr<SourceRebuild>
startSourceRebuild(const RebuildRequest& request,
                   std::function<void(const RebuildResult&)> report) {
    auto rebuild = std::make_unique<SourceRebuild>();
    SourceRebuild& running = *rebuild;
    auto work = [request, report, &running] {
        const bool pictures = request.source != kScript && request.source != kScore &&
                              !request.source.starts_with(kScenes);
        const std::vector<std::string> only = {"--only", request.source};
        std::vector<std::string> draft = only;
        draft.push_back("--draft");
        // A save the watch has not settled yet may already have been read
        // by this run: its outcome is then the next rebuild's to report.
        const SourceStamp started = sourceStamp(request);
        const auto current = [&] {
            return !running.child.stopped && sourceStamp(request) == started;
        };
        const RebuildResult first =
            runMakeshow(request.executable, request.showDir, request.assetsDir,
                        pictures ? draft : only, running.child);
        if (current()) report(first);
        if (pictures && first.ok && current()) {
            const RebuildResult full = runMakeshow(request.executable, request.showDir,
                                                   request.assetsDir, only, running.child, true);
            if (current()) report(full);
        }
        running.finished = true;
    };
    try {
        rebuild->thread = std::thread(work);
    } catch (const std::system_error&) {
        work(); // no thread to be had: the show waits, but the edit is taken up
    }
    return rebuild;
}

void stopSourceRebuild(SourceRebuild& rebuild) {
    stopRebuildChild(rebuild.child);
}

void joinSourceRebuild(SourceRebuild& rebuild) {
    if (rebuild.thread.joinable()) rebuild.thread.join();
}

std::string sourceError(const std::string& message, const std::string& assetsDir,
                        const std::string& showDir, std::string& source) {
    const std::string prefix = assetsDir + "/";
    // The assets folder may lie inside the show folder: a source first.
    if (const std::string shown = showDir + "/";
        message.rfind(prefix, 0) != 0 && message.rfind(shown, 0) == 0) {
        const std::string rest = message.substr(shown.size());
        source = rest.substr(0, rest.find(':'));
        return rest;
    }
    if (message.rfind(prefix, 0) != 0) return source + ": " + message;
    const std::string rest = message.substr(prefix.size());
    // "SOURCE: line L, column C: MESSAGE" or "SOURCE: MESSAGE".
    const size_t colon = rest.find(':');
    if (colon == 0 || colon == std::string::npos || rest.compare(colon, 2, ": ") != 0) return rest;
    source = rest.substr(0, colon);
    std::string_view tail = std::string_view(rest).substr(colon + 2);
    std::string_view line, column;
    if (skipText(tail, "line ") && takeDigits(tail, line) && skipText(tail, ", column ") &&
        takeDigits(tail, column) && skipText(tail, ": ")) {
        return source + ":" + std::string(line) + ":" + std::string(column) + ": " +
               std::string(tail);
    }
    return rest;
}
