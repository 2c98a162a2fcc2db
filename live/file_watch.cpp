#include "live/file_watch.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/open_file.h"

// Windows has no inotify: there the folders are scanned once a second,
// which the show's files (whole pictures, a script, the music) need no
// faster than that.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

#ifndef _WIN32
constexpr uint32_t kEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_MODIFY;
constexpr size_t kEventBuffer = 64 * 1024;
#endif
constexpr auto kScanPeriod = std::chrono::seconds(1);

// Names as the rest of the show has them: UTF-8, '/' between folders.
std::string utf8(const std::u8string& name) {
    return std::string(name.begin(), name.end());
}

bool addFolder(FileWatch& watch, const std::string& folder) {
    if (watch.scanning) {
        watch.scanned.push_back(folder);
        return true;
    }
#ifdef _WIN32
    return false;
#else
    const int id = inotify_add_watch(watch.inotify, folder.c_str(), kEvents);
    if (id < 0) return false;
    watch.folders[id] = folder;
    return true;
#endif
}

#ifndef _WIN32
void readEvents(FileWatch& watch, Clock::time_point now) {
    alignas(inotify_event) char buffer[kEventBuffer];
    ssize_t length;
    while ((length = read(watch.inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const auto folder = watch.folders.find(event->wd);
            if (event->len == 0 || folder == watch.folders.end()) continue;
            const std::string path = folder->second + "/" + event->name;
            if ((event->mask & IN_ISDIR) != 0) {
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) == 0) continue;
                addFolder(watch, path);
                // What arrived in it before it was watched counts as changed.
                std::error_code error;
                for (const fs::directory_entry& entry : fs::directory_iterator(path, error))
                    if (entry.is_regular_file(error)) watch.pending[entry.path().string()] = now;
                continue;
            }
            // A file renamed into place is whole (editors and makeshow save
            // so), and so is one its writer closed: no need to wait for it to
            // settle, unless more follows.
            const bool whole = (event->mask & (IN_MOVED_TO | IN_CLOSE_WRITE)) != 0;
            watch.pending[path] = whole ? now - kSettleTime : now;
        }
    }
}
#endif

void scan(FileWatch& watch, Clock::time_point now) {
    if (now < watch.nextScan) return;
    const bool first = watch.nextScan == Clock::time_point{}; // only learns what is there
    watch.nextScan = now + kScanPeriod;
    std::map<std::string, std::pair<int64_t, int64_t>> current;
    for (const std::string& folder : watch.scanned) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(utf8Path(folder), error)) {
            if (!entry.is_regular_file(error)) continue;
            const int64_t time = entry.last_write_time(error).time_since_epoch().count();
            // Named as inotify names them, with '/' on every system.
            const std::string path = folder + "/" + utf8(entry.path().filename().u8string());
            current[path] = {time, int64_t(entry.file_size(error))};
        }
    }
    if (!first) {
        for (const auto& [path, stamp] : current) {
            const auto old = watch.seen.find(path);
            if (old == watch.seen.end() || old->second != stamp) watch.pending[path] = now;
        }
        for (const auto& [path, stamp] : watch.seen) {
            if (!current.count(path)) watch.pending[path] = now;
        }
    }
    watch.seen = std::move(current);
}

// Moves the paths quiet long enough to the settled ones; a settled path
// not yet taken that changed again waits for quiet again. True when one
// became ready.
bool settle(FileWatch& watch, Clock::time_point now) {
    const std::lock_guard<std::mutex> guard(watch.lock);
    bool ready = false;
    for (auto it = watch.pending.begin(); it != watch.pending.end();) {
        if (now - it->second < kSettleTime) {
            watch.settled.erase(it->first);
            ++it;
            continue;
        }
        ready = watch.settled.insert(it->first).second || ready;
        it = watch.pending.erase(it);
    }
    return ready;
}

// Reads what changed since the last look.
void look(FileWatch& watch, Clock::time_point now) {
    if (watch.scanning) {
        scan(watch, now);
    }
#ifndef _WIN32
    else if (watch.inotify >= 0) {
        readEvents(watch, now);
    }
#endif
}

// When the thread must look again without being told: the next path to
// become quiet, or the next scan.
Clock::time_point nextLook(const FileWatch& watch) {
    Clock::time_point next = watch.scanning ? watch.nextScan : Clock::time_point::max();
    for (const auto& [path, changed] : watch.pending) next = std::min(next, changed + kSettleTime);
    return next;
}

// Rests until `until` or until something changes; false once told to stop.
bool rest(FileWatch& watch, Clock::time_point until) {
#ifndef _WIN32
    if (!watch.scanning) {
        int timeoutMs = -1;
        if (until != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            timeoutMs = int(std::max<int64_t>(0, left.count()));
        }
        pollfd waits[] = {{watch.inotify, POLLIN, 0}, {watch.stopPipe[0], POLLIN, 0}};
        poll(waits, 2, timeoutMs);
        return (waits[1].revents & POLLIN) == 0;
    }
#endif
    std::unique_lock<std::mutex> guard(watch.lock);
    const auto stopping = [&] { return watch.stopping; };
    if (until == Clock::time_point::max())
        watch.stop.wait(guard, stopping);
    else
        watch.stop.wait_until(guard, until, stopping);
    return !watch.stopping;
}

void run(FileWatch& watch) {
    while (rest(watch, nextLook(watch))) {
        const Clock::time_point now = Clock::now();
        look(watch, now);
        if (settle(watch, now)) watch.onSettled();
    }
}

} // namespace

bool watchFolder(FileWatch& watch, const std::string& folder, bool recursive) {
    if (watch.inotify < 0 && !watch.scanning) {
#ifdef _WIN32
        watch.scanning = true;
#else
        watch.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        watch.scanning = watch.inotify < 0;
#endif
    }
    const fs::path root = utf8Path(folder);
    if (!fs::is_directory(root) || !addFolder(watch, folder)) return false;
    if (recursive) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, error)) {
            if (entry.is_directory(error))
                addFolder(watch,
                          folder + "/" +
                              utf8(entry.path().lexically_relative(root).generic_u8string()));
        }
    }
    return true;
}

void startFileWatch(FileWatch& watch, std::function<void()> onSettled) {
    watch.onSettled = std::move(onSettled);
#ifndef _WIN32
    if (!watch.scanning && pipe2(watch.stopPipe, O_CLOEXEC) != 0) return;
#endif
    try {
        watch.thread = std::thread(run, std::ref(watch));
    } catch (const std::system_error&) {
    }
}

std::vector<std::string> settledChanges(FileWatch& watch) {
    if (!watch.thread.joinable()) {
        const Clock::time_point now = Clock::now();
        look(watch, now);
        settle(watch, now);
    }
    const std::lock_guard<std::mutex> guard(watch.lock);
    std::vector<std::string> settled(watch.settled.begin(), watch.settled.end());
    watch.settled.clear();
    return settled;
}

void closeFileWatch(FileWatch& watch) {
    {
        const std::lock_guard<std::mutex> guard(watch.lock);
        watch.stopping = true;
    }
    watch.stop.notify_all();
#ifndef _WIN32
    // One byte ends the thread's poll; the pipe is never full.
    if (watch.stopPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t written = write(watch.stopPipe[1], "", 1);
    }
#endif
    if (watch.thread.joinable()) watch.thread.join();
#ifndef _WIN32
    for (int& end : watch.stopPipe) {
        if (end >= 0) close(end);
        end = -1;
    }
    if (watch.inotify >= 0) close(watch.inotify);
#endif
    watch.inotify = -1;
    watch.folders.clear();
    watch.pending.clear();
    watch.settled.clear();
}
